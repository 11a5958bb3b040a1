// The RECOIL interface (recognition by name, the names left to the program's own
// readers, the decoder's state after success and failure), its glue to Image,
// and the formats checked from first principles here: ZX Spectrum, Commodore 64
// and the MSX screen dumps, each file built byte by byte from its documented
// layout and checked at known pixels.

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "retro/recoil.h"
#include "retro/retro_image.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
// A Screen 5 dump with its palette: a valid .ge5 file.
tdBytes aucScreen5Dump()
{
    tdBytes aucVRAM(0x10000, 0);
    tdTestRandom oRandom = {5};
    for (int i = 0; i < 0x6A00; i++)
        aucVRAM[static_cast<size_t>(i)] = static_cast<unsigned char>(oRandom.uiNext(256));
    for (int i = 0; i < 32; i++)
        aucVRAM[static_cast<size_t>(0x7680 + i)] = static_cast<unsigned char>(oRandom.uiNext(256) & 0x77);
    return aucBSAVE(aucVRAM, 0, 0x769F);
}

std::string sUpper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

// ------------------------------------------------------------------ names

TEST(RetroNamesTest, EveryListedExtensionIsRecognisedInAnyCase)
{
    const char* const apszExtensions[] = {"scr",  "koa", "kla",  "dd",  "art", "ocp",  "pi1", "pi2", "pi3",
                                          "pc1",  "pc2", "pc3",  "neo", "iff", "ilbm", "lbm", "pcx", "mac",
                                          "pntg", "img", "ximg", "grp", "ge5", "ge6",  "ge7", "ge8"};
    for (const char* psz : apszExtensions)
    {
        EXPECT_TRUE(RECOIL_IsOurFile((std::string("some.dir/picture.") + psz).c_str())) << psz;
        EXPECT_TRUE(RECOIL_IsOurFile(sUpper(std::string("PICTURE.") + psz).c_str())) << psz;
    }
    // Only the last extension of the name counts, and only after the last "/".
    EXPECT_TRUE(RECOIL_IsOurFile("picture.png.scr"));
    EXPECT_FALSE(RECOIL_IsOurFile("picture.scr.png"));
    EXPECT_FALSE(RECOIL_IsOurFile("folder.scr/picture"));
    EXPECT_FALSE(RECOIL_IsOurFile("scr"));
    EXPECT_FALSE(RECOIL_IsOurFile("picture."));
    EXPECT_FALSE(RECOIL_IsOurFile("picture.gif"));
    EXPECT_FALSE(RECOIL_IsOurFile(nullptr));
}

// The names of the program's own readers and the companion files they look for.
static std::vector<std::string> asProgramNames()
{
    std::vector<std::string> as = {"png", "jpg", "jpeg", "qev"};
    for (char c : std::string("235678ac"))
        for (const char* pszPrefix : {"sc", "sr", "pl", "sk", "si", "sj", "sl"})
            as.push_back(pszPrefix + std::string(1, c));
    for (char c : std::string("5678ac"))
        as.push_back("pi" + std::string(1, c));
    return as;
}

TEST(RetroNamesTest, ProgramReaderNamesAreNeverClaimedEvenWithValidContent)
{
    const tdBytes aucDump = aucScreen5Dump();
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("picture.ge5", aucDump, &oPixels));
    for (const std::string& sExtension : asProgramNames())
    {
        for (const std::string& sName : {"picture." + sExtension, sUpper("picture." + sExtension)})
        {
            EXPECT_FALSE(RECOIL_IsOurFile(sName.c_str())) << sName;
            tdRetroPixels oNone;
            EXPECT_FALSE(bDecodeRetro(sName, aucDump, &oNone)) << sName;
            EXPECT_EQ(oNone.m_iWidth, 0) << sName;
        }
    }
}

// ------------------------------------------------------------------ decoder state

