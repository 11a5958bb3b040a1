#pragma once

// The minima over Y of the YJK searches and the bounds that skip candidates: the
// plain, scanned, kept and capped minima of one pixel at one (J, K), the
// CIEDE2000 lightness and table bounds, and the brute force's per-channel bounds.

#include "qev/msx/yjk_converter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

template <class Policy>
double tdYJKSearch<Policy>::fMinBounded(int p, const uint16_t* pui, int iLow, int iHigh, int* piY,
                                        double fCap, bool* pbExact)
{
    const tdYJKSlot* poSlot = m_apoSlot[p];
    const tdDeltaPoint& oPixel = poSlot->m_oPoint;
    // Uncapped (the brute force's pair scan), kept distances are common and
    // looked up before the bound; capped, the bound comes first, sparing the
    // look-ups of the Ys it skips (mostly not kept: new pixels).
    const bool bMemoFirst = m_po->m_bMemo && !(fCap < DBL_MAX);
    // The bounds' inputs side by side (the row is the colour table's).
    const size_t uiEntry = static_cast<size_t>(pui - g_auiYJKRGB5);
    const double* pfLab = g_afLabByEntry.get() + 4 * uiEntry;
    const unsigned char* pucWindows = g_aucWindowsByEntry.get() + uiEntry;
    int iStart = iLow;
    for (int iY = iLow + m_iStep; iY <= iHigh; iY += m_iStep)
        if (fabs(pfLab[4 * iY] - oPixel.af[0]) < fabs(pfLab[4 * iStart] - oPixel.af[0])) iStart = iY;
    double fMin = DBL_MAX;
    int iBest = iLow;
    // The least bound of the Ys skipped: with the minimum, a lower bound of it.
    double fSkipped = DBL_MAX;
    if (fCap < DBL_MAX)
    {
        double fBound = fCIEDE2000TableBound(*m_poTables, pfLab + 4 * iStart, pucWindows[iStart], oPixel);
        if (!(fBound > fCap)) fBound = fCIEDE2000LowerBound(m_poBoundPoints[pui[iStart]], oPixel, fCap);
        if (fBound > fCap)
            fSkipped = fBound;
        else
        {
            fMin = fDist(p, pui[iStart]);
            iBest = iStart;
        }
    }
    else
    {
        const double fStart = fDist(p, pui[iStart]);
        if (fStart < fMin)
        {
            fMin = fStart;
            iBest = iStart;
        }
    }
    for (int iDirection = -1; iDirection <= 1; iDirection += 2)
        for (int iY = iStart + iDirection * m_iStep; iY >= iLow && iY <= iHigh; iY += iDirection * m_iStep)
        {
            const double fLimit = fMin < fCap ? fMin : fCap;
            // The lightness bound grows with the distance from the start.
            const double fLightness = fCIEDE2000LightnessBound(pfLab[4 * iY] - oPixel.af[0]);
            if (fLightness > fLimit)
            {
                if (fLightness < fSkipped) fSkipped = fLightness;
                break;
            }
            // A kept distance costs nothing; the bound only saves computing one.
            const bool bKept = bMemoFirst && poSlot->m_puiMemoStamp[pui[iY]] == poSlot->m_uiMemoStamp;
            if (!bKept)
            {
                const double fTable =
                    fCIEDE2000TableBound(*m_poTables, pfLab + 4 * iY, pucWindows[iY], oPixel);
                if (fTable > fLimit)
                {
                    if (fTable < fSkipped) fSkipped = fTable;
                    continue;
                }
                const double fBound = fCIEDE2000LowerBound(m_poBoundPoints[pui[iY]], oPixel, fLimit);
                if (fBound > fLimit)
                {
                    if (fBound < fSkipped) fSkipped = fBound;
                    continue;
                }
            }
            double f = fDist(p, pui[iY]);
            if (f < fMin || (f == fMin && fMin < DBL_MAX && iY < iBest))
            {
                fMin = f;
                iBest = iY;
            }
        }
    *piY = iBest;
    if (pbExact) *pbExact = fMin <= fCap;
    if (fMin <= fCap) return fMin;
    return fMin < fSkipped ? fMin : fSkipped;
}

template <class Policy>
double tdYJKSearch<Policy>::fMinPlain(int p, const uint16_t* pui, int iLow, int iHigh, int* piY)
{
    if (m_poBoundPoints) return fMinBounded(p, pui, iLow, iHigh, piY);
    double fMin = DBL_MAX;
    int iBest = iLow;
    for (int iY = iLow; iY <= iHigh; iY += m_iStep)
    {
        double f = fDist(p, pui[iY]);
        if (f < fMin)
        {
            fMin = f;
            iBest = iY;
        }
    }
    *piY = iBest;
    return fMin;
}

