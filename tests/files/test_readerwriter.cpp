// File dispatch and naming. Oracles: the naming rules typed in as tables (string
// helpers, output names, the reader, screen and pages of every screen-dump
// extension, checked against the readers called directly on random video memory);
// vError's exact text; KRU saves that append; output sets that replace files only
// when every byte was written (write errors made real by breaking the stream).

#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "qev/base/report.h"
#include "qev/base/settings.h"
#include "qev/files/format_sc.h"
#include "qev/files/format_sr.h"
#include "qev/files/output_files.h"
#include "qev/files/readerwriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
typedef std::vector<std::string> tdNames;
typedef std::unique_ptr<Image> tdPicture;

// Takes a malloc'ed text (or null, given as "(null)"), returns it and frees it.
std::string sTake(char* psz)
{
    std::string s = psz ? psz : "(null)";
    free(psz);
    return s;
}

std::string sText(const std::string& sName)
{
    std::vector<unsigned char> auc = aucReadFile(sName);
    return std::string(auc.begin(), auc.end());
}

Image* poReadQuietly(const std::string& sName, const tdSettings* poSettings, std::string* psErr = nullptr)
{
    Image* poImage = nullptr;
    tdCaptured o = oCaptureOutput([&] { poImage = poReadImageFromFile(sName.c_str(), poSettings); });
    if (psErr) *psErr = o.m_sErr;
    return poImage;
}
} // namespace

TEST(StringHelpersTest, NameRules)
{
    // clang-format off
    struct { const char* pszText; const char* pszEnding; bool bResult; } const aoEndsWith[] = {
        {"photo.PNG",  ".png", true},  // letter case is ignored on both sides
        {"PHOTO.png",  ".PnG", true},
        {"photo.jpeg", ".jpg", false},
        {"png",        ".png", false}, // an ending longer than the text never matches
        {"",           "",     true},
        {"a.sc5x",     ".sc5", false},
    };
    struct { const char* pszName; const char* pszExtension; const char* pszResult; } const aoExtension[] = {
        {"pic",         "png", "pic.png"},
        {"a.b.c",       "x",   "a.b.x"},     // only the last extension goes
        {"a.b/c",       "png", "a.b/c.png"}, // a dot in a folder name is kept
        {"dir/.hidden", "x",   "dir/.x"},
        {"PIC.SI5",     "pi5", "PIC.pi5"},
    };
    //  text       offset replacement result
    struct { const char* pszText; int iOffset; const char* pszReplacement; const char* pszResult; } const aoEnding[] = {
        {"PIC.SI5",  -2, "j",   "PIC.SJ5"},  // lands on an upper-case letter: upper case
        {"pic.sr5",  -3, "pl",  "pic.pl5"},
        {"Pic.sI5",  -3, "pi",  "Pic.pI5"},  // decided letter by letter
        {"AB5",      -1, "j",   "ABj"},      // a digit is not upper case
        {"abc",      -1, "xyz", "abx"},      // stops at the end of the text
        {"abcdef",   -4, "X",   "abXdef"},   // stops at the end of the replacement
        {"abc",      -3, "xyz", "xyz"},      // from the first character
        {"pic.si5",   0, "j",   "pic.si5"},  // offset 0: unchanged copy
        {"ab",       -3, "x",   "ab"},       // reaching before the start: unchanged copy
    };
    // clang-format on
    for (const auto& o : aoEndsWith)
        EXPECT_EQ(bEndsWith(o.pszText, o.pszEnding), o.bResult) << o.pszText << " / " << o.pszEnding;
    for (const auto& o : aoExtension)
        EXPECT_EQ(sTake(szReplaceExtenstion(o.pszName, o.pszExtension)), o.pszResult) << o.pszName;
    for (const auto& o : aoEnding)
        EXPECT_EQ(sTake(szReplaceEnding(o.pszText, o.iOffset, o.pszReplacement)), o.pszResult) << o.pszText;
    EXPECT_EQ(sTake(szConcat("pic", ".sc5")), "pic.sc5");
    std::string sChars;
    for (int i = -1; i <= ScreenMode_Count; i++)
        sChars += szGetScreenCharFromMode(i) ? szGetScreenCharFromMode(i) : "-";
    EXPECT_EQ(sChars, "-235678ac-");
    tdCaptured oError = oCaptureOutput(
        []
        {
            vError("qev/format_sc.cpp", "poReadImageFromSCFile", 42, "Unable to open %s.", "a b.sc5");
            vError("f", "g", -1, "%d%% done", 50);
        });
    EXPECT_EQ(oError.m_sErr + oError.m_sOut,
              "File: qev/format_sc.cpp\nFunction: poReadImageFromSCFile\nLine: 42\n"
              "Message: Unable to open a b.sc5.File: f\nFunction: g\nLine: -1\n"
              "Message: 50% done");
}

