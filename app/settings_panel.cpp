// The settings panel: the groups of conversion settings, each control writing one
// field of the settings record, the controls set from the record, and the
// enabling rules that say which apply.

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

// Each line of the Screen combo's tooltip.
const char* const g_apszScreenModeTips[ScreenMode_Count] = {
    "Screen  2 : 256x192, 16 palette colors",
    "Screen  3 : 64x48, 16 palette colors",
    "Screen  5 : 256x212, 16 palette colors",
    "Screen  6 : 512x212, 4 palette colors",
    "Screen  7 : 512x212, 16 palette colors",
    "Screen  8 : 256x212, 256 RGB colors",
    "Screen 10 : 256x212, 12499 YJK colors + 16 palette colors",
    "Screen 12 : 256x212, 19268 YJK colors",
    "Screen  4 : 256x192, 16 palette colors, as Screen 2 with sprite mode 2",
};

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

void SettingsPanel::vBuildGlobalGroup()
{
    // Global settings: three rows of two captioned controls, then the two
    // aspect-ratio rows with their custom value.
    QFrame* poGlobal = poMakeGroup(m_poPanel, "GlobalSettings", QStringLiteral("Global settings"),
                                   QRect(1030, 20, 331, 201), nullptr);
    tdControlRow oUnused;
    m_poConversionType =
        poMakeComboRow(poGlobal, "ConversionType", g_apszConversionTypeNames, ConversionType_Count,
                       QStringLiteral("Convert to"), 4, 4, 72, 88, &oUnused);
    m_poFitMode = poMakeComboRow(poGlobal, "FitMode", g_apszFitModeNames, FitMode_Count,
                                 QStringLiteral("Fit mode"), 166, 4, 72, 88, &m_oFitModeRow);
    m_poResizeFilter = poMakeComboRow(poGlobal, "ResizeFilter", g_apszResizeFilterNames, ResizeFilter_Count,
                                      QStringLiteral("Resize filter"), 4, 42, 72, 88, &oUnused);
    m_poDisplayFilter = poMakeComboRow(poGlobal, "DisplayFilter", g_apszResizeFilterNames, ResizeFilter_Count,
                                       QStringLiteral("Display\nfilter"), 166, 42, 72, 88, &oUnused);
    m_poYJK2RGBInterpolation =
        poMakeComboRow(poGlobal, "YJK2RGBInterpolation", g_apszYJK2RGBInterpolationNames, YJK2RGB_Count,
                       QStringLiteral("YJK2RGB \ninterpolation"), 4, 80, 72, 88, &oUnused);
    poMakeLabel(poGlobal, "RealMSXAspectRatioLabel", QStringLiteral("MSX\nreal A.R."),
                QRect(166, 80, 72, 32));
    m_poRealMSXAspectRatio = new QCheckBox(poGlobal);
    m_poRealMSXAspectRatio->setObjectName(QStringLiteral("RealMSXAspectRatio"));
    m_poRealMSXAspectRatio->setGeometry(238 + 36, 83, 26, 26);
    m_poInputAspectRatioType =
        poMakeComboRow(poGlobal, "InputAspectRatioType", g_apszAspectRatioTypeNames, AspectRatio_Count,
                       QStringLiteral("Input A.R."), 4, 122, 72, 150, &oUnused);
    m_poCustomInputAspectRatio = new QLineEdit(poGlobal);
    m_poCustomInputAspectRatio->setObjectName(QStringLiteral("CustomInputAspectRatio"));
    m_poCustomInputAspectRatio->setGeometry(232, 125, 92, 26);
    m_poOutputAspectRatioType =
        poMakeComboRow(poGlobal, "OutputAspectRatioType", g_apszAspectRatioTypeNames, AspectRatio_Count,
                       QStringLiteral("Output A.R."), 4, 160, 72, 150, &oUnused);
    m_poCustomOutputAspectRatio = new QLineEdit(poGlobal);
    m_poCustomOutputAspectRatio->setObjectName(QStringLiteral("CustomOutputAspectRatio"));
    m_poCustomOutputAspectRatio->setGeometry(232, 163, 92, 26);
}

