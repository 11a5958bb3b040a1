// The window itself: its controls, menus and toolbar, their connections, its size and
// what happens when it closes. The other concerns live in the window_*.cpp units.

#include "window_internal.h"

#include "about_box.h"
#include "camera_permission.h"
#include "command_line.h"
#include "palette_editor.h"
#include "settings_history.h"
#include "settings_store.h"
#include "view.h"

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

#include <QActionGroup>
#include <QApplication>
#include <QCamera>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageCapture>
#include <QLabel>
#include <QLineEdit>
#include <QMediaCaptureSession>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QVideoSink>

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

#ifndef QEV_APP_VERSION
#error "QEV_APP_VERSION must name the program's version"
#endif

void vInitResources()
{
    static bool bDone = false;
    if (bDone) return;
    bDone = true;
    Q_INIT_RESOURCE(qevui);
}

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

Window::Window(QWidget* poParent)
    : QWidget(poParent), m_poSourceImage(nullptr), m_bCameraLive(false), m_bClipboardHasImage(false),
      m_bCaptureRequested(false), m_poSettingsStore(nullptr), m_poCaptureSession(nullptr),
      m_poVideoSink(nullptr), m_poCamera(nullptr), m_poImageCapture(nullptr), m_pbSaveCancel(nullptr),
      m_bCloseAfterSave(false), m_poReadLoop(nullptr)
{
    vInitResources();
    m_poHistory = new SettingsHistory(&m_oSettings, this);
    vBuildControls();
    setAcceptDrops(true);
    // A click in the picture gives the window the keyboard, for copy and paste.
    setFocusPolicy(Qt::ClickFocus);

    m_bClipboardHasImage = !QApplication::clipboard()->image().isNull();

    vComputeColors();

    // The records are byte copies (padding included) from here on: see the class.
    vGetDefaultSettings(&m_oSettings);
    memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));

    vConnectControls();
    update();
    m_poSettingsStore = new QSettings();
    vLoadSettingsFromQSettings(&m_oSettings, *m_poSettingsStore);

    m_poView->m_poRenderArea->installEventFilter(this);
    const QScreen* poScreen = screen();
    resize(poScreen ? oFittedSize(poScreen->availableGeometry().size())
                    : QSize(g_iWindowWidth, g_iWindowHeight));
    setWindowTitle(QStringLiteral("QEVui " QEV_APP_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/QEVui.png")));
}

Window::~Window()
{
    // The preview's signals reach no slot of this half-destroyed window.
    disconnect(m_poPreview, nullptr, this, nullptr);
    delete m_poPreview;
    // QWidget's destructor closes the window, and a line edit losing the focus
    // then reports editingFinished: no slot of this half-destroyed window may run.
    for (QObject* poChild : findChildren<QObject*>())
        disconnect(poChild, nullptr, this, nullptr);
    disconnect(QApplication::clipboard(), nullptr, this, nullptr);
    vSaveSettingsToQSettings(&m_oSettings, *m_poSettingsStore, true);
    m_poSourceOwner.reset();
    delete m_poImageCapture;
    delete m_poCamera;
    delete m_poVideoSink;
    delete m_poCaptureSession;
    delete m_poSettingsStore;
}

void Window::vBuildControls()
{
    setObjectName(QStringLiteral("Window"));
    setMinimumSize(g_iMinimumWidth, g_iMinimumHeight);
    // The controls use a smaller size of the application's rounded font than its
    // default 17 points, which dialogs and message boxes keep.
    QFont oControlFont = QApplication::font();
    oControlFont.setPixelSize(12);
    setFont(oControlFont);
    // Menus, dialogs, message boxes and tooltips are windows of their own: they
    // take the application's font, which is made the same.
    QApplication::setFont(oControlFont);
    QToolTip::setFont(oControlFont);

    // The display area takes what the settings leave; the settings keep their
    // places on a panel of fixed size, which scrolls when the window is smaller.
    m_poView = new View(this, &m_oSettings);
    QWidget* poPanel = new QWidget();
    poPanel->setObjectName(QStringLiteral("SettingsPanel"));
    poPanel->setFixedSize(g_iWindowWidth - g_iRenderWidth, g_iPanelHeight);
    m_poSettingsArea = new QScrollArea(this);
    m_poSettingsArea->setObjectName(QStringLiteral("SettingsArea"));
    m_poSettingsArea->setFrameShape(QFrame::NoFrame);
    m_poSettingsArea->setWidget(poPanel);
    m_poSettingsArea->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_poSettingsArea->setFixedWidth(poPanel->width());
    // The menu bar, then a toolbar that stays in view at every size: Open, Save and
    // the command line.
    QVBoxLayout* poOuter = new QVBoxLayout(this);
    poOuter->setContentsMargins(0, 0, 0, 0);
    poOuter->setSpacing(0);
    m_poMenuBar = new QMenuBar(this);
    m_poMenuBar->setObjectName(QStringLiteral("MenuBar"));
    poOuter->setMenuBar(m_poMenuBar);
    m_poToolBar = new QToolBar(this);
    m_poToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_poToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    poOuter->addWidget(m_poToolBar);
    QHBoxLayout* poLayout = new QHBoxLayout();
    poLayout->setContentsMargins(0, 0, 0, 0);
    poLayout->setSpacing(0);
    poLayout->addWidget(m_poView->m_poRenderArea, 1);
    poLayout->addWidget(m_poSettingsArea, 0);
    poOuter->addLayout(poLayout, 1);

    // The status line: over the bottom of the display while it has something to say.
    m_poStatusLine = new StatusLine(m_poView->m_poRenderArea);
    m_poPreview = new Preview(m_poView->m_poRenderArea, this);

    // Global settings: three rows of two captioned controls, then the two
    // aspect-ratio rows with their custom value.
    QFrame* poGlobal = poMakeGroup(poPanel, "GlobalSettings", QStringLiteral("Global settings"),
                                   QRect(1030, 20, 331, 201), nullptr);
    auto poComboRow = [](QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                         const QString& sCaption, int iX, int iY, int iCaptionWidth, int iComboWidth,
                         tdControlRow* poRow)
    {
        QLabel* poCaption =
            poMakeLabel(poParent, (QLatin1String(pszName) + QLatin1String("Label")).toLatin1().constData(),
                        sCaption, QRect(iX, iY, iCaptionWidth, 32));
        QComboBox* poCombo = poMakeCombo(poParent, pszName, ppszItems, iCount,
                                         QRect(iX + iCaptionWidth, iY + 3, iComboWidth, 26));
        if (poRow) *poRow = {poCaption, poCombo, nullptr};
        return poCombo;
    };
    tdControlRow oUnused;
    m_poConversionType =
        poComboRow(poGlobal, "ConversionType", g_apszConversionTypeNames, ConversionType_Count,
                   QStringLiteral("Convert to"), 4, 4, 72, 88, &oUnused);
    m_poFitMode = poComboRow(poGlobal, "FitMode", g_apszFitModeNames, FitMode_Count,
                             QStringLiteral("Fit mode"), 166, 4, 72, 88, &m_oFitModeRow);
    m_poResizeFilter = poComboRow(poGlobal, "ResizeFilter", g_apszResizeFilterNames, ResizeFilter_Count,
                                  QStringLiteral("Resize filter"), 4, 42, 72, 88, &oUnused);
    m_poDisplayFilter = poComboRow(poGlobal, "DisplayFilter", g_apszResizeFilterNames, ResizeFilter_Count,
                                   QStringLiteral("Display\nfilter"), 166, 42, 72, 88, &oUnused);
    m_poYJK2RGBInterpolation =
        poComboRow(poGlobal, "YJK2RGBInterpolation", g_apszYJK2RGBInterpolationNames, YJK2RGB_Count,
                   QStringLiteral("YJK2RGB \ninterpolation"), 4, 80, 72, 88, &oUnused);
    poMakeLabel(poGlobal, "RealMSXAspectRatioLabel", QStringLiteral("MSX\nreal A.R."),
                QRect(166, 80, 72, 32));
    m_poRealMSXAspectRatio = new QCheckBox(poGlobal);
    m_poRealMSXAspectRatio->setObjectName(QStringLiteral("RealMSXAspectRatio"));
    m_poRealMSXAspectRatio->setGeometry(238 + 36, 83, 26, 26);
    m_poInputAspectRatioType =
        poComboRow(poGlobal, "InputAspectRatioType", g_apszAspectRatioTypeNames, AspectRatio_Count,
                   QStringLiteral("Input A.R."), 4, 122, 72, 150, &oUnused);
    m_poCustomInputAspectRatio = new QLineEdit(poGlobal);
    m_poCustomInputAspectRatio->setObjectName(QStringLiteral("CustomInputAspectRatio"));
    m_poCustomInputAspectRatio->setGeometry(232, 125, 92, 26);
    m_poOutputAspectRatioType =
        poComboRow(poGlobal, "OutputAspectRatioType", g_apszAspectRatioTypeNames, AspectRatio_Count,
                   QStringLiteral("Output A.R."), 4, 160, 72, 150, &oUnused);
    m_poCustomOutputAspectRatio = new QLineEdit(poGlobal);
    m_poCustomOutputAspectRatio->setObjectName(QStringLiteral("CustomOutputAspectRatio"));
    m_poCustomOutputAspectRatio->setGeometry(232, 163, 92, 26);

    m_poPaletteEditor = new PaletteEditor(&m_oSettings, m_poHistory, m_poStatusLine, this);
    m_poPaletteEditor->vBuildControls(poPanel);

    // PNG settings.
    QFrame* poPNG = poMakeGroup(poPanel, "PNGSettings", QStringLiteral("PNG settings"),
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
    QFrame* poMSX = poMakeGroup(poPanel, "MSXSettings", QStringLiteral("MSX settings"),
                                QRect(1370, 100, 271, 551), nullptr);
    m_poScreenMode = poComboRow(poMSX, "ScreenMode", g_apszScreenModeNames, ScreenMode_Count,
                                QStringLiteral("Screen"), 4, 6, 112, 150, &m_oScreenModeRow);
    m_poPaletteType = poComboRow(poMSX, "PaletteType", g_apszPaletteTypeNames, PaletteType_Count,
                                 QStringLiteral("Palette type"), 4, 40, 112, 150, &m_oPaletteTypeRow);
    m_poInterlacedMode = new QCheckBox(QStringLiteral("Interlaced"), poMSX);
    m_poInterlacedMode->setObjectName(QStringLiteral("InterlacedMode"));
    m_poInterlacedMode->setGeometry(20, 76, 110, 26);
    m_poScreen10Palette = new QCheckBox(QStringLiteral("SC10 palette"), poMSX);
    m_poScreen10Palette->setObjectName(QStringLiteral("Screen10Palette"));
    m_poScreen10Palette->setGeometry(140, 76, 120, 26);
    m_poRGB2YJKMethod = poComboRow(poMSX, "RGB2YJKMethod", g_apszRGB2YJKMethodNames, RGB2YJK_Count,
                                   QStringLiteral("RGB2YJK method"), 4, 106, 112, 150, &m_oRGB2YJKMethodRow);
    m_poDeltaMethod = poComboRow(poMSX, "DeltaMethod", g_apszDeltaMethodNames, DeltaMethod_Count,
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
    m_poDitheringMode = poComboRow(poMSX, "DitheringMode", g_apszDitheringModeNames, Dithering_Count,
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

    // Average error.
    QFrame* poError = poMakeGroup(poPanel, "AverageError", QStringLiteral("Average error"),
                                  QRect(1130, 500, 131, 121), &m_poAverageErrorHeading);
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

    m_poView->vBuildControls(poPanel);

    m_poResetToDefaults = poMakeButton(poPanel, "ResetToDefaults", QStringLiteral("Reset to defaults"),
                                       QRect(1130, 430, 131, 30));

    // The command line equivalent lives in the toolbar (vConnectControls).
    QLabel* poCommandLineLabel = new QLabel(QStringLiteral(" Command line: "), m_poToolBar);
    poCommandLineLabel->setObjectName(QStringLiteral("CommandLineLabel"));
    m_poCommandLine = new QLineEdit(m_poToolBar);
    m_poCommandLine->setObjectName(QStringLiteral("CommandLine"));
    m_poCommandLine->setReadOnly(true);
    m_poCommandLine->setMinimumWidth(200);
    m_poCommandLine->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_poOpen = new QToolButton(poPanel);
    m_poOpen->setObjectName(QStringLiteral("Open"));
    m_poOpen->setText(QStringLiteral("Open..."));
    m_poOpen->setGeometry(1030, 676, 84, 30);
    m_poOpen->setPopupMode(QToolButton::MenuButtonPopup);
    m_poOpen->setMenu(new QMenu(m_poOpen));
    m_poCopy = poMakeButton(poPanel, "Copy", QStringLiteral("Copy"), QRect(1120, 676, 60, 30));
    m_poPaste = poMakeButton(poPanel, "Paste", QStringLiteral("Paste"), QRect(1186, 676, 60, 30));
    m_poAbout = poMakeButton(poPanel, "About", QStringLiteral("About"), QRect(1252, 676, 60, 30));
    m_poCaptureFromCamera = poMakeButton(poPanel, "CaptureFromCamera",
                                         QStringLiteral("Capture from camera..."), QRect(1318, 676, 180, 30));
    m_poSaveImage =
        poMakeButton(poPanel, "SaveImage", QStringLiteral("Save image..."), QRect(1504, 676, 137, 30));

    for (QLineEdit* poEdit :
         {m_poCustomInputAspectRatio, m_poCustomOutputAspectRatio, m_poOutputWidth, m_poOutputHeight})
        poEdit->setAlignment(Qt::AlignCenter);

    // Tooltips.
    QStringList asScreenTips;
    for (const char* pszTip : g_apszScreenModeTips)
        asScreenTips << QLatin1String(pszTip);
    const struct
    {
        QWidget* poWidget;
        const char* pszTip;
    } aoTips[] = {
        {m_poCommandLine, "Command line equivalent of the current settings."},
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
        {m_poSaveImage, "Save image to a file."},
        {m_poScreen2DetailsEnhancement, "Experimental : change the way borders are generated in screen 2."},
        {m_poYJKDetailsEnhancement,
         "Experimental : change the way borders are generated in screen 10 and 12."},
        {m_poScreen10Palette, "Use palette colors to improve conversion to screen 10."},
        {m_poYJK2RGBInterpolation, "Enhancements when loading\na YJK (screen 10 or 12) file."},
    };
    for (const auto& oTip : aoTips)
        oTip.poWidget->setToolTip(QLatin1String(oTip.pszTip));
    m_poScreenMode->setToolTip(asScreenTips.join(QLatin1Char('\n')));

    // The wheel scrolls the panel: a combo box or slider takes it only once it has
    // the focus (given by a click or Tab, never by the wheel), so scrolling past
    // the settings changes none of them (eventFilter).
    for (QWidget* poChild : poPanel->findChildren<QWidget*>())
    {
        if (!qobject_cast<QComboBox*>(poChild) && !qobject_cast<QAbstractSlider*>(poChild)) continue;
        poChild->setFocusPolicy(Qt::StrongFocus);
        poChild->installEventFilter(this);
    }

    // The positions above are those of the full-size window; the panel starts
    // where the display area ends there.
    for (QWidget* poChild : poPanel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        poChild->move(poChild->x() - g_iRenderWidth, poChild->y());
}

// The recent pictures, listed afresh each time a menu of them opens: the file
// name, its folder in the tooltip, so that the menu stays narrow.
void Window::vFillRecentMenu(QMenu* poMenu)
{
    poMenu->clear();
    poMenu->setToolTipsVisible(true);
    for (const QString& sPath : asRecentFiles())
    {
        QAction* poAction = poMenu->addAction(QFileInfo(sPath).fileName().replace(QLatin1Char('&'), "&&"),
                                              this, [this, sPath]() { bLoadImageFiles({sPath}); });
        poAction->setToolTip(sPath);
    }
    if (poMenu->isEmpty()) poMenu->addAction(QStringLiteral("No recent pictures"))->setEnabled(false);
}

// The menu bar and the toolbar. Every action is also the window's own, so its
// keys work whatever control has the focus (a line edit keeps its own copy,
// paste and undo of text).
void Window::vBuildMenus()
{
    auto poAdd = [this](QMenu* poMenu, const char* pszName, const QString& sText, const QKeySequence& oKeys,
                        void (Window::*pSlot)())
    {
        QAction* poAction = poMenu->addAction(sText);
        poAction->setObjectName(QLatin1String(pszName));
        poAction->setShortcut(oKeys);
        poAction->setShortcutContext(Qt::WindowShortcut);
        if (pSlot) connect(poAction, &QAction::triggered, this, pSlot);
        addAction(poAction);
        return poAction;
    };
    QMenu* poFile = m_poMenuBar->addMenu(QStringLiteral("&File"));
    QAction* poOpen =
        poAdd(poFile, "actionOpen", QStringLiteral("&Open..."), QKeySequence::Open, &Window::Open);
    QMenu* poRecent = poFile->addMenu(QStringLiteral("Open &Recent"));
    poRecent->setObjectName(QStringLiteral("RecentMenu"));
    connect(poRecent, &QMenu::aboutToShow, this, [this, poRecent]() { vFillRecentMenu(poRecent); });
    QAction* poSave = poAdd(poFile, "actionSave", QStringLiteral("&Save"), QKeySequence::Save, &Window::Save);
    poAdd(poFile, "actionSaveAs", QStringLiteral("Save &As..."), QKeySequence::SaveAs, &Window::SaveImage);
    poFile->addSeparator();
    connect(poAdd(poFile, "actionLoadPalette", QStringLiteral("&Load Palette..."), QKeySequence(), nullptr),
            &QAction::triggered, m_poPaletteEditor, &PaletteEditor::LoadPalette);
    connect(poAdd(poFile, "actionSavePalette", QStringLiteral("Save &Palette..."), QKeySequence(), nullptr),
            &QAction::triggered, m_poPaletteEditor, &PaletteEditor::SavePalette);
    poFile->addSeparator();
    QAction* poQuit = poAdd(poFile, "actionQuit", QStringLiteral("&Quit"), QKeySequence::Quit, nullptr);
    // Ctrl+Q where the platform names no key for quitting.
    if (poQuit->shortcut().isEmpty()) poQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(poQuit, &QAction::triggered, this, &QWidget::close);

    QMenu* poEdit = m_poMenuBar->addMenu(QStringLiteral("&Edit"));
    QAction* poUndo = m_poHistory->m_poStack->createUndoAction(this, QStringLiteral("&Undo"));
    poUndo->setObjectName(QStringLiteral("Undo"));
    poUndo->setShortcut(QKeySequence::Undo);
    poUndo->setShortcutContext(Qt::WindowShortcut);
    QAction* poRedo = m_poHistory->m_poStack->createRedoAction(this, QStringLiteral("&Redo"));
    poRedo->setObjectName(QStringLiteral("Redo"));
    poRedo->setShortcut(QKeySequence::Redo);
    poRedo->setShortcutContext(Qt::WindowShortcut);
    poEdit->addAction(poUndo), addAction(poUndo);
    poEdit->addAction(poRedo), addAction(poRedo);
    poEdit->addSeparator();
    poAdd(poEdit, "actionCopy", QStringLiteral("&Copy"), QKeySequence::Copy, &Window::Copy);
    poAdd(poEdit, "actionPaste", QStringLiteral("&Paste"), QKeySequence::Paste, &Window::Paste);
    poEdit->addSeparator();
    poAdd(poEdit, "actionResetToDefaults", QStringLiteral("Reset to &Defaults"), QKeySequence(),
          &Window::ResetToDefaults);

    // The view items follow the View combo box and the Original button, both ways.
    QMenu* poView = m_poMenuBar->addMenu(QStringLiteral("&View"));
    QActionGroup* poZoom = new QActionGroup(this);
    const char* const apszZoom[] = {"&Fitted", "&1:1", "&2:1", "&3:1"};
    for (int i = 0; i < 4; i++)
    {
        QAction* poAction = poAdd(poView, "actionZoom", QLatin1String(apszZoom[i]),
                                  QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + i)), nullptr);
        poAction->setObjectName(QStringLiteral("actionZoom%1").arg(i));
        poAction->setCheckable(true);
        poAction->setChecked(i == 0);
        poZoom->addAction(poAction);
        connect(poAction, &QAction::triggered, m_poView->m_poZoom,
                [this, i]() { m_poView->m_poZoom->setCurrentIndex(i); });
        connect(m_poView->m_poZoom, QOverload<int>::of(&QComboBox::currentIndexChanged), poAction,
                [poAction, i](int iIndex) { poAction->setChecked(iIndex == i); });
    }
    poView->addSeparator();
    QAction* poOriginal =
        poAdd(poView, "actionOriginal", QStringLiteral("&Original"), QKeySequence(), nullptr);
    poOriginal->setCheckable(true);
    connect(poOriginal, &QAction::toggled, m_poView, &View::vSetShowOriginal);
    connect(m_poView->m_poShowOriginal, &QPushButton::toggled, poOriginal, &QAction::setChecked);
    poView->addSeparator();
    poAdd(poView, "actionCancel", QStringLiteral("&Cancel Conversion"), QKeySequence(Qt::Key_Escape),
          &Window::vCancelConversion);

    QMenu* poHelp = m_poMenuBar->addMenu(QStringLiteral("&Help"));
    poAdd(poHelp, "actionAbout", QStringLiteral("&About QEVui..."), QKeySequence(), &Window::About);

    m_poToolBar->addAction(poOpen);
    // The toolbar's Open lists the recent pictures from its arrow, as File > Open Recent.
    if (QToolButton* poOpenButton = qobject_cast<QToolButton*>(m_poToolBar->widgetForAction(poOpen)))
    {
        QMenu* poToolRecent = new QMenu(poOpenButton);
        poToolRecent->setObjectName(QStringLiteral("ToolBarRecentMenu"));
        connect(poToolRecent, &QMenu::aboutToShow, this,
                [this, poToolRecent]() { vFillRecentMenu(poToolRecent); });
        poOpenButton->setMenu(poToolRecent);
        poOpenButton->setPopupMode(QToolButton::MenuButtonPopup);
    }
    m_poToolBar->addAction(poSave);
    m_poToolBar->addSeparator();
    m_poToolBar->addWidget(m_poToolBar->findChild<QLabel*>(QStringLiteral("CommandLineLabel")));
    m_poToolBar->addWidget(m_poCommandLine);
}

void Window::vConnectControls()
{
    m_poPaletteEditor->m_fnBusy = [this]() { return bBusy(); };
    m_poPaletteEditor->m_fnCameraLive = [this]() { return m_bCameraLive; };
    m_poPaletteEditor->m_fnStartFolder = [this](const QString& sLast) { return sStartFolder(sLast); };
    connect(m_poPaletteEditor, &PaletteEditor::vChanged, this, QOverload<>::of(&QWidget::update));
    connect(m_poPaletteEditor, &PaletteEditor::vPaletteFileChanged, this, &Window::vUpdateCommandLine);
    connect(m_poHistory, &SettingsHistory::vRestored, this,
            [this](bool bWhole)
            {
                // Every control is set again from a whole record.
                if (bWhole) memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));
                update();
            });
    connect(m_poInterlacedMode, &QCheckBox::toggled, this, &Window::InterlacedMode);
    connect(m_poRealMSXAspectRatio, &QCheckBox::toggled, this, &Window::RealMSXAspectRatio);
    connect(m_poScreen10Palette, &QCheckBox::toggled, this, &Window::Screen10Palette);

    const struct
    {
        QComboBox* poCombo;
        void (Window::*pSlot)(int);
    } aoCombos[] = {
        {m_poConversionType, &Window::ConversionType},
        {m_poDeltaMethod, &Window::DeltaMethod},
        {m_poDisplayFilter, &Window::DisplayFilter},
        {m_poFitMode, &Window::FitMode},
        {m_poInputAspectRatioType, &Window::InputAspectRatioType},
        {m_poOutputAspectRatioType, &Window::OutputAspectRatioType},
        {m_poOutputSizeType, &Window::OutputSizeType},
        {m_poDitheringMode, &Window::DitheringMode},
        {m_poPaletteType, &Window::PaletteType},
        {m_poRGB2YJKMethod, &Window::RGB2YJKMethod},
        {m_poResizeFilter, &Window::ResizeFilter},
        {m_poScreenMode, &Window::ScreenMode},
        {m_poYJK2RGBInterpolation, &Window::YJK2RGBInterpolation},
    };
    for (const auto& oCombo : aoCombos)
        connect(oCombo.poCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, oCombo.pSlot);

    const struct
    {
        QLineEdit* poEdit;
        void (Window::*pSlot)();
    } aoEdits[] = {
        {m_poCustomInputAspectRatio, &Window::CustomInputAspectRatio},
        {m_poCustomOutputAspectRatio, &Window::CustomOutputAspectRatio},
        {m_poOutputWidth, &Window::OutputWidth},
        {m_poOutputHeight, &Window::OutputHeight},
    };
    for (const auto& oEdit : aoEdits)
    {
        connect(oEdit.poEdit, &QLineEdit::returnPressed, this, oEdit.pSlot);
        connect(oEdit.poEdit, &QLineEdit::editingFinished, this, oEdit.pSlot);
    }

    const struct
    {
        QSlider* poSlider;
        void (Window::*pSlot)(int);
    } aoSliders[] = {
        {m_poBrightnessWeight, &Window::BrightnessWeight},
        {m_poErrorDiffusionFactor, &Window::ErrorDiffusionFactor},
        {m_poPaletteDetailsEnhancement, &Window::PaletteDetailsEnhancement},
        {m_poScreen2DetailsEnhancement, &Window::Screen2DetailsEnhancement},
        {m_poYJKDetailsEnhancement, &Window::YJKDetailsEnhancement},
        {m_poBayerFactor, &Window::BayerFactor},
        {m_poBayerLowThreshold, &Window::BayerLowThreshold},
        {m_poBayerHighThreshold, &Window::BayerHighThreshold},
        {m_poHorizontalShift, &Window::HorizontalShift},
    };
    for (const auto& oSlider : aoSliders)
        connect(oSlider.poSlider, &QSlider::valueChanged, this, oSlider.pSlot);

    const struct
    {
        QPushButton* poButton;
        void (Window::*pSlot)();
    } aoButtons[] = {
        {m_poPaletteEditor->m_poGetFromImage, &Window::GetFromImage},
        {m_poResetToDefaults, &Window::ResetToDefaults},
        {m_poSaveImage, &Window::SaveImage},
        {m_poAbout, &Window::About},
        {m_poCopy, &Window::Copy},
        {m_poPaste, &Window::Paste},
        {m_poCaptureFromCamera, &Window::CaptureFromCamera},
    };
    for (const auto& oButton : aoButtons)
        connect(oButton.poButton, &QPushButton::clicked, this, oButton.pSlot);

    connect(m_poOpen, &QToolButton::clicked, this, &Window::Open);
    connect(m_poView, &View::vChanged, this, QOverload<>::of(&QWidget::update));
    connect(m_poOpen->menu(), &QMenu::aboutToShow, this, [this]() { vFillRecentMenu(m_poOpen->menu()); });

    vBuildMenus();

    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &Window::processClipboardChange);
    connect(m_poPreview, &Preview::vStartRequested, this, &Window::vDoUpdatePreviewImage);
    connect(m_poPreview, &Preview::vFinished, this, &Window::vPreviewFinished);
    connect(m_poPreview, &Preview::vChanged, this,
            [this]()
            {
                m_poView->m_poRenderArea->update();
                update();
            });
}