TEST(RetroInterfaceTest, AFailedDecodeLeavesNoPicture)
{
    RECOIL* poDecoder = RECOIL_New();
    ASSERT_NE(poDecoder, nullptr);
    EXPECT_EQ(RECOIL_GetWidth(poDecoder), 0);
    EXPECT_EQ(RECOIL_GetHeight(poDecoder), 0);
    EXPECT_EQ(RECOIL_GetPixels(poDecoder), nullptr);

    const tdBytes aucDump = aucScreen5Dump();
    ASSERT_TRUE(RECOIL_Decode(poDecoder, "a.ge5", aucDump.data(), static_cast<int>(aucDump.size())));
    EXPECT_EQ(RECOIL_GetWidth(poDecoder), 256);
    EXPECT_EQ(RECOIL_GetHeight(poDecoder), 212);
    EXPECT_NE(RECOIL_GetPixels(poDecoder), nullptr);

    // Each failure empties the decoder: unknown name, damaged contents, no contents.
    const tdBytes aucShort(aucDump.begin(), aucDump.begin() + 100);
    struct tdCase
    {
        const char* pszName;
        const uint8_t* pucContent;
        int iLength;
    };
    const tdCase aoCases[] = {
        {"a.gif", aucDump.data(), static_cast<int>(aucDump.size())},
        {"a.ge5", aucShort.data(), static_cast<int>(aucShort.size())},
        {"a.ge5", aucDump.data(), 0},
        {"a.ge5", nullptr, 100},
        {nullptr, aucDump.data(), static_cast<int>(aucDump.size())},
    };
    for (const tdCase& oCase : aoCases)
    {
        ASSERT_TRUE(RECOIL_Decode(poDecoder, "a.ge5", aucDump.data(), static_cast<int>(aucDump.size())));
        EXPECT_FALSE(RECOIL_Decode(poDecoder, oCase.pszName, oCase.pucContent, oCase.iLength));
        EXPECT_EQ(RECOIL_GetWidth(poDecoder), 0);
        EXPECT_EQ(RECOIL_GetHeight(poDecoder), 0);
        EXPECT_EQ(RECOIL_GetPixels(poDecoder), nullptr);
    }
    RECOIL_Delete(poDecoder);

    // A null decoder is tolerated everywhere.
    EXPECT_FALSE(RECOIL_Decode(nullptr, "a.ge5", aucDump.data(), static_cast<int>(aucDump.size())));
    EXPECT_EQ(RECOIL_GetWidth(nullptr), 0);
    EXPECT_EQ(RECOIL_GetHeight(nullptr), 0);
    EXPECT_EQ(RECOIL_GetPixels(nullptr), nullptr);
    RECOIL_Delete(nullptr);
}

// ------------------------------------------------------------------ Image glue

// A 6912-byte screen whose top-left cell is bright red ink on blue paper with its
// first byte 0xF0, everything else black.
static tdBytes aucMarkedSpectrumScreen()
{
    tdBytes auc(6912, 0);
    auc[0] = 0xF0;
    auc[6144] = 0x40 | (1 << 3) | 2; // bright, paper 1 blue, ink 2 red
    return auc;
}

TEST(RetroImageTest, DecoderRowsBecomePictureRowsTopFirst)
{
    tdTempFolder oFolder;
    const std::string sName = oFolder.sFile("marked.scr");
    ASSERT_TRUE(bWriteFile(sName, aucMarkedSpectrumScreen()));

    std::unique_ptr<Image> poImage(poReadImageWithRECOIL(sName.c_str()));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(poImage->m_iWidth, 256);
    EXPECT_EQ(poImage->m_iHeight, 192);
    EXPECT_EQ(poImage->m_iTexelSize, 3);
    EXPECT_EQ(poImage->m_fAspectRatio, 1.0);
    // Pixel (0, 0) is the first texel of the last stored row.
    const unsigned char* pucTop = poImage->m_pucTexels + static_cast<size_t>(191) * 256 * 3;
    EXPECT_EQ(pucTop[0], 0xFF);
    EXPECT_EQ(pucTop[1], 0x00);
    EXPECT_EQ(pucTop[2], 0x00);
    const unsigned char* pucPaper = pucTop + 4 * 3; // pixel (4, 0): bright blue paper
    EXPECT_EQ(pucPaper[0], 0x00);
    EXPECT_EQ(pucPaper[1], 0x00);
    EXPECT_EQ(pucPaper[2], 0xFF);
    // Pixel (0, 8), outside the marked cell: black paper; stored row 183.
    const unsigned char* pucBelow = poImage->m_pucTexels + static_cast<size_t>(183) * 256 * 3;
    EXPECT_EQ(pucBelow[0] | pucBelow[1] | pucBelow[2], 0);

    // The whole picture equals the decoder's pixel array.
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("marked.scr", aucMarkedSpectrumScreen(), &oPixels));
    std::vector<unsigned char> aucTexels = aucTopDownTexels(poImage.get());
    for (int i = 0; i < 256 * 192; i++)
    {
        int iPixel = oPixels.m_aiPixels[static_cast<size_t>(i)];
        ASSERT_EQ(aucTexels[static_cast<size_t>(3 * i)], (iPixel >> 16) & 255);
        ASSERT_EQ(aucTexels[static_cast<size_t>(3 * i + 1)], (iPixel >> 8) & 255);
        ASSERT_EQ(aucTexels[static_cast<size_t>(3 * i + 2)], iPixel & 255);
    }
}

