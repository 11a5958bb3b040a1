// Resampling and fitting of pictures.
//
// Every filter works on stored rows (bottom-up) and on every byte of a texel alike
// (alpha included) and keeps the texel size. Nearest, bilinear and bicubic map
// corners to corners: target index i of N maps to source position i (n - 1) / (N - 1).
// A target size of exactly 1 in a direction maps everything to source index 0, the
// way the bicubic mapping does. A new width or height below 1 leaves a picture of
// that shape without texels; one beyond g_iMaxImageDimension leaves it unchanged,
// and so does any size for a picture without texels (it never claims a size its
// buffer does not have).

#include "qev/base/image.h"

#include "qev/base/assert.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

// Allocates the target buffer of a scale, or handles the sizes that have none.
// Returns null when the caller must stop (the picture is then already in its
// final state).
static unsigned char* pucBeginScale(Image* poImage, int iWidth, int iHeight, bool* pbEmpty)
{
    *pbEmpty = false;
    if (iWidth < 1 || iHeight < 1)
    {
        *pbEmpty = true;
        return nullptr;
    }
    if (!bImageSizeValid(iWidth, iHeight, poImage->m_iTexelSize)) return nullptr;
    return static_cast<unsigned char*>(
        malloc(static_cast<size_t>(iWidth) * iHeight * static_cast<size_t>(poImage->m_iTexelSize)));
}

void Image::vScale(int iWidth, int iHeight, tdResizeFilter eFilter)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    switch (eFilter)
    {
    case ResizeFilter_Auto:
        vScale(iWidth, iHeight);
        break;
    case ResizeFilter_Nearest:
        vScaleNearest(iWidth, iHeight);
        break;
    case ResizeFilter_Linear:
        vScaleLinear(iWidth, iHeight);
        break;
    case ResizeFilter_Box:
        vScaleBox(iWidth, iHeight);
        break;
    case ResizeFilter_Bicubic:
        vScaleBicubic(iWidth, iHeight);
        break;
    default:
        break;
    }
}

void Image::vScale(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    if (m_iWidth > iWidth || m_iHeight > iHeight)
        vScaleBox(iWidth, iHeight);
    else
        vScaleLinear(iWidth, iHeight);
}

// Source index of target index i for nearest scaling from n to N: rounded to the
// nearest, ties to the higher index.
static int iNearestSource(int i, int n, int N)
{
    if (N < 2) return 0;
    return static_cast<int>((static_cast<int64_t>(i) * (n - 1) + (N - 1) / 2) / (N - 1));
}

void Image::vScaleNearest(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    bool bEmpty;
    unsigned char* pucNew = pucBeginScale(this, iWidth, iHeight, &bEmpty);
    if (!pucNew || !m_pucTexels)
    {
        free(pucNew);
        if (bEmpty) vReplaceTexels(nullptr, iWidth < 0 ? 0 : iWidth, iHeight < 0 ? 0 : iHeight);
        return;
    }
    const size_t uiTexel = static_cast<size_t>(m_iTexelSize);
    std::vector<int> aiColumn(static_cast<size_t>(iWidth));
    for (int i = 0; i < iWidth; i++)
        aiColumn[i] = iNearestSource(i, m_iWidth, iWidth);
    unsigned char* pucDst = pucNew;
    for (int r = 0; r < iHeight; r++)
    {
        const unsigned char* pucRow =
            m_pucTexels + static_cast<size_t>(iNearestSource(r, m_iHeight, iHeight)) * m_iWidth * uiTexel;
        for (int i = 0; i < iWidth; i++)
            for (size_t c = 0; c < uiTexel; c++)
                *pucDst++ = pucRow[aiColumn[i] * uiTexel + c];
    }
    vReplaceTexels(pucNew, iWidth, iHeight);
}

namespace
{
// One target index of a corner-aligned bilinear mapping: the two source taps and
// the fraction f of the second, in units of 1 / D with D = max(N - 1, 1).
struct tdLinearTap
{
    int i0;
    int i1;
    int64_t f;
};
} // namespace

static std::vector<tdLinearTap> aoLinearTaps(int n, int N)
{
    std::vector<tdLinearTap> aoTaps(static_cast<size_t>(N));
    for (int i = 0; i < N; i++)
    {
        tdLinearTap& oTap = aoTaps[i];
        if (N < 2)
        {
            oTap = {0, 0, 0};
            continue;
        }
        int64_t lPos = static_cast<int64_t>(i) * (n - 1);
        oTap.i0 = static_cast<int>(lPos / (N - 1));
        oTap.i1 = oTap.i0 < n - 1 ? oTap.i0 + 1 : oTap.i0;
        oTap.f = lPos - static_cast<int64_t>(oTap.i0) * (N - 1);
    }
    return aoTaps;
}

