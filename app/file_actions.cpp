// File actions: opening and saving pictures beside the event loop, the recent
// pictures, and the questions before a save.

#include "file_actions.h"

#include "preview.h"
#include "preview_job.h"
#include "status_line.h"
#include "view.h"

#include "input/picture_reader.h"
#include "qev/base/report.h"
#include "qev/base/run_context.h"
#include "qev/files/output_files.h"
#include "qev/files/readerwriter.h"
#include "retro/retro_formats.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

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

FileActions::FileActions(QWidget* poWindow, tdSettings* poSettings, StatusLine* poStatusLine,
                         Preview* poPreview, QSettings* poStore)
    : QObject(poWindow), m_poWindow(poWindow), m_poBusyArea(nullptr), m_poDisplayArea(nullptr),
      m_poSettings(poSettings), m_poStatusLine(poStatusLine), m_poPreview(poPreview),
      m_poSettingsStore(poStore), m_fnSource([]() { return std::shared_ptr<const Image>(); }),
      m_fnCameraLive([]() { return false; }), m_pbSaveCancel(nullptr), m_bCloseAfterSave(false),
      m_poReadLoop(nullptr)
{
}

void FileActions::vCancel()
{
    if (m_pbSaveCancel) *m_pbSaveCancel = true;
    if (m_poReadLoop) m_poReadLoop->quit();
}

bool FileActions::bDeferClose()
{
    // A save in progress is cancelled; the window closes as soon as the writer
    // has stopped (at its next row), leaving no file behind.
    if (!m_pbSaveCancel) return false;
    *m_pbSaveCancel = true;
    m_bCloseAfterSave = true;
    return true;
}

void FileActions::vSetUnnamedSource(const QString& sName)
{
    m_sImagePath = sName;
    m_sSourcePath.clear();
}

QString FileActions::sOutputName() const
{
    return m_sSavedSource == m_sSourcePath && !m_sSavedName.isEmpty() ? m_sSavedName : m_sImagePath;
}

bool FileActions::bRunBesideEventLoop(const std::function<void()>& fnWork, const QString& sStatus)
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
    m_poBusyArea->setEnabled(false);
    if (!sStatus.isEmpty()) m_poStatusLine->vShow(sStatus, false);
    poThread->start();
    oLoop.exec();
    m_poReadLoop = nullptr;
    m_poBusyArea->setEnabled(true);
    return *pbEnded;
}

Image* FileActions::poReadBesideEventLoop(const QString& sPath, QString* psError, QString* psNote,
                                          QImage* poFitted, bool* pbCancelled)
{
    *pbCancelled = false;
    std::shared_ptr<tdReadJob> poJob = std::make_shared<tdReadJob>();
    poJob->oPath = QFile::encodeName(sPath);
    memcpy(&poJob->oSettings, m_poSettings, sizeof(tdSettings));
    poJob->oDisplay = m_poDisplayArea->size();
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

QString FileActions::sWhyUnreadable(const QString& sPath, const QString& sReason)
{
    // What the file system tells, where the reader had no words of its own.
    const QFileInfo oInfo(sPath);
    if (!oInfo.exists()) return QStringLiteral("there is no such file");
    if (oInfo.isDir()) return QStringLiteral("it is a folder, not a file");
    if (!oInfo.isReadable()) return QStringLiteral("permission denied");
    if (oInfo.size() == 0) return QStringLiteral("the file is empty");
    return sReason.isEmpty() ? QStringLiteral("the file is damaged or not a supported picture") : sReason;
}

bool FileActions::bLoadImageFiles(const QStringList& asPaths)
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
            if (bWasConverting) emit vConvertAgain();
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

        const QFileInfo oInfo(sPath);
        m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
        m_sSourcePath = oInfo.absoluteFilePath();
        QStringList asRecent = asRecentFiles();
        asRecent.removeAll(m_sSourcePath);
        asRecent.prepend(m_sSourcePath);
        m_poSettingsStore->setValue(QStringLiteral("Recent/Files"), asRecent.mid(0, g_iRecentCount));
        // The name up to its first dot, cut to the field (2047 bytes and a zero).
        const QByteArray oBase = QFile::encodeName(oInfo.baseName());
        const size_t uiLength =
            std::min(static_cast<size_t>(oBase.size()), sizeof(m_poSettings->SourceBaseName) - 1);
        memset(m_poSettings->SourceBaseName, 0, sizeof(m_poSettings->SourceBaseName));
        memcpy(m_poSettings->SourceBaseName, oBase.constData(), uiLength);
        // The new picture shows at once, fitted, until its conversion is painted.
        emit vOpened(poImage, oFitted, oInfo.fileName());
        return true;
    }
    if (iProblems > 1)
        sProblem += QStringLiteral(" (and %1 more files could not be read)").arg(iProblems - 1);
    if (iProblems > 0) m_poStatusLine->vShow(sProblem, true);
    if (bWasConverting) emit vConvertAgain();
    return false;
}

