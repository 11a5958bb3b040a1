// The video-memory tables qev exports for programs. Oracles: the SC screen dumps
// of the same picture (the tables are their pieces), the host C compiler and sdcc's
// assembler reading the C and assembler exports back, the test's KRU block decoder,
// and the player's kru_unpack on the emulated MSX.

#include "tests/support/codecs.h"
#include "tests/support/msx_emulator.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace
{

tdBytes aucPart(const tdBytes& auc, size_t uiFrom, size_t uiLength)
{
    return uiFrom + uiLength <= auc.size() ? tdBytes(auc.begin() + static_cast<long>(uiFrom),
                                                     auc.begin() + static_cast<long>(uiFrom + uiLength))
                                           : tdBytes();
}

int iShell(const std::string& sCommand)
{
    return std::system(sCommand.c_str());
}

// Every export of Screen 2 and Screen 5 against the SC dump, C and assembler read back,
// BSAVE headers, packed tables unpacked by the decoder and by the MSX.
TEST(ExportTables, EveryKindHoldsThePiecesOfTheScreenDump)
{
    tdTempFolder oFolder;
    std::unique_ptr<Image> poPicture(poMakeTestPicture(TestPicture_Gradient, 200, 150, 1.0, 5, 1, 1));
    tdTestPNG oPNG;
    oPNG.m_iWidth = 200;
    oPNG.m_iHeight = 150;
    const tdBytes aucTexels = aucTopDownTexels(poPicture.get());
    oPNG.m_auiSamples.assign(aucTexels.begin(), aucTexels.end());
    ASSERT_TRUE(bWriteTestPNG(oFolder.sFile("in.png"), oPNG));

    // table: (screen option, SC extension, VRAM address, length; 0: to the dump's end)
    struct tdTable
    {
        const char* pszScreen;
        const char* pszTable;
        size_t uiAddress;
        size_t uiLength;
    };
    const tdTable aoTables[] = {{"-sm0", "pat", 0x0000, 0x1800}, {"-sm0", "nam", 0x1800, 0x300},
                                {"-sm0", "col", 0x2000, 0x1800}, {"-sm0", "pal", 0x1B80, 32},
                                {"-sm2", "pix", 0x0000, 0x6A00}, {"-sm2", "pal", 0x7680, 32}};
    std::map<std::string, tdBytes> aoDumps;
    for (const char* pszScreen : {"-sm0", "-sm2"})
    {
        const char* pszDump = pszScreen[3] == '0' ? "d.sc2" : "d.sc5";
        ASSERT_EQ(oRunQEV(oFolder, {"in.png", pszScreen, "-ct3", "-ofd"}).m_iExitCode, 0);
        aoDumps[pszScreen] =
            aucPart(aucReadFile(oFolder.sFile(pszDump)), 7, aucReadFile(oFolder.sFile(pszDump)).size() - 7);
        for (const char* pszKind : {"bin", "c", "asm"})
            for (const char* pszMore : {"", "--pack", "--bload"})
            {
                if (*pszMore == '-' && pszMore[2] == 'b' && pszKind[0] != 'b') continue;
                const std::string sBase =
                    "t" + std::string(pszScreen + 3) + pszKind + (*pszMore ? pszMore + 2 : "");
                std::vector<std::string> asArguments = {"in.png", pszScreen,
                                                        std::string("--export=") + pszKind, "-of" + sBase};
                if (*pszMore) asArguments.push_back(pszMore);
                const tdRunResult oRun = oRunQEV(oFolder, asArguments);
                ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
            }
    }

    // A C program and an assembler module that write every exported array out.
    std::string sProgram = "#include <stdio.h>\n";
    std::string sAsm;
    for (const tdTable& oTable : aoTables)
        for (const char* pszMore : {"", "pack"})
        {
            sProgram += "#include \"t" + std::string(oTable.pszScreen + 3) + "c" + pszMore + "." +
                        oTable.pszTable + ".h\"\n";
            sAsm += "        .include \"t" + std::string(oTable.pszScreen + 3) + "asm" + pszMore + "." +
                    oTable.pszTable + ".asm\"\n";
        }
    sProgram += "static void put(const char* n, const unsigned char* p, unsigned long s)\n"
                "{ FILE* f = fopen(n, \"wb\"); fwrite(p, 1, s, f); fclose(f); }\nint main(void)\n{\n";
    for (const tdTable& oTable : aoTables)
        for (const char* pszMore : {"", "pack"})
        {
            const std::string sSymbol =
                "t" + std::string(oTable.pszScreen + 3) + "c" + pszMore + "_" + oTable.pszTable;
            std::string sMacro = sSymbol;
            for (char& c : sMacro)
                c = static_cast<char>(toupper(c));
            sProgram += "    put(\"" + sSymbol + ".out\", " + sSymbol + ", " + sMacro + "_SIZE);\n";
            sProgram +=
                "    if (" + sMacro + "_VRAM != " + std::to_string(oTable.uiAddress) + ") return 1;\n";
        }
    sProgram += "    return 0;\n}\n";
    std::ofstream(oFolder.sFile("readback.c")) << sProgram;
    std::ofstream(oFolder.sFile("readback.s")) << "        .area _CODE\n" << sAsm;
    const std::string sCd = "cd '" + oFolder.m_sPath + "' && ";
    ASSERT_EQ(iShell(sCd + "cc -o readback readback.c && ./readback"), 0);
    ASSERT_EQ(iShell(sCd + QEV_SDASZ80 " -o readback.rel readback.s && " QEV_SDLDZ80
                                       " -n -i readback.ihx -b _CODE=0x0000 readback.rel && " QEV_SDOBJCOPY
                                       " -I ihex -O binary readback.ihx readback.bin"),
              0);
    const tdBytes aucAssembled = aucReadFile(oFolder.sFile("readback.bin"));

    size_t uiAsmAt = 0;
    for (const tdTable& oTable : aoTables)
    {
        SCOPED_TRACE(std::string(oTable.pszScreen) + " " + oTable.pszTable);
        const std::string s = "t" + std::string(oTable.pszScreen + 3), sTable = oTable.pszTable;
        const tdBytes aucExpected = aucPart(aoDumps[oTable.pszScreen], oTable.uiAddress, oTable.uiLength);
        ASSERT_EQ(aucExpected.size(), oTable.uiLength);
        EXPECT_EQ(aucReadFile(oFolder.sFile(s + "bin." + sTable)), aucExpected);
        // BSAVE, as the screen dumps have it: FE, start, end, run address 0 (video memory).
        const tdBytes aucBLoad = aucReadFile(oFolder.sFile(s + "binbload." + sTable));
        const size_t uiEnd = oTable.uiAddress + oTable.uiLength - 1;
        EXPECT_EQ(aucPart(aucBLoad, 0, 7),
                  tdBytes({0xFE, static_cast<unsigned char>(oTable.uiAddress),
                           static_cast<unsigned char>(oTable.uiAddress >> 8),
                           static_cast<unsigned char>(uiEnd), static_cast<unsigned char>(uiEnd >> 8), 0, 0}));
        EXPECT_EQ(aucPart(aucBLoad, 7, oTable.uiLength), aucExpected);
        const tdBytes aucPacked = aucReadFile(oFolder.sFile(s + "binpack." + sTable));
        tdBytes aucUnpacked;
        EXPECT_TRUE(bDecompressKRUBlock(aucPacked.data(), aucPacked.size(), &aucUnpacked, oTable.uiLength));
        EXPECT_EQ(aucUnpacked, aucExpected);
        EXPECT_EQ(aucReadFile(oFolder.sFile(s + "c_" + sTable + ".out")), aucExpected);
        EXPECT_EQ(aucReadFile(oFolder.sFile(s + "cpack_" + sTable + ".out")), aucPacked);
        EXPECT_EQ(aucPart(aucAssembled, uiAsmAt, aucExpected.size()), aucExpected);
        EXPECT_EQ(aucPart(aucAssembled, uiAsmAt + aucExpected.size(), aucPacked.size()), aucPacked);
        uiAsmAt += aucExpected.size() + aucPacked.size();
    }

#ifdef QEV_KRU_UNPACK_EXAMPLE
    // The player's kru_unpack, called from C, writes the packed pattern table to video
    // memory on an MSX2.
    tdBytes aucROM = aucReadFile(QEV_KRU_UNPACK_EXAMPLE);
    const tdBytes aucPackedPatterns = aucReadFile(oFolder.sFile("t0binpack.pat"));
    ASSERT_TRUE(aucROM.size() <= 0x2000 && aucPackedPatterns.size() <= 0x2000);
    aucROM.resize(0x2000, 0xFF);
    aucROM.insert(aucROM.end(), aucPackedPatterns.begin(), aucPackedPatterns.end());
    aucROM.resize(0x4000, 0xFF);
    bWriteFile(oFolder.sFile("unpack.rom"), aucROM);
    const tdMSXRun oRun =
        oRunCartridge(oFolder.m_sPath, oFolder.sFile("unpack.rom"), "C-BIOS_MSX2", false, 1, false);
    ASSERT_EQ(oRun.m_aoShots.size(), 1u) << oRun.m_sLog;
    EXPECT_EQ(aucPart(oRun.m_aoShots[0].m_aucVRAM, 0, 0x1800), aucPart(aoDumps["-sm0"], 0, 0x1800));
#endif
}

// A picture under a shared tile bank: the SC dump holds the bank in all three bank
// areas, the exports hold it once, and the names reach only the bank's tiles.
TEST(ExportTables, ASharedTileBankIsExportedOnce)
{
    tdTempFolder oFolder;
    ASSERT_EQ(oRunQEV(oFolder, {"--sample", "-sm0", "-tl64", "-tsb1", "-ct3", "-ofd"}).m_iExitCode, 0);
    const tdRunResult oRun = oRunQEV(oFolder, {"--sample", "-sm0", "-tl64", "-tsb1", "--export=bin", "-oft"});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    const size_t uiAt = oRun.m_sOut.find(" tiles=");
    ASSERT_NE(uiAt, std::string::npos) << oRun.m_sOut;
    const int iTiles = atoi(oRun.m_sOut.c_str() + uiAt + 7);
    EXPECT_TRUE(iTiles > 1 && iTiles <= 64 && oRun.m_sOut.find(" shared\n") != std::string::npos) << oRun.m_sOut;

    const tdBytes aucFile = aucReadFile(oFolder.sFile("d.sc2"));
    const tdBytes aucDump = aucPart(aucFile, 7, aucFile.size() - 7);
    for (size_t b = 1; b < 3; b++)
        EXPECT_TRUE(aucPart(aucDump, 0x800 * b, 0x800) == aucPart(aucDump, 0, 0x800) &&
                    aucPart(aucDump, 0x2000 + 0x800 * b, 0x800) == aucPart(aucDump, 0x2000, 0x800))
            << "bank area " << b;
    EXPECT_EQ(aucReadFile(oFolder.sFile("t.pat")), aucPart(aucDump, 0, 0x800));
    EXPECT_EQ(aucReadFile(oFolder.sFile("t.col")), aucPart(aucDump, 0x2000, 0x800));
    const tdBytes aucNames = aucReadFile(oFolder.sFile("t.nam"));
    EXPECT_EQ(aucNames, aucPart(aucDump, 0x1800, 0x300));
    EXPECT_EQ(*std::max_element(aucNames.begin(), aucNames.end()), iTiles - 1);
}

} // namespace
