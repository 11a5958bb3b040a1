// The two dithering mechanisms: the ordered dither a picture keeps
// (Image::vSetDitheringMode, read back through oGetPixel) and the error Diffuser of
// the encoders. Oracles: the classic Bayer index matrices typed in, offsets, shares
// and a small diffusion worked out by hand, and the save window of each column.

#include "qev/base/image.h"
#include "qev/color/diffuser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

namespace
{
const double g_fNaN = std::numeric_limits<double>::quiet_NaN();
const double g_fInf = std::numeric_limits<double>::infinity();

std::vector<int> aiMatrix(const Image& oImage, int iCount)
{
    if (!oImage.m_piBayerMatrix) return {};
    return std::vector<int>(oImage.m_piBayerMatrix, oImage.m_piBayerMatrix + iCount);
}

TEST(OrderedDither, OffsetsAreTheBayerIndicesTimesTheFactor)
{
    const struct
    {
        tdDitheringMode eMode;
        int iSide;
        const char* pszIndices; // row by row
    } aoModes[] = {
        {Dithering_Bayer2x2, 2, "0 2 3 1"},
        {Dithering_Bayer4x4, 4, "0 8 2 10 12 4 14 6 3 11 1 9 15 7 13 5"},
        {Dithering_Bayer8x8, 8,
         "0 32 8 40 2 34 10 42 48 16 56 24 50 18 58 26 12 44 4 36 14 46 6 38 60 28 52 20 62 30 54 22 "
         "3 35 11 43 1 33 9 41 51 19 59 27 49 17 57 25 15 47 7 39 13 45 5 37 63 31 55 23 61 29 53 21"},
    };
    for (const auto& oMode : aoModes)
        for (double fFactor : {0.1, 1.0, -0.3})
        {
            Image oImage(1.0);
            oImage.vSetDitheringMode(oMode.eMode, fFactor, 0.0, 1.0);
            std::istringstream oIndices(oMode.pszIndices);
            const int iCount = oMode.iSide * oMode.iSide;
            for (int i = 0, iIndex = 0; i < iCount && oIndices >> iIndex; i++)
                EXPECT_EQ(oImage.m_piBayerMatrix[i],
                          lround((iIndex / double(iCount) - 0.5) * fFactor * 255.0))
                    << oMode.iSide << " " << fFactor << " " << i;
        }
    // Halves away from zero (-127.5 and +-63.75 * 2), and non-finite products held
    // at +-256; the zero entry times infinity is NaN and gives 0.
    const std::pair<double, std::vector<int>> aoRows[] = {
        {0.1, {-13, 0, 6, -6}}, {1.0, {-128, 0, 64, -64}},      {2.0, {-255, 0, 128, -128}},
        {g_fNaN, {0, 0, 0, 0}}, {g_fInf, {-256, 0, 256, -256}}, {1e300, {-256, 0, 256, -256}},
    };
    for (const auto& o : aoRows)
    {
        Image oImage(1.0);
        oImage.vSetDitheringMode(Dithering_Bayer2x2, o.first, 0.0, 1.0);
        EXPECT_EQ(aiMatrix(oImage, 4), o.second) << o.first;
    }
}

TEST(OrderedDither, ThresholdsTruncateAndOtherModesKeepNoMatrix)
{
    // fraction, as low, as high: truncation toward zero, held to -1 and 256, NaN the full range.
    const double aafRows[][3] = {{0.3, 76, 76},  {0.5, 127, 127}, {1.0, 255, 255}, {-0.002, 0, 0},
                                 {-5.0, -1, -1}, {7.0, 256, 256}, {g_fNaN, 0, 255}};
    for (const auto& af : aafRows)
    {
        Image oImage(1.0);
        oImage.vSetDitheringMode(Dithering_Bayer2x2, 0.1, af[0], af[0]);
        EXPECT_EQ(oImage.m_iBayerLowThreshold, af[1]) << af[0];
        EXPECT_EQ(oImage.m_iBayerHighThreshold, af[2]) << af[0];
    }
    Image oImage(2, 2, 4, Background_Black, 1.0);
    const Color oColor = {75, 76, 200, 77};
    for (int i = 0; i < 4; i++)
        oImage.vSetPixel(i % 2, i / 2, &oColor);
    for (int iMode : {0, 1, 5, -1})
    {
        oImage.vSetDitheringMode(Dithering_Bayer8x8, 1.0, 0.0, 1.0); // freed again: the leak check sees it
        oImage.vSetDitheringMode(static_cast<tdDitheringMode>(iMode), 1.0, 0.0, 1.0);
        EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
        EXPECT_EQ(oImage.m_eDitheringMode, iMode);
        EXPECT_EQ(oImage.oGetPixel(0, 0).r, 75);
    }
    // Red 75 lies below the low threshold 0.3 (76), green on it, blue above 0.7 (178).
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 0.1, 0.3, 0.7);
    const int aiOffset[4] = {-13, 0, 6, -6};
    for (int i = 0; i < 4; i++)
    {
        Color o = oImage.oGetPixel(i % 2, i / 2);
        EXPECT_EQ(std::vector<int>({o.r, o.g, o.b, o.a}), std::vector<int>({75, 76 + aiOffset[i], 200, 77}));
    }
}

