// The settings panel's behaviour: each control writing one field of the settings
// record, the controls set from the record, and the enabling rules that say which
// apply. The controls themselves are built in settings_panel_layout.cpp.

#include "settings_panel.h"

#include "settings_history.h"
#include "status_line.h"

#include "qev/msx/tile_budget.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

// Text limits of the line edits: values beyond any screen are refused. The same
// bounds as the qev tool's -ow / -oh options; ratios between 1:100 and 100:1.
constexpr int g_iMaxOutputDimension = 8192;
constexpr double g_fMinAspectRatio = 0.01;
constexpr double g_fMaxAspectRatio = 100.0;

// The slider position of a value stored as position x 0.001, truncated toward
// zero. The tiny nudge keeps a value read from "0.29" (0.28999...) at 290.
int iSliderPosition(double fValue)
{
    const double fScaled = fValue * 1000.0;
    const double fNudged = fScaled + (fScaled >= 0.0 ? 1e-7 : -1e-7);
    if (!(fNudged > INT_MIN && fNudged < INT_MAX)) return 0;
    return static_cast<int>(std::trunc(fNudged));
}

QString sFormatDouble(double fValue)
{
    return QString::asprintf("%.3f", fValue);
}

// Parses a whole text as a double in [fMin, fMax]; false for anything else.
bool bParseDouble(const QString& sText, double fMin, double fMax, double* pfValue)
{
    const QByteArray oBytes = sText.trimmed().toLatin1();
    if (oBytes.isEmpty()) return false;
    char* pszEnd = nullptr;
    errno = 0;
    const double fValue = strtod(oBytes.constData(), &pszEnd);
    if (*pszEnd != '\0' || errno == ERANGE || !std::isfinite(fValue)) return false;
    if (fValue < fMin || fValue > fMax) return false;
    *pfValue = fValue;
    return true;
}

// Parses a whole text as a base-10 integer in [iMin, iMax]; false for anything else.
bool bParseInt(const QString& sText, int iMin, int iMax, int32_t* piValue)
{
    const QByteArray oBytes = sText.trimmed().toLatin1();
    if (oBytes.isEmpty()) return false;
    char* pszEnd = nullptr;
    errno = 0;
    const long lValue = strtol(oBytes.constData(), &pszEnd, 10);
    if (*pszEnd != '\0' || errno == ERANGE || lValue < iMin || lValue > iMax) return false;
    *piValue = static_cast<int32_t>(lValue);
    return true;
}

} // namespace

// The fields whose change makes the paint handler refresh the controls.
bool bControlFieldsDiffer(const tdSettings* poA, const tdSettings* poB)
{
    return poA->ScreenMode != poB->ScreenMode || poA->DeltaMethod != poB->DeltaMethod ||
           poA->TileLimit != poB->TileLimit || poA->DitheringMode != poB->DitheringMode ||
           poA->PaletteType != poB->PaletteType || poA->ConversionType != poB->ConversionType ||
           poA->Screen10Palette != poB->Screen10Palette ||
           poA->InputAspectRatioType != poB->InputAspectRatioType ||
           poA->OutputAspectRatioType != poB->OutputAspectRatioType ||
           poA->OutputSizeType != poB->OutputSizeType || poA->SelectedColor != poB->SelectedColor ||
           memcmp(poA->CustomPalette, poB->CustomPalette, sizeof(poA->CustomPalette)) != 0;
}

void SettingsPanel::InterlacedMode(bool bValue)
{
    m_poSettings->InterlacedMode = bValue ? 1 : 0;
    emit vChanged();
}

void SettingsPanel::RealMSXAspectRatio(bool bValue)
{
    m_poSettings->RealMSXAspectRatio = bValue ? 1 : 0;
    emit vChanged();
}

void SettingsPanel::Screen10Palette(bool bValue)
{
    m_poSettings->Screen10Palette = bValue ? 1 : 0;
    emit vChanged();
}

