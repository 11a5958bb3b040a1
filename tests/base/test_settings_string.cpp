// Tests of the command-line form of a settings record: the option table, the
// worked examples of writing and parsing, and write-then-parse round trips of
// random records.

#include "qev/base/settings.h"
#include "qev/base/settings_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace
{

// The option table as the command line documents it, in writing order, with the
// range of values a real record holds in each field (used by the round trips).
struct tdExpectedOption
{
    const char* pszOption;
    tdOptionType eType;
    size_t uiOffset;
    const char* pszField;
    double fMin;
    double fMax;
};

#define QEV_EXPECT(text, type, field, min, max)                                                              \
    {                                                                                                        \
        text, type, offsetof(tdSettings, field), #field, min, max                                            \
    }

// clang-format off
const tdExpectedOption g_aoExpectedOptions[] = {
    //         option   value               field                      range of a real record
    QEV_EXPECT("-bc",   OptionType_Byte,   Bordercolor,               0,     255),
    QEV_EXPECT("-bw",   OptionType_Double, BrightnessWeight,          0.0,   4.0),
    QEV_EXPECT("-ciar", OptionType_Double, CustomInputAspectRatio,    0.1,   4.0),
    QEV_EXPECT("-coar", OptionType_Double, CustomOutputAspectRatio,   0.1,   4.0),
    QEV_EXPECT("-ct",   OptionType_Int,    ConversionType,            0,     ConversionType_Count - 1),
    QEV_EXPECT("-df",   OptionType_Int,    DisplayFilter,             0,     ResizeFilter_Count - 1),
    QEV_EXPECT("-dem",  OptionType_Int,    DeltaMethod,               0,     DeltaMethod_Count - 1),
    QEV_EXPECT("-ed",   OptionType_Double, ErrorDiffusionFactor,      0.0,   1.0),
    QEV_EXPECT("-fm",   OptionType_Int,    FitMode,                   0,     FitMode_Count - 1),
    QEV_EXPECT("-hs",   OptionType_Int,    HShift,                    -8192, 8192),
    QEV_EXPECT("-iart", OptionType_Int,    InputAspectRatioType,      0,     AspectRatio_Count - 1),
    QEV_EXPECT("-im",   OptionType_Byte,   InterlacedMode,            0,     1),
    QEV_EXPECT("-mbs",  OptionType_Int,    KRUBlockSize,              1,     65536),
    QEV_EXPECT("-oart", OptionType_Int,    OutputAspectRatioType,     0,     AspectRatio_Count - 1),
    QEV_EXPECT("-oh",   OptionType_Int,    OutputHeight,              1,     16384),
    QEV_EXPECT("-ost",  OptionType_Int,    OutputSizeType,            0,     OutputSize_Count - 1),
    QEV_EXPECT("-ow",   OptionType_Int,    OutputWidth,               1,     16384),
    QEV_EXPECT("-pde",  OptionType_Double, PaletteDetailsEnhancement, 0.0,   4.0),
    QEV_EXPECT("-pt",   OptionType_Int,    PaletteType,               0,     PaletteType_Count - 1),
    QEV_EXPECT("-r2y",  OptionType_Int,    RGB2YJKMethod,             0,     RGB2YJK_Count - 1),
    QEV_EXPECT("-rf",   OptionType_Int,    ResizeFilter,              0,     ResizeFilter_Count - 1),
    QEV_EXPECT("-rm",   OptionType_Int,    ResourceMode,              0,     ResourceMode_Count - 1),
    QEV_EXPECT("-rps",  OptionType_Int,    ResourcePaletteSize,       1,     16),
    QEV_EXPECT("-rwp",  OptionType_Byte,   ResourceWritePalette,      0,     1),
    QEV_EXPECT("-s10p", OptionType_Byte,   Screen10Palette,           0,     1),
    QEV_EXPECT("-s2de", OptionType_Double, Screen2DetailsEnhancement, 0.0,   4.0),
    QEV_EXPECT("-sm",   OptionType_Int,    ScreenMode,                0,     ScreenMode_Count - 1),
    QEV_EXPECT("-y2r",  OptionType_Int,    YJK2RGBInterpolation,      0,     YJK2RGB_Count - 1),
    QEV_EXPECT("-yde",  OptionType_Double, YJKDetailsEnhancement,     0.0,   4.0),
    QEV_EXPECT("-mra",  OptionType_Byte,   RealMSXAspectRatio,        0,     1),
    QEV_EXPECT("-dim",  OptionType_Int,    DitheringMode,             0,     Dithering_Count - 1),
    QEV_EXPECT("-bf",   OptionType_Double, BayerFactor,               0.0,   1.0),
    QEV_EXPECT("-blt",  OptionType_Double, BayerLowThreshold,         0.0,   1.0),
    QEV_EXPECT("-bht",  OptionType_Double, BayerHighThreshold,        0.0,   1.0),
};
// clang-format on

#undef QEV_EXPECT

constexpr int g_iExpectedOptionCount = sizeof(g_aoExpectedOptions) / sizeof(g_aoExpectedOptions[0]);

const char* const g_pszStart = "qev <input_file>";
const char* const g_pszEnd = " -of<output_file>";

std::string sWrite(const tdSettings& oSettings)
{
    std::vector<char> acLine(16384, '\0');
    vWriteSettingsToString(&oSettings, acLine.data());
    return std::string(acLine.data());
}

std::vector<std::string> asSplitOnBlanks(const std::string& sLine)
{
    std::vector<std::string> asWords;
    std::istringstream oStream(sLine);
    std::string sWord;
    while (oStream >> sWord)
        asWords.push_back(sWord);
    return asWords;
}

int32_t iIntField(const tdSettings& oSettings, size_t uiOffset)
{
    int32_t i;
    memcpy(&i, reinterpret_cast<const unsigned char*>(&oSettings) + uiOffset, sizeof(i));
    return i;
}

double fDoubleField(const tdSettings& oSettings, size_t uiOffset)
{
    double f;
    memcpy(&f, reinterpret_cast<const unsigned char*>(&oSettings) + uiOffset, sizeof(f));
    return f;
}

unsigned char ucByteField(const tdSettings& oSettings, size_t uiOffset)
{
    return reinterpret_cast<const unsigned char*>(&oSettings)[uiOffset];
}

class SettingsString : public ::testing::Test
{
protected:
    tdSettings m_oSettings;

    void SetUp() override { vGetDefaultSettings(&m_oSettings); }

    // Applies one argument and checks that the record stays unchanged when it is
    // refused.
    bool bApply(const char* pszArgument)
    {
        tdSettings oBefore;
        memcpy(&oBefore, &m_oSettings, sizeof(oBefore));
        const bool bMatched = bGetSettingsFromString(&m_oSettings, pszArgument);
        if (!bMatched)
        {
            EXPECT_EQ(0, memcmp(&oBefore, &m_oSettings, sizeof(oBefore))) << pszArgument;
        }
        return bMatched;
    }
};

// ---------------------------------------------------------------------------
// The option table

TEST(SettingsOptions, TableMatchesTheDocumentedOptionsInOrder)
{
    ASSERT_EQ(g_iSettingsOptionCount, g_iExpectedOptionCount);
    for (int i = 0; i < g_iExpectedOptionCount; i++)
    {
        const tdSettingsOption& oOption = g_aoSettingsOptions[i];
        const tdExpectedOption& oExpected = g_aoExpectedOptions[i];
        EXPECT_STREQ(oOption.pszOption, oExpected.pszOption) << "row " << i;
        EXPECT_EQ(oOption.eType, oExpected.eType) << oExpected.pszOption;
        EXPECT_EQ(oOption.uiOffset, oExpected.uiOffset) << oExpected.pszOption;
        EXPECT_STREQ(oOption.pszField, oExpected.pszField) << oExpected.pszOption;
    }
}

// An option that is a prefix of a later one would catch that one's arguments.
TEST(SettingsOptions, NoOptionShadowsALaterOne)
{
    for (int i = 0; i < g_iSettingsOptionCount; i++)
        for (int j = i + 1; j < g_iSettingsOptionCount; j++)
        {
            const char* pszEarlier = g_aoSettingsOptions[i].pszOption;
            const char* pszLater = g_aoSettingsOptions[j].pszOption;
            EXPECT_NE(0, strncasecmp(pszLater, pszEarlier, strlen(pszEarlier)))
                << pszEarlier << " shadows " << pszLater;
        }
}

TEST(SettingsOptions, EveryOptionIsFoundByItsOwnTextInEitherCase)
{
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        std::string sArgument = std::string(oOption.pszOption) + "1";
        EXPECT_EQ(poFindSettingsOption(sArgument.c_str()), &oOption) << sArgument;
        for (char& c : sArgument)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(poFindSettingsOption(sArgument.c_str()), &oOption) << sArgument;
    }
    EXPECT_EQ(poFindSettingsOption("-of<output_file>"), nullptr);
    EXPECT_EQ(poFindSettingsOption(""), nullptr);
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(SettingsString, DefaultRecordGivesOnlyTheFileNames)
{
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -of<output_file>");
    // The custom palette, the selection and the base name have no option.
    m_oSettings.CustomPalette[3].g = 99;
    m_oSettings.SelectedColor = 7;
    strcpy(m_oSettings.SourceBaseName, "picture");
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -of<output_file>");
}

TEST_F(SettingsString, OptionsFollowTableOrder)
{
    m_oSettings.ScreenMode = ScreenMode_Screen5;
    m_oSettings.ConversionType = ConversionType_SC;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -ct3 -sm2 -of<output_file>");
    m_oSettings.BayerHighThreshold = 0.5;
    m_oSettings.Bordercolor = 200;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -bc200 -ct3 -sm2 -bht0.5 -of<output_file>");
}

TEST_F(SettingsString, DoublesKeepSixSignificantDigits)
{
    m_oSettings.ErrorDiffusionFactor = 0.75;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -ed0.75 -of<output_file>");
    m_oSettings.ErrorDiffusionFactor = 1.0 / 3.0;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -ed0.333333 -of<output_file>");
    m_oSettings.ErrorDiffusionFactor = 1234567.0;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -ed1.23457e+06 -of<output_file>");
}

TEST_F(SettingsString, SettingAFieldBackToItsDefaultRemovesItsOption)
{
    m_oSettings.FitMode = FitMode_Crop;
    m_oSettings.BayerFactor = 0.25;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -fm2 -bf0.25 -of<output_file>");
    m_oSettings.FitMode = g_oDefaultSettings.FitMode;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -bf0.25 -of<output_file>");
    m_oSettings.BayerFactor = g_oDefaultSettings.BayerFactor;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -of<output_file>");
}

TEST_F(SettingsString, NaNCountsAsDifferent)
{
    m_oSettings.BrightnessWeight = std::numeric_limits<double>::quiet_NaN();
    const std::string sLine = sWrite(m_oSettings);
    EXPECT_NE(sLine.find(" -bw"), std::string::npos) << sLine;
    EXPECT_EQ(asSplitOnBlanks(sLine).size(), 4u) << sLine;
}

TEST_F(SettingsString, NegativeIntegersAndBytesAreWrittenAsNumbers)
{
    m_oSettings.HShift = -12;
    m_oSettings.Bordercolor = 255;
    EXPECT_EQ(sWrite(m_oSettings), "qev <input_file> -bc255 -hs-12 -of<output_file>");
}

// Every option at once, with the longest values each type can write.
TEST_F(SettingsString, LongestLineFitsTheBuffer)
{
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        unsigned char* puc = reinterpret_cast<unsigned char*>(&m_oSettings) + oOption.uiOffset;
        if (oOption.eType == OptionType_Int)
        {
            const int32_t iValue = std::numeric_limits<int32_t>::min();
            memcpy(puc, &iValue, sizeof(iValue));
        }
        else if (oOption.eType == OptionType_Byte)
        {
            *puc = static_cast<unsigned char>(*puc == 255 ? 254 : 255);
        }
        else
        {
            const double fValue = -std::numeric_limits<double>::denorm_min();
            memcpy(puc, &fValue, sizeof(fValue));
        }
    }
    const std::string sLine = sWrite(m_oSettings);
    EXPECT_LT(sLine.size(), 16384u);
    EXPECT_EQ(asSplitOnBlanks(sLine).size(), static_cast<size_t>(g_iSettingsOptionCount) + 3);
}

