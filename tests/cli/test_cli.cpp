// The built qev tool run in a private folder. Oracles: arguments -> exit code and
// message (nothing written, an existing output kept); outputs read back with libpng
// and by the readers (a screen dump reads back as the --preview picture); retro
// pictures against the test library's decoder.

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
typedef std::vector<std::string> tdNames;

bool bWriteFlatPNG(const std::string& sName, int iWidth, int iHeight, unsigned char ucGrey)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = iWidth;
    oPNG.m_iHeight = iHeight;
    oPNG.m_auiSamples.assign(static_cast<size_t>(iWidth) * iHeight * 3, ucGrey);
    return bWriteTestPNG(sName, oPNG);
}

class CLITest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    void SetUp() override { ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("src.png"), 64, 48, 150)); }

    // Runs the tool; on exit code 0 with a single "-of" output also checks its result
    // line and decodes out.png.
    tdDecodedPNG oConvert(const std::string& sInput, const tdNames& asOptions)
    {
        tdNames asArguments = {sInput, "-ofout"};
        asArguments.insert(asArguments.end(), asOptions.begin(), asOptions.end());
        tdRunResult oRun = oRunQEV(m_oFolder, asArguments);
        EXPECT_EQ(oRun.m_sOut + oRun.m_sErr + std::to_string(oRun.m_iExitCode),
                  "out.png R=0.000 G=0.000 B=0.000\n0");
        tdDecodedPNG oPNG;
        EXPECT_TRUE(bReadTestPNG(m_oFolder.sFile("out.png"), &oPNG));
        unlink(m_oFolder.sFile("out.png").c_str());
        return oPNG;
    }
};

} // namespace

