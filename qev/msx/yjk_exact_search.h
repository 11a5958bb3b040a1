#pragma once

// The exact RGB-to-YJK searches over one group: the area search (by pairs, and
// best first for CIEDE2000), the brute force (by pairs, or from the colour side
// within a budget) and the gradient descent, and vRun, which picks one.

#include "qev/msx/yjk_converter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

template <class Policy>
template <bool bFull>
bool tdYJKSearch<Policy>::bTryPair(int iJ, int iK, const int* aiYLow, const int* aiYHigh,
                                   const double* afBound, double fBound, double fBest, double* pfTotal,
                                   int* aiY)
{
    const uint16_t* pui = puiRow(iJ, iK);
    double afMin[4];
    unsigned int uiKnown = 0;
    for (int i = 0; i < 4; i++)
    {
        int p = m_aiOrder[i];
        if constexpr (bFull)
            afMin[p] = fMinFull(p, pui, iJ, iK, &aiY[p]);
        else
            afMin[p] = fMinKept(p, pui, iJ, iK, aiYLow[p], aiYHigh[p], &aiY[p]);
        uiKnown |= 1u << p;
        double fSum = fOrderedSum(afMin, uiKnown, afBound);
        if (i < 3 && (fSum > fBound || fSum >= fBest))
        {
            vPromote(i);
            return false;
        }
        if (i == 3) *pfTotal = fSum;
    }
    return true;
}

