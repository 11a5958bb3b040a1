// Tests of the two dithering mechanisms: the ordered dither a picture keeps
// (Image::vSetDitheringMode, read back through oGetPixel) and the error Diffuser of
// the encoders. Oracles: offsets and weights worked out by hand, Bayer matrices built
// here by the recursive construction, error propagation on small pictures computed
// by hand, and snapshots of the diffusion state around vSave/vRestore.

#include "qev/base/image.h"
#include "qev/color/diffuser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace
{

// ===========================================================================
// Ordered dither

std::vector<int> aiMatrix(const Image& oImage, int iCount)
{
    if (!oImage.m_piBayerMatrix) return std::vector<int>();
    return std::vector<int>(oImage.m_piBayerMatrix, oImage.m_piBayerMatrix + iCount);
}

// The Bayer index matrix of side n (a power of two), row by row, by the recursive
// construction M(2m) = [4M + 0, 4M + 2; 4M + 3, 4M + 1].
std::vector<int> aiBayerIndices(int iSide)
{
    std::vector<int> ai = {0};
    for (int iM = 1; iM < iSide; iM *= 2)
    {
        static const int aiQuadrant[2][2] = {{0, 2}, {3, 1}};
        std::vector<int> aiNext(static_cast<size_t>(4 * iM * iM));
        for (int iY = 0; iY < 2 * iM; iY++)
            for (int iX = 0; iX < 2 * iM; iX++)
                aiNext[static_cast<size_t>(iX + iY * 2 * iM)] =
                    4 * ai[static_cast<size_t>(iX % iM + (iY % iM) * iM)] + aiQuadrant[iY / iM][iX / iM];
        ai = aiNext;
    }
    return ai;
}

TEST(OrderedDither, Bayer2x2WorkedOffsets)
{
    Image oImage(1.0);
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 0.1, 0.0, 1.0);
    // -0.5, 0, 0.25, -0.25 times 25.5: -12.75, 0, 6.375, -6.375.
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({-13, 0, 6, -6}));
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 1.0, 0.0, 1.0);
    // times 255: -127.5 (half away from zero), 0, 63.75, -63.75.
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({-128, 0, 64, -64}));
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 2.0, 0.0, 1.0);
    // times 510: -255, 0, and the exact halves 127.5 and -127.5, both away from zero.
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({-255, 0, 128, -128}));
}

TEST(OrderedDither, MatricesFollowTheRecursiveBayerConstruction)
{
    const std::vector<int> aiIndices4 = aiBayerIndices(4);
    EXPECT_EQ(aiIndices4, std::vector<int>({0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5}));
    const struct
    {
        tdDitheringMode m_eMode;
        int m_iSide;
    } aoModes[] = {{Dithering_Bayer2x2, 2}, {Dithering_Bayer4x4, 4}, {Dithering_Bayer8x8, 8}};
    for (const auto& oMode : aoModes)
    {
        const std::vector<int> aiIndices = aiBayerIndices(oMode.m_iSide);
        const int iCount = oMode.m_iSide * oMode.m_iSide;
        for (double fFactor : {0.1, 0.25, 0.5, 1.0, -0.3})
        {
            Image oImage(1.0);
            oImage.vSetDitheringMode(oMode.m_eMode, fFactor, 0.0, 1.0);
            ASSERT_NE(oImage.m_piBayerMatrix, nullptr);
            for (int i = 0; i < iCount; i++)
            {
                double fEntry = aiIndices[static_cast<size_t>(i)] / static_cast<double>(iCount) - 0.5;
                EXPECT_EQ(oImage.m_piBayerMatrix[i], static_cast<int>(std::round(fEntry * fFactor * 255.0)))
                    << "side " << oMode.m_iSide << " factor " << fFactor << " entry " << i;
            }
        }
    }
}