TEST(SettingsStrCat, NumbersAreAppended)
{
    char acText[64] = "x";
    vStrCatInt(acText, 42);
    EXPECT_STREQ(acText, "x42");
    vStrCatInt(acText, -7);
    EXPECT_STREQ(acText, "x42-7");
    strcpy(acText, "v");
    vStrCatDouble(acText, 0.1);
    EXPECT_STREQ(acText, "v0.1");
    vStrCatDouble(acText, 1e20);
    EXPECT_STREQ(acText, "v0.11e+20");
    strcpy(acText, "");
    vStrCatInt(acText, std::numeric_limits<int>::min());
    EXPECT_STREQ(acText, "-2147483648");
}

// ---------------------------------------------------------------------------
// Parsing

TEST_F(SettingsString, OptionsIgnoreLetterCase)
{
    EXPECT_TRUE(bApply("-SM3"));
    EXPECT_EQ(m_oSettings.ScreenMode, 3);
    m_oSettings.ScreenMode = ScreenMode_Screen8;
    EXPECT_TRUE(bApply("-sm3"));
    EXPECT_EQ(m_oSettings.ScreenMode, 3);
    EXPECT_TRUE(bApply("-S10P1"));
    EXPECT_EQ(m_oSettings.Screen10Palette, 1);
}

