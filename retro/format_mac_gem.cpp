// MacPaint and GEM bit images. Numbers are big-endian.
//
// MacPaint (.mac, .pntg), 576 x 720, one bit a pixel, set bits black:
//   offset   0  128-byte MacBinary header, only when byte 0 is 0, byte 1 (name
//               length) 1..63, bytes 74 and 82 are 0 and bytes 65-68 read "PNTG"
//   then        512-byte header: version (32 bits, 0..3), 38 fill patterns, padding
//   then        720 lines of 72 bytes, bit 7 leftmost, packed with the PackBits
//               scheme (unpacked as one stream)
//
// GEM bit image (.img, .ximg):
//   word 0  version            word 4  pixel width in micrometres
//   word 1  header length in words (at least 8)
//   word 2  planes 1..8        word 5  pixel height in micrometres
//   word 3  pattern length 1..8
//   word 6  width in pixels    word 7  height in pixels
//   XIMG extension: words 8-9 "XIMG", word 10 colour model (0 RGB), then one
//   red, green, blue triple of words 0..1000 per colour (2^planes colours).
//   Then the scan lines, top first: each holds every plane's line of
//   (width + 7) / 8 bytes in turn, bit 7 leftmost; the pixel value takes bit p
//   from plane p. Codes:
//     00 00 FF n      the next scan line is shown n times
//     00 n p...       the pattern of (pattern length) bytes p..., n times
//     80 n b...       n bytes as they are
//     any other c     (c & 0x7F) bytes of 0xFF when bit 7 is set, else of 0x00
//   A code running past the end of its scan line is cut there.
//   Colours: 1 plane: 0 white, 1 black. With an XIMG palette, its colours (each
//   level 0..1000 scaled to 0..255, rounded). Without one, 2 and 4 planes use the
//   Atari ST desktop's default palettes below (pixel value order); other plane
//   counts are refused. Pixels are made square from the micrometre sizes.

#include "retro/retro_formats.h"

#include <cstdlib>
#include <cstring>

static const int g_iMacPaintWidth = 576;
static const int g_iMacPaintHeight = 720;

static bool bHasMacBinaryHeader(const unsigned char* pucContent, int iLength)
{
    return iLength >= 128 && pucContent[0] == 0 && pucContent[1] >= 1 && pucContent[1] <= 63 &&
           pucContent[74] == 0 && pucContent[82] == 0 && memcmp(pucContent + 65, "PNTG", 4) == 0;
}

bool bDecodeMacPaint(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    const int iHeader = bHasMacBinaryHeader(pucContent, iLength) ? 128 : 0;
    if (iLength <= iHeader + 512) return false;
    tdRetroCursor oVersion(pucContent + iHeader, 4);
    if (oVersion.uiGetBE32() > 3) return false;
    const int iLineBytes = g_iMacPaintWidth / 8;
    const int iTotal = iLineBytes * g_iMacPaintHeight;
    unsigned char* pucBits = static_cast<unsigned char*>(malloc(iTotal));
    if (!pucBits) return false;
    tdRetroCursor oData(pucContent + iHeader + 512, iLength - iHeader - 512);
    bool bOK = iUnpackBits(&oData, pucBits, iTotal) == iTotal && poPicture->bAllocate(576, 720);
    for (int y = 0; y < g_iMacPaintHeight && bOK; y++)
        for (int x = 0; x < g_iMacPaintWidth; x++)
            poPicture->vSetPixel(x, y,
                                 (pucBits[y * iLineBytes + x / 8] & (0x80 >> (x % 8))) ? 0x000000 : 0xFFFFFF);
    free(pucBits);
    return bOK;
}

// Source: the Atari ST desktop's default colour registers, ST words 0x0RGB.
// clang-format off
static const unsigned g_auiSTLowDefaults[16] = {
    0x777, 0x700, 0x070, 0x770, 0x007, 0x707, 0x077, 0x555,  // white red green yellow blue magenta cyan grey
    0x333, 0x733, 0x373, 0x773, 0x337, 0x737, 0x377, 0x000,  // dark grey, light colours, black
};
static const unsigned g_auiSTMediumDefaults[4] = {0x777, 0x700, 0x070, 0x000};
// clang-format on

static int iFromSTWord(unsigned uiWord)
{
    return iRGB(iExpandLevel(static_cast<int>(uiWord >> 8), 3),
                iExpandLevel(static_cast<int>(uiWord >> 4), 3), iExpandLevel(static_cast<int>(uiWord), 3));
}

// Reads the GEM palette into piPalette (2^planes entries). False when the plane
// count has no palette.
static bool bReadGEMPalette(const unsigned char* pucContent, int iHeaderWords, int iPlanes, int* piPalette)
{
    const int iColors = 1 << iPlanes;
    if (iPlanes == 1)
    {
        piPalette[0] = 0xFFFFFF;
        piPalette[1] = 0x000000;
        return true;
    }
    if (iHeaderWords >= 11 + 3 * iColors && memcmp(pucContent + 16, "XIMG", 4) == 0)
    {
        tdRetroCursor oHeader(pucContent + 20, 2 * (iHeaderWords - 10));
        if (oHeader.uiGetBE16() != 0) return false;
        for (int i = 0; i < iColors; i++)
        {
            int aiLevel[3];
            for (int c = 0; c < 3; c++)
            {
                int iLevel = static_cast<int>(oHeader.uiGetBE16());
                if (iLevel > 1000) iLevel = 1000;
                aiLevel[c] = (iLevel * 255 + 500) / 1000;
            }
            piPalette[i] = iRGB(aiLevel[0], aiLevel[1], aiLevel[2]);
        }
        return true;
    }
    if (iPlanes == 4)
    {
        for (int i = 0; i < 16; i++)
            piPalette[i] = iFromSTWord(g_auiSTLowDefaults[i]);
        return true;
    }
    if (iPlanes == 2)
    {
        for (int i = 0; i < 4; i++)
            piPalette[i] = iFromSTWord(g_auiSTMediumDefaults[i]);
        return true;
    }
    return false;
}

