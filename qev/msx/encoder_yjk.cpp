// Screen 10 and Screen 12 encoders.
//
// Video memory (both screens), 256 bytes a line, line y at y * 256, bitmap
// 0000-D3FF; an interlaced picture keeps its even lines in page 0 (from 00000) and
// its odd lines in page 1 (from 10000), one page buffer each:
//
//   x = 4g .. 4g+3 of a line, group g:
//     byte 4g      Y0 (7-3) | K bits 2-0
//     byte 4g + 1  Y1 (7-3) | K bits 5-3
//     byte 4g + 2  Y2 (7-3) | J bits 2-0
//     byte 4g + 3  Y3 (7-3) | J bits 5-3
//
// Screen 10 keeps Y even; its bit 3 is the attribute bit. A byte with bit 3 set
// shows palette colour byte >> 4 (its Y is not used) and still carries its share
// of J and K in bits 2-0:
//
//     byte         index (7-4) | 1 (3) | J or K bits (2-0)
//
// Palette (Screen 10) at FA80 is written by the file writers, not here.

#include "qev/msx/encoder_yjk.h"

#include "qev/base/parallel.h"
#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/color/nearest_color.h"
#include "qev/color/palette.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_converter.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace
{
// The nearest palette colour of a pixel and its distance, fColorDelta(pixel,
// colour, 1.0, 255.0, method, weight), as Palette::iNearestColor finds it (index 0
// of an empty palette).
void vNearest(const Palette* poPalette, NearestColor* poNearest, const Color& oPixel, tdDeltaMethod eMethod,
              double fWeight, int* piIndex, double* pfDelta)
{
    if (poPalette->uiValidCount() == 0)
    {
        *piIndex = 0;
        *pfDelta = fColorDelta(&oPixel, &poPalette->m_aoColors[0], 1.0, 255.0, eMethod, fWeight);
        return;
    }
    *piIndex = poNearest->iNearest(oPixel);
    *pfDelta = poNearest->fDelta(oPixel, *piIndex);
}

// The palette pass: converts the group, then hands every pixel that a palette
// colour matches at least as well to that colour, whitening it for the next
// conversion so that YJK serves the others, until no pixel changes hands.
// Assignments stay for the rest of the pass; the caller's pixels are not changed.
void vConvertWithPalette(YJKConverter* poConverter, const Palette* poPalette, NearestColor* poNearest,
                         const Color* poPixels, unsigned char* pucBytes, Color* poColors,
                         tdDeltaMethod eMethod, double fWeight)
{
    Color aoWork[4] = {poPixels[0], poPixels[1], poPixels[2], poPixels[3]};
    int aiAssigned[4] = {-1, -1, -1, -1};
    bool bChanged = true;
    while (bChanged)
    {
        bChanged = false;
        poConverter->vConvert(aoWork, pucBytes, poColors);
        for (int k = 0; k < 4; k++)
        {
            int iIndex = aiAssigned[k];
            if (iIndex < 0)
            {
                double fYJK = fColorDelta(&aoWork[k], &poColors[k], 1.0, 255.0, eMethod, fWeight);
                double fPalette;
                vNearest(poPalette, poNearest, aoWork[k], eMethod, fWeight, &iIndex, &fPalette);
                if (!(fYJK >= fPalette)) continue;
                aiAssigned[k] = iIndex;
                aoWork[k].r = 255;
                aoWork[k].g = 255;
                aoWork[k].b = 255;
                bChanged = true;
            }
            poColors[k] = poPalette->m_aoColors[iIndex];
            pucBytes[k] = static_cast<unsigned char>(16 * iIndex + 8 + (pucBytes[k] & 7));
        }
    }
}

tdErrorTriple oEncode(const Image* poImage, const Palette* poPalette, bool bEvenY, double fErrorDiffusion,
                      tdByteArray* poFirst, tdByteArray* poSecond, tdCompressionType eCompression,
                      tdRGB2YJKMethod eMethod, Image* poOutput, double fYJKExponent,
                      tdDeltaMethod eDeltaMethod, double fWeight, const tdRunContext* poRun)
{
    if (!poImage) return {0.0, 0.0, 0.0};
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    // The matrix estimates take a tenth of a microsecond a group, about what handing
    // the rows' progress between processors costs under diffusion: one thread then.
    const bool bSearch =
        eMethod == RGB2YJK_GradientDescent || eMethod == RGB2YJK_AreaSearch || eMethod == RGB2YJK_BruteForce;
    const int iWorkers = iRunRowWorkers(poRun, iHeight, fErrorDiffusion == 0.0 || bSearch);
    Diffuser oDiffuser(iWidth, iHeight, poImage->m_fAspectRatio, fErrorDiffusion, iWorkers);
    // A NaN factor counts as not 0, as in the Diffuser.
    const bool bDiffuse = fErrorDiffusion != 0.0;

    // Rows run on the run's workers, each worker with a converter and a palette
    // search of its own (what they keep never changes a result). Under diffusion a pixel depends
    // on the row above up to two columns to its right, so a group waits for the row
    // above to have finished the columns up to three past its last pixel
    // (RowWave): every pixel sees exactly the errors of a pass in picture order, and
    // the bytes, picture and error do not depend on the worker count.
    struct tdWorker
    {
        std::unique_ptr<YJKConverter> m_poConverter;
        std::unique_ptr<NearestColor> m_poNearest;
        uint64_t m_aulSquares[3] = {0, 0, 0};
    };
    std::vector<tdWorker> aoWorkers(iWorkers);
    // Whole groups: a width that is not a multiple of 4 still stores its last group.
    const int iStride = (iWidth + 3) & ~3;
    std::vector<unsigned char> aucBytes(static_cast<size_t>(iStride) * iHeight);
    vRunRowWave(
        iHeight, iWorkers,
        [&](int y, int iWorker, RowWave& oWave)
        {
            if (!bKeepRunning(poRun, static_cast<double>(y) / iHeight)) return false;
            tdWorker& oWorker = aoWorkers[iWorker];
            if (!oWorker.m_poConverter)
            {
                oWorker.m_poConverter.reset(
                    new YJKConverter(eMethod, bEvenY, fYJKExponent, eDeltaMethod, fWeight));
                if (poPalette)
                    oWorker.m_poNearest.reset(new NearestColor(
                        poPalette->m_aoColors, poPalette->uiValidCount(), 255.0, eDeltaMethod, fWeight));
            }
            const Diffuser::tdRow oRow = oDiffuser.oStartRow(y);
            int iAbove = oDiffuser.m_bEnabled ? 0 : INT_MAX; // columns of the row above done
            unsigned char aucGroup[4];
            Color aoColors[4];
            for (int x = 0; x < iWidth; x += 4)
            {
                const int iNeed = std::min(x + 7, iWidth);
                if (iAbove < iNeed)
                {
                    iAbove = oWave.iAwait(y, iNeed);
                    if (iAbove < 0) return false;
                }
                Color aoPixels[4];
                for (int k = 0; k < 4; k++)
                    aoPixels[k] = poImage->oGetPixel(x + k, y);
                // With diffusion the group is converted once per pixel: pixel k is
                // adjusted, the group converted (later pixels not yet adjusted) and
                // pixel k's error measured against that conversion; the last one is kept.
                const int iConversions = bDiffuse ? 4 : 1;
                for (int k = 0; k < iConversions; k++)
                {
                    if (bDiffuse) oDiffuser.vAdjustAt(oRow, x + k, &aoPixels[k]);
                    if (poPalette)
                        vConvertWithPalette(oWorker.m_poConverter.get(), poPalette, oWorker.m_poNearest.get(),
                                            aoPixels, aucGroup, aoColors, eDeltaMethod, fWeight);
                    else
                        oWorker.m_poConverter->vConvert(aoPixels, aucGroup, aoColors);
                    if (bDiffuse)
                        oDiffuser.vDiffuseAt(oRow, x + k, &aoPixels[k], &aoColors[k], oWorker.m_aulSquares);
                }
                if (!bDiffuse)
                    for (int k = 0; k < 4; k++)
                        oDiffuser.vDiffuseAt(oRow, x + k, &aoPixels[k], &aoColors[k], oWorker.m_aulSquares);
                for (int k = 0; k < 4; k++)
                {
                    aucBytes[static_cast<size_t>(y) * iStride + x + k] = aucGroup[k];
                    if (poOutput) poOutput->vSetPixel(x + k, y, &aoColors[k]);
                }
                oWave.vPublish(y, std::min(x + 4, iWidth));
            }
            return true;
        });
    for (const tdWorker& o : aoWorkers)
        oDiffuser.vAddSquaredError(o.m_aulSquares);

    for (int i = 0; i < 2; i++)
    {
        tdByteArray* poPage = i == 0 ? poFirst : poSecond;
        if (!poPage) continue;
        LZWCmp oSink(eCompression, 0, false);
        oSink.vOpen(poPage, 8);
        // Odd lines go to the second page when there is one.
        for (int y = 0; y < iHeight; y++)
            if (((y & 1) && poSecond ? 1 : 0) == i)
                for (int x = 0; x < iStride; x++)
                    oSink.vWriteBits(aucBytes[static_cast<size_t>(y) * iStride + x], 8);
        oSink.vClose();
    }
    return oDiffuser.oGetError();
}
} // namespace

tdErrorTriple oWriteImageToYJK(const Image* poImage, double fErrorDiffusion, tdByteArray* poFirst,
                               tdByteArray* poSecond, tdCompressionType eCompression, tdRGB2YJKMethod eMethod,
                               Image* poOutput, double fYJKExponent, tdDeltaMethod eDeltaMethod,
                               double fWeight, const tdRunContext* poRun)
{
    return oEncode(poImage, nullptr, false, fErrorDiffusion, poFirst, poSecond, eCompression, eMethod,
                   poOutput, fYJKExponent, eDeltaMethod, fWeight, poRun);
}

tdErrorTriple oWriteImageToYJKPlusPalette(const Image* poImage, const Palette* poPalette,
                                          double fErrorDiffusion, tdByteArray* poFirst, tdByteArray* poSecond,
                                          tdCompressionType eCompression, tdRGB2YJKMethod eMethod,
                                          Image* poOutput, double fYJKExponent, tdDeltaMethod eDeltaMethod,
                                          double fWeight, const tdRunContext* poRun)
{
    return oEncode(poImage, poPalette, true, fErrorDiffusion, poFirst, poSecond, eCompression, eMethod,
                   poOutput, fYJKExponent, eDeltaMethod, fWeight, poRun);
}