TEST(OrderedDither, ThresholdsTruncateToChannelValues)
{
    // clang-format off
    const struct { double m_fFraction; int m_iLow; int m_iHigh; } aoCases[] = {
        // fraction,  as low, as high
        {0.0,          0,      0},
        {0.3,         76,     76},   // 76.5
        {0.5,        127,    127},   // 127.5
        {1.0,        255,    255},
        {-0.002,       0,      0},   // -0.51 truncates toward zero
        {-5.0,        -1,     -1},   // held just below the channel range
        {7.0,        256,    256},   // held just above it
        {std::numeric_limits<double>::quiet_NaN(), 0, 255}, // NaN: the full range
    };
    // clang-format on
    for (const auto& oCase : aoCases)
    {
        Image oImage(1.0);
        oImage.vSetDitheringMode(Dithering_Bayer2x2, 0.1, oCase.m_fFraction, oCase.m_fFraction);
        EXPECT_EQ(oImage.m_iBayerLowThreshold, oCase.m_iLow) << oCase.m_fFraction;
        EXPECT_EQ(oImage.m_iBayerHighThreshold, oCase.m_iHigh) << oCase.m_fFraction;
    }
}

TEST(OrderedDither, ModesWithoutMatrixLeavePixelsUnchanged)
{
    Image oImage(2, 2, 3, Background_Black, 1.0);
    const Color oGrey = {100, 150, 200, 255};
    for (int iY = 0; iY < 2; iY++)
        for (int iX = 0; iX < 2; iX++)
            oImage.vSetPixel(iX, iY, &oGrey);
    for (int iMode : {0, 1, 5, -1})
    {
        // A matrix from before must go (the leak check of the sanitizer build sees it).
        oImage.vSetDitheringMode(Dithering_Bayer8x8, 1.0, 0.0, 1.0);
        ASSERT_NE(oImage.m_piBayerMatrix, nullptr);
        oImage.vSetDitheringMode(static_cast<tdDitheringMode>(iMode), 1.0, 0.0, 1.0);
        EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
        EXPECT_EQ(oImage.m_eDitheringMode, iMode);
        for (int iY = 0; iY < 2; iY++)
            for (int iX = 0; iX < 2; iX++)
            {
                Color o = oImage.oGetPixel(iX, iY);
                EXPECT_EQ(o.r, 100);
                EXPECT_EQ(o.g, 150);
                EXPECT_EQ(o.b, 200);
            }
    }
}

TEST(OrderedDither, ReadsAddTheOffsetOfTheirPositionWithinTheThresholds)
{
    Image oImage(4, 4, 4, Background_Black, 1.0);
    // Red 75 lies below the low threshold 0.3 (76), green 76 on it, blue 200 above
    // the high threshold 0.7 (178); alpha never changes.
    const Color oColor = {75, 76, 200, 77};
    for (int iY = 0; iY < 4; iY++)
        for (int iX = 0; iX < 4; iX++)
            oImage.vSetPixel(iX, iY, &oColor);
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 0.1, 0.3, 0.7);
    // Offsets by (x mod 2, y mod 2): (0,0) -13, (1,0) 0, (0,1) 6, (1,1) -6.
    const int aiOffset[2][2] = {{-13, 0}, {6, -6}};
    for (int iY = 0; iY < 4; iY++)
        for (int iX = 0; iX < 4; iX++)
        {
            Color o = oImage.oGetPixel(iX, iY);
            EXPECT_EQ(o.r, 75);
            EXPECT_EQ(o.g, 76 + aiOffset[iY % 2][iX % 2]);
            EXPECT_EQ(o.b, 200);
            EXPECT_EQ(o.a, 77);
        }
}

