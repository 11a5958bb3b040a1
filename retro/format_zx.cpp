// ZX Spectrum screen dump (.scr): the 6912 bytes of display memory 4000-5AFF.
//
//   offset 0000-17FF  bitmap, 32 bytes a line, bit 7 the leftmost pixel; line y
//                     (0..191) starts at 2048 * (y / 64) + 32 * ((y / 8) % 8)
//                     + 256 * (y % 8): three thirds, each stored character row
//                     by character row with the eight pixel lines interleaved
//   offset 1800-1AFF  attributes, one byte per 8 x 8 cell, 32 a row:
//                     bit 7 flash, bit 6 bright, bits 5-3 paper, bits 2-0 ink
//
// A set bitmap bit shows the ink colour, a clear one the paper colour. Flashing
// cells swap ink and paper twice a second; the picture shows the phase without
// the swap. 256 x 192 square pixels.

#include "retro/retro_formats.h"

// Colour number bits: 0 blue, 1 red, 2 green. The ULA drives a channel at about
// 84 % for normal colours (0xD7) and fully for bright ones; black stays black.
static const int g_iSpectrumNormalLevel = 0xD7;
static const int g_iSpectrumBrightLevel = 0xFF;

static int iSpectrumColor(int iNumber, bool bBright)
{
    int iLevel = bBright ? g_iSpectrumBrightLevel : g_iSpectrumNormalLevel;
    return iRGB((iNumber & 2) ? iLevel : 0, (iNumber & 4) ? iLevel : 0, (iNumber & 1) ? iLevel : 0);
}

bool bDecodeSpectrumScreen(const unsigned char* pucContent, int iLength, int iVariant,
                           tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength != 6912) return false;
    if (!poPicture->bAllocate(256, 192)) return false;
    for (int y = 0; y < 192; y++)
    {
        const unsigned char* pucLine = pucContent + 2048 * (y / 64) + 32 * ((y / 8) % 8) + 256 * (y % 8);
        const unsigned char* pucAttributes = pucContent + 6144 + 32 * (y / 8);
        for (int iColumn = 0; iColumn < 32; iColumn++)
        {
            unsigned char cAttribute = pucAttributes[iColumn];
            bool bBright = (cAttribute & 0x40) != 0;
            int iInk = iSpectrumColor(cAttribute & 7, bBright);
            int iPaper = iSpectrumColor((cAttribute >> 3) & 7, bBright);
            for (int b = 0; b < 8; b++)
                poPicture->vSetPixel(8 * iColumn + b, y, (pucLine[iColumn] & (0x80 >> b)) ? iInk : iPaper);
        }
    }
    return true;
}
