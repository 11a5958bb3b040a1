// Atari ST, IFF, PC Paintbrush, MacPaint and GEM pictures built here from their
// documented layouts (test_retro_files.cpp writes them, independently of the
// decoders) and checked pixel by pixel against the values written: every
// layout, every code of the run-length schemes, the colour rules and the
// magnification to square pixels.

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<uint32_t> auiValues(const std::vector<int>& ai)
{
    return std::vector<uint32_t>(ai.begin(), ai.end());
}

tdBytes aucRandomBytes(size_t uiCount, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    tdBytes auc(uiCount);
    for (unsigned char& c : auc)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    return auc;
}

int iRGBOf(const unsigned char* puc)
{
    return (puc[0] << 16) | (puc[1] << 8) | puc[2];
}

// ST palette word 0x0RGB with 3-bit levels.
int iSTColor(unsigned uiWord)
{
    return (iWiden((uiWord >> 8) & 7, 3) << 16) | (iWiden((uiWord >> 4) & 7, 3) << 8) | iWiden(uiWord & 7, 3);
}
} // namespace

// ------------------------------------------------------------------ Atari ST

class AtariSTTest : public ::testing::TestWithParam<int>
{
};

TEST_P(AtariSTTest, DegasEliteAndNEOchromeShowTheScreenInItsPalette)
{
    const int iResolution = GetParam();
    const tdTestSTScreen oScreen = oRandomSTScreen(iResolution, 100 + static_cast<uint32_t>(iResolution));
    const int iWidth = iSTWidth(iResolution);
    const int iHeight = iSTHeight(iResolution);
    const int iRepeat = iResolution == 1 ? 2 : 1; // medium resolution pixels are twice as high
    const std::string sDigit = std::to_string(iResolution + 1);

    tdRetroPixels oPlain;
    ASSERT_TRUE(bDecodeRetro("p.pi" + sDigit, aucDegas(oScreen, false), &oPlain));
    ASSERT_EQ(oPlain.m_iWidth, iWidth);
    ASSERT_EQ(oPlain.m_iHeight, iHeight * iRepeat);
    for (int y = 0; y < iHeight * iRepeat; y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            int iValue = oScreen.m_aiValues[static_cast<size_t>(y / iRepeat) * iWidth + x];
            int iExpected =
                iResolution == 2 ? (iValue ? 0x000000 : 0xFFFFFF) : iSTColor(oScreen.m_auiPalette[iValue]);
            ASSERT_EQ(oPlain.iAt(x, y), iExpected) << x << "," << y;
        }
    }

    // The same screen compressed, with Degas Elite's animation words, and as NEOchrome.
    tdRetroPixels oOther;
    ASSERT_TRUE(bDecodeRetro("p.pc" + sDigit, aucDegas(oScreen, true), &oOther));
    EXPECT_EQ(oOther.m_aiPixels, oPlain.m_aiPixels);
    tdBytes aucElite = aucDegas(oScreen, false);
    aucElite.insert(aucElite.end(), 32, 0);
    ASSERT_TRUE(bDecodeRetro("p.PI" + sDigit, aucElite, &oOther));
    EXPECT_EQ(oOther.m_aiPixels, oPlain.m_aiPixels);
    ASSERT_TRUE(bDecodeRetro("p.neo", aucNEOchrome(oScreen), &oOther));
    EXPECT_EQ(oOther.m_aiPixels, oPlain.m_aiPixels);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, AtariSTTest, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& o)
                         { return std::string(o.param == 0 ? "Low" : (o.param == 1 ? "Medium" : "High")); });

TEST(AtariSTPaletteTest, STEBitsMakeFourBitLevels)
{
    tdTestSTScreen oScreen;
    oScreen.m_aiValues.assign(320 * 200, 0);
    for (int i = 0; i < 4; i++)
        oScreen.m_aiValues[static_cast<size_t>(i)] = i;
    oScreen.m_auiPalette[0] = 0xF8F; // red 15, green 1, blue 15
    oScreen.m_auiPalette[1] = 0x700; // red 14
    oScreen.m_auiPalette[2] = 0x080; // green 1
    oScreen.m_auiPalette[3] = 0x123; // red 2, green 4, blue 6
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.pi1", aucDegas(oScreen, false), &oPixels));
    EXPECT_EQ(oPixels.iAt(0, 0), 0xFF11FF);
    EXPECT_EQ(oPixels.iAt(1, 0), 0xEE0000);
    EXPECT_EQ(oPixels.iAt(2, 0), 0x001100);
    EXPECT_EQ(oPixels.iAt(3, 0), 0x224466);
    // Without any STE bit the same words are 3-bit ST levels.
    oScreen.m_auiPalette[0] = 0x707;
    oScreen.m_auiPalette[2] = 0x010;
    ASSERT_TRUE(bDecodeRetro("p.pi1", aucDegas(oScreen, false), &oPixels));
    EXPECT_EQ(oPixels.iAt(0, 0), 0xFF00FF);
    EXPECT_EQ(oPixels.iAt(1, 0), 0xFF0000);
    EXPECT_EQ(oPixels.iAt(2, 0), 0x002400);
    EXPECT_EQ(oPixels.iAt(3, 0), (36 << 16) | (73 << 8) | 109);
}

