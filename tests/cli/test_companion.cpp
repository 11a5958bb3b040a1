// The qev tool never replaces an input of the run with one of its outputs: not
// with a main output, and not with a companion file (palette file, second page)
// written beside it. Oracle: the input's bytes after the refused run.

#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct tdClashRow
{
    std::vector<std::string> asArguments;
    const char* pszVictim; // an input the run would replace
};

const tdClashRow g_aoClashRows[] = {
    {{"pic.png", "pic.pl5", "-ct2", "-sm2"}, "pic.pl5"},         // SR palette file
    {{"pic.png", "pic.sj5", "-ct2", "-sm2", "-im1"}, "pic.sj5"}, // SR second page
    {{"pic.png", "pic.pi5", "-ct2", "-sm2", "-im1"}, "pic.pi5"}, // SR interlaced palette file
    {{"pic.png", "pic.sl8", "-ct3", "-sm5", "-im1"}, "pic.sl8"}, // SC second page
    {{"pic.png", "pic.sr5", "-ct2", "-sm2"}, "pic.sr5"},         // another job's main output
};

// An 8 x 8 grey pic.png in the folder.
void vWritePicture(const tdTempFolder& oFolder)
{
    tdTestPNG oPNG;
    oPNG.m_iWidth = 8;
    oPNG.m_iHeight = 8;
    oPNG.m_auiSamples.assign(8 * 8 * 3, 200);
    ASSERT_TRUE(bWriteTestPNG(oFolder.sFile("pic.png"), oPNG));
}

TEST(CompanionClash, AnOutputThatWouldReplaceAnyInputIsRefused)
{
    for (const tdClashRow& oRow : g_aoClashRows)
    {
        SCOPED_TRACE(oRow.pszVictim);
        tdTempFolder oFolder;
        vWritePicture(oFolder);
        const std::vector<unsigned char> aucVictim = {'k', 'e', 'e', 'p'};
        ASSERT_TRUE(bWriteFile(oFolder.sFile(oRow.pszVictim), aucVictim));

        tdRunResult oRun = oRunQEV(oFolder, oRow.asArguments);
        EXPECT_EQ(oRun.m_iExitCode, 2);
        EXPECT_NE(oRun.m_sErr.find(std::string("would replace the input ") + oRow.pszVictim),
                  std::string::npos)
            << oRun.m_sErr;
        EXPECT_EQ(aucReadFile(oFolder.sFile(oRow.pszVictim)), aucVictim);
        EXPECT_EQ(asListFolder(oFolder.m_sPath).size(), 2u) << "nothing else was written";
    }
}

TEST(CompanionClash, CompanionsOfAnotherNameAreWritten)
{
    tdTempFolder oFolder;
    vWritePicture(oFolder);
    tdRunResult oRun = oRunQEV(oFolder, {"pic.png", "-ct2", "-sm2", "-im1"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(asListFolder(oFolder.m_sPath),
              (std::vector<std::string>{"pic.pi5", "pic.png", "pic.si5", "pic.sj5"}));
}

} // namespace