// A third holds at most 255 tiles of its own; a shared bank 256.
void SettingsPanel::TileLimit()
{
    const int iMax = m_poSettings->TileSharedBank ? g_iMaxTilesShared : g_iMaxTilesPerThird;
    if (!bParseInt(m_poTileLimit->text(), 0, iMax, &m_poSettings->TileLimit))
    {
        m_poStatusLine->vRefuseValue(QStringLiteral("Tiles"), m_poTileLimit->text(),
                                     QStringLiteral("a whole number from 0 (no limit) to %1").arg(iMax));
        m_poTileLimit->setText(QString::number(m_poSettings->TileLimit));
    }
    emit vChanged();
}

void SettingsPanel::TileSharedBank(bool bValue)
{
    m_poSettings->TileSharedBank = bValue ? 1 : 0;
    if (!bValue && m_poSettings->TileLimit > g_iMaxTilesPerThird)
    {
        m_poSettings->TileLimit = g_iMaxTilesPerThird;
        m_poTileLimit->setText(QString::number(m_poSettings->TileLimit));
    }
    emit vChanged();
}

// An index of -1 (an emptied combo) stores nothing.
#define QEV_COMBO_SLOT(field, type)                                                                          \
    void SettingsPanel::field(int iIndex)                                                                    \
    {                                                                                                        \
        if (iIndex < 0) return;                                                                              \
        m_poSettings->field = static_cast<type>(iIndex);                                                     \
        emit vChanged();                                                                                     \
    }

QEV_COMBO_SLOT(ConversionType, tdConversionType)
QEV_COMBO_SLOT(DeltaMethod, tdDeltaMethod)
QEV_COMBO_SLOT(DisplayFilter, tdResizeFilter)
QEV_COMBO_SLOT(FitMode, tdFitMode)
QEV_COMBO_SLOT(InputAspectRatioType, tdAspectRatioType)
QEV_COMBO_SLOT(OutputAspectRatioType, tdAspectRatioType)
QEV_COMBO_SLOT(OutputSizeType, tdOutputSizeType)
QEV_COMBO_SLOT(DitheringMode, tdDitheringMode)
QEV_COMBO_SLOT(PaletteType, tdPaletteType)
QEV_COMBO_SLOT(RGB2YJKMethod, tdRGB2YJKMethod)
QEV_COMBO_SLOT(ResizeFilter, tdResizeFilter)
QEV_COMBO_SLOT(ScreenMode, tdScreenMode)
QEV_COMBO_SLOT(YJK2RGBInterpolation, tdYJK2RGBInterpolation)

#undef QEV_COMBO_SLOT

// The line edits: text that is no number, zero, negative or beyond any screen is
// refused; the field keeps its value and the edit shows it again. Text that still
// shows the field's value stores nothing, so leaving the edit never rounds a
// stored 1.2345 to 1.235.
void SettingsPanel::CustomInputAspectRatio()
{
    double fValue = 0.0;
    const QString sText = m_poCustomInputAspectRatio->text();
    if (sText == sFormatDouble(m_poSettings->CustomInputAspectRatio)) return;
    if (bParseDouble(sText, g_fMinAspectRatio, g_fMaxAspectRatio, &fValue))
    {
        m_poSettings->CustomInputAspectRatio = fValue;
    }
    else
    {
        m_poStatusLine->vRefuseValue(QStringLiteral("Custom input aspect ratio"), sText,
                                     QStringLiteral("a number from 0.01 to 100"));
        m_poCustomInputAspectRatio->setText(sFormatDouble(m_poSettings->CustomInputAspectRatio));
    }
    emit vChanged();
}

void SettingsPanel::CustomOutputAspectRatio()
{
    double fValue = 0.0;
    const QString sText = m_poCustomOutputAspectRatio->text();
    if (sText == sFormatDouble(m_poSettings->CustomOutputAspectRatio)) return;
    if (bParseDouble(sText, g_fMinAspectRatio, g_fMaxAspectRatio, &fValue))
    {
        m_poSettings->CustomOutputAspectRatio = fValue;
    }
    else
    {
        m_poStatusLine->vRefuseValue(QStringLiteral("Custom output aspect ratio"), sText,
                                     QStringLiteral("a number from 0.01 to 100"));
        m_poCustomOutputAspectRatio->setText(sFormatDouble(m_poSettings->CustomOutputAspectRatio));
    }
    emit vChanged();
}