void Image::vScaleLinear(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    bool bEmpty;
    unsigned char* pucNew = pucBeginScale(this, iWidth, iHeight, &bEmpty);
    if (!pucNew || !m_pucTexels)
    {
        free(pucNew);
        if (bEmpty) vReplaceTexels(nullptr, iWidth < 0 ? 0 : iWidth, iHeight < 0 ? 0 : iHeight);
        return;
    }
    const size_t uiTexel = static_cast<size_t>(m_iTexelSize);
    const size_t uiRow = static_cast<size_t>(m_iWidth) * uiTexel;
    const int64_t lDX = iWidth > 1 ? iWidth - 1 : 1;
    const int64_t lDY = iHeight > 1 ? iHeight - 1 : 1;
    const std::vector<tdLinearTap> aoX = aoLinearTaps(m_iWidth, iWidth);
    const std::vector<tdLinearTap> aoY = aoLinearTaps(m_iHeight, iHeight);
    unsigned char* pucDst = pucNew;
    for (int r = 0; r < iHeight; r++)
    {
        const tdLinearTap& oY = aoY[r];
        const unsigned char* puc0 = m_pucTexels + oY.i0 * uiRow;
        const unsigned char* puc1 = m_pucTexels + oY.i1 * uiRow;
        for (int i = 0; i < iWidth; i++)
        {
            const tdLinearTap& oX = aoX[i];
            for (size_t c = 0; c < uiTexel; c++)
            {
                int64_t lTop = puc0[oX.i0 * uiTexel + c] * (lDX - oX.f) + puc0[oX.i1 * uiTexel + c] * oX.f;
                int64_t lBottom = puc1[oX.i0 * uiTexel + c] * (lDX - oX.f) + puc1[oX.i1 * uiTexel + c] * oX.f;
                int64_t lValue = (lTop * (lDY - oY.f) + lBottom * oY.f) / (lDY * lDX);
                *pucDst++ = static_cast<unsigned char>(lValue < 0 ? 0 : (lValue > 255 ? 255 : lValue));
            }
        }
    }
    vReplaceTexels(pucNew, iWidth, iHeight);
}

namespace
{
// The source texels that one target cell of the box filter overlaps, with the
// overlap length of each (in picture-normalised units).
struct tdBoxSpan
{
    int iFirst;
    std::vector<double> afWeight;
};
} // namespace

static std::vector<tdBoxSpan> aoBoxSpans(int n, int N)
{
    std::vector<tdBoxSpan> aoSpans(static_cast<size_t>(N));
    const double fTargetStep = 1.0 / N;
    const double fSourceStep = 1.0 / n;
    for (int i = 0; i < N; i++)
    {
        double fStart = i * fTargetStep;
        double fEnd = fStart + fTargetStep;
        int iFirst = static_cast<int>(std::floor(fStart * n));
        int iLast = static_cast<int>(std::floor(fEnd * n));
        if (iLast > n - 1) iLast = n - 1;
        if (iFirst < 0) iFirst = 0;
        tdBoxSpan& oSpan = aoSpans[i];
        oSpan.iFirst = iFirst;
        for (int x = iFirst; x <= iLast; x++)
        {
            double fSourceStart = x * fSourceStep;
            double fSourceEnd = fSourceStart + fSourceStep;
            double fOverlap = std::fmin(fEnd, fSourceEnd) - std::fmax(fStart, fSourceStart);
            oSpan.afWeight.push_back(fOverlap > 0.0 ? fOverlap : 0.0);
        }
    }
    return aoSpans;
}

