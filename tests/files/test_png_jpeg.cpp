// PNG and JPEG readers, the PNG writer, damaged or lying picture files. Oracles: files
// made with libpng and libjpeg directly against a plain reference expansion of each
// PNG layout; the writer's files decoded by libpng; hostile files (cut at every
// offset, random, damaged, lying sizes) give null, never a crash.

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "qev/base/settings.h"
#include "qev/files/jpeg_io.h"
#include "qev/files/png_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <png.h>
#include <string>
#include <vector>
#include <zlib.h>

#ifndef QEV_TEST_SANITIZED
#define QEV_TEST_SANITIZED 0
#endif

namespace
{
typedef std::unique_ptr<Image> tdPicture;

// The bytes read by the PNG or JPEG reader; what it printed goes to *psMessages when given.
Image* poRead(const tdBytes& auc, bool bPNG, std::string* psMessages = nullptr)
{
    Image* poImage = nullptr;
    auto vRead = [&]
    {
        FILE* poFile = tmpfile();
        if (!auc.empty()) fwrite(auc.data(), 1, auc.size(), poFile);
        rewind(poFile);
        poImage = bPNG ? poReadImageFromPNGFile(poFile) : poReadImageFromJPEGFile(poFile);
        fclose(poFile);
    };
    const tdCaptured o = psMessages ? oCaptureOutput(vRead) : (vRead(), tdCaptured());
    if (psMessages) *psMessages = o.m_sErr + o.m_sOut;
    return poImage;
}

tdBytes aucPNG(const tdTestPNG& oPNG)
{
    tdTempFolder oFolder;
    EXPECT_TRUE(bWriteTestPNG(oFolder.sFile("p.png"), oPNG));
    return aucReadFile(oFolder.sFile("p.png"));
}

tdBytes aucJPEG(tdTestJPEGKind eKind, int iSize, const tdBytes& aucSamples, int iQuality)
{
    tdTempFolder oFolder;
    EXPECT_TRUE(bWriteTestJPEG(oFolder.sFile("j.jpg"), eKind, iSize, iSize, aucSamples, iQuality));
    return aucReadFile(oFolder.sFile("j.jpg"));
}

// A w x h picture of the colour type and depth, every sample uiSample.
tdTestPNG oPNGOf(int iWidth, int iHeight, int iColorType, int iBitDepth, uint16_t uiSample)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = iWidth;
    oPNG.m_iHeight = iHeight;
    oPNG.m_iColorType = iColorType;
    oPNG.m_iBitDepth = iBitDepth;
    oPNG.m_auiSamples.assign(static_cast<size_t>(iWidth * iHeight * iPNGChannels(iColorType)), uiSample);
    return oPNG;
}
} // namespace