void SettingsPanel::OutputWidth()
{
    if (!bParseInt(m_poOutputWidth->text(), 1, g_iMaxOutputDimension, &m_poSettings->OutputWidth))
    {
        m_poStatusLine->vRefuseValue(
            QStringLiteral("Output width"), m_poOutputWidth->text(),
            QStringLiteral("a whole number from 1 to %1").arg(g_iMaxOutputDimension));
        m_poOutputWidth->setText(QString::number(m_poSettings->OutputWidth));
    }
    emit vChanged();
}

void SettingsPanel::OutputHeight()
{
    if (!bParseInt(m_poOutputHeight->text(), 1, g_iMaxOutputDimension, &m_poSettings->OutputHeight))
    {
        m_poStatusLine->vRefuseValue(
            QStringLiteral("Output height"), m_poOutputHeight->text(),
            QStringLiteral("a whole number from 1 to %1").arg(g_iMaxOutputDimension));
        m_poOutputHeight->setText(QString::number(m_poSettings->OutputHeight));
    }
    emit vChanged();
}

// A scaled slider stores position x 0.001, except when the field already sits at
// that position: the controls are set from the fields, and storing again would
// replace a stored 0.1234 by 0.123.
void SettingsPanel::vSetScaledField(double* pfField, int iValue, QLabel* poLabel)
{
    if (iSliderPosition(*pfField) != iValue) *pfField = iValue / 1000.0;
    poLabel->setText(sFormatDouble(iValue / 1000.0));
    emit vChanged();
}

void SettingsPanel::BrightnessWeight(int iValue)
{
    vSetScaledField(&m_poSettings->BrightnessWeight, iValue, m_oBrightnessWeightRow.poValue);
}

void SettingsPanel::ErrorDiffusionFactor(int iValue)
{
    vSetScaledField(&m_poSettings->ErrorDiffusionFactor, iValue, m_oErrorDiffusionFactorRow.poValue);
}

void SettingsPanel::PaletteDetailsEnhancement(int iValue)
{
    vSetScaledField(&m_poSettings->PaletteDetailsEnhancement, iValue,
                    m_oPaletteDetailsEnhancementRow.poValue);
}

void SettingsPanel::Screen2DetailsEnhancement(int iValue)
{
    vSetScaledField(&m_poSettings->Screen2DetailsEnhancement, iValue,
                    m_oScreen2DetailsEnhancementRow.poValue);
}

void SettingsPanel::YJKDetailsEnhancement(int iValue)
{
    vSetScaledField(&m_poSettings->YJKDetailsEnhancement, iValue, m_oYJKDetailsEnhancementRow.poValue);
}

void SettingsPanel::BayerFactor(int iValue)
{
    vSetScaledField(&m_poSettings->BayerFactor, iValue, m_oBayerFactorRow.poValue);
}

// The low threshold never exceeds the high one: a low slider moved above the
// high threshold snaps back to it (re-entering this slot), and the other way
// round for the high slider.
void SettingsPanel::BayerLowThreshold(int iValue)
{
    if (iValue / 1000.0 > m_poSettings->BayerHighThreshold)
    {
        m_poBayerLowThreshold->setValue(iSliderPosition(m_poSettings->BayerHighThreshold));
        m_poSettings->BayerLowThreshold = m_poSettings->BayerHighThreshold;
        m_oBayerLowThresholdRow.poValue->setText(sFormatDouble(m_poSettings->BayerLowThreshold));
        emit vChanged();
        return;
    }
    vSetScaledField(&m_poSettings->BayerLowThreshold, iValue, m_oBayerLowThresholdRow.poValue);
}

