// YJK colour model: the converter of groups of four pixels, with the
// searches of yjk_converter.h over the tables of yjk_tables.h.
//
// Every distance is fColorDelta(candidate, pixel, exponent, 255.0, method, weight).
// The searches do not call fColorDelta: they rebuild its value from the same
// double operations, in the same order, on precomputed pieces:
//   RGB        per pixel, the squared difference of each channel for each of the 32
//              channel values; distance = (red + green) + blue;
//   Hit9918    the same plus (weight * (brightness(candidate) - brightness(pixel)))^2,
//              the candidate brightness taken from a table by 5-bit colour;
//   XYZ, LAB,  the candidate's coordinates from a table by 5-bit colour, the
//   Oklab      pixel's computed once; distance = squared Euclidean distance;
//   CIEDE2000  the candidate's point (CIELAB, variant B, and chroma) from a table,
//              the pixel's computed once, then fPointDelta;
// and pow(distance, exponent) when the exponent is not 1.0. The colour-space
// conversions of yjk_tables.cpp repeat those of color_delta.cpp line for line; the
// tests compare fCandidateDelta with fColorDelta over many pairs to keep them
// identical.

#include "qev/msx/yjk.h"

#include "qev/base/assert.h"
#include "qev/color/color_delta.h"
#include "qev/msx/yjk_converter.h"
#include "qev/msx/yjk_exact_search.h"
#include "qev/msx/yjk_minima.h"
#include "qev/msx/yjk_tables.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

// Pixel colours the converter keeps distances for at a time.
static constexpr int g_iSlotCount = 12;

void vComputeColors()
{
    vEnsureColors();
}

YJKConverter::YJKConverter(tdRGB2YJKMethod eMethod, bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod,
                           double fWeight)
    : m_lMaxColourTriples(g_lMaxColourTriples), m_eMethod(eMethod), m_bEvenY(bEvenY), m_fExponent(fExponent),
      m_eDeltaMethod(eDeltaMethod), m_fWeight(fWeight), m_iKind(DeltaKind_Zero), m_bMemo(false),
      m_pfTable(nullptr), m_poPoints(nullptr), m_poSlots(nullptr), m_poScratch(nullptr), m_uiClock(0),
      m_iLastJ(0), m_iLastK(0)
{
    vEnsureColors();
    switch (eDeltaMethod)
    {
    case DeltaMethod_RGB:
        m_iKind = DeltaKind_Channels;
        break;
    case DeltaMethod_Hit9918:
        m_iKind = DeltaKind_Brightness;
        break;
    case DeltaMethod_XYZ:
    case DeltaMethod_LAB:
    case DeltaMethod_Oklab:
        m_iKind = DeltaKind_Coordinates;
        break;
    case DeltaMethod_CIEDE2000:
        m_iKind = DeltaKind_CIEDE2000;
        break;
    default:
        m_iKind = DeltaKind_Zero;
        break;
    }
    m_pfTable = pfQuantityTable(eDeltaMethod);
    m_poPoints = m_iKind == DeltaKind_CIEDE2000 ? poCIEDE2000Points() : nullptr;
    if (m_iKind == DeltaKind_CIEDE2000 && fExponent == 1.0) vFillLabByEntry();
    m_bMemo = m_iKind == DeltaKind_CIEDE2000 || fExponent != 1.0;
    m_poSlots = static_cast<tdYJKSlot*>(malloc(g_iSlotCount * sizeof(tdYJKSlot)));
    QEV_ASSERT(m_poSlots && "out of memory for the YJK converter");
    // An empty slot; the rest is written when the slot is first used.
    for (int i = 0; i < g_iSlotCount; i++)
    {
        m_poSlots[i].m_uiKey = 0;
        m_poSlots[i].m_uiLastUse = 0;
        m_poSlots[i].m_pfMemo = nullptr;
        m_poSlots[i].m_puiMemoStamp = nullptr;
        m_poSlots[i].m_poMinima = nullptr;
    }
}

YJKConverter::~YJKConverter()
{
    for (int i = 0; i < g_iSlotCount; i++)
    {
        free(m_poSlots[i].m_pfMemo);
        free(m_poSlots[i].m_puiMemoStamp);
        free(m_poSlots[i].m_poMinima);
    }
    free(m_poSlots);
    free(m_poScratch);
}

