// The built qev tool, run as a separate process in a private folder: output sizes
// and fit geometry read back with libpng, exit codes and messages, naming of the
// output, help and version.

#include "tests/support/testutil.h"

#include "qev/base/settings_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <png.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// A w x h RGB PNG of one colour.
bool bWriteFlatPNG(const std::string& sName, int iWidth, int iHeight, const Color& oColor)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = iWidth;
    oPNG.m_iHeight = iHeight;
    for (int i = 0; i < iWidth * iHeight; i++)
        oPNG.m_auiSamples.insert(oPNG.m_auiSamples.end(), {oColor.r, oColor.g, oColor.b});
    return bWriteTestPNG(sName, oPNG);
}

// The smallest rectangle holding every pixel that is not pure black.
tdRectangle oNonBlackBox(const tdDecodedPNG& oPNG)
{
    int iLeft = oPNG.m_iWidth, iTop = oPNG.m_iHeight, iRight = -1, iBottom = -1;
    for (int y = 0; y < oPNG.m_iHeight; y++)
    {
        for (int x = 0; x < oPNG.m_iWidth; x++)
        {
            const unsigned char* puc = &oPNG.m_aucRGB[(static_cast<size_t>(y) * oPNG.m_iWidth + x) * 3];
            if (puc[0] == 0 && puc[1] == 0 && puc[2] == 0) continue;
            iLeft = std::min(iLeft, x);
            iTop = std::min(iTop, y);
            iRight = std::max(iRight, x);
            iBottom = std::max(iBottom, y);
        }
    }
    return {iLeft, iTop, iRight - iLeft + 1, iBottom - iTop + 1};
}

class CLITest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    void SetUp() override
    {
        ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("src.png"), 64, 48, {90, 120, 150, 255}));
    }

    // Runs qev on src.png into out.png with the options; checks exit code 0 and the
    // result line, and returns the output file's contents.
    tdDecodedPNG oConvert(const std::vector<std::string>& asOptions)
    {
        std::vector<std::string> asArguments = {"src.png"};
        asArguments.insert(asArguments.end(), asOptions.begin(), asOptions.end());
        asArguments.push_back("-ofout");
        tdRunResult oRun = oRunQEV(m_oFolder, asArguments);
        EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut, "out.png R=0.000 G=0.000 B=0.000\n");
        tdDecodedPNG oPNG;
        EXPECT_TRUE(bReadTestPNG(m_oFolder.sFile("out.png"), &oPNG));
        unlink(m_oFolder.sFile("out.png").c_str());
        return oPNG;
    }

    std::vector<unsigned char> aucSource() { return aucReadFile(m_oFolder.sFile("src.png")); }
};

struct tdSizeCase
{
    const char* pszWhat;
    std::vector<std::string> asOptions;
    int iWidth;
    int iHeight;
};

// The source is 64 x 48.
const tdSizeCase g_aoSizeCases[] = {
    {"default_original", {}, 64, 48},
    {"custom", {"-ost0", "-ow100", "-oh50"}, 100, 50},
    {"custom_defaults", {"-ost0"}, 256, 212},
    {"custom_extreme", {"-ost0", "-ow1", "-oh8192"}, 1, 8192},
    {"original", {"-ost1"}, 64, 48},
    {"256x192", {"-ost2"}, 256, 192},
    {"256x212", {"-ost3"}, 256, 212},
    {"512x424", {"-ost4"}, 512, 424},
    {"640x480", {"-ost5"}, 640, 480},
    {"800x600", {"-ost6"}, 800, 600},
    {"1024x768", {"-ost7"}, 1024, 768},
    {"later_wins", {"-ost2", "-ost3"}, 256, 212},
    {"later_wins_custom", {"-ow100", "-oh50", "-ost0", "-ow120"}, 120, 50},
    {"upper_case", {"-OST3"}, 256, 212},
    {"mixed_case", {"-Ost0", "-OW30", "-oH20"}, 30, 20},
};

class CLIOutputSizeTest : public CLITest, public ::testing::WithParamInterface<tdSizeCase>
{
};

