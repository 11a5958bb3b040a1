#include "qev/msx/tile_budget.h"

#include "qev/base/parallel.h"
#include "qev/color/diffuser.h"
#include "qev/color/nearest_color.h"
#include "qev/msx/encoder_pattern.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

const unsigned char g_acSharedBankRegs[2][3] = {
    // register value mask
    {3, 0x00, 0x60}, // colour table: bank 0 for every third
    {4, 0x00, 0x03}, // pattern generator: bank 0 for every third
};

namespace
{
constexpr int g_iCells = 768;      // 32 x 24 character cells
constexpr int g_iTableSize = 6144; // pattern or colour table
constexpr int g_iPixels = 64;      // of a cell, row by row
constexpr int g_iBlocks = 16;      // 2 x 2 pixel blocks of a cell, row by row
// Tiles the final pass tries for a cell: those of least undiffused cost.
constexpr int g_iFinalCandidates = 4;

// One tile: row l shows pattern bit 7 - k of m_aucPattern[l] for pixel k, a set bit
// in the colour of m_aucColor[l]'s high nibble, a clear one in its low nibble.
struct tdTile
{
    unsigned char m_aucPattern[8];
    unsigned char m_aucColor[8];

    bool operator<(const tdTile& o) const { return memcmp(this, &o, sizeof(tdTile)) < 0; }
    int iPixel(int p) const
    {
        const int l = p >> 3;
        const bool bSet = m_aucPattern[l] & (0x80 >> (p & 7));
        return bSet ? m_aucColor[l] >> 4 : m_aucColor[l] & 15;
    }
};
static_assert(sizeof(tdTile) == 16, "a tile is its 16 bytes");

// The one byte form of each row's pixels, so that tiles that show the same pixels
// compare equal: a row of one colour is pattern FF with that colour in both nibbles;
// otherwise the lower palette index is the foreground.
void vCanonical(tdTile* poTile)
{
    for (int l = 0; l < 8; l++)
    {
        unsigned char& ucPattern = poTile->m_aucPattern[l];
        unsigned char& ucColor = poTile->m_aucColor[l];
        int iFore = ucColor >> 4;
        int iBack = ucColor & 15;
        if (ucPattern == 0x00) iFore = iBack;
        if (ucPattern == 0xFF) iBack = iFore;
        if (iFore == iBack)
        {
            ucPattern = 0xFF;
            ucColor = static_cast<unsigned char>(17 * iFore);
        }
        else if (iFore > iBack)
        {
            ucPattern = static_cast<unsigned char>(~ucPattern);
            ucColor = static_cast<unsigned char>(16 * iBack + iFore);
        }
    }
}

tdTile oTileOfCell(const unsigned char* pucPatterns, const unsigned char* pucColors, int iCell)
{
    tdTile o;
    memcpy(o.m_aucPattern, pucPatterns + 8 * iCell, 8);
    memcpy(o.m_aucColor, pucColors + 8 * iCell, 8);
    vCanonical(&o);
    return o;
}

// The mean of 2 x 2 block b of 64 pixels (row by row), rounded per channel.
Color oBlockMean(const Color* poPixels, int b)
{
    const Color* po = poPixels + 16 * (b >> 2) + 2 * (b & 3);
    const Color* apo[4] = {po, po + 1, po + 8, po + 9};
    int aiSum[3] = {0, 0, 0};
    for (const Color* poPixel : apo)
    {
        aiSum[0] += poPixel->r;
        aiSum[1] += poPixel->g;
        aiSum[2] += poPixel->b;
    }
    return {static_cast<unsigned char>((aiSum[0] + 2) / 4), static_cast<unsigned char>((aiSum[1] + 2) / 4),
            static_cast<unsigned char>((aiSum[2] + 2) / 4), 255};
}

// How far apart a cell and a tile are seen: the conversion's colour distance between
// the means of their 2 x 2 blocks, summed. A dither pattern thus counts as the colour
// it mixes to, and a tile can stand for cells whose pixels differ in detail but not
// in what the eye takes from them.
struct tdBlockPoints
{
    tdDeltaPoint m_aoBlock[g_iBlocks];
};

struct tdTileWork
{
    std::vector<Color> m_aoSource;         // cell, pixel: the picture as the encoder reads it
    std::vector<tdBlockPoints> m_aoBlocks; // by cell
    const Color* m_poPalette;              // 16 colours
    NearestColor* m_poDeltas;
    tdDeltaMethod m_eMethod;
    double m_fWeight;
    double m_fDiffusion;
    double m_fAspectRatio;
    int m_iWorkers; // threads for the cost tables