TEST(AtariSTPaletteTest, HighResolutionPolarityFollowsBitZeroOfColourZero)
{
    tdTestSTScreen oScreen = oRandomSTScreen(2, 9);
    tdRetroPixels oNormal;
    ASSERT_TRUE(bDecodeRetro("p.pi3", aucDegas(oScreen, false), &oNormal));
    oScreen.m_auiPalette[0] = 0x776;
    tdRetroPixels oInverted;
    ASSERT_TRUE(bDecodeRetro("p.pi3", aucDegas(oScreen, false), &oInverted));
    for (size_t i = 0; i < oNormal.m_aiPixels.size(); i++)
        ASSERT_EQ(oInverted.m_aiPixels[i], oNormal.m_aiPixels[i] ^ 0xFFFFFF);
}

TEST(AtariSTPackingTest, RunsCrossingLinesAreTakenAsTheyCome)
{
    // A Degas Elite body packed as one stream over the plane-ordered lines.
    tdTestSTScreen oScreen = oRandomSTScreen(0, 21);
    tdBytes aucScreen = aucSTScreenMemory(oScreen);
    tdBytes aucPlaneOrder(32000);
    for (int y = 0; y < 200; y++)
        for (int p = 0; p < 4; p++)
            for (int i = 0; i < 40; i++)
                aucPlaneOrder[static_cast<size_t>(160 * y + 40 * p + i)] =
                    aucScreen[static_cast<size_t>(160 * y + ((i / 2) * 4 + p) * 2 + i % 2)];
    tdBytes aucElite = aucDegas(oScreen, true);
    aucElite.resize(34);
    tdBytes aucPacked = aucPackBits(aucPlaneOrder.data(), aucPlaneOrder.size());
    aucElite.insert(aucElite.end(), aucPacked.begin(), aucPacked.end());
    tdRetroPixels oElite;
    tdRetroPixels oPlain;
    ASSERT_TRUE(bDecodeRetro("p.pc1", aucElite, &oElite));
    ASSERT_TRUE(bDecodeRetro("p.pi1", aucDegas(oScreen, false), &oPlain));
    EXPECT_EQ(oElite.m_aiPixels, oPlain.m_aiPixels);
}

TEST(AtariSTHeaderTest, SizesAndResolutionWordsAreChecked)
{
    const tdTestSTScreen oScreen = oRandomSTScreen(0, 3);
    const tdBytes aucPlain = aucDegas(oScreen, false);
    const tdBytes aucElite = aucDegas(oScreen, true);
    const tdBytes aucNEO = aucNEOchrome(oScreen);
    tdRetroPixels oPixels;
    struct tdCase
    {
        const char* pszName;
        tdBytes auc;
        bool bDecodes;
    };
    tdBytes aucResolution3 = aucPlain;
    aucResolution3[1] = 3;
    tdBytes aucPlainFlagged = aucPlain;
    aucPlainFlagged[0] = 0x80;
    tdBytes aucEliteUnflagged = aucElite;
    aucEliteUnflagged[0] = 0x00;
    tdBytes aucNEOResolution = aucNEO;
    aucNEOResolution[3] = 3;
    tdBytes aucPadded = aucPlain;
    aucPadded.resize(32066, 0);
    tdBytes aucTooLong = aucPlain;
    aucTooLong.resize(32067, 0);
    const tdCase aoCases[] = {
        {"p.pi1", aucPlain, true},
        {"p.pi1", aucPadded, true},
        {"p.pi1", aucTooLong, false},
        {"p.pi1", tdBytes(aucPlain.begin(), aucPlain.end() - 1), false},
        {"p.pi1", aucResolution3, false},
        {"p.pi1", aucPlainFlagged, false},
        {"p.pc1", aucElite, true},
        {"p.pc1", aucEliteUnflagged, false},
        {"p.pc1", tdBytes(aucElite.begin(), aucElite.begin() + static_cast<long>(aucElite.size() / 2)),
         false},
        {"p.pc1", tdBytes(aucElite.begin(), aucElite.begin() + 33), false},
        {"p.neo", aucNEO, true},
        {"p.neo", tdBytes(aucNEO.begin(), aucNEO.end() - 1), false},
        {"p.neo", aucNEOResolution, false},
    };
    for (const tdCase& oCase : aoCases)
        EXPECT_EQ(bDecodeRetro(oCase.pszName, oCase.auc, &oPixels), oCase.bDecodes)
            << oCase.pszName << " " << oCase.auc.size();
}

