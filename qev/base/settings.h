#pragma once

#include "qev/base/color.h"

#include <cstdint>

// Every enumeration's values equal the indices of the window's selection boxes
// and the numbers of the command line; the text tables below hold the box entries
// in value order. Each enumeration is stored as a 32-bit int in tdSettings.

enum tdScreenMode : int32_t
{
    ScreenMode_Screen2 = 0,
    ScreenMode_Screen3 = 1,
    ScreenMode_Screen5 = 2,
    ScreenMode_Screen6 = 3,
    ScreenMode_Screen7 = 4,
    ScreenMode_Screen8 = 5,
    ScreenMode_Screen10 = 6,
    ScreenMode_Screen12 = 7,
    ScreenMode_Screen4 = 8, // after the others: the numbers on command lines and in stores stay
    ScreenMode_Count = 9
};

enum tdConversionType : int32_t
{
    ConversionType_PNG = 0,
    ConversionType_QEV = 1,
    ConversionType_SR = 2,
    ConversionType_SC = 3,
    ConversionType_SPR = 4,
    ConversionType_RAW = 5,
    ConversionType_KRU = 6,
    ConversionType_RES = 7,
    ConversionType_ROM = 8, // MSX cartridge showing the picture
    ConversionType_Count = 9
};

enum tdPaletteType : int32_t
{
    PaletteType_Auto = 0,
    PaletteType_Custom = 1,
    PaletteType_MSX1 = 2,
    PaletteType_MSX2 = 3,
    PaletteType_Grey = 4,
    PaletteType_Count = 5
};

enum tdDeltaMethod : int32_t
{
    DeltaMethod_RGB = 0,
    DeltaMethod_XYZ = 1,
    DeltaMethod_LAB = 2,
    DeltaMethod_CIEDE2000 = 3,
    DeltaMethod_Hit9918 = 4,
    DeltaMethod_Oklab = 5,
    DeltaMethod_Count = 6
};

enum tdFitMode : int32_t
{
    FitMode_None = 0,
    FitMode_Fit = 1,
    FitMode_Crop = 2,
    FitMode_CropWidth = 3,
    FitMode_CropHeight = 4,
    FitMode_Fill = 5,
    FitMode_Count = 6
};

enum tdResizeFilter : int32_t
{
    ResizeFilter_Auto = 0,
    ResizeFilter_Nearest = 1,
    ResizeFilter_Linear = 2,
    ResizeFilter_Box = 3,
    ResizeFilter_Bicubic = 4,
    ResizeFilter_Count = 5
};

enum tdRGB2YJKMethod : int32_t
{
    RGB2YJK_Standard = 0,
    RGB2YJK_LeastSquares = 1,
    RGB2YJK_GradientDescent = 2,
    RGB2YJK_AreaSearch = 3,
    RGB2YJK_BruteForce = 4,
    RGB2YJK_Count = 5
};

enum tdYJK2RGBInterpolation : int32_t
{
    YJK2RGB_None = 0,
    YJK2RGB_Linear = 1,
    YJK2RGB_Lanczos2 = 2,
    YJK2RGB_Lanczos3 = 3,
    YJK2RGB_Count = 4
};

enum tdAspectRatioType : int32_t
{
    AspectRatio_Auto = 0,
    AspectRatio_Custom = 1,
    AspectRatio_60Hz = 2,
    AspectRatio_50Hz = 3,
    AspectRatio_1to1 = 4,
    AspectRatio_60HzIL = 5,
    AspectRatio_60HzHR = 6,
    AspectRatio_50HzIL = 7,
    AspectRatio_50HzHR = 8,
    AspectRatio_Count = 9
};

enum tdOutputSizeType : int32_t
{
    OutputSize_Custom = 0,
    OutputSize_Original = 1,
    OutputSize_256x192 = 2,
    OutputSize_256x212 = 3,
    OutputSize_512x424 = 4,
    OutputSize_640x480 = 5,
    OutputSize_800x600 = 6,
    OutputSize_1024x768 = 7,
    OutputSize_Count = 8
};

enum tdDitheringMode : int32_t
{
    Dithering_None = 0,
    Dithering_ErrorDiffusion = 1,
    Dithering_Bayer2x2 = 2,
    Dithering_Bayer4x4 = 3,
    Dithering_Bayer8x8 = 4,
    Dithering_Count = 5
};

enum tdResourceMode : int32_t
{
    ResourceMode_Indexed = 0, // ResourcePaletteSize palette colours
    ResourceMode_RGB = 1,     // one byte per pixel as in Screen 8
    ResourceMode_YJK = 2,     // as in Screen 12
    ResourceMode_Count = 3
};

// How a new picture or canvas is filled.
enum tdBackgroundType : int32_t
{
    Background_Black = 0,        // every byte zero, alpha 0 too
    Background_Checkerboard = 1, // one-pixel squares, white at (0, 0)
    Background_None = 2,         // left as allocated: the caller writes every texel
    Background_Count = 3
};

// Texts of the window's selection boxes, in value order.
extern const char* const g_apszScreenModeNames[ScreenMode_Count];
extern const char* const g_apszConversionTypeNames[ConversionType_Count];
extern const char* const g_apszPaletteTypeNames[PaletteType_Count];
extern const char* const g_apszDeltaMethodNames[DeltaMethod_Count];
extern const char* const g_apszFitModeNames[FitMode_Count];
extern const char* const g_apszResizeFilterNames[ResizeFilter_Count];
extern const char* const g_apszRGB2YJKMethodNames[RGB2YJK_Count];
extern const char* const g_apszYJK2RGBInterpolationNames[YJK2RGB_Count];
extern const char* const g_apszAspectRatioTypeNames[AspectRatio_Count];
extern const char* const g_apszOutputSizeTypeNames[OutputSize_Count];
extern const char* const g_apszDitheringModeNames[Dithering_Count];
extern const char* const g_apszResourceModeNames[ResourceMode_Count];