TEST_P(CLIOutputSizeTest, WritesRGBFileOfTheSize)
{
    tdDecodedPNG oPNG = oConvert(GetParam().asOptions);
    EXPECT_EQ(oPNG.m_iWidth, GetParam().iWidth);
    EXPECT_EQ(oPNG.m_iHeight, GetParam().iHeight);
    EXPECT_EQ(oPNG.m_iBitDepth, 8);
    EXPECT_EQ(oPNG.m_iColorType, PNG_COLOR_TYPE_RGB);
}

INSTANTIATE_TEST_SUITE_P(SizeTypes, CLIOutputSizeTest, ::testing::ValuesIn(g_aoSizeCases),
                         [](const ::testing::TestParamInfo<tdSizeCase>& o)
                         { return std::string(o.param.pszWhat); });

// Fit geometry on a 256 x 192 canvas for a 100 x 50 picture: white, with its top 5
// rows red and its left 10 columns blue below them. Nearest scaling keeps colours
// pure, so the placed picture is exactly the non-black area.
struct tdFitCase
{
    const char* pszWhat;
    int iFitMode;
    int aiRect[4];         // x, y, width, height of the non-black area
    int aiBlueAt[2];       // a pixel that must be blue (left columns), or -1
    int aiRedAt[2];        // a pixel that must be red (top rows)
    bool bLeftEdgeVisible; // blue appears at all
};

// clang-format off
// Oracle: the fit geometry worked out by hand. Fit and Crop height scale by 2.56
// (rows 32..159), Crop and Crop width by 3.84 (384 wide, 64 cut off at each side),
// Fill stretches to 256 x 192, None centres at (78, 71).
//  what           mode  rect                blue at      red at      blue visible
const tdFitCase g_aoFitCases[] = {
    {"none",        0,   {78, 71, 100,  50}, { 80, 100},  {128,  73}, true},
    {"fit",         1,   { 0, 32, 256, 128}, {  2, 100},  {128,  34}, true},
    {"crop",        2,   { 0,  0, 256, 192}, { -1,  -1},  {128,   5}, false},
    {"crop_width",  3,   { 0,  0, 256, 192}, { -1,  -1},  {128,   5}, false},
    {"crop_height", 4,   { 0, 32, 256, 128}, {  2, 100},  {128,  34}, true},
    {"fill",        5,   { 0,  0, 256, 192}, {  2, 100},  {128,   5}, true},
};
// clang-format on

class CLIFitModeTest : public CLITest, public ::testing::WithParamInterface<tdFitCase>
{
};

TEST_P(CLIFitModeTest, PlacesThePictureOnTheCanvas)
{
    const tdFitCase& oCase = GetParam();
    tdTestPNG oSource;
    oSource.m_iWidth = 100;
    oSource.m_iHeight = 50;
    for (int y = 0; y < 50; y++)
    {
        for (int x = 0; x < 100; x++)
        {
            Color o = y < 5    ? Color{255, 0, 0, 255}
                      : x < 10 ? Color{0, 0, 255, 255}
                               : Color{255, 255, 255, 255};
            oSource.m_auiSamples.insert(oSource.m_auiSamples.end(), {o.r, o.g, o.b});
        }
    }
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("src.png"), oSource));
    tdDecodedPNG oPNG = oConvert({"-ost2", "-rf1", "-fm" + std::to_string(oCase.iFitMode)});
    ASSERT_EQ(oPNG.m_iWidth, 256);
    ASSERT_EQ(oPNG.m_iHeight, 192);

    auto pucAt = [&](int x, int y) { return &oPNG.m_aucRGB[(static_cast<size_t>(y) * 256 + x) * 3]; };
    tdRectangle oBox = oNonBlackBox(oPNG);
    EXPECT_EQ(oBox.iX, oCase.aiRect[0]);
    EXPECT_EQ(oBox.iY, oCase.aiRect[1]);
    EXPECT_EQ(oBox.iWidth, oCase.aiRect[2]);
    EXPECT_EQ(oBox.iHeight, oCase.aiRect[3]);
    bool bBlue = false;
    for (size_t i = 0; i < oPNG.m_aucRGB.size(); i += 3)
        bBlue = bBlue || (oPNG.m_aucRGB[i] == 0 && oPNG.m_aucRGB[i + 1] == 0 && oPNG.m_aucRGB[i + 2] == 255);
    EXPECT_EQ(bBlue, oCase.bLeftEdgeVisible);
    if (oCase.aiBlueAt[0] >= 0)
    {
        const unsigned char* puc = pucAt(oCase.aiBlueAt[0], oCase.aiBlueAt[1]);
        EXPECT_EQ(std::vector<unsigned char>(puc, puc + 3), (std::vector<unsigned char>{0, 0, 255}));
    }
    const unsigned char* puc = pucAt(oCase.aiRedAt[0], oCase.aiRedAt[1]);
    EXPECT_EQ(std::vector<unsigned char>(puc, puc + 3), (std::vector<unsigned char>{255, 0, 0}));
    // The middle of the canvas shows the white body.
    puc = pucAt(128, 100);
    EXPECT_EQ(std::vector<unsigned char>(puc, puc + 3), (std::vector<unsigned char>{255, 255, 255}));
}