TEST(OrderedDither, NonFiniteFactorsGiveDefinedOffsets)
{
    Image oImage(1.0);
    oImage.vSetDitheringMode(Dithering_Bayer2x2, std::numeric_limits<double>::quiet_NaN(), 0.0, 1.0);
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({0, 0, 0, 0}));
    // Infinite products are held at +-256, which drives any channel to 0 or 255; the
    // zero entry times infinity is NaN and gives 0.
    oImage.vSetDitheringMode(Dithering_Bayer2x2, std::numeric_limits<double>::infinity(), 0.0, 1.0);
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({-256, 0, 256, -256}));
    oImage.vSetDitheringMode(Dithering_Bayer2x2, 1e300, 0.0, 1.0);
    EXPECT_EQ(aiMatrix(oImage, 4), std::vector<int>({-256, 0, 256, -256}));
}

// ===========================================================================
// Diffuser

struct tdWeightCase
{
    double m_fAspectRatio;
    double m_fFactor;
    double m_fRight;
    double m_fBelow;
    double m_fDiagonal;
};

TEST(DiffuserWeights, SharesFallWithDistance)
{
    const double fNaN = std::numeric_limits<double>::quiet_NaN();
    const double fInf = std::numeric_limits<double>::infinity();
    // Below = f / (1 + 1/a + 2/(a + 1)), right = below / a, diagonal = below / (a + 1).
    // clang-format off
    const tdWeightCase aoCases[] = {
        // a,     f,    right,       below,       diagonal
        {1.0,    0.8,   4.0 / 15,    4.0 / 15,    2.0 / 15},  // square pixels: f/3, f/3, f/6
        {1.0,    1.0,   1.0 / 3,     1.0 / 3,     1.0 / 6},
        {2.0,    1.0,   3.0 / 13,    6.0 / 13,    2.0 / 13},  // 1 + 1/2 + 2/3 = 13/6
        {0.5,    1.0,   6.0 / 13,    3.0 / 13,    2.0 / 13},  // 1 + 2 + 4/3 = 13/3
        {1.0,    0.0,   0.0,         0.0,         0.0},
        // ratios that are not finite and positive count as square pixels
        {0.0,    0.8,   4.0 / 15,    4.0 / 15,    2.0 / 15},
        {-2.0,   0.8,   4.0 / 15,    4.0 / 15,    2.0 / 15},
        {fNaN,   0.8,   4.0 / 15,    4.0 / 15,    2.0 / 15},
        {fInf,   0.8,   4.0 / 15,    4.0 / 15,    2.0 / 15},
    };
    // clang-format on
    for (const tdWeightCase& oCase : aoCases)
    {
        Diffuser oDiffuser(8, 8, oCase.m_fAspectRatio, oCase.m_fFactor);
        EXPECT_DOUBLE_EQ(oDiffuser.m_fRightWeight, oCase.m_fRight) << oCase.m_fAspectRatio;
        EXPECT_DOUBLE_EQ(oDiffuser.m_fBelowWeight, oCase.m_fBelow) << oCase.m_fAspectRatio;
        EXPECT_DOUBLE_EQ(oDiffuser.m_fDiagonalWeight, oCase.m_fDiagonal) << oCase.m_fAspectRatio;
    }
}

TEST(DiffuserWeights, FourSharesSumToTheFactor)
{
    for (double fA : {0.25, 0.75, 1.0, 1.1428, 1.5, 4.0, 1e-3, 1e3})
        for (double fFactor : {0.1, 0.8, 1.0, -0.5})
        {
            Diffuser oDiffuser(4, 4, fA, fFactor);
            double fSum =
                oDiffuser.m_fRightWeight + oDiffuser.m_fBelowWeight + 2 * oDiffuser.m_fDiagonalWeight;
            EXPECT_NEAR(fSum, fFactor, 1e-12) << fA << " " << fFactor;
        }
}

TEST(DiffuserWeights, EnabledWhenTheFactorIsNotZero)
{
    EXPECT_FALSE(Diffuser(4, 4, 1.0, 0.0).m_bEnabled);
    EXPECT_FALSE(Diffuser(4, 4, 1.0, -0.0).m_bEnabled);
    EXPECT_TRUE(Diffuser(4, 4, 1.0, 0.8).m_bEnabled);
    EXPECT_TRUE(Diffuser(4, 4, 1.0, -0.1).m_bEnabled);
    EXPECT_TRUE(Diffuser(4, 4, 1.0, std::numeric_limits<double>::quiet_NaN()).m_bEnabled);
}

