#pragma once

// The YJK converter (its members are defined in yjk.cpp, with vRGB2YJK), what it
// keeps per pixel colour, the ways of computing a distance (policies) and the
// search over one group of four pixels, declared here; the search's minima and
// bounds are defined in yjk_minima.h, the searches themselves (gradient descent,
// area search, brute force) in yjk_exact_search.h.

#include "qev/base/assert.h"
#include "qev/color/color_delta.h"
#include "qev/msx/yjk_tables.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

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
    int m_iKind;                    // how a distance is computed: a tdDeltaKind
    bool m_bMemo;                   // distances are kept per slot (costly methods or exponent not 1.0)
    const double* m_pfTable;        // candidate brightness or coordinates by 5-bit colour, or null
    const tdDeltaPoint* m_poPoints; // CIEDE2000: candidate points by 5-bit colour, else null
    tdYJKSlot* m_poSlots;           // owned; the pixel colours seen last
    tdYJKScratch* m_poScratch;      // owned; brute-force work space, made on first use
    uint32_t m_uiClock;             // use counter for choosing the slot to reuse
    int m_iLastJ;                   // the last area search's answer, tried first by the next one
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

// The least distance of a pixel over one Y range of one (J, K) and the lowest Y
// that reaches it, valid while m_uiStamp equals the slot's m_uiMemoStamp.
struct tdYJKMinimum
{
    uint32_t m_uiStamp;
    uint16_t m_uiRange; // lowest Y | highest Y << 5
    unsigned char m_ucY;
    // m_fMin is the minimum, or else only a lower bound of it (the area search's
    // capped minima), and m_ucY is then meaningless.
    bool m_bExact;
    double m_fMin;
};

// What the converter keeps about one pixel colour.
struct tdYJKSlot
{
    uint32_t m_uiKey;     // 1 << 24 | blue << 16 | green << 8 | red while in use; 0 when empty
    uint32_t m_uiLastUse; // converter clock at the last use
    Color m_oPixel;
    // RGB and Hit9918: (expanded v / 255 - channel / 255)^2 for red, green, blue
    // and each 5-bit value v; the minimum of each table over v..31 (up) and 0..v
    // (down).
    double m_afChannel[3][32];
    double m_afUp[3][32];
    double m_afDown[3][32];
    bool m_bBoundsReady; // m_afUp and m_afDown are made (brute force only)
    // Lower bound of the distance to any colour of a (J, K), by J - K + 63: the
    // least (red + green) over the channel pairs whose difference lies between 0
    // and J - K. Made on demand by the brute force.
    double m_afRedGreen[127];
    bool m_bRedGreenReady;
    double m_afQuantity[3]; // the pixel's brightness or coordinates
    tdDeltaPoint m_oPoint;  // CIEDE2000: the pixel's point, for the distance bounds
    double m_fYBase;        // red + green + 1.25 blue in 5-bit units, for the first Y tried
    // Distances by 5-bit colour, valid where the stamp equals m_uiMemoStamp.
    double* m_pfMemo;
    uint32_t* m_puiMemoStamp;
    uint32_t m_uiMemoStamp;
    // Minima over Y by (J + 32) * 64 + (K + 32), one Y range each, with the same
    // stamp: under error diffusion a group is converted once per pixel and three
    // of its four pixels come back unchanged, with their (J, K) mostly the same.
    tdYJKMinimum* m_poMinima;
};

// Work space of the colour-side brute force, by pixel and by (J, K) as
// (J + 32) * 64 + (K + 32): the least distance over Y, its lowest Y, and which
// (J, K) have been reached.
struct tdYJKScratch
{
    double m_afMin[4][4096];
    unsigned char m_aucY[4][4096];
    uint64_t m_auiReached[4][64];
};

// The suffix and prefix minima of a slot's channel tables, on first need.
inline void vMakeChannelBounds(tdYJKSlot* po)
{
    if (po->m_bBoundsReady) return;
    for (int c = 0; c < 3; c++)
    {
        po->m_afDown[c][0] = po->m_afChannel[c][0];
        for (int v = 1; v < 32; v++)
            po->m_afDown[c][v] = po->m_afChannel[c][v] < po->m_afDown[c][v - 1] ? po->m_afChannel[c][v]
                                                                                : po->m_afDown[c][v - 1];
        po->m_afUp[c][31] = po->m_afChannel[c][31];
        for (int v = 30; v >= 0; v--)
            po->m_afUp[c][v] =
                po->m_afChannel[c][v] < po->m_afUp[c][v + 1] ? po->m_afChannel[c][v] : po->m_afUp[c][v + 1];
    }
    po->m_bBoundsReady = true;
}

