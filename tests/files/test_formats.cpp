// Screen dumps (SC, SR), QEV, KRU, RES and SPR files. Oracles: sizes, BSAVE headers
// and palette words typed in from the file layouts; write -> read through the file
// dispatch equals the encoder's own picture; every format holds the same video
// memory (SC body = SR page + palette file; the KRU record and the QEV stream,
// decoded by the test library's strict decoders, carry the SR pages); damaged screen
// files give null or a whole screen.

#include "tests/support/codecs.h"
#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include "qev/files/format_qev.h"
#include "qev/files/format_res_spr.h"
#include "qev/files/format_sc.h"
#include "qev/files/format_sr.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#ifndef QEV_TEST_SANITIZED
#define QEV_TEST_SANITIZED 0
#endif

namespace
{
// The MSX2 palette as palette-register words: red << 4 | blue, then green.
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
    return aucBytes({0xFE, 0, 0, iEnd & 0xFF, iEnd >> 8, 0, 0});
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
    {ScreenMode_Screen4,  "4", 0x37FF, 7 + 0x3800, 0x37FF, "FE 80 1E 9F 1E 00 00", 16, 10, 192},
};
// clang-format on

// Video memory after loading an SR page and its palette file, as far as the SC body
// goes; Screen 3 dumps also carry the name table: row r, column c names 32 (r / 4) + c.
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

