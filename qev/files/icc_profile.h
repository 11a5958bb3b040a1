#pragma once

// Embedded ICC colour profiles: the colours of a picture read from a file that
// carries one are converted to sRGB, which the whole conversion assumes.

#include "qev/base/image.h"

#include <cstddef>

// Converts the RGB or RGBA texels (alpha kept) of poImage from the RGB profile to
// sRGB, perceptual intent. A profile that maps every colour to itself within one
// level (an sRGB profile) leaves the picture unchanged, as do grey pictures and
// profiles that cannot be used. Returns true when the colours were converted.
bool bConvertProfileToSRGB(Image* poImage, const unsigned char* pucProfile, size_t uiSize);

// Converts uiPixels CMYK pixels (4 bytes, ink 255 = full; bInverted: 0 = full, as
// Adobe's files store them) to RGB (3 bytes) through the CMYK profile, or, without
// a usable CMYK profile (pucProfile may be null), by the plain formula
// R = (255 - C)(255 - K) / 255 (rounded), likewise G from M and B from Y.
void vConvertCMYKToSRGB(const unsigned char* pucCMYK, unsigned char* pucRGB, size_t uiPixels, bool bInverted,
                        const unsigned char* pucProfile, size_t uiSize);
