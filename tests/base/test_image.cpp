// Tests of the picture type (texel layout, pixel access, ordered-dither reads,
// blitting, cropping, colour counting) and of the growable byte buffer.

#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

// Found by argument-dependent lookup, so they live beside Color in the global
// namespace; static keeps them to this file.
static bool operator==(const Color& oA, const Color& oB)
{
    return oA.r == oB.r && oA.g == oB.g && oA.b == oB.b && oA.a == oB.a;
}

static std::ostream& operator<<(std::ostream& oStream, const Color& oColor)
{
    return oStream << "(" << int(oColor.r) << ", " << int(oColor.g) << ", " << int(oColor.b) << ", "
                   << int(oColor.a) << ")";
}

namespace
{

constexpr Color g_oOpaqueBlack = {0, 0, 0, 255};
constexpr Color g_oOpaqueWhite = {255, 255, 255, 255};

size_t uiBufferSize(const Image& oImage)
{
    return static_cast<size_t>(oImage.m_iWidth) * oImage.m_iHeight * oImage.m_iTexelSize;
}

// Installs an ordered dither by hand: a malloc'd copy of the offsets, which the
// picture then owns.
void vInstallBayer(Image* poImage, tdDitheringMode eMode, const std::vector<int>& aiOffsets, int iLow,
                   int iHigh)
{
    free(poImage->m_piBayerMatrix);
    poImage->m_piBayerMatrix = static_cast<int*>(malloc(aiOffsets.size() * sizeof(int)));
    memcpy(poImage->m_piBayerMatrix, aiOffsets.data(), aiOffsets.size() * sizeof(int));
    poImage->m_eDitheringMode = eMode;
    poImage->m_iBayerLowThreshold = iLow;
    poImage->m_iBayerHighThreshold = iHigh;
}

// Fills every texel byte with random values.
void vRandomize(Image* poImage, std::mt19937* poRandom)
{
    for (size_t i = 0; i < uiBufferSize(*poImage); i++)
        poImage->m_pucTexels[i] = static_cast<unsigned char>((*poRandom)() & 0xFF);
}

// ---------------------------------------------------------------------------
// Construction and layout

TEST(ImageConstruction, EmptyPictureHasNoBufferAndAcceptsAccess)
{
    Image oImage(1.5);
    EXPECT_EQ(oImage.m_iWidth, 0);
    EXPECT_EQ(oImage.m_iHeight, 0);
    EXPECT_EQ(oImage.m_iTexelSize, 0);
    EXPECT_EQ(oImage.m_pucTexels, nullptr);
    EXPECT_EQ(oImage.m_fAspectRatio, 1.5);
    EXPECT_EQ(oImage.m_eDitheringMode, Dithering_None);
    EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
    const Color oRed = {255, 0, 0, 255};
    oImage.vSetPixel(0, 0, &oRed);
    EXPECT_EQ(oImage.oGetPixel(0, 0), g_oOpaqueBlack);
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), 0);
}

TEST(ImageConstruction, SizedPictureStartsWithoutDither)
{
    Image oImage(5, 4, 3, Background_Black, 0.5);
    ASSERT_NE(oImage.m_pucTexels, nullptr);
    EXPECT_EQ(oImage.m_iWidth, 5);
    EXPECT_EQ(oImage.m_iHeight, 4);
    EXPECT_EQ(oImage.m_iTexelSize, 3);
    EXPECT_EQ(oImage.m_fAspectRatio, 0.5);
    EXPECT_EQ(oImage.m_eDitheringMode, Dithering_None);
    EXPECT_EQ(oImage.m_piBayerMatrix, nullptr);
    EXPECT_EQ(oImage.m_iBayerLowThreshold, 0);
    EXPECT_EQ(oImage.m_iBayerHighThreshold, 0);
}

TEST(ImageConstruction, SizeBeyondTheLimitGivesAnEmptyPicture)
{
    Image oWide(g_iMaxImageDimension + 1, 1, 3, Background_Black, 1.0);
    EXPECT_EQ(oWide.m_pucTexels, nullptr);
    EXPECT_EQ(oWide.m_iWidth, 0);
    EXPECT_EQ(oWide.m_iHeight, 0);
    Image oNegative(-3, 4, 1, Background_Black, 1.0);
    EXPECT_EQ(oNegative.m_pucTexels, nullptr);
    EXPECT_EQ(oNegative.m_iWidth, 0);
    EXPECT_EQ(oNegative.oGetPixel(0, 0), g_oOpaqueBlack);
}