QString FileActions::sMissingCompanionFile(const QString& sPath)
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

QString FileActions::sOpenFilter()
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

QStringList FileActions::asRecentFiles() const
{
    return m_poSettingsStore->value(QStringLiteral("Recent/Files")).toStringList().mid(0, g_iRecentCount);
}

void FileActions::Open()
{
    if (bBusy()) return;
    if (m_fnCameraLive()) return;
    const QString sStart = !m_sSourcePath.isEmpty()     ? QFileInfo(m_sSourcePath).absolutePath()
                           : !asRecentFiles().isEmpty() ? QFileInfo(asRecentFiles().first()).absolutePath()
                                                        : QDir::homePath();
    const QStringList asNames =
        QFileDialog::getOpenFileNames(m_poWindow, QStringLiteral("Open picture"), sStart, sOpenFilter());
    if (!asNames.isEmpty()) bLoadImageFiles(asNames);
}

// The recent pictures, listed afresh each time a menu of them opens: the file
// name, its folder in the tooltip, so that the menu stays narrow.
void FileActions::vFillRecentMenu(QMenu* poMenu)
{
    poMenu->clear();
    poMenu->setToolTipsVisible(true);
    for (const QString& sPath : asRecentFiles())
    {
        QAction* poAction = poMenu->addAction(QFileInfo(sPath).fileName().replace(QLatin1Char('&'), "&&"),
                                              this, [this, sPath]() { bLoadImageFiles({sPath}); });
        poAction->setToolTip(sPath);
    }
    if (poMenu->isEmpty()) poMenu->addAction(QStringLiteral("No recent pictures"))->setEnabled(false);
}

QString FileActions::oGetExtension() const
{
    const char* pszScreen = szGetScreenCharFromMode(m_poSettings->ScreenMode);
    const QString sScreen = QLatin1String(pszScreen ? pszScreen : "");
    const bool bInterlaced = bSettingsInterlaced(m_poSettings);
    switch (m_poSettings->ConversionType)
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

bool FileActions::bSaveImageAs(const QString& sName)
{
    const std::shared_ptr<const Image> poSource = m_fnSource();
    if (!poSource || sName.isEmpty() || bBusy()) return false;
    const QFileInfo oInfo(sName);
    m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
    m_sImageFolder = oInfo.absolutePath();

    // Every file of one save is written under a temporary name and renamed into
    // place only when all of them were written, so a failure keeps the old files.
    tdOutputFiles oFiles;
    FILE* poRawStream = nullptr;
    if (m_poSettings->ConversionType == ConversionType_RAW)
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
    tdSettings oSettings;
    memcpy(&oSettings, m_poSettings, sizeof(tdSettings));
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
                                  QStringLiteral("Cancel"), 0, 1000, m_poWindow);
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
        m_poBusyArea->setEnabled(false);
        poWriter->start();
        oLoop.exec();
        m_poBusyArea->setEnabled(true);
    }
    poWriter->wait();
    delete poWriter;
    m_pbSaveCancel = nullptr;
    if (m_bCloseAfterSave)
        QTimer::singleShot(0, m_poWindow, &QWidget::close);
    else if (bWasConverting)
        emit vConvertAgain();
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
    emit vNamesChanged();
    return true;
}

