#include "qev/msx/vdp.h"

#include "qev/color/palette.h"

#include <cstdlib>
#include <cstring>

// Source: the MSX2 BIOS start-up palette, in register format (red << 4 | blue, green).
const unsigned char g_acDefaultPalette[32] = {
    0x00, 0x00,  0x00, 0x00,  0x11, 0x06,  0x33, 0x07,  //  0  1  2  3
    0x17, 0x01,  0x27, 0x03,  0x51, 0x01,  0x27, 0x06,  //  4  5  6  7
    0x71, 0x01,  0x73, 0x03,  0x61, 0x06,  0x64, 0x06,  //  8  9 10 11
    0x11, 0x04,  0x65, 0x02,  0x55, 0x05,  0x77, 0x07,  // 12 13 14 15
};

// Source: V9938/V9958 register descriptions. Triples of register, value, mask.
// R0 holds M3-M5 (bits 1-3), R1 M1, M2 (bits 4, 3) and bit 7, R8 bit 5 (colour 0
// drawn) and bit 1 (sprites off), R25 bit 3 (YJK) and bit 4 (attribute bit).
//                                           reg  value mask
const unsigned char g_acScreen2Regs[18] = {  0x00, 0x02, 0xFF,
                                             0x01, 0x80, 0x98,
                                             0x03, 0xFF, 0xFF,
                                             0x04, 0x03, 0xFF,
                                             0x05, 0x36, 0xFF,
                                             0x06, 0x07, 0xFF};
// Screen 4 (GRAPHIC 3): Screen 2's tables with M4 for M3 in R0, and sprite mode 2,
// whose attribute table moves to 1E00 (R5 = 1E00 >> 7 with its bits 2-0, which
// the chip ANDs into A9-A7, set; R11 = A16-A15 = 0); sprite colours then sit at
// 1C00, the palette table at 1E80.
const unsigned char g_acScreen4Regs[21] = {  0x00, 0x04, 0xFF,
                                             0x01, 0x80, 0x98,
                                             0x03, 0xFF, 0xFF,
                                             0x04, 0x03, 0xFF,
                                             0x05, 0x3F, 0xFF,
                                             0x06, 0x07, 0xFF,
                                             0x0B, 0x00, 0xFF};
const unsigned char g_acScreen3Regs[18] = {  0x00, 0x00, 0xFF,
                                             0x01, 0x88, 0x98,
                                             0x03, 0x00, 0xFF,
                                             0x04, 0x00, 0xFF,
                                             0x05, 0x36, 0xFF,
                                             0x06, 0x07, 0xFF};
const unsigned char g_acScreen5Regs[15] = {  0x00, 0x06, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0x80, 0xFF,
                                             0x04, 0x00, 0xFF,
                                             0x08, 0x22, 0x22};
const unsigned char g_acScreen6Regs[15] = {  0x00, 0x08, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0x80, 0xFF,
                                             0x04, 0x00, 0xFF,
                                             0x08, 0x22, 0x22};
const unsigned char g_acScreen7Regs[15] = {  0x00, 0x0A, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0xFF, 0xFF,
                                             0x04, 0x01, 0xFF,
                                             0x08, 0x22, 0x22};
const unsigned char g_acScreen8Regs[15] = {  0x00, 0x0E, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0xFF, 0xFF,
                                             0x04, 0x01, 0xFF,
                                             0x08, 0x02, 0x22};
const unsigned char g_acScreen10Regs[18] = { 0x00, 0x0E, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0x80, 0xFF,
                                             0x04, 0x00, 0xFF,
                                             0x08, 0x22, 0x22,
                                             0x19, 0x18, 0xFF};
const unsigned char g_acScreen12Regs[18] = { 0x00, 0x0E, 0xFF,
                                             0x01, 0x00, 0x98,
                                             0x03, 0x80, 0xFF,
                                             0x04, 0x00, 0xFF,
                                             0x08, 0x02, 0x22,
                                             0x19, 0x08, 0xFF};