TEST(ImageLayout, PixelZeroZeroIsTheFirstTexelOfTheLastStoredRow)
{
    for (int iTexelSize = 1; iTexelSize <= 4; iTexelSize++)
    {
        SCOPED_TRACE(iTexelSize);
        Image oImage(4, 3, iTexelSize, Background_Black, 1.0);
        const Color oWhite = {255, 255, 255, 255};
        oImage.vSetPixel(0, 0, &oWhite);
        for (size_t i = 0; i < uiBufferSize(oImage); i++)
        {
            // Stored rows: 0 = picture row 2, 1 = row 1, 2 = row 0; the texel of (0, 0)
            // starts at 8 texels.
            bool bInTexel = i >= 8u * iTexelSize && i < 9u * iTexelSize;
            EXPECT_EQ(oImage.m_pucTexels[i], bInTexel ? 255 : 0) << "byte " << i;
        }
        EXPECT_EQ(oImage.oGetPixel(0, 0), g_oOpaqueWhite);
    }
}

TEST(ImageLayout, EveryPixelLandsAtItsBottomUpOffset)
{
    const int iWidth = 7;
    const int iHeight = 5;
    for (int iTexelSize = 3; iTexelSize <= 4; iTexelSize++)
    {
        SCOPED_TRACE(iTexelSize);
        Image oImage(iWidth, iHeight, iTexelSize, Background_Black, 1.0);
        for (int iY = 0; iY < iHeight; iY++)
            for (int iX = 0; iX < iWidth; iX++)
            {
                const Color oColor = {static_cast<unsigned char>(iX), static_cast<unsigned char>(iY), 77, 99};
                oImage.vSetPixel(iX, iY, &oColor);
            }
        for (int iY = 0; iY < iHeight; iY++)
            for (int iX = 0; iX < iWidth; iX++)
            {
                const unsigned char* puc =
                    oImage.m_pucTexels + ((iHeight - 1 - iY) * iWidth + iX) * iTexelSize;
                EXPECT_EQ(puc[0], iX);
                EXPECT_EQ(puc[1], iY);
                EXPECT_EQ(puc[2], 77);
                const Color oExpected = {static_cast<unsigned char>(iX), static_cast<unsigned char>(iY), 77,
                                         static_cast<unsigned char>(iTexelSize == 4 ? 99 : 255)};
                if (iTexelSize == 4)
                {
                    EXPECT_EQ(puc[3], 99);
                }
                EXPECT_EQ(oImage.oGetPixel(iX, iY), oExpected);
            }
    }
}

// ---------------------------------------------------------------------------
// Writing and reading pixels

TEST(ImagePixels, GreyWriteOfTheWorkedExample)
{
    Image oImage(1, 1, 1, Background_Black, 1.0);
    const Color oColor = {10, 20, 31, 0};
    oImage.vSetPixel(0, 0, &oColor);
    // ((10 + 20 + 31 + 1) * 21846) >> 16 = 20
    EXPECT_EQ(oImage.m_pucTexels[0], 20);
    const Color oExpected = {20, 20, 20, 255};
    EXPECT_EQ(oImage.oGetPixel(0, 0), oExpected);
}

// The grey of a write is the channel sum divided by three and rounded to the
// nearest (a sum never lies halfway between two multiples of three).
TEST(ImagePixels, GreyIsTheRoundedThirdOfTheChannelSumForEverySum)
{
    Image oGrey(1, 1, 1, Background_Black, 1.0);
    Image oGreyAlpha(1, 1, 2, Background_Black, 1.0);
    for (int iSum = 0; iSum <= 765; iSum++)
    {
        const int iR = iSum > 255 ? 255 : iSum;
        const int iG = iSum - iR > 255 ? 255 : iSum - iR;
        const int iB = iSum - iR - iG;
        const Color oColor = {static_cast<unsigned char>(iR), static_cast<unsigned char>(iG),
                              static_cast<unsigned char>(iB), static_cast<unsigned char>(iSum & 0xFF)};
        const int iExpected = (iSum + 1) / 3;
        oGrey.vSetPixel(0, 0, &oColor);
        oGreyAlpha.vSetPixel(0, 0, &oColor);
        ASSERT_EQ(oGrey.m_pucTexels[0], iExpected) << "sum " << iSum;
        ASSERT_EQ(oGreyAlpha.m_pucTexels[0], iExpected) << "sum " << iSum;
        ASSERT_EQ(oGreyAlpha.m_pucTexels[1], iSum & 0xFF) << "sum " << iSum;
        const Color oRead = {static_cast<unsigned char>(iExpected), static_cast<unsigned char>(iExpected),
                             static_cast<unsigned char>(iExpected), static_cast<unsigned char>(iSum & 0xFF)};
        ASSERT_EQ(oGreyAlpha.oGetPixel(0, 0), oRead);
    }
}

