// Pictures in: opening and dropping files (read beside the event loop), recent
// pictures, the clipboard and the camera.

#include "window_internal.h"

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

namespace
{
// One picture read beside the event loop: a copy of what the reader needs and
// its results, which the window takes when the read ends, or which go with the
// job when the window gave up on it (Esc).
struct tdReadJob
{
    QByteArray oPath;
    tdSettings oSettings;
    Image* poImage = nullptr; // owned until the window takes it
    std::string sError;       // why it failed
    std::string sNote;        // what the reader said about a picture it read anyway
    QSize oDisplay;           // the display area, for the picture shown until converted
    QImage oFitted;           // the picture fitted to it over the checkerboard
    ~tdReadJob() { delete poImage; }
};
} // namespace

void Window::vReplaceSourceImage(Image* poImage)
{
    m_poSourceOwner.reset(poImage);
    m_poSourceImage = poImage;
    m_poView->vSetSource(poImage);
}

bool Window::bRunBesideEventLoop(const std::function<void()>& fnWork, const QString& sStatus)
{
    QThread* poThread = QThread::create(
        [fnWork]()
        {
            // Counted like a conversion: the program does not wait for work it gave up on.
            const tdRunningWork oCounted;
            fnWork();
        });
    // The thread object goes when the thread has ended, whether or not the
    // window still waits for it.
    connect(poThread, &QThread::finished, poThread, &QObject::deleteLater);
    std::shared_ptr<bool> pbEnded = std::make_shared<bool>(false);
    QEventLoop oLoop;
    connect(poThread, &QThread::finished, &oLoop,
            [pbEnded, &oLoop]()
            {
                *pbEnded = true;
                oLoop.quit();
            });
    m_poReadLoop = &oLoop;
    m_poSettingsArea->setEnabled(false);
    if (!sStatus.isEmpty()) m_poStatusLine->vShow(sStatus, false);
    poThread->start();
    oLoop.exec();
    m_poReadLoop = nullptr;
    m_poSettingsArea->setEnabled(true);
    return *pbEnded;
}

