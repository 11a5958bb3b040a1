// Tests of the KRU record and its command stream. Oracles: the record decoder (codecs.h),
// records and command streams typed as hexadecimal bytes (register tables included),
// and whole files compared with the records built in memory.

#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/files/kru_record.h"
#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <numeric>
#include <string>

namespace
{

// Records appended in memory and to a file, read back by the decoder (block lengths, size
// fields from offset 6); refused block sizes and failed writes add nothing.
TEST(KRURecord, BlocksSizeFieldsAndAppending)
{
    tdByteArray oEmpty, oRecords, oStream, oFar;
    vBuildKRURecord(2, nullptr, 0, 16384, &oEmpty);
    // "MSXKRU", size 7 (4 size + 1 class + 2 end), class 2, end 00 00
    EXPECT_EQ(aucArrayBytes(oEmpty), aucHexBytes("4D 53 58 4B 52 55  07 00 00 00  02  00 00"));
    tdTempFolder oFolder;
    const std::string sName = oFolder.sFile("anim.kru");
    FILE* poFile = fopen(sName.c_str(), "wb");
    const std::pair<int, std::vector<size_t>> aoCases[] = {
        {16384, {16384, 3616}}, {1, {1, 1, 1}}, {7, {7, 7, 6}}, {58000, {58000, 2000}}};
    size_t uiAt = 0;
    for (int i = 0; i < 4; i++)
    {
        const auto& [iBlockSize, auiBlocks] = aoCases[i];
        const tdBytes aucIn =
            aucRandomRuns(std::accumulate(auiBlocks.begin(), auiBlocks.end(), 0u), i ? 256 : 8, 1, 9);
        oStream.vSetSize(0);
        oStream.vAppend(aucIn.data(), static_cast<int>(aucIn.size()));
        EXPECT_TRUE(bWriteKRURecord(poFile, i, &oStream, iBlockSize));
        EXPECT_TRUE(bBuildKRURecord(i, aucIn.data(), static_cast<int>(aucIn.size()), iBlockSize, &oRecords));
        tdBytes aucOut;
        std::vector<size_t> auiOut;
        EXPECT_EQ(oRecords.m_pucData[uiAt + 10], i);
        EXPECT_TRUE(bDecodeKRURecord(aucArrayBytes(oRecords), uiAt, &aucOut, &uiAt, &auiOut));
        EXPECT_EQ(auiOut, auiBlocks);
        EXPECT_EQ(aucOut, aucIn);
    }
    const tdBytes aucAll = aucArrayBytes(oRecords);
    EXPECT_EQ(uiAt, aucAll.size());
    for (int iBlockSize : {0, -1, INT_MIN, 58001, INT_MAX})
    {
        vBuildKRURecord(1, oStream.m_pucData, 3, iBlockSize, &oRecords);
        bool bOk = true;
        tdCaptured oOutput = oCaptureOutput([&] { bOk = bWriteKRURecord(poFile, 1, &oStream, iBlockSize); });
        EXPECT_FALSE(bOk) << iBlockSize;
        EXPECT_NE(oOutput.m_sErr.find("KRUBlockSize"), std::string::npos) << oOutput.m_sErr;
        EXPECT_EQ(aucArrayBytes(oRecords), aucAll) << iBlockSize;
    }
    poFile = freopen(sName.c_str(), "rb", poFile); // a stream that cannot be written to
    EXPECT_EQ(aucReadFile(sName), aucAll);
    EXPECT_FALSE(bWriteKRURecord(poFile, 1, &oStream, 16384));
    fclose(poFile);
    EXPECT_FALSE(bWriteKRURecord(nullptr, 1, nullptr, 16384)); // and no stream at all
    // The window reaches 2047 bytes back: 1500 random bytes twice pack into 1500 literals
    // and one match (3000 literals would take over 3375 bytes).
    tdBytes auc = aucRandomRuns(1500, 256, 1, 5), aucTwice = auc;
    aucTwice.insert(aucTwice.end(), auc.begin(), auc.end());
    vBuildKRURecord(1, aucTwice.data(), 3000, 16384, &oFar);
    EXPECT_LT(oFar.m_iSize, 2000);
}

// Command streams of every screen, plain and interlaced: border BC, VRAM pages A1..A5 and
// B1..B3, 16 colours of 3-bit levels r = i mod 8, g = (3i + i / 8) mod 8, b = 7 - r.
TEST(KRUCommandStream, EveryScreenPlainAndInterlaced)
{
    const unsigned char aucLevels[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    Color aoColors[16];
    for (int i = 0; i < 16; i++)
        aoColors[i] = Color{aucLevels[i % 8], aucLevels[(3 * i + i / 8) % 8], aucLevels[7 - i % 8], 0};
    const Palette oPalette(aoColors);
    const std::string s4 = "01 00 04  07 00 16 03 25 06 34 01 ";
    const std::string s16 = "01 00 10" + s4.substr(8) +
                            "43 04 52 07 61 02 70 05 07 01 16 04 25 07 34 02 43 05 52 00 61 03 70 06 ";
    const std::string sPage0 = " 02 00 00 00 05 00 00 A1 A2 A3 A4 A5 ";
    tdByteArray oPage0, oPage1;
    oPage0.vAppend(aucHexBytes(sPage0).data() + 7, 5);
    oPage1.vAppend(aucHexBytes("B1 B2 B3").data(), 3);
    // class, palette, the register command when not interlaced, second field address
    // clang-format off
    const std::tuple<int, std::string, const char*, const char*> aoRows[] = {
        {0, s16, "00 08  00 02 FF 01 80 98 03 FF FF 04 03 FF 05 36 FF 06 07 FF  02 06 FF 07 0C 0F", ""},
        {0, s16, "00 08  00 00 FF 01 88 98 03 00 FF 04 00 FF 05 36 FF 06 07 FF  02 02 FF 07 0C 0F", ""},
        {1, s16, "00 08  00 06 FF 01 00 98 03 80 FF 04 00 FF 08 22 22  02 1F FF 07 0C 0F 09 80 8C", "00 80 00"},
        {1, s4,  "00 08  00 08 FF 01 00 98 03 80 FF 04 00 FF 08 22 22  02 1F FF 07 0C 0F 09 80 8C", "00 80 00"},
        {1, s16, "00 08  00 0A FF 01 00 98 03 FF FF 04 01 FF 08 22 22  02 1F FF 07 0C 0F 09 80 8C", "00 00 01"},
        {1, "",  "00 08  00 0E FF 01 00 98 03 FF FF 04 01 FF 08 02 22  02 1F FF 07 BC FF 09 80 8C", "00 00 01"},
        {2, s16, "00 09  00 0E FF 01 00 98 03 80 FF 04 00 FF 08 22 22 19 18 FF  02 1F FF 07 0C 0F 09 80 8C", "00 00 01"},
        {2, "",  "00 09  00 0E FF 01 00 98 03 80 FF 04 00 FF 08 02 22 19 08 FF  02 1F FF 07 BC FF 09 80 8C", "00 00 01"},
        // Screen 4: M4 alone; sprite attributes at 1E00 (R5 3F, R11 0), the rest as Screen 2
        {0, s16, "00 09  00 04 FF 01 80 98 03 FF FF 04 03 FF 05 3F FF 06 07 FF 0B 00 FF  02 06 FF 07 0C 0F", ""}};
    // clang-format on
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    oSettings.ConversionType = ConversionType_KRU;
    oSettings.Bordercolor = 0xBC;
    auto aucBuild = [&](int eMode, bool bInterlaced, const Palette* poPalette)
    {
        oSettings.ScreenMode = static_cast<tdScreenMode>(eMode);
        oSettings.InterlacedMode = bInterlaced ? 1 : 0;
        tdByteArray oStream;
        vBuildKRUCommandStream(&oSettings, poPalette, &oPage0, &oPage1, &oStream);
        return aucArrayBytes(oStream);
    };
    for (int eMode = 0; eMode < ScreenMode_Count; eMode++)
        for (bool bInterlaced : {false, true})
        {
            const auto& [iClass, sPalette, pszRegisters, pszSecond] = aoRows[eMode];
            std::string s = sPalette + pszRegisters + sPage0;
            // Interlaced: R2 31 -> 63, R9 80 -> 8C, and the second field.
            if (bInterlaced && *pszSecond) s += "02 " + std::string(pszSecond) + " 03 00 00 B1 B2 B3 ";
            const size_t uiR2 = s.find("02 1F FF"), uiR9 = s.rfind("09 80");
            if (bInterlaced && uiR2 != std::string::npos && uiR9 != std::string::npos && uiR9 > uiR2)
                s.replace(uiR9, 5, "09 8C").replace(uiR2, 8, "02 3F FF");
            EXPECT_EQ(iKRUScreenClass(eMode), iClass) << eMode;
            EXPECT_EQ(aucBuild(eMode, bInterlaced, &oPalette), aucHexBytes(s + "FF")) << eMode << bInterlaced;
        }
    // No palette: no palette command; a conversion that never interlaces writes one field;
    // screen modes outside 0..8 give the end command alone.
    EXPECT_EQ(aucBuild(ScreenMode_Screen5, false, nullptr)[0], 0);
    oSettings.ConversionType = ConversionType_PNG;
    EXPECT_EQ(aucBuild(ScreenMode_Screen5, true, nullptr), aucBuild(ScreenMode_Screen5, false, nullptr));
    for (int eMode : {-1, static_cast<int>(ScreenMode_Count)})
        EXPECT_TRUE(aucBuild(eMode, false, &oPalette) == tdBytes{0xFF} && iKRUScreenClass(eMode) == 0)
            << eMode;
}

} // namespace