// The searches, for one way of computing distances (the policy).
//   tdChannelPolicy     RGB, exponent 1.0
//   tdBrightnessPolicy  Hit9918, exponent 1.0
//   tdGenericPolicy     anything else, through YJKConverter::fDelta (memoised)
// The first two allow the single-channel bounds.
struct tdChannelPolicy
{
    static constexpr bool bBounds = true;
    const double* m_pfTable;
    double m_fWeight;
    double fDelta(YJKConverter*, tdYJKSlot* po, unsigned int ui) const
    {
        return (po->m_afChannel[0][ui >> 10] + po->m_afChannel[1][(ui >> 5) & 31]) +
               po->m_afChannel[2][ui & 31];
    }
};

struct tdBrightnessPolicy
{
    static constexpr bool bBounds = true;
    const double* m_pfTable;
    double m_fWeight;
    double fDelta(YJKConverter*, tdYJKSlot* po, unsigned int ui) const
    {
        double fSquares =
            (po->m_afChannel[0][ui >> 10] + po->m_afChannel[1][(ui >> 5) & 31]) + po->m_afChannel[2][ui & 31];
        double fBrightness = m_fWeight * (m_pfTable[ui] - po->m_afQuantity[0]);
        return fSquares + fBrightness * fBrightness;
    }
};

struct tdGenericPolicy
{
    static constexpr bool bBounds = false;
    const double* m_pfTable;
    double m_fWeight;
};

