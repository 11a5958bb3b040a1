// The preview's speed: for each screen mode, with the default settings and the
// conversion type SC, the time from the end of the 250 ms wait (the timer's
// timeout) to the painted result, on a 1024 x 768 photo-like picture: the KRU
// conversion, the fit to the display over the checkerboard, and the repaint.
// PNG (the default conversion type) is measured too. Then the window's
// responsiveness during a slow conversion and the time closing it takes. Runs on
// the offscreen platform.

#include "file_actions.h"
#include "preview.h"
#include "view.h"
#include "window.h"

#include "qev/base/image.h"
#include "qev/base/sample_picture.h"
#include "qev/base/settings.h"
#include "qev/color/palette.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
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
        poWindow->m_poView->vUpdateDisplayedImage();
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

// Calls fnStart and runs the event loop until fnDone holds, with a 5 ms timer
// noting when it fires. Returns the longest gap between two firings less the
// 5 ms: the longest the UI thread was kept from its events, in milliseconds.
double fLongestPause(const std::function<void()>& fnStart, const std::function<bool()>& fnDone)
{
    QEventLoop oLoop;
    QTimer oTick;
    QElapsedTimer oClock;
    qint64 lLast = 0;
    double fLongest = 0.0;
    QObject::connect(&oTick, &QTimer::timeout,
                     [&]()
                     {
                         const qint64 lNow = oClock.nsecsElapsed();
                         fLongest = std::max(fLongest, (lNow - lLast) / 1e6 - 5.0);
                         lLast = lNow;
                         if (fnDone()) oLoop.quit();
                     });
    oClock.start();
    oTick.start(5);
    fnStart();
    oLoop.exec();
    return fLongest;
}

// The event loop's longest pause while a slow conversion (CIEDE2000 distances
// on a 2268 x 1512 photo) runs: a 5 ms timer notes when it fires; the longest
// gap between two firings, less the 5 ms, is the longest the UI thread was kept
// from its events (reported as the counter BlockedMs, the time is the whole
// conversion). The start (copy of the source) and the painting of the result
// fall within the measured span.
void vBenchResponsiveness(benchmark::State& oState, int eScreenMode, int eDeltaMethod)
{
    Window* poWindow = g_poWindow;
    Image* poLarge = poMakePhotoLikePicture();
    poLarge->vScale(2268, 1512, ResizeFilter_Bicubic);
    std::unique_ptr<Image> poSaved(poWindow->m_poSourceImage->poCopy());
    poWindow->vReplaceSourceImage(poLarge);
    vGetDefaultSettings(&poWindow->m_oSettings);
    poWindow->m_oSettings.ConversionType = ConversionType_SC;
    poWindow->m_oSettings.ScreenMode = static_cast<tdScreenMode>(eScreenMode);
    poWindow->m_oSettings.DeltaMethod = static_cast<tdDeltaMethod>(eDeltaMethod);
    poWindow->repaint();
    poWindow->bWaitForConversion(600000);
    double fLongest = 0.0;
    for (auto _ : oState)
        fLongest = std::max(
            fLongest,
            fLongestPause([&]() { poWindow->vDoUpdatePreviewImage(); }, [&]()
                          { return !poWindow->m_poPreview->m_poJob && !poWindow->m_poPreview->m_bPending; }));
    oState.counters["BlockedMs"] = fLongest;
    poWindow->vReplaceSourceImage(poSaved.release());
}

