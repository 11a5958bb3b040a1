// The pattern-screen encoders (Screens 2 and 3). The main oracle is the video chip
// model: the stream, loaded into a VDP in the screen's layout and rendered, must give
// back the encoder's own output picture pixel for pixel. Beside it: the documented
// colour and pattern bytes and stream sizes, the tie rules, and a plain Screen 2
// encoder that drives the Diffuser pixel by pixel through every pair trial (vSave,
// trial, vRestore), against which the encoder's shared trial graph must give identical
// bytes.

#include "tests/support/testutil.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/msx/encoder_pattern.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
typedef std::vector<unsigned char> tdBytes;

tdBytes aucBytes(const tdByteArray& oArray)
{
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

// The test pictures of this file: square pixels, flat rectangles of 13 x 11 pixels.
Image* poMakePicture(tdTestPictureKind eKind, int iWidth, int iHeight, uint32_t uiSeed = 11)
{
    return poMakeTestPicture(eKind, iWidth, iHeight, 1.0, uiSeed, 13, 11);
}

// Counts the pixels of lines 0..iLines-1 (all: -1) whose red, green and blue differ and
// reports the first of them.
void vExpectSameRGB(const Image* poExpected, const Image* poActual, int iLines = -1)
{
    ASSERT_EQ(poExpected->m_iWidth, poActual->m_iWidth);
    ASSERT_EQ(poExpected->m_iHeight, poActual->m_iHeight);
    if (iLines < 0) iLines = poExpected->m_iHeight;
    long lDifferent = 0;
    std::string sFirst;
    for (int y = 0; y < iLines; y++)
        for (int x = 0; x < poExpected->m_iWidth; x++)
        {
            Color e = poExpected->oGetPixel(x, y);
            Color a = poActual->oGetPixel(x, y);
            if (e.r == a.r && e.g == a.g && e.b == a.b) continue;
            if (lDifferent++ == 0)
                sFirst = "(" + std::to_string(x) + ", " + std::to_string(y) + "): expected " +
                         std::to_string(e.r) + "," + std::to_string(e.g) + "," + std::to_string(e.b) +
                         " got " + std::to_string(a.r) + "," + std::to_string(a.g) + "," +
                         std::to_string(a.b);
        }
    EXPECT_EQ(lDifferent, 0) << "first difference at " << sFirst;
}

// Sixteen colours with distinct red, green and blue, none of them on an MSX level.
const Color g_aoOddPalette[16] = {
    {3, 5, 7, 0},      {250, 251, 252, 0}, {200, 10, 20, 0}, {10, 200, 30, 0},
    {20, 30, 200, 0},  {120, 121, 122, 0}, {60, 61, 62, 0},  {190, 191, 40, 0},
    {40, 190, 191, 0}, {191, 40, 190, 0},  {100, 50, 25, 0}, {25, 100, 50, 0},
    {50, 25, 100, 0},  {160, 80, 40, 0},   {40, 160, 80, 0}, {80, 40, 160, 0},
};

Image* poUniform(int iWidth, int iHeight, Color oColor)
{
    Image* poImage = new Image(iWidth, iHeight, 3, Background_Black, 1.0);
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
            poImage->vSetPixel(x, y, &oColor);
    return poImage;
}

// A Screen 2 stream split into its tables; the name table part is checked here.
struct tdScreen2Tables
{
    tdBytes m_aucPatterns;
    tdBytes m_aucColors;
};

tdScreen2Tables oSplitScreen2(const tdBytes& aucStream, bool bNameTable)
{
    tdScreen2Tables o;
    const size_t uiColors = bNameTable ? 0x2000 : 6144;
    EXPECT_EQ(aucStream.size(), uiColors + 6144);
    if (aucStream.size() != uiColors + 6144) return o;
    o.m_aucPatterns.assign(aucStream.begin(), aucStream.begin() + 6144);
    o.m_aucColors.assign(aucStream.begin() + static_cast<long>(uiColors), aucStream.end());
    return o;
}

// Loads a Screen 2 stream into video memory; without the name table, the standard one
// (0..255 three times) is put in place.
void vLoadScreen2(VDP* poVDP, const tdBytes& aucStream, bool bNameTable)
{
    if (bNameTable)
    {
        ASSERT_EQ(aucStream.size(), 14336u);
        memcpy(poVDP->m_pucVRAM, aucStream.data(), aucStream.size());
        return;
    }
    ASSERT_EQ(aucStream.size(), 12288u);
    memcpy(poVDP->m_pucVRAM, aucStream.data(), 6144);
    memcpy(poVDP->m_pucVRAM + 0x2000, aucStream.data() + 6144, 6144);
    for (int n = 0; n < 768; n++)
        poVDP->m_pucVRAM[0x1800 + n] = static_cast<unsigned char>(n);
}

// The plain Screen 2 encoder over lines 0..iLines-1: every pair trial drives the
// Diffuser pixel by pixel and is undone with vRestore. Tables and output as the
// encoder's; the error triple covers the lines encoded.
tdErrorTriple oReferenceScreen2(const Image* poImage, const Palette& oPalette, double fDiffusion,
                                double fExponent, tdDeltaMethod eMethod, double fWeight, int iLines,
                                tdScreen2Tables* poTables, Image* poOutput)
{
    const Color* pal = oPalette.m_aoColors;
    poTables->m_aucPatterns.assign(6144, 0);
    poTables->m_aucColors.assign(6144, 0);
    Diffuser oDiffuser(256, 192, poImage->m_fAspectRatio, fDiffusion);
    for (int y = 0; y < iLines; y++)
    {
        for (int x = 0; x < 256; x += 8)
        {
            oDiffuser.vSave(x);
            Color aoPixels[8];
            Color aoCopy[8];
            for (int k = 0; k < 8; k++)
                aoCopy[k] = aoPixels[k] = poImage->oGetPixel(x + k, y);
            double fBest = DBL_MAX;
            int iColorByte = 0;
            for (int i = 0; i < 15; i++)
                for (int j = i + 1; j < 16; j++)
                {
                    double fTotal = 0.0;
                    for (int k = 0; k < 8; k++)
                    {
                        oDiffuser.vAdjust(x + k, &aoPixels[k]);
                        double di = fColorDelta(&aoPixels[k], &pal[i], fExponent, 255.0, eMethod, fWeight);
                        double dj = fColorDelta(&aoPixels[k], &pal[j], fExponent, 255.0, eMethod, fWeight);
                        const Color* poChosen = dj > di ? &pal[i] : &pal[j];
                        oDiffuser.vDiffuse(x + k, &aoPixels[k], poChosen);
                        fTotal += std::min(di, dj);
                    }
                    oDiffuser.vRestore(x);
                    std::copy(aoCopy, aoCopy + 8, aoPixels);
                    if (fTotal <= fBest)
                    {
                        fBest = fTotal;
                        iColorByte = 16 * i + j;
                    }
                }
            const int iOffset = 256 * (y / 8) + x + y % 8;
            poTables->m_aucColors[static_cast<size_t>(iOffset)] = static_cast<unsigned char>(iColorByte);
            const int F = iColorByte >> 4;
            const int B = iColorByte & 15;
            int iPattern = 0;
            for (int k = 0; k < 8; k++)
            {
                oDiffuser.vAdjust(x + k, &aoPixels[k]);
                double dB = fColorDelta(&aoPixels[k], &pal[B], 1.0, 255.0, eMethod, fWeight);
                double dF = fColorDelta(&aoPixels[k], &pal[F], 1.0, 255.0, eMethod, fWeight);
                const Color* poChosen = dF <= dB ? &pal[F] : &pal[B];
                if (dF <= dB) iPattern |= 0x80 >> k;
                oDiffuser.vDiffuse(x + k, &aoPixels[k], poChosen);
                poOutput->vSetPixel(x + k, y, poChosen);
            }
            poTables->m_aucPatterns[static_cast<size_t>(iOffset)] = static_cast<unsigned char>(iPattern);
        }
        oDiffuser.vNewLine();
    }
    return oDiffuser.oGetError();
}

// The palette of a round trip: built from the picture for the noise, MSX2 otherwise.
Palette oRoundTripPalette(tdTestPictureKind eKind, const Image* poImage)
{
    Palette oPalette(g_aoMSX2Palette);
    if (eKind == TestPicture_Noise)
    {
        oPalette.vLoadFromImage(poImage, 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
        oPalette.vResize(16);
    }
    return oPalette;
}

class PatternRoundTripTest
    : public ::testing::TestWithParam<std::tuple<int, double, bool, bool, tdTestPictureKind>>
{
};

TEST_P(PatternRoundTripTest, RenderedBytesEqualTheOutputPicture)
{
    const int iScreen = std::get<0>(GetParam());
    const double fDiffusion = std::get<1>(GetParam());
    const bool bBayer = std::get<2>(GetParam());
    const bool bNameTable = std::get<3>(GetParam());
    const tdTestPictureKind eKind = std::get<4>(GetParam());
    const int iWidth = iScreen == 2 ? 256 : 64;
    const int iHeight = iScreen == 2 ? 192 : 48;

    std::unique_ptr<Image> poImage(poMakePicture(eKind, iWidth, iHeight));
    poImage->vSetDitheringMode(bBayer ? Dithering_Bayer4x4 : Dithering_None, 0.2, 0.0, 1.0);
    Palette oPalette = oRoundTripPalette(eKind, poImage.get());
    Image oOutput(iWidth, iHeight, 3, Background_Black, 1.0);
    tdByteArray oBytes;
    VDP oVDP;
    std::unique_ptr<Image> poRendered;
    if (iScreen == 2)
    {
        oWriteImageToScreen2(poImage.get(), &oPalette, fDiffusion, &oBytes, CompressionType_None, &oOutput,
                             1.0, bNameTable, DeltaMethod_RGB, 1.0);
        vLoadScreen2(&oVDP, aucBytes(oBytes), bNameTable);
        for (int i = 0; i < 16; i++)
            oVDP.m_poPalette[i] = oPalette.m_aoColors[i];
        poRendered.reset(oVDP.poGetScreen2Image());
    }
    else
    {
        oWriteImageToScreen3(poImage.get(), &oPalette, fDiffusion, &oBytes, CompressionType_None, &oOutput,
                             DeltaMethod_RGB, 1.0);
        ASSERT_EQ(oBytes.m_iSize, 1536);
        memcpy(oVDP.m_pucVRAM, oBytes.m_pucData, 1536);
        for (int i = 0; i < 16; i++)
            oVDP.m_poPalette[i] = oPalette.m_aoColors[i];
        poRendered.reset(oVDP.poGetScreen3Image());
    }
    vExpectSameRGB(&oOutput, poRendered.get());
}

INSTANTIATE_TEST_SUITE_P(BothScreens, PatternRoundTripTest,
                         ::testing::Combine(::testing::Values(2, 3), ::testing::Values(0.0, 0.8),
                                            ::testing::Bool(), ::testing::Bool(),
                                            ::testing::Values(TestPicture_Gradient, TestPicture_Noise,
                                                              TestPicture_Flat, TestPicture_Transparency)),
                         [](const ::testing::TestParamInfo<PatternRoundTripTest::ParamType>& oInfo)
                         {
                             return "Screen" + std::to_string(std::get<0>(oInfo.param)) +
                                    (std::get<1>(oInfo.param) != 0.0 ? "_Diffusion" : "_NoDiffusion") +
                                    (std::get<2>(oInfo.param) ? "_Bayer" : "_NoBayer") +
                                    (std::get<3>(oInfo.param) ? "_NameTable" : "_Tables") + "_" +
                                    g_apszTestPictureKinds[std::get<4>(oInfo.param)];
                         });

// The encoder against the plain trial-by-trial algorithm: identical tables, output
// and error triple, for every distance method and for pair exponents other than 1.
// The costly methods draw their picture in the first two character rows only and
// leave the rest black, and the plain algorithm covers those rows: the encoding of a
// line depends only on the lines above it.
struct tdScreen2ReferenceCase
{
    tdDeltaMethod m_eMethod;
    double m_fExponent;
    tdTestPictureKind m_eKind;
    double m_fDiffusion;
    bool m_bBayer;
    int m_iLines; // lines drawn and compared
};

class Screen2ReferenceTest : public ::testing::TestWithParam<tdScreen2ReferenceCase>
{
};

TEST_P(Screen2ReferenceTest, SameTablesPictureAndErrorAsThePlainAlgorithm)
{
    const tdScreen2ReferenceCase& oCase = GetParam();
    std::unique_ptr<Image> poImage(poUniform(256, 192, {0, 0, 0, 255}));
    std::unique_ptr<Image> poDrawn(poMakePicture(oCase.m_eKind, 256, oCase.m_iLines, 5));
    poImage->vBlit(poDrawn.get(), 0, 0);
    poImage->vSetDitheringMode(oCase.m_bBayer ? Dithering_Bayer2x2 : Dithering_None, 0.1, 0.0, 1.0);
    Palette oPalette(g_aoOddPalette);
    Image oOutput(256, 192, 3, Background_Black, 1.0);
    Image oReferenceOutput(256, 192, 3, Background_Black, 1.0);
    tdByteArray oBytes;
    tdErrorTriple o =
        oWriteImageToScreen2(poImage.get(), &oPalette, oCase.m_fDiffusion, &oBytes, CompressionType_None,
                             &oOutput, oCase.m_fExponent, false, oCase.m_eMethod, 0.7);
    tdScreen2Tables oReference;
    tdErrorTriple oReferenceError =
        oReferenceScreen2(poImage.get(), oPalette, oCase.m_fDiffusion, oCase.m_fExponent, oCase.m_eMethod,
                          0.7, oCase.m_iLines, &oReference, &oReferenceOutput);
    tdScreen2Tables oTables = oSplitScreen2(aucBytes(oBytes), false);
    ASSERT_EQ(oTables.m_aucPatterns.size(), 6144u);
    const size_t uiRows = static_cast<size_t>((oCase.m_iLines + 7) / 8) * 256;
    EXPECT_TRUE(std::equal(oReference.m_aucColors.begin(), oReference.m_aucColors.begin() + uiRows,
                           oTables.m_aucColors.begin()));
    EXPECT_TRUE(std::equal(oReference.m_aucPatterns.begin(), oReference.m_aucPatterns.begin() + uiRows,
                           oTables.m_aucPatterns.begin()));
    vExpectSameRGB(&oReferenceOutput, &oOutput, oCase.m_iLines);
    if (oCase.m_iLines == 192)
    {
        EXPECT_EQ(o.fRed, oReferenceError.fRed);
        EXPECT_EQ(o.fGreen, oReferenceError.fGreen);
        EXPECT_EQ(o.fBlue, oReferenceError.fBlue);
    }
}

// clang-format off
const tdScreen2ReferenceCase g_aoScreen2ReferenceCases[] = {
    // method                 exponent  picture               diffusion  Bayer  lines
    {DeltaMethod_RGB,         1.0,      TestPicture_Gradient,     0.8,       true,  192},
    {DeltaMethod_RGB,         1.0,      TestPicture_Noise,        0.8,       false, 192},
    {DeltaMethod_RGB,         1.0,      TestPicture_Flat,         0.8,       true,  192},
    {DeltaMethod_RGB,         1.0,      TestPicture_Transparency, 0.8,       false, 192},
    {DeltaMethod_RGB,         1.0,      TestPicture_Noise,        0.0,       true,  192},
    {DeltaMethod_RGB,         1.0,      TestPicture_Gradient,     0.0,       false, 192},
    {DeltaMethod_RGB,         0.5,      TestPicture_Noise,        0.8,       true,  192},
    {DeltaMethod_RGB,         2.0,      TestPicture_Gradient,     0.8,       false, 192},
    {DeltaMethod_Hit9918,     1.0,      TestPicture_Noise,        0.8,       true,  192},
    {DeltaMethod_Hit9918,     1.5,      TestPicture_Transparency, 0.8,       false,  16},
    {DeltaMethod_XYZ,         1.0,      TestPicture_Noise,        0.8,       true,   16},
    {DeltaMethod_LAB,         1.0,      TestPicture_Gradient,     0.8,       false,  16},
    {DeltaMethod_LAB,         0.5,      TestPicture_Noise,        0.0,       true,   16},
    {DeltaMethod_CIEDE2000,   1.0,      TestPicture_Noise,        0.8,       false,  16},
    {DeltaMethod_CIEDE2000,   2.0,      TestPicture_Transparency, 0.8,       true,   16},
    {DeltaMethod_Oklab,       1.0,      TestPicture_Flat,         0.8,       true,   16},
    {DeltaMethod_Oklab,       1.0,      TestPicture_Noise,        0.8,       false,  16},
};
// clang-format on

const char* const g_apszMethods[] = {"RGB", "XYZ", "LAB", "CIEDE2000", "Hit9918", "Oklab"};

INSTANTIATE_TEST_SUITE_P(Cases, Screen2ReferenceTest, ::testing::ValuesIn(g_aoScreen2ReferenceCases),
                         [](const ::testing::TestParamInfo<tdScreen2ReferenceCase>& oInfo)
                         {
                             const tdScreen2ReferenceCase& o = oInfo.param;
                             return std::to_string(oInfo.index) + "_" + g_apszMethods[o.m_eMethod] + "_" +
                                    g_apszTestPictureKinds[o.m_eKind] +
                                    (o.m_fDiffusion != 0.0 ? "_Diffusion" : "") +
                                    (o.m_bBayer ? "_Bayer" : "");
                         });

tdBytes aucEncodeScreen2(Image* poImage, Palette* poPalette, bool bNameTable, Image* poOutput = nullptr,
                         double fDiffusion = 0.0, tdCompressionType eCompression = CompressionType_None)
{
    tdByteArray oBytes;
    oWriteImageToScreen2(poImage, poPalette, fDiffusion, &oBytes, eCompression, poOutput, 1.0, bNameTable,
                         DeltaMethod_RGB, 1.0);
    return aucBytes(oBytes);
}

tdBytes aucEncodeScreen3(Image* poImage, Palette* poPalette, Image* poOutput = nullptr,
                         double fDiffusion = 0.0, tdCompressionType eCompression = CompressionType_None)
{
    tdByteArray oBytes;
    oWriteImageToScreen3(poImage, poPalette, fDiffusion, &oBytes, eCompression, poOutput, DeltaMethod_RGB,
                         1.0);
    return aucBytes(oBytes);
}

// The stream of the given compression type is the uncompressed stream coded by
// LZWCmp (whose codings have tests of their own).
tdBytes aucCompress(const tdBytes& aucPlain, tdCompressionType eCompression)
{
    tdByteArray oBytes;
    LZWCmp oWriter(eCompression, 0, false);
    oWriter.vOpen(&oBytes, 8);
    for (unsigned char uc : aucPlain)
        oWriter.vWrite(uc);
    oWriter.vClose();
    return aucBytes(oBytes);
}

bool bAllEqual(const tdBytes& auc, unsigned char uc)
{
    return std::all_of(auc.begin(), auc.end(), [uc](unsigned char c) { return c == uc; });
}
} // namespace

// A uniform picture of one palette colour c, no dither or diffusion: every pair that
// holds c totals 0, and the later pair wins a tie.
TEST(Screen2Encoder, UniformPaletteColourTakesTheLastPairHoldingIt)
{
    struct tdCase
    {
        const char* m_pszName;
        int m_iColor;     // the picture's colour: this palette entry
        int m_iDuplicate; // another entry set to the same colour, or -1
        int m_iColorByte; // expected colour byte
    };
    // clang-format off
    const tdCase aoCases[] = {
        {"colour 5 of the MSX2 palette",         5, -1, 0x5F},  // (5, 15) is the last pair with 5
        {"colour 0, unique",                     0, -1, 0x0F},
        {"colour 3, also in entry 9",            3,  9, 0x9F},  // (9, 15) comes after every (3, j)
        {"colour 14, also in entry 15",         14, 15, 0xEF},  // (14, 15): foreground wins dF = dB
    };
    // clang-format on
    for (const tdCase& o : aoCases)
    {
        Palette oPalette(o.m_iColor == 5 ? g_aoMSX2Palette : g_aoOddPalette);
        if (o.m_iDuplicate >= 0) oPalette.m_aoColors[o.m_iDuplicate] = oPalette.m_aoColors[o.m_iColor];
        Color oColor = oPalette.m_aoColors[o.m_iColor];
        oColor.a = 255;
        std::unique_ptr<Image> poImage(poUniform(256, 192, oColor));
        tdScreen2Tables oTables = oSplitScreen2(aucEncodeScreen2(poImage.get(), &oPalette, false), false);
        EXPECT_TRUE(bAllEqual(oTables.m_aucColors, static_cast<unsigned char>(o.m_iColorByte)))
            << o.m_pszName;
        EXPECT_TRUE(bAllEqual(oTables.m_aucPatterns, 0xFF)) << o.m_pszName;
    }
}

TEST(Screen2Encoder, StreamLayoutWithAndWithoutTheNameTable)
{
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Gradient, 256, 192));
    Palette oPalette(g_aoMSX2Palette);
    tdBytes aucWith = aucEncodeScreen2(poImage.get(), &oPalette, true);
    tdBytes aucWithout = aucEncodeScreen2(poImage.get(), &oPalette, false);
    ASSERT_EQ(aucWith.size(), 14336u);
    ASSERT_EQ(aucWithout.size(), 12288u);
    EXPECT_TRUE(std::equal(aucWithout.begin(), aucWithout.begin() + 6144, aucWith.begin())) << "patterns";
    EXPECT_TRUE(std::equal(aucWithout.begin() + 6144, aucWithout.end(), aucWith.begin() + 0x2000))
        << "colours";
    for (int n = 0; n < 768; n++)
        EXPECT_EQ(aucWith[static_cast<size_t>(6144 + n)], n % 256) << "name table offset " << 6144 + n;
    for (int n = 6912; n < 8192; n++)
        EXPECT_EQ(aucWith[static_cast<size_t>(n)], 0) << "gap offset " << n;
}

