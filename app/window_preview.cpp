// The live preview: starting, superseding, cancelling and finishing the conversion
// that runs beside the event loop (preview_job.cpp), and its progress.

#include "window_internal.h"

#include "build_info.h"
#include "camera_permission.h"
#include "settings_store.h"

#include "input/picture_reader.h"
#include "qev/base/report.h"
#include "qev/base/run_context.h"
#include "qev/base/settings_string.h"
#include "qev/color/palette.h"
#include "qev/files/format_kru.h"
#include "qev/files/output_files.h"
#include "qev/files/palette_file.h"
#include "qev/files/png_io.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/yjk.h"
#include "retro/retro_formats.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <png.h>
#include <string>
#include <zlib.h>

void Window::vDoUpdatePreviewImage()
{
    m_poPreviewTimer->stop();
    vUpdateCommandLine();
    if (m_poJob)
    {
        // Live camera frames come faster than slow conversions end: the running
        // one is finished and shown, then the newest frame converted.
        if (!m_bCameraLive) m_poJob->bCancel = true;
        m_bRestartPending = true;
        m_bConversionPending = true;
        return;
    }
    if (m_poSourceImage)
    {
        vStartJob();
        return;
    }
    delete m_poConvertedImage;
    m_poConvertedImage = nullptr;
    vUpdateDisplayedImage();
    m_poRenderArea->update();
    m_bConversionPending = false;
    m_iConversionCount++;
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));
}

void Window::vStartJob()
{
    std::shared_ptr<tdPreviewJob> poJob = std::make_shared<tdPreviewJob>();
    memcpy(&poJob->oSettings, &m_oSettings, sizeof(tdSettings));
    poJob->poSource = m_poSourceOwner;
    m_poJob = poJob;
    m_bConversionPending = true;
    m_poWorker = QThread::create([poJob]() { vRunPreviewJob(poJob.get()); });
    // A worker stopped by bStopWorker is gone before its queued signal arrives.
    const int iJob = ++m_iJobCount;
    connect(m_poWorker, &QThread::finished, this,
            [this, iJob]()
            {
                if (iJob == m_iJobCount && m_poWorker) vJobFinished();
            });
    m_oJobClock.start();
    m_poProgressTimer->start();
    m_poWorker->start();
    m_poRenderArea->update();
    // The conversion covers the current settings: a change that has not been
    // painted yet needs no second one, only the refresh of the controls.
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));
}

void Window::vJobFinished()
{
    if (!m_poWorker) return;
    m_poWorker->wait();
    delete m_poWorker;
    m_poWorker = nullptr;
    const std::shared_ptr<tdPreviewJob> poJob = std::move(m_poJob);
    m_poProgressTimer->stop();
    m_poProgress->hide();
    m_bConversionPending = false;
    if (!poJob->bCancel)
    {
        delete m_poConvertedImage;
        m_poConvertedImage = poJob->poConverted;
        poJob->poConverted = nullptr;
        // PNG and sprite sheets have no conversion error: no number is shown
        // rather than one of earlier settings.
        const int eType = poJob->oSettings.ConversionType;
        const tdErrorTriple& oError = poJob->oError;
        const bool bError = eType != ConversionType_PNG && eType != ConversionType_SPR;
        m_poAverageErrorR->setText(bError ? sFormatDouble(oError.fRed) : QStringLiteral("-"));
        m_poAverageErrorG->setText(bError ? sFormatDouble(oError.fGreen) : QStringLiteral("-"));
        m_poAverageErrorB->setText(bError ? sFormatDouble(oError.fBlue) : QStringLiteral("-"));
        m_poAverageErrorRGB->setText(bError ? sFormatDouble(oError.fRed + oError.fGreen + oError.fBlue)
                                            : QStringLiteral("-"));
        vUpdateDisplayedImage();
        m_iConversionCount++;
        if (!poJob->sError.empty())
            m_poStatusLine->vShow(QStringLiteral("Conversion: %1").arg(QString::fromLocal8Bit(poJob->sError.c_str())),
                        true);
    }
    if (m_bRestartPending)
    {
        m_bRestartPending = false;
        vDoUpdatePreviewImage();
    }
    m_poRenderArea->update();
    update();
}

void Window::vShowProgress()
{
    if (!m_poJob || m_oJobClock.elapsed() < 500) return;
    m_poProgress->move((m_poRenderArea->width() - m_poProgress->width()) / 2,
                       (m_poRenderArea->height() - m_poProgress->height()) / 2);
    m_poProgress->setValue(m_poJob->iPerMille.load());
    if (!m_poProgress->isVisible())
    {
        m_poProgress->show();
        update(); // the progress bar takes the hourglass's place
    }
}

void Window::vCancelConversion()
{
    if (m_pbSaveCancel) *m_pbSaveCancel = true;
    if (m_poReadLoop) m_poReadLoop->quit();
    if (m_poJob || m_bConversionPending)
        m_poStatusLine->vShow(QStringLiteral("Conversion cancelled: the picture shown is from earlier settings"),
                    false);
    m_poPreviewTimer->stop();
    m_bRestartPending = false;
    if (m_poJob)
        m_poJob->bCancel = true;
    else
        m_bConversionPending = false;
    m_poRenderArea->update();
    update();
}

bool Window::bStopWorker()
{
    if (!m_poJob) return false;
    m_poJob->bCancel = true;
    m_bRestartPending = false;
    m_poWorker->wait();
    vJobFinished();
    return true;
}

bool Window::bWaitForConversion(int iTimeoutMs)
{
    QElapsedTimer oClock;
    oClock.start();
    // Sleeps between rounds, leaving the processor to the conversion.
    while ((m_poJob || m_poPreviewTimer->isActive()) && oClock.elapsed() < iTimeoutMs)
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_poJob || m_poPreviewTimer->isActive()) QThread::msleep(1);
    }
    return !m_poJob && !m_poPreviewTimer->isActive();
}
