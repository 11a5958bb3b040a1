// File dispatch and naming. Oracles: the naming rules typed in as tables (string
// helpers, output names, the reader, screen and pages of every screen-dump
// extension, checked against the readers called directly on random video memory);
// vError's exact text; KRU saves that append; output sets that replace files only
// when every byte was written (write errors made real by breaking the stream).

#include "tests/support/retro_files.h"
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
    const tdBytes auc = aucReadFile(sName);
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

// Endings compare without letter case; an extension replaces only the last one, not
// a dot of a folder; a replaced ending keeps upper case letter by letter and stays
// inside the text and the replacement; vError's exact text.
TEST(StringHelpersTest, NameRules)
{
    // clang-format off
    struct { const char* pszText; const char* pszEnding; bool bResult; } const aoEndsWith[] = {
        {"PHOTO.png", ".PnG", true}, {"png", ".png", false}, {"", "", true}, {"a.sc5x", ".sc5", false}};
    struct { const char* pszName; const char* pszExtension; const char* pszResult; } const aoExtension[] = {
        {"pic", "png", "pic.png"}, {"a.b.c", "x", "a.b.x"}, {"a.b/c", "png", "a.b/c.png"}, {"dir/.hidden", "x", "dir/.x"}};
    struct { const char* pszText; int iOffset; const char* pszReplacement; const char* pszResult; } const aoEnding[] = {
        {"PIC.SI5", -2, "j", "PIC.SJ5"}, {"Pic.sI5", -3, "pi", "Pic.pI5"}, {"AB5",    -1, "j", "ABj"},
        {"abc",     -1, "xyz", "abx"},   {"abcdef", -4, "X", "abXdef"},   {"abc",    -3, "xyz", "xyz"},
        {"pic.si5",  0, "j", "pic.si5"}, {"ab",     -3, "x", "ab"}};
    // clang-format on
    for (const auto& o : aoEndsWith)
        EXPECT_EQ(bEndsWith(o.pszText, o.pszEnding), o.bResult) << o.pszText << " / " << o.pszEnding;
    for (const auto& o : aoExtension)
        EXPECT_EQ(sTake(szReplaceExtenstion(o.pszName, o.pszExtension)), o.pszResult) << o.pszName;
    for (const auto& o : aoEnding)
        EXPECT_EQ(sTake(szReplaceEnding(o.pszText, o.iOffset, o.pszReplacement)), o.pszResult) << o.pszText;
    tdCaptured oError = oCaptureOutput([] { vError("f.cpp", "g", -1, "%d%% of %s", 50, "a b"); });
#ifdef NDEBUG
    EXPECT_EQ(oError.m_sErr + oError.m_sOut, "50% of a b\n");
#else
    EXPECT_EQ(oError.m_sErr + oError.m_sOut, "File: f.cpp\nFunction: g\nLine: -1\nMessage: 50% of a b\n");
#endif
}

// PNG and JPEG by extension in any letter case, by the name and not the contents;
// other extensions give null without a message; a missing file is reported. The
// input aspect-ratio setting decides the ratio; the file's own (pHYs: 0.5) is published.
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
        ASSERT_TRUE(bWriteTestJPEG(oFolder.sFile(psz), TestJPEG_YCbCr, 8, 8, tdBytes(192), 90));
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
    EXPECT_NE(sErr.find("Unable to open " + oFolder.sFile("missing.png") + "."), std::string::npos);
    // Type, custom ratio, ratio; a custom ratio of 0 is not usable: square pixels.
    const double aafRatios[3][3] = {
        {AspectRatio_Auto, 9.0, 0.5}, {AspectRatio_Custom, 2.5, 2.5}, {AspectRatio_Custom, 0.0, 1.0}};
    for (const auto& af : aafRatios)
    {
        oSettings.InputAspectRatioType = static_cast<tdAspectRatioType>(af[0]);
        oSettings.CustomInputAspectRatio = af[1];
        vSetInputAutoAspectRatio(7.0);
        tdPicture po(poReadQuietly(oFolder.sFile("a.PNG"), &oSettings));
        EXPECT_EQ(po ? po->m_fAspectRatio : -1.0, af[2]) << af[1];
        EXPECT_EQ(g_fInputAutoAspectRatio, 0.5);
    }
}

