// The palette editor: the sixteen entries, their sliders, dragging, picking
// colours in the picture, palette files, "Get from image", and Undo.

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

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUndoStack>

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

// One undoable change of the settings record: the record before and after it.
// The change is made before the command is pushed, so its first redo does nothing.
class SettingsEdit : public QUndoCommand
{
public:
    SettingsEdit(Window* poWindow, const QString& sText, const tdSettings& oBefore, bool bWhole, int iMergeId)
        : QUndoCommand(sText), m_poWindow(poWindow), m_bWhole(bWhole), m_iMergeId(iMergeId)
    {
        memcpy(&m_oBefore, &oBefore, sizeof(tdSettings));
        memcpy(&m_oAfter, &poWindow->m_oSettings, sizeof(tdSettings));
    }
    void undo() override { m_poWindow->vRestoreSettings(m_oBefore, m_bWhole); }
    void redo() override
    {
        if (!m_bDone)
            m_bDone = true;
        else
            m_poWindow->vRestoreSettings(m_oAfter, m_bWhole);
    }
    int id() const override { return m_iMergeId; }
    bool mergeWith(const QUndoCommand* poOther) override
    {
        const SettingsEdit* poEdit = static_cast<const SettingsEdit*>(poOther);
        memcpy(&m_oAfter, &poEdit->m_oAfter, sizeof(tdSettings));
        return true;
    }

private:
    Window* m_poWindow;
    tdSettings m_oBefore;
    tdSettings m_oAfter;
    bool m_bWhole;
    int m_iMergeId;
    bool m_bDone = false;
};

} // namespace

// R, G, B: the slider is the MSX level 0..7 of one channel of the selected entry.
// A channel already at that level is kept (a picked colour between levels stays
// as it is until its slider moves).
void Window::vSetPaletteComponent(int iChannel, int iValue, QLabel* poLabel)
{
    poLabel->setText(QString::number(iValue));
    const int iSelected = m_oSettings.SelectedColor;
    if (iSelected < 0 || iSelected > 15) return;
    Color* poColor = &m_oSettings.CustomPalette[iSelected];
    unsigned char* pucChannel = iChannel == 0 ? &poColor->r : (iChannel == 1 ? &poColor->g : &poColor->b);
    if (iLevelFromByte(*pucChannel) != iValue)
    {
        tdSettings oBefore;
        memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
        *pucChannel = static_cast<unsigned char>(iByteFromLevel(iValue));
        // A slider dragged over several levels undoes in one step.
        vRecordEdit(QStringLiteral("palette entry %1").arg(iSelected), oBefore, false,
                    1 + iSelected * 3 + iChannel);
    }
    update();
}

void Window::R(int iValue)
{
    vSetPaletteComponent(0, iValue, m_oRRow.poValue);
}

void Window::G(int iValue)
{
    vSetPaletteComponent(1, iValue, m_oGRow.poValue);
}

void Window::B(int iValue)
{
    vSetPaletteComponent(2, iValue, m_oBRow.poValue);
}

void Window::vRecordEdit(const QString& sText, const tdSettings& oBefore, bool bWhole, int iMergeId)
{
    if (memcmp(&oBefore, &m_oSettings, sizeof(tdSettings)) == 0) return;
    m_poUndoStack->push(new SettingsEdit(this, sText, oBefore, bWhole, iMergeId));
}

void Window::vRestoreSettings(const tdSettings& oSettings, bool bWhole)
{
    if (bWhole)
    {
        memcpy(&m_oSettings, &oSettings, sizeof(tdSettings));
        // Every control is set again from the record.
        memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));
    }
    else
    {
        memcpy(m_oSettings.CustomPalette, oSettings.CustomPalette, sizeof(m_oSettings.CustomPalette));
    }
    update();
}

void Window::vColorButtonClicked(int iIndex)
{
    if (iIndex < 0 || iIndex > 15) return;
    m_oSettings.SelectedColor = iIndex;
    update();
}

void Window::vColorButtonDragAndDropped(int iTarget, int iSource)
{
    if (iTarget < 0 || iTarget > 15 || iSource < 0 || iSource > 15) return;
    tdSettings oBefore;
    memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
    std::swap(m_oSettings.CustomPalette[iTarget], m_oSettings.CustomPalette[iSource]);
    vRecordEdit(QStringLiteral("swap palette entries"), oBefore, false);
    update();
}