    void vMeasure(const Color* poPixels, tdBlockPoints* po) const
    {
        for (int b = 0; b < g_iBlocks; b++)
            vDeltaPoint(oBlockMean(poPixels, b), 255.0, m_eMethod, &po->m_aoBlock[b]);
    }
    void vMeasure(const tdTile& oTile, tdBlockPoints* po) const
    {
        Color aoPixels[g_iPixels];
        for (int p = 0; p < g_iPixels; p++)
            aoPixels[p] = m_poPalette[oTile.iPixel(p)];
        vMeasure(aoPixels, po);
    }
    double fCost(const tdBlockPoints& oA, const tdBlockPoints& oB) const
    {
        double f = 0.0;
        for (int b = 0; b < g_iBlocks; b++)
            f += fPointDelta(oA.m_aoBlock[b], oB.m_aoBlock[b], m_eMethod, m_fWeight);
        return f;
    }
};

// The tile that shows the given 64 pixels as the encoder would: each row takes the
// pair of least total error with the error diffusion run along it, inside the tile.
tdTile oEncodeTile(const tdTileWork& oWork, const Color* poPixels)
{
    tdTile o;
    Diffuser oDiffuser(8, 8, oWork.m_fAspectRatio, oWork.m_fDiffusion);
    for (int l = 0; l < 8; l++)
    {
        const Color* poRow = poPixels + 8 * l;
        oDiffuser.vSave(0);
        double fBest = DBL_MAX;
        int iBestPair = 0;
        for (int i = 0; i < 15; i++)
            for (int j = i + 1; j < 16; j++)
            {
                double fTotal = 0.0;
                for (int k = 0; k < 8 && fTotal <= fBest; k++)
                {
                    Color oPixel = poRow[k];
                    oDiffuser.vAdjust(k, &oPixel);
                    const double fI = oWork.m_poDeltas->fDelta(oPixel, i);
                    const double fJ = oWork.m_poDeltas->fDelta(oPixel, j);
                    oDiffuser.vDiffuse(k, &oPixel, &oWork.m_poPalette[fJ > fI ? i : j]);
                    fTotal += std::min(fI, fJ);
                }
                oDiffuser.vRestore(0);
                if (fTotal <= fBest)
                {
                    fBest = fTotal;
                    iBestPair = 16 * i + j;
                }
            }
        const int iFore = iBestPair >> 4, iBack = iBestPair & 15;
        int iPattern = 0;
        for (int k = 0; k < 8; k++)
        {
            Color oPixel = poRow[k];
            oDiffuser.vAdjust(k, &oPixel);
            const bool bFore =
                oWork.m_poDeltas->fDelta(oPixel, iFore) <= oWork.m_poDeltas->fDelta(oPixel, iBack);
            if (bFore) iPattern |= 0x80 >> k;
            oDiffuser.vDiffuse(k, &oPixel, &oWork.m_poPalette[bFore ? iFore : iBack]);
        }
        oDiffuser.vNewLine();
        o.m_aucPattern[l] = static_cast<unsigned char>(iPattern);
        o.m_aucColor[l] = static_cast<unsigned char>(iBestPair);
    }
    vCanonical(&o);
    return o;
}

// The budget's work on one group of cells: a third, or all cells for a shared bank.
class TileGroup
{
public:
    TileGroup(const tdTileWork& oWork, std::vector<int> aiCells)
        : m_oWork(oWork), m_aiCells(std::move(aiCells))
    {
    }

