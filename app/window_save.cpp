// Saving: the file types, the questions before a save (existing and
// write-protected files) and the save beside the event loop, which can be cancelled.

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

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScrollArea>
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

QString Window::oGetExtension() const
{
    const char* pszScreen = szGetScreenCharFromMode(m_oSettings.ScreenMode);
    const QString sScreen = QLatin1String(pszScreen ? pszScreen : "");
    const bool bInterlaced = bSettingsInterlaced(&m_oSettings);
    switch (m_oSettings.ConversionType)
    {
    case ConversionType_PNG:
        return QStringLiteral("PNG file (*.png)");
    case ConversionType_QEV:
        return QStringLiteral("QEV file (*.qev)");
    case ConversionType_SR:
        return bInterlaced ? QStringLiteral("SI%1 file (*.si%1)").arg(sScreen)
                           : QStringLiteral("SR%1 file (*.sr%1)").arg(sScreen);
    case ConversionType_SC:
        return bInterlaced ? QStringLiteral("SK%1 file (*.sk%1)").arg(sScreen)
                           : QStringLiteral("SC%1 file (*.sc%1)").arg(sScreen);
    case ConversionType_SPR:
        return QStringLiteral("SPR file (*.spr)");
    case ConversionType_RAW:
        return QStringLiteral("RAW file (*.raw)");
    case ConversionType_KRU:
        return QStringLiteral("KRU file (*.kru)");
    case ConversionType_RES:
        return QStringLiteral("RES file (*.res)");
    case ConversionType_ROM:
        return QStringLiteral("ROM file (*.rom)");
    default:
        return QString();
    }
}