Color oRGB(int iRed, int iGreen, int iBlue)
{
    return Color{static_cast<unsigned char>(iRed), static_cast<unsigned char>(iGreen),
                 static_cast<unsigned char>(iBlue), 255};
}

// Waiting error of column iX, channel iChannel.
double fCurrent(const Diffuser& o, int iX, int iChannel)
{
    return o.m_pafCurrentRow[iX * 3 + iChannel];
}
double fNext(const Diffuser& o, int iX, int iChannel)
{
    return o.m_pafNextRow[iX * 3 + iChannel];
}

TEST(DiffuserPropagation, ThreeByTwoPictureByHand)
{
    // a = 1, f = 0.75: right 1/4, below 1/4, diagonals 1/8 each (all exact).
    Diffuser oDiffuser(3, 2, 1.0, 0.75);
    ASSERT_DOUBLE_EQ(oDiffuser.m_fRightWeight, 0.25);
    ASSERT_DOUBLE_EQ(oDiffuser.m_fBelowWeight, 0.25);
    ASSERT_DOUBLE_EQ(oDiffuser.m_fDiagonalWeight, 0.125);

    // Row 0: every pixel red 100, green 50, blue 10; chosen colours below.
    //   x=0: adjusted (100, 50, 10), chosen (60, 90, 10): error (+40, -40, 0)
    //   x=1: waiting (+10, -10): adjusted (110, 40), chosen (100, 50): error (+10, -10)
    //   x=2: waiting (+2.5, -2.5) rounds half away from zero: adjusted (103, 47),
    //        chosen (100, 50): error (+3, -3)
    const Color aoChosen[3] = {oRGB(60, 90, 10), oRGB(100, 50, 10), oRGB(100, 50, 10)};
    const Color aoAdjusted[3] = {oRGB(100, 50, 10), oRGB(110, 40, 10), oRGB(103, 47, 10)};
    for (int iX = 0; iX < 3; iX++)
    {
        Color o = oRGB(100, 50, 10);
        oDiffuser.vAdjust(iX, &o);
        EXPECT_EQ(o.r, aoAdjusted[iX].r) << iX;
        EXPECT_EQ(o.g, aoAdjusted[iX].g) << iX;
        EXPECT_EQ(o.b, aoAdjusted[iX].b) << iX;
        oDiffuser.vDiffuse(iX, &o, &aoChosen[iX]);
    }
    // Next row, red (green the negative):
    //   col 0: 40/4 + 10/8          = 11.25
    //   col 1: 40/8 + 10/4 + 3/8    = 7.875
    //   col 2: 10/8 + 3/4           = 2.0
    //   col 3 (beyond the picture): 3/8, and the current row's col 3 holds 3/4.
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 0, 0), 11.25);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 1, 0), 7.875);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 2, 0), 2.0);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 3, 0), 0.375);
    EXPECT_DOUBLE_EQ(fCurrent(oDiffuser, 3, 0), 0.75);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 0, 1), -11.25);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 1, 1), -7.875);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 2, 1), -2.0);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 0, 2), 0.0);

    oDiffuser.vNewLine();
    EXPECT_DOUBLE_EQ(fCurrent(oDiffuser, 0, 0), 11.25);
    for (int iX = 0; iX <= 3; iX++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(fNext(oDiffuser, iX, c), 0.0);

    // Row 1 adjusts by 11, 8, 2 (red) and -11, -8, -2 (green); each pixel gets the
    // colour it asks for, so the sums hold row 0 only.
    const int aiShift[3] = {11, 8, 2};
    for (int iX = 0; iX < 3; iX++)
    {
        Color o = oRGB(100, 50, 10);
        oDiffuser.vAdjust(iX, &o);
        EXPECT_EQ(o.r, 100 + aiShift[iX]) << iX;
        EXPECT_EQ(o.g, 50 - aiShift[iX]) << iX;
        EXPECT_EQ(o.b, 10) << iX;
        oDiffuser.vDiffuse(iX, &o, &o);
    }
    oDiffuser.vNewLine();
    EXPECT_EQ(oDiffuser.m_aulSquaredError[0], 1600u + 100u + 9u);
    EXPECT_EQ(oDiffuser.m_aulSquaredError[1], 1600u + 100u + 9u);
    EXPECT_EQ(oDiffuser.m_aulSquaredError[2], 0u);
    tdErrorTriple oError = oDiffuser.oGetError();
    EXPECT_DOUBLE_EQ(oError.fRed, std::sqrt(1709.0 / 6.0));
    EXPECT_DOUBLE_EQ(oError.fGreen, std::sqrt(1709.0 / 6.0));
    EXPECT_EQ(oError.fBlue, 0.0);
}

