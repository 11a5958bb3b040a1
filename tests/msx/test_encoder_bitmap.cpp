// The bitmap encoders (Screens 5, 6, 7 and 8). The main oracle is the video chip model:
// the bytes an encoder writes, loaded into a VDP in the screen's layout and rendered,
// must give back the encoder's own output picture pixel for pixel. Beside it: the
// documented Screen 8 bytes and buffer sizes, a plain reference encoder written from
// the algorithm's description, and decoders of the run-length and LZW streams written
// from the stream format.

#include "tests/support/testutil.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/msx/encoder_bitmap.h"
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

// Run-length stream: control 1..127 then that many literals; 0x83..0xFF then one byte
// repeated control - 0x80 times; 0 ends. False on a malformed or unterminated stream.
bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOut)
{
    size_t i = 0;
    while (i < aucStream.size())
    {
        int iControl = aucStream[i++];
        if (iControl == 0) return i == aucStream.size();
        if (iControl < 0x80)
        {
            if (i + iControl > aucStream.size()) return false;
            paucOut->insert(paucOut->end(), aucStream.begin() + i, aucStream.begin() + i + iControl);
            i += iControl;
        }
        else
        {
            if (iControl < 0x83 || i >= aucStream.size()) return false;
            paucOut->insert(paucOut->end(), static_cast<size_t>(iControl - 0x80), aucStream[i++]);
        }
    }
    return false;
}

// LZW stream: the k-th code since the start or the last clear (k from 1) is a 1 and
// eight bits of a byte, or a 0 and W = max(2, bit length of k) bits of a value n:
// n = k - 1 clears, n = k ends, anything else is an entry. Reading code k >= 2 adds the
// entry (string of code k - 1) + (first byte of code k).
bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOut)
{
    size_t uiBit = 0;
    auto iRead = [&](int iBits) -> long
    {
        long l = 0;
        for (int b = 0; b < iBits; b++, uiBit++)
        {
            if (uiBit / 8 >= aucStream.size()) return -1;
            l = 2 * l + ((aucStream[uiBit / 8] >> (7 - uiBit % 8)) & 1);
        }
        return l;
    };
    std::vector<tdBytes> aoEntries;
    tdBytes aucPrevious;
    long k = 0;
    for (;;)
    {
        k++;
        int iWidth = 0;
        while ((1L << iWidth) <= k)
            iWidth++;
        iWidth = std::max(iWidth, 2);
        long lFlag = iRead(1);
        if (lFlag < 0) return false;
        tdBytes aucString;
        if (lFlag == 1)
        {
            long lByte = iRead(8);
            if (lByte < 0) return false;
            aucString.assign(1, static_cast<unsigned char>(lByte));
        }
        else
        {
            long n = iRead(iWidth);
            if (n < 0) return false;
            if (n == k - 1)
            {
                aoEntries.clear();
                aucPrevious.clear();
                k = 0;
                continue;
            }
            if (n == k) return aucStream.size() == (uiBit + 7) / 8;
            if (n < static_cast<long>(aoEntries.size()))
                aucString = aoEntries[static_cast<size_t>(n)];
            else if (n == static_cast<long>(aoEntries.size()) && !aucPrevious.empty())
            {
                aucString = aucPrevious;
                aucString.push_back(aucPrevious[0]);
            }
            else
                return false;
        }
        if (!aucPrevious.empty())
        {
            aoEntries.push_back(aucPrevious);
            aoEntries.back().push_back(aucString[0]);
        }
        paucOut->insert(paucOut->end(), aucString.begin(), aucString.end());
        aucPrevious = aucString;
    }
}

// The test pictures of this file: flat rectangles of 37 x 23 pixels.
Image* poMakePicture(tdTestPictureKind eKind, int iWidth, int iHeight, double fRatio, uint32_t uiSeed = 7)
{
    return poMakeTestPicture(eKind, iWidth, iHeight, fRatio, uiSeed, 37, 23);
}