tdYJKScratch* YJKConverter::poScratch()
{
    if (!m_poScratch)
    {
        m_poScratch = static_cast<tdYJKScratch*>(malloc(sizeof(tdYJKScratch)));
        QEV_ASSERT(m_poScratch && "out of memory for the YJK converter");
    }
    return m_poScratch;
}

void YJKConverter::vPrepareSlot(tdYJKSlot* po, Color oPixel)
{
    po->m_oPixel = oPixel;
    const double afPixel[3] = {oPixel.r * g_fInverse, oPixel.g * g_fInverse, oPixel.b * g_fInverse};
    if (m_iKind == DeltaKind_Channels || m_iKind == DeltaKind_Brightness)
        for (int c = 0; c < 3; c++)
            for (int v = 0; v < 32; v++)
            {
                double fDifference = iExpand5(v) * g_fInverse - afPixel[c];
                po->m_afChannel[c][v] = fDifference * fDifference;
            }
    po->m_bBoundsReady = false;
    po->m_bRedGreenReady = false;
    vColorQuantity(m_eDeltaMethod, afPixel[0], afPixel[1], afPixel[2], po->m_afQuantity);
    if (m_iKind == DeltaKind_CIEDE2000) vDeltaPoint(oPixel, 255.0, DeltaMethod_CIEDE2000, &po->m_oPoint);
    po->m_fYBase = (oPixel.r + oPixel.g + 1.25 * oPixel.b) * (31.0 / 255.0);
    if (m_bMemo)
    {
        if (!po->m_pfMemo)
        {
            po->m_pfMemo = static_cast<double*>(malloc(sizeof(double) * g_iRGB5Count));
            po->m_puiMemoStamp = static_cast<uint32_t*>(calloc(g_iRGB5Count, sizeof(uint32_t)));
            po->m_poMinima = static_cast<tdYJKMinimum*>(calloc(4096, sizeof(tdYJKMinimum)));
            QEV_ASSERT(po->m_pfMemo && po->m_puiMemoStamp && po->m_poMinima &&
                       "out of memory for the YJK converter");
            po->m_uiMemoStamp = 0;
        }
        po->m_uiMemoStamp++;
        if (po->m_uiMemoStamp == 0)
        {
            memset(po->m_puiMemoStamp, 0, sizeof(uint32_t) * g_iRGB5Count);
            memset(po->m_poMinima, 0, sizeof(tdYJKMinimum) * 4096);
            po->m_uiMemoStamp = 1;
        }
    }
}

tdYJKSlot* YJKConverter::poSlotFor(Color oPixel)
{
    // The slots of the pixels of the group being converted are the most recently
    // used, and there are more than four slots, so they are never the one reused.
    const uint32_t uiKey =
        1u << 24 | static_cast<uint32_t>(oPixel.b) << 16 | static_cast<uint32_t>(oPixel.g) << 8 | oPixel.r;
    tdYJKSlot* poOldest = &m_poSlots[0];
    for (int i = 0; i < g_iSlotCount; i++)
    {
        tdYJKSlot* po = &m_poSlots[i];
        if (po->m_uiKey == uiKey)
        {
            po->m_uiLastUse = ++m_uiClock;
            return po;
        }
        if (po->m_uiLastUse < poOldest->m_uiLastUse) poOldest = po;
    }
    poOldest->m_uiKey = uiKey;
    poOldest->m_uiLastUse = ++m_uiClock;
    vPrepareSlot(poOldest, oPixel);
    return poOldest;
}

double YJKConverter::fDistance(const tdYJKSlot* po, unsigned int ui) const
{
    double fDelta = 0.0;
    switch (m_iKind)
    {
    case DeltaKind_Channels:
        fDelta =
            (po->m_afChannel[0][ui >> 10] + po->m_afChannel[1][(ui >> 5) & 31]) + po->m_afChannel[2][ui & 31];
        break;
    case DeltaKind_Brightness:
    {
        double fSquares =
            (po->m_afChannel[0][ui >> 10] + po->m_afChannel[1][(ui >> 5) & 31]) + po->m_afChannel[2][ui & 31];
        double fBrightness = m_fWeight * (m_pfTable[ui] - po->m_afQuantity[0]);
        fDelta = fSquares + fBrightness * fBrightness;
        break;
    }
    case DeltaKind_Coordinates:
    {
        const double* pf = m_pfTable + static_cast<size_t>(ui) * 3;
        fDelta = fSquaredDistance(pf[0], pf[1], pf[2], po->m_afQuantity[0], po->m_afQuantity[1],
                                  po->m_afQuantity[2]);
        break;
    }
    case DeltaKind_CIEDE2000:
    {
        // The points keep each colour's chroma, which ciede2000 would recompute.
        fDelta = fPointDelta(m_poPoints[ui], po->m_oPoint, DeltaMethod_CIEDE2000, m_fWeight);
        break;
    }
    default:
        break;
    }
    return m_fExponent == 1.0 ? fDelta : pow(fDelta, m_fExponent);
}

