// Atari ST, IFF, PC Paintbrush, MacPaint and GEM pictures. Oracles: netpbm
// writes each layout it knows from a picture made here, and the decoded picture
// must equal that picture and what netpbm's own reader makes of the file. The
// rules netpbm does not cover (Degas Elite, medium resolution, STE palettes,
// viewport modes, masks, chunky PBM, default palettes, GEM codes and palettes)
// are checked on netpbm files patched here or small files typed in, against
// colours typed in.

#include "tests/support/retro_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
// The index of a colour in a colour map of red, green, blue bytes (-1 when absent).
int iIndexIn(const tdBytes& aucMap, int iColor)
{
    for (size_t i = 0; i + 2 < aucMap.size(); i += 3)
        if ((aucMap[i] << 16 | aucMap[i + 1] << 8 | aucMap[i + 2]) == iColor) return static_cast<int>(i / 3);
    return -1;
}

struct tdNetpbmCase
{
    const char* pszName;
    const char* pszWriter;
    const char* pszReader;
    int iWidth;
    int iHeight;
    int iColors;
    int iLevels; // of each channel; 2 levels and 2 colours: black and white (a PBM)
};

// clang-format off
const tdNetpbmCase g_aoNetpbmCases[] = {
    {"p.pi1", "ppmtopi1", "pi1toppm", 320, 200, 16, 8},                            // 0
    {"p.neo", "ppmtoneo", "neotoppm", 320, 200, 16, 8},                            // 1
    {"p.pi3", "pbmtopi3", "pi3topbm", 640, 400, 2, 2},                             // 2
    {"p.pcx", "ppmtopcx -planes=1", "pcxtoppm", 77, 45, 2, 256},                   // 3
    {"p.pcx", "ppmtopcx -planes=2", "pcxtoppm", 77, 45, 4, 256},                   // 4
    {"p.pcx", "ppmtopcx -planes=3", "pcxtoppm", 77, 45, 8, 256},                   // 5
    {"p.PCX", "ppmtopcx -planes=4 -xpos=-7 -ypos=300", "pcxtoppm", 77, 45, 16, 256}, // 6
    {"p.pcx", "ppmtopcx -packed", "pcxtoppm", 77, 45, 4, 256},                     // 7
    {"p.pcx", "ppmtopcx -packed", "pcxtoppm", 77, 45, 16, 256},                    // 8
    {"p.pcx", "ppmtopcx -8bit", "pcxtoppm", 77, 45, 200, 256},                     // 9
    {"p.pcx", "ppmtopcx -24bit", "pcxtoppm", 77, 45, 1000, 256},                   // 10
    {"p.iff", "ppmtoilbm -fixplanes 1", "ilbmtoppm", 77, 45, 2, 256},              // 11
    {"p.iff", "ppmtoilbm -fixplanes 3", "ilbmtoppm", 77, 45, 8, 256},              // 12
    {"p.iff", "ppmtoilbm -fixplanes 6", "ilbmtoppm", 77, 45, 64, 256},             // 13
    {"p.iff", "ppmtoilbm -maxplanes 8 -fixplanes 8", "ilbmtoppm", 77, 45, 256, 256}, // 14
    {"p.ilbm", "ppmtoilbm -nocompress", "ilbmtoppm", 77, 45, 16, 256},             // 15
    {"p.iff", "ppmtoilbm -24force", "ilbmtoppm", 77, 45, 1000, 256},               // 16
    {"p.iff", "ppmtoilbm -ham6", "ilbmtoppm", 77, 45, 1000, 256},                  // 17: lossy
    {"p.lbm", "ppmtoilbm -ham8", "ilbmtoppm", 77, 45, 1000, 256},                  // 18: lossy
    {"p.mac", "pbmtomacp", "macptopbm", 576, 720, 2, 2},                           // 19
    {"p.img", "pbmtogem", "gemtopbm", 301, 77, 2, 2},                              // 20
};
// clang-format on

