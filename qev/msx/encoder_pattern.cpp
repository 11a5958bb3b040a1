#include "qev/msx/encoder_pattern.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/color/nearest_color.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace
{
constexpr int g_iScreen2Width = 256;
constexpr int g_iScreen2Height = 192;
constexpr int g_iScreen2TableSize = 6144; // pattern or colour table
constexpr int g_iScreen3Width = 64;
constexpr int g_iScreen3Height = 48;
constexpr int g_iScreen3TableSize = 1536;

// Byte offset of the 8-pixel row at (iX, iY), iX a multiple of 8, in either Screen 2
// table.
int iScreen2Offset(int iX, int iY)
{
    return 256 * (iY / 8) + iX + (iY % 8);
}

// The pair search of one 8-pixel row.
//
// Trying a pair runs the diffusion along the row: pixel k is adjusted by the error
// waiting for it, takes the nearer colour of the pair, and passes its error on. The
// only waiting error that a choice within the row changes is the right-hand share of
// pixel k, which lands on pixel k + 1 alone (the shares for the next line are never
// read within the row). So the adjusted colour of pixel k + 1 depends only on the
// adjusted colour of pixel k and the colour chosen for it, and the trials of all 120
// pairs walk one small graph of states: a node is an adjusted colour at position k,
// its edges the colours that can be chosen there. Each node's distances and edges are
// computed once, the edges with the Diffuser itself (diffuse pixel k, adjust pixel
// k + 1), so every total is the sum of the same doubles in the same order as a trial
// that drives the Diffuser pixel by pixel, and the bytes are identical to it.
class PairSearch
{
public:
    PairSearch(Diffuser* poDiffuser, const Color* poPalette, NearestColor* poDeltas, double fExponent)
        : m_poDiffuser(poDiffuser), m_poPalette(poPalette), m_poDeltas(poDeltas), m_fExponent(fExponent),
          m_aoNodes(g_iMaxNodes), m_iNodeCount(0), m_aoSlots(g_iHashSlots, tdSlot{0, 0, 0}), m_uiStamp(0),
          m_iX(0), m_poPixels(nullptr)
    {
    }

    // The colour byte 16 i + j of the best pair (i, j) for the eight pixels aoPixels
    // (as read, not adjusted) at columns iX..iX+7 of the current line: least total, the
    // later pair on a tie; 0 when no total is below the largest finite double. Expects
    // the Diffuser saved at iX and leaves it restored there.
    int iFindPair(int iX, const Color* aoPixels)
    {
        m_iX = iX;
        m_poPixels = aoPixels;
        m_iNodeCount = 0;
        // A new stamp empties the node index.
        if (++m_uiStamp == 0)
        {
            std::fill(m_aoSlots.begin(), m_aoSlots.end(), tdSlot{0, 0, 0});
            m_uiStamp = 1;
        }
        Color oFirst = aoPixels[0];
        m_poDiffuser->vAdjust(iX, &oFirst);
        iAddNode(oFirst);

        double fBest = DBL_MAX;
        int iColorByte = 0;
        for (int i = 0; i < 15; i++)
        {
            for (int j = i + 1; j < 16; j++)
            {
                double fTotal = 0.0;
                int iNode = 0;
                for (int k = 0; k < 8; k++)
                {
                    double fDeltaI = fDelta(iNode, i);
                    double fDeltaJ = fDelta(iNode, j);
                    fTotal += std::min(fDeltaI, fDeltaJ);
                    // No distance is negative, so a total above the best stays above
                    // it: this pair cannot win, and the rest of its trial is skipped.
                    if (fTotal > fBest) break;
                    if (k < 7) iNode = iNext(iNode, k, fDeltaJ > fDeltaI ? i : j);
                }
                if (fTotal <= fBest)
                {
                    fBest = fTotal;
                    iColorByte = 16 * i + j;
                }
            }
        }
        m_poDiffuser->vRestore(iX);
        return iColorByte;
    }

private:
    // Root, then at most one new node per pair at each of the positions 1..7.
    static constexpr int g_iMaxNodes = 1 + 120 * 7;
    // Open addressing, at most 841 of 2048 slots in use.
    static constexpr int g_iHashBits = 11;
    static constexpr uint32_t g_iHashSlots = 1u << g_iHashBits;

    struct tdSlot
    {
        uint32_t m_uiStamp;
        uint32_t m_uiKey; // position << 24 | blue << 16 | green << 8 | red
        int m_iNode;
    };

    struct tdNode
    {
        Color m_oColor;         // adjusted pixel at this position
        unsigned int m_uiKnown; // bit c: m_afDelta[c] is computed
        double m_afDelta[16];   // distance to palette colour c, with the pair exponent
        int m_aiNext[16];       // node after choosing palette colour c; -1 not yet known
    };

    int iAddNode(const Color& oColor)
    {
        int iNode = m_iNodeCount++;
        tdNode& oNode = m_aoNodes[iNode];
        oNode.m_oColor = oColor;
        oNode.m_uiKnown = 0;
        std::fill(oNode.m_aiNext, oNode.m_aiNext + 16, -1);
        return iNode;
    }

    double fDelta(int iNode, int iColor)
    {
        tdNode& oNode = m_aoNodes[iNode];
        if (!(oNode.m_uiKnown & (1u << iColor)))
        {
            // fColorDelta with an exponent is pow of its distance with exponent 1.0.
            const double f = m_poDeltas->fDelta(oNode.m_oColor, iColor);
            oNode.m_afDelta[iColor] = m_fExponent == 1.0 ? f : pow(f, m_fExponent);
            oNode.m_uiKnown |= 1u << iColor;
        }
        return oNode.m_afDelta[iColor];
    }

    // The node of position iLevel + 1 after node iNode (at iLevel) chose iColor.
    int iNext(int iNode, int iLevel, int iColor)
    {
        int iNextNode = m_aoNodes[iNode].m_aiNext[iColor];
        if (iNextNode >= 0) return iNextNode;

        // vDiffuse at column c changes, of the current row, only column c + 1: keep that
        // entry aside and put it back, so that the current row stays as saved. The
        // next row and the sums drift until the vRestore that ends the search.
        Color oNext = m_poPixels[iLevel + 1];
        const int iColumn = m_iX + iLevel + 1;
        double afWaiting[3] = {0.0, 0.0, 0.0};
        double* pfWaiting =
            m_poDiffuser->m_pafCurrentRow ? m_poDiffuser->m_pafCurrentRow + 3 * iColumn : nullptr;
        if (pfWaiting) std::copy(pfWaiting, pfWaiting + 3, afWaiting);
        m_poDiffuser->vDiffuse(iColumn - 1, &m_aoNodes[iNode].m_oColor, &m_poPalette[iColor]);
        m_poDiffuser->vAdjust(iColumn, &oNext);
        if (pfWaiting) std::copy(afWaiting, afWaiting + 3, pfWaiting);

        // Different paths often meet in the same colour (the waiting error is rounded).
        // Nodes are found by position and colour; alpha is the same for every node of
        // a position, since the diffusion leaves it alone.
        const uint32_t uiKey = (static_cast<uint32_t>(iLevel + 1) << 24) |
                               (static_cast<uint32_t>(oNext.b) << 16) |
                               (static_cast<uint32_t>(oNext.g) << 8) | oNext.r;
        uint32_t uiSlot = (uiKey * 2654435761u) >> (32 - g_iHashBits);
        while (m_aoSlots[uiSlot].m_uiStamp == m_uiStamp && m_aoSlots[uiSlot].m_uiKey != uiKey)
            uiSlot = (uiSlot + 1) & (g_iHashSlots - 1);
        tdSlot& oSlot = m_aoSlots[uiSlot];
        if (oSlot.m_uiStamp != m_uiStamp) oSlot = {m_uiStamp, uiKey, iAddNode(oNext)};
        m_aoNodes[iNode].m_aiNext[iColor] = oSlot.m_iNode;
        return oSlot.m_iNode;
    }

    Diffuser* m_poDiffuser;
    const Color* m_poPalette; // 16 colours
    NearestColor* m_poDeltas; // distances to the 16 colours
    double m_fExponent;
    std::vector<tdNode> m_aoNodes;
    int m_iNodeCount;
    std::vector<tdSlot> m_aoSlots; // index of the nodes by position and colour
    uint32_t m_uiStamp;            // slots of another stamp are empty
    int m_iX;
    const Color* m_poPixels; // the eight pixels as read
};

void vWriteBytes(LZWCmp* poWriter, const unsigned char* pucBytes, int iCount)
{
    for (int i = 0; i < iCount; i++)
        poWriter->vWriteBits(pucBytes[i], 8);
}
} // namespace

