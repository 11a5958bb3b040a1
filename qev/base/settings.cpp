#include "qev/base/settings.h"

#include <cmath>
#include <cstring>

const char* const g_apszScreenModeNames[ScreenMode_Count] = {"Screen 2",  "Screen 3",  "Screen 5",
                                                             "Screen 6",  "Screen 7",  "Screen 8",
                                                             "Screen 10", "Screen 12", "Screen 4"};
const char* const g_apszConversionTypeNames[ConversionType_Count] = {"PNG", "QEV", "SR",  "SC", "SPR",
                                                                     "RAW", "KRU", "RES", "ROM"};
const char* const g_apszPaletteTypeNames[PaletteType_Count] = {"Auto", "Custom", "MSX1", "MSX2", "Grey"};
const char* const g_apszDeltaMethodNames[DeltaMethod_Count] = {"RGB",       "XYZ",     "LAB",
                                                               "CIEDE2000", "Hit9918", "Oklab"};
const char* const g_apszFitModeNames[FitMode_Count] = {"None",       "Fit",         "Crop",
                                                       "Crop width", "Crop height", "Fill"};
const char* const g_apszResizeFilterNames[ResizeFilter_Count] = {"Auto", "Nearest", "Linear", "Box",
                                                                 "Bicubic"};
const char* const g_apszRGB2YJKMethodNames[RGB2YJK_Count] = {"Standard", "Least squares", "Gradient descent",
                                                             "Area search", "Brute force"};
const char* const g_apszYJK2RGBInterpolationNames[YJK2RGB_Count] = {"None", "Linear", "Lanczos2", "Lanczos3"};
const char* const g_apszAspectRatioTypeNames[AspectRatio_Count] = {
    "Auto", "Custom", "60Hz", "50Hz", "1:1", "60Hz IL", "60Hz HR", "50Hz IL", "50Hz HR"};
const char* const g_apszOutputSizeTypeNames[OutputSize_Count] = {
    "Custom", "Original", "256x192", "256x212", "512x424", "640x480", "800x600", "1024x768"};
const char* const g_apszDitheringModeNames[Dithering_Count] = {"None", "Error diffusion", "Bayer 2x2",
                                                               "Bayer 4x4", "Bayer 8x8"};
const char* const g_apszResourceModeNames[ResourceMode_Count] = {"Indexed", "RGB", "YJK"};

const tdSettings g_oDefaultSettings = {
    {},                       // CustomPalette: zero here, MSX1 after vGetDefaultSettings
    0.8,                      // ErrorDiffusionFactor
    1.0,                      // CustomInputAspectRatio
    1.0,                      // CustomOutputAspectRatio
    1.0,                      // PaletteDetailsEnhancement
    1.0,                      // Screen2DetailsEnhancement
    1.0,                      // YJKDetailsEnhancement
    0,                        // HShift
    256,                      // OutputWidth
    212,                      // OutputHeight
    AspectRatio_Auto,         // InputAspectRatioType
    AspectRatio_Auto,         // OutputAspectRatioType
    ConversionType_PNG,       // ConversionType
    FitMode_Fit,              // FitMode
    0,                        // InterlacedMode
    OutputSize_Original,      // OutputSizeType
    PaletteType_Auto,         // PaletteType
    RGB2YJK_AreaSearch,       // RGB2YJKMethod
    DeltaMethod_RGB,          // DeltaMethod
    1.0,                      // BrightnessWeight
    ResizeFilter_Auto,        // ResizeFilter
    ResizeFilter_Auto,        // DisplayFilter
    0,                        // Screen10Palette
    ScreenMode_Screen8,       // ScreenMode
    YJK2RGB_None,             // YJK2RGBInterpolation
    ResourceMode_Indexed,     // ResourceMode
    16,                       // ResourcePaletteSize
    1,                        // ResourceWritePalette
    16384,                    // KRUBlockSize
    0,                        // Bordercolor
    0,                        // RealMSXAspectRatio
    -1,                       // SelectedColor
    {},                       // SourceBaseName
    Dithering_ErrorDiffusion, // DitheringMode
    0.1,                      // BayerFactor
    0.0,                      // BayerLowThreshold
    1.0,                      // BayerHighThreshold
    0,                        // TileLimit
    0,                        // TileSharedBank
};

