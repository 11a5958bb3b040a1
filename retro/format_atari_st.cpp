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

#include "retro/retro_formats.h"

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