// Counts the pixels whose red, green and blue differ and reports the first of them.
void vExpectSameRGB(const Image* poExpected, const Image* poActual)
{
    ASSERT_EQ(poExpected->m_iWidth, poActual->m_iWidth);
    ASSERT_EQ(poExpected->m_iHeight, poActual->m_iHeight);
    long lDifferent = 0;
    std::string sFirst;
    for (int y = 0; y < poExpected->m_iHeight; y++)
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

// A palette of the first iCount (1..16) colours given, count iCount.
Palette oFixedPalette(const Color* aoColors, int iCount)
{
    Color aoSixteen[16] = {};
    std::copy(aoColors, aoColors + iCount, aoSixteen);
    Palette oPalette(aoSixteen);
    oPalette.vResize(static_cast<unsigned int>(iCount));
    return oPalette;
}

// Sixteen colours with distinct red, green and blue, none of them on an MSX level.
const Color g_aoOddPalette[16] = {
    {3, 5, 7, 0},      {250, 251, 252, 0}, {200, 10, 20, 0}, {10, 200, 30, 0},
    {20, 30, 200, 0},  {120, 121, 122, 0}, {60, 61, 62, 0},  {190, 191, 40, 0},
    {40, 190, 191, 0}, {191, 40, 190, 0},  {100, 50, 25, 0}, {25, 100, 50, 0},
    {50, 25, 100, 0},  {160, 80, 40, 0},   {40, 160, 80, 0}, {80, 40, 160, 0},
};

// The screen modes of these encoders.
struct tdBitmapMode
{
    const char* m_pszName;
    int m_iWidth;
    int m_iColors;    // palette entries; 0 for Screen 8
    int m_iLineBytes; // bytes of one line
    int m_iPageOne;   // address of page 1 in video memory
};

// clang-format off
//                                  name       width colours line  page 1
const tdBitmapMode g_aoModes[] = {{"Screen5",  256,  16,     128,  0x8000},
                                  {"Screen6",  512,   4,     128,  0x8000},
                                  {"Screen7",  512,  16,     256,  0x10000},
                                  {"Screen8",  256,   0,     256,  0x10000}};
// clang-format on

enum tdPaging
{
    Paging_Progressive, // 212 lines, the first buffer only
    Paging_TwoPages,    // 424 lines, even lines to the first buffer, odd to the second
    Paging_OneBuffer,   // 424 lines all in the first buffer (one after the other)
};
const char* const g_apszPagings[] = {"Progressive", "TwoPages", "OneBuffer"};

Image* poRender(const VDP& oVDP, int iMode, bool bInterlaced, bool bInterleave)
{
    switch (iMode)
    {
    case 0:
        return oVDP.poGetScreen5Image(bInterlaced, bInterleave);
    case 1:
        return oVDP.poGetScreen6Image(bInterlaced, bInterleave);
    case 2:
        return oVDP.poGetScreen7Image(bInterlaced, bInterleave);
    default:
        return oVDP.poGetScreen8Image(bInterlaced, bInterleave);
    }
}

// Runs the encoder of mode iMode with an output picture of the picture's size.
tdErrorTriple oEncode(int iMode, Image* poImage, Palette* poPalette, double fDiffusion, tdByteArray* poFirst,
                      tdByteArray* poSecond, tdCompressionType eCompression, Image* poOutput,
                      tdDeltaMethod eMethod = DeltaMethod_RGB)
{
    if (g_aoModes[iMode].m_iColors == 0)
        return oWriteImageToRGB(poImage, fDiffusion, poFirst, poSecond, eCompression, poOutput, eMethod);
    return oWriteImageToIndexed(poImage, poPalette, fDiffusion, poFirst, poSecond, eCompression, poOutput,
                                eMethod, 0.5);
}

// The plain reference: the algorithm as described, one buffer, compression none,
// bits gathered into bytes here.
tdErrorTriple oReferenceEncode(int iMode, const Image* poImage, Palette* poPalette, double fDiffusion,
                               tdBytes* paucOut, Image* poOutput, tdDeltaMethod eMethod)
{
    const bool bRGB = g_aoModes[iMode].m_iColors == 0;
    int iBits = 8;
    if (!bRGB)
    {
        iBits = 0;
        while ((2u << iBits) <= poPalette->m_uiColorCount)
            iBits++;
    }
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fDiffusion);
    unsigned int uiAccumulator = 0;
    int iPending = 0;
    for (int y = 0; y < poImage->m_iHeight; y++)
    {
        for (int x = 0; x < poImage->m_iWidth; x++)
        {
            Color oPixel = poImage->oGetPixel(x, y);
            oDiffuser.vAdjust(x, &oPixel);
            Color oChosen = {0, 0, 0, 255};
            int iValue = 0;
            if (!bRGB)
            {
                iValue = oPixel.a == 0 ? 0 : poPalette->iNearestColor(oPixel, eMethod, 0.5);
                oChosen = poPalette->m_aoColors[iValue];
            }
            else if (oPixel.a != 0)
            {
                int R = (7 * oPixel.r + 127) / 255;
                int G = (7 * oPixel.g + 127) / 255;
                int B = oPixel.b < 37 ? 0 : (oPixel.b < 110 ? 1 : (oPixel.b < 201 ? 2 : 3));
                if (eMethod != DeltaMethod_RGB && eMethod != DeltaMethod_Hit9918)
                {
                    double fBest = DBL_MAX;
                    int r = std::max(R - 4, 0);
                    while (r <= std::min(R + 4, 7))
                    {
                        int g = std::max(G - 4, 0);
                        while (g <= std::min(G + 4, 7))
                        {
                            for (int c = 0; c < 4; c++)
                            {
                                Color oCandidate = {static_cast<unsigned char>((255 * r + 3) / 7),
                                                    static_cast<unsigned char>((255 * g + 3) / 7),
                                                    static_cast<unsigned char>(c < 3 ? 73 * c : 255), 255};
                                double f = fColorDelta(&oCandidate, &oPixel, 1.0, 255.0, eMethod, 0.0);
                                if (f < fBest)
                                {
                                    fBest = f;
                                    R = r;
                                    G = g;
                                    B = c;
                                }
                            }
                            g++;
                        }
                        r++;
                    }
                }
                iValue = 32 * G + 4 * R + B;
                oChosen = {static_cast<unsigned char>((255 * R + 3) / 7),
                           static_cast<unsigned char>((255 * G + 3) / 7),
                           static_cast<unsigned char>(B < 3 ? 73 * B : 255), 255};
            }
            oDiffuser.vDiffuse(x, &oPixel, &oChosen);
            poOutput->vSetPixel(x, y, &oChosen);
            for (int b = iBits - 1; b >= 0; b--)
            {
                uiAccumulator = 2 * uiAccumulator + ((static_cast<unsigned>(iValue) >> b) & 1);
                if (++iPending == 8)
                {
                    paucOut->push_back(static_cast<unsigned char>(uiAccumulator));
                    uiAccumulator = 0;
                    iPending = 0;
                }
            }
        }
        oDiffuser.vNewLine();
    }
    if (iPending) paucOut->push_back(static_cast<unsigned char>(uiAccumulator << (8 - iPending)));
    return oDiffuser.oGetError();
}