void SettingsPanel::vBuildScreenGroups()
{
    // PNG settings.
    QFrame* poPNG = poMakeGroup(m_poPanel, "PNGSettings", QStringLiteral("PNG settings"),
                                QRect(1370, 20, 271, 61), nullptr);
    QLabel* poOutputSizeCaption =
        poMakeLabel(poPNG, "OutputSizeLabel", QStringLiteral("Output size"), QRect(4, 4, 80, 26));
    m_poOutputSizeType = poMakeCombo(poPNG, "OutputSizeType", g_apszOutputSizeTypeNames, OutputSize_Count,
                                     QRect(86, 4, 180, 26));
    m_oOutputSizeRow = {poOutputSizeCaption, m_poOutputSizeType, nullptr};
    m_poOutputWidth = new QLineEdit(poPNG);
    m_poOutputWidth->setObjectName(QStringLiteral("OutputWidth"));
    m_poOutputWidth->setGeometry(86, 32, 80, 24);
    poMakeLabel(poPNG, "OutputSizeX", QStringLiteral("x"), QRect(166, 32, 20, 24));
    m_poOutputHeight = new QLineEdit(poPNG);
    m_poOutputHeight->setObjectName(QStringLiteral("OutputHeight"));
    m_poOutputHeight->setGeometry(186, 32, 80, 24);

    // MSX settings: one row per control, sliders with caption and value.
    QFrame* poMSX = poMakeGroup(m_poPanel, "MSXSettings", QStringLiteral("MSX settings"),
                                QRect(1370, 100, 271, 585), nullptr);
    m_poScreenMode = poMakeComboRow(poMSX, "ScreenMode", g_apszScreenModeNames, ScreenMode_Count,
                                    QStringLiteral("Screen"), 4, 6, 112, 150, &m_oScreenModeRow);
    m_poPaletteType = poMakeComboRow(poMSX, "PaletteType", g_apszPaletteTypeNames, PaletteType_Count,
                                     QStringLiteral("Palette type"), 4, 40, 112, 150, &m_oPaletteTypeRow);
    m_poInterlacedMode = new QCheckBox(QStringLiteral("Interlaced"), poMSX);
    m_poInterlacedMode->setObjectName(QStringLiteral("InterlacedMode"));
    m_poInterlacedMode->setGeometry(20, 76, 110, 26);
    m_poScreen10Palette = new QCheckBox(QStringLiteral("SC10 palette"), poMSX);
    m_poScreen10Palette->setObjectName(QStringLiteral("Screen10Palette"));
    m_poScreen10Palette->setGeometry(140, 76, 120, 26);
    m_poRGB2YJKMethod =
        poMakeComboRow(poMSX, "RGB2YJKMethod", g_apszRGB2YJKMethodNames, RGB2YJK_Count,
                       QStringLiteral("RGB2YJK method"), 4, 106, 112, 150, &m_oRGB2YJKMethodRow);
    m_poDeltaMethod = poMakeComboRow(poMSX, "DeltaMethod", g_apszDeltaMethodNames, DeltaMethod_Count,
                                     QStringLiteral("Delta method"), 4, 140, 112, 150, &m_oDeltaMethodRow);
    const int iSliderCaption = 112;
    const int iSliderValue = 48;
    m_poHorizontalShift =
        poMakeSlider(poMSX, "HorizontalShift", -4, 4, 2, true, QStringLiteral("Horizontal scroll"),
                     QRect(4, 176, 262, 34), iSliderCaption, iSliderValue, &m_oHorizontalShiftRow);
    m_poBrightnessWeight =
        poMakeSlider(poMSX, "BrightnessWeight", 0, 10000, 100, false, QStringLiteral("Brightness coeff."),
                     QRect(4, 214, 262, 30), iSliderCaption, iSliderValue, &m_oBrightnessWeightRow);
    m_poPaletteDetailsEnhancement = poMakeSlider(
        poMSX, "PaletteDetailsEnhancement", 1000, 41000, 100, false, QStringLiteral("Palette details"),
        QRect(4, 248, 262, 30), iSliderCaption, iSliderValue, &m_oPaletteDetailsEnhancementRow);
    m_poScreen2DetailsEnhancement = poMakeSlider(
        poMSX, "Screen2DetailsEnhancement", 1000, 41000, 100, false, QStringLiteral("Screen 2 details"),
        QRect(4, 282, 262, 30), iSliderCaption, iSliderValue, &m_oScreen2DetailsEnhancementRow);
    m_poYJKDetailsEnhancement =
        poMakeSlider(poMSX, "YJKDetailsEnhancement", 1000, 41000, 100, false, QStringLiteral("YJK details"),
                     QRect(4, 316, 262, 30), iSliderCaption, iSliderValue, &m_oYJKDetailsEnhancementRow);
    m_poDitheringMode =
        poMakeComboRow(poMSX, "DitheringMode", g_apszDitheringModeNames, Dithering_Count,
                       QStringLiteral("Dithering mode"), 4, 356, 112, 150, &m_oDitheringModeRow);
    m_poErrorDiffusionFactor = poMakeSlider(poMSX, "ErrorDiffusionFactor", 0, 1000, 100, false,
                                            QStringLiteral("Error diffusion factor"), QRect(4, 396, 262, 34),
                                            iSliderCaption, iSliderValue, &m_oErrorDiffusionFactorRow);
    m_poBayerFactor = poMakeSlider(poMSX, "BayerFactor", 0, 1000, 100, false, QStringLiteral("Bayer factor"),
                                   QRect(4, 434, 262, 30), iSliderCaption, iSliderValue, &m_oBayerFactorRow);
    m_poBayerLowThreshold =
        poMakeSlider(poMSX, "BayerLowThreshold", 0, 1000, 100, false, QStringLiteral("Bayer low threshold"),
                     QRect(4, 468, 262, 34), iSliderCaption, iSliderValue, &m_oBayerLowThresholdRow);
    m_poBayerHighThreshold =
        poMakeSlider(poMSX, "BayerHighThreshold", 0, 1000, 100, false, QStringLiteral("Bayer high threshold"),
                     QRect(4, 506, 262, 34), iSliderCaption, iSliderValue, &m_oBayerHighThresholdRow);
    QLabel* poTilesCaption =
        poMakeLabel(poMSX, "TileLimitLabel", QStringLiteral("Tiles"), QRect(4, 546, 108, 26));
    m_poTileLimit = new QLineEdit(poMSX);
    m_poTileLimit->setObjectName(QStringLiteral("TileLimit"));
    m_poTileLimit->setGeometry(116, 547, 56, 24);
    m_poTileSharedBank = new QCheckBox(QStringLiteral("Shared"), poMSX);
    m_poTileSharedBank->setObjectName(QStringLiteral("TileSharedBank"));
    m_poTileSharedBank->setGeometry(180, 546, 86, 26);
    m_oTileLimitRow = {poTilesCaption, m_poTileLimit, nullptr};

    // Average error.
    QFrame* poError = poMakeGroup(m_poPanel, "AverageError", QStringLiteral("Average error"),
                                  QRect(1130, 500, 131, 149), &m_poAverageErrorHeading);
    const char* const apszCaptions[4] = {"R", "G", "B", "R+G+B"};
    QLabel** appoValues[4] = {&m_poAverageErrorR, &m_poAverageErrorG, &m_poAverageErrorB,
                              &m_poAverageErrorRGB};
    const char* const apszNames[4] = {"AverageErrorR", "AverageErrorG", "AverageErrorB", "AverageErrorRGB"};
    for (int i = 0; i < 4; i++)
    {
        m_apoAverageErrorCaptions[i] = poMakeLabel(
            poError, (QLatin1String(apszNames[i]) + QLatin1String("Label")).toLatin1().constData(),
            QLatin1String(apszCaptions[i]), QRect(4, 6 + 28 * i, 52, 26));
        *appoValues[i] =
            poMakeLabel(poError, apszNames[i], QStringLiteral("0.000"), QRect(56, 6 + 28 * i, 70, 26));
    }
    m_apoAverageErrorCaptions[4] =
        poMakeLabel(poError, "TileCountLabel", QStringLiteral("Tiles"), QRect(4, 118, 40, 26));
    m_poTileCount = poMakeLabel(poError, "TileCount", QStringLiteral("-"), QRect(44, 118, 84, 26));

    for (QLineEdit* poEdit : {m_poCustomInputAspectRatio, m_poCustomOutputAspectRatio, m_poOutputWidth,
                              m_poOutputHeight, m_poTileLimit})
        poEdit->setAlignment(Qt::AlignCenter);
}