Image* Window::poReadBesideEventLoop(const QString& sPath, QString* psError, QString* psNote,
                                     QImage* poFitted, bool* pbCancelled)
{
    *pbCancelled = false;
    std::shared_ptr<tdReadJob> poJob = std::make_shared<tdReadJob>();
    poJob->oPath = QFile::encodeName(sPath);
    memcpy(&poJob->oSettings, &m_oSettings, sizeof(tdSettings));
    poJob->oDisplay = m_poView->m_poRenderArea->size();
    const bool bEnded = bRunBesideEventLoop(
        [poJob]()
        {
            {
                std::lock_guard<std::mutex> oLock(oCoreLock());
                vClearLastError();
                poJob->poImage = poReadPicture(poJob->oPath.constData(), &poJob->oSettings, &poJob->sError);
                poJob->sNote = pszLastError();
            }
            // The picture shows at once, fitted, until its conversion is painted: a
            // large one is fitted here rather than on the window's thread.
            if (poJob->poImage)
            {
                const std::unique_ptr<Image> poCopy(poJob->poImage->poCopy());
                poCopy->vFit(poJob->oDisplay.width(), poJob->oDisplay.height(), 1.0, FitMode_Fit,
                             poJob->oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
                const std::unique_ptr<QImage> poQImage(poQImageFromImage(poCopy.get()));
                poJob->oFitted = *poQImage;
            }
        },
        QStringLiteral("Opening %1... (Esc cancels)").arg(QFileInfo(sPath).fileName()));
    if (!bEnded)
    {
        *pbCancelled = true;
        return nullptr;
    }
    *psError = QString::fromLocal8Bit(poJob->sError.c_str());
    *psNote = QString::fromLocal8Bit(poJob->sNote.c_str());
    *poFitted = poJob->oFitted;
    Image* poImage = poJob->poImage;
    poJob->poImage = nullptr;
    return poImage;
}

QString Window::sWhyUnreadable(const QString& sPath, const QString& sReason)
{
    // What the file system tells, where the reader had no words of its own.
    const QFileInfo oInfo(sPath);
    if (!oInfo.exists()) return QStringLiteral("there is no such file");
    if (oInfo.isDir()) return QStringLiteral("it is a folder, not a file");
    if (!oInfo.isReadable()) return QStringLiteral("permission denied");
    if (oInfo.size() == 0) return QStringLiteral("the file is empty");
    return sReason.isEmpty() ? QStringLiteral("the file is damaged or not a supported picture") : sReason;
}

bool Window::bLoadImageFiles(const QStringList& asPaths)
{
    if (bBusy()) return false;
    const bool bWasConverting = m_poPreview->bStop();
    QString sProblem; // why the first file could not be read
    int iProblems = 0;
    for (const QString& sPath : asPaths)
    {
        if (sPath.isEmpty()) continue;
        const QString sFile = QFileInfo(sPath).fileName();
        QString sError, sNote;
        QImage oFitted;
        bool bCancelled = false;
        // Large pictures take seconds to decode: the window stays responsive.
        Image* poImage = poReadBesideEventLoop(sPath, &sError, &sNote, &oFitted, &bCancelled);
        if (bCancelled)
        {
            m_poStatusLine->vShow(
                QStringLiteral("Opening %1 cancelled: the picture shown is kept").arg(sFile), false);
            if (bWasConverting) vDoUpdatePreviewImage();
            return false;
        }
        if (!poImage)
        {
            if (iProblems++ == 0)
                sProblem = QStringLiteral("Cannot read %1: %2")
                               .arg(sFile, sWhyUnreadable(sPath, sError.isEmpty() ? sNote : sError));
            continue;
        }
        // A missing companion file is told in the program's own words.
        const QString sCompanion = sMissingCompanionFile(sPath);
        if (!sCompanion.isEmpty()) sNote = sCompanion;
        QString sStatus = sNote.isEmpty() ? QStringLiteral("Opened %1 (%2 x %3)")
                                                .arg(sFile)
                                                .arg(poImage->m_iWidth)
                                                .arg(poImage->m_iHeight)
                                          : QStringLiteral("Opened %1: %2").arg(sFile, sNote);
        if (iProblems > 0)
            sStatus += QStringLiteral("; skipped %1 file%2 that could not be read (%3)")
                           .arg(iProblems)
                           .arg(iProblems > 1 ? QStringLiteral("s") : QString())
                           .arg(sProblem);
        m_poStatusLine->vShow(sStatus, false);

        vReplaceSourceImage(poImage);
        // The new picture shows at once, fitted, until its conversion is painted.
        m_poView->vSetConverted(nullptr);
        m_poView->vSetOriginal(oFitted);
        const QFileInfo oInfo(sPath);
        m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
        m_sSourcePath = oInfo.absoluteFilePath();
        vSetPictureName(oInfo.fileName());
        QStringList asRecent = asRecentFiles();
        asRecent.removeAll(m_sSourcePath);
        asRecent.prepend(m_sSourcePath);
        m_poSettingsStore->setValue(QStringLiteral("Recent/Files"), asRecent.mid(0, g_iRecentCount));
        // The name up to its first dot, cut to the field (2047 bytes and a zero).
        const QByteArray oBase = QFile::encodeName(oInfo.baseName());
        const size_t uiLength =
            std::min(static_cast<size_t>(oBase.size()), sizeof(m_oSettings.SourceBaseName) - 1);
        memset(m_oSettings.SourceBaseName, 0, sizeof(m_oSettings.SourceBaseName));
        memcpy(m_oSettings.SourceBaseName, oBase.constData(), uiLength);
        vDoUpdatePreviewImage();
        vUpdateUI();
        return true;
    }
    if (iProblems > 1)
        sProblem += QStringLiteral(" (and %1 more files could not be read)").arg(iProblems - 1);
    if (iProblems > 0) m_poStatusLine->vShow(sProblem, true);
    if (bWasConverting) vDoUpdatePreviewImage();
    return false;
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
    if (bLoadImageFiles(asPaths))
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::Paste()
{
    if (bBusy()) return;
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
    m_sImagePath = QStringLiteral("PastedImage");
    m_sSourcePath.clear();
    vSetPictureName(QStringLiteral("Pasted picture"));
    vDoUpdatePreviewImage();
    vUpdateUI();
}

QString Window::sMissingCompanionFile(const QString& sPath)
{
    // Interlaced dumps keep their second page beside them (.si5 -> .sj5, .sk5 ->
    // .sl5); the reader shows the first page alone without it.
    const QString sLower = sPath.toLower();
    static const QRegularExpression s_oInterlaced(QStringLiteral("\\.s[ik][5678ac]$"));
    if (s_oInterlaced.match(sLower).hasMatch())
    {
        const QChar cEnding =
            sLower.at(sLower.size() - 2) == QLatin1Char('i') ? QLatin1Char('j') : QLatin1Char('l');
        QString sSame = sPath;
        sSame[sPath.size() - 2] = sPath.at(sPath.size() - 2).isUpper() ? cEnding.toUpper() : cEnding;
        QString sLowered = sPath;
        sLowered[sPath.size() - 2] = cEnding;
        if (!QFileInfo::exists(sSame) && !QFileInfo::exists(sLowered))
            return QStringLiteral("no second page %1 beside it: only the first page is shown")
                .arg(QFileInfo(sSame).fileName());
    }
    // Screen dumps of the palette screens (2, 3, 5, 6, 7, 10) keep their palette
    // in a companion file (.sr5 -> .pl5, .si5 -> .pi5); the reader takes the
    // picture without one, with the standard palette.
    static const QRegularExpression s_oDump(QStringLiteral("\\.s[ri][23567a]$"));
    if (!s_oDump.match(sLower).hasMatch()) return QString();
    const QString sEnding =
        sLower.at(sLower.size() - 2) == QLatin1Char('r') ? QStringLiteral("pl") : QStringLiteral("pi");
    QString sSame = sPath;
    sSame.replace(sPath.size() - 3, 2, sPath.at(sPath.size() - 3).isUpper() ? sEnding.toUpper() : sEnding);
    QString sLowered = sPath;
    sLowered.replace(sPath.size() - 3, 2, sEnding);
    if (QFileInfo::exists(sSame) || QFileInfo::exists(sLowered)) return QString();
    return QStringLiteral("no palette file %1 beside it: the standard palette is used")
        .arg(QFileInfo(sSame).fileName());
}

QString Window::sOpenFilter()
{
    // The core's readers, the modern formats and the retro formats; names of other
    // kinds are read by their contents: "All files".
    QStringList asPatterns;
    for (int i = 0; const char* pszExtension = pszReadableExtension(i); i++)
        asPatterns << QLatin1Char('*') + QLatin1String(pszExtension);
    for (const char* const* ppszExtension = g_apszModernExtensions; *ppszExtension; ppszExtension++)
        asPatterns << QLatin1Char('*') + QLatin1String(*ppszExtension);
    for (int i = 0; const char* pszExtension = pszRetroExtension(i); i++)
        asPatterns << QStringLiteral("*.") + QLatin1String(pszExtension);
    asPatterns.removeDuplicates();
    return QStringLiteral("Pictures (%1);;All files (*)").arg(asPatterns.join(QLatin1Char(' ')));
}

QStringList Window::asRecentFiles() const
{
    return m_poSettingsStore->value(QStringLiteral("Recent/Files")).toStringList().mid(0, g_iRecentCount);
}

void Window::vSetPictureName(const QString& sName)
{
    setWindowTitle(QStringLiteral("%1 - QEVui " QEV_APP_VERSION).arg(sName));
}

void Window::Open()
{
    if (bBusy()) return;
    if (m_bCameraLive) return;
    const QString sStart = !m_sSourcePath.isEmpty()     ? QFileInfo(m_sSourcePath).absolutePath()
                           : !asRecentFiles().isEmpty() ? QFileInfo(asRecentFiles().first()).absolutePath()
                                                        : QDir::homePath();
    const QStringList asNames =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Open picture"), sStart, sOpenFilter());
    if (!asNames.isEmpty()) bLoadImageFiles(asNames);
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
    if (bBusy()) return;
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
            m_sImagePath = QStringLiteral("CapturedImage");
            m_sSourcePath.clear();
            vSetPictureName(QStringLiteral("Camera picture"));
        }
    }
    vDoUpdatePreviewImage();
    m_poView->m_poRenderArea->update();
}
