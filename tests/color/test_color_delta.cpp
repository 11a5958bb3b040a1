// Colour distances. Oracles: published values (the CIEDE2000 test data of Sharma,
// Wu and Dalal, 2005; the sRGB-to-XYZ matrix and the linear value of sRGB 128 and
// 10; sRGB primaries in CIELAB and Oklab) and distances worked out by hand from the
// definitions of the methods (RGB, brightness-weighted RGB).

#include "qev/color/color_delta.h"
#include "qev/color/nearest_color.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
Color oGrey(int v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v), static_cast<unsigned char>(v), 0};
}

// Linear light of sRGB 128 and 10 (the second below the straight-line threshold),
// and the squared XYZ length of white: the sums of the sRGB-to-XYZ rows.
constexpr double g_fLin128 = 0.2158605, g_fLin10 = 0.0030352698, g_fWhiteXYZ = 3.0889442;

TEST(ColorDelta, WorkedDistancesAndNearest)
{
    const Color oBlack = oGrey(0), oWhite = oGrey(255), oRed = {255, 0, 0, 9}, oBlue = {0, 0, 255, 0};
    // clang-format off
    const struct { Color oColor; tdDeltaMethod eMethod; double fWeight, fExponent, fScale, fExpected, fTolerance; } aoRows[] = {
        {oWhite, DeltaMethod_RGB, 1.0, 1.0, 255.0, 3.0, 0.0},
        {oWhite, DeltaMethod_RGB, 1.0, 0.5, 255.0, sqrt(3.0), 1e-15},
        {oGrey(3), DeltaMethod_RGB, 1.0, 1.0, 7.0, 27.0 / 49.0, 1e-15}, // levels: 7 is full intensity
        {oWhite, DeltaMethod_Hit9918, 1.0, 1.0, 255.0, 4.0, 1e-12},     // 3 + (1 * 1)^2
        {oRed, DeltaMethod_Hit9918, 2.0, 1.0, 255.0, 1.0 + 4.0 * 0.299, 1e-12},
        {oBlue, DeltaMethod_Hit9918, 2.0, 1.0, 255.0, 1.0 + 4.0 * 0.114, 1e-12},
        {oGrey(51), DeltaMethod_Hit9918, 3.0, 1.0, 255.0, 3 * 0.04 + 9 * 0.04, 1e-12}, // brightness of the coded 0.2
        {oWhite, DeltaMethod_XYZ, 1.0, 1.0, 255.0, g_fWhiteXYZ, 1e-6},
        {oRed, DeltaMethod_XYZ, 1.0, 1.0, 255.0, 0.4124564 * 0.4124564 + 0.2126729 * 0.2126729 + 0.0193339 * 0.0193339, 1e-9},
        {oGrey(128), DeltaMethod_XYZ, 1.0, 1.0, 255.0, g_fLin128 * g_fLin128 * g_fWhiteXYZ, 1e-7},
        {oGrey(10), DeltaMethod_XYZ, 1.0, 1.0, 255.0, g_fLin10 * g_fLin10 * g_fWhiteXYZ, 1e-11},
        {oWhite, DeltaMethod_LAB, 1.0, 1.0, 255.0, 10000.001, 5e-4},
        {oRed, DeltaMethod_LAB, 1.0, 1.0, 255.0, 53.24 * 53.24 + 80.09 * 80.09 + 67.20 * 67.20, 10.0},
        {oWhite, DeltaMethod_CIEDE2000, 1.0, 1.0, 255.0, 10000.0008, 1e-4},
        {oGrey(7), DeltaMethod_CIEDE2000, 1.0, 1.0, 7.0, 10000.0008, 1e-4},
        {oWhite, DeltaMethod_Oklab, 1.0, 1.0, 255.0, 1.0, 1e-6},
        {oGrey(128), DeltaMethod_Oklab, 1.0, 1.0, 255.0, pow(g_fLin128, 2.0 / 3.0), 1e-6}, // L = cbrt(Y)
        {oRed, DeltaMethod_Oklab, 1.0, 1.0, 255.0, 0.627955 * 0.627955 + 0.224863 * 0.224863 + 0.125846 * 0.125846, 1e-5},
        {oBlue, DeltaMethod_Oklab, 1.0, 1.0, 255.0, 0.452014 * 0.452014 + 0.032457 * 0.032457 + 0.311528 * 0.311528, 1e-5},
        {oWhite, static_cast<tdDeltaMethod>(6), 1.0, 1.0, 255.0, 0.0, 0.0},
        {oWhite, static_cast<tdDeltaMethod>(-1), 1.0, 1.0, 255.0, 0.0, 0.0},
    };
    // clang-format on
    int iRow = 0;
    for (const auto& o : aoRows)
    {
        double f = fColorDelta(&oBlack, &o.oColor, o.fExponent, o.fScale, o.eMethod, o.fWeight);
        EXPECT_NEAR(f, o.fExpected, o.fTolerance) << "row " << iRow;
        EXPECT_EQ(f, fColorDelta(&o.oColor, &oBlack, o.fExponent, o.fScale, o.eMethod, o.fWeight)) << iRow++;
    }
    // iNearest: equal entries give the lower index, no entry 0. Dark green and dark blue
    // are as far from black in RGB; brightness tells them apart.
    const Color aoEntries[] = {{10, 10, 10, 0}, {10, 10, 10, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}};
    EXPECT_EQ(iNearest(oGrey(12), aoEntries, 4, 255.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest(oGrey(240), aoEntries + 2, 0, 255.0, DeltaMethod_RGB, 1.0), 0);
    EXPECT_EQ(iNearest(oGrey(0), aoEntries + 2, 2, 255.0, DeltaMethod_Hit9918, 5.0), 1);
}

// The white points: (0.9504, 1, 1.089) for rgb2lab, D65 (0.95047, 1, 1.08883) for
// the CIEDE2000 conversion; sRGB red is (53.24, 80.09, 67.20) under D65.
TEST(ColorDelta, LabConversionsUseTheirWhitePoints)
{
    // clang-format off
    const double aafRows[][8] = { // rgb2lab?, r, g, b, L, a, b, tolerance; NaN: not checked
        {1, 1.0, 1.0, 1.0, 100.0, 0.0123, 0.0104, 5e-5}, {0, 1.0, 1.0, 1.0, 100.0, 0.0, 0.0, 1e-4},
        {0, 1.0, 0.0, 0.0, 53.24, 80.09, 67.20, 0.01},   {0, g_fLin10 * 12.92, 0.0, 0.0, 903.2963 * 0.2126729 * g_fLin10, NAN, NAN, 1e-5}};
    // clang-format on
    for (const auto& af : aafRows)
    {
        double afLab[3];
        (af[0] != 0.0 ? rgb2lab : vRGBToLabB)(af[1], af[2], af[3], &afLab[0], &afLab[1], &afLab[2]);
        for (int c = 0; c < (std::isnan(af[5]) ? 1 : 3); c++)
            EXPECT_NEAR(afLab[c], af[4 + c], af[7]) << af[4] << " " << c;
    }
}

// Sharma, Wu, Dalal, Color Research and Application 30(1), 2005, table 1: chroma,
// grey, hue-wrap, large-difference and real-sample rows.
TEST(ColorDelta, CiedeMatchesThePublishedTestData)
{
    // clang-format off
    const double aafRows[][7] = { // L1, a1, b1, L2, a2, b2, dE00
        {50.0000,  2.6772, -79.7751, 50.0000,  0.0000, -82.7485,  2.0425}, {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
        {50.0000,  2.4900,  -0.0010, 50.0000, -2.4900,   0.0009,  7.1792}, {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
        {50.0000, -0.0010,   2.4900, 50.0000,  0.0011,  -2.4900,  4.7461}, {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
        {60.2574,-34.0099,  36.2677, 60.4626,-34.1751,  39.4387,  1.2644}, { 2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082}};
    // clang-format on
    for (const auto& af : aafRows)
    {
        double f = ciede2000(af[0], af[1], af[2], af[3], af[4], af[5]);
        EXPECT_NEAR(sqrt(f), af[6], 5e-5) << af[6];
        EXPECT_NEAR(ciede2000(af[3], af[4], af[5], af[0], af[1], af[2]), f, 1e-12 * (1.0 + f)) << af[6];
    }
}

// Points give fColorDelta's very doubles, both CIEDE2000 bounds stay below the
// distance, and NearestColor answers as iNearest and
// fColorDelta do, hits and misses of its tables alike. Rows: method, weight, channel scale, candidates.
TEST(ColorDelta, PointsAndNearestColorAsThePlainComputation)
{
#ifdef QEV_TEST_SANITIZED
    const std::vector<Color> aoColors = aoTieProneColors(300);
#else
    const std::vector<Color> aoColors = aoTieProneColors(2000);
#endif
    std::vector<Color> aoLevels; // the 512 colours on the level scale
    for (int i = 0; i < 512; i++)
        aoLevels.push_back({static_cast<unsigned char>(i >> 6), static_cast<unsigned char>(i >> 3 & 7),
                            static_cast<unsigned char>(i & 7), 0});
    // Candidate sets: ties on purpose (repeated colours, colours of the query set).
    const std::vector<Color> aoSixteen = {aoColors[0],   aoColors[511], aoColors[73],  aoColors[73],
                                          aoColors[600], aoColors[601], aoColors[146], aoColors[300],
                                          aoColors[301], aoColors[5],   aoColors[40],  aoColors[0],
                                          aoColors[900], aoColors[448], aoColors[7],   aoColors[56]};
    const std::vector<Color> aoPair = {aoColors[9], aoColors[9]};
    const std::vector<Color> aoMany(aoColors.begin() + 512, aoColors.begin() + 768);
    std::vector<Color> aoSomeLevels; // 256 of them, the most a NearestColor takes
    for (int i = 0; i < 512; i += 2)
        aoSomeLevels.push_back(aoLevels[static_cast<size_t>(i ^ (i >> 3 & 1))]);
    // clang-format off
    const struct { tdDeltaMethod eMethod; double fWeight, fScale; const std::vector<Color>* poCandidates; } aoRows[] = {
        {DeltaMethod_RGB, 1.0, 255.0, &aoSixteen},       {DeltaMethod_XYZ, 1.0, 255.0, &aoSixteen},
        {DeltaMethod_LAB, 1.0, 255.0, &aoSixteen},       {DeltaMethod_CIEDE2000, 1.0, 255.0, &aoSixteen},
        {DeltaMethod_Hit9918, 2.5, 255.0, &aoSixteen},   {DeltaMethod_Oklab, 1.0, 255.0, &aoSixteen},
        {DeltaMethod_CIEDE2000, 1.0, 255.0, &aoMany},    {DeltaMethod_Oklab, 1.0, 255.0, &aoPair},
        {DeltaMethod_CIEDE2000, 1.0, 255.0, &aoPair},    {DeltaMethod_Count, 1.0, 255.0, &aoSixteen},
        {DeltaMethod_CIEDE2000, 1.0, 7.0, &aoSomeLevels}, {DeltaMethod_LAB, 1.0, 7.0, &aoSomeLevels},
        {DeltaMethod_Hit9918, 0.5, 7.0, &aoSomeLevels},   {DeltaMethod_XYZ, 1.0, 7.0, &aoSomeLevels},
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        SCOPED_TRACE("row " + std::to_string(&o - aoRows));
        const std::vector<Color>& aoQueries = o.fScale == 7.0 ? aoLevels : aoColors;
        const std::vector<Color>& aoCandidates = *o.poCandidates;
        const unsigned int uiCount = static_cast<unsigned int>(aoCandidates.size());
        NearestColor oNearest(aoCandidates.data(), uiCount, o.fScale, o.eMethod, o.fWeight);
        int iMismatches = 0;
        for (int iPass = 0; iPass < 2; iPass++) // the second pass meets remembered answers
            for (size_t q = 0; q < aoQueries.size(); q += (o.fScale == 7.0 && iPass ? 7 : 1))
            {
                const Color oQuery = aoQueries[q];
                tdDeltaPoint oQueryPoint;
                vDeltaPoint(oQuery, o.fScale, o.eMethod, &oQueryPoint);
                // Every pair with the small sets, one in five with the large ones.
                for (unsigned int k = q % 5 * (uiCount > 16); k < uiCount && iPass == 0;
                     k += uiCount > 16 ? 5 : 1)
                {
                    const double fPlain =
                        fColorDelta(&oQuery, &aoCandidates[k], 1.0, o.fScale, o.eMethod, o.fWeight);
                    tdDeltaPoint oPoint;
                    vDeltaPoint(aoCandidates[k], o.fScale, o.eMethod, &oPoint);
                    const double fPoint = fPointDelta(oQueryPoint, oPoint, o.eMethod, o.fWeight);
                    iMismatches += memcmp(&fPlain, &fPoint, sizeof(double)) != 0;
                    if (o.eMethod == DeltaMethod_CIEDE2000)
                        iMismatches +=
                            !(fCIEDE2000LowerBound(oQueryPoint, oPoint) <= fPlain) +
                            !(fCIEDE2000QuickBound(oQueryPoint, oPoint) <= fPlain) +
                            !(fCIEDE2000TableBound(oCIEDE2000BoundTables(), oQueryPoint, oPoint) <= fPlain);
                    if (k < 16 && (q % 3 == 0 || uiCount <= 16))
                    {
                        const double fCached = oNearest.fDelta(oQuery, static_cast<int>(k));
                        iMismatches += memcmp(&fPlain, &fCached, sizeof(double)) != 0;
                    }
                }
                iMismatches += oNearest.iNearest(oQuery) !=
                               iNearest(oQuery, aoCandidates.data(), uiCount, o.fScale, o.eMethod, o.fWeight);
            }
        EXPECT_EQ(iMismatches, 0);
    }
    // The palette's table of the 512 level colours mirrors each distance: every
    // method must be symmetric to the last bit there.
    for (int iMethod = 0; iMethod < DeltaMethod_Count; iMethod++)
    {
        const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(iMethod);
        std::vector<tdDeltaPoint> aoPoints(512);
        for (int i = 0; i < 512; i++)
            vDeltaPoint(aoLevels[static_cast<size_t>(i)], 7.0, eMethod, &aoPoints[static_cast<size_t>(i)]);
        int iAsymmetric = 0;
        for (size_t i = 0; i < 512; i++)
            for (size_t j = 0; j < i; j++)
            {
                const double f1 = fPointDelta(aoPoints[i], aoPoints[j], eMethod, 1.7);
                const double f2 = fPointDelta(aoPoints[j], aoPoints[i], eMethod, 1.7);
                iAsymmetric += memcmp(&f1, &f2, sizeof(double)) != 0;
            }
        EXPECT_EQ(iAsymmetric, 0) << "method " << iMethod;
    }
}

TEST(ColorDeltaDeathTest, ChannelBeyondTheScaleStopsWithAMessage)
{
    const Color oBlue8 = {0, 0, 8, 0}, oZero = {0, 0, 0, 0}, oRed8 = {8, 0, 0, 0};
    EXPECT_DEATH(fColorDelta(&oZero, &oBlue8, 1.0, 7.0, DeltaMethod_RGB, 1.0), "beyond the channel scale");
    EXPECT_DEATH(fColorDelta(&oRed8, &oZero, 1.0, 7.0, DeltaMethod_Oklab, 1.0), "beyond the channel scale");
}
} // namespace
