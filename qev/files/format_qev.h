#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

#include <cstdio>

// QEV files, the program's own compact screen format:
//   offset 0   mode byte: bits 3-0 screen code, bit 4 interlaced (424 lines)
//   offset 1   0
//   offset 2   32 bytes of palette-register words (screen codes 0, 1, 2, 4, 8, 9, 10)
//   then       the LZW stream of the screen's video memory (interlaced: all 424
//              lines one after the other)
// Screen codes: 0 Screen 5, 1 Screen 6, 2 Screen 7, 3 Screen 8, 4 Screen 10,
// 5 Screen 12, 8 Screen 2, 9 Screen 3, 10 Screen 4 (8 + screen - 2 for the
// pattern screens; 4 was Screen 10's already).

// Converts and writes a QEV file with the given compression type (the reader
// decodes LZW only). Returns the error triple.
tdErrorTriple oWriteImageToQEVFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, tdCompressionType eCompression,
                                   const tdRunContext* poRun = nullptr);

// Reads a QEV file. Returns a new picture (caller owns it), or null after a message
// for an unknown screen code or a stream that ends before its end code. A damaged
// stream decodes as far as it is sound and never writes past video memory.
Image* poReadImageFromQEVFile(FILE* poFile, const tdSettings* poSettings, Palette* poPalette);

// Decodes a QEV LZW stream into pucOutput (at most iCapacity bytes). Returns the
// number of bytes decoded; decoding stops at the end code, at the end of the input
// (then *pbInputEnded, may be null, is set), at an impossible code or when the
// output is full.
int iDecodeQEVStream(const unsigned char* pucInput, int iInputSize, unsigned char* pucOutput, int iCapacity,
                     bool* pbInputEnded = nullptr);
