#include "qev/msx/pipeline.h"

#include "qev/base/report.h"
#include "qev/msx/encoder_bitmap.h"
#include "qev/msx/encoder_pattern.h"
#include "qev/msx/encoder_yjk.h"
#include "qev/msx/tile_budget.h"
#include "qev/msx/yjk_palette.h"

//                                                        width height factor entries
const tdScreenGeometry g_aoScreenGeometry[ScreenMode_Count] = {
    {256, 192, 1.0, 16}, // Screen 2
    { 64,  48, 1.0, 16}, // Screen 3
    {256, 212, 1.0, 16}, // Screen 5
    {512, 212, 0.5,  4}, // Screen 6
    {512, 212, 0.5, 16}, // Screen 7
    {256, 212, 1.0,  0}, // Screen 8
    {256, 212, 1.0, 16}, // Screen 10
    {256, 212, 1.0,  0}, // Screen 12
    {256, 192, 1.0, 16}, // Screen 4
};

tdErrorTriple oConvertImage(const Image* poSource, const tdSettings* poSettings,
                            const tdWriterProfile* poProfile, tdByteArray* poPage0, tdByteArray* poPage1,
                            Image** ppoOut, Palette* poPalette, bool* pbHandled, const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    if (pbHandled) *pbHandled = false;
    const int eMode = poSettings->ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count)
    {
        vError(__FILE__, __func__, __LINE__, "Unhandled screen type.");
        return oError;
    }
    if (pbHandled) *pbHandled = true;

    vGetPalette(poSettings, poPalette);

    const tdScreenGeometry& oGeometry = g_aoScreenGeometry[eMode];
    double fRatio = fGetMSXAspectRatio(poSettings) * oGeometry.fAspectFactor;
    int iWidth = oGeometry.iWidth;
    int iHeight = oGeometry.iHeight;
    if (poProfile->bRawSizeLimit && poSettings->ConversionType == ConversionType_RAW)
    {
        // At least one pixel, whatever the record holds.
        if (poSettings->OutputWidth < iWidth) iWidth = poSettings->OutputWidth < 1 ? 1 : poSettings->OutputWidth;
        if (poSettings->OutputHeight < iHeight)
            iHeight = poSettings->OutputHeight < 1 ? 1 : poSettings->OutputHeight;
    }
    if (bSettingsInterlaced(poSettings))
    {
        iHeight *= 2;
        fRatio *= 2.0;
    }
    vSetOutputAutoAspectRatio(fRatio);
    vGetOutputAspectRatio(poSettings, &fRatio);
    fRatio = fSaneAspectRatio(fRatio);

    Image* poOut = nullptr;
    if (ppoOut)
    {
        poOut = new Image(iWidth, iHeight, 3, Background_None, fRatio);
        *ppoOut = poOut;
    }

    Image* poCopy = poSource->poCopy();
    tdRectangle oRect = {0, 0, iWidth, iHeight};
    poCopy->vFit(iWidth, iHeight, fRatio, poSettings->FitMode, poSettings->ResizeFilter, &oRect, Background_Black,
                 poSettings->HShift);
    poCopy->vSetDitheringMode(poSettings->DitheringMode, poSettings->BayerFactor, poSettings->BayerLowThreshold,
                              poSettings->BayerHighThreshold);

    const double f = fGetErrorDiffusionFactor(poSettings);
    const tdCompressionType c = poProfile->eCompression;
    const tdDeltaMethod eDelta = poSettings->DeltaMethod;
    const double fWeight = poSettings->BrightnessWeight;
    const bool bAuto = poSettings->PaletteType == PaletteType_Auto;

    switch (eMode)
    {
    case ScreenMode_Screen2:
    case ScreenMode_Screen3:
    case ScreenMode_Screen4:
    case ScreenMode_Screen5:
    case ScreenMode_Screen6:
    case ScreenMode_Screen7:
        if (bAuto)
            poPalette->vLoadFromImage(poCopy, static_cast<unsigned>(oGeometry.iPaletteEntries), &oRect,
                                      poSettings->PaletteDetailsEnhancement, eDelta, fWeight);
        poPalette->vResize(static_cast<unsigned>(oGeometry.iPaletteEntries));
        break;
    case ScreenMode_Screen10:
        if (poSettings->Screen10Palette && bAuto)
            vLoadPaletteFromYJKImage(poPalette, poCopy, &oRect, poSettings->RGB2YJKMethod,
                                         poSettings->PaletteDetailsEnhancement,
                                         poSettings->YJKDetailsEnhancement, eDelta, fWeight, poRun);
        poPalette->vResize(16);
        break;
    default:
        break;
    }
    if (!bKeepRunning(poRun, 0.0))
    {
        delete poCopy;
        return oError;
    }

    switch (eMode)
    {
    case ScreenMode_Screen2:
    case ScreenMode_Screen4: // the same tables; only the registers differ
    {
        const tdTileBudget oBudget = oGetTileBudget(poSettings);
        if (oBudget.m_iTiles > 0)
            oError = oWriteImageToScreen2WithBudget(poCopy, poPalette, f, poPage0, c, poOut,
                                                    poSettings->Screen2DetailsEnhancement, eDelta, fWeight,
                                                    oBudget, poRun);
        else
            oError = oWriteImageToScreen2(poCopy, poPalette, f, poPage0, c, poOut,
                                          poSettings->Screen2DetailsEnhancement, poProfile->bScreen2NameTable,
                                          eDelta, fWeight, poRun);
        break;
    }
    case ScreenMode_Screen3:
        oError = oWriteImageToScreen3(poCopy, poPalette, f, poPage0, c, poOut, eDelta, fWeight, poRun);
        break;
    case ScreenMode_Screen5:
    case ScreenMode_Screen6:
    case ScreenMode_Screen7:
        oError =
            oWriteImageToIndexed(poCopy, poPalette, f, poPage0, poPage1, c, poOut, eDelta, fWeight, poRun);
        break;
    case ScreenMode_Screen8:
        oError = oWriteImageToRGB(poCopy, f, poPage0, poPage1, c, poOut, eDelta, poRun);
        break;
    case ScreenMode_Screen10:
        oError = oWriteImageToYJKPlusPalette(poCopy, poSettings->Screen10Palette ? poPalette : nullptr, f,
                                             poPage0, poPage1, c, poSettings->RGB2YJKMethod, poOut,
                                             poSettings->YJKDetailsEnhancement, eDelta, fWeight, poRun);
        break;
    case ScreenMode_Screen12:
        oError = oWriteImageToYJK(poCopy, f, poPage0, poPage1, c, poSettings->RGB2YJKMethod, poOut,
                                  poSettings->YJKDetailsEnhancement, eDelta, fWeight, poRun);
        break;
    }

    poCopy->vSetDitheringMode(Dithering_None, 0.0, 0.0, 0.0);
    delete poCopy;
    return oError;
}

void vFitToFreeOutputSize(Image* poCopy, const tdSettings* poSettings)
{
    int iWidth = 0;
    int iHeight = 0;
    vSetOutputAutoSize(poCopy->m_iWidth, poCopy->m_iHeight);
    vGetOutputAutoSize(poSettings, &iWidth, &iHeight);
    double fRatio = poCopy->m_fAspectRatio;
    vSetOutputAutoAspectRatio(fRatio);
    vGetOutputAspectRatio(poSettings, &fRatio);
    if (iWidth != 0 && iHeight != 0)
        poCopy->vFit(iWidth, iHeight, fRatio, poSettings->FitMode, poSettings->ResizeFilter, nullptr,
                     Background_Black, 0);
}

void vHandOverPalette(const tdSettings* poSettings, const Palette* poWorking, Palette* poOut)
{
    if (!poOut || !bSettingsUsePalette(poSettings)) return;
    *poOut = *poWorking;
    poOut->vResize(16);
}
