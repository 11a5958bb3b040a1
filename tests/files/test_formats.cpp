// Screen dumps, QEV, RES and SPR files and the file dispatch: sizes and headers
// of every screen, write -> read round trips against the converted picture, the
// same video memory in every format, companion names, and hostile files.

#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include "qev/files/format_kru.h"
#include "qev/files/format_qev.h"
#include "qev/files/format_res_spr.h"
#include "qev/files/format_sc.h"
#include "qev/files/format_sr.h"
#include "qev/files/output_files.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/pipeline.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
// A picture with gradients, flat areas and noise, 200 x 150, square pixels.
Image* poTestPicture()
{
    Image* poImage = new Image(200, 150, 3, Background_Black, 1.0);
    tdTestRandom oRandom = {7};
    for (int y = 0; y < 150; y++)
        for (int x = 0; x < 200; x++)
        {
            Color o;
            if (y < 50)
                o = {static_cast<unsigned char>(x * 255 / 199), static_cast<unsigned char>(y * 5),
                     static_cast<unsigned char>(255 - x), 255};
            else if (y < 100)
                o = (x / 25) & 1 ? Color{200, 40, 40, 255} : Color{20, 120, 220, 255};
            else
                o = {static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)),
                     static_cast<unsigned char>(oRandom.uiNext(256)), 255};
            poImage->vSetPixel(x, y, &o);
        }
    return poImage;
}

tdSettings oSettingsFor(int eMode, int eType, bool bInterlaced)
{
    tdSettings o;
    vGetDefaultSettings(&o);
    o.ScreenMode = static_cast<tdScreenMode>(eMode);
    o.ConversionType = static_cast<tdConversionType>(eType);
    o.InterlacedMode = bInterlaced ? 1 : 0;
    o.Screen10Palette = 1;
    return o;
}

// Bytes written to a FILE* by fnWrite.
std::vector<unsigned char> aucCapture(const std::function<void(FILE*)>& fnWrite)
{
    FILE* poFile = tmpfile();
    fnWrite(poFile);
    fflush(poFile);
    std::vector<unsigned char> auc;
    long lSize = ftell(poFile);
    if (lSize > 0)
    {
        auc.resize(static_cast<size_t>(lSize));
        rewind(poFile);
        EXPECT_EQ(fread(auc.data(), 1, auc.size(), poFile), auc.size());
    }
    fclose(poFile);
    return auc;
}

FILE* poStreamOf(const std::vector<unsigned char>& auc)
{
    FILE* poFile = tmpfile();
    if (!auc.empty()) fwrite(auc.data(), 1, auc.size(), poFile);
    rewind(poFile);
    return poFile;
}

void vExpectSamePicture(const Image* poA, const Image* poB, const std::string& sWhat)
{
    ASSERT_TRUE(poA && poB) << sWhat;
    ASSERT_EQ(poA->m_iWidth, poB->m_iWidth) << sWhat;
    ASSERT_EQ(poA->m_iHeight, poB->m_iHeight) << sWhat;
    int iDifferent = 0;
    for (int y = 0; y < poA->m_iHeight; y++)
        for (int x = 0; x < poA->m_iWidth; x++)
        {
            Color a = poA->oGetPixel(x, y);
            Color b = poB->oGetPixel(x, y);
            if (a.r != b.r || a.g != b.g || a.b != b.b) iDifferent++;
        }
    EXPECT_EQ(iDifferent, 0) << sWhat;
}

const int g_aiScreenNumbers[ScreenMode_Count] = {2, 3, 5, 6, 7, 8, 10, 12};
} // namespace

// Expected SC sizes: header + up to the palette (or the body) end.
//   mode                      size
static const int g_aiSCSizes[ScreenMode_Count] = {
    7 + 0x3800,      // Screen 2: the palette lies inside the body
    7 + 0x2020 + 32, // Screen 3
    30375,           // Screen 5
    30351,           // Screen 6: four palette entries
    7 + 0xFA80 + 32, // Screen 7
    54279,           // Screen 8: no palette
    7 + 0xFA80 + 32, // Screen 10
    54279,           // Screen 12
};

