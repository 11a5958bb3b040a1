#pragma once

#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/settings.h"
#include "qev/msx/vdp.h"

#include <cstdio>

class Palette;

// BSAVE files, as MSX BASIC writes them for video memory:
//   offset 0  0xFE
//   offset 1  start address, little-endian
//   offset 3  end address (inclusive), little-endian
//   offset 5  execution address, little-endian (0 for video memory)
//   offset 7  the bytes of start..end
constexpr int g_iBSAVEHeaderSize = 7;

void vAppendBSAVEHeader(tdByteArray* poBytes, int iStart, int iEnd);

// Loads a BSAVE file from its current position into video memory at iPageBase +
// start. Nothing is loaded past the end of video memory, nor for an end address
// below the start; a short file loads what it has, and sets *pbShort (may be null)
// when it ends before the header's end or iPictureEnd, whichever comes first (the
// picture's tables must be whole, a palette after them may be cut: Screen 6 dumps
// hold 4 of the 16 entries their header covers). Returns false (loading nothing)
// when the file does not start with a BSAVE header.
bool bLoadBSAVE(FILE* poFile, VDP* poVDP, int iPageBase, int iPictureEnd = -1, bool* pbShort = nullptr);

// The video-memory address of the palette table of an MSX screen number (2, 3, 4,
// 5, 6, 7, 8, 10, 12), its entry count, and the base of the second page; -1 / 0 where
// the screen has none.
int iGetPaletteAddress(int iScreen);
int iGetPaletteEntries(int iScreen);
int iGetSecondPageBase(int iScreen);
// The last video-memory address (of a page) that holds the picture of an MSX
// screen number: the end of its pattern, name and colour tables or of its 212
// lines of pixels; -1 for a number without screen.
int iGetPictureEnd(int iScreen);

// The name table Screen 3 shows its 64 x 48 blocks through (768 bytes at 0800):
// character row r, column c names pattern 32 (r / 4) + c.
constexpr int g_iScreen3NameTableAddress = 0x0800;
constexpr int g_iScreen3NameTableSize = 768;
void vFillScreen3NameTable(unsigned char* pucNames);

// The MSX screen number (2 .. 12) of a tdScreenMode, or 0 for none.
int iGetScreenNumber(int eScreenMode);

// Reads the palette of the loaded video memory into poPalette (may be null), renders
// the screen and multiplies the picture's aspect ratio by the 60Hz ratio. Returns a
// new picture (caller owns it), or null for a screen number without renderer.
Image* poRenderScreenDump(VDP* poVDP, int iScreen, const tdSettings* poSettings, bool bSecondPage,
                          Palette* poPalette);
