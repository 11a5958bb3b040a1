// The two dithering mechanisms: the ordered dither a picture keeps (its Bayer
// matrices and in-range reads are the picture tests' part; here the values beyond
// the range) and the error Diffuser of the encoders. Oracles: offsets, thresholds,
// shares and a small diffusion worked out by hand, and the save window of each column.

#include "qev/base/image.h"
#include "qev/color/diffuser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
const double g_fNaN = std::numeric_limits<double>::quiet_NaN();
const double g_fInf = std::numeric_limits<double>::infinity();

// Offsets round halves away from zero and are held at +-256 (a NaN product gives 0);
// thresholds truncate and are held to -1 and 256, NaN giving the full range.
TEST(OrderedDither, FactorsAndThresholdsBeyondTheRangeAreHeld)
{
    // clang-format off
    const double aafRows[][8] = { // factor, the 2 x 2 offsets; threshold fraction, low and high kept
        {1.0, -128, 0, 64, -64, 0.3, 76, 76},         {2.0, -255, 0, 128, -128, -0.002, 0, 0},
        {g_fNaN, 0, 0, 0, 0, -5.0, -1, -1},           {g_fInf, -256, 0, 256, -256, 7.0, 256, 256},
        {1e300, -256, 0, 256, -256, g_fNaN, 0, 255}};
    // clang-format on
    Image oImage(1.0); // one picture throughout: every matrix replaced is freed (the leak check sees it)
    for (const auto& af : aafRows)
    {
        oImage.vSetDitheringMode(Dithering_Bayer2x2, af[0], af[5], af[5]);
        const int* pi = oImage.m_piBayerMatrix;
        EXPECT_EQ(std::vector<double>(pi, pi + 4), std::vector<double>(af + 1, af + 5)) << af[0];
        EXPECT_TRUE(oImage.m_iBayerLowThreshold == af[6] && oImage.m_iBayerHighThreshold == af[7]) << af[5];
    }
    oImage.vSetDitheringMode(static_cast<tdDitheringMode>(5), 1.0, 0.0, 1.0); // unknown: no matrix
    EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
}