INSTANTIATE_TEST_SUITE_P(FitModes, CLIFitModeTest, ::testing::ValuesIn(g_aoFitCases),
                         [](const ::testing::TestParamInfo<tdFitCase>& o)
                         { return std::string(o.param.pszWhat); });

// Usage errors: exit code 2, a message naming the problem, nothing written.
struct tdUsageCase
{
    const char* pszWhat;
    std::vector<std::string> asArguments;
    std::vector<std::string> asMessage; // texts the message must hold
};

const tdUsageCase g_aoUsageCases[] = {
    {"unknown_argument", {"src.png", "-xyz"}, {"unknown argument -xyz"}},
    {"missing_input", {"-sm2"}, {"no input file"}},
    {"no_arguments", {}, {"no input file"}},
    {"two_inputs_one_output", {"src.png", "other.png", "-ofx"}, {"-of", "2 inputs"}},
    {"screen_9", {"src.png", "-sm9"}, {"-sm", "ScreenMode", "out of range", "Screen 12"}},
    {"screen_letter", {"src.png", "-smX"}, {"-sm", "not an integer"}},
    {"conversion_8", {"src.png", "-ct8"}, {"-ct", "out of range"}},
    {"width_0", {"src.png", "-ow0"}, {"-ow", "OutputWidth", "1..8192"}},
    {"width_8193", {"src.png", "-ow8193"}, {"-ow", "1..8192"}},
    {"height_0", {"src.png", "-oh0"}, {"-oh", "1..8192"}},
    {"ratio_0", {"src.png", "-ciar0"}, {"-ciar", "CustomInputAspectRatio", "above 0"}},
    {"ratio_nan", {"src.png", "-ciarnan"}, {"-ciar", "above 0"}},
    {"ratio_negative", {"src.png", "-coar-1"}, {"-coar", "above 0"}},
    {"diffusion_empty", {"src.png", "-ed"}, {"-ed", "not a number"}},
    {"diffusion_inf", {"src.png", "-edinf"}, {"-ed", "finite"}},
    {"block_size_0", {"src.png", "-mbs0"}, {"-mbs", "1..58000"}},
    {"block_size_58001", {"src.png", "-mbs58001"}, {"-mbs", "1..58000"}},
    {"palette_size_17", {"src.png", "-rps17"}, {"-rps", "1..16"}},
    {"border_300", {"src.png", "-bc300"}, {"-bc", "0..255"}},
    {"threshold_2", {"src.png", "-blt2"}, {"-blt", "0..1"}},
    {"trailing_text", {"src.png", "-sm2x"}, {"-sm", "not an integer"}},
    {"of_without_name", {"src.png", "-of"}, {"-of"}},
    {"each_value_checked", {"src.png", "-sm9", "-sm2"}, {"-sm", "out of range"}},
};

class CLIUsageTest : public CLITest, public ::testing::WithParamInterface<tdUsageCase>
{
};