// Chroma weights (65536 = 1.0) for the J and K of the groups at offsets -3..+3.
//                                    -3     -2      -1       0      +1     +2    +3
const int g_aiYJKWeights[4][4][7] = {
    {                                                                      // None
        {    0,     0,      0,  65536,      0,     0,    0},
        {    0,     0,      0,  65536,      0,     0,    0},
        {    0,     0,      0,  65536,      0,     0,    0},
        {    0,     0,      0,  65536,      0,     0,    0}},
    {                                                                      // Linear
        {    0,     0,  24576,  40960,      0,     0,    0},
        {    0,     0,   8192,  57344,      0,     0,    0},
        {    0,     0,      0,  57344,   8192,     0,    0},
        {    0,     0,      0,  40960,  24576,     0,    0}},
    {                                                                      // Lanczos2
        {    0, -2581,  26116,  48473,  -5396,     0,    0},
        {    0,  -282,   6510,  63455,  -3938,     0,    0},
        {    0,     0,  -3938,  63455,   6510,  -282,    0},
        {    0,     0,  -5396,  48473,  26116, -2581,    0}},
    {                                                                      // Lanczos3
        { 1022, -6910,  28682,  50083,  -9651,  1986,    0},
        {  120, -2003,   7899,  63682,  -5565,  1339,    0},
        {    0,  1339,  -5565,  63682,   7899, -2003,  120},
        {    0,  1986,  -9651,  50083,  28682, -6910, 1022}},
};

unsigned char cExpand3(int iLevel)
{
    return static_cast<unsigned char>((255 * (iLevel & 7) + 3) / 7);
}

unsigned char cExpand2(int iLevel)
{
    iLevel &= 3;
    return static_cast<unsigned char>(iLevel < 3 ? 73 * iLevel : 255);
}

unsigned char cExpand5(int iValue)
{
    return static_cast<unsigned char>((255 * (iValue & 31) + 15) / 31);
}

static Color oFromRegister(unsigned char cFirst, unsigned char cSecond)
{
    return {cExpand3(cFirst >> 4), cExpand3(cSecond), cExpand3(cFirst), 0};
}

VDP::VDP()
{
    m_poPalette = static_cast<Color*>(calloc(16, sizeof(Color)));
    m_pucVRAM = static_cast<unsigned char*>(malloc(g_iVRAMSize));
    vReset();
}

VDP::~VDP()
{
    free(m_poPalette);
    free(m_pucVRAM);
}

void VDP::vReset()
{
    memset(m_pucVRAM, 0, g_iVRAMSize);
    memcpy(m_pucVRAM + 0x7680, g_acDefaultPalette, sizeof(g_acDefaultPalette));
    memcpy(m_pucVRAM + 0xFA80, g_acDefaultPalette, sizeof(g_acDefaultPalette));
}

unsigned char VDP::cGetVRAM(int iAddress, int iLineBytes) const
{
    int iMapped = iAddress;
    if (iLineBytes == 128 || iLineBytes == 256)
    {
        if (iAddress < 0) return 0;
        int iLine = iAddress / iLineBytes;
        iMapped = (iLine / 2) * iLineBytes + ((iLine & 1) ? (iLineBytes == 128 ? 0x8000 : 0x10000) : 0) +
                  iAddress % iLineBytes;
    }
    if (iMapped < 0 || iMapped >= g_iVRAMSize) return 0;
    return m_pucVRAM[iMapped];
}

static void vSetPaletteCount(Palette* poPalette, int iCount)
{
    if (!poPalette) return;
    poPalette->m_uiColorCount = static_cast<unsigned int>(iCount);
    poPalette->vResize(16);
}

void VDP::vReadPaletteFromVRAM(int iAddress, int iCount, Palette* poPalette)
{
    if (iCount > 16) iCount = 16;
    for (int i = 0; i < iCount; i++)
    {
        int iAt = iAddress + 2 * i;
        if (iAt < 0 || iAt + 1 >= g_iVRAMSize) break;
        m_poPalette[i] = oFromRegister(m_pucVRAM[iAt], m_pucVRAM[iAt + 1]);
        if (poPalette) poPalette->m_aoColors[i] = m_poPalette[i];
    }
    vSetPaletteCount(poPalette, iCount < 0 ? 0 : iCount);
}

