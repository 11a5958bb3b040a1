#pragma once

// Every picture a user brings, read the same way by qev and by the window: the
// retro decoders, the core's own readers and Qt's readers for the other modern
// formats. The name's extension chooses among the retro, core and Targa readers;
// the other modern formats, and files whose reader failed or whose extension is
// unknown, go by their first bytes, each to the one reader of its format.

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
// ".jpg"), a retro one ("x.iff", a name the retro decoders recognise) or a
// modern format ("gif", "bmp", "tiff", "webp", "pbm", "pgm", "ppm", "ico", "xpm",
// "xbm"); null when they name none. Needs at least 12 bytes to tell every format.
const char* pszSniffPictureType(const unsigned char* pucHead, size_t uiSize);

// True for the modern format names pszSniffPictureType gives (and "tga").
bool bIsModernFormat(const char* pszType);

// Reads pszName as the modern format named ("tga" or one of pszSniffPictureType's),
// with that format's one reader only, after pszCheckPictureFile has found the
// bytes sound; the input aspect-ratio settings are applied. A new picture (the
// caller owns it) or null with *psError (may be null) saying why.
Image* poReadModernPicture(const char* pszName, const char* pszFormat, const tdSettings* poSettings,
                           std::string* psError);
