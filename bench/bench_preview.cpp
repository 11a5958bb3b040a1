// The preview's speed: for each screen mode, with the default settings and the
// conversion type SC, the time from the end of the 250 ms wait (the timer's
// timeout) to the painted result, on a 1024 x 768 photo-like picture: the KRU
// conversion, the fit to the display over the checkerboard, and the repaint.
// PNG (the default conversion type) is measured too. Runs on the offscreen
// platform.

#include "window.h"

#include "qev/base/image.h"
#include "qev/base/sample_picture.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdint>
#include <string>

namespace
{

Window* g_poWindow = nullptr;

// The sample picture enlarged to 1024 x 768 with film-like grain, so that the
// palette search sees thousands of colours as in a photo.
Image* poMakePhotoLikePicture()
{
    Image* poPicture = poCreateSamplePicture();
    poPicture->vScale(1024, 768, ResizeFilter_Bicubic);
    uint32_t uiSeed = 12345;
    const int iBytes = poPicture->m_iWidth * poPicture->m_iHeight * poPicture->m_iTexelSize;
    for (int i = 0; i < iBytes; i++)
    {
        uiSeed = uiSeed * 1664525u + 1013904223u;
        const int iNoise = static_cast<int>((uiSeed >> 24) % 25) - 12;
        const int iValue = poPicture->m_pucTexels[i] + iNoise;
        poPicture->m_pucTexels[i] =
            static_cast<unsigned char>(iValue < 0 ? 0 : (iValue > 255 ? 255 : iValue));
    }
    return poPicture;
}

void vBenchPreview(benchmark::State& oState, int eConversionType, int eScreenMode)
{
    Window* poWindow = g_poWindow;
    vGetDefaultSettings(&poWindow->m_oSettings);
    poWindow->m_oSettings.ConversionType = static_cast<tdConversionType>(eConversionType);
    poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreenMode);
    poWindow->repaint();
    for (auto _ : oState)
    {
        poWindow->vDoUpdatePreviewImage();
        poWindow->bWaitForConversion(600000);
        poWindow->repaint();
    }
}

// The part of the preview after the conversion: the fit of the converted picture
// to the display area over the checkerboard and the repaint.
void vBenchDisplay(benchmark::State& oState, int eScreenMode)
{
    Window* poWindow = g_poWindow;
    vGetDefaultSettings(&poWindow->m_oSettings);
    poWindow->m_oSettings.ConversionType = ConversionType_SC;
    poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreenMode);
    poWindow->vDoUpdatePreviewImage();
    poWindow->bWaitForConversion(600000);
    for (auto _ : oState)
    {
        poWindow->vUpdateDisplayedImage();
        poWindow->repaint();
    }
}

// The first conversion of a run also fills the palette's distance tables.
void vBenchFirstPreview(benchmark::State& oState, int eScreenMode)
{
    Window* poWindow = g_poWindow;
    vGetDefaultSettings(&poWindow->m_oSettings);
    poWindow->m_oSettings.ConversionType = ConversionType_SC;
    poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreenMode);
    poWindow->repaint();
    for (auto _ : oState)
    {
        oState.PauseTiming();
        vReleasePaletteDeltaTables();
        oState.ResumeTiming();
        poWindow->vDoUpdatePreviewImage();
        poWindow->bWaitForConversion(600000);
        poWindow->repaint();
    }
}

} // namespace

int main(int iArgc, char** ppszArgv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication oApplication(iArgc, ppszArgv);
    setlocale(LC_NUMERIC, "C");
    QTemporaryDir oStore;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, oStore.path());
    QApplication::setOrganizationName(QStringLiteral("brenmoor"));
    QApplication::setApplicationName(QStringLiteral("QEVui-bench"));

    Window oWindow;
    oWindow.show();
    QApplication::processEvents();
    oWindow.m_poSourceImage = poMakePhotoLikePicture();
    g_poWindow = &oWindow;

    benchmark::RegisterBenchmark("Preview/PNG", vBenchPreview, ConversionType_PNG, ScreenMode_Screen8)
        ->Unit(benchmark::kMillisecond);
    for (int eScreen = 0; eScreen < ScreenMode_Count; eScreen++)
        benchmark::RegisterBenchmark((std::string("Preview/") + g_apszScreenModeNames[eScreen]).c_str(),
                                     vBenchPreview, ConversionType_SC, eScreen)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstPreview/Screen 5", vBenchFirstPreview, ScreenMode_Screen5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Display/Screen 8", vBenchDisplay, ScreenMode_Screen8)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&iArgc, ppszArgv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_poWindow = nullptr;
    return 0;
}
