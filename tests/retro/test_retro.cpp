// The RECOIL interface (recognition by name, the names left to the program's own
// readers, the decoder's state after success and failure), its glue to Image,
// and the formats netpbm does not know: ZX Spectrum, Commodore 64 and the MSX
// screen dumps. Oracles: files built byte by byte from the documented layouts,
// known pixels typed in (Spectrum display map, VIC-II colours, MSX2 start-up
// palette), and for the dumps the video-memory layout of each screen.

#include "tests/support/retro_files.h"

#include "qev/base/image.h"
#include "retro/recoil.h"
#include "retro/retro_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace
{
// 3-bit levels widened to 8 bits.
const int g_aiLevel3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
} // namespace

TEST(RetroNamesTest, ListedExtensionsAreOursInAnyCaseAndProgramNamesNever)
{
    for (const char* psz : {"scr",  "koa", "kla", "dd",  "art",  "ocp", "pi1", "pi2", "pi3",      "pc1",
                            "pc2",  "pc3", "neo", "iff", "ilbm", "lbm", "pcx", "mac", "pntg",     "img",
                            "ximg", "grp", "ge5", "ge6", "ge7",  "ge8", "SCR", "Ge5", "a.png.scr"})
        EXPECT_TRUE(RECOIL_IsOurFile((std::string("some.dir/p.") + psz).c_str())) << psz;
    // Only the last extension counts, and only after the last "/".
    for (const char* psz : {"picture.scr.png", "folder.scr/picture", "scr", "picture.", "picture.gif"})
        EXPECT_FALSE(RECOIL_IsOurFile(psz)) << psz;
    EXPECT_FALSE(RECOIL_IsOurFile(nullptr));
    // The program's own readers and the companion files they look for, even with
    // a valid dump inside.
    std::vector<std::string> asOwn = {"png", "jpg", "JPEG", "qev", "pi5", "pi6", "pi7", "pi8", "pia", "PIC"};
    for (char c : std::string("235678ac"))
        for (const char* pszPrefix : {"sc", "sr", "pl", "sk", "si", "SJ", "sl"})
            asOwn.push_back(pszPrefix + std::string(1, c));
    const tdBytes aucDump = aucBSAVE(aucRandom(0x10000, 5), 0, 0x769F);
    for (const std::string& s : asOwn)
    {
        tdRetroPixels oNone;
        EXPECT_FALSE(RECOIL_IsOurFile(("p." + s).c_str())) << s;
        EXPECT_FALSE(bDecodeRetro("p." + s, aucDump, &oNone)) << s;
    }
}

TEST(RetroInterfaceTest, AFailedDecodeLeavesNoPicture)
{
    RECOIL* poDecoder = RECOIL_New();
    ASSERT_NE(poDecoder, nullptr);
    EXPECT_TRUE(RECOIL_GetWidth(poDecoder) == 0 && RECOIL_GetHeight(poDecoder) == 0 &&
                !RECOIL_GetPixels(poDecoder));
    const tdBytes aucDump = aucBSAVE(aucRandom(0x10000, 5), 0, 0x769F);
    const uint8_t* puc = aucDump.data();
    const int iLength = static_cast<int>(aucDump.size());
    // Unknown name, damaged contents, no contents, no name: each empties the decoder.
    const char* const apszNames[] = {"a.gif", "a.ge5", "a.ge5", nullptr};
    for (int i = 0; i < 4; i++)
    {
        ASSERT_TRUE(RECOIL_Decode(poDecoder, "a.ge5", puc, iLength));
        EXPECT_EQ(RECOIL_GetWidth(poDecoder) * 1000 + RECOIL_GetHeight(poDecoder), 256212);
        EXPECT_FALSE(RECOIL_Decode(poDecoder, apszNames[i], i == 2 ? nullptr : puc, i == 1 ? 100 : iLength));
        EXPECT_TRUE(RECOIL_GetWidth(poDecoder) == 0 && RECOIL_GetHeight(poDecoder) == 0 &&
                    !RECOIL_GetPixels(poDecoder));
    }
    RECOIL_Delete(poDecoder);
    EXPECT_FALSE(RECOIL_Decode(nullptr, "a.ge5", puc, iLength));
    EXPECT_TRUE(RECOIL_GetWidth(nullptr) == 0 && RECOIL_GetHeight(nullptr) == 0 &&
                !RECOIL_GetPixels(nullptr));
    RECOIL_Delete(nullptr);
}