template <class Policy>
double tdYJKSearch<Policy>::fMinScan(int p, const uint16_t* pui, int iJ, int iK, int* piY)
{
    const tdYJKSlot* po = m_apoSlot[p];
    int iStart = static_cast<int>(lround((po->m_fYBase - 0.375 * iJ - 0.6875 * iK) * (1.0 / 3.5625)));
    if (iStart < 0) iStart = 0;
    if (iStart > m_iYMax) iStart = m_iYMax;
    if (m_iStep == 2) iStart &= ~1;

    double fMin = DBL_MAX;
    int iBest = 0;
    double f = fDist(p, pui[iStart]);
    if (f < fMin)
    {
        fMin = f;
        iBest = iStart;
    }
    for (int iY = iStart + m_iStep; iY <= m_iYMax; iY += m_iStep)
    {
        unsigned int ui = pui[iY];
        double fBound = (po->m_afUp[0][ui >> 10] + po->m_afUp[1][(ui >> 5) & 31]) + po->m_afUp[2][ui & 31];
        if (fBound >= fMin) break;
        f = fDist(p, ui);
        if (f < fMin)
        {
            fMin = f;
            iBest = iY;
        }
    }
    for (int iY = iStart - m_iStep; iY >= 0; iY -= m_iStep)
    {
        unsigned int ui = pui[iY];
        double fBound =
            (po->m_afDown[0][ui >> 10] + po->m_afDown[1][(ui >> 5) & 31]) + po->m_afDown[2][ui & 31];
        if (fBound > fMin) break;
        f = fDist(p, ui);
        if (f < fMin || (f == fMin && iY < iBest))
        {
            fMin = f;
            iBest = iY;
        }
    }
    *piY = iBest;
    return fMin;
}

template <class Policy>
double tdYJKSearch<Policy>::fMinKept(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh,
                                     int* piY)
{
    bool bExact = true;
    return fMinCapped(p, pui, iJ, iK, iLow, iHigh, DBL_MAX, piY, &bExact);
}

template <class Policy>
double tdYJKSearch<Policy>::fMinCapped(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh,
                                       double fCap, int* piY, bool* pbExact)
{
    tdYJKSlot* po = m_apoSlot[p];
    *pbExact = true;
    const auto fnMin = [&]()
    {
        return fCap < DBL_MAX ? fMinBounded(p, pui, iLow, iHigh, piY, fCap, pbExact)
                              : fMinPlain(p, pui, iLow, iHigh, piY);
    };
    if (!po->m_poMinima) return fnMin();
    tdYJKMinimum& o = po->m_poMinima[(iJ + 32) * 64 + (iK + 32)];
    const uint16_t uiRange = static_cast<uint16_t>(iLow | iHigh << 5);
    if (o.m_uiStamp == po->m_uiMemoStamp && o.m_uiRange == uiRange && (o.m_bExact || o.m_fMin > fCap))
    {
        *piY = o.m_ucY;
        *pbExact = o.m_bExact;
        return o.m_fMin;
    }
    const double f = fnMin();
    o.m_uiStamp = po->m_uiMemoStamp;
    o.m_uiRange = uiRange;
    o.m_ucY = static_cast<unsigned char>(*piY);
    o.m_bExact = *pbExact;
    o.m_fMin = f;
    return f;
}

template <class Policy>
double tdYJKSearch<Policy>::fMinFull(int p, const uint16_t* pui, int iJ, int iK, int* piY)
{
    if constexpr (Policy::bBounds)
        return fMinScan(p, pui, iJ, iK, piY);
    else
        return fMinKept(p, pui, iJ, iK, 0, m_iYMax, piY);
}

template <class Policy>
bool tdYJKSearch<Policy>::bKeptMin(int p, int iJ, int iK, int iLow, int iHigh, double* pfMin, int* piY,
                                   bool* pbExact) const
{
    const tdYJKSlot* po = m_apoSlot[p];
    if (!po->m_poMinima) return false;
    const tdYJKMinimum& o = po->m_poMinima[(iJ + 32) * 64 + (iK + 32)];
    if (o.m_uiStamp != po->m_uiMemoStamp || o.m_uiRange != static_cast<uint16_t>(iLow | iHigh << 5))
        return false;
    *pfMin = o.m_fMin;
    *piY = o.m_ucY;
    *pbExact = o.m_bExact;
    return true;
}

