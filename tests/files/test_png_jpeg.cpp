// PNG and JPEG readers and the PNG writer, checked against files made here with
// libpng and libjpeg directly and against a plain reference expansion of every
// PNG colour type and bit depth.

#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "qev/base/settings.h"
#include "qev/files/jpeg_io.h"
#include "qev/files/png_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <png.h>
#include <string>
#include <vector>

namespace
{
// Reads a file through the PNG or JPEG reader with its messages captured.
Image* poReadCaptured(const std::string& sName, bool bPNG, tdCaptured* poCaptured = nullptr)
{
    Image* poImage = nullptr;
    tdCaptured oCaptured = oCaptureOutput(
        [&]
        {
            FILE* poFile = fopen(sName.c_str(), "rb");
            if (!poFile) return;
            poImage = bPNG ? poReadImageFromPNGFile(poFile) : poReadImageFromJPEGFile(poFile);
            fclose(poFile);
        });
    if (poCaptured) *poCaptured = oCaptured;
    return poImage;
}

// One PNG layout of the reader table.
struct tdPNGCase
{
    const char* pszName;
    int iColorType;
    int iBitDepth;
    bool bInterlaced;
    int iPaletteSize;  // colour type 3 only
    bool bTransparent; // a tRNS chunk: palette alphas, or a grey or RGB key
    int iTexelSize;    // what the reader must produce
};

void PrintTo(const tdPNGCase& o, std::ostream* po)
{
    *po << o.pszName;
}

// clang-format off
//  name                 colour type                     depth  Adam7  palette tRNS   texel size
const tdPNGCase g_aoPNGCases[] = {
    {"palette1",         PNG_COLOR_TYPE_PALETTE,           1,   false,   2,    false, 3},
    {"palette2",         PNG_COLOR_TYPE_PALETTE,           2,   false,   4,    false, 3},
    {"palette4",         PNG_COLOR_TYPE_PALETTE,           4,   false,  16,    false, 3},
    {"palette8",         PNG_COLOR_TYPE_PALETTE,           8,   false, 200,    false, 3},
    {"palette1_trns",    PNG_COLOR_TYPE_PALETTE,           1,   false,   2,    true,  4},
    {"palette4_trns",    PNG_COLOR_TYPE_PALETTE,           4,   false,  16,    true,  4},
    {"grey1",            PNG_COLOR_TYPE_GRAY,              1,   false,   0,    false, 1},
    {"grey2",            PNG_COLOR_TYPE_GRAY,              2,   false,   0,    false, 1},
    {"grey4",            PNG_COLOR_TYPE_GRAY,              4,   false,   0,    false, 1},
    {"grey8",            PNG_COLOR_TYPE_GRAY,              8,   false,   0,    false, 1},
    {"grey16",           PNG_COLOR_TYPE_GRAY,             16,   false,   0,    false, 1},
    {"grey2_trns",       PNG_COLOR_TYPE_GRAY,              2,   false,   0,    true,  2},
    {"grey8_trns",       PNG_COLOR_TYPE_GRAY,              8,   false,   0,    true,  2},
    {"greyalpha8",       PNG_COLOR_TYPE_GRAY_ALPHA,        8,   false,   0,    false, 2},
    {"greyalpha16",      PNG_COLOR_TYPE_GRAY_ALPHA,       16,   false,   0,    false, 2},
    {"rgb8",             PNG_COLOR_TYPE_RGB,               8,   false,   0,    false, 3},
    {"rgb16",            PNG_COLOR_TYPE_RGB,              16,   false,   0,    false, 3},
    {"rgb8_trns",        PNG_COLOR_TYPE_RGB,               8,   false,   0,    true,  4},
    {"rgb16_trns",       PNG_COLOR_TYPE_RGB,              16,   false,   0,    true,  4},
    {"rgba8",            PNG_COLOR_TYPE_RGB_ALPHA,         8,   false,   0,    false, 4},
    {"rgba16",           PNG_COLOR_TYPE_RGB_ALPHA,        16,   false,   0,    false, 4},
    {"adam7_rgb8",       PNG_COLOR_TYPE_RGB,               8,   true,    0,    false, 3},
    {"adam7_palette4",   PNG_COLOR_TYPE_PALETTE,           4,   true,   16,    false, 3},
    {"adam7_grey2",      PNG_COLOR_TYPE_GRAY,              2,   true,    0,    false, 1},
    {"adam7_greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA,        8,   true,    0,    false, 2},
    {"adam7_rgba16",     PNG_COLOR_TYPE_RGB_ALPHA,        16,   true,    0,    false, 4},
};
// clang-format on

// 8-bit value of a sample: low depths scaled up to 0..255, 16 bits keep their high byte.
unsigned char cTo8Bit(unsigned uiValue, int iBitDepth)
{
    if (iBitDepth == 16) return static_cast<unsigned char>(uiValue >> 8);
    if (iBitDepth == 8) return static_cast<unsigned char>(uiValue);
    return static_cast<unsigned char>(uiValue * 255 / ((1u << iBitDepth) - 1));
}

// Builds the file description of a case with random samples (some equal to the
// tRNS key) and the texels the reader must give, top row first.
tdTestPNG oMakePNG(const tdPNGCase& oCase, std::vector<unsigned char>* paucExpected)
{
    // Odd sizes leave partial bytes at row ends and empty Adam7 passes.
    tdTestPNG oPNG;
    oPNG.m_iWidth = 13;
    oPNG.m_iHeight = 7;
    oPNG.m_iBitDepth = oCase.iBitDepth;
    oPNG.m_iColorType = oCase.iColorType;
    oPNG.m_bInterlaced = oCase.bInterlaced;
    tdTestRandom oRandom = {static_cast<uint32_t>(oCase.iColorType * 100 + oCase.iBitDepth)};
    for (int i = 0; i < oCase.iPaletteSize; i++)
    {
        Color oColor = {static_cast<unsigned char>(oRandom.uiNext(256)),
                        static_cast<unsigned char>(oRandom.uiNext(256)),
                        static_cast<unsigned char>(oRandom.uiNext(256)),
                        static_cast<unsigned char>(oCase.bTransparent ? oRandom.uiNext(256) : 255)};
        oPNG.m_aoPalette.push_back(oColor);
    }
    const int iChannels = iPNGChannels(oCase.iColorType);
    const unsigned uiLimit = oCase.iColorType == PNG_COLOR_TYPE_PALETTE
                                 ? static_cast<unsigned>(oCase.iPaletteSize)
                                 : (1u << oCase.iBitDepth);
    std::vector<unsigned> auiKey;
    if (oCase.bTransparent && oCase.iColorType != PNG_COLOR_TYPE_PALETTE)
    {
        for (int c = 0; c < iChannels; c++)
        {
            auiKey.push_back(oRandom.uiNext(uiLimit));
            oPNG.m_aiTransparent[c] = static_cast<int>(auiKey.back());
        }
    }
    paucExpected->clear();
    for (int i = 0; i < oPNG.m_iWidth * oPNG.m_iHeight; i++)
    {
        std::vector<unsigned> auiPixel;
        for (int c = 0; c < iChannels; c++)
            auiPixel.push_back(i % 5 == 0 && !auiKey.empty() ? auiKey[c] : oRandom.uiNext(uiLimit));
        oPNG.m_auiSamples.insert(oPNG.m_auiSamples.end(), auiPixel.begin(), auiPixel.end());

        if (oCase.iColorType == PNG_COLOR_TYPE_PALETTE)
        {
            const Color& o = oPNG.m_aoPalette[auiPixel[0]];
            paucExpected->insert(paucExpected->end(), {o.r, o.g, o.b});
            if (oCase.bTransparent) paucExpected->push_back(o.a);
            continue;
        }
        for (unsigned uiValue : auiPixel)
            paucExpected->push_back(cTo8Bit(uiValue, oCase.iBitDepth));
        if (!auiKey.empty()) paucExpected->push_back(auiPixel == auiKey ? 0 : 255);
    }
    return oPNG;
}

class PNGReaderTest : public ::testing::TestWithParam<tdPNGCase>
{
protected:
    tdTempFolder m_oFolder;
};

TEST_P(PNGReaderTest, TexelsMatchReferenceExpansionTopRowFirst)
{
    const tdPNGCase& oCase = GetParam();
    std::vector<unsigned char> aucExpected;
    tdTestPNG oPNG = oMakePNG(oCase, &aucExpected);
    std::string sName = m_oFolder.sFile("in.png");
    ASSERT_TRUE(bWriteTestPNG(sName, oPNG));

    std::unique_ptr<Image> poImage(poReadCaptured(sName, true));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(poImage->m_iWidth, oPNG.m_iWidth);
    EXPECT_EQ(poImage->m_iHeight, oPNG.m_iHeight);
    EXPECT_EQ(poImage->m_iTexelSize, oCase.iTexelSize);
    EXPECT_EQ(poImage->m_fAspectRatio, 1.0);
    EXPECT_EQ(aucTopDownTexels(poImage.get()), aucExpected);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, PNGReaderTest, ::testing::ValuesIn(g_aoPNGCases),
                         [](const ::testing::TestParamInfo<tdPNGCase>& o)
                         { return std::string(o.param.pszName); });

class PNGFileTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
};

// Two-bit grey levels 0..3 spread evenly over 0..255.
TEST_F(PNGFileTest, Grey2BitExpandsToQuarterSteps)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = 4;
    oPNG.m_iHeight = 1;
    oPNG.m_iBitDepth = 2;
    oPNG.m_iColorType = PNG_COLOR_TYPE_GRAY;
    oPNG.m_auiSamples = {0, 1, 2, 3};
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("g.png"), oPNG));
    std::unique_ptr<Image> poImage(poReadCaptured(m_oFolder.sFile("g.png"), true));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(aucTopDownTexels(poImage.get()), (std::vector<unsigned char>{0, 85, 170, 255}));
}