void Image::vScaleBox(int iWidth, int iHeight)
{
    QEV_ASSERT(m_iTexelSize <= 4);
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    bool bEmpty;
    unsigned char* pucNew = pucBeginScale(this, iWidth, iHeight, &bEmpty);
    if (!pucNew || !m_pucTexels)
    {
        free(pucNew);
        if (bEmpty) vReplaceTexels(nullptr, iWidth < 0 ? 0 : iWidth, iHeight < 0 ? 0 : iHeight);
        return;
    }
    const int iTexel = m_iTexelSize;
    const size_t uiRow = static_cast<size_t>(m_iWidth) * iTexel;
    const std::vector<tdBoxSpan> aoX = aoBoxSpans(m_iWidth, iWidth);
    const std::vector<tdBoxSpan> aoY = aoBoxSpans(m_iHeight, iHeight);
    const double fCells = static_cast<double>(iWidth) * iHeight;
    unsigned char* pucDst = pucNew;
    for (int r = 0; r < iHeight; r++)
    {
        const tdBoxSpan& oY = aoY[r];
        for (int i = 0; i < iWidth; i++)
        {
            const tdBoxSpan& oX = aoX[i];
            double afSum[4] = {0.0, 0.0, 0.0, 0.0};
            for (size_t y = 0; y < oY.afWeight.size(); y++)
            {
                const double fWY = oY.afWeight[y];
                const unsigned char* puc = m_pucTexels + (oY.iFirst + y) * uiRow + oX.iFirst * iTexel;
                for (size_t x = 0; x < oX.afWeight.size(); x++, puc += iTexel)
                {
                    const double fWeight = oX.afWeight[x] * fWY;
                    if (fWeight == 0.0) continue;
                    for (int c = 0; c < iTexel; c++)
                        afSum[c] += puc[c] * fWeight;
                }
            }
            for (int c = 0; c < iTexel; c++)
            {
                double fValue = std::floor(afSum[c] * fCells + 0.5);
                *pucDst++ = static_cast<unsigned char>(fValue < 0.0 ? 0.0 : (fValue > 255.0 ? 255.0 : fValue));
            }
        }
    }
    vReplaceTexels(pucNew, iWidth, iHeight);
}

// Cubic convolution kernel with a = -0.5.
static double fCubic(double fD)
{
    double s = std::fabs(fD);
    if (s <= 1.0) return 1.5 * s * s * s - 2.5 * s * s + 1.0;
    if (s < 2.0) return -0.5 * s * s * s + 2.5 * s * s - 4.0 * s + 2.0;
    return 0.0;
}

namespace
{
// The four source taps of one bicubic target index, clamped to the picture.
struct tdCubicTaps
{
    int aiIndex[4];
    double afWeight[4];
};
} // namespace

static std::vector<tdCubicTaps> aoCubicTaps(int n, int N)
{
    std::vector<tdCubicTaps> aoTaps(static_cast<size_t>(N));
    const double fScale = N >= 2 ? static_cast<double>(n - 1) / (N - 1) : 0.0;
    for (int i = 0; i < N; i++)
    {
        double u = i * fScale;
        int x0 = static_cast<int>(std::floor(u));
        double t = u - x0;
        for (int k = 0; k < 4; k++)
        {
            int x = x0 - 1 + k;
            aoTaps[i].aiIndex[k] = x < 0 ? 0 : (x > n - 1 ? n - 1 : x);
            aoTaps[i].afWeight[k] = fCubic(t + 1.0 - k);
        }
    }
    return aoTaps;
}

void Image::vScaleBicubic(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    if (iWidth < 1 || iHeight < 1 || !m_pucTexels) return;
    bool bEmpty;
    unsigned char* pucNew = pucBeginScale(this, iWidth, iHeight, &bEmpty);
    if (!pucNew) return;
    const int iTexel = m_iTexelSize;
    const size_t uiRow = static_cast<size_t>(m_iWidth) * iTexel;
    const std::vector<tdCubicTaps> aoX = aoCubicTaps(m_iWidth, iWidth);
    const std::vector<tdCubicTaps> aoY = aoCubicTaps(m_iHeight, iHeight);
    unsigned char* pucDst = pucNew;
    for (int r = 0; r < iHeight; r++)
    {
        const tdCubicTaps& oY = aoY[r];
        for (int i = 0; i < iWidth; i++)
        {
            const tdCubicTaps& oX = aoX[i];
            double afSum[4] = {0.0, 0.0, 0.0, 0.0};
            double fWeightSum = 0.0;
            for (int m = 0; m < 4; m++)
            {
                const unsigned char* pucRow = m_pucTexels + oY.aiIndex[m] * uiRow;
                for (int n = 0; n < 4; n++)
                {
                    const unsigned char* puc = pucRow + oX.aiIndex[n] * iTexel;
                    for (int c = 0; c < iTexel; c++)
                        afSum[c] += puc[c] * oX.afWeight[n] * oY.afWeight[m];
                    fWeightSum += oX.afWeight[n] * oY.afWeight[m];
                }
            }
            if (fWeightSum == 0.0) fWeightSum = 1.0;
            for (int c = 0; c < iTexel; c++)
            {
                double fValue = std::round(afSum[c] / fWeightSum);
                *pucDst++ = static_cast<unsigned char>(fValue < 0.0 ? 0.0 : (fValue > 255.0 ? 255.0 : fValue));
            }
        }
    }
    vReplaceTexels(pucNew, iWidth, iHeight);
}

// A double rounded half away from zero into an int, held within +-2^30 so that
// absurd geometry cannot overflow.
static int iRoundClamped(double f)
{
    if (!(f > -1073741824.0)) return -1073741824; // NaN lands here too
    if (f > 1073741824.0) return 1073741824;
    return static_cast<int>(std::round(f));
}