TEST(RetroImageTest, DecoderRowsBecomePictureRowsTopFirstAndFailuresGiveNull)
{
    tdTempFolder oFolder;
    // Top-left cell: bright red ink on blue paper, first byte 0xF0; the rest black.
    tdBytes aucScreen(6912, 0);
    aucScreen[0] = 0xF0;
    aucScreen[6144] = 0x40 | (1 << 3) | 2;
    ASSERT_TRUE(bWriteFile(oFolder.sFile("marked.scr"), aucScreen));
    std::unique_ptr<Image> poImage(poReadImageWithRECOIL(oFolder.sFile("marked.scr").c_str()));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(poImage->m_iWidth * 1000 + poImage->m_iHeight, 256192);
    EXPECT_EQ(poImage->m_iTexelSize, 3);
    EXPECT_EQ(poImage->m_fAspectRatio, 1.0);
    // The last stored row is the top: pixels 3 and 4 red and blue; row 8 black.
    const unsigned char* pucTop = poImage->m_pucTexels + 191 * 256 * 3;
    EXPECT_EQ(tdBytes(pucTop + 9, pucTop + 15), tdBytes({255, 0, 0, 0, 0, 255}));
    EXPECT_EQ(tdBytes(poImage->m_pucTexels + 183 * 256 * 3, poImage->m_pucTexels + 183 * 256 * 3 + 3),
              tdBytes(3, 0));
    ASSERT_TRUE(bWriteFile(oFolder.sFile("short.scr"), tdBytes(6911, 0)));
    ASSERT_TRUE(bWriteFile(oFolder.sFile("screen.png"), aucScreen));
    ASSERT_EQ(mkdir(oFolder.sFile("folder.scr").c_str(), 0755), 0);
    for (const char* pszName : {"short.scr", "screen.png", "missing.scr", "folder.scr"})
        EXPECT_EQ(poReadImageWithRECOIL(oFolder.sFile(pszName).c_str()), nullptr) << pszName;
}

