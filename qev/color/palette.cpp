// Palette building and nearest-colour queries (palette files: palette_file.cpp).
//
// Histogram: 512 bins, bin = red level * 64 + green level * 8 + blue level; a bin
// has no colour field, its colour follows from its index.
//
// KRU palette command: 1, 0, count, then count palette-register words.
//
// Distances between bins come from a table of fColorDelta over all 512 x 512 level
// colours per (method, exponent, weight). The table holds fColorDelta's own
// results, so looking a distance up gives the same double as computing it; the
// reduction additionally leaves out bins that are unused and hold no pixels when
// the table shows that this cannot change a result (see vReduceWith). A table
// (2 MiB) is allocated the first time its key is used and kept for later builds;
// apart from that, building allocates nothing.

#include "qev/color/palette.h"

#include "qev/base/assert.h"
#include "qev/base/parallel.h"
#include "qev/base/report.h"
#include "qev/color/color_delta.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace
{
constexpr int g_iBinCount = 512;
constexpr int g_iMaxColors = 16;
constexpr double g_fLevelScale = 7.0;
// Tables kept: enough for two builds' (exponent p, exponent 1.0) pairs.
constexpr size_t g_uiMaxDeltaTables = 4;

inline Color oBinColor(int iBin)
{
    return {static_cast<unsigned char>(iBin >> 6), static_cast<unsigned char>((iBin >> 3) & 7),
            static_cast<unsigned char>(iBin & 7), 0};
}

inline bool bIsLevelColor(const Color& o)
{
    return o.r <= 7 && o.g <= 7 && o.b <= 7;
}

inline int iBinOfLevels(const Color& o)
{
    return o.r * 64 + o.g * 8 + o.b;
}

inline unsigned char* pucChannel(Color* po, int iChannel)
{
    return iChannel == 0 ? &po->r : (iChannel == 1 ? &po->g : &po->b);
}

uint64_t uiBitsOf(double f)
{
    uint64_t ui;
    memcpy(&ui, &f, sizeof(ui));
    return ui;
}

// fColorDelta(bin i, bin j, exponent, 7.0, method, weight) at [i * 512 + j].
struct tdDeltaTable
{
    int iMethod;
    uint64_t uiExponentBits;
    uint64_t uiWeightBits;
    bool bFinite;    // every entry is finite
    bool bSeparated; // finite, 0 from a bin to itself and above 0 between two bins
    std::vector<double> afDelta;
};

std::mutex g_oDeltaTableMutex;
std::vector<std::shared_ptr<const tdDeltaTable>> g_apoDeltaTables; // most recently used first

void vClassifyTable(tdDeltaTable* po)
{
    po->bFinite = true;
    po->bSeparated = true;
    for (int i = 0; i < g_iBinCount; i++)
        for (int j = 0; j < g_iBinCount; j++)
        {
            double f = po->afDelta[static_cast<size_t>(i) * g_iBinCount + j];
            if (!std::isfinite(f)) po->bFinite = false;
            if (i == j ? !(f == 0.0) : !(f > 0.0)) po->bSeparated = false;
        }
    if (!po->bFinite) po->bSeparated = false;
}

// The caller holds g_oDeltaTableMutex.
std::shared_ptr<const tdDeltaTable> poFindOrBuildTable(int iMethod, double fExponent, double fWeight)
{
    for (size_t i = 0; i < g_apoDeltaTables.size(); i++)
    {
        std::shared_ptr<const tdDeltaTable> po = g_apoDeltaTables[i];
        if (po->iMethod == iMethod && po->uiExponentBits == uiBitsOf(fExponent) &&
            po->uiWeightBits == uiBitsOf(fWeight))
        {
            g_apoDeltaTables.erase(g_apoDeltaTables.begin() + static_cast<long>(i));
            g_apoDeltaTables.insert(g_apoDeltaTables.begin(), po);
            return po;
        }
    }

    std::shared_ptr<tdDeltaTable> poNew = std::make_shared<tdDeltaTable>();
    poNew->iMethod = iMethod;
    poNew->uiExponentBits = uiBitsOf(fExponent);
    poNew->uiWeightBits = uiBitsOf(fWeight);
    poNew->afDelta.resize(static_cast<size_t>(g_iBinCount) * g_iBinCount);
    if (fExponent == 1.0)
    {
        // Each level colour measured once; fPointDelta gives fColorDelta's doubles.
        // Every method's distance is symmetric to the last bit (differences change
        // sign exactly, and sums and products of the swapped terms are the same
        // operations; ciede2000 also needs sin(-x) = -sin(x)), so a worker computes
        // the entries from row i onwards for its rows i and mirrors them.
        const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(iMethod);
        std::vector<tdDeltaPoint> aoPoints(g_iBinCount);
        for (int i = 0; i < g_iBinCount; i++)
            vDeltaPoint(oBinColor(i), g_fLevelScale, eMethod, &aoPoints[i]);
        double* pfDelta = poNew->afDelta.data();
        vRunWorkers(iDefaultWorkerCount(),
                    [&](int iWorker, int iWorkers)
                    {
                        for (int i = iWorker; i < g_iBinCount; i += iWorkers)
                            for (int j = i; j < g_iBinCount; j++)
                            {
                                double f = fPointDelta(aoPoints[i], aoPoints[j], eMethod, fWeight);
                                pfDelta[static_cast<size_t>(i) * g_iBinCount + j] = f;
                                pfDelta[static_cast<size_t>(j) * g_iBinCount + i] = f;
                            }
                    });
    }
    else
    {
        // fColorDelta with an exponent other than 1.0 is pow(distance, exponent)
        // of the very distance it returns for 1.0.
        std::shared_ptr<const tdDeltaTable> poBase = poFindOrBuildTable(iMethod, 1.0, fWeight);
        for (size_t i = 0; i < poNew->afDelta.size(); i++)
            poNew->afDelta[i] = pow(poBase->afDelta[i], fExponent);
    }
    vClassifyTable(poNew.get());

    g_apoDeltaTables.insert(g_apoDeltaTables.begin(), poNew);
    if (g_apoDeltaTables.size() > g_uiMaxDeltaTables) g_apoDeltaTables.resize(g_uiMaxDeltaTables);
    return poNew;
}

// The distances one palette build needs: exponent p between bins, exponent 1.0
// for the nearest-colour choice of the palette error.
struct tdDeltaContext
{
    std::shared_ptr<const tdDeltaTable> poP;
    std::shared_ptr<const tdDeltaTable> poOne;
    const double* pfP = nullptr;
    const double* pfOne = nullptr;
    tdDeltaMethod eMethod = DeltaMethod_RGB;
    double fExponent = 1.0;
    double fWeight = 0.0;
};

tdDeltaContext oGetDeltaContext(tdDeltaMethod eMethod, double fExponent, double fWeight)
{
    tdDeltaContext o;
    std::lock_guard<std::mutex> oLock(g_oDeltaTableMutex);
    o.poOne = poFindOrBuildTable(eMethod, 1.0, fWeight);
    o.poP = fExponent == 1.0 ? o.poOne : poFindOrBuildTable(eMethod, fExponent, fWeight);
    o.pfP = o.poP->afDelta.data();
    o.pfOne = o.poOne->afDelta.data();
    o.eMethod = eMethod;
    o.fExponent = fExponent;
    o.fWeight = fWeight;
    return o;
}

inline double fBinDelta(const double* pfTable, int iFrom, int iTo)
{
    return pfTable[static_cast<size_t>(iFrom) * g_iBinCount + iTo];
}

// An ascending list of bin indices.
struct tdBinList
{
    int m_aiBins[g_iBinCount];
    int m_iCount = 0;

    void vRemove(int iBin)
    {
        for (int i = 0; i < m_iCount; i++)
            if (m_aiBins[i] == iBin)
            {
                memmove(&m_aiBins[i], &m_aiBins[i + 1], sizeof(int) * static_cast<size_t>(m_iCount - i - 1));
                m_iCount--;
                return;
            }
    }
};

void vListUsedBins(const Palette::Entry* poEntries, tdBinList* poList)
{
    poList->m_iCount = 0;
    for (int i = 0; i < g_iBinCount; i++)
        if (poEntries[i].bUsed) poList->m_aiBins[poList->m_iCount++] = i;
}

// The bins fValue looks at: all of them, or with a finite table only those that
// hold pixels, because a bin of weight 0 adds exactly 0.0 to the cost.
void vListCostBins(const Palette::Entry* poEntries, bool bFinite, tdBinList* poList)
{
    poList->m_iCount = 0;
    for (int i = 0; i < g_iBinCount; i++)
        if (!bFinite || poEntries[i].fWeight != 0.0) poList->m_aiBins[poList->m_iCount++] = i;
}

// Scan of the used bins in index order keeping the nearest and the second nearest;
// a distance equal to the best replaces it, so a later bin wins a tie.
void vFindNearestTwo(const double* pfRow, const tdBinList& oUsed, int* piBest, int* piSecond)
{
    double fBest = DBL_MAX;
    double fSecond = DBL_MAX;
    int iBest = -1;
    int iSecond = -1;
    for (int k = 0; k < oUsed.m_iCount; k++)
    {
        int u = oUsed.m_aiBins[k];
        double f = pfRow[u];
        if (f <= fBest)
        {
            iSecond = iBest;
            fSecond = fBest;
            iBest = u;
            fBest = f;
        }
        else if (f <= fSecond)
        {
            iSecond = u;
            fSecond = f;
        }
    }
    *piBest = iBest;
    *piSecond = iSecond;
}

// The state one reduction needs beside the palette.
struct tdReduction
{
    Palette* po;
    const tdDeltaContext* poContext;
    tdBinList oUsed;
    tdBinList oCostBins;
};

double fValueWith(const tdReduction& oR, int iTarget)
{
    const Palette::Entry* poEntries = oR.po->m_aoEntries;
    const Palette::Entry* poTarget = &poEntries[iTarget];
    const double* pfP = oR.poContext->pfP;
    double fSum = 0.0;
    for (int k = 0; k < oR.oCostBins.m_iCount; k++)
    {
        int x = oR.oCostBins.m_aiBins[k];
        const Palette::Entry& oX = poEntries[x];
        // A bin without a second has nowhere to go; that happens only once a
        // single bin is left, when no cost is read any more.
        if (oX.poNearest != poTarget || !oX.poSecond) continue;
        int iSecond = static_cast<int>(oX.poSecond - poEntries);
        fSum += fabs(fBinDelta(pfP, iTarget, x) - fBinDelta(pfP, iSecond, x)) * oX.fWeight;
    }
    return fSum;
}

void vInitWith(tdReduction* poR, int iBin)
{
    Palette::Entry* poEntries = poR->po->m_aoEntries;
    Palette::Entry& oE = poEntries[iBin];
    int iBest, iSecond;
    vFindNearestTwo(poR->poContext->pfP + static_cast<size_t>(iBin) * g_iBinCount, poR->oUsed, &iBest,
                    &iSecond);
    Palette::Entry* poOld = oE.poNearest;
    oE.poNearest = iBest >= 0 ? &poEntries[iBest] : nullptr;
    oE.poSecond = iSecond >= 0 ? &poEntries[iSecond] : nullptr;
    if (poOld) poOld->fCost = fValueWith(*poR, static_cast<int>(poOld - poEntries));
    if (iBest >= 0) poEntries[iBest].fCost = fValueWith(*poR, iBest);
}

// Greedy merging. With a table that is finite, 0 from a bin to itself and positive
// between bins, bins that are unused and hold no pixels ("empty") are left out of
// the re-initialisations: every used bin is then its own nearest, so its cost is
// refreshed whenever a bin that holds pixels joins, leaves or changes its
// catchment, and an empty bin adds exactly 0.0 to any cost. Re-initialising an
// empty bin would only recompute costs that are already up to date. Empty bins get
// the links they would have had at the end.
void vReduceWith(Palette* po, const tdDeltaContext& oContext, int iTarget)
{
    if (iTarget < 1) iTarget = 1;
    Palette::Entry* poEntries = po->m_aoEntries;
    tdReduction oReduction;
    tdReduction* poR = &oReduction;
    poR->po = po;
    poR->poContext = &oContext;
    vListUsedBins(poEntries, &poR->oUsed);
    vListCostBins(poEntries, oContext.poP->bFinite, &poR->oCostBins);
    po->m_uiUsedEntries = static_cast<unsigned int>(poR->oUsed.m_iCount);

    const bool bSkipEmpty = oContext.poP->bSeparated;
    bool abVisit[g_iBinCount];
    for (int i = 0; i < g_iBinCount; i++)
        abVisit[i] = !bSkipEmpty || poEntries[i].bUsed || poEntries[i].fWeight != 0.0;

    for (int i = 0; i < g_iBinCount; i++)
        if (abVisit[i]) vInitWith(poR, i);

    while (poR->oUsed.m_iCount > iTarget)
    {
        // The cheapest bin goes; the lowest bin wins a tie. Costs that are all
        // infinite or not a number (from absurd exponents or weights) remove the
        // lowest used bin.
        double fBest = DBL_MAX;
        int iRemove = -1;
        for (int k = 0; k < poR->oUsed.m_iCount; k++)
        {
            int u = poR->oUsed.m_aiBins[k];
            if (poEntries[u].fCost < fBest)
            {
                fBest = poEntries[u].fCost;
                iRemove = u;
            }
        }
        if (iRemove < 0) iRemove = poR->oUsed.m_aiBins[0];

        Palette::Entry* poRemoved = &poEntries[iRemove];
        poRemoved->bUsed = 0;
        poR->oUsed.vRemove(iRemove);
        po->m_uiUsedEntries--;
        for (int i = 0; i < g_iBinCount; i++)
            if (abVisit[i] && (poEntries[i].poNearest == poRemoved || poEntries[i].poSecond == poRemoved))
                vInitWith(poR, i);
    }

    if (bSkipEmpty)
        for (int i = 0; i < g_iBinCount; i++)
        {
            if (abVisit[i]) continue;
            int iBest, iSecond;
            vFindNearestTwo(oContext.pfP + static_cast<size_t>(i) * g_iBinCount, poR->oUsed, &iBest,
                            &iSecond);
            poEntries[i].poNearest = iBest >= 0 ? &poEntries[iBest] : nullptr;
            poEntries[i].poSecond = iSecond >= 0 ? &poEntries[iSecond] : nullptr;
        }

    // Merged pixels count for the colour that absorbed them.
    for (int i = 0; i < g_iBinCount; i++)
    {
        Palette::Entry& oE = poEntries[i];
        if (oE.bUsed)
        {
            oE.poNearest = nullptr;
            oE.poSecond = nullptr;
        }
        else if (oE.poNearest)
        {
            oE.poNearest->fWeight += oE.fWeight;
            oE.fWeight = 0.0;
        }
    }
}

// The original bins that hold pixels, with their weights, in bin order.
struct tdWeightedBins
{
    int m_aiBins[g_iBinCount];
    double m_afWeights[g_iBinCount];
    int m_iCount = 0;
};

void vListWeightedBins(const Palette::Entry* poEntries, tdWeightedBins* poList)
{
    poList->m_iCount = 0;
    for (int i = 0; i < g_iBinCount; i++)
        if (poEntries[i].fWeight != 0.0)
        {
            poList->m_aiBins[poList->m_iCount] = i;
            poList->m_afWeights[poList->m_iCount] = poEntries[i].fWeight;
            poList->m_iCount++;
        }
}

double fPaletteDeltaWith(const Palette* po, const tdDeltaContext& oContext, const tdWeightedBins& oBins)
{
    if (oBins.m_iCount == 0) return 0.0;
    unsigned int uiCount = po->m_uiColorCount < g_iMaxColors ? po->m_uiColorCount : g_iMaxColors;
    // With no colour, every pixel is measured against colour 0.
    unsigned int uiCandidates = uiCount == 0 ? 1 : uiCount;
    int aiColorBins[g_iMaxColors];
    bool bLevels = true;
    for (unsigned int k = 0; k < uiCandidates; k++)
    {
        bLevels = bLevels && bIsLevelColor(po->m_aoColors[k]);
        aiColorBins[k] = iBinOfLevels(po->m_aoColors[k]);
    }

    double fTotal = 0.0;
    for (int n = 0; n < oBins.m_iCount; n++)
    {
        int i = oBins.m_aiBins[n];
        unsigned int uiNearest = 0;
        double fDelta;
        if (bLevels)
        {
            const double* pfRow = oContext.pfOne + static_cast<size_t>(i) * g_iBinCount;
            double fBest = DBL_MAX;
            for (unsigned int k = 0; k < uiCount; k++)
            {
                double f = pfRow[aiColorBins[k]];
                if (f < fBest)
                {
                    fBest = f;
                    uiNearest = k;
                }
            }
            fDelta = fBinDelta(oContext.pfP, i, aiColorBins[uiNearest]);
        }
        else
        {
            // Colours that are not levels: fColorDelta stops the program, as it
            // must for a caller that measures bytes on the level scale.
            Color oBin = oBinColor(i);
            double fBest = DBL_MAX;
            for (unsigned int k = 0; k < uiCount; k++)
            {
                double f = fColorDelta(&oBin, &po->m_aoColors[k], 1.0, g_fLevelScale, oContext.eMethod,
                                       oContext.fWeight);
                if (f < fBest)
                {
                    fBest = f;
                    uiNearest = k;
                }
            }
            fDelta = fColorDelta(&oBin, &po->m_aoColors[uiNearest], oContext.fExponent, g_fLevelScale,
                                 oContext.eMethod, oContext.fWeight);
        }
        fTotal += oBins.m_afWeights[n] * fDelta;
    }
    return fTotal;
}

void vAdjustGradientWith(Palette* po, const tdDeltaContext& oContext)
{
    tdWeightedBins oBins;
    vListWeightedBins(po->m_aoOriginalEntries, &oBins);
    for (;;)
    {
        double fError = fPaletteDeltaWith(po, oContext, oBins);
        unsigned int uiCount = po->m_uiColorCount < g_iMaxColors ? po->m_uiColorCount : g_iMaxColors;
        if (uiCount == 0) return;
        bool bChanged = false;
        for (unsigned int k = 0; k < uiCount; k++)
            for (int iChannel = 0; iChannel < 3; iChannel++)
            {
                unsigned char* puc = pucChannel(&po->m_aoColors[k], iChannel);
                const unsigned char ucLevel = *puc;
                double fDown = DBL_MAX;
                double fUp = DBL_MAX;
                if (ucLevel > 0)
                {
                    *puc = static_cast<unsigned char>(ucLevel - 1);
                    fDown = fPaletteDeltaWith(po, oContext, oBins);
                }
                if (ucLevel < 7)
                {
                    *puc = static_cast<unsigned char>(ucLevel + 1);
                    fUp = fPaletteDeltaWith(po, oContext, oBins);
                }
                *puc = ucLevel;
                if (fError > fUp || fError > fDown)
                {
                    // A step off the level range could only be asked for by an
                    // infinite error or one that is not a number; it is not taken.
                    if (fDown > fUp)
                    {
                        if (ucLevel == 7) continue;
                        *puc = static_cast<unsigned char>(ucLevel + 1);
                        fError = fUp;
                    }
                    else
                    {
                        if (ucLevel == 0) continue;
                        *puc = static_cast<unsigned char>(ucLevel - 1);
                        fError = fDown;
                    }
                    bChanged = true;
                }
            }
        if (!bChanged) return;
    }
}

void vAdjustAreaSearchWith(Palette* po, const tdDeltaContext& oContext)
{
    tdWeightedBins oBins;
    vListWeightedBins(po->m_aoOriginalEntries, &oBins);
    unsigned int uiCount = po->m_uiColorCount < g_iMaxColors ? po->m_uiColorCount : g_iMaxColors;
    for (unsigned int k = 0; k < uiCount; k++)
        for (int iChannel = 0; iChannel < 3; iChannel++)
        {
            unsigned char* puc = pucChannel(&po->m_aoColors[k], iChannel);
            // Errors that are never below DBL_MAX (not a number) keep the level.
            unsigned char ucBest = *puc;
            double fBest = DBL_MAX;
            for (int iLevel = 0; iLevel <= 7; iLevel++)
            {
                *puc = static_cast<unsigned char>(iLevel);
                double fError = fPaletteDeltaWith(po, oContext, oBins);
                if (fError < fBest)
                {
                    fBest = fError;
                    ucBest = static_cast<unsigned char>(iLevel);
                }
            }
            *puc = ucBest;
        }
}

void vCreatePaletteWith(Palette* po, const tdDeltaContext& oContext)
{
    unsigned int uiTarget = po->m_uiColorCount;
    if (uiTarget < 1) uiTarget = 1;
    if (uiTarget > g_iMaxColors) uiTarget = g_iMaxColors;

    unsigned int uiUsed = 0;
    for (int i = 0; i < g_iBinCount; i++)
        if (po->m_aoEntries[i].bUsed) uiUsed++;
    po->m_uiUsedEntries = uiUsed;
    if (uiUsed > uiTarget) vReduceWith(po, oContext, static_cast<int>(uiTarget));

    unsigned int uiCount = 0;
    double afWeights[g_iMaxColors];
    for (int i = 0; i < g_iBinCount; i++)
    {
        if (!po->m_aoEntries[i].bUsed) continue;
        if (uiCount == g_iMaxColors)
        {
            // The reduction leaves at most 16 bins; the palette has no room for more.
            vError(__FILE__, __func__, __LINE__, "Error while reducing colors.");
            break;
        }
        Color oLevels = oBinColor(i);
        po->m_aoColors[uiCount].r = oLevels.r;
        po->m_aoColors[uiCount].g = oLevels.g;
        po->m_aoColors[uiCount].b = oLevels.b;
        afWeights[uiCount] = po->m_aoEntries[i].fWeight;
        uiCount++;
    }

    // Bubble sort by decreasing weight; equal weights keep bin order.
    bool bSwapped = true;
    while (bSwapped && uiCount > 1)
    {
        bSwapped = false;
        for (unsigned int k = 0; k + 1 < uiCount; k++)
            if (afWeights[k + 1] > afWeights[k])
            {
                Color oColor = po->m_aoColors[k];
                po->m_aoColors[k] = po->m_aoColors[k + 1];
                po->m_aoColors[k + 1] = oColor;
                double fWeight = afWeights[k];
                afWeights[k] = afWeights[k + 1];
                afWeights[k + 1] = fWeight;
                bSwapped = true;
            }
    }

    po->m_uiColorCount = uiCount;
    if (uiCount >= 1)
        for (unsigned int k = uiCount; k < g_iMaxColors; k++)
            po->m_aoColors[k] = po->m_aoColors[uiCount - 1];
}

// Index of an entry in either histogram.
int iBinOf(const Palette* po, const Palette::Entry* poEntry)
{
    uintptr_t ui = reinterpret_cast<uintptr_t>(poEntry);
    uintptr_t uiWorking = reinterpret_cast<uintptr_t>(po->m_aoEntries);
    uintptr_t uiOriginal = reinterpret_cast<uintptr_t>(po->m_aoOriginalEntries);
    const uintptr_t uiSize = sizeof(po->m_aoEntries);
    if (ui >= uiWorking && ui < uiWorking + uiSize) return static_cast<int>(poEntry - po->m_aoEntries);
    if (ui >= uiOriginal && ui < uiOriginal + uiSize)
        return static_cast<int>(poEntry - po->m_aoOriginalEntries);
    return -1;
}

int iWorkingBinOf(const Palette* po, const Palette::Entry* poEntry)
{
    uintptr_t ui = reinterpret_cast<uintptr_t>(poEntry);
    uintptr_t uiWorking = reinterpret_cast<uintptr_t>(po->m_aoEntries);
    if (ui >= uiWorking && ui < uiWorking + sizeof(po->m_aoEntries))
        return static_cast<int>(poEntry - po->m_aoEntries);
    return -1;
}

// A link of oFrom's histograms as the same link of oTo's.
Palette::Entry* poRebase(const Palette& oFrom, Palette* poTo, const Palette::Entry* poLink)
{
    if (!poLink) return nullptr;
    int iBin = iBinOf(&oFrom, poLink);
    if (iBin < 0) return nullptr;
    bool bWorking = iWorkingBinOf(&oFrom, poLink) >= 0;
    return bWorking ? &poTo->m_aoEntries[iBin] : &poTo->m_aoOriginalEntries[iBin];
}

unsigned char ucByteFromLevel(int iLevel)
{
    return static_cast<unsigned char>(iByteFromLevel(iLevel));
}

unsigned int uiRegisterWord(const Color& o)
{
    return static_cast<unsigned int>(iLevelFromByte(o.b) | iLevelFromByte(o.r) << 4 |
                                     iLevelFromByte(o.g) << 8);
}

} // namespace

