// Screen dumps (SC, SR), QEV, KRU, RES and SPR files. Oracles: sizes, BSAVE headers
// and palette words typed in from the file layouts; write -> read through the file
// dispatch equals the encoder's own picture; every format holds the same video
// memory (SC body = SR page + palette file; the KRU record and the QEV stream,
// decoded by the strict decoders of the test library, carry the SR pages); damaged
// screen files give null or a whole screen.

#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include "qev/files/format_qev.h"
#include "qev/files/format_res_spr.h"
#include "qev/files/format_sc.h"
#include "qev/files/format_sr.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace
{
// The MSX2 palette (levels of the video chip's data book) as palette-register words:
// red << 4 | blue, then green.
const tdBytes g_aucMSX2Words = aucHexBytes(
    "00 00 00 00 11 06 33 07 17 01 27 03 51 01 27 06 71 01 73 03 61 06 64 06 11 04 65 02 55 05 77 07");

tdSettings oSettingsFor(int eMode, int eType, bool bInterlaced, int ePalette = PaletteType_MSX2)
{
    tdSettings o;
    vGetDefaultSettings(&o);
    o.ScreenMode = static_cast<tdScreenMode>(eMode);
    o.ConversionType = static_cast<tdConversionType>(eType);
    o.InterlacedMode = bInterlaced ? 1 : 0;
    o.PaletteType = static_cast<tdPaletteType>(ePalette);
    o.Screen10Palette = 1;
    return o;
}

// Bytes written to a stream by fnWrite.
tdBytes aucCapture(const std::function<void(FILE*)>& fnWrite)
{
    FILE* poFile = tmpfile();
    fnWrite(poFile);
    tdBytes auc(static_cast<size_t>(ftell(poFile)));
    rewind(poFile);
    EXPECT_EQ(fread(auc.data(), 1, auc.size(), poFile), auc.size());
    fclose(poFile);
    return auc;
}

// Bytes uiAt .. uiAt + uiCount - 1 of auc, as far as it has them.
tdBytes aucPart(const tdBytes& auc, size_t uiAt, size_t uiCount = ~size_t(0))
{
    uiAt = std::min(uiAt, auc.size());
    return tdBytes(auc.begin() + static_cast<long>(uiAt),
                   auc.begin() + static_cast<long>(uiAt + std::min(uiCount, auc.size() - uiAt)));
}

tdBytes aucBSAVEHeader(int iEnd)
{
    return {0xFE, 0, 0, static_cast<unsigned char>(iEnd), static_cast<unsigned char>(iEnd >> 8), 0, 0};
}

bool bSamePicture(Image* poRead, const Image* poExpected)
{
    std::unique_ptr<Image> po(poRead);
    return po && po->m_iWidth == poExpected->m_iWidth && po->m_iHeight == poExpected->m_iHeight &&
           aucTopDownTexels(po.get()) == aucTopDownTexels(poExpected);
}

// clang-format off
struct tdDumpRow { int eMode; const char* pszChar; int iSCEnd; size_t uiSCSize; int iSREnd; const char* pszPaletteHeader; int iEntries; int iQEVCode; int iHeight; };
//  mode                 char  SC end  SC size     SR end  SR palette file header  entries QEV code height
const tdDumpRow g_aoDumpRows[] = {
    {ScreenMode_Screen2,  "2", 0x37FF, 7 + 0x3800, 0x37FF, "FE 80 1B 9F 1B 00 00", 16, 8, 192},
    {ScreenMode_Screen3,  "3", 0x203F, 7 + 0x2040, 0x05FF, "FE 20 20 3F 20 00 00", 16, 9,  48},
    {ScreenMode_Screen5,  "5", 0x769F, 30375,      0x69FF, "FE 80 76 9F 76 00 00", 16, 0, 212},
    {ScreenMode_Screen6,  "6", 0x769F, 30351,      0x69FF, "FE 80 76 9F 76 00 00",  4, 1, 212},
    {ScreenMode_Screen7,  "7", 0xFA9F, 7 + 0xFAA0, 0xD3FF, "FE 80 FA 9F FA 00 00", 16, 2, 212},
    {ScreenMode_Screen8,  "8", 0xD3FF, 54279,      0xD3FF, "",                      0, 3, 212},
    {ScreenMode_Screen10, "a", 0xFA9F, 7 + 0xFAA0, 0xD3FF, "FE 80 FA 9F FA 00 00", 16, 4, 212},
    {ScreenMode_Screen12, "c", 0xD3FF, 54279,      0xD3FF, "",                      0, 5, 212},
};
// clang-format on

// What an MSX holds after loading an SR page and its palette file, as far as the SC
// file goes: the SC body. Screen 3 dumps also carry the name table showing the
// 64 x 48 blocks: row r, column c names pattern 32 (r / 4) + c.
tdBytes aucLoadedSR(const tdDumpRow& oRow, const tdBytes& aucSR, const tdBytes& aucPalette, size_t uiSize)
{
    tdBytes aucVRAM = aucPart(aucSR, 7, uiSize);
    aucVRAM.resize(uiSize, 0);
    for (int i = 0; oRow.eMode == ScreenMode_Screen3 && i < 768; i++)
        aucVRAM[0x800 + i] = static_cast<unsigned char>(32 * (i / 128) + i % 32);
    for (size_t i = 7, uiAt = aucPart(aucPalette, 1, 1).empty() ? 0 : aucPalette[1] | aucPalette[2] << 8;
         i < aucPalette.size() && uiAt < uiSize; i++)
        aucVRAM[uiAt++] = aucPalette[i];
    return aucVRAM;
}
} // namespace