// The palette of a round trip: a palette built from the picture for the noise, fixed
// colours (MSX2, or four of them for Screen 6) otherwise.
Palette oRoundTripPalette(int iMode, tdTestPictureKind eKind, const Image* poImage)
{
    const int iColors = std::max(g_aoModes[iMode].m_iColors, 1);
    if (eKind == TestPicture_Noise)
    {
        Palette oPalette;
        oPalette.vLoadFromImage(poImage, static_cast<unsigned int>(iColors), nullptr, 1.0, DeltaMethod_RGB,
                                1.0);
        oPalette.vResize(static_cast<unsigned int>(iColors));
        return oPalette;
    }
    if (iColors == 4)
    {
        const Color aoFour[4] = {g_aoMSX2Palette[1], g_aoMSX2Palette[15], g_aoMSX2Palette[8],
                                 g_aoMSX2Palette[5]};
        return oFixedPalette(aoFour, 4);
    }
    return oFixedPalette(g_aoMSX2Palette, iColors);
}

class BitmapRoundTripTest
    : public ::testing::TestWithParam<std::tuple<int, double, bool, tdPaging, tdTestPictureKind>>
{
};

TEST_P(BitmapRoundTripTest, RenderedBytesEqualTheOutputPicture)
{
    const int iMode = std::get<0>(GetParam());
    const double fDiffusion = std::get<1>(GetParam());
    const bool bBayer = std::get<2>(GetParam());
    const tdPaging ePaging = std::get<3>(GetParam());
    const tdTestPictureKind eKind = std::get<4>(GetParam());
    const tdBitmapMode& oMode = g_aoModes[iMode];
    const bool bInterlaced = ePaging != Paging_Progressive;
    const int iHeight = bInterlaced ? 424 : 212;
    const double fRatio = (oMode.m_iWidth == 512 ? 0.5 : 1.0) * (bInterlaced ? 2.0 : 1.0);

    std::unique_ptr<Image> poImage(poMakePicture(eKind, oMode.m_iWidth, iHeight, fRatio));
    poImage->vSetDitheringMode(bBayer ? Dithering_Bayer4x4 : Dithering_None, 0.2, 0.0, 1.0);
    Palette oPalette = oRoundTripPalette(iMode, eKind, poImage.get());
    Image oOutput(oMode.m_iWidth, iHeight, 3, Background_Black, fRatio);
    tdByteArray oFirst;
    tdByteArray oSecond;
    oEncode(iMode, poImage.get(), &oPalette, fDiffusion, &oFirst,
            ePaging == Paging_TwoPages ? &oSecond : nullptr, CompressionType_None, &oOutput);

    const int iPageBytes = 212 * oMode.m_iLineBytes;
    VDP oVDP;
    if (ePaging == Paging_TwoPages)
    {
        ASSERT_EQ(oFirst.m_iSize, iPageBytes);
        ASSERT_EQ(oSecond.m_iSize, iPageBytes);
        memcpy(oVDP.m_pucVRAM, oFirst.m_pucData, static_cast<size_t>(iPageBytes));
        memcpy(oVDP.m_pucVRAM + oMode.m_iPageOne, oSecond.m_pucData, static_cast<size_t>(iPageBytes));
    }
    else
    {
        ASSERT_EQ(oFirst.m_iSize, iHeight * oMode.m_iLineBytes);
        EXPECT_EQ(oSecond.m_iSize, 0);
        memcpy(oVDP.m_pucVRAM, oFirst.m_pucData, static_cast<size_t>(oFirst.m_iSize));
    }
    for (int i = 0; i < 16; i++)
        oVDP.m_poPalette[i] = oPalette.m_aoColors[i];
    std::unique_ptr<Image> poRendered(poRender(oVDP, iMode, bInterlaced, ePaging == Paging_TwoPages));
    vExpectSameRGB(&oOutput, poRendered.get());
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, BitmapRoundTripTest,
    ::testing::Combine(::testing::Values(0, 1, 2, 3), ::testing::Values(0.0, 0.8), ::testing::Bool(),
                       ::testing::Values(Paging_Progressive, Paging_TwoPages, Paging_OneBuffer),
                       ::testing::Values(TestPicture_Gradient, TestPicture_Noise, TestPicture_Flat,
                                         TestPicture_Transparency)),
    [](const ::testing::TestParamInfo<BitmapRoundTripTest::ParamType>& oInfo)
    {
        return std::string(g_aoModes[std::get<0>(oInfo.param)].m_pszName) +
               (std::get<1>(oInfo.param) != 0.0 ? "_Diffusion" : "_NoDiffusion") +
               (std::get<2>(oInfo.param) ? "_Bayer" : "_NoBayer") + "_" +
               g_apszPagings[std::get<3>(oInfo.param)] + "_" +
               g_apszTestPictureKinds[std::get<4>(oInfo.param)];
    });

