// Tests of the resize filters and of fitting a picture into a canvas.
//
// Nearest, bilinear, box and bicubic are checked byte for byte against plain
// reference implementations below, written texel by texel from the definitions
// of the mappings, on random pictures of random sizes.

#include "qev/base/image.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

static bool operator==(const Color& oA, const Color& oB)
{
    return oA.r == oB.r && oA.g == oB.g && oA.b == oB.b && oA.a == oB.a;
}

static std::ostream& operator<<(std::ostream& oStream, const Color& oColor)
{
    return oStream << "(" << int(oColor.r) << ", " << int(oColor.g) << ", " << int(oColor.b) << ", "
                   << int(oColor.a) << ")";
}

static bool operator==(const tdRectangle& oA, const tdRectangle& oB)
{
    return oA.iX == oB.iX && oA.iY == oB.iY && oA.iWidth == oB.iWidth && oA.iHeight == oB.iHeight;
}

static std::ostream& operator<<(std::ostream& oStream, const tdRectangle& oRect)
{
    return oStream << "(" << oRect.iX << ", " << oRect.iY << ", " << oRect.iWidth << ", " << oRect.iHeight
                   << ")";
}

namespace
{

size_t uiBufferSize(const Image& oImage)
{
    return static_cast<size_t>(oImage.m_iWidth) * oImage.m_iHeight * oImage.m_iTexelSize;
}

std::vector<unsigned char> acTexels(const Image& oImage)
{
    if (!oImage.m_pucTexels) return {};
    return std::vector<unsigned char>(oImage.m_pucTexels, oImage.m_pucTexels + uiBufferSize(oImage));
}

Image* poRandomImage(int iWidth, int iHeight, int iTexelSize, std::mt19937* poRandom)
{
    Image* poImage = new Image(iWidth, iHeight, iTexelSize, Background_Black, 1.0);
    for (size_t i = 0; i < uiBufferSize(*poImage); i++)
        poImage->m_pucTexels[i] = static_cast<unsigned char>((*poRandom)() & 0xFF);
    return poImage;
}

// Texel byte c of stored column x, stored row y.
int iTexel(const std::vector<unsigned char>& acSource, int w, int iTexelSize, int x, int y, int c)
{
    return acSource[(static_cast<size_t>(y) * w + x) * iTexelSize + c];
}

// ---------------------------------------------------------------------------
// Reference filters: one target texel at a time, straight from the definitions.
// A target size of 1 maps to source index 0.

std::vector<unsigned char> acReferenceNearest(const std::vector<unsigned char>& acSource, int w, int h, int t,
                                              int W, int H)
{
    std::vector<unsigned char> acResult;
    for (int r = 0; r < H; r++)
        for (int i = 0; i < W; i++)
        {
            const int x = W > 1 ? (i * (w - 1) + (W - 1) / 2) / (W - 1) : 0;
            const int y = H > 1 ? (r * (h - 1) + (H - 1) / 2) / (H - 1) : 0;
            for (int c = 0; c < t; c++)
                acResult.push_back(static_cast<unsigned char>(iTexel(acSource, w, t, x, y, c)));
        }
    return acResult;
}

std::vector<unsigned char> acReferenceLinear(const std::vector<unsigned char>& acSource, int w, int h, int t,
                                             int W, int H)
{
    std::vector<unsigned char> acResult;
    const long long lDX = W > 1 ? W - 1 : 1;
    const long long lDY = H > 1 ? H - 1 : 1;
    for (int r = 0; r < H; r++)
        for (int i = 0; i < W; i++)
        {
            const int y0 = H > 1 ? r * (h - 1) / (H - 1) : 0;
            const int y1 = y0 < h - 1 ? y0 + 1 : y0;
            const long long fy =
                H > 1 ? static_cast<long long>(r) * (h - 1) - static_cast<long long>(y0) * (H - 1) : 0;
            const int x0 = W > 1 ? i * (w - 1) / (W - 1) : 0;
            const int x1 = x0 < w - 1 ? x0 + 1 : x0;
            const long long fx =
                W > 1 ? static_cast<long long>(i) * (w - 1) - static_cast<long long>(x0) * (W - 1) : 0;
            for (int c = 0; c < t; c++)
            {
                long long lValue = ((iTexel(acSource, w, t, x0, y0, c) * (lDX - fx) +
                                     iTexel(acSource, w, t, x1, y0, c) * fx) *
                                        (lDY - fy) +
                                    (iTexel(acSource, w, t, x0, y1, c) * (lDX - fx) +
                                     iTexel(acSource, w, t, x1, y1, c) * fx) *
                                        fy) /
                                   (lDY * lDX);
                acResult.push_back(
                    static_cast<unsigned char>(lValue < 0 ? 0 : (lValue > 255 ? 255 : lValue)));
            }
        }
    return acResult;
}

std::vector<unsigned char> acReferenceBox(const std::vector<unsigned char>& acSource, int w, int h, int t,
                                          int W, int H)
{
    std::vector<unsigned char> acResult;
    for (int r = 0; r < H; r++)
        for (int i = 0; i < W; i++)
        {
            const double fX0 = i * (1.0 / W);
            const double fX1 = fX0 + 1.0 / W;
            const double fY0 = r * (1.0 / H);
            const double fY1 = fY0 + 1.0 / H;
            const int xFirst = static_cast<int>(std::floor(fX0 * w));
            const int xLast = std::min(w - 1, static_cast<int>(std::floor(fX1 * w)));
            const int yFirst = static_cast<int>(std::floor(fY0 * h));
            const int yLast = std::min(h - 1, static_cast<int>(std::floor(fY1 * h)));
            double afSum[4] = {0.0, 0.0, 0.0, 0.0};
            for (int y = yFirst; y <= yLast; y++)
                for (int x = xFirst; x <= xLast; x++)
                {
                    const double fSX0 = x * (1.0 / w);
                    const double fSX1 = fSX0 + 1.0 / w;
                    const double fSY0 = y * (1.0 / h);
                    const double fSY1 = fSY0 + 1.0 / h;
                    const double fWX = std::max(0.0, std::min(fX1, fSX1) - std::max(fX0, fSX0));
                    const double fWY = std::max(0.0, std::min(fY1, fSY1) - std::max(fY0, fSY0));
                    const double fWeight = fWX * fWY;
                    if (fWeight == 0.0) continue;
                    for (int c = 0; c < t; c++)
                        afSum[c] += iTexel(acSource, w, t, x, y, c) * fWeight;
                }
            for (int c = 0; c < t; c++)
            {
                const double fValue = std::floor(afSum[c] * (static_cast<double>(W) * H) + 0.5);
                acResult.push_back(static_cast<unsigned char>(std::min(255.0, std::max(0.0, fValue))));
            }
        }
    return acResult;
}

double fKernel(double d)
{
    const double s = std::fabs(d);
    if (s <= 1.0) return 1.5 * s * s * s - 2.5 * s * s + 1.0;
    if (s < 2.0) return -0.5 * s * s * s + 2.5 * s * s - 4.0 * s + 2.0;
    return 0.0;
}

std::vector<unsigned char> acReferenceBicubic(const std::vector<unsigned char>& acSource, int w, int h, int t,
                                              int W, int H)
{
    std::vector<unsigned char> acResult;
    const double sx = W >= 2 ? static_cast<double>(w - 1) / (W - 1) : 0.0;
    const double sy = H >= 2 ? static_cast<double>(h - 1) / (H - 1) : 0.0;
    for (int r = 0; r < H; r++)
        for (int i = 0; i < W; i++)
        {
            const double u = i * sx;
            const double v = r * sy;
            const int x0 = static_cast<int>(std::floor(u));
            const int y0 = static_cast<int>(std::floor(v));
            const double tx = u - x0;
            const double ty = v - y0;
            const double afWX[4] = {fKernel(tx + 1), fKernel(tx), fKernel(tx - 1), fKernel(tx - 2)};
            const double afWY[4] = {fKernel(ty + 1), fKernel(ty), fKernel(ty - 1), fKernel(ty - 2)};
            double afSum[4] = {0.0, 0.0, 0.0, 0.0};
            double fWeights = 0.0;
            for (int m = 0; m < 4; m++)
                for (int n = 0; n < 4; n++)
                {
                    const int x = std::min(w - 1, std::max(0, x0 - 1 + n));
                    const int y = std::min(h - 1, std::max(0, y0 - 1 + m));
                    for (int c = 0; c < t; c++)
                        afSum[c] += iTexel(acSource, w, t, x, y, c) * afWX[n] * afWY[m];
                    fWeights += afWX[n] * afWY[m];
                }
            if (fWeights == 0.0) fWeights = 1.0;
            for (int c = 0; c < t; c++)
            {
                const double fValue = std::round(afSum[c] / fWeights);
                acResult.push_back(static_cast<unsigned char>(std::min(255.0, std::max(0.0, fValue))));
            }
        }
    return acResult;
}

// ---------------------------------------------------------------------------
// Each filter against its reference on random pictures

struct tdFilterCase
{
    const char* pszName;
    void (Image::*pvScale)(int, int);
    std::vector<unsigned char> (*pacReference)(const std::vector<unsigned char>&, int, int, int, int, int);
};

class ScaleAgainstReference : public ::testing::TestWithParam<tdFilterCase>
{
};

TEST_P(ScaleAgainstReference, RandomPicturesUpAndDown)
{
    const tdFilterCase& oCase = GetParam();
    std::mt19937 oRandom(20240601);
    for (int iTrial = 0; iTrial < 400; iTrial++)
    {
        const int w = 1 + static_cast<int>(oRandom() % 24);
        const int h = 1 + static_cast<int>(oRandom() % 24);
        const int t = 1 + static_cast<int>(oRandom() % 4);
        // Every fourth trial shrinks both sides; the others pick freely.
        const int W =
            (iTrial % 4 == 0) ? 1 + static_cast<int>(oRandom() % w) : 1 + static_cast<int>(oRandom() % 48);
        const int H =
            (iTrial % 4 == 0) ? 1 + static_cast<int>(oRandom() % h) : 1 + static_cast<int>(oRandom() % 48);
        Image* poImage = poRandomImage(w, h, t, &oRandom);
        const std::vector<unsigned char> acSource = acTexels(*poImage);
        const std::vector<unsigned char> acExpected =
            (w == W && h == H) ? acSource : oCase.pacReference(acSource, w, h, t, W, H);
        (poImage->*oCase.pvScale)(W, H);
        ASSERT_EQ(poImage->m_iWidth, W);
        ASSERT_EQ(poImage->m_iHeight, H);
        ASSERT_EQ(poImage->m_iTexelSize, t);
        ASSERT_EQ(acTexels(*poImage), acExpected)
            << w << "x" << h << " -> " << W << "x" << H << ", texel " << t;
        delete poImage;
    }
}

// Large ratios: the box filter averages many source texels per cell and the
// interpolating filters spread few over many.
TEST_P(ScaleAgainstReference, LargeRatios)
{
    const tdFilterCase& oCase = GetParam();
    std::mt19937 oRandom(99);
    const int aiSizes[][4] = {
        {300, 7, 3, 2}, {5, 3, 211, 97}, {97, 61, 13, 7}, {1, 1, 17, 9}, {64, 1, 1, 64}};
    for (const auto& aiSize : aiSizes)
    {
        for (int t = 1; t <= 4; t++)
        {
            Image* poImage = poRandomImage(aiSize[0], aiSize[1], t, &oRandom);
            const std::vector<unsigned char> acExpected =
                oCase.pacReference(acTexels(*poImage), aiSize[0], aiSize[1], t, aiSize[2], aiSize[3]);
            (poImage->*oCase.pvScale)(aiSize[2], aiSize[3]);
            ASSERT_EQ(acTexels(*poImage), acExpected) << aiSize[0] << "x" << aiSize[1] << " -> " << aiSize[2]
                                                      << "x" << aiSize[3] << ", texel " << t;
            delete poImage;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ScaleAgainstReference,
    ::testing::Values(tdFilterCase{"Nearest", &Image::vScaleNearest, &acReferenceNearest},
                      tdFilterCase{"Linear", &Image::vScaleLinear, &acReferenceLinear},
                      tdFilterCase{"Box", &Image::vScaleBox, &acReferenceBox},
                      tdFilterCase{"Bicubic", &Image::vScaleBicubic, &acReferenceBicubic}),
    [](const ::testing::TestParamInfo<tdFilterCase>& oInfo) { return oInfo.param.pszName; });

// ---------------------------------------------------------------------------
// Worked examples

// One stored row of grey texels.
Image* poGreyRow(const std::vector<unsigned char>& acValues, int iRows)
{
    const int iWidth = static_cast<int>(acValues.size());
    Image* poImage = new Image(iWidth, iRows, 1, Background_Black, 1.0);
    for (int y = 0; y < iRows; y++)
        memcpy(poImage->m_pucTexels + static_cast<size_t>(y) * iWidth, acValues.data(), acValues.size());
    return poImage;
}

TEST(ScaleExamples, NearestFourToSevenColumns)
{
    Image* poImage = poGreyRow({10, 11, 12, 13}, 1);
    poImage->vScaleNearest(7, 1);
    const std::vector<unsigned char> acExpected = {10, 11, 11, 12, 12, 13, 13};
    EXPECT_EQ(acTexels(*poImage), acExpected);
    delete poImage;
}

TEST(ScaleExamples, BilinearMiddleOfZeroAnd255Is127)
{
    Image* poImage = poGreyRow({0, 255}, 2);
    poImage->vScaleLinear(3, 2);
    const std::vector<unsigned char> acExpected = {0, 127, 255, 0, 127, 255};
    EXPECT_EQ(acTexels(*poImage), acExpected);
    delete poImage;
}

TEST(ScaleExamples, BoxAveragesPairsRoundingHalvesUp)
{
    Image* poImage = poGreyRow({10, 20, 30, 41}, 1);
    poImage->vScaleBox(2, 1);
    const std::vector<unsigned char> acExpected = {15, 36};
    EXPECT_EQ(acTexels(*poImage), acExpected);
    delete poImage;
}

TEST(ScaleExamples, BicubicReproducesAConstantPicture)
{
    std::mt19937 oRandom(5);
    const int aiSizes[][4] = {{7, 5, 19, 13}, {19, 13, 7, 5}, {2, 2, 9, 3}, {1, 1, 4, 4}, {30, 2, 11, 1}};
    for (const auto& aiSize : aiSizes)
    {
        for (int t = 1; t <= 4; t++)
        {
            Image oImage(aiSize[0], aiSize[1], t, Background_Black, 1.0);
            unsigned char acValue[4];
            for (unsigned char& c : acValue)
                c = static_cast<unsigned char>(oRandom());
            for (size_t i = 0; i < uiBufferSize(oImage); i++)
                oImage.m_pucTexels[i] = acValue[i % t];
            oImage.vScaleBicubic(aiSize[2], aiSize[3]);
            ASSERT_EQ(oImage.m_iWidth, aiSize[2]);
            for (size_t i = 0; i < uiBufferSize(oImage); i++)
                ASSERT_EQ(oImage.m_pucTexels[i], acValue[i % t]) << "byte " << i;
        }
    }
}

TEST(ScaleExamples, BicubicKeepsTheCornerTexels)
{
    std::mt19937 oRandom(6);
    const int aiSizes[][4] = {{7, 5, 19, 13}, {19, 13, 7, 5}, {13, 3, 100, 41}, {255, 97, 17, 3}};
    for (const auto& aiSize : aiSizes)
    {
        Image* poImage = poRandomImage(aiSize[0], aiSize[1], 3, &oRandom);
        const int w = aiSize[0];
        const int h = aiSize[1];
        const Color aoCorners[4] = {poImage->oGetPixel(0, 0), poImage->oGetPixel(w - 1, 0),
                                    poImage->oGetPixel(0, h - 1), poImage->oGetPixel(w - 1, h - 1)};
        poImage->vScaleBicubic(aiSize[2], aiSize[3]);
        const int W = aiSize[2];
        const int H = aiSize[3];
        EXPECT_EQ(poImage->oGetPixel(0, 0), aoCorners[0]);
        EXPECT_EQ(poImage->oGetPixel(W - 1, 0), aoCorners[1]);
        EXPECT_EQ(poImage->oGetPixel(0, H - 1), aoCorners[2]);
        EXPECT_EQ(poImage->oGetPixel(W - 1, H - 1), aoCorners[3]);
        delete poImage;
    }
}

// ---------------------------------------------------------------------------
// The dispatchers

TEST(ScaleDispatch, AutoUsesTheBoxFilterWhenEitherSideShrinks)
{
    std::mt19937 oRandom(8);
    Image* poSource = poRandomImage(100, 100, 3, &oRandom);
    const int aiTargets[][3] = {
        // width height box?
        {200, 50, 1}, {50, 200, 1}, {50, 50, 1}, {200, 100, 0}, {100, 200, 0}, {101, 101, 0},
    };
    for (const auto& aiTarget : aiTargets)
    {
        SCOPED_TRACE(::testing::Message() << aiTarget[0] << "x" << aiTarget[1]);
        Image* poExpected = poSource->poCopy();
        if (aiTarget[2])
            poExpected->vScaleBox(aiTarget[0], aiTarget[1]);
        else
            poExpected->vScaleLinear(aiTarget[0], aiTarget[1]);
        Image* poAuto = poSource->poCopy();
        poAuto->vScale(aiTarget[0], aiTarget[1]);
        Image* poAutoFilter = poSource->poCopy();
        poAutoFilter->vScale(aiTarget[0], aiTarget[1], ResizeFilter_Auto);
        EXPECT_EQ(acTexels(*poAuto), acTexels(*poExpected));
        EXPECT_EQ(acTexels(*poAutoFilter), acTexels(*poExpected));
        delete poExpected;
        delete poAuto;
        delete poAutoFilter;
    }
    delete poSource;
}

TEST(ScaleDispatch, EachFilterValueReachesItsFilter)
{
    std::mt19937 oRandom(9);
    Image* poSource = poRandomImage(13, 11, 3, &oRandom);
    const struct
    {
        tdResizeFilter eFilter;
        void (Image::*pvScale)(int, int);
    } aoFilters[] = {
        {ResizeFilter_Nearest, &Image::vScaleNearest},
        {ResizeFilter_Linear, &Image::vScaleLinear},
        {ResizeFilter_Box, &Image::vScaleBox},
        {ResizeFilter_Bicubic, &Image::vScaleBicubic},
    };
    for (const auto& oFilter : aoFilters)
    {
        Image* poExpected = poSource->poCopy();
        (poExpected->*oFilter.pvScale)(29, 7);
        Image* poDispatched = poSource->poCopy();
        poDispatched->vScale(29, 7, oFilter.eFilter);
        EXPECT_EQ(acTexels(*poDispatched), acTexels(*poExpected)) << g_apszResizeFilterNames[oFilter.eFilter];
        delete poExpected;
        delete poDispatched;
    }
    delete poSource;
}

TEST(ScaleDispatch, UnknownFilterValuesDoNothing)
{
    std::mt19937 oRandom(10);
    Image* poImage = poRandomImage(13, 11, 3, &oRandom);
    const std::vector<unsigned char> acBefore = acTexels(*poImage);
    poImage->vScale(29, 7, static_cast<tdResizeFilter>(5));
    poImage->vScale(29, 7, static_cast<tdResizeFilter>(-1));
    EXPECT_EQ(poImage->m_iWidth, 13);
    EXPECT_EQ(poImage->m_iHeight, 11);
    EXPECT_EQ(acTexels(*poImage), acBefore);
    delete poImage;
}

// ---------------------------------------------------------------------------
// Sizes at the edges

TEST(ScaleEdges, SameSizeChangesNothingForEveryFilter)
{
    std::mt19937 oRandom(11);
    for (int t = 1; t <= 4; t++)
    {
        Image* poImage = poRandomImage(17, 9, t, &oRandom);
        const std::vector<unsigned char> acBefore = acTexels(*poImage);
        const unsigned char* pucBefore = poImage->m_pucTexels;
        for (int iFilter = 0; iFilter < ResizeFilter_Count; iFilter++)
            poImage->vScale(17, 9, static_cast<tdResizeFilter>(iFilter));
        poImage->vScale(17, 9);
        poImage->vScaleNearest(17, 9);
        poImage->vScaleLinear(17, 9);
        poImage->vScaleBox(17, 9);
        poImage->vScaleBicubic(17, 9);
        EXPECT_EQ(poImage->m_pucTexels, pucBefore);
        EXPECT_EQ(acTexels(*poImage), acBefore);
        delete poImage;
    }
}

// Target width or height 1: the interpolating filters take source index 0 in that
// direction (corner-aligned mappings have no other defined position).
TEST(ScaleEdges, SizeOneTakesTheFirstColumnOrStoredRow)
{
    std::mt19937 oRandom(12);
    void (Image::*apvFilters[])(int, int) = {&Image::vScaleNearest, &Image::vScaleLinear,
                                             &Image::vScaleBicubic};
    for (auto pvFilter : apvFilters)
    {
        for (int t = 1; t <= 4; t++)
        {
            Image* poSource = poRandomImage(9, 6, t, &oRandom);
            const std::vector<unsigned char> acSource = acTexels(*poSource);

            Image* poColumn = poSource->poCopy();
            (poColumn->*pvFilter)(1, 6);
            ASSERT_EQ(poColumn->m_iWidth, 1);
            for (int y = 0; y < 6; y++)
                for (int c = 0; c < t; c++)
                    EXPECT_EQ(poColumn->m_pucTexels[y * t + c], iTexel(acSource, 9, t, 0, y, c));

            Image* poRow = poSource->poCopy();
            (poRow->*pvFilter)(9, 1);
            ASSERT_EQ(poRow->m_iHeight, 1);
            for (int x = 0; x < 9 * t; x++)
                EXPECT_EQ(poRow->m_pucTexels[x], acSource[x]);

            Image* poDot = poSource->poCopy();
            (poDot->*pvFilter)(1, 1);
            ASSERT_EQ(poDot->m_iWidth, 1);
            ASSERT_EQ(poDot->m_iHeight, 1);
            for (int c = 0; c < t; c++)
                EXPECT_EQ(poDot->m_pucTexels[c], acSource[c]);

            delete poSource;
            delete poColumn;
            delete poRow;
            delete poDot;
        }
    }
}

TEST(ScaleEdges, BoxToOneTexelAveragesTheWholePicture)
{
    Image* poImage = poGreyRow({10, 20, 30, 41}, 1);
    poImage->vScaleBox(1, 1);
    ASSERT_NE(poImage->m_pucTexels, nullptr);
    EXPECT_EQ(poImage->m_pucTexels[0], 25); // 101 / 4 = 25.25
    delete poImage;
}

TEST(ScaleEdges, SizeBelowOneLeavesNoTexelsOrForBicubicNoChange)
{
    std::mt19937 oRandom(13);
    void (Image::*apvFilters[])(int, int) = {&Image::vScaleNearest, &Image::vScaleLinear, &Image::vScaleBox};
    const int aiSizes[][2] = {{0, 5}, {5, 0}, {0, 0}, {-3, 4}, {4, -3}};
    for (auto pvFilter : apvFilters)
        for (const auto& aiSize : aiSizes)
        {
            Image* poImage = poRandomImage(6, 4, 3, &oRandom);
            (poImage->*pvFilter)(aiSize[0], aiSize[1]);
            EXPECT_EQ(poImage->m_pucTexels, nullptr);
            EXPECT_TRUE(poImage->m_iWidth <= 0 || poImage->m_iHeight <= 0);
            if (aiSize[0] >= 0 && aiSize[1] >= 0)
            {
                EXPECT_EQ(poImage->m_iWidth, aiSize[0]);
                EXPECT_EQ(poImage->m_iHeight, aiSize[1]);
            }
            const Color oBlack = {0, 0, 0, 255};
            EXPECT_EQ(poImage->oGetPixel(0, 0), oBlack);
            // A picture without texels stays without them: it never claims a size
            // that its buffer does not have.
            (poImage->*pvFilter)(3, 3);
            poImage->vScale(7, 2);
            EXPECT_EQ(poImage->m_pucTexels, nullptr);
            EXPECT_TRUE(poImage->m_iWidth <= 0 || poImage->m_iHeight <= 0);
            delete poImage;
        }
    for (const auto& aiSize : aiSizes)
    {
        Image* poImage = poRandomImage(6, 4, 3, &oRandom);
        const std::vector<unsigned char> acBefore = acTexels(*poImage);
        poImage->vScaleBicubic(aiSize[0], aiSize[1]);
        EXPECT_EQ(poImage->m_iWidth, 6);
        EXPECT_EQ(poImage->m_iHeight, 4);
        EXPECT_EQ(acTexels(*poImage), acBefore);
        delete poImage;
    }
}

TEST(ScaleEdges, SizeBeyondTheLimitLeavesThePictureAlone)
{
    std::mt19937 oRandom(14);
    for (int iFilter = 0; iFilter < ResizeFilter_Count; iFilter++)
    {
        Image* poImage = poRandomImage(6, 4, 3, &oRandom);
        const std::vector<unsigned char> acBefore = acTexels(*poImage);
        poImage->vScale(g_iMaxImageDimension + 1, 4, static_cast<tdResizeFilter>(iFilter));
        poImage->vScale(6, INT_MAX, static_cast<tdResizeFilter>(iFilter));
        EXPECT_EQ(poImage->m_iWidth, 6);
        EXPECT_EQ(poImage->m_iHeight, 4);
        EXPECT_EQ(acTexels(*poImage), acBefore) << g_apszResizeFilterNames[iFilter];
        delete poImage;
    }
}

// ---------------------------------------------------------------------------
// Fitting: geometry and contents

struct tdFitCase
{
    const char* pszName;
    int w, h, t; // source picture
    double a;    // its pixel aspect ratio
    int W, H;    // canvas
    double A;    // canvas pixel aspect ratio
    tdFitMode eMode;
    int iShift;
    tdBackgroundType eBackground;
    tdRectangle oPlaced; // where the scaled picture goes, shift included, before clipping
    tdRectangle oRect;   // the reported, clipped rectangle
};

class FitGeometry : public ::testing::TestWithParam<tdFitCase>
{
};

// The canvas must equal the background with the picture, scaled by itself to the
// placed size, blitted at the placed position.
TEST_P(FitGeometry, RectangleAndCanvas)
{
    const tdFitCase& oCase = GetParam();
    for (int iFilter = 0; iFilter < ResizeFilter_Count; iFilter++)
    {
        SCOPED_TRACE(g_apszResizeFilterNames[iFilter]);
        const tdResizeFilter eFilter = static_cast<tdResizeFilter>(iFilter);
        std::mt19937 oRandom(15);
        Image* poImage = poRandomImage(oCase.w, oCase.h, oCase.t, &oRandom);
        poImage->m_fAspectRatio = oCase.a;

        Image oExpected(oCase.W, oCase.H, 3, oCase.eBackground, 1.0);
        Image* poScaled = poImage->poCopy();
        if (oCase.eMode != FitMode_None)
            poScaled->vScale(oCase.oPlaced.iWidth, oCase.oPlaced.iHeight, eFilter);
        ASSERT_EQ(poScaled->m_iWidth, oCase.oPlaced.iWidth);
        ASSERT_EQ(poScaled->m_iHeight, oCase.oPlaced.iHeight);
        oExpected.vBlit(poScaled, oCase.oPlaced.iX, oCase.oPlaced.iY);
        delete poScaled;

        tdRectangle oRect = {-1, -1, -1, -1};
        poImage->vFit(oCase.W, oCase.H, oCase.A, oCase.eMode, eFilter, &oRect, oCase.eBackground,
                      oCase.iShift);
        EXPECT_EQ(oRect, oCase.oRect);
        ASSERT_EQ(poImage->m_iWidth, oCase.W);
        ASSERT_EQ(poImage->m_iHeight, oCase.H);
        ASSERT_EQ(poImage->m_iTexelSize, 3);
        const double fSaneA = std::isfinite(oCase.A) && oCase.A > 0.0 ? oCase.A : 1.0;
        EXPECT_EQ(poImage->m_fAspectRatio, fSaneA);
        EXPECT_EQ(acTexels(*poImage), acTexels(oExpected));
        delete poImage;
    }
}

const double g_fNaN = std::numeric_limits<double>::quiet_NaN();
const double g_fInf = std::numeric_limits<double>::infinity();

// Worked by hand: sw = w a, tw = W A, k = tw / sw or H / h, placed at
// ((tw - sw k) / 2A, (H - h k) / 2) with size (sw k / A, h k), rounded half away
// from zero; "None" centres with truncating halves.
// clang-format off
const tdFitCase g_aoFitCases[] = {
    // name                  w    h    t  a      W    H    A      mode                 shift  background                placed                  rect
    {"Fit",                  100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_Fit,         0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"Crop",                 100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_Crop,        0,  Background_Black,        {-64, 0,   384, 192},   {0,   0,   256, 192}},
    {"CropWidth",            100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_CropWidth,   0,  Background_Black,        {-64, 0,   384, 192},   {0,   0,   256, 192}},
    {"CropHeight",           100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_CropHeight,  0,  Background_Checkerboard, {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"Fill",                 100, 50,  3, 2.0,   256, 192, 1.0,   FitMode_Fill,        0,  Background_Black,        {0,   0,   256, 192},   {0,   0,   256, 192}},
    {"NoneSmaller",          100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_None,        0,  Background_Checkerboard, {78,  71,  100, 50},    {78,  71,  100, 50}},
    {"NoneLarger",           301, 251, 3, 1.0,   256, 192, 1.0,   FitMode_None,        0,  Background_Black,        {-22, -29, 301, 251},   {0,   0,   256, 192}},
    {"NoneShifted",          100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_None,        100, Background_Black,       {178, 71,  100, 50},    {178, 71,  78,  50}},
    {"TallFit",              50,  100, 3, 1.0,   256, 192, 1.0,   FitMode_Fit,         0,  Background_Black,        {80,  0,   96,  192},   {80,  0,   96,  192}},
    {"TallCrop",             50,  100, 3, 1.0,   256, 192, 1.0,   FitMode_Crop,        0,  Background_Black,        {0,   -160, 256, 512},  {0,   0,   256, 192}},
    {"TallCropWidth",        50,  100, 3, 1.0,   256, 192, 1.0,   FitMode_CropWidth,   0,  Background_Black,        {80,  0,   96,  192},   {80,  0,   96,  192}},
    {"TallCropHeight",       50,  100, 3, 1.0,   256, 192, 1.0,   FitMode_CropHeight,  0,  Background_Black,        {0,   -160, 256, 512},  {0,   0,   256, 192}},
    {"SourceRatio2",         100, 100, 3, 2.0,   256, 192, 1.0,   FitMode_Fit,         0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"OutputRatio2",         100, 50,  3, 1.0,   256, 192, 2.0,   FitMode_Fit,         0,  Background_Black,        {32,  0,   192, 192},   {32,  0,   192, 192}},
    {"OutputRatio60Hz",      256, 212, 3, 1.0,   256, 212, 53.0 / 48.0, FitMode_Fit,   0,  Background_Black,        {12,  0,   232, 212},   {12,  0,   232, 212}},
    {"ShiftRight8",          100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_Fit,         8,  Background_Black,        {8,   32,  256, 128},   {8,   32,  248, 128}},
    {"ShiftLeft8",           100, 50,  3, 1.0,   256, 192, 1.0,   FitMode_Fit,         -8, Background_Black,        {-8,  32,  256, 128},   {0,   32,  248, 128}},
    {"HalfRoundsUp",         10,  10,  3, 1.0,   5,   4,   1.0,   FitMode_Fit,         0,  Background_Black,        {1,   0,   4,   4},     {1,   0,   4,   4}},
    {"MinusHalfRoundsDown",  10,  10,  3, 1.0,   5,   4,   1.0,   FitMode_Crop,        0,  Background_Black,        {0,   -1,  5,   5},     {0,   0,   5,   4}},
    {"PixelWidthRounds",     10,  10,  3, 1.0,   5,   5,   2.0,   FitMode_Fit,         0,  Background_Black,        {1,   0,   3,   5},     {1,   0,   3,   5}},
    {"GreySource",           40,  30,  1, 1.0,   64,  64,  1.0,   FitMode_Fit,         0,  Background_Checkerboard, {0,   8,   64,  48},    {0,   8,   64,  48}},
    {"RgbaSource",           40,  30,  4, 1.0,   64,  64,  1.0,   FitMode_Crop,        0,  Background_Checkerboard, {-11, 0,   85,  64},    {0,   0,   64,  64}},
    {"SourceRatioNaN",       100, 50,  3, g_fNaN, 256, 192, 1.0,  FitMode_Fit,         0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"SourceRatioZero",      100, 50,  3, 0.0,   256, 192, 1.0,   FitMode_Crop,        0,  Background_Black,        {-64, 0,   384, 192},   {0,   0,   256, 192}},
    {"SourceRatioInf",       100, 50,  3, g_fInf, 256, 192, 1.0,  FitMode_Fit,         0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"SourceRatioNegative",  100, 50,  3, -2.0,  256, 192, 1.0,   FitMode_Fit,         0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"OutputRatioNaN",       100, 50,  3, 1.0,   256, 192, g_fNaN, FitMode_Fit,        0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"OutputRatioZero",      100, 50,  3, 1.0,   256, 192, 0.0,   FitMode_Crop,        0,  Background_Black,        {-64, 0,   384, 192},   {0,   0,   256, 192}},
    {"OutputRatioInf",       100, 50,  3, 1.0,   256, 192, g_fInf, FitMode_Fit,        0,  Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
    {"OutputRatioMinusInf",  100, 50,  3, 1.0,   256, 192, -g_fInf, FitMode_CropHeight, 0, Background_Black,        {0,   32,  256, 128},   {0,   32,  256, 128}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, FitGeometry, ::testing::ValuesIn(g_aoFitCases),
                         [](const ::testing::TestParamInfo<tdFitCase>& oInfo)
                         { return oInfo.param.pszName; });

TEST(Fit, CropShowsTheMiddleColumns)
{
    // Column x of the source holds x in red, so the canvas shows which columns
    // survived: 100 columns become 384, of which 64..319 are visible.
    Image oImage(100, 50, 3, Background_Black, 1.0);
    for (int y = 0; y < 50; y++)
        for (int x = 0; x < 100; x++)
        {
            const Color oColor = {static_cast<unsigned char>(x), static_cast<unsigned char>(y), 0, 255};
            oImage.vSetPixel(x, y, &oColor);
        }
    tdRectangle oRect;
    oImage.vFit(256, 192, 1.0, FitMode_Crop, ResizeFilter_Nearest, &oRect, Background_Black, 0);
    // Nearest from 100 to 384: column i takes ((99 i + 191) / 383).
    for (int x = 0; x < 256; x++)
        EXPECT_EQ(oImage.oGetPixel(x, 100).r, (99 * (x + 64) + 191) / 383) << "canvas column " << x;
    EXPECT_EQ(oImage.oGetPixel(0, 0).r, 17);
    EXPECT_EQ(oImage.oGetPixel(255, 0).r, 82);
}

TEST(Fit, TransparentAreasKeepTheirColourAndAlphaIsDropped)
{
    Image oImage(4, 2, 4, Background_Black, 1.0);
    const Color oClear = {200, 100, 50, 0};
    const Color oHalf = {10, 20, 30, 128};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            oImage.vSetPixel(x, y, x < 2 ? &oClear : &oHalf);
    tdRectangle oRect;
    oImage.vFit(8, 4, 1.0, FitMode_None, ResizeFilter_Auto, &oRect, Background_Checkerboard, 0);
    ASSERT_EQ(oImage.m_iTexelSize, 3);
    const tdRectangle oExpectedRect = {2, 1, 4, 2};
    EXPECT_EQ(oRect, oExpectedRect);
    const Color oClearOpaque = {200, 100, 50, 255};
    const Color oHalfOpaque = {10, 20, 30, 255};
    for (int y = 1; y < 3; y++)
        for (int x = 2; x < 6; x++)
            EXPECT_EQ(oImage.oGetPixel(x, y), x < 4 ? oClearOpaque : oHalfOpaque) << x << ", " << y;
    // The checkerboard stays around it.
    const Color oWhite = {255, 255, 255, 255};
    EXPECT_EQ(oImage.oGetPixel(0, 0), oWhite);
    EXPECT_EQ(oImage.oGetPixel(7, 3), oWhite);
}

TEST(Fit, TheCanvasTakesOverAndDropsTheDither)
{
    Image oImage(10, 10, 1, Background_Black, 3.0);
    oImage.m_eDitheringMode = Dithering_Bayer2x2;
    oImage.m_piBayerMatrix = static_cast<int*>(calloc(4, sizeof(int)));
    oImage.m_iBayerLowThreshold = 10;
    oImage.m_iBayerHighThreshold = 20;
    oImage.vFit(30, 20, 0.75, FitMode_Fit, ResizeFilter_Linear, nullptr, Background_Black, 0);
    EXPECT_EQ(oImage.m_iWidth, 30);
    EXPECT_EQ(oImage.m_iHeight, 20);
    EXPECT_EQ(oImage.m_iTexelSize, 3);
    EXPECT_EQ(oImage.m_fAspectRatio, 0.75);
    EXPECT_EQ(oImage.m_eDitheringMode, Dithering_None);
    EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
    EXPECT_EQ(oImage.m_iBayerLowThreshold, 0);
    EXPECT_EQ(oImage.m_iBayerHighThreshold, 0);
}

// ---------------------------------------------------------------------------
// Fitting: sizes and ratios at the extremes

// An empty rectangle may lie anywhere (clipping leaves the position of a picture
// that missed the canvas); any other must lie inside the canvas.
bool bRectInsideCanvas(const tdRectangle& oRect, int W, int H)
{
    if (oRect.iWidth < 0 || oRect.iHeight < 0) return false;
    if (oRect.iWidth == 0 || oRect.iHeight == 0) return true;
    return oRect.iX >= 0 && oRect.iY >= 0 && static_cast<long long>(oRect.iX) + oRect.iWidth <= W &&
           static_cast<long long>(oRect.iY) + oRect.iHeight <= H;
}

bool bIsBackground(const Image& oImage, tdBackgroundType eBackground)
{
    Image oBackground(oImage.m_iWidth, oImage.m_iHeight, 3, eBackground, 1.0);
    return oImage.m_iTexelSize == 3 && acTexels(oImage) == acTexels(oBackground);
}

TEST(FitExtremes, OnePixelIntoAnEightKCanvas)
{
    Image oImage(1, 1, 3, Background_Black, 1.0);
    const Color oColor = {12, 34, 56, 255};
    oImage.vSetPixel(0, 0, &oColor);
    tdRectangle oRect;
    oImage.vFit(8192, 8192, 1.0, FitMode_Crop, ResizeFilter_Auto, &oRect, Background_Black, 0);
    const tdRectangle oWhole = {0, 0, 8192, 8192};
    EXPECT_EQ(oRect, oWhole);
    ASSERT_EQ(oImage.m_iWidth, 8192);
    ASSERT_EQ(oImage.m_iHeight, 8192);
    ASSERT_NE(oImage.m_pucTexels, nullptr);
    for (int i = 0; i < 8192; i += 97)
    {
        ASSERT_EQ(oImage.oGetPixel(i, (i * 7) % 8192), oColor) << i;
        ASSERT_EQ(oImage.oGetPixel(8191 - i, i), oColor) << i;
    }
    EXPECT_EQ(oImage.oGetPixel(8191, 8191), oColor);
}

TEST(FitExtremes, ScaleBeyondThePictureLimitLeavesTheBackground)
{
    // Cropped to the canvas height, 16384 x 1 would become 3473408 x 212.
    for (int iBackground = 0; iBackground < 2; iBackground++)
    {
        const tdBackgroundType eBackground = static_cast<tdBackgroundType>(iBackground);
        Image oImage(16384, 1, 3, Background_Checkerboard, 1.0);
        tdRectangle oRect = {-1, -1, -1, -1};
        oImage.vFit(256, 212, 1.0, FitMode_Crop, ResizeFilter_Auto, &oRect, eBackground, 0);
        ASSERT_EQ(oImage.m_iWidth, 256);
        ASSERT_EQ(oImage.m_iHeight, 212);
        EXPECT_TRUE(bIsBackground(oImage, eBackground));
        EXPECT_TRUE(bRectInsideCanvas(oRect, 256, 212)) << oRect;
        EXPECT_TRUE(oRect.iWidth == 0 || oRect.iHeight == 0) << oRect;
    }
}

TEST(FitExtremes, ThinPictureFittedShrinksToNothing)
{
    // Fitted to the width, 16384 x 1 would be 256 x 1/64 pixels high.
    Image oImage(16384, 1, 3, Background_Checkerboard, 1.0);
    tdRectangle oRect;
    oImage.vFit(256, 212, 1.0, FitMode_Fit, ResizeFilter_Auto, &oRect, Background_Black, 0);
    EXPECT_TRUE(bIsBackground(oImage, Background_Black));
    EXPECT_TRUE(bRectInsideCanvas(oRect, 256, 212)) << oRect;
}

TEST(FitExtremes, EmptyPictureAndEmptyCanvas)
{
    for (int iMode = 0; iMode < FitMode_Count; iMode++)
    {
        const tdFitMode eMode = static_cast<tdFitMode>(iMode);
        SCOPED_TRACE(g_apszFitModeNames[iMode]);
        Image oEmpty(1.0);
        tdRectangle oRect;
        oEmpty.vFit(64, 48, 1.0, eMode, ResizeFilter_Auto, &oRect, Background_Checkerboard, 0);
        EXPECT_EQ(oEmpty.m_iWidth, 64);
        EXPECT_EQ(oEmpty.m_iHeight, 48);
        EXPECT_TRUE(bIsBackground(oEmpty, Background_Checkerboard));
        EXPECT_TRUE(bRectInsideCanvas(oRect, 64, 48)) << oRect;

        const int aiCanvases[][2] = {
            {0, 0}, {0, 48}, {-5, 10}, {g_iMaxImageDimension + 1, 10}, {INT_MIN, INT_MAX}};
        for (const auto& aiCanvas : aiCanvases)
        {
            Image oImage(20, 10, 3, Background_Checkerboard, 1.0);
            oImage.vFit(aiCanvas[0], aiCanvas[1], 1.0, eMode, ResizeFilter_Auto, &oRect, Background_Black, 0);
            EXPECT_EQ(oImage.m_pucTexels, nullptr);
            EXPECT_EQ(oImage.oGetPixel(0, 0).r, 0);
        }
    }
}

// Finite but absurd ratios and shifts: no crash, no undefined arithmetic, a
// canvas of the asked size and a rectangle inside it.
TEST(FitExtremes, AbsurdRatiosAndShifts)
{
    const double afRatios[] = {1e-300, DBL_MIN, 4.9e-324, 1e300, DBL_MAX, 1e-9, 1e9};
    const int aiShifts[] = {0, INT_MAX, INT_MIN, 1 << 30, -(1 << 30)};
    for (int iMode = 0; iMode < FitMode_Count; iMode++)
    {
        const tdFitMode eMode = static_cast<tdFitMode>(iMode);
        for (double fSource : afRatios)
            for (double fTarget : {1.0, fSource})
                for (int iShift : aiShifts)
                {
                    SCOPED_TRACE(::testing::Message() << g_apszFitModeNames[iMode] << " a " << fSource
                                                      << " A " << fTarget << " shift " << iShift);
                    Image oImage(40, 30, 3, Background_Checkerboard, fSource);
                    tdRectangle oRect;
                    oImage.vFit(64, 48, fTarget, eMode, ResizeFilter_Auto, &oRect, Background_Black, iShift);
                    ASSERT_EQ(oImage.m_iWidth, 64);
                    ASSERT_EQ(oImage.m_iHeight, 48);
                    ASSERT_EQ(oImage.m_iTexelSize, 3);
                    EXPECT_TRUE(bRectInsideCanvas(oRect, 64, 48)) << oRect;
                }
    }
}

} // namespace
