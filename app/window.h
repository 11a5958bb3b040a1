#pragma once

#include "panel_widgets.h"
#include "preview.h"
#include "status_line.h"

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QCamera;
class QCheckBox;
class QComboBox;
class QEventLoop;
class QFrame;
class QImageCapture;
class QLabel;
class QLineEdit;
class QMediaCaptureSession;
class QMenu;
class QMenuBar;
class QToolBar;
class QProgressBar;
class QScrollArea;
class QScrollBar;
class QPushButton;
class QSettings;
class QSlider;
class QThread;
class QToolButton;
class QUndoStack;
class QTimer;
class QVideoSink;
class PaletteEditor;
class SettingsHistory;
class View;

// Registers the resources compiled into the program (pictures, font, icon); the
// window calls it too, and calls after the first do nothing.
void vInitResources();

// The main window: a display of the converted picture at the left (1024 x 768
// at full size, smaller on small screens), the controls in groups on a panel at
// the right that scrolls when the window is lower than the panel, a status line
// over the bottom of the display. Every control writes one field of
// m_oSettings; the paint handler compares the record byte by byte with the copy
// it saw last and, on a difference, refreshes the controls and converts the
// source picture 250 ms later (at once in camera live mode), so a burst of
// changes costs one conversion. The conversion is the KRU writer without a file
// (the PNG writer for conversion type PNG), run by a worker thread on copies of
// the settings and the source picture, so the window stays responsive: a newer
// change cancels the running conversion and starts again when it has stopped,
// and only the newest result is painted.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the window's own slots and handlers change it.
//
// One unit per concern: window.cpp (controls, menus, toolbar, size, closing, and
// what joins the rooms), window_settings.cpp (controls <-> the settings record,
// enabling rules), window_view.cpp (painting and the events over the display),
// window_open.cpp (files, drops, recent pictures, clipboard, camera),
// window_save.cpp (saving and its questions). Classes of their own: View (the
// display: fit, zoom, pan, original), Preview (the conversion beside the event
// loop, its wait and progress), PaletteEditor (entries, levels, picking, palette
// files), SettingsHistory (Undo), StatusLine, the command line (command_line),
// the About box (about_box) and the panel's building blocks (panel_widgets).
class Window : public QWidget
{
    Q_OBJECT
public:
    // The display area and the window at full size, in pixels; the settings
    // panel is the rest of the full-size window.
    static constexpr int g_iRenderWidth = 1024;
    static constexpr int g_iRenderHeight = 768;
    static constexpr int g_iWindowWidth = 1648;
    static constexpr int g_iWindowHeight = 768; // below the menu bar and the toolbar
    static constexpr int g_iPanelHeight = 716;  // the settings panel's content
    // The smallest window.
    static constexpr int g_iMinimumWidth = 820;
    static constexpr int g_iMinimumHeight = 400;

    explicit Window(QWidget* poParent = nullptr);
    ~Window() override;

    // Controls, named like their objects and settings fields.
    QMenuBar* m_poMenuBar;
    QToolBar* m_poToolBar;         // Open, Save and the command line, in view at every size
    QScrollArea* m_poSettingsArea; // scrolls the settings panel
    StatusLine* m_poStatusLine;
    QToolButton* m_poOpen; // the arrow lists the recent pictures
    QComboBox* m_poConversionType;
    QComboBox* m_poFitMode;
    QComboBox* m_poResizeFilter;
    QComboBox* m_poDisplayFilter;
    QComboBox* m_poYJK2RGBInterpolation;
    QComboBox* m_poInputAspectRatioType;
    QComboBox* m_poOutputAspectRatioType;
    QComboBox* m_poOutputSizeType;
    QComboBox* m_poScreenMode;
    QComboBox* m_poPaletteType;
    QComboBox* m_poRGB2YJKMethod;
    QComboBox* m_poDeltaMethod;
    QComboBox* m_poDitheringMode;
    QCheckBox* m_poRealMSXAspectRatio;
    QCheckBox* m_poInterlacedMode;
    QCheckBox* m_poScreen10Palette;
    QLineEdit* m_poCustomInputAspectRatio;
    QLineEdit* m_poCustomOutputAspectRatio;
    QLineEdit* m_poOutputWidth;
    QLineEdit* m_poOutputHeight;
    QLineEdit* m_poCommandLine;
    QSlider* m_poHorizontalShift;
    QSlider* m_poBrightnessWeight;
    QSlider* m_poPaletteDetailsEnhancement;
    QSlider* m_poScreen2DetailsEnhancement;
    QSlider* m_poYJKDetailsEnhancement;
    QSlider* m_poErrorDiffusionFactor;
    QSlider* m_poBayerFactor;
    QSlider* m_poBayerLowThreshold;
    QSlider* m_poBayerHighThreshold;
    QLabel* m_poAverageErrorR;
    QLabel* m_poAverageErrorG;
    QLabel* m_poAverageErrorB;
    QLabel* m_poAverageErrorRGB;
    QPushButton* m_poResetToDefaults;
    QPushButton* m_poCopy;
    QPushButton* m_poPaste;
    QPushButton* m_poAbout;
    QPushButton* m_poCaptureFromCamera;
    QPushButton* m_poSaveImage;