TEST_F(PNGFileTest, OneBitPaletteGivesPaletteColours)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = 3;
    oPNG.m_iHeight = 2;
    oPNG.m_iBitDepth = 1;
    oPNG.m_iColorType = PNG_COLOR_TYPE_PALETTE;
    oPNG.m_aoPalette = {{10, 20, 30, 255}, {200, 150, 100, 255}};
    oPNG.m_auiSamples = {1, 0, 1,  // top row
                         0, 0, 1}; // bottom row
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("p.png"), oPNG));
    std::unique_ptr<Image> poImage(poReadCaptured(m_oFolder.sFile("p.png"), true));
    ASSERT_NE(poImage, nullptr);
    ASSERT_EQ(poImage->m_iTexelSize, 3);
    // The buffer is bottom-up: the file's bottom row comes first.
    EXPECT_EQ(std::vector<unsigned char>(poImage->m_pucTexels, poImage->m_pucTexels + 18),
              (std::vector<unsigned char>{10, 20, 30, 10, 20, 30, 200, 150, 100,       // file row 1
                                          200, 150, 100, 10, 20, 30, 200, 150, 100})); // file row 0
}

TEST_F(PNGFileTest, PhysGivesYOverXAspectRatio)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = 2;
    oPNG.m_iHeight = 2;
    oPNG.m_auiSamples.assign(12, 7);
    oPNG.m_bPhys = true;
    oPNG.m_uiXPerUnit = 2000;
    oPNG.m_uiYPerUnit = 1000;
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("p.png"), oPNG));
    std::unique_ptr<Image> poImage(poReadCaptured(m_oFolder.sFile("p.png"), true));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(poImage->m_fAspectRatio, 0.5);
}