template <class Policy>
void tdYJKSearch<Policy>::vAreaSearchBestFirst(int iJLow, int iJHigh, int iKLow, int iKHigh,
                                               const int* aiYLow, const int* aiYHigh, int* piJ, int* piK,
                                               int* aiY)
{
    tdAreaPair aoPair[49];
    double afKey[49];
    int iCount = 0;
    for (int iJ = iJLow; iJ <= iJHigh; iJ++)
        for (int iK = iKLow; iK <= iKHigh; iK++)
        {
            tdAreaPair& o = aoPair[iCount];
            o.m_iJ = iJ;
            o.m_iK = iK;
            o.m_uiKnown = 0;
            const int iEntry = iTableIndex(0, iJ, iK);
            for (int p = 0; p < 4; p++)
            {
                bool bExact = false;
                if (!bKeptMin(p, iJ, iK, aiYLow[p], aiYHigh[p], &o.m_afValue[p], &o.m_aiY[p], &bExact))
                {
                    o.m_afValue[p] = fMinBound(p, iEntry, aiYLow[p], aiYHigh[p]);
                    vKeepBound(p, iJ, iK, aiYLow[p], aiYHigh[p], o.m_afValue[p]);
                }
                if (bExact) o.m_uiKnown |= 1u << p;
            }
            o.m_fSum = ((o.m_afValue[0] + o.m_afValue[1]) + o.m_afValue[2]) + o.m_afValue[3];
            afKey[iCount] = o.m_fSum;
            iCount++;
        }
    double fBest = DBL_MAX;
    int iBest = -1;
    // The previous answer first: under error diffusion it is usually this one's.
    const int iLastJ = m_po->m_iLastJ;
    const int iLastK = m_po->m_iLastK;
    int iFirst = -1;
    if (iLastJ >= iJLow && iLastJ <= iJHigh && iLastK >= iKLow && iLastK <= iKHigh)
        iFirst = (iLastJ - iJLow) * (iKHigh - iKLow + 1) + (iLastK - iKLow);
    if (iFirst >= 0) afKey[iFirst] = HUGE_VAL;
    // The next pair is picked by a scan, as the search mostly ends after a few:
    // the least bound, the first in J-K order among equals; a visited pair's
    // key is infinite. The bounds are finite: CIEDE2000 of byte colours is.
    for (int iStep = iFirst >= 0 ? -1 : 0; iStep < iCount; iStep++)
    {
        int n = iFirst;
        if (iStep >= 0)
        {
            n = 0;
            for (int i = 1; i < iCount; i++)
                if (afKey[i] < afKey[n]) n = i;
            if (afKey[n] > fBest) break;
            afKey[n] = HUGE_VAL;
        }
        tdAreaPair& o = aoPair[n];
        bool bLose = false;
        const uint16_t* pui = puiRow(o.m_iJ, o.m_iK);
        for (int j = 0; j < 4 && !bLose; j++)
        {
            if (o.m_fSum == fBest && (iBest < 0 || n > iBest))
            {
                bLose = true;
                break;
            }
            const int p = m_aiOrder[j];
            if (o.m_uiKnown & (1u << p)) continue;
            // The cap: what the pixel may add before the total passes the best,
            // a little over (the sum below decides).
            double fOthers = 0.0;
            for (int q = 0; q < 4; q++)
                if (q != p) fOthers += o.m_afValue[q];
            const double fCap = fBest < DBL_MAX ? (fBest - fOthers) * (1.0 + 1e-12) : DBL_MAX;
            bool bExact = true;
            double f = fMinCapped(p, pui, o.m_iJ, o.m_iK, aiYLow[p], aiYHigh[p], fCap, &o.m_aiY[p], &bExact);
            if (!bExact)
            {
                o.m_afValue[p] = f > o.m_afValue[p] ? f : o.m_afValue[p];
                o.m_fSum = ((o.m_afValue[0] + o.m_afValue[1]) + o.m_afValue[2]) + o.m_afValue[3];
                if (o.m_fSum > fBest || (o.m_fSum == fBest && (iBest < 0 || n > iBest)))
                {
                    vPromote(j);
                    bLose = true;
                    break;
                }
                // The bound leaves the pair in the running (rounding, or a total
                // equal to the best that would win): the minimum decides.
                f = fMinKept(p, pui, o.m_iJ, o.m_iK, aiYLow[p], aiYHigh[p], &o.m_aiY[p]);
            }
            o.m_afValue[p] = f;
            o.m_uiKnown |= 1u << p;
            o.m_fSum = ((o.m_afValue[0] + o.m_afValue[1]) + o.m_afValue[2]) + o.m_afValue[3];
            if (o.m_fSum > fBest)
            {
                vPromote(j);
                bLose = true;
            }
        }
        if (bLose) continue;
        if (o.m_fSum < fBest || (o.m_fSum == fBest && iBest >= 0 && n < iBest))
        {
            fBest = o.m_fSum;
            iBest = n;
        }
    }
    if (iBest < 0) return;
    *piJ = aoPair[iBest].m_iJ;
    *piK = aoPair[iBest].m_iK;
    m_po->m_iLastJ = *piJ;
    m_po->m_iLastK = *piK;
    for (int p = 0; p < 4; p++)
        aiY[p] = aoPair[iBest].m_aiY[p];
}

template <class Policy>
void tdYJKSearch<Policy>::vAreaSearch(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY)
{
    const int iJLow = iJ0 - 3 < -32 ? -32 : iJ0 - 3;
    const int iJHigh = iJ0 + 3 > 31 ? 31 : iJ0 + 3;
    const int iKLow = iK0 - 3 < -32 ? -32 : iK0 - 3;
    const int iKHigh = iK0 + 3 > 31 ? 31 : iK0 + 3;
    int aiYLow[4];
    int aiYHigh[4];
    for (int p = 0; p < 4; p++)
    {
        aiYLow[p] = aiY0[p] - 2 < 0 ? 0 : aiY0[p] - 2;
        aiYHigh[p] = aiY0[p] + 2 > 31 ? 31 : aiY0[p] + 2;
        if (m_iStep == 2)
        {
            aiYLow[p] &= ~1;
            aiYHigh[p] &= ~1;
        }
    }
    if (m_poBoundPoints)
    {
        vAreaSearchBestFirst(iJLow, iJHigh, iKLow, iKHigh, aiYLow, aiYHigh, piJ, piK, aiY);
        return;
    }
    const double afZero[4] = {0.0, 0.0, 0.0, 0.0};
    // The total of the estimate's own (J0, K0), which lies in the range: no
    // pair above it can win.
    double fBound = DBL_MAX;
    int aiTry[4];
    bTryPair<false>(iJ0, iK0, aiYLow, aiYHigh, afZero, DBL_MAX, DBL_MAX, &fBound, aiTry);

    double fBest = DBL_MAX;
    for (int iJ = iJLow; iJ <= iJHigh; iJ++)
        for (int iK = iKLow; iK <= iKHigh; iK++)
        {
            double fTotal = DBL_MAX;
            if (!bTryPair<false>(iJ, iK, aiYLow, aiYHigh, afZero, fBound, fBest, &fTotal, aiTry)) continue;
            if (fTotal < fBest)
            {
                fBest = fTotal;
                *piJ = iJ;
                *piK = iK;
                for (int p = 0; p < 4; p++)
                    aiY[p] = aiTry[p];
                if (fTotal == 0.0) return;
            }
        }
}