void FileActions::SaveImage()
{
    if (bBusy()) return;
    if (m_fnCameraLive() || !m_fnSource()) return;
    // The folder of the last save, else the picture's; the picture's name.
    const QString sBase = QFileInfo(m_sImagePath).fileName();
    const QString sStart = sStartFolder(m_sImageFolder) + QLatin1Char('/') +
                           (sBase.isEmpty() ? QStringLiteral("picture") : sBase);
    const QString sName =
        QFileDialog::getSaveFileName(m_poWindow, QStringLiteral("Save as..."), sStart, oGetExtension(),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (!sName.isEmpty()) vSaveWithQuestions(sName);
}

void FileActions::Save()
{
    if (bBusy() || m_fnCameraLive() || !m_fnSource()) return;
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
        QMessageBox::warning(m_poWindow, QStringLiteral("Save image"),
                             m_poStatusLine->text() + QLatin1Char('.'));
}

void FileActions::vSaveWithQuestions(const QString& sName)
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
        QMessageBox::warning(m_poWindow, QStringLiteral("Save image"), sText + QLatin1Char('.'));
        return;
    }
    const QString sSource = sSourceAmongTargets(sName);
    QString sQuestion;
    if (!sSource.isEmpty())
        sQuestion = QStringLiteral("%1 is the picture you opened. Replace it with the converted picture?")
                        .arg(sSource);
    else if (!asExisting.isEmpty() && m_poSettings->ConversionType == ConversionType_KRU)
        sQuestion =
            QStringLiteral("%1 exists. Append the picture to it as a new record?").arg(asExisting.first());
    else if (asExisting.size() == 1)
        sQuestion = QStringLiteral("%1 exists. Replace it?").arg(asExisting.first());
    else if (!asExisting.isEmpty())
        sQuestion = QStringLiteral("%1 exist. Replace them?").arg(asExisting.join(QStringLiteral(", ")));
    if (!sQuestion.isEmpty() &&
        QMessageBox::question(m_poWindow, QStringLiteral("Save image"), sQuestion,
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
        QMessageBox::warning(m_poWindow, QStringLiteral("Save image"),
                             m_poStatusLine->text() + QLatin1Char('.'));
}

QString FileActions::sStartFolder(const QString& sLast) const
{
    if (!sLast.isEmpty() && QFileInfo(sLast).isDir()) return sLast;
    const QString sSourceFolder =
        m_sSourcePath.isEmpty() ? QString() : QFileInfo(m_sSourcePath).absolutePath();
    if (!sSourceFolder.isEmpty() && QFileInfo(sSourceFolder).isDir()) return sSourceFolder;
    return QDir::homePath();
}

QStringList FileActions::asSaveTargets(const QString& sName) const
{
    const QByteArray oName = QFile::encodeName(sName);
    QStringList asTargets;
    if (m_poSettings->ConversionType == ConversionType_RAW)
        asTargets << (bEndsWith(oName.constData(), ".raw") ? sName : sName + QStringLiteral(".raw"));
    if (char* pszMain = szGetOutputFileName(oName.constData(), m_poSettings))
    {
        asTargets << QFile::decodeName(pszMain);
        char* apszCompanions[2] = {nullptr, nullptr};
        const int iCompanions = iGetCompanionFileNames(pszMain, m_poSettings, apszCompanions);
        for (int i = 0; i < iCompanions; i++)
        {
            asTargets << QFile::decodeName(apszCompanions[i]);
            free(apszCompanions[i]);
        }
        free(pszMain);
    }
    return asTargets;
}

QString FileActions::sSourceAmongTargets(const QString& sName) const
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