// Pixel (x, y) lands in the table byte 256 (y / 8) + x - x % 8 + y % 8, bit 7 - x % 8:
// a single white pixel on black shows where.
TEST(Screen2Encoder, TableOffsetsFollowTheStandardNameTable)
{
    struct tdPoint
    {
        int m_iX;
        int m_iY;
    };
    const tdPoint aoPoints[] = {{0, 0}, {7, 0}, {8, 1}, {255, 7}, {3, 8}, {100, 63}, {100, 64}, {250, 191}};
    Palette oPalette(g_aoMSX2Palette);
    for (const tdPoint& o : aoPoints)
    {
        std::unique_ptr<Image> poImage(poUniform(256, 192, {0, 0, 0, 255}));
        const Color oWhite = {255, 255, 255, 255};
        poImage->vSetPixel(o.m_iX, o.m_iY, &oWhite);
        tdScreen2Tables oTables = oSplitScreen2(aucEncodeScreen2(poImage.get(), &oPalette, false), false);
        const size_t uiOffset = static_cast<size_t>(256 * (o.m_iY / 8) + o.m_iX - o.m_iX % 8 + o.m_iY % 8);
        for (size_t i = 0; i < 6144; i++)
        {
            // Black is entries 0 and 1: black rows take (1, 15) and every pixel the
            // foreground; the white pixel's row takes (1, 15) too with the white pixel
            // as background 15.
            const unsigned char ucPattern =
                i == uiOffset ? static_cast<unsigned char>(0xFF ^ (0x80 >> (o.m_iX % 8))) : 0xFF;
            EXPECT_EQ(oTables.m_aucPatterns[i], ucPattern) << "offset " << i;
            EXPECT_EQ(oTables.m_aucColors[i], 0x1F) << "offset " << i;
        }
    }
}

