// The video chip model and the screen-dump layouts. Oracles: documented bytes typed as hex
// and level strings (expansions, default palette, registers), the interpolation weights
// with the formula written out, worked addresses; the renderers' layouts: encoder round trips.

#include "tests/msx/msx_helpers.h"
#include "tests/support/retro_files.h"

#include "qev/msx/screen_dump.h"

#include <memory>

TEST(VDPTest, DocumentedLevelsPaletteRegistersAndScreen2NameTable)
{
    const int aiThree[8] = {0, 36, 73, 109, 146, 182, 219, 255}, aiTwo[4] = {0, 73, 146, 255};
    const int aiFive[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,  90,  99,  107, 115, 123,
                            132, 140, 148, 156, 165, 173, 181, 189, 197, 206, 214, 222, 230, 239, 247, 255};
    for (int i = 0; i < 32; i++)
    {
        EXPECT_EQ(cExpand5(i), aiFive[i]) << i;
        EXPECT_EQ(cExpand3(i), aiThree[i % 8]) << i;
        EXPECT_EQ(cExpand2(i), aiTwo[i % 4]) << i; // the rules keep the low bits
    }

    const char* pszDefault = "00 00 00 00 11 06 33 07 17 01 27 03 51 01 27 06 " // register format
                             "71 01 73 03 61 06 64 06 11 04 65 02 55 05 77 07";
    const char* pszLevels = "000000161373117237511267711733661664141625555777"; // red, green, blue
    EXPECT_EQ(tdBytes(g_acDefaultPalette, g_acDefaultPalette + 32), aucHexBytes(pszDefault));
    VDP oVDP;
    EXPECT_EQ(tdBytes(oVDP.m_pucVRAM + 0x7680, oVDP.m_pucVRAM + 0x76A0), aucHexBytes(pszDefault));
    EXPECT_EQ(tdBytes(oVDP.m_pucVRAM + 0xFA80, oVDP.m_pucVRAM + 0xFAA0), aucHexBytes(pszDefault));
    Palette oPalette;
    oVDP.vReadPaletteFromVRAM(0xFA80, 16, &oPalette);
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    for (int i = 0; i < 48; i++)
    {
        EXPECT_EQ((&oPalette.m_aoColors[i / 3].r)[i % 3], aiThree[pszLevels[i] - '0']) << i;
        EXPECT_EQ((&oVDP.m_poPalette[i / 3].r)[i % 3], aiThree[pszLevels[i] - '0']) << i;
    }
    // Screen 2 follows its name table (the encoders write the standard one only): character
    // (1, 8) shows pattern 3 of the second third on line 66, foreground 15 on bit 7, background 4.
    oVDP.m_pucVRAM[0x1800 + 32 * 8 + 1] = 3;
    oVDP.m_pucVRAM[0x0800 + 8 * 3 + 2] = 0x80;
    oVDP.m_pucVRAM[0x2000 + 0x0800 + 8 * 3 + 2] = 0xF4;
    std::unique_ptr<Image> po(oVDP.poGetScreen2Image());
    const Color o8 = po->oGetPixel(8, 66), o9 = po->oGetPixel(9, 66);
    EXPECT_EQ(tdBytes({o8.r, o8.g, o8.b, o9.r, o9.g, o9.b}), aucHexBytes("FF FF FF 24 24 FF"));
    oVDP.vReadPaletteFromVRAM(0x7680, 99, &oPalette); // held to 16 (the sanitizer build sees more)
    oVDP.vReadPaletteFromVRAM(0x7680, 4, &oPalette);  // Screen 6 reads four colours, resized to 16
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    EXPECT_EQ(0, memcmp(&oPalette.m_aoColors[15], &oPalette.m_aoColors[3], 3));

    // clang-format off
    struct tdRow { const unsigned char* m_puc; size_t m_uiSize; const char* m_pszHex; }; // reg, value, mask
    const tdRow aoRows[] = {
        {g_acScreen2Regs, sizeof(g_acScreen2Regs), "00 02 FF 01 80 98 03 FF FF 04 03 FF 05 36 FF 06 07 FF"},
        {g_acScreen3Regs, sizeof(g_acScreen3Regs), "00 00 FF 01 88 98 03 00 FF 04 00 FF 05 36 FF 06 07 FF"},
        {g_acScreen5Regs, sizeof(g_acScreen5Regs), "00 06 FF 01 00 98 03 80 FF 04 00 FF 08 22 22"},
        {g_acScreen6Regs, sizeof(g_acScreen6Regs), "00 08 FF 01 00 98 03 80 FF 04 00 FF 08 22 22"},
        {g_acScreen7Regs, sizeof(g_acScreen7Regs), "00 0A FF 01 00 98 03 FF FF 04 01 FF 08 22 22"},
        {g_acScreen8Regs, sizeof(g_acScreen8Regs), "00 0E FF 01 00 98 03 FF FF 04 01 FF 08 02 22"},
        {g_acScreen10Regs, sizeof(g_acScreen10Regs), "00 0E FF 01 00 98 03 80 FF 04 00 FF 08 22 22 19 18 FF"},
        {g_acScreen12Regs, sizeof(g_acScreen12Regs), "00 0E FF 01 00 98 03 80 FF 04 00 FF 08 02 22 19 08 FF"}};
    // clang-format on
    for (const tdRow& o : aoRows)
        EXPECT_EQ(tdBytes(o.m_puc, o.m_puc + o.m_uiSize), aucHexBytes(o.m_pszHex)) << o.m_pszHex;
}

