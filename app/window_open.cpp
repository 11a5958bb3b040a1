// Pictures in without a file dialog: drops (read by the file actions), the
// clipboard and the camera; and the source picture itself.

#include "window.h"

#include "file_actions.h"
#include "settings_panel.h"

#include "view.h"

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

#include <QApplication>
#include <QCamera>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageCapture>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QThread>
#include <QUrl>
#include <QVideoSink>

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

void Window::vReplaceSourceImage(Image* poImage)
{
    m_poSourceOwner.reset(poImage);
    m_poSourceImage = poImage;
    m_poView->vSetSource(poImage);
}

void Window::dragEnterEvent(QDragEnterEvent* poEvent)
{
    if (!m_bCameraLive && poEvent->mimeData()->hasUrls())
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::dropEvent(QDropEvent* poEvent)
{
    if (m_bCameraLive || !poEvent->mimeData()->hasUrls())
    {
        poEvent->ignore();
        return;
    }
    QStringList asPaths;
    for (const QUrl& oUrl : poEvent->mimeData()->urls())
        asPaths << oUrl.toLocalFile();
    if (m_poFileActions->bLoadImageFiles(asPaths))
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::Paste()
{
    if (m_poFileActions->bBusy()) return;
    const QImage oImage = QApplication::clipboard()->image();
    Image* poImage = oImage.isNull() ? nullptr : poImageFromQImage(&oImage);
    if (!poImage)
    {
        m_poStatusLine->vShow(oImage.isNull()
                                  ? QStringLiteral("Nothing pasted: the clipboard holds no picture")
                                  : QStringLiteral("Nothing pasted: the clipboard's picture is too large"),
                              true);
        return;
    }
    vReplaceSourceImage(poImage);
    m_poView->vSetConverted(nullptr);
    m_poStatusLine->vShow(
        QStringLiteral("Pasted a picture (%1 x %2)").arg(poImage->m_iWidth).arg(poImage->m_iHeight), false);
    m_poFileActions->vSetUnnamedSource(QStringLiteral("PastedImage"));
    vSetPictureName(QStringLiteral("Pasted picture"));
    vDoUpdatePreviewImage();
    vUpdateUI();
}

void Window::vSetPictureName(const QString& sName)
{
    setWindowTitle(QStringLiteral("%1 - QEVui " QEV_APP_VERSION).arg(sName));
}

void Window::Copy()
{
    if (!m_poView->m_poConvertedImage)
    {
        m_poStatusLine->vShow(QStringLiteral("Nothing copied: no converted picture yet"), true);
        return;
    }
    QImage* poImage = poQImageFromImage(m_poView->m_poConvertedImage);
    if (!poImage->isNull())
    {
        QApplication::clipboard()->setImage(*poImage);
        m_poStatusLine->vShow(QStringLiteral("Copied the converted picture (%1 x %2) to the clipboard")
                                  .arg(poImage->width())
                                  .arg(poImage->height()),
                              false);
    }
    delete poImage;
}

void Window::processClipboardChange()
{
    m_bClipboardHasImage = !QApplication::clipboard()->image().isNull();
    vUpdateUI();
}

bool Window::bStartCamera()
{
    const QCameraDevice oDevice = QMediaDevices::defaultVideoInput();
    if (oDevice.isNull())
    {
        qWarning("No camera found.");
        m_poStatusLine->vShow(QStringLiteral("No camera found."), true);
        return false;
    }
    m_poCaptureSession = new QMediaCaptureSession();
    m_poVideoSink = new QVideoSink(this);
    m_poCamera = new QCamera(oDevice);
    m_poImageCapture = new QImageCapture();
    m_poCaptureSession->setCamera(m_poCamera);
    m_poCaptureSession->setImageCapture(m_poImageCapture);
    m_poCaptureSession->setVideoSink(m_poVideoSink);
    connect(m_poImageCapture, &QImageCapture::imageCaptured, this, &Window::imageCaptured);
    // A capture asked for before the camera was ready is asked for again.
    connect(m_poImageCapture, &QImageCapture::readyForCaptureChanged, this,
            [this](bool bReady)
            {
                if (bReady && m_bCameraLive) update();
            });
    m_poCamera->start();
    return true;
}

void Window::CaptureFromCamera()
{
    if (m_poFileActions->bBusy()) return;
    if (!m_poImageCapture)
    {
        switch (eCheckCameraPermission())
        {
        case CameraPermission_Undetermined:
            vRequestCameraPermission(this, [this]() { CaptureFromCamera(); });
            return;
        case CameraPermission_Denied:
            qWarning("Camera permission is not granted!");
            m_poStatusLine->vShow(QStringLiteral("The camera may not be used: permission is not granted."),
                                  true);
            return;
        case CameraPermission_Granted:
            if (!bStartCamera()) return;
            break;
        }
    }
    if (!m_bCameraLive)
    {
        m_bCaptureRequested = m_poImageCapture->isReadyForCapture() && m_poImageCapture->capture() >= 0;
        m_bCameraLive = true;
        m_poCaptureFromCamera->setText(QStringLiteral("Take snapshot!"));
    }
    else
    {
        m_bCameraLive = false;
        m_poCaptureFromCamera->setText(QStringLiteral("Capture from camera..."));
    }
    vUpdateUI();
}

void Window::imageCaptured(int, const QImage& oFrame)
{
    m_bCaptureRequested = false;
    if (m_bCameraLive && oFrame.width() >= 1 && oFrame.height() >= 1)
    {
        const QImage oMirrored = oFrame.mirrored(true, false);
        Image* poImage = poImageFromQImage(&oMirrored);
        if (poImage)
        {
            vReplaceSourceImage(poImage);
            m_poFileActions->vSetUnnamedSource(QStringLiteral("CapturedImage"));
            vSetPictureName(QStringLiteral("Camera picture"));
        }
    }
    vDoUpdatePreviewImage();
    m_poView->m_poRenderArea->update();
}