// The netpbm file of a row, and the picture it was made from.
tdBytes aucNetpbmFile(const tdTempFolder& oFolder, int iCase, tdRetroPixels* poPicture = nullptr)
{
    const tdNetpbmCase& o = g_aoNetpbmCases[iCase];
    const tdRetroPixels oPicture = oRunPicture(o.iWidth, o.iHeight, o.iColors, o.iLevels, 7 + iCase);
    if (poPicture) *poPicture = oPicture;
    return aucNetpbmWrite(oFolder, oPicture, o.iColors == 2 && o.iLevels == 2 ? 1 : o.iLevels - 1,
                          o.pszWriter);
}
} // namespace

TEST(RetroNetpbmTest, NetpbmFilesGiveTheirPictureAndWhatNetpbmReads)
{
    tdTempFolder oFolder;
    for (int iCase = 0; iCase < static_cast<int>(sizeof(g_aoNetpbmCases) / sizeof(g_aoNetpbmCases[0]));
         iCase++)
    {
        const tdNetpbmCase& o = g_aoNetpbmCases[iCase];
        SCOPED_TRACE(std::string(o.pszWriter) + " " + std::to_string(o.iColors));
        tdRetroPixels oPicture, oReference, oPixels;
        const tdBytes aucFile = aucNetpbmFile(oFolder, iCase, &oPicture);
        ASSERT_TRUE(bNetpbmRead(oFolder, o.pszReader, aucFile, &oReference));
        ASSERT_TRUE(bDecodeRetro(o.pszName, aucFile, &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, o.iWidth * 1000 + o.iHeight);
        EXPECT_TRUE(iCase == 17 || iCase == 18 || oPixels.m_aiPixels == oPicture.m_aiPixels);
        // netpbm keeps the low bits of a HAM6 change from the pixel to the left,
        // where the original chip set shows a 4-bit level times 17; ppmtoilbm's
        // colour map has equal nibbles, so each low nibble repeats its high one.
        for (int& i : oReference.m_aiPixels)
            i = iCase == 17 ? (i & 0xF0F0F0) | ((i >> 4) & 0x0F0F0F) : i;
        EXPECT_EQ(oPixels.m_aiPixels, oReference.m_aiPixels);
    }
}

TEST(AtariSTTest, EliteMediumSTEPolarityAndHeaders)
{
    tdTempFolder oFolder;
    // Pixels 0-3 show colours 0-3: words of plane 0 and plane 1 at 34 and 36
    // (0x5000, 0x3000), bit 15 leftmost. Medium resolution (2 planes) shows every
    // line twice: red, green, blue, white on lines 0 and 1, red on line 2.
    tdBytes aucDegas(34 + 32000, 0);
    aucDegas[34] = 0x50;
    aucDegas[36] = 0x30;
    const tdBytes aucMedium = aucPatched(aucDegas, {{1, 1}, {2, 7}, {5, 0x70}, {7, 7}, {8, 7}, {9, 0x77}});
    const tdRetroPixels oMedium = oDecoded("p.pi2", aucMedium);
    ASSERT_EQ(oMedium.m_iWidth * 1000 + oMedium.m_iHeight, 640400);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(oMedium.iAt(i % 4, i / 4), iLevelColor("700070007777", i == 8 ? 0 : i % 4)) << i;
    // Low, medium and high resolution as Degas Elite, with animation words; in
    // high resolution colour 0 is white while bit 0 of palette word 0 is set.
    const tdBytes aucLow = aucNetpbmFile(oFolder, 0), aucHigh = aucNetpbmFile(oFolder, 2);
    for (const tdBytes& auc : {aucLow, aucMedium, aucHigh})
    {
        tdBytes aucElite = aucDegasElite(auc);
        const tdRetroPixels oPlain = oDecoded("p.pi1", auc);
        EXPECT_EQ(oDecoded("p.pc3", aucElite).m_aiPixels, oPlain.m_aiPixels);
        aucElite.insert(aucElite.end(), 32, 0);
        EXPECT_EQ(oDecoded("p.pc1", aucElite).m_aiPixels, oPlain.m_aiPixels);
    }
    tdRetroPixels oInverted = oDecoded("p.pi3", aucPatched(aucHigh, {{3, 0x76}}));
    for (int& i : oInverted.m_aiPixels)
        i ^= 0xFFFFFF;
    EXPECT_EQ(oInverted.m_aiPixels, oDecoded("p.pi3", aucHigh).m_aiPixels);

    // Any STE bit (bits 11, 7, 3) makes every level (bits 2-0) * 2 + STE bit.
    std::copy_n(aucBytes({0x0F, 0x8F, 0x07, 0x00, 0x00, 0x80, 0x01, 0x23}).begin(), 8, aucDegas.begin() + 2);
    const tdRetroPixels oSTE = oDecoded("p.pi1", aucDegas);
    const tdRetroPixels oST = oDecoded("p.pi1", aucPatched(aucDegas, {{2, 7}, {3, 7}, {7, 0x10}}));
    // Only the blue STE bit set: word 0 0x008.
    const tdRetroPixels oBlue = oDecoded("p.pi1", aucPatched(aucDegas, {{2, 0}, {3, 8}, {7, 0}}));
    EXPECT_EQ(oBlue.iAt(0, 0), 0x000011);
    EXPECT_EQ(oBlue.iAt(1, 0), 0xEE0000);
    const int aiSTE[4] = {0xFF11FF, 0xEE0000, 0x001100, 0x224466};
    for (int x = 0; x < 4; x++)
    {
        EXPECT_EQ(oSTE.iAt(x, 0), aiSTE[x]) << x;
        EXPECT_EQ(oST.iAt(x, 0), iLevelColor("707700010123", x)) << x;
    }
    // Degas: 32034 to 32066 bytes, resolution 0..2 without bit 15; Elite with
    // bit 15; NEOchrome 32128 bytes, resolution at offset 2.
    tdBytes aucPadded = aucLow;
    aucPadded.resize(32067, 0);
    EXPECT_EQ(oDecoded("p.pi1", tdBytes(aucPadded.begin(), aucPadded.end() - 1)).m_iWidth, 320);
    vExpectRefused("p.pi1", aucPadded, {}, {32067, 32033});
    vExpectRefused("p.pi1", aucLow, {{1, 3}, {0, 0x80}}, {});
    vExpectRefused("p.pc1", aucDegasElite(aucLow), {{0, 0}, {1, 3}}, {16000});
    vExpectRefused("p.neo", aucNetpbmFile(oFolder, 1), {{3, 3}}, {-1});
}

TEST(ILBMTest, ViewportModesAspectsColourMapRulesMasksAndChunkyRows)
{
    tdTempFolder oFolder;
    tdRetroPixels oPicture, oPlain, oPixels;
    const tdBytes aucFile = aucNetpbmFile(oFolder, 13, &oPicture); // 6 planes, 64 colours
    const tdBytes aucRows =
        aucIFFChunk(aucNetpbmWrite(oFolder, oPicture, 255, "ppmtoilbm -fixplanes 6 -nocompress"), "BODY");
    const tdBytes aucBMHD = aucIFFChunk(aucFile, "BMHD"), aucCMAP = aucIFFChunk(aucFile, "CMAP");
    const tdBytes aucBody = aucIFFChunk(aucFile, "BODY");
    ASSERT_EQ(aucCMAP.size() * 10000 + aucRows.size(), 1922700u);
    ASSERT_TRUE(bDecodeRetro("p.iff", aucFile, &oPlain));
    // CAMG mode (none: -1) and BMHD aspect, and the factors across and down.
    // clang-format off
    const int aiModeAspectFactors[][5] = {
        {0x0000, 10, 11, 1, 1}, {0x8000, 10, 11, 1, 2}, {0x0004, 10, 11, 2, 1}, {0x8004, 10, 11, 1, 1},
        {0x8020, 10, 11, 1, 4}, {0x8024, 10, 11, 1, 2}, {0x29004, 1, 1, 1, 1},  {-1, 10, 11, 1, 1},
        {-1, 5, 11, 1, 2},      {-1, 20, 11, 2, 1},     {-1, 1, 3, 1, 4},       {-1, 3, 1, 4, 1},
        {-1, 1, 9, 1, 4},       {-1, 0, 11, 1, 1},      {-1, 40, 11, 4, 1}};
    // clang-format on
    for (const auto& ai : aiModeAspectFactors)
    {
        SCOPED_TRACE(std::to_string(ai[0]) + " " + std::to_string(ai[1]) + ":" + std::to_string(ai[2]));
        std::vector<std::pair<std::string, tdBytes>> aoChunks = {
            {"BMHD", aucPatched(aucBMHD, {{14, ai[1]}, {15, ai[2]}})}, {"CMAP", aucCMAP}, {"BODY", aucBody}};
        if (ai[0] >= 0)
            aoChunks.insert(aoChunks.begin() + 2, {"CAMG", aucBytes({0, ai[0] >> 16, ai[0] >> 8, ai[0]})});
        ASSERT_TRUE(bDecodeRetro("p.iff", aucIFF("ILBM", aoChunks), &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, 77000 * ai[3] + 45 * ai[4]);
        for (int y = 0; y < oPixels.m_iHeight; y++)
            for (int x = 0; x < oPixels.m_iWidth; x++)
                ASSERT_EQ(oPixels.iAt(x, y), oPlain.iAt(x / ai[3], y / ai[4])) << x << "," << y;
    }
    // HAM6 (control bits 5-4: 01 blue, 10 red, 11 green, level x 17) from entry 0
    // (11 22 33) at the row start: blue 15, red 3, green 0, entry 5, green 8.
    const int aiHAM[5] = {0x1F, 0x23, 0x30, 0x05, 0x38};
    tdBytes aucHAM(12, 0), aucMap(192, 0);
    for (int i = 0; i < 30; i++)
        aucHAM[static_cast<size_t>(i / 5 * 2)] |=
            static_cast<unsigned char>(((aiHAM[i % 5] >> (i / 5)) & 1) << (7 - i % 5));
    std::copy_n(aucBytes({0x11, 0x22, 0x33, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x99, 0xAA, 0xBB}).begin(),
                18, aucMap.begin());
    EXPECT_EQ(oDecoded("p.iff", aucIFF("ILBM", {{"BMHD", ::aucBMHD(5, 1, 6, 0, 0)},
                                                {"CMAP", aucMap},
                                                {"CAMG", {0, 0, 8, 0}},
                                                {"BODY", aucHAM}}))
                  .m_aiPixels,
              std::vector<int>({0x1122FF, 0x3322FF, 0x3300FF, 0x99AABB, 0x9988BB}));
    // Hires rows shown twice would pass the row limit (9000 x 2): the stored rows stay.
    // clang-format off
    ASSERT_TRUE(bDecodeRetro("p.iff", aucIFF("ILBM", {{"BMHD", ::aucBMHD(16, 9000, 1, 0, 0)}, {"CAMG", {0, 0, 0x80, 0}}, {"BODY", tdBytes(18000, 1)}}), &oPixels));
    // clang-format on
    EXPECT_EQ(oPixels.m_iWidth * 100000 + oPixels.m_iHeight, 1609000);

    // A mask plane after each row's planes; the same pixels as chunky rows of one
    // byte a pixel, padded to even.
    tdBytes aucMasked, aucChunky, aucFour = aucCMAP;
    for (unsigned char& c : aucFour)
        c &= 0xF0;
    for (int y = 0; y < 45; y++)
    {
        aucMasked.insert(aucMasked.end(), aucRows.begin() + 60 * y, aucRows.begin() + 60 * (y + 1));
        aucMasked.insert(aucMasked.end(), 10, static_cast<unsigned char>(y * 37));
        for (int x = 0; x < 78; x++)
            aucChunky.push_back(
                static_cast<unsigned char>(x < 77 ? iIndexIn(aucCMAP, oPicture.iAt(x, y)) : 0xEE));
    }
    // clang-format off
    const tdBytes aaucForms[] = {
        aucIFF("ILBM", {{"BMHD", aucPatched(aucBMHD, {{9, 1}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucMasked}}),
        aucIFF("ILBM", {{"BMHD", aucPatched(aucBMHD, {{9, 2}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucRows}}),
        aucIFF("PBM ", {{"BMHD", aucPatched(aucBMHD, {{8, 8}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucChunky}}),
        aucIFF("ILBM", {{"BMHD", aucBMHD}, {"CMAP", aucCMAP}, {"CAMG", {0, 0, 0, 0x80}}, {"ANNO", {1, 2, 3}}, {"BODY", aucBody}}),
        aucIFF("ILBM", {{"BMHD", aucBMHD}, {"CMAP", aucFour}, {"BODY", aucBody}}),
        aucIFF("ILBM", {{"BMHD", aucBMHD}, {"BODY", aucBody}})};
    // clang-format on
    for (int iCase = 0; iCase < 6; iCase++)
    {
        SCOPED_TRACE(iCase);
        ASSERT_TRUE(bDecodeRetro("p.lbm", aaucForms[iCase], &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, 77045);
        for (size_t i = 0; i < oPicture.m_aiPixels.size(); i++)
        {
            const int iIndex = iIndexIn(aucCMAP, oPicture.m_aiPixels[i]);
            int iExpected = oPicture.m_aiPixels[i];
            const unsigned char* pucLow = &aucCMAP[static_cast<size_t>(3 * (iIndex & 31))];
            if (iCase == 3 && iIndex >= 32) // extra half-brite: colours 32-63 are colours 0-31 halved
                iExpected = (pucLow[0] << 16 | pucLow[1] << 8 | pucLow[2]) >> 1 & 0x7F7F7F;
            if (iCase == 4) // 4-bit levels in the high nibbles: 0xF0 gives 0xFF
                iExpected = (iExpected & 0xF0F0F0) | (iExpected >> 4 & 0x0F0F0F);
            if (iCase == 5) iExpected = iIndex * 255 / 63 * 0x010101; // no map: a grey ramp
            ASSERT_EQ(oPixels.m_aiPixels[i], iExpected) << i;
        }
    }
    // Width 0, planes 0, 9 and 25, masking 4, compression 2, no BMHD, another
    // FORM type; a body cut short (packed or not), less than a FORM header.
    EXPECT_FALSE(bDecodeRetro("p.iff",
                              aucIFF("ILBM", {{"BMHD", aucPatched(aucBMHD, {{10, 0}})},
                                              {"BODY", tdBytes(aucRows.begin(), aucRows.end() - 1)}}),
                              &oPixels));
    vExpectRefused("p.iff", aucFile,
                   {{21, 0}, {28, 0}, {28, 9}, {28, 25}, {29, 4}, {30, 2}, {12, 'X'}, {8, 'A'}}, {-10, 11});
}

TEST(PCXTest, DefaultPalettesAndHeadersThatDescribeNoPicture)
{
    tdTempFolder oFolder;
    tdRetroPixels oPicture, oPixels;
    // Source: the IBM EGA default palette (colour 6 brown).
    const int aiEGA[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                           0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    // An all-black header colour map was not filled in: the EGA palette, or black
    // and white for 1 bit x 1 plane. 8 bits without the map at the end: grey.
    for (int iCase : {3, 6, 8, 9})
    {
        SCOPED_TRACE(iCase);
        tdBytes aucFile = aucNetpbmFile(oFolder, iCase, &oPicture);
        const tdBytes aucMap(iCase == 9 ? aucFile.end() - 768 : aucFile.begin() + 16,
                             iCase == 9 ? aucFile.end() : aucFile.begin() + 64);
        aucFile.resize(aucFile.size() - (iCase == 9 ? 769 : 0));
        std::fill(aucFile.begin() + 16, aucFile.begin() + 64, 0);
        ASSERT_TRUE(bDecodeRetro("p.pcx", aucFile, &oPixels));
        for (size_t i = 0; i < oPicture.m_aiPixels.size(); i++)
        {
            const int iIndex = iIndexIn(aucMap, oPicture.m_aiPixels[i]);
            ASSERT_EQ(oPixels.m_aiPixels[i],
                      iCase == 9 ? iIndex * 0x010101 : (iCase == 3 ? iIndex * 0xFFFFFF : aiEGA[iIndex]))
                << i;
        }
    }
    // Encoding 0, 8 bits x 3 planes, 2 x 1 pixels in lines of 4 bytes: red,
    // green, blue lines in turn.
    tdBytes aucRaw(128, 0);
    std::copy_n(aucBytes({0x0A, 5, 0, 8, 0, 0, 0, 0, 1, 0}).begin(), 10, aucRaw.begin());
    aucRaw[65] = 3;
    aucRaw[66] = 4;
    for (int i : {0x11, 0x12, 0, 0, 0x21, 0x22, 0, 0, 0x31, 0x32, 0, 0})
        aucRaw.push_back(static_cast<unsigned char>(i));
    EXPECT_EQ(oDecoded("p.pcx", aucRaw).m_aiPixels, std::vector<int>({0x112131, 0x122232}));
    // Not PC Paintbrush, version 6, encoding 2, 3 bits, 5 planes, 8 bits x 4
    // planes in 10 bytes a line, 9 bytes a line for 77 pixels, x max below x
    // min; data cut short, header only.
    vExpectRefused("p.pcx", aucNetpbmFile(oFolder, 6),
                   {{0, 0x0B}, {1, 6}, {2, 2}, {3, 3}, {65, 5}, {3, 8}, {66, 9}, {9, 0xFF}}, {-1, 129});
}

TEST(MacPaintTest, MacBinaryHeadersAreSkippedAndBadFilesRefused)
{
    tdTempFolder oFolder;
    const tdBytes aucPlain = aucNetpbmFile(oFolder, 19);
    tdBytes aucMacBinary = aucPlain;
    aucMacBinary.insert(aucMacBinary.begin(), 128, 0);
    aucMacBinary[1] = 1; // name length
    std::copy_n("PNTG", 4, aucMacBinary.begin() + 65);
    EXPECT_EQ(oDecoded("p.PNTG", aucMacBinary).m_aiPixels, oDecoded("p.mac", aucPlain).m_aiPixels);
    // Version 4; data cut short, header only. A MacBinary header of another file
    // type is not skipped, and its bytes are no version.
    vExpectRefused("p.mac", aucPlain, {{3, 4}}, {-1, 512});
    vExpectRefused("p.mac", aucMacBinary, {{65, 'X'}}, {});
}

TEST(GEMTest, EveryCodePaletteAndPixelShape)
{
    // 16 x 4, 2 planes, pattern length 2. Scan 0: literal F0 0F, solid FF x 2;
    // scans 1-2: vertical replication, pattern A5 5A once, solid 00 x 2; scan 3:
    // solid FF, literal 00, solid FF x 5 cut at the end of the scan. XIMG: 23
    // header words, RGB model, levels 0..1000: black, 500 grey, blue, 1000 1000 0.
    // clang-format off
    const tdBytes aucCodes = aucBytes({0x80, 2, 0xF0, 0x0F, 0x82, 0, 0, 0xFF, 2, 0, 1, 0xA5, 0x5A, 2, 0x81, 0x80, 1, 0, 0x85});
    tdBytes aucTwo = aucBytes({0, 1, 0, 8, 0, 2, 0, 2, 0, 85, 0, 85, 0, 16, 0, 4});
    tdBytes aucXIMG = aucBytes({0, 1, 0, 23, 0, 2, 0, 2, 0, 85, 0, 85, 0, 16, 0, 4, 'X', 'I', 'M', 'G', 0, 0, 0, 0, 0, 0,
                                0, 0, 1, 0xF4, 1, 0xF4, 1, 0xF4, 0, 0, 0, 0, 3, 0xE8, 3, 0xE8, 3, 0xE8, 0, 0});
    // 16 x 1, 4 planes: pixel x has value x.
    const tdBytes aucFour = aucBytes({0, 1, 0, 8, 0, 4, 0, 1, 0, 85, 0, 85, 0, 16, 0, 1, 0x80, 2, 0x55, 0x55,
                                      0x80, 2, 0x33, 0x33, 0x80, 2, 0x0F, 0x0F, 0x80, 2, 0x00, 0xFF});
    // clang-format on
    // 22 header words cannot hold 4 colours: no XIMG palette.
    tdBytes aucShortXIMG = aucPatched(tdBytes(aucXIMG.begin(), aucXIMG.end() - 2), {{3, 22}});
    for (tdBytes* pauc : {&aucTwo, &aucXIMG, &aucShortXIMG})
        pauc->insert(pauc->end(), aucCodes.begin(), aucCodes.end());
    const char* pszValues = "3333222222223333101001010101101010100101010110103333333322222222";
    const int aiXIMG[4] = {0x000000, 0x808080, 0x0000FF, 0xFFFF00};
    // Without XIMG the ST desktop's default colours (medium: white, red, green, black).
    const tdRetroPixels oTwo = oDecoded("p.img", aucTwo), oXIMG = oDecoded("p.ximg", aucXIMG);
    const tdRetroPixels oFour = oDecoded("p.img", aucFour);
    ASSERT_EQ(oTwo.m_iWidth * 100 + oTwo.m_iHeight + oXIMG.m_iHeight + oFour.m_iWidth, 1604 + 4 + 16);
    for (int i = 0; i < 64; i++)
    {
        EXPECT_EQ(oTwo.m_aiPixels[static_cast<size_t>(i)], iLevelColor("777700070000", pszValues[i] - '0'))
            << i;
        EXPECT_EQ(oXIMG.m_aiPixels[static_cast<size_t>(i)], aiXIMG[pszValues[i] - '0']) << i;
    }
    EXPECT_EQ(oDecoded("p.img", aucShortXIMG).m_aiPixels, oTwo.m_aiPixels);
    for (int x = 0; x < 16; x++)
        EXPECT_EQ(oFour.iAt(x, 0), iLevelColor("777700070770007707077555333733373773337737377000", x)) << x;

    // Micrometre sizes 169 x 372 (ST medium): every row shown twice.
    tdTempFolder oFolder;
    const tdBytes aucMono = aucNetpbmFile(oFolder, 20);
    const tdRetroPixels oPlain = oDecoded("p.img", aucMono);
    const tdRetroPixels oTall = oDecoded("p.img", aucPatched(aucMono, {{8, 0}, {9, 169}}));
    ASSERT_EQ(oTall.m_iHeight, 2 * 77);
    for (int y = 0; y < 2 * 77; y++)
        for (int x = 0; x < 301; x++)
            ASSERT_EQ(oTall.iAt(x, y), oPlain.iAt(x, y / 2));
    // Header of 7 words, header longer than the file, planes 0, 9 and 3 (no
    // palette), pattern length 0 and 9, height 0, width 0; data cut short, header only.
    vExpectRefused("p.img", aucMono, {{3, 7}, {2, 0x40}, {5, 0}, {5, 9}, {5, 3}, {7, 0}, {7, 9}, {15, 0}},
                   {-1, 16});
    vExpectRefused("p.img", aucPatched(aucMono, {{12, 0}}), {{13, 0}}, {});
}
