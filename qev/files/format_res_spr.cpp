#include "qev/files/format_res_spr.h"

#include "qev/compress/lzw.h"
#include "qev/msx/encoder_bitmap.h"
#include "qev/msx/encoder_yjk.h"
#include "qev/msx/pipeline.h"

#include <memory>

static void vAppendWord(tdByteArray* poBytes, int iValue)
{
    poBytes->vAppend(static_cast<unsigned char>(iValue & 0xFF));
    poBytes->vAppend(static_cast<unsigned char>((iValue >> 8) & 0xFF));
}

tdErrorTriple oWriteImageToRESFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    std::unique_ptr<Image> poCopy(poImage->poCopy());
    vFitToFreeOutputSize(poCopy.get(), poSettings);
    if (!bKeepRunning(poRun, 0.0)) return oError;
    poCopy->vSetDitheringMode(poSettings->DitheringMode, poSettings->BayerFactor, poSettings->BayerLowThreshold,
                              poSettings->BayerHighThreshold);
    // Black until the encoder paints it: without a stream no encoder runs.
    if (ppoOut)
        *ppoOut = new Image(poCopy->m_iWidth, poCopy->m_iHeight, 3, Background_Black, poCopy->m_fAspectRatio);
    Image* poOut = ppoOut ? *ppoOut : nullptr;

    const int eMode = poSettings->ResourceMode;
    if (!poFile || eMode < ResourceMode_Indexed || eMode > ResourceMode_YJK) return oError;

    const double f = fGetErrorDiffusionFactor(poSettings);
    tdByteArray oFile;
    tdByteArray oPixels;
    Palette oWorking;
    if (eMode == ResourceMode_Indexed)
    {
        // Held to 1..16 colours: a palette has no more.
        int iColors = poSettings->ResourcePaletteSize;
        iColors = iColors < 1 ? 1 : (iColors > 16 ? 16 : iColors);
        oFile.vAppend(static_cast<unsigned char>((poSettings->ResourcePaletteSize & 0xFF) +
                                                 (poSettings->ResourceWritePalette ? 128 : 0)));
        vAppendWord(&oFile, poCopy->m_iWidth);
        vAppendWord(&oFile, poCopy->m_iHeight);
        if (poSettings->PaletteType == PaletteType_Auto)
            oWorking.vLoadFromImage(poCopy.get(), static_cast<unsigned>(iColors), nullptr,
                                    poSettings->PaletteDetailsEnhancement, poSettings->DeltaMethod,
                                    poSettings->BrightnessWeight);
        else
            vGetPalette(poSettings, &oWorking);
        oWorking.vResize(static_cast<unsigned>(iColors));
        if (poSettings->ResourceWritePalette) oWorking.vWriteToBinaryArray(&oFile);
        oError = oWriteImageToIndexed(poCopy.get(), &oWorking, f, &oPixels, nullptr, CompressionType_None,
                                      poOut, poSettings->DeltaMethod, poSettings->BrightnessWeight, poRun);
    }
    else
    {
        oFile.vAppend(0);
        vAppendWord(&oFile, poCopy->m_iWidth);
        vAppendWord(&oFile, poCopy->m_iHeight);
        if (eMode == ResourceMode_RGB)
            oError = oWriteImageToRGB(poCopy.get(), f, &oPixels, nullptr, CompressionType_None, poOut,
                                      poSettings->DeltaMethod, poRun);
        else
            oError = oWriteImageToYJK(poCopy.get(), f, &oPixels, nullptr, CompressionType_None,
                                      poSettings->RGB2YJKMethod, poOut, poSettings->YJKDetailsEnhancement,
                                      poSettings->DeltaMethod, poSettings->BrightnessWeight, poRun);
    }
    oFile.vAppend(oPixels.m_pucData, oPixels.m_iSize);
    fwrite(oFile.m_pucData, 1, static_cast<size_t>(oFile.m_iSize), poFile);
    if (poPalette && eMode == ResourceMode_Indexed)
    {
        *poPalette = oWorking;
        poPalette->vResize(16);
    }
    return oError;
}

tdErrorTriple oWriteImageToSPRFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    Palette oWorking;
    vGetPalette(poSettings, &oWorking);
    if (poSettings->PaletteType == PaletteType_Auto)
        oWorking.vLoadFromImage(poImage, 16, nullptr, poSettings->PaletteDetailsEnhancement,
                                poSettings->DeltaMethod, poSettings->BrightnessWeight);
    oWorking.vResize(16);

    // Indices of every pixel (-1 where transparent), and which indices occur. The
    // nearest-colour search returns 0..15 whatever ResourcePaletteSize says; only
    // 1 .. ResourcePaletteSize - 1 get patterns.
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    bool abUsed[16] = {};
    auto iIndexAt = [&](int x, int y) {
        Color oColor = poImage->oGetPixel(x, y);
        if (oColor.a == 0) return -1;
        return oWorking.iNearestColor(oColor, poSettings->DeltaMethod, poSettings->BrightnessWeight);
    };
    // Progress: the index pass is the first half of the run, the patterns the second.
    for (int y = 0; y < iHeight; y++)
    {
        if (!bKeepRunning(poRun, 0.5 * y / iHeight)) return oError;
        for (int x = 0; x < iWidth; x++)
        {
            int i = iIndexAt(x, y);
            if (i >= 0 && i < 16) abUsed[i] = true;
        }
    }
    if (ppoOut) *ppoOut = poImage->poCopy();
    if (poPalette)
    {
        *poPalette = oWorking;
        poPalette->vResize(16);
    }
    if (!poFile) return oError;

    const int iColors = poSettings->ResourcePaletteSize < 16 ? poSettings->ResourcePaletteSize : 16;
    tdByteArray oBytes;
    LZWCmp oWriter(CompressionType_None, 0, false);
    oWriter.vOpen(&oBytes, 8);
    for (int y0 = 0; y0 < iHeight; y0 += 16)
    {
        if (!bKeepRunning(poRun, 0.5 + 0.5 * y0 / iHeight)) return oError;
        for (int x0 = 0; x0 < iWidth; x0 += 16)
            for (int c = 1; c < iColors; c++)
            {
                if (!abUsed[c]) continue;
                for (int iHalf = 0; iHalf < 2; iHalf++)
                    for (int y = y0; y < y0 + 16; y++)
                        for (int x = x0 + 8 * iHalf; x < x0 + 8 * iHalf + 8; x++)
                            oWriter.vWriteBits(iIndexAt(x, y) == c ? 1 : 0, 1);
            }
    }
    oWriter.vClose();
    if (oBytes.m_iSize > 0) fwrite(oBytes.m_pucData, 1, static_cast<size_t>(oBytes.m_iSize), poFile);
    return oError;
}
