#include "qev/base/settings_string.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#define QEV_OPTION(text, type, field) {text, type, offsetof(tdSettings, field), #field}

//  option    value               field
const tdSettingsOption g_aoSettingsOptions[g_iSettingsOptionCount] = {
    QEV_OPTION("-bc",   OptionType_Byte,   Bordercolor),
    QEV_OPTION("-bw",   OptionType_Double, BrightnessWeight),
    QEV_OPTION("-ciar", OptionType_Double, CustomInputAspectRatio),
    QEV_OPTION("-coar", OptionType_Double, CustomOutputAspectRatio),
    QEV_OPTION("-ct",   OptionType_Int,    ConversionType),
    QEV_OPTION("-df",   OptionType_Int,    DisplayFilter),
    QEV_OPTION("-dem",  OptionType_Int,    DeltaMethod),
    QEV_OPTION("-ed",   OptionType_Double, ErrorDiffusionFactor),
    QEV_OPTION("-fm",   OptionType_Int,    FitMode),
    QEV_OPTION("-hs",   OptionType_Int,    HShift),
    QEV_OPTION("-iart", OptionType_Int,    InputAspectRatioType),
    QEV_OPTION("-im",   OptionType_Byte,   InterlacedMode),
    QEV_OPTION("-mbs",  OptionType_Int,    KRUBlockSize),
    QEV_OPTION("-oart", OptionType_Int,    OutputAspectRatioType),
    QEV_OPTION("-oh",   OptionType_Int,    OutputHeight),
    QEV_OPTION("-ost",  OptionType_Int,    OutputSizeType),
    QEV_OPTION("-ow",   OptionType_Int,    OutputWidth),
    QEV_OPTION("-pde",  OptionType_Double, PaletteDetailsEnhancement),
    QEV_OPTION("-pt",   OptionType_Int,    PaletteType),
    QEV_OPTION("-r2y",  OptionType_Int,    RGB2YJKMethod),
    QEV_OPTION("-rf",   OptionType_Int,    ResizeFilter),
    QEV_OPTION("-rm",   OptionType_Int,    ResourceMode),
    QEV_OPTION("-rps",  OptionType_Int,    ResourcePaletteSize),
    QEV_OPTION("-rwp",  OptionType_Byte,   ResourceWritePalette),
    QEV_OPTION("-s10p", OptionType_Byte,   Screen10Palette),
    QEV_OPTION("-s2de", OptionType_Double, Screen2DetailsEnhancement),
    QEV_OPTION("-sm",   OptionType_Int,    ScreenMode),
    QEV_OPTION("-y2r",  OptionType_Int,    YJK2RGBInterpolation),
    QEV_OPTION("-yde",  OptionType_Double, YJKDetailsEnhancement),
    QEV_OPTION("-mra",  OptionType_Byte,   RealMSXAspectRatio),
    QEV_OPTION("-dim",  OptionType_Int,    DitheringMode),
    QEV_OPTION("-bf",   OptionType_Double, BayerFactor),
    QEV_OPTION("-blt",  OptionType_Double, BayerLowThreshold),
    QEV_OPTION("-bht",  OptionType_Double, BayerHighThreshold),
    QEV_OPTION("-tl",   OptionType_Int,    TileLimit),
    QEV_OPTION("-tsb",  OptionType_Byte,   TileSharedBank),
};

#undef QEV_OPTION

// Every enumeration field is a 32-bit int, as the option table assumes.
static_assert(sizeof(tdScreenMode) == 4 && sizeof(tdConversionType) == 4 && sizeof(tdDitheringMode) == 4,
              "enumerated settings fields must be 32-bit ints");

static const unsigned char* pucField(const tdSettings* poSettings, const tdSettingsOption* poOption)
{
    return reinterpret_cast<const unsigned char*>(poSettings) + poOption->uiOffset;
}

static unsigned char* pucField(tdSettings* poSettings, const tdSettingsOption* poOption)
{
    return reinterpret_cast<unsigned char*>(poSettings) + poOption->uiOffset;
}

static int32_t iGetInt(const unsigned char* puc)
{
    int32_t i;
    memcpy(&i, puc, sizeof(i));
    return i;
}

static double fGetDouble(const unsigned char* puc)
{
    double f;
    memcpy(&f, puc, sizeof(f));
    return f;
}

double fGetOptionValue(const tdSettings* poSettings, const tdSettingsOption* poOption)
{
    const unsigned char* puc = pucField(poSettings, poOption);
    switch (poOption->eType)
    {
    case OptionType_Int:
        return iGetInt(puc);
    case OptionType_Byte:
        return *puc;
    default:
        return fGetDouble(puc);
    }
}

void vStrCatInt(char* pszText, int iValue)
{
    char acNumber[32];
    snprintf(acNumber, sizeof(acNumber), "%d", iValue);
    strcat(pszText, acNumber);
}

void vStrCatDouble(char* pszText, double fValue)
{
    char acNumber[64];
    snprintf(acNumber, sizeof(acNumber), "%lg", fValue);
    strcat(pszText, acNumber);
}

void vWriteSettingsToString(const tdSettings* poSettings, char* pszBuffer)
{
    strcpy(pszBuffer, "qev <input_file>");
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        const unsigned char* puc = pucField(poSettings, &oOption);
        const unsigned char* pucDefault = pucField(&g_oDefaultSettings, &oOption);
        bool bDiffers;
        switch (oOption.eType)
        {
        case OptionType_Int:
            bDiffers = iGetInt(puc) != iGetInt(pucDefault);
            break;
        case OptionType_Byte:
            bDiffers = *puc != *pucDefault;
            break;
        default:
            bDiffers = !(fGetDouble(puc) == fGetDouble(pucDefault)); // NaN counts as different
            break;
        }
        if (!bDiffers) continue;
        strcat(pszBuffer, " ");
        strcat(pszBuffer, oOption.pszOption);
        if (oOption.eType == OptionType_Int)
            vStrCatInt(pszBuffer, iGetInt(puc));
        else if (oOption.eType == OptionType_Byte)
            vStrCatInt(pszBuffer, *puc);
        else
            vStrCatDouble(pszBuffer, fGetDouble(puc));
    }
    strcat(pszBuffer, " -of<output_file>");
}

// atoi without its undefined behaviour: numbers beyond the int range saturate.
static int32_t iParseInt(const char* psz)
{
    errno = 0;
    long l = strtol(psz, nullptr, 10);
    if (l > INT_MAX) return INT_MAX;
    if (l < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(l);
}

const tdSettingsOption* poFindSettingsOption(const char* pszArgument)
{
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
        if (strncasecmp(pszArgument, oOption.pszOption, strlen(oOption.pszOption)) == 0) return &oOption;
    return nullptr;
}

bool bGetSettingsFromString(tdSettings* poSettings, const char* pszArgument)
{
    const tdSettingsOption* poOption = poFindSettingsOption(pszArgument);
    if (!poOption) return false;
    const char* pszValue = pszArgument + strlen(poOption->pszOption);
    unsigned char* puc = pucField(poSettings, poOption);
    if (poOption->eType == OptionType_Double)
    {
        double f = atof(pszValue);
        memcpy(puc, &f, sizeof(f));
    }
    else
    {
        int32_t i = iParseInt(pszValue);
        if (poOption->eType == OptionType_Byte)
            *puc = static_cast<unsigned char>(i & 0xFF);
        else
            memcpy(puc, &i, sizeof(i));
    }
    return true;
}