void VDP::vReadPaletteFromFile(FILE* poFile, int iCount, Palette* poPalette)
{
    if (iCount > 16) iCount = 16;
    for (int i = 0; i < iCount; i++)
    {
        unsigned char acWord[2];
        if (fread(acWord, 1, 2, poFile) != 2) break;
        m_poPalette[i] = oFromRegister(acWord[0], acWord[1]);
    }
    if (poPalette)
        for (int i = 0; i < iCount; i++)
            poPalette->m_aoColors[i] = m_poPalette[i];
    vSetPaletteCount(poPalette, iCount < 0 ? 0 : iCount);
}

static Color oOpaque(Color oColor)
{
    oColor.a = 255;
    return oColor;
}

Image* VDP::poGetScreen2Image() const
{
    Image* poImage = new Image(256, 192, 3, Background_None, 1.0);
    for (int y = 0; y < 192; y++)
    {
        int iThird = 0x800 * (y / 64);
        for (int c = 0; c < 32; c++)
        {
            int p = m_pucVRAM[0x1800 + 32 * (y / 8) + c];
            unsigned char cPattern = m_pucVRAM[iThird + 8 * p + (y & 7)];
            unsigned char cColor = m_pucVRAM[0x2000 + iThird + 8 * p + (y & 7)];
            for (int b = 0; b < 8; b++)
            {
                Color oColor = m_poPalette[(cPattern & (0x80 >> b)) ? (cColor >> 4) : (cColor & 15)];
                oColor = oOpaque(oColor);
                poImage->vSetPixel(8 * c + b, y, &oColor);
            }
        }
    }
    return poImage;
}

Image* VDP::poGetScreen3Image() const
{
    Image* poImage = new Image(64, 48, 3, Background_None, 1.0);
    for (int y = 0; y < 48; y++)
    {
        for (int x = 0; x < 64; x++)
        {
            unsigned char c = m_pucVRAM[256 * (y / 8) + 8 * (x / 2) + (y & 7)];
            Color oColor = oOpaque(m_poPalette[(x & 1) ? (c & 15) : (c >> 4)]);
            poImage->vSetPixel(x, y, &oColor);
        }
    }
    return poImage;
}

unsigned char VDP::cGetByte(int iAddress, int iLineBytes, bool bPageInterleave) const
{
    if (bPageInterleave) return cGetVRAM(iAddress, iLineBytes);
    return (iAddress >= 0 && iAddress < g_iVRAMSize) ? m_pucVRAM[iAddress] : 0;
}

// Screens 5 and 7: two pixels a byte, the left one in the high nibble.
Image* VDP::poGetNibbleImage(int iWidth, bool bInterlaced, bool bPageInterleave) const
{
    const int iHeight = bInterlaced ? 424 : 212;
    const int iLineBytes = iWidth / 2;
    const double fRatio = (iWidth == 512 ? 0.5 : 1.0) * (bInterlaced ? 2.0 : 1.0);
    Image* poImage = new Image(iWidth, iHeight, 3, Background_None, fRatio);
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < iWidth; x += 2)
        {
            unsigned char c = cGetByte(y * iLineBytes + x / 2, iLineBytes, bPageInterleave);
            Color oLeft = oOpaque(m_poPalette[c >> 4]);
            Color oRight = oOpaque(m_poPalette[c & 15]);
            poImage->vSetPixel(x, y, &oLeft);
            poImage->vSetPixel(x + 1, y, &oRight);
        }
    }
    return poImage;
}

Image* VDP::poGetScreen5Image(bool bInterlaced, bool bPageInterleave) const
{
    return poGetNibbleImage(256, bInterlaced, bPageInterleave);
}

Image* VDP::poGetScreen7Image(bool bInterlaced, bool bPageInterleave) const
{
    return poGetNibbleImage(512, bInterlaced, bPageInterleave);
}

Image* VDP::poGetScreen6Image(bool bInterlaced, bool bPageInterleave) const
{
    const int iHeight = bInterlaced ? 424 : 212;
    Image* poImage = new Image(512, iHeight, 3, Background_None, bInterlaced ? 1.0 : 0.5);
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < 512; x += 4)
        {
            unsigned char c = cGetByte(y * 128 + x / 4, 128, bPageInterleave);
            for (int i = 0; i < 4; i++)
            {
                Color oColor = oOpaque(m_poPalette[(c >> (6 - 2 * i)) & 3]);
                poImage->vSetPixel(x + i, y, &oColor);
            }
        }
    }
    return poImage;
}