class ScreenDumpTest : public ::testing::TestWithParam<int>
{
};

TEST_P(ScreenDumpTest, SCAndSRFilesRoundTripAndHoldTheSameVideoMemory)
{
    const int eMode = GetParam();
    std::unique_ptr<Image> poSource(poTestPicture());
    for (bool bInterlaced : {false, true})
    {
        if (bInterlaced && eMode < ScreenMode_Screen5) continue;
        const std::string sWhat =
            std::string(g_apszScreenModeNames[eMode]) + (bInterlaced ? " interlaced" : "");
        tdSettings oSC = oSettingsFor(eMode, ConversionType_SC, bInterlaced);
        Image* poConverted = nullptr;
        std::vector<unsigned char> aucSecond;
        std::vector<unsigned char> aucFirst = aucCapture(
            [&](FILE* po)
            {
                aucSecond = aucCapture(
                    [&](FILE* po2) {
                        oWriteImageToSCFile(poSource.get(), &oSC, po, bInterlaced ? po2 : nullptr,
                                            &poConverted, nullptr);
                    });
            });
        std::unique_ptr<Image> poOut(poConverted);
        ASSERT_TRUE(poOut) << sWhat;
        EXPECT_EQ(poOut->m_iHeight, g_aoScreenGeometry[eMode].iHeight * (bInterlaced ? 2 : 1)) << sWhat;
        EXPECT_EQ(static_cast<int>(aucFirst.size()), g_aiSCSizes[eMode]) << sWhat;
        ASSERT_GE(aucFirst.size(), 7u);
        EXPECT_EQ(aucFirst[0], 0xFE);
        if (bInterlaced)
        {
            EXPECT_EQ(aucSecond.size(), aucFirst.size()) << sWhat;
            EXPECT_EQ(0, memcmp(aucFirst.data(), aucSecond.data(), 7)) << "same header " << sWhat;
        }

        // Read back: the rendered screen equals the encoder's own picture.
        FILE* poFirst = poStreamOf(aucFirst);
        FILE* poSecond = bInterlaced ? poStreamOf(aucSecond) : nullptr;
        std::unique_ptr<Image> poRead(
            poReadImageFromSCFile(g_aiScreenNumbers[eMode], &oSC, poFirst, poSecond, nullptr));
        fclose(poFirst);
        if (poSecond) fclose(poSecond);
        vExpectSamePicture(poRead.get(), poOut.get(), "SC " + sWhat);

        // SR: the picture file holds the same body; with its palette file it reads back the same.
        tdSettings oSR = oSettingsFor(eMode, ConversionType_SR, bInterlaced);
        std::vector<unsigned char> aucPalette;
        std::vector<unsigned char> aucSRSecond;
        std::vector<unsigned char> aucSR = aucCapture(
            [&](FILE* po)
            {
                aucPalette = aucCapture(
                    [&](FILE* poPal)
                    {
                        aucSRSecond = aucCapture(
                            [&](FILE* po2) {
                                oWriteImageToSRFile(poSource.get(), &oSR, po, poPal,
                                                    bInterlaced ? po2 : nullptr, nullptr, nullptr);
                            });
                    });
            });
        const size_t uiBody = aucSR.size() - 7;
        ASSERT_GE(aucSR.size(), 7u);
        if (eMode != ScreenMode_Screen2)
        {
            EXPECT_EQ(0, memcmp(aucSR.data() + 7, aucFirst.data() + 7, uiBody))
                << "SR body = SC body " << sWhat;
        }
        if (bInterlaced)
        {
            EXPECT_EQ(0, memcmp(aucSRSecond.data() + 7, aucSecond.data() + 7, uiBody)) << sWhat;
        }
        const bool bPalette = iGetPaletteAddress(g_aiScreenNumbers[eMode]) >= 0;
        EXPECT_EQ(aucPalette.size(), bPalette ? 7u + 2 * iGetPaletteEntries(g_aiScreenNumbers[eMode]) : 0u);
        FILE* poPicture = poStreamOf(aucSR);
        FILE* poPaletteFile = bPalette ? poStreamOf(aucPalette) : nullptr;
        poSecond = bInterlaced ? poStreamOf(aucSRSecond) : nullptr;
        poRead.reset(poReadImageFromSRFile(g_aiScreenNumbers[eMode], &oSR, poPicture, poPaletteFile, poSecond,
                                           nullptr));
        fclose(poPicture);
        if (poPaletteFile) fclose(poPaletteFile);
        if (poSecond) fclose(poSecond);
        vExpectSamePicture(poRead.get(), poOut.get(), "SR " + sWhat);

        // KRU: the VRAM commands of the decoded record are the SR bodies; the palette
        // command holds the palette file's words.
        tdSettings oKRU = oSettingsFor(eMode, ConversionType_KRU, bInterlaced);
        std::vector<unsigned char> aucKRU = aucCapture(
            [&](FILE* po)
            { oWriteImageToKRUFile(poSource.get(), &oKRU, po, nullptr, nullptr, CompressionType_None); });
        std::vector<unsigned char> aucStream;
        ASSERT_TRUE(bDecodeKRURecord(aucKRU, 0, &aucStream, nullptr)) << sWhat;
        std::vector<std::vector<unsigned char>> aaucVRAM;
        std::vector<unsigned char> aucKRUPalette;
        for (size_t i = 0; i < aucStream.size() && aucStream[i] != 255;)
        {
            if (aucStream[i] == 0)
                i += 2 + 3 * aucStream[i + 1];
            else if (aucStream[i] == 1)
            {
                aucKRUPalette.assign(aucStream.begin() + i + 3,
                                     aucStream.begin() + i + 3 + 2 * aucStream[i + 2]);
                i += 3 + 2 * aucStream[i + 2];
            }
            else
            {
                ASSERT_EQ(aucStream[i], 2) << sWhat;
                size_t uiLength = aucStream[i + 4] | (aucStream[i + 5] << 8) | (aucStream[i + 6] << 16);
                aaucVRAM.emplace_back(aucStream.begin() + i + 7, aucStream.begin() + i + 7 + uiLength);
                i += 7 + uiLength;
            }
        }
        ASSERT_EQ(aaucVRAM.size(), bInterlaced ? 2u : 1u) << sWhat;
        EXPECT_TRUE(aaucVRAM[0] == std::vector<unsigned char>(aucSR.begin() + 7, aucSR.end()))
            << "KRU = SR " << sWhat;
        if (bInterlaced)
        {
            EXPECT_TRUE(aaucVRAM[1] == std::vector<unsigned char>(aucSRSecond.begin() + 7, aucSRSecond.end()))
                << sWhat;
        }
        if (bPalette)
        {
            EXPECT_TRUE(aucKRUPalette == std::vector<unsigned char>(aucPalette.begin() + 7, aucPalette.end()))
                << sWhat;
        }

        // QEV: one LZW stream of every line; it decodes to the SC body (both pages'
        // lines one after the other when interlaced).
        tdSettings oQEV = oSettingsFor(eMode, ConversionType_QEV, bInterlaced);
        std::vector<unsigned char> aucQEV = aucCapture(
            [&](FILE* po)
            { oWriteImageToQEVFile(poSource.get(), &oQEV, po, nullptr, nullptr, CompressionType_LZW); });
        ASSERT_GE(aucQEV.size(), 2u);
        EXPECT_EQ(aucQEV[0] & 16, bInterlaced ? 16 : 0);
        const size_t uiStart = (eMode == ScreenMode_Screen8 || eMode == ScreenMode_Screen12) ? 2 : 34;
        std::vector<unsigned char> aucDecoded(g_iVRAMSize);
        int iDecoded = iDecodeQEVStream(aucQEV.data() + uiStart, static_cast<int>(aucQEV.size() - uiStart),
                                        aucDecoded.data(), g_iVRAMSize);
        if (!bInterlaced && eMode != ScreenMode_Screen3 && eMode != ScreenMode_Screen2)
        {
            ASSERT_EQ(static_cast<size_t>(iDecoded), uiBody) << sWhat;
            EXPECT_EQ(0, memcmp(aucDecoded.data(), aucSR.data() + 7, uiBody))
                << "QEV stream = SR body " << sWhat;
        }
        FILE* poQEV = poStreamOf(aucQEV);
        poRead.reset(poReadImageFromQEVFile(poQEV, &oQEV, nullptr));
        fclose(poQEV);
        vExpectSamePicture(poRead.get(), poOut.get(), "QEV " + sWhat);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, ScreenDumpTest, ::testing::Range(0, static_cast<int>(ScreenMode_Count)),
                         [](const ::testing::TestParamInfo<int>& o)
                         {
                             std::string s = g_apszScreenModeNames[o.param];
                             s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
                             return s;
                         });

TEST(ScreenDumpFileTest, Screen5SCLayoutAndScreen3NameTable)
{
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_SC, false);
    o.PaletteType = PaletteType_MSX2;
    std::vector<unsigned char> auc =
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 30375u);
    const unsigned char acHeader[7] = {0xFE, 0x00, 0x00, 0x9F, 0x76, 0x00, 0x00};
    EXPECT_EQ(0, memcmp(auc.data(), acHeader, 7));
    for (size_t i = 7 + 27136; i < 7 + 0x7680; i++)
        ASSERT_EQ(auc[i], 0) << "gap byte " << i;
    // MSX2 palette entry 2 is (1, 6, 1): bytes 0x11, 0x06.
    EXPECT_EQ(auc[7 + 0x7680 + 4], 0x11);
    EXPECT_EQ(auc[7 + 0x7680 + 5], 0x06);

    o.ScreenMode = ScreenMode_Screen3;
    auc =
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 7u + 0x2020 + 32);
    // Character row r, column c names pattern 32 (r / 4) + c.
    for (int r = 0; r < 24; r++)
        for (int c = 0; c < 32; c++)
            ASSERT_EQ(auc[7 + 0x0800 + 32 * r + c], 32 * (r / 4) + c) << r << "," << c;
}