TEST(ImagePixels, RgbDropsAlphaAndRgbaKeepsIt)
{
    const Color oColor = {1, 2, 3, 4};
    Image oRGB(1, 1, 3, Background_Black, 1.0);
    Image oRGBA(1, 1, 4, Background_Black, 1.0);
    oRGB.vSetPixel(0, 0, &oColor);
    oRGBA.vSetPixel(0, 0, &oColor);
    const Color oOpaque = {1, 2, 3, 255};
    EXPECT_EQ(oRGB.oGetPixel(0, 0), oOpaque);
    EXPECT_EQ(oRGBA.oGetPixel(0, 0), oColor);
}

TEST(ImagePixels, ReadsOutsideArOpaqueBlackAndWritesOutsideAreIgnored)
{
    std::mt19937 oRandom(1);
    for (int iTexelSize = 1; iTexelSize <= 4; iTexelSize++)
    {
        SCOPED_TRACE(iTexelSize);
        Image oImage(5, 3, iTexelSize, Background_Black, 1.0);
        vRandomize(&oImage, &oRandom);
        const std::vector<unsigned char> acBefore(oImage.m_pucTexels,
                                                  oImage.m_pucTexels + uiBufferSize(oImage));
        const int aiOutside[][2] = {{-1, 0},  {5, 0}, {0, -1},      {0, 3},
                                    {-1, -1}, {5, 3}, {-100000, 7}, {7, 100000}};
        const Color oWhite = {255, 255, 255, 255};
        for (const auto& aiPoint : aiOutside)
        {
            EXPECT_EQ(oImage.oGetPixel(aiPoint[0], aiPoint[1]), g_oOpaqueBlack)
                << aiPoint[0] << ", " << aiPoint[1];
            oImage.vSetPixel(aiPoint[0], aiPoint[1], &oWhite);
        }
        EXPECT_EQ(0, memcmp(acBefore.data(), oImage.m_pucTexels, acBefore.size()));
    }
}

TEST(ImageBackground, CheckerboardHasWhiteAtTheOrigin)
{
    for (int iTexelSize = 1; iTexelSize <= 4; iTexelSize++)
    {
        SCOPED_TRACE(iTexelSize);
        Image oImage(5, 4, iTexelSize, Background_Checkerboard, 1.0);
        for (int iY = 0; iY < 4; iY++)
            for (int iX = 0; iX < 5; iX++)
                EXPECT_EQ(oImage.oGetPixel(iX, iY), ((iX + iY) % 2 == 0) ? g_oOpaqueWhite : g_oOpaqueBlack)
                    << iX << ", " << iY;
    }
}

TEST(ImageBackground, BlackIsAllZeroBytesAlphaIncluded)
{
    for (int iTexelSize = 1; iTexelSize <= 4; iTexelSize++)
    {
        Image oImage(6, 5, iTexelSize, Background_Black, 1.0);
        for (size_t i = 0; i < uiBufferSize(oImage); i++)
            ASSERT_EQ(oImage.m_pucTexels[i], 0) << "texel size " << iTexelSize << ", byte " << i;
    }
}

// ---------------------------------------------------------------------------
// Ordered dither on reading

class ImageBayer : public ::testing::Test
{
protected:
    // A 2 x 2 grey picture, 128 everywhere, opaque.
    Image m_oImage{2, 2, 2, Background_Black, 1.0};

    void SetUp() override
    {
        for (size_t i = 0; i < uiBufferSize(m_oImage); i += 2)
        {
            m_oImage.m_pucTexels[i] = 128;
            m_oImage.m_pucTexels[i + 1] = 255;
        }
    }
};

TEST_F(ImageBayer, OffsetMinus128TurnsGrey128Black)
{
    vInstallBayer(&m_oImage, Dithering_Bayer2x2, {-128, 0, 64, -64}, 0, 255);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), g_oOpaqueBlack);
    const Color oPlus64 = {192, 192, 192, 255};
    const Color oMinus64 = {64, 64, 64, 255};
    const Color oGrey = {128, 128, 128, 255};
    EXPECT_EQ(m_oImage.oGetPixel(1, 0), oGrey);
    EXPECT_EQ(m_oImage.oGetPixel(0, 1), oPlus64);
    EXPECT_EQ(m_oImage.oGetPixel(1, 1), oMinus64);
}

