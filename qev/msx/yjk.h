#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"

#include <cstdint>

// YJK colour, the colour model of Screens 10 and 12: four horizontally adjacent
// pixels share one chroma pair (J, K) and each has its own luminance Y.
//
//   Y 0..31 (Screen 10 keeps only even values), J and K -32..31.
//   Decoded pixel: red   = clamp(Y + J)
//                  green = clamp(Y + K)
//                  blue  = clamp(trunc((5 Y - 2 J - K + 2) / 4))
//   clamp to 0..31, trunc toward zero, each channel then expanded to a byte by
//   floor((255 v + 15) / 31). All Y give 19,268 distinct colours, even Y 12,499.
//
// Group bytes, as they sit in video memory:
//   byte 0  Y0 in bits 7-3, K bits 2-0 in bits 2-0
//   byte 1  Y1 in bits 7-3, K bits 5-3 in bits 2-0
//   byte 2  Y2 in bits 7-3, J bits 2-0 in bits 2-0
//   byte 3  Y3 in bits 7-3, J bits 5-3 in bits 2-0

// The decoded colour of every (Y, J, K), alpha 255: (Y, J, K) is at
// g_poColors[2048 J + 32 K + Y] with signed J and K. Null until the table is filled.
// The table is filled once per process, by vComputeColors or by the first call of
// any function below that needs it, and never changes afterwards.
extern const Color* g_poColors;

// Fills the colour table and sets g_poColors. Later calls do nothing. Safe to call
// from several threads.
void vComputeColors();

// Converts four pixels (left to right; only red, green and blue are read) to the
// YJK group that the method finds best, and writes its four bytes and the four
// colours those bytes display (alpha 255).
//
// Methods: Standard and Least squares take a matrix estimate; Gradient descent
// walks from the least-squares estimate by single steps; Area search tries J and K
// within 3 and each Y within 2 of that estimate; Brute force tries every J, K and Y.
// Candidates are compared by fColorDelta(candidate, pixel, fExponent, 255.0,
// eDeltaMethod, fWeight) summed over the four pixels in order; among equal totals
// the first J, then K, in ascending order wins, and within a pixel the lowest Y.
// bEvenY restricts Y to even values (Screen 10, whose bit 3 is the attribute bit).
// A method value outside the enumeration converts as Standard. Should no total fall
// below the largest finite double (distances that are all infinite or not a
// number), the least-squares estimate stands, for Brute force too.
//
// For one group at a time; converting many groups is cheaper through YJKConverter.
void vRGB2YJK(const Color* poPixels, unsigned char* pucBytes, Color* poColors, tdRGB2YJKMethod eMethod,
              bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod, double fWeight);

// The same conversion done the plain way: every candidate measured with
// fColorDelta, every range scanned in full, nothing kept between calls. It defines
// the result that vRGB2YJK and YJKConverter must reproduce byte for byte, and is
// kept for tests and benchmarks; Brute force takes milliseconds per group here (a
// fifth of a second with CIEDE2000).
void vRGB2YJKReference(const Color* poPixels, unsigned char* pucBytes, Color* poColors,
                       tdRGB2YJKMethod eMethod, bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod,
                       double fWeight);

struct tdDeltaPoint;
struct tdYJKSlot;
struct tdYJKScratch;