bool Window::bSaveImageAs(const QString& sName)
{
    if (!m_poSourceImage || sName.isEmpty() || bBusy()) return false;
    const QFileInfo oInfo(sName);
    m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
    m_sImageFolder = oInfo.absolutePath();

    // Every file of one save is written under a temporary name and renamed into
    // place only when all of them were written, so a failure keeps the old files.
    tdOutputFiles oFiles;
    FILE* poRawStream = nullptr;
    if (m_oSettings.ConversionType == ConversionType_RAW)
    {
        // File dispatch writes RAW output to a stream of the caller's: the chosen
        // file, with the extension of the filter.
        QByteArray oRawName = QFile::encodeName(sName);
        if (!bEndsWith(oRawName.constData(), ".raw")) oRawName += ".raw";
        poRawStream = poOpenPendingFile(&oFiles, oRawName.constData(), "wb");
        if (!poRawStream)
        {
            qWarning("Unable to open %s.", oRawName.constData());
            m_poStatusLine->vShow(
                QStringLiteral("Picture not saved: cannot create %1").arg(QFile::decodeName(oRawName)), true);
            return false;
        }
    }
    const QByteArray oName = QFile::encodeName(sName);
    const bool bWasConverting = m_poPreview->bStop();
    // The writer converts in a thread of its own, on copies, while a progress
    // dialog (shown after half a second) offers Cancel; the bytes are those of a
    // conversion on this thread. The dialog is not modal, since a modal one would
    // keep the window from hearing a close request: the settings are disabled
    // instead, and the actions that would start other work wait for the end.
    const std::shared_ptr<const Image> poSource = m_poSourceOwner;
    tdSettings oSettings;
    memcpy(&oSettings, &m_oSettings, sizeof(tdSettings));
    std::atomic<bool> bCancel{false};
    std::atomic<int> iPerMille{0};
    // Cancel, Esc and a close request set the flag; the writer stops at its next
    // row and nothing of it is committed.
    m_pbSaveCancel = &bCancel;
    tdRunContext oRun;
    oRun.m_fnProgress = [&bCancel, &iPerMille](double fDone)
    {
        iPerMille.store(static_cast<int>(fDone * 1000.0));
        return !bCancel.load();
    };
    QThread* poWriter = QThread::create(
        [&]()
        {
            std::lock_guard<std::mutex> oLock(oCoreLock());
            oWriteImageToFile(poSource.get(), oName.constData(), &oSettings, &oFiles, poRawStream, nullptr,
                              &oRun);
        });
    {
        QEventLoop oLoop;
        connect(poWriter, &QThread::finished, &oLoop, &QEventLoop::quit);
        QProgressDialog oProgress(QStringLiteral("Saving %1...").arg(oInfo.fileName()),
                                  QStringLiteral("Cancel"), 0, 1000, this);
        oProgress.setObjectName(QStringLiteral("SaveProgress"));
        oProgress.setWindowModality(Qt::NonModal);
        oProgress.setMinimumDuration(500);
        oProgress.setAutoReset(false);
        connect(&oProgress, &QProgressDialog::canceled, &oLoop, [&bCancel]() { bCancel = true; });
        QTimer oTick;
        connect(&oTick, &QTimer::timeout, &oProgress,
                [&]()
                {
                    oProgress.setValue(iPerMille.load());
                    if (oProgress.wasCanceled()) bCancel = true;
                });
        oTick.start(100);
        m_poSettingsArea->setEnabled(false);
        poWriter->start();
        oLoop.exec();
        m_poSettingsArea->setEnabled(true);
    }
    poWriter->wait();
    delete poWriter;
    m_pbSaveCancel = nullptr;
    if (m_bCloseAfterSave)
        QTimer::singleShot(0, this, &QWidget::close);
    else if (bWasConverting)
        vDoUpdatePreviewImage();
    // A cancel that came after the writer's last question still commits nothing.
    if (bCancel || bRunStopped(&oRun))
    {
        vDiscardOutputFiles(&oFiles);
        m_poStatusLine->vShow(QStringLiteral("Save cancelled: nothing was written"), false);
        return false;
    }
    // The writer opens the main file first and stops when it cannot: an empty set
    // is a failure, also when an older file of that name is there.
    if (oFiles.aoFiles.empty())
    {
        const QStringList asTargets = asSaveTargets(sName);
        qWarning("Picture not saved: the file could not be created");
        m_poStatusLine->vShow(
            QStringLiteral("Picture not saved: %1 could not be created (is its folder there and writable?)")
                .arg(asTargets.isEmpty() ? sName : asTargets.first()),
            true);
        return false;
    }
    QStringList asWritten;
    for (const tdPendingFile& oFile : oFiles.aoFiles)
        asWritten << QFileInfo(QFile::decodeName(oFile.sName.c_str())).fileName();
    std::string sError;
    if (!bCommitOutputFiles(&oFiles, &sError))
    {
        qWarning("Picture not saved: %s", sError.c_str());
        m_poStatusLine->vShow(
            QStringLiteral("Picture not saved: %1").arg(QString::fromLocal8Bit(sError.c_str())), true);
        return false;
    }
    m_poStatusLine->vShow(
        QStringLiteral("Saved %1 in %2").arg(asWritten.join(QStringLiteral(", ")), oInfo.absolutePath()),
        false);
    m_sSavedName = sName;
    m_sSavedSource = m_sSourcePath;
    m_asSavedFiles = asSaveTargets(sName);
    vUpdateCommandLine();
    return true;
}

void Window::SaveImage()
{
    if (bBusy()) return;
    if (m_bCameraLive || !m_poSourceImage) return;
    // The folder of the last save, else the picture's; the picture's name.
    const QString sBase = QFileInfo(m_sImagePath).fileName();
    const QString sStart = sStartFolder(m_sImageFolder) + QLatin1Char('/') +
                           (sBase.isEmpty() ? QStringLiteral("picture") : sBase);
    const QString sName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save as..."), sStart, oGetExtension(), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!sName.isEmpty()) vSaveWithQuestions(sName);
}

void Window::Save()
{
    if (bBusy() || m_bCameraLive || !m_poSourceImage) return;
    // Saving again the same set of files of the same picture needs no question:
    // the user chose them for it. Anything else is Save As.
    if (m_sSavedName.isEmpty() || m_sSavedSource != m_sSourcePath ||
        asSaveTargets(m_sSavedName) != m_asSavedFiles)
    {
        SaveImage();
        return;
    }
    if (!bSaveImageAs(m_sSavedName) &&
        m_poStatusLine->text() != QStringLiteral("Save cancelled: nothing was written"))
        QMessageBox::warning(this, QStringLiteral("Save image"), m_poStatusLine->text() + QLatin1Char('.'));
}