Color oColorFromRegisterWord(unsigned int uiWord)
{
    return {ucByteFromLevel((uiWord >> 4) & 7), ucByteFromLevel((uiWord >> 8) & 7),
            ucByteFromLevel(uiWord & 7), 0};
}

void vReleasePaletteDeltaTables()
{
    std::lock_guard<std::mutex> oLock(g_oDeltaTableMutex);
    g_apoDeltaTables.clear();
}

Palette::Palette()
{
    m_uiColorCount = g_iMaxColors;
    memset(m_aoColors, 0, sizeof(m_aoColors));
    m_fDetailsEnhancement = 0.0;
    vClearHistogram();
    memcpy(m_aoOriginalEntries, m_aoEntries, sizeof(m_aoEntries));
}

Palette::Palette(const Color* poColors) : Palette()
{
    if (poColors) memcpy(m_aoColors, poColors, sizeof(m_aoColors));
}

Palette::Palette(const Image* poImage, unsigned int uiColorCount, const tdRectangle* poRect, double fExponent,
                 tdDeltaMethod eMethod, double fWeight)
    : Palette()
{
    vLoadFromImage(poImage, uiColorCount, poRect, fExponent, eMethod, fWeight);
}

Palette::Palette(const Palette& oOther) : Palette()
{
    *this = oOther;
}