// Every compression type carries the same bytes, page by page: the run-length and
// LZW streams decode to the uncompressed ones.
class BitmapCompressionTest : public ::testing::TestWithParam<std::tuple<int, tdCompressionType>>
{
};

TEST_P(BitmapCompressionTest, StreamsDecodeToTheUncompressedPages)
{
    const int iMode = std::get<0>(GetParam());
    const tdCompressionType eCompression = std::get<1>(GetParam());
    const tdBitmapMode& oMode = g_aoModes[iMode];
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Flat, oMode.m_iWidth, 424, 1.0));
    Palette oPalette = oRoundTripPalette(iMode, TestPicture_Flat, poImage.get());

    tdByteArray aoPlain[2];
    oEncode(iMode, poImage.get(), &oPalette, 0.8, &aoPlain[0], &aoPlain[1], CompressionType_None, nullptr);
    tdByteArray aoPacked[2];
    // The encoder appends to what a buffer holds.
    aoPacked[0].vAppend(0xAA);
    aoPacked[1].vAppend(0xBB);
    oEncode(iMode, poImage.get(), &oPalette, 0.8, &aoPacked[0], &aoPacked[1], eCompression, nullptr);
    for (int p = 0; p < 2; p++)
    {
        tdBytes aucPacked = aucBytes(aoPacked[p]);
        ASSERT_FALSE(aucPacked.empty());
        EXPECT_EQ(aucPacked[0], p == 0 ? 0xAA : 0xBB);
        aucPacked.erase(aucPacked.begin());
        EXPECT_LT(aucPacked.size(), static_cast<size_t>(aoPlain[p].m_iSize)) << "flat areas compress";
        tdBytes aucDecoded;
        bool bOk = eCompression == CompressionType_LZW ? bDecodeLZW(aucPacked, &aucDecoded)
                                                       : bDecodeRunLength(aucPacked, &aucDecoded);
        EXPECT_TRUE(bOk) << "page " << p;
        EXPECT_EQ(aucDecoded, aucBytes(aoPlain[p])) << "page " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, BitmapCompressionTest,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3),
                                            ::testing::Values(CompressionType_RunLength,
                                                              CompressionType_LZW)));

// The optimised encoders against the plain reference: bytes, output picture and error
// triple, for every distance method.
class BitmapReferenceTest : public ::testing::TestWithParam<std::tuple<int, tdDeltaMethod>>
{
};