// MSX level l (0..7) as an 8-bit channel: (255 l + 3) / 7.
#define L0 0
#define L1 36
#define L2 73
#define L3 109
#define L4 146
#define L5 182
#define L6 219
#define L7 255

// Source: the MSX1 (TMS9918) colours as the MSX2 palette registers reproduce
// them, the MSX2 BIOS start-up palette, and eight grey levels.
const Color g_aoMSX1Palette[16] = {
    {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L2, L5, L2, 0}, {L3, L6, L3, 0}, {L2, L2, L5, 0}, {L4, L3, L7, 0},
    {L5, L2, L1, 0}, {L2, L6, L7, 0}, {L6, L3, L2, 0}, {L7, L4, L3, 0}, {L6, L6, L2, 0}, {L6, L6, L4, 0},
    {L1, L4, L1, 0}, {L5, L3, L5, 0}, {L6, L6, L6, 0}, {L7, L7, L7, 0},
};
const Color g_aoMSX2Palette[16] = {
    {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L1, L6, L1, 0}, {L3, L7, L3, 0}, {L1, L1, L7, 0}, {L2, L3, L7, 0},
    {L5, L1, L1, 0}, {L2, L6, L7, 0}, {L7, L1, L1, 0}, {L7, L3, L3, 0}, {L6, L6, L1, 0}, {L6, L6, L4, 0},
    {L1, L4, L1, 0}, {L6, L2, L5, 0}, {L5, L5, L5, 0}, {L7, L7, L7, 0},
};
const Color g_aoGreyPalette[16] = {
    {L0, L0, L0, 0}, {L1, L1, L1, 0}, {L2, L2, L2, 0}, {L3, L3, L3, 0}, {L4, L4, L4, 0}, {L5, L5, L5, 0},
    {L6, L6, L6, 0}, {L7, L7, L7, 0}, {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L0, L0, L0, 0},
    {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L0, L0, L0, 0}, {L0, L0, L0, 0},
};

#undef L0
#undef L1
#undef L2
#undef L3
#undef L4
#undef L5
#undef L6
#undef L7

thread_local double g_fInputAutoAspectRatio = 0.0;
thread_local double g_fOutputAutoAspectRatio = 0.0;
thread_local int32_t g_iOutputAutoWidth = 0;
thread_local int32_t g_iOutputAutoHeight = 0;

// Pixel aspect ratios (pixel width / pixel height) by tdAspectRatioType; the
// first two rows are placeholders for Auto and Custom, which are looked up elsewhere.
//                                          nominal      real MSX
static const double g_afAspectRatios[AspectRatio_Count][2] = {
    {0.0, 0.0},            // Auto
    {0.0, 0.0},            // Custom
    {53.0 / 48.0, 1.138},  // 60Hz
    {53.0 / 40.0, 1.3656}, // 50Hz
    {1.0, 1.0},            // 1:1
    {53.0 / 24.0, 2.276},  // 60Hz IL: pixels half as high
    {53.0 / 96.0, 0.569},  // 60Hz HR: pixels half as wide
    {53.0 / 20.0, 2.7312}, // 50Hz IL
    {53.0 / 80.0, 0.6828}, // 50Hz HR
};

void vGetDefaultSettings(tdSettings* poSettings)
{
    memcpy(poSettings, &g_oDefaultSettings, sizeof(tdSettings));
    memcpy(poSettings->CustomPalette, g_aoMSX1Palette, sizeof(poSettings->CustomPalette));
}

double fGetMSXAspectRatio(const tdSettings* poSettings)
{
    return g_afAspectRatios[AspectRatio_60Hz][poSettings->RealMSXAspectRatio ? 1 : 0];
}

void vSetInputAutoAspectRatio(double fRatio)
{
    g_fInputAutoAspectRatio = fRatio;
}

void vSetOutputAutoAspectRatio(double fRatio)
{
    g_fOutputAutoAspectRatio = fRatio;
}

static void vGetAspectRatio(const tdSettings* poSettings, int iType, double fAuto, double fCustom,
                            double* pfRatio)
{
    if (iType < 0 || iType >= AspectRatio_Count) return;
    if (iType == AspectRatio_Auto)
        *pfRatio = fAuto;
    else if (iType == AspectRatio_Custom)
        *pfRatio = fCustom;
    else
        *pfRatio = g_afAspectRatios[iType][poSettings->RealMSXAspectRatio ? 1 : 0];
}

