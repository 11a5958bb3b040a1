// The qev tool with retro-computer inputs, run as a separate process: RECOIL is
// tried first and its pictures keep square pixels whatever the input
// aspect-ratio options say; unknown and damaged inputs keep the tool's messages
// and exit code 1. Output PNG files are read back with libpng (testutil).

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
class RetroCLITest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    tdDecodedPNG oConvert(const std::string& sInput, const std::vector<std::string>& asOptions)
    {
        std::vector<std::string> asArguments = {sInput, "-ofout"};
        asArguments.insert(asArguments.end(), asOptions.begin(), asOptions.end());
        tdRunResult oRun = oRunQEV(m_oFolder, asArguments);
        EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut, "out.png R=0.000 G=0.000 B=0.000\n");
        tdDecodedPNG oPNG;
        EXPECT_TRUE(bReadTestPNG(m_oFolder.sFile("out.png"), &oPNG));
        return oPNG;
    }
};

// The smallest rectangle of pixels that are not pure black.
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
} // namespace

TEST_F(RetroCLITest, RetroPicturesAreConvertedPixelForPixel)
{
    tdTestRandom oRandom = {3};
    tdBytes aucScreen(6912);
    for (unsigned char& c : aucScreen)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("random.SCR"), aucScreen));
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("random.SCR", aucScreen, &oPixels));

    tdDecodedPNG oPNG = oConvert("random.SCR", {});
    ASSERT_EQ(oPNG.m_iWidth, 256);
    ASSERT_EQ(oPNG.m_iHeight, 192);
    for (int i = 0; i < 256 * 192; i++)
    {
        int iPixel = oPixels.m_aiPixels[static_cast<size_t>(i)];
        ASSERT_EQ(oPNG.m_aucRGB[static_cast<size_t>(3 * i)], (iPixel >> 16) & 255) << i;
        ASSERT_EQ(oPNG.m_aucRGB[static_cast<size_t>(3 * i + 1)], (iPixel >> 8) & 255) << i;
        ASSERT_EQ(oPNG.m_aucRGB[static_cast<size_t>(3 * i + 2)], iPixel & 255) << i;
    }
}

// A 320 x 200 Koala picture (white background) on 256 x 192 square output
// pixels: square input pixels give 256 x 160 whatever the input aspect options.
TEST_F(RetroCLITest, InputAspectRatioOptionsDoNotApplyToRetroPictures)
{
    tdBytes aucKoala(10003, 0);
    aucKoala[10002] = 1;
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("white.koa"), aucKoala));
    for (const std::vector<std::string>& asAspect :
         {std::vector<std::string>{}, std::vector<std::string>{"-iart3"},
          std::vector<std::string>{"-iart1", "-ciar2"}})
    {
        std::vector<std::string> asOptions = {"-ost2", "-oart4"};
        asOptions.insert(asOptions.end(), asAspect.begin(), asAspect.end());
        tdRectangle oBox = oNonBlackBox(oConvert("white.koa", asOptions));
        EXPECT_EQ(oBox.iX, 0);
        EXPECT_EQ(oBox.iY, 16);
        EXPECT_EQ(oBox.iWidth, 256);
        EXPECT_EQ(oBox.iHeight, 160);
    }
}

TEST_F(RetroCLITest, UnknownAndDamagedInputsExitWithOne)
{
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("short.scr"), tdBytes(6000, 0)));
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("picture.xyz"), tdBytes(6912, 0)));
    // A valid Spectrum screen under a name the program's readers own is theirs to
    // refuse: RECOIL does not take it.
    ASSERT_TRUE(bWriteFile(m_oFolder.sFile("screen.png"), tdBytes(6912, 0)));
    struct tdCase
    {
        const char* pszInput;
        const char* pszMessage;
    };
    const tdCase aoCases[] = {
        {"short.scr", "qev: cannot read short.scr: the file is missing, damaged or not a supported picture"},
        {"missing.neo",
         "qev: cannot read missing.neo: the file is missing, damaged or not a supported picture"},
        {"picture.xyz", "qev: cannot read picture.xyz: unknown file type"},
        {"screen.png",
         "qev: cannot read screen.png: the file is missing, damaged or not a supported picture"},
    };
    for (const tdCase& oCase : aoCases)
    {
        tdRunResult oRun = oRunQEV(m_oFolder, {oCase.pszInput, "-ofout"});
        EXPECT_EQ(oRun.m_iExitCode, 1) << oCase.pszInput;
        EXPECT_NE(oRun.m_sErr.find(oCase.pszMessage), std::string::npos) << oRun.m_sErr;
        EXPECT_EQ(oRun.m_sOut.find("R="), std::string::npos);
    }
    EXPECT_FALSE(bFileExists(m_oFolder.sFile("out.png")));
}

TEST_F(RetroCLITest, HelpNamesTheRetroFormats)
{
    tdRunResult oRun = oRunQEV(m_oFolder, {"--help"});
    EXPECT_EQ(oRun.m_iExitCode, 0);
    for (const char* psz :
         {".scr", ".koa", ".pi1", ".pc1", ".neo", ".iff", ".lbm", ".pcx", ".mac", ".img", ".ge5"})
        EXPECT_NE(oRun.m_sOut.find(psz), std::string::npos) << psz;
}