TEST_P(CLIUsageTest, ExitsWithTwoAndNamesTheProblem)
{
    std::vector<unsigned char> aucSource = this->aucSource();
    tdRunResult oRun = oRunQEV(m_oFolder, GetParam().asArguments);
    EXPECT_EQ(oRun.m_iExitCode, 2) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "");
    EXPECT_EQ(oRun.m_sErr.rfind("qev: ", 0), 0u) << oRun.m_sErr;
    for (const std::string& s : GetParam().asMessage)
        EXPECT_NE(oRun.m_sErr.find(s), std::string::npos) << "no \"" << s << "\" in: " << oRun.m_sErr;
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"src.png"});
    EXPECT_TRUE(this->aucSource() == aucSource);
}

INSTANTIATE_TEST_SUITE_P(Arguments, CLIUsageTest, ::testing::ValuesIn(g_aoUsageCases),
                         [](const ::testing::TestParamInfo<tdUsageCase>& o)
                         { return std::string(o.param.pszWhat); });

TEST_F(CLITest, LaterOptionsWin)
{
    EXPECT_EQ(oConvert({"-ct3", "-ct0"}).m_iWidth, 64);
    EXPECT_EQ(oConvert({"-sm2", "-sm5"}).m_iWidth, 64);
}

// A 100 x 100 picture on 256 x 192 square output pixels: its input pixel shape
// decides the width it is drawn with (height 192, scale 1.92).
TEST_F(CLITest, InputAspectRatioOptionShapesTheOutput)
{
    ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("src.png"), 100, 100, {200, 200, 200, 255}));
    // clang-format off
    //  options                 non-black x, y, width, height
    const std::pair<std::vector<std::string>, tdRectangle> aoCases[] = {
        {{},                    {32, 0, 192, 192}},  // square: 100 x 1.92
        {{"-iart3"},            { 1, 0, 254, 192}},  // 50Hz 1.325: 132.5 x 1.92 = 254.4
        {{"-iart1", "-ciar2"},  { 0, 32, 256, 128}}, // twice as wide: scaled to the width instead
    };
    // clang-format on
    for (const auto& oCase : aoCases)
    {
        std::vector<std::string> asOptions = {"-ost2", "-oart4"};
        asOptions.insert(asOptions.end(), oCase.first.begin(), oCase.first.end());
        tdRectangle oBox = oNonBlackBox(oConvert(asOptions));
        EXPECT_EQ(oBox.iX, oCase.second.iX) << asOptions.back();
        EXPECT_EQ(oBox.iY, oCase.second.iY) << asOptions.back();
        EXPECT_EQ(oBox.iWidth, oCase.second.iWidth) << asOptions.back();
        EXPECT_EQ(oBox.iHeight, oCase.second.iHeight) << asOptions.back();
    }
}

TEST_F(CLITest, SuccessLineAndExitCode)
{
    tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "-ofresult", "-ost2"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "result.png R=0.000 G=0.000 B=0.000\n");
    EXPECT_EQ(oRun.m_sErr, "");
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (std::vector<std::string>{"result.png", "src.png"}));
}

TEST_F(CLITest, ColoursSurviveTheRoundTrip)
{
    tdDecodedPNG oPNG = oConvert({});
    ASSERT_EQ(oPNG.m_aucRGB.size(), 64u * 48u * 3u);
    for (size_t i = 0; i < oPNG.m_aucRGB.size(); i += 3)
        ASSERT_EQ(std::vector<unsigned char>(&oPNG.m_aucRGB[i], &oPNG.m_aucRGB[i] + 3),
                  (std::vector<unsigned char>{90, 120, 150}))
            << i;
}

TEST_F(CLITest, JPEGInputGivesPNGOfTheSameSize)
{
    ASSERT_TRUE(bWriteTestJPEG(m_oFolder.sFile("photo.jpg"), TestJPEG_Grey, 24, 16,
                               std::vector<unsigned char>(24 * 16, 128), 100));
    tdRunResult oRun = oRunQEV(m_oFolder, {"photo.jpg"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "photo.png R=0.000 G=0.000 B=0.000\n");
    tdDecodedPNG oPNG;
    ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("photo.png"), &oPNG));
    EXPECT_EQ(oPNG.m_iWidth, 24);
    EXPECT_EQ(oPNG.m_iHeight, 16);
    EXPECT_EQ(oPNG.m_iColorType, PNG_COLOR_TYPE_RGB);
    EXPECT_NEAR(oPNG.m_aucRGB[0], 128, 1);
}

