// The video chip model against the chip's documented decodings: palette words,
// Screen 8 and YJK colours, page interleave and the interpolation weights.

#include "qev/color/palette.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{
void vExpectColor(const Image* poImage, int iX, int iY, int iRed, int iGreen, int iBlue)
{
    Color o = poImage->oGetPixel(iX, iY);
    EXPECT_EQ(o.r, iRed) << "at " << iX << "," << iY;
    EXPECT_EQ(o.g, iGreen) << "at " << iX << "," << iY;
    EXPECT_EQ(o.b, iBlue) << "at " << iX << "," << iY;
}
} // namespace

TEST(VDPTest, ExpansionRulesGiveTheDocumentedLevels)
{
    const int aiThree[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    const int aiTwo[4] = {0, 73, 146, 255};
    const int aiFive[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,  90,  99,  107, 115, 123,
                            132, 140, 148, 156, 165, 173, 181, 189, 197, 206, 214, 222, 230, 239, 247, 255};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(cExpand3(i), aiThree[i]);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(cExpand2(i), aiTwo[i]);
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(cExpand5(i), aiFive[i]);
}

TEST(VDPTest, FreshChipRendersBlackAndHoldsTheDefaultPalette)
{
    VDP oVDP;
    std::unique_ptr<Image> poImage(oVDP.poGetScreen5Image(false, false));
    ASSERT_EQ(poImage->m_iWidth, 256);
    ASSERT_EQ(poImage->m_iHeight, 212);
    EXPECT_EQ(poImage->m_fAspectRatio, 1.0);
    for (int y = 0; y < 212; y += 7)
        for (int x = 0; x < 256; x += 5)
            vExpectColor(poImage.get(), x, y, 0, 0, 0);

    Palette oPalette;
    oVDP.vReadPaletteFromVRAM(0x7680, 16, &oPalette);
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    EXPECT_EQ(oVDP.m_poPalette[2].r, 36);
    EXPECT_EQ(oVDP.m_poPalette[2].g, 219);
    EXPECT_EQ(oVDP.m_poPalette[2].b, 36);
    EXPECT_EQ(oVDP.m_poPalette[15].r, 255);
    EXPECT_EQ(oVDP.m_poPalette[15].g, 255);
    EXPECT_EQ(oVDP.m_poPalette[15].b, 255);
    EXPECT_EQ(oPalette.m_aoColors[13].r, 219); // (6, 2, 5)
    EXPECT_EQ(oPalette.m_aoColors[13].g, 73);
    EXPECT_EQ(oPalette.m_aoColors[13].b, 182);
    // The same words sit at FA80 for Screens 7 and 10.
    EXPECT_EQ(0, memcmp(oVDP.m_pucVRAM + 0x7680, oVDP.m_pucVRAM + 0xFA80, 32));
}

TEST(VDPTest, PaletteReaderResizesAGivenPaletteToSixteen)
{
    VDP oVDP;
    Palette oPalette;
    oVDP.vReadPaletteFromVRAM(0x7680, 4, &oPalette); // Screen 6 reads four colours
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    for (int i = 4; i < 16; i++)
        EXPECT_EQ(0, memcmp(&oPalette.m_aoColors[i], &oPalette.m_aoColors[3], 3)) << i;
}

TEST(VDPTest, Screen8BytesDecodeGreenRedBlue)
{
    //  byte   red green blue
    const int aiCases[][4] = {
        {0xFF, 255, 255, 255},
        {0x1C, 255, 0, 0},
        {0x03, 0, 0, 255},
        {0x01, 0, 0, 73},
        {0xE0, 0, 255, 0},
    };
    VDP oVDP;
    for (size_t i = 0; i < sizeof(aiCases) / sizeof(aiCases[0]); i++)
        oVDP.m_pucVRAM[i] = static_cast<unsigned char>(aiCases[i][0]);
    std::unique_ptr<Image> poImage(oVDP.poGetScreen8Image(false, false));
    for (size_t i = 0; i < sizeof(aiCases) / sizeof(aiCases[0]); i++)
        vExpectColor(poImage.get(), static_cast<int>(i), 0, aiCases[i][1], aiCases[i][2], aiCases[i][3]);
}

TEST(VDPTest, Screen12GroupsDecodeYJK)
{
    VDP oVDP;
    const unsigned char acWhite[4] = {0xF8, 0xF8, 0xF8, 0xF8}; // Y 31, J = K = 0
    const unsigned char acTinted[4] = {0x80, 0x80, 0x81, 0x80}; // Y 16, K 0, J 1
    memcpy(oVDP.m_pucVRAM, acWhite, 4);
    memcpy(oVDP.m_pucVRAM + 4, acTinted, 4);
    std::unique_ptr<Image> poImage(oVDP.poGetScreen12Image(false, YJK2RGB_None, false));
    for (int p = 0; p < 4; p++)
    {
        vExpectColor(poImage.get(), p, 0, 255, 255, 255);
        vExpectColor(poImage.get(), 4 + p, 0, 140, 132, 165);
    }
}

TEST(VDPTest, JAndKBitPatternsAboveThirtyOneAreNegative)
{
    // K = 63 (-1) and J = 32 (-32) with Y 16: red 16-32 clamps to 0, green 15,
    // blue (80 + 64 + 1 + 2) / 4 = 36 clamps to 31.
    VDP oVDP;
    const unsigned char acGroup[4] = {0x87, 0x87, 0x80, 0x84};
    memcpy(oVDP.m_pucVRAM, acGroup, 4);
    std::unique_ptr<Image> poImage(oVDP.poGetScreen12Image(false, YJK2RGB_None, false));
    vExpectColor(poImage.get(), 0, 0, cExpand5(0), cExpand5(15), cExpand5(31));
}

TEST(VDPTest, InterpolationNoneEqualsPlainDecodingAndRowsAreNormalisedAtTheEdges)
{
    unsigned char acLine[256];
    unsigned int uiSeed = 12345;
    for (int i = 0; i < 256; i++)
    {
        uiSeed = uiSeed * 1103515245u + 12345u;
        acLine[i] = static_cast<unsigned char>(uiSeed >> 16);
    }
    for (int g = 0; g < 64; g++)
    {
        Color aoOut[4];
        updateYJK(acLine, g, aoOut, YJK2RGB_None);
        int iK = (acLine[4 * g] & 7) + 8 * (acLine[4 * g + 1] & 7);
        int iJ = (acLine[4 * g + 2] & 7) + 8 * (acLine[4 * g + 3] & 7);
        if (iK >= 32) iK -= 64;
        if (iJ >= 32) iJ -= 64;
        for (int p = 0; p < 4; p++)
        {
            int Y = acLine[4 * g + p] >> 3;
            auto iClamp = [](int i) { return i < 0 ? 0 : (i > 31 ? 31 : i); };
            EXPECT_EQ(aoOut[p].r, cExpand5(iClamp(Y + iJ)));
            EXPECT_EQ(aoOut[p].g, cExpand5(iClamp(Y + iK)));
            EXPECT_EQ(aoOut[p].b, cExpand5(iClamp((5 * Y - 2 * iJ - iK + 2) / 4)));
        }
    }
    // A line whose every group holds the same J and K gives that chroma with every
    // interpolation, also at groups 0 and 63 where neighbours are missing.
    unsigned char acFlat[256];
    for (int g = 0; g < 64; g++)
    {
        const unsigned char acGroup[4] = {0x82, 0x81, 0x85, 0x80}; // K = 10, J = 5, Y 16
        memcpy(acFlat + 4 * g, acGroup, 4);
    }
    for (int iMode = YJK2RGB_None; iMode < YJK2RGB_Count; iMode++)
    {
        for (int g : {0, 1, 31, 62, 63})
        {
            Color aoOut[4];
            updateYJK(acFlat, g, aoOut, static_cast<tdYJK2RGBInterpolation>(iMode));
            for (int p = 0; p < 4; p++)
            {
                EXPECT_EQ(aoOut[p].r, cExpand5(21)) << iMode << " " << g;
                EXPECT_EQ(aoOut[p].g, cExpand5(26)) << iMode << " " << g;
                EXPECT_EQ(aoOut[p].b, cExpand5((80 - 10 - 10 + 2) / 4)) << iMode << " " << g;
            }
        }
    }
}

TEST(VDPTest, Screen10AttributeBytesShowPaletteColours)
{
    VDP oVDP;
    oVDP.vReadPaletteFromVRAM(0xFA80, 16, nullptr);
    const unsigned char acGroup[4] = {0x58, 0xF0, 0x07, 0x07}; // byte 0: palette entry 5; K 0, J -1
    memcpy(oVDP.m_pucVRAM, acGroup, 4);
    std::unique_ptr<Image> poImage(oVDP.poGetScreen11Image(false, YJK2RGB_None, false));
    vExpectColor(poImage.get(), 0, 0, 73, 109, 255); // default entry 5 = (2, 3, 7)
    // Byte 1 (attribute bit clear) is a YJK pixel: Y 30, J -1, K 0.
    vExpectColor(poImage.get(), 1, 0, cExpand5(29), cExpand5(30), 255);
    // Bytes 2 and 3 have bit 3 clear too; with bit 3 set (F8) a byte shows entry 15.
    oVDP.m_pucVRAM[1] = 0xF8;
    poImage.reset(oVDP.poGetScreen11Image(false, YJK2RGB_None, false));
    vExpectColor(poImage.get(), 1, 0, 255, 255, 255);
}

TEST(VDPTest, PageInterleaveMapsOddLinesToTheSecondPage)
{
    VDP oVDP;
    // 128-byte lines: picture line 1 starts at 8000, line 2 at 0080, line 3 at 8080.
    oVDP.m_pucVRAM[0x8000] = 0x11;
    oVDP.m_pucVRAM[0x0080] = 0x22;
    oVDP.m_pucVRAM[0x8080] = 0x33;
    EXPECT_EQ(oVDP.cGetVRAM(128, 128), 0x11);
    EXPECT_EQ(oVDP.cGetVRAM(256, 128), 0x22);
    EXPECT_EQ(oVDP.cGetVRAM(384, 128), 0x33);
    // 256-byte lines: page 1 at 10000.
    oVDP.m_pucVRAM[0x10005] = 0x44;
    EXPECT_EQ(oVDP.cGetVRAM(256 + 5, 256), 0x44);
    // Other line lengths read the address itself; outside video memory reads 0.
    EXPECT_EQ(oVDP.cGetVRAM(0x80, 64), 0x22);
    EXPECT_EQ(oVDP.cGetVRAM(0x20000, 64), 0);
    EXPECT_EQ(oVDP.cGetVRAM(-1, 128), 0);

    oVDP.vReadPaletteFromVRAM(0x7680, 16, nullptr);
    oVDP.m_pucVRAM[0x8000] = 0xFF; // line 1, both pixels colour 15 (white)
    std::unique_ptr<Image> poImage(oVDP.poGetScreen5Image(true, true));
    ASSERT_EQ(poImage->m_iHeight, 424);
    EXPECT_EQ(poImage->m_fAspectRatio, 2.0);
    vExpectColor(poImage.get(), 0, 1, 255, 255, 255);
    vExpectColor(poImage.get(), 0, 0, 0, 0, 0);
}

TEST(VDPTest, PatternModesFollowTheirTables)
{
    VDP oVDP;
    oVDP.vReadPaletteFromVRAM(0x7680, 16, nullptr);
    // Screen 2: character (1, 8) in the second third uses pattern 3.
    oVDP.m_pucVRAM[0x1800 + 32 * 8 + 1] = 3;
    oVDP.m_pucVRAM[0x0800 + 8 * 3 + 2] = 0x80;      // line 66: leftmost pixel set
    oVDP.m_pucVRAM[0x2000 + 0x0800 + 8 * 3 + 2] = 0xF4; // foreground 15, background 4
    std::unique_ptr<Image> poScreen2(oVDP.poGetScreen2Image());
    vExpectColor(poScreen2.get(), 8, 66, 255, 255, 255);
    vExpectColor(poScreen2.get(), 9, 66, 36, 36, 255);

    // Screen 3: block (3, 9) is the low nibble of byte 256 + 8 + 1.
    oVDP.m_pucVRAM[256 + 8 + 1] = 0x2F;
    std::unique_ptr<Image> poScreen3(oVDP.poGetScreen3Image());
    ASSERT_EQ(poScreen3->m_iWidth, 64);
    vExpectColor(poScreen3.get(), 2, 9, 36, 219, 36);
    vExpectColor(poScreen3.get(), 3, 9, 255, 255, 255);

    // Screen 6: four pixels a byte, leftmost in bits 7-6.
    oVDP.m_pucVRAM[0] = 0x1B; // 0, 1, 2, 3
    std::unique_ptr<Image> poScreen6(oVDP.poGetScreen6Image(false, false));
    ASSERT_EQ(poScreen6->m_iWidth, 512);
    EXPECT_EQ(poScreen6->m_fAspectRatio, 0.5);
    vExpectColor(poScreen6.get(), 2, 0, 36, 219, 36);
    vExpectColor(poScreen6.get(), 3, 0, 109, 255, 109);
}
