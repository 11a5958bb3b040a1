#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <cstdio>

// SC screen dumps: one BSAVE file per video page holding video memory from 0 up to
// and including the palette table, so that one BLOAD ...,S shows the picture with
// its colours.
//
//   screen  end     body (from file offset 7)              palette (file offset)
//   2       37FF    14,336 bytes: patterns, names, colours  1B80 (7047), inside the body
//   3       203F    1,536 bytes of patterns; names at 0800  2020 (8231)
//   4       37FF    as Screen 2                             1E80 (7815), inside the body
//   5, 6    769F    27,136 bytes (212 lines x 128)          7680 (30343), 4 entries for 6
//   7, 10   FA9F    54,272 bytes (212 lines x 256)          FA80 (64135)
//   8, 12   D3FF    54,272 bytes                            none
// The gap between the body and the palette holds zeros. An interlaced picture has a
// second file of the same form with the odd lines.

// Converts and writes the first page to poFirst and, when interlaced, the second page
// to poSecond (either may be null). *ppoOut (may be null) receives the converted
// picture, *poPalette (may be null) the palette. Returns the error triple.
tdErrorTriple oWriteImageToSCFile(const Image* poImage, const tdSettings* poSettings, FILE* poFirst,
                                  FILE* poSecond, Image** ppoOut, Palette* poPalette,
                                  const tdRunContext* poRun = nullptr);

// Reads an SC file (and its second page, may be null) of MSX screen iScreen (2, 3,
// 4, 5, 6, 7, 8, 10 or 11, 12). Returns a new picture or null after a message.
Image* poReadImageFromSCFile(int iScreen, const tdSettings* poSettings, FILE* poFirst, FILE* poSecond,
                             Palette* poPalette);
