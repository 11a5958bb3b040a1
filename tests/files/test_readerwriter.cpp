// File dispatch and naming: the string helpers, vError's format, reading by
// extension with the input aspect ratio, the output names, and the output sets
// that replace files only when every byte was written.

#include "tests/support/testutil.h"

#include "qev/base/image.h"
#include "qev/base/report.h"
#include "qev/base/settings.h"
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
// Takes a malloc'ed text (or null, given as "(null)"), returns it as a string and frees it.
std::string sTake(char* psz)
{
    std::string s = psz ? psz : "(null)";
    free(psz);
    return s;
}

struct tdEndsWithCase
{
    const char* pszText;
    const char* pszEnding;
    bool bExpected;
};

// clang-format off
//  text          ending     result
const tdEndsWithCase g_aoEndsWithCases[] = {
    {"photo.png",  ".png",   true},
    {"photo.PNG",  ".png",   true},   // letter case is ignored on both sides
    {"PHOTO.png",  ".PnG",   true},
    {"photo.jpeg", ".jpg",   false},
    {"png",        ".png",   false},  // an ending longer than the text never matches
    {"",           ".png",   false},
    {"photo.png",  "",       true},
    {"",           "",       true},
    {"a.sc5",      ".sc5",   true},
    {"a.sc5x",     ".sc5",   false},
};
// clang-format on

TEST(StringHelpersTest, EndsWith)
{
    for (const tdEndsWithCase& o : g_aoEndsWithCases)
        EXPECT_EQ(bEndsWith(o.pszText, o.pszEnding), o.bExpected) << o.pszText << " / " << o.pszEnding;
}

TEST(StringHelpersTest, Concat)
{
    EXPECT_EQ(sTake(szConcat("pic", ".sc5")), "pic.sc5");
    EXPECT_EQ(sTake(szConcat("", "")), "");
    EXPECT_EQ(sTake(szConcat("", "x")), "x");
}

struct tdReplaceCase
{
    const char* pszName;
    const char* pszExtension;
    const char* pszExpected;
};

// clang-format off
//  name            new extension  result
const tdReplaceCase g_aoReplaceExtensionCases[] = {
    {"pic.sc5",       "pl5",       "pic.pl5"},
    {"pic",           "png",       "pic.png"},
    {"a.b.c",         "x",         "a.b.x"},     // only the last extension goes
    {"a.b/c",         "png",       "a.b/c.png"}, // a dot in a folder name is kept
    {"./pic",         "png",       "./pic.png"},
    {"dir/.hidden",   "x",         "dir/.x"},
    {"PIC.SI5",       "pi5",       "PIC.pi5"},
};
// clang-format on

TEST(StringHelpersTest, ReplaceExtension)
{
    for (const tdReplaceCase& o : g_aoReplaceExtensionCases)
        EXPECT_EQ(sTake(szReplaceExtenstion(o.pszName, o.pszExtension)), o.pszExpected) << o.pszName;
}

struct tdReplaceEndingCase
{
    const char* pszText;
    int iOffset;
    const char* pszReplacement;
    const char* pszExpected;
};

// clang-format off
//  text        offset replacement result
const tdReplaceEndingCase g_aoReplaceEndingCases[] = {
    {"pic.si5",   -2,  "j",        "pic.sj5"},
    {"PIC.SI5",   -2,  "j",        "PIC.SJ5"},  // lands on an upper-case letter: upper case
    {"pic.sk5",   -2,  "l",        "pic.sl5"},
    {"pic.sr5",   -3,  "pl",       "pic.pl5"},
    {"PIC.SR5",   -3,  "pl",       "PIC.PL5"},
    {"PIC.SI5",   -3,  "pi",       "PIC.PI5"},
    {"Pic.sI5",   -3,  "pi",       "Pic.pI5"},  // decided letter by letter
    {"AB5",       -1,  "j",        "ABj"},      // a digit is not upper case
    {"abc",       -1,  "J",        "abJ"},
    {"abc",       -1,  "xyz",      "abx"},      // stops at the end of the text
    {"abcdef",    -4,  "X",        "abXdef"},   // stops at the end of the replacement
    {"abc",       -3,  "xyz",      "xyz"},      // from the first character
    {"pic.si5",    0,  "j",        "pic.si5"},  // offset 0: unchanged copy
    {"ab",        -3,  "x",        "ab"},       // reaching before the start: unchanged copy
    {"ab",      -100,  "x",        "ab"},
    {"",          -1,  "x",        ""},
};
// clang-format on