TEST_F(SettingsString, MissingOrNonNumericValuesGiveZero)
{
    EXPECT_TRUE(bApply("-ed"));
    EXPECT_EQ(m_oSettings.ErrorDiffusionFactor, 0.0);
    EXPECT_TRUE(bApply("-smabc"));
    EXPECT_EQ(m_oSettings.ScreenMode, 0);
    EXPECT_TRUE(bApply("-rwp"));
    EXPECT_EQ(m_oSettings.ResourceWritePalette, 0);
}

TEST_F(SettingsString, NumbersAreReadLikeAtoiAndAtof)
{
    EXPECT_TRUE(bApply("-ow12abc"));
    EXPECT_EQ(m_oSettings.OutputWidth, 12);
    EXPECT_TRUE(bApply("-hs-40"));
    EXPECT_EQ(m_oSettings.HShift, -40);
    EXPECT_TRUE(bApply("-bw1e-3"));
    EXPECT_EQ(m_oSettings.BrightnessWeight, 0.001);
    EXPECT_TRUE(bApply("-ed0.75"));
    EXPECT_EQ(m_oSettings.ErrorDiffusionFactor, 0.75);
    // No range test is made.
    EXPECT_TRUE(bApply("-sm99"));
    EXPECT_EQ(m_oSettings.ScreenMode, 99);
}