// A pHYs field of zero says nothing about the pixel shape: square pixels.
TEST_F(PNGFileTest, PhysWithZeroFieldGivesSquarePixels)
{
    const uint32_t auiFields[][2] = {{0, 1000}, {1000, 0}, {0, 0}};
    for (const auto& auiField : auiFields)
    {
        tdTestPNG oPNG;
        oPNG.m_iWidth = 2;
        oPNG.m_iHeight = 2;
        oPNG.m_auiSamples.assign(12, 7);
        oPNG.m_bPhys = true;
        oPNG.m_uiXPerUnit = auiField[0];
        oPNG.m_uiYPerUnit = auiField[1];
        ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("z.png"), oPNG));
        std::unique_ptr<Image> poImage(poReadCaptured(m_oFolder.sFile("z.png"), true));
        ASSERT_NE(poImage, nullptr);
        EXPECT_EQ(poImage->m_fAspectRatio, 1.0) << auiField[0] << " x " << auiField[1];
    }
}

// JPEG pictures of four flat 16 x 16 quadrants; quality 100 without chroma
// subsampling keeps flat 8 x 8 blocks within a few levels.
struct tdJPEGCase
{
    const char* pszName;
    tdTestJPEGKind eKind;
    int iTexelSize;
};

class JPEGReaderTest : public ::testing::TestWithParam<tdJPEGCase>
{
protected:
    tdTempFolder m_oFolder;
};

