// Picture cartridges and the Z80 KRU player. Oracles: the KRU records the KRU
// writer makes (decoded by the test's own record decoder), and an emulated MSX
// (openMSX with C-BIOS) that boots each cartridge: its video memory, registers and
// palette must be what the record's command stream says.

#include "qev/base/settings.h"
#include "qev/files/format_kru.h"
#include "qev/files/format_rom.h"
#include "qev/files/readerwriter.h"
#include "qev/files/rom_code.h"
#include "tests/support/codecs.h"
#include "tests/support/msx_emulator.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>

namespace
{

tdSettings oROMSettings(int eScreen, bool bInterlaced)
{
    tdSettings o;
    vGetDefaultSettings(&o);
    o.ConversionType = ConversionType_ROM;
    o.ScreenMode = static_cast<tdScreenMode>(eScreen);
    o.InterlacedMode = bInterlaced;
    return o;
}

// The KRU record of a picture, as the KRU writer makes it.
tdBytes aucRecordOf(const Image* poImage, const tdSettings& oSettings)
{
    tdByteArray oRecord;
    oBuildKRURecordOfImage(poImage, &oSettings, &oRecord, nullptr, nullptr, CompressionType_None);
    return aucArrayBytes(oRecord);
}

// The directory entry i of a ROM: its record's offset in the ROM.
size_t uiRecordOffset(const tdBytes& aucROM, int i)
{
    const size_t uiEntry = static_cast<size_t>(g_iROMCodeSize + g_iROMDirEntries + 3 * i);
    return aucROM[uiEntry] | aucROM[uiEntry + 1] << 8 | aucROM[uiEntry + 2] << 16;
}

// What a record's command stream leaves in the chip.
struct tdExpected
{
    std::vector<std::pair<size_t, tdBytes>> aoVRAM; // address, bytes
    tdBytes aucWords;                               // palette words from entry 0
    std::vector<std::array<int, 3>> aoRegs;         // register, value, mask
};

bool bParseStream(const tdBytes& auc, tdExpected* po)
{
    size_t i = 0;
    auto iNext = [&](int iBytes)
    {
        int iValue = 0;
        for (int b = 0; b < iBytes; b++)
            iValue |= (i < auc.size() ? auc[i++] : 0) << (8 * b);
        return iValue;
    };
    while (i < auc.size())
    {
        switch (auc[i++])
        {
        case 0:
            for (int n = iNext(1); n > 0; n--)
                po->aoRegs.push_back({iNext(1), iNext(1), iNext(1)});
            break;
        case 1:
        {
            if (iNext(1) != 0) return false;
            const size_t uiCount = static_cast<size_t>(iNext(1));
            po->aucWords.assign(auc.begin() + static_cast<long>(i),
                                auc.begin() + static_cast<long>(i + 2 * uiCount));
            i += 2 * uiCount;
            break;
        }
        case 2:
        {
            const size_t uiAddress = static_cast<size_t>(iNext(3)), uiLength = static_cast<size_t>(iNext(3));
            if (i + uiLength > auc.size()) return false;
            po->aoVRAM.push_back({uiAddress, tdBytes(auc.begin() + static_cast<long>(i),
                                                     auc.begin() + static_cast<long>(i + uiLength))});
            i += uiLength;
            break;
        }
        case 255:
            return i == auc.size();
        default:
            return false;
        }
    }
    return false;
}

// The emulated chip shows the record: every VRAM byte of the stream, the palette words
// and the registers' masked bits, with the display switched on at the end.
void vExpectShows(const tdMSXShot& oShot, const tdBytes& aucRecord)
{
    tdBytes aucStream;
    tdExpected oExpected;
    ASSERT_TRUE(bDecodeKRURecord(aucRecord, 0, &aucStream, nullptr) && bParseStream(aucStream, &oExpected));
    for (const auto& [uiAddress, aucBytes] : oExpected.aoVRAM)
    {
        const auto itAt = oShot.m_aucVRAM.begin() + static_cast<long>(uiAddress);
        const auto oMismatch = std::mismatch(aucBytes.begin(), aucBytes.end(), itAt);
        EXPECT_TRUE(oMismatch.first == aucBytes.end())
            << "VRAM differs at " << std::hex
            << uiAddress + static_cast<size_t>(oMismatch.first - aucBytes.begin());
    }
    EXPECT_TRUE(std::equal(oExpected.aucWords.begin(), oExpected.aucWords.end(), oShot.m_aucWords.begin()));
    // The triples in order: a later one overrides an earlier one's bits. R1 bit 7 (a
    // TMS9918's 4/16K bit) does not exist on the V9938 and V9958.
    std::map<int, std::pair<int, int>> oRegs; // register: value, bits set
    for (const auto& [iReg, iValue, iMask] : oExpected.aoRegs)
        oRegs[iReg] = {(oRegs[iReg].first & ~iMask) | (iValue & iMask), oRegs[iReg].second | iMask};
    for (const auto& [iReg, oSet] : oRegs)
    {
        const int iHeld = iReg == 1 ? oSet.second & 0x7F : oSet.second;
        EXPECT_EQ(oShot.m_aucRegs.at(static_cast<size_t>(iReg)) & iHeld, oSet.first & iHeld) << "R" << iReg;
    }
    EXPECT_TRUE(oShot.m_aucRegs.at(1) & 0x40) << "the display is off";
}

// The ROM's frame: header, the RET of picture_shown, the directory, the records back to
// back in order, 0xFF after them; plain 16/32 KiB or an ASCII16 power of two.
TEST(CartridgeROM, HoldsTheRecordsInOrderBehindItsDirectory)
{
    std::unique_ptr<Image> poFlat(poMakeTestPicture(TestPicture_Flat, 256, 212, 1.0, 3, 9, 7));
    std::unique_ptr<Image> poNoise(poMakeTestPicture(TestPicture_Noise, 256, 212, 1.0, 5, 1, 1));
    const tdBytes aucSmall = aucRecordOf(poFlat.get(), oROMSettings(ScreenMode_Screen5, false));
    const tdBytes aucLarge = aucRecordOf(poNoise.get(), oROMSettings(ScreenMode_Screen8, true));
    tdByteArray oSmall, oLarge;
    oSmall.vAppend(aucSmall.data(), static_cast<int>(aucSmall.size()));
    oLarge.vAppend(aucLarge.data(), static_cast<int>(aucLarge.size()));
    ASSERT_GT(aucLarge.size(), 100000u);

    struct tdCase
    {
        std::vector<const tdByteArray*> apo;
        int iSeconds;
        size_t uiSize;
    };
    const tdCase aoCases[] = {{{&oSmall}, 0, 16384},
                              {{&oSmall, &oSmall, &oSmall}, 7, 32768},
                              {{&oSmall, &oLarge, &oSmall}, 255, 131072},
                              {std::vector<const tdByteArray*>(30, &oLarge), 1, 4194304}};
    for (const tdCase& oCase : aoCases)
    {
        tdByteArray oROM;
        std::string sError;
        ASSERT_TRUE(bBuildROM(oCase.apo, oCase.iSeconds, &oROM, &sError)) << sError;
        const tdBytes auc = aucArrayBytes(oROM);
        ASSERT_EQ(auc.size(), oCase.uiSize);
        EXPECT_TRUE(auc[0] == 'A' && auc[1] == 'B' && auc[16] == 0xC9); // "AB", picture_shown: RET
        const int iInit = auc[2] | auc[3] << 8;
        EXPECT_TRUE(iInit > 0x4010 && iInit < 0x4000 + g_iROMCodeSize);
        const unsigned char* puc = &auc[static_cast<size_t>(g_iROMCodeSize)];
        EXPECT_EQ(puc[g_iROMDirCount], oCase.apo.size());
        EXPECT_EQ(puc[g_iROMDirSeconds], oCase.iSeconds);
        EXPECT_EQ(puc[g_iROMDirMapper], oCase.uiSize > 32768 ? 1 : 0);
        size_t uiAt = static_cast<size_t>(g_iROMCodeSize + g_iROMDirEntries) + 3 * oCase.apo.size();
        for (size_t i = 0; i < oCase.apo.size(); i++)
        {
            EXPECT_EQ(uiRecordOffset(auc, static_cast<int>(i)), uiAt);
            const tdBytes aucRecord = aucArrayBytes(*oCase.apo[i]);
            ASSERT_TRUE(
                std::equal(aucRecord.begin(), aucRecord.end(), auc.begin() + static_cast<long>(uiAt)));
            uiAt += aucRecord.size();
        }
        EXPECT_TRUE(
            std::all_of(auc.begin() + static_cast<long>(uiAt), auc.end(), [](int c) { return c == 0xFF; }));
    }

    // Refused, with nothing built: no picture, too many, seconds out of range, over 4 MiB.
    const std::pair<std::vector<const tdByteArray*>, int> aoRefused[] = {
        {{}, 0},
        {std::vector<const tdByteArray*>(256, &oSmall), 0},
        {{&oSmall}, 256},
        {{&oSmall}, -1},
        {std::vector<const tdByteArray*>(40, &oLarge), 0}};
    for (const auto& [apo, iSeconds] : aoRefused)
    {
        tdByteArray oROM;
        std::string sError;
        EXPECT_FALSE(bBuildROM(apo, iSeconds, &oROM, &sError));
        EXPECT_TRUE(oROM.m_iSize == 0 && !sError.empty());
    }
    std::string sError;
    tdByteArray oROM;
    bBuildROM(std::vector<const tdByteArray*>(40, &oLarge), 0, &oROM, &sError);
    EXPECT_NE(sError.find("4 MiB"), std::string::npos) << sError;
}

// qev: -ct8 with -of gathers its inputs into one ROM whose records are those of -ct6
// appending the same inputs to one KRU file; without -of each input gets its own ROM.
TEST(CartridgeROM, QevWritesOneROMOfSeveralPictures)
{
    tdTempFolder oFolder;
    for (int i = 0; i < 3; i++)
    {
        std::unique_ptr<Image> po(poMakeTestPicture(TestPicture_Gradient, 64 + 32 * i, 48, 1.0, 1 + i, 1, 1));
        tdSettings o = oROMSettings(ScreenMode_Screen5, false);
        o.ConversionType = ConversionType_PNG;
        o.OutputSizeType = OutputSize_Original;
        oWriteImageToFile(po.get(), oFolder.sFile(std::string(1, 'a' + i)).c_str(), &o, nullptr, nullptr);
    }
    const std::vector<std::string> asInputs = {"a.png", "b.png", "c.png"};
    auto oRunWith = [&](std::vector<std::string> asMore, int iExit)
    {
        asMore.insert(asMore.begin(), asInputs.begin(), asInputs.end());
        const tdRunResult oRun = oRunQEV(oFolder, asMore);
        EXPECT_EQ(oRun.m_iExitCode, iExit) << oRun.m_sErr;
        return oRun;
    };
    const tdRunResult oROMRun = oRunWith({"-ct8", "-sm2", "-ofshow", "--slide-seconds=3"}, 0);
    EXPECT_EQ(std::count(oROMRun.m_sOut.begin(), oROMRun.m_sOut.end(), '\n'), 3) << oROMRun.m_sOut;
    for (const std::string& sInput : asInputs)
        EXPECT_EQ(oRunQEV(oFolder, {sInput, "-ct6", "-sm2", "-ofshow"}).m_iExitCode, 0);
    const tdBytes aucROM = aucReadFile(oFolder.sFile("show.rom")),
                  aucKRU = aucReadFile(oFolder.sFile("show.kru"));
    ASSERT_EQ(aucROM.size(), 32768u);
    EXPECT_EQ(aucROM[static_cast<size_t>(g_iROMCodeSize + g_iROMDirSeconds)], 3);
    const size_t uiFirst = uiRecordOffset(aucROM, 0);
    EXPECT_TRUE(std::equal(aucKRU.begin(), aucKRU.end(), aucROM.begin() + static_cast<long>(uiFirst)));
    size_t uiNext = 0;
    for (int i = 0; i < 3; i++)
    {
        EXPECT_EQ(uiRecordOffset(aucROM, i) - uiFirst, uiNext);
        tdBytes aucStream;
        ASSERT_TRUE(bDecodeKRURecord(aucKRU, uiNext, &aucStream, &uiNext));
    }

    oRunWith({"-ct8", "-sm2"}, 0);
    for (const char* psz : {"a.rom", "b.rom", "c.rom"})
        EXPECT_EQ(aucReadFile(oFolder.sFile(psz)).size(), 16384u) << psz;
    const tdRunResult oBad = oRunWith({"-ct8", "--slide-seconds=0"}, 2);
    EXPECT_NE(oBad.m_sErr.find("--slide-seconds"), std::string::npos);
}

// Every screen, interlaced ones, a MegaROM slideshow stepped by the space bar, and
// an MSX2 that skips YJK pictures or says it cannot show them: booted on the free
// C-BIOS machines, each picture is exactly its record.
TEST(CartridgeOnMSX, ShowsEveryScreenAsItsRecordSays)
{
    std::unique_ptr<Image> poPicture(poMakeTestPicture(TestPicture_Gradient, 320, 240, 1.0, 11, 1, 1));
    // Grain gives the short matches of photographs, whose codes the player decodes
    // in separate paths for each number of flag bits left.
    std::unique_ptr<Image> poGrain(poMakeTestPicture(TestPicture_Grain, 256, 212, 1.0, 5, 1, 1));
    const char* const pszMSX2Plus = "C-BIOS_MSX2+";
    struct tdRow
    {
        int eScreen;
        bool bInterlaced;
        int iSharedTiles; // one tile bank of this many for the three thirds; 0 none
        bool bGrain;
    };
    const tdRow aoRows[] = {{ScreenMode_Screen2, false, 0, false},  {ScreenMode_Screen3, false, 0, false},
                            {ScreenMode_Screen5, false, 0, false},  {ScreenMode_Screen6, false, 0, false},
                            {ScreenMode_Screen7, false, 0, false},  {ScreenMode_Screen8, false, 0, false},
                            {ScreenMode_Screen10, false, 0, false}, {ScreenMode_Screen12, false, 0, false},
                            {ScreenMode_Screen5, true, 0, false},   {ScreenMode_Screen12, true, 0, false},
                            {ScreenMode_Screen2, false, 64, false}, {ScreenMode_Screen8, false, 0, true},
                            {ScreenMode_Screen12, false, 0, true}};
    for (const tdRow& oRow : aoRows)
    {
        tdTempFolder oFolder;
        SCOPED_TRACE(std::string(g_apszScreenModeNames[oRow.eScreen]) +
                     (oRow.bInterlaced ? " interlaced" : "") + (oRow.iSharedTiles ? " shared bank" : "") +
                     (oRow.bGrain ? " grain" : ""));
        tdSettings o = oROMSettings(oRow.eScreen, oRow.bInterlaced);
        o.TileLimit = oRow.iSharedTiles;
        o.TileSharedBank = oRow.iSharedTiles > 0;
        const std::string sROM = oFolder.sFile("picture.rom");
        oWriteImageToFile((oRow.bGrain ? poGrain : poPicture).get(), oFolder.sFile("picture").c_str(), &o,
                          nullptr, nullptr);
        const tdBytes aucROM = aucReadFile(sROM);
        ASSERT_GE(aucROM.size(), 16384u);
        const tdMSXRun oRun =
            oRunCartridge(oFolder.m_sPath, sROM, pszMSX2Plus, aucROM.size() > 32768, 1, false);
        ASSERT_EQ(oRun.m_aoShots.size(), 1u) << oRun.m_sLog;
        const size_t uiAt = uiRecordOffset(aucROM, 0);
        vExpectShows(oRun.m_aoShots[0], tdBytes(aucROM.begin() + static_cast<long>(uiAt), aucROM.end()));
        // A shared bank: the thirds mirror bank 0 of both tables.
        const tdBytes& aucRegs = oRun.m_aoShots[0].m_aucRegs;
        EXPECT_TRUE(!oRow.iSharedTiles || ((aucRegs.at(3) & 0x60) == 0 && (aucRegs.at(4) & 3) == 0));
    }

    // Screen 5, Screen 12 (noise: incompressible, so a MegaROM whose records cross
    // banks) and Screen 8.
    std::unique_ptr<Image> poNoise(poMakeTestPicture(TestPicture_Noise, 256, 212, 1.0, 4, 1, 1));
    const tdBytes aoRecords[3] = {aucRecordOf(poPicture.get(), oROMSettings(ScreenMode_Screen5, false)),
                                  aucRecordOf(poNoise.get(), oROMSettings(ScreenMode_Screen12, true)),
                                  aucRecordOf(poNoise.get(), oROMSettings(ScreenMode_Screen8, false))};
    auto sWriteROM = [](const tdTempFolder& oFolder, std::vector<const tdBytes*> apo, int iSeconds)
    {
        std::vector<std::unique_ptr<tdByteArray>> apoArrays;
        std::vector<const tdByteArray*> apoList;
        for (const tdBytes* po : apo)
        {
            apoArrays.emplace_back(new tdByteArray);
            apoArrays.back()->vAppend(po->data(), static_cast<int>(po->size()));
            apoList.push_back(apoArrays.back().get());
        }
        tdByteArray oROM;
        bBuildROM(apoList, iSeconds, &oROM, nullptr);
        const std::string sName = oFolder.sFile("show.rom");
        bWriteFile(sName, aucArrayBytes(oROM));
        return sName;
    };
    {
        tdTempFolder oFolder;
        const std::string sROM = sWriteROM(oFolder, {&aoRecords[0], &aoRecords[1], &aoRecords[2]}, 0);
        ASSERT_GT(aucReadFile(sROM).size(), 65536u);
        // The space bar steps through the pictures, and after the last comes the first.
        const tdMSXRun oRun = oRunCartridge(oFolder.m_sPath, sROM, pszMSX2Plus, true, 4, true);
        ASSERT_EQ(oRun.m_aoShots.size(), 4u) << oRun.m_sLog;
        for (int i = 0; i < 4; i++)
            vExpectShows(oRun.m_aoShots[static_cast<size_t>(i)], aoRecords[i % 3]);
        // An MSX2 skips the YJK picture.
        const tdMSXRun oMSX2 = oRunCartridge(oFolder.m_sPath, sROM, "C-BIOS_MSX2", true, 3, true);
        ASSERT_EQ(oMSX2.m_aoShots.size(), 3u) << oMSX2.m_sLog;
        vExpectShows(oMSX2.m_aoShots[0], aoRecords[0]);
        vExpectShows(oMSX2.m_aoShots[1], aoRecords[2]);
        vExpectShows(oMSX2.m_aoShots[2], aoRecords[0]);
    }
    {
        // Seconds per picture advance without a key.
        tdTempFolder oFolder;
        const std::string sROM = sWriteROM(oFolder, {&aoRecords[0], &aoRecords[0]}, 1);
        const tdMSXRun oRun = oRunCartridge(oFolder.m_sPath, sROM, pszMSX2Plus, false, 3, false);
        ASSERT_EQ(oRun.m_aoShots.size(), 3u) << oRun.m_sLog;
        EXPECT_GT(oRun.m_aoShots[2].m_fSeconds - oRun.m_aoShots[1].m_fSeconds, 1.0);
    }
    {
        // Only YJK pictures on an MSX2: a message in Screen 0 (name table at 0).
        tdTempFolder oFolder;
        const std::string sROM = sWriteROM(oFolder, {&aoRecords[1]}, 0);
        const tdMSXRun oRun = oRunCartridge(oFolder.m_sPath, sROM, "C-BIOS_MSX2", true, 1, false);
        ASSERT_EQ(oRun.m_aoShots.size(), 1u) << oRun.m_sLog;
        const std::string sScreen(oRun.m_aoShots[0].m_aucVRAM.begin(),
                                  oRun.m_aoShots[0].m_aucVRAM.begin() + 960);
        EXPECT_NE(sScreen.find("needs an MSX2+"), std::string::npos);
    }
}

// Screen 4 on an MSX2 shows the preview. Oracle: the chip as the V9938 data book
// describes GRAPHIC 3: its registers (M4 alone; name, pattern and colour table bases
// with their third-selecting mask bits; sprite mode 2's attribute table) and its own
// video memory and palette, drawn here without the program's renderer.
TEST(CartridgeOnMSX, ShowsScreen4AsThePreview)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poPicture(poMakeTestPicture(TestPicture_Gradient, 320, 240, 1.0, 11, 1, 1));
    const tdSettings o = oROMSettings(ScreenMode_Screen4, false);
    Image* poConverted = nullptr;
    oWriteImageToFile(poPicture.get(), oFolder.sFile("picture").c_str(), &o, nullptr, nullptr, &poConverted);
    std::unique_ptr<Image> poPreview(poConverted);
    ASSERT_TRUE(poPreview && poPreview->m_iWidth == 256 && poPreview->m_iHeight == 192);
    const std::string sROM = oFolder.sFile("picture.rom");
    const tdBytes aucROM = aucReadFile(sROM);
    const tdMSXRun oRun = oRunCartridge(oFolder.m_sPath, sROM, "C-BIOS_MSX2", false, 1, false);
    ASSERT_EQ(oRun.m_aoShots.size(), 1u) << oRun.m_sLog;
    const tdMSXShot& oShot = oRun.m_aoShots[0];
    vExpectShows(oShot, tdBytes(aucROM.begin() + static_cast<long>(uiRecordOffset(aucROM, 0)), aucROM.end()));