    // Reduces the group's distinct tiles aoInitial (aiInitialOfCell: each cell's, by
    // position in the group) to at most iBudget and re-fits them; *paoTiles receives
    // the group's tiles, paiTileOfCell (by cell number) each cell's tile in it and
    // paaiCandidates (by cell number) its g_iFinalCandidates best tiles, best first.
    void vReduce(const std::vector<tdTile>& aoInitial, const std::vector<int>& aiInitialOfCell, int iBudget,
                 std::vector<tdTile>* paoTiles, std::vector<int>* paiTileOfCell,
                 std::vector<std::vector<int>>* paaiCandidates)
    {
        vComputeCosts(aoInitial);
        const int iCells = static_cast<int>(m_aiCells.size());
        const int iTiles = static_cast<int>(aoInitial.size());
        std::vector<char> abActive(iTiles, 1);
        std::vector<int> aiBest(iCells), aiSecond(iCells);
        for (int c = 0; c < iCells; c++)
            vFindBestTwo(c, abActive, &aiBest[c], &aiSecond[c]);

        // Greedy removal: the tile whose cells lose least by moving to their next best.
        std::vector<double> afLoss(iTiles);
        for (int iActive = iTiles; iActive > iBudget; iActive--)
        {
            std::fill(afLoss.begin(), afLoss.end(), 0.0);
            for (int c = 0; c < iCells; c++)
                afLoss[aiBest[c]] += static_cast<double>(fCost(c, aiSecond[c]) - fCost(c, aiBest[c]));
            int iVictim = -1;
            for (int t = 0; t < iTiles; t++)
                if (abActive[t] && (iVictim < 0 || afLoss[t] < afLoss[iVictim])) iVictim = t;
            if (iVictim < 0) break;
            abActive[iVictim] = 0;
            for (int c = 0; c < iCells; c++)
                if (aiBest[c] == iVictim || aiSecond[c] == iVictim)
                    vFindBestTwo(c, abActive, &aiBest[c], &aiSecond[c]);
        }

        // Re-fit: each surviving tile becomes the encoding of the mean of the source
        // pixels it stands for; a tile that stands for one cell alone is that cell's
        // own first encoding. Then every cell takes the tile that is now its best.
        std::vector<tdTile> aoKept;
        for (int t = 0; t < iTiles; t++)
        {
            if (!abActive[t]) continue;
            std::vector<int> aiMembers;
            for (int c = 0; c < iCells; c++)
                if (aiBest[c] == t) aiMembers.push_back(c);
            if (aiMembers.empty()) continue;
            if (aiMembers.size() == 1)
            {
                aoKept.push_back(aoInitial[aiInitialOfCell[aiMembers[0]]]);
                continue;
            }
            Color aoMean[g_iPixels];
            const double fShare = 1.0 / static_cast<double>(aiMembers.size());
            for (int p = 0; p < g_iPixels; p++)
            {
                double afSum[3] = {0.0, 0.0, 0.0};
                for (int c : aiMembers)
                {
                    const Color& o = m_oWork.m_aoSource[static_cast<size_t>(m_aiCells[c]) * g_iPixels + p];
                    afSum[0] += o.r;
                    afSum[1] += o.g;
                    afSum[2] += o.b;
                }
                aoMean[p] = {static_cast<unsigned char>(lround(afSum[0] * fShare)),
                             static_cast<unsigned char>(lround(afSum[1] * fShare)),
                             static_cast<unsigned char>(lround(afSum[2] * fShare)), 255};
            }
            aoKept.push_back(oEncodeTile(m_oWork, aoMean));
        }
        vComputeCosts(aoKept);
        const int iTry = std::min(g_iFinalCandidates, m_iCostTiles);
        std::vector<std::pair<float, int>> aoByCost(static_cast<size_t>(m_iCostTiles));
        for (int c = 0; c < iCells; c++)
        {
            for (int t = 0; t < m_iCostTiles; t++)
                aoByCost[static_cast<size_t>(t)] = {fCost(c, t), t};
            std::partial_sort(aoByCost.begin(), aoByCost.begin() + iTry, aoByCost.end());
            std::vector<int>& aiCandidates = (*paaiCandidates)[static_cast<size_t>(m_aiCells[c])];
            aiCandidates.clear();
            for (int i = 0; i < iTry; i++)
                aiCandidates.push_back(aoByCost[static_cast<size_t>(i)].second);
            (*paiTileOfCell)[m_aiCells[c]] = aiCandidates[0];
        }
        *paoTiles = aoKept;
    }

private:
    float fCost(int c, int t) const { return m_afCosts[static_cast<size_t>(c) * m_iCostTiles + t]; }