    // Caption, control and value label of each row that the enabling rules name.
    tdControlRow m_oScreenModeRow;
    tdControlRow m_oDitheringModeRow;
    tdControlRow m_oBayerFactorRow;
    tdControlRow m_oBayerLowThresholdRow;
    tdControlRow m_oBayerHighThresholdRow;
    tdControlRow m_oErrorDiffusionFactorRow;
    tdControlRow m_oOutputSizeRow;
    tdControlRow m_oFitModeRow;
    tdControlRow m_oHorizontalShiftRow;
    tdControlRow m_oDeltaMethodRow;
    tdControlRow m_oBrightnessWeightRow;
    tdControlRow m_oScreen2DetailsEnhancementRow;
    tdControlRow m_oYJKDetailsEnhancementRow;
    tdControlRow m_oRGB2YJKMethodRow;
    tdControlRow m_oPaletteTypeRow;
    tdControlRow m_oPaletteDetailsEnhancementRow;
    QLabel* m_poAverageErrorHeading;
    QLabel* m_apoAverageErrorCaptions[4];

    // The source picture; the view holds the others.
    Image* m_poSourceImage; // null until a picture arrives; owned through m_poSourceOwner
    // The source picture is never changed once it is the source, only replaced:
    // conversions and saves running in other threads share it instead of copying
    // it on this thread (a 9000 x 9000 picture is 243 MB).
    std::shared_ptr<const Image> m_poSourceOwner;

    // Both records start as byte copies (padding included) and are only ever
    // copied whole with memcpy, so a byte comparison sees real changes only.
    tdSettings m_oSettings;
    tdSettings m_oLastSeenSettings; // what the paint handler saw last; zero at first

    bool m_bCameraLive; // frames replace the source picture one after another
    bool m_bClipboardHasImage;
    bool m_bCaptureRequested; // a camera frame was asked for and has not arrived
    QString m_sImagePath;     // proposed by the save dialog: folder/base name
    QString m_sSourcePath;    // the loaded picture's file, empty for pastes and camera frames
    QString m_sImageFolder;   // where the last picture was saved, empty before
    // The last save's chosen name, the picture it saved and the files it wrote:
    // Save (Ctrl+S) writes them again without asking.
    QString m_sSavedName;
    QString m_sSavedSource;
    QStringList m_asSavedFiles;
    QSettings* m_poSettingsStore;
    Preview* m_poPreview; // the conversion of the live preview
    PaletteEditor* m_poPaletteEditor;
    SettingsHistory* m_poHistory;             // Undo of palette edits and resets to the defaults
    View* m_poView;                           // the display area and what it shows
    QMediaCaptureSession* m_poCaptureSession; // created with the camera objects
    QVideoSink* m_poVideoSink;
    QCamera* m_poCamera;
    QImageCapture* m_poImageCapture;
    // While a save runs: its cancel flag (else null), and whether the window
    // closes when it has stopped.
    std::atomic<bool>* m_pbSaveCancel;
    bool m_bCloseAfterSave;
    QEventLoop* m_poReadLoop; // while a picture is read, else null

    // Processes events until no conversion runs or waits for its timer, or the
    // time is up; true when idle.
    bool bWaitForConversion(int iTimeoutMs);
    // Stops the running conversion and any waiting one (also a save or a read);
    // the display keeps the last picture.
    void vCancelConversion();

    // Pushes the settings into the controls and applies the enabling rules.
    void vUpdateUI();
    // The save dialog's only filter for the current conversion type and screen.
    QString oGetExtension() const;