// ------------------------------------------------------------------ IFF

// A colour map with every low nibble non-zero (so it is never taken for 4-bit
// levels).
static tdBytes aucRandomCMAP(int iColors, uint32_t uiSeed)
{
    tdBytes auc = aucRandomBytes(static_cast<size_t>(3 * iColors), uiSeed);
    for (unsigned char& c : auc)
        c |= 1;
    return auc;
}

static tdTestILBM oRandomILBM(int iWidth, int iHeight, int iPlanes, uint32_t uiSeed)
{
    tdTestILBM o;
    o.m_iWidth = iWidth;
    o.m_iHeight = iHeight;
    o.m_iPlanes = iPlanes;
    o.m_aucCMAP = aucRandomCMAP(1 << (iPlanes < 8 ? iPlanes : 8), uiSeed);
    o.m_auiValues = auiValues(aiRunValues(static_cast<size_t>(iWidth) * iHeight, 1 << iPlanes, uiSeed));
    return o;
}

static void vExpectIndexed(const tdTestILBM& o, const tdRetroPixels& oPixels)
{
    ASSERT_EQ(oPixels.m_iWidth, o.m_iWidth);
    ASSERT_EQ(oPixels.m_iHeight, o.m_iHeight);
    for (int y = 0; y < o.m_iHeight; y++)
        for (int x = 0; x < o.m_iWidth; x++)
            ASSERT_EQ(oPixels.iAt(x, y),
                      iRGBOf(&o.m_aucCMAP[3 * o.m_auiValues[static_cast<size_t>(y) * o.m_iWidth + x]]))
                << x << "," << y;
}

class ILBMPlanesTest : public ::testing::TestWithParam<int>
{
};