tdErrorTriple oEncodeScreen2(Image* poImage, Palette* poPalette, double fErrorDiffusion, Image* poOutput,
                             double fPairExponent, tdDeltaMethod eMethod, double fWeight,
                             const tdRunContext* poRun, unsigned char* pucPatterns, unsigned char* pucColors)
{
    std::fill(pucPatterns, pucPatterns + g_iScreen2TableSize, 0);
    std::fill(pucColors, pucColors + g_iScreen2TableSize, 0);
    const Color* poColors = poPalette->m_aoColors;
    Diffuser oDiffuser(g_iScreen2Width, g_iScreen2Height, poImage->m_fAspectRatio, fErrorDiffusion);
    NearestColor oDeltas(poColors, 16, 255.0, eMethod, fWeight);
    PairSearch oSearch(&oDiffuser, poColors, &oDeltas, fPairExponent);

    for (int y = 0; y < g_iScreen2Height && bKeepRunning(poRun, static_cast<double>(y) / g_iScreen2Height);
         y++)
    {
        for (int x = 0; x < g_iScreen2Width; x += 8)
        {
            Color aoPixels[8];
            for (int k = 0; k < 8; k++)
                aoPixels[k] = poImage->oGetPixel(x + k, y);
            oDiffuser.vSave(x);
            const int iColorByte = oSearch.iFindPair(x, aoPixels);
            const int iForeground = iColorByte >> 4;
            const int iBackground = iColorByte & 15;

            int iPattern = 0;
            for (int k = 0; k < 8; k++)
            {
                Color oPixel = aoPixels[k];
                oDiffuser.vAdjust(x + k, &oPixel);
                double fDeltaB = oDeltas.fDelta(oPixel, iBackground);
                double fDeltaF = oDeltas.fDelta(oPixel, iForeground);
                const bool bForeground = fDeltaF <= fDeltaB;
                const Color* poChosen = &poColors[bForeground ? iForeground : iBackground];
                if (bForeground) iPattern |= 0x80 >> k;
                oDiffuser.vDiffuse(x + k, &oPixel, poChosen);
                if (poOutput) poOutput->vSetPixel(x + k, y, poChosen);
            }
            pucPatterns[iScreen2Offset(x, y)] = static_cast<unsigned char>(iPattern);
            pucColors[iScreen2Offset(x, y)] = static_cast<unsigned char>(iColorByte);
        }
        oDiffuser.vNewLine();
    }
    return oDiffuser.oGetError();
}

