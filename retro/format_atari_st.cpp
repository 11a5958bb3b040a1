// Atari ST screen pictures. All words are big-endian.
//
// Screen memory, 32000 bytes, line after line; each line holds groups of 16
// pixels, a group being one word per bit plane (plane 0 first), bit 15 of each
// word the leftmost pixel; the pixel's colour number takes bit p from plane p.
//   resolution 0  low     320 x 200, 4 planes, 16 colours, 160 bytes a line
//   resolution 1  medium  640 x 200, 2 planes, 4 colours, 160 bytes a line;
//                 pixels are twice as high as wide: every line is written twice
//   resolution 2  high    640 x 400, 1 plane, monochrome, 80 bytes a line
//
// Palette word 0x0RGB: red bits 10-8, green 6-4, blue 2-0 (ST, levels 0..7).
// The STE adds a fourth, least significant bit per channel in bits 11, 7 and 3,
// so its level is (bits 2-0) * 2 + bit 3. A palette with none of the STE bits
// set is taken as ST levels (widened from 3 bits), any other as STE levels
// (widened from 4 bits). In high resolution the monitor shows black and white
// only: colour 0 is white and colour 1 black while bit 0 of palette word 0 is
// set (the usual 0x777), the other way round when it is clear.
//
// Degas (.pi1, .pi2, .pi3), 32034 bytes, or 32066 with Degas Elite's animation
// words (anything in between is accepted as padding):
//   offset 0  resolution word 0..2
//   offset 2  palette, 16 words
//   offset 34 screen memory, 32000 bytes
// Degas Elite compressed (.pc1, .pc2, .pc3):
//   offset 0  0x8000 + resolution
//   offset 2  palette, 16 words
//   offset 34 screen memory, packed line by line: each line is stored plane by
//             plane (all words of plane 0, then plane 1, ...) and compressed with
//             the PackBits scheme; 32 bytes of animation words may follow
// NEOchrome (.neo), 32128 bytes:
//   offset 0  flags word, 2 resolution word 0..2, 4 palette (16 words),
//   offset 36 file name and animation fields, 128 screen memory
//
// Spectrum 512 pictures show up to 48 colours on each line of a low-resolution
// screen: the program that shows them rewrites the 16 palette registers while
// the beam runs along the line, each register at a fixed place. Each of lines
// 1..199 has 48 palette words; the pixel at x of colour number c takes word
// c + 16 * k of its line, where k is 0 left of x1 = 10c + 1 (c even) or 10c - 5
// (c odd), 1 from x1 to x1 + 159 and 2 from x1 + 160 on. Line 0 has no palette
// and shows black; the picture is 320 x 200 with that black top line. Only the
// ST levels (bits 2-0 of each channel) count, as netpbm reads these files.
// Spectrum 512 (.spu), 51104 bytes (anything beyond is ignored):
//   offset 0     screen memory, 32000 bytes (line 0 unused)
//   offset 32000 palettes, 48 words for each of lines 1..199
// Spectrum 512 compressed (.spc):
//   offset 0  "SP", a reserved word, the bitmap data length and the palette data
//             length (32-bit words; the second one is not needed)
//   offset 12 bitmap data: lines 1..199 stored plane by plane (the words of
//             plane 0 of every line, then plane 1, ...), 31840 bytes packed as
//             one stream: a control byte n 0..127 copies the next n + 1 bytes,
//             n -128..-1 (as signed) repeats the next byte 2 - n times; a run
//             past the end is cut there, and bitmap data beyond the stream (a
//             padding byte) is skipped
//   then      palettes, 3 for each of lines 1..199, up to the end of the file:
//             each a word whose bits 0..14 say which of colours 0..14 follow, as
//             one word each; colours left out are black, colour 15 always

#include "retro/retro_formats.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
struct tdSTMode
{
    int iWidth;
    int iHeight;
    int iPlanes;
    int iYFactor; // line repetition for square pixels
};
} // namespace

// By resolution word.
//                                        width height planes y-factor
static const tdSTMode g_aoSTModes[3] = {{320, 200, 4, 1},  // low
                                        {640, 200, 2, 2},  // medium
                                        {640, 400, 1, 1}}; // high

static const int g_iSTScreenSize = 32000;

// 0xRRGGBB of the 16 palette words at pucWords.
static void vReadSTPalette(const unsigned char* pucWords, int* piPalette)
{
    unsigned uiAll = 0;
    unsigned auiWords[16];
    for (int i = 0; i < 16; i++)
    {
        auiWords[i] = (static_cast<unsigned>(pucWords[2 * i]) << 8) | pucWords[2 * i + 1];
        uiAll |= auiWords[i];
    }
    bool bSTE = (uiAll & 0x888) != 0;
    for (int i = 0; i < 16; i++)
    {
        int aiLevel[3];
        for (int c = 0; c < 3; c++)
        {
            unsigned uiNibble = (auiWords[i] >> (8 - 4 * c)) & 15;
            aiLevel[c] = bSTE ? iExpandLevel(static_cast<int>(((uiNibble & 7) << 1) | (uiNibble >> 3)), 4)
                              : iExpandLevel(static_cast<int>(uiNibble & 7), 3);
        }
        piPalette[i] = iRGB(aiLevel[0], aiLevel[1], aiLevel[2]);
    }
}