TEST_P(ILBMPlanesTest, IndexedPlanesPackedPlainAndMaskedGiveTheColourMap)
{
    const int iPlanes = GetParam();
    tdTestILBM o = oRandomILBM(37, 13, iPlanes, 200 + static_cast<uint32_t>(iPlanes));
    for (int iMasking : {0, 1, 2})
    {
        for (bool bCompress : {true, false})
        {
            o.m_iMasking = iMasking;
            o.m_bCompress = bCompress;
            tdRetroPixels oPixels;
            ASSERT_TRUE(bDecodeRetro("p.iff", aucILBM(o), &oPixels)) << iMasking << " " << bCompress;
            vExpectIndexed(o, oPixels);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Planes, ILBMPlanesTest, ::testing::Range(1, 9));

TEST(ILBMTest, TwentyFourPlanesHoldRedGreenBlue)
{
    tdTestILBM o;
    o.m_iWidth = 21;
    o.m_iHeight = 5;
    o.m_iPlanes = 24;
    tdTestRandom oRandom = {31};
    for (int i = 0; i < 21 * 5; i++)
        o.m_auiValues.push_back(oRandom.uiNext(1u << 24));
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.ilbm", aucILBM(o), &oPixels));
    for (int y = 0; y < 5; y++)
    {
        for (int x = 0; x < 21; x++)
        {
            uint32_t ui = o.m_auiValues[static_cast<size_t>(y) * 21 + x];
            // Plane p holds bit p: red in planes 0-7, so the low byte is red.
            int iExpected = static_cast<int>(((ui & 255) << 16) | (ui & 0xFF00) | ((ui >> 16) & 255));
            ASSERT_EQ(oPixels.iAt(x, y), iExpected);
        }
    }
}

TEST(ILBMTest, ColourMapsOfFourBitLevelsAndMissingMapsAreWidened)
{
    tdTestILBM o = oRandomILBM(16, 4, 3, 41);
    tdBytes aucFour = {0x00, 0x10, 0xF0, 0x80, 0x40, 0x20, 0xF0, 0xF0, 0xF0, 0x00, 0x00, 0x00,
                       0x50, 0x60, 0x70, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0x30, 0x30, 0x30};
    o.m_aucCMAP = aucFour;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.lbm", aucILBM(o), &oPixels));
    for (int x = 0; x < 16; x++)
    {
        const unsigned char* puc = &aucFour[3 * o.m_auiValues[static_cast<size_t>(x)]];
        int iExpected =
            ((puc[0] | puc[0] >> 4) << 16) | ((puc[1] | puc[1] >> 4) << 8) | (puc[2] | puc[2] >> 4);
        EXPECT_EQ(oPixels.iAt(x, 0), iExpected);
    }
    // Without a colour map: a grey ramp from black to white.
    o.m_aucCMAP.clear();
    ASSERT_TRUE(bDecodeRetro("p.lbm", aucILBM(o), &oPixels));
    for (int x = 0; x < 16; x++)
    {
        int iGrey = static_cast<int>(o.m_auiValues[static_cast<size_t>(x)]) * 255 / 7;
        EXPECT_EQ(oPixels.iAt(x, 0), iGrey * 0x010101);
    }
}

TEST(ILBMTest, ExtraHalfBriteHalvesTheFirstThirtyTwoColours)
{
    tdTestILBM o = oRandomILBM(40, 3, 6, 43);
    o.m_aucCMAP.resize(3 * 32);
    o.m_bCAMG = true;
    o.m_uiCAMG = 0x80;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.iff", aucILBM(o), &oPixels));
    for (int y = 0; y < 3; y++)
    {
        for (int x = 0; x < 40; x++)
        {
            uint32_t uiValue = o.m_auiValues[static_cast<size_t>(y) * 40 + x];
            int iBase = iRGBOf(&o.m_aucCMAP[3 * (uiValue & 31)]);
            int iExpected = uiValue >= 32 ? (iBase >> 1) & 0x7F7F7F : iBase;
            ASSERT_EQ(oPixels.iAt(x, y), iExpected) << uiValue;
        }
    }
}

TEST(ILBMTest, HoldAndModifyChangesOneChannelOfThePixelToTheLeft)
{
    // HAM6: control bits 5-4, 4-bit levels times 17; HAM8: control bits 7-6, the
    // top six bits replaced and the low two kept. Each row starts from entry 0.
    struct tdCase
    {
        int iPlanes;
        std::vector<uint32_t> auiRow;
        std::vector<int> aiExpected;
    };
    tdBytes aucMap(3 * 64, 0);
    aucMap[0] = 0x11; // entry 0: 11 22 33
    aucMap[1] = 0x22;
    aucMap[2] = 0x33;
    aucMap[15] = 0x99; // entry 5: 99 AA BB
    aucMap[16] = 0xAA;
    aucMap[17] = 0xBB;
    const tdCase aoCases[] = {
        // blue 15, red 3, green 0, entry 5, green 8
        {6, {0x1F, 0x23, 0x30, 0x05, 0x38}, {0x1122FF, 0x3322FF, 0x3300FF, 0x99AABB, 0x9988BB}},
        // blue 63 (low bits 11 kept), red 1 (01 kept), entry 5, green 32 (10 kept)
        {8, {0x7F, 0x81, 0x05, 0xE0}, {0x1122FF, 0x0522FF, 0x99AABB, 0x9982BB}},
    };
    for (const tdCase& oCase : aoCases)
    {
        tdTestILBM o;
        o.m_iWidth = static_cast<int>(oCase.auiRow.size());
        o.m_iHeight = 2;
        o.m_iPlanes = oCase.iPlanes;
        o.m_bCAMG = true;
        o.m_uiCAMG = 0x800;
        o.m_aucCMAP = aucMap;
        o.m_auiValues = oCase.auiRow;
        o.m_auiValues.insert(o.m_auiValues.end(), oCase.auiRow.begin(), oCase.auiRow.end());
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro("p.iff", aucILBM(o), &oPixels));
        for (size_t x = 0; x < oCase.aiExpected.size(); x++)
        {
            EXPECT_EQ(oPixels.iAt(static_cast<int>(x), 0), oCase.aiExpected[x]) << oCase.iPlanes << " " << x;
            EXPECT_EQ(oPixels.iAt(static_cast<int>(x), 1), oCase.aiExpected[x]) << oCase.iPlanes << " " << x;
        }
    }
}

// Viewport modes and BMHD aspects, and the whole factors that make the pixels
// square (pixel width : height rounded to a power of two).
struct tdILBMShape
{
    bool bCAMG;
    uint32_t uiCAMG;
    int iXAspect;
    int iYAspect;
    int iXFactor;
    int iYFactor;
};

// clang-format off
//                                      CAMG   mode        x asp. y asp.  x  y
const tdILBMShape g_aoILBMShapes[] = {{true,  0x00000000, 10,    11,    1, 1},  // low resolution
                                      {true,  0x00008000, 10,    11,    1, 2},  // hires
                                      {true,  0x00000004, 10,    11,    2, 1},  // interlaced
                                      {true,  0x00008004, 10,    11,    1, 1},  // hires interlaced
                                      {true,  0x00008020, 10,    11,    1, 4},  // super hires
                                      {true,  0x00008024, 10,    11,    1, 2},  // super hires interlaced
                                      {true,  0x00029004, 1,     1,     1, 1},  // PAL monitor id, hires lace
                                      {false, 0,          10,    11,    1, 1},  // no CAMG: BMHD aspect
                                      {false, 0,          5,     11,    1, 2},
                                      {false, 0,          20,    11,    2, 1},
                                      {false, 0,          1,     4,     1, 4},
                                      {false, 0,          0,     0,     1, 1}}; // unknown aspect
// clang-format on

class ILBMShapeTest : public ::testing::TestWithParam<tdILBMShape>
{
};

TEST_P(ILBMShapeTest, PixelsAreMagnifiedToSquares)
{
    const tdILBMShape& oShape = GetParam();
    tdTestILBM o = oRandomILBM(24, 10, 4, 57);
    o.m_bCAMG = oShape.bCAMG;
    o.m_uiCAMG = oShape.uiCAMG;
    o.m_iXAspect = oShape.iXAspect;
    o.m_iYAspect = oShape.iYAspect;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.iff", aucILBM(o), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 24 * oShape.iXFactor);
    ASSERT_EQ(oPixels.m_iHeight, 10 * oShape.iYFactor);
    for (int y = 0; y < oPixels.m_iHeight; y++)
        for (int x = 0; x < oPixels.m_iWidth; x++)
            ASSERT_EQ(oPixels.iAt(x, y),
                      iRGBOf(&o.m_aucCMAP[3 * o.m_auiValues[static_cast<size_t>(y / oShape.iYFactor) * 24 +
                                                            static_cast<size_t>(x / oShape.iXFactor)]]));
}

INSTANTIATE_TEST_SUITE_P(Modes, ILBMShapeTest, ::testing::ValuesIn(g_aoILBMShapes));

TEST(ILBMTest, PicturesTooTallToMagnifyKeepTheirStoredRows)
{
    // Hires rows would be shown twice: 9000 x 2 passes the 16384-row limit.
    tdTestILBM o = oRandomILBM(16, 9000, 1, 59);
    o.m_bCAMG = true;
    o.m_uiCAMG = 0x8000;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.iff", aucILBM(o), &oPixels));
    vExpectIndexed(o, oPixels);
}

TEST(ILBMTest, ChunkyPBMRowsArePaddedToEvenLengths)
{
    for (int iWidth : {7, 8})
    {
        tdTestILBM o = oRandomILBM(iWidth, 9, 8, 61 + static_cast<uint32_t>(iWidth));
        o.m_bChunky = true;
        for (bool bCompress : {true, false})
        {
            o.m_bCompress = bCompress;
            tdRetroPixels oPixels;
            ASSERT_TRUE(bDecodeRetro("p.lbm", aucILBM(o), &oPixels));
            vExpectIndexed(o, oPixels);
        }
    }
}

TEST(ILBMTest, HeadersAndBodiesThatDoNotAddUpAreRefused)
{
    tdTestILBM oGood = oRandomILBM(32, 8, 4, 71);
    const tdBytes aucGood = aucILBM(oGood);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.iff", aucGood, &oPixels));
    // BMHD fields sit at offset 20: width 20, height 22, planes 28, masking 29, compression 30.
    auto aucPatched = [&](size_t uiOffset, unsigned char c)
    {
        tdBytes auc = aucGood;
        auc[uiOffset] = c;
        return auc;
    };
    const tdBytes aucCases[] = {
        aucPatched(28, 0),                              // no planes
        aucPatched(28, 9),                              // nine planes
        aucPatched(28, 25),                             // 25 planes
        aucPatched(30, 2),                              // unknown compression
        aucPatched(29, 4),                              // unknown masking
        aucPatched(8, 'A'),                             // "ALBM"
        aucPatched(12, 'X'),                            // no BMHD
        aucPatched(21, 0),                              // width 0
        tdBytes(aucGood.begin(), aucGood.end() - 10),   // body cut short
        tdBytes(aucGood.begin(), aucGood.begin() + 11), // less than a FORM header
    };
    for (size_t i = 0; i < sizeof(aucCases) / sizeof(aucCases[0]); i++)
        EXPECT_FALSE(bDecodeRetro("p.iff", aucCases[i], &oPixels)) << "case " << i;
}

// ------------------------------------------------------------------ PCX

static tdTestPCX oRandomPCX(int iBits, int iPlanes, uint32_t uiSeed)
{
    tdTestPCX o;
    o.m_iWidth = 45;
    o.m_iHeight = 17;
    o.m_iBits = iBits;
    o.m_iPlanes = iPlanes;
    const int iValueBits = iBits == 8 && iPlanes >= 3 ? 24 : iBits * iPlanes;
    tdTestRandom oRandom = {uiSeed};
    std::vector<int> ai = aiRunValues(45 * 17, iValueBits >= 24 ? 1 << 30 : 1 << iValueBits, uiSeed);
    for (int& i : ai)
        i &= iValueBits >= 24 ? 0xFFFFFF : (1 << iValueBits) - 1;
    o.m_auiValues = auiValues(ai);
    for (unsigned char& c : o.m_acHeaderPalette)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    if (iBits == 8 && iPlanes == 1) o.m_aucVGAPalette = aucRandomBytes(768, uiSeed + 1);
    return o;
}

static int iExpectedPCX(const tdTestPCX& o, int iX, int iY)
{
    uint32_t uiValue = o.m_auiValues[static_cast<size_t>(iY) * o.m_iWidth + iX];
    if (o.m_iBits == 8 && o.m_iPlanes >= 3) return static_cast<int>(uiValue);
    if (o.m_iBits == 8) return iRGBOf(&o.m_aucVGAPalette[3 * uiValue]);
    return iRGBOf(&o.m_acHeaderPalette[3 * uiValue]);
}

struct tdPCXLayout
{
    int iBits;
    int iPlanes;
};

class PCXLayoutTest : public ::testing::TestWithParam<tdPCXLayout>
{
};

TEST_P(PCXLayoutTest, EveryLayoutPackedAnyWayGivesItsColours)
{
    const tdPCXLayout& oLayout = GetParam();
    tdTestPCX o = oRandomPCX(oLayout.iBits, oLayout.iPlanes,
                             300 + static_cast<uint32_t>(oLayout.iBits * 8 + oLayout.iPlanes));
    struct tdPacking
    {
        bool bRLE;
        bool bAcross;
        int iPad;
        int iXMin;
    };
    const tdPacking aoPackings[] = {{true, false, 0, 0}, {true, true, 0, 0},  {false, false, 0, 0},
                                    {true, false, 5, 0}, {true, true, 3, -7}, {false, false, 0, 300}};
    for (const tdPacking& oPacking : aoPackings)
    {
        o.m_bRLE = oPacking.bRLE;
        o.m_bRunsAcrossLines = oPacking.bAcross;
        o.m_iPadBytes = oPacking.iPad;
        o.m_iXMin = oPacking.iXMin;
        o.m_iYMin = -oPacking.iXMin;
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro("p.pcx", aucPCX(o), &oPixels)) << oPacking.bRLE << oPacking.bAcross;
        ASSERT_EQ(oPixels.m_iWidth, 45);
        ASSERT_EQ(oPixels.m_iHeight, 17);
        for (int y = 0; y < 17; y++)
            for (int x = 0; x < 45; x++)
                ASSERT_EQ(oPixels.iAt(x, y), iExpectedPCX(o, x, y)) << x << "," << y;
    }
}