TEST(RetroImageTest, FilesRECOILCannotDecodeGiveNull)
{
    tdTempFolder oFolder;
    ASSERT_TRUE(bWriteFile(oFolder.sFile("short.scr"), tdBytes(6911, 0)));
    ASSERT_TRUE(bWriteFile(oFolder.sFile("empty.scr"), tdBytes()));
    ASSERT_TRUE(bWriteFile(oFolder.sFile("screen.png"), aucMarkedSpectrumScreen()));
    for (const char* pszName : {"short.scr", "empty.scr", "screen.png", "missing.scr"})
        EXPECT_EQ(poReadImageWithRECOIL(oFolder.sFile(pszName).c_str()), nullptr) << pszName;
    // A folder with a recognised name is not a picture either.
    ASSERT_EQ(mkdir(oFolder.sFile("folder.scr").c_str(), 0755), 0);
    EXPECT_EQ(poReadImageWithRECOIL(oFolder.sFile("folder.scr").c_str()), nullptr);
}

// ------------------------------------------------------------------ ZX Spectrum

// Known line starts of the Spectrum bitmap: a byte at the file offset lights the
// leftmost pixel of its column on line y. Oracle: the ZX Spectrum display file
// map (thirds of 2048 bytes, pixel lines 256 bytes apart, character rows 32).
struct tdSpectrumOffset
{
    int iOffset;
    int iLine;
    int iColumn;
};

// clang-format off
//                                     offset  line  column
const tdSpectrumOffset g_aoSpectrumOffsets[] = {{   0,    0,    0},
                                                {  31,    0,   31},
                                                { 256,    1,    0},
                                                {1792,    7,    0},
                                                {  32,    8,    0},
                                                { 288,    9,    0},
                                                {2016,   63,    0},
                                                {2048,   64,    0},
                                                {2080,   72,    0},
                                                {4096,  128,    0},
                                                {6143,  191,   31}};
// clang-format on

TEST(SpectrumTest, BitmapBytesLandOnTheInterleavedLines)
{
    for (const tdSpectrumOffset& oCase : g_aoSpectrumOffsets)
    {
        tdBytes auc(6912, 0);
        for (int i = 6144; i < 6912; i++)
            auc[static_cast<size_t>(i)] = 0x38; // white paper, black ink
        auc[static_cast<size_t>(oCase.iOffset)] = 0x80;
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro("s.scr", auc, &oPixels));
        ASSERT_EQ(oPixels.m_iWidth, 256);
        ASSERT_EQ(oPixels.m_iHeight, 192);
        for (int y = 0; y < 192; y++)
        {
            for (int x = 0; x < 256; x++)
            {
                bool bInk = y == oCase.iLine && x == 8 * oCase.iColumn;
                ASSERT_EQ(oPixels.iAt(x, y), bInk ? 0x000000 : 0xD7D7D7)
                    << "offset " << oCase.iOffset << " pixel " << x << "," << y;
            }
        }
    }
}

// Attribute bytes and the colours they give: colour bits 0 blue, 1 red, 2 green;
// 0xD7 normal, 0xFF bright; flashing cells show the unswapped phase.
struct tdSpectrumAttribute
{
    unsigned char cAttribute;
    int iInk;
    int iPaper;
};

