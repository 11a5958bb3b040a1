#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

// Encoders of the bitmap screens: paletted Screens 5, 6, 7 (and indexed resources)
// and the fixed-colour Screen 8 (and RGB resources).
//
// Bit stream of one page, lines top to bottom, pixels left to right, every pixel's
// field most significant bit first, lines following each other with no gap:
//
//   indexed, b bits a pixel (b = floor(log2 N) for N >= 2 palette colours, else 0)
//     b = 4 (Screens 5, 7)  byte = left pixel << 4 | right pixel
//     b = 2 (Screen 6)      byte = p0 << 6 | p1 << 4 | p2 << 2 | p3
//   RGB, one byte a pixel (Screen 8)
//     bits 7-5 green level, 4-2 red level, 1-0 blue level
//
// So a 256 x 212 picture at 4 bits is 27,136 bytes (video memory 0000-69FF), 512 x 212
// at 4 bits or 256 x 212 at 8 bits 54,272 bytes (0000-D3FF).
//
// Pages: with both buffers given, lines 0, 2, 4, ... (from the top) go to the first and
// lines 1, 3, 5, ... to the second, the two pages of an interlaced picture; with only
// the first, every line goes to it; a line whose buffer is absent is converted but not
// stored. Each buffer gets a stream of its own through an LZWCmp of the given
// compression type, appended after what the buffer already holds.
//
// Both encoders accept pictures of any size: they visit exactly the picture's pixels.
// The output picture (may be null) receives each converted pixel at the same position;
// one of another size keeps only the pixels that fall inside it. A null picture (or a
// null palette) encodes nothing: no bytes are appended and the result is zero.
//
// Both return the error triple of the conversion (Diffuser::oGetError over the
// picture), with the error diffusion factor fErrorDiffusion (0: none).

// Screens 5, 6 and 7: the index of each pixel's nearest palette colour among the first
// count colours (Palette::iNearestColor with eMethod and fWeight); index 0 for a
// transparent pixel (alpha 0). The palette's colours are painted and diffused as they
// are.
tdErrorTriple oWriteImageToIndexed(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poFirstPage, tdByteArray* poSecondPage,
                                   tdCompressionType eCompression, Image* poOutput, tdDeltaMethod eMethod,
                                   double fWeight, const tdRunContext* poRun = nullptr);

// Screen 8: each pixel's channels quantised to 3-bit red and green and 2-bit blue
// levels; for every method but RGB and Hit9918 the levels are then refined by a search
// of the levels around the best candidate so far. A transparent pixel gives byte 0.
tdErrorTriple oWriteImageToRGB(Image* poImage, double fErrorDiffusion, tdByteArray* poFirstPage,
                               tdByteArray* poSecondPage, tdCompressionType eCompression, Image* poOutput,
                               tdDeltaMethod eMethod, const tdRunContext* poRun = nullptr);

// The Screen 8 byte of one opaque pixel by the plain search that oWriteImageToRGB's
// faster one must match: levels quantised, then (every method but RGB and Hit9918)
// fColorDelta(candidate, pixel, 1.0, 255.0, method, 0.0) over a window of red and
// green levels 4 either side of the best candidate so far, the first least
// distance winning.
unsigned char ucScreen8ByteReference(const Color& oPixel, tdDeltaMethod eMethod);

// The Screen 8 bytes of iCount opaque pixels by oWriteImageToRGB's search.
void vScreen8Bytes(const Color* aoPixels, int iCount, tdDeltaMethod eMethod, unsigned char* pucBytes);