TEST(StringHelpersTest, ReplaceEnding)
{
    for (const tdReplaceEndingCase& o : g_aoReplaceEndingCases)
        EXPECT_EQ(sTake(szReplaceEnding(o.pszText, o.iOffset, o.pszReplacement)), o.pszExpected)
            << o.pszText << " " << o.iOffset << " " << o.pszReplacement;
}

TEST(StringHelpersTest, ScreenCharacters)
{
    const char* const apszExpected[] = {"2", "3", "5", "6", "7", "8", "a", "c"};
    for (int i = 0; i < ScreenMode_Count; i++)
    {
        ASSERT_NE(szGetScreenCharFromMode(i), nullptr) << i;
        EXPECT_STREQ(szGetScreenCharFromMode(i), apszExpected[i]) << i;
    }
    EXPECT_EQ(szGetScreenCharFromMode(-1), nullptr);
    EXPECT_EQ(szGetScreenCharFromMode(ScreenMode_Count), nullptr);
    EXPECT_EQ(szGetScreenCharFromMode(1000), nullptr);
}

TEST(ErrorReportTest, ExactFormatOnStandardErrorWithoutLineFeed)
{
    tdCaptured oCaptured = oCaptureOutput(
        [&]
        {
            vError("qev/format_sc.cpp", "poReadImageFromSCFile", 42, "Unable to open %s.", "a b.sc5");
            vError("f", "g", -1, "%d%% done", 50);
        });
    EXPECT_EQ(oCaptured.m_sErr, "File: qev/format_sc.cpp\nFunction: poReadImageFromSCFile\nLine: 42\n"
                                "Message: Unable to open a b.sc5."
                                "File: f\nFunction: g\nLine: -1\nMessage: 50% done");
    EXPECT_EQ(oCaptured.m_sOut, "");
}

// Reading by extension.
class ReadImageTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
    tdSettings m_oSettings;

    void SetUp() override { vGetDefaultSettings(&m_oSettings); }

    // A 4 x 3 RGB PNG, optionally with a pHYs chunk.
    std::string sMakePNG(const std::string& sName, uint32_t uiXPerUnit = 0, uint32_t uiYPerUnit = 0,
                         bool bPhys = false)
    {
        tdTestPNG oPNG;
        oPNG.m_iWidth = 4;
        oPNG.m_iHeight = 3;
        for (int i = 0; i < 4 * 3 * 3; i++)
            oPNG.m_auiSamples.push_back(static_cast<uint16_t>(i * 7));
        oPNG.m_bPhys = bPhys;
        oPNG.m_uiXPerUnit = uiXPerUnit;
        oPNG.m_uiYPerUnit = uiYPerUnit;
        std::string sPath = m_oFolder.sFile(sName);
        EXPECT_TRUE(bWriteTestPNG(sPath, oPNG));
        return sPath;
    }

    std::string sMakeJPEG(const std::string& sName)
    {
        std::string sPath = m_oFolder.sFile(sName);
        EXPECT_TRUE(
            bWriteTestJPEG(sPath, TestJPEG_YCbCr, 8, 8, std::vector<unsigned char>(8 * 8 * 3, 90), 90));
        return sPath;
    }

    Image* poRead(const std::string& sPath, tdCaptured* poCaptured = nullptr)
    {
        Image* poImage = nullptr;
        tdCaptured oCaptured =
            oCaptureOutput([&] { poImage = poReadImageFromFile(sPath.c_str(), &m_oSettings); });
        if (poCaptured) *poCaptured = oCaptured;
        return poImage;
    }
};

TEST_F(ReadImageTest, ExtensionIsMatchedWithoutRegardToCase)
{
    for (const char* pszName : {"photo.PNG", "photo.Png", "photo.png"})
    {
        std::unique_ptr<Image> poImage(poRead(sMakePNG(pszName)));
        ASSERT_NE(poImage, nullptr) << pszName;
        EXPECT_EQ(poImage->m_iWidth, 4);
        EXPECT_EQ(poImage->m_iTexelSize, 3);
    }
    for (const char* pszName : {"photo.JPG", "photo.jpeg", "photo.JPEG"})
    {
        std::unique_ptr<Image> poImage(poRead(sMakeJPEG(pszName)));
        ASSERT_NE(poImage, nullptr) << pszName;
        EXPECT_EQ(poImage->m_iWidth, 8);
    }
}