// clang-format off
//                                            bits planes
const tdPCXLayout g_aoPCXLayouts[] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {4, 1}, {8, 1}, {8, 3}, {8, 4}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Layouts, PCXLayoutTest, ::testing::ValuesIn(g_aoPCXLayouts),
                         [](const ::testing::TestParamInfo<tdPCXLayout>& o) {
                             return std::to_string(o.param.iBits) + "bits" + std::to_string(o.param.iPlanes) +
                                    "planes";
                         });

TEST(PCXTest, AnEmptyHeaderPaletteMeansTheEGADefaultsOrBlackAndWhite)
{
    // Source: the IBM EGA default palette.
    const int aiEGA[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                           0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    for (const tdPCXLayout& oLayout : {tdPCXLayout{1, 4}, tdPCXLayout{4, 1}, tdPCXLayout{1, 1}})
    {
        tdTestPCX o = oRandomPCX(oLayout.iBits, oLayout.iPlanes, 17);
        for (unsigned char& c : o.m_acHeaderPalette)
            c = 0;
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro("p.pcx", aucPCX(o), &oPixels));
        for (int x = 0; x < 45; x++)
        {
            uint32_t uiValue = o.m_auiValues[static_cast<size_t>(x)];
            int iExpected = oLayout.iBits * oLayout.iPlanes == 1 ? (uiValue ? 0xFFFFFF : 0) : aiEGA[uiValue];
            EXPECT_EQ(oPixels.iAt(x, 0), iExpected);
        }
    }
}

