// The palette editor: entries, their levels, dragging, picking, palette files.

#include "palette_editor.h"

#include "preview_job.h"
#include "settings_history.h"
#include "status_line.h"

#include "qev/color/palette.h"
#include "qev/files/output_files.h"
#include "qev/files/palette_file.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

PaletteEditor::PaletteEditor(tdSettings* poSettings, SettingsHistory* poHistory, StatusLine* poStatusLine,
                             QObject* poParent)
    : QObject(poParent), m_poSettings(poSettings), m_poHistory(poHistory), m_poStatusLine(poStatusLine),
      m_fnBusy([]() { return false; }), m_fnCameraLive([]() { return false; }),
      m_fnStartFolder([](const QString& sLast) { return sLast; })
{
    memset(m_aoPaletteFileColors, 0, sizeof(m_aoPaletteFileColors));
}

void PaletteEditor::vBuildControls(QWidget* poPanel)
{
    // The sixteen entries in two rows, the R, G, B sliders of the selected entry
    // and the palette buttons.
    QFrame* poPaletteGroup = poMakeGroup(poPanel, "CustomPalette", QStringLiteral("Custom palette"),
                                         QRect(1030, 240, 331, 161), nullptr);
    for (int i = 0; i < 16; i++)
    {
        ColorButton* poButton = new ColorButton(poPaletteGroup);
        poButton->setObjectName(QStringLiteral("color%1").arg(i));
        poButton->setGeometry(50 + 30 * (i % 8), 10 + 30 * (i / 8), 25, 25);
        poButton->m_iIndex = i;
        m_apoColorButtons[i] = poButton;
        connect(poButton, &ColorButton::vClicked, this, &PaletteEditor::vColorButtonClicked);
        connect(poButton, &ColorButton::vDragAndDropped, this, &PaletteEditor::vColorButtonDragAndDropped);
    }
    m_poR = poMakeSlider(poPaletteGroup, "R", 0, 7, 2, true, QStringLiteral("R"), QRect(8, 70, 206, 28), 20,
                         24, &m_oRRow);
    m_poG = poMakeSlider(poPaletteGroup, "G", 0, 7, 2, true, QStringLiteral("G"), QRect(8, 98, 206, 28), 20,
                         24, &m_oGRow);
    m_poB = poMakeSlider(poPaletteGroup, "B", 0, 7, 2, true, QStringLiteral("B"), QRect(8, 126, 206, 28), 20,
                         24, &m_oBRow);
    m_poGetFromImage = poMakeButton(poPaletteGroup, "GetFromImage", QStringLiteral("Get from image"),
                                    QRect(222, 72, 102, 26));
    m_poLoadPalette =
        poMakeButton(poPaletteGroup, "LoadPalette", QStringLiteral("Load..."), QRect(222, 101, 102, 26));
    m_poSavePalette =
        poMakeButton(poPaletteGroup, "SavePalette", QStringLiteral("Save..."), QRect(222, 130, 102, 26));
    m_poGetFromImage->setToolTip(
        QStringLiteral("Get custom palette from the image's automatically generated one."));
    m_poLoadPalette->setToolTip(QStringLiteral("Load custom palette from a GIMP .GPL file."));
    m_poSavePalette->setToolTip(QStringLiteral("Save custom palette to a GIMP (.GPL) file."));
    connect(m_poR, &QSlider::valueChanged, this, &PaletteEditor::R);
    connect(m_poG, &QSlider::valueChanged, this, &PaletteEditor::G);
    connect(m_poB, &QSlider::valueChanged, this, &PaletteEditor::B);
    connect(m_poLoadPalette, &QPushButton::clicked, this, &PaletteEditor::LoadPalette);
    connect(m_poSavePalette, &QPushButton::clicked, this, &PaletteEditor::SavePalette);
}

QString PaletteEditor::sMatchingPaletteFile() const
{
    if (m_sPaletteFile.isEmpty()) return QString();
    for (int i = 0; i < 16; i++)
    {
        const Color& oA = m_aoPaletteFileColors[i];
        const Color& oB = m_poSettings->CustomPalette[i];
        if (oA.r != oB.r || oA.g != oB.g || oA.b != oB.b) return QString();
    }
    return m_sPaletteFile;
}

