// YJK colour model: the table of decoded colours, the RGB-to-YJK searches and the
// Screen 10 palette built from what YJK renders badly.
//
// Colour table: 64 x 64 x 32 entries, entry ((J + 32) * 64 + (K + 32)) * 32 + Y
// holds the decoded colour of (Y, J, K). A second table of the same shape holds
// the decoded colour as its three 5-bit channels, red << 10 | green << 5 | blue
// (the "5-bit colour"), which indexes the per-colour tables below.
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
// conversions here repeat those of color_delta.cpp line for line; the tests compare
// fCandidateDelta with fColorDelta over many pairs to keep them identical.

#include "qev/msx/yjk.h"

#include "qev/base/assert.h"
#include "qev/base/parallel.h"
#include "qev/color/color_delta.h"
#include "qev/color/palette.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

const Color* g_poColors = nullptr;

namespace
{
constexpr int g_iTableSize = 64 * 64 * 32;
constexpr int g_iRGB5Count = 32 * 32 * 32;
constexpr int g_iSlotCount = 12;
// The channel scale of byte colours, as fColorDelta forms it.
constexpr double g_fInverse = 1.0 / 255.0;

Color g_aoYJKColors[g_iTableSize];
uint16_t g_auiYJKRGB5[g_iTableSize];
std::once_flag g_oColorsOnce;

inline int iTableIndex(int iY, int iJ, int iK)
{
    return ((iJ + 32) * 64 + (iK + 32)) * 32 + iY;
}

inline int iClamp31(int i)
{
    return i < 0 ? 0 : (i > 31 ? 31 : i);
}

inline int iExpand5(int v)
{
    return (255 * v + 15) / 31;
}

void vFillColors()
{
    for (int iJ = -32; iJ < 32; iJ++)
        for (int iK = -32; iK < 32; iK++)
            for (int iY = 0; iY < 32; iY++)
            {
                int iRed = iClamp31(iY + iJ);
                int iGreen = iClamp31(iY + iK);
                int iBlue = iClamp31((5 * iY - 2 * iJ - iK + 2) / 4);
                int i = iTableIndex(iY, iJ, iK);
                g_aoYJKColors[i] = {static_cast<unsigned char>(iExpand5(iRed)),
                                    static_cast<unsigned char>(iExpand5(iGreen)),
                                    static_cast<unsigned char>(iExpand5(iBlue)), 255};
                g_auiYJKRGB5[i] = static_cast<uint16_t>(iRed << 10 | iGreen << 5 | iBlue);
            }
    g_poColors = g_aoYJKColors + iTableIndex(0, 0, 0);
}

inline void vEnsureColors()
{
    std::call_once(g_oColorsOnce, vFillColors);
}

// The inverse of the table: for each 5-bit colour, every (J, K, Y) that decodes to
// it, as ((J + 32) * 64 + (K + 32)) << 5 | Y, ordered by that value; the entries
// of colour c are [start[c], start[c + 1]). List 0 holds all Y, list 1 even Y.
constexpr uint32_t g_auiColourEntries[2] = {g_iTableSize, g_iTableSize / 2};
uint32_t g_aauiColourStart[2][g_iRGB5Count + 1];
uint32_t g_auiColourEntryAll[g_iTableSize];
uint32_t g_auiColourEntryEven[g_iTableSize / 2];
std::once_flag g_oColourIndexOnce;

void vFillColourIndex()
{
    vEnsureColors();
    for (int iList = 0; iList < 2; iList++)
    {
        uint32_t* puiStart = g_aauiColourStart[iList];
        uint32_t* puiEntry = iList ? g_auiColourEntryEven : g_auiColourEntryAll;
        memset(puiStart, 0, sizeof(g_aauiColourStart[iList]));
        for (int i = 0; i < g_iTableSize; i++)
            if (iList == 0 || (i & 1) == 0) puiStart[g_auiYJKRGB5[i] + 1]++;
        for (int c = 0; c < g_iRGB5Count; c++)
            puiStart[c + 1] += puiStart[c];
        QEV_ASSERT(puiStart[g_iRGB5Count] == g_auiColourEntries[iList]);
        std::unique_ptr<uint32_t[]> puiNext(new uint32_t[g_iRGB5Count]);
        memcpy(puiNext.get(), puiStart, sizeof(uint32_t) * g_iRGB5Count);
        // The table index is ((J + 32) * 64 + (K + 32)) * 32 + Y: the entry itself.
        for (int i = 0; i < g_iTableSize; i++)
            if (iList == 0 || (i & 1) == 0) puiEntry[puiNext[g_auiYJKRGB5[i]]++] = static_cast<uint32_t>(i);
    }
}

// A colour-side brute force gives up, for the pair scan, beyond this many
// (J, K, Y) within the budget over the four pixels: a large budget reaches too
// much of the table for marking to beat scanning the pairs.
constexpr long g_lMaxColourTriples = 32768;

// Estimate matrices, 16.16 fixed point (65536 = 1.0). Inputs: red, green, blue of
// pixels 0, 1, 2, 3 (bytes); rows 0-3 give the Y of pixels 0-3, row 4 J, row 5 K,
// in byte units. Standard: Y = R/4 + G/8 + B/2; J and K average R - Y and G - Y.
// clang-format off
//                                      pixel 0                pixel 1                pixel 2                pixel 3
//                                   R      G      B        R      G      B        R      G      B        R      G      B
const int32_t g_aiStandardMatrix[6][12] = {
    {16384,  8192, 32768,       0,     0,     0,       0,     0,     0,       0,     0,     0},  // Y0
    {    0,     0,     0,   16384,  8192, 32768,       0,     0,     0,       0,     0,     0},  // Y1
    {    0,     0,     0,       0,     0,     0,   16384,  8192, 32768,       0,     0,     0},  // Y2
    {    0,     0,     0,       0,     0,     0,       0,     0,     0,   16384,  8192, 32768},  // Y3
    {12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192},  // J
    {-4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192},  // K
};
const int32_t g_aiLeastSquaresMatrix[6][12] = {
    {17893, 15845, 25438,    -503, -2551,  2443,    -503, -2551,  2443,    -503, -2551,  2443},  // Y0
    { -503, -2551,  2443,   17893, 15845, 25438,    -503, -2551,  2443,    -503, -2551,  2443},  // Y1
    { -503, -2551,  2443,    -503, -2551,  2443,   17893, 15845, 25438,    -503, -2551,  2443},  // Y2
    { -503, -2551,  2443,    -503, -2551,  2443,    -503, -2551,  2443,   17893, 15845, 25438},  // Y3
    {12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192},  // J
    {-4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192},  // K
};
// clang-format on

// The matrix estimate: aiY[0..3], J and K, limited to their ranges; even Y with bEvenY.
void vEstimate(const Color* poPixels, bool bLeastSquares, bool bEvenY, int* aiY, int* piJ, int* piK)
{
    const int32_t(*paiMatrix)[12] = bLeastSquares ? g_aiLeastSquaresMatrix : g_aiStandardMatrix;
    int32_t aiInput[12];
    for (int p = 0; p < 4; p++)
    {
        aiInput[3 * p] = poPixels[p].r;
        aiInput[3 * p + 1] = poPixels[p].g;
        aiInput[3 * p + 2] = poPixels[p].b;
    }
    int aiValue[6];
    for (int iRow = 0; iRow < 6; iRow++)
    {
        int64_t lSum = 0;
        for (int i = 0; i < 12; i++)
            lSum += static_cast<int64_t>(paiMatrix[iRow][i]) * aiInput[i];
        // Both divisions truncate toward zero, negative values included.
        int64_t lByteUnits = (lSum + 32768) / 65536;
        aiValue[iRow] = static_cast<int>((31 * lByteUnits + 127) / 255);
    }
    for (int p = 0; p < 4; p++)
    {
        aiY[p] = iClamp31(aiValue[p]);
        if (bEvenY) aiY[p] &= ~1;
    }
    *piJ = aiValue[4] < -32 ? -32 : (aiValue[4] > 31 ? 31 : aiValue[4]);
    *piK = aiValue[5] < -32 ? -32 : (aiValue[5] > 31 ? 31 : aiValue[5]);
}

void vWriteGroup(const int* aiY, int iJ, int iK, unsigned char* pucBytes, Color* poColors)
{
    const unsigned int uiJ = static_cast<unsigned int>(iJ) & 63;
    const unsigned int uiK = static_cast<unsigned int>(iK) & 63;
    const unsigned int auiLow[4] = {uiK & 7, uiK >> 3, uiJ & 7, uiJ >> 3};
    for (int p = 0; p < 4; p++)
    {
        pucBytes[p] = static_cast<unsigned char>(8 * aiY[p] + auiLow[p]);
        poColors[p] = g_aoYJKColors[iTableIndex(aiY[p], iJ, iK)];
    }
}

// ---------------------------------------------------------------------------------
// The plain search, for vRGB2YJKReference.

double fPlainDelta(const Color* poPixel, int iY, int iJ, int iK, double fExponent, tdDeltaMethod eMethod,
                   double fWeight)
{
    return fColorDelta(&g_aoYJKColors[iTableIndex(iY, iJ, iK)], poPixel, fExponent, 255.0, eMethod, fWeight);
}

double fPlainTotal(const Color* poPixels, const int* aiY, int iJ, int iK, double fExponent,
                   tdDeltaMethod eMethod, double fWeight)
{
    double fTotal = 0.0;
    for (int p = 0; p < 4; p++)
        fTotal += fPlainDelta(&poPixels[p], aiY[p], iJ, iK, fExponent, eMethod, fWeight);
    return fTotal;
}

// Single steps of one value while the total falls. *piValue moves within iLow..iHigh.
bool bPlainStep(const Color* poPixels, int* aiY, int* piJ, int* piK, int* piValue, int iStep, int iLow,
                int iHigh, double* pfBest, double fExponent, tdDeltaMethod eMethod, double fWeight)
{
    const int c = *piValue;
    double fUp = DBL_MAX;
    double fDown = DBL_MAX;
    if (c + iStep <= iHigh)
    {
        *piValue = c + iStep;
        fUp = fPlainTotal(poPixels, aiY, *piJ, *piK, fExponent, eMethod, fWeight);
    }
    if (c - iStep >= iLow)
    {
        *piValue = c - iStep;
        fDown = fPlainTotal(poPixels, aiY, *piJ, *piK, fExponent, eMethod, fWeight);
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

void vPlainRangeSearch(const Color* poPixels, int iJLow, int iJHigh, int iKLow, int iKHigh, const int* aiYLow,
                       const int* aiYHigh, int iStep, double fExponent, tdDeltaMethod eMethod, double fWeight,
                       int* piJ, int* piK, int* aiY)
{
    double fBest = DBL_MAX;
    for (int iJ = iJLow; iJ <= iJHigh; iJ++)
        for (int iK = iKLow; iK <= iKHigh; iK++)
        {
            int aiChosen[4];
            double fTotal = 0.0;
            for (int p = 0; p < 4; p++)
            {
                double fMin = DBL_MAX;
                aiChosen[p] = aiYLow[p];
                for (int iY = aiYLow[p]; iY <= aiYHigh[p]; iY += iStep)
                {
                    double f = fPlainDelta(&poPixels[p], iY, iJ, iK, fExponent, eMethod, fWeight);
                    if (f < fMin)
                    {
                        fMin = f;
                        aiChosen[p] = iY;
                    }
                }
                fTotal += fMin;
            }
            if (fTotal < fBest)
            {
                fBest = fTotal;
                *piJ = iJ;
                *piK = iK;
                for (int p = 0; p < 4; p++)
                    aiY[p] = aiChosen[p];
                if (fTotal == 0.0) return;
            }
        }
}

// ---------------------------------------------------------------------------------
// Tables by 5-bit colour for the distances of the searches.

enum tdDeltaKind
{
    DeltaKind_Channels,    // RGB
    DeltaKind_Brightness,  // Hit9918
    DeltaKind_Coordinates, // XYZ, LAB, Oklab
    DeltaKind_CIEDE2000,
    DeltaKind_Zero, // a method outside the enumeration
};

inline double fBrightnessOf(double r, double g, double b)
{
    return sqrt(0.299 * r * r + 0.587 * g * g + 0.114 * b * b);
}

// The per-colour quantity of a method for a colour of normalised channels: the
// brightness (Hit9918, one value) or three coordinates.
void vColorQuantity(tdDeltaMethod eMethod, double r, double g, double b, double* pf)
{
    switch (eMethod)
    {
    case DeltaMethod_Hit9918:
        pf[0] = fBrightnessOf(r, g, b);
        break;
    case DeltaMethod_XYZ:
        vRGBToXYZA(r, g, b, &pf[0], &pf[1], &pf[2]);
        break;
    case DeltaMethod_LAB:
        rgb2lab(r, g, b, &pf[0], &pf[1], &pf[2]);
        break;
    case DeltaMethod_CIEDE2000:
        vRGBToLabB(r, g, b, &pf[0], &pf[1], &pf[2]);
        break;
    case DeltaMethod_Oklab:
        vRGBToOklab(r, g, b, &pf[0], &pf[1], &pf[2]);
        break;
    default:
        break;
    }
}

int iQuantityWidth(tdDeltaMethod eMethod)
{
    return eMethod == DeltaMethod_Hit9918 ? 1 : 3;
}

std::once_flag g_aoQuantityOnce[DeltaMethod_Count];
std::unique_ptr<double[]> g_apfQuantity[DeltaMethod_Count];

// The table of a method's quantity by 5-bit colour, built on first use.
const double* pfQuantityTable(tdDeltaMethod eMethod)
{
    if (eMethod != DeltaMethod_Hit9918 && eMethod != DeltaMethod_XYZ && eMethod != DeltaMethod_LAB &&
        eMethod != DeltaMethod_CIEDE2000 && eMethod != DeltaMethod_Oklab)
        return nullptr;
    std::call_once(g_aoQuantityOnce[eMethod],
                   [eMethod]()
                   {
                       const int iWidth = iQuantityWidth(eMethod);
                       std::unique_ptr<double[]> pf(new double[static_cast<size_t>(g_iRGB5Count) * iWidth]);
                       for (int ui = 0; ui < g_iRGB5Count; ui++)
                           vColorQuantity(eMethod, iExpand5(ui >> 10) * g_fInverse,
                                          iExpand5((ui >> 5) & 31) * g_fInverse,
                                          iExpand5(ui & 31) * g_fInverse,
                                          &pf[static_cast<size_t>(ui) * iWidth]);
                       g_apfQuantity[eMethod] = std::move(pf);
                   });
    return g_apfQuantity[eMethod].get();
}

std::once_flag g_oPointsOnce;
std::unique_ptr<tdDeltaPoint[]> g_aoCIEDE2000Points;

// The CIEDE2000 points of the 5-bit colours (their CIELAB is the quantity table's),
// built on first use.
const tdDeltaPoint* poCIEDE2000Points()
{
    std::call_once(g_oPointsOnce,
                   []()
                   {
                       std::unique_ptr<tdDeltaPoint[]> po(new tdDeltaPoint[g_iRGB5Count]);
                       for (int ui = 0; ui < g_iRGB5Count; ui++)
                       {
                           const Color o = {static_cast<unsigned char>(iExpand5(ui >> 10)),
                                            static_cast<unsigned char>(iExpand5((ui >> 5) & 31)),
                                            static_cast<unsigned char>(iExpand5(ui & 31)), 255};
                           vDeltaPoint(o, 255.0, DeltaMethod_CIEDE2000, &po[ui]);
                       }
                       g_aoCIEDE2000Points = std::move(po);
                   });
    return g_aoCIEDE2000Points.get();
}

// The CIELAB and chroma of each (J, K, Y)'s colour (the first four values of
// its CIEDE2000 point) and its hue windows (the last value) in colour-table
// order, so that the Y of one (J, K) lie side by side for the area search's
// bounds.
std::once_flag g_oLabByEntryOnce;
std::unique_ptr<double[]> g_afLabByEntry;
std::unique_ptr<unsigned char[]> g_aucWindowsByEntry;

void vFillLabByEntry()
{
    std::call_once(g_oLabByEntryOnce,
                   []()
                   {
                       vEnsureColors();
                       const tdDeltaPoint* poPoints = poCIEDE2000Points();
                       std::unique_ptr<double[]> pf(new double[4 * static_cast<size_t>(g_iTableSize)]);
                       std::unique_ptr<unsigned char[]> puc(new unsigned char[g_iTableSize]);
                       for (int i = 0; i < g_iTableSize; i++)
                       {
                           const tdDeltaPoint& o = poPoints[g_auiYJKRGB5[i]];
                           memcpy(&pf[4 * static_cast<size_t>(i)], o.af, 4 * sizeof(double));
                           puc[i] = static_cast<unsigned char>(o.af[7]);
                       }
                       g_afLabByEntry = std::move(pf);
                       g_aucWindowsByEntry = std::move(puc);
                   });
}

// The 5-bit colours that some (J, K, Y) decodes to (even Y only in list 1), by
// ascending CIEDE2000 lightness, for the colour-side brute force.
struct tdColoursByLightness
{
    int m_iCount = 0;
    std::unique_ptr<uint16_t[]> m_auiColour;
    std::unique_ptr<double[]> m_afL;
};
std::once_flag g_aoByLightnessOnce[2];
tdColoursByLightness g_aoByLightness[2];

const tdColoursByLightness& oColoursByLightness(bool bEvenY)
{
    std::call_once(g_aoByLightnessOnce[bEvenY ? 1 : 0],
                   [bEvenY]()
                   {
                       vEnsureColors();
                       const tdDeltaPoint* poPoints = poCIEDE2000Points();
                       std::vector<bool> abReached(g_iRGB5Count, false);
                       for (int i = 0; i < g_iTableSize; i++)
                           if (!bEvenY || (i & 1) == 0) abReached[g_auiYJKRGB5[i]] = true;
                       std::vector<uint16_t> auiColours;
                       for (int ui = 0; ui < g_iRGB5Count; ui++)
                           if (abReached[ui]) auiColours.push_back(static_cast<uint16_t>(ui));
                       std::stable_sort(auiColours.begin(), auiColours.end(),
                                        [poPoints](uint16_t a, uint16_t b)
                                        { return poPoints[a].af[0] < poPoints[b].af[0]; });
                       tdColoursByLightness& o = g_aoByLightness[bEvenY ? 1 : 0];
                       o.m_iCount = static_cast<int>(auiColours.size());
                       o.m_auiColour.reset(new uint16_t[auiColours.size()]);
                       o.m_afL.reset(new double[auiColours.size()]);
                       for (size_t i = 0; i < auiColours.size(); i++)
                       {
                           o.m_auiColour[i] = auiColours[i];
                           o.m_afL[i] = poPoints[auiColours[i]].af[0];
                       }
                   });
    return g_aoByLightness[bEvenY ? 1 : 0];
}

inline double fSquaredDistance(double fX1, double fY1, double fZ1, double fX2, double fY2, double fZ2)
{
    double fDX = fX1 - fX2;
    double fDY = fY1 - fY2;
    double fDZ = fZ1 - fZ2;
    return fDX * fDX + fDY * fDY + fDZ * fDZ;
}
} // namespace

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
static void vMakeChannelBounds(tdYJKSlot* po)
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
                       bool* pbExact = nullptr)
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
            for (int iY = iStart + iDirection * m_iStep; iY >= iLow && iY <= iHigh;
                 iY += iDirection * m_iStep)
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