    void vComputeCosts(const std::vector<tdTile>& aoTiles)
    {
        m_iCostTiles = static_cast<int>(aoTiles.size());
        std::vector<tdBlockPoints> aoTilePoints(aoTiles.size());
        for (size_t t = 0; t < aoTiles.size(); t++)
            m_oWork.vMeasure(aoTiles[t], &aoTilePoints[t]);
        const int iCells = static_cast<int>(m_aiCells.size());
        m_afCosts.assign(static_cast<size_t>(iCells) * m_iCostTiles, 0.0f);
        // Every entry is computed alone: the table is the same whoever fills it.
        vRunWorkers(m_oWork.m_iWorkers,
                    [&](int iWorker, int iWorkers)
                    {
                        for (int c = iWorker; c < iCells; c += iWorkers)
                        {
                            const tdBlockPoints& oCell = m_oWork.m_aoBlocks[m_aiCells[c]];
                            float* pfRow = m_afCosts.data() + static_cast<size_t>(c) * m_iCostTiles;
                            for (int t = 0; t < m_iCostTiles; t++)
                                pfRow[t] = static_cast<float>(m_oWork.fCost(oCell, aoTilePoints[t]));
                        }
                    });
    }

    // The best and second best active tile of cell c (the best twice when it is the
    // only one).
    void vFindBestTwo(int c, const std::vector<char>& abActive, int* piBest, int* piSecond) const
    {
        int iBest = -1, iSecond = -1;
        for (int t = 0; t < m_iCostTiles; t++)
        {
            if (!abActive[t]) continue;
            if (iBest < 0 || fCost(c, t) < fCost(c, iBest))
            {
                iSecond = iBest;
                iBest = t;
            }
            else if (iSecond < 0 || fCost(c, t) < fCost(c, iSecond))
                iSecond = t;
        }
        *piBest = iBest;
        *piSecond = iSecond < 0 ? iBest : iSecond;
    }

    const tdTileWork& m_oWork;
    std::vector<int> m_aiCells;   // cell numbers of the group
    std::vector<float> m_afCosts; // by group position and tile
    int m_iCostTiles = 0;
};

// The error diffusion of the final pass over one character row, which decides cell
// after cell: lines 0..8 of the row (line 8 is the next row's first) in the
// Diffuser's row layout, so that its row-addressed steps adjust and spread within
// the band.
class BandDiffusion
{
public:
    static constexpr int g_iStride = (256 + 1) * 3;

    explicit BandDiffusion(const Diffuser& oDiffuser)
        : m_oDiffuser(oDiffuser), m_afBand(9 * g_iStride), m_afTrial(9 * g_iStride)
    {
    }

    // Starts a character row with the error the diffuser has waiting for its first line.
    void vStart()
    {
        std::fill(m_afBand.begin(), m_afBand.end(), 0.0);
        if (!m_oDiffuser.m_bEnabled || !m_oDiffuser.m_pafCurrentRow) return;
        std::copy(m_oDiffuser.m_pafCurrentRow, m_oDiffuser.m_pafCurrentRow + g_iStride, m_afBand.begin());
    }

