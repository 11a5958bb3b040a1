// IFF interleaved bitmaps (.iff, .ilbm, .lbm): Amiga ILBM and Deluxe Paint's
// chunky PBM. Numbers are big-endian.
//
//   "FORM", length (32 bits), "ILBM" or "PBM ", then chunks: id (4 bytes),
//   length (32 bits), data, a pad byte when the length is odd.
//   BMHD  width 16, height 16, x 16, y 16, planes 8, masking 8 (1: a mask plane
//         follows each row's planes), compression 8 (0 none, 1 ByteRun1), pad 8,
//         transparent colour 16, x aspect 8, y aspect 8, page width 16, page
//         height 16
//   CMAP  red, green, blue bytes per colour
//   CAMG  Amiga viewport mode, 32 bits: 0x8000 hires, 0x0020 super hires,
//         0x0004 interlace, 0x0800 hold-and-modify, 0x0080 extra half-brite
//   BODY  the rows, top first, compressed as a whole when compression is 1
//
// ILBM row: for each plane (and the mask plane), ((width + 15) / 16) * 2 bytes,
// bit 7 of the first byte the leftmost pixel; the pixel value takes bit p from
// plane p. 1 to 8 planes index the colour map (a grey ramp without one);
// 24 planes (32: the last 8 ignored) hold red in planes 0-7, green in 8-15 and
// blue in 16-23, least significant bit first. PBM row: one byte per pixel, an
// even number of bytes (8 planes only).
//
// Colour map: when every byte of it has a zero low nibble, the file holds the
// Amiga's 4-bit levels in the high nibble and each byte b becomes b + b / 16
// (0xF0 gives 0xFF). Extra half-brite (6 planes): colours 32-63 are colours 0-31
// with every channel halved. Hold-and-modify: the top two bits of a pixel value
// choose: 00 colour-map entry (the low bits), 01 new blue, 10 new red, 11 new
// green, the other two channels kept from the pixel to the left (colour-map
// entry 0 at the start of each row). HAM6 (6 planes) gives a 4-bit level, which
// the original chip set shows as level * 17; HAM8 (8 planes) gives the top six
// bits of the channel and keeps its low two bits, as the AGA chip set does.
//
// Pixel shape: from the CAMG chunk when there is one (one low-resolution pixel
// is square; hires halves its width, super hires quarters it, interlace halves
// its height), otherwise from the BMHD aspect (width : height), rounded to a
// power of two from 1/4 to 4; the picture is magnified by whole factors to
// square pixels.

#include "retro/retro_formats.h"

#include <cstdlib>
#include <cstring>

namespace
{
struct tdIFFHeader
{
    int iWidth = 0;
    int iHeight = 0;
    int iPlanes = 0;
    int iMasking = 0;
    int iCompression = 0;
    int iXAspect = 0;
    int iYAspect = 0;
};
} // namespace

static bool bIsID(const unsigned char* puc, const char* pszID)
{
    return memcmp(puc, pszID, 4) == 0;
}

// One hold-and-modify pixel, 0xRRGGBB, from the pixel to its left.
static int iHoldAndModify(int iPrevious, int iValue, int iBits, const int* piPalette)
{
    const int iData = iValue & ((1 << iBits) - 1);
    const int iControl = iValue >> iBits;
    if (iControl == 0) return piPalette[iData];
    const int iShift = iControl == 1 ? 0 : (iControl == 2 ? 16 : 8);
    const int iOld = (iPrevious >> iShift) & 255;
    const int iLevel = iBits == 4 ? iData * 17 : (iData << (8 - iBits)) | (iOld & ((1 << (8 - iBits)) - 1));
    return (iPrevious & ~(255 << iShift)) | (iLevel << iShift);
}