TEST_F(ImageBayer, ValuesBelowTheLowThresholdOrAboveTheHighOneStay)
{
    const Color oGrey = {128, 128, 128, 255};
    vInstallBayer(&m_oImage, Dithering_Bayer2x2, {-128, 0, 64, -64}, 129, 255);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), oGrey);
    vInstallBayer(&m_oImage, Dithering_Bayer2x2, {-128, 0, 64, -64}, 0, 127);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), oGrey);
    // Both bounds are inclusive.
    vInstallBayer(&m_oImage, Dithering_Bayer2x2, {-128, 0, 64, -64}, 128, 128);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), g_oOpaqueBlack);
}

TEST_F(ImageBayer, ThresholdsApplyToEachChannelAndAlphaNeverChanges)
{
    Image oImage(1, 1, 4, Background_Black, 1.0);
    const Color oColor = {50, 150, 250, 7};
    oImage.vSetPixel(0, 0, &oColor);
    vInstallBayer(&oImage, Dithering_Bayer2x2, {10, 10, 10, 10}, 100, 200);
    const Color oExpected = {50, 160, 250, 7};
    EXPECT_EQ(oImage.oGetPixel(0, 0), oExpected);
}

TEST_F(ImageBayer, ResultsAreClampedToTheChannelRange)
{
    Image oImage(1, 1, 3, Background_Black, 1.0);
    const Color oColor = {5, 250, 128, 255};
    oImage.vSetPixel(0, 0, &oColor);
    vInstallBayer(&oImage, Dithering_Bayer2x2, {100, 0, 0, 0}, 0, 255);
    const Color oUp = {105, 255, 228, 255};
    EXPECT_EQ(oImage.oGetPixel(0, 0), oUp);
    vInstallBayer(&oImage, Dithering_Bayer2x2, {-100, 0, 0, 0}, 0, 255);
    const Color oDown = {0, 150, 28, 255};
    EXPECT_EQ(oImage.oGetPixel(0, 0), oDown);
}

// The offset of (x, y) is matrix[(x & (n - 1)) + (y & (n - 1)) n], also for
// coordinates outside the picture, whose black receives it too.
TEST_F(ImageBayer, MatrixIndexWrapsForEverySideAndOutsideThePicture)
{
    const tdDitheringMode aeModes[] = {Dithering_Bayer2x2, Dithering_Bayer4x4, Dithering_Bayer8x8};
    for (tdDitheringMode eMode : aeModes)
    {
        const int iN = eMode == Dithering_Bayer2x2 ? 2 : (eMode == Dithering_Bayer4x4 ? 4 : 8);
        SCOPED_TRACE(iN);
        Image oImage(5, 3, 3, Background_Black, 1.0);
        const Color oValue = {100, 100, 100, 255};
        for (int iY = 0; iY < 3; iY++)
            for (int iX = 0; iX < 5; iX++)
                oImage.vSetPixel(iX, iY, &oValue);
        std::vector<int> aiOffsets(static_cast<size_t>(iN * iN));
        for (int i = 0; i < iN * iN; i++)
            aiOffsets[i] = i + 1;
        vInstallBayer(&oImage, eMode, aiOffsets, 0, 255);
        for (int iY = -9; iY < 12; iY++)
            for (int iX = -9; iX < 12; iX++)
            {
                const int iCol = ((iX % iN) + iN) % iN;
                const int iRow = ((iY % iN) + iN) % iN;
                const bool bInside = iX >= 0 && iY >= 0 && iX < 5 && iY < 3;
                const unsigned char c =
                    static_cast<unsigned char>((bInside ? 100 : 0) + iCol + iRow * iN + 1);
                const Color oExpected = {c, c, c, 255};
                ASSERT_EQ(oImage.oGetPixel(iX, iY), oExpected) << iX << ", " << iY;
            }
    }
}

TEST_F(ImageBayer, NoneAndErrorDiffusionModesIgnoreTheMatrix)
{
    const Color oGrey = {128, 128, 128, 255};
    vInstallBayer(&m_oImage, Dithering_None, {-128, -128, -128, -128}, 0, 255);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), oGrey);
    vInstallBayer(&m_oImage, Dithering_ErrorDiffusion, {-128, -128, -128, -128}, 0, 255);
    EXPECT_EQ(m_oImage.oGetPixel(0, 0), oGrey);
}