namespace
{
// What the scan-line decoder needs besides the data.
struct tdGEMLayout
{
    int iWidth;
    int iHeight;
    int iPlanes;
    int iPatternLength;
    int iLineBytes; // one plane's line
    int iScanBytes; // all planes of a scan line
};
} // namespace

// Decodes scan lines from the data; with a picture, draws them in the palette.
// Returns the number of picture rows the data fills (at most the height), so a
// first pass without a picture proves the data complete before anything large
// is allocated. pucScan holds iScanBytes bytes.
static int iDecodeGEMLines(const unsigned char* pucData, int iLength, const tdGEMLayout& oLayout,
                           unsigned char* pucScan, const int* piPalette, tdRetroPicture* poPicture)
{
    tdRetroCursor oData(pucData, iLength);
    int iFill = 0;
    int iRepeat = 1;
    int y = 0;
    while (y < oLayout.iHeight)
    {
        if (iFill == oLayout.iScanBytes)
        {
            for (int r = 0; r < iRepeat && y < oLayout.iHeight; r++, y++)
            {
                for (int x = 0; x < oLayout.iWidth && poPicture; x++)
                {
                    int iValue = 0;
                    for (int p = 0; p < oLayout.iPlanes; p++)
                        iValue |= ((pucScan[p * oLayout.iLineBytes + x / 8] >> (7 - x % 8)) & 1) << p;
                    poPicture->vSetPixel(x, y, piPalette[iValue]);
                }
            }
            iFill = 0;
            iRepeat = 1;
            continue;
        }
        if (oData.bAtEnd()) break;
        unsigned char cCode = oData.cGet();
        if (cCode == 0)
        {
            int iCount = oData.cGet();
            if (iCount == 0)
            {
                if (oData.cGet() != 0xFF) break;
                iRepeat = oData.cGet();
                continue;
            }
            unsigned char acPattern[8];
            for (int i = 0; i < oLayout.iPatternLength && i < 8; i++)
                acPattern[i] = oData.cGet();
            for (int n = 0; n < iCount; n++)
                for (int i = 0; i < oLayout.iPatternLength && iFill < oLayout.iScanBytes; i++)
                    pucScan[iFill++] = acPattern[i];
        }
        else if (cCode == 0x80)
        {
            int iCount = oData.cGet();
            for (int i = 0; i < iCount; i++)
            {
                unsigned char c = oData.cGet();
                if (iFill < oLayout.iScanBytes) pucScan[iFill++] = c;
            }
        }
        else
        {
            unsigned char cFill = (cCode & 0x80) ? 0xFF : 0x00;
            for (int i = 0; i < (cCode & 0x7F) && iFill < oLayout.iScanBytes; i++)
                pucScan[iFill++] = cFill;
        }
        if (oData.m_bOverrun) break;
    }
    return y;
}

bool bDecodeGEM(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength < 16) return false;
    tdRetroCursor oHeader(pucContent, 16);
    oHeader.uiGetBE16();
    const int iHeaderWords = static_cast<int>(oHeader.uiGetBE16());
    tdGEMLayout oLayout;
    oLayout.iPlanes = static_cast<int>(oHeader.uiGetBE16());
    oLayout.iPatternLength = static_cast<int>(oHeader.uiGetBE16());
    const int iPixelWidth = static_cast<int>(oHeader.uiGetBE16());
    const int iPixelHeight = static_cast<int>(oHeader.uiGetBE16());
    oLayout.iWidth = static_cast<int>(oHeader.uiGetBE16());
    oLayout.iHeight = static_cast<int>(oHeader.uiGetBE16());
    if (iHeaderWords < 8 || 2 * iHeaderWords >= iLength || oLayout.iPlanes < 1 || oLayout.iPlanes > 8 ||
        oLayout.iPatternLength < 1 || oLayout.iPatternLength > 8 || oLayout.iWidth < 1 || oLayout.iHeight < 1)
        return false;
    int aiPalette[256];
    if (!bReadGEMPalette(pucContent, iHeaderWords, oLayout.iPlanes, aiPalette)) return false;
    oLayout.iLineBytes = (oLayout.iWidth + 7) / 8;
    oLayout.iScanBytes = oLayout.iLineBytes * oLayout.iPlanes;
    unsigned char* pucScan = static_cast<unsigned char*>(malloc(static_cast<size_t>(oLayout.iScanBytes)));
    if (!pucScan) return false;
    const unsigned char* pucData = pucContent + 2 * iHeaderWords;
    const int iDataLength = iLength - 2 * iHeaderWords;
    bool bOK =
        iDecodeGEMLines(pucData, iDataLength, oLayout, pucScan, aiPalette, nullptr) == oLayout.iHeight &&
        poPicture->bAllocate(oLayout.iWidth, oLayout.iHeight) &&
        iDecodeGEMLines(pucData, iDataLength, oLayout, pucScan, aiPalette, poPicture) == oLayout.iHeight;
    free(pucScan);
    if (!bOK) return false;
    int iXFactor;
    int iYFactor;
    vSquarePixelFactors(iPixelWidth, iPixelHeight, &iXFactor, &iYFactor);
    poPicture->vMagnify(iXFactor, iYFactor);
    return true;
}