TEST(Screen3Encoder, BlocksOfPaletteColoursThreeAndTenGiveByte3A)
{
    Palette oPalette(g_aoMSX2Palette);
    Image oImage(64, 48, 3, Background_Black, 1.0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            oImage.vSetPixel(x, y, &oPalette.m_aoColors[x % 2 ? 10 : 3]);
    tdBytes aucStream = aucEncodeScreen3(&oImage, &oPalette);
    ASSERT_EQ(aucStream.size(), 1536u);
    EXPECT_TRUE(bAllEqual(aucStream, 0x3A));
}

TEST(Screen3Encoder, BlockOffsetsAndNibbles)
{
    // Block (x, y) at 256 (y / 8) + 8 (x / 2) + y % 8, high nibble for even x.
    Palette oPalette(g_aoOddPalette);
    Image oImage(64, 48, 3, Background_Black, 1.0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            oImage.vSetPixel(x, y, &oPalette.m_aoColors[(x * 7 + y * 3) % 16]);
    tdBytes aucStream = aucEncodeScreen3(&oImage, &oPalette);
    ASSERT_EQ(aucStream.size(), 1536u);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x += 2)
            EXPECT_EQ(aucStream[static_cast<size_t>(256 * (y / 8) + 8 * (x / 2) + y % 8)],
                      16 * ((x * 7 + y * 3) % 16) + ((x * 7 + 7 + y * 3) % 16))
                << x << "," << y;
}

TEST(PatternEncoders, EveryCompressionTypeCodesTheUncompressedStream)
{
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Flat, 256, 192));
    Palette oPalette(g_aoMSX2Palette);
    for (tdCompressionType e : {CompressionType_RunLength, CompressionType_LZW})
    {
        for (bool bNameTable : {false, true})
        {
            tdBytes aucPlain = aucEncodeScreen2(poImage.get(), &oPalette, bNameTable, nullptr, 0.8);
            tdBytes aucPacked = aucEncodeScreen2(poImage.get(), &oPalette, bNameTable, nullptr, 0.8, e);
            EXPECT_EQ(aucPacked, aucCompress(aucPlain, e)) << e << " " << bNameTable;
            EXPECT_LT(aucPacked.size(), aucPlain.size());
        }
        tdBytes aucPlain = aucEncodeScreen3(poImage.get(), &oPalette, nullptr, 0.8);
        EXPECT_EQ(aucEncodeScreen3(poImage.get(), &oPalette, nullptr, 0.8, e), aucCompress(aucPlain, e)) << e;
    }
    // Appended after what the buffer holds.
    tdByteArray oBytes;
    oBytes.vAppend(0x42);
    oWriteImageToScreen3(poImage.get(), &oPalette, 0.0, &oBytes, CompressionType_None, nullptr,
                         DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oBytes.m_iSize, 1537);
    EXPECT_EQ(oBytes.m_pucData[0], 0x42);
}

