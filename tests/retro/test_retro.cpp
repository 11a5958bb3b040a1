// The RECOIL interface (names, the names left to the program's own readers, the
// decoder's state), its glue to Image, and the formats netpbm does not know (ZX
// Spectrum, Commodore 64, MSX screen dumps). Oracles: files built byte by byte
// from the documented layouts against pixels typed in, and for the dumps the
// video-memory layout of each screen.

#include "tests/support/retro_files.h"

#include "qev/base/image.h"
#include "retro/recoil.h"
#include "retro/retro_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

TEST(RetroInterfaceTest, NamesAndAFailedDecodeLeavesNoPicture)
{
    // clang-format off
    for (const char* psz : {"scr", "koa", "kla", "dd", "art", "ocp", "pi1", "pi2", "pi3", "pc1", "pc2", "pc3", "neo", "iff",
                            "ilbm", "lbm", "pcx", "mac", "pntg", "img", "ximg", "grp", "ge5", "ge6", "ge7", "ge8", "SCR", "Ge5", "a.png.scr"})
        EXPECT_TRUE(RECOIL_IsOurFile((std::string("some.dir/p.") + psz).c_str())) << psz;
    // clang-format on
    // Only the last extension counts, and only after the last "/".
    for (const char* psz : {"picture.scr.png", "folder.scr/picture", "scr", "picture.", "picture.gif"})
        EXPECT_FALSE(RECOIL_IsOurFile(psz)) << psz;
    EXPECT_FALSE(RECOIL_IsOurFile(nullptr));
    // The program's own readers and the companion files they look for are not
    // ours, even with a valid dump inside.
    std::vector<std::string> asOwn = {"png", "jpg", "JPEG", "qev", "pi5", "pi6", "pi7", "pi8", "pia", "PIC"};
    for (char c : std::string("235678ac"))
        for (const char* pszPrefix : {"sc", "sr", "pl", "sk", "si", "SJ", "sl"})
            asOwn.push_back(pszPrefix + std::string(1, c));
    const tdBytes aucDump = aucBSAVE(aucRandom(0x10000, 5), 0x769F);
    const int iLength = static_cast<int>(aucDump.size());
    tdRetroPixels oNone;
    for (const std::string& s : asOwn)
        EXPECT_FALSE(RECOIL_IsOurFile(("p." + s).c_str()) || bDecodeRetro("p." + s, aucDump, &oNone)) << s;
    // Unknown name, damaged contents, no contents, no name: each empties the decoder.
    RECOIL* poDecoder = RECOIL_New();
    auto bEmpty = [](RECOIL* po)
    { return !RECOIL_GetWidth(po) && !RECOIL_GetHeight(po) && !RECOIL_GetPixels(po); };
    ASSERT_TRUE(poDecoder && bEmpty(poDecoder));
    const char* const apszNames[] = {"a.gif", "a.ge5", "a.ge5", nullptr};
    for (int i = 0; i < 4; i++)
    {
        ASSERT_TRUE(RECOIL_Decode(poDecoder, "a.ge5", aucDump.data(), iLength));
        EXPECT_FALSE(RECOIL_Decode(poDecoder, apszNames[i], i == 2 ? nullptr : aucDump.data(),
                                   i == 1 ? 100 : iLength));
        EXPECT_TRUE(bEmpty(poDecoder)) << i;
    }
    RECOIL_Delete(poDecoder);
    EXPECT_FALSE(RECOIL_Decode(nullptr, "a.ge5", aucDump.data(), iLength));
    EXPECT_TRUE(bEmpty(nullptr));
    RECOIL_Delete(nullptr);
}