Image* VDP::poGetScreen8Image(bool bInterlaced, bool bPageInterleave) const
{
    const int iHeight = bInterlaced ? 424 : 212;
    Image* poImage = new Image(256, iHeight, 3, Background_None, bInterlaced ? 2.0 : 1.0);
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < 256; x++)
        {
            unsigned char c = cGetByte(y * 256 + x, 256, bPageInterleave);
            Color oColor = {cExpand3(c >> 2), cExpand3(c >> 5), cExpand2(c), 255};
            poImage->vSetPixel(x, y, &oColor);
        }
    }
    return poImage;
}

static int iClamp31(int i)
{
    return i < 0 ? 0 : (i > 31 ? 31 : i);
}

// J and K of the four-byte group at pucGroup, -32..31.
static void vGetJK(const unsigned char* pucGroup, int* piJ, int* piK)
{
    int iK = (pucGroup[0] & 7) + 8 * (pucGroup[1] & 7);
    int iJ = (pucGroup[2] & 7) + 8 * (pucGroup[3] & 7);
    *piK = iK >= 32 ? iK - 64 : iK;
    *piJ = iJ >= 32 ? iJ - 64 : iJ;
}

void updateYJK(const unsigned char* pucLine, int iGroup, Color* aoOut, tdYJK2RGBInterpolation eInterpolation)
{
    int iMode = (eInterpolation >= YJK2RGB_None && eInterpolation < YJK2RGB_Count) ? eInterpolation : 0;
    int aiJ[7];
    int aiK[7];
    bool abPresent[7];
    for (int n = 0; n < 7; n++)
    {
        int g = iGroup - 3 + n;
        abPresent[n] = g >= 0 && g <= 63;
        aiJ[n] = aiK[n] = 0;
        if (abPresent[n]) vGetJK(pucLine + 4 * g, &aiJ[n], &aiK[n]);
    }
    for (int p = 0; p < 4; p++)
    {
        const int* piWeights = g_aiYJKWeights[iMode][p];
        int32_t S = 0;
        int32_t SJ = 0;
        int32_t SK = 0;
        for (int n = 0; n < 7; n++)
        {
            if (!abPresent[n]) continue;
            S += piWeights[n];
            SJ += piWeights[n] * aiJ[n];
            SK += piWeights[n] * aiK[n];
        }
        if (S == 0) S = 65536; // cannot happen with the tables above: the own group always weighs in
        int32_t Y = pucLine[4 * iGroup + p] >> 3;
        int32_t iRed = (Y * S + S / 2 + SJ) / S;
        int32_t iGreen = (Y * S + S / 2 + SK) / S;
        int32_t iBlue = (S / 2 + (5 * Y * S - SK - 2 * SJ + 2) / 4) / S;
        aoOut[p].r = cExpand5(iClamp31(iRed));
        aoOut[p].g = cExpand5(iClamp31(iGreen));
        aoOut[p].b = cExpand5(iClamp31(iBlue));
    }
}

Image* VDP::poGetYJKImage(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation, bool bPageInterleave,
                          bool bAttribute) const
{
    const int iHeight = bInterlaced ? 424 : 212;
    Image* poImage = new Image(256, iHeight, 3, Background_None, bInterlaced ? 2.0 : 1.0);
    unsigned char acLine[256];
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < 256; x++)
            acLine[x] = cGetByte(y * 256 + x, 256, bPageInterleave);
        for (int g = 0; g < 64; g++)
        {
            Color aoColors[4] = {{0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}};
            updateYJK(acLine, g, aoColors, eInterpolation);
            for (int p = 0; p < 4; p++)
            {
                unsigned char c = acLine[4 * g + p];
                if (bAttribute && (c & 8)) aoColors[p] = oOpaque(m_poPalette[c >> 4]);
                poImage->vSetPixel(4 * g + p, y, &aoColors[p]);
            }
        }
    }
    return poImage;
}

Image* VDP::poGetScreen11Image(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation, bool bPageInterleave) const
{
    return poGetYJKImage(bInterlaced, eInterpolation, bPageInterleave, true);
}

Image* VDP::poGetScreen12Image(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation, bool bPageInterleave) const
{
    return poGetYJKImage(bInterlaced, eInterpolation, bPageInterleave, false);
}