template <class Policy> struct tdYJKSearch
{
    YJKConverter* m_po;
    Policy m_oPolicy;
    tdYJKSlot* m_apoSlot[4];
    int m_iStep;
    int m_iYMax; // the highest Y allowed: 31, or 30 with even Y
    int m_aiOrder[4];
    // CIEDE2000 with exponent 1.0: the candidates' points, for fMinBounded; null
    // otherwise.
    const tdDeltaPoint* m_poBoundPoints = nullptr;
    const tdCIEDE2000BoundTables* m_poTables = nullptr;

    // Lower bounds of the brute force, per pixel: by J + 32, by K + 32, by
    // 2 J + K + 96 and by J - K + 63.
    double m_afRedBound[4][64];
    double m_afGreenBound[4][64];
    double m_afBlueBound[4][190];
    double m_afRedGreenBound[4][127];

    double fDist(int p, unsigned int ui)
    {
        if constexpr (Policy::bBounds)
            return m_oPolicy.fDelta(m_po, m_apoSlot[p], ui);
        else
            return m_po->fDelta(m_apoSlot[p], ui);
    }

    static const uint16_t* puiRow(int iJ, int iK) { return g_auiYJKRGB5 + iTableIndex(0, iJ, iK); }

    double fTotalAt(const int* aiY, int iJ, int iK)
    {
        const uint16_t* pui = puiRow(iJ, iK);
        double fTotal = 0.0;
        for (int p = 0; p < 4; p++)
            fTotal += fDist(p, pui[aiY[p]]);
        return fTotal;
    }

    // fMinPlain for CIEDE2000 (exponent 1.0), from the Y whose lightness is
    // nearest the pixel's, outwards. Every channel of the decoded colour rises with
    // Y, and so does its lightness, so the lightness bound only grows away from the
    // start: once it passes the least distance, the rest of that side is skipped; a
    // Y whose full bound passes it is skipped alone. Out of Y order the lowest Y
    // wins a tie explicitly.
    //
    // With a cap below the largest finite double, Ys whose bounds pass the cap are
    // skipped too: should the least distance found be at most the cap it is still
    // the exact minimum (*pbExact true), otherwise the result is only a lower bound
    // of it, above the cap.
    double fMinBounded(int p, const uint16_t* pui, int iLow, int iHigh, int* piY, double fCap = DBL_MAX,
                       bool* pbExact = nullptr);

    // The least distance of pixel p over Y = iLow, iLow + step, .. iHigh and the
    // lowest Y that reaches it (iLow when none is below the largest finite double).
    double fMinPlain(int p, const uint16_t* pui, int iLow, int iHigh, int* piY);

    // fMinPlain over the whole Y range, starting near the Y that fits the pixel
    // best and walking outwards while the single-channel bounds allow a better
    // distance. Upwards, every channel of the decoded colour stays or grows, so no
    // later Y beats the bound of the suffix minima; downwards the prefix minima
    // bound every lower Y, which must fall strictly below to be skipped since the
    // lowest Y wins a tie.
    double fMinScan(int p, const uint16_t* pui, int iJ, int iK, int* piY);

    // fMinPlain through the slot's kept minima, where it has them: the minimum and
    // its lowest Y are a function of the pixel, (J, K) and the range alone.
    double fMinKept(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh, int* piY);

    // fMinKept with fMinBounded's cap (CIEDE2000, exponent 1.0; DBL_MAX for none).
    // A lower bound above the cap is kept as well, and stands for the minimum while
    // it passes the cap of a later call.
    double fMinCapped(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh, double fCap, int* piY,
                      bool* pbExact);

    double fMinFull(int p, const uint16_t* pui, int iJ, int iK, int* piY);

    // The sum in pixel order of the exact minima known so far (mask bit p) and the
    // lower bounds afBound of the others.
    static double fOrderedSum(const double* afValue, unsigned int uiKnown, const double* afBound)
    {
        double fSum = 0.0;
        for (int p = 0; p < 4; p++)
            fSum += (uiKnown & (1u << p)) ? afValue[p] : afBound[p];
        return fSum;
    }

    void vPromote(int i)
    {
        int p = m_aiOrder[i];
        for (; i > 0; i--)
            m_aiOrder[i] = m_aiOrder[i - 1];
        m_aiOrder[0] = p;
    }

    // One (J, K) of a range search: computes the pixel minima in the order that
    // pruned last time and gives up as soon as the group total is sure to be above
    // fBound or not below fBest. Returns true with the total and Ys when it is not.
    template <bool bFull>
    bool bTryPair(int iJ, int iK, const int* aiYLow, const int* aiYHigh, const double* afBound, double fBound,
                  double fBest, double* pfTotal, int* aiY);

    // The kept minimum, or lower bound, of pixel p over iLow..iHigh at (J, K), if
    // the slot has one.
    bool bKeptMin(int p, int iJ, int iK, int iLow, int iHigh, double* pfMin, int* piY, bool* pbExact) const;

    // Keeps a lower bound of pixel p's minimum at (J, K) in the slot.
    void vKeepBound(int p, int iJ, int iK, int iLow, int iHigh, double fBound);

    // A lower bound of pixel p's least distance over iLow..iHigh (CIEDE2000).
    double fMinBound(int p, int iEntry, int iLow, int iHigh) const;

    struct tdAreaPair
    {
        double m_afValue[4]; // exact minimum where m_uiKnown has the pixel's bit, else a lower bound
        double m_fSum;       // m_afValue summed in pixel order: a lower bound of the total
        unsigned int m_uiKnown;
        int m_aiY[4];
        int m_iJ;
        int m_iK;
    };

    // The area search for CIEDE2000 (exponent 1.0), best first. Every (J, K) gets a
    // lower bound of its total from the pixels' kept minima and table bounds of the
    // others; the previous answer is tried first (it sets a low best total at
    // once), then the pairs in ascending order of that bound (then in J-K order),
    // and the first bound above the best total ends the search. Among equal totals
    // the pair first in J-K order wins: a pair whose bound equals the best total is
    // skipped only when it comes later.
    void vAreaSearchBestFirst(int iJLow, int iJHigh, int iKLow, int iKHigh, const int* aiYLow,
                              const int* aiYHigh, int* piJ, int* piK, int* aiY);

    // Area search around the estimate (J0, K0, aiY0); the result starts as the
    // estimate itself.
    void vAreaSearch(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY);

    // The bounds of the brute force for this group, from each pixel's channel
    // tables: over Y = 0..m_iYMax the red of a (J, K) runs from clamp(J) to
    // clamp(J + m_iYMax), so no distance is below the least red square of that run;
    // likewise green with K and blue with 2 J + K; and red minus green lies between
    // 0 and J - K.
    void vPrepareBounds();

    void vPairBounds(int iJ, int iK, double* afBound) const;

    // Brute force from the colour side, for a budget: the full total of a (J, K)
    // known in advance, which the answer cannot exceed. A (J, K) can win only if
    // each pixel's least distance over Y is within the budget (the total is at
    // least each of them), that is, only if one of its colours is. So for each
    // pixel the colours within the budget are listed through the channel tables
    // (red + green already above it rules a colour out), and the (J, K, Y) of each
    // reach their (J, K), keeping the least distance and its lowest Y. Exactly the
    // (J, K) reached for all four pixels then have their exact totals, and are
    // compared in ascending order. Returns false, deciding nothing, when the budget
    // admits more triples than the converter's m_lMaxColourTriples.
    bool bBruteForceByColour(double fBudget, int* piJ, int* piK, int* aiY);

    // Brute force. The area search around the estimate gives a (J, K) whose full
    // total bounds the answer; the result starts as the estimate.
    void vBruteForce(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY);

    bool bStep(int* aiY, int* piJ, int* piK, int* piValue, int iStep, int iLow, int iHigh, double* pfBest);

    // Gradient descent from the estimate, in place. The best total starts above
    // every total, so the first value examined moves whenever its two neighbours
    // differ.
    void vGradientDescent(int* piJ, int* piK, int* aiY);

    void vRun(const int* aiY0, int iJ0, int iK0, int* piJ, int* piK, int* aiY);
};