TEST(PCXTest, EightBitsWithoutAPaletteAreGrey)
{
    tdTestPCX o = oRandomPCX(8, 1, 19);
    o.m_aucVGAPalette.clear();
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.pcx", aucPCX(o), &oPixels));
    for (int x = 0; x < 45; x++)
        EXPECT_EQ(oPixels.iAt(x, 3),
                  static_cast<int>(o.m_auiValues[static_cast<size_t>(3 * 45 + x)]) * 0x010101);
}

TEST(PCXTest, HeadersThatDoNotDescribeAPictureAreRefused)
{
    const tdBytes aucGood = aucPCX(oRandomPCX(1, 4, 23));
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.pcx", aucGood, &oPixels));
    auto aucPatched = [&](size_t uiOffset, unsigned char c)
    {
        tdBytes auc = aucGood;
        auc[uiOffset] = c;
        return auc;
    };
    const tdBytes aucCases[] = {
        aucPatched(0, 0x0B),                             // not PC Paintbrush
        aucPatched(1, 6),                                // unknown version
        aucPatched(2, 2),                                // unknown encoding
        aucPatched(3, 3),                                // 3 bits a pixel
        aucPatched(65, 5),                               // five planes
        aucPatched(3, 8),                                // 8 bits x 4 planes with 6 bytes a line
        aucPatched(66, 5),                               // bytes per line below (45 + 7) / 8
        aucPatched(9, 0xFF),                             // x max below x min
        tdBytes(aucGood.begin(), aucGood.end() - 1),     // data cut short
        tdBytes(aucGood.begin(), aucGood.begin() + 128), // header only
    };
    for (size_t i = 0; i < sizeof(aucCases) / sizeof(aucCases[0]); i++)
        EXPECT_FALSE(bDecodeRetro("p.pcx", aucCases[i], &oPixels)) << "case " << i;
}

