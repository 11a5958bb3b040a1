#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <cstdio>

// RES resource files, little-endian:
//   offset 0  kind: indexed: ResourcePaletteSize (low 8 bits) + 128 with a palette;
//             RGB and YJK: 0
//   offset 1  width
//   offset 3  height
//   offset 5  indexed with ResourceWritePalette: ResourcePaletteSize palette words
//   then      the pixels: indexed floor(log2 N) bits a pixel, RGB one 3-3-2 byte a
//             pixel, YJK the Screen 12 bytes
// Returns the encoder's error triple; zeros when nothing was encoded.
tdErrorTriple oWriteImageToRESFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun = nullptr);

// SPR sprite sheets: no header; for every 16 x 16 cell (rows of cells from the top)
// and every colour index 1 .. ResourcePaletteSize - 1 used anywhere in the picture,
// a 32-byte pattern: 16 rows of the left half (bit 7 = column x0), then 16 rows of
// the right half. A bit is set where the pixel is opaque and nearest to that colour.
// poRun (may be null) hears of the rows done and may stop the run: then the
// sheet is incomplete and the caller discards it. Returns zeros.
tdErrorTriple oWriteImageToSPRFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun = nullptr);
