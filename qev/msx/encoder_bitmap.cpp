#include "qev/msx/encoder_bitmap.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/msx/vdp.h"

#include <algorithm>
#include <cfloat>
#include <memory>

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

// The Screen 8 byte of an adjusted pixel (green bits 7-5, red 4-2, blue 1-0), and in
// *poChosen the colour that byte shows.
unsigned char ucRGBByte(const Color& oPixel, tdDeltaMethod eMethod, Color* poChosen)
{
    if (oPixel.a == 0)
    {
        *poChosen = {0, 0, 0, 255};
        return 0;
    }
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
    *poChosen = {cExpand3(iRed), cExpand3(iGreen), cExpand2(iBlue), 255};
    return static_cast<unsigned char>((iGreen << 5) | (iRed << 2) | iBlue);
}
} // namespace

tdErrorTriple oWriteImageToIndexed(Image* poImage, Palette* poPalette, double fErrorDiffusion,
                                   tdByteArray* poFirstPage, tdByteArray* poSecondPage,
                                   tdCompressionType eCompression, Image* poOutput, tdDeltaMethod eMethod,
                                   double fWeight, const tdRunContext* poRun)
{
    if (!poImage || !poPalette) return {0.0, 0.0, 0.0};
    const unsigned char ucBits =
        static_cast<unsigned char>(iBitsPerPixel(std::min(poPalette->m_uiColorCount, 16u)));
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fErrorDiffusion);
    PageSinks oSinks(poFirstPage, poSecondPage, eCompression);
    for (int y = 0;
         y < poImage->m_iHeight && bKeepRunning(poRun, static_cast<double>(y) / poImage->m_iHeight); y++)
    {
        LZWCmp* poSink = oSinks.poSinkOfLine(y);
        for (int x = 0; x < poImage->m_iWidth; x++)
        {
            Color oPixel = poImage->oGetPixel(x, y);
            oDiffuser.vAdjust(x, &oPixel);
            int iIndex = oPixel.a == 0 ? 0 : poPalette->iNearestColor(oPixel, eMethod, fWeight);
            const Color* poChosen = poPalette->poEntry(iIndex);
            oDiffuser.vDiffuse(x, &oPixel, poChosen);
            if (poOutput) poOutput->vSetPixel(x, y, poChosen);
            if (poSink && ucBits) poSink->vWriteBits(iIndex, ucBits);
        }
        oDiffuser.vNewLine();
    }
    oSinks.vClose();
    return oDiffuser.oGetError();
}

tdErrorTriple oWriteImageToRGB(Image* poImage, double fErrorDiffusion, tdByteArray* poFirstPage,
                               tdByteArray* poSecondPage, tdCompressionType eCompression, Image* poOutput,
                               tdDeltaMethod eMethod, const tdRunContext* poRun)
{
    if (!poImage) return {0.0, 0.0, 0.0};
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fErrorDiffusion);
    PageSinks oSinks(poFirstPage, poSecondPage, eCompression);
    for (int y = 0;
         y < poImage->m_iHeight && bKeepRunning(poRun, static_cast<double>(y) / poImage->m_iHeight); y++)
    {
        LZWCmp* poSink = oSinks.poSinkOfLine(y);
        for (int x = 0; x < poImage->m_iWidth; x++)
        {
            Color oPixel = poImage->oGetPixel(x, y);
            oDiffuser.vAdjust(x, &oPixel);
            Color oChosen;
            unsigned char ucByte = ucRGBByte(oPixel, eMethod, &oChosen);
            oDiffuser.vDiffuse(x, &oPixel, &oChosen);
            if (poOutput) poOutput->vSetPixel(x, y, &oChosen);
            if (poSink) poSink->vWriteBits(ucByte, 8);
        }
        oDiffuser.vNewLine();
    }
    oSinks.vClose();
    return oDiffuser.oGetError();
}