void PaletteEditor::vTakePalette(const Color* poColors, const QString& sStatus)
{
    tdSettings oBefore;
    memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
    memcpy(m_poSettings->CustomPalette, poColors, sizeof(m_poSettings->CustomPalette));
    m_poHistory->vRecord(QStringLiteral("palette from the picture"), oBefore, false);
    m_poStatusLine->vShow(sStatus, false);
    emit vChanged();
}

void PaletteEditor::vPick(bool bRight, const Color& oShown, const Color* poSource)
{
    const int iSelected = m_poSettings->SelectedColor;
    if (bRight && iSelected >= 0 && iSelected < 16)
    {
        // The source picture's colour, not the converted one: that is the colour
        // the entry is meant to reproduce.
        if (!poSource)
        {
            m_poStatusLine->vShow(QStringLiteral("Right-click on the picture itself to take its colour"),
                                  false);
            return;
        }
        const Color oSource = *poSource;
        tdSettings oBefore;
        memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
        m_poSettings->CustomPalette[iSelected] = oSource;
        m_poHistory->vRecord(QStringLiteral("pick a colour"), oBefore, false);
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
        std::unique_ptr<Palette> poPalette(new Palette(m_poSettings->CustomPalette));
        m_poSettings->SelectedColor = poPalette->iNearestColor(oShown, DeltaMethod_RGB, 0.0);
    }
    vRefreshButtons();
    emit vChanged();
}

void PaletteEditor::vRefreshButtons()
{
    for (int i = 0; i < 16; i++)
    {
        m_apoColorButtons[i]->m_bSelected = (i == m_poSettings->SelectedColor);
        m_apoColorButtons[i]->m_oColor = m_poSettings->CustomPalette[i];
        m_apoColorButtons[i]->update();
    }
}

void PaletteEditor::vUpdateControls()
{
    vRefreshButtons();
    const tdSettings* poS = m_poSettings;
    const bool bPalette = bSettingsUsePalette(poS);
    const bool bSelected = poS->SelectedColor >= 0;
    const bool bLive = m_fnCameraLive();
    const char* const pszLive = "not while the camera is live";
    vEnableWithReason(m_poGetFromImage, bPalette,
                      "only for the screens with a palette (2 to 7, 10 with SC10 palette) of an MSX "
                      "conversion type");
    for (const tdControlRow* poRow : {&m_oRRow, &m_oGRow, &m_oBRow})
        vEnableRow(*poRow, bSelected,
                   "select a palette entry first (click it, or Tab to it and press Space)");
    vEnableWithReason(m_poLoadPalette, !bLive, pszLive);
    vEnableWithReason(m_poSavePalette, !bLive, pszLive);
    if (bSelected && poS->SelectedColor < 16)
    {
        // Setting a slider stores its level again, which keeps a channel already at that level.
        const Color oColor = poS->CustomPalette[poS->SelectedColor];
        m_poR->setValue(iLevelFromByte(oColor.r));
        m_poG->setValue(iLevelFromByte(oColor.g));
        m_poB->setValue(iLevelFromByte(oColor.b));
        m_oRRow.poValue->setText(QString::number(m_poR->value()));
        m_oGRow.poValue->setText(QString::number(m_poG->value()));
        m_oBRow.poValue->setText(QString::number(m_poB->value()));
    }
}

// R, G, B: the slider is the MSX level 0..7 of one channel of the selected entry.
// A channel already at that level is kept (a picked colour between levels stays
// as it is until its slider moves).
void PaletteEditor::vSetPaletteComponent(int iChannel, int iValue, QLabel* poLabel)
{
    poLabel->setText(QString::number(iValue));
    const int iSelected = m_poSettings->SelectedColor;
    if (iSelected < 0 || iSelected > 15) return;
    Color* poColor = &m_poSettings->CustomPalette[iSelected];
    unsigned char* pucChannel = iChannel == 0 ? &poColor->r : (iChannel == 1 ? &poColor->g : &poColor->b);
    if (iLevelFromByte(*pucChannel) != iValue)
    {
        tdSettings oBefore;
        memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
        *pucChannel = static_cast<unsigned char>(iByteFromLevel(iValue));
        // A slider dragged over several levels undoes in one step.
        m_poHistory->vRecord(QStringLiteral("palette entry %1").arg(iSelected), oBefore, false,
                             1 + iSelected * 3 + iChannel);
    }
    emit vChanged();
}