void SettingsPanel::BayerHighThreshold(int iValue)
{
    if (m_poSettings->BayerLowThreshold > iValue / 1000.0)
    {
        m_poBayerHighThreshold->setValue(iSliderPosition(m_poSettings->BayerLowThreshold));
        m_poSettings->BayerHighThreshold = m_poSettings->BayerLowThreshold;
        m_oBayerHighThresholdRow.poValue->setText(sFormatDouble(m_poSettings->BayerHighThreshold));
        emit vChanged();
        return;
    }
    vSetScaledField(&m_poSettings->BayerHighThreshold, iValue, m_oBayerHighThresholdRow.poValue);
}

void SettingsPanel::HorizontalShift(int iValue)
{
    m_poSettings->HShift = iValue;
    m_oHorizontalShiftRow.poValue->setText(QString::number(iValue));
    emit vChanged();
}

SettingsPanel::SettingsPanel(QWidget* poWindow, tdSettings* poSettings, StatusLine* poStatusLine,
                             SettingsHistory* poHistory)
    : QObject(poWindow), m_poSettings(poSettings), m_poStatusLine(poStatusLine), m_poHistory(poHistory)
{
    // The settings keep their places on a panel of fixed size, which scrolls
    // when the window is smaller.
    m_poPanel = new QWidget();
    m_poPanel->setObjectName(QStringLiteral("SettingsPanel"));
    m_poPanel->setFixedSize(g_iWidth, g_iHeight);
    m_poSettingsArea = new QScrollArea(poWindow);
    m_poSettingsArea->setObjectName(QStringLiteral("SettingsArea"));
    m_poSettingsArea->setFrameShape(QFrame::NoFrame);
    m_poSettingsArea->setWidget(m_poPanel);
    m_poSettingsArea->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_poSettingsArea->setFixedWidth(m_poPanel->width());
}

bool SettingsPanel::eventFilter(QObject* poObject, QEvent* poEvent)
{
    if (poEvent->type() == QEvent::Wheel && poObject->isWidgetType() &&
        !static_cast<QWidget*>(poObject)->hasFocus())
    {
        // Handed to the scrolling panel instead.
        QCoreApplication::sendEvent(m_poSettingsArea->viewport(), poEvent);
        return true;
    }
    return QObject::eventFilter(poObject, poEvent);
}

void SettingsPanel::ResetToDefaults()
{
    tdSettings oBefore;
    memcpy(&oBefore, m_poSettings, sizeof(tdSettings));
    vGetDefaultSettings(m_poSettings);
    m_poHistory->vRecord(QStringLiteral("reset to defaults"), oBefore, true);
    m_poStatusLine->vShow(QStringLiteral("Settings reset to the defaults (Ctrl+Z undoes)"), false);
    emit vReset();
}

void SettingsPanel::vShowError(const tdErrorTriple& oError, int eType)
{
    const bool bError = eType != ConversionType_PNG && eType != ConversionType_SPR;
    m_poAverageErrorR->setText(bError ? sFormatDouble(oError.fRed) : QStringLiteral("-"));
    m_poAverageErrorG->setText(bError ? sFormatDouble(oError.fGreen) : QStringLiteral("-"));
    m_poAverageErrorB->setText(bError ? sFormatDouble(oError.fBlue) : QStringLiteral("-"));
    m_poAverageErrorRGB->setText(bError ? sFormatDouble(oError.fRed + oError.fGreen + oError.fBlue)
                                        : QStringLiteral("-"));
}

void SettingsPanel::vShowTiles(const Image* poPainted, const tdSettings* poConverted)
{
    const std::string s = sDescribeTiles(poPainted, poConverted);
    m_poTileCount->setText(s.empty() ? QStringLiteral("-") : QString::fromStdString(s));
}