// .sr? and .si? go to the SR reader (with the .pl? or .pi? palette file), .sc? and
// .sk? to the SC reader, .si? and .sk? with the .sj? or .sl? second page; nothing
// reads .si2, .si3, .sk2, .sk3. Every file holds random video memory, so the
// dispatch equals the right reader called directly only with the right screen and pages.
TEST(ReadImageTest, ScreenDumpExtensionsChooseReaderScreenAndPages)
{
    tdTempFolder oFolder;
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    uint32_t uiSeed = 17;
    auto poRandomDump = [&](const std::string& sName)
    {
        EXPECT_TRUE(bWriteFile(oFolder.sFile(sName), aucBSAVE(aucRandom(0x10000, uiSeed++), 0xFFFF)));
        return fopen(oFolder.sFile(sName).c_str(), "rb");
    };
    const int aiScreens[] = {2, 3, 5, 6, 7, 8, 10, 12};
    for (int i = 0; i < 8; i++)
        for (const std::string sKind : {"sr", "si", "sc", "sk"})
        {
            const std::string c(1, "235678ac"[i]), sMain = "d." + sKind + c;
            const bool bSR = sKind[1] == 'r' || sKind[1] == 'i', bSecond = sKind[1] == 'i' || sKind[1] == 'k';
            FILE* poMain = poRandomDump(sMain);
            FILE* poPage2 = poRandomDump(std::string("d.") + (bSR ? "sj" : "sl") + c);
            FILE* poPalette = poRandomDump((bSecond ? "d.pi" : "d.pl") + c);
            FILE* poSecond = bSecond ? poPage2 : nullptr;
            tdPicture poRead(poReadQuietly(oFolder.sFile(sMain), &oSettings)), poDirect;
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

// Output names by type and screen (the rest as the writers' tests write them);
// companions take the case of the main extension and read back, as do the sets
// written earlier with lower-case companions beside an upper-case name; KRU
// saves append a record each, in an output set too; a missing folder or RAW without
// a stream writes nothing.
TEST(WriteImageTest, NamesKRUAppendsAndNothingWhenItCannot)
{
    tdTempFolder oFolder;
    tdSettings o;
    vGetDefaultSettings(&o);
    // clang-format off
    struct { const char* pszName; tdConversionType eType; tdScreenMode eScreen; unsigned char cInterlaced; const char* pszMain; } const aoNames[] = {
        {"pic.jpg", ConversionType_PNG, ScreenMode_Screen8,  0, "pic.jpg.png"},
        {"pic",     ConversionType_SR,  ScreenMode_Screen2,  1, "pic.sr2"},  // no interlace below Screen 5
        {"pic",     ConversionType_SC,  ScreenMode_Screen12, 1, "pic.skc"}, {"pic", ConversionType_RAW, ScreenMode_Screen8, 0, "(null)"}};
    // clang-format on
    for (const auto& oRow : aoNames)
    {
        o.ConversionType = oRow.eType;
        o.ScreenMode = oRow.eScreen;
        o.InterlacedMode = oRow.cInterlaced;
        EXPECT_EQ(sTake(szGetOutputFileName(oRow.pszName, &o)), oRow.pszMain) << oRow.pszName;
    }
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Flat, 32, 24, 1.0, 1, 4, 4));
    auto vWrite = [&](tdConversionType eType, const char* pszName, tdOutputFiles* poFiles)
    {
        o.ConversionType = eType;
        oWriteImageToFile(poSource.get(), oFolder.sFile(pszName).c_str(), &o, poFiles, nullptr);
    };
    o.ScreenMode = ScreenMode_Screen5;
    o.InterlacedMode = 1;
    vWrite(ConversionType_SR, "PIC.SI5", nullptr);
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"PIC.PI5", "PIC.SI5", "PIC.SJ5"}));
    std::unique_ptr<Image> poUpper(poReadImageFromFile(oFolder.sFile("PIC.SI5").c_str(), &o));
    ASSERT_EQ(rename(oFolder.sFile("PIC.PI5").c_str(), oFolder.sFile("PIC.pi5").c_str()) +
                  rename(oFolder.sFile("PIC.SJ5").c_str(), oFolder.sFile("PIC.sj5").c_str()),
              0);
    std::unique_ptr<Image> poLower(poReadImageFromFile(oFolder.sFile("PIC.SI5").c_str(), &o));
    ASSERT_TRUE(poUpper && poLower && poUpper->m_iHeight == 424 && poLower->m_iHeight == 424);
    EXPECT_EQ(aucTopDownTexels(poUpper.get()), aucTopDownTexels(poLower.get()));
    o.InterlacedMode = 0;
    tdOutputFiles oFiles;
    vWrite(ConversionType_KRU, "anim", &oFiles);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    const std::string sOne = sText(oFolder.sFile("anim.kru"));
    ASSERT_EQ(sOne.substr(0, 6), "MSXKRU");
    vWrite(ConversionType_KRU, "anim", &oFiles);
    ASSERT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    vWrite(ConversionType_KRU, "anim.kru", nullptr);
    EXPECT_EQ(sText(oFolder.sFile("anim.kru")), sOne + sOne + sOne);
    vWrite(ConversionType_PNG, "no/such/out", &oFiles);
    vWrite(ConversionType_PNG, "no/such/out", nullptr);
    vWrite(ConversionType_RAW, "raw", &oFiles);
    EXPECT_TRUE(oFiles.aoFiles.empty());
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"PIC.SI5", "PIC.pi5", "PIC.sj5", "anim.kru"}));
}