template <class Policy>
bool tdYJKSearch<Policy>::bBruteForceByColour(double fBudget, int* piJ, int* piK, int* aiY)
{
    if (!(fBudget < DBL_MAX)) return false;
    vEnsureColourIndex();
    tdYJKScratch* poS = m_po->poScratch();
    const uint32_t* puiStart = g_aauiColourStart[m_iStep == 2 ? 1 : 0];
    const uint32_t* puiEntry = m_iStep == 2 ? g_auiColourEntryEven : g_auiColourEntryAll;
    memset(poS->m_auiReached, 0, sizeof(poS->m_auiReached));
    long lTriples = 0;
    // A (J, K) within the budget has total ((m0 + m1) + m2) + m3 <= budget for
    // the pixels' least distances m over Y, so pixel p's is at most the budget
    // less the least distances of the pixels before it over the whole table
    // (fKnown, found as they are listed), within a relative margin of 1e-12 far
    // above the rounding of the sums.
    double fKnown = 0.0;
    for (int p = 0; p < 4; p++)
    {
        double fLimit = fBudget * (1.0 + 1e-12) - fKnown * (1.0 - 1e-12);
        if (fLimit > fBudget) fLimit = fBudget;
        double fLeast = DBL_MAX;
        const tdYJKSlot* po = m_apoSlot[p];
        double* pfMin = poS->m_afMin[p];
        unsigned char* pucY = poS->m_aucY[p];
        uint64_t* puiReached = poS->m_auiReached[p];
        // Marks the (J, K, Y) of colour ui when its distance is within the
        // budget; false once they pass the converter's limit.
        auto bReach = [&](unsigned int ui) -> bool
        {
            const uint32_t uiFrom = puiStart[ui];
            const uint32_t uiTo = puiStart[ui + 1];
            if (uiFrom == uiTo) return true;
            const double f = fDist(p, ui);
            if (!(f <= fLimit)) return true;
            if (f < fLeast) fLeast = f;
            lTriples += uiTo - uiFrom;
            if (lTriples > m_po->m_lMaxColourTriples) return false;
            for (uint32_t e = uiFrom; e < uiTo; e++)
            {
                const uint32_t uiPair = puiEntry[e] >> 5;
                const unsigned char ucY = static_cast<unsigned char>(puiEntry[e] & 31);
                const uint64_t uiBit = 1ull << (uiPair & 63);
                if (!(puiReached[uiPair >> 6] & uiBit))
                {
                    puiReached[uiPair >> 6] |= uiBit;
                    pfMin[uiPair] = f;
                    pucY[uiPair] = ucY;
                }
                else if (f < pfMin[uiPair] || (f == pfMin[uiPair] && ucY < pucY[uiPair]))
                {
                    pfMin[uiPair] = f;
                    pucY[uiPair] = ucY;
                }
            }
            return true;
        };
        if constexpr (Policy::bBounds)
        {
            for (unsigned int r = 0; r < 32; r++)
            {
                const double fRed = po->m_afChannel[0][r];
                if (fRed > fLimit) continue;
                for (unsigned int g = 0; g < 32; g++)
                {
                    if (fRed + po->m_afChannel[1][g] > fLimit) continue;
                    for (unsigned int b = 0; b < 32; b++)
                        if (!bReach(r << 10 | g << 5 | b)) return false;
                }
            }
        }
        else
        {
            // CIEDE2000: the colours by lightness, outwards from the pixel's,
            // until the lightness part of the distance alone passes the budget
            // (it grows with the lightness difference); colours whose bounds
            // pass it are skipped. The order of the colours does not matter:
            // each (J, K) keeps its least distance and, among equals, lowest Y.
            const tdColoursByLightness& oList = oColoursByLightness(m_iStep == 2);
            const tdDeltaPoint& oPixel = po->m_oPoint;
            const bool bMemo = m_po->m_bMemo;
            auto bVisit = [&](int i) -> int
            {
                if (fCIEDE2000LightnessBound(oList.m_afL[i] - oPixel.af[0]) > fLimit) return 0;
                const unsigned int ui = oList.m_auiColour[i];
                const tdDeltaPoint& oCandidate = m_poBoundPoints[ui];
                if (fCIEDE2000QuickBound(oCandidate, oPixel) > fLimit) return 1;
                if (!(bMemo && po->m_puiMemoStamp[ui] == po->m_uiMemoStamp) &&
                    fCIEDE2000LowerBound(oCandidate, oPixel, fLimit) > fLimit)
                    return 1;
                return bReach(ui) ? 1 : -1;
            };
            const int iCount = oList.m_iCount;
            const int iFirst = static_cast<int>(
                std::lower_bound(oList.m_afL.get(), oList.m_afL.get() + iCount, oPixel.af[0]) -
                oList.m_afL.get());
            for (int i = iFirst; i < iCount; i++)
            {
                const int iVisit = bVisit(i);
                if (iVisit < 0) return false;
                if (iVisit == 0) break;
            }
            for (int i = iFirst - 1; i >= 0; i--)
            {
                const int iVisit = bVisit(i);
                if (iVisit < 0) return false;
                if (iVisit == 0) break;
            }
        }
        fKnown += fLeast;
    }
    double fBest = DBL_MAX;
    for (int w = 0; w < 64; w++)
    {
        uint64_t ui = poS->m_auiReached[0][w] & poS->m_auiReached[1][w] & poS->m_auiReached[2][w] &
                      poS->m_auiReached[3][w];
        while (ui)
        {
            const int iPair = 64 * w + __builtin_ctzll(ui);
            ui &= ui - 1;
            double fTotal = 0.0;
            for (int p = 0; p < 4; p++)
                fTotal += poS->m_afMin[p][iPair];
            if (fTotal < fBest)
            {
                fBest = fTotal;
                *piJ = (iPair >> 6) - 32;
                *piK = (iPair & 63) - 32;
                for (int p = 0; p < 4; p++)
                    aiY[p] = poS->m_aucY[p][iPair];
                if (fTotal == 0.0) return true;
            }
        }
    }
    return true;
}