QSize Window::oFittedSize(const QSize& oAvailable) const
{
    // Title bar and borders of common window managers.
    const int iFrameWidth = 16;
    const int iFrameHeight = 48;
    const int iFullHeight =
        g_iWindowHeight + m_poMenuBar->sizeHint().height() + m_poToolBar->sizeHint().height();
    return QSize(std::max(std::min(g_iWindowWidth, oAvailable.width() - iFrameWidth), g_iMinimumWidth),
                 std::max(std::min(iFullHeight, oAvailable.height() - iFrameHeight), g_iMinimumHeight));
}

void Window::resizeEvent(QResizeEvent* poEvent)
{
    QWidget::resizeEvent(poEvent);
    // Room for the vertical scroll bar only when the panel does not fit.
    const QWidget* poPanel = m_poSettingsArea->widget();
    const int iRoom = height() - m_poMenuBar->sizeHint().height() - m_poToolBar->sizeHint().height();
    const int iBar = iRoom < poPanel->height() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    // The preview keeps at least 45 % of a narrow window (a small screen, or a
    // large scale factor); the panel then scrolls sideways as well.
    const int iPanel = std::min(poPanel->width() + iBar, std::max(g_iMinimumWidth / 2, width() * 55 / 100));
    m_poSettingsArea->setFixedWidth(iPanel);
}