    // Runs cell iColumn's pixels aoSource with oTile through the diffusion, into the
    // band (bCommit) or a scratch copy of the cell's neighbourhood, and returns the
    // block points of the adjusted pixels.
    void vRun(int iColumn, const Color* poSource, const tdTile& oTile, bool bCommit, const tdTileWork& oWork,
              tdBlockPoints* poAdjusted)
    {
        std::vector<double>& af = bCommit ? m_afBand : m_afTrial;
        if (!bCommit)
        {
            // A cell's pixels change the error of columns 8 c - 1 .. 8 c + 8 only.
            const int iFirst = std::max(0, 8 * iColumn - 1) * 3, iEnd = (8 * iColumn + 9) * 3;
            for (int l = 0; l < 9; l++)
                std::copy(m_afBand.begin() + l * g_iStride + iFirst, m_afBand.begin() + l * g_iStride + iEnd,
                          m_afTrial.begin() + l * g_iStride + iFirst);
        }
        Color aoAdjusted[g_iPixels];
        uint64_t aulSquaredError[3] = {0, 0, 0}; // not wanted: the real pass measures
        for (int p = 0; p < g_iPixels; p++)
        {
            const int x = 8 * iColumn + (p & 7);
            const Diffuser::tdRow oRow = {af.data() + (p >> 3) * g_iStride,
                                          af.data() + ((p >> 3) + 1) * g_iStride};
            aoAdjusted[p] = poSource[p];
            m_oDiffuser.vAdjustAt(oRow, x, &aoAdjusted[p]);
            m_oDiffuser.vDiffuseAt(oRow, x, &aoAdjusted[p], &oWork.m_poPalette[oTile.iPixel(p)],
                                   aulSquaredError);
        }
        if (poAdjusted) oWork.vMeasure(aoAdjusted, poAdjusted);
    }

private:
    const Diffuser& m_oDiffuser; // weights, and the error waiting for a row's first line
    std::vector<double> m_afBand;
    std::vector<double> m_afTrial;
};
} // namespace

tdTileBudget oGetTileBudget(const tdSettings* poSettings)
{
    tdTileBudget o = {0, false};
    if (!bScreenModeHasScreen2Layout(poSettings->ScreenMode)) return o;
    // A stored record may hold anything: no budget below 1, none above a bank.
    o.m_iTiles = poSettings->TileLimit < 0 ? 0 : std::min(poSettings->TileLimit, g_iMaxTilesShared);
    o.m_bSharedBank = o.m_iTiles > 0 && poSettings->TileSharedBank != 0;
    return o;
}