// ===========================================================================
// Diffuser

TEST(Diffuser, SharesFallWithDistanceAndSumToTheFactor)
{
    // a, f, right, below, diagonal: below = f / (1 + 1/a + 2/(a + 1)).
    const double aafRows[][5] = {
        {1.0, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
        {2.0, 1.0, 3.0 / 13, 6.0 / 13, 2.0 / 13},
        {0.5, 1.0, 6.0 / 13, 3.0 / 13, 2.0 / 13},
        {1.0, 0.0, 0.0, 0.0, 0.0},
        // ratios that are not finite and positive count as square pixels
        {0.0, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
        {-2.0, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
        {g_fNaN, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
        {g_fInf, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
    };
    for (const auto& af : aafRows)
    {
        Diffuser oDiffuser(8, 8, af[0], af[1]);
        EXPECT_DOUBLE_EQ(oDiffuser.m_fRightWeight, af[2]) << af[0];
        EXPECT_DOUBLE_EQ(oDiffuser.m_fBelowWeight, af[3]) << af[0];
        EXPECT_DOUBLE_EQ(oDiffuser.m_fDiagonalWeight, af[4]) << af[0];
        EXPECT_EQ(oDiffuser.m_bEnabled, af[1] != 0.0);
    }
    EXPECT_FALSE(Diffuser(4, 4, 1.0, -0.0).m_bEnabled);
    EXPECT_TRUE(Diffuser(4, 4, 1.0, g_fNaN).m_bEnabled);
}

Color oRGB(int iRed, int iGreen, int iBlue)
{
    return Color{static_cast<unsigned char>(iRed), static_cast<unsigned char>(iGreen),
                 static_cast<unsigned char>(iBlue), 255};
}

// Row-by-row diffusion of a 3 x 3 picture, every pixel (100, 50, 10); a = 1,
// f = 0.75: right 1/4, below 1/4, diagonals 1/8 each (all exact).
//   row 0, x=0: chosen (60, 90, 10): error (+40, -40, 0)
//          x=1: adjusted by (+10, -10) to (110, 40), chosen (100, 50): error (+10, -10)
//          x=2: waiting +-2.5 rounds away from zero: (103, 47), chosen (100, 50): (+3, -3)
//   row 1 waits red 40/4 + 10/8 = 11.25, 40/8 + 10/4 + 3/8 = 7.875, 10/8 + 3/4 = 2
//   (green the negative); the last pixel's right share waits beyond the edge, unread.
//   Rows 1 and 2 take the colours they ask for: row 2 waits nothing, the sums hold
//   row 0 only.
TEST(Diffuser, SmallPictureWorkedByHand)
{
    Diffuser oDiffuser(3, 3, 1.0, 0.75);
    const Color aoChosen[3] = {oRGB(60, 90, 10), oRGB(100, 50, 10), oRGB(100, 50, 10)};
    const int aaiAdjusted[3][3] = {{100, 110, 103}, {111, 108, 102}, {100, 100, 100}};
    for (int y = 0; y < 3; y++)
    {
        for (int x = 0; x <= 3; x++)
        {
            Color o = oRGB(100, 50, 10);
            oDiffuser.vAdjust(x, &o);
            EXPECT_EQ(o.r, x < 3 ? aaiAdjusted[y][x] : 100) << x << " " << y;
            EXPECT_EQ(o.g, x < 3 ? 150 - aaiAdjusted[y][x] : 50) << x << " " << y;
            EXPECT_EQ(o.b, 10);
            if (x < 3) oDiffuser.vDiffuse(x, &o, y == 0 ? &aoChosen[x] : &o);
        }
        oDiffuser.vNewLine();
    }
    EXPECT_EQ(oDiffuser.m_aulSquaredError[0], 1600u + 100u + 9u);
    EXPECT_EQ(oDiffuser.m_aulSquaredError[1], 1600u + 100u + 9u);
    tdErrorTriple oError = oDiffuser.oGetError();
    EXPECT_DOUBLE_EQ(oError.fRed, std::sqrt(1709.0 / 9.0));
    EXPECT_EQ(oError.fBlue, 0.0);
    // Factor 0: no pixel changes, the error still counts: sqrt((9 + 9) / 2) = 3.
    Diffuser oOff(2, 1, 1.0, 0.0);
    for (int x = 0; x < 2; x++)
    {
        Color o = oRGB(103, 40, 40), oChosen = oRGB(100, 40, 40);
        oOff.vDiffuse(x, &o, &oChosen);
        oOff.vAdjust(x + 1, &o);
        EXPECT_EQ(o.r, 103);
    }
    EXPECT_EQ(oOff.oGetError().fRed, 3.0);
}

TEST(Diffuser, EdgesClampsAndNonFiniteFactors)
{
    // +60 / -60 at column 0 sends 20 below (nothing to the left, nothing wraps to the
    // next row's end): clamped at 255 and 0, alpha kept.
    Diffuser oDiffuser(3, 2, 1.0, 1.0);
    Color oAdjusted = oRGB(255, 0, 128), oChosen = oRGB(195, 60, 128);
    oDiffuser.vDiffuse(0, &oAdjusted, &oChosen);
    oDiffuser.vDiffuse(3, &oAdjusted, &oChosen); // outside the picture: ignored
    oDiffuser.vDiffuse(-1, &oAdjusted, &oChosen);
    EXPECT_EQ(oDiffuser.m_aulSquaredError[0], 3600u);
    oDiffuser.vNewLine();
    Color o = {250, 5, 128, 17}, oLast = {100, 100, 100, 17};
    oDiffuser.vAdjust(0, &o);
    oDiffuser.vAdjust(2, &oLast);
    EXPECT_EQ(std::vector<int>({o.r, o.g, o.b, o.a, oLast.r}), std::vector<int>({255, 0, 128, 17, 100}));
    // NaN factor: on, but its NaN errors adjust nothing; infinite factor: +10 drives
    // the pixel below to 255, an error of 0 (infinity times 0) leaves it.
    for (double fFactor : {g_fNaN, g_fInf})
    {
        Diffuser oOdd(2, 2, 1.0, fFactor);
        Color oA = oRGB(100, 100, 100), oC = oRGB(100, 90, 100), oPixel = oRGB(50, 50, 50);
        oOdd.vDiffuse(0, &oA, &oC);
        oOdd.vNewLine();
        oOdd.vAdjust(0, &oPixel);
        EXPECT_EQ(oPixel.r, 50);
        EXPECT_EQ(oPixel.g, std::isnan(fFactor) ? 50 : 255);
    }
    for (auto ai : {std::pair<int, int>{0, 5}, {5, 0}, {-3, 4}}) // no pixels: the zero triple
        EXPECT_EQ(Diffuser(ai.first, ai.second, 1.0, 0.8).oGetError().fRed, 0.0);
    oDiffuser.vReset();
    for (int i = 0; i < 4 * 3; i++)
        EXPECT_EQ(oDiffuser.m_pafCurrentRow[i] + oDiffuser.m_pafNextRow[i], 0.0);
    EXPECT_EQ(oDiffuser.m_aulSquaredError[0], 0u);
}

// vRestore gives back exactly columns x - 1 .. x + 8 of both rows, cut to the
// picture, and the sums.
TEST(Diffuser, RestoreGivesBackTheWindowOfTheGroup)
{
    // width, x, first and last column restored (last -1: none)
    const int aaiRows[][4] = {{256, 0, 0, 8},   {10, 5, 4, 9},   {20, 8, 7, 16},
                              {20, 11, 10, 19}, {4, 0, 0, 3},    {20, -3, 0, 5},
                              {20, -9, 0, -1},  {20, 21, 0, -1}, {20, 20, 19, 19}};
    for (const auto& ai : aaiRows)
    {
        Diffuser oDiffuser(ai[0], 2, 1.0, 0.8);
        const int iSlots = (ai[0] + 1) * 3;
        for (int i = 0; i < iSlots; i++)
            oDiffuser.m_pafCurrentRow[i] = 1000 + i, oDiffuser.m_pafNextRow[i] = 2000 + i;
        oDiffuser.m_aulSquaredError[2] = 5;
        oDiffuser.vSave(ai[1]);
        for (int i = 0; i < iSlots; i++)
            oDiffuser.m_pafCurrentRow[i] = -1, oDiffuser.m_pafNextRow[i] = -2;
        Color oAdjusted = oRGB(0, 0, 9), oChosen = oRGB(0, 0, 0);
        oDiffuser.vDiffuse(0, &oAdjusted, &oChosen);
        oDiffuser.vRestore(ai[1]);
        EXPECT_EQ(oDiffuser.m_aulSquaredError[2], 5u);
        for (int i = 0; i < iSlots; i++)
        {
            bool bIn = i / 3 >= ai[2] && i / 3 <= ai[3];
            EXPECT_EQ(oDiffuser.m_pafCurrentRow[i],
                      bIn ? 1000 + i : (i < 6 ? oDiffuser.m_pafCurrentRow[i] : -1))
                << ai[0] << " " << ai[1] << " " << i;
            EXPECT_EQ(oDiffuser.m_pafNextRow[i], bIn ? 2000 + i : (i < 6 ? oDiffuser.m_pafNextRow[i] : -2))
                << ai[0] << " " << ai[1] << " " << i;
        }
    }
}
} // namespace