// clang-format off
//                                             attribute  ink       paper
const tdSpectrumAttribute g_aoSpectrumAttributes[] = {{0x00, 0x000000, 0x000000},
                                                      {0x07, 0xD7D7D7, 0x000000},  // white ink
                                                      {0x39, 0x0000D7, 0xD7D7D7},  // blue on white
                                                      {0x42, 0xFF0000, 0x000000},  // bright red
                                                      {0x8A, 0xD70000, 0x0000D7},  // flashing red on blue
                                                      {0xFE, 0xFFFF00, 0xFFFFFF},  // bright flashing yellow on white
                                                      {0x24, 0x00D700, 0x00D700},  // green on green
                                                      {0x1D, 0x00D7D7, 0xD700D7}}; // cyan on magenta
// clang-format on

TEST(SpectrumTest, AttributesGiveInkAndPaper)
{
    tdBytes auc(6912, 0xF0); // left half of every cell ink, right half paper
    const int iCount = static_cast<int>(sizeof(g_aoSpectrumAttributes) / sizeof(g_aoSpectrumAttributes[0]));
    // Attribute i in cell column 3 * i of character row i.
    for (int i = 0; i < iCount; i++)
        auc[static_cast<size_t>(6144 + 32 * i + 3 * i)] = g_aoSpectrumAttributes[i].cAttribute;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("s.SCR", auc, &oPixels));
    for (int i = 0; i < iCount; i++)
    {
        for (int iLine = 0; iLine < 8; iLine++)
        {
            EXPECT_EQ(oPixels.iAt(24 * i, 8 * i + iLine), g_aoSpectrumAttributes[i].iInk) << i;
            EXPECT_EQ(oPixels.iAt(24 * i + 3, 8 * i + iLine), g_aoSpectrumAttributes[i].iInk) << i;
            EXPECT_EQ(oPixels.iAt(24 * i + 4, 8 * i + iLine), g_aoSpectrumAttributes[i].iPaper) << i;
            EXPECT_EQ(oPixels.iAt(24 * i + 7, 8 * i + iLine), g_aoSpectrumAttributes[i].iPaper) << i;
        }
    }
}

TEST(SpectrumTest, OnlyTheExactSizeIsAccepted)
{
    tdRetroPixels oPixels;
    EXPECT_FALSE(bDecodeRetro("s.scr", tdBytes(6911, 0), &oPixels));
    EXPECT_FALSE(bDecodeRetro("s.scr", tdBytes(6913, 0), &oPixels));
    EXPECT_FALSE(bDecodeRetro("s.scr", tdBytes(6144, 0), &oPixels));
}

// ------------------------------------------------------------------ Commodore 64

// The VIC-II palette as documented in README (measured PAL colours).
// clang-format off
const int g_aiC64Colors[16] = {0x000000, 0xFFFFFF, 0x68372B, 0x70A4B2, 0x6F3D86, 0x588D43, 0x352879, 0xB8C76F,
                               0x6F4F25, 0x433900, 0x9A6759, 0x444444, 0x6C6C6C, 0x9AD284, 0x6C5EB5, 0x959595};
// clang-format on

TEST(C64Test, KoalaBitPairsChooseBackgroundScreenNibblesAndColourMemory)
{
    tdBytes auc(10003, 0);
    auc[0] = 0x00;
    auc[1] = 0x60;               // load address 6000
    auc[2] = 0x1B;               // cell 0, line 0: pairs 00 01 10 11
    auc[8002] = 0x2B;            // cell 0 screen: high 2 red, low 11 dark grey
    auc[9002] = 0xF5;            // cell 0 colour memory: low nibble 5 green
    auc[10002] = 0x36;           // background 6 blue (high nibble ignored)
    auc[2 + 8 * 999 + 7] = 0xE4; // cell 999 (39, 24), line 7: pairs 11 10 01 00
    auc[8002 + 999] = 0x7E;      // yellow / light blue
    auc[9002 + 999] = 0x0A;      // light red
    auc[2 + 8 * 41 + 3] = 0x40;  // cell 41 (1, 1), line 3: pair 01 first
    auc[8002 + 41] = 0xD0;       // light green
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("k.koa", auc, &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 320);
    ASSERT_EQ(oPixels.m_iHeight, 200);
    // Every multicolour pixel is two pixels wide.
    const int aiCell0[8] = {6, 6, 2, 2, 11, 11, 5, 5};
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(oPixels.iAt(x, 0), g_aiC64Colors[aiCell0[x]]) << x;
    const int aiCell999[8] = {10, 10, 14, 14, 7, 7, 6, 6};
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(oPixels.iAt(312 + x, 199), g_aiC64Colors[aiCell999[x]]) << x;
    EXPECT_EQ(oPixels.iAt(8, 11), g_aiC64Colors[13]);
    EXPECT_EQ(oPixels.iAt(9, 11), g_aiC64Colors[13]);
    EXPECT_EQ(oPixels.iAt(10, 11), g_aiC64Colors[6]);
    // Everything else shows the background.
    EXPECT_EQ(oPixels.iAt(8, 0), g_aiC64Colors[6]);
    EXPECT_EQ(oPixels.iAt(0, 1), g_aiC64Colors[6]);
    EXPECT_EQ(oPixels.iAt(160, 100), g_aiC64Colors[6]);

    tdRetroPixels oSame;
    ASSERT_TRUE(bDecodeRetro("k.KLA", auc, &oSame));
    EXPECT_EQ(oSame.m_aiPixels, oPixels.m_aiPixels);
    EXPECT_FALSE(bDecodeRetro("k.koa", tdBytes(auc.begin(), auc.end() - 1), &oSame));
    tdBytes aucLonger = auc;
    aucLonger.push_back(0);
    EXPECT_FALSE(bDecodeRetro("k.koa", aucLonger, &oSame));
}