TEST(ScreenDumpFileTest, PaletteOutParameterAndScreen10PaletteWithoutScreen10Palette)
{
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen6, ConversionType_SC, false);
    Palette oPalette;
    aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, &oPalette); });
    EXPECT_EQ(oPalette.m_uiColorCount, 16u); // a Screen 6 palette comes back resized to 16
    for (int i = 4; i < 16; i++)
        EXPECT_EQ(0, memcmp(&oPalette.m_aoColors[i], &oPalette.m_aoColors[3], 3));

    // Screen 10 without its palette still writes the fixed palette of the settings.
    o = oSettingsFor(ScreenMode_Screen10, ConversionType_SC, false);
    o.Screen10Palette = 0;
    o.PaletteType = PaletteType_MSX1;
    std::vector<unsigned char> auc =
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 7u + 0xFA80 + 32);
    EXPECT_EQ(auc[7 + 0xFA80 + 4], 0x22); // MSX1 entry 2 is (2, 5, 2)
    EXPECT_EQ(auc[7 + 0xFA80 + 5], 0x05);
}

TEST(ScreenDumpFileTest, RawOutputHasNoHeadersAndHonoursTheSizeLimit)
{
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_RAW, false);
    o.OutputWidth = 100;
    o.OutputHeight = 300;
    Image* poConverted = nullptr;
    std::vector<unsigned char> auc = aucCapture(
        [&](FILE* po) { oWriteImageToSRFile(poSource.get(), &o, po, po, nullptr, &poConverted, nullptr); });
    std::unique_ptr<Image> poOut(poConverted);
    ASSERT_TRUE(poOut);
    EXPECT_EQ(poOut->m_iWidth, 100);
    EXPECT_EQ(poOut->m_iHeight, 212);
    EXPECT_EQ(auc.size(), 32u + 50u * 212u); // palette words, then 4 bits a pixel
}