Palette& Palette::operator=(const Palette& oOther)
{
    if (this == &oOther) return *this;
    m_uiColorCount = oOther.m_uiColorCount;
    memcpy(m_aoColors, oOther.m_aoColors, sizeof(m_aoColors));
    m_fDetailsEnhancement = oOther.m_fDetailsEnhancement;
    m_uiUsedEntries = oOther.m_uiUsedEntries;
    memcpy(m_aoEntries, oOther.m_aoEntries, sizeof(m_aoEntries));
    memcpy(m_aoOriginalEntries, oOther.m_aoOriginalEntries, sizeof(m_aoOriginalEntries));
    for (Entry* poHistogram : {m_aoEntries, m_aoOriginalEntries})
        for (int i = 0; i < g_iBinCount; i++)
        {
            poHistogram[i].poNearest = poRebase(oOther, this, poHistogram[i].poNearest);
            poHistogram[i].poSecond = poRebase(oOther, this, poHistogram[i].poSecond);
        }
    return *this;
}

unsigned int Palette::uiValidCount() const
{
    return m_uiColorCount < g_iMaxColors ? m_uiColorCount : g_iMaxColors;
}

void Palette::vClearHistogram()
{
    for (Entry& oEntry : m_aoEntries)
        oEntry = {0, 0.0, 0.0, nullptr, nullptr};
    m_uiUsedEntries = 0;
}

