#pragma once

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class Preview;
class QEventLoop;
class QMenu;
class QSettings;
class QWidget;
class StatusLine;

// File actions: opening pictures (read beside the event loop, with the reader's
// reason when a file gives none), the recent pictures, saving (beside the event
// loop, cancellable, committing nothing when cancelled) and the questions before
// a save (existing and write-protected files), with the names the dialogs
// propose. While a read or a save runs nothing else may start (bBusy), and the
// settings panel is disabled.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the actions' own functions change it.
class FileActions : public QObject
{
    Q_OBJECT
public:
    // The pictures opened last, newest first, at most this many, in the store.
    static constexpr int g_iRecentCount = 5;

    // poWindow parents the dialogs and closes after a save when asked meanwhile.
    // poSettings is the window's record (the save converts a copy; an opened
    // picture names its SourceBaseName); the recent pictures live in poStore.
    FileActions(QWidget* poWindow, tdSettings* poSettings, StatusLine* poStatusLine, Preview* poPreview,
                QSettings* poStore);

    QWidget* m_poWindow;
    QWidget* m_poBusyArea;    // disabled while a read or a save runs (the settings panel)
    QWidget* m_poDisplayArea; // an opened picture is fitted to its size at once
    tdSettings* m_poSettings;
    StatusLine* m_poStatusLine;
    Preview* m_poPreview;
    QSettings* m_poSettingsStore;
    // The window's answers: its source picture (shared, null before one) and
    // whether the camera is live (no files open or save then).
    std::function<std::shared_ptr<const Image>()> m_fnSource;
    std::function<bool()> m_fnCameraLive;

    QString m_sImagePath;   // proposed by the save dialog: folder/base name
    QString m_sSourcePath;  // the opened picture's file, empty for pastes and camera frames
    QString m_sImageFolder; // where the last picture was saved, empty before
    // The last save's chosen name, the picture it saved and the files it wrote:
    // Save (Ctrl+S) writes them again without asking.
    QString m_sSavedName;
    QString m_sSavedSource;
    QStringList m_asSavedFiles;
    // While a save runs: its cancel flag (else null), and whether the window
    // closes when it has stopped.
    std::atomic<bool>* m_pbSaveCancel;
    bool m_bCloseAfterSave;
    QEventLoop* m_poReadLoop; // while a picture is read, else null

    // A save or a read runs in a nested event loop: nothing else may start.
    bool bBusy() const { return m_pbSaveCancel || m_poReadLoop; }
    // Esc: cancels a save, gives up a read.
    void vCancel();
    // A close request: true when a save runs, which is cancelled, and the window
    // closes once it has stopped (the caller ignores the request meanwhile).
    bool bDeferClose();

    // Makes the first decodable file of the list the source picture (vOpened)
    // and converts it at once. Returns false, changing nothing, when no file
    // could be read; the status line says why.
    bool bLoadImageFiles(const QStringList& asPaths);
    // A picture that came from no file (clipboard, camera): the save dialog proposes sName.
    void vSetUnnamedSource(const QString& sName);
    // Converts the source picture into the named file (the extension of the
    // conversion type is appended). Returns false when nothing was written.
    bool bSaveImageAs(const QString& sName);
    // The save dialog's only filter for the current conversion type and screen.
    QString oGetExtension() const;
    // The output the command line names: the last save of this picture, else
    // the name the save dialog proposes.
    QString sOutputName() const;

    // Runs work in a thread of its own while a nested event loop keeps the window
    // responsive (the settings disabled, sStatus shown). True when the work
    // ended; false when Esc gave up on it, which then ends on its own: fnWork
    // must own (or share) everything it touches.
    bool bRunBesideEventLoop(const std::function<void()>& fnWork, const QString& sStatus);
    // A dialog's start folder: sLast when it is a folder, else the source
    // picture's folder, else the home folder.
    QString sStartFolder(const QString& sLast) const;
    // Every file saving as sName writes: the main file, then its companions.
    QStringList asSaveTargets(const QString& sName) const;
    // The source picture's file name when saving as sName would write over it
    // (main file or companion), else empty.
    QString sSourceAmongTargets(const QString& sName) const;
    // The Open dialog's filters: every name the program's readers take, then all files.
    static QString sOpenFilter();
    // The pictures opened last, newest first, from the store.
    QStringList asRecentFiles() const;
    // Lists the recent pictures in a menu, each opening its picture.
    void vFillRecentMenu(QMenu* poMenu);
    // A notice when an interlaced screen dump has no second page beside it, or a
    // dump of a palette screen no palette file.
    static QString sMissingCompanionFile(const QString& sPath);
    // Why a file gave no picture: what the file system says (no such file, a
    // folder, permission denied, empty), else the reader's reason.
    static QString sWhyUnreadable(const QString& sPath, const QString& sReason);

public slots:
    void Open();
    void SaveImage(); // Save As: asks for the name
    void Save();      // the last name of this picture again, else Save As

signals:
    // A file gave the new source picture poImage (the receiver owns it from here
    // on), named sFile; oFitted is it fitted to the display area, as shown until
    // its conversion is painted. The paths and the settings are set already.
    void vOpened(Image* poImage, const QImage& oFitted, const QString& sFile);
    // The preview conversion stopped for a read or a save starts again.
    void vConvertAgain();
    // The names the command line repeats changed.
    void vNamesChanged();

private:
    // Reads a picture in a thread of its own while the event loop runs. Returns
    // it (the caller owns it), or null with the reader's reason, or null with
    // *pbCancelled when Esc gave up on it. *poFitted receives the picture fitted
    // to the display area.
    Image* poReadBesideEventLoop(const QString& sPath, QString* psError, QString* psNote, QImage* poFitted,
                                 bool* pbCancelled);
    // The questions before a save (write-protected and existing files), then the save.
    void vSaveWithQuestions(const QString& sName);
};