// Every PNG layout (palette, low grey depths, tRNS, 16 bits, Adam7 at an odd size)
// against random samples expanded here: palette colours, low depths scaled to 0..255,
// 16 bits' high byte, alpha 0 for the tRNS key; the ratio is y / x of pHYs, 1 for a 0.
TEST(PNGReaderTest, EveryLayoutMatchesTheReferenceExpansionTopRowFirst)
{
    // clang-format off
    //  colour type, depth, Adam7, palette entries, tRNS, texel size
    struct { int iColorType; int iBitDepth; bool bAdam7; int iPalette; bool bTRNS; int iTexelSize; } const aoCases[] = {
        {PNG_COLOR_TYPE_PALETTE,     1, false,   2, false, 3}, {PNG_COLOR_TYPE_PALETTE,     4, false,  16, true,  4},
        {PNG_COLOR_TYPE_PALETTE,     8, false, 200, false, 3}, {PNG_COLOR_TYPE_GRAY,        1, false,   0, false, 1},
        {PNG_COLOR_TYPE_GRAY,        2, false,   0, true,  2}, {PNG_COLOR_TYPE_GRAY,       16, false,   0, false, 1},
        {PNG_COLOR_TYPE_GRAY_ALPHA,  8, false,   0, false, 2}, {PNG_COLOR_TYPE_RGB,        16, false,   0, true,  4},
        {PNG_COLOR_TYPE_RGB_ALPHA,  16, false,   0, false, 4}, {PNG_COLOR_TYPE_PALETTE,     4, true,   16, false, 3},
        {PNG_COLOR_TYPE_GRAY,        4, true,    0, false, 1}, {PNG_COLOR_TYPE_RGB,         8, true,    0, false, 3}};
    // clang-format on
    const uint32_t aauiPhys[3][2] = {{2000, 1000}, {0, 1000}, {1000, 0}};
    for (const auto& oCase : aoCases)
    {
        const size_t uiRow = static_cast<size_t>(&oCase - aoCases);
        tdTestPNG oPNG = oPNGOf(13, 7, oCase.iColorType, oCase.iBitDepth, 0);
        oPNG.m_bInterlaced = oCase.bAdam7;
        oPNG.m_bPhys = true;
        oPNG.m_uiXPerUnit = aauiPhys[uiRow % 3][0];
        oPNG.m_uiYPerUnit = aauiPhys[uiRow % 3][1];
        oPNG.m_auiSamples.clear();
        tdTestRandom oRandom = {static_cast<uint32_t>(oCase.iColorType * 100 + oCase.iBitDepth)};
        auto ucRandom = [&] { return static_cast<unsigned char>(oRandom.uiNext(256)); };
        for (int i = 0; i < oCase.iPalette; i++)
            oPNG.m_aoPalette.push_back(
                {ucRandom(), ucRandom(), ucRandom(), oCase.bTRNS ? ucRandom() : uint8_t(255)});
        const int iChannels = iPNGChannels(oCase.iColorType);
        const unsigned uiLimit =
            oCase.iPalette ? static_cast<unsigned>(oCase.iPalette) : 1u << oCase.iBitDepth;
        std::vector<unsigned> auiKey;
        for (int c = 0; oCase.bTRNS && !oCase.iPalette && c < iChannels; c++)
            auiKey.push_back(
                static_cast<unsigned>(oPNG.m_aiTransparent[c] = static_cast<int>(oRandom.uiNext(uiLimit))));
        tdBytes aucExpected;
        for (int i = 0; i < 13 * 7; i++)
        {
            std::vector<unsigned> auiPixel;
            for (int c = 0; c < iChannels; c++)
                auiPixel.push_back(i % 5 == 0 && !auiKey.empty() ? auiKey[c] : oRandom.uiNext(uiLimit));
            oPNG.m_auiSamples.insert(oPNG.m_auiSamples.end(), auiPixel.begin(), auiPixel.end());
            const Color o = oCase.iPalette ? oPNG.m_aoPalette[auiPixel[0]] : Color{};
            if (oCase.iPalette) aucExpected.insert(aucExpected.end(), {o.r, o.g, o.b});
            for (unsigned ui : oCase.iPalette ? std::vector<unsigned>() : auiPixel)
                aucExpected.push_back(static_cast<unsigned char>(
                    oCase.iBitDepth == 16 ? ui >> 8 : ui * 255 / ((1u << oCase.iBitDepth) - 1)));
            if (oCase.bTRNS) aucExpected.push_back(oCase.iPalette ? o.a : auiPixel == auiKey ? 0 : 255);
        }
        tdPicture po(poRead(aucPNG(oPNG), true));
        ASSERT_NE(po, nullptr) << oCase.iColorType << "/" << oCase.iBitDepth;
        EXPECT_EQ(po->m_iWidth * 100 + po->m_iHeight, 1307);
        EXPECT_EQ(po->m_iTexelSize, oCase.iTexelSize);
        EXPECT_EQ(po->m_fAspectRatio, uiRow % 3 ? 1.0 : 0.5);
        EXPECT_EQ(aucTopDownTexels(po.get()), aucExpected) << oCase.iColorType << "/" << oCase.iBitDepth;
    }
}