// Every screen, and interlaced Screens 5, 7 and 8, through the file dispatch: names,
// sizes, headers, the same video memory in SC, SR, KRU and QEV, read-back equal to
// the encoder's picture. Screen 5 builds its palette, the others use the MSX2 one.
// Screen 4 holds Screen 2's picture bytes (its registers are the difference).
TEST(ScreenDumpFileTest, EveryFormatHoldsTheSameVideoMemoryAndReadsBack)
{
    tdTempFolder oFolder;
    tdBytes aucScreen2Body;
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Flat, 96, 64, 1.0, 7, 7, 5));
    for (const tdDumpRow& oRow : g_aoDumpRows)
        for (bool bIL : {false, true})
        {
            const std::string c = oRow.pszChar, sBase = oFolder.sFile("m" + c + (bIL ? "i" : "p"));
            // Under the sanitizers (ten times slower) the slowest encoders' rows go.
            if ((bIL && !strchr("578", c[0])) ||
                (QEV_TEST_SANITIZED && (strchr("24a", c[0]) || (bIL && c == "7"))))
                continue;
            SCOPED_TRACE(sBase);
            const int ePalette = oRow.eMode == ScreenMode_Screen5 ? PaletteType_Auto : PaletteType_MSX2;
            const size_t uiBody = static_cast<size_t>(oRow.iSREnd) + 1;

            tdSettings o = oSettingsFor(oRow.eMode, ConversionType_SC, bIL, ePalette);
            Image* poConverted = nullptr;
            auto vWrite = [&](tdConversionType eType, Image** ppoConverted = nullptr)
            {
                o.ConversionType = eType;
                oWriteImageToFile(poSource.get(), sBase.c_str(), &o, nullptr, nullptr, ppoConverted);
            };
            vWrite(ConversionType_SC, &poConverted);
            std::unique_ptr<Image> poOut(poConverted);
            ASSERT_TRUE(poOut && poOut->m_iHeight == (bIL ? 424 : oRow.iHeight));
            const std::string sSC = sBase + (bIL ? ".sk" : ".sc") + c;
            const tdBytes aucSC = aucReadFile(sSC), aucSC2 = aucReadFile(sBase + ".sl" + c);
            ASSERT_EQ(aucSC.size(), oRow.uiSCSize);
            EXPECT_TRUE(aucPart(aucSC, 0, 7) == aucBSAVEHeader(oRow.iSCEnd));
            EXPECT_TRUE(aucPart(aucSC2, 0, 7) == aucPart(aucSC, 0, bIL ? 7 : 0) &&
                        aucSC2.size() == (bIL ? aucSC.size() : 0));
            EXPECT_TRUE(bSamePicture(poReadImageFromFile(sSC.c_str(), &o), poOut.get()));

            // SR: picture, palette file, second page; loaded together they are the SC files.
            vWrite(ConversionType_SR);
            const std::string sSR = sBase + (bIL ? ".si" : ".sr") + c;
            const tdBytes aucSR = aucReadFile(sSR), aucSR2 = aucReadFile(sBase + ".sj" + c);
            const tdBytes aucPalette = aucReadFile(sBase + (bIL ? ".pi" : ".pl") + c);
            const tdBytes aucWords = aucPart(aucPalette, 7);
            ASSERT_TRUE(aucSR.size() == 7 + uiBody && aucSR2.size() == (bIL ? 7 + uiBody : 0u));
            EXPECT_TRUE(aucPart(aucSR, 0, 7) == aucBSAVEHeader(oRow.iSREnd));
            EXPECT_TRUE(aucPart(aucPalette, 0, 7) == aucHexBytes(oRow.pszPaletteHeader));
            EXPECT_TRUE(
                aucWords.size() == 2u * oRow.iEntries &&
                (ePalette != PaletteType_MSX2 || aucWords == aucPart(g_aucMSX2Words, 0, aucWords.size())));
            EXPECT_TRUE(aucLoadedSR(oRow, aucSR, aucPalette, aucSC.size() - 7) == aucPart(aucSC, 7));
            EXPECT_TRUE(!bIL ||
                        aucLoadedSR(oRow, aucSR2, aucPalette, aucSC2.size() - 7) == aucPart(aucSC2, 7));
            EXPECT_TRUE(bSamePicture(poReadImageFromFile(sSR.c_str(), &o), poOut.get()));
            if (c == "2") aucScreen2Body = aucPart(aucSR, 7);
            if (c == "4")
            {
                EXPECT_TRUE(aucPart(aucSR, 7) == aucScreen2Body);
            }

            // KRU: its command stream carries the SR pages and the palette words.
            vWrite(ConversionType_KRU);
            tdBytes aucStream;
            ASSERT_TRUE(bDecodeKRURecord(aucReadFile(sBase + ".kru"), 0, &aucStream, nullptr));
            for (const tdBytes& auc : {aucPart(aucSR, 7), aucPart(aucSR2, 7), aucWords})
                EXPECT_TRUE(std::search(aucStream.begin(), aucStream.end(), auc.begin(), auc.end()) !=
                            aucStream.end());

            // QEV: one stream of every line from the top.
            vWrite(ConversionType_QEV);
            const tdBytes aucQEV = aucReadFile(sBase + ".qev");
            ASSERT_GT(aucQEV.size(), 34u);
            EXPECT_EQ(aucQEV[0], oRow.iQEVCode + (bIL ? 16 : 0)); // then 16 palette words (none: 8, 12)
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

// Worked examples: A0 8A 0A 00 is four bytes 0x41 (literal A, AA, A: only whole
// strings that fit the capacity are written), 0x20 the end code alone.
TEST(QEVStreamTest, DecodesTheWorkedExamplesWithinItsOutput)
{
    const tdBytes aucFour = aucHexBytes("A0 8A 0A 00"), aucEnd = {0x20};
    for (int iCapacity = 0; iCapacity <= 5; iCapacity++)
    {
        const int iDecoded = "011344"[iCapacity] - '0';
        tdBytes aucOut(8, 0xEE), aucExpected(8, 0xEE);
        std::fill_n(aucExpected.begin(), iDecoded, 0x41);
        EXPECT_EQ(iDecodeQEVStream(aucFour.data(), 4, aucOut.data(), iCapacity), iDecoded);
        EXPECT_TRUE(aucOut == aucExpected) << iCapacity;
    }
    tdBytes aucOut(4, 0xEE);
    EXPECT_EQ(iDecodeQEVStream(aucEnd.data(), 1, aucOut.data(), 4), 0);
}

// Cut and mutated SC and QEV files read as SC Screen 5, as an SR Screen 7 pair (the
// same file as palette and second page) and as QEV (of any screen): a file cut
// before its pixels end is refused (the header or stream promised them), a mutated
// whole one gives null or a whole screen.
TEST(HostileScreenFileTest, DamagedFilesGiveNullOrAWholeScreen)
{
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Noise, 64, 48, 1.0, 5, 1, 1));
    tdSettings o = oSettingsFor(ScreenMode_Screen5, ConversionType_SC, false);
    const tdBytes aucFiles[] = {
        aucCapture([&](FILE* po) { oWriteImageToSCFile(poSource.get(), &o, po, nullptr, nullptr, nullptr); }),
        aucCapture([&](FILE* po)
                   { oWriteImageToQEVFile(poSource.get(), &o, po, nullptr, nullptr, CompressionType_LZW); })};
    tdTestRandom oRandom = {2024};
    int iRead = 0;
    oCaptureOutput(
        [&]
        {
            for (int iRound = 0; iRound < (QEV_TEST_SANITIZED ? 100 : 240); iRound++)
            {
                tdBytes auc = aucFiles[iRound & 1];
                // Rounds below 80 cut the file, the others mutate it whole.
                const bool bCut = iRound < 80;
                if (bCut)
                    auc.resize(iRound < 40 ? iRound : oRandom.uiNext(static_cast<unsigned>(auc.size())));
                for (int i = 0; i < 8 && !bCut; i++)
                    auc[oRandom.uiNext(static_cast<unsigned>(auc.size()))] =
                        static_cast<unsigned char>(oRandom.uiNext(256));
                FILE* po = tmpfile();
                if (!auc.empty()) fwrite(auc.data(), 1, auc.size(), po);
                for (int iReader = 0; iReader < 3; iReader++)
                {
                    rewind(po);
                    std::unique_ptr<Image> poImage(
                        iReader == 0   ? poReadImageFromSCFile(5, &o, po, nullptr, nullptr)
                        : iReader == 1 ? poReadImageFromSRFile(7, &o, po, po, po, nullptr)
                                       : poReadImageFromQEVFile(po, &o, nullptr));
                    const int iWidth = poImage ? poImage->m_iWidth : 0,
                              iSize = iWidth * 1000 + (poImage ? poImage->m_iHeight : 0);
                    iRead += poImage != nullptr;
                    // The Screen 5 pixels end at 69FF: a cut in the palette after them
                    // leaves the default palette, not a made-up picture.
                    const bool bWhole = !bCut || (iReader == 0 && auc.size() >= 7 + 0x6A00);
                    EXPECT_TRUE(!poImage || (bWhole && poImage->m_pucTexels &&
                                             (iReader == 2 ? iWidth == 64 || iWidth % 256 == 0
                                                           : iSize == (iReader ? 512424 : 256212))))
                        << iRound << " " << iReader;
                }
                fclose(po);
            }
        });
    EXPECT_GT(iRead, 0);
}