TEST_P(JPEGReaderTest, FlatQuadrantsKeepTheirColoursTopRowFirst)
{
    const tdJPEGCase& oCase = GetParam();
    // clang-format off
    //                                         top left       top right       bottom left     bottom right
    const unsigned char aacGrey[4][3]   = {{30, 30, 30},   {90, 90, 90},   {160, 160, 160}, {230, 230, 230}};
    const unsigned char aacColour[4][3] = {{200, 30, 30},  {30, 200, 30},  {30, 30, 200},   {220, 220, 40}};
    // clang-format on
    const auto& aacQuadrants = oCase.iTexelSize == 1 ? aacGrey : aacColour;
    const int iSize = 32;
    std::vector<unsigned char> aucSamples;
    std::vector<unsigned char> aucExpected;
    for (int y = 0; y < iSize; y++)
    {
        for (int x = 0; x < iSize; x++)
        {
            const unsigned char* pc = aacQuadrants[(y >= 16 ? 2 : 0) + (x >= 16 ? 1 : 0)];
            aucSamples.insert(aucSamples.end(), pc, pc + oCase.iTexelSize);
            aucExpected.insert(aucExpected.end(), pc, pc + oCase.iTexelSize);
        }
    }
    std::string sName = m_oFolder.sFile("in.jpg");
    ASSERT_TRUE(bWriteTestJPEG(sName, oCase.eKind, iSize, iSize, aucSamples, 100));

    std::unique_ptr<Image> poImage(poReadCaptured(sName, false));
    ASSERT_NE(poImage, nullptr);
    EXPECT_EQ(poImage->m_iWidth, iSize);
    EXPECT_EQ(poImage->m_iHeight, iSize);
    ASSERT_EQ(poImage->m_iTexelSize, oCase.iTexelSize);
    EXPECT_EQ(poImage->m_fAspectRatio, 1.0);
    std::vector<unsigned char> aucTexels = aucTopDownTexels(poImage.get());
    ASSERT_EQ(aucTexels.size(), aucExpected.size());
    int iWorst = 0;
    for (size_t i = 0; i < aucTexels.size(); i++)
        iWorst = std::max(iWorst, std::abs(aucTexels[i] - aucExpected[i]));
    EXPECT_LE(iWorst, 3);
}

// clang-format off
//  name      stored as       texel size
const tdJPEGCase g_aoJPEGCases[] = {
    {"grey",  TestJPEG_Grey,  1},
    {"ycbcr", TestJPEG_YCbCr, 3},
    {"rgb",   TestJPEG_RGB,   3},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(ColourSpaces, JPEGReaderTest, ::testing::ValuesIn(g_aoJPEGCases),
                         [](const ::testing::TestParamInfo<tdJPEGCase>& o)
                         { return std::string(o.param.pszName); });

class JPEGFileTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
};

TEST_F(JPEGFileTest, FourComponentColourSpacesGiveNullWithMessage)
{
    for (tdTestJPEGKind eKind : {TestJPEG_CMYK, TestJPEG_YCCK})
    {
        std::vector<unsigned char> aucSamples(16 * 16 * 4, 100);
        std::string sName = m_oFolder.sFile("cmyk.jpg");
        ASSERT_TRUE(bWriteTestJPEG(sName, eKind, 16, 16, aucSamples, 90));
        tdCaptured oCaptured;
        std::unique_ptr<Image> poImage(poReadCaptured(sName, false, &oCaptured));
        EXPECT_EQ(poImage, nullptr) << eKind;
        EXPECT_NE(oCaptured.m_sErr.find("colour space"), std::string::npos) << oCaptured.m_sErr;
    }
}