TEST_F(ReadImageTest, UnknownExtensionGivesNullWithoutMessage)
{
    for (const char* pszName : {"photo.gif", "photo.png.bak", "photo", "photo.pn"})
    {
        std::string sPath = sMakePNG(pszName);
        tdCaptured oCaptured;
        std::unique_ptr<Image> poImage(poRead(sPath, &oCaptured));
        EXPECT_EQ(poImage, nullptr) << pszName;
        EXPECT_EQ(oCaptured.m_sErr, "") << pszName;
        EXPECT_FALSE(bIsReadableExtension(sPath.c_str())) << pszName;
    }
    EXPECT_TRUE(bIsReadableExtension("a.JPEG"));
}

// The reader is chosen by the name, not by the contents.
TEST_F(ReadImageTest, ContentsOfAnotherTypeGiveNull)
{
    std::string sPNG = sMakePNG("a.png");
    std::string sJPEG = sMakeJPEG("a.jpg");
    ASSERT_EQ(rename(sPNG.c_str(), m_oFolder.sFile("png_inside.jpg").c_str()), 0);
    ASSERT_EQ(rename(sJPEG.c_str(), m_oFolder.sFile("jpeg_inside.png").c_str()), 0);
    std::unique_ptr<Image> poFirst(poRead(m_oFolder.sFile("png_inside.jpg")));
    std::unique_ptr<Image> poSecond(poRead(m_oFolder.sFile("jpeg_inside.png")));
    EXPECT_EQ(poFirst, nullptr);
    EXPECT_EQ(poSecond, nullptr);
}

TEST_F(ReadImageTest, MissingFileReportsUnableToOpen)
{
    std::string sPath = m_oFolder.sFile("missing.png");
    tdCaptured oCaptured;
    std::unique_ptr<Image> poImage(poRead(sPath, &oCaptured));
    EXPECT_EQ(poImage, nullptr);
    EXPECT_EQ(oCaptured.m_sErr.rfind("File: ", 0), 0u) << oCaptured.m_sErr;
    EXPECT_NE(oCaptured.m_sErr.find("\nFunction: poReadImageFromFile\nLine: "), std::string::npos);
    const std::string sMessage = "\nMessage: Unable to open " + sPath + ".";
    ASSERT_GE(oCaptured.m_sErr.size(), sMessage.size());
    EXPECT_EQ(oCaptured.m_sErr.substr(oCaptured.m_sErr.size() - sMessage.size()), sMessage);
}

struct tdInputRatioCase
{
    tdAspectRatioType eType;
    double fCustom;
    unsigned char cRealMSX;
    double fExpected;
};

// clang-format off
// The file says 0.5 (pHYs 2000 x 1000 pixels per unit); the settings decide.
//  type                 custom  real MSX  ratio
const tdInputRatioCase g_aoInputRatioCases[] = {
    {AspectRatio_Auto,    9.0,   0,        0.5},
    {AspectRatio_Custom,  2.5,   0,        2.5},
    {AspectRatio_60Hz,    9.0,   0,        53.0 / 48.0},
    {AspectRatio_50Hz,    9.0,   0,        1.325},
    {AspectRatio_50Hz,    9.0,   1,        1.3656},
    {AspectRatio_1to1,    9.0,   0,        1.0},
    {AspectRatio_60HzIL,  9.0,   0,        53.0 / 24.0},
    {AspectRatio_50HzHR,  9.0,   0,        53.0 / 80.0},
    {AspectRatio_Custom,  0.0,   0,        1.0},   // not a usable ratio: square pixels
};
// clang-format on

TEST_F(ReadImageTest, InputAspectRatioSettingApplies)
{
    std::string sPath = sMakePNG("wide.png", 2000, 1000, true);
    for (const tdInputRatioCase& o : g_aoInputRatioCases)
    {
        m_oSettings.InputAspectRatioType = o.eType;
        m_oSettings.CustomInputAspectRatio = o.fCustom;
        m_oSettings.RealMSXAspectRatio = o.cRealMSX;
        vSetInputAutoAspectRatio(7.0);
        std::unique_ptr<Image> poImage(poRead(sPath));
        ASSERT_NE(poImage, nullptr);
        EXPECT_DOUBLE_EQ(poImage->m_fAspectRatio, o.fExpected) << o.eType << " " << o.fCustom;
        // The file's own ratio is published whatever the setting.
        EXPECT_EQ(g_fInputAutoAspectRatio, 0.5) << o.eType;
    }
}

