// Pictures in without a file dialog: drops (read by the file actions), the
// clipboard and camera frames; and the source picture itself.

#include "window.h"

#include "camera_input.h"
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
    if (!m_poCameraInput->m_bLive && poEvent->mimeData()->hasUrls())
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::dropEvent(QDropEvent* poEvent)
{
    if (m_poCameraInput->m_bLive || !poEvent->mimeData()->hasUrls())
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

void Window::vCameraFrame(Image* poImage)
{
    if (poImage)
    {
        vReplaceSourceImage(poImage);
        m_poFileActions->vSetUnnamedSource(QStringLiteral("CapturedImage"));
        vSetPictureName(QStringLiteral("Camera picture"));
    }
    vDoUpdatePreviewImage();
    m_poView->m_poRenderArea->update();
}