TEST_F(SettingsString, ByteFieldsKeepTheLowEightBits)
{
    EXPECT_TRUE(bApply("-bc300"));
    EXPECT_EQ(m_oSettings.Bordercolor, 44);
    EXPECT_TRUE(bApply("-bc-1"));
    EXPECT_EQ(m_oSettings.Bordercolor, 255);
    EXPECT_TRUE(bApply("-im257"));
    EXPECT_EQ(m_oSettings.InterlacedMode, 1);
}

TEST_F(SettingsString, EachPrefixReachesOnlyItsOwnOption)
{
    EXPECT_TRUE(bApply("-im5"));
    EXPECT_EQ(m_oSettings.InterlacedMode, 5);
    EXPECT_EQ(m_oSettings.InputAspectRatioType, AspectRatio_Auto);
    EXPECT_TRUE(bApply("-iart1"));
    EXPECT_EQ(m_oSettings.InputAspectRatioType, AspectRatio_Custom);
    EXPECT_EQ(m_oSettings.InterlacedMode, 5);
    EXPECT_TRUE(bApply("-s2de2.5"));
    EXPECT_EQ(m_oSettings.Screen2DetailsEnhancement, 2.5);
    EXPECT_EQ(m_oSettings.ScreenMode, ScreenMode_Screen8);
}

TEST_F(SettingsString, UnknownArgumentsAreRefused)
{
    for (const char* pszArgument : {"-of<output_file>", "-ofpicture.sc8", "", "-", "sm3", "-s", "-x1",
                                    "--sm3", "<input_file>", "qev", " -sm3"})
        EXPECT_FALSE(bApply(pszArgument)) << "'" << pszArgument << "'";
}

// ---------------------------------------------------------------------------
// Round trips: write a random record, split the line on blanks, apply every
// word to a default record, and get the same option values back.

void vSetRandomValue(tdSettings* poSettings, const tdExpectedOption& oOption, std::mt19937* poRandom)
{
    unsigned char* puc = reinterpret_cast<unsigned char*>(poSettings) + oOption.uiOffset;
    const unsigned uiChoice = (*poRandom)() % 8;
    if (uiChoice == 0) return; // keep the default: no option is written
    if (oOption.eType == OptionType_Double)
    {
        double f;
        switch (uiChoice)
        {
        case 1: // a short decimal, written exactly
            f = static_cast<int>((*poRandom)() % 1000) / 100.0;
            break;
        case 2: // tiny and huge magnitudes, written with an exponent
            f = std::ldexp(1.0 + ((*poRandom)() % 1000) / 1000.0,
                           static_cast<int>((*poRandom)() % 200) - 100);
            break;
        case 3:
            f = -static_cast<double>((*poRandom)() % 100000) / 7.0;
            break;
        default: // anywhere in the field's range, with all the digits a double has
            f = oOption.fMin + (oOption.fMax - oOption.fMin) * std::generate_canonical<double, 53>(*poRandom);
            break;
        }
        memcpy(puc, &f, sizeof(f));
    }
    else
    {
        const int iSpan = static_cast<int>(oOption.fMax - oOption.fMin) + 1;
        const int32_t i = static_cast<int32_t>(oOption.fMin) + static_cast<int32_t>((*poRandom)() % iSpan);
        if (oOption.eType == OptionType_Byte)
            *puc = static_cast<unsigned char>(i);
        else
            memcpy(puc, &i, sizeof(i));
    }
}

