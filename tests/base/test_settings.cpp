// The settings record and its command-line form. Oracles: the documented option table typed
// in below (never read from the product's table), palettes as level strings, the documented
// sizes, ratios and command-line examples. (The app tests check the selection-box texts.)

#include "qev/base/settings.h"
#include "qev/base/settings_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace
{

// clang-format off
// Option, type, field, documented default, another value that "%d" or "%lg" writes exactly so;
// in writing order (left to right, then down), which is also the order parsing tests them.
struct tdOptionRow { const char* pszOption; tdOptionType eType; size_t uiOffset; const char* pszDefault; const char* pszValue; };
#define QEV_ROW(text, type, field, def, value) {text, OptionType_##type, offsetof(tdSettings, field), def, value}
const tdOptionRow g_aoOptions[] = {
    QEV_ROW("-bc",    Byte,    Bordercolor,                "0",     "200"),      QEV_ROW("-bw",    Double,  BrightnessWeight,           "1",     "0.25"),
    QEV_ROW("-ciar",  Double,  CustomInputAspectRatio,     "1",     "1.5"),      QEV_ROW("-coar",  Double,  CustomOutputAspectRatio,    "1",     "0.75"),
    QEV_ROW("-ct",    Int,     ConversionType,             "0",     "3"),        QEV_ROW("-df",    Int,     DisplayFilter,              "0",     "4"),
    QEV_ROW("-dem",   Int,     DeltaMethod,                "0",     "5"),        QEV_ROW("-ed",    Double,  ErrorDiffusionFactor,       "0.8",   "0.333333"),
    QEV_ROW("-fm",    Int,     FitMode,                    "1",     "2"),        QEV_ROW("-hs",    Int,     HShift,                     "0",     "-12"),
    QEV_ROW("-iart",  Int,     InputAspectRatioType,       "0",     "1"),        QEV_ROW("-im",    Byte,    InterlacedMode,             "0",     "1"),
    QEV_ROW("-mbs",   Int,     KRUBlockSize,               "16384", "4096"),     QEV_ROW("-oart",  Int,     OutputAspectRatioType,      "0",     "8"),
    QEV_ROW("-oh",    Int,     OutputHeight,               "212",   "480"),      QEV_ROW("-ost",   Int,     OutputSizeType,             "1",     "0"),
    QEV_ROW("-ow",    Int,     OutputWidth,                "256",   "640"),      QEV_ROW("-pde",   Double,  PaletteDetailsEnhancement,  "1",     "2.5"),
    QEV_ROW("-pt",    Int,     PaletteType,                "0",     "4"),        QEV_ROW("-r2y",   Int,     RGB2YJKMethod,              "3",     "1"),
    QEV_ROW("-rf",    Int,     ResizeFilter,               "0",     "3"),        QEV_ROW("-rm",    Int,     ResourceMode,               "0",     "2"),
    QEV_ROW("-rps",   Int,     ResourcePaletteSize,        "16",    "4"),        QEV_ROW("-rwp",   Byte,    ResourceWritePalette,       "1",     "0"),
    QEV_ROW("-s10p",  Byte,    Screen10Palette,            "0",     "1"),        QEV_ROW("-s2de",  Double,  Screen2DetailsEnhancement,  "1",     "3"),
    QEV_ROW("-sm",    Int,     ScreenMode,                 "5",     "2"),        QEV_ROW("-y2r",   Int,     YJK2RGBInterpolation,       "0",     "3"),
    QEV_ROW("-yde",   Double,  YJKDetailsEnhancement,      "1",     "1e-05"),    QEV_ROW("-mra",   Byte,    RealMSXAspectRatio,         "0",     "1"),
    QEV_ROW("-dim",   Int,     DitheringMode,              "1",     "4"),        QEV_ROW("-bf",    Double,  BayerFactor,                "0.1",   "0.25"),
    QEV_ROW("-blt",   Double,  BayerLowThreshold,          "0",     "0.3"),      QEV_ROW("-bht",   Double,  BayerHighThreshold,         "1",     "0.5"),
    QEV_ROW("-tl",    Int,     TileLimit,                  "0",     "64"),       QEV_ROW("-tsb",   Byte,    TileSharedBank,             "0",     "1"),
};
#undef QEV_ROW
// clang-format on

const char* const g_pszMSX1Levels = "000000252363225437521267632743662664141535666777";

std::string sLine(const tdSettings& oSettings)
{
    static char s_acLine[16384];
    vWriteSettingsToString(&oSettings, s_acLine);
    return s_acLine;
}

// Sets the row's field to the number in pszText, as the documented parser would.
void vSetField(tdSettings* poSettings, const tdOptionRow& oRow, const char* pszText)
{
    unsigned char* puc = reinterpret_cast<unsigned char*>(poSettings) + oRow.uiOffset;
    const double fValue = atof(pszText);
    const int32_t iValue = atoi(pszText);
    if (oRow.eType == OptionType_Double) memcpy(puc, &fValue, sizeof(fValue));
    if (oRow.eType == OptionType_Byte) *puc = static_cast<unsigned char>(iValue);
    if (oRow.eType == OptionType_Int) memcpy(puc, &iValue, sizeof(iValue));
}

// Level l is the byte (255 l + 3) / 7; alpha stays as it is (0).
void vSetLevels(Color* poPalette, const char* pszLevels)
{
    const unsigned char aucBytes[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int i = 0; i < 48; i++)
        reinterpret_cast<unsigned char*>(poPalette)[i / 3 * 4 + i % 3] = aucBytes[pszLevels[i] - '0'];
}

TEST(Settings, DefaultsOptionsAndPalettes)
{
    tdSettings oExpected, oFresh;
    memset(&oExpected, 0, sizeof(oExpected));
    for (const tdOptionRow& oRow : g_aoOptions)
        vSetField(&oExpected, oRow, oRow.pszDefault);
    oExpected.SelectedColor = -1;
    // The default record has an all-zero custom palette, a fresh record the MSX1 one.
    EXPECT_EQ(0, memcmp(&oExpected, &g_oDefaultSettings, sizeof(oExpected)));
    memset(&oFresh, 0xA5, sizeof(oFresh));
    vGetDefaultSettings(&oFresh);
    vSetLevels(oExpected.CustomPalette, g_pszMSX1Levels);
    EXPECT_EQ(0, memcmp(&oExpected, &oFresh, sizeof(oExpected)));
    EXPECT_EQ(sLine(oFresh), "qev <input_file> -of<output_file>");
    // Each option alone: parsing sets its field only, writing gives exactly that option,
    // and the field set back to its default removes it. All of them: all written in order.
    std::string sAll;
    for (const tdOptionRow& oRow : g_aoOptions)
    {
        const std::string sArgument = std::string(oRow.pszOption) + oRow.pszValue;
        tdSettings oParsed;
        vGetDefaultSettings(&oParsed);
        vGetDefaultSettings(&oExpected);
        vSetField(&oExpected, oRow, oRow.pszValue);
        EXPECT_TRUE(bGetSettingsFromString(&oParsed, sArgument.c_str())) << sArgument;
        EXPECT_EQ(0, memcmp(&oExpected, &oParsed, sizeof(oExpected))) << sArgument;
        EXPECT_EQ(sLine(oParsed), "qev <input_file> " + sArgument + " -of<output_file>");
        vSetField(&oParsed, oRow, oRow.pszDefault);
        EXPECT_EQ(sLine(oParsed), "qev <input_file> -of<output_file>") << sArgument;
        EXPECT_TRUE(bGetSettingsFromString(&oFresh, sArgument.c_str()));
        sAll += " " + sArgument;
    }
    EXPECT_EQ(sLine(oFresh), "qev <input_file>" + sAll + " -of<output_file>");
    const std::pair<const Color*, const char*> aoPalettes[] = {
        {g_aoMSX1Palette, g_pszMSX1Levels},
        {g_aoMSX2Palette, "000000161373117237511267711733661664141625555777"},
        {g_aoGreyPalette, "000111222333444555666777000000000000000000000000"}};
    for (const auto& oPalette : aoPalettes)
    {
        Color aoExpected[16] = {};
        vSetLevels(aoExpected, oPalette.second);
        EXPECT_EQ(0, memcmp(aoExpected, oPalette.first, sizeof(aoExpected))) << oPalette.second;
    }
}

// Derived values from the documented rules. Custom size is the record's 300 x 200, Original
// the automatic 123 x 45; ratios (input, output; nominal, real) for types -1 to 9, Auto and
// Custom from the automatic values and custom fields; unknown types leave 77 x 88, 3.25, 4.5.
TEST(Settings, DerivedValues)
{
    // clang-format off
    const int aiSizes[][2] = {{77, 88}, {300, 200}, {123, 45}, {256, 192}, {256, 212}, {512, 424}, {640, 480}, {800, 600}, {1024, 768}, {77, 88}};
    const double aafRatios[4][11] = {{3.25, 1.2, 1.75,  53.0 / 48, 53.0 / 40, 1.0, 53.0 / 24, 53.0 / 96, 53.0 / 20, 53.0 / 80, 3.25},
                                     {4.5,  0.9, 0.625, 53.0 / 48, 53.0 / 40, 1.0, 53.0 / 24, 53.0 / 96, 53.0 / 20, 53.0 / 80, 4.5},
                                     {3.25, 1.2, 1.75,  1.138,     1.3656,    1.0, 2.276,     0.569,     2.7312,    0.6828,    3.25},
                                     {4.5,  0.9, 0.625, 1.138,     1.3656,    1.0, 2.276,     0.569,     2.7312,    0.6828,    4.5}};
    // clang-format on
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (const char* pszArgument : {"-ow300", "-oh200", "-ciar1.75", "-coar0.625"})
        bGetSettingsFromString(&oSettings, pszArgument);
    vSetOutputAutoSize(123, 45);
    vSetInputAutoAspectRatio(1.2);
    vSetOutputAutoAspectRatio(0.9);
    for (int iType = 0; iType < ConversionType_Count; iType++)
    {
        oSettings.ConversionType = static_cast<tdConversionType>(iType);
        oSettings.DitheringMode = static_cast<tdDitheringMode>(iType % Dithering_Count); // all five modes
        EXPECT_EQ(fGetErrorDiffusionFactor(&oSettings), iType % Dithering_Count == 1 ? 0.8 : 0.0) << iType;
        // QEV, SR, SC, KRU, ROM (types 1, 2, 3, 6, 8): a palette for Screens 2 to 7 and 4 (10
        // with its flag), interlacing for 5 to 12 (modes 2..7). PNG, RAW, RES (0, 5, 7) are
        // free-size.
        const bool bScreenFile = 0x14E >> iType & 1, bFreeSize = 0xA1 >> iType & 1;
        for (int i = 0; i < ScreenMode_Count * 2; i++)
        {
            const int iScreen = i % ScreenMode_Count, iFlag = i / ScreenMode_Count;
            oSettings.ScreenMode = static_cast<tdScreenMode>(iScreen);
            oSettings.Screen10Palette = oSettings.InterlacedMode = static_cast<unsigned char>(iFlag);
            EXPECT_EQ(bSettingsUsePalette(&oSettings),
                      bScreenFile && (iScreen <= 4 || iScreen == 8 || (iScreen == 6 && iFlag)));
            EXPECT_EQ(bSettingsInterlaced(&oSettings), bScreenFile && iScreen >= 2 && iScreen <= 7 && iFlag)
                << iType << ", " << i;
        }
        for (int iSize = -1; iSize <= OutputSize_Count; iSize++)
        {
            oSettings.OutputSizeType = static_cast<tdOutputSizeType>(iSize);
            int aiResult[2] = {77, 88};
            vGetOutputAutoSize(&oSettings, &aiResult[0], &aiResult[1]);
            EXPECT_TRUE(aiResult[0] == aiSizes[iSize + 1][0] * bFreeSize &&
                        aiResult[1] == aiSizes[iSize + 1][1] * bFreeSize)
                << iType << ", " << iSize;
        }
    }
    for (int i = 0; i < 2 * 11; i++)
    {
        const int iReal = i / 11, iType = i % 11 - 1;
        oSettings.RealMSXAspectRatio = static_cast<unsigned char>(iReal);
        oSettings.InputAspectRatioType = oSettings.OutputAspectRatioType =
            static_cast<tdAspectRatioType>(iType);
        double afResult[2] = {3.25, 4.5};
        vGetInputAspectRatio(&oSettings, &afResult[0]);
        vGetOutputAspectRatio(&oSettings, &afResult[1]);
        EXPECT_TRUE(afResult[0] == aafRatios[2 * iReal][iType + 1] &&
                    afResult[1] == aafRatios[2 * iReal + 1][iType + 1])
            << iType << ", real " << iReal;
    }
    EXPECT_EQ(fGetMSXAspectRatio(&oSettings), 1.138);
    oSettings.RealMSXAspectRatio = 0;
    EXPECT_EQ(fGetMSXAspectRatio(&oSettings), 1.1041666666666667);
    for (double f : {0.0, -2.0, HUGE_VAL, std::nan(""), 1e-300})
        EXPECT_EQ(fSaneAspectRatio(f), f == 1e-300 ? f : 1.0) << f;
}

TEST(SettingsString, WorkedExamples)
{
    tdSettings oSettings, oBefore;
    vGetDefaultSettings(&oSettings);
    oSettings.BrightnessWeight = std::nan(""); // a NaN counts as different
    oSettings.ErrorDiffusionFactor = 1.0 / 3.0;
    EXPECT_EQ(sLine(oSettings), "qev <input_file> -bwnan -ed0.333333 -of<output_file>");
    EXPECT_TRUE(bGetSettingsFromString(&oSettings, "-SM3") && oSettings.ScreenMode == 3);
    EXPECT_TRUE(bGetSettingsFromString(&oSettings, "-ed") && oSettings.ErrorDiffusionFactor == 0.0);
    // Byte fields keep the low 8 bits.
    EXPECT_TRUE(bGetSettingsFromString(&oSettings, "-bc300") && bGetSettingsFromString(&oSettings, "-im257"));
    EXPECT_EQ(sLine(oSettings), "qev <input_file> -bc44 -bwnan -ed0 -im1 -sm3 -of<output_file>");
    EXPECT_TRUE(bGetSettingsFromString(&oSettings, "-ow12abc") && oSettings.OutputWidth == 12);
    memcpy(&oBefore, &oSettings, sizeof(oBefore));
    for (const char* pszArgument : {"-of<output_file>", "", "-", "sm3", "-s", " -sm3", "<input_file>"})
        EXPECT_FALSE(bGetSettingsFromString(&oSettings, pszArgument)) << "'" << pszArgument << "'";
    EXPECT_EQ(0, memcmp(&oBefore, &oSettings, sizeof(oBefore)));
}

} // namespace
