#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

#include <cstdio>

// KRU records (little-endian):
//   offset 0   "MSXKRU"
//   offset 6   record size, counted from offset 6 (this field included)
//   offset 10  screen class: 0 Screens 2, 3, 4; 1 Screens 5-8; 2 Screens 10, 12
//   offset 11  blocks: uncompressed length (2), compressed length (2), the bytes
//   end - 2    0: the end of the record
// The blocks hold, compressed, the command stream a loader replays: palette,
// VDP registers, video memory of one or two pages, end.
//
// Converts; with a file, appends one record at the file's current position (file
// dispatch opens an existing KRU file for update at its end). Without a file it is
// the conversion the preview runs. *ppoOut and *poPalette (may be null) receive
// the converted picture and the palette. Returns the error triple.
tdErrorTriple oWriteImageToKRUFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, tdCompressionType eCompression,
                                   const tdRunContext* poRun = nullptr);

// The same conversion, with the record (when poRecord is given) appended to
// poRecord instead of a file: the bytes the file writer writes. A record that could
// not be built (block size out of range, lack of memory) leaves poRecord as it was
// and, with pbBuilt given, sets *pbBuilt to false.
tdErrorTriple oBuildKRURecordOfImage(const Image* poImage, const tdSettings* poSettings,
                                     tdByteArray* poRecord, Image** ppoOut, Palette* poPalette,
                                     tdCompressionType eCompression, const tdRunContext* poRun = nullptr,
                                     bool* pbBuilt = nullptr);

// There is no KRU reader: always null.
Image* poReadImageFromKRUFile(FILE* poFile, const tdSettings* poSettings, Palette* poPalette);