TEST(DiffuserPropagation, AdjustClampsAndKeepsAlpha)
{
    Diffuser oDiffuser(2, 2, 1.0, 1.0);
    // Column 0 of the next row gets below = 1/3 of the error: +60 and -60 give +-20.
    Color oAdjusted = oRGB(255, 0, 128);
    Color oChosen = oRGB(195, 60, 128);
    oDiffuser.vDiffuse(0, &oAdjusted, &oChosen);
    oDiffuser.vNewLine();
    Color o = {250, 5, 128, 17};
    oDiffuser.vAdjust(0, &o);
    EXPECT_EQ(o.r, 255);
    EXPECT_EQ(o.g, 0);
    EXPECT_EQ(o.b, 128);
    EXPECT_EQ(o.a, 17);
}

TEST(DiffuserPropagation, EdgesLoseTheirOutwardShares)
{
    const int iWidth = 4;
    Diffuser oDiffuser(iWidth, 3, 1.0, 0.75);
    // +10 red at column 0: nothing to the left.
    Color oAdjusted = oRGB(110, 0, 0);
    Color oChosen = oRGB(100, 0, 0);
    oDiffuser.vDiffuse(0, &oAdjusted, &oChosen);
    EXPECT_DOUBLE_EQ(fCurrent(oDiffuser, 1, 0), 2.5);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 0, 0), 2.5);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, 1, 0), 1.25);
    for (int iX = 2; iX <= iWidth; iX++)
        EXPECT_EQ(fNext(oDiffuser, iX, 0), 0.0) << iX;
    oDiffuser.vNewLine();

    // +10 red at the last column: the right and lower-right shares land in the slot
    // beyond the picture and never come back.
    oDiffuser.vDiffuse(iWidth - 1, &oAdjusted, &oChosen);
    EXPECT_DOUBLE_EQ(fCurrent(oDiffuser, iWidth, 0), 2.5);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, iWidth, 0), 1.25);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, iWidth - 1, 0), 2.5);
    EXPECT_DOUBLE_EQ(fNext(oDiffuser, iWidth - 2, 0), 1.25);
    oDiffuser.vNewLine();
    Color o = oRGB(100, 100, 100);
    oDiffuser.vAdjust(0, &o);
    EXPECT_EQ(o.r, 100); // the first pixel of a row sees nothing of the last one's shares
}

TEST(DiffuserPropagation, ColumnsOutsideThePictureAreIgnored)
{
    Diffuser oDiffuser(3, 1, 1.0, 1.0);
    Color oAdjusted = oRGB(200, 200, 200);
    Color oChosen = oRGB(0, 0, 0);
    oDiffuser.vDiffuse(-1, &oAdjusted, &oChosen);
    oDiffuser.vDiffuse(3, &oAdjusted, &oChosen);
    oDiffuser.vDiffuse(1 << 30, &oAdjusted, &oChosen);
    for (int c = 0; c < 3; c++)
        EXPECT_EQ(oDiffuser.m_aulSquaredError[c], 0u);
    oDiffuser.vDiffuse(2, &oAdjusted, &oChosen);
    Color o = oRGB(10, 10, 10);
    oDiffuser.vAdjust(3, &o);
    oDiffuser.vAdjust(-5, &o);
    EXPECT_EQ(o.r, 10);
}