TEST(QEVStreamTest, DecodesTheWorkedExamplesAndStopsOnDamage)
{
    unsigned char acOut[16] = {};
    const unsigned char acFour[4] = {0xA0, 0x8A, 0x0A, 0x00};
    ASSERT_EQ(iDecodeQEVStream(acFour, 4, acOut, sizeof(acOut)), 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(acOut[i], 0x41);
    const unsigned char acEnd[1] = {0x20};
    EXPECT_EQ(iDecodeQEVStream(acEnd, 1, acOut, sizeof(acOut)), 0);

    // Output capacity and truncation are respected for any input.
    tdTestRandom oRandom = {99};
    std::vector<unsigned char> aucOut(300);
    for (int iRound = 0; iRound < 2000; iRound++)
    {
        std::vector<unsigned char> aucIn(1 + oRandom.uiNext(400));
        for (unsigned char& uc : aucIn)
            uc = static_cast<unsigned char>(oRandom.uiNext(256));
        int iCapacity = static_cast<int>(oRandom.uiNext(300));
        int iOut = iDecodeQEVStream(aucIn.data(), static_cast<int>(aucIn.size()), aucOut.data(), iCapacity);
        ASSERT_GE(iOut, 0);
        ASSERT_LE(iOut, iCapacity);
    }
}

TEST(BSAVETest, HeadersThatLieLoadNothingBeyondVideoMemory)
{
    VDP oVDP;
    // End below start: nothing loaded.
    std::vector<unsigned char> auc = {0xFE, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBB};
    FILE* po = poStreamOf(auc);
    EXPECT_TRUE(bLoadBSAVE(po, &oVDP, 0));
    fclose(po);
    EXPECT_EQ(oVDP.m_pucVRAM[0x10], 0);
    // A second page at 0x10000 whose range runs to 0x1FFFF and beyond.
    auc = {0xFE, 0x00, 0xF0, 0xFF, 0xFF, 0x00, 0x00};
    auc.resize(7 + 0x1000, 0x5A);
    po = poStreamOf(auc);
    EXPECT_TRUE(bLoadBSAVE(po, &oVDP, 0x10000));
    fclose(po);
    EXPECT_EQ(oVDP.m_pucVRAM[0x1FFFF], 0x5A);
    // Not a BSAVE file, or too short for a header.
    for (const std::vector<unsigned char>& aucBad :
         {std::vector<unsigned char>{}, std::vector<unsigned char>{0xFE, 0x00},
          std::vector<unsigned char>{0x00, 1, 2, 3, 4, 5, 6}})
    {
        po = poStreamOf(aucBad);
        EXPECT_FALSE(bLoadBSAVE(po, &oVDP, 0));
        fclose(po);
    }
}

TEST(HostileScreenFileTest, TruncatedAndMutatedFilesNeverCrashAReader)
{
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_SC, false);
    std::vector<unsigned char> aucSC =
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); });
    o.ConversionType = ConversionType_QEV;
    std::vector<unsigned char> aucQEV =
        aucCapture([&](FILE* po)
                   { oWriteImageToQEVFile(poSource.get(), &o, po, nullptr, nullptr, CompressionType_LZW); });
    tdTestRandom oRandom = {2024};
    // A reader gives null or a whole picture of its screen; a QEV file's mode byte
    // may name any screen.
    int iWrongSize = 0;
    auto vCheck = [&](Image* poImage, int iWidth, int iHeight)
    {
        std::unique_ptr<Image> po(poImage);
        if (!po) return;
        const bool bAnyScreen = iWidth == 0;
        const bool bScreen =
            (po->m_iWidth == 64 || po->m_iWidth == 256 || po->m_iWidth == 512) && po->m_pucTexels;
        if (!bScreen || (!bAnyScreen && (po->m_iWidth != iWidth || po->m_iHeight != iHeight))) iWrongSize++;
    };
    auto vTry = [&](const std::vector<unsigned char>& auc)
    {
        FILE* po = poStreamOf(auc);
        vCheck(poReadImageFromSCFile(5, &o, po, nullptr, nullptr), 256, 212);
        rewind(po);
        vCheck(poReadImageFromSRFile(7, &o, po, po, po, nullptr), 512, 424);
        rewind(po);
        vCheck(poReadImageFromQEVFile(po, &o, nullptr), 0, 0);
        fclose(po);
    };
    tdCaptured oQuiet = oCaptureOutput(
        [&]
        {
            for (size_t i = 0; i < 40; i++)
                vTry(std::vector<unsigned char>(aucQEV.begin(), aucQEV.begin() + std::min(aucQEV.size(), i)));
            for (int iRound = 0; iRound < 1500; iRound++)
            {
                std::vector<unsigned char> auc = iRound & 1 ? aucQEV : aucSC;
                auc.resize(oRandom.uiNext(static_cast<unsigned>(auc.size())) + 1);
                for (int i = 0; i < 8; i++)
                    auc[oRandom.uiNext(static_cast<unsigned>(auc.size()))] =
                        static_cast<unsigned char>(oRandom.uiNext(256));
                vTry(auc);
            }
        });
    EXPECT_EQ(iWrongSize, 0) << oQuiet.m_sErr.size();
}