// PNG and JPEG by extension in any letter case; other extensions give null without a
// message; the reader follows the name, not the contents; a missing file is
// reported. The input aspect-ratio setting decides the picture's ratio; the file's
// own (pHYs 2000 x 1000: 0.5) is published.
TEST(ReadImageTest, ReaderFollowsTheExtensionAndTheRatioSetting)
{
    tdTempFolder oFolder;
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    tdTestPNG oPNG;
    oPNG.m_iWidth = oPNG.m_iHeight = 4;
    oPNG.m_auiSamples.assign(48, 7);
    oPNG.m_bPhys = true;
    oPNG.m_uiXPerUnit = 2000;
    oPNG.m_uiYPerUnit = 1000;
    for (const char* psz : {"a.PNG", "b.Png", "c.gif", "d.png.bak", "e", "w.jpg"})
        ASSERT_TRUE(bWriteTestPNG(oFolder.sFile(psz), oPNG));
    for (const char* psz : {"f.JPG", "g.jpeg", "w.png"})
        ASSERT_TRUE(
            bWriteTestJPEG(oFolder.sFile(psz), TestJPEG_YCbCr, 8, 8, std::vector<unsigned char>(192), 90));
    const std::pair<const char*, int> aoWidths[] = {{"a.PNG", 4},  {"b.Png", 4}, {"f.JPG", 8},
                                                    {"g.jpeg", 8}, {"c.gif", 0}, {"d.png.bak", 0},
                                                    {"e", 0},      {"w.jpg", 0}, {"w.png", 0}};
    for (const auto& o : aoWidths)
    {
        std::string sErr;
        tdPicture po(poReadQuietly(oFolder.sFile(o.first), &oSettings, &sErr));
        EXPECT_EQ(po ? po->m_iWidth : 0, o.second) << o.first;
        EXPECT_EQ(bIsReadableExtension(o.first), o.second > 0 || *o.first == 'w') << o.first;
        EXPECT_TRUE(*o.first == 'w' || sErr.empty()) << o.first;
    }
    std::string sErr;
    EXPECT_EQ(tdPicture(poReadQuietly(oFolder.sFile("missing.png"), &oSettings, &sErr)), nullptr);
    EXPECT_EQ(sErr.rfind("File: ", 0), 0u) << sErr;
    EXPECT_NE(sErr.find("\nFunction: poReadImageFromFile\nLine: "), std::string::npos) << sErr;
    EXPECT_EQ(sErr.substr(sErr.find("\nMessage: ")),
              "\nMessage: Unable to open " + oFolder.sFile("missing.png") + ".");
    // clang-format off
    //  type                 custom  ratio
    const std::pair<std::pair<tdAspectRatioType, double>, double> aoRatios[] = {
        {{AspectRatio_Auto,    9.0}, 0.5},
        {{AspectRatio_Custom,  2.5}, 2.5},
        {{AspectRatio_Custom,  0.0}, 1.0},   // not a usable ratio: square pixels
    };
    // clang-format on
    for (const auto& o : aoRatios)
    {
        oSettings.InputAspectRatioType = o.first.first;
        oSettings.CustomInputAspectRatio = o.first.second;
        vSetInputAutoAspectRatio(7.0);
        tdPicture po(poReadQuietly(oFolder.sFile("a.PNG"), &oSettings));
        ASSERT_NE(po, nullptr);
        EXPECT_DOUBLE_EQ(po->m_fAspectRatio, o.second) << o.first.first << " " << o.first.second;
        EXPECT_EQ(g_fInputAutoAspectRatio, 0.5);
    }
}