TEST_F(ImageBayer, CopyDropsTheDitherStateButKeepsTheTexels)
{
    m_oImage.m_fAspectRatio = 1.25;
    vInstallBayer(&m_oImage, Dithering_Bayer2x2, {-128, 0, 64, -64}, 0, 255);
    Image* poCopy = m_oImage.poCopy();
    ASSERT_NE(poCopy, nullptr);
    EXPECT_EQ(poCopy->m_iWidth, 2);
    EXPECT_EQ(poCopy->m_iHeight, 2);
    EXPECT_EQ(poCopy->m_iTexelSize, 2);
    EXPECT_EQ(poCopy->m_fAspectRatio, 1.25);
    EXPECT_EQ(poCopy->m_eDitheringMode, Dithering_None);
    EXPECT_EQ(poCopy->m_piBayerMatrix, nullptr);
    EXPECT_EQ(poCopy->m_iBayerLowThreshold, 0);
    EXPECT_EQ(poCopy->m_iBayerHighThreshold, 0);
    ASSERT_NE(poCopy->m_pucTexels, m_oImage.m_pucTexels);
    EXPECT_EQ(0, memcmp(poCopy->m_pucTexels, m_oImage.m_pucTexels, uiBufferSize(m_oImage)));
    const Color oGrey = {128, 128, 128, 255};
    EXPECT_EQ(poCopy->oGetPixel(0, 0), oGrey);
    // The copy's buffer is its own.
    poCopy->m_pucTexels[0] = 1;
    EXPECT_EQ(m_oImage.m_pucTexels[0], 128);
    delete poCopy;
}

TEST(ImageCopy, CopyOfAnEmptyPictureIsEmpty)
{
    Image oEmpty(2.0);
    Image* poCopy = oEmpty.poCopy();
    ASSERT_NE(poCopy, nullptr);
    EXPECT_EQ(poCopy->m_pucTexels, nullptr);
    EXPECT_EQ(poCopy->m_fAspectRatio, 2.0);
    EXPECT_EQ(poCopy->oGetPixel(0, 0), g_oOpaqueBlack);
    delete poCopy;
}

// ---------------------------------------------------------------------------
// Blitting

class ImageBlit : public ::testing::TestWithParam<int>
{
};

// Blits a random 4 x 3 RGBA source at many offsets, some partly or wholly
// outside, into a checkerboard of each texel size; every target pixel is either
// untouched or the source pixel converted as a write converts it.
TEST_P(ImageBlit, CopiesTheOverlapAndLeavesTheRestAlone)
{
    const int iTargetTexelSize = GetParam();
    std::mt19937 oRandom(7);
    Image oSource(4, 3, 4, Background_Black, 1.0);
    vRandomize(&oSource, &oRandom);
    const int aiOffsets[][2] = {{0, 0}, {1, 2}, {-1, 1}, {3, -2}, {-3, -2}, {5, 4}, {6, 0}, {-4, 0}, {0, 5}};
    for (const auto& aiOffset : aiOffsets)
    {
        SCOPED_TRACE(::testing::Message() << "at " << aiOffset[0] << ", " << aiOffset[1]);
        Image oTarget(6, 5, iTargetTexelSize, Background_Checkerboard, 1.0);
        Image oExpected(6, 5, iTargetTexelSize, Background_Checkerboard, 1.0);
        for (int iY = 0; iY < 3; iY++)
            for (int iX = 0; iX < 4; iX++)
            {
                const Color oColor = oSource.oGetPixel(iX, iY);
                oExpected.vSetPixel(aiOffset[0] + iX, aiOffset[1] + iY, &oColor);
            }
        oTarget.vBlit(&oSource, aiOffset[0], aiOffset[1]);
        EXPECT_EQ(0, memcmp(oTarget.m_pucTexels, oExpected.m_pucTexels, uiBufferSize(oTarget)));
    }
}

INSTANTIATE_TEST_SUITE_P(TargetTexelSizes, ImageBlit, ::testing::Values(1, 2, 3, 4));

TEST(ImageBlitAlpha, AlphaIsCopiedNotBlended)
{
    Image oSource(1, 1, 4, Background_Black, 1.0);
    const Color oTransparent = {200, 100, 50, 0};
    oSource.vSetPixel(0, 0, &oTransparent);
    Image oTarget(2, 1, 4, Background_Checkerboard, 1.0);
    oTarget.vBlit(&oSource, 0, 0);
    EXPECT_EQ(oTarget.oGetPixel(0, 0), oTransparent);
    EXPECT_EQ(oTarget.oGetPixel(1, 0), g_oOpaqueBlack);
}