// The tables cover the screen: a larger picture is clipped to its top-left part, a
// smaller one reads as opaque black where it has no pixels.
TEST(PatternEncoders, OtherPictureSizesEncodeLikeTheScreenSizedPicture)
{
    struct tdCase
    {
        int m_iScreen;
        int m_iWidth;
        int m_iHeight;
    };
    const tdCase aoCases[] = {{2, 300, 250}, {2, 100, 50}, {2, 1, 1},
                              {2, 256, 100}, {3, 80, 60},  {3, 30, 20}};
    for (const tdCase& o : aoCases)
    {
        const int iScreenWidth = o.m_iScreen == 2 ? 256 : 64;
        const int iScreenHeight = o.m_iScreen == 2 ? 192 : 48;
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Transparency, o.m_iWidth, o.m_iHeight));
        std::unique_ptr<Image> poScreen(poUniform(iScreenWidth, iScreenHeight, {0, 0, 0, 255}));
        poScreen->vBlit(poImage.get(), 0, 0);
        for (Image* po : {poImage.get(), poScreen.get()})
            po->vSetDitheringMode(Dithering_Bayer2x2, 0.1, 0.0, 1.0);
        Palette oPalette(g_aoMSX2Palette);
        Image oOutput(iScreenWidth, iScreenHeight, 3, Background_Black, 1.0);
        Image oScreenOutput(iScreenWidth, iScreenHeight, 3, Background_Black, 1.0);
        tdByteArray oBytes, oScreenBytes;
        tdErrorTriple e1, e2;
        if (o.m_iScreen == 2)
        {
            e1 = oWriteImageToScreen2(poImage.get(), &oPalette, 0.8, &oBytes, CompressionType_None, &oOutput,
                                      1.0, true, DeltaMethod_RGB, 1.0);
            e2 = oWriteImageToScreen2(poScreen.get(), &oPalette, 0.8, &oScreenBytes, CompressionType_None,
                                      &oScreenOutput, 1.0, true, DeltaMethod_RGB, 1.0);
        }
        else
        {
            e1 = oWriteImageToScreen3(poImage.get(), &oPalette, 0.8, &oBytes, CompressionType_None, &oOutput,
                                      DeltaMethod_RGB, 1.0);
            e2 = oWriteImageToScreen3(poScreen.get(), &oPalette, 0.8, &oScreenBytes, CompressionType_None,
                                      &oScreenOutput, DeltaMethod_RGB, 1.0);
        }
        EXPECT_EQ(aucBytes(oBytes), aucBytes(oScreenBytes)) << o.m_iWidth << "x" << o.m_iHeight;
        vExpectSameRGB(&oScreenOutput, &oOutput);
        EXPECT_EQ(e1.fRed, e2.fRed);
        EXPECT_EQ(e1.fGreen, e2.fGreen);
        EXPECT_EQ(e1.fBlue, e2.fBlue);
    }
}