// All user choices of one conversion. A plain record without pointers: a byte-wise
// copy is a valid copy and a byte-wise comparison a valid change test, so every
// record the program makes starts as a byte copy of g_oDefaultSettings (padding
// included). Field names double as the keys of the settings store.
struct tdSettings
{
    Color CustomPalette[16];
    double ErrorDiffusionFactor;
    double CustomInputAspectRatio;
    double CustomOutputAspectRatio;
    double PaletteDetailsEnhancement;
    double Screen2DetailsEnhancement;
    double YJKDetailsEnhancement;
    int32_t HShift;
    int32_t OutputWidth;
    int32_t OutputHeight;
    tdAspectRatioType InputAspectRatioType;
    tdAspectRatioType OutputAspectRatioType;
    tdConversionType ConversionType;
    tdFitMode FitMode;
    unsigned char InterlacedMode;
    tdOutputSizeType OutputSizeType;
    tdPaletteType PaletteType;
    tdRGB2YJKMethod RGB2YJKMethod;
    tdDeltaMethod DeltaMethod;
    double BrightnessWeight;
    tdResizeFilter ResizeFilter;
    tdResizeFilter DisplayFilter;
    unsigned char Screen10Palette;
    tdScreenMode ScreenMode;
    tdYJK2RGBInterpolation YJK2RGBInterpolation;
    tdResourceMode ResourceMode;
    int32_t ResourcePaletteSize;
    unsigned char ResourceWritePalette;
    int32_t KRUBlockSize;
    unsigned char Bordercolor;
    unsigned char RealMSXAspectRatio;
    int32_t SelectedColor;     // palette editor selection 0..15, -1 for none; not stored
    char SourceBaseName[2048]; // last dropped file's name without folder, up to the first dot; not stored
    tdDitheringMode DitheringMode;
    double BayerFactor;
    double BayerLowThreshold;  // fraction 0..1 of the channel range
    double BayerHighThreshold; // fraction 0..1 of the channel range
    int32_t TileLimit;            // Screens 2 and 4: distinct tiles per bank, 0 for no limit
    unsigned char TileSharedBank; // Screens 2 and 4: the three thirds share one bank
};

// The defaults. Its custom palette is all zero; vGetDefaultSettings adds the MSX1
// palette. Options and stored keys are compared against this record itself.
extern const tdSettings g_oDefaultSettings;

// Built-in palettes: 16 entries, channels on the eight MSX levels, alpha 0.
extern const Color g_aoMSX1Palette[16];
extern const Color g_aoMSX2Palette[16];
extern const Color g_aoGreyPalette[16];

// Automatic values, overwritten by every reader (input ratio) and every writer
// (output ratio and size) just before use. Initially zero. One set per thread, so
// conversions on different threads never see each other's values.
extern thread_local double g_fInputAutoAspectRatio;
extern thread_local double g_fOutputAutoAspectRatio;
extern thread_local int32_t g_iOutputAutoWidth;
extern thread_local int32_t g_iOutputAutoHeight;

void vGetDefaultSettings(tdSettings* poSettings);

// The 60Hz pixel aspect ratio, measured or nominal by RealMSXAspectRatio.
double fGetMSXAspectRatio(const tdSettings* poSettings);

void vSetInputAutoAspectRatio(double fRatio);
void vSetOutputAutoAspectRatio(double fRatio);

// Store the ratio chosen by InputAspectRatioType / OutputAspectRatioType into
// *pfRatio; a type outside the enumeration leaves it unchanged.
void vGetInputAspectRatio(const tdSettings* poSettings, double* pfRatio);
void vGetOutputAspectRatio(const tdSettings* poSettings, double* pfRatio);

// The factor every writer hands to the encoders: ErrorDiffusionFactor with error
// diffusion on, else 0.0.
double fGetErrorDiffusionFactor(const tdSettings* poSettings);

// Screen families by tdScreenMode. The values are not in screen order (Screen 4
// comes last), so code asks these instead of comparing modes.
// Screens 2 and 4: one picture layout (patterns, names, colours of three thirds);
// they differ in their sprite mode, that is in their register table.
bool bScreenModeHasScreen2Layout(int eScreenMode);
// Screens 5 to 12: pixels in lines, 212 or 424 (interlaced) of them.
bool bScreenModeIsBitmap(int eScreenMode);
// Screens with a 16-colour palette table (Screen 6 uses 4 entries of it); Screen 10's
// palette is used only with Screen10Palette.
bool bScreenModeHasPalette(int eScreenMode);

// True when the output file carries a palette.
bool bSettingsUsePalette(const tdSettings* poSettings);

// True when the output is an interlaced picture of twice the height.
bool bSettingsInterlaced(const tdSettings* poSettings);

void vSetOutputAutoSize(int iWidth, int iHeight);

// Free-size conversion types (PNG, RAW, RES): the size chosen by OutputSizeType
// (an unknown type leaves both untouched); every other type stores 0 x 0, meaning
// that the screen mode decides.
void vGetOutputAutoSize(const tdSettings* poSettings, int* piWidth, int* piHeight);

// A pixel aspect ratio that every consumer can use: the value itself when it is
// finite and positive, else 1.0 (square pixels). Ratios come from files (a PNG
// pHYs field of 0 gives 0, infinity or NaN) and from the command line.
double fSaneAspectRatio(double fRatio);