TEST(ImageBlitAlpha, TheSourceDitherAppliesToWhatIsCopied)
{
    Image oSource(2, 2, 3, Background_Black, 1.0);
    const Color oGrey = {128, 128, 128, 255};
    for (int iY = 0; iY < 2; iY++)
        for (int iX = 0; iX < 2; iX++)
            oSource.vSetPixel(iX, iY, &oGrey);
    vInstallBayer(&oSource, Dithering_Bayer2x2, {-128, 0, 0, 0}, 0, 255);
    Image oTarget(2, 2, 3, Background_Checkerboard, 1.0);
    oTarget.vBlit(&oSource, 0, 0);
    EXPECT_EQ(oTarget.oGetPixel(0, 0), g_oOpaqueBlack);
    EXPECT_EQ(oTarget.oGetPixel(1, 0), oGrey);
}

// ---------------------------------------------------------------------------
// Changing the canvas

TEST(ImageCrop, GrowingTwoByTwoToThreeByThreeKeepsTheBottomLeftCorner)
{
    Image oImage(2, 2, 4, Background_Black, 1.0);
    const Color aoColors[2][2] = {{{10, 11, 12, 13}, {20, 21, 22, 23}}, {{30, 31, 32, 33}, {40, 41, 42, 43}}};
    for (int iY = 0; iY < 2; iY++)
        for (int iX = 0; iX < 2; iX++)
            oImage.vSetPixel(iX, iY, &aoColors[iY][iX]);
    oImage.vCrop(3, 3);
    ASSERT_EQ(oImage.m_iWidth, 3);
    ASSERT_EQ(oImage.m_iHeight, 3);
    EXPECT_EQ(oImage.oGetPixel(0, 1), aoColors[0][0]);
    EXPECT_EQ(oImage.oGetPixel(1, 1), aoColors[0][1]);
    EXPECT_EQ(oImage.oGetPixel(0, 2), aoColors[1][0]);
    EXPECT_EQ(oImage.oGetPixel(1, 2), aoColors[1][1]);
    const Color oClear = {0, 0, 0, 0};
    for (int iX = 0; iX < 3; iX++)
        EXPECT_EQ(oImage.oGetPixel(iX, 0), oClear) << "top row, column " << iX;
    for (int iY = 0; iY < 3; iY++)
        EXPECT_EQ(oImage.oGetPixel(2, iY), oClear) << "right column, row " << iY;
}

TEST(ImageCrop, ShrinkingCutsAtTheRightAndTheTop)
{
    std::mt19937 oRandom(3);
    Image oImage(5, 4, 3, Background_Black, 1.0);
    vRandomize(&oImage, &oRandom);
    Image* poOriginal = oImage.poCopy();
    oImage.vCrop(3, 2);
    ASSERT_EQ(oImage.m_iWidth, 3);
    ASSERT_EQ(oImage.m_iHeight, 2);
    // The bottom two rows survive: new row y is old row y + 2.
    for (int iY = 0; iY < 2; iY++)
        for (int iX = 0; iX < 3; iX++)
            EXPECT_EQ(oImage.oGetPixel(iX, iY), poOriginal->oGetPixel(iX, iY + 2)) << iX << ", " << iY;
    delete poOriginal;
}

TEST(ImageCrop, WiderButLowerMixesBothRules)
{
    std::mt19937 oRandom(4);
    Image oImage(3, 4, 1, Background_Black, 1.0);
    vRandomize(&oImage, &oRandom);
    Image* poOriginal = oImage.poCopy();
    oImage.vCrop(5, 2);
    ASSERT_EQ(oImage.m_iWidth, 5);
    ASSERT_EQ(oImage.m_iHeight, 2);
    for (int iY = 0; iY < 2; iY++)
        for (int iX = 0; iX < 5; iX++)
            EXPECT_EQ(oImage.oGetPixel(iX, iY), iX < 3 ? poOriginal->oGetPixel(iX, iY + 2) : g_oOpaqueBlack);
    delete poOriginal;
}

TEST(ImageCrop, SameSizeChangesNothing)
{
    Image oImage(3, 3, 3, Background_Checkerboard, 1.0);
    unsigned char* pucBefore = oImage.m_pucTexels;
    oImage.vCrop(3, 3);
    EXPECT_EQ(oImage.m_pucTexels, pucBefore);
    EXPECT_EQ(oImage.oGetPixel(0, 0), g_oOpaqueWhite);
}

// ---------------------------------------------------------------------------
// Other whole-picture operations

