#pragma once

#include "qev/base/color.h"
#include "qev/base/dynamic_array.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"

#include <cstdio>

// MSX colour levels. The MSX2 palette holds 16 colours of 3 bits per channel.
// A channel byte v maps to the level floor((7 v + 127) / 255): levels 0..7 cover
// the bytes 0-18, 19-54, 55-91, 92-127, 128-163, 164-200, 201-236, 237-255.
// A level l maps back to the byte floor((255 l + 3) / 7): 0, 36, 73, 109, 146,
// 182, 219, 255.
inline int iLevelFromByte(int v)
{
    return ((7 * v + 127) * 4113) >> 20; // the same as (7 v + 127) / 255 for 0..255
}
inline int iByteFromLevel(int l)
{
    return (255 * l + 3) / 7;
}

// Palette-register word of the video chip (also the word of binary palette files):
//   bits 0-2 blue level, bits 4-6 red level, bits 8-10 green level, others 0;
//   stored low byte first: byte 0 = red * 16 + blue, byte 1 = green.

// The colour of a palette-register word, its levels as bytes.
Color oColorFromRegisterWord(unsigned int uiWord);

// A palette of up to 16 colours, and the builder that chooses them for a picture.
//
// Building: the picture's pixels are counted in 512 bins, one per MSX colour
// (bin = red level * 64 + green level * 8 + blue level); bins are merged greedily
// down to the requested count, and the surviving colours are refined by a
// coordinate descent and an exhaustive per-channel search that minimise the
// picture's total colour error. Every search has a fixed order and tie rule, and
// those decide the result as much as the error does.
//
// While a palette is being built its colours hold levels (0..7); vLoadFromImage
// converts them to bytes at the end. All distances between bins are fColorDelta
// with channel scale 7.0.
//
// Every count this class stores is kept to 0..16: requested counts of 0 and above
// 16 are taken as 1 and 16, vResize to more than 16 colours keeps 16.
class Palette
{
public:
    // One histogram bin.
    struct Entry
    {
        unsigned char bUsed; // 1 while the bin is a palette candidate
        double fWeight;      // pixels counted, later including merged bins
        double fCost;        // growth of the palette error if this bin were removed
        Entry* poNearest;    // nearest used bin of the same histogram; a used bin points to itself
        Entry* poSecond;     // second-nearest used bin
    };

    unsigned int m_uiColorCount;    // valid colours; on entry to building, the requested count
    Color m_aoColors[16];           // slots at and beyond the count are filler
    double m_fDetailsEnhancement;   // exponent p of the distances that measure the palette error
    unsigned int m_uiUsedEntries;   // bins of m_aoEntries in use
    Entry m_aoEntries[512];         // working histogram
    Entry m_aoOriginalEntries[512]; // the histogram before merging; the palette error is measured on it

    // Count 16, colours zero, p 0, empty histograms.
    Palette();
    // Count 16, the 16 colours copied (null: zero colours).
    explicit Palette(const Color* poColors);
    // vLoadFromImage with the same arguments.
    Palette(const Image* poImage, unsigned int uiColorCount, const tdRectangle* poRect, double fExponent,
            tdDeltaMethod eMethod, double fWeight);
    // Copies carry their histogram links over into their own bins.
    Palette(const Palette& oOther);
    Palette& operator=(const Palette& oOther);
    ~Palette() = default;

    // Builds a palette of up to uiColorCount colours (1..16; 0 is taken as 1 and
    // counts above 16 as 16) for the pixels of poRect (null: the whole picture), as
    // read by Image::oGetPixel, so an ordered dither set on the picture applies.
    // Columns run from max(x, 0) for min(width, picture width) columns, rows
    // likewise; pixels of the rectangle beyond the picture read as black. fExponent
    // becomes m_fDetailsEnhancement. Leaves bytes in the colours. An area without
    // pixels leaves the count 0 and the colours as they were.
    void vLoadFromImage(const Image* poImage, unsigned int uiColorCount, const tdRectangle* poRect,
                        double fExponent, tdDeltaMethod eMethod, double fWeight);

