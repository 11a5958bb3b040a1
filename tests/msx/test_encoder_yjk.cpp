// The Screen 10 and 12 encoders: their bytes rendered by the video chip model equal
// their own converted picture; the same bytes as a plain encoder built from the
// reference search; buffer sizes, line split, palette bytes and odd picture sizes.

#include "tests/support/testutil.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/color/palette.h"
#include "qev/msx/encoder_yjk.h"
#include "qev/msx/vdp.h"
#include "qev/msx/yjk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace
{
enum tdPictureKind
{
    Picture_Gradient,
    Picture_Noise,
    Picture_Flat, // large areas of single colours, saturated ones included
    Picture_Transparent,
    Picture_Count
};
const char* const g_apszPictureNames[Picture_Count] = {"Gradient", "Noise", "Flat", "Transparent"};

Image* poMakePicture(tdPictureKind eKind, int iWidth, int iHeight, double fAspectRatio)
{
    Image* po =
        new Image(iWidth, iHeight, eKind == Picture_Transparent ? 4 : 3, Background_None, fAspectRatio);
    tdTestRandom oRandom{static_cast<uint32_t>(eKind) * 77 + 1};
    const Color aoFlat[6] = {{255, 0, 0, 255},  {0, 0, 255, 255},   {240, 240, 240, 255},
                             {20, 90, 30, 255}, {255, 255, 0, 255}, {0, 0, 0, 255}};
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            Color o;
            switch (eKind)
            {
            case Picture_Gradient:
                o = {static_cast<unsigned char>(x * 255 / (iWidth > 1 ? iWidth - 1 : 1)),
                     static_cast<unsigned char>(y * 255 / (iHeight > 1 ? iHeight - 1 : 1)),
                     static_cast<unsigned char>(127 + 127 * sin(x * 0.05 + y * 0.11)), 255};
                break;
            case Picture_Noise:
                o = {static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)), 255};
                break;
            case Picture_Flat:
                o = aoFlat[(x / 37 + y / 5) % 6];
                break;
            default:
                o = {static_cast<unsigned char>(x), static_cast<unsigned char>(255 - x),
                     static_cast<unsigned char>(y * 9),
                     static_cast<unsigned char>(((x / 8 + y / 3) & 1) ? 255 : 0)};
                break;
            }
            po->vSetPixel(x, y, &o);
        }
    return po;
}

bool bSameRGB(const Color& o1, const Color& o2)
{
    return o1.r == o2.r && o1.g == o2.g && o1.b == o2.b;
}

// The bytes a buffer holds.
std::vector<unsigned char> aucBytes(const tdByteArray& o)
{
    return std::vector<unsigned char>(o.m_pucData, o.m_pucData + o.m_iSize);
}

// Puts a palette into video memory at FA80 in register format (red << 4 | blue,
// green) and reads it back into the chip's palette.
void vLoadPalette(VDP* poVDP, const Palette& oPalette)
{
    for (int i = 0; i < 16; i++)
    {
        const Color& o = oPalette.m_aoColors[i];
        poVDP->m_pucVRAM[0xFA80 + 2 * i] =
            static_cast<unsigned char>(iLevelFromByte(o.r) << 4 | iLevelFromByte(o.b));
        poVDP->m_pucVRAM[0xFA81 + 2 * i] = static_cast<unsigned char>(iLevelFromByte(o.g));
    }
    poVDP->vReadPaletteFromVRAM(0xFA80, 16, nullptr);
}

// A palette of 16 distinct MSX colours; entry 5 is (146, 73, 219).
Palette oDistinctPalette()
{
    Palette o;
    for (int i = 0; i < 16; i++)
        o.m_aoColors[i] = {static_cast<unsigned char>(iByteFromLevel(i & 7)),
                           static_cast<unsigned char>(iByteFromLevel((i * 3) & 7)),
                           static_cast<unsigned char>(iByteFromLevel(7 - (i & 7))), 255};
    o.m_aoColors[13] = {36, 36, 36, 255}; // 5 and 13 would otherwise be equal
    o.m_uiColorCount = 16;
    return o;
}

// The plain encoder: the frame of the encoders written out step by step, with the
// reference search and a fresh nearest-colour search for every pixel.
struct tdReferenceOutput
{
    std::vector<unsigned char> m_aucFirst;
    std::vector<unsigned char> m_aucSecond;
    tdErrorTriple m_oError;
};