// Every screen-dump extension: .sr? and .si? go to the SR reader (which also loads
// the .pl? or .pi? palette file), .sc? and .sk? to the SC reader, .si? and .sk?
// with the .sj? or .sl? second page; nothing reads .si2, .si3, .sk2 or .sk3. Each
// file read through the dispatch equals the file read directly by the reader it
// should get; every file holds random video memory, so any other reader, screen or
// page gives other pixels.
TEST(ReadImageTest, ScreenDumpExtensionsChooseReaderScreenAndPages)
{
    tdTempFolder oFolder;
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    tdTestRandom oRandom = {17};
    auto sRandomDump = [&](const std::string& sName, FILE** ppoFile)
    {
        std::vector<unsigned char> auc = {0xFE, 0, 0, 0xFF, 0xFF, 0, 0};
        for (int i = 0; i < 0x10000; i++)
            auc.push_back(static_cast<unsigned char>(oRandom.uiNext(256)));
        EXPECT_TRUE(bWriteFile(oFolder.sFile(sName), auc));
        *ppoFile = fopen(oFolder.sFile(sName).c_str(), "rb");
        return oFolder.sFile(sName);
    };
    const int aiScreens[] = {2, 3, 5, 6, 7, 8, 10, 12};
    for (int i = 0; i < 8; i++)
        for (const std::string sKind : {"sr", "si", "sc", "sk"})
        {
            const std::string c(1, "235678ac"[i]);
            const bool bSR = sKind[1] == 'r' || sKind[1] == 'i', bSecond = sKind[1] == 'i' || sKind[1] == 'k';
            FILE *poMain, *poPage2, *poPalette;
            const std::string sMain = sRandomDump("d." + sKind + c, &poMain);
            sRandomDump(std::string("d.") + (bSR ? "sj" : "sl") + c, &poPage2);
            sRandomDump((bSecond ? "d.pi" : "d.pl") + c, &poPalette);
            tdPicture poRead(poReadQuietly(sMain, &oSettings)), poDirect;
            FILE* poSecond = bSecond ? poPage2 : nullptr;
            if (!bSecond || i >= 2)
                poDirect.reset(
                    bSR ? poReadImageFromSRFile(aiScreens[i], &oSettings, poMain, poPalette, poSecond,
                                                nullptr)
                        : poReadImageFromSCFile(aiScreens[i], &oSettings, poMain, poSecond, nullptr));
            for (FILE* po : {poMain, poPage2, poPalette})
                fclose(po);
            ASSERT_EQ(poRead == nullptr, poDirect == nullptr) << sMain;
            EXPECT_TRUE(!poRead || (poRead->m_iHeight == poDirect->m_iHeight &&
                                    aucTopDownTexels(poRead.get()) == aucTopDownTexels(poDirect.get())))
                << sMain;
        }
}

// The other names are those the writers' tests write and read back.
TEST(WriteImageTest, OutputNamesByConversionTypeAndScreen)
{
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    // clang-format off
    //  chosen name  conversion type       screen               interlaced  main file
    struct { const char* pszName; tdConversionType eType; tdScreenMode eScreen; unsigned char cInterlaced; const char* pszMain; } const aoCases[] = {
        {"pic.PNG",   ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.PNG"},
        {"pic.jpg",   ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.jpg.png"},
        {"PIC.SI5",   ConversionType_SR,   ScreenMode_Screen5,  1,          "PIC.SI5"},
        {"pic",       ConversionType_SR,   ScreenMode_Screen2,  1,          "pic.sr2"},  // no interlace below Screen 5
        {"pic.sc8",   ConversionType_SC,   ScreenMode_Screen8,  0,          "pic.sc8"},
        {"pic",       ConversionType_SC,   ScreenMode_Screen12, 1,          "pic.skc"},
        {"pic",       ConversionType_RAW,  ScreenMode_Screen8,  0,          "(null)"},
    };
    // clang-format on
    for (const auto& o : aoCases)
    {
        oSettings.ConversionType = o.eType;
        oSettings.ScreenMode = o.eScreen;
        oSettings.InterlacedMode = o.cInterlaced;
        EXPECT_EQ(sTake(szGetOutputFileName(o.pszName, &oSettings)), o.pszMain)
            << o.pszName << " " << o.eType;
    }
}

// Upper-case names keep the main name, companions get lower-case extensions; KRU
// saves append a record each, through an output set too; a missing folder or RAW
// without a stream writes nothing.
TEST(WriteImageTest, CompanionNamesKRUAppendsAndNothingWhenItCannot)
{
    tdTempFolder oFolder;
    tdSettings o;
    vGetDefaultSettings(&o);
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Flat, 32, 24, 1.0, 1, 4, 4));
    o.ConversionType = ConversionType_SR;
    o.ScreenMode = ScreenMode_Screen5;
    o.InterlacedMode = 1;
    oWriteImageToFile(poSource.get(), oFolder.sFile("PIC.SI5").c_str(), &o, nullptr, nullptr);
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"PIC.SI5", "PIC.pi5", "PIC.sj5"}));
    o.ConversionType = ConversionType_KRU;
    o.InterlacedMode = 0;
    tdOutputFiles oFiles;
    oWriteImageToFile(poSource.get(), oFolder.sFile("anim").c_str(), &o, &oFiles, nullptr);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    const std::vector<unsigned char> aucOne = aucReadFile(oFolder.sFile("anim.kru"));
    ASSERT_GT(aucOne.size(), 11u);
    // "MSXKRU", then the record size counted from offset 6.
    EXPECT_EQ(sText(oFolder.sFile("anim.kru")).substr(0, 6), "MSXKRU");
    EXPECT_EQ(aucOne[6] | aucOne[7] << 8 | aucOne[8] << 16 | aucOne[9] << 24,
              static_cast<int>(aucOne.size() - 6));
    oWriteImageToFile(poSource.get(), oFolder.sFile("anim").c_str(), &o, &oFiles, nullptr);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    oWriteImageToFile(poSource.get(), oFolder.sFile("anim.kru").c_str(), &o, nullptr, nullptr);
    const std::string sOne(aucOne.begin(), aucOne.end());
    EXPECT_EQ(sText(oFolder.sFile("anim.kru")), sOne + sOne + sOne);
    o.ConversionType = ConversionType_PNG;
    oWriteImageToFile(poSource.get(), oFolder.sFile("no/such/out").c_str(), &o, &oFiles, nullptr);
    oWriteImageToFile(poSource.get(), oFolder.sFile("no/such/out").c_str(), &o, nullptr, nullptr);
    o.ConversionType = ConversionType_RAW;
    oWriteImageToFile(poSource.get(), oFolder.sFile("raw").c_str(), &o, &oFiles, nullptr);
    EXPECT_TRUE(oFiles.aoFiles.empty());
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"PIC.SI5", "PIC.pi5", "PIC.sj5", "anim.kru"}));
}