TEST_P(BitmapReferenceTest, SameBytesPictureAndErrorAsThePlainAlgorithm)
{
    const int iMode = std::get<0>(GetParam());
    const tdDeltaMethod eMethod = std::get<1>(GetParam());
    const int iColors = g_aoModes[iMode].m_iColors;
    for (int iKind = 0; iKind < 4; iKind++)
    {
        for (double fDiffusion : {0.0, 0.8})
        {
            std::unique_ptr<Image> poImage(poMakePicture(static_cast<tdTestPictureKind>(iKind), 48, 24, 1.0,
                                                         100 + static_cast<uint32_t>(iKind)));
            poImage->vSetDitheringMode(Dithering_Bayer2x2, 0.1, 0.0, 1.0);
            Palette oPalette = oFixedPalette(g_aoOddPalette, std::max(iColors, 1));
            Image oOutput(48, 24, 3, Background_Black, 1.0);
            Image oReferenceOutput(48, 24, 3, Background_Black, 1.0);
            tdByteArray oBytes;
            tdBytes aucReference;
            tdErrorTriple o = oEncode(iMode, poImage.get(), &oPalette, fDiffusion, &oBytes, nullptr,
                                      CompressionType_None, &oOutput, eMethod);
            tdErrorTriple oReference = oReferenceEncode(iMode, poImage.get(), &oPalette, fDiffusion,
                                                        &aucReference, &oReferenceOutput, eMethod);
            EXPECT_EQ(aucBytes(oBytes), aucReference) << g_apszTestPictureKinds[iKind] << " " << fDiffusion;
            vExpectSameRGB(&oReferenceOutput, &oOutput);
            EXPECT_EQ(o.fRed, oReference.fRed);
            EXPECT_EQ(o.fGreen, oReference.fGreen);
            EXPECT_EQ(o.fBlue, oReference.fBlue);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllMethods, BitmapReferenceTest,
                         ::testing::Combine(::testing::Values(0, 1, 3),
                                            ::testing::Values(DeltaMethod_RGB, DeltaMethod_XYZ,
                                                              DeltaMethod_LAB, DeltaMethod_CIEDE2000,
                                                              DeltaMethod_Hit9918, DeltaMethod_Oklab)));

// One row of pixels through the Screen 8 encoder, without dithering or diffusion.
tdBytes aucScreen8Bytes(const std::vector<Color>& aoPixels, tdDeltaMethod eMethod, Image* poOutput = nullptr)
{
    Image oImage(static_cast<int>(aoPixels.size()), 1, 4, Background_Black, 1.0);
    for (size_t x = 0; x < aoPixels.size(); x++)
        oImage.vSetPixel(static_cast<int>(x), 0, &aoPixels[x]);
    tdByteArray oBytes;
    oWriteImageToRGB(&oImage, 0.0, &oBytes, nullptr, CompressionType_None, poOutput, eMethod);
    return aucBytes(oBytes);
}
} // namespace

TEST(Screen8Encoder, DocumentedBytesOfPureColoursAndLevelThresholds)
{
    struct tdCase
    {
        Color m_oColor;
        int m_iByte;
    };
    // clang-format off
    //   red green blue alpha     byte: green 7-5, red 4-2, blue 1-0
    const tdCase aoCases[] = {
        {{255, 255, 255, 255},    0xFF},
        {{255,   0,   0, 255},    0x1C},
        {{  0, 255,   0, 255},    0xE0},
        {{  0,   0, 255, 255},    0x03},
        {{ 19,   0,   0, 255},    0x04},  // red 19 is the first byte of level 1
        {{ 18,   0,   0, 255},    0x00},
        {{  0,   0,  36, 255},    0x00},  // blue 36 is still level 0
        {{  0,   0,  37, 255},    0x01},
        {{  0,   0, 109, 255},    0x01},
        {{  0,   0, 110, 255},    0x02},
        {{  0,   0, 200, 255},    0x02},
        {{  0,   0, 201, 255},    0x03},
        {{  0, 237,   0, 255},    0xE0},
        {{  0, 236,   0, 255},    0xC0},
        {{255, 255, 255,   0},    0x00},  // transparent: black whatever its colour
    };
    // clang-format on
    std::vector<Color> aoPixels;
    for (const tdCase& o : aoCases)
        aoPixels.push_back(o.m_oColor);
    for (tdDeltaMethod eMethod : {DeltaMethod_RGB, DeltaMethod_Hit9918})
    {
        Image oOutput(static_cast<int>(aoPixels.size()), 1, 3, Background_Black, 1.0);
        tdBytes aucBytesOut = aucScreen8Bytes(aoPixels, eMethod, &oOutput);
        ASSERT_EQ(aucBytesOut.size(), aoPixels.size());
        for (size_t i = 0; i < aoPixels.size(); i++)
            EXPECT_EQ(aucBytesOut[i], aoCases[i].m_iByte) << "case " << i << " method " << eMethod;
        Color oTransparent = oOutput.oGetPixel(static_cast<int>(aoPixels.size()) - 1, 0);
        EXPECT_EQ(oTransparent.r + oTransparent.g + oTransparent.b, 0);
    }
}

TEST(Screen8Encoder, EveryScreen8ColourKeepsItsOwnByteWithEveryMethod)
{
    std::vector<Color> aoPixels;
    for (int i = 0; i < 256; i++)
        aoPixels.push_back({cExpand3((i >> 2) & 7), cExpand3(i >> 5), cExpand2(i & 3), 255});
    for (int iMethod = 0; iMethod < DeltaMethod_Count; iMethod++)
    {
        tdBytes aucOut = aucScreen8Bytes(aoPixels, static_cast<tdDeltaMethod>(iMethod));
        ASSERT_EQ(aucOut.size(), 256u);
        for (int i = 0; i < 256; i++)
            EXPECT_EQ(aucOut[static_cast<size_t>(i)], i) << "method " << iMethod;
    }
}

TEST(Screen8Encoder, CheapMethodsTakeThePlainLevelsAndSearchingMethodsCanDiffer)
{
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Noise, 64, 32, 1.0));
    tdByteArray oRGB, oHit, oLab;
    oWriteImageToRGB(poImage.get(), 0.0, &oRGB, nullptr, CompressionType_None, nullptr, DeltaMethod_RGB);
    oWriteImageToRGB(poImage.get(), 0.0, &oHit, nullptr, CompressionType_None, nullptr, DeltaMethod_Hit9918);
    oWriteImageToRGB(poImage.get(), 0.0, &oLab, nullptr, CompressionType_None, nullptr, DeltaMethod_LAB);
    EXPECT_EQ(aucBytes(oRGB), aucBytes(oHit));
    EXPECT_NE(aucBytes(oRGB), aucBytes(oLab));
}