TEST(FileDispatchTest, CompanionNamesAndReadingThemBack)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_SR, true);
    oWriteImageToFile(poSource.get(), oFolder.sFile("pic").c_str(), &o, nullptr, nullptr);
    EXPECT_TRUE(bFileExists(oFolder.sFile("pic.si5")));
    EXPECT_TRUE(bFileExists(oFolder.sFile("pic.sj5")));
    EXPECT_TRUE(bFileExists(oFolder.sFile("pic.pi5")));
    std::unique_ptr<Image> poRead(poReadImageFromFile(oFolder.sFile("pic.si5").c_str(), &o));
    ASSERT_TRUE(poRead);
    EXPECT_EQ(poRead->m_iHeight, 424);

    // Upper-case names keep the main name; companions get lower-case extensions.
    oWriteImageToFile(poSource.get(), oFolder.sFile("PIC.SI5").c_str(), &o, nullptr, nullptr);
    EXPECT_TRUE(bFileExists(oFolder.sFile("PIC.SI5")));
    EXPECT_TRUE(bFileExists(oFolder.sFile("PIC.sj5")));
    EXPECT_TRUE(bFileExists(oFolder.sFile("PIC.pi5")));

    // SC Screen 8: pic.sc8 is kept, pic gets .sc8.
    o = oSettingsFor(ScreenMode_Screen8, ConversionType_SC, false);
    oWriteImageToFile(poSource.get(), oFolder.sFile("shot.sc8").c_str(), &o, nullptr, nullptr);
    EXPECT_EQ(aucReadFile(oFolder.sFile("shot.sc8")).size(), 54279u);
    EXPECT_FALSE(bFileExists(oFolder.sFile("shot.sc8.sc8")));

    // A .sr5 without its .pl5 reads with the default palette at 0x7680.
    o = oSettingsFor(ScreenMode_Screen5, ConversionType_SR, false);
    oWriteImageToFile(poSource.get(), oFolder.sFile("alone").c_str(), &o, nullptr, nullptr);
    ASSERT_EQ(0, unlink(oFolder.sFile("alone.pl5").c_str()));
    poRead.reset(poReadImageFromFile(oFolder.sFile("alone.sr5").c_str(), &o));
    ASSERT_TRUE(poRead);

    // .si2 looks for a second page, but no reader handles it.
    ASSERT_TRUE(bWriteFile(oFolder.sFile("odd.si2"), {0xFE, 0, 0, 0, 0, 0, 0}));
    tdCaptured oQuiet =
        oCaptureOutput([&] { poRead.reset(poReadImageFromFile(oFolder.sFile("odd.si2").c_str(), &o)); });
    EXPECT_FALSE(poRead);
}