// Over the groups -3..+3 inside the line, S = sum of weights, SJ, SK the weighted J and
// K; integer divisions truncate.
TEST(VDPTest, InterpolationFollowsTheWeightTable)
{
    // clang-format off
    const int aiWeights[4][4][7] = {
        {{0, 0, 0, 65536, 0, 0, 0}, {0, 0, 0, 65536, 0, 0, 0}, {0, 0, 0, 65536, 0, 0, 0}, {0, 0, 0, 65536, 0, 0, 0}},
        {{0, 0, 24576, 40960, 0, 0, 0}, {0, 0, 8192, 57344, 0, 0, 0}, {0, 0, 0, 57344, 8192, 0, 0},
         {0, 0, 0, 40960, 24576, 0, 0}},
        {{0, -2581, 26116, 48473, -5396, 0, 0}, {0, -282, 6510, 63455, -3938, 0, 0},
         {0, 0, -3938, 63455, 6510, -282, 0}, {0, 0, -5396, 48473, 26116, -2581, 0}},
        {{1022, -6910, 28682, 50083, -9651, 1986, 0}, {120, -2003, 7899, 63682, -5565, 1339, 0},
         {0, 1339, -5565, 63682, 7899, -2003, 120}, {0, 1986, -9651, 50083, 28682, -6910, 1022}}};
    // clang-format on
    const tdBytes aucLine = aucRandom(256, 12345);
    auto iClamp = [](int i) { return i < 0 ? 0 : (i > 31 ? 31 : i); };
    // Bits 2-0 of bytes i (low) and i + 1 (high) as 6-bit two's complement.
    auto iSigned = [&](int i) { return ((aucLine[i] & 7) + 8 * (aucLine[i + 1] & 7) + 32) % 64 - 32; };
    for (int iMode = 0; iMode < 4; iMode++)
        for (int g = 0; g < 64; g++)
        {
            Color aoOut[4];
            updateYJK(aucLine.data(), g, aoOut, static_cast<tdYJK2RGBInterpolation>(iMode));
            for (int p = 0; p < 4; p++)
            {
                int S = 0, SJ = 0, SK = 0;
                for (int n = 0; n < 7; n++)
                {
                    const int h = g - 3 + n;
                    if (h < 0 || h > 63) continue;
                    const int w = aiWeights[iMode][p][n];
                    S += w;
                    SJ += w * iSigned(4 * h + 2);
                    SK += w * iSigned(4 * h);
                }
                const int Y = aucLine[4 * g + p] >> 3;
                SCOPED_TRACE("mode " + std::to_string(iMode) + " group " + std::to_string(g));
                EXPECT_EQ(aoOut[p].r, cExpand5(iClamp((Y * S + S / 2 + SJ) / S)));
                EXPECT_EQ(aoOut[p].g, cExpand5(iClamp((Y * S + S / 2 + SK) / S)));
                EXPECT_EQ(aoOut[p].b, cExpand5(iClamp((S / 2 + (5 * Y * S - SK - 2 * SJ + 2) / 4) / S)));
            }
        }
}

// Screen number, palette address and entries, second page base of each screen mode (8, -1: none).
TEST(ScreenDumpTest, LayoutsOfEveryScreenMode)
{
    // clang-format off
    const std::vector<int> aaiRows[11] = {{2, 0x1B80, 16, 0}, {3, 0x2020, 16, 0}, {5, 0x7680, 16, 0x8000},
        {6, 0x7680, 4, 0x8000}, {7, 0xFA80, 16, 0x10000}, {8, -1, 0, 0x10000}, {10, 0xFA80, 16, 0x10000},
        {12, -1, 0, 0x10000}, {4, 0x1E80, 16, 0}, {0, -1, 0, 0}, {0, -1, 0, 0}};
    // clang-format on
    auto aiLayout = [](int i) {
        return std::vector<int>{i, iGetPaletteAddress(i), iGetPaletteEntries(i), iGetSecondPageBase(i)};
    };
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(aiLayout(iGetScreenNumber(i < 10 ? i : -1)), aaiRows[i]) << i;
}