TEST(Diffuser, SharesSmallPictureWorkedByHandEdgesAndClamps)
{
    // a, f, right, below, diagonal: below = f / (1 + 1/a + 2/(a + 1)); a ratio that is
    // not positive counts as square pixels.
    // clang-format off
    const double aafRows[][5] = {{1.0, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15}, {2.0, 1.0, 3.0 / 13, 6.0 / 13, 2.0 / 13},
                                 {0.5, 1.0, 6.0 / 13, 3.0 / 13, 2.0 / 13}, {-2.0, 0.8, 4.0 / 15, 4.0 / 15, 2.0 / 15},
                                 {1.0, 0.0, 0.0, 0.0, 0.0}, {1.0, -0.0, 0.0, 0.0, 0.0}};
    // clang-format on
    for (const auto& af : aafRows)
    {
        const Diffuser o(8, 8, af[0], af[1]);
        EXPECT_TRUE(o.m_fRightWeight == af[2] && o.m_fBelowWeight == af[3] && o.m_fDiagonalWeight == af[4] &&
                    o.m_bEnabled == (af[1] != 0.0))
            << af[0] << " " << af[1];
    }
    EXPECT_TRUE(Diffuser(4, 4, 1.0, g_fNaN).m_bEnabled);
    // Row-by-row diffusion of a 3 x 3 picture, every pixel (100, 50, 10); a = 1,
    // f = 0.75: right 1/4, below 1/4, diagonals 1/8 each (all exact).
    //   row 0, x=0: chosen (60, 90, 10): error (+40, -40, 0)
    //          x=1: adjusted by (+10, -10) to (110, 40), chosen (100, 50): error (+10, -10)
    //          x=2: waiting +-2.5 rounds away from zero: (103, 47), chosen (100, 50): (+3, -3)
    //   row 1 waits red 40/4 + 10/8 = 11.25, 40/8 + 10/4 + 3/8 = 7.875, 10/8 + 3/4 = 2
    //   (green the negative); the last pixel's right share waits beyond the edge, unread.
    //   Rows 1 and 2 take the colours they ask for: row 2 waits nothing, the sums hold
    //   row 0 only.
    Diffuser oDiffuser(3, 3, 1.0, 0.75);
    const Color aoChosen[3] = {{60, 90, 10, 255}, {100, 50, 10, 255}, {100, 50, 10, 255}};
    const int aaiAdjusted[3][4] = {{100, 110, 103, 100}, {111, 108, 102, 100}, {100, 100, 100, 100}};
    for (int y = 0; y < 3; y++, oDiffuser.vNewLine())
        for (int x = 0; x <= 3; x++) // column 3 is outside: left alone
        {
            Color o = {100, 50, 10, 255};
            oDiffuser.vAdjust(x, &o);
            EXPECT_EQ(std::vector<int>({o.r, o.g, o.b}),
                      std::vector<int>({aaiAdjusted[y][x], 150 - aaiAdjusted[y][x], 10}))
                << x << " " << y;
            if (x < 3) oDiffuser.vDiffuse(x, &o, y == 0 ? &aoChosen[x] : &o);
        }
    EXPECT_EQ(std::vector<uint64_t>(oDiffuser.m_aulSquaredError, oDiffuser.m_aulSquaredError + 3),
              std::vector<uint64_t>({1709, 1709, 0}));
    EXPECT_DOUBLE_EQ(oDiffuser.oGetError().fRed, std::sqrt(1709.0 / 9.0));
    // Factor 0: no pixel changes, the error still counts: sqrt((9 + 9) / 2) = 3.
    Diffuser oOff(2, 1, 1.0, 0.0);
    Color oPixel = {103, 40, 40, 255};
    const Color oHundred = {100, 40, 40, 255};
    for (int x = 0; x < 2; x++)
        oOff.vDiffuse(x, &oPixel, &oHundred), oOff.vAdjust(x + 1, &oPixel);
    EXPECT_TRUE(oPixel.r == 103 && oOff.oGetError().fRed == 3.0);
    // +60 / -60 at column 0 sends 20 below (nothing to the left, nothing wraps to the
    // next row's end): clamped at 255 and 0, alpha kept; columns outside are ignored.
    Diffuser oEdge(3, 2, 1.0, 1.0);
    const Color oAdjusted = {255, 0, 128, 255}, oChosen = {195, 60, 128, 255};
    for (int x : {0, 3, -1})
        oEdge.vDiffuse(x, &oAdjusted, &oChosen);
    EXPECT_EQ(oEdge.m_aulSquaredError[0], 3600u);
    oEdge.vNewLine();
    Color o = {250, 5, 128, 17}, oLast = {100, 100, 100, 17};
    oEdge.vAdjust(0, &o);
    oEdge.vAdjust(2, &oLast);
    EXPECT_EQ(std::vector<int>({o.r, o.g, o.b, o.a, oLast.r}), std::vector<int>({255, 0, 128, 17, 100}));
    for (auto ai : {std::pair<int, int>{0, 5}, {5, 0}, {-3, 4}}) // no pixels: the zero triple
        EXPECT_EQ(Diffuser(ai.first, ai.second, 1.0, 0.8).oGetError().fRed, 0.0);
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
        double* apfRows[2] = {oDiffuser.m_pafCurrentRow, oDiffuser.m_pafNextRow};
        const int iSlots = (ai[0] + 1) * 3;
        for (int i = 0; i < 2 * iSlots; i++)
            apfRows[i / iSlots][i % iSlots] = 1000 + i;
        oDiffuser.m_aulSquaredError[2] = 5;
        oDiffuser.vSave(ai[1]);
        for (int i = 0; i < 2 * iSlots; i++)
            apfRows[i / iSlots][i % iSlots] = -1;
        const Color oAdjusted = {0, 0, 9, 255}, oChosen = {0, 0, 0, 255};
        oDiffuser.vDiffuse(0, &oAdjusted, &oChosen); // changes slots 0-5 of both rows, and the sums
        oDiffuser.vRestore(ai[1]);
        EXPECT_EQ(oDiffuser.m_aulSquaredError[2], 5u);
        for (int i = 0; i < 2 * iSlots; i++)
        {
            const int iSlot = i % iSlots;
            const bool bIn = iSlot / 3 >= ai[2] && iSlot / 3 <= ai[3];
            const double f = apfRows[i / iSlots][iSlot];
            EXPECT_TRUE(f == (bIn ? 1000 + i : -1) || (!bIn && iSlot < 6))
                << ai[0] << " " << ai[1] << " " << i;
        }
    }
}
} // namespace