// Usage errors exit with 2 before anything is read, unreadable inputs and unwritable
// outputs with 1: only the message is printed, nothing created, out.png untouched.
TEST_F(CLITest, ExitCodesAndMessages)
{
    const tdBytes aucGood = {'g', 'o', 'o', 'd'};
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("out.png"), aucGood));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'}));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("short.scr"), tdBytes(6000, 0)));
    ASSERT_TRUE(
        bWriteFile(m_oFolder.sFile("screen.png"), tdBytes(6912, 0))); // Spectrum, under a name of ours
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("empty.gpl"), {'G', 'I', 'M', 'P', '\n'}));
    // A folder where the output goes: written in full, it cannot be renamed into place.
    ASSERT_EQ(mkdir(m_oFolder.sFile("taken.png").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(m_oFolder.sFile("sub").c_str(), 0755), 0);
    // Marked read-only: kept even when the superuser runs the tool.
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("locked.png"), aucGood));
    ASSERT_EQ(chmod(m_oFolder.sFile("locked.png").c_str(), 0444), 0);
    const tdNames asBefore = asListFolder(m_oFolder.m_sPath);
    // clang-format off
    struct { tdNames asArguments; int iExitCode; const char* pszMessage; } const aoCases[] = {
        {{"src.png", "-xyz"},             2, "qev: unknown argument -xyz (qev --help lists the options)\n"},
        {{},                              2, "qev: no input file given\n"},
        {{"src.png", "b.png", "-ofx"},    2, "qev: option -of names one output: it cannot be used with 2 inputs"},
        {{"src.png", "b.png", "--preview=p.png"}, 2, "--preview names one picture"},
        {{"--sample", "src.png"},         2, "give either input files or --sample"},
        {{"src.png", "-sm9"},             2, "qev: option -sm (ScreenMode): 9 is out of range; allowed: 0 \"Screen 2\", 1 \"Screen 3\""},
        {{"src.png", "-sm2x"},            2, "option -sm (ScreenMode): \"2x\" is not an integer"},
        {{"src.png", "-ow0"},             2, "-ow (OutputWidth): 0 is out of range; allowed: an integer 1..8192"},
        {{"src.png", "-ciar0"},           2, "-ciar (CustomInputAspectRatio): 0 is out of range; allowed: a finite number above 0"},
        {{"src.png", "-ed"},              2, "-ed (ErrorDiffusionFactor): \"\" is not a number"},
        {{"src.png", "-edinf"},           2, "allowed: a finite number\n"},
        {{"src.png", "-mbs58001"},        2, "allowed: an integer 1..58000"},
        {{"src.png", "--jobs=0"},         2, "qev: option --jobs: \"0\" is out of range; allowed: an integer 1..64\n"},
        {{"src.png", "b.png", "--jobs=2x"}, 2, "qev: option --jobs: \"2x\" is out of range"},
        {{"src.png", "-rps0"},            2, "-rps (ResourcePaletteSize): 0 is out of range; allowed: an integer 1..16"},
        {{"src.png", "-blt1.5"},          2, "allowed: a number 0..1"},
        {{"src.png", "-tl257", "-tsb1"},  2, "-tl (TileLimit): 257 is out of range; allowed: an integer 0..256"},
        {{"src.png", "-tl256"},           2, "qev: option -tl: a third holds at most 255 tiles of its own; 256 need a shared bank (-tsb1)\n"},
        {{"src.png", "-sm9", "-sm2"},     2, "-sm (ScreenMode): 9 is out of range"}, // every value is checked
        {{"src.png", "-of"},              2, "qev: option -of needs a file name"},
        {{"src.png", "--palette=none.gpl"}, 2, "qev: --palette: cannot read palette file none.gpl"},
        {{"src.png", "--palette=empty.gpl"}, 2, "palette file empty.gpl holds no colour"},
        {{"src.png", "-ofsub/../src"},    2, "qev: the output sub/../src.png would replace the input src.png"},
        {{"missing.png", "-ofout"},       1, "qev: cannot read missing.png: the file is missing, damaged or not a supported picture\n"},
        {{"short.scr", "-ofout"},         1, "qev: cannot read short.scr: the file is missing, damaged"},
        {{"screen.png", "-ofout"},        1, "qev: cannot read screen.png: the file is missing, damaged"},
        {{"notes.txt", "-ofout"},         1, "qev: cannot read notes.txt: unknown file type"},
        {{"src.png", "-ofno/such/out"},   1, "qev: cannot create no/such/out.png (is its folder there and writable?)\n"},
        {{"src.png", "-oftaken"},         1, "qev: cannot write taken.png: could not rename into place"},
        {{"src.png", "-oflocked"},        1, "qev: cannot write locked.png: locked.png is write-protected (no write permission): it is kept\n"},
    };
    // clang-format on
    for (const auto& oCase : aoCases)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, oCase.asArguments);
        EXPECT_EQ(oRun.m_iExitCode, oCase.iExitCode) << oCase.pszMessage;
        EXPECT_NE(oRun.m_sErr.find(oCase.pszMessage), std::string::npos) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut.find("R="), std::string::npos) << oRun.m_sOut;
        EXPECT_TRUE(aucReadFile(m_oFolder.sFile("out.png")) == aucGood) << oCase.pszMessage;
        EXPECT_EQ(asListFolder(m_oFolder.m_sPath), asBefore) << oCase.pszMessage;
        EXPECT_TRUE(aucReadFile(m_oFolder.sFile("locked.png")) == aucGood) << oCase.pszMessage;
    }
}

// A KRU record that cannot be appended leaves the earlier records and no temporary
// file, whether the size limit stops the new record (128 blocks) or the copy (64).
TEST_F(CLITest, FailedKRUAppendKeepsTheEarlierRecords)
{
    const tdBytes aucRecords(64 * 1024 - 10, 0x4B);
    for (const char* pszLimit : {"trap '' XFSZ; ulimit -f 128", "trap '' XFSZ; ulimit -f 64"})
    {
        ASSERT_TRUE(bWriteFile(m_oFolder.sFile("anim.kru"), aucRecords));
        tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "-ct6", "-sm5", "-ofanim"}, pszLimit);
        EXPECT_EQ(oRun.m_iExitCode, 1) << oRun.m_sErr;
        EXPECT_NE(oRun.m_sErr.find("qev: cannot "), std::string::npos) << oRun.m_sErr;
        EXPECT_TRUE(aucReadFile(m_oFolder.sFile("anim.kru")) == aucRecords) << pszLimit;
        EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (tdNames{"anim.kru", "src.png"}));
    }
}

