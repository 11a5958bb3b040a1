#include "qev/color/nearest_color.h"

#include <cfloat>
#include <cstddef>

NearestColor::NearestColor(const Color* poCandidates, unsigned int uiCount, double fScale,
                           tdDeltaMethod eMethod, double fWeight)
    : m_aoPoints(uiCount > 256 ? 256 : uiCount), m_fScale(fScale), m_eMethod(eMethod), m_fWeight(fWeight)
{
    for (size_t i = 0; i < m_aoPoints.size(); i++)
        vDeltaPoint(poCandidates[i], fScale, eMethod, &m_aoPoints[i]);
}

int NearestColor::iSearch(const tdDeltaPoint& oPoint) const
{
    const int iCount = static_cast<int>(m_aoPoints.size());
    double fBest = DBL_MAX;
    int iBest = 0;
    if (m_eMethod != DeltaMethod_CIEDE2000)
    {
        const bool bEuclidean = m_eMethod == DeltaMethod_RGB || m_eMethod == DeltaMethod_XYZ ||
                                m_eMethod == DeltaMethod_LAB || m_eMethod == DeltaMethod_Oklab;
        for (int i = 0; i < iCount; i++)
        {
            double f = bEuclidean ? fPointSquaredDistance(oPoint, m_aoPoints[i])
                                  : fPointDelta(oPoint, m_aoPoints[i], m_eMethod, m_fWeight);
            if (f < fBest)
            {
                fBest = f;
                iBest = i;
            }
        }
        return iBest;
    }
    // By rising table bound. The plain scan keeps the lowest index of the least
    // distance; out of index order that is the least (distance, index) pair. A
    // candidate whose bound is above the best distance is farther than it, so it
    // cannot win; past the first such table bound, none can.
    double afBound[256];
    int aiOrder[256];
    const tdCIEDE2000BoundTables& oTables = oCIEDE2000BoundTables();
    for (int i = 0; i < iCount; i++)
    {
        double fBound = fCIEDE2000TableBound(oTables, oPoint, m_aoPoints[i]);
        int j = i;
        while (j > 0 && afBound[j - 1] > fBound)
        {
            afBound[j] = afBound[j - 1];
            aiOrder[j] = aiOrder[j - 1];
            j--;
        }
        afBound[j] = fBound;
        aiOrder[j] = i;
    }
    for (int n = 0; n < iCount; n++)
    {
        if (afBound[n] > fBest) break;
        const int i = aiOrder[n];
        if (fCIEDE2000LowerBound(oPoint, m_aoPoints[i], fBest) > fBest) continue;
        double f = fPointDelta(oPoint, m_aoPoints[i], m_eMethod, m_fWeight);
        if (f < fBest || (f == fBest && i < iBest))
        {
            fBest = f;
            iBest = i;
        }
    }
    return iBest;
}

int NearestColor::iNearest(Color oColor)
{
    if (m_aoNearest.empty()) m_aoNearest.assign(size_t(1) << g_iNearestBits, tdNearestSlot{0, 0});
    const uint32_t uiKey = uiColorKey(oColor);
    tdNearestSlot& oSlot = m_aoNearest[uiColorSlot(uiKey, g_iNearestBits)];
    if (oSlot.uiKey != uiKey)
    {
        tdDeltaPoint oPoint;
        vDeltaPoint(oColor, m_fScale, m_eMethod, &oPoint);
        oSlot = {uiKey, iSearch(oPoint)};
    }
    return oSlot.iIndex;
}

double NearestColor::fDelta(Color oColor, int i)
{
    if (m_aoDeltas.empty()) m_aoDeltas.resize(size_t(1) << g_iDeltasBits, tdDeltasSlot{0, 0, {}, {}});
    const uint32_t uiKey = uiColorKey(oColor);
    tdDeltasSlot& oSlot = m_aoDeltas[uiColorSlot(uiKey, g_iDeltasBits)];
    if (oSlot.uiKey != uiKey)
    {
        vDeltaPoint(oColor, m_fScale, m_eMethod, &oSlot.oPoint);
        oSlot.uiKey = uiKey;
        oSlot.uiKnown = 0;
    }
    if (!(oSlot.uiKnown & (1u << i)))
    {
        oSlot.afDelta[i] =
            fPointDelta(oSlot.oPoint, m_aoPoints[static_cast<size_t>(i)], m_eMethod, m_fWeight);
        oSlot.uiKnown |= 1u << i;
    }
    return oSlot.afDelta[i];
}