void Window::GetFromImage()
{
    if (bBusy()) return;
    if (!m_poSourceImage || !bSettingsUsePalette(&m_oSettings)) return;
    // With palette type Custom the settings would hand back the custom palette
    // itself: the palette comes from the Auto settings instead.
    std::shared_ptr<tdSettings> poSettings = std::make_shared<tdSettings>();
    memcpy(poSettings.get(), &m_oSettings, sizeof(tdSettings));
    const bool bCustom = poSettings->PaletteType == PaletteType_Custom;
    if (bCustom) poSettings->PaletteType = PaletteType_Auto;
    // The palette search of a large picture takes seconds: it runs beside the
    // event loop, on the shared source picture.
    std::shared_ptr<Palette> poPalette = std::make_shared<Palette>();
    const std::shared_ptr<const Image> poSource = m_poSourceOwner;
    const bool bWasConverting = m_poPreview->bStop();
    const bool bEnded = bRunBesideEventLoop(
        [poSource, poSettings, poPalette]()
        {
            std::lock_guard<std::mutex> oLock(oCoreLock());
            oWriteImageToKRUFile(poSource.get(), poSettings.get(), nullptr, nullptr, poPalette.get(),
                                 CompressionType_None);
        },
        QStringLiteral("Taking the palette from the picture... (Esc cancels)"));
    if (bWasConverting) vDoUpdatePreviewImage();
    if (!bEnded)
    {
        m_poStatusLine->vShow(QStringLiteral("Get from image cancelled: the palette is kept"), false);
        return;
    }
    tdSettings oBefore;
    memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
    memcpy(m_oSettings.CustomPalette, poPalette->m_aoColors, sizeof(m_oSettings.CustomPalette));
    vRecordEdit(QStringLiteral("palette from the picture"), oBefore, false);
    m_poStatusLine->vShow(
        bCustom ? QStringLiteral("The custom palette is now the one palette type Auto builds for the "
                                 "picture (Ctrl+Z undoes)")
                : QStringLiteral("The custom palette is now the one palette type %1 gives for the picture "
                                 "(Ctrl+Z undoes)")
                      .arg(QLatin1String(g_apszPaletteTypeNames[m_oSettings.PaletteType])),
        false);
    update();
}

void Window::vLoadPaletteFrom(const QString& sName)
{
    if (bBusy()) return;
    // The words of qev --palette= for a file it refuses; the palette is kept then.
    const QByteArray oName = QFile::encodeName(sName);
    FILE* poFile = fopen(oName.constData(), "rb");
    if (!poFile)
    {
        m_poStatusLine->vShow(QStringLiteral("Palette not loaded: cannot read palette file %1: %2")
                                  .arg(sName, QString::fromLocal8Bit(strerror(errno))),
                              true);
        return;
    }
    fclose(poFile);
    std::unique_ptr<Palette> poPalette(new Palette());
    poPalette->m_uiColorCount = 0;
    {
        std::lock_guard<std::mutex> oLock(oCoreLock());
        vLoadPaletteFile(poPalette.get(), oName.constData());
    }
    const int iCount = static_cast<int>(poPalette->m_uiColorCount);
    if (iCount == 0)
    {
        m_poStatusLine->vShow(
            QStringLiteral("Palette not loaded: palette file %1 holds no colour").arg(sName), true);
        return;
    }
    // A short file sets its entries and leaves the others as they were. The
    // colours remembered are those qev --palette= makes of the file (it repeats
    // the last colour), so the command line names the file only when both agree.
    tdSettings oBefore;
    memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
    memcpy(m_oSettings.CustomPalette, poPalette->m_aoColors, sizeof(Color) * static_cast<size_t>(iCount));
    vRecordEdit(QStringLiteral("load palette"), oBefore, false);
    if (iCount < 16)
        m_poStatusLine->vShow(
            QStringLiteral("Loaded the palette %1: it holds %2 colours, entries %2 to 15 are unchanged")
                .arg(sName)
                .arg(iCount),
            false);
    else
        m_poStatusLine->vShow(QStringLiteral("Loaded the palette %1").arg(sName), false);
    vRememberPaletteFile(sName, poPalette->m_aoColors);
    update();
}

