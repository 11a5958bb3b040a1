// Commodore 64 bitmap pictures: a two-byte load address (little-endian, not
// checked) followed by a copy of the VIC-II's bitmap and colour memory.
//
// The bitmap is 40 x 25 cells of 8 bytes; the byte of pixel line y, cell column
// c is at 8 * (40 * (y / 8) + c) + y % 8, bit 7 leftmost. Each cell has one byte
// of video matrix ("screen") and, in multicolour, one nibble of colour memory.
//
// Koala Painter (.koa, .kla), 10003 bytes, multicolour 160 x 200:
//   offset     2  bitmap, 8000 bytes: two bits a pixel, bits 7-6 leftmost
//   offset  8002  video matrix, 1000 bytes
//   offset  9002  colour memory, 1000 bytes (low nibble)
//   offset 10002  background colour (low nibble)
//   Bit pair 00 background, 01 video matrix high nibble, 10 video matrix low
//   nibble, 11 colour memory. Pixels are twice as wide as high: each is written
//   as two, giving 320 x 200.
//
// Doodle (.dd), 9218 bytes, hires 320 x 200:
//   offset     2  video matrix, 1024 bytes (1000 used)
//   offset  1026  bitmap, 8192 bytes (8000 used)
// Art Studio (.art, .ocp), 9009 bytes, hires 320 x 200:
//   offset     2  bitmap, 8000 bytes
//   offset  8002  video matrix, 1000 bytes
//   offset  9002  border colour and padding
//   A set bit shows the video matrix high nibble, a clear bit its low nibble.

#include "retro/retro_formats.h"

// The VIC-II colours as measured on a PAL machine, the palette most emulators
// use by default. Index: colour number 0..15.
// clang-format off
static const int g_aiC64Palette[16] = {
    0x000000,  // 0 black
    0xFFFFFF,  // 1 white
    0x68372B,  // 2 red
    0x70A4B2,  // 3 cyan
    0x6F3D86,  // 4 purple
    0x588D43,  // 5 green
    0x352879,  // 6 blue
    0xB8C76F,  // 7 yellow
    0x6F4F25,  // 8 orange
    0x433900,  // 9 brown
    0x9A6759,  // 10 light red
    0x444444,  // 11 dark grey
    0x6C6C6C,  // 12 grey
    0x9AD284,  // 13 light green
    0x6C5EB5,  // 14 light blue
    0x959595,  // 15 light grey
};
// clang-format on

static int iBitmapOffset(int iX, int iY)
{
    return 8 * (40 * (iY / 8) + iX / 8) + iY % 8;
}

bool bDecodeKoala(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength != 10003) return false;
    const unsigned char* pucBitmap = pucContent + 2;
    const unsigned char* pucScreen = pucContent + 8002;
    const unsigned char* pucColor = pucContent + 9002;
    int iBackground = g_aiC64Palette[pucContent[10002] & 15];
    if (!poPicture->bAllocate(320, 200)) return false;
    for (int y = 0; y < 200; y++)
    {
        for (int x = 0; x < 160; x++)
        {
            int iCell = 40 * (y / 8) + x / 4;
            int iPair = (pucBitmap[iBitmapOffset(2 * x, y)] >> (6 - 2 * (x % 4))) & 3;
            int iColor = iBackground;
            if (iPair == 1) iColor = g_aiC64Palette[pucScreen[iCell] >> 4];
            if (iPair == 2) iColor = g_aiC64Palette[pucScreen[iCell] & 15];
            if (iPair == 3) iColor = g_aiC64Palette[pucColor[iCell] & 15];
            poPicture->vSetPixel(2 * x, y, iColor);
            poPicture->vSetPixel(2 * x + 1, y, iColor);
        }
    }
    return true;
}

bool bDecodeC64Hires(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    const unsigned char* pucBitmap;
    const unsigned char* pucScreen;
    if (iVariant == C64Hires_Doodle && iLength == 9218)
    {
        pucScreen = pucContent + 2;
        pucBitmap = pucContent + 1026;
    }
    else if (iVariant == C64Hires_ArtStudio && iLength == 9009)
    {
        pucBitmap = pucContent + 2;
        pucScreen = pucContent + 8002;
    }
    else
    {
        return false;
    }
    if (!poPicture->bAllocate(320, 200)) return false;
    for (int y = 0; y < 200; y++)
    {
        for (int x = 0; x < 320; x++)
        {
            unsigned char cScreen = pucScreen[40 * (y / 8) + x / 8];
            bool bSet = (pucBitmap[iBitmapOffset(x, y)] & (0x80 >> (x % 8))) != 0;
            poPicture->vSetPixel(x, y, g_aiC64Palette[bSet ? cScreen >> 4 : cScreen & 15]);
        }
    }
    return true;
}