// Output sets: temporary siblings renamed into place only when all went well. A
// write error in one file of a set, an empty file, or a set never committed
// replaces nothing and leaves no temporary file; success keeps the permissions,
// and "r+b" continues a copy of the existing file (KRU records are appended) or
// fails like fopen when there is none.
TEST(OutputFilesTest, AllFilesOfASetOrNone)
{
    tdTempFolder oFolder;
    const std::string sFirst = oFolder.sFile("pic.si5"), sSecond = oFolder.sFile("pic.sj5");
    ASSERT_TRUE(bWriteFile(sFirst, {'o', 'l', 'd'}));
    ASSERT_TRUE(bWriteFile(sSecond, {'o', 'l', 'd'}));
    ASSERT_EQ(chmod(sFirst.c_str(), 0640), 0);
    std::string sError;
    {
        tdOutputFiles oFiles;
        FILE* poFirst = poOpenForWrite(&oFiles, sFirst.c_str(), "wb");
        FILE* poSecond = poOpenForWrite(&oFiles, sSecond.c_str(), "wb");
        ASSERT_TRUE(poFirst && poSecond);
        fputs("new page 1", poFirst);
        fputs("half of new ", poSecond);
        // Every later write or flush fails: the descriptor now refers to a file open for reading.
        const int iReadOnly = open("/dev/null", O_RDONLY);
        ASSERT_GE(dup2(iReadOnly, fileno(poSecond)), 0);
        close(iReadOnly);
        fputs("page 2", poSecond);
        EXPECT_FALSE(bCommitOutputFiles(&oFiles, &sError));
        EXPECT_EQ(sError, "could not write " + sSecond);
        ASSERT_NE(poOpenPendingFile(&oFiles, sFirst.c_str(), "wb"), nullptr);
        EXPECT_FALSE(bCommitOutputFiles(&oFiles, &sError));
        EXPECT_EQ(sError, "nothing was written to " + sFirst);
        fputs("new", poOpenPendingFile(&oFiles, sFirst.c_str(), "wb"));
        EXPECT_EQ(poOpenPendingFile(&oFiles, oFolder.sFile("none/out.png").c_str(), "wb"), nullptr);
        EXPECT_EQ(poOpenPendingFile(&oFiles, oFolder.sFile("a.kru").c_str(), "r+b"), nullptr);
        EXPECT_EQ(asListFolder(oFolder.m_sPath).size(), 3u);
    }
    EXPECT_EQ(sText(sFirst) + sText(sSecond), "oldold");
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"pic.si5", "pic.sj5"}));
    tdOutputFiles oFiles;
    FILE* poStream = poOpenPendingFile(&oFiles, sFirst.c_str(), "r+b");
    ASSERT_NE(poStream, nullptr);
    ASSERT_EQ(fseek(poStream, 0, SEEK_END), 0);
    fputs(";new", poStream);
    vClosePendingFile(&oFiles, poStream);
    EXPECT_EQ(sText(sFirst), "old");
    EXPECT_TRUE(bCommitOutputFiles(&oFiles, &sError)) << sError;
    EXPECT_EQ(sText(sFirst), "old;new");
    struct stat oStat;
    ASSERT_EQ(stat(sFirst.c_str(), &oStat), 0);
    EXPECT_EQ(oStat.st_mode & 0777, 0640u);
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"pic.si5", "pic.sj5"}));
}