tdErrorTriple oWriteImageToScreen2WithBudget(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                             tdByteArray* poBuffer, tdCompressionType eCompression,
                                             Image* poOutput, double fPairExponent, tdDeltaMethod eMethod,
                                             double fWeight, const tdTileBudget& oBudget,
                                             const tdRunContext* poRun)
{
    if (!poImage || !poPalette) return {0.0, 0.0, 0.0};
    std::vector<unsigned char> aucPatterns(g_iTableSize), aucColors(g_iTableSize);
    // The first encoding runs to a third of the progress.
    tdRunContext oFirst;
    const tdRunContext* poFirst = nullptr;
    if (poRun)
    {
        oFirst.m_fnProgress = [poRun](double fDone) { return bKeepRunning(poRun, 0.35 * fDone); };
        oFirst.m_iThreads = poRun->m_iThreads;
        poFirst = &oFirst;
    }
    tdErrorTriple oError = oEncodeScreen2(poImage, poPalette, fErrorDiffusion, poOutput, fPairExponent,
                                          eMethod, fWeight, poFirst, aucPatterns.data(), aucColors.data());
    if (!bKeepRunning(poRun, 0.35)) return oError;

    const int iGroups = oBudget.m_bSharedBank ? 1 : 3;
    const int iGroupCells = g_iCells / iGroups;
    std::vector<tdTile> aoCellTile(g_iCells);
    for (int n = 0; n < g_iCells; n++)
        aoCellTile[n] = oTileOfCell(aucPatterns.data(), aucColors.data(), n);

    // Each group's distinct tiles, in order of first use.
    std::vector<std::vector<tdTile>> aaoTiles(iGroups);
    std::vector<int> aiTileOfCell(g_iCells);
    bool bWithinBudget = true;
    for (int g = 0; g < iGroups; g++)
    {
        std::map<tdTile, int> oIndex;
        for (int n = g * iGroupCells; n < (g + 1) * iGroupCells; n++)
        {
            auto oFound = oIndex.emplace(aoCellTile[n], static_cast<int>(aaoTiles[g].size()));
            if (oFound.second) aaoTiles[g].push_back(aoCellTile[n]);
            aiTileOfCell[n] = oFound.first->second;
        }
        if (static_cast<int>(aaoTiles[g].size()) > oBudget.m_iTiles) bWithinBudget = false;
    }

    if (!bWithinBudget)
    {
        NearestColor oDeltas(poPalette->m_aoColors, 16, 255.0, eMethod, fWeight);
        tdTileWork oWork;
        oWork.m_poPalette = poPalette->m_aoColors;
        oWork.m_poDeltas = &oDeltas;
        oWork.m_eMethod = eMethod;
        oWork.m_fWeight = fWeight;
        oWork.m_fDiffusion = fErrorDiffusion;
        oWork.m_fAspectRatio = poImage->m_fAspectRatio;
        oWork.m_iWorkers = iRunThreads(poRun);
        oWork.m_aoSource.resize(static_cast<size_t>(g_iCells) * g_iPixels);
        oWork.m_aoBlocks.resize(g_iCells);
        for (int n = 0; n < g_iCells; n++)
        {
            Color* poCell = &oWork.m_aoSource[static_cast<size_t>(n) * g_iPixels];
            for (int p = 0; p < g_iPixels; p++)
                poCell[p] = poImage->oGetPixel(8 * (n % 32) + (p & 7), 8 * (n / 32) + (p >> 3));
            oWork.vMeasure(poCell, &oWork.m_aoBlocks[n]);
        }

        std::vector<char> abFixed(iGroups, 1); // groups within the budget keep their tiles
        std::vector<std::vector<int>> aaiCandidates(g_iCells);
        for (int g = 0; g < iGroups; g++)
        {
            if (static_cast<int>(aaoTiles[g].size()) <= oBudget.m_iTiles) continue;
            abFixed[g] = 0;
            std::vector<int> aiCells, aiInitial;
            for (int n = g * iGroupCells; n < (g + 1) * iGroupCells; n++)
            {
                aiCells.push_back(n);
                aiInitial.push_back(aiTileOfCell[n]);
            }
            TileGroup oGroup(oWork, aiCells);
            std::vector<tdTile> aoReduced;
            oGroup.vReduce(aaoTiles[g], aiInitial, oBudget.m_iTiles, &aoReduced, &aiTileOfCell,
                           &aaiCandidates);
            aaoTiles[g] = aoReduced;
            if (!bKeepRunning(poRun, 0.35 + 0.4 * (g + 1) / iGroups)) return oError;
        }
        std::vector<std::vector<tdBlockPoints>> aaoTilePoints(iGroups);
        for (int g = 0; g < iGroups; g++)
        {
            aaoTilePoints[g].resize(aaoTiles[g].size());
            for (size_t t = 0; t < aaoTiles[g].size(); t++)
                oWork.vMeasure(aaoTiles[g][t], &aaoTilePoints[g][t]);
        }

        // The final pass, character row by character row: each cell in turn tries its
        // best tiles with the error waiting from the cells above and to the left,
        // diffused inside the cell, and keeps the one whose adjusted pixels it stands
        // for best; then the row's lines are painted through the real diffusion.
        Diffuser oDiffuser(256, 192, poImage->m_fAspectRatio, fErrorDiffusion);
        BandDiffusion oBand(oDiffuser);
        for (int r = 0; r < 24 && bKeepRunning(poRun, 0.75 + 0.25 * r / 24); r++)
        {
            const int g = oBudget.m_bSharedBank ? 0 : r / 8;
            const std::vector<tdTile>& aoTiles = aaoTiles[g];
            oBand.vStart();
            for (int cx = 0; cx < 32 && !abFixed[g]; cx++)
            {
                const int n = 32 * r + cx;
                const Color* poSource = &oWork.m_aoSource[static_cast<size_t>(n) * g_iPixels];
                const std::vector<int>& aiCandidates = aaiCandidates[static_cast<size_t>(n)];
                int iBest = aiTileOfCell[n];
                if (oDiffuser.m_bEnabled)
                {
                    double fBest = DBL_MAX;
                    for (const int t : aiCandidates)
                    {
                        tdBlockPoints oAdjusted;
                        oBand.vRun(cx, poSource, aoTiles[t], false, oWork, &oAdjusted);
                        const double f = oWork.fCost(oAdjusted, aaoTilePoints[g][t]);
                        if (f < fBest)
                        {
                            fBest = f;
                            iBest = t;
                        }
                    }
                    oBand.vRun(cx, poSource, aoTiles[iBest], true, oWork, nullptr);
                }
                aiTileOfCell[n] = iBest;
            }
            for (int l = 0; l < 8; l++)
            {
                const int y = 8 * r + l;
                for (int x = 0; x < 256; x++)
                {
                    const tdTile& oTile = aoTiles[aiTileOfCell[32 * r + x / 8]];
                    Color oPixel = poImage->oGetPixel(x, y);
                    oDiffuser.vAdjust(x, &oPixel);
                    const Color* poChosen = &poPalette->m_aoColors[oTile.iPixel(8 * l + (x & 7))];
                    oDiffuser.vDiffuse(x, &oPixel, poChosen);
                    if (poOutput) poOutput->vSetPixel(x, y, poChosen);
                }
                oDiffuser.vNewLine();
            }
        }
        oError = oDiffuser.oGetError();

        // The bank in order of first use: tiles no cell chose any more leave it, and
        // re-fitted tiles that came out alike become one.
        for (int g = 0; g < iGroups; g++)
        {
            std::map<tdTile, int> oIndex;
            std::vector<tdTile> aoUsed;
            for (int n = g * iGroupCells; n < (g + 1) * iGroupCells; n++)
            {
                const tdTile& oTile = aaoTiles[g][aiTileOfCell[n]];
                auto oFound = oIndex.emplace(oTile, static_cast<int>(aoUsed.size()));
                if (oFound.second) aoUsed.push_back(oTile);
                aiTileOfCell[n] = oFound.first->second;
            }
            aaoTiles[g] = aoUsed;
        }
    }

    if (poBuffer)
    {
        std::vector<unsigned char> aucBankPatterns(g_iTableSize, 0), aucBankColors(g_iTableSize, 0);
        unsigned char aucNames[g_iCells];
        for (int b = 0; b < 3; b++)
        {
            const std::vector<tdTile>& aoTiles = aaoTiles[oBudget.m_bSharedBank ? 0 : b];
            for (size_t t = 0; t < aoTiles.size() && t < 256; t++)
            {
                memcpy(&aucBankPatterns[2048 * b + 8 * t], aoTiles[t].m_aucPattern, 8);
                memcpy(&aucBankColors[2048 * b + 8 * t], aoTiles[t].m_aucColor, 8);
            }
        }
        for (int n = 0; n < g_iCells; n++)
            aucNames[n] = static_cast<unsigned char>(aiTileOfCell[n]);
        vWriteScreen2Stream(aucBankPatterns.data(), aucNames, aucBankColors.data(), eCompression, poBuffer);
    }
    return oError;
}

