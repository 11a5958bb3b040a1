// The YJK colour model: the colour table against the decoding formula, the
// conversion against hand-worked groups, the optimised searches against the plain
// reference search, and the Screen 10 palette's histogram.

#include "tests/support/testutil.h"

#include "qev/color/color_delta.h"
#include "qev/color/palette.h"
#include "qev/msx/yjk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{
// The decoding of the video chip, written out again here: clamp to 0..31, blue
// divided with truncation toward zero, 5-bit values expanded to bytes.
Color oDecode(int iY, int iJ, int iK)
{
    auto iClamp = [](int v) { return v < 0 ? 0 : (v > 31 ? 31 : v); };
    auto ucExpand = [](int v) { return static_cast<unsigned char>((255 * v + 15) / 31); };
    return {ucExpand(iClamp(iY + iJ)), ucExpand(iClamp(iY + iK)),
            ucExpand(iClamp((5 * iY - 2 * iJ - iK + 2) / 4)), 255};
}

// The four colours that four group bytes display.
void vDecodeGroup(const unsigned char* puc, Color* po)
{
    int iK = (puc[0] & 7) | (puc[1] & 7) << 3;
    int iJ = (puc[2] & 7) | (puc[3] & 7) << 3;
    if (iK >= 32) iK -= 64;
    if (iJ >= 32) iJ -= 64;
    for (int p = 0; p < 4; p++)
        po[p] = oDecode(puc[p] >> 3, iJ, iK);
}

bool bSameRGB(const Color& o1, const Color& o2)
{
    return o1.r == o2.r && o1.g == o2.g && o1.b == o2.b;
}

std::string sGroup(const Color* po)
{
    std::string s;
    for (int p = 0; p < 4; p++)
        s += "(" + std::to_string(po[p].r) + "," + std::to_string(po[p].g) + "," + std::to_string(po[p].b) +
             ")";
    return s;
}

// Groups of many kinds: noise, smooth ramps, flat colours, saturated and
// near-black or near-white pixels (where the channels clamp and distances tie),
// two-colour groups and groups of level colours.
std::vector<Color> aoTestGroups(int iCount, uint32_t uiSeed)
{
    tdTestRandom oRandom{uiSeed};
    std::vector<Color> ao;
    const unsigned char aucSaturated[] = {0, 0, 0, 255, 255, 255, 8, 247};
    for (int g = 0; g < iCount; g++)
    {
        Color aoGroup[4];
        switch (g % 7)
        {
        case 0: // noise
            for (Color& o : aoGroup)
                o = {static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)), 255};
            break;
        case 1: // ramp
        {
            int aiBase[3] = {static_cast<int>(oRandom.uiNext(200)), static_cast<int>(oRandom.uiNext(200)),
                             static_cast<int>(oRandom.uiNext(200))};
            int aiStep[3] = {static_cast<int>(oRandom.uiNext(19)), static_cast<int>(oRandom.uiNext(19)),
                             static_cast<int>(oRandom.uiNext(19))};
            for (int p = 0; p < 4; p++)
                aoGroup[p] = {static_cast<unsigned char>(aiBase[0] + p * aiStep[0]),
                              static_cast<unsigned char>(aiBase[1] + p * aiStep[1]),
                              static_cast<unsigned char>(aiBase[2] + p * aiStep[2]), 255};
            break;
        }
        case 2: // flat
        {
            Color o = {static_cast<unsigned char>(oRandom.uiNext(256)),
                       static_cast<unsigned char>(oRandom.uiNext(256)),
                       static_cast<unsigned char>(oRandom.uiNext(256)), 255};
            for (Color& oPixel : aoGroup)
                oPixel = o;
            break;
        }
        case 3: // saturated corners of the cube
            for (Color& o : aoGroup)
                o = {aucSaturated[oRandom.uiNext(8)], aucSaturated[oRandom.uiNext(8)],
                     aucSaturated[oRandom.uiNext(8)], 255};
            break;
        case 4: // two colours
        {
            Color ao2[2];
            for (Color& o : ao2)
                o = {static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)), 255};
            for (int p = 0; p < 4; p++)
                aoGroup[p] = ao2[oRandom.uiNext(2)];
            break;
        }
        case 5: // near black or near white
        {
            int iBase = oRandom.uiNext(2) ? 0 : 226;
            for (Color& o : aoGroup)
                o = {static_cast<unsigned char>(iBase + oRandom.uiNext(30)),
                     static_cast<unsigned char>(iBase + oRandom.uiNext(30)),
                     static_cast<unsigned char>(iBase + oRandom.uiNext(30)), 255};
            break;
        }
        default: // YJK colours, some reproducible exactly
        {
            int iJ = static_cast<int>(oRandom.uiNext(64)) - 32;
            int iK = static_cast<int>(oRandom.uiNext(64)) - 32;
            for (Color& o : aoGroup)
                o = oDecode(static_cast<int>(oRandom.uiNext(32)), iJ, iK);
            break;
        }
        }
        ao.insert(ao.end(), aoGroup, aoGroup + 4);
    }
    return ao;
}
} // namespace