TEST(SpectrumTest, BitmapLinesAreInterleavedAndAttributesGiveInkAndPaper)
{
    // Display map: thirds of 2048 bytes, pixel lines 256 bytes apart, character
    // rows 32. Offset, line, column of the byte's leftmost pixel.
    // clang-format off
    const int aiOffsetLineColumn[][3] = {{0, 0, 0}, {31, 0, 31}, {256, 1, 0}, {1792, 7, 0}, {32, 8, 0}, {288, 9, 0},
                                         {2016, 63, 0}, {2048, 64, 0}, {2080, 72, 0}, {4096, 128, 0}, {6143, 191, 31}};
    // clang-format on
    tdRetroPixels oPixels;
    for (const auto& ai : aiOffsetLineColumn)
    {
        tdBytes auc(6912, 0);
        std::fill(auc.begin() + 6144, auc.end(), 0x38); // white paper, black ink
        auc[static_cast<size_t>(ai[0])] = 0x80;
        ASSERT_TRUE(bDecodeRetro("s.scr", auc, &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, 256192);
        EXPECT_EQ(oPixels.iAt(8 * ai[2], ai[1]), 0) << ai[0];
        EXPECT_EQ(std::count(oPixels.m_aiPixels.begin(), oPixels.m_aiPixels.end(), 0xD7D7D7), 256 * 192 - 1);
    }
    // Colour bits 0 blue, 1 red, 2 green; 0xD7 normal, 0xFF bright; flashing
    // cells show the unswapped phase. Attribute, ink, paper.
    // clang-format off
    const int aiAttributeInkPaper[][3] = {{0x00, 0x000000, 0x000000}, {0x07, 0xD7D7D7, 0x000000}, {0x39, 0x0000D7, 0xD7D7D7},
                                          {0x42, 0xFF0000, 0x000000}, {0x8A, 0xD70000, 0x0000D7}, {0xFE, 0xFFFF00, 0xFFFFFF},
                                          {0x24, 0x00D700, 0x00D700}, {0x1D, 0x00D7D7, 0xD700D7}};
    // clang-format on
    tdBytes auc(6912, 0xF0); // left half of every cell ink, right half paper
    for (int i = 0; i < 8; i++)
        auc[static_cast<size_t>(6144 + 35 * i)] = static_cast<unsigned char>(aiAttributeInkPaper[i][0]);
    ASSERT_TRUE(bDecodeRetro("s.SCR", auc, &oPixels));
    for (int i = 0; i < 8; i++)
        for (int iLine = 0; iLine < 8; iLine++)
            for (int x = 0; x < 8; x++)
                EXPECT_EQ(oPixels.iAt(24 * i + x, 8 * i + iLine), aiAttributeInkPaper[i][x < 4 ? 1 : 2]) << i;
    EXPECT_FALSE(bDecodeRetro("s.scr", tdBytes(6911, 0), &oPixels));
    EXPECT_FALSE(bDecodeRetro("s.scr", tdBytes(6913, 0), &oPixels));
}

TEST(C64Test, KoalaBitPairsAndHiresBitsChooseTheirColours)
{
    // The VIC-II palette (measured PAL colours).
    const int aiC64[16] = {0x000000, 0xFFFFFF, 0x68372B, 0x70A4B2, 0x6F3D86, 0x588D43, 0x352879, 0xB8C76F,
                           0x6F4F25, 0x433900, 0x9A6759, 0x444444, 0x6C6C6C, 0x9AD284, 0x6C5EB5, 0x959595};
    // Bit pairs 00 background, 01 screen high nibble, 10 screen low nibble, 11
    // colour memory; each pixel two wide. Cell 0 line 0: 00 01 10 11, screen 2B,
    // colour F5, background 36; cell 999 line 7: 11 10 01 00, screen 7E, colour
    // 0A; cell 41 line 3: 01 first, screen D0.
    tdBytes auc(10003, 0);
    // clang-format off
    const int aiOffsetByte[][2] = {{2, 0x1B}, {8002, 0x2B}, {9002, 0xF5}, {10002, 0x36}, {2 + 8 * 999 + 7, 0xE4},
                                   {8002 + 999, 0x7E}, {9002 + 999, 0x0A}, {2 + 8 * 41 + 3, 0x40}, {8002 + 41, 0xD0}};
    // clang-format on
    for (const auto& ai : aiOffsetByte)
        auc[static_cast<size_t>(ai[0])] = static_cast<unsigned char>(ai[1]);
    const tdRetroPixels oKoala = oDecoded("k.koa", auc);
    ASSERT_EQ(oKoala.m_iWidth * 1000 + oKoala.m_iHeight, 320200);
    // Colours of pixels 0-7 and 8-9 of line 0, 312-319 of line 199, 8-10 of line 11.
    const int aiExpected[] = {6, 6, 2, 2, 11, 11, 5, 5, 6, 6, 10, 10, 14, 14, 7, 7, 6, 6, 13, 13, 6};
    for (int i = 0; i < 21; i++)
        EXPECT_EQ(oKoala.iAt(i < 10 ? i : (i < 18 ? 302 + i : i - 10), i < 10 ? 0 : (i < 18 ? 199 : 11)),
                  aiC64[aiExpected[i]])
            << i;
    EXPECT_EQ(oDecoded("k.KLA", auc).m_aiPixels, oKoala.m_aiPixels);
    tdRetroPixels oPixels;
    EXPECT_FALSE(bDecodeRetro("k.koa", tdBytes(10002, 0), &oPixels));
    EXPECT_FALSE(bDecodeRetro("k.koa", tdBytes(10004, 0), &oPixels));

    // Hires (name, length, bitmap, screen): a set bit shows the screen byte's
    // high nibble, a clear bit its low one.
    const std::pair<const char*, std::vector<int>> aoLayouts[] = {
        {"d.dd", {9218, 1026, 2}}, {"a.art", {9009, 2, 8002}}, {"a.ocp", {9009, 2, 8002}}};
    for (const auto& o : aoLayouts)
    {
        const std::vector<int>& ai = o.second;
        tdBytes aucHires(static_cast<size_t>(ai[0]), 0);
        aucHires[static_cast<size_t>(ai[1])] = 0xA5;               // cell 0 line 0
        aucHires[static_cast<size_t>(ai[2])] = 0x1E;               // white / light blue
        aucHires[static_cast<size_t>(ai[1] + 8 * 999 + 7)] = 0x01; // cell 999 line 7
        aucHires[static_cast<size_t>(ai[2] + 999)] = 0x72;         // yellow / red
        for (int c = 0; c < 16; c++)                               // cells 16-31 of the top row: every colour
            aucHires[static_cast<size_t>(ai[2] + 16 + c)] = static_cast<unsigned char>(c * 0x11);
        const tdRetroPixels oHires = oDecoded(o.first, aucHires);
        ASSERT_EQ(oHires.m_iWidth * 1000 + oHires.m_iHeight, 320200);
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(oHires.iAt(x, 0), aiC64[((0xA5 >> (7 - x)) & 1) ? 1 : 14]) << o.first;
        for (int c = 0; c < 16; c++)
            EXPECT_EQ(oHires.iAt(128 + 8 * c, 0), aiC64[c]) << c;
        EXPECT_EQ(oHires.iAt(318, 199), aiC64[2]);
        EXPECT_EQ(oHires.iAt(319, 199), aiC64[7]);
        aucHires.pop_back();
        EXPECT_FALSE(bDecodeRetro(o.first, aucHires, &oPixels));
    }
}

TEST(MSXDumpTest, EveryScreenShowsItsVideoMemoryInItsPaletteAndShortDumpsAreRefused)
{
    // The MSX2 start-up palette, red green blue levels per colour.
    const char* pszStartup = "000000161373117237511267711733661664141625555777";
    tdBytes aucVRAM = aucRandom(0x10000, 77);
    // Screen 2: the standard name table (character n of each third is pattern n).
    for (int i = 0; i < 768; i++)
        aucVRAM[static_cast<size_t>(0x1800 + i)] = static_cast<unsigned char>(i);
    // Screen, dump end, palette table (0: the start-up palette), width, height.
    // clang-format off
    const int aiScreens[][5] = {{5, 0x769F, 0x7680, 256, 212}, {5, 0x69FF, 0, 256, 212}, {6, 0x769F, 0x7680, 512, 424},
                                {7, 0xFA9F, 0xFA80, 512, 424}, {8, 0xD3FF, 0, 256, 212}, {2, 0x7FFF, 0, 256, 192}};
    // clang-format on
    for (const auto& ai : aiScreens)
    {
        SCOPED_TRACE(ai[1]);
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro(ai[0] == 2 ? "p.grp" : "p.GE" + std::to_string(ai[0]),
                                 aucBSAVE(aucVRAM, 0, ai[1]), &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, ai[3] * 1000 + ai[4]);
        for (int y = 0; y < ai[4]; y += 3)
        {
            for (int x = 0; x < ai[3]; x++)
            {
                const int iLine = ai[4] == 424 ? y / 2 : y; // screens 6 and 7 show every line twice
                const int iPattern = 0x800 * (y / 64) + 8 * (32 * ((y / 8) % 8) + x / 8) + y % 8;
                const unsigned char c = aucVRAM[static_cast<size_t>(ai[3] / 2 * iLine + x / 2)];
                const unsigned char c6 = aucVRAM[static_cast<size_t>(128 * iLine + x / 4)];
                const unsigned char c8 = aucVRAM[static_cast<size_t>(256 * iLine + x)];
                const unsigned char c2 = aucVRAM[static_cast<size_t>(0x2000 + iPattern)];
                // Screen 2: pattern bits choose the colour byte's nibbles; 6: four
                // pixels a byte, bits 7-6 first; 5 and 7: left pixel in the high nibble.
                int iIndex = ai[0] == 6 ? (c6 >> (6 - 2 * (x % 4))) & 3 : (x & 1 ? c & 15 : c >> 4);
                if (ai[0] == 2)
                    iIndex = ((aucVRAM[static_cast<size_t>(iPattern)] << x % 8) & 0x80) ? c2 >> 4 : c2 & 15;
                int iExpected = iLevelColor(pszStartup, iIndex);
                // Palette words: first byte red bits 6-4, blue 2-0; second green 2-0.
                const unsigned char* puc = &aucVRAM[static_cast<size_t>(ai[2] + 2 * iIndex)];
                if (ai[2])
                    iExpected = g_aiLevel3[(puc[0] >> 4) & 7] << 16 | g_aiLevel3[puc[1] & 7] << 8 |
                                g_aiLevel3[puc[0] & 7];
                // Screen 8: green bits 7-5, red 4-2, blue 1-0.
                const int aiBlue[4] = {0, 73, 146, 255};
                if (ai[0] == 8)
                    iExpected = g_aiLevel3[(c8 >> 2) & 7] << 16 | g_aiLevel3[c8 >> 5] << 8 | aiBlue[c8 & 3];
                ASSERT_EQ(oPixels.iAt(x, y), iExpected) << x << "," << y;
            }
        }
    }
    // Type byte, start 0001, end below the picture, data short of it; a Screen 5
    // dump for Screens 7 and 8. Bytes after the end the header gives are not
    // loaded (here they would reach the palette table).
    const tdBytes aucGood = aucBSAVE(aucVRAM, 0, 0x769F);
    vExpectRefused("p.ge5", aucGood, {{0, 0xFD}, {1, 1}, {4, 0x69}}, {7 + 0x69FF});
    tdRetroPixels oPixels;
    EXPECT_FALSE(bDecodeRetro("p.ge7", aucGood, &oPixels) || bDecodeRetro("p.ge8", aucGood, &oPixels));
    tdBytes aucLonger = aucBSAVE(aucVRAM, 0, 0x69FF);
    aucLonger.insert(aucLonger.end(), 0x1000, 0x55);
    EXPECT_EQ(oDecoded("p.ge5", aucLonger).m_aiPixels,
              oDecoded("p.ge5", aucBSAVE(aucVRAM, 0, 0x69FF)).m_aiPixels);
}
