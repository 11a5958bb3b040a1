// Ordered (Bayer) dither state of a picture. oGetPixel (image.cpp) applies it:
// offset d = matrix[(x AND (n - 1)) + (y AND (n - 1)) * n] is added to each of red,
// green and blue whose value lies in [low, high], clamped to 0..255.
#include "qev/base/image.h"

#include <cmath>
#include <cstdlib>

namespace
{
// One entry of an n x n ordered-dither matrix: its Bayer index B over n² centred on
// zero, so the offsets spread evenly over -0.5 .. 0.5 (exact in binary).
constexpr double fBayer(int iIndex, int iSide)
{
    return iIndex / static_cast<double>(iSide * iSide) - 0.5;
}
constexpr double fB2(int iIndex)
{
    return fBayer(iIndex, 2);
}
constexpr double fB4(int iIndex)
{
    return fBayer(iIndex, 4);
}
constexpr double fB8(int iIndex)
{
    return fBayer(iIndex, 8);
}
} // namespace

// Ordered-dither matrices, row by row (index x + y * n); each row lists the classic
// recursive Bayer indices so the table can be checked by eye.
// clang-format off
static const double g_afBayer2x2[4] = {
    fB2(0), fB2(2),
    fB2(3), fB2(1),
};

static const double g_afBayer4x4[16] = {
    fB4( 0), fB4( 8), fB4( 2), fB4(10),
    fB4(12), fB4( 4), fB4(14), fB4( 6),
    fB4( 3), fB4(11), fB4( 1), fB4( 9),
    fB4(15), fB4( 7), fB4(13), fB4( 5),
};

static const double g_afBayer8x8[64] = {
    fB8( 0), fB8(32), fB8( 8), fB8(40), fB8( 2), fB8(34), fB8(10), fB8(42),
    fB8(48), fB8(16), fB8(56), fB8(24), fB8(50), fB8(18), fB8(58), fB8(26),
    fB8(12), fB8(44), fB8( 4), fB8(36), fB8(14), fB8(46), fB8( 6), fB8(38),
    fB8(60), fB8(28), fB8(52), fB8(20), fB8(62), fB8(30), fB8(54), fB8(22),
    fB8( 3), fB8(35), fB8(11), fB8(43), fB8( 1), fB8(33), fB8( 9), fB8(41),
    fB8(51), fB8(19), fB8(59), fB8(27), fB8(49), fB8(17), fB8(57), fB8(25),
    fB8(15), fB8(47), fB8( 7), fB8(39), fB8(13), fB8(45), fB8( 5), fB8(37),
    fB8(63), fB8(31), fB8(55), fB8(23), fB8(61), fB8(29), fB8(53), fB8(21),
};
// clang-format on

// A threshold fraction (0..1 of the channel range) as a channel value, truncated
// toward zero (0.3 gives 76, 0.5 gives 127). Values beyond the channel range are
// held to -1 and 256, which select exactly the same channels as any value further
// out and keep the conversion to int defined; NaN gives the end of the full range
// (iNaNValue).
static int iThresholdToChannel(double fFraction, int iNaNValue)
{
    if (std::isnan(fFraction)) return iNaNValue;
    double fValue = fFraction * 255.0;
    if (fValue < -1.0) fValue = -1.0;
    if (fValue > 256.0) fValue = 256.0;
    return static_cast<int>(fValue);
}

// A matrix entry as a channel offset, rounded to nearest with halves away from zero.
// Offsets beyond +-256 are held there: any such offset already drives every channel
// to 0 or 255. A NaN product (NaN or infinite factor times a zero entry) gives 0.
static int iBayerOffset(double fEntry, double fFactor)
{
    double fValue = fEntry * fFactor * 255.0;
    if (std::isnan(fValue)) return 0;
    if (fValue < -256.0) fValue = -256.0;
    if (fValue > 256.0) fValue = 256.0;
    return static_cast<int>(std::round(fValue));
}

// Modes 2, 3 and 4 (Bayer 2x2, 4x4, 8x8) keep an n² offset matrix; every other mode,
// or a failed allocation, leaves the picture without one, so oGetPixel returns the
// stored values. The thresholds are stored in every mode.
void Image::vSetDitheringMode(tdDitheringMode eMode, double fFactor, double fLowThreshold,
                              double fHighThreshold)
{
    free(m_piBayerMatrix);
    m_piBayerMatrix = nullptr;
    m_eDitheringMode = eMode;
    m_iBayerLowThreshold = iThresholdToChannel(fLowThreshold, 0);
    m_iBayerHighThreshold = iThresholdToChannel(fHighThreshold, 255);

    const double* pfTable = nullptr;
    int iCount = 0;
    switch (eMode)
    {
    case Dithering_Bayer2x2:
        pfTable = g_afBayer2x2;
        iCount = 4;
        break;
    case Dithering_Bayer4x4:
        pfTable = g_afBayer4x4;
        iCount = 16;
        break;
    case Dithering_Bayer8x8:
        pfTable = g_afBayer8x8;
        iCount = 64;
        break;
    default:
        return;
    }
    m_piBayerMatrix = static_cast<int*>(malloc(static_cast<size_t>(iCount) * sizeof(int)));
    if (!m_piBayerMatrix) return;
    for (int i = 0; i < iCount; i++)
        m_piBayerMatrix[i] = iBayerOffset(pfTable[i], fFactor);
}