TEST(BitmapEncoders, DocumentedBufferSizes)
{
    struct tdCase
    {
        int m_iWidth;
        int m_iColors; // 0: Screen 8
        int m_iBytes;
    };
    // clang-format off
    //  width colours bytes (212 lines, uncompressed)
    const tdCase aoCases[] = {
        {256,  16,    27136},  // Screen 5
        {512,   4,    27136},  // Screen 6
        {512,  16,    54272},  // Screen 7
        {256,   0,    54272},  // Screen 8
    };
    // clang-format on
    for (const tdCase& o : aoCases)
    {
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Gradient, o.m_iWidth, 212, 1.0));
        Palette oPalette = oFixedPalette(g_aoMSX2Palette, std::max(o.m_iColors, 1));
        tdByteArray oBytes;
        if (o.m_iColors)
            oWriteImageToIndexed(poImage.get(), &oPalette, 0.8, &oBytes, nullptr, CompressionType_None,
                                 nullptr, DeltaMethod_RGB, 1.0);
        else
            oWriteImageToRGB(poImage.get(), 0.8, &oBytes, nullptr, CompressionType_None, nullptr,
                             DeltaMethod_RGB);
        EXPECT_EQ(oBytes.m_iSize, o.m_iBytes) << o.m_iWidth << " " << o.m_iColors;
    }
}

TEST(IndexedEncoder, TransparentPixelsTakeIndexZeroAndItsColour)
{
    // Index 0 is far from white; the transparent white pixel still takes it.
    Image oImage(4, 1, 4, Background_Black, 1.0);
    const Color aoPixels[4] = {{255, 255, 255, 0}, {255, 255, 255, 255}, {0, 0, 0, 0}, {250, 251, 252, 255}};
    for (int x = 0; x < 4; x++)
        oImage.vSetPixel(x, 0, &aoPixels[x]);
    Palette oPalette = oFixedPalette(g_aoOddPalette, 16);
    Image oOutput(4, 1, 3, Background_Black, 1.0);
    tdByteArray oBytes;
    oWriteImageToIndexed(&oImage, &oPalette, 0.0, &oBytes, nullptr, CompressionType_None, &oOutput,
                         DeltaMethod_RGB, 1.0);
    EXPECT_EQ(aucBytes(oBytes), tdBytes({0x01, 0x01}));
    Color o = oOutput.oGetPixel(0, 0);
    EXPECT_EQ(o.r, 3);
    EXPECT_EQ(o.g, 5);
    EXPECT_EQ(o.b, 7);
}