void SettingsPanel::vBuildResetButton()
{
    m_poResetToDefaults = poMakeButton(m_poPanel, "ResetToDefaults", QStringLiteral("Reset to defaults"),
                                       QRect(1130, 430, 131, 30));
}

void SettingsPanel::vFinish()
{
    // Tooltips, set before the enabling rules first add their reasons to them.
    QStringList asScreenTips;
    for (const char* pszTip : g_apszScreenModeTips)
        asScreenTips << QLatin1String(pszTip);
    const struct
    {
        QWidget* poWidget;
        const char* pszTip;
    } aoTips[] = {
        {m_poConversionType, "Type of file to convert to.\nAlso determines what is displayed."},
        {m_poResetToDefaults, "Restore settings to default."},
        {m_poDisplayFilter, "Display-only enhancement.\nDoes not affect saved files."},
        {m_poBrightnessWeight, "Coefficient applied to color delta computation in HIT9918 mode."},
        {m_poDeltaMethod, "Method used to compute deltas between colors."},
        {m_poErrorDiffusionFactor, "Distribute error to neighboring pixels. A good value is around 0.8."},
        {m_poFitMode, "Set how images are scaled to fit output image size."},
        {m_poHorizontalShift, "Horizontal shift (useful for screen 2 and 10 conversion)."},
        {m_poInputAspectRatioType, "Aspect ratio of input image."},
        {m_poInterlacedMode,
         "Generate interlaced image (height of 424 pixels).\nCauses some flickering on a real MSX!"},
        {m_poRealMSXAspectRatio, "Use real MSX aspect ratio"},
        {m_poOutputAspectRatioType, "Aspect ratio of output image."},
        {m_poOutputSizeType, "Size of generated PNG images."},
        {m_poDitheringMode, "Type of dithering to apply."},
        {m_poPaletteDetailsEnhancement, "Allow to consider smaller areas when generating palette."},
        {m_poPaletteType, "Type of palette to use in screens 2,3,5,6,7 and 10."},
        {m_poResizeFilter, "Filter used when resizing output image."},
        {m_poRGB2YJKMethod, "Quality of RGB to YJK conversion.\nWarning: Brute force is slow!"},
        {m_poScreen2DetailsEnhancement, "Experimental : change the way borders are generated in screen 2."},
        {m_poYJKDetailsEnhancement,
         "Experimental : change the way borders are generated in screen 10 and 12."},
        {m_poScreen10Palette, "Use palette colors to improve conversion to screen 10."},
        {m_poTileLimit, "Most distinct 8x8 tiles per third of the screen (1 to 255),\nor in the shared bank "
                        "(1 to 256); 0: no limit."},
        {m_poTileSharedBank, "One tile bank for the three thirds of the screen."},
        {m_poYJK2RGBInterpolation, "Enhancements when loading\na YJK (screen 10 or 12) file."},
    };
    for (const auto& oTip : aoTips)
        oTip.poWidget->setToolTip(QLatin1String(oTip.pszTip));
    m_poScreenMode->setToolTip(asScreenTips.join(QLatin1Char('\n')));

    // The wheel scrolls the panel: a combo box or slider takes it only once it has
    // the focus (given by a click or Tab, never by the wheel), so scrolling past
    // the settings changes none of them (eventFilter).
    for (QWidget* poChild : m_poPanel->findChildren<QWidget*>())
    {
        if (!qobject_cast<QComboBox*>(poChild) && !qobject_cast<QAbstractSlider*>(poChild)) continue;
        poChild->setFocusPolicy(Qt::StrongFocus);
        poChild->installEventFilter(this);
    }

    // The positions above are those of the full-size window; the panel starts
    // where the display area ends there.
    for (QWidget* poChild : m_poPanel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        poChild->move(poChild->x() - g_iLeft, poChild->y());
}

void SettingsPanel::vConnectControls()
{
    connect(m_poInterlacedMode, &QCheckBox::toggled, this, &SettingsPanel::InterlacedMode);
    connect(m_poRealMSXAspectRatio, &QCheckBox::toggled, this, &SettingsPanel::RealMSXAspectRatio);
    connect(m_poScreen10Palette, &QCheckBox::toggled, this, &SettingsPanel::Screen10Palette);
    connect(m_poTileSharedBank, &QCheckBox::toggled, this, &SettingsPanel::TileSharedBank);

    const struct
    {
        QComboBox* poCombo;
        void (SettingsPanel::*pSlot)(int);
    } aoCombos[] = {
        {m_poConversionType, &SettingsPanel::ConversionType},
        {m_poDeltaMethod, &SettingsPanel::DeltaMethod},
        {m_poDisplayFilter, &SettingsPanel::DisplayFilter},
        {m_poFitMode, &SettingsPanel::FitMode},
        {m_poInputAspectRatioType, &SettingsPanel::InputAspectRatioType},
        {m_poOutputAspectRatioType, &SettingsPanel::OutputAspectRatioType},
        {m_poOutputSizeType, &SettingsPanel::OutputSizeType},
        {m_poDitheringMode, &SettingsPanel::DitheringMode},
        {m_poPaletteType, &SettingsPanel::PaletteType},
        {m_poRGB2YJKMethod, &SettingsPanel::RGB2YJKMethod},
        {m_poResizeFilter, &SettingsPanel::ResizeFilter},
        {m_poScreenMode, &SettingsPanel::ScreenMode},
        {m_poYJK2RGBInterpolation, &SettingsPanel::YJK2RGBInterpolation},
    };
    for (const auto& oCombo : aoCombos)
        connect(oCombo.poCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, oCombo.pSlot);

    const struct
    {
        QLineEdit* poEdit;
        void (SettingsPanel::*pSlot)();
    } aoEdits[] = {
        {m_poCustomInputAspectRatio, &SettingsPanel::CustomInputAspectRatio},
        {m_poCustomOutputAspectRatio, &SettingsPanel::CustomOutputAspectRatio},
        {m_poOutputWidth, &SettingsPanel::OutputWidth},
        {m_poOutputHeight, &SettingsPanel::OutputHeight},
        {m_poTileLimit, &SettingsPanel::TileLimit},
    };
    for (const auto& oEdit : aoEdits)
    {
        connect(oEdit.poEdit, &QLineEdit::returnPressed, this, oEdit.pSlot);
        connect(oEdit.poEdit, &QLineEdit::editingFinished, this, oEdit.pSlot);
    }

    const struct
    {
        QSlider* poSlider;
        void (SettingsPanel::*pSlot)(int);
    } aoSliders[] = {
        {m_poBrightnessWeight, &SettingsPanel::BrightnessWeight},
        {m_poErrorDiffusionFactor, &SettingsPanel::ErrorDiffusionFactor},
        {m_poPaletteDetailsEnhancement, &SettingsPanel::PaletteDetailsEnhancement},
        {m_poScreen2DetailsEnhancement, &SettingsPanel::Screen2DetailsEnhancement},
        {m_poYJKDetailsEnhancement, &SettingsPanel::YJKDetailsEnhancement},
        {m_poBayerFactor, &SettingsPanel::BayerFactor},
        {m_poBayerLowThreshold, &SettingsPanel::BayerLowThreshold},
        {m_poBayerHighThreshold, &SettingsPanel::BayerHighThreshold},
        {m_poHorizontalShift, &SettingsPanel::HorizontalShift},
    };
    for (const auto& oSlider : aoSliders)
        connect(oSlider.poSlider, &QSlider::valueChanged, this, oSlider.pSlot);
    connect(m_poResetToDefaults, &QPushButton::clicked, this, &SettingsPanel::ResetToDefaults);
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
    if (!poPainted || !bScreenModeHasScreen2Layout(poConverted->ScreenMode))
    {
        m_poTileCount->setText(QStringLiteral("-"));
        return;
    }
    const tdTileBudget oBudget = oGetTileBudget(poConverted);
    const bool bShared = oBudget.m_iTiles > 0 && oBudget.m_bSharedBank;
    int aiCounts[3];
    vCountTiles(poPainted, bShared, aiCounts);
    m_poTileCount->setText(
        bShared ? QStringLiteral("%1 shared").arg(aiCounts[0])
                : QStringLiteral("%1/%2/%3").arg(aiCounts[0]).arg(aiCounts[1]).arg(aiCounts[2]));
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