void Palette::vAddToBin(int iBin, double fWeight)
{
    Entry& oEntry = m_aoEntries[iBin];
    if (oEntry.fWeight == 0.0)
    {
        if (!oEntry.bUsed) m_uiUsedEntries++;
        oEntry.bUsed = 1;
        oEntry.poNearest = nullptr;
        oEntry.poSecond = nullptr;
    }
    oEntry.fWeight += fWeight;
}

void Palette::vLoadFromImage(const Image* poImage, unsigned int uiColorCount, const tdRectangle* poRect,
                             double fExponent, tdDeltaMethod eMethod, double fWeight)
{
    m_fDetailsEnhancement = fExponent;
    if (uiColorCount < 1) uiColorCount = 1;
    if (uiColorCount > g_iMaxColors) uiColorCount = g_iMaxColors;
    m_uiColorCount = uiColorCount;
    vClearHistogram();

    if (poImage)
    {
        const tdReadArea oArea = oGetReadArea(poImage, poRect, 0);
        const long long lX = oArea.lX, lY = oArea.lY, lWidth = oArea.lWidth, lHeight = oArea.lHeight;
        for (long long y = lY; y < lY + lHeight; y++)
            for (long long x = lX; x < lX + lWidth; x++)
            {
                Color oColor = poImage->oGetPixel(static_cast<int>(x), static_cast<int>(y));
                vAddToBin(iLevelFromByte(oColor.r) * 64 + iLevelFromByte(oColor.g) * 8 +
                              iLevelFromByte(oColor.b),
                          1.0);
            }
    }
    memcpy(m_aoOriginalEntries, m_aoEntries, sizeof(m_aoEntries));

    tdDeltaContext oContext = oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight);
    vCreatePaletteWith(this, oContext);
    vAdjustGradientWith(this, oContext);
    vAdjustAreaSearchWith(this, oContext);

    for (unsigned int k = 0; k < uiValidCount(); k++)
    {
        m_aoColors[k].r = ucByteFromLevel(m_aoColors[k].r);
        m_aoColors[k].g = ucByteFromLevel(m_aoColors[k].g);
        m_aoColors[k].b = ucByteFromLevel(m_aoColors[k].b);
    }
}