void SettingsPanel::vUpdateControls()
{
    const tdSettings* poS = m_poSettings;

    // Setting a control raises its change signal and its slot stores the value
    // again; the record is read through poS only after each such call, since
    // a slot may correct a field (the Bayer thresholds).
    m_poInterlacedMode->setChecked(poS->InterlacedMode != 0);
    m_poRealMSXAspectRatio->setChecked(poS->RealMSXAspectRatio != 0);
    m_poScreen10Palette->setChecked(poS->Screen10Palette != 0);
    m_poConversionType->setCurrentIndex(poS->ConversionType);
    m_poDeltaMethod->setCurrentIndex(poS->DeltaMethod);
    m_poDisplayFilter->setCurrentIndex(poS->DisplayFilter);
    m_poFitMode->setCurrentIndex(poS->FitMode);
    m_poInputAspectRatioType->setCurrentIndex(poS->InputAspectRatioType);
    m_poOutputAspectRatioType->setCurrentIndex(poS->OutputAspectRatioType);
    m_poOutputSizeType->setCurrentIndex(poS->OutputSizeType);
    m_poDitheringMode->setCurrentIndex(poS->DitheringMode);
    m_poPaletteType->setCurrentIndex(poS->PaletteType);
    m_poRGB2YJKMethod->setCurrentIndex(poS->RGB2YJKMethod);
    m_poResizeFilter->setCurrentIndex(poS->ResizeFilter);
    m_poScreenMode->setCurrentIndex(poS->ScreenMode);
    m_poYJK2RGBInterpolation->setCurrentIndex(poS->YJK2RGBInterpolation);
    m_poCustomInputAspectRatio->setText(sFormatDouble(poS->CustomInputAspectRatio));
    m_poCustomOutputAspectRatio->setText(sFormatDouble(poS->CustomOutputAspectRatio));
    m_poOutputHeight->setText(QString::number(poS->OutputHeight));
    m_poOutputWidth->setText(QString::number(poS->OutputWidth));
    m_poTileLimit->setText(QString::number(poS->TileLimit));
    m_poTileSharedBank->setChecked(poS->TileSharedBank != 0);

    m_poBrightnessWeight->setValue(iSliderPosition(poS->BrightnessWeight));
    m_poErrorDiffusionFactor->setValue(iSliderPosition(poS->ErrorDiffusionFactor));
    m_poPaletteDetailsEnhancement->setValue(iSliderPosition(poS->PaletteDetailsEnhancement));
    m_poScreen2DetailsEnhancement->setValue(iSliderPosition(poS->Screen2DetailsEnhancement));
    m_poYJKDetailsEnhancement->setValue(iSliderPosition(poS->YJKDetailsEnhancement));
    m_poBayerFactor->setValue(iSliderPosition(poS->BayerFactor));
    m_poBayerLowThreshold->setValue(iSliderPosition(poS->BayerLowThreshold));
    m_poBayerHighThreshold->setValue(iSliderPosition(poS->BayerHighThreshold));
    m_poHorizontalShift->setValue(poS->HShift);
    // A slider set to the position it already holds raises no signal; its value
    // label is written here too, so that it never shows a stale "0".
    const tdControlRow* apoScaledRows[] = {
        &m_oBrightnessWeightRow,          &m_oErrorDiffusionFactorRow,  &m_oPaletteDetailsEnhancementRow,
        &m_oScreen2DetailsEnhancementRow, &m_oYJKDetailsEnhancementRow, &m_oBayerFactorRow,
        &m_oBayerLowThresholdRow,         &m_oBayerHighThresholdRow,
    };
    for (const tdControlRow* poRow : apoScaledRows)
        poRow->poValue->setText(sFormatDouble(static_cast<QSlider*>(poRow->poControl)->value() / 1000.0));
    m_oHorizontalShiftRow.poValue->setText(QString::number(m_poHorizontalShift->value()));

    // clang-format off
    const int  eType     = poS->ConversionType;
    const bool bMSX      = eType == ConversionType_QEV || eType == ConversionType_SR || eType == ConversionType_SC ||
                           eType == ConversionType_KRU || eType == ConversionType_ROM;
    const bool bPalette  = bSettingsUsePalette(poS);
    const int  eDither   = poS->DitheringMode;
    const bool bBayer    = eDither == Dithering_Bayer2x2 || eDither == Dithering_Bayer4x4 ||
                           eDither == Dithering_Bayer8x8;
    const int  eScreen   = poS->ScreenMode;
    const bool bYJK      = eScreen == ScreenMode_Screen10 || eScreen == ScreenMode_Screen12;
    // clang-format on

    // A disabled control's tooltip says what would enable it.
    const char* const pszMSX = "only for the MSX conversion types QEV, SR, SC and KRU";
    const char* const pszBayer = "only with a Bayer dithering mode of an MSX conversion type";
    const char* const pszPalette =
        "only for the screens with a palette (2 to 7, 10 with SC10 palette) of an MSX "
        "conversion type";
    vEnableRow(m_oScreenModeRow, bMSX, pszMSX);
    vEnableRow(m_oDitheringModeRow, bMSX, pszMSX);
    vEnableRow(m_oBayerFactorRow, bMSX && bBayer, pszBayer);
    vEnableRow(m_oBayerLowThresholdRow, bMSX && bBayer, pszBayer);
    vEnableRow(m_oBayerHighThresholdRow, bMSX && bBayer, pszBayer);
    vEnableRow(m_oErrorDiffusionFactorRow, bMSX && eDither == Dithering_ErrorDiffusion,
               "only with dithering mode Error diffusion of an MSX conversion type");
    vEnableRow(m_oOutputSizeRow, !bMSX, "only for the conversion types PNG, SPR, RAW and RES");
    for (QLineEdit* poEdit : {m_poOutputWidth, m_poOutputHeight})
        vEnableWithReason(poEdit, !bMSX && poS->OutputSizeType == OutputSize_Custom,
                          "only with output size Custom of the conversion types PNG, SPR, RAW and RES");
    vEnableRow(m_oFitModeRow, bMSX || poS->OutputSizeType != OutputSize_Original,
               "not with output size Original: the picture keeps its size");
    m_poAverageErrorHeading->setEnabled(bMSX);
    for (QLabel* poLabel : m_apoAverageErrorCaptions)
        poLabel->setEnabled(bMSX);
    for (QLabel* poLabel :
         {m_poAverageErrorR, m_poAverageErrorG, m_poAverageErrorB, m_poAverageErrorRGB, m_poTileCount})
        poLabel->setEnabled(bMSX);
    vEnableRow(m_oHorizontalShiftRow, bMSX, pszMSX);
    vEnableRow(m_oDeltaMethodRow, bMSX, pszMSX);
    vEnableRow(m_oBrightnessWeightRow, poS->DeltaMethod == DeltaMethod_Hit9918,
               "only with delta method Hit9918");
    vEnableWithReason(m_poCustomInputAspectRatio, poS->InputAspectRatioType == AspectRatio_Custom,
                      "only with input A.R. Custom");
    vEnableWithReason(m_poCustomOutputAspectRatio, poS->OutputAspectRatioType == AspectRatio_Custom,
                      "only with output A.R. Custom");
    vEnableWithReason(m_poScreen10Palette, eScreen == ScreenMode_Screen10, "only for Screen 10");
    vEnableWithReason(m_poInterlacedMode, bMSX && bScreenModeIsBitmap(eScreen),
                      "only for Screens 5 to 12 of an MSX conversion type");
    vEnableRow(m_oScreen2DetailsEnhancementRow, bMSX && bScreenModeHasScreen2Layout(eScreen),
               "only for Screens 2 and 4 of an MSX conversion type");
    vEnableRow(m_oTileLimitRow, bMSX && bScreenModeHasScreen2Layout(eScreen),
               "only for Screens 2 and 4 of an MSX conversion type");
    vEnableWithReason(m_poTileSharedBank, bMSX && bScreenModeHasScreen2Layout(eScreen) && poS->TileLimit > 0,
                      "only with a tile limit in Screens 2 and 4 of an MSX conversion type");
    vEnableRow(m_oYJKDetailsEnhancementRow, bMSX && bYJK,
               "only for Screens 10 and 12 of an MSX conversion type");
    vEnableRow(m_oRGB2YJKMethodRow, bYJK, "only for Screens 10 and 12");
    vEnableRow(m_oPaletteTypeRow, bPalette, pszPalette);
    vEnableRow(m_oPaletteDetailsEnhancementRow, bPalette && poS->PaletteType == PaletteType_Auto,
               "only with palette type Auto on a screen with a palette");
}