// Flat 16 x 16 quadrants at quality 100 keep their colours within 3 levels, top row
// first. CMYK and YCCK files carry the Adobe marker, so their ink is stored
// inverted: with K stored as 255 (no black) the stored C, M, Y are R, G, B.
TEST(JPEGReaderTest, FlatQuadrantsKeepTheirColoursInEveryColourSpace)
{
    const unsigned char aacColour[4][3] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {220, 220, 40}};
    for (tdTestJPEGKind eKind : {TestJPEG_Grey, TestJPEG_YCbCr, TestJPEG_RGB, TestJPEG_CMYK, TestJPEG_YCCK})
    {
        const int iComponents = eKind == TestJPEG_Grey ? 1 : eKind >= TestJPEG_CMYK ? 4 : 3;
        tdBytes aucSamples, aucExpected;
        for (int i = 0; i < 32 * 32; i++)
        {
            const unsigned char* pc = aacColour[(i / 32 >= 16 ? 2 : 0) + (i % 32 >= 16 ? 1 : 0)];
            aucSamples.insert(aucSamples.end(), pc, pc + std::min(iComponents, 3));
            aucExpected.insert(aucExpected.end(), pc, pc + std::min(iComponents, 3));
            if (iComponents == 4) aucSamples.push_back(255);
        }
        tdPicture po(poRead(aucJPEG(eKind, 32, aucSamples, 100), false));
        ASSERT_NE(po, nullptr) << eKind;
        EXPECT_EQ(po->m_iWidth * 100 + po->m_iHeight + po->m_fAspectRatio, 3233.0);
        const tdBytes aucTexels = aucTopDownTexels(po.get());
        ASSERT_EQ(aucTexels.size(), aucExpected.size());
        for (size_t i = 0; i < aucTexels.size(); i++)
            ASSERT_LE(std::abs(aucTexels[i] - aucExpected[i]), 3) << eKind << " at " << i;
    }
}

// A grey picture that a custom size of 0 leaves unfitted is written as 8-bit grey
// that libpng and the reader give back as it was, top row first; without a stream
// the fitted copy only comes out. (Fitting and RGB output: the tool's tests.)
TEST(PNGWriterTest, WritesTheFittedPicture)
{
    tdSettings o;
    vGetDefaultSettings(&o);
    o.OutputSizeType = OutputSize_Custom;
    o.OutputWidth = o.OutputHeight = 0;
    Image oSource(9, 5, 1, Background_None, 1.0);
    const tdBytes aucRandomTexels = aucRandom(45, 9);
    std::copy(aucRandomTexels.begin(), aucRandomTexels.end(), oSource.m_pucTexels);
    const tdBytes aucSource = aucTopDownTexels(&oSource);
    tdTempFolder oFolder;
    FILE* poFile = fopen(oFolder.sFile("out.png").c_str(), "wb");
    Image* poFitted = nullptr;
    tdErrorTriple oError = oWriteImageToPNGFile(&oSource, &o, poFile, &poFitted);
    fclose(poFile);
    tdPicture poOwned(poFitted), poBack(poRead(aucReadFile(oFolder.sFile("out.png")), true));
    tdDecodedPNG oPNG;
    ASSERT_TRUE(poFitted && poBack && bReadTestPNG(oFolder.sFile("out.png"), &oPNG));
    EXPECT_EQ(oError.fRed + oError.fGreen + oError.fBlue, 0.0);
    EXPECT_EQ(oPNG.m_iColorType * 100000 + oPNG.m_iBitDepth * 10000 + oPNG.m_iWidth * 100 + oPNG.m_iHeight,
              PNG_COLOR_TYPE_GRAY * 100000 + 80905);
    EXPECT_TRUE(aucTopDownTexels(poBack.get()) == aucSource && aucTopDownTexels(poFitted) == aucSource);
    oWriteImageToPNGFile(&oSource, &o, nullptr, &poFitted);
    EXPECT_TRUE(aucTopDownTexels(tdPicture(poFitted).get()) == aucSource);
}