void Window::vSavePaletteTo(const QString& sName)
{
    std::unique_ptr<Palette> poPalette(new Palette(m_oSettings.CustomPalette));
    tdOutputFiles oFiles;
    vWritePaletteTextFile(poPalette.get(), &oFiles, QFile::encodeName(sName).constData());
    std::string sError;
    const QString sWritten =
        oFiles.aoFiles.empty() ? sName : QFile::decodeName(oFiles.aoFiles.front().sName.c_str());
    if (!bCommitOutputFiles(&oFiles, &sError))
    {
        qWarning("Palette not saved: %s", sError.c_str());
        m_poStatusLine->vShow(
            QStringLiteral("Palette not saved: %1").arg(QString::fromLocal8Bit(sError.c_str())), true);
    }
    else
    {
        m_poStatusLine->vShow(QStringLiteral("Saved the palette as %1").arg(sWritten), false);
        vRememberPaletteFile(sWritten, m_oSettings.CustomPalette);
    }
}

void Window::LoadPalette()
{
    if (bBusy()) return;
    if (m_bCameraLive) return;
    // The last palette file when it is there, else a folder without a name.
    const QString sStart = QFileInfo(m_sPaletteFile).isFile()
                               ? m_sPaletteFile
                               : sStartFolder(QFileInfo(m_sPaletteFile).absolutePath());
    const QString sName =
        QFileDialog::getOpenFileName(this, QStringLiteral("Load..."), sStart, QStringLiteral("*.gpl"));
    if (!sName.isEmpty()) vLoadPaletteFrom(sName);
}

void Window::SavePalette()
{
    if (m_bCameraLive) return;
    const QString sStart = m_sPaletteFile.isEmpty()
                               ? sStartFolder(QString()) + QStringLiteral("/palette.gpl")
                               : sStartFolder(QFileInfo(m_sPaletteFile).absolutePath()) + QLatin1Char('/') +
                                     QFileInfo(m_sPaletteFile).fileName();
    const QString sName =
        QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save as..."), sStart, QStringLiteral("*.gpl"),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (!sName.isEmpty()) vSavePaletteTo(sName);
}

void Window::mousePressEvent(QMouseEvent* poEvent)
{
    if (m_poView->bMousePress(poEvent)) return;
    const QPoint oPosition = poEvent->position().toPoint();
    const QRect oArea = m_poView->m_poRenderArea->geometry();
    if (!oArea.contains(oPosition)) return;
    const QImage* poShown = m_poView->poShownImage();
    if (!poShown) return;
    const int iX = oPosition.x() - oArea.x();
    const int iY = oPosition.y() - oArea.y();
    if (!poShown->valid(iX, iY)) return;
    const QRgb uiPixel = poShown->pixel(iX, iY);
    const Color oPicked = {static_cast<unsigned char>(qRed(uiPixel)),
                           static_cast<unsigned char>(qGreen(uiPixel)),
                           static_cast<unsigned char>(qBlue(uiPixel)), 0};
    const int iSelected = m_oSettings.SelectedColor;
    if (poEvent->button() == Qt::RightButton && iSelected >= 0 && iSelected < 16)
    {
        // The source picture's colour, not the converted one: that is the colour
        // the entry is meant to reproduce.
        Color oSource;
        if (!m_poView->bSourceColorAt(QPoint(iX, iY), &oSource))
        {
            m_poStatusLine->vShow(QStringLiteral("Right-click on the picture itself to take its colour"),
                                  false);
            return;
        }
        tdSettings oBefore;
        memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
        m_oSettings.CustomPalette[iSelected] = oSource;
        vRecordEdit(QStringLiteral("pick a colour"), oBefore, false);
        m_poStatusLine->vShow(
            QStringLiteral("Palette entry %1 takes the picture's colour (%2, %3, %4): levels %5, %6, %7")
                .arg(iSelected)
                .arg(oSource.r)
                .arg(oSource.g)
                .arg(oSource.b)
                .arg(iLevelFromByte(oSource.r))
                .arg(iLevelFromByte(oSource.g))
                .arg(iLevelFromByte(oSource.b)),
            false);
    }
    else
    {
        std::unique_ptr<Palette> poPalette(new Palette(m_oSettings.CustomPalette));
        m_oSettings.SelectedColor = poPalette->iNearestColor(oPicked, DeltaMethod_RGB, 0.0);
    }
    for (int i = 0; i < 16; i++)
    {
        m_apoColorButtons[i]->m_bSelected = (i == m_oSettings.SelectedColor);
        m_apoColorButtons[i]->m_oColor = m_oSettings.CustomPalette[i];
        m_apoColorButtons[i]->update();
    }
    update();
}

void Window::vRememberPaletteFile(const QString& sFile, const Color* poColors)
{
    m_sPaletteFile = QFileInfo(sFile).absoluteFilePath();
    memcpy(m_aoPaletteFileColors, poColors, sizeof(m_aoPaletteFileColors));
    vUpdateCommandLine();
}