TEST_F(CLITest, PhysWithZeroFieldConverts)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = 30;
    oPNG.m_iHeight = 20;
    oPNG.m_auiSamples.assign(30 * 20 * 3, 200);
    oPNG.m_bPhys = true;
    oPNG.m_uiXPerUnit = 0;
    oPNG.m_uiYPerUnit = 3000;
    ASSERT_TRUE(bWriteTestPNG(m_oFolder.sFile("zero.png"), oPNG));
    for (const char* pszSize : {"-ost1", "-ost3"})
    {
        tdRunResult oRun = oRunQEV(m_oFolder, {"zero.png", pszSize, "-ofout"});
        EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
        tdDecodedPNG oOut;
        ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("out.png"), &oOut));
        // Square pixels: the 30 x 20 picture fills rows 21..191 of 256 x 212.
        if (std::string(pszSize) == "-ost1")
            EXPECT_EQ(oOut.m_iWidth, 30);
        else
            EXPECT_EQ(oOut.m_aucRGB[(20 * 256 + 128) * 3], 0) << "band above the picture";
        const int iMiddle = oOut.m_iHeight / 2 * oOut.m_iWidth + oOut.m_iWidth / 2;
        EXPECT_EQ(oOut.m_aucRGB[iMiddle * 3], 200);
    }
}

// The default output is the input's folder and name without its last extension.
TEST_F(CLITest, DefaultOutputNameFollowsTheInput)
{
    ASSERT_EQ(mkdir(m_oFolder.sFile("my.photos").c_str(), 0755), 0);
    for (const char* pszName : {"my.photos/holiday.v1.jpg", "my.photos/cat.JPEG"})
        ASSERT_TRUE(bWriteTestJPEG(m_oFolder.sFile(pszName), TestJPEG_Grey, 8, 8,
                                   std::vector<unsigned char>(64, 50), 90));

    tdRunResult oRun = oRunQEV(m_oFolder, {"my.photos/holiday.v1.jpg"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "my.photos/holiday.v1.png R=0.000 G=0.000 B=0.000\n");

    oRun = oRunQEV(m_oFolder, {"my.photos/cat.JPEG"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "my.photos/cat.png R=0.000 G=0.000 B=0.000\n");
    EXPECT_EQ(asListFolder(m_oFolder.sFile("my.photos")),
              (std::vector<std::string>{"cat.JPEG", "cat.png", "holiday.v1.jpg", "holiday.v1.png"}));
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (std::vector<std::string>{"my.photos", "src.png"}));
}

TEST_F(CLITest, OutputNameFromOption)
{
    ASSERT_EQ(mkdir(m_oFolder.sFile("sub").c_str(), 0755), 0);
    tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "-ofsub/out"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "sub/out.png R=0.000 G=0.000 B=0.000\n");
    oRun = oRunQEV(m_oFolder, {"src.png", "-OFsub/Out.PNG"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "sub/Out.PNG R=0.000 G=0.000 B=0.000\n");
    EXPECT_EQ(asListFolder(m_oFolder.sFile("sub")), (std::vector<std::string>{"Out.PNG", "out.png"}));
}

TEST_F(CLITest, OutputThatWouldReplaceTheInputIsRefused)
{
    std::vector<unsigned char> aucBefore = aucSource();
    ASSERT_EQ(mkdir(m_oFolder.sFile("sub").c_str(), 0755), 0);
    // The same file under other names counts too.
    const std::vector<std::vector<std::string>> aasArguments = {{"src.png"},
                                                                {"./src.png"},
                                                                {"src.png", "-ofsrc"},
                                                                {"src.png", "-ofsrc.png"},
                                                                {"src.png", "-ofsub/../src"}};
    for (const std::vector<std::string>& asArguments : aasArguments)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, asArguments);
        EXPECT_EQ(oRun.m_iExitCode, 2) << asArguments.back();
        EXPECT_NE(oRun.m_sErr.find("would replace the input"), std::string::npos) << oRun.m_sErr;
        EXPECT_TRUE(aucSource() == aucBefore);
    }
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), (std::vector<std::string>{"src.png", "sub"}));
}