TEST(DiffuserPropagation, NonFiniteFactorsKeepAdjustDefined)
{
    // NaN factor: diffusion counts as on, the NaN errors it spreads adjust nothing.
    Diffuser oNaN(2, 2, 1.0, std::numeric_limits<double>::quiet_NaN());
    Color oAdjusted = oRGB(100, 100, 100);
    Color oChosen = oRGB(90, 90, 90);
    oNaN.vDiffuse(0, &oAdjusted, &oChosen);
    oNaN.vNewLine();
    Color o = oRGB(50, 50, 50);
    oNaN.vAdjust(0, &o);
    EXPECT_EQ(o.r, 50);

    // Infinite factor: an error of +10 drives the pixel below to 255, an error of 0
    // (infinity times 0 is NaN) leaves it.
    Diffuser oInf(2, 2, 1.0, std::numeric_limits<double>::infinity());
    Color oHalf = oRGB(100, 90, 100);
    oInf.vDiffuse(0, &oAdjusted, &oHalf);
    oInf.vNewLine();
    o = oRGB(50, 50, 50);
    oInf.vAdjust(0, &o);
    EXPECT_EQ(o.r, 50);
    EXPECT_EQ(o.g, 255);
}

// ---------------------------------------------------------------------------
// The error triple

TEST(DiffuserError, FactorZeroChangesNoPixelButCountsTheError)
{
    // 2 x 1 picture, both pixels miss their colour by 3 in red: sqrt((9 + 9) / 2) = 3.
    Diffuser oDiffuser(2, 1, 1.0, 0.0);
    for (int iX = 0; iX < 2; iX++)
    {
        Color o = oRGB(103, 40, 40);
        oDiffuser.vAdjust(iX, &o);
        EXPECT_EQ(o.r, 103);
        Color oChosen = oRGB(100, 40, 40);
        oDiffuser.vDiffuse(iX, &o, &oChosen);
        Color oNext = oRGB(103, 40, 40);
        oDiffuser.vAdjust(iX + 1, &oNext);
        EXPECT_EQ(oNext.r, 103);
    }
    oDiffuser.vNewLine();
    tdErrorTriple oError = oDiffuser.oGetError();
    EXPECT_EQ(oError.fRed, 3.0);
    EXPECT_EQ(oError.fGreen, 0.0);
    EXPECT_EQ(oError.fBlue, 0.0);
}

TEST(DiffuserError, RootMeanSquareOverEveryPixel)
{
    // 2 x 2, red errors 1, -2, 3, -4 (sum of squares 30), green 5 once, blue -255 once.
    Diffuser oDiffuser(2, 2, 1.0, 0.0);
    const int aiRed[4] = {1, -2, 3, -4};
    for (int i = 0; i < 4; i++)
    {
        Color oAdjusted = oRGB(128 + aiRed[i], i == 1 ? 5 : 0, i == 2 ? 0 : 255);
        Color oChosen = oRGB(128, 0, 255);
        oDiffuser.vDiffuse(i % 2, &oAdjusted, &oChosen);
        if (i % 2) oDiffuser.vNewLine();
    }
    tdErrorTriple oError = oDiffuser.oGetError();
    EXPECT_DOUBLE_EQ(oError.fRed, std::sqrt(30.0 / 4));
    EXPECT_DOUBLE_EQ(oError.fGreen, std::sqrt(25.0 / 4));
    EXPECT_DOUBLE_EQ(oError.fBlue, std::sqrt(65025.0 / 4));
}

