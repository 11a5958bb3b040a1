#pragma once

#include "qev/base/settings.h"

class QSettings;

// The window's settings between runs: the 34 fields of the command line (one key
// per field, named like the field) in the group "QEV" of a QSettings store.
// Integer and one-byte fields are stored as integers, the others as doubles.
// The custom palette, the palette selection and the source name are not stored.

// Fills the fields whose key the store holds with a value that converts to the
// field's type and lies in the field's range; every other field keeps the value
// already in the record, which must hold the defaults (vGetDefaultSettings). A
// one-byte field keeps the low byte of the stored integer (257 loads as 1).
void vLoadSettingsFromQSettings(tdSettings* poSettings, QSettings& oStore);

// Writes all 34 keys; with bOnlyChanges, a key whose field equals the default
// record's (g_oDefaultSettings) is removed instead, so the store holds only the
// values that differ from the defaults. Flushes the store to disk.
void vSaveSettingsToQSettings(const tdSettings* poSettings, QSettings& oStore, bool bOnlyChanges);