double YJKConverter::fDelta(tdYJKSlot* po, unsigned int ui)
{
    if (!m_bMemo) return fDistance(po, ui);
    if (po->m_puiMemoStamp[ui] == po->m_uiMemoStamp) return po->m_pfMemo[ui];
    double f = fDistance(po, ui);
    po->m_pfMemo[ui] = f;
    po->m_puiMemoStamp[ui] = po->m_uiMemoStamp;
    return f;
}

double YJKConverter::fCandidateDelta(Color oPixel, int iY, int iJ, int iK)
{
    QEV_ASSERT(iY >= 0 && iY <= 31 && iJ >= -32 && iJ <= 31 && iK >= -32 && iK <= 31);
    return fDelta(poSlotFor(oPixel), g_auiYJKRGB5[iTableIndex(iY, iJ, iK)]);
}

void YJKConverter::vConvert(const Color* poPixels, unsigned char* pucBytes, Color* poColors)
{
    QEV_ASSERT(poPixels && pucBytes && poColors);
    int aiY0[4];
    int iJ0;
    int iK0;
    vEstimate(poPixels, m_eMethod >= RGB2YJK_LeastSquares && m_eMethod <= RGB2YJK_BruteForce, m_bEvenY, aiY0,
              &iJ0, &iK0);
    int aiY[4] = {aiY0[0], aiY0[1], aiY0[2], aiY0[3]};
    int iJ = iJ0;
    int iK = iK0;
    if (m_eMethod >= RGB2YJK_GradientDescent && m_eMethod <= RGB2YJK_BruteForce)
    {
        tdYJKSlot* apoSlot[4];
        for (int p = 0; p < 4; p++)
            apoSlot[p] = poSlotFor(poPixels[p]);
        // The single-channel bounds hold for the plain distances only, not for
        // their powers.
        if (m_fExponent == 1.0 && m_iKind == DeltaKind_Channels)
        {
            tdYJKSearch<tdChannelPolicy> oSearch;
            oSearch.m_po = this;
            oSearch.m_oPolicy = {m_pfTable, m_fWeight};
            memcpy(oSearch.m_apoSlot, apoSlot, sizeof(apoSlot));
            oSearch.vRun(aiY0, iJ0, iK0, &iJ, &iK, aiY);
        }
        else if (m_fExponent == 1.0 && m_iKind == DeltaKind_Brightness)
        {
            tdYJKSearch<tdBrightnessPolicy> oSearch;
            oSearch.m_po = this;
            oSearch.m_oPolicy = {m_pfTable, m_fWeight};
            memcpy(oSearch.m_apoSlot, apoSlot, sizeof(apoSlot));
            oSearch.vRun(aiY0, iJ0, iK0, &iJ, &iK, aiY);
        }
        else
        {
            tdYJKSearch<tdGenericPolicy> oSearch;
            oSearch.m_po = this;
            oSearch.m_oPolicy = {m_pfTable, m_fWeight};
            if (m_iKind == DeltaKind_CIEDE2000 && m_fExponent == 1.0)
            {
                oSearch.m_poBoundPoints = m_poPoints;
                oSearch.m_poTables = &oCIEDE2000BoundTables();
            }
            memcpy(oSearch.m_apoSlot, apoSlot, sizeof(apoSlot));
            oSearch.vRun(aiY0, iJ0, iK0, &iJ, &iK, aiY);
        }
    }
    vWriteGroup(aiY, iJ, iK, pucBytes, poColors);
}

void vRGB2YJK(const Color* poPixels, unsigned char* pucBytes, Color* poColors, tdRGB2YJKMethod eMethod,
              bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod, double fWeight)
{
    YJKConverter oConverter(eMethod, bEvenY, fExponent, eDeltaMethod, fWeight);
    // Within one group only brute force meets the same distance often enough to
    // repay setting the kept distances up.
    if (eMethod != RGB2YJK_BruteForce) oConverter.m_bMemo = false;
    oConverter.vConvert(poPixels, pucBytes, poColors);
}