// Output size options (later ones win, any letter case), a PNG conversion's colour
// kept exactly, the result line, names from -of and from the input.
TEST_F(CLITest, OutputSizesAndNames)
{
    tdDecodedPNG oPNG = oConvert("src.png", {}); // by default the original size
    EXPECT_TRUE(oPNG.m_iWidth == 64 && oPNG.m_iHeight == 48 && oPNG.m_iColorType == PNG_COLOR_TYPE_RGB &&
                oPNG.m_aucRGB == tdBytes(64 * 48 * 3, 150));
    oPNG = oConvert("src.png", {"-ow100", "-oh50", "-Ost0", "-oW120", "-blt1"}); // 0..1 bounds included
    EXPECT_EQ(oPNG.m_iWidth * 10000 + oPNG.m_iHeight, 1200050);
    ASSERT_EQ(mkdir(m_oFolder.sFile("my.photos").c_str(), 0755), 0);
    for (const char* psz : {"my.photos/holiday.v1.jpg", "my.photos/cat.JPEG"})
        ASSERT_TRUE(bWriteTestJPEG(m_oFolder.sFile(psz), TestJPEG_Grey, 8, 8, tdBytes(64, 50), 90));
    // clang-format off
    const std::pair<tdNames, const char*> aoNames[] = {
        {{"my.photos/holiday.v1.jpg"}, "my.photos/holiday.v1.png"}, {{"my.photos/cat.JPEG"}, "my.photos/cat.png"},
        {{"src.png", "-OFmy.photos/Out.PNG"}, "my.photos/Out.PNG"}, {{"--sample", "-ofmy.photos/s"}, "my.photos/s.png"}};
    // clang-format on
    for (const auto& oCase : aoNames)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, oCase.first);
        EXPECT_EQ(oRun.m_sOut + oRun.m_sErr + std::to_string(oRun.m_iExitCode),
                  std::string(oCase.second) + " R=0.000 G=0.000 B=0.000\n0");
    }
    EXPECT_EQ(asListFolder(m_oFolder.sFile("my.photos")),
              (tdNames{"Out.PNG", "cat.JPEG", "cat.png", "holiday.v1.jpg", "holiday.v1.png", "s.png"}));
}

