// The Screen 10 palette: 16 palette colours spent on the pixels that YJK renders
// worst, weighted by how badly and how often.

#include "qev/msx/yjk_palette.h"

#include "qev/base/parallel.h"
#include "qev/color/color_delta.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_converter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

void vLoadPaletteFromYJKImage(Palette* poPalette, const Image* poImage, const tdRectangle* poRect,
                              tdRGB2YJKMethod eYJKMethod, double fPaletteExponent, double fYJKExponent,
                              tdDeltaMethod eMethod, double fWeight, const tdRunContext* poRun)
{
    poPalette->m_fDetailsEnhancement = fPaletteExponent;
    poPalette->m_uiColorCount = 16;
    poPalette->vClearHistogram();

    if (poImage)
    {
        // Groups of four pixels may read up to three columns past the area.
        const tdReadArea oArea = oGetReadArea(poImage, poRect, 4);
        const long long lX = oArea.lX, lY = oArea.lY, lWidth = oArea.lWidth, lHeight = oArea.lHeight;
        // Each group converts on its own, so bands of rows convert on the run's
        // workers, each with a converter of its own; the distances are then added
        // to the bins in picture order, as their sums depend on the order.
        const long long lGroups = (lWidth + 3) / 4;
        const int iBand = 32;
        std::vector<double> afDelta(static_cast<size_t>(lGroups > 0 ? lGroups : 0) * 4 * iBand);
        std::vector<std::unique_ptr<YJKConverter>> apoConverter(iRunThreads(poRun));
        for (long long lBand = lY; lWidth > 0 && lBand < lY + lHeight; lBand += iBand)
        {
            const int iRows = static_cast<int>(std::min<long long>(iBand, lY + lHeight - lBand));
            vRunWorkers(
                iRunRowWorkers(poRun, iRows, true),
                [&](int iWorker, int iWorkers)
                {
                    std::unique_ptr<YJKConverter>& po = apoConverter[iWorker];
                    if (!po) po.reset(new YJKConverter(eYJKMethod, true, fYJKExponent, eMethod, fWeight));
                    for (int i = iWorker; i < iRows; i += iWorkers)
                    {
                        const long long y = lBand + i;
                        if (!bKeepRunning(poRun, static_cast<double>(y - lY) / static_cast<double>(lHeight)))
                            return;
                        double* pfDelta = &afDelta[static_cast<size_t>(i) * lGroups * 4];
                        for (long long x = lX; x < lX + lWidth; x += 4, pfDelta += 4)
                        {
                            Color aoPixels[4];
                            for (int p = 0; p < 4; p++)
                                aoPixels[p] =
                                    poImage->oGetPixel(static_cast<int>(x) + p, static_cast<int>(y));
                            unsigned char aucBytes[4];
                            Color aoColors[4];
                            po->vConvert(aoPixels, aucBytes, aoColors);
                            for (int p = 0; p < 4; p++)
                                pfDelta[p] = fColorDelta(&aoPixels[p], &aoColors[p], fPaletteExponent, 255.0,
                                                         eMethod, fWeight);
                        }
                    }
                });
            if (bRunStopped(poRun)) return;
            for (int i = 0; i < iRows; i++)
            {
                const double* pfDelta = &afDelta[static_cast<size_t>(i) * lGroups * 4];
                for (long long x = lX; x < lX + lWidth; x += 4, pfDelta += 4)
                    for (int p = 0; p < 4; p++)
                    {
                        if (pfDelta[p] == 0.0) continue;
                        const Color oPixel =
                            poImage->oGetPixel(static_cast<int>(x) + p, static_cast<int>(lBand + i));
                        const Color oLevels = {static_cast<unsigned char>(iLevelFromByte(oPixel.r)),
                                               static_cast<unsigned char>(iLevelFromByte(oPixel.g)),
                                               static_cast<unsigned char>(iLevelFromByte(oPixel.b)), 0};
                        poPalette->vAddWeightedPixel(oLevels, pfDelta[p]);
                    }
            }
        }
    }
    memcpy(poPalette->m_aoOriginalEntries, poPalette->m_aoEntries, sizeof(poPalette->m_aoEntries));

    poPalette->vCreatePalette(eMethod, fWeight);
    poPalette->vAdjustGradient(eMethod, fWeight);
    poPalette->vAdjustAreaSearch(eMethod, fWeight);

    const unsigned int uiCount = poPalette->uiValidCount();
    for (unsigned int k = 0; k < uiCount; k++)
    {
        Color& oColor = poPalette->m_aoColors[k];
        oColor.r = static_cast<unsigned char>(iByteFromLevel(oColor.r));
        oColor.g = static_cast<unsigned char>(iByteFromLevel(oColor.g));
        oColor.b = static_cast<unsigned char>(iByteFromLevel(oColor.b));
    }
}