// Every screen, and interlaced Screens 5 (second page at 0x8000), 7 and 8 (at
// 0x10000), through the file dispatch: names, sizes, headers, the same video memory
// in SC, SR, KRU and QEV, and every readable file reads back as the encoder's
// picture. Screen 5 builds its palette; the others use the MSX2 palette, whose
// words must appear in the files.
TEST(ScreenDumpFileTest, EveryFormatHoldsTheSameVideoMemoryAndReadsBack)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Flat, 96, 64, 1.0, 7, 7, 5));
    for (const tdDumpRow& oRow : g_aoDumpRows)
        for (bool bIL : {false, true})
        {
            if (bIL && oRow.eMode != ScreenMode_Screen5 && oRow.eMode != ScreenMode_Screen7 &&
                oRow.eMode != ScreenMode_Screen8)
                continue;
#ifdef QEV_TEST_SANITIZED
            // Ten times slower here: the slowest encoders' rows go; every check still runs.
            if (oRow.eMode == ScreenMode_Screen2 || oRow.eMode == ScreenMode_Screen10 ||
                (bIL && oRow.eMode == ScreenMode_Screen7))
                continue;
#endif
            const std::string c = oRow.pszChar, sBase = oFolder.sFile("m" + c + (bIL ? "i" : "p"));
            SCOPED_TRACE(sBase);
            const int ePalette = oRow.eMode == ScreenMode_Screen5 ? PaletteType_Auto : PaletteType_MSX2;
            const size_t uiBody = static_cast<size_t>(oRow.iSREnd) + 1;

            tdSettings o = oSettingsFor(oRow.eMode, ConversionType_SC, bIL, ePalette);
            Image* poConverted = nullptr;
            oWriteImageToFile(poSource.get(), sBase.c_str(), &o, nullptr, nullptr, &poConverted);
            std::unique_ptr<Image> poOut(poConverted);
            ASSERT_TRUE(poOut);
            EXPECT_EQ(poOut->m_iHeight, bIL ? 424 : oRow.iHeight);
            const std::string sSC = sBase + (bIL ? ".sk" : ".sc") + c;
            const tdBytes aucSC = aucReadFile(sSC), aucSC2 = aucReadFile(sBase + ".sl" + c);
            ASSERT_EQ(aucSC.size(), oRow.uiSCSize);
            EXPECT_TRUE(aucPart(aucSC, 0, 7) == aucBSAVEHeader(oRow.iSCEnd));
            EXPECT_TRUE(aucPart(aucSC2, 0, 7) == (bIL ? aucBSAVEHeader(oRow.iSCEnd) : tdBytes()));
            EXPECT_EQ(aucSC2.size(), bIL ? oRow.uiSCSize : 0u);
            EXPECT_TRUE(bSamePicture(poReadImageFromFile(sSC.c_str(), &o), poOut.get()));

            // SR: picture, palette file, second page; loaded together they are the SC files.
            o.ConversionType = ConversionType_SR;
            oWriteImageToFile(poSource.get(), sBase.c_str(), &o, nullptr, nullptr);
            const std::string sSR = sBase + (bIL ? ".si" : ".sr") + c;
            const tdBytes aucSR = aucReadFile(sSR), aucSR2 = aucReadFile(sBase + ".sj" + c);
            const tdBytes aucPalette = aucReadFile(sBase + (bIL ? ".pi" : ".pl") + c);
            const tdBytes aucWords = aucPart(aucPalette, 7);
            ASSERT_EQ(aucSR.size(), 7 + uiBody);
            EXPECT_TRUE(aucPart(aucSR, 0, 7) == aucBSAVEHeader(oRow.iSREnd));
            ASSERT_EQ(aucSR2.size(), bIL ? 7 + uiBody : 0u);
            EXPECT_TRUE(aucPart(aucPalette, 0, 7) == aucHexBytes(oRow.pszPaletteHeader));
            EXPECT_EQ(aucWords.size(), 2u * oRow.iEntries);
            EXPECT_TRUE(ePalette != PaletteType_MSX2 ||
                        aucWords == aucPart(g_aucMSX2Words, 0, 2 * oRow.iEntries));
            EXPECT_TRUE(aucLoadedSR(oRow, aucSR, aucPalette, aucSC.size() - 7) == aucPart(aucSC, 7));
            EXPECT_TRUE(!bIL ||
                        aucLoadedSR(oRow, aucSR2, aucPalette, aucSC2.size() - 7) == aucPart(aucSC2, 7));
            EXPECT_TRUE(bSamePicture(poReadImageFromFile(sSR.c_str(), &o), poOut.get()));

            // KRU: its command stream carries the SR pages and the palette words.
            o.ConversionType = ConversionType_KRU;
            oWriteImageToFile(poSource.get(), sBase.c_str(), &o, nullptr, nullptr);
            tdBytes aucStream;
            ASSERT_TRUE(bDecodeKRURecord(aucReadFile(sBase + ".kru"), 0, &aucStream, nullptr));
            for (const tdBytes& auc : {aucPart(aucSR, 7), aucPart(aucSR2, 7), aucWords})
                EXPECT_TRUE(std::search(aucStream.begin(), aucStream.end(), auc.begin(), auc.end()) !=
                            aucStream.end());

            // QEV: mode byte, 16 palette words, one stream of every line from the top.
            o.ConversionType = ConversionType_QEV;
            oWriteImageToFile(poSource.get(), sBase.c_str(), &o, nullptr, nullptr);
            const tdBytes aucQEV = aucReadFile(sBase + ".qev");
            ASSERT_GT(aucQEV.size(), 34u);
            EXPECT_EQ(aucQEV[0], oRow.iQEVCode + (bIL ? 16 : 0));
            EXPECT_TRUE(aucPart(aucQEV, 2, aucWords.size()) == aucWords);
            tdBytes aucLines = bIL ? tdBytes() : aucPart(aucSR, 7);
            for (size_t y = 0, uiLine = uiBody / 212; bIL && y < 424; y++)
            {
                const tdBytes aucLine = aucPart(y % 2 ? aucSR2 : aucSR, 7 + y / 2 * uiLine, uiLine);
                aucLines.insert(aucLines.end(), aucLine.begin(), aucLine.end());
            }
            const int iStart = oRow.iEntries ? 34 : 2;
            tdBytes aucDecoded(g_iVRAMSize);
            aucDecoded.resize(static_cast<size_t>(iDecodeQEVStream(
                &aucQEV[iStart], static_cast<int>(aucQEV.size()) - iStart, aucDecoded.data(), g_iVRAMSize)));
            EXPECT_TRUE(aucDecoded == aucLines);
            EXPECT_TRUE(bSamePicture(poReadImageFromFile((sBase + ".qev").c_str(), &o), poOut.get()));
        }
}