bool Window::eventFilter(QObject* poObject, QEvent* poEvent)
{
    if (poEvent->type() == QEvent::Wheel && poObject->isWidgetType() &&
        !static_cast<QWidget*>(poObject)->hasFocus())
    {
        // Handed to the scrolling panel instead.
        QCoreApplication::sendEvent(m_poSettingsArea->viewport(), poEvent);
        return true;
    }
    if (poObject == m_poView->m_poRenderArea && poEvent->type() == QEvent::Resize)
    {
        m_poView->vPlace(m_poStatusLine->iPlace());
        m_poPreview->vShowProgress();
    }
    return QWidget::eventFilter(poObject, poEvent);
}

void Window::closeEvent(QCloseEvent* poEvent)
{
    // A save in progress is cancelled; the window closes as soon as the writer
    // has stopped (at its next row), leaving no file behind.
    if (m_pbSaveCancel)
    {
        *m_pbSaveCancel = true;
        m_bCloseAfterSave = true;
        poEvent->ignore();
        return;
    }
    QWidget::closeEvent(poEvent);
}

void Window::vUpdateCommandLine()
{
    // The output is the name of the last save of this picture, else the name the
    // save dialog proposes.
    const QString sOutput =
        m_sSavedSource == m_sSourcePath && !m_sSavedName.isEmpty() ? m_sSavedName : m_sImagePath;
    m_poCommandLine->setText(
        sCommandLine(&m_oSettings, m_sSourcePath, sOutput, m_poPaletteEditor->sMatchingPaletteFile()));
}

