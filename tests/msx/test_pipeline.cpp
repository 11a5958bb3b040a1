// The conversion sequence under a run context. Oracle: the same conversion without
// a context (the bytes must not depend on being watched), and the count of rows.

#include "qev/msx/pipeline.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <memory>

TEST(Pipeline, RunContextReportsProgressAndStops)
{
    std::unique_ptr<Image> poSource(poMakeTestPicture(TestPicture_Noise, 300, 200, 1.0, 7, 8, 8));
    const tdWriterProfile oProfile = {CompressionType_None, true, true};
    for (int eMode = 0; eMode < ScreenMode_Count; eMode++)
    {
        SCOPED_TRACE(eMode);
        tdSettings oSettings;
        vGetDefaultSettings(&oSettings);
        oSettings.ScreenMode = static_cast<tdScreenMode>(eMode);
        oSettings.DitheringMode = Dithering_None;

        tdByteArray oPlain, oWatched, oStopped;
        Palette oPalette;
        oConvertImage(poSource.get(), &oSettings, &oProfile, &oPlain, nullptr, nullptr, &oPalette, nullptr);

        // Watched but never stopped: the same bytes, progress rising within 0..1.
        int iCalls = 0;
        double fLast = -1.0;
        bool bOrdered = true;
        tdRunContext oRun;
        oRun.m_fnProgress = [&](double fDone)
        {
            bOrdered = bOrdered && fDone >= 0.0 && fDone <= 1.0;
            fLast = fDone;
            iCalls++;
            return true;
        };
        oConvertImage(poSource.get(), &oSettings, &oProfile, &oWatched, nullptr, nullptr, &oPalette, nullptr,
                      &oRun);
        EXPECT_TRUE(bOrdered);
        EXPECT_FALSE(bRunStopped(&oRun));
        EXPECT_GE(iCalls, g_aoScreenGeometry[eMode].iHeight);
        EXPECT_GT(fLast, 0.9);
        ASSERT_EQ(oPlain.m_iSize, oWatched.m_iSize);
        EXPECT_EQ(0, memcmp(oPlain.m_pucData, oWatched.m_pucData, static_cast<size_t>(oPlain.m_iSize)));

        // Stopped at the third report: no report after that, and the run ends early.
        tdRunContext oStop;
        iCalls = 0;
        oStop.m_fnProgress = [&](double) { return ++iCalls < 3; };
        oConvertImage(poSource.get(), &oSettings, &oProfile, &oStopped, nullptr, nullptr, &oPalette, nullptr,
                      &oStop);
        EXPECT_TRUE(bRunStopped(&oStop));
        EXPECT_EQ(3, iCalls);
        EXPECT_FALSE(bKeepRunning(&oStop, 0.5));
        EXPECT_EQ(3, iCalls);
    }
}