// RES: kind byte (palette size, + 128 with the palette), width, height, palette
// words, pixels at floor(log2 N) bits (indexed) or one byte (RGB).
TEST(ResourceFileTest, HeadersAndSizes)
{
    Image oSource(100, 50, 3, Background_Checkerboard, 1.0);
    tdSettings o = oSettingsFor(ScreenMode_Screen8, ConversionType_RES, false);
    // clang-format off
    struct { int iPaletteSize; int bWritePalette; int eMode; const char* pszHeader; size_t uiSize; } const aoCases[] = {
        {16, 1, ResourceMode_Indexed, "90 64 00 32 00", 5 + 32 + 50 * 50}, {4, 0, ResourceMode_Indexed, "04 64 00 32 00", 5 + 25 * 50},
        { 5, 0, ResourceMode_Indexed, "05 64 00 32 00", 5 + 25 * 50},      {16, 1, ResourceMode_RGB, "00 64 00 32 00", 5 + 5000}};
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

// SPR: MSX1 entries 0, 3 (top row) and 7 (bottom row, columns 0, 8, 15): one 32-byte
// pattern per 16 x 16 cell and used colour, left half rows then right half, bit 7
// leftmost; cell 1 lacks colour 7 but keeps the pattern; a transparent picture has none.
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
