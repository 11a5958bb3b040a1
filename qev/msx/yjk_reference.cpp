// The plain YJK searches, written straight from their definitions with
// fColorDelta for every distance: the reference the converter is tested against.

#include "qev/base/assert.h"
#include "qev/color/color_delta.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_tables.h"

#include <cfloat>

namespace
{
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
} // namespace

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