TEST(PatternEncoders, NullArgumentsAndOddSizedOutputsAreSafe)
{
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Noise, 256, 192));
    Palette oPalette(g_aoMSX2Palette);
    Image oOutput(256, 192, 3, Background_Black, 1.0);
    tdByteArray oBytes;
    tdErrorTriple oFull = oWriteImageToScreen2(poImage.get(), &oPalette, 0.8, &oBytes, CompressionType_LZW,
                                               &oOutput, 1.0, true, DeltaMethod_RGB, 1.0);
    tdErrorTriple oBare = oWriteImageToScreen2(poImage.get(), &oPalette, 0.8, nullptr, CompressionType_LZW,
                                               nullptr, 1.0, true, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oFull.fRed, oBare.fRed);
    EXPECT_GT(oFull.fRed, 0.0);
    Image oSmall(9, 9, 3, Background_Black, 1.0);
    oWriteImageToScreen2(poImage.get(), &oPalette, 0.8, nullptr, CompressionType_None, &oSmall, 1.0, true,
                         DeltaMethod_RGB, 1.0);
    oWriteImageToScreen3(poImage.get(), &oPalette, 0.8, nullptr, CompressionType_None, &oSmall,
                         DeltaMethod_RGB, 1.0);

    tdByteArray oNone;
    tdErrorTriple o = oWriteImageToScreen2(nullptr, &oPalette, 0.8, &oNone, CompressionType_LZW, &oOutput,
                                           1.0, true, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(o.fRed + o.fGreen + o.fBlue, 0.0);
    o = oWriteImageToScreen2(poImage.get(), nullptr, 0.8, &oNone, CompressionType_LZW, &oOutput, 1.0, true,
                             DeltaMethod_RGB, 1.0);
    EXPECT_EQ(o.fRed + o.fGreen + o.fBlue, 0.0);
    o = oWriteImageToScreen3(nullptr, &oPalette, 0.8, &oNone, CompressionType_LZW, &oOutput, DeltaMethod_RGB,
                             1.0);
    EXPECT_EQ(o.fRed + o.fGreen + o.fBlue, 0.0);
    o = oWriteImageToScreen3(poImage.get(), nullptr, 0.8, &oNone, CompressionType_LZW, &oOutput,
                             DeltaMethod_RGB, 1.0);
    EXPECT_EQ(o.fRed + o.fGreen + o.fBlue, 0.0);
    EXPECT_EQ(oNone.m_iSize, 0);
}