void Palette::vCreatePalette(tdDeltaMethod eMethod, double fWeight)
{
    vCreatePaletteWith(this, oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight));
}

void Palette::vReduce(int iTarget, tdDeltaMethod eMethod, double fWeight)
{
    vReduceWith(this, oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight), iTarget);
}

void Palette::vInit(Entry* poEntry, tdDeltaMethod eMethod, double fWeight)
{
    int iBin = iWorkingBinOf(this, poEntry);
    QEV_ASSERT(iBin >= 0 && "vInit takes a bin of the working histogram");
    tdDeltaContext oContext = oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight);
    tdReduction oR;
    oR.po = this;
    oR.poContext = &oContext;
    vListUsedBins(m_aoEntries, &oR.oUsed);
    vListCostBins(m_aoEntries, false, &oR.oCostBins);
    vInitWith(&oR, iBin);
}

double Palette::fValue(Entry* poEntry, tdDeltaMethod eMethod, double fWeight)
{
    int iBin = iWorkingBinOf(this, poEntry);
    QEV_ASSERT(iBin >= 0 && "fValue takes a bin of the working histogram");
    tdDeltaContext oContext = oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight);
    tdReduction oR;
    oR.po = this;
    oR.poContext = &oContext;
    oR.oUsed.m_iCount = 0;
    vListCostBins(m_aoEntries, false, &oR.oCostBins);
    return fValueWith(oR, iBin);
}