// ---------------------------------------------------------------------------------
// Colour table

TEST(YJKColorTableTest, FilledOnFirstUseWithoutVComputeColors)
{
    // Meaningful when this test runs in a process of its own (as ctest runs it).
    if (g_poColors) GTEST_SKIP() << "the table was filled by an earlier test of this process";
    const Color aoWhite[4] = {
        {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    unsigned char auc[4];
    Color ao[4];
    vRGB2YJK(aoWhite, auc, ao, RGB2YJK_AreaSearch, false, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_NE(g_poColors, nullptr);
    EXPECT_EQ(auc[0], 0xEA);
    EXPECT_TRUE(bSameRGB(ao[0], aoWhite[0]));
}

TEST(YJKColorTableTest, EveryEntryHoldsTheDecodedColour)
{
    vComputeColors();
    vComputeColors(); // a second call changes nothing
    ASSERT_NE(g_poColors, nullptr);
    for (int iJ = -32; iJ < 32; iJ++)
        for (int iK = -32; iK < 32; iK++)
            for (int iY = 0; iY < 32; iY++)
            {
                const Color& o = g_poColors[2048 * iJ + 32 * iK + iY];
                Color oExpected = oDecode(iY, iJ, iK);
                ASSERT_TRUE(bSameRGB(o, oExpected)) << iY << " " << iJ << " " << iK;
                ASSERT_EQ(o.a, 255);
            }
    // Worked decodings: Y 16, J 1, K 0 and Y 31, J = K = 0.
    const Color& oMauve = g_poColors[2048 * 1 + 16];
    EXPECT_EQ(oMauve.r, 140);
    EXPECT_EQ(oMauve.g, 132);
    EXPECT_EQ(oMauve.b, 165);
    EXPECT_TRUE(bSameRGB(g_poColors[31], {255, 255, 255, 255}));
}

TEST(YJKColorTableTest, CountsTheDistinctColoursTheUserInterfaceQuotes)
{
    vComputeColors();
    std::set<uint32_t> oAll;
    std::set<uint32_t> oEven;
    for (int iJ = -32; iJ < 32; iJ++)
        for (int iK = -32; iK < 32; iK++)
            for (int iY = 0; iY < 32; iY++)
            {
                const Color& o = g_poColors[2048 * iJ + 32 * iK + iY];
                uint32_t ui = static_cast<uint32_t>(o.r) << 16 | static_cast<uint32_t>(o.g) << 8 | o.b;
                oAll.insert(ui);
                if ((iY & 1) == 0) oEven.insert(ui);
            }
    EXPECT_EQ(oAll.size(), 19268u);
    EXPECT_EQ(oEven.size(), 12499u);
}

// ---------------------------------------------------------------------------------
// Worked groups: four equal pixels, bytes and colour worked out by hand from the
// estimate matrices and the search order.

struct tdWorkedGroup
{
    const char* m_pszName;
    Color m_oPixel;
    tdRGB2YJKMethod m_eMethod;
    bool m_bEvenY;
    unsigned char m_aucBytes[4];
    Color m_oColor; // of every pixel
};

class YJKWorkedGroupTest : public testing::TestWithParam<tdWorkedGroup>
{
};

TEST_P(YJKWorkedGroupTest, GivesTheBytesAndColours)
{
    const tdWorkedGroup& o = GetParam();
    const Color aoPixels[4] = {o.m_oPixel, o.m_oPixel, o.m_oPixel, o.m_oPixel};
    for (int iPath = 0; iPath < 2; iPath++)
    {
        unsigned char auc[4];
        Color aoColors[4];
        if (iPath == 0)
            vRGB2YJK(aoPixels, auc, aoColors, o.m_eMethod, o.m_bEvenY, 1.0, DeltaMethod_RGB, 1.0);
        else
            vRGB2YJKReference(aoPixels, auc, aoColors, o.m_eMethod, o.m_bEvenY, 1.0, DeltaMethod_RGB, 1.0);
        for (int p = 0; p < 4; p++)
        {
            EXPECT_EQ(auc[p], o.m_aucBytes[p]) << "byte " << p << (iPath ? " (reference)" : "");
            EXPECT_TRUE(bSameRGB(aoColors[p], o.m_oColor)) << sGroup(aoColors);
            EXPECT_EQ(aoColors[p].a, 255);
        }
    }
}

// clang-format off
const tdWorkedGroup g_aoWorkedGroups[] = {
    //  name                     pixel                  method                    even   bytes                    colour
    // Y 27, J = K = 4 from both matrices.
    {"WhiteStandard",       {255, 255, 255, 255}, RGB2YJK_Standard,        false, {0xDC, 0xD8, 0xDC, 0xD8}, {255, 255, 255, 255}},
    {"WhiteLeastSquares",   {255, 255, 255, 255}, RGB2YJK_LeastSquares,    false, {0xDC, 0xD8, 0xDC, 0xD8}, {255, 255, 255, 255}},
    // Y 8, J 23, K -7.
    {"RedStandard",         {255,   0,   0, 255}, RGB2YJK_Standard,        false, {0x41, 0x47, 0x47, 0x42}, {255,   8,   0, 255}},
    // Y 14, J = K = 2.
    {"GreyStandard",        {128, 128, 128, 255}, RGB2YJK_Standard,        false, {0x72, 0x70, 0x72, 0x70}, {132, 132, 132, 255}},
    {"GreyLeastSquares",    {128, 128, 128, 255}, RGB2YJK_LeastSquares,    false, {0x72, 0x70, 0x72, 0x70}, {132, 132, 132, 255}},
    // Y 2, J = K = -1: bits 2-0 of every byte are 7.
    {"DarkBlueStandard",    {  0,   0,  27, 255}, RGB2YJK_Standard,        false, {0x17, 0x17, 0x17, 0x17}, {  8,   8,  25, 255}},
    // The first (J, K) with total 0 in the window J, K 1..7, Y 25..29 is (2, 2)
    // with Y 29; with even Y (window Y 24..28) it is (3, 3) with Y 28.
    {"WhiteAreaSearch",     {255, 255, 255, 255}, RGB2YJK_AreaSearch,      false, {0xEA, 0xE8, 0xEA, 0xE8}, {255, 255, 255, 255}},
    {"WhiteAreaSearchEven", {255, 255, 255, 255}, RGB2YJK_AreaSearch,      true,  {0xE3, 0xE0, 0xE3, 0xE0}, {255, 255, 255, 255}},
    // Over all J and K the first exact white is J = K = 0 with Y 31; with even Y
    // it is J = K = 1 with Y 30.
    {"WhiteBruteForce",     {255, 255, 255, 255}, RGB2YJK_BruteForce,      false, {0xF8, 0xF8, 0xF8, 0xF8}, {255, 255, 255, 255}},
    {"WhiteBruteForceEven", {255, 255, 255, 255}, RGB2YJK_BruteForce,      true,  {0xF1, 0xF0, 0xF1, 0xF0}, {255, 255, 255, 255}},
    // The estimate (27, 4, 4) is exact, yet Y0 moves up to 28 (its down total is
    // worse, its up total equal to 0): the best total starts above every total.
    // Nothing else then falls below 0.
    {"WhiteGradientDescent",{255, 255, 255, 255}, RGB2YJK_GradientDescent, false, {0xE4, 0xD8, 0xDC, 0xD8}, {255, 255, 255, 255}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Groups, YJKWorkedGroupTest, testing::ValuesIn(g_aoWorkedGroups),
                         [](const testing::TestParamInfo<tdWorkedGroup>& o) { return o.param.m_pszName; });

TEST(YJKConversionTest, ColoursAreWhatTheBytesDisplayAndEvenYKeepsBit3Clear)
{
    std::vector<Color> ao = aoTestGroups(140, 7);
    for (int iMethod = 0; iMethod < RGB2YJK_BruteForce; iMethod++)
        for (int iEven = 0; iEven < 2; iEven++)
            for (size_t g = 0; g < ao.size(); g += 4)
            {
                unsigned char auc[4];
                Color aoColors[4];
                vRGB2YJK(&ao[g], auc, aoColors, static_cast<tdRGB2YJKMethod>(iMethod), iEven, 1.0,
                         DeltaMethod_RGB, 1.0);
                Color aoDecoded[4];
                vDecodeGroup(auc, aoDecoded);
                for (int p = 0; p < 4; p++)
                {
                    ASSERT_TRUE(bSameRGB(aoColors[p], aoDecoded[p])) << iMethod << " " << sGroup(&ao[g]);
                    ASSERT_EQ(aoColors[p].a, 255);
                    if (iEven)
                    {
                        ASSERT_EQ(auc[p] & 8, 0) << iMethod << " " << sGroup(&ao[g]);
                    }
                }
            }
}

// ---------------------------------------------------------------------------------
// The optimised searches against the plain reference, byte for byte.

struct tdDeltaCase
{
    tdDeltaMethod m_eMethod;
    double m_fExponent;
    double m_fWeight;
    int m_iBruteForceGroups; // groups also checked by brute force (slow in the reference)
};

class YJKAgainstReferenceTest : public testing::TestWithParam<tdDeltaCase>
{
};

TEST_P(YJKAgainstReferenceTest, CandidateDistancesEqualFColorDelta)
{
    const tdDeltaCase& o = GetParam();
    YJKConverter oConverter(RGB2YJK_AreaSearch, false, o.m_fExponent, o.m_eMethod, o.m_fWeight);
    tdTestRandom oRandom{17};
    for (int i = 0; i < 20000; i++)
    {
        Color oPixel = {static_cast<unsigned char>(oRandom.uiNext(256)),
                        static_cast<unsigned char>(oRandom.uiNext(256)),
                        static_cast<unsigned char>(oRandom.uiNext(256)), 255};
        if (i % 5 == 0) oPixel = oDecode(oRandom.uiNext(32), 0, 0); // greys, exact candidates
        int iY = static_cast<int>(oRandom.uiNext(32));
        int iJ = static_cast<int>(oRandom.uiNext(64)) - 32;
        int iK = static_cast<int>(oRandom.uiNext(64)) - 32;
        if (i % 7 == 0) iJ = iK = 0;
        double fExpected = fColorDelta(&g_poColors[2048 * iJ + 32 * iK + iY], &oPixel, o.m_fExponent, 255.0,
                                       o.m_eMethod, o.m_fWeight);
        double f = oConverter.fCandidateDelta(oPixel, iY, iJ, iK);
        // Bit for bit, and never negative: the pruning of the searches relies on it.
        ASSERT_EQ(memcmp(&f, &fExpected, sizeof(f)), 0) << f << " " << fExpected << " at " << i;
        ASSERT_GE(f, 0.0);
    }
}

TEST_P(YJKAgainstReferenceTest, EveryMethodGivesTheReferenceBytes)
{
    const tdDeltaCase& o = GetParam();
    std::vector<Color> ao = aoTestGroups(140, 11 + static_cast<uint32_t>(o.m_eMethod));
    for (int iMethod = 0; iMethod <= RGB2YJK_BruteForce; iMethod++)
        for (int iEven = 0; iEven < 2; iEven++)
        {
            const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(iMethod);
            // One converter for the whole run, so that its kept pixels are reused.
            YJKConverter oConverter(eMethod, iEven, o.m_fExponent, o.m_eMethod, o.m_fWeight);
            size_t uiGroups =
                eMethod == RGB2YJK_BruteForce ? static_cast<size_t>(o.m_iBruteForceGroups) : ao.size() / 4;
            for (size_t g = 0; g < uiGroups; g++)
            {
                // Brute force takes every kind of group in turn.
                const Color* po = &ao[4 * (eMethod == RGB2YJK_BruteForce ? (g * 5) % (ao.size() / 4) : g)];
                unsigned char aucExpected[4], auc[4], aucSingle[4];
                Color aoExpected[4], aoColors[4], aoSingle[4];
                vRGB2YJKReference(po, aucExpected, aoExpected, eMethod, iEven, o.m_fExponent, o.m_eMethod,
                                  o.m_fWeight);
                oConverter.vConvert(po, auc, aoColors);
                vRGB2YJK(po, aucSingle, aoSingle, eMethod, iEven, o.m_fExponent, o.m_eMethod, o.m_fWeight);
                ASSERT_EQ(memcmp(auc, aucExpected, 4), 0)
                    << g_apszRGB2YJKMethodNames[iMethod] << (iEven ? " even " : " ") << sGroup(po);
                ASSERT_EQ(memcmp(aucSingle, aucExpected, 4), 0)
                    << g_apszRGB2YJKMethodNames[iMethod] << (iEven ? " even " : " ") << sGroup(po);
                ASSERT_EQ(memcmp(aoColors, aoExpected, sizeof(aoColors)), 0);
                if (eMethod == RGB2YJK_BruteForce)
                {
                    YJKConverter oPairScan(eMethod, iEven, o.m_fExponent, o.m_eMethod, o.m_fWeight);
                    oPairScan.m_lMaxColourTriples = 0;
                    oPairScan.vConvert(po, auc, aoColors);
                    ASSERT_EQ(memcmp(auc, aucExpected, 4), 0) << "pair scan " << sGroup(po);
                }
            }
        }
}

// The four conversions of a group under error diffusion: the pixels change one at
// a time, and come back.
TEST_P(YJKAgainstReferenceTest, RepeatedAndChangingPixelsGiveTheReferenceBytes)
{
    const tdDeltaCase& o = GetParam();
    std::vector<Color> ao = aoTestGroups(21, 5);
    YJKConverter oConverter(RGB2YJK_AreaSearch, true, o.m_fExponent, o.m_eMethod, o.m_fWeight);
    YJKConverter oGradient(RGB2YJK_GradientDescent, false, o.m_fExponent, o.m_eMethod, o.m_fWeight);
    tdTestRandom oRandom{3};
    for (size_t g = 0; g + 4 <= ao.size(); g += 4)
    {
        Color aoGroup[4] = {ao[g], ao[g + 1], ao[g + 2], ao[g + 3]};
        for (int k = 0; k < 8; k++)
        {
            if (k < 4)
            {
                aoGroup[k].r = static_cast<unsigned char>(aoGroup[k].r ^ oRandom.uiNext(8));
                aoGroup[k].b = static_cast<unsigned char>(aoGroup[k].b ^ oRandom.uiNext(8));
            }
            else
                aoGroup[k - 4] = ao[g + static_cast<size_t>(k) - 4];
            for (YJKConverter* po : {&oConverter, &oGradient})
            {
                tdRGB2YJKMethod eMethod = po == &oConverter ? RGB2YJK_AreaSearch : RGB2YJK_GradientDescent;
                unsigned char aucExpected[4], auc[4];
                Color aoExpected[4], aoColors[4];
                vRGB2YJKReference(aoGroup, aucExpected, aoExpected, eMethod, po == &oConverter, o.m_fExponent,
                                  o.m_eMethod, o.m_fWeight);
                po->vConvert(aoGroup, auc, aoColors);
                ASSERT_EQ(memcmp(auc, aucExpected, 4), 0) << sGroup(aoGroup);
            }
        }
    }
}

// Brute force on groups whose pixels are far apart, where the bounds prune least,
// and on groups of one colour, where many (J, K) tie.
TEST_P(YJKAgainstReferenceTest, BruteForceOnHardGroupsGivesTheReferenceBytes)
{
    const tdDeltaCase& o = GetParam();
    // clang-format off
    const Color aoGroups[][4] = {
        {{255,   0,   0, 255}, {  0, 255,   0, 255}, {  0,   0, 255, 255}, {255, 255, 255, 255}},
        {{  0,   0,   0, 255}, {255, 255, 255, 255}, {  0,   0,   0, 255}, {255, 255, 255, 255}},
        {{255, 255,   0, 255}, {255, 255,   0, 255}, {255, 255,   0, 255}, {255, 255,   0, 255}},
        {{  0,   0,   0, 255}, {  0,   0,   0, 255}, {  0,   0,   0, 255}, {  0,   0,   0, 255}},
    };
    // clang-format on
    const int iGroups = o.m_iBruteForceGroups >= 4 ? 4 : 1;
    for (int g = 0; g < iGroups; g++)
        for (int iEven = 0; iEven < 2; iEven++)
        {
            unsigned char aucExpected[4], auc[4];
            Color aoExpected[4], aoColors[4];
            vRGB2YJKReference(aoGroups[g], aucExpected, aoExpected, RGB2YJK_BruteForce, iEven, o.m_fExponent,
                              o.m_eMethod, o.m_fWeight);
            vRGB2YJK(aoGroups[g], auc, aoColors, RGB2YJK_BruteForce, iEven, o.m_fExponent, o.m_eMethod,
                     o.m_fWeight);
            ASSERT_EQ(memcmp(auc, aucExpected, 4), 0) << "group " << g << (iEven ? " even" : "");
        }
}

// Four pixels whose only exact (J, K) is (4, 4), where white decodes exactly for
// Y 27 to 31 and (115, 115, 82) for Y 10 alone: brute force must keep (4, 4) and
// the lowest Y of each pixel (28 with even Y), through either of its two ways.
TEST(YJKBruteForceTest, TiesGoToTheLowestY)
{
    const Color oWhite = {255, 255, 255, 255};
    const Color aoGroup[4] = {oWhite, oWhite, oWhite, {115, 115, 82, 255}};
    const unsigned char aaucExpected[2][4] = {{0xDC, 0xD8, 0xDC, 0x50}, {0xE4, 0xE0, 0xE4, 0x50}};
    for (int iEven = 0; iEven < 2; iEven++)
        for (long lLimit : {32768L, 0L})
        {
            YJKConverter oConverter(RGB2YJK_BruteForce, iEven, 1.0, DeltaMethod_RGB, 1.0);
            oConverter.m_lMaxColourTriples = lLimit;
            unsigned char auc[4];
            Color aoColors[4];
            oConverter.vConvert(aoGroup, auc, aoColors);
            EXPECT_EQ(memcmp(auc, aaucExpected[iEven], 4), 0)
                << std::hex << int(auc[0]) << " " << int(auc[1]) << " " << int(auc[2]) << " " << int(auc[3]);
            vRGB2YJKReference(aoGroup, auc, aoColors, RGB2YJK_BruteForce, iEven, 1.0, DeltaMethod_RGB, 1.0);
            EXPECT_EQ(memcmp(auc, aaucExpected[iEven], 4), 0);
        }
}

// Groups built for ties: pixels decoded from one (J, K) with Ys that clamp, cube
// corners and near misses, so that several Ys or several (J, K) reach the same
// least distance. Brute force from the colour side and by the pair scan, and area
// search, against the reference.
TEST(YJKBruteForceTest, BothWaysGiveTheReferenceBytesOnGroupsFullOfTies)
{
    tdTestRandom oRandom{99};
    const unsigned char aucCorner[2] = {0, 255};
    for (int g = 0; g < 24; g++)
    {
        Color aoGroup[4];
        const int iJ = static_cast<int>(oRandom.uiNext(64)) - 32;
        const int iK = static_cast<int>(oRandom.uiNext(64)) - 32;
        for (Color& o : aoGroup)
        {
            switch (oRandom.uiNext(4))
            {
            case 0:
            case 1:
            {
                const int aiY[6] = {0, 1, 2, 29, 30, 31};
                o = oDecode(oRandom.uiNext(2) ? aiY[oRandom.uiNext(6)] : static_cast<int>(oRandom.uiNext(32)),
                            iJ, iK);
                break;
            }
            case 2:
                o = {aucCorner[oRandom.uiNext(2)], aucCorner[oRandom.uiNext(2)], aucCorner[oRandom.uiNext(2)],
                     255};
                break;
            default:
                o = oDecode(static_cast<int>(oRandom.uiNext(32)), iJ, iK);
                o.r = static_cast<unsigned char>(o.r < 250 ? o.r + oRandom.uiNext(5) : o.r);
                o.b = static_cast<unsigned char>(o.b > 5 ? o.b - oRandom.uiNext(5) : o.b);
                break;
            }
        }
        for (tdDeltaMethod eDelta : {DeltaMethod_RGB, DeltaMethod_Hit9918})
            for (int iEven = 0; iEven < 2; iEven++)
            {
                for (tdRGB2YJKMethod eMethod : {RGB2YJK_AreaSearch, RGB2YJK_BruteForce})
                {
                    unsigned char aucExpected[4];
                    Color aoExpected[4];
                    vRGB2YJKReference(aoGroup, aucExpected, aoExpected, eMethod, iEven, 1.0, eDelta, 1.0);
                    for (long lLimit : {32768L, 0L})
                    {
                        YJKConverter oConverter(eMethod, iEven, 1.0, eDelta, 1.0);
                        oConverter.m_lMaxColourTriples = lLimit;
                        unsigned char auc[4];
                        Color aoColors[4];
                        oConverter.vConvert(aoGroup, auc, aoColors);
                        ASSERT_EQ(memcmp(auc, aucExpected, 4), 0)
                            << g_apszRGB2YJKMethodNames[eMethod] << " limit " << lLimit
                            << (iEven ? " even " : " ") << sGroup(aoGroup);
                    }
                }
            }
    }
}

// clang-format off
const tdDeltaCase g_aoDeltaCases[] = {
    //  method                  exponent  weight  brute-force groups
    {DeltaMethod_RGB,           1.0,      1.0,    14},
    {DeltaMethod_RGB,           0.5,      1.0,    2},
    {DeltaMethod_RGB,           2.0,      1.0,    2},
    {DeltaMethod_XYZ,           1.0,      1.0,    2},
    {DeltaMethod_LAB,           1.0,      1.0,    2},
    {DeltaMethod_CIEDE2000,     1.0,      1.0,    1},
    {DeltaMethod_CIEDE2000,     1.5,      1.0,    1},
    {DeltaMethod_Hit9918,       1.0,      1.0,    7},
    {DeltaMethod_Hit9918,       1.0,      2.5,    7},
    {DeltaMethod_Hit9918,       1.0,      0.0,    2},
    {DeltaMethod_Oklab,         1.0,      1.0,    2},
    {DeltaMethod_Count,         1.0,      1.0,    1}, // no such method: every distance 0
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Deltas, YJKAgainstReferenceTest, testing::ValuesIn(g_aoDeltaCases),
                         [](const testing::TestParamInfo<tdDeltaCase>& o)
                         {
                             std::string s = o.param.m_eMethod < DeltaMethod_Count
                                                 ? g_apszDeltaMethodNames[o.param.m_eMethod]
                                                 : std::string("None");
                             s += "_p" + std::to_string(static_cast<int>(o.param.m_fExponent * 10));
                             s += "_w" + std::to_string(static_cast<int>(o.param.m_fWeight * 10));
                             return s;
                         });

// ---------------------------------------------------------------------------------
// Screen 10 palette

namespace
{
Image* poPicture(int iWidth, int iHeight, uint32_t uiSeed)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    tdTestRandom oRandom{uiSeed};
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            Color o = {static_cast<unsigned char>(x * 255 / iWidth),
                       static_cast<unsigned char>(y * 255 / iHeight),
                       static_cast<unsigned char>(128 + 60 * ((x / 3 + y) % 3 - 1)), 255};
            if (oRandom.uiNext(9) == 0)
                o = {static_cast<unsigned char>(oRandom.uiNext(2) * 255),
                     static_cast<unsigned char>(oRandom.uiNext(2) * 255),
                     static_cast<unsigned char>(oRandom.uiNext(2) * 255), 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}
} // namespace

TEST(YJKPaletteTest, PictureThatYJKRendersExactlyLeavesTheHistogramEmpty)
{
    Image oWhite(24, 6, 3, Background_None, 1.0);
    const Color oWhiteColor = {255, 255, 255, 255};
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 24; x++)
            oWhite.vSetPixel(x, y, &oWhiteColor);
    Color aoSentinel[16];
    for (int i = 0; i < 16; i++)
        aoSentinel[i] = {static_cast<unsigned char>(i), 1, 2, 3};
    Palette oPalette(aoSentinel);
    oPalette.vLoadFromYJKImage(&oWhite, nullptr, RGB2YJK_AreaSearch, 1.0, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oPalette.m_uiColorCount, 0u);
    EXPECT_EQ(oPalette.m_uiUsedEntries, 0u);
    for (int i = 0; i < 512; i++)
        ASSERT_EQ(oPalette.m_aoOriginalEntries[i].fWeight, 0.0) << i;
    EXPECT_EQ(memcmp(oPalette.m_aoColors, aoSentinel, sizeof(aoSentinel)), 0);
    EXPECT_EQ(oPalette.m_fDetailsEnhancement, 1.0);
}

// Oracle for the histogram: the groups of the rectangle converted by the reference
// search, each pixel's distance to its decoded colour added to its level bin.
TEST(YJKPaletteTest, HistogramWeighsEachPixelByItsYJKError)
{
    std::unique_ptr<Image> poImage(poPicture(30, 9, 4));
    struct tdCase
    {
        bool m_bRect;
        tdRectangle m_oRect;
        double m_fPaletteExponent;
    };
    // The second rectangle starts at x 3 and reaches past the right edge (x 3..32
    // in groups from 3, 7, .. 31): the pixels beyond the picture read as black.
    const tdCase aoCases[] = {
        {false, {0, 0, 0, 0}, 1.0}, {true, {3, -2, 100, 5}, 1.0}, {true, {-1, 4, 14, 3}, 2.0}};
    for (const tdCase& oCase : aoCases)
    {
        double afExpected[512] = {};
        int x0 = 0, y0 = 0, iWidth = poImage->m_iWidth, iHeight = poImage->m_iHeight;
        if (oCase.m_bRect)
        {
            x0 = oCase.m_oRect.iX > 0 ? oCase.m_oRect.iX : 0;
            y0 = oCase.m_oRect.iY > 0 ? oCase.m_oRect.iY : 0;
            iWidth = std::min(oCase.m_oRect.iWidth, poImage->m_iWidth);
            iHeight = std::min(oCase.m_oRect.iHeight, poImage->m_iHeight);
        }
        for (int y = y0; y < y0 + iHeight; y++)
            for (int x = x0; x < x0 + iWidth; x += 4)
            {
                Color aoPixels[4];
                for (int p = 0; p < 4; p++)
                    aoPixels[p] = poImage->oGetPixel(x + p, y);
                unsigned char auc[4];
                Color aoColors[4];
                vRGB2YJKReference(aoPixels, auc, aoColors, RGB2YJK_AreaSearch, true, 1.0, DeltaMethod_LAB,
                                  1.0);
                for (int p = 0; p < 4; p++)
                {
                    double f = fColorDelta(&aoPixels[p], &aoColors[p], oCase.m_fPaletteExponent, 255.0,
                                           DeltaMethod_LAB, 1.0);
                    if (f == 0.0) continue;
                    afExpected[iLevelFromByte(aoPixels[p].r) * 64 + iLevelFromByte(aoPixels[p].g) * 8 +
                               iLevelFromByte(aoPixels[p].b)] += f;
                }
            }

        Palette oPalette(poImage.get(), oCase.m_bRect ? &oCase.m_oRect : nullptr, RGB2YJK_AreaSearch,
                         oCase.m_fPaletteExponent, 1.0, DeltaMethod_LAB, 1.0);
        int iUsed = 0;
        for (int i = 0; i < 512; i++)
        {
            ASSERT_EQ(oPalette.m_aoOriginalEntries[i].fWeight, afExpected[i]) << "bin " << i;
            ASSERT_EQ(oPalette.m_aoOriginalEntries[i].bUsed, afExpected[i] != 0.0 ? 1 : 0) << "bin " << i;
            iUsed += afExpected[i] != 0.0;
        }
        EXPECT_GT(iUsed, 16);
        EXPECT_EQ(oPalette.m_uiColorCount, 16u);
        for (int k = 0; k < 16; k++)
            for (unsigned char c :
                 {oPalette.m_aoColors[k].r, oPalette.m_aoColors[k].g, oPalette.m_aoColors[k].b})
                ASSERT_EQ(iByteFromLevel(iLevelFromByte(c)), c) << "colour " << k << " is not an MSX level";
    }
}

TEST(YJKPaletteTest, SpendsThePaletteOnColoursYJKCannotShow)
{
    // A soft grey-blue picture with isolated pure magenta and pure green pixels:
    // a group cannot hold both a grey and a saturated colour.
    Image oImage(64, 16, 3, Background_None, 1.0);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 64; x++)
        {
            Color o = {static_cast<unsigned char>(100 + x), static_cast<unsigned char>(110 + x),
                       static_cast<unsigned char>(140 + y), 255};
            if (x % 8 == 2 && y % 2 == 0) o = {255, 0, 255, 255};
            if (x % 8 == 5 && y % 2 == 1) o = {0, 255, 0, 255};
            oImage.vSetPixel(x, y, &o);
        }
    Palette oPalette;
    oPalette.vLoadFromYJKImage(&oImage, nullptr, RGB2YJK_AreaSearch, 1.0, 1.0, DeltaMethod_RGB, 1.0);
    bool bMagenta = false;
    bool bGreen = false;
    for (unsigned int k = 0; k < oPalette.m_uiColorCount; k++)
    {
        const Color& o = oPalette.m_aoColors[k];
        bMagenta |= o.r == 255 && o.g == 0 && o.b == 255;
        bGreen |= o.r == 0 && o.g == 255 && o.b == 0;
    }
    EXPECT_TRUE(bMagenta);
    EXPECT_TRUE(bGreen);
}