void PaletteEditor::R(int iValue)
{
    vSetPaletteComponent(0, iValue, m_oRRow.poValue);
}

void PaletteEditor::G(int iValue)
{
    vSetPaletteComponent(1, iValue, m_oGRow.poValue);
}

void PaletteEditor::B(int iValue)
{
    vSetPaletteComponent(2, iValue, m_oBRow.poValue);
}

void PaletteEditor::vColorButtonClicked(int iIndex)
{
    if (iIndex < 0 || iIndex > 15) return;
    m_poSettings->SelectedColor = iIndex;
    emit vChanged();
}

void PaletteEditor::vColorButtonDragAndDropped(int iTarget, int iSource)
{
    if (iTarget < 0 || iTarget > 15 || iSource < 0 || iSource > 15) return;
    tdSettings oBefore;
    memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
    std::swap(m_poSettings->CustomPalette[iTarget], m_poSettings->CustomPalette[iSource]);
    m_poHistory->vRecord(QStringLiteral("swap palette entries"), oBefore, false);
    emit vChanged();
}

void PaletteEditor::vLoadPaletteFrom(const QString& sName)
{
    if (m_fnBusy()) return;
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
    memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
    memcpy(m_poSettings->CustomPalette, poPalette->m_aoColors, sizeof(Color) * static_cast<size_t>(iCount));
    m_poHistory->vRecord(QStringLiteral("load palette"), oBefore, false);
    if (iCount < 16)
        m_poStatusLine->vShow(
            QStringLiteral("Loaded the palette %1: it holds %2 colours, entries %2 to 15 are unchanged")
                .arg(sName)
                .arg(iCount),
            false);
    else
        m_poStatusLine->vShow(QStringLiteral("Loaded the palette %1").arg(sName), false);
    vRememberPaletteFile(sName, poPalette->m_aoColors);
    emit vChanged();
}

void PaletteEditor::vSavePaletteTo(const QString& sName)
{
    std::unique_ptr<Palette> poPalette(new Palette(m_poSettings->CustomPalette));
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
        vRememberPaletteFile(sWritten, m_poSettings->CustomPalette);
    }
}

void PaletteEditor::LoadPalette()
{
    if (m_fnBusy()) return;
    if (m_fnCameraLive()) return;
    // The last palette file when it is there, else a folder without a name.
    const QString sStart = QFileInfo(m_sPaletteFile).isFile()
                               ? m_sPaletteFile
                               : m_fnStartFolder(QFileInfo(m_sPaletteFile).absolutePath());
    const QString sName = QFileDialog::getOpenFileName(m_poStatusLine->window(), QStringLiteral("Load..."),
                                                       sStart, QStringLiteral("*.gpl"));
    if (!sName.isEmpty()) vLoadPaletteFrom(sName);
}

void PaletteEditor::SavePalette()
{
    if (m_fnCameraLive()) return;
    const QString sStart = m_sPaletteFile.isEmpty()
                               ? m_fnStartFolder(QString()) + QStringLiteral("/palette.gpl")
                               : m_fnStartFolder(QFileInfo(m_sPaletteFile).absolutePath()) +
                                     QLatin1Char('/') + QFileInfo(m_sPaletteFile).fileName();
    const QString sName =
        QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save as..."), sStart, QStringLiteral("*.gpl"),
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (!sName.isEmpty()) vSavePaletteTo(sName);
}

void PaletteEditor::vRememberPaletteFile(const QString& sFile, const Color* poColors)
{
    m_sPaletteFile = QFileInfo(sFile).absoluteFilePath();
    memcpy(m_aoPaletteFileColors, poColors, sizeof(m_aoPaletteFileColors));
    emit vPaletteFileChanged();
}
