// Tests of the settings record: defaults, built-in palettes, the values derived
// from a record, and the automatic globals.

#include "qev/base/settings.h"
#include "qev/base/settings_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace
{

// A record as every part of the program makes one: a byte copy of the defaults
// with the MSX1 palette.
class SettingsTest : public ::testing::Test
{
protected:
    tdSettings m_oSettings;

    void SetUp() override
    {
        memset(&m_oSettings, 0xA5, sizeof(m_oSettings));
        vGetDefaultSettings(&m_oSettings);
        vSetInputAutoAspectRatio(0.0);
        vSetOutputAutoAspectRatio(0.0);
        vSetOutputAutoSize(0, 0);
    }
};

// ---------------------------------------------------------------------------
// Defaults

TEST_F(SettingsTest, DefaultsOfAFreshRecord)
{
    EXPECT_EQ(0, memcmp(m_oSettings.CustomPalette, g_aoMSX1Palette, sizeof(m_oSettings.CustomPalette)));
    EXPECT_EQ(m_oSettings.ErrorDiffusionFactor, 0.8);
    EXPECT_EQ(m_oSettings.CustomInputAspectRatio, 1.0);
    EXPECT_EQ(m_oSettings.CustomOutputAspectRatio, 1.0);
    EXPECT_EQ(m_oSettings.PaletteDetailsEnhancement, 1.0);
    EXPECT_EQ(m_oSettings.Screen2DetailsEnhancement, 1.0);
    EXPECT_EQ(m_oSettings.YJKDetailsEnhancement, 1.0);
    EXPECT_EQ(m_oSettings.HShift, 0);
    EXPECT_EQ(m_oSettings.OutputWidth, 256);
    EXPECT_EQ(m_oSettings.OutputHeight, 212);
    EXPECT_EQ(m_oSettings.InputAspectRatioType, AspectRatio_Auto);
    EXPECT_EQ(m_oSettings.OutputAspectRatioType, AspectRatio_Auto);
    EXPECT_EQ(m_oSettings.ConversionType, ConversionType_PNG);
    EXPECT_EQ(m_oSettings.FitMode, FitMode_Fit);
    EXPECT_EQ(m_oSettings.InterlacedMode, 0);
    EXPECT_EQ(m_oSettings.OutputSizeType, OutputSize_Original);
    EXPECT_EQ(m_oSettings.PaletteType, PaletteType_Auto);
    EXPECT_EQ(m_oSettings.RGB2YJKMethod, RGB2YJK_AreaSearch);
    EXPECT_EQ(m_oSettings.DeltaMethod, DeltaMethod_RGB);
    EXPECT_EQ(m_oSettings.BrightnessWeight, 1.0);
    EXPECT_EQ(m_oSettings.ResizeFilter, ResizeFilter_Auto);
    EXPECT_EQ(m_oSettings.DisplayFilter, ResizeFilter_Auto);
    EXPECT_EQ(m_oSettings.Screen10Palette, 0);
    EXPECT_EQ(m_oSettings.ScreenMode, ScreenMode_Screen8);
    EXPECT_EQ(m_oSettings.YJK2RGBInterpolation, YJK2RGB_None);
    EXPECT_EQ(m_oSettings.ResourceMode, ResourceMode_Indexed);
    EXPECT_EQ(m_oSettings.ResourcePaletteSize, 16);
    EXPECT_EQ(m_oSettings.ResourceWritePalette, 1);
    EXPECT_EQ(m_oSettings.KRUBlockSize, 16384);
    EXPECT_EQ(m_oSettings.Bordercolor, 0);
    EXPECT_EQ(m_oSettings.RealMSXAspectRatio, 0);
    EXPECT_EQ(m_oSettings.SelectedColor, -1);
    EXPECT_EQ(m_oSettings.SourceBaseName[0], '\0');
    EXPECT_EQ(m_oSettings.DitheringMode, Dithering_ErrorDiffusion);
    EXPECT_EQ(m_oSettings.BayerFactor, 0.1);
    EXPECT_EQ(m_oSettings.BayerLowThreshold, 0.0);
    EXPECT_EQ(m_oSettings.BayerHighThreshold, 1.0);
}

TEST_F(SettingsTest, FreshRecordWritesNoOption)
{
    char acLine[16384];
    vWriteSettingsToString(&m_oSettings, acLine);
    EXPECT_STREQ(acLine, "qev <input_file> -of<output_file>");
}

// The default record differs from a fresh one only in its all-zero custom palette,
// padding included, since vGetDefaultSettings starts from a byte copy.
TEST_F(SettingsTest, DefaultRecordIsTheFreshRecordWithoutPalette)
{
    for (const Color& oColor : g_oDefaultSettings.CustomPalette)
        EXPECT_TRUE(oColor.r == 0 && oColor.g == 0 && oColor.b == 0 && oColor.a == 0);
    tdSettings oWithoutPalette;
    memcpy(&oWithoutPalette, &m_oSettings, sizeof(oWithoutPalette));
    memset(oWithoutPalette.CustomPalette, 0, sizeof(oWithoutPalette.CustomPalette));
    EXPECT_EQ(0, memcmp(&oWithoutPalette, &g_oDefaultSettings, sizeof(tdSettings)));
    for (char c : g_oDefaultSettings.SourceBaseName)
        ASSERT_EQ(c, '\0');
}

// ---------------------------------------------------------------------------
// Byte-wise copy and comparison

static_assert(std::is_trivially_copyable<tdSettings>::value, "tdSettings must copy byte by byte");
static_assert(std::is_standard_layout<tdSettings>::value, "tdSettings must be a plain record");

TEST_F(SettingsTest, ByteCopiesCompareEqualAndAnyFieldChangeShows)
{
    tdSettings oCopy;
    memcpy(&oCopy, &g_oDefaultSettings, sizeof(oCopy));
    EXPECT_EQ(0, memcmp(&oCopy, &g_oDefaultSettings, sizeof(oCopy)));

    tdSettings oOther;
    memcpy(&oOther, &m_oSettings, sizeof(oOther));
    EXPECT_EQ(0, memcmp(&oOther, &m_oSettings, sizeof(oOther)));
    oOther.Bordercolor = 1;
    EXPECT_NE(0, memcmp(&oOther, &m_oSettings, sizeof(oOther)));
    oOther.Bordercolor = m_oSettings.Bordercolor;
    oOther.BayerHighThreshold = 0.99;
    EXPECT_NE(0, memcmp(&oOther, &m_oSettings, sizeof(oOther)));
    oOther.BayerHighThreshold = m_oSettings.BayerHighThreshold;
    oOther.CustomPalette[15].a = 1;
    EXPECT_NE(0, memcmp(&oOther, &m_oSettings, sizeof(oOther)));
    oOther.CustomPalette[15].a = m_oSettings.CustomPalette[15].a;
    EXPECT_EQ(0, memcmp(&oOther, &m_oSettings, sizeof(oOther)));
}

// ---------------------------------------------------------------------------
// Built-in palettes, checked against their level tables: level l is the byte
// (255 l + 3) / 7 and alpha is 0.

TEST(SettingsPalettes, LevelsExpandToTheEightMSXBytes)
{
    const int aiBytes[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int l = 0; l < 8; l++)
        EXPECT_EQ((255 * l + 3) / 7, aiBytes[l]);
}

struct tdPaletteCase
{
    const char* pszName;
    const Color* poPalette;
    int aiLevels[16][3]; // red, green, blue levels
};

class SettingsPalette : public ::testing::TestWithParam<tdPaletteCase>
{
};

TEST_P(SettingsPalette, EntriesMatchTheLevelTable)
{
    const tdPaletteCase& oCase = GetParam();
    for (int i = 0; i < 16; i++)
    {
        const Color& oColor = oCase.poPalette[i];
        EXPECT_EQ(oColor.r, (255 * oCase.aiLevels[i][0] + 3) / 7) << "entry " << i;
        EXPECT_EQ(oColor.g, (255 * oCase.aiLevels[i][1] + 3) / 7) << "entry " << i;
        EXPECT_EQ(oColor.b, (255 * oCase.aiLevels[i][2] + 3) / 7) << "entry " << i;
        EXPECT_EQ(oColor.a, 0) << "entry " << i;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(BuiltIn, SettingsPalette, ::testing::Values(
    tdPaletteCase{"MSX1", g_aoMSX1Palette, {
        {0, 0, 0}, {0, 0, 0}, {2, 5, 2}, {3, 6, 3}, {2, 2, 5}, {4, 3, 7}, {5, 2, 1}, {2, 6, 7},
        {6, 3, 2}, {7, 4, 3}, {6, 6, 2}, {6, 6, 4}, {1, 4, 1}, {5, 3, 5}, {6, 6, 6}, {7, 7, 7}}},
    tdPaletteCase{"MSX2", g_aoMSX2Palette, {
        {0, 0, 0}, {0, 0, 0}, {1, 6, 1}, {3, 7, 3}, {1, 1, 7}, {2, 3, 7}, {5, 1, 1}, {2, 6, 7},
        {7, 1, 1}, {7, 3, 3}, {6, 6, 1}, {6, 6, 4}, {1, 4, 1}, {6, 2, 5}, {5, 5, 5}, {7, 7, 7}}},
    tdPaletteCase{"Grey", g_aoGreyPalette, {
        {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7},
        {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}),
    [](const ::testing::TestParamInfo<tdPaletteCase>& oInfo) { return oInfo.param.pszName; });
// clang-format on

// ---------------------------------------------------------------------------
// Derived values

TEST_F(SettingsTest, ErrorDiffusionFactorOnlyWithErrorDiffusion)
{
    for (double fFactor : {0.8, 0.0, 0.37, 1.0, -2.0})
        for (int iMode = -1; iMode <= Dithering_Count; iMode++)
        {
            m_oSettings.ErrorDiffusionFactor = fFactor;
            m_oSettings.DitheringMode = static_cast<tdDitheringMode>(iMode);
            EXPECT_EQ(fGetErrorDiffusionFactor(&m_oSettings),
                      iMode == Dithering_ErrorDiffusion ? fFactor : 0.0)
                << "mode " << iMode << ", factor " << fFactor;
        }
}

// Written from the definition: a palette travels in QEV, SR, SC and KRU files of
// Screens 2 to 7, and of Screen 10 with its palette flag.
TEST_F(SettingsTest, UsePaletteForEveryTypeScreenAndFlag)
{
    for (int iType = 0; iType < ConversionType_Count; iType++)
        for (int iScreen = 0; iScreen < ScreenMode_Count; iScreen++)
            for (unsigned char ucFlag : {0, 1})
            {
                m_oSettings.ConversionType = static_cast<tdConversionType>(iType);
                m_oSettings.ScreenMode = static_cast<tdScreenMode>(iScreen);
                m_oSettings.Screen10Palette = ucFlag;
                const bool bPaletteFile = iType == ConversionType_QEV || iType == ConversionType_SR ||
                                          iType == ConversionType_SC || iType == ConversionType_KRU;
                const bool bPalettedScreen =
                    iScreen <= ScreenMode_Screen7 || (iScreen == ScreenMode_Screen10 && ucFlag);
                EXPECT_EQ(bSettingsUsePalette(&m_oSettings), bPaletteFile && bPalettedScreen)
                    << g_apszConversionTypeNames[iType] << ", " << g_apszScreenModeNames[iScreen] << ", flag "
                    << int(ucFlag);
            }
}

TEST_F(SettingsTest, UsePaletteWorkedExamples)
{
    m_oSettings.ConversionType = ConversionType_PNG;
    m_oSettings.ScreenMode = ScreenMode_Screen5;
    EXPECT_FALSE(bSettingsUsePalette(&m_oSettings));
    m_oSettings.ConversionType = ConversionType_SC;
    EXPECT_TRUE(bSettingsUsePalette(&m_oSettings));
    m_oSettings.ScreenMode = ScreenMode_Screen10;
    m_oSettings.Screen10Palette = 0;
    EXPECT_FALSE(bSettingsUsePalette(&m_oSettings));
    m_oSettings.Screen10Palette = 1;
    EXPECT_TRUE(bSettingsUsePalette(&m_oSettings));
    m_oSettings.ScreenMode = ScreenMode_Screen8;
    EXPECT_FALSE(bSettingsUsePalette(&m_oSettings));
    m_oSettings.ScreenMode = ScreenMode_Screen12;
    EXPECT_FALSE(bSettingsUsePalette(&m_oSettings));
}

TEST_F(SettingsTest, InterlacedForEveryTypeScreenAndFlag)
{
    for (int iType = 0; iType < ConversionType_Count; iType++)
        for (int iScreen = 0; iScreen < ScreenMode_Count; iScreen++)
            for (unsigned char ucFlag : {0, 1})
            {
                m_oSettings.ConversionType = static_cast<tdConversionType>(iType);
                m_oSettings.ScreenMode = static_cast<tdScreenMode>(iScreen);
                m_oSettings.InterlacedMode = ucFlag;
                const bool bScreenFile = iType == ConversionType_QEV || iType == ConversionType_SR ||
                                         iType == ConversionType_SC || iType == ConversionType_KRU;
                EXPECT_EQ(bSettingsInterlaced(&m_oSettings),
                          bScreenFile && iScreen >= ScreenMode_Screen5 && ucFlag)
                    << g_apszConversionTypeNames[iType] << ", " << g_apszScreenModeNames[iScreen] << ", flag "
                    << int(ucFlag);
            }
}

TEST_F(SettingsTest, OutputSizeOfFreeSizeTypes)
{
    // clang-format off
    const int aiSizes[OutputSize_Count][2] = {
        // by OutputSizeType: Custom (the record's 300 x 200), Original (the automatic 123 x 45), fixed sizes
        {300, 200}, {123, 45}, {256, 192}, {256, 212}, {512, 424}, {640, 480}, {800, 600}, {1024, 768},
    };
    // clang-format on
    m_oSettings.OutputWidth = 300;
    m_oSettings.OutputHeight = 200;
    vSetOutputAutoSize(123, 45);
    for (tdConversionType eType : {ConversionType_PNG, ConversionType_RAW, ConversionType_RES})
        for (int iSize = 0; iSize < OutputSize_Count; iSize++)
        {
            m_oSettings.ConversionType = eType;
            m_oSettings.OutputSizeType = static_cast<tdOutputSizeType>(iSize);
            int iWidth = -1;
            int iHeight = -1;
            vGetOutputAutoSize(&m_oSettings, &iWidth, &iHeight);
            EXPECT_EQ(iWidth, aiSizes[iSize][0])
                << g_apszConversionTypeNames[eType] << ", size type " << iSize;
            EXPECT_EQ(iHeight, aiSizes[iSize][1])
                << g_apszConversionTypeNames[eType] << ", size type " << iSize;
        }
}

TEST_F(SettingsTest, OutputSizeOfScreenTypesIsZero)
{
    for (tdConversionType eType :
         {ConversionType_QEV, ConversionType_SR, ConversionType_SC, ConversionType_SPR, ConversionType_KRU})
        for (int iSize : {0, 1, 4, 7, 8, -1})
        {
            m_oSettings.ConversionType = eType;
            m_oSettings.OutputSizeType = static_cast<tdOutputSizeType>(iSize);
            int iWidth = -1;
            int iHeight = -1;
            vGetOutputAutoSize(&m_oSettings, &iWidth, &iHeight);
            EXPECT_EQ(iWidth, 0);
            EXPECT_EQ(iHeight, 0);
        }
}

TEST_F(SettingsTest, OutputSizeTypeOutOfRangeLeavesTheSizeAlone)
{
    for (int iSize : {-1, int(OutputSize_Count), 1000, -2147483647 - 1})
    {
        m_oSettings.ConversionType = ConversionType_PNG;
        m_oSettings.OutputSizeType = static_cast<tdOutputSizeType>(iSize);
        int iWidth = 77;
        int iHeight = 88;
        vGetOutputAutoSize(&m_oSettings, &iWidth, &iHeight);
        EXPECT_EQ(iWidth, 77) << iSize;
        EXPECT_EQ(iHeight, 88) << iSize;
    }
}

TEST_F(SettingsTest, OriginalFollowsTheLastAutomaticSize)
{
    m_oSettings.ConversionType = ConversionType_PNG;
    m_oSettings.OutputSizeType = OutputSize_Original;
    int iWidth = 0;
    int iHeight = 0;
    vSetOutputAutoSize(640, 400);
    vGetOutputAutoSize(&m_oSettings, &iWidth, &iHeight);
    EXPECT_EQ(iWidth, 640);
    EXPECT_EQ(iHeight, 400);
    vSetOutputAutoSize(17, 19);
    EXPECT_EQ(g_iOutputAutoWidth, 17);
    EXPECT_EQ(g_iOutputAutoHeight, 19);
    vGetOutputAutoSize(&m_oSettings, &iWidth, &iHeight);
    EXPECT_EQ(iWidth, 17);
    EXPECT_EQ(iHeight, 19);
}

// ---------------------------------------------------------------------------
// Aspect ratios

struct tdRatioRow
{
    tdAspectRatioType eType;
    double fNominal;
    double fReal;
};

// clang-format off
const tdRatioRow g_aoRatios[] = {
    // type                   nominal        real MSX
    {AspectRatio_60Hz,        53.0 / 48.0,   1.138},
    {AspectRatio_50Hz,        53.0 / 40.0,   1.3656},
    {AspectRatio_1to1,        1.0,           1.0},
    {AspectRatio_60HzIL,      53.0 / 24.0,   2.276},
    {AspectRatio_60HzHR,      53.0 / 96.0,   0.569},
    {AspectRatio_50HzIL,      53.0 / 20.0,   2.7312},
    {AspectRatio_50HzHR,      53.0 / 80.0,   0.6828},
};
// clang-format on

TEST_F(SettingsTest, FixedRatiosNominalAndReal)
{
    for (const tdRatioRow& oRow : g_aoRatios)
        for (unsigned char ucReal : {0, 1})
        {
            m_oSettings.RealMSXAspectRatio = ucReal;
            m_oSettings.InputAspectRatioType = oRow.eType;
            m_oSettings.OutputAspectRatioType = oRow.eType;
            double fInput = -1.0;
            double fOutput = -1.0;
            vGetInputAspectRatio(&m_oSettings, &fInput);
            vGetOutputAspectRatio(&m_oSettings, &fOutput);
            const double fExpected = ucReal ? oRow.fReal : oRow.fNominal;
            EXPECT_EQ(fInput, fExpected)
                << g_apszAspectRatioTypeNames[oRow.eType] << ", real " << int(ucReal);
            EXPECT_EQ(fOutput, fExpected)
                << g_apszAspectRatioTypeNames[oRow.eType] << ", real " << int(ucReal);
        }
}

TEST_F(SettingsTest, NominalRatiosAreTheDoublesNearestTheFractions)
{
    m_oSettings.InputAspectRatioType = AspectRatio_60Hz;
    double fRatio = 0.0;
    vGetInputAspectRatio(&m_oSettings, &fRatio);
    EXPECT_EQ(fRatio, 1.1041666666666667);
    m_oSettings.InputAspectRatioType = AspectRatio_60HzHR;
    vGetInputAspectRatio(&m_oSettings, &fRatio);
    EXPECT_EQ(fRatio, 0.55208333333333337);
}

TEST_F(SettingsTest, MSXRatioIsThe60HzRatio)
{
    m_oSettings.RealMSXAspectRatio = 0;
    EXPECT_EQ(fGetMSXAspectRatio(&m_oSettings), 53.0 / 48.0);
    m_oSettings.RealMSXAspectRatio = 1;
    EXPECT_EQ(fGetMSXAspectRatio(&m_oSettings), 1.138);
}

TEST_F(SettingsTest, AutoAndCustomRatios)
{
    for (unsigned char ucReal : {0, 1})
    {
        m_oSettings.RealMSXAspectRatio = ucReal;
        m_oSettings.CustomInputAspectRatio = 1.75;
        m_oSettings.CustomOutputAspectRatio = 0.625;
        vSetInputAutoAspectRatio(1.2);
        vSetOutputAutoAspectRatio(0.9);
        EXPECT_EQ(g_fInputAutoAspectRatio, 1.2);
        EXPECT_EQ(g_fOutputAutoAspectRatio, 0.9);
        double fInput = 0.0;
        double fOutput = 0.0;
        m_oSettings.InputAspectRatioType = AspectRatio_Auto;
        m_oSettings.OutputAspectRatioType = AspectRatio_Auto;
        vGetInputAspectRatio(&m_oSettings, &fInput);
        vGetOutputAspectRatio(&m_oSettings, &fOutput);
        EXPECT_EQ(fInput, 1.2);
        EXPECT_EQ(fOutput, 0.9);
        m_oSettings.InputAspectRatioType = AspectRatio_Custom;
        m_oSettings.OutputAspectRatioType = AspectRatio_Custom;
        vGetInputAspectRatio(&m_oSettings, &fInput);
        vGetOutputAspectRatio(&m_oSettings, &fOutput);
        EXPECT_EQ(fInput, 1.75);
        EXPECT_EQ(fOutput, 0.625);
    }
}

TEST_F(SettingsTest, RatioTypeOutOfRangeLeavesTheRatioAlone)
{
    for (int iType : {-1, int(AspectRatio_Count), 100, -2147483647 - 1, 2147483647})
        for (unsigned char ucReal : {0, 1})
        {
            m_oSettings.RealMSXAspectRatio = ucReal;
            m_oSettings.InputAspectRatioType = static_cast<tdAspectRatioType>(iType);
            m_oSettings.OutputAspectRatioType = static_cast<tdAspectRatioType>(iType);
            double fInput = 3.25;
            double fOutput = 4.5;
            vGetInputAspectRatio(&m_oSettings, &fInput);
            vGetOutputAspectRatio(&m_oSettings, &fOutput);
            EXPECT_EQ(fInput, 3.25) << iType;
            EXPECT_EQ(fOutput, 4.5) << iType;
        }
}

TEST(SettingsSaneRatio, KeepsFinitePositiveValuesAndReplacesTheRest)
{
    const double fInf = std::numeric_limits<double>::infinity();
    for (double f : {1.0, 0.5, 53.0 / 48.0, 1e-300, 4.9e-324, 1e300})
        EXPECT_EQ(fSaneAspectRatio(f), f) << f;
    for (double f : {0.0, -0.0, -1.0, -1e-300, fInf, -fInf, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(fSaneAspectRatio(f), 1.0) << f;
}

// ---------------------------------------------------------------------------
// Selection-box texts: one per value, in value order.

TEST(SettingsNames, TextsOfTheSelectionBoxes)
{
    EXPECT_STREQ(g_apszScreenModeNames[ScreenMode_Screen2], "Screen 2");
    EXPECT_STREQ(g_apszScreenModeNames[ScreenMode_Screen12], "Screen 12");
    EXPECT_STREQ(g_apszConversionTypeNames[ConversionType_KRU], "KRU");
    EXPECT_STREQ(g_apszConversionTypeNames[ConversionType_RES], "RES");
    EXPECT_STREQ(g_apszPaletteTypeNames[PaletteType_Grey], "Grey");
    EXPECT_STREQ(g_apszDeltaMethodNames[DeltaMethod_Hit9918], "Hit9918");
    EXPECT_STREQ(g_apszFitModeNames[FitMode_CropHeight], "Crop height");
    EXPECT_STREQ(g_apszResizeFilterNames[ResizeFilter_Bicubic], "Bicubic");
    EXPECT_STREQ(g_apszRGB2YJKMethodNames[RGB2YJK_AreaSearch], "Area search");
    EXPECT_STREQ(g_apszYJK2RGBInterpolationNames[YJK2RGB_Lanczos3], "Lanczos3");
    EXPECT_STREQ(g_apszAspectRatioTypeNames[AspectRatio_1to1], "1:1");
    EXPECT_STREQ(g_apszAspectRatioTypeNames[AspectRatio_50HzHR], "50Hz HR");
    EXPECT_STREQ(g_apszOutputSizeTypeNames[OutputSize_Original], "Original");
    EXPECT_STREQ(g_apszOutputSizeTypeNames[OutputSize_1024x768], "1024x768");
    EXPECT_STREQ(g_apszDitheringModeNames[Dithering_Bayer8x8], "Bayer 8x8");
}

} // namespace