double Palette::fPaletteDelta(tdDeltaMethod eMethod, double fWeight)
{
    tdDeltaContext oContext = oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight);
    tdWeightedBins oBins;
    vListWeightedBins(m_aoOriginalEntries, &oBins);
    return fPaletteDeltaWith(this, oContext, oBins);
}

void Palette::vAdjustGradient(tdDeltaMethod eMethod, double fWeight)
{
    vAdjustGradientWith(this, oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight));
}

void Palette::vAdjustAreaSearch(tdDeltaMethod eMethod, double fWeight)
{
    vAdjustAreaSearchWith(this, oGetDeltaContext(eMethod, m_fDetailsEnhancement, fWeight));
}

int Palette::iNearestColor(Color oColor, tdDeltaMethod eMethod, double fWeight) const
{
    return iNearest(oColor, m_aoColors, uiValidCount(), 255.0, eMethod, fWeight);
}

Color Palette::oNearestColor(Color oColor, tdDeltaMethod eMethod, double fWeight) const
{
    return m_aoColors[iNearest(oColor, m_aoColors, uiValidCount(), g_fLevelScale, eMethod, fWeight)];
}

double Palette::fDelta(const Entry* poEntry1, const Entry* poEntry2, tdDeltaMethod eMethod,
                       double fWeight) const
{
    int iBin1 = iBinOf(this, poEntry1);
    int iBin2 = iBinOf(this, poEntry2);
    QEV_ASSERT(iBin1 >= 0 && iBin2 >= 0 && "fDelta takes bins of this palette's histograms");
    Color oColor1 = oBinColor(iBin1);
    Color oColor2 = oBinColor(iBin2);
    return fColorDelta(&oColor1, &oColor2, m_fDetailsEnhancement, g_fLevelScale, eMethod, fWeight);
}