// Without diffusion the error triple is the plain root-mean-square difference between
// the pixels as read (ordered dither included) and the colours written.
TEST(BitmapEncoders, ErrorWithoutDiffusionIsThePlainQuantisationError)
{
    for (int iMode : {0, 3})
    {
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Transparency, 256, 212, 1.0));
        poImage->vSetDitheringMode(Dithering_Bayer8x8, 0.3, 0.0, 1.0);
        Palette oPalette = oFixedPalette(g_aoMSX2Palette, 16);
        Image oOutput(256, 212, 3, Background_Black, 1.0);
        tdErrorTriple oError =
            oEncode(iMode, poImage.get(), &oPalette, 0.0, nullptr, nullptr, CompressionType_None, &oOutput);
        double afSums[3] = {0.0, 0.0, 0.0};
        for (int y = 0; y < 212; y++)
            for (int x = 0; x < 256; x++)
            {
                Color a = poImage->oGetPixel(x, y);
                Color b = oOutput.oGetPixel(x, y);
                afSums[0] += (a.r - b.r) * (a.r - b.r);
                afSums[1] += (a.g - b.g) * (a.g - b.g);
                afSums[2] += (a.b - b.b) * (a.b - b.b);
            }
        EXPECT_EQ(oError.fRed, std::sqrt(afSums[0] / (256.0 * 212.0)));
        EXPECT_EQ(oError.fGreen, std::sqrt(afSums[1] / (256.0 * 212.0)));
        EXPECT_EQ(oError.fBlue, std::sqrt(afSums[2] / (256.0 * 212.0)));
        EXPECT_GT(oError.fRed, 0.0);
    }
}

// Pictures of any size: the stream is the pixels' fields one after the other with no
// gap between lines, padded with zero bits at the end of each page.
TEST(IndexedEncoder, AnySizeAndBitDepthPacksFieldsWithoutGaps)
{
    struct tdSize
    {
        int m_iWidth;
        int m_iHeight;
    };
    const tdSize aoSizes[] = {{1, 1}, {3, 5}, {101, 7}, {2, 2}, {17, 1}};
    for (const tdSize& oSize : aoSizes)
    {
        for (int iColors : {1, 2, 3, 4, 8, 16})
        {
            int iBits = iColors >= 16 ? 4 : (iColors >= 8 ? 3 : (iColors >= 4 ? 2 : (iColors >= 2 ? 1 : 0)));
            std::unique_ptr<Image> poImage(
                poMakePicture(TestPicture_Noise, oSize.m_iWidth, oSize.m_iHeight, 1.0));
            Palette oPalette = oFixedPalette(g_aoOddPalette, iColors);
            Image oOutput(oSize.m_iWidth, oSize.m_iHeight, 3, Background_Black, 1.0);
            tdByteArray aoPages[2];
            oWriteImageToIndexed(poImage.get(), &oPalette, 0.8, &aoPages[0], &aoPages[1],
                                 CompressionType_None, &oOutput, DeltaMethod_RGB, 1.0);
            for (int p = 0; p < 2; p++)
            {
                // The indices of the page's lines, read back from the output picture.
                std::vector<int> aiIndices;
                for (int y = p; y < oSize.m_iHeight; y += 2)
                    for (int x = 0; x < oSize.m_iWidth; x++)
                    {
                        Color o = oOutput.oGetPixel(x, y);
                        int i = 0;
                        while (i < 15 && (o.r != g_aoOddPalette[i].r || o.g != g_aoOddPalette[i].g))
                            i++;
                        aiIndices.push_back(i);
                    }
                const size_t uiBits = aiIndices.size() * static_cast<size_t>(iBits);
                ASSERT_EQ(static_cast<size_t>(aoPages[p].m_iSize), (uiBits + 7) / 8)
                    << oSize.m_iWidth << "x" << oSize.m_iHeight << " colours " << iColors << " page " << p;
                for (size_t n = 0; n < aiIndices.size(); n++)
                {
                    int iField = 0;
                    for (int b = 0; b < iBits; b++)
                    {
                        size_t uiBit = n * static_cast<size_t>(iBits) + static_cast<size_t>(b);
                        iField = 2 * iField + ((aoPages[p].m_pucData[uiBit / 8] >> (7 - uiBit % 8)) & 1);
                    }
                    EXPECT_EQ(iField, aiIndices[n] & ((1 << iBits) - 1)) << "pixel " << n << " page " << p;
                }
                for (size_t uiBit = uiBits; uiBit % 8; uiBit++)
                    EXPECT_EQ((aoPages[p].m_pucData[uiBit / 8] >> (7 - uiBit % 8)) & 1, 0) << "padding";
            }
        }
    }
}

TEST(BitmapEncoders, OnlyTheSecondBufferReceivesTheOddLines)
{
    for (int iMode : {0, 3})
    {
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Noise, 256, 6, 1.0));
        Palette oPalette = oFixedPalette(g_aoMSX2Palette, 16);
        tdByteArray oFirst, oSecond, oOnlySecond;
        oEncode(iMode, poImage.get(), &oPalette, 0.8, &oFirst, &oSecond, CompressionType_None, nullptr);
        oEncode(iMode, poImage.get(), &oPalette, 0.8, nullptr, &oOnlySecond, CompressionType_None, nullptr);
        EXPECT_EQ(oSecond.m_iSize, 3 * g_aoModes[iMode].m_iLineBytes);
        EXPECT_EQ(aucBytes(oOnlySecond), aucBytes(oSecond));
    }
}