// Output sets rename temporary siblings into place only when all went well: a write
// error in one file, an empty file, or no commit replaces nothing and leaves no
// temporary file; success keeps the permissions; "r+b" continues a copy of the
// existing file or fails like fopen when there is none.
TEST(OutputFilesTest, AllFilesOfASetOrNone)
{
    tdTempFolder oFolder;
    const std::string sFirst = oFolder.sFile("pic.si5"), sSecond = oFolder.sFile("pic.sj5");
    ASSERT_TRUE(bWriteFile(sFirst, {'o', 'l', 'd'}) && bWriteFile(sSecond, {'o', 'l', 'd'}));
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
    struct stat oStat;
    ASSERT_EQ(stat(sFirst.c_str(), &oStat), 0);
    EXPECT_EQ(sText(sFirst) + std::to_string(oStat.st_mode & 0777), "old;new416"); // 0640
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"pic.si5", "pic.sj5"}));
    // A later file that cannot go into place (its name is a folder) takes back the
    // files already renamed: the old one restored, the new one removed.
    ASSERT_EQ(mkdir(oFolder.sFile("pic.pi5").c_str(), 0755), 0);
    for (const char* pszName : {"pic.si5", "new.sj5", "pic.pi5"})
        fputs("new", poOpenPendingFile(&oFiles, oFolder.sFile(pszName).c_str(), "wb"));
    EXPECT_FALSE(bCommitOutputFiles(&oFiles, &sError));
    EXPECT_EQ(sError, "could not rename into place " + oFolder.sFile("pic.pi5") + ": Is a directory");
    EXPECT_EQ(sText(sFirst), "old;new");
    EXPECT_EQ(asListFolder(oFolder.m_sPath), (tdNames{"pic.pi5", "pic.si5", "pic.sj5"}));
}