    // From the working histogram: reduces it to the requested m_uiColorCount bins
    // (taken as 1..16), then lists the used bins' level colours by decreasing weight
    // (equal weights keep bin order) and fills the slots from the count to 15 with
    // the last colour. With no used bin the count becomes 0 and the slots stay.
    void vCreatePalette(tdDeltaMethod eMethod, double fWeight);
    // Greedy merging until iTarget bins (a target below 1 counts as 1) are used;
    // removed bins' weights then move to their nearest surviving bin.
    void vReduce(int iTarget, tdDeltaMethod eMethod, double fWeight);
    // Finds the nearest and second-nearest used bins of poEntry (a later bin wins a
    // tie) and refreshes the removal cost of its old and new nearest bin.
    void vInit(Entry* poEntry, tdDeltaMethod eMethod, double fWeight);
    // The cost of removing poEntry: the extra error of the pixels whose nearest bin
    // it is if they moved to their second-nearest bin.
    double fValue(Entry* poEntry, tdDeltaMethod eMethod, double fWeight);
    // The palette error: every original bin's weight times its distance (exponent
    // p) to the nearest of the first count colours (chosen with exponent 1.0, lowest
    // index on a tie). The colours must hold levels.
    double fPaletteDelta(tdDeltaMethod eMethod, double fWeight);
    // Coordinate descent by single level steps over every channel of every colour,
    // repeated until a pass changes nothing; equal errors up and down move down.
    // Levels never leave 0..7 (only infinite or undefined errors would ask for it).
    void vAdjustGradient(tdDeltaMethod eMethod, double fWeight);
    // One pass: each channel of each colour in turn takes the level 0..7 of least
    // palette error (the lowest level on a tie).
    void vAdjustAreaSearch(tdDeltaMethod eMethod, double fWeight);

    // Index of the colour among the first count colours nearest to a byte colour
    // (scale 255.0, exponent 1.0), the lowest index on a tie; 0 for an empty palette.
    int iNearestColor(Color oColor, tdDeltaMethod eMethod, double fWeight) const;
    // The same search for a palette of levels (scale 7.0), returning the colour
    // itself; colour 0 for an empty palette.
    Color oNearestColor(Color oColor, tdDeltaMethod eMethod, double fWeight) const;
    // Distance between the level colours of two bins of either histogram (exponent
    // p, scale 7.0).
    double fDelta(const Entry* poEntry1, const Entry* poEntry2, tdDeltaMethod eMethod, double fWeight) const;
    // Colour slot i (0..15); null for any other index.
    Color* poEntry(int i);

    // Sets the count to n (above 16: 16). With m = min(old count, n), slots m..15
    // become copies of colour m - 1; when m is 0 (an empty palette, or n = 0) every
    // slot becomes (0, 0, 0, 0).
    void vResize(unsigned int uiCount);
    // Orders the first count colours by ascending red + green + blue, then red,
    // green, blue.
    void vSort();
    // Counts a colour whose channels are levels (0..7; larger values are a
    // programming error and stop the program) into the working histogram.
    void vAddPixel(Color oColor);
    // The same with a weight; a weight of 0.0 is ignored.
    void vAddWeightedPixel(Color oColor, double fWeight);

    // Appends the palette-register words of the valid colours, low byte first.
    void vWriteToBinaryArray(tdByteArray* poArray) const;
    // Appends the KRU palette command: bytes 1, 0, the count, then the palette-register
    // words, low byte first. Nothing for a null array.
    void vWriteToKRUArray(tdByteArray* poArray) const;

    // The count, at most 16: how many colours the nearest-colour searches visit.
    unsigned int uiValidCount() const;

    // Empties the working histogram, for a builder that fills it itself (with
    // vAddWeightedPixel) before vCreatePalette.
    void vClearHistogram();

private:
    void vAddToBin(int iBin, double fWeight);
};

// Puts the palette chosen by the settings' PaletteType into the palette's 16 colour
// slots: Custom the settings' own colours, MSX1, MSX2 or Grey the built-in ones.
// Auto (and any other value) leaves the palette alone: the caller builds it from
// the picture. The count is not changed. Null arguments do nothing.
void vGetPalette(const tdSettings* poSettings, Palette* poPalette);

// Distances between the 512 level colours are kept in tables, one per (method,
// exponent, weight), computed on first use and shared by every palette built
// afterwards; a few of the most recent are kept. This releases them all, so that
// the next build computes its tables again (for benchmarks of a first build).
void vReleasePaletteDeltaTables();
