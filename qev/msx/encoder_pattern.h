#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

// Encoders of the pattern screens, Screen 2 (256 x 192, two colours in every 8-pixel
// row of a character; Screen 4 holds the same tables) and Screen 3 (64 x 48 blocks of
// one colour each).
//
// Screen 2 stream (hexadecimal video-memory addresses):
//   0000-17FF  pattern generator, 6,144 bytes: the pattern byte of pixel line y and the
//              8-pixel column starting at x (a multiple of 8) is byte 256 (y / 8) + x +
//              y % 8; bit 7 is pixel x, bit 0 pixel x + 7; a set bit shows the
//              foreground colour, a clear bit the background colour.
//   1800-1AFF  name table 0, 1, ..., 255 three times     } only with the name-table
//   1B00-1FFF  1,280 zero bytes                          } flag
//   2000-37FF  colour table, 6,144 bytes at the same offsets as the patterns:
//              foreground palette index in bits 7-4, background in bits 3-0.
// So the stream is 12,288 bytes without the flag and 14,336 with it. The offsets are
// the standard name table's addresses: character cell c of character row r shows
// pattern (32 r + c) mod 256 of its third.
//
// Screen 3 stream: the pattern generator 0000-05FF, 1,536 bytes; block (x, y) of the
// 64 x 48 picture is at 256 (y / 8) + 8 (x / 2) + y % 8, palette index in bits 7-4
// for even x and bits 3-0 for odd x. Neither the name table nor the palette is part of
// it.
//
// Picture size: the tables always cover the whole screen. The encoders visit exactly
// the screen's pixels, (0..255, 0..191) or (0..63, 0..47), and read them from the
// picture with Image::oGetPixel: a larger picture is clipped to its top-left part, and
// pixels a smaller picture lacks read as opaque black. The error diffusion and the
// error triple run over the screen's pixels, so the triple measures exactly what is
// encoded. The output picture (may be null) receives the screen's pixels at the same
// positions; writes outside it are dropped. A null picture or palette encodes
// nothing: no bytes are appended and the result is zero.
//
// The stream goes through an LZWCmp of the given compression type, appended to the
// buffer (may be null: no bytes) after the whole screen has been encoded. Transparent
// pixels are converted like any other: alpha plays no part in the choice.
//
// Both return the error triple (Diffuser::oGetError) with the error diffusion factor
// fErrorDiffusion (0: none).

// Screen 2. Every 8-pixel row tries the 120 pairs (i, j), i < j, of the 16 palette
// colours with the error diffusion simulated along the row; distances of the trial
// carry the exponent fPairExponent. The pair of least total error wins, the later pair
// on a tie; i becomes the foreground and j the background. bNameTable asks for the
// name table and the gap 1B00-1FFF between the two tables.
tdErrorTriple oWriteImageToScreen2(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poBuffer, tdCompressionType eCompression, Image* poOutput,
                                   double fPairExponent, bool bNameTable, tdDeltaMethod eMethod,
                                   double fWeight, const tdRunContext* poRun = nullptr);

// The two tables of oWriteImageToScreen2, without the stream: pucPatterns and
// pucColors (6,144 bytes each, at the stream's offsets) are filled, poImage and
// poPalette must not be null. Cell n (32 character rows of 32, counted over the
// whole screen) owns bytes 8 n .. 8 n + 7 of both tables.
tdErrorTriple oEncodeScreen2(Image* poImage, Palette* poPalette, double fErrorDiffusion, Image* poOutput,
                             double fPairExponent, tdDeltaMethod eMethod, double fWeight,
                             const tdRunContext* poRun, unsigned char* pucPatterns, unsigned char* pucColors);

// Appends the Screen 2 stream of the tables through an LZWCmp: patterns, then, when
// pucNames (768 bytes) is given, the name table and the 1,280 zero bytes of
// 1B00-1FFF, then the colours.
void vWriteScreen2Stream(const unsigned char* pucPatterns, const unsigned char* pucNames,
                         const unsigned char* pucColors, tdCompressionType eCompression,
                         tdByteArray* poBuffer);

// Screen 3: the nearest palette colour of every block (Palette::iNearestColor).
tdErrorTriple oWriteImageToScreen3(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poBuffer, tdCompressionType eCompression, Image* poOutput,
                                   tdDeltaMethod eMethod, double fWeight,
                                   const tdRunContext* poRun = nullptr);