TEST(ImageRGBToBGR, SwapsTheFirstAndThirdByteOfEveryTexel)
{
    for (int iTexelSize = 3; iTexelSize <= 4; iTexelSize++)
    {
        Image oImage(2, 1, iTexelSize, Background_Black, 1.0);
        const Color oA = {1, 2, 3, 4};
        const Color oB = {5, 6, 7, 8};
        oImage.vSetPixel(0, 0, &oA);
        oImage.vSetPixel(1, 0, &oB);
        oImage.vRGBToBGR();
        const unsigned char ucAlpha = iTexelSize == 4 ? 4 : 255;
        const Color oSwappedA = {3, 2, 1, ucAlpha};
        const Color oSwappedB = {7, 6, 5, static_cast<unsigned char>(iTexelSize == 4 ? 8 : 255)};
        EXPECT_EQ(oImage.oGetPixel(0, 0), oSwappedA);
        EXPECT_EQ(oImage.oGetPixel(1, 0), oSwappedB);
    }
}

TEST(ImageRGBToBGRDeathTest, GreyPicturesFailTheAssertion)
{
    Image oImage(1, 1, 1, Background_Black, 1.0);
    EXPECT_DEATH(oImage.vRGBToBGR(), "m_iTexelSize == 4.*m_iTexelSize == 3");
}

TEST(ImageUniqueColors, CountsDistinctRgbIgnoringAlpha)
{
    std::mt19937 oRandom(11);
    // Colours that differ in one channel only, in each channel's top bit, and in
    // alpha only (which does not count).
    const Color aoPool[] = {{0, 0, 0, 255}, {0, 0, 0, 0},   {255, 0, 0, 1},     {0, 255, 0, 2},
                            {0, 0, 255, 3}, {128, 0, 0, 4}, {0, 128, 0, 5},     {0, 0, 128, 6},
                            {1, 2, 3, 7},   {3, 2, 1, 8},   {255, 255, 255, 9}, {255, 255, 255, 10},
                            {0, 0, 1, 11},  {0, 1, 0, 12},  {1, 0, 0, 13},      {127, 127, 127, 14}};
    Image oImage(9, 7, 4, Background_Black, 1.0);
    std::set<uint32_t> oSeen;
    for (int iY = 0; iY < 7; iY++)
        for (int iX = 0; iX < 9; iX++)
        {
            const Color& oColor = aoPool[oRandom() % 16];
            oImage.vSetPixel(iX, iY, &oColor);
            oSeen.insert(oColor.r | (oColor.g << 8) | (static_cast<uint32_t>(oColor.b) << 16));
        }
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), static_cast<long>(oSeen.size()));
    // A second call starts from an empty set.
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), static_cast<long>(oSeen.size()));
}

TEST(ImageUniqueColors, RandomRgbPictureMatchesASet)
{
    std::mt19937 oRandom(12);
    Image oImage(64, 48, 3, Background_Black, 1.0);
    std::set<uint32_t> oSeen;
    for (int iY = 0; iY < 48; iY++)
        for (int iX = 0; iX < 64; iX++)
        {
            // Few distinct values per channel, so that repeats happen.
            const Color oColor = {static_cast<unsigned char>((oRandom() % 4) * 85),
                                  static_cast<unsigned char>((oRandom() % 3) * 127),
                                  static_cast<unsigned char>(oRandom() & 0x81), 255};
            oImage.vSetPixel(iX, iY, &oColor);
            oSeen.insert(oColor.r | (oColor.g << 8) | (static_cast<uint32_t>(oColor.b) << 16));
        }
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), static_cast<long>(oSeen.size()));
}

TEST(ImageUniqueColors, CountsColoursAsReadWithTheDither)
{
    // Grey 128 everywhere; a 2 x 2 Bayer matrix with four different offsets
    // turns it into four colours.
    Image oImage(4, 4, 1, Background_Black, 1.0);
    memset(oImage.m_pucTexels, 128, uiBufferSize(oImage));
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), 1);
    vInstallBayer(&oImage, Dithering_Bayer2x2, {-3, -1, 1, 3}, 0, 255);
    EXPECT_EQ(oImage.lGetUniqueColorsUsed(), 4);
}

// ---------------------------------------------------------------------------
// Growable byte buffer

TEST(DynamicArray, StartsEmptyWithoutStorage)
{
    tdByteArray oArray;
    EXPECT_EQ(oArray.m_pucData, nullptr);
    EXPECT_EQ(oArray.m_iSize, 0);
    EXPECT_EQ(oArray.m_iCapacity, 0);
    EXPECT_TRUE(oArray.m_bShrink);
}