TEST_F(ReadImageTest, PhysWithZeroFieldGivesFinitePositiveRatio)
{
    const uint32_t auiFields[][2] = {{0, 1000}, {1000, 0}, {0, 0}};
    for (const auto& auiField : auiFields)
    {
        std::string sPath = sMakePNG("zero.png", auiField[0], auiField[1], true);
        std::unique_ptr<Image> poImage(poRead(sPath));
        ASSERT_NE(poImage, nullptr);
        EXPECT_EQ(poImage->m_fAspectRatio, 1.0) << auiField[0] << " x " << auiField[1];
        EXPECT_EQ(g_fInputAutoAspectRatio, 1.0);
    }
}

struct tdOutputNameCase
{
    const char* pszName;
    tdConversionType eType;
    tdScreenMode eScreen;
    unsigned char cInterlaced;
    const char* pszExpected; // null: no named file
};

// clang-format off
//  chosen name  conversion type        screen               interlaced  main file
const tdOutputNameCase g_aoOutputNameCases[] = {
    {"pic",       ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.png"},
    {"pic.png",   ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.png"},
    {"pic.PNG",   ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.PNG"},
    {"pic.jpg",   ConversionType_PNG,  ScreenMode_Screen8,  0,          "pic.jpg.png"},
    {"pic",       ConversionType_QEV,  ScreenMode_Screen5,  0,          "pic.qev"},
    {"pic",       ConversionType_SR,   ScreenMode_Screen5,  0,          "pic.sr5"},
    {"pic",       ConversionType_SR,   ScreenMode_Screen5,  1,          "pic.si5"},
    {"PIC.SI5",   ConversionType_SR,   ScreenMode_Screen5,  1,          "PIC.SI5"},
    {"pic",       ConversionType_SR,   ScreenMode_Screen2,  1,          "pic.sr2"},  // no interlace below Screen 5
    {"pic",       ConversionType_SC,   ScreenMode_Screen8,  0,          "pic.sc8"},
    {"pic.sc8",   ConversionType_SC,   ScreenMode_Screen8,  0,          "pic.sc8"},
    {"pic",       ConversionType_SC,   ScreenMode_Screen12, 1,          "pic.skc"},
    {"pic",       ConversionType_SC,   ScreenMode_Screen10, 0,          "pic.sca"},
    {"pic",       ConversionType_SPR,  ScreenMode_Screen8,  0,          "pic.spr"},
    {"pic",       ConversionType_RAW,  ScreenMode_Screen8,  0,          nullptr},
    {"pic",       ConversionType_KRU,  ScreenMode_Screen8,  0,          "pic.kru"},
    {"pic",       ConversionType_RES,  ScreenMode_Screen8,  0,          "pic.res"},
};
// clang-format on

TEST(OutputNameTest, ExtensionOfConversionTypeAndScreen)
{
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (const tdOutputNameCase& o : g_aoOutputNameCases)
    {
        oSettings.ConversionType = o.eType;
        oSettings.ScreenMode = o.eScreen;
        oSettings.InterlacedMode = o.cInterlaced;
        EXPECT_EQ(sTake(szGetOutputFileName(o.pszName, &oSettings)), o.pszExpected ? o.pszExpected : "(null)")
            << o.pszName << " " << o.eType;
    }
}

class WriteImageTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;
    tdSettings m_oSettings;
    std::unique_ptr<Image> m_poImage;

    void SetUp() override
    {
        vGetDefaultSettings(&m_oSettings);
        m_poImage.reset(new Image(20, 10, 3, Background_Checkerboard, 1.0));
    }
};

TEST_F(WriteImageTest, PNGWithoutContextWritesTheFileDirectly)
{
    std::string sBase = m_oFolder.sFile("out");
    oWriteImageToFile(m_poImage.get(), sBase.c_str(), &m_oSettings, nullptr, nullptr);
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
    tdDecodedPNG oPNG;
    ASSERT_TRUE(bReadTestPNG(sBase + ".png", &oPNG));
    EXPECT_EQ(oPNG.m_iWidth, 20);
    EXPECT_EQ(oPNG.m_iHeight, 10);
    EXPECT_TRUE(oPNG.m_aucRGB == aucTopDownTexels(m_poImage.get()));
}

TEST_F(WriteImageTest, WithOutputSetTheFileAppearsOnlyOnCommit)
{
    std::string sBase = m_oFolder.sFile("out");
    tdOutputFiles oFiles;
    oWriteImageToFile(m_poImage.get(), sBase.c_str(), &m_oSettings, &oFiles, nullptr);
    ASSERT_EQ(oFiles.aoFiles.size(), 1u);
    EXPECT_FALSE(bFileExists(sBase + ".png"));
    std::string sError;
    EXPECT_TRUE(bCommitOutputFiles(&oFiles, &sError)) << sError;
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
}

TEST_F(WriteImageTest, UnsupportedTypeOrMissingFolderWritesNothing)
{
    tdOutputFiles oFiles;
    m_oSettings.ConversionType = ConversionType_QEV;
    if (!bIsSupportedConversionType(ConversionType_QEV))
    {
        tdErrorTriple oError = oWriteImageToFile(m_poImage.get(), m_oFolder.sFile("out").c_str(),
                                                 &m_oSettings, &oFiles, nullptr);
        EXPECT_EQ(oError.fRed + oError.fGreen + oError.fBlue, 0.0);
        EXPECT_TRUE(oFiles.aoFiles.empty());
    }
    m_oSettings.ConversionType = ConversionType_PNG;
    std::string sMissing = m_oFolder.sFile("no/such/folder/out");
    oWriteImageToFile(m_poImage.get(), sMissing.c_str(), &m_oSettings, &oFiles, nullptr);
    EXPECT_TRUE(oFiles.aoFiles.empty());
    oWriteImageToFile(m_poImage.get(), sMissing.c_str(), &m_oSettings, nullptr, nullptr);
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>());
}

// Output sets: temporary siblings renamed into place only when all went well.
class OutputFilesTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    std::string sText(const std::string& sName)
    {
        std::vector<unsigned char> auc = aucReadFile(m_oFolder.sFile(sName));
        return std::string(auc.begin(), auc.end());
    }

    void vPut(const std::string& sName, const std::string& s)
    {
        ASSERT_TRUE(bWriteFile(m_oFolder.sFile(sName), std::vector<unsigned char>(s.begin(), s.end())));
    }

    // Makes every later write or flush of the stream fail: its descriptor now
    // refers to a file opened for reading only.
    static void vBreakStream(FILE* poStream)
    {
        int iReadOnly = open("/dev/null", O_RDONLY);
        ASSERT_GE(iReadOnly, 0);
        ASSERT_GE(dup2(iReadOnly, fileno(poStream)), 0);
        close(iReadOnly);
    }
};