template <class Policy>
void tdYJKSearch<Policy>::vBruteForce(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY)
{
    if constexpr (Policy::bBounds)
        for (int p = 0; p < 4; p++)
            vMakeChannelBounds(m_apoSlot[p]);
    int iJA = iJ0;
    int iKA = iK0;
    int aiYA[4] = {aiY0[0], aiY0[1], aiY0[2], aiY0[3]};
    vAreaSearch(iJ0, iK0, aiY0, &iJA, &iKA, aiYA);
    const double afZero[4] = {0.0, 0.0, 0.0, 0.0};
    const int aiYLow[4] = {0, 0, 0, 0};
    const int aiYHigh[4] = {m_iYMax, m_iYMax, m_iYMax, m_iYMax};
    double fBound = DBL_MAX;
    int aiTry[4];
    bTryPair<true>(iJA, iKA, aiYLow, aiYHigh, afZero, DBL_MAX, DBL_MAX, &fBound, aiTry);
    if constexpr (Policy::bBounds)
    {
        if (bBruteForceByColour(fBound, piJ, piK, aiY)) return;
        vPrepareBounds();
    }
    else if (m_poBoundPoints && bBruteForceByColour(fBound, piJ, piK, aiY))
        return;

    double fBest = DBL_MAX;
    double afBound[4] = {0.0, 0.0, 0.0, 0.0};
    for (int iJ = -32; iJ <= 31; iJ++)
        for (int iK = -32; iK <= 31; iK++)
        {
            if constexpr (Policy::bBounds)
            {
                vPairBounds(iJ, iK, afBound);
                double fSum = ((afBound[0] + afBound[1]) + afBound[2]) + afBound[3];
                if (fSum > fBound || fSum >= fBest) continue;
            }
            double fTotal = DBL_MAX;
            if (!bTryPair<true>(iJ, iK, aiYLow, aiYHigh, afBound, fBound, fBest, &fTotal, aiTry)) continue;
            if (fTotal < fBest)
            {
                fBest = fTotal;
                *piJ = iJ;
                *piK = iK;
                for (int p = 0; p < 4; p++)
                    aiY[p] = aiTry[p];
                if (fTotal == 0.0) return;
            }
        }
}