// The PNG writer: fits a copy to the output size and stores it as 8-bit RGB.
class PNGWriterTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
    tdSettings m_oSettings;

    void SetUp() override { vGetDefaultSettings(&m_oSettings); }

    // A picture of the texel size with every byte from a seeded generator.
    static Image* poNoise(int iWidth, int iHeight, int iTexelSize, uint32_t uiSeed)
    {
        Image* poImage = new Image(iWidth, iHeight, iTexelSize, Background_None, 1.0);
        tdTestRandom oRandom = {uiSeed};
        for (size_t i = 0; i < static_cast<size_t>(iWidth) * iHeight * iTexelSize; i++)
            poImage->m_pucTexels[i] = static_cast<unsigned char>(oRandom.uiNext(256));
        return poImage;
    }

    // Writes through the writer to a file and returns its name.
    std::string sWrite(const Image* poImage, Image** ppoOut)
    {
        std::string sName = m_oFolder.sFile("out.png");
        FILE* poFile = fopen(sName.c_str(), "wb");
        EXPECT_NE(poFile, nullptr);
        tdErrorTriple oError = oWriteImageToPNGFile(poImage, &m_oSettings, poFile, ppoOut);
        fclose(poFile);
        EXPECT_EQ(oError.fRed, 0.0);
        EXPECT_EQ(oError.fGreen, 0.0);
        EXPECT_EQ(oError.fBlue, 0.0);
        return sName;
    }
};

TEST_F(PNGWriterTest, Size256x212GivesThatRGBFileWhateverTheSource)
{
    // clang-format off
    //  width height texel size
    const int aaiSources[][3] = {
        {  10,    10,  3},
        { 320,   240,  3},
        {1000,    50,  1},
        {  50,  1000,  2},
        { 256,   212,  4},
        {   1,     1,  3},
    };
    // clang-format on
    m_oSettings.OutputSizeType = OutputSize_256x212;
    for (const auto& aiSource : aaiSources)
    {
        std::unique_ptr<Image> poSource(poNoise(aiSource[0], aiSource[1], aiSource[2], 7));
        std::string sName = sWrite(poSource.get(), nullptr);
        tdDecodedPNG oPNG;
        ASSERT_TRUE(bReadTestPNG(sName, &oPNG)) << aiSource[0] << " x " << aiSource[1];
        EXPECT_EQ(oPNG.m_iWidth, 256);
        EXPECT_EQ(oPNG.m_iHeight, 212);
        EXPECT_EQ(oPNG.m_iBitDepth, 8);
        EXPECT_EQ(oPNG.m_iColorType, PNG_COLOR_TYPE_RGB);
    }
}

// write -> read gives the fitted picture exactly, top row first in both.
TEST_F(PNGWriterTest, RoundTripEqualsFittedPicture)
{
    struct tdCase
    {
        tdOutputSizeType eSize;
        tdFitMode eFit;
        tdResizeFilter eFilter;
    };
    const tdCase aoCases[] = {
        {OutputSize_256x212, FitMode_Fit, ResizeFilter_Auto},
        {OutputSize_256x192, FitMode_Crop, ResizeFilter_Bicubic},
        {OutputSize_Original, FitMode_Fit, ResizeFilter_Auto},
        {OutputSize_640x480, FitMode_Fill, ResizeFilter_Nearest},
    };
    std::unique_ptr<Image> poSource(poNoise(300, 150, 3, 11));
    for (const tdCase& oCase : aoCases)
    {
        m_oSettings.OutputSizeType = oCase.eSize;
        m_oSettings.FitMode = oCase.eFit;
        m_oSettings.ResizeFilter = oCase.eFilter;
        Image* poFitted = nullptr;
        std::string sName = sWrite(poSource.get(), &poFitted);
        std::unique_ptr<Image> poOwned(poFitted);
        ASSERT_NE(poFitted, nullptr);
        EXPECT_EQ(poFitted->m_iTexelSize, 3);

        std::unique_ptr<Image> poRead(poReadCaptured(sName, true));
        ASSERT_NE(poRead, nullptr);
        EXPECT_EQ(poRead->m_iWidth, poFitted->m_iWidth);
        EXPECT_EQ(poRead->m_iHeight, poFitted->m_iHeight);
        EXPECT_EQ(poRead->m_iTexelSize, 3);
        EXPECT_TRUE(aucTopDownTexels(poRead.get()) == aucTopDownTexels(poFitted)) << oCase.eSize;
        // The independent decoder agrees on the orientation.
        tdDecodedPNG oPNG;
        ASSERT_TRUE(bReadTestPNG(sName, &oPNG));
        EXPECT_TRUE(oPNG.m_aucRGB == aucTopDownTexels(poFitted)) << oCase.eSize;
    }
}