void vCountTiles(const Image* poPainted, bool bSharedBank, int aiCounts[3])
{
    aiCounts[0] = aiCounts[1] = aiCounts[2] = 0;
    if (!poPainted || poPainted->m_iWidth != 256 || poPainted->m_iHeight != 192) return;
    std::map<std::vector<uint32_t>, int> oSeen;
    for (int r = 0; r < 24; r++)
    {
        if (!bSharedBank && r % 8 == 0) oSeen.clear();
        for (int cx = 0; cx < 32; cx++)
        {
            std::vector<uint32_t> auiPixels(g_iPixels);
            for (int p = 0; p < g_iPixels; p++)
                auiPixels[p] = uiColorKey(poPainted->oGetPixel(8 * cx + (p & 7), 8 * r + (p >> 3)));
            if (oSeen.emplace(auiPixels, 0).second) aiCounts[bSharedBank ? 0 : r / 8]++;
        }
    }
}

std::string sDescribeTiles(const Image* poPainted, const tdSettings* poSettings)
{
    if (!bScreenModeHasScreen2Layout(poSettings->ScreenMode) || !poPainted || poPainted->m_iWidth != 256 ||
        poPainted->m_iHeight != 192)
        return "";
    const bool bShared = oGetTileBudget(poSettings).m_bSharedBank;
    int aiCounts[3];
    vCountTiles(poPainted, bShared, aiCounts);
    if (bShared) return std::to_string(aiCounts[0]) + " shared";
    return std::to_string(aiCounts[0]) + "/" + std::to_string(aiCounts[1]) + "/" +
           std::to_string(aiCounts[2]);
}