    const tdBytes& r = oShot.m_aucRegs;
    const tdBytes& v = oShot.m_aucVRAM;
    EXPECT_TRUE((r[0] & 0x0E) == 0x04 && (r[1] & 0x18) == 0) << "not GRAPHIC 3";
    const size_t uiNames = (r[2] & 0x7Fu) << 10;
    const size_t uiPatterns = (r[4] & 0x3Cu) << 11, uiPatternMask = (r[4] & 3u) << 11 | 0x7FF;
    const size_t uiColours = (r[10] & 7u) << 14 | (r[3] & 0x80u) << 6,
                 uiColourMask = (r[3] & 0x7Fu) << 6 | 0x3F;
    // Sprite mode 2 takes A9-A7 of the attribute table from R5 bits 2-0 only when all set.
    const size_t uiAttributes =
        (((r[11] & 3u) << 15 | static_cast<size_t>(r[5]) << 7) & ~size_t(0x3FF)) | 0x200;
    EXPECT_TRUE(uiNames == 0x1800 && uiPatterns == 0 && uiColours == 0x2000 && uiAttributes == 0x1E00 &&
                (r[5] & 7) == 7 && ((r[6] & 0x3Fu) << 11) == 0x3800);

    const tdBytes aucPreview = aucTopDownTexels(poPreview.get());
    int iDiffering = 0;
    for (size_t y = 0; y < 192; y++)
        for (size_t x = 0; x < 256; x++)
        {
            const size_t uiCell = (y / 64) << 8 | v[uiNames + 32 * (y / 8) + x / 8];
            const size_t uiLine = uiCell << 3 | (y % 8);
            const int iPattern = v[uiPatterns | (uiLine & uiPatternMask)];
            const int iColour = v[uiColours | (uiLine & uiColourMask)];
            int c = (iPattern >> (7 - x % 8) & 1) ? iColour >> 4 : iColour & 15;
            if (c == 0 && !(r[8] & 0x20)) c = r[7] & 15; // colour 0 shows the backdrop
            const int iWord = oShot.m_aucWords[2 * c] | oShot.m_aucWords[2 * c + 1] << 8;
            const int aiLevels[3] = {iWord >> 4 & 7, iWord >> 8 & 7, iWord & 7};
            for (int k = 0; k < 3; k++)
                iDiffering += aucPreview[3 * (256 * y + x) + k] != (255 * aiLevels[k] + 3) / 7;
        }
    EXPECT_EQ(iDiffering, 0);