TEST(RetroImageTest, DecoderRowsBecomePictureRowsTopFirstAndFailuresGiveNull)
{
    tdTempFolder oFolder;
    // Top-left cell: bright red ink on blue paper, first byte 0xF0; the rest black.
    const tdBytes aucScreen = aucPatched(tdBytes(6912, 0), {{0, 0xF0}, {6144, 0x40 | (1 << 3) | 2}});
    ASSERT_TRUE(bWriteFile(oFolder.sFile("marked.scr"), aucScreen) &&
                bWriteFile(oFolder.sFile("short.scr"), tdBytes(6911, 0)));
    std::unique_ptr<Image> poImage(poReadImageWithRECOIL(oFolder.sFile("marked.scr").c_str()));
    ASSERT_NE(poImage, nullptr);
    EXPECT_TRUE(poImage->m_iWidth == 256 && poImage->m_iHeight == 192 && poImage->m_iTexelSize == 3 &&
                poImage->m_fAspectRatio == 1.0);
    // The last stored row is the top: pixels 3 and 4 red and blue.
    const unsigned char* pucTop = poImage->m_pucTexels + 191 * 256 * 3;
    EXPECT_EQ(tdBytes(pucTop + 9, pucTop + 15), tdBytes({255, 0, 0, 0, 0, 255}));
    for (const char* pszName : {"short.scr", "missing.scr"})
        EXPECT_EQ(poReadImageWithRECOIL(oFolder.sFile(pszName).c_str()), nullptr) << pszName;
}

TEST(SpectrumTest, BitmapLinesAreInterleavedAndAttributesGiveInkAndPaper)
{
    // Display map: thirds of 2048 bytes, pixel lines 256 bytes apart, character
    // rows 32. Offset, line, column of the byte's leftmost pixel. Attributes:
    // colour bits 0 blue, 1 red, 2 green; 0xD7 normal, 0xFF bright; flashing cells
    // show the unswapped phase. Attribute, ink, paper.
    // clang-format off
    const int aiOffsetLineColumn[][3] = {{0, 0, 0}, {31, 0, 31}, {256, 1, 0}, {1792, 7, 0}, {32, 8, 0}, {288, 9, 0},
                                         {2016, 63, 0}, {2048, 64, 0}, {2080, 72, 0}, {4096, 128, 0}, {6143, 191, 31}};
    const int aiAttributeInkPaper[][3] = {{0x00, 0x000000, 0x000000}, {0x07, 0xD7D7D7, 0x000000}, {0x39, 0x0000D7, 0xD7D7D7},
                                          {0x42, 0xFF0000, 0x000000}, {0x8A, 0xD70000, 0x0000D7}, {0xFE, 0xFFFF00, 0xFFFFFF},
                                          {0x24, 0x00D700, 0x00D700}, {0x1D, 0x00D7D7, 0xD700D7}};
    // clang-format on
    for (const auto& ai : aiOffsetLineColumn)
    {
        tdBytes auc = aucPatched(tdBytes(6144, 0), {{ai[0], 0x80}});
        auc.resize(6912, 0x38); // white paper, black ink
        const tdRetroPixels oPixels = oDecoded("s.scr", auc);
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, 256192);
        EXPECT_EQ(oPixels.iAt(8 * ai[2], ai[1]), 0) << ai[0];
        EXPECT_EQ(std::count(oPixels.m_aiPixels.begin(), oPixels.m_aiPixels.end(), 0xD7D7D7), 256 * 192 - 1);
    }
    tdBytes auc(6912, 0xF0); // left half of every cell ink, right half paper
    for (int i = 0; i < 8; i++)
        auc[static_cast<size_t>(6144 + 35 * i)] = static_cast<unsigned char>(aiAttributeInkPaper[i][0]);
    const tdRetroPixels oPixels = oDecoded("s.SCR", auc);
    for (int i = 0; i < 8 * 64; i++)
        EXPECT_EQ(oPixels.iAt(24 * (i / 64) + i % 8, 8 * (i / 64) + i / 8 % 8),
                  aiAttributeInkPaper[i / 64][i % 8 < 4 ? 1 : 2])
            << i;
    vExpectRefused("s.scr", auc, {}, {6911, 6913});
}

