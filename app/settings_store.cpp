#include "settings_store.h"

#include "qev/base/settings_string.h"

#include <QSettings>
#include <QVariant>

#include <cmath>
#include <cstring>

namespace
{

// The store's group; the keys are the field names of the command-line options.
const char g_szGroup[] = "QEV";

// Values a stored key may bring into the record. A field absent here takes any
// finite value of its type; one-byte fields take the low byte of any integer.
struct tdStoredRange
{
    const char* pszField;
    double fMin;
    double fMax;
};

// clang-format off
const tdStoredRange g_aoStoredRanges[] = {
    // field                     min       max
    {"CustomInputAspectRatio",   0.01,     100.0},
    {"CustomOutputAspectRatio",  0.01,     100.0},
    {"ConversionType",           0,        ConversionType_Count - 1},
    {"DisplayFilter",            0,        ResizeFilter_Count - 1},
    {"DeltaMethod",              0,        DeltaMethod_Count - 1},
    {"FitMode",                  0,        FitMode_Count - 1},
    {"HShift",                   -8192,    8192},
    {"InputAspectRatioType",     0,        AspectRatio_Count - 1},
    {"KRUBlockSize",             1,        58000},
    {"OutputAspectRatioType",    0,        AspectRatio_Count - 1},
    {"OutputHeight",             1,        8192},
    {"OutputSizeType",           0,        OutputSize_Count - 1},
    {"OutputWidth",              1,        8192},
    {"PaletteType",              0,        PaletteType_Count - 1},
    {"RGB2YJKMethod",            0,        RGB2YJK_Count - 1},
    {"ResizeFilter",             0,        ResizeFilter_Count - 1},
    {"ResourceMode",             0,        ResourceMode_Count - 1},
    {"ResourcePaletteSize",      1,        16},
    {"ScreenMode",               0,        ScreenMode_Count - 1},
    {"YJK2RGBInterpolation",     0,        YJK2RGB_Count - 1},
    {"DitheringMode",            0,        Dithering_Count - 1},
    {"BayerLowThreshold",        0.0,      1.0},
    {"BayerHighThreshold",       0.0,      1.0},
};
// clang-format on

bool bInStoredRange(const tdSettingsOption* poOption, double fValue)
{
    if (!std::isfinite(fValue)) return false;
    for (const tdStoredRange& oRange : g_aoStoredRanges)
        if (strcmp(oRange.pszField, poOption->pszField) == 0)
            return fValue >= oRange.fMin && fValue <= oRange.fMax;
    return true;
}

unsigned char* pucField(tdSettings* poSettings, const tdSettingsOption* poOption)
{
    return reinterpret_cast<unsigned char*>(poSettings) + poOption->uiOffset;
}

const unsigned char* pucField(const tdSettings* poSettings, const tdSettingsOption* poOption)
{
    return reinterpret_cast<const unsigned char*>(poSettings) + poOption->uiOffset;
}

size_t uiFieldSize(const tdSettingsOption* poOption)
{
    switch (poOption->eType)
    {
    case OptionType_Byte:
        return 1;
    case OptionType_Int:
        return sizeof(int32_t);
    default:
        return sizeof(double);
    }
}

QVariant oFieldValue(const tdSettings* poSettings, const tdSettingsOption* poOption)
{
    const unsigned char* puc = pucField(poSettings, poOption);
    switch (poOption->eType)
    {
    case OptionType_Byte:
        return QVariant(static_cast<int>(*puc));
    case OptionType_Int:
    {
        int32_t i;
        memcpy(&i, puc, sizeof(i));
        return QVariant(static_cast<int>(i));
    }
    default:
    {
        double f;
        memcpy(&f, puc, sizeof(f));
        return QVariant(f);
    }
    }
}

} // namespace

void vLoadSettingsFromQSettings(tdSettings* poSettings, QSettings& oStore)
{
    oStore.beginGroup(QLatin1String(g_szGroup));
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        const QVariant oValue = oStore.value(QLatin1String(oOption.pszField));
        if (!oValue.isValid()) continue;
        bool bConverted = false;
        unsigned char* puc = pucField(poSettings, &oOption);
        if (oOption.eType == OptionType_Double)
        {
            const double fValue = oValue.toDouble(&bConverted);
            if (bConverted && bInStoredRange(&oOption, fValue)) memcpy(puc, &fValue, sizeof(fValue));
        }
        else
        {
            // Integers only: "2.5" or "abc" do not convert.
            const qlonglong lValue = oValue.toLongLong(&bConverted);
            if (!bConverted) continue;
            if (oOption.eType == OptionType_Byte)
            {
                *puc = static_cast<unsigned char>(lValue & 0xFF);
            }
            else if (lValue >= INT32_MIN && lValue <= INT32_MAX &&
                     bInStoredRange(&oOption, static_cast<double>(lValue)))
            {
                const int32_t iValue = static_cast<int32_t>(lValue);
                memcpy(puc, &iValue, sizeof(iValue));
            }
        }
    }
    oStore.endGroup();
}

void vSaveSettingsToQSettings(const tdSettings* poSettings, QSettings& oStore, bool bOnlyChanges)
{
    oStore.beginGroup(QLatin1String(g_szGroup));
    for (const tdSettingsOption& oOption : g_aoSettingsOptions)
    {
        const QString sKey = QLatin1String(oOption.pszField);
        if (bOnlyChanges && memcmp(pucField(poSettings, &oOption), pucField(&g_oDefaultSettings, &oOption),
                                   uiFieldSize(&oOption)) == 0)
            oStore.remove(sKey);
        else
            oStore.setValue(sKey, oFieldValue(poSettings, &oOption));
    }
    oStore.endGroup();
    oStore.sync();
}