// Draws 32000 bytes of screen memory of a resolution with a palette read from
// pucPaletteWords.
static bool bDrawSTScreen(const unsigned char* pucScreen, int iResolution,
                          const unsigned char* pucPaletteWords, tdRetroPicture* poPicture)
{
    const tdSTMode& oMode = g_aoSTModes[iResolution];
    int aiPalette[16];
    vReadSTPalette(pucPaletteWords, aiPalette);
    if (oMode.iPlanes == 1)
    {
        bool bWhiteZero = (pucPaletteWords[1] & 1) != 0;
        aiPalette[0] = bWhiteZero ? 0xFFFFFF : 0x000000;
        aiPalette[1] = bWhiteZero ? 0x000000 : 0xFFFFFF;
    }
    if (!poPicture->bAllocate(oMode.iWidth, oMode.iHeight)) return false;
    const int iLineBytes = oMode.iWidth / 8 * oMode.iPlanes;
    for (int y = 0; y < oMode.iHeight; y++)
    {
        const unsigned char* pucLine = pucScreen + y * iLineBytes;
        for (int x = 0; x < oMode.iWidth; x++)
        {
            const unsigned char* pucGroup = pucLine + (x / 16) * 2 * oMode.iPlanes;
            int iBit = 15 - x % 16;
            int iColor = 0;
            for (int p = 0; p < oMode.iPlanes; p++)
            {
                unsigned uiWord = (static_cast<unsigned>(pucGroup[2 * p]) << 8) | pucGroup[2 * p + 1];
                iColor |= static_cast<int>((uiWord >> iBit) & 1) << p;
            }
            poPicture->vSetPixel(x, y, aiPalette[iColor]);
        }
    }
    poPicture->vMagnify(1, oMode.iYFactor);
    return true;
}

bool bDecodeDegas(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    if (iLength < 34) return false;
    unsigned uiResolution = (static_cast<unsigned>(pucContent[0]) << 8) | pucContent[1];
    if (iVariant == 0)
    {
        if (uiResolution > 2 || iLength < 34 + g_iSTScreenSize || iLength > 34 + g_iSTScreenSize + 32)
            return false;
        return bDrawSTScreen(pucContent + 34, static_cast<int>(uiResolution), pucContent + 2, poPicture);
    }
    if ((uiResolution & 0xFFFC) != 0x8000 || (uiResolution & 3) > 2) return false;
    const int iResolution = static_cast<int>(uiResolution & 3);
    const tdSTMode& oMode = g_aoSTModes[iResolution];
    const int iPlaneBytes = oMode.iWidth / 8;
    const int iLineBytes = iPlaneBytes * oMode.iPlanes;
    // Lines are packed one by one, but a run crossing into the next line is taken
    // as it comes: the whole stream is unpacked first and rearranged after.
    unsigned char* pucPacked = static_cast<unsigned char*>(malloc(2 * g_iSTScreenSize));
    if (!pucPacked) return false;
    unsigned char* pucScreen = pucPacked + g_iSTScreenSize;
    tdRetroCursor oIn(pucContent + 34, iLength - 34);
    bool bComplete = iUnpackBits(&oIn, pucPacked, g_iSTScreenSize) == g_iSTScreenSize;
    // Plane p's byte i of a line goes to word i / 2 of that plane in the interleaved line.
    for (int y = 0; y < oMode.iHeight && bComplete; y++)
        for (int p = 0; p < oMode.iPlanes; p++)
            for (int i = 0; i < iPlaneBytes; i++)
                pucScreen[y * iLineBytes + ((i / 2) * oMode.iPlanes + p) * 2 + i % 2] =
                    pucPacked[y * iLineBytes + p * iPlaneBytes + i];
    bool bOK = bComplete && bDrawSTScreen(pucScreen, iResolution, pucContent + 2, poPicture);
    free(pucPacked);
    return bOK;
}

bool bDecodeNEOchrome(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    (void)iVariant;
    if (iLength != 128 + g_iSTScreenSize) return false;
    unsigned uiResolution = (static_cast<unsigned>(pucContent[2]) << 8) | pucContent[3];
    if (uiResolution > 2) return false;
    return bDrawSTScreen(pucContent + 128, static_cast<int>(uiResolution), pucContent + 4, poPicture);
}

static const int g_iSpectrumLines = 199;             // lines 1..199 carry pixels
static const int g_iSpectrumPaletteWords = 199 * 48; // three palettes per line
static const int g_iSpectrumPlaneBytes = 199 * 40;   // one plane of lines 1..199