// The original size at the source's own aspect ratio changes nothing.
TEST_F(PNGWriterTest, OriginalSizeKeepsTheTexels)
{
    std::unique_ptr<Image> poSource(poNoise(37, 23, 3, 5));
    m_oSettings.OutputSizeType = OutputSize_Original;
    std::string sName = sWrite(poSource.get(), nullptr);
    EXPECT_EQ(g_iOutputAutoWidth, 37);
    EXPECT_EQ(g_iOutputAutoHeight, 23);
    tdDecodedPNG oPNG;
    ASSERT_TRUE(bReadTestPNG(sName, &oPNG));
    EXPECT_EQ(oPNG.m_iWidth, 37);
    EXPECT_EQ(oPNG.m_iHeight, 23);
    EXPECT_TRUE(oPNG.m_aucRGB == aucTopDownTexels(poSource.get()));
}

TEST_F(PNGWriterTest, WithoutStreamStillFillsOutParameterAndKeepsSource)
{
    std::unique_ptr<Image> poSource(poNoise(100, 80, 4, 3));
    std::vector<unsigned char> aucBefore = aucTopDownTexels(poSource.get());
    m_oSettings.OutputSizeType = OutputSize_256x212;
    Image* poFitted = nullptr;
    tdErrorTriple oError = oWriteImageToPNGFile(poSource.get(), &m_oSettings, nullptr, &poFitted);
    std::unique_ptr<Image> poOwned(poFitted);
    EXPECT_EQ(oError.fRed + oError.fGreen + oError.fBlue, 0.0);
    ASSERT_NE(poFitted, nullptr);
    EXPECT_EQ(poFitted->m_iWidth, 256);
    EXPECT_EQ(poFitted->m_iHeight, 212);
    EXPECT_EQ(poFitted->m_iTexelSize, 3);
    EXPECT_EQ(poSource->m_iWidth, 100);
    EXPECT_EQ(poSource->m_iTexelSize, 4);
    EXPECT_TRUE(aucTopDownTexels(poSource.get()) == aucBefore);
    EXPECT_TRUE(asListFolder(m_oFolder.m_sPath).empty());
}

// A custom size of 0 leaves the picture as it is: grey stays grey, alpha is dropped.
TEST_F(PNGWriterTest, ZeroCustomSizeWritesThePictureUnfitted)
{
    m_oSettings.OutputSizeType = OutputSize_Custom;
    m_oSettings.OutputWidth = 0;
    m_oSettings.OutputHeight = 0;

    std::unique_ptr<Image> poGrey(poNoise(9, 5, 1, 21));
    std::string sName = sWrite(poGrey.get(), nullptr);
    tdDecodedPNG oPNG;
    ASSERT_TRUE(bReadTestPNG(sName, &oPNG));
    EXPECT_EQ(oPNG.m_iColorType, PNG_COLOR_TYPE_GRAY);
    EXPECT_EQ(oPNG.m_iWidth, 9);
    std::unique_ptr<Image> poGreyRead(poReadCaptured(sName, true));
    ASSERT_NE(poGreyRead, nullptr);
    EXPECT_TRUE(aucTopDownTexels(poGreyRead.get()) == aucTopDownTexels(poGrey.get()));

    std::unique_ptr<Image> poRGBA(poNoise(9, 5, 4, 22));
    sName = sWrite(poRGBA.get(), nullptr);
    ASSERT_TRUE(bReadTestPNG(sName, &oPNG));
    EXPECT_EQ(oPNG.m_iColorType, PNG_COLOR_TYPE_RGB);
    std::vector<unsigned char> aucRGBA = aucTopDownTexels(poRGBA.get());
    std::vector<unsigned char> aucRGB;
    for (size_t i = 0; i < aucRGBA.size(); i += 4)
        aucRGB.insert(aucRGB.end(), &aucRGBA[i], &aucRGBA[i + 3]);
    EXPECT_TRUE(oPNG.m_aucRGB == aucRGB);
}
} // namespace