// Doodle and Art Studio hires: set bits show the screen byte's high nibble,
// clear bits its low nibble; the two files differ only in layout.
struct tdC64HiresLayout
{
    const char* pszName;
    int iLength;
    int iBitmap;
    int iScreen;
};

// clang-format off
//                                          name      length  bitmap  screen
const tdC64HiresLayout g_aoC64Hires[] = {{"d.dd",  9218,   1026,   2},
                                         {"a.art", 9009,   2,      8002},
                                         {"a.ocp", 9009,   2,      8002}};
// clang-format on

TEST(C64Test, HiresBitsChooseScreenNibbles)
{
    for (const tdC64HiresLayout& oLayout : g_aoC64Hires)
    {
        tdBytes auc(static_cast<size_t>(oLayout.iLength), 0);
        auc[static_cast<size_t>(oLayout.iBitmap)] = 0xA5;               // cell 0 line 0: 10100101
        auc[static_cast<size_t>(oLayout.iScreen)] = 0x1E;               // white / light blue
        auc[static_cast<size_t>(oLayout.iBitmap + 8 * 999 + 7)] = 0x01; // cell 999 line 7
        auc[static_cast<size_t>(oLayout.iScreen + 999)] = 0x72;         // yellow / red
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro(oLayout.pszName, auc, &oPixels)) << oLayout.pszName;
        ASSERT_EQ(oPixels.m_iWidth, 320);
        ASSERT_EQ(oPixels.m_iHeight, 200);
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(oPixels.iAt(x, 0), g_aiC64Colors[((0xA5 >> (7 - x)) & 1) ? 1 : 14]) << oLayout.pszName;
        EXPECT_EQ(oPixels.iAt(319, 199), g_aiC64Colors[7]);
        EXPECT_EQ(oPixels.iAt(318, 199), g_aiC64Colors[2]);
        EXPECT_EQ(oPixels.iAt(100, 100), g_aiC64Colors[0]);
        EXPECT_FALSE(bDecodeRetro(oLayout.pszName, tdBytes(auc.begin(), auc.end() - 1), &oPixels));
    }
}

// ------------------------------------------------------------------ MSX dumps

// MSX palette register words: first byte red bits 6-4, blue 2-0; second byte
// green 2-0; levels widened from 3 bits.
static int iMSXColor(unsigned char cFirst, unsigned char cSecond)
{
    return (iWiden((cFirst >> 4) & 7, 3) << 16) | (iWiden(cSecond & 7, 3) << 8) | iWiden(cFirst & 7, 3);
}

// Source: the MSX2 BIOS start-up palette, register words.
// clang-format off
const unsigned char g_acStartupPalette[32] = {
    0x00, 0x00,  0x00, 0x00,  0x11, 0x06,  0x33, 0x07,  0x17, 0x01,  0x27, 0x03,  0x51, 0x01,  0x27, 0x06,
    0x71, 0x01,  0x73, 0x03,  0x61, 0x06,  0x64, 0x06,  0x11, 0x04,  0x65, 0x02,  0x55, 0x05,  0x77, 0x07,
};
// clang-format on