// RAW: the SR writer without headers, the palette words first on the same stream,
// the free output size limited to the screen (100 x 300 gives 100 x 212); Screen 2
// is pattern then colour table, 12288 bytes.
TEST(ScreenDumpFileTest, RawOutputHasNoHeadersAndHonoursTheSizeLimit)
{
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Gradient, 64, 48, 1.0, 1, 1, 1));
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_RAW, false);
    o.OutputWidth = 100;
    o.OutputHeight = 300;
    Image* poConverted = nullptr;
    tdBytes auc = aucCapture(
        [&](FILE* po) { oWriteImageToSRFile(poSource.get(), &o, po, po, nullptr, &poConverted, nullptr); });
    std::unique_ptr<Image> poOut(poConverted);
    ASSERT_TRUE(poOut);
    EXPECT_EQ(poOut->m_iWidth * 1000 + poOut->m_iHeight, 100212);
    ASSERT_EQ(auc.size(), 32u + 50u * 212u);
    EXPECT_TRUE(aucPart(auc, 0, 32) == g_aucMSX2Words);
    o.ScreenMode = ScreenMode_Screen2;
    auc = aucCapture([&](FILE* po)
                     { oWriteImageToSRFile(poSource.get(), &o, po, nullptr, nullptr, nullptr, nullptr); });
    EXPECT_EQ(auc.size(), 12288u);
}