// ------------------------------------------------------------------ MacPaint

TEST(MacPaintTest, BitsAreBlackWithOrWithoutAMacBinaryHeader)
{
    std::vector<int> ai = aiRunValues(576 * 720, 2, 81);
    tdBytes aucBits(720 * 72, 0);
    for (size_t i = 0; i < ai.size(); i++)
        if (ai[i]) aucBits[i / 8] |= static_cast<unsigned char>(0x80 >> (i % 8));
    for (bool bMacBinary : {false, true})
    {
        tdRetroPixels oPixels;
        ASSERT_TRUE(
            bDecodeRetro(bMacBinary ? "p.PNTG" : "p.mac", aucMacPaint(aucBits, bMacBinary), &oPixels));
        ASSERT_EQ(oPixels.m_iWidth, 576);
        ASSERT_EQ(oPixels.m_iHeight, 720);
        for (size_t i = 0; i < ai.size(); i++)
            ASSERT_EQ(oPixels.m_aiPixels[i], ai[i] ? 0x000000 : 0xFFFFFF) << i;
    }
    tdRetroPixels oPixels;
    tdBytes aucPlain = aucMacPaint(aucBits, false);
    tdBytes aucVersion4 = aucPlain;
    aucVersion4[3] = 4;
    EXPECT_FALSE(bDecodeRetro("p.mac", aucVersion4, &oPixels));
    EXPECT_FALSE(bDecodeRetro("p.mac", tdBytes(aucPlain.begin(), aucPlain.end() - 1), &oPixels));
    EXPECT_FALSE(bDecodeRetro("p.mac", tdBytes(aucPlain.begin(), aucPlain.begin() + 512), &oPixels));
    // A MacBinary header of another file type is not skipped: its bytes are no version.
    tdBytes aucOtherType = aucMacPaint(aucBits, true);
    aucOtherType[65] = 'X';
    EXPECT_FALSE(bDecodeRetro("p.mac", aucOtherType, &oPixels));
}

// ------------------------------------------------------------------ GEM

// Source: the Atari ST desktop's default colour registers.
const unsigned g_auiSTLow[16] = {0x777, 0x700, 0x070, 0x770, 0x007, 0x707, 0x077, 0x555,
                                 0x333, 0x733, 0x373, 0x773, 0x337, 0x737, 0x377, 0x000};
const unsigned g_auiSTMedium[4] = {0x777, 0x700, 0x070, 0x000};

static tdTestGEM oRandomGEM(int iPlanes, bool bXIMG, int iPatternLength, uint32_t uiSeed)
{
    tdTestGEM o;
    o.m_iWidth = 83;
    o.m_iHeight = 29;
    o.m_iPlanes = iPlanes;
    o.m_iPatternLength = iPatternLength;
    std::vector<int> ai = aiRunValues(83 * 29, 1 << iPlanes, uiSeed);
    // Rows 10-19 repeat row 9 (vertical replication); row 20 alternates two values
    // (pattern runs); rows 21-22 are solid (solid runs).
    for (int y = 10; y < 20; y++)
        for (int x = 0; x < 83; x++)
            ai[static_cast<size_t>(y * 83 + x)] = ai[static_cast<size_t>(9 * 83 + x)];
    for (int x = 0; x < 83; x++)
    {
        ai[static_cast<size_t>(20 * 83 + x)] = (x / 8) % 2 ? (1 << iPlanes) - 1 : 1;
        ai[static_cast<size_t>(21 * 83 + x)] = 0;
        ai[static_cast<size_t>(22 * 83 + x)] = (1 << iPlanes) - 1;
    }
    o.m_aiValues = ai;
    if (bXIMG)
    {
        tdTestRandom oRandom = {uiSeed};
        for (int i = 0; i < 3 << iPlanes; i++)
            o.m_aiXIMG.push_back(static_cast<int>(oRandom.uiNext(1001)));
    }
    return o;
}