    // The least distance of pixel p over Y = iLow, iLow + step, .. iHigh and the
    // lowest Y that reaches it (iLow when none is below the largest finite double).
    double fMinPlain(int p, const uint16_t* pui, int iLow, int iHigh, int* piY)
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

    // fMinPlain over the whole Y range, starting near the Y that fits the pixel
    // best and walking outwards while the single-channel bounds allow a better
    // distance. Upwards, every channel of the decoded colour stays or grows, so no
    // later Y beats the bound of the suffix minima; downwards the prefix minima
    // bound every lower Y, which must fall strictly below to be skipped since the
    // lowest Y wins a tie.
    double fMinScan(int p, const uint16_t* pui, int iJ, int iK, int* piY)
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
            double fBound =
                (po->m_afUp[0][ui >> 10] + po->m_afUp[1][(ui >> 5) & 31]) + po->m_afUp[2][ui & 31];
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

    // fMinPlain through the slot's kept minima, where it has them: the minimum and
    // its lowest Y are a function of the pixel, (J, K) and the range alone.
    double fMinKept(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh, int* piY)
    {
        bool bExact = true;
        return fMinCapped(p, pui, iJ, iK, iLow, iHigh, DBL_MAX, piY, &bExact);
    }

    // fMinKept with fMinBounded's cap (CIEDE2000, exponent 1.0; DBL_MAX for none).
    // A lower bound above the cap is kept as well, and stands for the minimum while
    // it passes the cap of a later call.
    double fMinCapped(int p, const uint16_t* pui, int iJ, int iK, int iLow, int iHigh, double fCap, int* piY,
                      bool* pbExact)
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

