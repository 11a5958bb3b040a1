#pragma once

#include "panel_widgets.h"

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <QObject>

// The fields whose change makes the window set the controls again.
bool bControlFieldsDiffer(const tdSettings* poA, const tdSettings* poB);

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class SettingsHistory;
class StatusLine;

// The settings panel: a panel of fixed size at the window's right, in a scroll
// area that scrolls it when the window is smaller, holding the groups of
// conversion settings (Global, PNG, MSX), the average error and "Reset to
// defaults"; the other rooms put their controls on it too. Each control writes
// one field of the window's settings record and nothing else (the window
// notices the change when it next paints); vUpdateControls sets the controls
// from the record and applies the enabling rules. The wheel over a combo box or
// slider without the focus scrolls the panel instead of changing the value.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the panel's own functions change it.
class SettingsPanel : public QObject
{
    Q_OBJECT
public:
    // The panel's size: the full-size window less its display area.
    static constexpr int g_iWidth = 1648 - 1024;
    static constexpr int g_iHeight = 750;
    // The controls are placed at their positions in the full-size window, this
    // much further right than on the panel (vFinish moves them).
    static constexpr int g_iLeft = 1024;

    // poSettings is the window's record, edited by the controls; refused values
    // are told in poStatusLine; a reset is recorded in poHistory.
    SettingsPanel(QWidget* poWindow, tdSettings* poSettings, StatusLine* poStatusLine,
                  SettingsHistory* poHistory);

    // The groups, in the panel's order: Global settings; then (after the palette
    // editor) PNG and MSX settings and the average error; then (after the view's
    // controls) "Reset to defaults".
    void vBuildGlobalGroup();
    void vBuildScreenGroups();
    void vBuildResetButton();
    // Once every room has put its controls on the panel: moves them from their
    // full-window positions onto the panel and routes the wheel.
    void vFinish();
    // Connects each control to the slot of its field.
    void vConnectControls();

    QScrollArea* m_poSettingsArea; // scrolls m_poPanel
    QWidget* m_poPanel;
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
    QLineEdit* m_poTileLimit;
    QCheckBox* m_poTileSharedBank;
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
    QLabel* m_poTileCount; // distinct tiles of the last Screen 2 or 4 picture, per third or shared
    QPushButton* m_poResetToDefaults;

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
    tdControlRow m_oTileLimitRow;
    QLabel* m_poAverageErrorHeading;
    QLabel* m_apoAverageErrorCaptions[5];

    tdSettings* m_poSettings; // the window's record
    StatusLine* m_poStatusLine;
    SettingsHistory* m_poHistory;

    // Pushes the settings into the controls and applies the enabling rules.
    void vUpdateControls();
    // Shows a conversion's error triple of conversion type eType; PNG and sprite
    // sheets have none, and show "-" rather than the numbers of earlier settings.
    void vShowError(const tdErrorTriple& oError, int eType);
    // Shows the distinct tiles of a converted Screen 2 or 4 picture (poPainted, as
    // the encoder painted it, may be null), "-" for the other screens.
    void vShowTiles(const Image* poPainted, const tdSettings* poConverted);

    bool eventFilter(QObject* poObject, QEvent* poEvent) override;

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
    void TileLimit();
    void TileSharedBank(bool bValue);
    void BrightnessWeight(int iValue);
    void ErrorDiffusionFactor(int iValue);
    void PaletteDetailsEnhancement(int iValue);
    void Screen2DetailsEnhancement(int iValue);
    void YJKDetailsEnhancement(int iValue);
    void BayerFactor(int iValue);
    void BayerLowThreshold(int iValue);
    void BayerHighThreshold(int iValue);
    void HorizontalShift(int iValue);
    // The settings become the defaults (Undo puts them back).
    void ResetToDefaults();

signals:
    // A field changed: the window repaints and so notices it.
    void vChanged();
    // The whole record was replaced: every control must be set again.
    void vReset();

private:
    void vSetScaledField(double* pfField, int iValue, QLabel* poLabel);
};
