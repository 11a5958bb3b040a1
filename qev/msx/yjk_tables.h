#pragma once

// The tables behind the YJK searches, shared by the units of the YJK converter.
//
// Colour table: 64 x 64 x 32 entries, entry ((J + 32) * 64 + (K + 32)) * 32 + Y
// holds the decoded colour of (Y, J, K). A second table of the same shape holds
// the decoded colour as its three 5-bit channels, red << 10 | green << 5 | blue
// (the "5-bit colour"), which indexes the per-colour tables below. Every table
// is filled once, on first use, and only read afterwards.

#include "qev/base/color.h"
#include "qev/base/settings.h"
#include "qev/color/color_delta.h"

#include <cstdint>
#include <memory>

constexpr int g_iTableSize = 64 * 64 * 32;
constexpr int g_iRGB5Count = 32 * 32 * 32;
// The channel scale of byte colours, as fColorDelta forms it.
constexpr double g_fInverse = 1.0 / 255.0;

// The decoded colours and 5-bit colours of every (J, K, Y); valid after vEnsureColors.
extern Color g_aoYJKColors[g_iTableSize];
extern uint16_t g_auiYJKRGB5[g_iTableSize];

inline int iTableIndex(int iY, int iJ, int iK)
{
    return ((iJ + 32) * 64 + (iK + 32)) * 32 + iY;
}

inline int iClamp31(int i)
{
    return i < 0 ? 0 : (i > 31 ? 31 : i);
}

inline int iExpand5(int v)
{
    return (255 * v + 15) / 31;
}

// The public view of the colour table (yjk.h), set when the tables are filled.
extern const Color* g_poColors;

// Fills the colour tables and g_poColors once; safe from any thread.
void vEnsureColors();

// The inverse of the table: for each 5-bit colour, every (J, K, Y) that decodes to
// it, as ((J + 32) * 64 + (K + 32)) << 5 | Y, ordered by that value; the entries
// of colour c are [start[c], start[c + 1]). List 0 holds all Y, list 1 even Y.
// Valid after vEnsureColourIndex.
constexpr uint32_t g_auiColourEntries[2] = {g_iTableSize, g_iTableSize / 2};
extern uint32_t g_aauiColourStart[2][g_iRGB5Count + 1];
extern uint32_t g_auiColourEntryAll[g_iTableSize];
extern uint32_t g_auiColourEntryEven[g_iTableSize / 2];
void vEnsureColourIndex();

// A colour-side brute force gives up, for the pair scan, beyond this many
// (J, K, Y) within the budget over the four pixels: a large budget reaches too
// much of the table for marking to beat scanning the pairs.
constexpr long g_lMaxColourTriples = 32768;

// The matrix estimate: aiY[0..3], J and K, limited to their ranges; even Y with bEvenY.
void vEstimate(const Color* poPixels, bool bLeastSquares, bool bEvenY, int* aiY, int* piJ, int* piK);

// The group's four bytes (the video-memory layout of Screens 10 and 12) and the
// four colours they show.
void vWriteGroup(const int* aiY, int iJ, int iK, unsigned char* pucBytes, Color* poColors);

// How the searches compute a distance, by method.
// Tables by 5-bit colour for the distances of the searches.

enum tdDeltaKind
{
    DeltaKind_Channels,    // RGB
    DeltaKind_Brightness,  // Hit9918
    DeltaKind_Coordinates, // XYZ, LAB, Oklab
    DeltaKind_CIEDE2000,
    DeltaKind_Zero, // a method outside the enumeration
};

// The per-colour quantity of a method for a colour of normalised channels: the
// brightness (Hit9918, one value) or three coordinates.
void vColorQuantity(tdDeltaMethod eMethod, double r, double g, double b, double* pf);
// How many values vColorQuantity writes.
int iQuantityWidth(tdDeltaMethod eMethod);
// The table of a method's quantity by 5-bit colour, built on first use; null for
// methods without one (RGB).
const double* pfQuantityTable(tdDeltaMethod eMethod);
// The CIEDE2000 points of the 5-bit colours, built on first use.
const tdDeltaPoint* poCIEDE2000Points();

// The CIELAB and chroma of each (J, K, Y)'s colour (the first four values of
// its CIEDE2000 point) and its hue windows in colour-table order, so that the Y
// of one (J, K) lie side by side for the area search's bounds. Valid after
// vFillLabByEntry.
extern std::unique_ptr<double[]> g_afLabByEntry;
extern std::unique_ptr<unsigned char[]> g_aucWindowsByEntry;
void vFillLabByEntry();

// The 5-bit colours that some (J, K, Y) decodes to (even Y only in list 1), by
// ascending CIEDE2000 lightness, for the colour-side brute force.
struct tdColoursByLightness
{
    int m_iCount = 0;
    std::unique_ptr<uint16_t[]> m_auiColour;
    std::unique_ptr<double[]> m_afL;
};
const tdColoursByLightness& oColoursByLightness(bool bEvenY);

inline double fSquaredDistance(double fX1, double fY1, double fZ1, double fX2, double fY2, double fZ2)
{
    double fDX = fX1 - fX2;
    double fDY = fY1 - fY2;
    double fDZ = fZ1 - fZ2;
    return fDX * fDX + fDY * fDY + fDZ * fDZ;
}