void vGetInputAspectRatio(const tdSettings* poSettings, double* pfRatio)
{
    vGetAspectRatio(poSettings, poSettings->InputAspectRatioType, g_fInputAutoAspectRatio,
                    poSettings->CustomInputAspectRatio, pfRatio);
}

void vGetOutputAspectRatio(const tdSettings* poSettings, double* pfRatio)
{
    vGetAspectRatio(poSettings, poSettings->OutputAspectRatioType, g_fOutputAutoAspectRatio,
                    poSettings->CustomOutputAspectRatio, pfRatio);
}

double fGetErrorDiffusionFactor(const tdSettings* poSettings)
{
    return poSettings->DitheringMode == Dithering_ErrorDiffusion ? poSettings->ErrorDiffusionFactor : 0.0;
}

static bool bCarriesScreenData(const tdSettings* poSettings)
{
    switch (poSettings->ConversionType)
    {
    case ConversionType_QEV:
    case ConversionType_SR:
    case ConversionType_SC:
    case ConversionType_KRU:
    case ConversionType_ROM:
        return true;
    default:
        return false;
    }
}

bool bScreenModeHasScreen2Layout(int eScreenMode)
{
    return eScreenMode == ScreenMode_Screen2 || eScreenMode == ScreenMode_Screen4;
}

bool bScreenModeIsBitmap(int eScreenMode)
{
    switch (eScreenMode)
    {
    case ScreenMode_Screen5:
    case ScreenMode_Screen6:
    case ScreenMode_Screen7:
    case ScreenMode_Screen8:
    case ScreenMode_Screen10:
    case ScreenMode_Screen12:
        return true;
    default:
        return false;
    }
}

bool bScreenModeHasPalette(int eScreenMode)
{
    switch (eScreenMode)
    {
    case ScreenMode_Screen2:
    case ScreenMode_Screen3:
    case ScreenMode_Screen4:
    case ScreenMode_Screen5:
    case ScreenMode_Screen6:
    case ScreenMode_Screen7:
    case ScreenMode_Screen10:
        return true;
    default:
        return false;
    }
}

bool bSettingsUsePalette(const tdSettings* poSettings)
{
    if (!bCarriesScreenData(poSettings)) return false;
    const int eMode = poSettings->ScreenMode;
    return bScreenModeHasPalette(eMode) && (eMode != ScreenMode_Screen10 || poSettings->Screen10Palette);
}

bool bSettingsInterlaced(const tdSettings* poSettings)
{
    return bCarriesScreenData(poSettings) && bScreenModeIsBitmap(poSettings->ScreenMode) &&
           poSettings->InterlacedMode;
}

void vSetOutputAutoSize(int iWidth, int iHeight)
{
    g_iOutputAutoWidth = iWidth;
    g_iOutputAutoHeight = iHeight;
}

// Fixed output sizes by tdOutputSizeType; rows 0 and 1 (Custom, Original) come
// from the record and the automatic size.
static const int g_aiOutputSizes[OutputSize_Count][2] = {
    {0, 0},      // Custom
    {0, 0},      // Original
    {256, 192},  //
    {256, 212},  //
    {512, 424},  //
    {640, 480},  //
    {800, 600},  //
    {1024, 768}, //
};

void vGetOutputAutoSize(const tdSettings* poSettings, int* piWidth, int* piHeight)
{
    switch (poSettings->ConversionType)
    {
    case ConversionType_PNG:
    case ConversionType_RAW:
    case ConversionType_RES:
        break;
    default:
        *piWidth = 0;
        *piHeight = 0;
        return;
    }
    int iType = poSettings->OutputSizeType;
    if (iType == OutputSize_Custom)
    {
        *piWidth = poSettings->OutputWidth;
        *piHeight = poSettings->OutputHeight;
    }
    else if (iType == OutputSize_Original)
    {
        *piWidth = g_iOutputAutoWidth;
        *piHeight = g_iOutputAutoHeight;
    }
    else if (iType > OutputSize_Original && iType < OutputSize_Count)
    {
        *piWidth = g_aiOutputSizes[iType][0];
        *piHeight = g_aiOutputSizes[iType][1];
    }
}

double fSaneAspectRatio(double fRatio)
{
    return (std::isfinite(fRatio) && fRatio > 0.0) ? fRatio : 1.0;
}