// Worked examples: A0 8A 0A 00 is four bytes 0x41, 0x20 the end code alone. With
// room for fewer bytes, only whole strings that fit are written.
TEST(QEVStreamTest, DecodesTheWorkedExamplesWithinItsOutput)
{
    const tdBytes aucFour = aucHexBytes("A0 8A 0A 00"), aucEnd = {0x20};
    const int aiDecoded[] = {0, 1, 1, 3, 4, 4}; // by capacity: literal A, then AA, then A
    for (int iCapacity = 0; iCapacity <= 5; iCapacity++)
    {
        tdBytes aucOut(8, 0xEE), aucExpected(8, 0xEE);
        EXPECT_EQ(iDecodeQEVStream(aucFour.data(), 4, aucOut.data(), iCapacity), aiDecoded[iCapacity]);
        std::fill_n(aucExpected.begin(), aiDecoded[iCapacity], 0x41);
        EXPECT_TRUE(aucOut == aucExpected) << iCapacity;
    }
    tdBytes aucOut(4, 0xEE);
    EXPECT_EQ(iDecodeQEVStream(aucEnd.data(), 1, aucOut.data(), 4), 0);
}

// Truncated and mutated SC and QEV files, read as SC Screen 5, as an SR Screen 7
// pair whose palette and second page (at 0x10000) are the same damaged file, and as
// QEV: null or a whole picture of the screen (a QEV mode byte may name any screen).
TEST(HostileScreenFileTest, DamagedFilesGiveNullOrAWholeScreen)
{
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Noise, 64, 48, 1.0, 5, 1, 1));
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_SC, false);
    const tdBytes aucSC =
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); });
    const tdBytes aucQEV =
        aucCapture([&](FILE* po)
                   { oWriteImageToQEVFile(poSource.get(), &o, po, nullptr, nullptr, CompressionType_LZW); });
    int iWrong = 0, iRead = 0;
    auto vCheck = [&](Image* poImage, int iWidth, int iHeight)
    {
        std::unique_ptr<Image> po(poImage);
        iRead += po != nullptr;
        if (po && (!po->m_pucTexels || (iWidth ? po->m_iWidth != iWidth || po->m_iHeight != iHeight
                                               : po->m_iWidth != 64 && po->m_iWidth % 256 != 0)))
            iWrong++;
    };
    tdTestRandom oRandom = {2024};
#ifdef QEV_TEST_SANITIZED
    const int iRounds = 120;
#else
    const int iRounds = 340;
