#pragma once

// Targa pictures, which Qt's reader takes only with the version 2 footer that
// many programs never write: decoded by stb_image, which takes them all.

#include "qev/base/image.h"

#include <cstddef>
#include <string>

// Decodes the Targa file puc[0..uiSize), whose header and pixel data the caller
// has checked (pszCheckPictureFile). A new picture (the caller owns it; RGB, or
// RGBA when the file has alpha) or null with *psError (may be null) saying why.
Image* poReadTGA(const unsigned char* puc, size_t uiSize, std::string* psError);