// Draws a Spectrum 512 screen (line 0 of the 32000 bytes unused) with the 48
// palette words of lines 1..199 at pucPalettes.
static bool bDrawSpectrum512(const unsigned char* pucScreen, const unsigned char* pucPalettes,
                             tdRetroPicture* poPicture)
{
    if (!poPicture->bAllocate(320, 200)) return false;
    for (int y = 1; y <= g_iSpectrumLines; y++)
    {
        int aiColors[48];
        for (int i = 0; i < 48; i++)
        {
            const unsigned char* pucWord = pucPalettes + ((y - 1) * 48 + i) * 2;
            aiColors[i] = iRGB(iExpandLevel(pucWord[0] & 7, 3), iExpandLevel(pucWord[1] >> 4 & 7, 3),
                               iExpandLevel(pucWord[1] & 7, 3));
        }
        for (int x = 0; x < 320; x++)
        {
            const unsigned char* pucGroup = pucScreen + y * 160 + (x / 16) * 8;
            const int iBit = 15 - x % 16;
            int iColor = 0;
            for (int p = 0; p < 4; p++)
            {
                unsigned uiWord = (static_cast<unsigned>(pucGroup[2 * p]) << 8) | pucGroup[2 * p + 1];
                iColor |= static_cast<int>((uiWord >> iBit) & 1) << p;
            }
            const int iX1 = 10 * iColor + ((iColor & 1) ? -5 : 1);
            const int iSlot = iColor + (x < iX1 ? 0 : (x < iX1 + 160 ? 16 : 32));
            poPicture->vSetPixel(x, y, aiColors[iSlot]);
        }
    }
    return true;
}

// Spectrum 512: variant 0 uncompressed, 1 compressed.
bool bDecodeSpectrum512(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    const int iPaletteBytes = 2 * g_iSpectrumPaletteWords;
    if (iVariant == 0)
    {
        if (iLength < g_iSTScreenSize + iPaletteBytes) return false;
        return bDrawSpectrum512(pucContent, pucContent + g_iSTScreenSize, poPicture);
    }
    if (iLength < 12 || pucContent[0] != 'S' || pucContent[1] != 'P') return false;
    tdRetroCursor oHeader(pucContent + 4, 4);
    const uint32_t uiBitmapLength = oHeader.uiGetBE32();
    if (uiBitmapLength > static_cast<uint32_t>(iLength - 12)) return false;
    // Screen (line 0 left black), palette words, the bitmap stream plane by plane.
    unsigned char* pucScreen =
        static_cast<unsigned char*>(calloc(g_iSTScreenSize + iPaletteBytes + 4 * g_iSpectrumPlaneBytes, 1));
    if (!pucScreen) return false;
    unsigned char* pucPalettes = pucScreen + g_iSTScreenSize;
    unsigned char* pucPlanes = pucPalettes + iPaletteBytes;
    tdRetroCursor oBitmap(pucContent + 12, static_cast<int>(uiBitmapLength));
    int iDone = 0;
    while (iDone < 4 * g_iSpectrumPlaneBytes && !oBitmap.m_bOverrun)
    {
        const int iControl = static_cast<signed char>(oBitmap.cGet());
        const int iRun =
            std::min(iControl < 0 ? 2 - iControl : iControl + 1, 4 * g_iSpectrumPlaneBytes - iDone);
        const unsigned char cRepeated = iControl < 0 ? oBitmap.cGet() : 0;
        for (int i = 0; i < iRun; i++)
            pucPlanes[iDone++] = iControl < 0 ? cRepeated : oBitmap.cGet();
    }
    // Byte i of plane p: line 1 + i / 40, word (i % 40) / 2 of that plane.
    for (int p = 0; p < 4; p++)
        for (int i = 0; i < g_iSpectrumPlaneBytes; i++)
            pucScreen[160 * (1 + i / 40) + (i % 40) / 2 * 8 + 2 * p + i % 2] =
                pucPlanes[p * g_iSpectrumPlaneBytes + i];
    tdRetroCursor oPalettes(pucContent + 12 + uiBitmapLength,
                            iLength - 12 - static_cast<int>(uiBitmapLength));
    for (int iPalette = 0; iPalette < 3 * g_iSpectrumLines; iPalette++)
    {
        const unsigned uiPresent = oPalettes.uiGetBE16();
        for (int i = 0; i < 15; i++)
            if (uiPresent >> i & 1)
            {
                const unsigned uiWord = oPalettes.uiGetBE16();
                pucPalettes[(iPalette * 16 + i) * 2] = static_cast<unsigned char>(uiWord >> 8);
                pucPalettes[(iPalette * 16 + i) * 2 + 1] = static_cast<unsigned char>(uiWord);
            }
    }
    const bool bOK =
        !oBitmap.m_bOverrun && !oPalettes.m_bOverrun && bDrawSpectrum512(pucScreen, pucPalettes, poPicture);
    free(pucScreen);
    return bOK;
}
