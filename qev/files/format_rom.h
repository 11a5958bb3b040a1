#pragma once

#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <cstdio>
#include <string>
#include <vector>

// MSX cartridge ROM that shows pictures: the Z80 start-up and KRU player (z80/,
// rom_code.h), a directory, and each picture's KRU record exactly as the KRU
// writer makes it.
//
//   offset 0       "AB", INIT address, three zero addresses, 6 zero bytes (MSX
//                  cartridge header; the ROM starts at 4000h)
//   offset 16      RET: called after each picture is shown
//   ...            start-up and player, g_iROMCodeSize bytes from offset 0
//   code size      directory: number of pictures (1..255), seconds per picture
//                  (0..255, 0: the space bar alone advances), mapper (0 none,
//                  1 ASCII16), then per picture the 24-bit little-endian ROM
//                  offset of its record
//   ...            the records, one after the other in picture order
//   ...            0xFF up to the ROM size
//
// Sizes: 16 KiB or 32 KiB without a mapper when everything fits (at 4000h-BFFFh);
// otherwise an ASCII16 MegaROM of 16 KiB banks, a power of two from 64 KiB up to
// 4 MiB, whose bank 0 holds the code at 4000h and whose records the player reads
// through 8000h-BFFFh, switching banks as a record crosses them.

constexpr int g_iROMMaxSize = 4 * 1024 * 1024;
constexpr int g_iROMMaxPictures = 255;
constexpr int g_iROMMaxSlideSeconds = 255;
constexpr int g_iROMBankSize = 16384;

// ROM directory fields, by offset from the directory's start.
constexpr int g_iROMDirCount = 0;
constexpr int g_iROMDirSeconds = 1;
constexpr int g_iROMDirMapper = 2;
constexpr int g_iROMDirEntries = 3;

// Builds a ROM from whole KRU records (apoRecords, in picture order) into poROM
// (replacing its contents). iSlideSeconds 0..255 advances by itself after that many
// seconds (0: only the space bar). Returns false, with poROM empty and *psError (may
// be null) saying why, for no record, more than 255, seconds out of range, or a
// set that does not fit into 4 MiB.
bool bBuildROM(const std::vector<const tdByteArray*>& apoRecords, int iSlideSeconds, tdByteArray* poROM,
               std::string* psError);

// Converts the picture and writes a ROM holding its record alone, with one fwrite
// at the file's current position (with a file). *ppoOut and *poPalette (may be
// null) receive the converted picture and the palette, as for the KRU writer.
// Returns the error triple; zero, after a message, when no ROM could be built.
tdErrorTriple oWriteImageToROMFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun = nullptr);
