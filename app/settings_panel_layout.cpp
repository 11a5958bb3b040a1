// The settings panel's controls: the groups of conversion settings at their places
// on the full-size window, their tooltips, and the connections to the panel's slots.

#include "settings_panel.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

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
} // namespace

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
