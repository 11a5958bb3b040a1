#pragma once

// The Screen 10 palette, built from the pixels that YJK renders badly.

#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

// Builds *poPalette as the Screen 10 palette: up to 16 colours for the pixels that
// YJK renders worst. Every group of four pixels of poRect (null: the whole
// picture; x from max(x, 0) in steps of 4 while below x + min(width, picture
// width), rows likewise; pixels past the picture's edge read as black) is
// converted by vRGB2YJK with even Y, eYJKMethod and fYJKExponent; each pixel whose
// decoded colour differs from it (fColorDelta(pixel, decoded, fPaletteExponent,
// 255.0, eMethod, fWeight) not 0) adds that distance to the weight of its level
// bin. The histogram then goes through vCreatePalette, vAdjustGradient and
// vAdjustAreaSearch with the palette exponent as p, and the colours come back as
// bytes. A picture that YJK renders exactly leaves the count 0 and the colours as
// they were. A run stopped on the way (poRun, may be null) leaves the palette
// incomplete.
void vLoadPaletteFromYJKImage(Palette* poPalette, const Image* poImage, const tdRectangle* poRect,
                              tdRGB2YJKMethod eYJKMethod, double fPaletteExponent, double fYJKExponent,
                              tdDeltaMethod eMethod, double fWeight, const tdRunContext* poRun = nullptr);