TEST(FileDispatchTest, KRUSavesAppendRecords)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poSource(poTestPicture());
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_KRU, false);
    tdOutputFiles oFiles;
    oWriteImageToFile(poSource.get(), oFolder.sFile("anim").c_str(), &o, &oFiles, nullptr);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    std::vector<unsigned char> aucOne = aucReadFile(oFolder.sFile("anim.kru"));
    ASSERT_GT(aucOne.size(), 11u);
    EXPECT_EQ(0, memcmp(aucOne.data(), "MSXKRU", 6));
    const uint32_t uiSize =
        aucOne[6] | (aucOne[7] << 8) | (aucOne[8] << 16) | (static_cast<uint32_t>(aucOne[9]) << 24);
    EXPECT_EQ(uiSize + 6, aucOne.size()); // counted from offset 6

    oWriteImageToFile(poSource.get(), oFolder.sFile("anim").c_str(), &o, &oFiles, nullptr);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    std::vector<unsigned char> aucTwo = aucReadFile(oFolder.sFile("anim.kru"));
    ASSERT_EQ(aucTwo.size(), 2 * aucOne.size());
    EXPECT_EQ(0, memcmp(aucTwo.data(), aucOne.data(), aucOne.size()));
    EXPECT_EQ(0, memcmp(aucTwo.data() + aucOne.size(), aucOne.data(), aucOne.size()));
}