void Window::About()
{
    vShowAboutBox();
}

void Window::vDoUpdatePreviewImage()
{
    m_poPreview->m_poTimer->stop();
    vUpdateCommandLine();
    if (m_poPreview->bRunning())
    {
        // Live camera frames come faster than slow conversions end: the running
        // one is finished and shown, then the newest frame converted.
        m_poPreview->vSupersede(m_bCameraLive);
        return;
    }
    if (m_poSourceImage)
    {
        m_poPreview->vStart(m_oSettings, m_poSourceOwner);
    }
    else
    {
        m_poView->vSetConverted(nullptr);
        m_poView->m_poRenderArea->update();
        m_poPreview->m_bPending = false;
        m_poPreview->m_iConversionCount++;
    }
    // The conversion covers the current settings: a change that has not been
    // painted yet needs no second one, only the refresh of the controls.
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));
}

void Window::vPreviewFinished(tdPreviewJob* poJob)
{
    m_poView->vSetConverted(poJob->poConverted);
    poJob->poConverted = nullptr;
    // PNG and sprite sheets have no conversion error: no number is shown rather
    // than one of earlier settings.
    const int eType = poJob->oSettings.ConversionType;
    const tdErrorTriple& oError = poJob->oError;
    const bool bError = eType != ConversionType_PNG && eType != ConversionType_SPR;
    m_poAverageErrorR->setText(bError ? sFormatDouble(oError.fRed) : QStringLiteral("-"));
    m_poAverageErrorG->setText(bError ? sFormatDouble(oError.fGreen) : QStringLiteral("-"));
    m_poAverageErrorB->setText(bError ? sFormatDouble(oError.fBlue) : QStringLiteral("-"));
    m_poAverageErrorRGB->setText(bError ? sFormatDouble(oError.fRed + oError.fGreen + oError.fBlue)
                                        : QStringLiteral("-"));
    if (!poJob->sError.empty())
        m_poStatusLine->vShow(
            QStringLiteral("Conversion: %1").arg(QString::fromLocal8Bit(poJob->sError.c_str())), true);
}

void Window::vCancelConversion()
{
    if (m_pbSaveCancel) *m_pbSaveCancel = true;
    if (m_poReadLoop) m_poReadLoop->quit();
    if (m_poPreview->bRunning() || m_poPreview->m_bPending)
        m_poStatusLine->vShow(
            QStringLiteral("Conversion cancelled: the picture shown is from earlier settings"), false);
    m_poPreview->vCancel();
    m_poView->m_poRenderArea->update();
    update();
}

bool Window::bWaitForConversion(int iTimeoutMs)
{
    return m_poPreview->bWaitUntilIdle(iTimeoutMs);
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
    m_poPaletteEditor->vTakePalette(
        poPalette->m_aoColors,
        bCustom ? QStringLiteral("The custom palette is now the one palette type Auto builds for the "
                                 "picture (Ctrl+Z undoes)")
                : QStringLiteral("The custom palette is now the one palette type %1 gives for the picture "
                                 "(Ctrl+Z undoes)")
                      .arg(QLatin1String(g_apszPaletteTypeNames[m_oSettings.PaletteType])));
}
