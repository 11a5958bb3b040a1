#pragma once

// The modern picture formats the core has no reader of (GIF, BMP, TIFF, WebP,
// TGA, PNM...), read through Qt's image readers and their plugins.

#include "qev/base/image.h"

#include <string>

// Reads the picture in pszName with Qt's readers; pszFormat (may be null) names
// the format ("gif", "bmp"...) when the file's contents told it, else the name's
// extension or the contents decide. Animated files give their first frame; the
// EXIF orientation is applied and an embedded colour profile converted to sRGB.
// The size is checked against the program's picture limit before any pixel is
// decoded. Returns a new picture (the caller owns it): RGB, or RGBA when the
// file has transparency, with the pixel shape of the file's resolution fields
// (square without); or null with *psError (may be null) saying why.
Image* poReadImageWithQt(const char* pszName, const char* pszFormat, std::string* psError);