    // Makes the first decodable file of the list the source picture (retro
    // formats first, then the program's own readers) and converts it at once.
    // Returns false, changing nothing, when no file could be read.
    bool bLoadImageFiles(const QStringList& asPaths);
    // Converts the source picture into the named file (the extension of the
    // conversion type is appended). Returns false when nothing was written.
    bool bSaveImageAs(const QString& sName);
    // A notice when an interlaced screen dump has no second page beside it, or a
    // dump of a palette screen no palette file.
    static QString sMissingCompanionFile(const QString& sPath);
    // Why a file gave no picture: what the file system says (no such file, a
    // folder, permission denied, empty), else the reader's reason.
    static QString sWhyUnreadable(const QString& sPath, const QString& sReason);
    // Reads a picture in a thread of its own while the event loop runs (the
    // settings disabled meanwhile). Returns it (the caller owns it), or null with
    // the reader's reason, or null with *pbCancelled when Esc gave up on it.
    // *poFitted receives the picture fitted to the display area, as shown until converted.
    Image* poReadBesideEventLoop(const QString& sPath, QString* psError, QString* psNote, QImage* poFitted,
                                 bool* pbCancelled);
    // Makes poImage (owned from here on) the source picture.
    void vReplaceSourceImage(Image* poImage);
    // Runs work in a thread of its own while a nested event loop keeps the window
    // responsive (the settings disabled, sStatus shown). True when the work
    // ended; false when Esc gave up on it, which then ends on its own: fnWork
    // must own (or share) everything it touches.
    bool bRunBesideEventLoop(const std::function<void()>& fnWork, const QString& sStatus);
    // A save or a read runs in a nested event loop: nothing else may start.
    bool bBusy() const { return m_pbSaveCancel || m_poReadLoop; }
    // The Open dialog's filters: every name the program's readers take, then all files.
    static QString sOpenFilter();
    // The pictures opened last, newest first, at most g_iRecentCount, from the store.
    static constexpr int g_iRecentCount = 5;
    QStringList asRecentFiles() const;
    // Shows the picture's name in the title: a file name, or what it came from.
    void vSetPictureName(const QString& sName);

    // A dialog's start folder: sLast when it is a folder, else the source
    // picture's folder, else the home folder.
    QString sStartFolder(const QString& sLast) const;
    // Every file saving as sName writes: the main file, then its companions.
    QStringList asSaveTargets(const QString& sName) const;
    // The source picture's file name when saving as sName would write over it
    // (main file or companion), else empty.
    QString sSourceAmongTargets(const QString& sName) const;
    // The command line equivalent, with the opened picture, the output name and
    // the palette file of a custom palette.
    void vUpdateCommandLine();

    // The window's first size: full size (the display area, the panel, the menu
    // bar and the toolbar) when the screen's available area (frame included) has
    // room, else that area less an allowance for the frame.
    QSize oFittedSize(const QSize& oAvailable) const;

public slots:
    void InterlacedMode(bool bValue);
    void RealMSXAspectRatio(bool bValue);
    void Screen10Palette(bool bValue);
    void ConversionType(int iIndex);
    void DeltaMethod(int iIndex);
    void DisplayFilter(int iIndex);
    void FitMode(int iIndex);
    void InputAspectRatioType(int iIndex);
    void OutputAspectRatioType(int iIndex);
    void OutputSizeType(int iIndex);
    void DitheringMode(int iIndex);
    void PaletteType(int iIndex);
    void RGB2YJKMethod(int iIndex);
    void ResizeFilter(int iIndex);
    void ScreenMode(int iIndex);
    void YJK2RGBInterpolation(int iIndex);
    void CustomInputAspectRatio();
    void CustomOutputAspectRatio();
    void OutputWidth();
    void OutputHeight();
    void BrightnessWeight(int iValue);
    void ErrorDiffusionFactor(int iValue);
    void PaletteDetailsEnhancement(int iValue);
    void Screen2DetailsEnhancement(int iValue);
    void YJKDetailsEnhancement(int iValue);
    void BayerFactor(int iValue);
    void BayerLowThreshold(int iValue);
    void BayerHighThreshold(int iValue);
    void HorizontalShift(int iValue);
    void GetFromImage();
    void ResetToDefaults();
    void SaveImage(); // Save As: asks for the name
    void Save();      // the last name of this picture again, else Save As
    void About();
    void Copy();
    void Paste();
    void Open();
    void CaptureFromCamera();
    void imageCaptured(int iId, const QImage& oFrame);
    void processClipboardChange();
    void vDoUpdatePreviewImage();

protected:
    void paintEvent(QPaintEvent* poEvent) override;
    void dragEnterEvent(QDragEnterEvent* poEvent) override;
    void dropEvent(QDropEvent* poEvent) override;
    void mousePressEvent(QMouseEvent* poEvent) override;
    void mouseMoveEvent(QMouseEvent* poEvent) override;
    void mouseReleaseEvent(QMouseEvent* poEvent) override;
    void wheelEvent(QWheelEvent* poEvent) override;
    void resizeEvent(QResizeEvent* poEvent) override;
    void keyPressEvent(QKeyEvent* poEvent) override;
    void keyReleaseEvent(QKeyEvent* poEvent) override;
    void closeEvent(QCloseEvent* poEvent) override;
    bool eventFilter(QObject* poObject, QEvent* poEvent) override;

private:
    // A conversion ended: its picture is shown, its error triple too.
    void vPreviewFinished(tdPreviewJob* poJob);
    void vBuildControls();
    void vConnectControls();
    void vSetScaledField(double* pfField, int iValue, QLabel* poLabel);
    bool bStartCamera();
    void vBuildMenus();
    void vFillRecentMenu(QMenu* poMenu);
    // The questions before a save (write-protected and existing files), then the save.
    void vSaveWithQuestions(const QString& sName);
};