    double fMinFull(int p, const uint16_t* pui, int iJ, int iK, int* piY)
    {
        if constexpr (Policy::bBounds)
            return fMinScan(p, pui, iJ, iK, piY);
        else
            return fMinKept(p, pui, iJ, iK, 0, m_iYMax, piY);
    }

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
                  double fBest, double* pfTotal, int* aiY)
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

    // The kept minimum, or lower bound, of pixel p over iLow..iHigh at (J, K), if
    // the slot has one.
    bool bKeptMin(int p, int iJ, int iK, int iLow, int iHigh, double* pfMin, int* piY, bool* pbExact) const
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

    // Keeps a lower bound of pixel p's minimum at (J, K) in the slot.
    void vKeepBound(int p, int iJ, int iK, int iLow, int iHigh, double fBound)
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

    // A lower bound of pixel p's least distance over iLow..iHigh (CIEDE2000).
    double fMinBound(int p, int iEntry, int iLow, int iHigh) const
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
                              const int* aiYHigh, int* piJ, int* piK, int* aiY)
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
                double f =
                    fMinCapped(p, pui, o.m_iJ, o.m_iK, aiYLow[p], aiYHigh[p], fCap, &o.m_aiY[p], &bExact);
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

    // Area search around the estimate (J0, K0, aiY0); the result starts as the
    // estimate itself.
    void vAreaSearch(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY)
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
                if (!bTryPair<false>(iJ, iK, aiYLow, aiYHigh, afZero, fBound, fBest, &fTotal, aiTry))
                    continue;
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

    // The bounds of the brute force for this group, from each pixel's channel
    // tables: over Y = 0..m_iYMax the red of a (J, K) runs from clamp(J) to
    // clamp(J + m_iYMax), so no distance is below the least red square of that run;
    // likewise green with K and blue with 2 J + K; and red minus green lies between
    // 0 and J - K.
    void vPrepareBounds()
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
                    po->m_afRedGreen[63 + d] =
                        fUp < po->m_afRedGreen[62 + d] ? fUp : po->m_afRedGreen[62 + d];
                    po->m_afRedGreen[63 - d] =
                        fDown < po->m_afRedGreen[64 - d] ? fDown : po->m_afRedGreen[64 - d];
                }
                po->m_bRedGreenReady = true;
            }
            memcpy(m_afRedGreenBound[p], po->m_afRedGreen, sizeof(m_afRedGreenBound[p]));
        }
    }

    void vPairBounds(int iJ, int iK, double* afBound) const
    {
        for (int p = 0; p < 4; p++)
        {
            double f = m_afRedBound[p][iJ + 32] + m_afGreenBound[p][iK + 32];
            if (m_afRedGreenBound[p][iJ - iK + 63] > f) f = m_afRedGreenBound[p][iJ - iK + 63];
            afBound[p] = f + m_afBlueBound[p][2 * iJ + iK + 96];
        }
    }

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
    bool bBruteForceByColour(double fBudget, int* piJ, int* piK, int* aiY)
    {
        if (!(fBudget < DBL_MAX)) return false;
        std::call_once(g_oColourIndexOnce, vFillColourIndex);
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

    // Brute force. The area search around the estimate gives a (J, K) whose full
    // total bounds the answer; the result starts as the estimate.
    void vBruteForce(int iJ0, int iK0, const int* aiY0, int* piJ, int* piK, int* aiY)
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
                if (!bTryPair<true>(iJ, iK, aiYLow, aiYHigh, afBound, fBound, fBest, &fTotal, aiTry))
                    continue;
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

    bool bStep(int* aiY, int* piJ, int* piK, int* piValue, int iStep, int iLow, int iHigh, double* pfBest)
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

    // Gradient descent from the estimate, in place. The best total starts above
    // every total, so the first value examined moves whenever its two neighbours
    // differ.
    void vGradientDescent(int* piJ, int* piK, int* aiY)
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

    void vRun(const int* aiY0, int iJ0, int iK0, int* piJ, int* piK, int* aiY)
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
};

