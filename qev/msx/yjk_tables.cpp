// The YJK tables: decoded colours, their inverse, the matrix estimates and the
// per-colour quantities of the distance methods.

#include "qev/msx/yjk_tables.h"

#include "qev/base/assert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

Color g_aoYJKColors[g_iTableSize];
uint16_t g_auiYJKRGB5[g_iTableSize];
static std::once_flag g_oColorsOnce;
const Color* g_poColors = nullptr;

static void vFillColors()
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

void vEnsureColors()
{
    std::call_once(g_oColorsOnce, vFillColors);
}

uint32_t g_aauiColourStart[2][g_iRGB5Count + 1];
uint32_t g_auiColourEntryAll[g_iTableSize];
uint32_t g_auiColourEntryEven[g_iTableSize / 2];
static std::once_flag g_oColourIndexOnce;

static void vFillColourIndex()
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

void vEnsureColourIndex()
{
    std::call_once(g_oColourIndexOnce, vFillColourIndex);
}

// Estimate matrices, 16.16 fixed point (65536 = 1.0). Inputs: red, green, blue of
// pixels 0, 1, 2, 3 (bytes); rows 0-3 give the Y of pixels 0-3, row 4 J, row 5 K,
// in byte units. Standard: Y = R/4 + G/8 + B/2; J and K average R - Y and G - Y.
// clang-format off
//                                      pixel 0                pixel 1                pixel 2                pixel 3
//                                   R      G      B        R      G      B        R      G      B        R      G      B
static const int32_t g_aiStandardMatrix[6][12] = {
    {16384,  8192, 32768,       0,     0,     0,       0,     0,     0,       0,     0,     0},  // Y0
    {    0,     0,     0,   16384,  8192, 32768,       0,     0,     0,       0,     0,     0},  // Y1
    {    0,     0,     0,       0,     0,     0,   16384,  8192, 32768,       0,     0,     0},  // Y2
    {    0,     0,     0,       0,     0,     0,       0,     0,     0,   16384,  8192, 32768},  // Y3
    {12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192},  // J
    {-4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192},  // K
};
static const int32_t g_aiLeastSquaresMatrix[6][12] = {
    {17893, 15845, 25438,    -503, -2551,  2443,    -503, -2551,  2443,    -503, -2551,  2443},  // Y0
    { -503, -2551,  2443,   17893, 15845, 25438,    -503, -2551,  2443,    -503, -2551,  2443},  // Y1
    { -503, -2551,  2443,    -503, -2551,  2443,   17893, 15845, 25438,    -503, -2551,  2443},  // Y2
    { -503, -2551,  2443,    -503, -2551,  2443,    -503, -2551,  2443,   17893, 15845, 25438},  // Y3
    {12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192,   12288, -2048, -8192},  // J
    {-4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192,   -4096, 14336, -8192},  // K
};
// clang-format on

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

static double fBrightnessOf(double r, double g, double b)
{
    return sqrt(0.299 * r * r + 0.587 * g * g + 0.114 * b * b);
}

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

static std::once_flag g_aoQuantityOnce[DeltaMethod_Count];
static std::unique_ptr<double[]> g_apfQuantity[DeltaMethod_Count];

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

static std::once_flag g_oPointsOnce;
static std::unique_ptr<tdDeltaPoint[]> g_aoCIEDE2000Points;

// Their CIELAB is the quantity table's.
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

static std::once_flag g_oLabByEntryOnce;
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

static std::once_flag g_aoByLightnessOnce[2];
static tdColoursByLightness g_aoByLightness[2];

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