Color* Palette::poEntry(int i)
{
    if (i < 0 || i >= g_iMaxColors) return nullptr;
    return &m_aoColors[i];
}

void Palette::vResize(unsigned int uiCount)
{
    if (uiCount > g_iMaxColors) uiCount = g_iMaxColors;
    unsigned int uiKeep = uiValidCount() < uiCount ? uiValidCount() : uiCount;
    if (uiKeep == 0)
        memset(m_aoColors, 0, sizeof(m_aoColors));
    else
        for (unsigned int k = uiKeep; k < g_iMaxColors; k++)
            m_aoColors[k] = m_aoColors[uiKeep - 1];
    m_uiColorCount = uiCount;
}

// Ascending red + green + blue, then red, green, blue.
static bool bSortsAfter(const Color& o1, const Color& o2)
{
    int iSum1 = o1.r + o1.g + o1.b;
    int iSum2 = o2.r + o2.g + o2.b;
    if (iSum1 != iSum2) return iSum1 > iSum2;
    if (o1.r != o2.r) return o1.r > o2.r;
    if (o1.g != o2.g) return o1.g > o2.g;
    return o1.b > o2.b;
}

void Palette::vSort()
{
    unsigned int uiCount = uiValidCount();
    bool bSwapped = true;
    while (bSwapped)
    {
        bSwapped = false;
        for (unsigned int k = 0; k + 1 < uiCount; k++)
            if (bSortsAfter(m_aoColors[k], m_aoColors[k + 1]))
            {
                Color o = m_aoColors[k];
                m_aoColors[k] = m_aoColors[k + 1];
                m_aoColors[k + 1] = o;
                bSwapped = true;
            }
    }
}

