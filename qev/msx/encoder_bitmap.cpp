#include "qev/msx/encoder_bitmap.h"

#include "qev/base/parallel.h"
#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/color/nearest_color.h"
#include "qev/msx/vdp.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <memory>
#include <vector>

namespace
{
// Bits a pixel for a palette of uiCount colours: floor(log2 N) for N >= 2, else 0.
int iBitsPerPixel(unsigned int uiCount)
{
    int iBits = 0;
    while (uiCount >= (2u << iBits))
        iBits++;
    return iBits;
}

// The page streams of one encoder run: one LZWCmp per given buffer, opened on it with
// symbol width 8 and closed once, after the last line.
class PageSinks
{
public:
    PageSinks(tdByteArray* poFirstPage, tdByteArray* poSecondPage, tdCompressionType eCompression)
    {
        if (poFirstPage) m_poFirst = poOpen(poFirstPage, eCompression);
        if (poSecondPage) m_poSecond = poOpen(poSecondPage, eCompression);
    }

    // The stream of line iY (from the top): odd lines go to the second page when there
    // is one. Null when that line is not stored.
    LZWCmp* poSinkOfLine(int iY) const
    {
        if ((iY & 1) && m_poSecond) return m_poSecond.get();
        return m_poFirst.get();
    }

    void vClose()
    {
        if (m_poFirst) m_poFirst->vClose();
        if (m_poSecond) m_poSecond->vClose();
    }

private:
    static std::unique_ptr<LZWCmp> poOpen(tdByteArray* poBuffer, tdCompressionType eCompression)
    {
        std::unique_ptr<LZWCmp> po(new LZWCmp(eCompression, 0, false));
        po->vOpen(poBuffer, 8);
        return po;
    }

    std::unique_ptr<LZWCmp> m_poFirst;
    std::unique_ptr<LZWCmp> m_poSecond;
};

// Screen 8 blue level of a byte: 0 for 0..36, 1 for 37..109, 2 for 110..200, 3 above.
int iBlueLevel(int iBlue)
{
    return iBlue <= 36 ? 0 : (iBlue <= 109 ? 1 : (iBlue <= 200 ? 2 : 3));
}

inline unsigned char ucByteOfLevels(int iRed, int iGreen, int iBlue)
{
    return static_cast<unsigned char>((iGreen << 5) | (iRed << 2) | iBlue);
}

inline Color oColorOfByte(unsigned char uc)
{
    return {cExpand3((uc >> 2) & 7), cExpand3(uc >> 5), cExpand2(uc & 3), 255};
}

// The Screen 8 byte of an opaque adjusted pixel, searched as ucScreen8ByteReference
// does, from points: the 256 colours are measured once, the pixel once per search,
// and a byte is remembered by the pixel's red, green and blue. For CIEDE2000 a
// candidate whose lower bound is above the best distance so far is skipped: it
// could not have replaced the best, so the window moves exactly as in the plain
// search.
class Screen8Search
{
public:
    explicit Screen8Search(tdDeltaMethod eMethod)
        : m_eMethod(eMethod), m_bSearch(eMethod != DeltaMethod_RGB && eMethod != DeltaMethod_Hit9918)
    {
        if (!m_bSearch) return;
        for (int i = 0; i < 256; i++)
            vDeltaPoint(oColorOfByte(static_cast<unsigned char>(i)), 255.0, eMethod, &m_aoPoints[i]);
        m_aoCache.assign(size_t(1) << g_iCacheBits, tdSlot{0, 0});
    }

    unsigned char ucByte(const Color& oPixel)
    {
        if (!m_bSearch)
            return ucByteOfLevels(iLevelFromByte(oPixel.r), iLevelFromByte(oPixel.g), iBlueLevel(oPixel.b));
        const uint32_t uiKey = uiColorKey(oPixel);
        tdSlot& oSlot = m_aoCache[uiColorSlot(uiKey, g_iCacheBits)];
        if (oSlot.uiKey != uiKey) oSlot = {uiKey, ucSearch(oPixel)};
        return oSlot.ucByte;
    }

private:
    static constexpr int g_iCacheBits = 16;
    struct tdSlot
    {
        uint32_t uiKey; // uiColorKey; 0 when empty
        unsigned char ucByte;
    };

