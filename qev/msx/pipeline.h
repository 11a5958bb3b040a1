#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"
#include "qev/compress/lzw.h"

// Size, pixel shape and palette of every screen mode.
struct tdScreenGeometry
{
    int iWidth;
    int iHeight;
    double fAspectFactor;  // times the 60Hz pixel aspect ratio
    int iPaletteEntries;   // 0 for the screens without palette
};
extern const tdScreenGeometry g_aoScreenGeometry[ScreenMode_Count];

// How one screen writer runs the conversion sequence.
struct tdWriterProfile
{
    tdCompressionType eCompression; // handed to the encoders
    bool bRawSizeLimit;             // RAW output is held to OutputWidth x OutputHeight
    bool bScreen2NameTable;         // the Screen 2 encoder writes the name table
};

// The conversion sequence every screen writer runs: copy the source, work out the
// screen size and aspect ratio, fit the copy, build or take the palette, switch on
// dithering and run the screen's encoder.
//
// poPage0 / poPage1 (may be null) receive the encoded video memory of the first and
// second page; with only poPage0 an interlaced picture goes whole into it. When
// ppoOut is given it receives a new picture of the screen's size that the encoder
// paints (the caller owns it). poPalette receives the working palette: the one the
// encoder used, or the fixed palette of the settings (resized to the screen's
// entry count) for screens without palette work. Returns the encoder's error
// triple; zeros after "Unhandled screen type." for a screen mode outside 0..8,
// reported through *pbHandled (may be null) being false. poRun (may be null)
// reports progress and may stop the run: then the results are incomplete.
tdErrorTriple oConvertImage(const Image* poSource, const tdSettings* poSettings,
                            const tdWriterProfile* poProfile, tdByteArray* poPage0, tdByteArray* poPage1,
                            Image** ppoOut, Palette* poPalette, bool* pbHandled,
                            const tdRunContext* poRun = nullptr);

// The fit of the free-size writers (PNG, RES): publishes the copy's size and pixel
// aspect ratio as the automatic output size and ratio, asks the settings for both,
// and fits the copy (background black, no shift) unless a size comes back zero.
void vFitToFreeOutputSize(Image* poCopy, const tdSettings* poSettings);

// Hands the working palette to a caller's palette out-parameter (may be null) when
// the settings use a palette, resized to 16 entries.
void vHandOverPalette(const tdSettings* poSettings, const Palette* poWorking, Palette* poOut);