TEST(DynamicArray, GrowsTo128ThenDoublesHalvesOnceAndReleases)
{
    tdByteArray oArray;
    oArray.vAppend(static_cast<unsigned char>(0));
    EXPECT_EQ(oArray.m_iSize, 1);
    EXPECT_EQ(oArray.m_iCapacity, 128);
    for (int i = 1; i < 128; i++)
        oArray.vAppend(static_cast<unsigned char>(i));
    EXPECT_EQ(oArray.m_iCapacity, 128);
    oArray.vAppend(static_cast<unsigned char>(128));
    EXPECT_EQ(oArray.m_iSize, 129);
    EXPECT_EQ(oArray.m_iCapacity, 256);
    for (int i = 0; i < 129; i++)
        ASSERT_EQ(oArray.m_pucData[i], i);

    oArray.vSetSize(100);
    EXPECT_EQ(oArray.m_iSize, 100);
    EXPECT_EQ(oArray.m_iCapacity, 128);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(oArray.m_pucData[i], i);

    oArray.vSetSize(0);
    EXPECT_EQ(oArray.m_iSize, 0);
    EXPECT_EQ(oArray.m_iCapacity, 0);
    EXPECT_EQ(oArray.m_pucData, nullptr);
}

TEST(DynamicArray, ShrinksByOneHalvingPerCallAndNeverBelow128)
{
    tdByteArray oArray;
    oArray.vSetSize(1000);
    EXPECT_EQ(oArray.m_iCapacity, 1024);
    oArray.vSetSize(10);
    EXPECT_EQ(oArray.m_iCapacity, 512);
    oArray.vSetSize(10);
    EXPECT_EQ(oArray.m_iCapacity, 256);
    oArray.vSetSize(10);
    EXPECT_EQ(oArray.m_iCapacity, 128);
    oArray.vSetSize(10);
    EXPECT_EQ(oArray.m_iCapacity, 128);
    // Half of 256 is 128, which still holds 128 bytes: halved.
    oArray.vSetSize(256);
    oArray.vSetSize(128);
    EXPECT_EQ(oArray.m_iCapacity, 128);
    // 129 bytes do not fit in half of 256.
    oArray.vSetSize(256);
    oArray.vSetSize(129);
    EXPECT_EQ(oArray.m_iCapacity, 256);
}

TEST(DynamicArray, GrowthDoublesUntilTheSizeFits)
{
    tdByteArray oArray;
    oArray.vSetSize(129);
    EXPECT_EQ(oArray.m_iCapacity, 256);
    oArray.vSetSize(1025);
    EXPECT_EQ(oArray.m_iCapacity, 2048);
    oArray.vSetSize(2048);
    EXPECT_EQ(oArray.m_iCapacity, 2048);
}

TEST(DynamicArray, WithoutShrinkTheStorageStays)
{
    tdByteArray oArray;
    oArray.m_bShrink = false;
    oArray.vSetSize(1000);
    unsigned char* pucData = oArray.m_pucData;
    oArray.vSetSize(3);
    EXPECT_EQ(oArray.m_iCapacity, 1024);
    oArray.vSetSize(0);
    EXPECT_EQ(oArray.m_iSize, 0);
    EXPECT_EQ(oArray.m_iCapacity, 1024);
    EXPECT_EQ(oArray.m_pucData, pucData);
}

TEST(DynamicArray, BlockAppendCopiesToTheFormerEnd)
{
    tdByteArray oArray;
    std::vector<unsigned char> acExpected;
    std::mt19937 oRandom(5);
    for (int iBlock = 0; iBlock < 40; iBlock++)
    {
        std::vector<unsigned char> acBlock(oRandom() % 50);
        for (unsigned char& c : acBlock)
            c = static_cast<unsigned char>(oRandom());
        oArray.vAppend(acBlock.data(), static_cast<int>(acBlock.size()));
        oArray.vAppend(static_cast<unsigned char>(iBlock));
        acExpected.insert(acExpected.end(), acBlock.begin(), acBlock.end());
        acExpected.push_back(static_cast<unsigned char>(iBlock));
    }
    ASSERT_EQ(oArray.m_iSize, static_cast<int>(acExpected.size()));
    EXPECT_GE(oArray.m_iCapacity, oArray.m_iSize);
    EXPECT_EQ(0, memcmp(oArray.m_pucData, acExpected.data(), acExpected.size()));
}

} // namespace