// Every conversion type: the files it names and writes; screen dumps and QEV files
// read back equal to the --preview picture byte for byte.
TEST_F(CLITest, EveryConversionTypeWritesItsFilesAndReadsBackAsItsPreview)
{
    // clang-format off
    //  -ct, -sm, main file, companion, main size (0: unchecked; the one-colour sprite sheet is empty)
    struct { const char* pszType; const char* pszScreen; const char* pszMain; const char* pszCompanion; size_t uiSize; } const aoCases[] = {
        {"-ct1", "-sm2", "out.qev", "", 0},     {"-ct2", "-sm2", "out.sr5", "out.pl5", 27143}, {"-ct2", "-sm7", "out.src", "", 54279},
        {"-ct3", "-sm0", "out.sc2", "", 14343}, {"-ct3", "-sm3", "out.sc6", "", 30351},        {"-ct3", "-sm5", "out.sc8", "", 54279},
        {"-ct4", "-sm2", "out.spr", "", 0},     {"-ct6", "-sm6", "out.kru", "", 0},            {"-ct7", "-sm2", "out.res", "", 5 + 32 + 32 * 48},
        {"-ct2", "-sm8", "out.sr4", "out.pl4", 14343}};
    // clang-format on
    for (const auto& o : aoCases)
    {
        SCOPED_TRACE(o.pszMain);
        tdRunResult oRun =
            oRunQEV(m_oFolder, {"src.png", o.pszType, o.pszScreen, "--preview=prev.png", "-ofout"});
        ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut.substr(0, oRun.m_sOut.find(' ')), o.pszMain);
        tdNames asExpected = {o.pszMain, "prev.png", "src.png"};
        if (*o.pszCompanion) asExpected.insert(asExpected.begin(), o.pszCompanion);
        EXPECT_EQ(asListFolder(m_oFolder.m_sPath), asExpected);
        const size_t uiSize = aucReadFile(m_oFolder.sFile(o.pszMain)).size();
        EXPECT_TRUE(o.uiSize ? uiSize == o.uiSize : (uiSize == 0) == (strcmp(o.pszMain, "out.spr") == 0));
        if (strstr(".qev.sr5.src.sc2.sc6.sc8.sr4", o.pszMain + 3))
        {
            ASSERT_EQ(oRunQEV(m_oFolder, {o.pszMain, "-ofback"}).m_iExitCode, 0);
            tdDecodedPNG oBack, oPreview;
            ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("back.png"), &oBack) &&
                        bReadTestPNG(m_oFolder.sFile("prev.png"), &oPreview));
            EXPECT_TRUE(oBack.m_iWidth == oPreview.m_iWidth && oBack.m_aucRGB == oPreview.m_aucRGB);
        }
        for (const std::string& sName : asListFolder(m_oFolder.m_sPath))
            if (sName != "src.png") unlink(m_oFolder.sFile(sName).c_str());
    }
}

// Several inputs into --outdir, a failing one not stopping the others; --help stops
// the run; RAW goes to the -of name itself (replaced, not appended) or the input's
// name with .raw, without headers.
TEST_F(CLITest, SeveralInputsOutdirRawHelpAndVersion)
{
    ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("second.png"), 20, 10, 30));
    ASSERT_EQ(0, mkdir(m_oFolder.sFile("od").c_str(), 0755));
    tdRunResult oRun =
        oRunQEV(m_oFolder, {"src.png", "missing.png", "second.png", "-ct3", "-sm2", "--outdir=od"});
    EXPECT_EQ(oRun.m_iExitCode, 1);
    EXPECT_EQ(oRun.m_sOut.find("od/src.sc5 R="), 0u) << oRun.m_sOut;
    EXPECT_NE(oRun.m_sOut.find("\nod/second.sc5 R="), std::string::npos) << oRun.m_sOut;
    EXPECT_EQ(asListFolder(m_oFolder.sFile("od")), (tdNames{"second.sc5", "src.sc5"}));
    oRun = oRunQEV(m_oFolder, {"src.png", "--help", "-ofout"});
    EXPECT_EQ(oRun.m_sErr + std::to_string(oRun.m_iExitCode), "0");
    EXPECT_NE(oRun.m_sOut.find("\n  -sm    ScreenMode "), std::string::npos);
    oRun = oRunQEV(m_oFolder, {"--version"});
    EXPECT_EQ(oRun.m_sOut + oRun.m_sErr + std::to_string(oRun.m_iExitCode), "3.4\n0");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (tdNames{"od", "second.png", "src.png"}));
    // Palette words, then Screen 5's 32 x 48 bytes or Screen 2's pattern and colour tables.
    for (const char* pszOutput : {"-ofpic.raw", "-ofpic.raw", "-sm0"})
        EXPECT_EQ(oRunQEV(m_oFolder, {"src.png", "-ct5", "-sm2", "-ow64", "-oh48", pszOutput}).m_iExitCode,
                  0);
    EXPECT_EQ(aucReadFile(m_oFolder.sFile("pic.raw")).size(), 32u + 32u * 48u);
    EXPECT_EQ(aucReadFile(m_oFolder.sFile("src.raw")).size(), 32u + 12288u);
}