class MSXDumpTest : public ::testing::Test
{
protected:
    tdBytes m_aucVRAM = tdBytes(0x10000, 0);
    tdTestRandom m_oRandom = {77};

    void vFillRandom(int iFrom, int iTo)
    {
        for (int i = iFrom; i <= iTo; i++)
            m_aucVRAM[static_cast<size_t>(i)] = static_cast<unsigned char>(m_oRandom.uiNext(256));
    }
    int iPaletteColor(int iAddress, int iIndex) const
    {
        return iMSXColor(m_aucVRAM[static_cast<size_t>(iAddress + 2 * iIndex)],
                         m_aucVRAM[static_cast<size_t>(iAddress + 2 * iIndex + 1)]);
    }
};

TEST_F(MSXDumpTest, Screen5NibblesUseThePaletteOfTheDumpOrTheStartUpPalette)
{
    vFillRandom(0, 0x69FF);
    vFillRandom(0x7680, 0x769F);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.ge5", aucBSAVE(m_aucVRAM, 0, 0x769F), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 256);
    ASSERT_EQ(oPixels.m_iHeight, 212);
    for (int y = 0; y < 212; y++)
    {
        for (int x = 0; x < 256; x++)
        {
            unsigned char c = m_aucVRAM[static_cast<size_t>(128 * y + x / 2)];
            int iIndex = (x & 1) ? (c & 15) : (c >> 4);
            ASSERT_EQ(oPixels.iAt(x, y), iPaletteColor(0x7680, iIndex)) << x << "," << y;
        }
    }
    // A dump that stops after the picture keeps the start-up palette.
    tdRetroPixels oDefault;
    ASSERT_TRUE(bDecodeRetro("p.GE5", aucBSAVE(m_aucVRAM, 0, 0x69FF), &oDefault));
    for (int x = 0; x < 256; x += 3)
    {
        unsigned char c = m_aucVRAM[static_cast<size_t>(x / 2)];
        int iIndex = (x & 1) ? (c & 15) : (c >> 4);
        EXPECT_EQ(oDefault.iAt(x, 0),
                  iMSXColor(g_acStartupPalette[2 * iIndex], g_acStartupPalette[2 * iIndex + 1]));
    }
}

TEST_F(MSXDumpTest, Screens6And7ShowEveryLineTwice)
{
    vFillRandom(0, 0xD3FF);
    vFillRandom(0x7680, 0x769F);
    vFillRandom(0xFA80, 0xFA9F);
    tdRetroPixels oSix;
    ASSERT_TRUE(bDecodeRetro("p.ge6", aucBSAVE(m_aucVRAM, 0, 0x769F), &oSix));
    ASSERT_EQ(oSix.m_iWidth, 512);
    ASSERT_EQ(oSix.m_iHeight, 424);
    tdRetroPixels oSeven;
    ASSERT_TRUE(bDecodeRetro("p.ge7", aucBSAVE(m_aucVRAM, 0, 0xFA9F), &oSeven));
    ASSERT_EQ(oSeven.m_iWidth, 512);
    ASSERT_EQ(oSeven.m_iHeight, 424);
    for (int y = 0; y < 212; y++)
    {
        for (int x = 0; x < 512; x++)
        {
            // Screen 6: four pixels a byte from bits 7-6, palette entries 0-3.
            unsigned char c6 = m_aucVRAM[static_cast<size_t>(128 * y + x / 4)];
            int iSix = iPaletteColor(0x7680, (c6 >> (6 - 2 * (x % 4))) & 3);
            ASSERT_EQ(oSix.iAt(x, 2 * y), iSix);
            ASSERT_EQ(oSix.iAt(x, 2 * y + 1), iSix);
            // Screen 7: two pixels a byte, left in the high nibble.
            unsigned char c7 = m_aucVRAM[static_cast<size_t>(256 * y + x / 2)];
            int iSeven = iPaletteColor(0xFA80, (x & 1) ? (c7 & 15) : (c7 >> 4));
            ASSERT_EQ(oSeven.iAt(x, 2 * y), iSeven);
            ASSERT_EQ(oSeven.iAt(x, 2 * y + 1), iSeven);
        }
    }
}