    unsigned char ucSearch(const Color& oPixel) const
    {
        tdDeltaPoint oPixelPoint;
        vDeltaPoint(oPixel, 255.0, m_eMethod, &oPixelPoint);
        const bool bBound = m_eMethod == DeltaMethod_CIEDE2000;
        const bool bEuclidean =
            m_eMethod == DeltaMethod_XYZ || m_eMethod == DeltaMethod_LAB || m_eMethod == DeltaMethod_Oklab;
        int iRed = iLevelFromByte(oPixel.r);
        int iGreen = iLevelFromByte(oPixel.g);
        int iBlue = iBlueLevel(oPixel.b);
        double fBest = DBL_MAX;
        for (int r = std::max(iRed - 4, 0); r <= std::min(iRed + 4, 7); r++)
            for (int g = std::max(iGreen - 4, 0); g <= std::min(iGreen + 4, 7); g++)
                for (int b = 0; b < 4; b++)
                {
                    const tdDeltaPoint& oCandidate = m_aoPoints[ucByteOfLevels(r, g, b)];
                    if (bBound && (fCIEDE2000QuickBound(oCandidate, oPixelPoint) > fBest ||
                                   fCIEDE2000LowerBound(oCandidate, oPixelPoint, fBest) > fBest))
                        continue;
                    double fDelta = bEuclidean ? fPointSquaredDistance(oCandidate, oPixelPoint)
                                               : fPointDelta(oCandidate, oPixelPoint, m_eMethod, 0.0);
                    if (fDelta < fBest)
                    {
                        fBest = fDelta;
                        iRed = r;
                        iGreen = g;
                        iBlue = b;
                    }
                }
        return ucByteOfLevels(iRed, iGreen, iBlue);
    }

    tdDeltaMethod m_eMethod;
    bool m_bSearch;
    tdDeltaPoint m_aoPoints[256]; // by Screen 8 byte
    std::vector<tdSlot> m_aoCache;
};

// The pass of a bitmap encoder: every pixel adjusted by the diffusion, its
// symbol (palette index or Screen 8 byte) chosen by fnChoose(search, pixel,
// &shown), and the colour shown diffused and painted into poOutput. Returns the
// symbols, row after row.
//
// Rows run on the run's workers, each worker with a search of its own
// (fnMakeSearch). With diffusion a pixel depends on the row above only up to two
// columns to its right (see Diffuser), so each row follows the row above at that
// distance (RowWave) and every pixel sees exactly the errors of a pass in picture
// order: the symbols, picture and error do not depend on the worker count.
// Without diffusion the rows are independent. A stopped run leaves the rest of
// the symbols 0: the caller discards the results.
template <class tdMakeSearch, class tdChoose>
std::vector<unsigned char> aucConvertRows(const Image* poImage, Diffuser* poDiffuser, int iWorkers,
                                          Image* poOutput, const tdRunContext* poRun,
                                          tdMakeSearch fnMakeSearch, tdChoose fnChoose)
{
    using tdSearch = decltype(fnMakeSearch());
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    std::vector<unsigned char> auc(static_cast<size_t>(iWidth) * iHeight);
    std::vector<std::unique_ptr<tdSearch>> apoSearch(iWorkers);
    std::vector<uint64_t> aulSquares(static_cast<size_t>(iWorkers) * 3, 0);
    vRunRowWave(iHeight, iWorkers,
                [&](int y, int iWorker, RowWave& oWave)
                {
                    if (!bKeepRunning(poRun, static_cast<double>(y) / iHeight)) return false;
                    if (!apoSearch[iWorker]) apoSearch[iWorker].reset(new tdSearch(fnMakeSearch()));
                    tdSearch& oSearch = *apoSearch[iWorker];
                    uint64_t* paulSquares = &aulSquares[static_cast<size_t>(iWorker) * 3];
                    unsigned char* pucRow = &auc[static_cast<size_t>(y) * iWidth];
                    const Diffuser::tdRow oRow = poDiffuser->oStartRow(y);
                    int iAbove = poDiffuser->m_bEnabled ? 0 : INT_MAX; // columns of the row above done
                    for (int x = 0; x < iWidth; x++)
                    {
                        if (iAbove < std::min(x + 3, iWidth))
                        {
                            iAbove = oWave.iAwait(y, std::min(x + 3, iWidth));
                            if (iAbove < 0) return false;
                        }
                        Color oPixel = poImage->oGetPixel(x, y);
                        poDiffuser->vAdjustAt(oRow, x, &oPixel);
                        Color oShown;
                        pucRow[x] = fnChoose(oSearch, oPixel, &oShown);
                        poDiffuser->vDiffuseAt(oRow, x, &oPixel, &oShown, paulSquares);
                        if (poOutput) poOutput->vSetPixel(x, y, &oShown);
                        oWave.vPublish(y, x + 1);
                    }
                    return true;
                });
    for (int i = 0; i < iWorkers; i++)
        poDiffuser->vAddSquaredError(&aulSquares[static_cast<size_t>(i) * 3]);
    return auc;
}

// Under diffusion the rows advance in step, a few pixels apart, and the count of
// the row above moves between the processors at almost every pixel, which costs
// about what the cheaper searches do (a tenth of a microsecond): only the costly
// ones (bCostly) are spread then.
int iEncoderWorkers(const Image* poImage, double fErrorDiffusion, bool bCostly, const tdRunContext* poRun)
{
    return iRunRowWorkers(poRun, poImage->m_iHeight, fErrorDiffusion == 0.0 || bCostly);
}
} // namespace