static int iExpectedGEM(const tdTestGEM& o, int iValue)
{
    if (o.m_iPlanes == 1) return iValue ? 0x000000 : 0xFFFFFF;
    if (!o.m_aiXIMG.empty())
    {
        const int* pi = &o.m_aiXIMG[static_cast<size_t>(3 * iValue)];
        return (((pi[0] * 255 + 500) / 1000) << 16) | (((pi[1] * 255 + 500) / 1000) << 8) |
               ((pi[2] * 255 + 500) / 1000);
    }
    return iSTColor(o.m_iPlanes == 4 ? g_auiSTLow[iValue] : g_auiSTMedium[iValue]);
}

struct tdGEMCase
{
    int iPlanes;
    bool bXIMG;
    int iPatternLength;
};

class GEMTest : public ::testing::TestWithParam<tdGEMCase>
{
};

TEST_P(GEMTest, EveryCodeAndPaletteGivesTheWrittenPixels)
{
    const tdGEMCase& oCase = GetParam();
    tdTestGEM o = oRandomGEM(oCase.iPlanes, oCase.bXIMG, oCase.iPatternLength,
                             400 + static_cast<uint32_t>(oCase.iPlanes * 10 + oCase.iPatternLength));
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.img", aucGEM(o), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 83);
    ASSERT_EQ(oPixels.m_iHeight, 29);
    for (int y = 0; y < 29; y++)
        for (int x = 0; x < 83; x++)
            ASSERT_EQ(oPixels.iAt(x, y), iExpectedGEM(o, o.m_aiValues[static_cast<size_t>(y) * 83 + x]))
                << x << "," << y;
}

// clang-format off
//                                      planes XIMG   pattern length
const tdGEMCase g_aoGEMCases[] = {{1,     false, 1},
                                  {1,     false, 2},
                                  {1,     false, 8},
                                  {2,     false, 2},
                                  {4,     false, 2},
                                  {2,     true,  1},
                                  {3,     true,  3},
                                  {4,     true,  2},
                                  {8,     true,  2}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Kinds, GEMTest, ::testing::ValuesIn(g_aoGEMCases));

TEST(GEMShapeTest, MicrometreSizesMakeSquarePixels)
{
    tdTestGEM o = oRandomGEM(1, false, 1, 91);
    o.m_iPixelWidth = 169; // Atari ST medium resolution: pixels twice as high as wide
    o.m_iPixelHeight = 372;
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.ximg", aucGEM(o), &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, 83);
    ASSERT_EQ(oPixels.m_iHeight, 58);
    for (int y = 0; y < 58; y++)
        for (int x = 0; x < 83; x++)
            ASSERT_EQ(oPixels.iAt(x, y), iExpectedGEM(o, o.m_aiValues[static_cast<size_t>(y / 2) * 83 + x]));
}

TEST(GEMShapeTest, HeadersWithoutAPictureOrPaletteAreRefused)
{
    const tdBytes aucGood = aucGEM(oRandomGEM(1, false, 2, 93));
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("p.img", aucGood, &oPixels));
    auto aucPatched = [&](size_t uiOffset, unsigned char c)
    {
        tdBytes auc = aucGood;
        auc[uiOffset] = c;
        return auc;
    };
    const tdBytes aucCases[] = {
        aucPatched(3, 7),                               // header of 7 words
        aucPatched(2, 0x40),                            // header longer than the file
        aucPatched(5, 0),                               // no planes
        aucPatched(5, 9),                               // nine planes
        aucPatched(5, 3),                               // three planes without a palette
        aucPatched(7, 0),                               // pattern length 0
        aucPatched(7, 9),                               // pattern length 9
        aucPatched(13, 0),                              // width 0
        aucPatched(15, 0),                              // height 0
        tdBytes(aucGood.begin(), aucGood.end() - 1),    // data cut short
        tdBytes(aucGood.begin(), aucGood.begin() + 16), // header only
    };
    for (size_t i = 0; i < sizeof(aucCases) / sizeof(aucCases[0]); i++)
        EXPECT_FALSE(bDecodeRetro("p.img", aucCases[i], &oPixels)) << "case " << i;
}
