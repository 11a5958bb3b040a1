#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"

#include <cstdio>

// Reads a PNG from an open stream (neither closed nor rewound). Every PNG colour
// type and bit depth loads as 8-bit grey (1), grey + alpha (2), RGB (3) or RGBA (4)
// texels, palettes and tRNS expanded; the aspect ratio is the pHYs chunk's y / x
// pixels per unit (1.0 without one, or when that is not finite and positive).
// Returns a new picture the caller owns, or null after a message on standard
// error for a damaged file or one beyond g_iMaxImageDimension.
Image* poReadImageFromPNGFile(FILE* poFile);

// Fits a copy of poImage to the output size and aspect ratio the settings choose
// (vGetOutputAutoSize, vGetOutputAspectRatio; none for a zero size) and writes it
// as an 8-bit RGB or grey PNG to poFile when given. The file's bytes are built in
// memory and written in one piece, so a library error writes nothing (after the
// message "PNG write error"); the stream stays open either way. *ppoOut (may be
// null) receives the fitted copy, which the caller owns. poRun (may be null)
// hears of the rows encoded and may stop the run: then nothing is written.
// Returns the zero error triple: there is no MSX conversion.
tdErrorTriple oWriteImageToPNGFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, const tdRunContext* poRun = nullptr);