TEST(C64Test, KoalaBitPairsAndHiresBitsChooseTheirColours)
{
    // The VIC-II palette (measured PAL colours).
    const int aiC64[16] = {0x000000, 0xFFFFFF, 0x68372B, 0x70A4B2, 0x6F3D86, 0x588D43, 0x352879, 0xB8C76F,
                           0x6F4F25, 0x433900, 0x9A6759, 0x444444, 0x6C6C6C, 0x9AD284, 0x6C5EB5, 0x959595};
    // Koala bit pairs: 00 background, 01 screen high nibble, 10 screen low nibble,
    // 11 colour memory; each pixel two wide. Cell 0 line 0: 00 01 10 11, screen 2B,
    // colour F5, background 36; cell 999 line 7: 11 10 01 00, screen 7E, colour
    // 0A; cell 41 line 3: 01 first, screen D0. Then x, y, colour of pixel pairs.
    // clang-format off
    const tdBytes aucKoala = aucPatched(tdBytes(10003, 0), {{2, 0x1B}, {8002, 0x2B}, {9002, 0xF5}, {10002, 0x36}, {2 + 8 * 999 + 7, 0xE4},
                                                            {8002 + 999, 0x7E}, {9002 + 999, 0x0A}, {2 + 8 * 41 + 3, 0x40}, {8002 + 41, 0xD0}});
    const int aiXYColor[][3] = {{0, 0, 6}, {2, 0, 2}, {4, 0, 11}, {6, 0, 5}, {8, 0, 6}, {312, 199, 10}, {314, 199, 14},
                                {316, 199, 7}, {318, 199, 6}, {8, 11, 13}, {10, 11, 6}};
    // clang-format on
    const tdRetroPixels oKoala = oDecoded("k.koa", aucKoala);
    ASSERT_EQ(oKoala.m_iWidth * 1000 + oKoala.m_iHeight, 320200);
    for (const auto& ai : aiXYColor)
        EXPECT_TRUE(oKoala.iAt(ai[0], ai[1]) == aiC64[ai[2]] && oKoala.iAt(ai[0] + 1, ai[1]) == aiC64[ai[2]])
            << ai[0] << "," << ai[1];
    EXPECT_EQ(oDecoded("k.KLA", aucKoala).m_aiPixels, oKoala.m_aiPixels);
    vExpectRefused("k.koa", aucKoala, {}, {10002, 10004});
    // Hires (name, length, bitmap, screen): a set bit shows the screen byte's high
    // nibble, a clear bit its low one. Cell 0 line 0 white / light blue, cell 999
    // line 7 yellow / red; cells 16-31 of the top row every colour.
    const std::pair<const char*, std::vector<int>> aoLayouts[] = {
        {"d.dd", {9218, 1026, 2}}, {"a.art", {9009, 2, 8002}}, {"a.ocp", {9009, 2, 8002}}};
    for (const auto& o : aoLayouts)
    {
        const int iBitmap = o.second[1], iScreen = o.second[2];
        tdBytes aucHires =
            aucPatched(tdBytes(static_cast<size_t>(o.second[0]), 0),
                       {{iBitmap, 0xA5}, {iScreen, 0x1E}, {iBitmap + 8 * 999 + 7, 1}, {iScreen + 999, 0x72}});
        for (int c = 0; c < 16; c++)
            aucHires[static_cast<size_t>(iScreen + 16 + c)] = static_cast<unsigned char>(c * 0x11);
        const tdRetroPixels oHires = oDecoded(o.first, aucHires);
        ASSERT_EQ(oHires.m_iWidth * 1000 + oHires.m_iHeight, 320200);
        for (int i = 0; i < 24; i++) // pixels 0-7 of line 0, then one pixel of each cell 16-31
            EXPECT_EQ(oHires.iAt(i < 8 ? i : 8 * i + 64, 0),
                      aiC64[i < 8 ? ((0xA5 >> (7 - i)) & 1 ? 1 : 14) : i - 8])
                << o.first << " " << i;
        EXPECT_TRUE(oHires.iAt(318, 199) == aiC64[2] && oHires.iAt(319, 199) == aiC64[7]) << o.first;
        vExpectRefused(o.first, aucHires, {}, {-1});
    }
}