TEST_F(OutputFilesTest, SuccessReplacesExistingFileAtomically)
{
    vPut("out.png", "old contents");
    ASSERT_EQ(chmod(m_oFolder.sFile("out.png").c_str(), 0640), 0);
    // A reader that has the old file open keeps seeing it whole.
    int iOld = open(m_oFolder.sFile("out.png").c_str(), O_RDONLY);
    ASSERT_GE(iOld, 0);

    tdOutputFiles oFiles;
    FILE* poStream = poOpenForWrite(&oFiles, m_oFolder.sFile("out.png").c_str(), "wb");
    ASSERT_NE(poStream, nullptr);
    fputs("new", poStream);
    EXPECT_EQ(sText("out.png"), "old contents");
    vCloseForWrite(&oFiles, poStream);
    EXPECT_EQ(sText("out.png"), "old contents");
    std::string sError;
    EXPECT_TRUE(bCommitOutputFiles(&oFiles, &sError)) << sError;

    EXPECT_EQ(sText("out.png"), "new");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
    EXPECT_TRUE(oFiles.aoFiles.empty());
    struct stat oStat;
    ASSERT_EQ(stat(m_oFolder.sFile("out.png").c_str(), &oStat), 0);
    EXPECT_EQ(oStat.st_mode & 0777, 0640u);
    char acOld[32] = {};
    EXPECT_EQ(read(iOld, acOld, sizeof(acOld) - 1), 12);
    EXPECT_STREQ(acOld, "old contents");
    close(iOld);
}

TEST_F(OutputFilesTest, FailedWriteLeavesGoodFileAndNoPartialFile)
{
    vPut("out.png", "good");
    tdOutputFiles oFiles;
    FILE* poStream = poOpenPendingFile(&oFiles, m_oFolder.sFile("out.png").c_str(), "wb");
    ASSERT_NE(poStream, nullptr);
    fputs("half of a new ", poStream);
    vBreakStream(poStream);
    fputs("picture", poStream);
    std::string sError;
    EXPECT_FALSE(bCommitOutputFiles(&oFiles, &sError));
    EXPECT_NE(sError.find("could not write"), std::string::npos) << sError;
    EXPECT_NE(sError.find("out.png"), std::string::npos) << sError;
    EXPECT_EQ(sText("out.png"), "good");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
}