TEST(BitmapEncoders, NullBuffersOutputAndOddSizedOutputsAreSafe)
{
    for (int iMode = 0; iMode < 4; iMode++)
    {
        std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Gradient, 40, 30, 1.0));
        Palette oPalette = oFixedPalette(g_aoMSX2Palette, std::max(g_aoModes[iMode].m_iColors, 1));
        Image oFull(40, 30, 3, Background_Black, 1.0);
        tdErrorTriple oWithAll =
            oEncode(iMode, poImage.get(), &oPalette, 0.8, nullptr, nullptr, CompressionType_LZW, &oFull);
        tdErrorTriple oWithNothing =
            oEncode(iMode, poImage.get(), &oPalette, 0.8, nullptr, nullptr, CompressionType_LZW, nullptr);
        EXPECT_EQ(oWithAll.fRed, oWithNothing.fRed);
        EXPECT_EQ(oWithAll.fBlue, oWithNothing.fBlue);

        // Smaller and larger output pictures take the pixels that fall inside them.
        Image oSmall(7, 5, 3, Background_Black, 1.0);
        Image oLarge(90, 70, 4, Background_Black, 1.0);
        oEncode(iMode, poImage.get(), &oPalette, 0.8, nullptr, nullptr, CompressionType_None, &oSmall);
        oEncode(iMode, poImage.get(), &oPalette, 0.8, nullptr, nullptr, CompressionType_None, &oLarge);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++)
                EXPECT_EQ(oSmall.oGetPixel(x, y).r, oFull.oGetPixel(x, y).r);
        EXPECT_EQ(oLarge.oGetPixel(39, 29).g, oFull.oGetPixel(39, 29).g);
        EXPECT_EQ(oLarge.oGetPixel(40, 30).a, 0) << "pixels beyond the picture stay as they were";
    }
}

TEST(BitmapEncoders, EmptyPictureNullPictureAndTinyPalettes)
{
    Image oEmpty(1.0);
    Palette oPalette = oFixedPalette(g_aoMSX2Palette, 16);
    for (tdCompressionType e : {CompressionType_None, CompressionType_RunLength, CompressionType_LZW})
    {
        tdByteArray oIndexed, oRGB;
        tdErrorTriple o1 = oWriteImageToIndexed(&oEmpty, &oPalette, 0.8, &oIndexed, nullptr, e, nullptr,
                                                DeltaMethod_RGB, 1.0);
        tdErrorTriple o2 = oWriteImageToRGB(&oEmpty, 0.8, &oRGB, nullptr, e, nullptr, DeltaMethod_RGB);
        EXPECT_EQ(o1.fRed + o1.fGreen + o1.fBlue + o2.fRed + o2.fGreen + o2.fBlue, 0.0);
        // An empty stream is only the compression's own framing.
        const tdBytes aucFraming = e == CompressionType_None
                                       ? tdBytes()
                                       : (e == CompressionType_RunLength ? tdBytes{0x00} : tdBytes{0x20});
        EXPECT_EQ(aucBytes(oIndexed), aucFraming);
        EXPECT_EQ(aucBytes(oRGB), aucFraming);
    }

    tdByteArray oBytes;
    tdErrorTriple o = oWriteImageToIndexed(nullptr, &oPalette, 0.8, &oBytes, nullptr, CompressionType_LZW,
                                           nullptr, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(o.fRed, 0.0);
    o = oWriteImageToRGB(nullptr, 0.8, &oBytes, nullptr, CompressionType_LZW, nullptr, DeltaMethod_RGB);
    EXPECT_EQ(o.fRed, 0.0);
    std::unique_ptr<Image> poImage(poMakePicture(TestPicture_Noise, 8, 8, 1.0));
    o = oWriteImageToIndexed(poImage.get(), nullptr, 0.8, &oBytes, nullptr, CompressionType_LZW, nullptr,
                             DeltaMethod_RGB, 1.0);
    EXPECT_EQ(o.fRed, 0.0);
    EXPECT_EQ(oBytes.m_iSize, 0);

    // One colour: no bits a pixel, every pixel painted with it.
    Palette oOne = oFixedPalette(g_aoOddPalette + 2, 1);
    Image oOutput(8, 8, 3, Background_Black, 1.0);
    oWriteImageToIndexed(poImage.get(), &oOne, 0.8, &oBytes, nullptr, CompressionType_None, &oOutput,
                         DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oBytes.m_iSize, 0);
    EXPECT_EQ(oOutput.oGetPixel(5, 5).r, 200);
}