TEST_F(MSXDumpTest, Screen8BytesAreGreenRedBlue)
{
    for (int i = 0; i < 256; i++)
        m_aucVRAM[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    vFillRandom(256, 0xD3FF);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.ge8", aucBSAVE(m_aucVRAM, 0, 0xD3FF), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 256);
    ASSERT_EQ(oPixels.m_iHeight, 212);
    const int aiBlue[4] = {0, 73, 146, 255};
    for (int y = 0; y < 212; y += 11)
    {
        for (int x = 0; x < 256; x++)
        {
            unsigned char c = m_aucVRAM[static_cast<size_t>(256 * y + x)];
            int iExpected = (iWiden((c >> 2) & 7, 3) << 16) | (iWiden(c >> 5, 3) << 8) | aiBlue[c & 3];
            ASSERT_EQ(oPixels.iAt(x, y), iExpected) << x << "," << y;
        }
    }
}

TEST_F(MSXDumpTest, Screen2PatternsShowTheirColoursInTheStartUpPalette)
{
    // Standard name table: character n of each third is pattern n.
    for (int i = 0; i < 768; i++)
        m_aucVRAM[static_cast<size_t>(0x1800 + i)] = static_cast<unsigned char>(i & 255);
    vFillRandom(0, 0x17FF);
    vFillRandom(0x2000, 0x37FF);
    // Bytes at 1B80 belong to the sprite tables of an MSX1 picture: never a palette.
    vFillRandom(0x1B80, 0x1B9F);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.grp", aucBSAVE(m_aucVRAM, 0, 0x37FF), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 256);
    ASSERT_EQ(oPixels.m_iHeight, 192);
    for (int y = 0; y < 192; y++)
    {
        for (int x = 0; x < 256; x++)
        {
            int iPattern = 0x800 * (y / 64) + 8 * (32 * ((y / 8) % 8) + x / 8) + y % 8;
            unsigned char cBits = m_aucVRAM[static_cast<size_t>(iPattern)];
            unsigned char cColor = m_aucVRAM[static_cast<size_t>(0x2000 + iPattern)];
            int iIndex = ((cBits >> (7 - x % 8)) & 1) ? cColor >> 4 : cColor & 15;
            ASSERT_EQ(oPixels.iAt(x, y),
                      iMSXColor(g_acStartupPalette[2 * iIndex], g_acStartupPalette[2 * iIndex + 1]))
                << x << "," << y;
        }
    }
}

TEST_F(MSXDumpTest, HeadersThatDoNotCoverThePictureAreRefused)
{
    vFillRandom(0, 0x769F);
    tdBytes aucGood = aucBSAVE(m_aucVRAM, 0, 0x769F);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.ge5", aucGood, &oPixels));

    tdBytes aucType = aucGood;
    aucType[0] = 0xFD;
    tdBytes aucStart = aucGood;
    aucStart[1] = 0x01; // start 0001
    tdBytes aucEnd = aucBSAVE(m_aucVRAM, 0, 0x69FE);
    tdBytes aucShort(aucGood.begin(), aucGood.begin() + 7 + 0x69FF);
    tdBytes aucBackwards = aucGood;
    aucBackwards[3] = 0x00;
    aucBackwards[4] = 0x00; // end 0000, below the picture
    for (const tdBytes* pauc : {&aucType, &aucStart, &aucEnd, &aucShort, &aucBackwards})
        EXPECT_FALSE(bDecodeRetro("p.ge5", *pauc, &oPixels));
    // A Screen 5 dump does not cover a Screen 7 or 8 picture.
    EXPECT_FALSE(bDecodeRetro("p.ge7", aucGood, &oPixels));
    EXPECT_FALSE(bDecodeRetro("p.ge8", aucGood, &oPixels));
    // A longer file than its header says loads only what the header says.
    tdBytes aucLonger = aucGood;
    aucLonger.insert(aucLonger.end(), 1000, 0x55);
    tdRetroPixels oLonger;
    ASSERT_TRUE(bDecodeRetro("p.ge5", aucLonger, &oLonger));
    EXPECT_EQ(oLonger.m_aiPixels, oPixels.m_aiPixels);
}