// Inputs converted several at a time print, write and exit exactly as one after
// the other: a failing input stops no other, two inputs appending to one KRU file
// keep their order. Rows: the conversion options; each runs with --jobs=1 and
// --jobs=3 in folders of the same files.
TEST_F(CLITest, ParallelJobsAsSequential)
{
    std::vector<unsigned char> aucNoise(40 * 30 * 3);
    for (size_t i = 0; i < aucNoise.size(); i++)
        aucNoise[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    const tdNames asInputs = {"a.png", "a.jpg", "missing.png", "b.png", "bad.gif", "c.png", "d.png"};
    const tdNames aasOptions[] = {{"-ct6", "-sm2", "--outdir=od"}, {"-ct3", "-sm0", "-dem3"}};
    for (const auto& asOptions : aasOptions)
    {
        std::string asResults[2];
        for (int iRun = 0; iRun < 2; iRun++)
        {
            tdTempFolder oFolder;
            ASSERT_EQ(0, mkdir(oFolder.sFile("od").c_str(), 0755));
            ASSERT_TRUE(bWriteFlatPNG(oFolder.sFile("a.png"), 64, 48, 150));
            ASSERT_TRUE(bWriteTestJPEG(oFolder.sFile("a.jpg"), TestJPEG_YCbCr, 40, 30, aucNoise, 90));
            ASSERT_TRUE(bWriteFlatPNG(oFolder.sFile("b.png"), 20, 10, 30));
            ASSERT_TRUE(bWriteFlatPNG(oFolder.sFile("bad.gif"), 4, 4, 1));
            ASSERT_TRUE(bWriteFlatPNG(oFolder.sFile("c.png"), 30, 20, 200));
            ASSERT_TRUE(bWriteFlatPNG(oFolder.sFile("d.png"), 8, 8, 90));
            tdNames asArguments = asInputs;
            asArguments.insert(asArguments.end(), std::begin(asOptions), std::end(asOptions));
            asArguments.push_back(iRun ? "--jobs=3" : "--jobs=1");
            const tdRunResult oRun = oRunQEV(oFolder, asArguments);
            asResults[iRun] = oRun.m_sOut + "|" + oRun.m_sErr + "|" + std::to_string(oRun.m_iExitCode);
            for (const std::string& sFolder : {std::string(), std::string("od/")})
                for (const std::string& sName : asListFolder(oFolder.sFile(sFolder)))
                    if (sName != "od")
                    {
                        const tdBytes auc = aucReadFile(oFolder.sFile(sFolder + sName));
                        asResults[iRun] += "|" + sFolder + sName + ":" + std::string(auc.begin(), auc.end());
                    }
        }
        EXPECT_EQ(asResults[0], asResults[1]);
        EXPECT_NE(asResults[0].find("cannot read missing.png"), std::string::npos);
    }
}

// Retro pictures come pixel for pixel from the retro decoder and keep square
// pixels: the input aspect options change a PNG's output, not a Koala picture's.
TEST_F(CLITest, RetroPicturesPixelForPixelWithSquarePixels)
{
    const tdBytes aucScreen = aucRandom(6912, 3);
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("random.SCR"), aucScreen));
    tdBytes aucRGB;
    for (int i : oDecoded("random.SCR", aucScreen).m_aiPixels)
        aucRGB.insert(aucRGB.end(), {uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)});
    EXPECT_TRUE(oConvert("random.SCR", {}).m_aucRGB == aucRGB);
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("white.koa"), aucPatched(tdBytes(10003, 0), {{10002, 1}})));
    for (const char* pszInput : {"white.koa", "src.png"})
        EXPECT_EQ(oConvert(pszInput, {"-ost2", "-oart4"}).m_aucRGB ==
                      oConvert(pszInput, {"-ost2", "-oart4", "-iart1", "-ciar2"}).m_aucRGB,
                  *pszInput == 'w')
            << pszInput;
}
