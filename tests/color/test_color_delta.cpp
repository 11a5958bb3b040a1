// Colour distances against published values (the CIEDE2000 test data of Sharma,
// Wu and Dalal, 2005; sRGB primaries in Oklab and CIELAB) and against values
// worked out by hand from the definitions.

#include "qev/color/color_delta.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace
{
const Color g_oBlack = {0, 0, 0, 255};
const Color g_oWhite = {255, 255, 255, 255};

// Black against white, channel scale 255, exponent 1.
struct tdBlackWhiteCase
{
    tdDeltaMethod eMethod;
    double fWeight;
    double fExpected;
    double fTolerance;
};

class BlackWhiteTest : public ::testing::TestWithParam<tdBlackWhiteCase>
{
};

// The XYZ of sRGB white is the sum of each matrix row: (0.95047, 1.0000001, 1.08883).
// clang-format off
const tdBlackWhiteCase g_aoBlackWhiteCases[] = {
    //  method                  weight  expected                                   tolerance
    {DeltaMethod_RGB,           1.0,    3.0,                                       0.0},
    {DeltaMethod_Hit9918,       1.0,    4.0,                                       1e-12}, // 3 + 1 * 1^2
    {DeltaMethod_Hit9918,       2.0,    7.0,                                       1e-12}, // 3 + (2 * 1)^2
    {DeltaMethod_Hit9918,       0.0,    3.0,                                       0.0},
    {DeltaMethod_XYZ,           1.0,    0.95047 * 0.95047 + 1.0000001 * 1.0000001
                                        + 1.08883 * 1.08883,                        1e-12},
    {DeltaMethod_LAB,           1.0,    10000.001,                                 5e-4},
    {DeltaMethod_CIEDE2000,     1.0,    10000.0008,                                1e-4},
    {DeltaMethod_Oklab,         1.0,    1.0,                                       1e-6},
    {static_cast<tdDeltaMethod>(6), 1.0, 0.0,                                      0.0},
    {static_cast<tdDeltaMethod>(-1), 1.0, 0.0,                                     0.0},
};
// clang-format on

TEST_P(BlackWhiteTest, GivesTheWorkedDistance)
{
    const tdBlackWhiteCase& o = GetParam();
    double f = fColorDelta(&g_oBlack, &g_oWhite, 1.0, 255.0, o.eMethod, o.fWeight);
    EXPECT_NEAR(f, o.fExpected, o.fTolerance);
    EXPECT_EQ(f, fColorDelta(&g_oWhite, &g_oBlack, 1.0, 255.0, o.eMethod, o.fWeight));
}

INSTANTIATE_TEST_SUITE_P(ColorDelta, BlackWhiteTest, ::testing::ValuesIn(g_aoBlackWhiteCases));

TEST(ColorDeltaTest, ExponentIsAppliedToTheSquaredDistance)
{
    EXPECT_DOUBLE_EQ(fColorDelta(&g_oBlack, &g_oWhite, 0.5, 255.0, DeltaMethod_RGB, 1.0), sqrt(3.0));
    EXPECT_DOUBLE_EQ(fColorDelta(&g_oBlack, &g_oWhite, 2.0, 255.0, DeltaMethod_RGB, 1.0), 9.0);
    double fLab = fColorDelta(&g_oBlack, &g_oWhite, 1.0, 255.0, DeltaMethod_LAB, 1.0);
    EXPECT_EQ(fColorDelta(&g_oBlack, &g_oWhite, 1.5, 255.0, DeltaMethod_LAB, 1.0), pow(fLab, 1.5));
}

TEST(ColorDeltaTest, EqualColoursAreAtDistanceZeroForEveryMethodAndExponent)
{
    const Color aoColors[] = {{0, 0, 0, 0}, {255, 255, 255, 0}, {12, 200, 77, 9}, {255, 0, 128, 255}};
    for (const Color& o : aoColors)
        for (int iMethod = 0; iMethod < DeltaMethod_Count; iMethod++)
            for (double fExponent : {1.0, 0.5, 2.0, 0.25})
            {
                Color oOther = o;
                oOther.a = static_cast<unsigned char>(o.a ^ 0xFF); // alpha is not read
                EXPECT_EQ(
                    fColorDelta(&o, &oOther, fExponent, 255.0, static_cast<tdDeltaMethod>(iMethod), 1.7), 0.0)
                    << iMethod << " " << fExponent;
            }
}

TEST(ColorDeltaTest, Hit9918AddsTheWeightedBrightnessDifference)
{
    // Red's brightness is sqrt(0.299); against black: 1 + (w * sqrt(0.299))^2.
    const Color oRed = {255, 0, 0, 255};
    EXPECT_NEAR(fColorDelta(&oRed, &g_oBlack, 1.0, 255.0, DeltaMethod_Hit9918, 2.0), 1.0 + 4.0 * 0.299,
                1e-12);
    // Brightness uses the gamma-encoded values: grey 0.5 has brightness 0.5.
    const Color oGrey = {51, 51, 51, 255}; // 0.2 on each channel
    EXPECT_NEAR(fColorDelta(&oGrey, &g_oBlack, 1.0, 255.0, DeltaMethod_Hit9918, 3.0), 3 * 0.04 + 9.0 * 0.04,
                1e-12);
}

// sRGB primaries in Oklab, as published with the colour space, against black (L 0).
TEST(ColorDeltaTest, OklabMatchesPublishedPrimaries)
{
    struct
    {
        double r, g, b, L, A, B;
    } aoPrimaries[] = {
        {1, 0, 0, 0.627955, 0.224863, 0.125846},
        {0, 1, 0, 0.866440, -0.233888, 0.179498},
        {0, 0, 1, 0.452014, -0.032457, -0.311528},
    };
    for (const auto& o : aoPrimaries)
    {
        double fExpected = o.L * o.L + o.A * o.A + o.B * o.B;
        EXPECT_NEAR(oklab_distance(o.r, o.g, o.b, 0, 0, 0), fExpected, 1e-5);
    }
}

TEST(ColorDeltaTest, Rgb2LabUsesItsOwnWhitePoint)
{
    double fL, fA, fB;
    rgb2lab(1.0, 1.0, 1.0, &fL, &fA, &fB);
    EXPECT_NEAR(fL, 100.0, 1e-5);
    EXPECT_NEAR(fA, 0.0123, 5e-5);
    EXPECT_NEAR(fB, 0.0104, 5e-5);
    rgb2lab(0.0, 0.0, 0.0, &fL, &fA, &fB);
    EXPECT_EQ(fL, 0.0);
    EXPECT_EQ(fA, 0.0);
    EXPECT_EQ(fB, 0.0);
    // sRGB red is (53.24, 80.09, 67.20) under D65; this white point moves a and b
    // by a few hundredths at most.
    rgb2lab(1.0, 0.0, 0.0, &fL, &fA, &fB);
    EXPECT_NEAR(fL, 53.24, 0.01);
    EXPECT_NEAR(fA, 80.09, 0.05);
    EXPECT_NEAR(fB, 67.20, 0.05);
}

TEST(ColorDeltaTest, LabMethodIsCie76OfRgb2Lab)
{
    const Color o1 = {200, 30, 90, 0};
    const Color o2 = {10, 180, 240, 0};
    double fL1, fA1, fB1, fL2, fA2, fB2;
    rgb2lab(200 / 255.0, 30 / 255.0, 90 / 255.0, &fL1, &fA1, &fB1);
    rgb2lab(10 / 255.0, 180 / 255.0, 240 / 255.0, &fL2, &fA2, &fB2);
    double fExpected = (fL1 - fL2) * (fL1 - fL2) + (fA1 - fA2) * (fA1 - fA2) + (fB1 - fB2) * (fB1 - fB2);
    EXPECT_NEAR(fColorDelta(&o1, &o2, 1.0, 255.0, DeltaMethod_LAB, 1.0), fExpected, 1e-9 * fExpected);
}

TEST(ColorDeltaTest, CiedeMethodIsDeltaE00OfTheNormalisedChannels)
{
    const Color o1 = {200, 30, 90, 0};
    const Color o2 = {10, 180, 240, 0};
    double fInverse = 1.0 / 255.0;
    EXPECT_EQ(fColorDelta(&o1, &o2, 1.0, 255.0, DeltaMethod_CIEDE2000, 1.0),
              deltaE00_srgb(200 * fInverse, 30 * fInverse, 90 * fInverse, 10 * fInverse, 180 * fInverse,
                            240 * fInverse));
    EXPECT_EQ(fColorDelta(&o1, &o2, 1.0, 255.0, DeltaMethod_Oklab, 1.0),
              oklab_distance(200 * fInverse, 30 * fInverse, 90 * fInverse, 10 * fInverse, 180 * fInverse,
                             240 * fInverse));
}

// CIEDE2000 test data: Sharma, Wu, Dalal, "The CIEDE2000 color-difference formula:
// implementation notes, supplementary test data, and mathematical observations",
// Color Research and Application 30(1), 2005, table 1.
struct tdCiedeCase
{
    double fL1, fA1, fB1, fL2, fA2, fB2, fDeltaE;
};

class CiedeTest : public ::testing::TestWithParam<tdCiedeCase>
{
};

// clang-format off
const tdCiedeCase g_aoCiedeCases[] = {
    //  L1       a1        b1         L2       a2        b2        dE00
    {50.0000,  2.6772, -79.7751,  50.0000,  0.0000, -82.7485,  2.0425},
    {50.0000,  3.1571, -77.2803,  50.0000,  0.0000, -82.7485,  2.8615},
    {50.0000,  2.8361, -74.0200,  50.0000,  0.0000, -82.7485,  3.4412},
    {50.0000, -1.3802, -84.2814,  50.0000,  0.0000, -82.7485,  1.0000},
    {50.0000, -1.1848, -84.8006,  50.0000,  0.0000, -82.7485,  1.0000},
    {50.0000, -0.9009, -85.5211,  50.0000,  0.0000, -82.7485,  1.0000},
    {50.0000,  0.0000,   0.0000,  50.0000, -1.0000,   2.0000,  2.3669},
    {50.0000, -1.0000,   2.0000,  50.0000,  0.0000,   0.0000,  2.3669},
    {50.0000,  2.4900,  -0.0010,  50.0000, -2.4900,   0.0009,  7.1792},
    {50.0000,  2.4900,  -0.0010,  50.0000, -2.4900,   0.0010,  7.1792},
    {50.0000,  2.4900,  -0.0010,  50.0000, -2.4900,   0.0011,  7.2195},
    {50.0000,  2.4900,  -0.0010,  50.0000, -2.4900,   0.0012,  7.2195},
    {50.0000, -0.0010,   2.4900,  50.0000,  0.0009,  -2.4900,  4.8045},
    {50.0000, -0.0010,   2.4900,  50.0000,  0.0010,  -2.4900,  4.8045},
    {50.0000, -0.0010,   2.4900,  50.0000,  0.0011,  -2.4900,  4.7461},
    {50.0000,  2.5000,   0.0000,  50.0000,  0.0000,  -2.5000,  4.3065},
    {50.0000,  2.5000,   0.0000,  73.0000, 25.0000, -18.0000, 27.1492},
    {50.0000,  2.5000,   0.0000,  61.0000, -5.0000,  29.0000, 22.8977},
    {50.0000,  2.5000,   0.0000,  56.0000,-27.0000,  -3.0000, 31.9030},
    {50.0000,  2.5000,   0.0000,  58.0000, 24.0000,  15.0000, 19.4535},
    {50.0000,  2.5000,   0.0000,  50.0000,  3.1736,   0.5854,  1.0000},
    {50.0000,  2.5000,   0.0000,  50.0000,  3.2972,   0.0000,  1.0000},
    {50.0000,  2.5000,   0.0000,  50.0000,  1.8634,   0.5757,  1.0000},
    {50.0000,  2.5000,   0.0000,  50.0000,  3.2592,   0.3350,  1.0000},
    {60.2574,-34.0099,  36.2677,  60.4626,-34.1751,  39.4387,  1.2644},
    {63.0109,-31.0961,  -5.8663,  62.8187,-29.7946,  -4.0864,  1.2630},
    {61.2901,  3.7196,  -5.3901,  61.4292,  2.2480,  -4.9620,  1.8731},
    {35.0831,-44.1164,   3.7933,  35.0232,-40.0716,   1.5901,  1.8645},
    {22.7233, 20.0904, -46.6940,  23.0331, 14.9730, -42.5619,  2.0373},
    {36.4612, 47.8580,  18.3852,  36.2715, 50.5065,  21.2231,  1.4146},
    {90.8027, -2.0831,   1.4410,  91.1528, -1.6435,   0.0447,  1.4441},
    {90.9257, -0.5406,  -0.9208,  88.6381, -0.8985,  -0.7239,  1.5381},
    { 6.7747, -0.2908,  -2.4247,   5.8714, -0.0985,  -2.2286,  0.6377},
    { 2.0776,  0.0795,  -1.1350,   0.9033, -0.0636,  -0.5514,  0.9082},
};
// clang-format on

TEST_P(CiedeTest, MatchesThePublishedDifference)
{
    const tdCiedeCase& o = GetParam();
    double f = ciede2000(o.fL1, o.fA1, o.fB1, o.fL2, o.fA2, o.fB2);
    EXPECT_NEAR(sqrt(f), o.fDeltaE, 5e-5);
    EXPECT_NEAR(ciede2000(o.fL2, o.fA2, o.fB2, o.fL1, o.fA1, o.fB1), f, 1e-12 * (1.0 + f));
}

INSTANTIATE_TEST_SUITE_P(Sharma2005, CiedeTest, ::testing::ValuesIn(g_aoCiedeCases));

TEST(CiedeFormulaTest, FirstPublishedPairIsTheSquareOf2_0425)
{
    EXPECT_NEAR(ciede2000(50, 2.6772, -79.7751, 50, 0, -82.7485), 4.1716, 1e-4);
}

// Against a grey (chroma 0) there is no hue difference, so the result is the
// lightness and chroma terms alone, whatever the colour's hue.
TEST(CiedeFormulaTest, GreyAgainstAColourHasNoHueTerm)
{
    const double aafColours[][3] = {{60, 10, 10}, {40, -30, 5}, {55, 3, -70}, {50, -0.5, -0.5}};
    for (const auto& af : aafColours)
    {
        double fL1 = 45.0;
        double fC2 = hypot(af[1], af[2]);
        double fM = pow(fC2 / 2.0, 7.0);
        double fG = 1.5 - 0.5 * sqrt(fM / (fM + pow(25.0, 7.0)));
        double fC2Prime = hypot(af[1] * fG, af[2]);
        double fLBar = (fL1 + af[0]) / 2.0 - 50.0;
        double fSL = 1.0 + 0.015 * fLBar * fLBar / sqrt(20.0 + fLBar * fLBar);
        double fSC = 1.0 + 0.045 * fC2Prime / 2.0;
        double fExpected = pow((af[0] - fL1) / fSL, 2.0) + pow(fC2Prime / fSC, 2.0);
        EXPECT_NEAR(ciede2000(fL1, 0, 0, af[0], af[1], af[2]), fExpected, 1e-12 * fExpected);
        EXPECT_NEAR(ciede2000(af[0], af[1], af[2], fL1, 0, 0), fExpected, 1e-12 * fExpected);
    }
}

TEST(ColorDeltaTest, LevelScaleAcceptsLevelsZeroToSeven)
{
    for (int iLevel = 0; iLevel <= 7; iLevel++)
    {
        Color o = {static_cast<unsigned char>(iLevel), static_cast<unsigned char>(iLevel),
                   static_cast<unsigned char>(iLevel), 0};
        for (int iMethod = 0; iMethod < DeltaMethod_Count; iMethod++)
            EXPECT_TRUE(std::isfinite(
                fColorDelta(&o, &g_oBlack, 1.0, 7.0, static_cast<tdDeltaMethod>(iMethod), 1.0)));
    }
    const Color oTop = {7, 7, 7, 0};
    EXPECT_EQ(fColorDelta(&oTop, &g_oBlack, 1.0, 7.0, DeltaMethod_RGB, 1.0), 3.0);
    // Levels at scale 7 measure like their bytes at scale 255 only for 0 and 7.
    EXPECT_EQ(fColorDelta(&oTop, &g_oBlack, 1.0, 7.0, DeltaMethod_CIEDE2000, 1.0),
              fColorDelta(&g_oWhite, &g_oBlack, 1.0, 255.0, DeltaMethod_CIEDE2000, 1.0));
}

using ColorDeltaDeathTest = ::testing::Test;

// A channel beyond the scale is a programming error that stops the program with a
// message naming the cause.
TEST(ColorDeltaDeathTest, ChannelBeyondTheScaleStopsWithAMessage)
{
    const Color oEight = {0, 8, 0, 0};
    const Color oZero = {0, 0, 0, 0};
    EXPECT_DEATH(fColorDelta(&oZero, &oEight, 1.0, 7.0, DeltaMethod_RGB, 1.0), "beyond the channel scale");
    EXPECT_DEATH(fColorDelta(&oEight, &oZero, 1.0, 7.0, DeltaMethod_Oklab, 1.0), "beyond the channel scale");
}

TEST(NearestTest, LowestIndexWinsATie)
{
    const Color aoEntries[] = {{10, 10, 10, 0}, {10, 10, 10, 0}, {250, 250, 250, 0}};
    EXPECT_EQ(iNearest({12, 12, 12, 0}, aoEntries, 3, 255.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest({240, 240, 240, 0}, aoEntries, 3, 255.0, DeltaMethod_RGB, 1.0), 2);
    // One level below and one above (exactly equal distances at scale 7): the lower index.
    const Color aoPair[] = {{0, 0, 2, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(iNearest({0, 0, 1, 0}, aoPair, 2, 7.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest({0, 1, 0, 0}, aoPair, 2, 7.0, DeltaMethod_RGB, 1.0), 1);
}

TEST(NearestTest, EmptyArrayAndUnknownMethodGiveIndexZero)
{
    const Color aoEntries[] = {{200, 0, 0, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(iNearest({0, 0, 0, 0}, aoEntries, 0, 255.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest({0, 0, 0, 0}, aoEntries, 2, 255.0, static_cast<tdDeltaMethod>(9), 1.0), 0);
    EXPECT_EQ(iNearest({0, 0, 0, 0}, aoEntries, 2, 255.0, DeltaMethod_RGB, 1.0), 1);
}

TEST(NearestTest, MethodsDisagreeWhereTheyShould)
{
    // A dark blue and a dark green at the same RGB distance from black differ in
    // brightness, which Hit9918 with a large weight counts.
    const Color aoEntries[] = {{0, 60, 0, 0}, {0, 0, 60, 0}};
    EXPECT_EQ(iNearest({0, 0, 0, 0}, aoEntries, 2, 255.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest({0, 0, 0, 0}, aoEntries, 2, 255.0, DeltaMethod_Hit9918, 5.0), 1);
}
} // namespace
