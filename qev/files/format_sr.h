#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <cstdio>

// SR screen dumps: a BSAVE file of the picture data only, and a small BSAVE file
// holding the palette, whose header loads it into the screen's palette table.
//
//   screen  picture end  body                       palette file header
//   2       37FF         14,336 bytes               FE 80 1B 9F 1B 00 00
//   3       05FF         1,536 bytes                FE 20 20 3F 20 00 00
//   4       37FF         14,336 bytes               FE 80 1E 9F 1E 00 00
//   5, 6    69FF         27,136 bytes               FE 80 76 9F 76 00 00
//   7, 10   D3FF         54,272 bytes               FE 80 FA 9F FA 00 00
//   8, 12   D3FF         54,272 bytes               none
// RAW output is the same without any header (Screens 2 and 4: 12,288 bytes of patterns
// and colours), with the palette entries first when a palette stream is given.

tdErrorTriple oWriteImageToSRFile(const Image* poImage, const tdSettings* poSettings, FILE* poPicture,
                                  FILE* poPaletteFile, FILE* poSecond, Image** ppoOut, Palette* poPalette,
                                  const tdRunContext* poRun = nullptr);

Image* poReadImageFromSRFile(int iScreen, const tdSettings* poSettings, FILE* poPicture, FILE* poPaletteFile,
                             FILE* poSecond, Palette* poPalette);