// The event loop's longest pause while a 9000 x 9000 JPEG is opened (read in a
// thread of its own, fitted there for the display, then converted), measured as
// above from the open to the painted conversion. The counter BlockedMs is the
// figure; the time is the whole open.
void vBenchReadResponsiveness(benchmark::State& oState)
{
    Window* poWindow = g_poWindow;
    QTemporaryDir oFolder;
    const QString sFile = oFolder.filePath(QStringLiteral("large.jpg"));
    {
        QImage oLarge(9000, 9000, QImage::Format_RGB32);
        uint32_t uiSeed = 1;
        for (int y = 0; y < 9000; y++)
        {
            QRgb* puiLine = reinterpret_cast<QRgb*>(oLarge.scanLine(y));
            for (int x = 0; x < 9000; x++)
            {
                uiSeed = uiSeed * 1664525u + 1013904223u;
                puiLine[x] = qRgb(x * 255 / 9000, y * 255 / 9000, static_cast<int>(uiSeed >> 26));
            }
        }
        oLarge.save(sFile, "JPG", 90);
    }
    std::unique_ptr<Image> poSaved(poWindow->m_poSourceImage->poCopy());
    vGetDefaultSettings(&poWindow->m_oSettings);
    poWindow->m_oSettings.ConversionType = ConversionType_SC;
    poWindow->m_oSettings.ScreenMode = ScreenMode_Screen8;
    double fLongest = 0.0;
    for (auto _ : oState)
    {
        bool bOpened = false;
        // The open runs the event loop itself while the file is read.
        fLongest = std::max(
            fLongest,
            fLongestPause(
                [&]() {
                    QTimer::singleShot(
                        0, [&]() { bOpened = poWindow->m_poFileActions->bLoadImageFiles({sFile}) || true; });
                },
                [&]() {
                    return bOpened && !poWindow->m_poPreview->m_poJob && !poWindow->m_poPreview->m_bPending;
                }));
    }
    oState.counters["BlockedMs"] = fLongest;
    poWindow->vReplaceSourceImage(poSaved.release());
}

// Closing the window while that slow conversion runs: the time the window's
// destruction takes (the conversion is stopped between rows, not waited for).
// With bSlowRows, Screen 12 with brute-force YJK searches, whose rows take
// seconds: the window leaves that conversion running (registered last: it keeps
// the core busy until the program ends).
void vBenchCloseDuringConversion(benchmark::State& oState, bool bSlowRows)
{
    std::unique_ptr<Image> poLarge(poMakePhotoLikePicture());
    poLarge->vScale(2268, 1512, ResizeFilter_Bicubic);
    for (auto _ : oState)
    {
        oState.PauseTiming();
        Window* poWindow = new Window();
        poWindow->show();
        poWindow->vReplaceSourceImage(poLarge->poCopy());
        poWindow->m_oSettings.ConversionType = ConversionType_SC;
        poWindow->m_oSettings.ScreenMode = bSlowRows ? ScreenMode_Screen12 : ScreenMode_Screen8;
        poWindow->m_oSettings.DeltaMethod = DeltaMethod_CIEDE2000;
        if (bSlowRows) poWindow->m_oSettings.RGB2YJKMethod = RGB2YJK_BruteForce;
        poWindow->vDoUpdatePreviewImage();
        QElapsedTimer oWait;
        oWait.start();
        while (oWait.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        oState.ResumeTiming();
        poWindow->close();
        delete poWindow;
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
    oWindow.resize(oWindow.oFittedSize(QSize(3000, 2000))); // the offscreen screen is smaller
    oWindow.show();
    QApplication::processEvents();
    oWindow.vReplaceSourceImage(poMakePhotoLikePicture());
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
    benchmark::RegisterBenchmark("Responsiveness/Screen 8 CIEDE2000 2268x1512", vBenchResponsiveness,
                                 ScreenMode_Screen8, DeltaMethod_CIEDE2000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("Responsiveness/Open 9000x9000 JPEG", vBenchReadResponsiveness)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("CloseDuringConversion/Screen 8 CIEDE2000 2268x1512",
                                 vBenchCloseDuringConversion, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("CloseDuringConversion/Screen 12 brute force 2268x1512",
                                 vBenchCloseDuringConversion, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::Initialize(&iArgc, ppszArgv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_poWindow = nullptr;
    // As the program does: a conversion left running is not waited for.
    if (iRunningConversions() > 0) std::_Exit(0);
    return 0;
}