TEST(MSXDumpTest, EveryScreenShowsItsVideoMemoryInItsPaletteAndShortDumpsAreRefused)
{
    // The MSX2 start-up palette (red, green, blue levels per colour).
    const char* pszStartup = "000000161373117237511267711733661664141625555777";
    const tdBytes aucVRAM = aucRandom(0x10000, 77);
    // Screen, bits a pixel, dump end, palette table (0: the start-up palette), width, height.
    // clang-format off
    const int aiScreens[][6] = {{5, 4, 0x769F, 0x7680, 256, 212}, {5, 4, 0x69FF, 0, 256, 212}, {6, 2, 0x769F, 0x7680, 512, 424},
                                {7, 4, 0xFA9F, 0xFA80, 512, 424}, {8, 8, 0xD3FF, 0, 256, 212}, {2, 1, 0x7FFF, 0, 256, 192}};
    // clang-format on
    for (const auto& ai : aiScreens)
    {
        SCOPED_TRACE(ai[2]);
        const tdRetroPixels oPixels =
            oDecoded(ai[0] == 2 ? "p.grp" : "p.GE" + std::to_string(ai[0]), aucBSAVE(aucVRAM, ai[2]));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, ai[4] * 1000 + ai[5]);
        for (int i = 0; i < ai[4] * ai[5]; i += ai[4] == 512 ? 3 : 1)
        {
            // Pixels packed from bit 7 down; screens 6 and 7 show every line twice.
            const int x = i % ai[4], y = i / ai[4], iBit = ((ai[5] == 424 ? y / 2 : y) * ai[4] + x) * ai[1];
            int iIndex =
                (aucVRAM[static_cast<size_t>(iBit / 8)] >> (8 - ai[1] - iBit % 8)) & ((1 << ai[1]) - 1);
            // Screen 2: the name table (0x1800) gives each third's pattern (0x0000) and
            // colour (0x2000) numbers; each pattern bit chooses a nibble of its colour byte.
            const size_t uiPattern = static_cast<size_t>(
                0x800 * (y / 64) + 8 * aucVRAM[static_cast<size_t>(0x1800 + 32 * (y / 8) + x / 8)] + y % 8);
            if (ai[0] == 2)
                iIndex = aucVRAM[0x2000 + uiPattern] >> ((aucVRAM[uiPattern] << x % 8) & 0x80 ? 4 : 0) & 15;
            // Palette words: first byte red bits 6-4, blue 2-0; second green 2-0.
            // Screen 8: green bits 7-5, red 4-2, blue 1-0 (levels 0, 2, 4, 7).
            const unsigned char* puc = &aucVRAM[static_cast<size_t>(ai[3] + 2 * iIndex)];
            const int iExpected =
                ai[0] == 8 ? g_aiLevel3[iIndex >> 2 & 7] << 16 | g_aiLevel3[iIndex >> 5] << 8 |
                                 g_aiLevel3["0247"[iIndex & 3] - '0']
                : ai[3]
                    ? g_aiLevel3[puc[0] >> 4 & 7] << 16 | g_aiLevel3[puc[1] & 7] << 8 | g_aiLevel3[puc[0] & 7]
                    : iLevelColor(pszStartup, iIndex);
            ASSERT_EQ(oPixels.m_aiPixels[static_cast<size_t>(i)], iExpected) << x << "," << y;
        }
    }
    // Type byte, start 0001, end below the picture, data short of it; a Screen 5 dump
    // for Screens 7 and 8. Bytes past the header's end (the palette table) are not loaded.
    const tdBytes aucGood = aucBSAVE(aucVRAM, 0x769F), aucShort = aucBSAVE(aucVRAM, 0x69FF);
    vExpectRefused("p.ge5", aucGood, {{0, 0xFD}, {1, 1}, {4, 0x69}}, {7 + 0x69FF});
    tdRetroPixels oNone;
    EXPECT_FALSE(bDecodeRetro("p.ge7", aucGood, &oNone) || bDecodeRetro("p.ge8", aucGood, &oNone));
    EXPECT_EQ(oDecoded("p.ge5", aucPatched(aucGood, {{3, 0xFF}, {4, 0x69}})).m_aiPixels,
              oDecoded("p.ge5", aucShort).m_aiPixels);
}