TEST(DiffuserError, EmptyPictureGivesZeroTriple)
{
    for (auto aiSize : {std::pair<int, int>{0, 0}, {0, 5}, {5, 0}, {-3, 4}, {4, -3}})
    {
        Diffuser oDiffuser(aiSize.first, aiSize.second, 1.0, 0.8);
        Color o = oRGB(1, 2, 3);
        Color oChosen = oRGB(0, 0, 0);
        oDiffuser.vAdjust(0, &o);
        oDiffuser.vDiffuse(0, &o, &oChosen);
        oDiffuser.vSave(0);
        oDiffuser.vRestore(0);
        oDiffuser.vNewLine();
        tdErrorTriple oError = oDiffuser.oGetError();
        EXPECT_EQ(oError.fRed, 0.0);
        EXPECT_EQ(oError.fGreen, 0.0);
        EXPECT_EQ(oError.fBlue, 0.0);
        EXPECT_FALSE(std::isnan(oError.fRed));
    }
}

TEST(DiffuserError, ResetZeroesSumsAndRows)
{
    Diffuser oDiffuser(3, 3, 1.0, 0.8);
    Color oAdjusted = oRGB(100, 100, 100);
    Color oChosen = oRGB(0, 50, 200);
    oDiffuser.vDiffuse(1, &oAdjusted, &oChosen);
    oDiffuser.vReset();
    for (int c = 0; c < 3; c++)
        EXPECT_EQ(oDiffuser.m_aulSquaredError[c], 0u);
    for (int i = 0; i < 4 * 3; i++)
    {
        EXPECT_EQ(oDiffuser.m_pafCurrentRow[i], 0.0);
        EXPECT_EQ(oDiffuser.m_pafNextRow[i], 0.0);
    }
}

// ---------------------------------------------------------------------------
// vSave and vRestore

// Columns 0..width-1 of both rows and the sums: the state the encoders can observe.
struct tdDiffuserState
{
    std::vector<double> m_afCurrent;
    std::vector<double> m_afNext;
    uint64_t m_aul[3];
};

tdDiffuserState oSnapshot(const Diffuser& o)
{
    tdDiffuserState oState;
    size_t uiCount = static_cast<size_t>(o.m_iWidth) * 3;
    oState.m_afCurrent.assign(o.m_pafCurrentRow, o.m_pafCurrentRow + uiCount);
    oState.m_afNext.assign(o.m_pafNextRow, o.m_pafNextRow + uiCount);
    memcpy(oState.m_aul, o.m_aulSquaredError, sizeof(oState.m_aul));
    return oState;
}

// Bit-for-bit equality, so that a restored -0.0 or a changed last bit is caught.
void vExpectSameState(const tdDiffuserState& oA, const tdDiffuserState& oB, int iX)
{
    ASSERT_EQ(oA.m_afCurrent.size(), oB.m_afCurrent.size());
    EXPECT_EQ(memcmp(oA.m_afCurrent.data(), oB.m_afCurrent.data(), oA.m_afCurrent.size() * sizeof(double)), 0)
        << "current row, group at " << iX;
    EXPECT_EQ(memcmp(oA.m_afNext.data(), oB.m_afNext.data(), oA.m_afNext.size() * sizeof(double)), 0)
        << "next row, group at " << iX;
    EXPECT_EQ(memcmp(oA.m_aul, oB.m_aul, sizeof(oA.m_aul)), 0) << "sums, group at " << iX;
}

struct tdWindowCase
{
    int m_iWidth;
    int m_iX;
    int m_iFirst; // first column restored
    int m_iLast;  // last column restored (-1 for none)
};

class DiffuserWindowTest : public ::testing::TestWithParam<tdWindowCase>
{
};