bool bDecodeIFF(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength < 12 || !bIsID(pucContent, "FORM")) return false;
    bool bChunky = bIsID(pucContent + 8, "PBM ");
    if (!bChunky && !bIsID(pucContent + 8, "ILBM")) return false;
    tdRetroCursor oForm(pucContent, iLength);
    oForm.vSkip(4);
    long long lFormEnd = 8 + static_cast<long long>(oForm.uiGetBE32());
    if (lFormEnd > iLength) lFormEnd = iLength;

    tdIFFHeader oHeader;
    bool bHeader = false;
    int aiPalette[256] = {};
    int iPaletteSize = 0;
    bool bCAMG = false;
    uint32_t uiCAMG = 0;
    const unsigned char* pucBody = nullptr;
    int iBodyLength = 0;
    long long lPosition = 12;
    while (lPosition + 8 <= lFormEnd)
    {
        const unsigned char* pucChunk = pucContent + lPosition;
        tdRetroCursor oChunk(pucChunk + 4, 4);
        long long lSize = oChunk.uiGetBE32();
        long long lAvailable = lFormEnd - lPosition - 8;
        int iSize = static_cast<int>(lSize < lAvailable ? lSize : lAvailable);
        tdRetroCursor oData(pucChunk + 8, iSize);
        if (bIsID(pucChunk, "BMHD") && iSize >= 20)
        {
            oHeader.iWidth = static_cast<int>(oData.uiGetBE16());
            oHeader.iHeight = static_cast<int>(oData.uiGetBE16());
            oData.vSkip(4);
            oHeader.iPlanes = oData.cGet();
            oHeader.iMasking = oData.cGet();
            oHeader.iCompression = oData.cGet();
            oData.vSkip(3);
            oHeader.iXAspect = oData.cGet();
            oHeader.iYAspect = oData.cGet();
            bHeader = true;
        }
        else if (bIsID(pucChunk, "CMAP"))
        {
            iPaletteSize = iSize / 3 < 256 ? iSize / 3 : 256;
            for (int i = 0; i < iPaletteSize; i++)
                aiPalette[i] = iRGB(pucChunk[8 + 3 * i], pucChunk[9 + 3 * i], pucChunk[10 + 3 * i]);
        }
        else if (bIsID(pucChunk, "CAMG") && iSize >= 4)
        {
            bCAMG = true;
            uiCAMG = oData.uiGetBE32();
        }
        else if (bIsID(pucChunk, "BODY"))
        {
            pucBody = pucChunk + 8;
            iBodyLength = iSize;
            break;
        }
        lPosition += 8 + lSize + (lSize & 1);
    }
    if (!bHeader || !pucBody) return false;

    const int iWidth = oHeader.iWidth;
    const int iHeight = oHeader.iHeight;
    const int iPlanes = oHeader.iPlanes;
    if (bChunky ? iPlanes != 8 : !((iPlanes >= 1 && iPlanes <= 8) || iPlanes == 24 || iPlanes == 32))
        return false;
    if (oHeader.iCompression > 1 || oHeader.iMasking > 3) return false;
    const long long lRowBytes = bChunky ? iWidth + (iWidth & 1) : ((iWidth + 15) / 16) * 2;
    const int iPlanesPerRow = bChunky ? 1 : iPlanes + (oHeader.iMasking == 1 ? 1 : 0);
    const long long lBodyBytes = lRowBytes * iPlanesPerRow * iHeight;
    // ByteRun1 turns two bytes into at most 128: a body that cannot hold the rows
    // is refused before anything is allocated.
    if (lBodyBytes > static_cast<long long>(iBodyLength) * (oHeader.iCompression ? 64 : 1) ||
        lBodyBytes > 0x7FFFFFFF)
        return false;
    if (!poPicture->bAllocate(iWidth, iHeight)) return false;
    unsigned char* pucRows = static_cast<unsigned char*>(malloc(static_cast<size_t>(lBodyBytes)));
    if (!pucRows) return false;
    bool bComplete;
    if (oHeader.iCompression == 1)
    {
        tdRetroCursor oBody(pucBody, iBodyLength);
        bComplete = iUnpackBits(&oBody, pucRows, static_cast<int>(lBodyBytes)) == lBodyBytes;
    }
    else
    {
        memcpy(pucRows, pucBody, static_cast<size_t>(lBodyBytes));
        bComplete = true;
    }
    if (!bComplete)
    {
        free(pucRows);
        return false;
    }

    // Colour map of the indexed modes.
    bool bFourBit = iPaletteSize > 0;
    for (int i = 0; i < iPaletteSize; i++)
        if (aiPalette[i] & 0x0F0F0F) bFourBit = false;
    for (int i = 0; i < iPaletteSize && bFourBit; i++)
        aiPalette[i] |= (aiPalette[i] >> 4) & 0x0F0F0F;
    const int iColors = iPlanes <= 8 ? 1 << iPlanes : 0;
    for (int i = iPaletteSize; i < iColors; i++)
    {
        int iGrey = iPaletteSize == 0 ? i * 255 / (iColors - 1 > 0 ? iColors - 1 : 1) : 0;
        aiPalette[i] = iRGB(iGrey, iGrey, iGrey);
    }
    const uint32_t uiMode = bCAMG ? uiCAMG : 0;
    const bool bHAM = !bChunky && (uiMode & 0x800) && (iPlanes == 6 || iPlanes == 8);
    if (!bChunky && (uiMode & 0x80) && iPlanes == 6 && !bHAM)
        for (int i = 0; i < 32; i++)
            aiPalette[32 + i] = (aiPalette[i] >> 1) & 0x7F7F7F;

    for (int y = 0; y < iHeight; y++)
    {
        const unsigned char* pucRow = pucRows + static_cast<long long>(y) * iPlanesPerRow * lRowBytes;
        int iColor = aiPalette[0];
        for (int x = 0; x < iWidth; x++)
        {
            if (bChunky)
            {
                poPicture->vSetPixel(x, y, aiPalette[pucRow[x]]);
                continue;
            }
            uint32_t uiValue = 0;
            for (int p = 0; p < iPlanes; p++)
                uiValue |= static_cast<uint32_t>((pucRow[p * lRowBytes + x / 8] >> (7 - x % 8)) & 1) << p;
            if (iPlanes >= 24)
                iColor = iRGB(uiValue & 255, (uiValue >> 8) & 255, (uiValue >> 16) & 255);
            else if (bHAM)
                iColor = iHoldAndModify(iColor, static_cast<int>(uiValue), iPlanes - 2, aiPalette);
            else
                iColor = aiPalette[uiValue];
            poPicture->vSetPixel(x, y, iColor);
        }
    }
    free(pucRows);

    int iXFactor = 1;
    int iYFactor = 1;
    if (bCAMG)
    {
        int iHorizontal = (uiMode & 0x20) ? 4 : ((uiMode & 0x8000) ? 2 : 1);
        int iVertical = (uiMode & 0x4) ? 2 : 1;
        vSquarePixelFactors(iVertical, iHorizontal, &iXFactor, &iYFactor);
    }
    else
    {
        vSquarePixelFactors(oHeader.iXAspect, oHeader.iYAspect, &iXFactor, &iYFactor);
    }
    poPicture->vMagnify(iXFactor, iYFactor);
    return true;
}