void vReferenceGroup(const Color* poPixels, const Palette* poPalette, bool bEvenY, tdRGB2YJKMethod eMethod,
                     double fExponent, tdDeltaMethod eDelta, double fWeight, unsigned char* pucBytes,
                     Color* poColors)
{
    if (!poPalette)
    {
        vRGB2YJKReference(poPixels, pucBytes, poColors, eMethod, bEvenY, fExponent, eDelta, fWeight);
        return;
    }
    Color aoWork[4] = {poPixels[0], poPixels[1], poPixels[2], poPixels[3]};
    int aiAssigned[4] = {-1, -1, -1, -1};
    for (;;)
    {
        vRGB2YJKReference(aoWork, pucBytes, poColors, eMethod, true, fExponent, eDelta, fWeight);
        bool bChanged = false;
        for (int k = 0; k < 4; k++)
        {
            double fYJK = fColorDelta(&aoWork[k], &poColors[k], 1.0, 255.0, eDelta, fWeight);
            int i = poPalette->iNearestColor(aoWork[k], eDelta, fWeight);
            double fPalette = fColorDelta(&aoWork[k], &poPalette->m_aoColors[i], 1.0, 255.0, eDelta, fWeight);
            if (aiAssigned[k] >= 0)
                i = aiAssigned[k];
            else if (fYJK >= fPalette)
            {
                aiAssigned[k] = i;
                aoWork[k].r = aoWork[k].g = aoWork[k].b = 255;
                bChanged = true;
            }
            else
                continue;
            poColors[k] = poPalette->m_aoColors[i];
            pucBytes[k] = static_cast<unsigned char>(16 * i + 8 + (pucBytes[k] & 7));
        }
        if (!bChanged) break;
    }
}

tdReferenceOutput oReferenceEncode(const Image* poImage, const Palette* poPalette, bool bEvenY,
                                   double fFactor, bool bTwoBuffers, tdRGB2YJKMethod eMethod, Image* poOutput,
                                   double fExponent, tdDeltaMethod eDelta, double fWeight)
{
    tdReferenceOutput oOut;
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fFactor);
    for (int y = 0; y < poImage->m_iHeight; y++)
    {
        std::vector<unsigned char>* paucSink = (y & 1) && bTwoBuffers ? &oOut.m_aucSecond : &oOut.m_aucFirst;
        for (int x = 0; x < poImage->m_iWidth; x += 4)
        {
            Color aoPixels[4];
            for (int k = 0; k < 4; k++)
                aoPixels[k] = poImage->oGetPixel(x + k, y);
            unsigned char auc[4];
            Color aoColors[4];
            if (fFactor != 0.0)
                for (int k = 0; k < 4; k++)
                {
                    oDiffuser.vAdjust(x + k, &aoPixels[k]);
                    vReferenceGroup(aoPixels, poPalette, bEvenY, eMethod, fExponent, eDelta, fWeight, auc,
                                    aoColors);
                    oDiffuser.vDiffuse(x + k, &aoPixels[k], &aoColors[k]);
                }
            else
            {
                vReferenceGroup(aoPixels, poPalette, bEvenY, eMethod, fExponent, eDelta, fWeight, auc,
                                aoColors);
                for (int k = 0; k < 4; k++)
                    oDiffuser.vDiffuse(x + k, &aoPixels[k], &aoColors[k]);
            }
            for (int k = 0; k < 4; k++)
            {
                paucSink->push_back(auc[k]);
                poOutput->vSetPixel(x + k, y, &aoColors[k]);
            }
        }
        oDiffuser.vNewLine();
    }
    oOut.m_oError = oDiffuser.oGetError();
    return oOut;
}

void vExpectSamePicture(const Image* po1, const Image* po2, int iHeight, const std::string& sWhat)
{
    int iDifferent = 0;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < po1->m_iWidth; x++)
            if (!bSameRGB(po1->oGetPixel(x, y), po2->oGetPixel(x, y)) && iDifferent++ < 3)
                ADD_FAILURE() << sWhat << ": pixel " << x << "," << y << " differs";
    EXPECT_EQ(iDifferent, 0) << sWhat;
}
} // namespace

