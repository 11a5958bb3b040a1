#pragma once

// Targa pictures, which Qt's reader takes only with the version 2 footer that
// many programs never write: read through stb_image, which takes them all.

#include "qev/base/image.h"

#include <string>

// A new picture (the caller owns it; RGB, or RGBA when the file has alpha) or
// null with *psError (may be null) saying why. The size is checked against the
// program's limit before any pixel is decoded.
Image* poReadTGAFile(const char* pszName, std::string* psError);