TEST(ResourceFileTest, HeadersAndSizes)
{
    std::unique_ptr<Image> poSource(new Image(100, 50, 3, Background_Checkerboard, 1.0));
    tdSettings o = oSettingsFor(ScreenMode_Screen8, ConversionType_RES, false);
    o.ResourceMode = ResourceMode_Indexed;
    std::vector<unsigned char> auc =
        aucCapture([&](FILE* po) { oWriteImageToRESFile(poSource.get(), &o, po, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 5u + 32u + 50u * 50u);
    EXPECT_EQ(auc[0], 0x90);
    EXPECT_EQ(auc[1] | (auc[2] << 8), 100);
    EXPECT_EQ(auc[3] | (auc[4] << 8), 50);

    o.ResourcePaletteSize = 4;
    o.ResourceWritePalette = 0;
    auc = aucCapture([&](FILE* po) { oWriteImageToRESFile(poSource.get(), &o, po, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 5u + 25u * 50u);
    EXPECT_EQ(auc[0], 0x04);

    o.ResourceMode = ResourceMode_RGB;
    auc = aucCapture([&](FILE* po) { oWriteImageToRESFile(poSource.get(), &o, po, nullptr, nullptr); });
    EXPECT_EQ(auc.size(), 5u + 5000u);
    EXPECT_EQ(auc[0], 0);
}

TEST(SpriteFileTest, OnePatternPerCellAndUsedColour)
{
    // 32 x 16: palette entries 0 (black), 3 and 7 of the MSX1 palette.
    Image oPicture(32, 16, 3, Background_Black, 1.0);
    const Color oThree = {109, 219, 109, 255};
    const Color oSeven = {73, 219, 255, 255};
    for (int x = 0; x < 32; x++)
    {
        oPicture.vSetPixel(x, 0, &oThree);
        oPicture.vSetPixel(x, 15, &oSeven);
    }
    tdSettings o = oSettingsFor(ScreenMode_Screen8, ConversionType_SPR, false);
    o.PaletteType = PaletteType_MSX1;
    std::vector<unsigned char> auc =
        aucCapture([&](FILE* po) { oWriteImageToSPRFile(&oPicture, &o, po, nullptr, nullptr); });
    ASSERT_EQ(auc.size(), 4u * 32u);
    // Cell (0, 0) colour 3: row 0 of both halves set.
    EXPECT_EQ(auc[0], 0xFF);
    EXPECT_EQ(auc[16], 0xFF);
    EXPECT_EQ(auc[15], 0x00);
    // Cell (0, 0) colour 7: row 15 set.
    EXPECT_EQ(auc[32 + 15], 0xFF);
    EXPECT_EQ(auc[32 + 0], 0x00);

    Image oClear(32, 32, 4, Background_Black, 1.0); // alpha 0 everywhere
    auc = aucCapture([&](FILE* po) { oWriteImageToSPRFile(&oClear, &o, po, nullptr, nullptr); });
    EXPECT_TRUE(auc.empty());
}