// Unreadable input or unwritable output: exit code 1, no output, an existing
// output untouched.
TEST_F(CLITest, FailuresExitWithOne)
{
    const std::vector<unsigned char> aucGood = {'g', 'o', 'o', 'd'};
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("out.png"), aucGood));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("broken.png"), std::vector<unsigned char>(100, 0x55)));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("broken.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00}));
    ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("picture.gif"), 4, 4, {1, 1, 1, 255}));
    // A folder where the output should go: written in full, the file cannot be renamed into place.
    ASSERT_EQ(mkdir(m_oFolder.sFile("taken.png").c_str(), 0755), 0);
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("taken.png/inside"), aucGood));

    struct tdCase
    {
        std::vector<std::string> asArguments;
        const char* pszMessage;
    };
    const tdCase aoCases[] = {
        {{"missing.png", "-ofout"}, "cannot read missing.png"},
        {{"broken.png", "-ofout"}, "cannot read broken.png"},
        {{"broken.jpg", "-ofout"}, "cannot read broken.jpg"},
        {{"picture.gif", "-ofout"}, "unknown file type"},
        {{"src.png", "-ofno/such/folder/out"}, "cannot create no/such/folder/out.png"},
        {{"src.png", "-oftaken"}, "cannot write taken.png"},
    };
    for (const tdCase& oCase : aoCases)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, oCase.asArguments);
        EXPECT_EQ(oRun.m_iExitCode, 1) << oCase.pszMessage;
        EXPECT_NE(oRun.m_sErr.find(oCase.pszMessage), std::string::npos) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut.find("R="), std::string::npos);
        EXPECT_TRUE(aucReadFile(m_oFolder.sFile("out.png")) == aucGood) << oCase.pszMessage;
    }
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath),
              (std::vector<std::string>{"broken.jpg", "broken.png", "out.png", "picture.gif", "src.png",
                                        "taken.png"}));
    EXPECT_EQ(asListFolder(m_oFolder.sFile("taken.png")), std::vector<std::string>{"inside"});
}

TEST_F(CLITest, ReadOnlyFolderExitsWithOneAndLeavesNothing)
{
    if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
    ASSERT_EQ(mkdir(m_oFolder.sFile("locked").c_str(), 0755), 0);
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("locked/out.png"), {'o', 'l', 'd'}));
    ASSERT_EQ(chmod(m_oFolder.sFile("locked").c_str(), 0555), 0);
    tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "-oflocked/out"});
    chmod(m_oFolder.sFile("locked").c_str(), 0755);
    EXPECT_EQ(oRun.m_iExitCode, 1) << oRun.m_sErr;
    EXPECT_EQ(asListFolder(m_oFolder.sFile("locked")), std::vector<std::string>{"out.png"});
    EXPECT_TRUE(aucReadFile(m_oFolder.sFile("locked/out.png")) ==
                (std::vector<unsigned char>{'o', 'l', 'd'}));
}

TEST_F(CLITest, SamplePicture)
{
    tdRunResult oRun = oRunQEV(m_oFolder, {"--sample", "-ofs"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, "s.png R=0.000 G=0.000 B=0.000\n");
    tdDecodedPNG oPNG;
    ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("s.png"), &oPNG));
    EXPECT_EQ(oPNG.m_iWidth, 320);
    EXPECT_EQ(oPNG.m_iHeight, 240);
    EXPECT_EQ(oRunQEV(m_oFolder, {"--sample", "src.png"}).m_iExitCode, 2);
}

TEST_F(CLITest, VersionIs34)
{
    tdRunResult oRun = oRunQEV(m_oFolder, {"--version"});
    EXPECT_EQ(oRun.m_iExitCode, 0);
    EXPECT_EQ(oRun.m_sOut, "3.4\n");
    EXPECT_EQ(oRun.m_sErr, "");
}