template <class Policy>
bool tdYJKSearch<Policy>::bStep(int* aiY, int* piJ, int* piK, int* piValue, int iStep, int iLow, int iHigh,
                                double* pfBest)
{
    const int c = *piValue;
    double fUp = DBL_MAX;
    double fDown = DBL_MAX;
    if (c + iStep <= iHigh)
    {
        *piValue = c + iStep;
        fUp = fTotalAt(aiY, *piJ, *piK);
    }
    if (c - iStep >= iLow)
    {
        *piValue = c - iStep;
        fDown = fTotalAt(aiY, *piJ, *piK);
    }
    *piValue = c;
    if (*pfBest > fUp && fDown > fUp)
    {
        *piValue = c + iStep;
        *pfBest = fUp;
        return true;
    }
    if (*pfBest > fDown && fUp > fDown)
    {
        *piValue = c - iStep;
        *pfBest = fDown;
        return true;
    }
    return false;
}

template <class Policy> void tdYJKSearch<Policy>::vGradientDescent(int* piJ, int* piK, int* aiY)
{
    double fBest = DBL_MAX;
    bool bChanged = true;
    while (bChanged)
    {
        bChanged = false;
        for (int p = 0; p < 4; p++)
            bChanged |= bStep(aiY, piJ, piK, &aiY[p], m_iStep, 0, 31, &fBest);
        bChanged |= bStep(aiY, piJ, piK, piJ, 1, -32, 31, &fBest);
        bChanged |= bStep(aiY, piJ, piK, piK, 1, -32, 31, &fBest);
    }
}

template <class Policy>
void tdYJKSearch<Policy>::vRun(const int* aiY0, int iJ0, int iK0, int* piJ, int* piK, int* aiY)
{
    for (int i = 0; i < 4; i++)
        m_aiOrder[i] = i;
    m_iStep = m_po->m_bEvenY ? 2 : 1;
    m_iYMax = m_po->m_bEvenY ? 30 : 31;
    *piJ = iJ0;
    *piK = iK0;
    for (int p = 0; p < 4; p++)
        aiY[p] = aiY0[p];
    switch (m_po->m_eMethod)
    {
    case RGB2YJK_GradientDescent:
        vGradientDescent(piJ, piK, aiY);
        break;
    case RGB2YJK_AreaSearch:
        vAreaSearch(iJ0, iK0, aiY0, piJ, piK, aiY);
        break;
    case RGB2YJK_BruteForce:
        vBruteForce(iJ0, iK0, aiY0, piJ, piK, aiY);
        break;
    default:
        break;
    }
}