// Without diffusion the error triple is the plain root-mean-square difference between
// the pixels as read (ordered dither included) and the colours shown.
TEST(PatternEncoders, ErrorWithoutDiffusionIsThePlainConversionError)
{
    for (int iScreen : {2, 3})
    {
        const int iWidth = iScreen == 2 ? 256 : 64;
        const int iHeight = iScreen == 2 ? 192 : 48;
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Gradient, iWidth, iHeight));
        poImage->vSetDitheringMode(Dithering_Bayer8x8, 0.3, 0.0, 1.0);
        Palette oPalette(g_aoMSX2Palette);
        Image oOutput(iWidth, iHeight, 3, Background_Black, 1.0);
        tdErrorTriple oError =
            iScreen == 2 ? oWriteImageToScreen2(poImage.get(), &oPalette, 0.0, nullptr, CompressionType_None,
                                                &oOutput, 1.0, true, DeltaMethod_RGB, 1.0)
                         : oWriteImageToScreen3(poImage.get(), &oPalette, 0.0, nullptr, CompressionType_None,
                                                &oOutput, DeltaMethod_RGB, 1.0);
        double afSums[3] = {0.0, 0.0, 0.0};
        for (int y = 0; y < iHeight; y++)
            for (int x = 0; x < iWidth; x++)
            {
                Color a = poImage->oGetPixel(x, y);
                Color b = oOutput.oGetPixel(x, y);
                afSums[0] += (a.r - b.r) * (a.r - b.r);
                afSums[1] += (a.g - b.g) * (a.g - b.g);
                afSums[2] += (a.b - b.b) * (a.b - b.b);
            }
        const double fPixels = static_cast<double>(iWidth * iHeight);
        EXPECT_EQ(oError.fRed, std::sqrt(afSums[0] / fPixels));
        EXPECT_EQ(oError.fGreen, std::sqrt(afSums[1] / fPixels));
        EXPECT_EQ(oError.fBlue, std::sqrt(afSums[2] / fPixels));
    }
}