TEST(SettingsRoundTrip, RandomRecords)
{
    std::mt19937 oRandom(1234);
    for (int iTrial = 0; iTrial < 2000; iTrial++)
    {
        tdSettings oOriginal;
        vGetDefaultSettings(&oOriginal);
        for (const tdExpectedOption& oOption : g_aoExpectedOptions)
            vSetRandomValue(&oOriginal, oOption, &oRandom);
        // Fields without an option must not travel.
        oOriginal.CustomPalette[oRandom() % 16].r ^= 0x55;
        oOriginal.SelectedColor = static_cast<int32_t>(oRandom() % 16);
        strcpy(oOriginal.SourceBaseName, "name");

        const std::string sLine = sWrite(oOriginal);
        SCOPED_TRACE(sLine);
        const std::vector<std::string> asWords = asSplitOnBlanks(sLine);
        ASSERT_GE(asWords.size(), 3u);
        EXPECT_EQ(sLine.compare(0, strlen(g_pszStart), g_pszStart), 0);
        EXPECT_EQ(sLine.compare(sLine.size() - strlen(g_pszEnd), std::string::npos, g_pszEnd), 0);

        tdSettings oParsed;
        vGetDefaultSettings(&oParsed);
        const tdSettingsOption* poPrevious = nullptr;
        for (size_t i = 2; i + 1 < asWords.size(); i++)
        {
            ASSERT_TRUE(bGetSettingsFromString(&oParsed, asWords[i].c_str())) << asWords[i];
            const tdSettingsOption* poOption = poFindSettingsOption(asWords[i].c_str());
            ASSERT_NE(poOption, nullptr);
            EXPECT_TRUE(poPrevious == nullptr || poOption > poPrevious) << asWords[i] << " out of order";
            poPrevious = poOption;
        }
        EXPECT_FALSE(bGetSettingsFromString(&oParsed, asWords.back().c_str()));

        int iDiffering = 0;
        bool bRoundedToDefault = false;
        for (const tdExpectedOption& oOption : g_aoExpectedOptions)
        {
            if (oOption.eType == OptionType_Double)
            {
                const double fOriginal = fDoubleField(oOriginal, oOption.uiOffset);
                const double fParsed = fDoubleField(oParsed, oOption.uiOffset);
                const double fDefault = fDoubleField(g_oDefaultSettings, oOption.uiOffset);
                // "%lg" keeps six significant digits: a relative error of at most 5e-6
                // (plus the last bit of atof).
                EXPECT_LE(std::fabs(fParsed - fOriginal), 5.000001e-6 * std::fabs(fOriginal))
                    << oOption.pszOption << ": " << fOriginal << " came back as " << fParsed;
                if (!(fOriginal == fDefault))
                {
                    iDiffering++;
                    if (fParsed == fDefault) bRoundedToDefault = true;
                }
            }
            else if (oOption.eType == OptionType_Byte)
            {
                EXPECT_EQ(ucByteField(oParsed, oOption.uiOffset), ucByteField(oOriginal, oOption.uiOffset))
                    << oOption.pszOption;
                if (ucByteField(oOriginal, oOption.uiOffset) !=
                    ucByteField(g_oDefaultSettings, oOption.uiOffset))
                    iDiffering++;
            }
            else
            {
                EXPECT_EQ(iIntField(oParsed, oOption.uiOffset), iIntField(oOriginal, oOption.uiOffset))
                    << oOption.pszOption;
                if (iIntField(oOriginal, oOption.uiOffset) != iIntField(g_oDefaultSettings, oOption.uiOffset))
                    iDiffering++;
            }
        }
        EXPECT_EQ(static_cast<int>(asWords.size()) - 3, iDiffering);

        // Nothing outside the options moved.
        EXPECT_EQ(0, memcmp(oParsed.CustomPalette, g_aoMSX1Palette, sizeof(oParsed.CustomPalette)));
        EXPECT_EQ(oParsed.SelectedColor, -1);
        EXPECT_EQ(oParsed.SourceBaseName[0], '\0');

        // Writing the parsed record again gives the same line: six digits are
        // stable, unless a value rounded onto its default and so drops out.
        if (!bRoundedToDefault)
        {
            EXPECT_EQ(sWrite(oParsed), sLine);
        }
        if (HasFailure()) break;
    }
}

} // namespace
