#pragma once

#include "qev/base/dynamic_array.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <cstdio>

// KRU record, numbers little-endian:
//   offset 0   6 bytes   "MSXKRU" (no terminator)
//   offset 6   4 bytes   record size: bytes from offset 6 to the record's end
//   offset 10  1 byte    screen class: 0 Screens 2, 3, 4; 1 Screens 5-8; 2 Screens 10, 12
//   offset 11  blocks    2 bytes stream length b (1 .. block size), 2 bytes compressed
//                        length, the block compressed on its own (kru_compressor.h)
//   end - 2    2 bytes   0: no more blocks
// The blocks decompressed and joined give the command stream; every block but the
// last holds exactly the block size. Records follow one another in a file.
//
// Command stream, each command opened by its command byte:
//   1   palette    1, first entry 0, count, count palette-register words (low byte first)
//   0   registers  0, n, n triples (register, value, mask of the bits the value sets)
//   2   VRAM       2, address (3 bytes), length (3 bytes), length bytes of video memory
//   255 end

// Block sizes accepted: a block of 58000 incompressible bytes still compresses into
// 65256 bytes, within the 16-bit compressed length.
constexpr int g_iKRUMinBlockSize = 1;
constexpr int g_iKRUMaxBlockSize = 58000;

// The screen class byte: 0 for Screens 2, 3 and 4, 1 for Screens 5, 6, 7 and 8, 2 for
// Screens 10 and 12; 0 for a screen mode outside 0..8 (whose record carries only the
// end command).
int iKRUScreenClass(int eScreenMode);

// Appends the command stream of one converted picture to poStream:
//   palette   poPalette (null: none) with 16 entries, 4 for Screen 6; none for
//             Screens 8 and 12. A palette of another count is resized first, on a copy.
//   registers the screen's table (vdp.h), (2, R2, 255), the border triple and, for
//             screen classes 1 and 2, (9, R9, 140). R2: 6 Screens 2 and 4, 2 Screen 3, else
//             31 (63 interlaced). Border: (7, Bordercolor, 255) for Screens 8 and 12,
//             (7, Bordercolor & 15, 15) for the others. R9: 140 interlaced, else 128.
//   VRAM      poPage0 (null: none) at 0; when interlaced (bSettingsInterlaced) and
//             poPage1 is given, poPage1 at 0x8000 (Screens 5, 6) or 0x10000 (Screens
//             7, 8, 10, 12).
//   end       255.
// A screen mode outside 0..8 (or null settings) appends the end command alone. Pages longer than the
// 24-bit length field are a programming error.
void vBuildKRUCommandStream(const tdSettings* poSettings, const Palette* poPalette,
                            const tdByteArray* poPage0, const tdByteArray* poPage1, tdByteArray* poStream);

// Appends one whole record of iLength stream bytes at pucStream (null only when
// iLength is 0; a negative length counts as 0) to poRecord. Uses the module-wide
// compressor (vEncode_Init and vEncode_Release inside). A block size outside
// g_iKRUMinBlockSize .. g_iKRUMaxBlockSize appends nothing: callers check it first.
// Should poRecord fail to grow, it is left as it was.
void vBuildKRURecord(int iScreenClass, const unsigned char* pucStream, int iLength, int iBlockSize,
                     tdByteArray* poRecord);

// vBuildKRURecord after checking the block size: returns false, after a message
// naming KRUBlockSize, for a block size outside 1..58000, and false after a message
// when poRecord could not grow; true when the record was appended.
bool bBuildKRURecord(int iScreenClass, const unsigned char* pucStream, int iLength, int iBlockSize,
                     tdByteArray* poRecord);

// Builds the record of poStream (null: an empty stream) in memory and writes it with
// one fwrite at the file's current position. Returns false without writing for a
// null file, after a message naming KRUBlockSize for a block size outside 1..58000
// or after one on lack of memory, and when the write fails (no message: the caller
// owns the file).
bool bWriteKRURecord(FILE* poFile, int iScreenClass, const tdByteArray* poStream, int iBlockSize);