void Window::vSaveWithQuestions(const QString& sName)
{
    // The dialog's own question knows only the name typed: the set of files is
    // asked about here, after the extension and the companions are known.
    QStringList asProtected, asExisting;
    const QStringList asTargets = asSaveTargets(sName);
    for (const QString& sTarget : asTargets)
    {
        if (bIsWriteProtected(QFile::encodeName(sTarget).constData()))
            asProtected << sTarget;
        else if (QFileInfo::exists(sTarget))
            asExisting << QFileInfo(sTarget).fileName();
    }
    if (!asProtected.isEmpty())
    {
        const QString sText =
            QStringLiteral("Not saved: %1 is write-protected (no write permission), so it is kept")
                .arg(asProtected.join(QStringLiteral(", ")));
        m_poStatusLine->vShow(sText, true);
        QMessageBox::warning(this, QStringLiteral("Save image"), sText + QLatin1Char('.'));
        return;
    }
    const QString sSource = sSourceAmongTargets(sName);
    QString sQuestion;
    if (!sSource.isEmpty())
        sQuestion = QStringLiteral("%1 is the picture you opened. Replace it with the converted picture?")
                        .arg(sSource);
    else if (!asExisting.isEmpty() && m_oSettings.ConversionType == ConversionType_KRU)
        sQuestion =
            QStringLiteral("%1 exists. Append the picture to it as a new record?").arg(asExisting.first());
    else if (asExisting.size() == 1)
        sQuestion = QStringLiteral("%1 exists. Replace it?").arg(asExisting.first());
    else if (!asExisting.isEmpty())
        sQuestion = QStringLiteral("%1 exist. Replace them?").arg(asExisting.join(QStringLiteral(", ")));
    if (!sQuestion.isEmpty() &&
        QMessageBox::question(this, QStringLiteral("Save image"), sQuestion,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    {
        m_poStatusLine->vShow(
            QStringLiteral("Not saved: %1 kept")
                .arg(!sSource.isEmpty()
                         ? sSource + QStringLiteral(" is")
                         : asExisting.join(QStringLiteral(", ")) +
                               (asExisting.size() > 1 ? QStringLiteral(" are") : QStringLiteral(" is"))),
            false);
        return;
    }
    // A cancelled save says so in the status line; a failure also in a box.
    if (!bSaveImageAs(sName) &&
        m_poStatusLine->text() != QStringLiteral("Save cancelled: nothing was written"))
        QMessageBox::warning(this, QStringLiteral("Save image"), m_poStatusLine->text() + QLatin1Char('.'));
}

QString Window::sStartFolder(const QString& sLast) const
{
    if (!sLast.isEmpty() && QFileInfo(sLast).isDir()) return sLast;
    const QString sSourceFolder =
        m_sSourcePath.isEmpty() ? QString() : QFileInfo(m_sSourcePath).absolutePath();
    if (!sSourceFolder.isEmpty() && QFileInfo(sSourceFolder).isDir()) return sSourceFolder;
    return QDir::homePath();
}

QStringList Window::asSaveTargets(const QString& sName) const
{
    const QByteArray oName = QFile::encodeName(sName);
    QStringList asTargets;
    if (m_oSettings.ConversionType == ConversionType_RAW)
        asTargets << (bEndsWith(oName.constData(), ".raw") ? sName : sName + QStringLiteral(".raw"));
    if (char* pszMain = szGetOutputFileName(oName.constData(), &m_oSettings))
    {
        asTargets << QFile::decodeName(pszMain);
        char* apszCompanions[2] = {nullptr, nullptr};
        const int iCompanions = iGetCompanionFileNames(pszMain, &m_oSettings, apszCompanions);
        for (int i = 0; i < iCompanions; i++)
        {
            asTargets << QFile::decodeName(apszCompanions[i]);
            free(apszCompanions[i]);
        }
        free(pszMain);
    }
    return asTargets;
}

QString Window::sSourceAmongTargets(const QString& sName) const
{
    if (m_sSourcePath.isEmpty()) return QString();
    const QStringList asTargets = asSaveTargets(sName);
    const QFileInfo oSource(m_sSourcePath);
    for (const QString& sTarget : asTargets)
    {
        const QFileInfo oTarget(sTarget);
        if (oTarget.absoluteFilePath() == oSource.absoluteFilePath() ||
            (oTarget.exists() && oTarget.canonicalFilePath() == oSource.canonicalFilePath()))
            return oSource.fileName();
    }
    return QString();
}