void vComputeColors()
{
    vEnsureColors();
}

void vRGB2YJKReference(const Color* poPixels, unsigned char* pucBytes, Color* poColors,
                       tdRGB2YJKMethod eMethod, bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod,
                       double fWeight)
{
    QEV_ASSERT(poPixels && pucBytes && poColors);
    vEnsureColors();
    const int iStep = bEvenY ? 2 : 1;
    int aiY[4];
    int iJ;
    int iK;
    // The least-squares estimate also stands for brute force should no total fall
    // below the largest finite double.
    vEstimate(poPixels, eMethod >= RGB2YJK_LeastSquares && eMethod <= RGB2YJK_BruteForce, bEvenY, aiY, &iJ,
              &iK);
    if (eMethod == RGB2YJK_GradientDescent)
    {
        double fBest = DBL_MAX;
        bool bChanged = true;
        while (bChanged)
        {
            bChanged = false;
            for (int p = 0; p < 4; p++)
                bChanged |= bPlainStep(poPixels, aiY, &iJ, &iK, &aiY[p], iStep, 0, 31, &fBest, fExponent,
                                       eDeltaMethod, fWeight);
            bChanged |= bPlainStep(poPixels, aiY, &iJ, &iK, &iJ, 1, -32, 31, &fBest, fExponent, eDeltaMethod,
                                   fWeight);
            bChanged |= bPlainStep(poPixels, aiY, &iJ, &iK, &iK, 1, -32, 31, &fBest, fExponent, eDeltaMethod,
                                   fWeight);
        }
    }
    else if (eMethod == RGB2YJK_AreaSearch)
    {
        int aiYLow[4];
        int aiYHigh[4];
        for (int p = 0; p < 4; p++)
        {
            aiYLow[p] = aiY[p] - 2 < 0 ? 0 : aiY[p] - 2;
            aiYHigh[p] = aiY[p] + 2 > 31 ? 31 : aiY[p] + 2;
            if (bEvenY)
            {
                aiYLow[p] &= ~1;
                aiYHigh[p] &= ~1;
            }
        }
        vPlainRangeSearch(poPixels, iJ - 3 < -32 ? -32 : iJ - 3, iJ + 3 > 31 ? 31 : iJ + 3,
                          iK - 3 < -32 ? -32 : iK - 3, iK + 3 > 31 ? 31 : iK + 3, aiYLow, aiYHigh, iStep,
                          fExponent, eDeltaMethod, fWeight, &iJ, &iK, aiY);
    }
    else if (eMethod == RGB2YJK_BruteForce)
    {
        const int aiYLow[4] = {0, 0, 0, 0};
        const int iYHigh = bEvenY ? 30 : 31;
        const int aiYHigh[4] = {iYHigh, iYHigh, iYHigh, iYHigh};
        vPlainRangeSearch(poPixels, -32, 31, -32, 31, aiYLow, aiYHigh, iStep, fExponent, eDeltaMethod,
                          fWeight, &iJ, &iK, aiY);
    }
    vWriteGroup(aiY, iJ, iK, pucBytes, poColors);
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
