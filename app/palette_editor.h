#pragma once

#include "colorbutton.h"
#include "panel_widgets.h"

#include "qev/base/settings.h"

#include <QObject>
#include <QString>

#include <functional>

class QPushButton;
class QSlider;
class SettingsHistory;
class StatusLine;

// The palette editor: the "Custom palette" group of the settings panel. Sixteen
// entries to select and to swap by dragging, the R, G, B levels of the selected
// one, colours picked in the picture, and palette files. Every edit is made on
// the window's settings record (its custom palette and selected entry) and
// recorded for Undo; the window notices it when it next paints. "Get from image"
// is the window's: it converts the picture, then hands the palette to
// vTakePalette.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the editor's own functions change it.
class PaletteEditor : public QObject
{
    Q_OBJECT
public:
    PaletteEditor(tdSettings* poSettings, SettingsHistory* poHistory, StatusLine* poStatusLine,
                  QObject* poParent);

    // The group and its controls, at full-window positions on the panel.
    void vBuildControls(QWidget* poPanel);

    ColorButton* m_apoColorButtons[16]; // by palette entry
    QSlider* m_poR;
    QSlider* m_poG;
    QSlider* m_poB;
    tdControlRow m_oRRow;
    tdControlRow m_oGRow;
    tdControlRow m_oBRow;
    QPushButton* m_poGetFromImage;
    QPushButton* m_poLoadPalette;
    QPushButton* m_poSavePalette;

    tdSettings* m_poSettings; // the window's record
    SettingsHistory* m_poHistory;
    StatusLine* m_poStatusLine;
    QString m_sPaletteFile;          // the palette file last loaded or written, absolute
    Color m_aoPaletteFileColors[16]; // its colours
    // The window's answers: whether a save or a read runs (nothing else may
    // start), whether the camera is live (no palette files then), and the folder
    // a dialog starts in when the last one named is gone.
    std::function<bool()> m_fnBusy;
    std::function<bool()> m_fnCameraLive;
    std::function<QString(const QString&)> m_fnStartFolder;

    // The palette file whose colours the custom palette holds, else empty.
    QString sMatchingPaletteFile() const;
    // Reads a palette file into the custom palette: refused (palette kept) when
    // it cannot be read or holds no colour; a short file sets only its entries.
    void vLoadPaletteFrom(const QString& sName);
    // Writes the custom palette as a GIMP palette (".gpl" added when missing).
    void vSavePaletteTo(const QString& sName);
    // The custom palette becomes poColors (16), undoably; sStatus says so.
    void vTakePalette(const Color* poColors, const QString& sStatus);
    // A click in the picture, whose shown colour is oShown and whose source
    // picture's colour is *poSource (null off the picture): a right click with an
    // entry selected sets the entry to the source's colour, any other click
    // selects the entry nearest to the shown colour.
    void vPick(bool bRight, const Color& oShown, const Color* poSource);
    // Sets the buttons and the sliders from the record and applies the enabling
    // rules of the editor's controls.
    void vUpdateControls();

public slots:
    // The slider is the MSX level 0..7 of one channel of the selected entry.
    void R(int iValue);
    void G(int iValue);
    void B(int iValue);
    void vColorButtonClicked(int iIndex);
    void vColorButtonDragAndDropped(int iTarget, int iSource);
    void LoadPalette();
    void SavePalette();

signals:
    // The record changed: the window repaints and so notices it.
    void vChanged();
    // The palette file remembered changed: the command line names it.
    void vPaletteFileChanged();

private:
    void vSetPaletteComponent(int iChannel, int iValue, QLabel* poLabel);
    void vRefreshButtons();
    void vRememberPaletteFile(const QString& sFile, const Color* poColors);
};
