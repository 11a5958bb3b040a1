#pragma once

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <QWidget>

#include <memory>

class CameraInput;
class FileActions;
class PaletteEditor;
class Preview;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QSettings;
class QToolBar;
class QToolButton;
class SettingsHistory;
class SettingsPanel;
class StatusLine;
class View;
struct tdPreviewJob;

// Registers the resources compiled into the program (pictures, font, icon); the
// window calls it too, and calls after the first do nothing.
void vInitResources();

// The main window: a display of the converted picture at the left (1024 x 768
// at full size, smaller on small screens), the controls in groups on a panel at
// the right that scrolls when the window is lower than the panel, a status line
// over the bottom of the display, a menu bar and a toolbar.
//
// The window composes rooms, each a class of its own with the state it owns:
// SettingsPanel (the settings controls <-> the record, enabling rules),
// PaletteEditor (entries, levels, picking, palette files), View (the display:
// fit, zoom, pan, original), Preview (the conversion beside the event loop, its
// wait and progress), FileActions (open, save, recent pictures, the questions),
// CameraInput, SettingsHistory (Undo), StatusLine; the command line
// (command_line), the About box (about_box) and the panel's building blocks
// (panel_widgets) are free functions. The rooms talk to the window by signals
// and small callbacks; the window joins them.
//
// The window itself holds the settings record and the source picture, which
// every room reads. Every control writes one field of m_oSettings; the paint
// handler compares the record byte by byte with the copy it saw last and, on a
// difference, refreshes the controls and has the source picture converted
// 250 ms later (at once in camera live mode), so a burst of changes costs one
// conversion; only the newest result is painted. Its own units: window.cpp
// (layout, menus, toolbar, size, closing, and what joins the rooms),
// window_view.cpp (painting and the events over the display), window_open.cpp
// (the source picture, drops, the clipboard, camera frames).
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the window's own slots and handlers change it.
class Window : public QWidget
{
    Q_OBJECT
public:
    // The window at full size, in pixels: the display area (1024 x 768) and the
    // settings panel beside it.
    static constexpr int g_iWindowWidth = 1648;
    static constexpr int g_iWindowHeight = 768; // below the menu bar and the toolbar
    // The smallest window.
    static constexpr int g_iMinimumWidth = 820;
    static constexpr int g_iMinimumHeight = 400;

    explicit Window(QWidget* poParent = nullptr);
    ~Window() override;

    // The window's own controls, named like their objects.
    QMenuBar* m_poMenuBar;
    QToolBar* m_poToolBar; // Open, Save and the command line, in view at every size
    StatusLine* m_poStatusLine;
    QToolButton* m_poOpen; // the arrow lists the recent pictures
    QLineEdit* m_poCommandLine;
    QPushButton* m_poCopy;
    QPushButton* m_poPaste;
    QPushButton* m_poAbout;
    QPushButton* m_poCaptureFromCamera;
    QPushButton* m_poSaveImage;

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

    bool m_bClipboardHasImage;
    QSettings* m_poSettingsStore;
    Preview* m_poPreview; // the conversion of the live preview
    FileActions* m_poFileActions;
    CameraInput* m_poCameraInput;
    SettingsPanel* m_poSettingsPanel;
    PaletteEditor* m_poPaletteEditor;
    SettingsHistory* m_poHistory; // Undo of palette edits and resets to the defaults
    View* m_poView;               // the display area and what it shows

    // Processes events until no conversion runs or waits for its timer, or the
    // time is up; true when idle.
    bool bWaitForConversion(int iTimeoutMs);
    // Stops the running conversion and any waiting one (also a save or a read);
    // the display keeps the last picture.
    void vCancelConversion();

    // Pushes the settings into the controls and applies the enabling rules.
    void vUpdateUI();
    // Makes poImage (owned from here on) the source picture.
    void vReplaceSourceImage(Image* poImage);
    // A file gave the new source picture (owned from here on): shown at once,
    // fitted, and converted.
    void vOpened(Image* poImage, const QImage& oFitted, const QString& sFile);
    // A camera frame (owned from here on; null for none): the new source picture.
    void vCameraFrame(Image* poImage);
    // Shows the picture's name in the title: a file name, or what it came from.
    void vSetPictureName(const QString& sName);

    // The command line equivalent, with the opened picture, the output name and
    // the palette file of a custom palette.
    void vUpdateCommandLine();

    // The window's first size: full size (the display area, the panel, the menu
    // bar and the toolbar) when the screen's available area (frame included) has
    // room, else that area less an allowance for the frame.
    QSize oFittedSize(const QSize& oAvailable) const;

public slots:
    void GetFromImage();
    void About();
    void Copy();
    void Paste();
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
    void vBuildMenus();
};
