#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"
#include "qev/color/color_delta.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The key under which answer caches remember a colour: 1 << 24 | blue << 16 |
// green << 8 | red (alpha takes no part in a distance), never 0, so 0 marks an
// empty slot; and its slot in a direct-mapped table of 2^iBits slots.
inline uint32_t uiColorKey(Color o)
{
    return 1u << 24 | static_cast<uint32_t>(o.b) << 16 | static_cast<uint32_t>(o.g) << 8 | o.r;
}
inline uint32_t uiColorSlot(uint32_t uiKey, int iBits)
{
    return (uiKey * 2654435761u) >> (32 - iBits);
}

// Nearest-colour answers and distances for one fixed set of candidates, as the
// queries of one conversion ask them. Every answer equals the plain computation
// (iNearest, fColorDelta) bit for bit; it is only found with less work:
//   - each candidate is measured once (tdDeltaPoint), each queried colour once;
//   - answers are remembered by the queried colour's red, green and blue (alpha
//     takes no part in a distance), in direct-mapped tables that forget on a
//     collision; distances are computed only when asked;
//   - for CIEDE2000 the nearest-colour search visits candidates in order of the
//     table bound (fCIEDE2000TableBound), stops at the first one above the
//     best distance so far, and skips a candidate whose full bound
//     (fCIEDE2000LowerBound) is above it.
// Not safe to share between threads: each worker keeps its own.
class NearestColor
{
public:
    // uiCount candidates (at most 256) are copied; fScale, eMethod, fWeight as for
    // fColorDelta.
    NearestColor(const Color* poCandidates, unsigned int uiCount, double fScale, tdDeltaMethod eMethod,
                 double fWeight);

    // iNearest(oColor, candidates, count, scale, method, weight).
    int iNearest(Color oColor);

    // fColorDelta(oColor, candidate i, 1.0, scale, method, weight), i below
    // min(count, 16).
    double fDelta(Color oColor, int i);

private:
    static constexpr int g_iMaxDeltas = 16;
    static constexpr int g_iNearestBits = 15;
    static constexpr int g_iDeltasBits = 12;

    struct tdNearestSlot
    {
        uint32_t uiKey; // uiColorKey; 0 when empty
        int32_t iIndex;
    };
    struct tdDeltasSlot
    {
        uint32_t uiKey;
        uint32_t uiKnown; // bit i: afDelta[i] is computed
        tdDeltaPoint oPoint;
        double afDelta[g_iMaxDeltas];
    };

    int iSearch(const tdDeltaPoint& oPoint) const;

    std::vector<tdDeltaPoint> m_aoPoints;
    double m_fScale;
    tdDeltaMethod m_eMethod;
    double m_fWeight;
    std::vector<tdNearestSlot> m_aoNearest; // allocated on first use
    std::vector<tdDeltasSlot> m_aoDeltas;   // allocated on first use
};