// ---------------------------------------------------------------------------------
// Round trip through the video chip model: for each screen, diffusion, ordered
// dither, interlace and picture, the encoder's bytes loaded as video memory and
// rendered (interpolation None, page interleave for interlaced pictures) equal the
// encoder's own output picture.

enum tdYJKScreen
{
    YJKScreen_12,
    YJKScreen_10,
    YJKScreen_10Palette,
    YJKScreen_Count
};
const char* const g_apszScreenNames[YJKScreen_Count] = {"Screen12", "Screen10", "Screen10Palette"};

class YJKRoundTripTest
    : public testing::TestWithParam<std::tuple<tdYJKScreen, bool, tdDitheringMode, bool, tdPictureKind>>
{
};

TEST_P(YJKRoundTripTest, RenderedBytesEqualTheConvertedPicture)
{
    const tdYJKScreen eScreen = std::get<0>(GetParam());
    const double fFactor = std::get<1>(GetParam()) ? 0.8 : 0.0;
    const tdDitheringMode eDither = std::get<2>(GetParam());
    const bool bInterlaced = std::get<3>(GetParam());
    const tdPictureKind eKind = std::get<4>(GetParam());

    // Fewer lines than the screen keep the test quick; the rest of video memory
    // stays zero and is not compared.
    const int iHeight = bInterlaced ? 48 : 24;
    std::unique_ptr<Image> poImage(poMakePicture(eKind, 256, iHeight, bInterlaced ? 2.0 : 1.0));
    poImage->vSetDitheringMode(eDither, 0.1, 0.0, 1.0);

    Palette oPalette;
    if (eScreen == YJKScreen_10Palette)
    {
        oPalette.vLoadFromYJKImage(poImage.get(), nullptr, RGB2YJK_AreaSearch, 1.0, 1.0, DeltaMethod_RGB,
                                   1.0);
        oPalette.vResize(16);
    }

    tdByteArray oFirst;
    tdByteArray oSecond;
    Image oOutput(256, iHeight, 3, Background_Black, poImage->m_fAspectRatio);
    tdErrorTriple oError;
    if (eScreen == YJKScreen_12)
        oError =
            oWriteImageToYJK(poImage.get(), fFactor, &oFirst, bInterlaced ? &oSecond : nullptr,
                             CompressionType_None, RGB2YJK_AreaSearch, &oOutput, 1.0, DeltaMethod_RGB, 1.0);
    else
        oError = oWriteImageToYJKPlusPalette(poImage.get(),
                                             eScreen == YJKScreen_10Palette ? &oPalette : nullptr, fFactor,
                                             &oFirst, bInterlaced ? &oSecond : nullptr, CompressionType_None,
                                             RGB2YJK_AreaSearch, &oOutput, 1.0, DeltaMethod_RGB, 1.0);

    const int iPageLines = bInterlaced ? iHeight / 2 : iHeight;
    ASSERT_EQ(oFirst.m_iSize, 256 * iPageLines);
    ASSERT_EQ(oSecond.m_iSize, bInterlaced ? 256 * iPageLines : 0);

    VDP oVDP;
    memcpy(oVDP.m_pucVRAM, oFirst.m_pucData, static_cast<size_t>(oFirst.m_iSize));
    if (bInterlaced)
        memcpy(oVDP.m_pucVRAM + 0x10000, oSecond.m_pucData, static_cast<size_t>(oSecond.m_iSize));
    std::unique_ptr<Image> poRendered;
    if (eScreen == YJKScreen_12)
        poRendered.reset(oVDP.poGetScreen12Image(bInterlaced, YJK2RGB_None, bInterlaced));
    else
    {
        vLoadPalette(&oVDP, oPalette);
        poRendered.reset(oVDP.poGetScreen11Image(bInterlaced, YJK2RGB_None, bInterlaced));
    }
    vExpectSamePicture(poRendered.get(), &oOutput, iHeight, "rendered video memory");

    // Bit 3 is the attribute bit: never set without a palette, set somewhere with
    // one on pictures that YJK renders poorly.
    int iAttribute = 0;
    for (const tdByteArray* po : {&oFirst, &oSecond})
        for (int i = 0; i < po->m_iSize; i++)
            iAttribute += (po->m_pucData[i] & 8) != 0;
    if (eScreen == YJKScreen_10)
    {
        EXPECT_EQ(iAttribute, 0);
    }
    if (eScreen == YJKScreen_10Palette && (eKind == Picture_Noise || eKind == Picture_Flat))
    {
        EXPECT_GT(iAttribute, 0);
    }

    // Without diffusion the error triple is the plain root-mean-square difference
    // between the (dithered) picture and the converted one.
    if (fFactor == 0.0)
    {
        double afSum[3] = {0.0, 0.0, 0.0};
        for (int y = 0; y < iHeight; y++)
            for (int x = 0; x < 256; x++)
            {
                Color oIn = poImage->oGetPixel(x, y);
                Color oOut = oOutput.oGetPixel(x, y);
                afSum[0] += (oIn.r - oOut.r) * (oIn.r - oOut.r);
                afSum[1] += (oIn.g - oOut.g) * (oIn.g - oOut.g);
                afSum[2] += (oIn.b - oOut.b) * (oIn.b - oOut.b);
            }
        EXPECT_DOUBLE_EQ(oError.fRed, sqrt(afSum[0] / (256.0 * iHeight)));
        EXPECT_DOUBLE_EQ(oError.fGreen, sqrt(afSum[1] / (256.0 * iHeight)));
        EXPECT_DOUBLE_EQ(oError.fBlue, sqrt(afSum[2] / (256.0 * iHeight)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, YJKRoundTripTest,
    testing::Combine(testing::Values(YJKScreen_12, YJKScreen_10, YJKScreen_10Palette), testing::Bool(),
                     testing::Values(Dithering_None, Dithering_Bayer4x4), testing::Bool(),
                     testing::Values(Picture_Gradient, Picture_Noise, Picture_Flat, Picture_Transparent)),
    [](const testing::TestParamInfo<YJKRoundTripTest::ParamType>& o)
    {
        return std::string(g_apszScreenNames[std::get<0>(o.param)]) +
               (std::get<1>(o.param) ? "_ED" : "_NoED") +
               (std::get<2>(o.param) == Dithering_None ? "_NoBayer" : "_Bayer") +
               (std::get<3>(o.param) ? "_Interlaced" : "") + "_" + g_apszPictureNames[std::get<4>(o.param)];
    });

// Every method through the video chip, Brute force on two lines only.
TEST(YJKRoundTripMethodTest, EveryMethodRendersAsItsOutputPicture)
{
    for (int iMethod = 0; iMethod <= RGB2YJK_BruteForce; iMethod++)
        for (int iScreen = 0; iScreen < 2; iScreen++)
        {
            const int iHeight = iMethod == RGB2YJK_BruteForce ? 2 : 12;
            std::unique_ptr<Image> poImage(poMakePicture(Picture_Gradient, 256, iHeight, 1.0));
            tdByteArray oFirst;
            Image oOutput(256, iHeight, 3, Background_Black, 1.0);
            const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(iMethod);
            if (iScreen == 0)
                oWriteImageToYJK(poImage.get(), 0.8, &oFirst, nullptr, CompressionType_None, eMethod,
                                 &oOutput, 1.0, DeltaMethod_RGB, 1.0);
            else
                oWriteImageToYJKPlusPalette(poImage.get(), nullptr, 0.8, &oFirst, nullptr,
                                            CompressionType_None, eMethod, &oOutput, 1.0, DeltaMethod_RGB,
                                            1.0);
            VDP oVDP;
            memcpy(oVDP.m_pucVRAM, oFirst.m_pucData, static_cast<size_t>(oFirst.m_iSize));
            std::unique_ptr<Image> poRendered(iScreen == 0
                                                  ? oVDP.poGetScreen12Image(false, YJK2RGB_None, false)
                                                  : oVDP.poGetScreen11Image(false, YJK2RGB_None, false));
            vExpectSamePicture(poRendered.get(), &oOutput, iHeight,
                               std::string(g_apszRGB2YJKMethodNames[iMethod]) +
                                   (iScreen ? " Screen 10" : " Screen 12"));
        }
}

// ---------------------------------------------------------------------------------
// Sizes and the line split

TEST(YJKEncoderTest, FullScreenGivesTheScreenBitmapAndInterlaceSplitsEvenAndOddLines)
{
    std::unique_ptr<Image> poImage(poMakePicture(Picture_Gradient, 256, 424, 2.0));
    for (int iScreen = 0; iScreen < 2; iScreen++)
    {
        auto oEncode = [&](const Image* po, tdByteArray* po1, tdByteArray* po2)
        {
            if (iScreen == 0)
                oWriteImageToYJK(po, 0.0, po1, po2, CompressionType_None, RGB2YJK_LeastSquares, nullptr, 1.0,
                                 DeltaMethod_RGB, 1.0);
            else
                oWriteImageToYJKPlusPalette(po, nullptr, 0.0, po1, po2, CompressionType_None,
                                            RGB2YJK_LeastSquares, nullptr, 1.0, DeltaMethod_RGB, 1.0);
        };
        tdByteArray oFirst, oSecond;
        oEncode(poImage.get(), &oFirst, &oSecond);
        EXPECT_EQ(oFirst.m_iSize, 54272);
        EXPECT_EQ(oSecond.m_iSize, 54272);

        // Without diffusion a group's bytes depend on its own pixels only, so the
        // even lines encoded alone give the first buffer, the odd lines the second.
        Image oEven(256, 212, 3, Background_None, 1.0);
        Image oOdd(256, 212, 3, Background_None, 1.0);
        for (int y = 0; y < 212; y++)
            for (int x = 0; x < 256; x++)
            {
                Color o = poImage->oGetPixel(x, 2 * y);
                oEven.vSetPixel(x, y, &o);
                o = poImage->oGetPixel(x, 2 * y + 1);
                oOdd.vSetPixel(x, y, &o);
            }
        tdByteArray oEvenBytes, oOddBytes;
        oEncode(&oEven, &oEvenBytes, nullptr);
        oEncode(&oOdd, &oOddBytes, nullptr);
        EXPECT_EQ(oEvenBytes.m_iSize, 54272);
        EXPECT_TRUE(aucBytes(oEvenBytes) == aucBytes(oFirst));
        EXPECT_TRUE(aucBytes(oOddBytes) == aucBytes(oSecond));

        // With the first buffer only, every line goes to it in order.
        tdByteArray oAll;
        oEncode(poImage.get(), &oAll, nullptr);
        ASSERT_EQ(oAll.m_iSize, 2 * 54272);
        EXPECT_EQ(memcmp(oAll.m_pucData + 256, oOddBytes.m_pucData, 256), 0);
        EXPECT_EQ(memcmp(oAll.m_pucData + 512, oEvenBytes.m_pucData + 256, 256), 0);
    }
}

TEST(YJKEncoderTest, WithoutDiffusionEachGroupIsItsOwnConversion)
{
    std::unique_ptr<Image> poImage(poMakePicture(Picture_Noise, 64, 5, 1.0));
    tdByteArray oBytes;
    Image oOutput(64, 5, 3, Background_Black, 1.0);
    oWriteImageToYJK(poImage.get(), 0.0, &oBytes, nullptr, CompressionType_None, RGB2YJK_AreaSearch, &oOutput,
                     1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oBytes.m_iSize, 64 * 5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 64; x += 4)
        {
            Color aoPixels[4];
            for (int k = 0; k < 4; k++)
                aoPixels[k] = poImage->oGetPixel(x + k, y);
            unsigned char auc[4];
            Color aoColors[4];
            vRGB2YJK(aoPixels, auc, aoColors, RGB2YJK_AreaSearch, false, 1.0, DeltaMethod_RGB, 1.0);
            ASSERT_EQ(memcmp(auc, oBytes.m_pucData + 64 * y + x, 4), 0) << x << "," << y;
            for (int k = 0; k < 4; k++)
                ASSERT_TRUE(bSameRGB(oOutput.oGetPixel(x + k, y), aoColors[k]));
        }
}

// ---------------------------------------------------------------------------------
// Palette bytes

TEST(YJKEncoderTest, GroupOfAPaletteColourTakesThatEntry)
{
    Palette oPalette = oDistinctPalette();
    Image oImage(4, 1, 3, Background_None, 1.0);
    for (int x = 0; x < 4; x++)
        oImage.vSetPixel(x, 0, &oPalette.m_aoColors[5]);
    for (double fFactor : {0.0, 0.8})
    {
        tdByteArray oBytes;
        Image oOutput(4, 1, 3, Background_Black, 1.0);
        oWriteImageToYJKPlusPalette(&oImage, &oPalette, fFactor, &oBytes, nullptr, CompressionType_None,
                                    RGB2YJK_AreaSearch, &oOutput, 1.0, DeltaMethod_RGB, 1.0);
        ASSERT_EQ(oBytes.m_iSize, 4);
        for (int k = 0; k < 4; k++)
        {
            EXPECT_EQ(oBytes.m_pucData[k] & 0xF8, 0x58) << "byte " << k; // index 5, attribute bit
            EXPECT_TRUE(bSameRGB(oOutput.oGetPixel(k, 0), oPalette.m_aoColors[5]));
        }
    }
}

// White is exact in YJK (dY = 0): it goes to the palette only when a palette
// colour is exact too, the tie going to the palette.
TEST(YJKEncoderTest, ExactYJKPixelTakesThePaletteOnlyWhenThatIsExactToo)
{
    Image oImage(8, 1, 3, Background_None, 1.0);
    const Color oWhite = {255, 255, 255, 255};
    for (int x = 0; x < 8; x++)
        oImage.vSetPixel(x, 0, &oWhite);
    Palette oPalette = oDistinctPalette();
    for (int iWithWhite = 0; iWithWhite < 2; iWithWhite++)
    {
        if (iWithWhite) oPalette.m_aoColors[9] = oWhite;
        tdByteArray oBytes;
        oWriteImageToYJKPlusPalette(&oImage, &oPalette, 0.0, &oBytes, nullptr, CompressionType_None,
                                    RGB2YJK_AreaSearch, nullptr, 1.0, DeltaMethod_RGB, 1.0);
        ASSERT_EQ(oBytes.m_iSize, 8);
        for (int k = 0; k < 8; k++)
        {
            if (iWithWhite)
                EXPECT_EQ(oBytes.m_pucData[k] & 0xF8, 0x98) << k;
            else
                EXPECT_EQ(oBytes.m_pucData[k] & 8, 0) << k;
        }
    }
}

// ---------------------------------------------------------------------------------
// The encoders against the plain encoder built from the reference search: bytes,
// converted picture and error triple, for every search, with and without
// diffusion and palette, several distances and exponents.

struct tdEncoderCase
{
    tdDeltaMethod m_eDelta;
    double m_fExponent;
    tdRGB2YJKMethod m_eMethod;
    int m_iWidth;
    int m_iHeight;
};

class YJKEncoderAgainstReferenceTest : public testing::TestWithParam<tdEncoderCase>
{
};

TEST_P(YJKEncoderAgainstReferenceTest, SameBytesPictureAndError)
{
    const tdEncoderCase& o = GetParam();
    for (int iKind = 0; iKind < Picture_Count; iKind++)
    {
        std::unique_ptr<Image> poImage(
            poMakePicture(static_cast<tdPictureKind>(iKind), o.m_iWidth, o.m_iHeight, 1.0));
        Palette oPalette;
        oPalette.vLoadFromYJKImage(poImage.get(), nullptr, RGB2YJK_AreaSearch, 1.0, 1.0, o.m_eDelta, 1.0);
        oPalette.vResize(16);
        for (int iScreen = 0; iScreen < 3; iScreen++)
            for (double fFactor : {0.0, 0.8})
            {
                const Palette* poPalette = iScreen == 2 ? &oPalette : nullptr;
                const std::string sWhat = std::string(g_apszPictureNames[iKind]) + " " +
                                          g_apszScreenNames[iScreen] + (fFactor != 0.0 ? " ED" : "");
                Image oExpectedPicture(o.m_iWidth, o.m_iHeight, 3, Background_Black, 1.0);
                tdReferenceOutput oExpected =
                    oReferenceEncode(poImage.get(), poPalette, iScreen != 0, fFactor, true, o.m_eMethod,
                                     &oExpectedPicture, o.m_fExponent, o.m_eDelta, 1.0);
                tdByteArray oFirst, oSecond;
                Image oOutput(o.m_iWidth, o.m_iHeight, 3, Background_Black, 1.0);
                tdErrorTriple oError =
                    iScreen == 0
                        ? oWriteImageToYJK(poImage.get(), fFactor, &oFirst, &oSecond, CompressionType_None,
                                           o.m_eMethod, &oOutput, o.m_fExponent, o.m_eDelta, 1.0)
                        : oWriteImageToYJKPlusPalette(poImage.get(), poPalette, fFactor, &oFirst, &oSecond,
                                                      CompressionType_None, o.m_eMethod, &oOutput,
                                                      o.m_fExponent, o.m_eDelta, 1.0);
                EXPECT_TRUE(aucBytes(oFirst) == oExpected.m_aucFirst) << sWhat;
                EXPECT_TRUE(aucBytes(oSecond) == oExpected.m_aucSecond) << sWhat;
                vExpectSamePicture(&oOutput, &oExpectedPicture, o.m_iHeight, sWhat);
                EXPECT_EQ(oError.fRed, oExpected.m_oError.fRed) << sWhat;
                EXPECT_EQ(oError.fGreen, oExpected.m_oError.fGreen) << sWhat;
                EXPECT_EQ(oError.fBlue, oExpected.m_oError.fBlue) << sWhat;
            }
    }
}

// clang-format off
const tdEncoderCase g_aoEncoderCases[] = {
    //  distance               exponent  method                    width height
    {DeltaMethod_RGB,          1.0,      RGB2YJK_Standard,         32,   6},
    {DeltaMethod_RGB,          1.0,      RGB2YJK_LeastSquares,     32,   6},
    {DeltaMethod_RGB,          1.0,      RGB2YJK_GradientDescent,  32,   6},
    {DeltaMethod_RGB,          1.0,      RGB2YJK_AreaSearch,       32,   6},
    {DeltaMethod_RGB,          1.0,      RGB2YJK_BruteForce,       8,    2},
    {DeltaMethod_RGB,          2.0,      RGB2YJK_AreaSearch,       32,   6},
    {DeltaMethod_Hit9918,      1.0,      RGB2YJK_AreaSearch,       32,   6},
    {DeltaMethod_Hit9918,      1.0,      RGB2YJK_BruteForce,       8,    2},
    {DeltaMethod_CIEDE2000,    1.0,      RGB2YJK_AreaSearch,       16,   4},
    {DeltaMethod_CIEDE2000,    1.0,      RGB2YJK_GradientDescent,  16,   4},
    {DeltaMethod_Oklab,        0.5,      RGB2YJK_AreaSearch,       16,   4},
    {DeltaMethod_LAB,          1.0,      RGB2YJK_GradientDescent,  16,   4},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, YJKEncoderAgainstReferenceTest, testing::ValuesIn(g_aoEncoderCases),
                         [](const testing::TestParamInfo<tdEncoderCase>& o)
                         {
                             std::string s = std::string(g_apszDeltaMethodNames[o.param.m_eDelta]) + "_p" +
                                             std::to_string(static_cast<int>(o.param.m_fExponent * 10)) +
                                             "_" + g_apszRGB2YJKMethodNames[o.param.m_eMethod];
                             for (char& c : s)
                                 if (c == ' ') c = '_';
                             return s;
                         });

// ---------------------------------------------------------------------------------
// Sizes, missing buffers and compression

TEST(YJKEncoderTest, AnyPictureSizeEncodesWholeGroupsWithinBounds)
{
    // Widths that are not a multiple of four end in a group whose missing pixels
    // read as black; a line is always 4 * ceil(width / 4) bytes.
    const int aiSizes[][2] = {{1, 1}, {2, 3}, {3, 2}, {5, 4}, {10, 3}, {257, 2}, {4, 0}, {0, 4}};
    for (const auto& aiSize : aiSizes)
        for (int iScreen = 0; iScreen < 3; iScreen++)
        {
            const int iWidth = aiSize[0];
            const int iHeight = aiSize[1];
            std::unique_ptr<Image> poImage(poMakePicture(Picture_Noise, iWidth, iHeight, 1.0));
            Palette oPalette = oDistinctPalette();
            tdByteArray oFirst, oSecond;
            Image oOutput(iWidth, iHeight, 3, Background_Black, 1.0);
            Image oPlainOutput(iWidth, iHeight, 3, Background_Black, 1.0);
            if (iScreen == 0)
                oWriteImageToYJK(poImage.get(), 0.8, &oFirst, &oSecond, CompressionType_None,
                                 RGB2YJK_AreaSearch, &oOutput, 1.0, DeltaMethod_RGB, 1.0);
            else
                oWriteImageToYJKPlusPalette(poImage.get(), iScreen == 2 ? &oPalette : nullptr, 0.8, &oFirst,
                                            &oSecond, CompressionType_None, RGB2YJK_AreaSearch, &oOutput, 1.0,
                                            DeltaMethod_RGB, 1.0);
            const int iLineBytes = 4 * ((iWidth + 3) / 4);
            EXPECT_EQ(oFirst.m_iSize, iLineBytes * ((iHeight + 1) / 2)) << iWidth << "x" << iHeight;
            EXPECT_EQ(oSecond.m_iSize, iLineBytes * (iHeight / 2)) << iWidth << "x" << iHeight;

            tdReferenceOutput oExpected =
                oReferenceEncode(poImage.get(), iScreen == 2 ? &oPalette : nullptr, iScreen != 0, 0.8, true,
                                 RGB2YJK_AreaSearch, &oPlainOutput, 1.0, DeltaMethod_RGB, 1.0);
            EXPECT_TRUE(aucBytes(oFirst) == oExpected.m_aucFirst) << iWidth << "x" << iHeight;
            vExpectSamePicture(&oOutput, &oPlainOutput, iHeight, "odd size");
        }
}

TEST(YJKEncoderTest, MissingBuffersOutputOrPictureAreAllowed)
{
    std::unique_ptr<Image> poImage(poMakePicture(Picture_Gradient, 32, 6, 1.0));
    tdByteArray oFirst;
    tdErrorTriple oWith = oWriteImageToYJK(poImage.get(), 0.8, &oFirst, nullptr, CompressionType_None,
                                           RGB2YJK_AreaSearch, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    tdErrorTriple oWithout = oWriteImageToYJK(poImage.get(), 0.8, nullptr, nullptr, CompressionType_None,
                                              RGB2YJK_AreaSearch, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oWith.fRed, oWithout.fRed);
    EXPECT_EQ(oWith.fGreen, oWithout.fGreen);
    EXPECT_EQ(oWith.fBlue, oWithout.fBlue);
    EXPECT_GT(oWith.fRed + oWith.fGreen + oWith.fBlue, 0.0);

    // Only a second buffer: the odd lines go to it, the even lines nowhere.
    tdByteArray oSecond;
    oWriteImageToYJKPlusPalette(poImage.get(), nullptr, 0.8, nullptr, &oSecond, CompressionType_None,
                                RGB2YJK_AreaSearch, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oSecond.m_iSize, 32 * 3);

    tdErrorTriple oNone = oWriteImageToYJK(nullptr, 0.8, &oFirst, nullptr, CompressionType_None,
                                           RGB2YJK_AreaSearch, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oNone.fRed, 0.0);
    EXPECT_EQ(oFirst.m_iSize, 32 * 6);
}

namespace
{
// Run-length stream: control 1..127 and that many bytes, 0x83..0xFF and one byte
// repeated (control - 0x80) times, 0 at the end.
std::vector<unsigned char> aucRunLengthDecode(const tdByteArray& o)
{
    std::vector<unsigned char> auc;
    int i = 0;
    while (i < o.m_iSize)
    {
        int c = o.m_pucData[i++];
        if (c == 0) break;
        if (c < 128)
            for (int k = 0; k < c && i < o.m_iSize; k++)
                auc.push_back(o.m_pucData[i++]);
        else if (i < o.m_iSize)
            auc.insert(auc.end(), static_cast<size_t>(c - 128), o.m_pucData[i++]);
    }
    return auc;
}
} // namespace

TEST(YJKEncoderTest, EachBufferHasItsOwnCompressedStream)
{
    std::unique_ptr<Image> poImage(poMakePicture(Picture_Flat, 256, 8, 2.0));
    tdByteArray oPlain1, oPlain2, oPacked1, oPacked2;
    oWriteImageToYJK(poImage.get(), 0.8, &oPlain1, &oPlain2, CompressionType_None, RGB2YJK_AreaSearch,
                     nullptr, 1.0, DeltaMethod_RGB, 1.0);
    oWriteImageToYJK(poImage.get(), 0.8, &oPacked1, &oPacked2, CompressionType_RunLength, RGB2YJK_AreaSearch,
                     nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_NE(aucBytes(oPacked1), aucBytes(oPlain1));
    EXPECT_TRUE(aucRunLengthDecode(oPacked1) == aucBytes(oPlain1));
    EXPECT_TRUE(aucRunLengthDecode(oPacked2) == aucBytes(oPlain2));
}