void vWriteScreen2Stream(const unsigned char* pucPatterns, const unsigned char* pucNames,
                         const unsigned char* pucColors, tdCompressionType eCompression,
                         tdByteArray* poBuffer)
{
    LZWCmp oWriter(eCompression, 0, false);
    oWriter.vOpen(poBuffer, 8);
    vWriteBytes(&oWriter, pucPatterns, g_iScreen2TableSize);
    if (pucNames)
    {
        vWriteBytes(&oWriter, pucNames, 768);
        for (int n = 0; n < 1280; n++)
            oWriter.vWriteBits(0, 8);
    }
    vWriteBytes(&oWriter, pucColors, g_iScreen2TableSize);
    oWriter.vClose();
}

tdErrorTriple oWriteImageToScreen2(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poBuffer, tdCompressionType eCompression, Image* poOutput,
                                   double fPairExponent, bool bNameTable, tdDeltaMethod eMethod,
                                   double fWeight, const tdRunContext* poRun)
{
    if (!poImage || !poPalette) return {0.0, 0.0, 0.0};
    std::vector<unsigned char> aucPatterns(g_iScreen2TableSize);
    std::vector<unsigned char> aucColors(g_iScreen2TableSize);
    const tdErrorTriple oError =
        oEncodeScreen2(poImage, poPalette, fErrorDiffusion, poOutput, fPairExponent, eMethod, fWeight, poRun,
                       aucPatterns.data(), aucColors.data());
    if (poBuffer)
    {
        // The standard name table: cell n of a third shows pattern n of its bank.
        unsigned char aucNames[768];
        for (int n = 0; n < 768; n++)
            aucNames[n] = static_cast<unsigned char>(n);
        vWriteScreen2Stream(aucPatterns.data(), bNameTable ? aucNames : nullptr, aucColors.data(),
                            eCompression, poBuffer);
    }
    return oError;
}

tdErrorTriple oWriteImageToScreen3(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poBuffer, tdCompressionType eCompression, Image* poOutput,
                                   tdDeltaMethod eMethod, double fWeight, const tdRunContext* poRun)
{
    if (!poImage || !poPalette) return {0.0, 0.0, 0.0};
    std::vector<unsigned char> aucPatterns(g_iScreen3TableSize, 0);
    Diffuser oDiffuser(g_iScreen3Width, g_iScreen3Height, poImage->m_fAspectRatio, fErrorDiffusion);
    NearestColor oNearest(poPalette->m_aoColors, poPalette->uiValidCount(), 255.0, eMethod, fWeight);

    for (int y = 0; y < g_iScreen3Height && bKeepRunning(poRun, static_cast<double>(y) / g_iScreen3Height);
         y++)
    {
        for (int x = 0; x < g_iScreen3Width; x += 2)
        {
            int aiIndex[2];
            for (int h = 0; h < 2; h++)
            {
                Color oPixel = poImage->oGetPixel(x + h, y);
                oDiffuser.vAdjust(x + h, &oPixel);
                aiIndex[h] = oNearest.iNearest(oPixel);
                const Color* poChosen = poPalette->poEntry(aiIndex[h]);
                oDiffuser.vDiffuse(x + h, &oPixel, poChosen);
                if (poOutput) poOutput->vSetPixel(x + h, y, poChosen);
            }
            aucPatterns[256 * (y / 8) + 8 * (x / 2) + (y % 8)] =
                static_cast<unsigned char>(16 * aiIndex[0] + aiIndex[1]);
        }
        oDiffuser.vNewLine();
    }

    if (poBuffer)
    {
        LZWCmp oWriter(eCompression, 0, false);
        oWriter.vOpen(poBuffer, 8);
        vWriteBytes(&oWriter, aucPatterns.data(), g_iScreen3TableSize);
        oWriter.vClose();
    }
    return oDiffuser.oGetError();
}