unsigned char ucScreen8ByteReference(const Color& oPixel, tdDeltaMethod eMethod)
{
    int iRed = iLevelFromByte(oPixel.r);
    int iGreen = iLevelFromByte(oPixel.g);
    int iBlue = iBlueLevel(oPixel.b);
    if (eMethod != DeltaMethod_RGB && eMethod != DeltaMethod_Hit9918)
    {
        // The window of red and green levels follows the best candidate: both bounds
        // read the current best levels each time they are tested, so a move of the best
        // widens or shifts the part of the window still to be visited.
        double fBest = DBL_MAX;
        for (int r = std::max(iRed - 4, 0); r <= std::min(iRed + 4, 7); r++)
        {
            for (int g = std::max(iGreen - 4, 0); g <= std::min(iGreen + 4, 7); g++)
            {
                for (int b = 0; b < 4; b++)
                {
                    Color oCandidate = {cExpand3(r), cExpand3(g), cExpand2(b), 255};
                    double fDelta = fColorDelta(&oCandidate, &oPixel, 1.0, 255.0, eMethod, 0.0);
                    if (fDelta < fBest)
                    {
                        fBest = fDelta;
                        iRed = r;
                        iGreen = g;
                        iBlue = b;
                    }
                }
            }
        }
    }
    return ucByteOfLevels(iRed, iGreen, iBlue);
}

void vScreen8Bytes(const Color* aoPixels, int iCount, tdDeltaMethod eMethod, unsigned char* pucBytes)
{
    Screen8Search oSearch(eMethod);
    for (int i = 0; i < iCount; i++)
        pucBytes[i] = oSearch.ucByte(aoPixels[i]);
}

tdErrorTriple oWriteImageToIndexed(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poFirstPage, tdByteArray* poSecondPage,
                                   tdCompressionType eCompression, Image* poOutput, tdDeltaMethod eMethod,
                                   double fWeight, const tdRunContext* poRun)
{
    if (!poImage || !poPalette) return {0.0, 0.0, 0.0};
    const unsigned char ucBits =
        static_cast<unsigned char>(iBitsPerPixel(std::min(poPalette->m_uiColorCount, 16u)));
    const int iWorkers = iEncoderWorkers(poImage, fErrorDiffusion, eMethod == DeltaMethod_CIEDE2000, poRun);
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fErrorDiffusion,
                       iWorkers);
    auto fnMakeSearch = [&]()
    { return NearestColor(poPalette->m_aoColors, poPalette->uiValidCount(), 255.0, eMethod, fWeight); };
    auto fnChoose = [poPalette](NearestColor& oSearch, const Color& oPixel, Color* poShown)
    {
        const int iIndex = oPixel.a == 0 ? 0 : oSearch.iNearest(oPixel);
        *poShown = *poPalette->poEntry(iIndex);
        return static_cast<unsigned char>(iIndex);
    };
    const std::vector<unsigned char> aucIndices =
        aucConvertRows(poImage, &oDiffuser, iWorkers, poOutput, poRun, fnMakeSearch, fnChoose);
    PageSinks oSinks(poFirstPage, poSecondPage, eCompression);
    for (int y = 0; y < poImage->m_iHeight && ucBits; y++)
        if (LZWCmp* poSink = oSinks.poSinkOfLine(y))
            for (int x = 0; x < poImage->m_iWidth; x++)
                poSink->vWriteBits(aucIndices[static_cast<size_t>(y) * poImage->m_iWidth + x], ucBits);
    oSinks.vClose();
    return oDiffuser.oGetError();
}

tdErrorTriple oWriteImageToRGB(Image* poImage, double fErrorDiffusion, tdByteArray* poFirstPage,
                               tdByteArray* poSecondPage, tdCompressionType eCompression, Image* poOutput,
                               tdDeltaMethod eMethod, const tdRunContext* poRun)
{
    if (!poImage) return {0.0, 0.0, 0.0};
    const int iWorkers = iEncoderWorkers(poImage, fErrorDiffusion,
                                         eMethod != DeltaMethod_RGB && eMethod != DeltaMethod_Hit9918, poRun);
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fErrorDiffusion,
                       iWorkers);
    auto fnMakeSearch = [eMethod]() { return Screen8Search(eMethod); };
    auto fnChoose = [](Screen8Search& oSearch, const Color& oPixel, Color* poShown)
    {
        if (oPixel.a == 0)
        {
            *poShown = Color{0, 0, 0, 255};
            return static_cast<unsigned char>(0);
        }
        const unsigned char ucByte = oSearch.ucByte(oPixel);
        *poShown = oColorOfByte(ucByte);
        return ucByte;
    };
    const std::vector<unsigned char> aucBytes =
        aucConvertRows(poImage, &oDiffuser, iWorkers, poOutput, poRun, fnMakeSearch, fnChoose);
    PageSinks oSinks(poFirstPage, poSecondPage, eCompression);
    for (int y = 0; y < poImage->m_iHeight; y++)
        if (LZWCmp* poSink = oSinks.poSinkOfLine(y))
            for (int x = 0; x < poImage->m_iWidth; x++)
                poSink->vWriteBits(aucBytes[static_cast<size_t>(y) * poImage->m_iWidth + x], 8);
    oSinks.vClose();
    return oDiffuser.oGetError();
}