    // No sprite covers the picture: sprites off, or every sprite before the end mark
    // (Y = 216) transparent (colour 0, not drawn as a colour) on all its 16 lines.
    for (size_t n = 0; !(r[8] & 0x02) && n < 32 && v[uiAttributes + 4 * n] != 216; n++)
        for (size_t i = 0; i < 16; i++)
            EXPECT_TRUE((v[uiAttributes - 0x200 + 16 * n + i] & 15) == 0 && !(r[8] & 0x20)) << n;
}

#ifdef QEV_KRU_EXAMPLE
// README's C example, built with SDCC against kru_player.h: the record it plays from
// its own cartridge (at 6000h) is shown exactly, on an MSX2.
TEST(CartridgeOnMSX, TheSDCCExampleCallsThePlayer)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poFlat(poMakeTestPicture(TestPicture_Flat, 256, 212, 1.0, 8, 16, 12));
    const tdBytes aucRecord = aucRecordOf(poFlat.get(), oROMSettings(ScreenMode_Screen5, false));
    tdBytes aucROM = aucReadFile(QEV_KRU_EXAMPLE);
    ASSERT_TRUE(aucROM.size() > 16 && aucROM.size() <= 0x2000 && aucRecord.size() <= 0x2000);
    aucROM.resize(0x2000, 0xFF);
    aucROM.insert(aucROM.end(), aucRecord.begin(), aucRecord.end());
    aucROM.resize(0x4000, 0xFF);
    const std::string sROM = oFolder.sFile("example.rom");
    bWriteFile(sROM, aucROM);
    const tdMSXRun oRun = oRunCartridge(oFolder.m_sPath, sROM, "C-BIOS_MSX2", false, 1, false);
    ASSERT_EQ(oRun.m_aoShots.size(), 1u) << oRun.m_sLog;
    vExpectShows(oRun.m_aoShots[0], aucRecord);
}
#endif

} // namespace