TEST_F(OutputFilesTest, FailedWriteOfNewFileLeavesNothing)
{
    tdOutputFiles oFiles;
    FILE* poStream = poOpenPendingFile(&oFiles, m_oFolder.sFile("new.sc5").c_str(), "wb");
    ASSERT_NE(poStream, nullptr);
    vBreakStream(poStream);
    fputs("bytes", poStream);
    vClosePendingFile(&oFiles, poStream);
    EXPECT_FALSE(bCommitOutputFiles(&oFiles, nullptr));
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>());
}

TEST_F(OutputFilesTest, OneFailedFileOfASetReplacesNone)
{
    vPut("pic.si5", "good page 1");
    vPut("pic.sj5", "good page 2");
    tdOutputFiles oFiles;
    FILE* poFirst = poOpenPendingFile(&oFiles, m_oFolder.sFile("pic.si5").c_str(), "wb");
    FILE* poSecond = poOpenPendingFile(&oFiles, m_oFolder.sFile("pic.sj5").c_str(), "wb");
    ASSERT_NE(poFirst, nullptr);
    ASSERT_NE(poSecond, nullptr);
    fputs("new page 1", poFirst);
    vBreakStream(poSecond);
    fputs("new page 2", poSecond);
    EXPECT_FALSE(bCommitOutputFiles(&oFiles, nullptr));
    EXPECT_EQ(sText("pic.si5"), "good page 1");
    EXPECT_EQ(sText("pic.sj5"), "good page 2");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (std::vector<std::string>{"pic.si5", "pic.sj5"}));
}

TEST_F(OutputFilesTest, EmptyOutputIsRefused)
{
    vPut("out.png", "good");
    tdOutputFiles oFiles;
    ASSERT_NE(poOpenPendingFile(&oFiles, m_oFolder.sFile("out.png").c_str(), "wb"), nullptr);
    std::string sError;
    EXPECT_FALSE(bCommitOutputFiles(&oFiles, &sError));
    EXPECT_NE(sError.find("nothing was written"), std::string::npos) << sError;
    EXPECT_EQ(sText("out.png"), "good");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
}

TEST_F(OutputFilesTest, MissingFolderCannotBeOpened)
{
    tdOutputFiles oFiles;
    EXPECT_EQ(poOpenPendingFile(&oFiles, m_oFolder.sFile("none/out.png").c_str(), "wb"), nullptr);
    EXPECT_EQ(poOpenForWrite(nullptr, m_oFolder.sFile("none/out.png").c_str(), "wb"), nullptr);
    EXPECT_TRUE(oFiles.aoFiles.empty());
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>());
}

// Mode "r+b" continues an existing file (KRU records are appended).
TEST_F(OutputFilesTest, UpdateModeStartsFromTheExistingFile)
{
    tdOutputFiles oFiles;
    EXPECT_EQ(poOpenPendingFile(&oFiles, m_oFolder.sFile("a.kru").c_str(), "r+b"), nullptr);
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>());

    vPut("a.kru", "first;");
    FILE* poStream = poOpenPendingFile(&oFiles, m_oFolder.sFile("a.kru").c_str(), "r+b");
    ASSERT_NE(poStream, nullptr);
    ASSERT_EQ(fseek(poStream, 0, SEEK_END), 0);
    fputs("second;", poStream);
    EXPECT_EQ(sText("a.kru"), "first;");
    EXPECT_TRUE(bCommitOutputFiles(&oFiles, nullptr));
    EXPECT_EQ(sText("a.kru"), "first;second;");
}

TEST_F(OutputFilesTest, UncommittedSetLeavesNoTrace)
{
    vPut("out.png", "good");
    {
        tdOutputFiles oFiles;
        FILE* poStream = poOpenPendingFile(&oFiles, m_oFolder.sFile("out.png").c_str(), "wb");
        ASSERT_NE(poStream, nullptr);
        fputs("new", poStream);
        EXPECT_EQ(asListFolder(m_oFolder.m_sPath).size(), 2u);
    }
    EXPECT_EQ(sText("out.png"), "good");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"out.png"});
}
} // namespace
