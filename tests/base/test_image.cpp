// The picture type, its ordered dither, resize filters and fit, and the byte buffer. Oracles:
// the documented layout and worked examples, the Bayer index matrices typed in, plain reference
// filters, fit rectangles worked out by hand, per-pixel writes as the reference of a blit.

#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace
{

// A colour as one number, red in the low byte, alpha in the top one.
uint32_t uiPixel(const Image& oImage, int iX, int iY)
{
    const Color oColor = oImage.oGetPixel(iX, iY);
    return oColor.r | oColor.g << 8 | oColor.b << 16 | static_cast<uint32_t>(oColor.a) << 24;
}

void vSetPixel(Image* poImage, int iX, int iY, uint32_t uiColor)
{
    const Color oColor = {uint8_t(uiColor), uint8_t(uiColor >> 8), uint8_t(uiColor >> 16),
                          uint8_t(uiColor >> 24)};
    poImage->vSetPixel(iX, iY, &oColor);
}

std::vector<unsigned char> acTexels(const Image& oImage)
{
    const unsigned char* puc = oImage.m_pucTexels;
    return std::vector<unsigned char>(
        puc, puc ? puc + size_t(oImage.m_iWidth) * oImage.m_iHeight * oImage.m_iTexelSize : puc);
}

Image* poNoise(int iWidth, int iHeight, int iTexelSize, uint32_t uiSeed)
{
    Image* poImage = new Image(iWidth, iHeight, iTexelSize, Background_Black, 1.0);
    for (size_t i = 0, n = acTexels(*poImage).size(); i < n; i++)
        poImage->m_pucTexels[i] =
            static_cast<unsigned char>((uiSeed = uiSeed * 1664525u + 1013904223u) >> 24);
    return poImage;
}

// Installs an ordered dither by hand; the picture owns the malloc'd offsets.
void vInstallBayer(Image* poImage, int iMode, const std::vector<int>& aiOffsets, int iLow, int iHigh)
{
    free(poImage->m_piBayerMatrix);
    poImage->m_piBayerMatrix = static_cast<int*>(malloc(aiOffsets.size() * sizeof(int)));
    memcpy(poImage->m_piBayerMatrix, aiOffsets.data(), aiOffsets.size() * sizeof(int));
    poImage->m_eDitheringMode = static_cast<tdDitheringMode>(iMode);
    poImage->m_iBayerLowThreshold = iLow;
    poImage->m_iBayerHighThreshold = iHigh;
}

// Pixel (x, y) starts at byte ((height - 1 - y) * width + x) * t; grey (the rounded
// third of r + g + b) or RGB first, alpha (sizes 2 and 4) last, read back as 255 when
// not stored. Outside, reads give opaque black and writes are ignored.
TEST(Image, LayoutAndPixelAccess)
{
    for (int t = 1; t <= 4; t++)
    {
        Image oImage(4, 3, t, Background_Black, 1.0), oChecker(3, 2, t, Background_Checkerboard, 1.0);
        for (int i = 0; i < 12; i++)
            vSetPixel(&oImage, i % 4, i / 4, 3 * i * 0x10101u + 0x20000u + i * 0x1000000u);
        for (int i = 0; i < 12; i++)
        {
            const unsigned char* puc = oImage.m_pucTexels + ((2 - i / 4) * 4 + i % 4) * t;
            const int iGrey = 3 * i + 1, iAlpha = t % 2 ? 255 : i,
                      iLast = t == 1   ? iGrey
                              : t == 3 ? 3 * i + 2
                                       : i;
            EXPECT_TRUE(puc[0] == (t < 3 ? iGrey : 3 * i) && puc[t - 1] == iLast);
            EXPECT_EQ(uiPixel(oImage, i % 4, i / 4),
                      (t < 3 ? iGrey * 0x10101u : 3 * i * 0x10101u + 0x20000u) + iAlpha * 0x1000000u)
                << t << ": " << i;
        }
        const std::vector<unsigned char> acBefore = acTexels(oImage);
        for (const auto& ai :
             {std::make_pair(-1, 0), std::make_pair(4, 0), std::make_pair(0, -1), std::make_pair(0, 3)})
        {
            EXPECT_EQ(uiPixel(oImage, ai.first, ai.second), 0xFF000000u);
            vSetPixel(&oImage, ai.first, ai.second, ~0u);
        }
        EXPECT_EQ(acTexels(oImage), acBefore);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(uiPixel(oChecker, i % 3, i / 3), (i % 3 + i / 3) % 2 ? 0xFF000000u : 0xFFFFFFFFu);
    }
    Image oLargest(g_iMaxImageDimension, 1, 1, Background_Black, 1.0);
    Image oTooWide(g_iMaxImageDimension + 1, 1, 1, Background_Black, 1.0);
    EXPECT_TRUE(oLargest.m_pucTexels && !oTooWide.m_pucTexels && oTooWide.m_iWidth == 0);
}

// Offsets (B / n^2 - 0.5) * factor * 255 rounded half away from zero, B the Bayer index
// matrix; a read adds the offset at (x & (n - 1)) + (y & (n - 1)) n to every channel
// within the thresholds, the black outside the picture included.
TEST(Image, OrderedDither)
{
    // clang-format off
    const int aiIndices[] = {0, 2, 3, 1,  0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5,
        0, 32, 8, 40, 2, 34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26, 12, 44, 4, 36, 14, 46, 6, 38, 60, 28, 52, 20,
        62, 30, 54, 22, 3, 35, 11, 43, 1, 33, 9, 41, 51, 19, 59, 27, 49, 17, 57, 25, 15, 47, 7, 39, 13, 45, 5, 37,
        63, 31, 55, 23, 61, 29, 53, 21};
    // clang-format on
    Image oImage(5, 3, 3, Background_Black, 1.25);
    memset(oImage.m_pucTexels, 100, 45);
    for (int iMode = Dithering_Bayer2x2; iMode <= Dithering_Bayer8x8; iMode++)
    {
        const int n = 1 << (iMode - 1);
        oImage.vSetDitheringMode(static_cast<tdDitheringMode>(iMode), 0.7, 0.0, 0.5);
        for (int i = 0; i < 21 * 21; i++)
        {
            const int x = i % 21 - 9, y = i / 21 - 9,
                      iB = aiIndices[(n * n - 4) / 3 + (x + 16) % n + (y + 16) % n * n];
            const long lValue = (x >= 0 && y >= 0 && x < 5 && y < 3 ? 100 : 0) +
                                std::lround((iB / double(n * n) - 0.5) * 0.7 * 255);
            ASSERT_EQ(uiPixel(oImage, x, y), std::clamp(lValue, 0L, 255L) * 0x10101u + 0xFF000000u)
                << n << ": " << x << ", " << y;
        }
    }
    // A copy has the texels and the ratio but no dither state.
    Image* poCopy = oImage.poCopy();
    EXPECT_TRUE(!poCopy->m_eDitheringMode && !poCopy->m_piBayerMatrix && poCopy->m_fAspectRatio == 1.25 &&
                uiPixel(*poCopy, 0, 0) == 0xFF646464u);
    delete poCopy;
    // Inclusive per-channel thresholds, clamping, alpha untouched; mode, offset, low, high, read:
    // clang-format off
    const int aiCases[][5] = {{2, -128, 100, 200, 0x07480063}, {2, 60, 99, 100, 0x07C8A09F}, {2, 60, 0, 255, 0x07FFA09F},
                              {1, 60, 0, 255, 0x07C86463}, {0, 60, 0, 255, 0x07C86463}};
    // clang-format on
    Image oPixel(1, 1, 4, Background_Black, 1.0);
    vSetPixel(&oPixel, 0, 0, 0x07C86463);
    for (const int* pi : aiCases)
    {
        vInstallBayer(&oPixel, pi[0], {pi[1], 0, 0, 0}, pi[2], pi[3]);
        EXPECT_EQ(uiPixel(oPixel, 0, 0), uint32_t(pi[4])) << pi[1] << ", " << pi[2] << ", " << pi[3];
    }
}

TEST(Image, BlitCropAndColours)
{
    // Blit: the source read pixel by pixel (dither included) and written at the offset.
    Image* poSource = poNoise(4, 3, 4, 1);
    vInstallBayer(poSource, Dithering_Bayer2x2, {-50, 0, 0, 30}, 0, 255);
    const int aiOffsets[][2] = {{0, 0}, {-1, 1}, {3, -2}, {5, 4}};
    for (int t = 1; t <= 4; t++)
        for (const int* pi : aiOffsets)
        {
            Image oOut(6, 5, t, Background_Checkerboard, 1.0), oWant(6, 5, t, Background_Checkerboard, 1.0);
            for (int i = 0; i < 12; i++)
                vSetPixel(&oWant, pi[0] + i % 4, pi[1] + i / 4, uiPixel(*poSource, i % 4, i / 4));
            oOut.vBlit(poSource, pi[0], pi[1]);
            EXPECT_EQ(acTexels(oOut), acTexels(oWant)) << t << ", " << pi[0];
        }
    delete poSource;
    // Crop: anchored at the bottom left, new texels black with alpha 0.
    Image oCrop(2, 2, 4, Background_Black, 1.0);
    for (int i = 0; i < 4; i++)
        vSetPixel(&oCrop, i % 2, i / 2, 0x0D0C0B0A + i * 0x0A0A0A0A);
    oCrop.vCrop(3, 3);
    const uint32_t auiCropped[9] = {0, 0, 0, 0x0D0C0B0A, 0x17161514, 0, 0x21201F1E, 0x2B2A2928, 0};
    for (int i = 0; i < 9; i++)
        EXPECT_TRUE(oCrop.m_iWidth == 3 && oCrop.m_iHeight == 3 &&
                    uiPixel(oCrop, i % 3, i / 3) == auiCropped[i])
            << i;
    oCrop.vCrop(1, 2);
    EXPECT_TRUE(oCrop.m_iWidth == 1 && uiPixel(oCrop, 0, 0) == 0x0D0C0B0A &&
                uiPixel(oCrop, 0, 1) == 0x21201F1E);
    // RGB to BGR swaps the first and third byte; grey pictures fail the assertion.
    oCrop.vRGBToBGR();
    EXPECT_EQ(uiPixel(oCrop, 0, 0), 0x0D0A0B0Cu);
    EXPECT_DEATH(Image(1, 1, 1, Background_Black, 1.0).vRGBToBGR(), "m_iTexelSize == 4.*m_iTexelSize == 3");
    // Distinct RGB colours as read: black and the 24 single bits; one grey dithered into four.
    Image oColours(9, 7, 4, Background_Black, 1.0);
    for (int i = 0; i < 63; i++)
        vSetPixel(&oColours, i % 9, i / 9, (1u << (i % 24)) * (i % 5 != 0) | uint32_t(i % 4) << 24);
    EXPECT_EQ(oColours.lGetUniqueColorsUsed(), 25);
    memset(oColours.m_pucTexels, 128, 252);
    vInstallBayer(&oColours, Dithering_Bayer2x2, {-3, -1, 1, 3}, 0, 255);
    EXPECT_EQ(oColours.lGetUniqueColorsUsed(), 4);
}

double fCubic(double d)
{
    const double s = std::fabs(d);
    if (s <= 1.0) return 1.5 * s * s * s - 2.5 * s * s + 1.0;
    return s < 2.0 ? -0.5 * s * s * s + 2.5 * s * s - 4.0 * s + 2.0 : 0.0;
}

// Reference filters from the documented mappings: target index i of N to source taps
// (index, weight) along one axis; "Auto" is box when either side shrinks, else bilinear.
std::vector<std::pair<int, double>> aoTaps(int iFilter, int i, int n, int N)
{
    const int iDivisor = std::max(N - 1, 1), x0 = i * (n - 1) / iDivisor;
    if (iFilter == ResizeFilter_Nearest) return {{N > 1 ? (i * (n - 1) + (N - 1) / 2) / (N - 1) : 0, 1.0}};
    if (iFilter == ResizeFilter_Linear)
        return {{x0, iDivisor - (i * (n - 1) - x0 * iDivisor)},
                {std::min(x0 + 1, n - 1), i * (n - 1) - x0 * iDivisor}};
    std::vector<std::pair<int, double>> ao;
    if (iFilter == ResizeFilter_Box)
        for (int x = int(i * (1.0 / N) * n); x <= std::min(n - 1, int((i * (1.0 / N) + 1.0 / N) * n)); x++)
            ao.push_back({x, std::max(0.0, std::min(i * (1.0 / N) + 1.0 / N, x * (1.0 / n) + 1.0 / n) -
                                               std::max(i * (1.0 / N), x * (1.0 / n)))});
    const double u = N > 1 ? i * double(n - 1) / (N - 1) : 0.0;
    for (int k = -1; iFilter == ResizeFilter_Bicubic && k <= 2; k++)
        ao.push_back({std::clamp(int(std::floor(u)) + k, 0, n - 1), fCubic(u - std::floor(u) - k)});
    return ao;
}

// Linear: truncated over (W - 1)(H - 1); box: times W H, halves up; bicubic: over the
// weights, halves away from zero; nearest: as is.
std::vector<unsigned char> acReference(int iFilter, const Image& oSource, int W, int H)
{
    const int w = oSource.m_iWidth, h = oSource.m_iHeight, t = oSource.m_iTexelSize;
    if (iFilter == ResizeFilter_Auto) iFilter = w > W || h > H ? ResizeFilter_Box : ResizeFilter_Linear;
    std::vector<unsigned char> acResult;
    for (int p = 0; p < W * H * t; p++)
    {
        double fSum = 0.0, fWeights = 0.0;
        for (const auto& oY : aoTaps(iFilter, p / t / W, h, H))
            for (const auto& oX : aoTaps(iFilter, p / t % W, w, W))
            {
                fSum += oSource.m_pucTexels[(size_t(oY.first) * w + oX.first) * t + p % t] * oX.second *
                        oY.second;
                fWeights += oX.second * oY.second;
            }
        const double fValue =
            iFilter == ResizeFilter_Linear    ? std::floor(fSum / (std::max(W - 1, 1) * std::max(H - 1, 1)))
            : iFilter == ResizeFilter_Box     ? std::floor(fSum * (double(W) * H) + 0.5)
            : iFilter == ResizeFilter_Bicubic ? std::round(fSum / (fWeights == 0.0 ? 1.0 : fWeights))
                                              : fSum;
        acResult.push_back(static_cast<unsigned char>(std::clamp(fValue, 0.0, 255.0)));
    }
    return acResult;
}

// Every filter against the reference.
TEST(Scale, FiltersAndSizes)
{
    // source w, h, texel size; target W, H
    const int aiCases[][5] = {{5, 4, 1, 11, 9},  {24, 17, 2, 7, 5}, {13, 11, 3, 29, 7},
                              {300, 7, 4, 3, 2}, {3, 1, 3, 17, 9},  {9, 6, 4, 1, 6}};
    for (int iCase = 0; iCase < ResizeFilter_Count * 6; iCase++)
    {
        const int iFilter = iCase / 6, *pi = aiCases[iCase % 6];
        Image* poImage = poNoise(pi[0], pi[1], pi[2], uint32_t(iFilter * 100 + pi[0]));
        const std::vector<unsigned char> acExpected = acReference(iFilter, *poImage, pi[3], pi[4]);
        poImage->vScale(pi[3], pi[4], static_cast<tdResizeFilter>(iFilter));
        EXPECT_TRUE(poImage->m_iWidth == pi[3] && acTexels(*poImage) == acExpected) << iCase;
        delete poImage;
    }
    // An unknown filter value changes nothing; a size below 1 leaves no texels (bicubic: unchanged).
    Image* poImage = poNoise(10, 10, 3, 8);
    poImage->vScale(29, 7, tdResizeFilter(ResizeFilter_Count));
    poImage->vScaleBicubic(0, 5);
    EXPECT_EQ(poImage->m_iWidth, 10);
    for (int iFilter = ResizeFilter_Nearest; iFilter <= ResizeFilter_Box; iFilter++)
        poImage->vScale(0, 4 + iFilter, tdResizeFilter(iFilter));
    EXPECT_TRUE(!poImage->m_pucTexels && poImage->m_iWidth == 0 && poImage->m_iHeight == 7);
    delete poImage;
}

// By hand: sw = w a, tw = W A, k = tw / sw or H / h, placed at ((tw - sw k) / 2A, (H - h k) / 2)
// sized (sw k / A, h k), rounded half away from zero; "None" centres with truncating halves.
// clang-format off
const double g_aafFitCases[][19] = {
    // w, h, texel size, a, W, H, A, fit mode, shift, background, filter; placed x, y, width, height; rectangle
    {100,  50, 3,    1.0, 256, 192,       1.0, 1, 0, 0, 0,   0,   32, 256, 128,  0, 32, 256, 128},
    {100,  50, 3,    1.0, 256, 192,       1.0, 2, 0, 0, 1, -64,    0, 384, 192,  0,  0, 256, 192},
    {100,  50, 4,    1.0, 256, 192,       1.0, 3, 0, 1, 2, -64,    0, 384, 192,  0,  0, 256, 192},
    {100,  50, 1,    1.0, 256, 192,       1.0, 4, 0, 1, 3,   0,   32, 256, 128,  0, 32, 256, 128},
    {100,  50, 3,    2.0, 256, 192,       1.0, 5, 0, 0, 4,   0,    0, 256, 192,  0,  0, 256, 192},
    {101,  51, 4,    1.0, 256, 192,       1.0, 0, 0, 1, 0,  77,   70, 101,  51, 77, 70, 101,  51},
    {301, 251, 3,    1.0, 256, 192,       1.0, 0, 0, 0, 0, -22,  -29, 301, 251,  0,  0, 256, 192},
    { 50, 100, 3,    1.0, 256, 192,       1.0, 1, 0, 0, 0,  80,    0,  96, 192, 80,  0,  96, 192},
    { 50, 100, 3,    1.0, 256, 192,       1.0, 2, 0, 0, 0,   0, -160, 256, 512,  0,  0, 256, 192},
    {100, 100, 3,    2.0, 256, 192,       1.0, 1, 0, 0, 0,   0,   32, 256, 128,  0, 32, 256, 128},
    {100,  50, 3,    1.0, 256, 192,       2.0, 1, 0, 0, 0,  32,    0, 192, 192, 32,  0, 192, 192},
    {256, 212, 3,    1.0, 256, 212, 53.0 / 48, 1, 0, 0, 0,  12,    0, 232, 212, 12,  0, 232, 212},
    {100,  50, 3,    1.0, 256, 192,       1.0, 1, 8, 0, 0,   8,   32, 256, 128,  8, 32, 248, 128},
    { 10,  10, 3,    1.0,   5,   4,       1.0, 1, 0, 0, 0,   1,    0,   4,   4,  1,  0,   4,   4},
    { 10,  10, 3,    1.0,   5,   4,       1.0, 2, 0, 0, 0,   0,   -1,   5,   5,  0,  0,   5,   4},
    { 10,  10, 3,    1.0,   5,   5,       2.0, 1, 0, 0, 0,   1,    0,   3,   5,  1,  0,   3,   5},
    {100,  50, 3,    NAN, 256, 192,       1.0, 1, 0, 0, 0,   0,   32, 256, 128,  0, 32, 256, 128},
    {100,  50, 3,    1.0, 256, 192,       0.0, 2, 0, 0, 0, -64,    0, 384, 192,  0,  0, 256, 192},
};
// clang-format on

TEST(Fit, RectangleAndCanvas)
{
    for (const double* pf : g_aafFitCases)
    {
        const auto I = [pf](int i) { return int(pf[i]); };
        Image* poImage = poNoise(I(0), I(1), I(2), 15);
        poImage->m_fAspectRatio = pf[3];
        Image oExpected(I(4), I(5), 3, tdBackgroundType(I(9)), 1.0);
        Image* poScaled = poImage->poCopy();
        if (I(7) != FitMode_None) poScaled->vScale(I(13), I(14), tdResizeFilter(I(10)));
        oExpected.vBlit(poScaled, I(11), I(12));
        delete poScaled;
        tdRectangle oRect = {-1, -1, -1, -1};
        poImage->vFit(I(4), I(5), pf[6], tdFitMode(I(7)), tdResizeFilter(I(10)), &oRect,
                      tdBackgroundType(I(9)), I(8));
        EXPECT_TRUE(oRect.iX == I(15) && oRect.iY == I(16) && oRect.iWidth == I(17) &&
                    oRect.iHeight == I(18) && poImage->m_fAspectRatio == (pf[6] > 0.0 ? pf[6] : 1.0) &&
                    acTexels(*poImage) == acTexels(oExpected))
            << "row " << (pf - g_aafFitCases[0]) / 19;
        delete poImage;
    }
    // 1 x 16384 scaled to 2 wide would be beyond the size limit: not placed, the canvas
    // stays background; absurd ratios and shifts still give a rectangle inside the canvas.
    Image oThin(1, 16384, 3, Background_Checkerboard, 1.0), oAbsurd(40, 30, 3, Background_Black, 1e308);
    tdRectangle oRect, oAbsurdRect;
    oThin.vFit(2, 212, 1.0, FitMode_CropHeight, ResizeFilter_Auto, &oRect, Background_Black, 0);
    oAbsurd.vFit(64, 48, 4.9e-324, FitMode_Crop, ResizeFilter_Auto, &oAbsurdRect, Background_Black, INT_MIN);
    EXPECT_TRUE(acTexels(oThin) == std::vector<unsigned char>(2 * 212 * 3) &&
                oRect.iWidth * oRect.iHeight == 0);
    EXPECT_TRUE(oAbsurd.m_iWidth == 64 && oAbsurdRect.iX >= 0 && oAbsurdRect.iX + oAbsurdRect.iWidth <= 64);
}

// Capacity: 128 at the first byte, doubled until the size fits, halved once per call while
// half holds the size (never below 128), released at size 0 unless shrinking is off.
TEST(DynamicArray, GrowsShrinksAndReleases)
{
    tdByteArray oArray;
    std::vector<int> aiCapacities = {oArray.m_iCapacity};
    for (int i = 0; i < 129; i++)
    {
        oArray.vAppend(static_cast<unsigned char>(i));
        if (i == 0 || i == 128) aiCapacities.push_back(oArray.m_iCapacity);
    }
    for (int iSize : {100, 1025, 10, 10, 10, 10, 256, 128, 256, 129, 0})
    {
        if (iSize == 0) oArray.vAppend(oArray.m_pucData + 1, 3); // at 129: to bytes 129 to 131
        if (iSize == 0) aiCapacities.push_back(oArray.m_pucData[131] + oArray.m_pucData[9] + oArray.m_iSize);
        oArray.vSetSize(iSize);
        aiCapacities.push_back(oArray.m_iCapacity);
    }
    oArray.m_bShrink = false;
    oArray.vSetSize(1000);
    oArray.vSetSize(0);
    aiCapacities.push_back(oArray.m_pucData ? oArray.m_iCapacity + oArray.m_iSize : -1);
    EXPECT_EQ(aiCapacities, (std::vector<int>{0, 128, 256, 128, 2048, 1024, 512, 256, 128, 256, 128, 256, 256,
                                              3 + 9 + 132, 0, 1024}));
}

// Appending an array's own bytes while it grows copies them from their new place.
TEST(DynamicArray, AppendsItsOwnBytes)
{
    tdByteArray oArray;
    for (int i = 0; i < 128; i++)
        oArray.vAppend(static_cast<unsigned char>(i));
    oArray.vAppend(oArray.m_pucData + 28, 100);
    ASSERT_EQ(oArray.m_iSize, 228);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(oArray.m_pucData[128 + i], 28 + i);
}

} // namespace