// Every settings option appears on a line of its own with its field name.
TEST_F(CLITest, HelpListsEveryOptionWithItsField)
{
    tdRunResult oRun = oRunQEV(m_oFolder, {"--help"});
    EXPECT_EQ(oRun.m_iExitCode, 0);
    EXPECT_EQ(oRun.m_sErr, "");
    std::vector<std::pair<std::string, std::string>> aoListed;
    std::istringstream oLines(oRun.m_sOut);
    std::string sLine;
    while (std::getline(oLines, sLine))
    {
        std::istringstream oWords(sLine);
        std::string sOption;
        std::string sField;
        oWords >> sOption >> sField;
        if (sOption.size() > 1 && sOption[0] == '-' && sOption[1] != '-' && sOption != "-of<output_file>")
            aoListed.push_back({sOption, sField});
    }
    ASSERT_EQ(aoListed.size(), static_cast<size_t>(g_iSettingsOptionCount)) << oRun.m_sOut;
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        bool bFound = false;
        for (const auto& oListed : aoListed)
            bFound = bFound || (oListed.first == oOption.pszOption && oListed.second == oOption.pszField);
        EXPECT_TRUE(bFound) << oOption.pszOption << " " << oOption.pszField;
    }
    EXPECT_NE(oRun.m_sOut.find("-of"), std::string::npos);
    EXPECT_EQ(oRunQEV(m_oFolder, {"src.png", "--help"}).m_iExitCode, 0);
    EXPECT_EQ(asListFolder(m_oFolder.m_sPath), std::vector<std::string>{"src.png"});
}
} // namespace

TEST_F(CLITest, PaletteFileLoadsOrIsRefusedNamingTheFile)
{
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("good.gpl"),
                           {'G', 'I', 'M', 'P', ' ', 'P', 'a', 'l', 'e', 't', 't', 'e', '\n', '2', '5', '5', ' ',
                            '0', ' ', '0', '\n'}));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("empty.gpl"), {'G', 'I', 'M', 'P', '\n'}));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("words.pal"), {0x71, 0x05, 0x00, 0x07}));

    tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "--palette=good.gpl", "-pt1", "-ofout"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    oRun = oRunQEV(m_oFolder, {"src.png", "--palette=words.pal", "-pt1", "-ofout"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;

    oRun = oRunQEV(m_oFolder, {"src.png", "--palette=missing.gpl", "-pt1", "-ofout2"});
    EXPECT_EQ(oRun.m_iExitCode, 2);
    EXPECT_NE(oRun.m_sErr.find("missing.gpl"), std::string::npos) << oRun.m_sErr;
    EXPECT_FALSE(bFileExists(m_oFolder.sFile("out2.png")));

    oRun = oRunQEV(m_oFolder, {"src.png", "--palette=empty.gpl", "-ofout2"});
    EXPECT_EQ(oRun.m_iExitCode, 2);
    EXPECT_NE(oRun.m_sErr.find("empty.gpl"), std::string::npos) << oRun.m_sErr;
}

// Every conversion type from the tool: the file it names, and a read-back of the
// screen dumps and QEV files that equals the --preview picture byte for byte.
TEST_F(CLITest, EveryConversionTypeWritesItsFilesAndReadsBackAsItsPreview)
{
    //  -ct    -sm   main file    companion     main size (0: unchecked)
    struct tdCase
    {
        const char* pszType;
        const char* pszScreen;
        const char* pszMain;
        const char* pszCompanion;
        size_t uiSize;
    };
    const tdCase aoCases[] = {
        {"-ct1", "-sm2", "out.qev", nullptr, 0},      {"-ct2", "-sm2", "out.sr5", "out.pl5", 27143},
        {"-ct3", "-sm2", "out.sc5", nullptr, 30375},  {"-ct3", "-sm5", "out.sc8", nullptr, 54279},
        {"-ct3", "-sm3", "out.sc6", nullptr, 30351},  {"-ct4", "-sm2", "out.spr", nullptr, 0},
        {"-ct6", "-sm6", "out.kru", nullptr, 0},      {"-ct7", "-sm2", "out.res", nullptr, 5 + 32 + 32 * 48},
        {"-ct3", "-sm0", "out.sc2", nullptr, 14343},  {"-ct2", "-sm7", "out.src", nullptr, 54279},
    };
    for (const tdCase& o : aoCases)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", o.pszType, o.pszScreen, "--preview=prev.png", "-ofout"});
        ASSERT_EQ(oRun.m_iExitCode, 0) << o.pszType << o.pszScreen << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut.substr(0, strlen(o.pszMain)), o.pszMain);
        std::vector<unsigned char> aucMain = aucReadFile(m_oFolder.sFile(o.pszMain));
        // The flat source has one colour, palette entry 0: its sprite sheet is empty.
        EXPECT_EQ(aucMain.empty(), strcmp(o.pszMain, "out.spr") == 0) << o.pszMain;
        EXPECT_TRUE(bFileExists(m_oFolder.sFile(o.pszMain))) << o.pszMain;
        if (o.uiSize)
        {
            EXPECT_EQ(aucMain.size(), o.uiSize) << o.pszMain;
        }
        if (o.pszCompanion)
        {
            EXPECT_TRUE(bFileExists(m_oFolder.sFile(o.pszCompanion))) << o.pszCompanion;
        }
        EXPECT_TRUE(bFileExists(m_oFolder.sFile("prev.png")));

        const std::string sMain = o.pszMain;
        const bool bReadable = sMain.find(".s") != std::string::npos || sMain.find(".qev") != std::string::npos;
        if (bReadable && sMain != "out.spr")
        {
            oRun = oRunQEV(m_oFolder, {o.pszMain, "-ofback"});
            ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
            tdDecodedPNG oBack;
            tdDecodedPNG oPreview;
            ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("back.png"), &oBack));
            ASSERT_TRUE(bReadTestPNG(m_oFolder.sFile("prev.png"), &oPreview));
            EXPECT_EQ(oBack.m_iWidth, oPreview.m_iWidth) << o.pszMain;
            EXPECT_EQ(oBack.m_iHeight, oPreview.m_iHeight) << o.pszMain;
            EXPECT_TRUE(oBack.m_aucRGB == oPreview.m_aucRGB) << o.pszMain;
        }
        for (const std::string& sName : asListFolder(m_oFolder.m_sPath))
            if (sName != "src.png") unlink(m_oFolder.sFile(sName).c_str());
    }
}