void Palette::vAddPixel(Color oColor)
{
    vAddWeightedPixel(oColor, 1.0);
}

void Palette::vAddWeightedPixel(Color oColor, double fWeight)
{
    if (fWeight == 0.0) return;
    QEV_ASSERT(bIsLevelColor(oColor) && "histogram colours are MSX levels 0..7");
    vAddToBin(iBinOfLevels(oColor), fWeight);
}

void Palette::vWriteToBinaryArray(tdByteArray* poArray) const
{
    if (!poArray) return;
    for (unsigned int k = 0; k < uiValidCount(); k++)
    {
        unsigned int uiWord = uiRegisterWord(m_aoColors[k]);
        poArray->vAppend(static_cast<unsigned char>(uiWord & 0xFF));
        poArray->vAppend(static_cast<unsigned char>(uiWord >> 8));
    }
}

void Palette::vWriteToKRUArray(tdByteArray* poArray) const
{
    if (!poArray) return;
    poArray->vAppend(1);
    poArray->vAppend(0);
    poArray->vAppend(static_cast<unsigned char>(uiValidCount()));
    vWriteToBinaryArray(poArray);
}

void vGetPalette(const tdSettings* poSettings, Palette* poPalette)
{
    if (!poSettings || !poPalette) return;
    const Color* poColors = nullptr;
    switch (poSettings->PaletteType)
    {
    case PaletteType_Custom:
        poColors = poSettings->CustomPalette;
        break;
    case PaletteType_MSX1:
        poColors = g_aoMSX1Palette;
        break;
    case PaletteType_MSX2:
        poColors = g_aoMSX2Palette;
        break;
    case PaletteType_Grey:
        poColors = g_aoGreyPalette;
        break;
    default:
        return;
    }
    memcpy(poPalette->m_aoColors, poColors, sizeof(poPalette->m_aoColors));
}