template <class Policy>
void tdYJKSearch<Policy>::vKeepBound(int p, int iJ, int iK, int iLow, int iHigh, double fBound)
{
    tdYJKSlot* po = m_apoSlot[p];
    if (!po->m_poMinima) return;
    tdYJKMinimum& o = po->m_poMinima[(iJ + 32) * 64 + (iK + 32)];
    o.m_uiStamp = po->m_uiMemoStamp;
    o.m_uiRange = static_cast<uint16_t>(iLow | iHigh << 5);
    o.m_ucY = 0;
    o.m_bExact = false;
    o.m_fMin = fBound;
}

template <class Policy> double tdYJKSearch<Policy>::fMinBound(int p, int iEntry, int iLow, int iHigh) const
{
    const tdDeltaPoint& oPixel = m_apoSlot[p]->m_oPoint;
    const double* pfLab = g_afLabByEntry.get() + 4 * static_cast<size_t>(iEntry);
    const unsigned char* pucWindows = g_aucWindowsByEntry.get() + iEntry;
    double fMin = DBL_MAX;
    for (int iY = iLow; iY <= iHigh; iY += m_iStep)
    {
        const double f = fCIEDE2000TableBound(*m_poTables, pfLab + 4 * iY, pucWindows[iY], oPixel);
        if (f < fMin) fMin = f;
    }
    return fMin;
}

template <class Policy> void tdYJKSearch<Policy>::vPrepareBounds()
{
    for (int p = 0; p < 4; p++)
    {
        tdYJKSlot* po = m_apoSlot[p];
        for (int i = 0; i < 64; i++)
        {
            int iFrom = iClamp31(i - 32);
            int iTo = iClamp31(i - 32 + m_iYMax);
            m_afRedBound[p][i] =
                po->m_afUp[0][iFrom] > po->m_afDown[0][iTo] ? po->m_afUp[0][iFrom] : po->m_afDown[0][iTo];
            m_afGreenBound[p][i] =
                po->m_afUp[1][iFrom] > po->m_afDown[1][iTo] ? po->m_afUp[1][iFrom] : po->m_afDown[1][iTo];
        }
        for (int i = 0; i < 190; i++)
        {
            int iSum = i - 96; // 2 J + K
            int iFrom = iClamp31((-iSum + 2) / 4);
            int iTo = iClamp31((5 * m_iYMax - iSum + 2) / 4);
            m_afBlueBound[p][i] =
                po->m_afUp[2][iFrom] > po->m_afDown[2][iTo] ? po->m_afUp[2][iFrom] : po->m_afDown[2][iTo];
        }
        if (!po->m_bRedGreenReady)
        {
            double afPair[63]; // by red - green + 31
            for (int d = -31; d <= 31; d++)
            {
                double fMin = DBL_MAX;
                for (int r = d < 0 ? 0 : d; r <= 31 && r - d <= 31; r++)
                {
                    double f = po->m_afChannel[0][r] + po->m_afChannel[1][r - d];
                    if (f < fMin) fMin = f;
                }
                afPair[d + 31] = fMin;
            }
            po->m_afRedGreen[63] = afPair[31];
            for (int d = 1; d <= 63; d++)
            {
                int iUp = d > 31 ? 31 : d;
                double fUp = afPair[iUp + 31];
                double fDown = afPair[-iUp + 31];
                po->m_afRedGreen[63 + d] = fUp < po->m_afRedGreen[62 + d] ? fUp : po->m_afRedGreen[62 + d];
                po->m_afRedGreen[63 - d] =
                    fDown < po->m_afRedGreen[64 - d] ? fDown : po->m_afRedGreen[64 - d];
            }
            po->m_bRedGreenReady = true;
        }
        memcpy(m_afRedGreenBound[p], po->m_afRedGreen, sizeof(m_afRedGreenBound[p]));
    }
}

template <class Policy> void tdYJKSearch<Policy>::vPairBounds(int iJ, int iK, double* afBound) const
{
    for (int p = 0; p < 4; p++)
    {
        double f = m_afRedBound[p][iJ + 32] + m_afGreenBound[p][iK + 32];
        if (m_afRedGreenBound[p][iJ - iK + 63] > f) f = m_afRedGreenBound[p][iJ - iK + 63];
        afBound[p] = f + m_afBlueBound[p][2 * iJ + iK + 96];
    }
}