// vRGB2YJK for a run of groups with fixed settings. It keeps, for the last few
// pixel colours it has seen, the per-pixel tables and the distances it computed,
// which pays off when the same pixels come back (the four conversions of a group
// under error diffusion, flat areas). The results are exactly those of vRGB2YJK.
//
// How the searches stay exact while skipping work:
//   - every distance is non-negative or not a number (sums of squares, and the
//     CIEDE2000 rotation term is below 0.87 (dC'^2 + dH'^2)), and under
//     round-to-nearest adding a non-negative double never lowers a sum, so the sum
//     of lower bounds of some pixels, added in pixel order, bounds the group total;
//   - a (J, K) is skipped only when that bound is above a total already reached by
//     an earlier (J, K) or above the total of a (J, K) known in advance, so the
//     first (J, K) of least total is never skipped;
//   - for the RGB and Hit9918 methods with exponent 1.0 a distance is at least the
//     sum of the squared channel differences, added in order, and the channels of
//     a decoded colour never fall as Y grows, which bounds whole runs of Y at once;
//   - Brute force first takes the total of the area search's answer as a budget;
//     with those two methods and with CIEDE2000 (exponent 1.0) it then lists, per
//     pixel, only the colours within the budget (CIEDE2000: the colours in order
//     of lightness, outwards from the pixel's until the lightness term alone
//     passes the budget, each first through its proven lower bounds) and reaches
//     the (J, K, Y) that decode to them (few when the budget is small), so only
//     (J, K) within the budget for all four pixels get a total. With a large
//     budget, or other methods, it scans the (J, K) pairs with the bounds above;
//   - with the costly distances each pixel colour also keeps its least distance
//     over Y by (J, K) and Y range: a function of those alone;
//   - the area search with CIEDE2000 (exponent 1.0) takes the (J, K) best first:
//     the previous answer, then by ascending lower bound of the total, stopping at
//     the first bound above the best total; a pixel's minimum is computed only up
//     to a cap (what it may add before the total passes the best), and above it
//     only a lower bound is known and kept. Equal totals go to the first (J, K) in
//     J-K order explicitly, so the visiting order never shows in the result.
class YJKConverter
{
public:
    YJKConverter(tdRGB2YJKMethod eMethod, bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod,
                 double fWeight);
    ~YJKConverter();
    YJKConverter(const YJKConverter&) = delete;
    YJKConverter& operator=(const YJKConverter&) = delete;

    // vRGB2YJK of the four pixels with the converter's settings.
    void vConvert(const Color* poPixels, unsigned char* pucBytes, Color* poColors);

    // Brute force works from the colour side while the colours within reach of a
    // group admit at most this many (J, K, Y) (32768 unless changed), and scans the
    // (J, K) pairs beyond that. Both give the same bytes; tests set 0 to reach the
    // pair scan on any group.
    long m_lMaxColourTriples;

    // The distance the searches use between pixel oPixel and the colour of (Y, J, K):
    // fColorDelta(colour, pixel, exponent, 255.0, method, weight), computed from
    // the converter's tables.
    double fCandidateDelta(Color oPixel, int iY, int iJ, int iK);

private:
    tdRGB2YJKMethod m_eMethod;
    bool m_bEvenY;
    double m_fExponent;
    tdDeltaMethod m_eDeltaMethod;
    double m_fWeight;
    int m_iKind;               // how a distance is computed, see yjk.cpp
    bool m_bMemo;              // distances are kept per slot (costly methods or exponent not 1.0)
    const double* m_pfTable;   // candidate brightness or coordinates by 5-bit colour, or null
    const tdDeltaPoint* m_poPoints; // CIEDE2000: candidate points by 5-bit colour, else null
    tdYJKSlot* m_poSlots;      // owned; the pixel colours seen last
    tdYJKScratch* m_poScratch; // owned; brute-force work space, made on first use
    uint32_t m_uiClock;        // use counter for choosing the slot to reuse
    int m_iLastJ;              // the last area search's answer, tried first by the next one
    int m_iLastK;

    tdYJKSlot* poSlotFor(Color oPixel);
    tdYJKScratch* poScratch();
    void vPrepareSlot(tdYJKSlot* poSlot, Color oPixel);
    double fDelta(tdYJKSlot* poSlot, unsigned int uiRGB5);
    double fDistance(const tdYJKSlot* poSlot, unsigned int uiRGB5) const;

    template <class Policy> friend struct tdYJKSearch;
    friend void vRGB2YJK(const Color*, unsigned char*, Color*, tdRGB2YJKMethod, bool, double, tdDeltaMethod,
                         double);
};
