// PC Paintbrush (.pcx). Numbers are little-endian; the window corners are signed.
//
//   offset  0  0x0A                   offset 65  planes (1..4)
//   offset  1  version 0..5           offset 66  bytes per line and plane
//   offset  2  encoding 0 none, 1 run-length
//   offset  3  bits per pixel and plane (1, 2, 4 or 8)
//   offset  4  x min, y min, x max, y max (16 bits each): width x max - x min + 1
//   offset 16  colour map of 16 red, green, blue triples
//   offset 128 the rows, top first; each row holds each plane's line in turn;
//              run-length data is unpacked as one stream (runs may cross lines)
//   last 769   with 8 bits and 1 plane: 0x0C and 256 red, green, blue triples
//
// Layouts: 1 bit x 1..4 planes (the pixel value takes bit p from plane p) and
// packed 2 or 4 bits x 1 plane index the header colour map; when that map is all
// black it was not filled in and the IBM EGA default palette stands in, except
// for 1 bit x 1 plane, which is then black and white. 8 bits x 1 plane indexes
// the map at the end of the file (a grey ramp without one). 8 bits x 3 planes are
// red, green and blue lines; a fourth plane is ignored. Square pixels.

#include "retro/retro_formats.h"

#include <cstdlib>

// Source: the IBM EGA default palette (colour 6 is brown, not dark yellow).
// clang-format off
static const int g_aiEGAPalette[16] = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};
// clang-format on

static bool bValidLayout(int iBits, int iPlanes)
{
    if (iBits == 1) return iPlanes >= 1 && iPlanes <= 4;
    if (iBits == 2 || iBits == 4) return iPlanes == 1;
    return iBits == 8 && (iPlanes == 1 || iPlanes == 3 || iPlanes == 4);
}

bool bDecodePCX(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength < 129) return false;
    tdRetroCursor oHeader(pucContent, 128);
    int iManufacturer = oHeader.cGet();
    int iVersion = oHeader.cGet();
    int iEncoding = oHeader.cGet();
    int iBits = oHeader.cGet();
    int iXMin = static_cast<int16_t>(oHeader.uiGetLE16());
    int iYMin = static_cast<int16_t>(oHeader.uiGetLE16());
    int iXMax = static_cast<int16_t>(oHeader.uiGetLE16());
    int iYMax = static_cast<int16_t>(oHeader.uiGetLE16());
    oHeader.vSkip(65 - 12);
    int iPlanes = oHeader.cGet();
    int iLineBytes = static_cast<int>(oHeader.uiGetLE16());
    if (iManufacturer != 0x0A || iVersion > 5 || iEncoding > 1 || !bValidLayout(iBits, iPlanes)) return false;
    const int iWidth = iXMax - iXMin + 1;
    const int iHeight = iYMax - iYMin + 1;
    if (iWidth < 1 || iHeight < 1 || iLineBytes < (static_cast<long long>(iWidth) * iBits + 7) / 8)
        return false;

    int aiPalette[256];
    int iDataEnd = iLength;
    bool bHeaderBlack = true;
    for (int i = 0; i < 48; i++)
        if (pucContent[16 + i]) bHeaderBlack = false;
    if (iBits == 8 && iPlanes == 1)
    {
        bool bMap = iLength >= 128 + 769 && pucContent[iLength - 769] == 0x0C;
        if (bMap) iDataEnd = iLength - 769;
        for (int i = 0; i < 256; i++)
            aiPalette[i] = bMap ? iRGB(pucContent[iDataEnd + 1 + 3 * i], pucContent[iDataEnd + 2 + 3 * i],
                                       pucContent[iDataEnd + 3 + 3 * i])
                                : iRGB(i, i, i);
    }
    else
    {
        for (int i = 0; i < 16; i++)
        {
            const unsigned char* puc = pucContent + 16 + 3 * i;
            aiPalette[i] = bHeaderBlack ? g_aiEGAPalette[i] : iRGB(puc[0], puc[1], puc[2]);
        }
        if (bHeaderBlack && iBits == 1 && iPlanes == 1) aiPalette[1] = 0xFFFFFF;
    }

    const long long lRowBytes = static_cast<long long>(iLineBytes) * iPlanes;
    const long long lTotal = lRowBytes * iHeight;
    const int iDataLength = iDataEnd - 128;
    // A run of two bytes gives at most 63: refuse sizes the data cannot fill.
    if (lTotal > static_cast<long long>(iDataLength) * (iEncoding ? 63 : 1) || lTotal > 0x7FFFFFFF)
        return false;
    if (!poPicture->bAllocate(iWidth, iHeight)) return false;
    unsigned char* pucRows = static_cast<unsigned char*>(malloc(static_cast<size_t>(lTotal)));
    if (!pucRows) return false;
    tdRetroCursor oData(pucContent + 128, iDataLength);
    int iUnpacked;
    if (iEncoding)
    {
        iUnpacked = iUnpackPCX(&oData, pucRows, static_cast<int>(lTotal));
    }
    else
    {
        for (iUnpacked = 0; iUnpacked < lTotal; iUnpacked++)
            pucRows[iUnpacked] = oData.cGet();
    }
    if (iUnpacked != lTotal)
    {
        free(pucRows);
        return false;
    }

    for (int y = 0; y < iHeight; y++)
    {
        const unsigned char* pucRow = pucRows + y * lRowBytes;
        for (int x = 0; x < iWidth; x++)
        {
            int iColor;
            if (iBits == 8 && iPlanes >= 3)
            {
                iColor = iRGB(pucRow[x], pucRow[iLineBytes + x], pucRow[2 * iLineBytes + x]);
            }
            else if (iBits == 8)
            {
                iColor = aiPalette[pucRow[x]];
            }
            else if (iBits == 1)
            {
                int iValue = 0;
                for (int p = 0; p < iPlanes; p++)
                    iValue |= ((pucRow[p * iLineBytes + x / 8] >> (7 - x % 8)) & 1) << p;
                iColor = aiPalette[iValue];
            }
            else
            {
                int iPerByte = 8 / iBits;
                int iShift = 8 - iBits * (x % iPerByte + 1);
                iColor = aiPalette[(pucRow[x / iPerByte] >> iShift) & ((1 << iBits) - 1)];
            }
            poPicture->vSetPixel(x, y, iColor);
        }
    }
    free(pucRows);
    return true;
}
