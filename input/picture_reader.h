#pragma once

// Every picture a user brings, read the same way by qev and by the window: the
// retro decoders, the core's own readers and Qt's readers for the other modern
// formats, chosen by the name's extension; when that reader fails or the
// extension is unknown, the file's first bytes decide.

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <string>

// Extensions of the modern formats read through Qt (lower case, with the dot),
// ending with a null entry.
extern const char* const g_apszModernExtensions[];

// A new picture (the caller owns it) or null with *psError (may be null) saying
// why: "unknown file type" when neither the extension nor the contents name a
// format, else what the reader reported. Retro pictures keep square pixels; the
// others get the input aspect-ratio settings, as the core's readers apply them.
Image* poReadPicture(const char* pszName, const tdSettings* poSettings, std::string* psError);

// The reader the first bytes of a file point to: a core extension (".png",
// ".jpg"), a retro one ("x.iff", a name the retro decoders recognise) or "qt";
// null when they name none. Needs at least 12 bytes to tell every format.
const char* pszSniffPictureType(const unsigned char* pucHead, size_t uiSize);
