// Tests of the KRU record and its command stream. Oracles: the record decoder
// (codecs.h, written from the record format alone), records and command streams
// typed as hexadecimal bytes (register tables included), and whole files compared
// with the records built in memory.

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

tdBytes aucBytes(const tdByteArray& oArray)
{
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

tdBytes aucRandom(size_t uiLength, uint32_t uiSeed, unsigned int uiAlphabet)
{
    tdTestRandom oRandom{uiSeed};
    tdBytes auc(uiLength);
    for (auto& uc : auc)
        uc = static_cast<unsigned char>(oRandom.uiNext(uiAlphabet));
    return auc;
}

TEST(KRURecord, HeaderBlocksAndEnd)
{
    tdByteArray oEmpty;
    vBuildKRURecord(2, nullptr, 0, 16384, &oEmpty);
    // "MSXKRU", size 7 (4 size + 1 class + 2 end), class 2, end 00 00
    EXPECT_EQ(aucBytes(oEmpty), aucHexBytes("4D 53 58 4B 52 55  07 00 00 00  02  00 00"));
    // Every block but the last holds the block size; the decoder checks the size field.
    const std::pair<int, std::vector<size_t>> aoCases[] = {
        {16384, {16384, 3616}}, {1, {1, 1, 1}}, {7, {7, 7, 6}}, {58000, {58000, 2000}}};
    for (const auto& oCase : aoCases)
    {
        const tdBytes aucIn =
            aucRandom(std::accumulate(oCase.second.begin(), oCase.second.end(), 0u), 9, 256);
        tdByteArray oRecord;
        ASSERT_TRUE(bBuildKRURecord(1, aucIn.data(), static_cast<int>(aucIn.size()), oCase.first, &oRecord));
        tdBytes aucOut;
        std::vector<size_t> auiBlocks;
        size_t uiNext = 0;
        EXPECT_TRUE(bDecodeKRURecord(aucBytes(oRecord), 0, &aucOut, &uiNext, &auiBlocks));
        EXPECT_EQ(uiNext, static_cast<size_t>(oRecord.m_iSize));
        EXPECT_EQ(aucBytes(oRecord)[10], 1);
        EXPECT_EQ(auiBlocks, oCase.second);
        EXPECT_EQ(aucOut, aucIn);
    }
}

// Records are appended after those already there, each size field counting from
// its own offset 6; a refused block size or a failed write leaves them intact.
TEST(KRURecord, AppendsAndKeepsEarlierRecords)
{
    tdTempFolder oFolder;
    const std::string sName = oFolder.sFile("anim.kru");
    tdByteArray oStreams[2], oRecords;
    const tdBytes aucStreams[2] = {aucRandom(20000, 21, 8), aucRandom(500, 22, 256)};
    for (int i = 0; i < 2; i++)
    {
        oStreams[i].vAppend(aucStreams[i].data(), static_cast<int>(aucStreams[i].size()));
        // as file dispatch appends: open for update, go to the end
        FILE* poFile = fopen(sName.c_str(), i ? "r+b" : "wb");
        fseek(poFile, 0, SEEK_END);
        EXPECT_TRUE(bWriteKRURecord(poFile, 1 + i, &oStreams[i], 16384));
        fclose(poFile);
        vBuildKRURecord(1 + i, aucStreams[i].data(), static_cast<int>(aucStreams[i].size()), 16384,
                        &oRecords);
    }
    const tdBytes aucBoth = aucBytes(oRecords);
    EXPECT_EQ(aucReadFile(sName), aucBoth);
    size_t uiSecond = 0, uiNext = 0;
    tdBytes aucOut;
    EXPECT_TRUE(bDecodeKRURecord(aucBoth, 0, &aucOut, &uiSecond));
    EXPECT_TRUE(bDecodeKRURecord(aucBoth, uiSecond, &aucOut, &uiNext));
    EXPECT_EQ(aucOut, aucStreams[1]);
    EXPECT_EQ(aucBoth[uiSecond + 10], 2);

    for (int iBlockSize : {0, -1, INT_MIN, 58001, INT_MAX})
    {
        bool bBuilt = true, bWritten = true;
        tdCaptured oOutput = oCaptureOutput(
            [&]
            {
                vBuildKRURecord(1, aucStreams[1].data(), 500, iBlockSize, &oRecords);
                bBuilt = bBuildKRURecord(1, aucStreams[1].data(), 500, iBlockSize, &oRecords);
                FILE* poFile = fopen(sName.c_str(), "r+b");
                fseek(poFile, 0, SEEK_END);
                bWritten = bWriteKRURecord(poFile, 1, &oStreams[1], iBlockSize);
                fclose(poFile);
            });
        EXPECT_FALSE(bBuilt || bWritten) << iBlockSize;
        EXPECT_NE(oOutput.m_sErr.find("KRUBlockSize"), std::string::npos) << oOutput.m_sErr;
        EXPECT_EQ(aucBytes(oRecords), aucBoth) << iBlockSize;
        EXPECT_EQ(aucReadFile(sName), aucBoth) << iBlockSize;
    }
    // A stream that cannot be written to, and no stream at all.
    FILE* poFile = fopen(sName.c_str(), "rb");
    fseek(poFile, 0, SEEK_END);
    EXPECT_FALSE(bWriteKRURecord(poFile, 1, &oStreams[1], 16384));
    fclose(poFile);
    EXPECT_FALSE(bWriteKRURecord(nullptr, 1, &oStreams[1], 16384));
    EXPECT_EQ(aucReadFile(sName), aucBoth);
}

// Command streams of every screen, plain and interlaced, with the border colour
// B7, VRAM pages A1..A5 and B1..B3 and 16 colours of 3-bit levels r = i mod 8,
// g = (3i + i / 8) mod 8, b = 7 - r.
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
    const std::tuple<int, std::string, const char*, const char*> aoRows[] = {
        // class, palette, the register command when not interlaced, second field address
        {0, s16, "00 08  00 02 FF 01 80 98 03 FF FF 04 03 FF 05 36 FF 06 07 FF  02 06 FF 07 07 0F", ""},
        {0, s16, "00 08  00 00 FF 01 88 98 03 00 FF 04 00 FF 05 36 FF 06 07 FF  02 02 FF 07 07 0F", ""},
        {1, s16, "00 08  00 06 FF 01 00 98 03 80 FF 04 00 FF 08 22 22  02 1F FF 07 07 0F 09 80 8C",
         "00 80 00"},
        {1, s4, "00 08  00 08 FF 01 00 98 03 80 FF 04 00 FF 08 22 22  02 1F FF 07 07 0F 09 80 8C",
         "00 80 00"},
        {1, s16, "00 08  00 0A FF 01 00 98 03 FF FF 04 01 FF 08 22 22  02 1F FF 07 07 0F 09 80 8C",
         "00 00 01"},
        {1, "", "00 08  00 0E FF 01 00 98 03 FF FF 04 01 FF 08 02 22  02 1F FF 07 B7 FF 09 80 8C",
         "00 00 01"},
        {2, s16, "00 09  00 0E FF 01 00 98 03 80 FF 04 00 FF 08 22 22 19 18 FF  02 1F FF 07 07 0F 09 80 8C",
         "00 00 01"},
        {2, "", "00 09  00 0E FF 01 00 98 03 80 FF 04 00 FF 08 02 22 19 08 FF  02 1F FF 07 B7 FF 09 80 8C",
         "00 00 01"},
    };
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    oSettings.ConversionType = ConversionType_KRU;
    oSettings.Bordercolor = 0xB7;
    auto aucBuild = [&](int eMode, bool bInterlaced, const Palette* poPalette)
    {
        oSettings.ScreenMode = static_cast<tdScreenMode>(eMode);
        oSettings.InterlacedMode = bInterlaced ? 1 : 0;
        tdByteArray oStream;
        vBuildKRUCommandStream(&oSettings, poPalette, &oPage0, &oPage1, &oStream);
        return aucBytes(oStream);
    };
    for (int eMode = 0; eMode < ScreenMode_Count; eMode++)
    {
        const auto& oRow = aoRows[eMode];
        std::string sRegisters = std::get<2>(oRow), sSecond = std::get<3>(oRow);
        EXPECT_EQ(iKRUScreenClass(eMode), std::get<0>(oRow)) << eMode;
        EXPECT_EQ(aucBuild(eMode, false, &oPalette),
                  aucHexBytes(std::get<1>(oRow) + sRegisters + sPage0 + "FF"))
            << eMode;
        // Interlaced: R2 31 -> 63, R9 80 -> 8C, and the second field.
        for (auto oSwap : {std::make_pair("02 1F FF", "02 3F FF"), std::make_pair("09 80 8C", "09 8C 8C")})
            if (sRegisters.find(oSwap.first) != std::string::npos)
                sRegisters.replace(sRegisters.find(oSwap.first), 8, oSwap.second);
        std::string sPage1 = sSecond.empty() ? "" : "02 " + sSecond + " 03 00 00 B1 B2 B3 ";
        EXPECT_EQ(aucBuild(eMode, true, &oPalette),
                  aucHexBytes(std::get<1>(oRow) + sRegisters + sPage0 + sPage1 + "FF"))
            << eMode;
    }
    // No palette given: no palette command. A conversion that never interlaces
    // writes one field. Screen modes outside 0..7 give the end command alone.
    EXPECT_EQ(aucBuild(ScreenMode_Screen5, false, nullptr)[0], 0);
    oSettings.ConversionType = ConversionType_PNG;
    EXPECT_EQ(aucBuild(ScreenMode_Screen5, true, nullptr), aucBuild(ScreenMode_Screen5, false, nullptr));
    for (int eMode : {-1, static_cast<int>(ScreenMode_Count)})
    {
        EXPECT_EQ(aucBuild(eMode, false, &oPalette), tdBytes{0xFF});
        EXPECT_EQ(iKRUScreenClass(eMode), 0);
    }
}

} // namespace