#endif
    oCaptureOutput(
        [&]
        {
            for (int iRound = 0; iRound < iRounds; iRound++)
            {
                tdBytes auc = iRound & 1 ? aucQEV : aucSC;
                auc.resize(iRound < 40 ? iRound : oRandom.uiNext(static_cast<unsigned>(auc.size())) + 1);
                for (int i = 0; i < 8 && iRound >= 40; i++)
                    auc[oRandom.uiNext(static_cast<unsigned>(auc.size()))] =
                        static_cast<unsigned char>(oRandom.uiNext(256));
                FILE* po = tmpfile();
                if (!auc.empty()) fwrite(auc.data(), 1, auc.size(), po);
                rewind(po);
                vCheck(poReadImageFromSCFile(5, &o, po, nullptr, nullptr), 256, 212);
                rewind(po);
                vCheck(poReadImageFromSRFile(7, &o, po, po, po, nullptr), 512, 424);
                rewind(po);
                vCheck(poReadImageFromQEVFile(po, &o, nullptr), 0, 0);
                fclose(po);
            }
        });
    EXPECT_EQ(iWrong, 0);
    EXPECT_GT(iRead, 0);
}

// RES: kind byte (palette size, + 128 with the palette), width and height, palette
// words, pixels at floor(log2 N) bits (indexed) or one byte (RGB).
TEST(ResourceFileTest, HeadersAndSizes)
{
    Image oSource(100, 50, 3, Background_Checkerboard, 1.0);
    tdSettings o = oSettingsFor(ScreenMode_Screen8, ConversionType_RES, false);
    // clang-format off
    //  palette size  write palette  mode                  header            size
    struct { int iPaletteSize; int bWritePalette; int eMode; const char* pszHeader; size_t uiSize; } const aoCases[] = {
        {16,          1,             ResourceMode_Indexed, "90 64 00 32 00", 5 + 32 + 50 * 50},
        { 4,          0,             ResourceMode_Indexed, "04 64 00 32 00", 5 + 25 * 50},
        { 5,          0,             ResourceMode_Indexed, "05 64 00 32 00", 5 + 25 * 50},
        {16,          1,             ResourceMode_RGB,     "00 64 00 32 00", 5 + 5000},
    };
    // clang-format on
    for (const auto& oCase : aoCases)
    {
        o.ResourcePaletteSize = static_cast<unsigned char>(oCase.iPaletteSize);
        o.ResourceWritePalette = static_cast<unsigned char>(oCase.bWritePalette);
        o.ResourceMode = static_cast<tdResourceMode>(oCase.eMode);
        tdBytes auc = aucCapture([&](FILE* po) { oWriteImageToRESFile(&oSource, &o, po, nullptr, nullptr); });
        EXPECT_EQ(auc.size(), oCase.uiSize) << oCase.pszHeader;
        EXPECT_TRUE(aucPart(auc, 0, 5) == aucHexBytes(oCase.pszHeader)) << oCase.pszHeader;
    }
}

// SPR: a 32 x 16 picture of MSX1 palette entries 0 (black), 3 (top row) and 7
// (columns 0, 8 and 15 of the bottom row): one 32-byte pattern per 16 x 16 cell and
// used colour, left half rows then right half rows, bit 7 the leftmost column; cell
// 1 has no colour 7 but still its pattern. A fully transparent picture has none.
TEST(SpriteFileTest, OnePatternPerCellAndUsedColour)
{
    Image oPicture(32, 16, 3, Background_Black, 1.0);
    const Color oThree = {109, 219, 109, 255}, oSeven = {73, 219, 255, 255};
    for (int x = 0; x < 32; x++)
        oPicture.vSetPixel(x, 0, &oThree);
    for (int x : {0, 8, 15})
        oPicture.vSetPixel(x, 15, &oSeven);
    tdSettings o = oSettingsFor(ScreenMode_Screen8, ConversionType_SPR, false, PaletteType_MSX1);
    tdBytes auc = aucCapture([&](FILE* po) { oWriteImageToSPRFile(&oPicture, &o, po, nullptr, nullptr); });
    EXPECT_EQ(auc, aucHexBytes("FF 00*15 FF 00*15  00*15 80 00*15 81  FF 00*15 FF 00*15  00*32"));
    Image oClear(32, 32, 4, Background_Black, 1.0);
    EXPECT_TRUE(
        aucCapture([&](FILE* po) { oWriteImageToSPRFile(&oClear, &o, po, nullptr, nullptr); }).empty());
}