TEST_P(DiffuserWindowTest, RestoresExactlyTheWindowColumns)
{
    const tdWindowCase& oCase = GetParam();
    Diffuser oDiffuser(oCase.m_iWidth, 2, 1.0, 0.8);
    const int iSlots = (oCase.m_iWidth + 1) * 3;
    for (int i = 0; i < iSlots; i++)
    {
        oDiffuser.m_pafCurrentRow[i] = 1000 + i;
        oDiffuser.m_pafNextRow[i] = 2000 + i;
    }
    oDiffuser.vSave(oCase.m_iX);
    for (int i = 0; i < iSlots; i++)
    {
        oDiffuser.m_pafCurrentRow[i] = -1;
        oDiffuser.m_pafNextRow[i] = -2;
    }
    oDiffuser.vRestore(oCase.m_iX);
    for (int iX = 0; iX <= oCase.m_iWidth; iX++)
    {
        bool bInWindow = iX >= oCase.m_iFirst && iX <= oCase.m_iLast;
        for (int c = 0; c < 3; c++)
        {
            int i = iX * 3 + c;
            EXPECT_EQ(oDiffuser.m_pafCurrentRow[i], bInWindow ? 1000 + i : -1) << "column " << iX;
            EXPECT_EQ(oDiffuser.m_pafNextRow[i], bInWindow ? 2000 + i : -2) << "column " << iX;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Windows, DiffuserWindowTest, ::testing::Values(
    //            width,   x, first, last
    tdWindowCase{   256,   0,   0,    8},   // x <= 0: columns 0 .. x + 8
    tdWindowCase{    10,   5,   4,    9},   // x + 9 > width: width - x + 1 columns, up to width - 1
    tdWindowCase{    20,   8,   7,   16},   // the full ten columns x - 1 .. x + 8
    tdWindowCase{    20,  11,  10,   19},   // x + 9 = width: still ten
    tdWindowCase{    20,  16,  15,   19},
    tdWindowCase{     4,   0,   0,    3},   // a picture narrower than a group
    tdWindowCase{     1,   0,   0,    0},
    tdWindowCase{    20,  -3,   0,    5},   // x < 0: x + 9 columns from 0
    tdWindowCase{    20,  -9,   0,   -1},   // nothing
    tdWindowCase{    20,  21,   0,   -1},   // beyond the picture: nothing
    tdWindowCase{    20,  20,  19,   19}    // x = width: only column x - 1
));
// clang-format on

// Runs the Screen 2 pattern: per 8-pixel group save, try several random candidate
// colours with the per-pixel steps, restore after each try; then a final pass.
TEST(DiffuserSaveRestore, TrialsLeaveNoTrace)
{
    for (int iWidth : {8, 21, 256})
    {
        std::mt19937 oRandom(static_cast<unsigned int>(iWidth));
        auto oRandomColor = [&oRandom]()
        {
            return oRGB(static_cast<int>(oRandom() % 256), static_cast<int>(oRandom() % 256),
                        static_cast<int>(oRandom() % 256));
        };
        const int iHeight = 5;
        Diffuser oDiffuser(iWidth, iHeight, 1.1428, 0.8);
        for (int iY = 0; iY < iHeight; iY++)
        {
            for (int iX = 0; iX < iWidth; iX += 8)
            {
                int iEnd = std::min(iX + 8, iWidth);
                tdDiffuserState oBefore = oSnapshot(oDiffuser);
                oDiffuser.vSave(iX);
                for (int iTrial = 0; iTrial < 4; iTrial++)
                {
                    for (int i = iX; i < iEnd; i++)
                    {
                        Color o = oRandomColor();
                        oDiffuser.vAdjust(i, &o);
                        Color oChosen = oRandomColor();
                        oDiffuser.vDiffuse(i, &o, &oChosen);
                    }
                    oDiffuser.vRestore(iX);
                    vExpectSameState(oSnapshot(oDiffuser), oBefore, iX);
                    if (HasFailure()) return;
                }
                for (int i = iX; i < iEnd; i++)
                {
                    Color o = oRandomColor();
                    oDiffuser.vAdjust(i, &o);
                    Color oChosen = oRandomColor();
                    oDiffuser.vDiffuse(i, &o, &oChosen);
                }
            }
            oDiffuser.vNewLine();
        }
    }
}

} // namespace