tdRectangle oGetFitRectangle(int w, int h, double fAspectRatio, int W, int H, double fCanvasAspectRatio,
                             tdFitMode eFitMode)
{
    const double A = fSaneAspectRatio(fCanvasAspectRatio);
    tdRectangle oRect = {(W - w) / 2, (H - h) / 2, w, h};
    if (eFitMode == FitMode_Fill)
    {
        oRect = {0, 0, W, H};
    }
    else if (eFitMode >= FitMode_Fit && eFitMode <= FitMode_CropHeight && w > 0 && h > 0 && W > 0 && H > 0)
    {
        // Displayed widths: a pixel of this picture is a wide, one of the canvas A wide.
        const double a = fSaneAspectRatio(fAspectRatio);
        const double fSourceWidth = w * a;
        const double fTargetWidth = W * A;
        const double fSourceRatio = fSourceWidth / h;
        const double fTargetRatio = fTargetWidth / H;
        bool bToWidth;
        switch (eFitMode)
        {
        case FitMode_Fit:
            bToWidth = !(fTargetRatio > fSourceRatio);
            break;
        case FitMode_Crop:
            bToWidth = !(fSourceRatio > fTargetRatio);
            break;
        case FitMode_CropWidth:
            bToWidth = false;
            break;
        default:
            bToWidth = true;
            break;
        }
        const double k = bToWidth ? fTargetWidth / fSourceWidth : static_cast<double>(H) / h;
        const double fNewWidth = fSourceWidth * k;
        const double fNewHeight = h * k;
        oRect.iX = iRoundClamped((fTargetWidth - fNewWidth) * 0.5 / A);
        oRect.iY = iRoundClamped((H - fNewHeight) * 0.5);
        oRect.iWidth = iRoundClamped(fNewWidth / A);
        oRect.iHeight = iRoundClamped(fNewHeight);
    }
    return oRect;
}

void Image::vFit(int iWidth, int iHeight, double fAspectRatio, tdFitMode eFitMode, tdResizeFilter eFilter,
                 tdRectangle* poRect, tdBackgroundType eBackground, int iHShift)
{
    const double A = fSaneAspectRatio(fAspectRatio);
    Image oCanvas(iWidth, iHeight, 3, eBackground, A);
    const int W = oCanvas.m_iWidth;
    const int H = oCanvas.m_iHeight;
    tdRectangle oRect = oGetFitRectangle(m_iWidth, m_iHeight, m_fAspectRatio, W, H, A, eFitMode);
    if (eFitMode == FitMode_Fill || (eFitMode >= FitMode_Fit && eFitMode <= FitMode_CropHeight &&
                                     m_iWidth > 0 && m_iHeight > 0 && W > 0 && H > 0))
        vScale(oRect.iWidth, oRect.iHeight, eFilter);

    // A scale beyond the picture-size limit leaves the picture unscaled: it is not
    // placed at all then rather than placed at the wrong size.
    const bool bPlaced = m_iWidth == oRect.iWidth && m_iHeight == oRect.iHeight;
    // The shifted position is held within +-2^30 like the rest of the geometry, so
    // that no sum below overflows; a picture that far out misses the canvas anyway.
    long long lShifted = static_cast<long long>(oRect.iX) + iHShift;
    if (lShifted < -1073741824) lShifted = -1073741824;
    if (lShifted > 1073741824) lShifted = 1073741824;
    oRect.iX = static_cast<int>(lShifted);
    if (bPlaced) oCanvas.vBlit(this, oRect.iX, oRect.iY);

    vTakeTexels(&oCanvas);
    m_fAspectRatio = A;
    m_eDitheringMode = Dithering_None;
    free(m_piBayerMatrix);
    m_piBayerMatrix = nullptr;
    m_iBayerLowThreshold = 0;
    m_iBayerHighThreshold = 0;

    // Clipped in 64 bits: position and size may each reach 2^30.
    long long lX = oRect.iX, lY = oRect.iY, lWidth = oRect.iWidth, lHeight = oRect.iHeight;
    if (lX < 0)
    {
        lWidth += lX;
        lX = 0;
    }
    if (lX + lWidth > W) lWidth = W - lX;
    if (lY < 0)
    {
        lHeight += lY;
        lY = 0;
    }
    if (lY + lHeight > H) lHeight = H - lY;
    if (!bPlaced || lWidth < 0 || lHeight < 0) lWidth = lHeight = 0;
    oRect = {static_cast<int32_t>(lX), static_cast<int32_t>(lY), static_cast<int32_t>(lWidth),
             static_cast<int32_t>(lHeight)};
    if (poRect) *poRect = oRect;
}