TEST_F(CLITest, SeveralInputsOutdirAndRawStreams)
{
    ASSERT_TRUE(bWriteFlatPNG(m_oFolder.sFile("second.png"), 20, 10, {10, 200, 30, 255}));
    ASSERT_EQ(0, mkdir(m_oFolder.sFile("od").c_str(), 0755));
    tdRunResult oRun = oRunQEV(m_oFolder, {"src.png", "second.png", "-ct3", "-sm2", "--outdir=od"});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_NE(oRun.m_sOut.find("od/src.sc5 R="), std::string::npos) << oRun.m_sOut;
    EXPECT_NE(oRun.m_sOut.find("od/second.sc5 R="), std::string::npos) << oRun.m_sOut;
    EXPECT_EQ(aucReadFile(m_oFolder.sFile("od/second.sc5")).size(), 30375u);

    // One input that fails does not stop the others; the exit code says so.
    oRun = oRunQEV(m_oFolder, {"missing.png", "second.png", "-ct3", "-sm2", "--outdir=od"});
    EXPECT_EQ(oRun.m_iExitCode, 1);
    EXPECT_NE(oRun.m_sOut.find("od/second.sc5"), std::string::npos);

    oRun = oRunQEV(m_oFolder, {"src.png", "second.png", "-ofboth"});
    EXPECT_EQ(oRun.m_iExitCode, 2);
    EXPECT_NE(oRun.m_sErr.find("-of"), std::string::npos);

    // RAW: the -of name itself, no headers: Screen 5 of 64 x 48 limited to -ow/-oh.
    oRun = oRunQEV(m_oFolder, {"src.png", "-ct5", "-sm2", "-ow64", "-oh48", "-pt2", "-ofpic.raw"});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(aucReadFile(m_oFolder.sFile("pic.raw")).size(), 32u + 32u * 48u);
}