// Every proper prefix of a small PNG (Adam7, palette, tRNS, pHYs) and JPEG
// (progressive, baseline) gives null: no half picture the library padded after a
// warning. Random bytes after the signature give null; damaged bytes null or a whole picture.
TEST(HostileInputTest, CutRandomAndDamagedFiles)
{
    tdTestPNG oPNG = oPNGOf(6, 5, PNG_COLOR_TYPE_PALETTE, 4, 0);
    oPNG.m_bInterlaced = oPNG.m_bPhys = true;
    for (int i = 0; i < 16; i++)
        oPNG.m_aoPalette.push_back(
            {static_cast<unsigned char>(i * 16), 40, 80, static_cast<unsigned char>(i * 17)});
    for (int i = 0; i < 30; i++)
        oPNG.m_auiSamples[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 7 % 16);
    const tdBytes aucSamples = aucRandom(16 * 16 * 3, 7);
    const std::pair<tdBytes, bool> aoFiles[] = {
        {aucPNG(oPNG), true},
        {aucJPEG(TestJPEG_YCbCrProgressive, 16, aucSamples, 75), false},
        {aucJPEG(TestJPEG_YCbCr, 16, aucSamples, 75), false}};
    tdTestRandom oRandom = {12345};
    oCaptureOutput( // the damaged files' messages are not looked at
        [&]
        {
            for (const auto& oFile : aoFiles)
            {
                const tdBytes& aucFile = oFile.first;
                EXPECT_NE(tdPicture(poRead(aucFile, oFile.second)), nullptr);
                for (size_t uiSize = 0; uiSize < aucFile.size(); uiSize += QEV_TEST_SANITIZED ? 5 : 1)
                    EXPECT_EQ(tdPicture(poRead(
                                  tdBytes(aucFile.begin(), aucFile.begin() + static_cast<long>(uiSize)),
                                  oFile.second)),
                              nullptr)
                        << uiSize;
                for (int iRound = 0; iRound < 40; iRound++)
                {
                    tdBytes auc(aucFile.begin(),
                                aucFile.begin() + (iRound >= 20   ? static_cast<long>(aucFile.size())
                                                   : oFile.second ? 8
                                                                  : 3));
                    for (size_t i = iRound < 20 ? oRandom.uiNext(2000) : 0; i > 0; i--)
                        auc.push_back(static_cast<unsigned char>(oRandom.uiNext(256)));
                    for (int i = 0; i < 3 && iRound >= 20; i++)
                        auc[oRandom.uiNext(static_cast<unsigned>(auc.size()))] =
                            static_cast<unsigned char>(oRandom.uiNext(256));
                    tdPicture po(poRead(auc, oFile.second));
                    EXPECT_TRUE(iRound < 20 ? !po
                                            : !po || aucTopDownTexels(po.get()).size() ==
                                                         (oFile.second ? 120u : 768u))
                        << iRound;
                }
            }
        });
}

// Sizes beyond 16384 x 16384 (or whose byte count wraps in 32 bits) are refused
// before any allocation, with a message; 16384 itself is not refused for its size.
TEST(HostileInputTest, LyingSizesAreRefused)
{
    // clang-format off
    //  width, height, colour type, refused for its size (65536^2 RGBA: 2^34 bytes, 0 in 32 bits;
    //  16384 wide is not refused for its size: the short data ends the read)
    struct { uint32_t uiWidth; uint32_t uiHeight; int iColorType; bool bRefused; } const aoSizes[] = {
        {65536, 65536, PNG_COLOR_TYPE_RGB_ALPHA, true}, {16385, 1, PNG_COLOR_TYPE_GRAY, true},
        {    1, 16385, PNG_COLOR_TYPE_GRAY,      true}, {16384, 1, PNG_COLOR_TYPE_GRAY, false}};
    // clang-format on
    for (const auto& oCase : aoSizes)
    {
        // IHDR: width and height at 16, CRC of type and data at 29.
        tdBytes auc = aucPNG(oPNGOf(4, 4, oCase.iColorType, 8, 1));
        for (int i = 0; i < 8; i++)
            auc[16 + i] =
                static_cast<unsigned char>((i < 4 ? oCase.uiWidth : oCase.uiHeight) >> (24 - 8 * (i % 4)));
        for (int i = 0; i < 4; i++)
            auc[29 + i] = static_cast<unsigned char>(crc32(0, &auc[12], 17) >> (24 - 8 * i));
        std::string sMessages;
        EXPECT_EQ(tdPicture(poRead(auc, true, &sMessages)), nullptr) << oCase.uiWidth;
        EXPECT_EQ(sMessages.find("16384 x 16384") != std::string::npos, oCase.bRefused) << sMessages;
    }
    // A JPEG frame header (FF C0, length, precision, height, width) claiming 16 x 16385.
    tdBytes auc = aucJPEG(TestJPEG_Grey, 16, tdBytes(256, 120), 75);
    for (size_t i = 0; i + 9 < auc.size(); i++)
        if (auc[i] == 0xFF && auc[i + 1] == 0xC0) auc[i + 5] = 0x40, auc[i + 6] = 0x01;
    std::string sMessages;
    EXPECT_EQ(tdPicture(poRead(auc, false, &sMessages)), nullptr);
    EXPECT_NE(sMessages.find("16384 x 16384"), std::string::npos) << sMessages;
}
