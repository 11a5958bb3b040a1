#include "window.h"

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

#include <QActionGroup>
#include <QApplication>
#include <QCamera>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageCapture>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
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
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoSink>
#include <QWheelEvent>

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

// Release builds leave the assertions out; the About box says which this is.
#ifdef NDEBUG
#define QEV_BUILD_KIND "release"
#else
#define QEV_BUILD_KIND "debug (assertions on)"
#endif

#ifndef QEV_APP_VERSION
#error "QEV_APP_VERSION must name the program's version"
#endif

std::mutex& oCoreLock()
{
    static std::mutex s_oLock;
    return s_oLock;
}

namespace
{
std::atomic<int> g_iRunningConversions{0};
} // namespace

int iRunningConversions()
{
    return g_iRunningConversions.load();
}

namespace
{
// One picture read beside the event loop: a copy of what the reader needs and
// its results, which the window takes when the read ends, or which go with the
// job when the window gave up on it (Esc).
struct tdReadJob
{
    QByteArray oPath;
    tdSettings oSettings;
    Image* poImage = nullptr; // owned until the window takes it
    std::string sError;       // why it failed
    std::string sNote;        // what the reader said about a picture it read anyway
    QSize oDisplay;           // the display area, for the picture shown until converted
    QImage oFitted;           // the picture fitted to it over the checkerboard
    ~tdReadJob() { delete poImage; }
};
} // namespace

void vRunPreviewJob(tdPreviewJob* poJob)
{
    // Counted until the lock is released too: the counter, made first, goes last.
    g_iRunningConversions++;
    struct tdCount
    {
        ~tdCount() { g_iRunningConversions--; }
    } oCount;
    std::lock_guard<std::mutex> oLock(oCoreLock());
    if (poJob->bCancel) return;
    // The core asks between rows whether to go on, so a cancel stops it soon.
    vClearLastError();
    tdRunContext oRun;
    oRun.m_fnProgress = [poJob](double fDone)
    {
        poJob->iPerMille.store(static_cast<int>(fDone * 1000.0));
        return !poJob->bCancel.load();
    };
    if (poJob->oSettings.ConversionType != ConversionType_PNG)
        poJob->oError = oWriteImageToKRUFile(poJob->poSource.get(), &poJob->oSettings, nullptr,
                                             &poJob->poConverted, nullptr, CompressionType_None, &oRun);
    else
        oWriteImageToPNGFile(poJob->poSource.get(), &poJob->oSettings, nullptr, &poJob->poConverted);
    poJob->sError = pszLastError();
}

void vInitResources()
{
    static bool bDone = false;
    if (bDone) return;
    bDone = true;
    Q_INIT_RESOURCE(qevui);
}

namespace
{

// Text limits of the line edits: values beyond any screen are refused. The same
// bounds as the qev tool's -ow / -oh options; ratios between 1:100 and 100:1.
constexpr int g_iMaxOutputDimension = 8192;
constexpr double g_fMinAspectRatio = 0.01;
constexpr double g_fMaxAspectRatio = 100.0;

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
};

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

// The fields whose change makes the paint handler refresh the controls.
bool bControlFieldsDiffer(const tdSettings* poA, const tdSettings* poB)
{
    return poA->ScreenMode != poB->ScreenMode || poA->DeltaMethod != poB->DeltaMethod ||
           poA->DitheringMode != poB->DitheringMode || poA->PaletteType != poB->PaletteType ||
           poA->ConversionType != poB->ConversionType || poA->Screen10Palette != poB->Screen10Palette ||
           poA->InputAspectRatioType != poB->InputAspectRatioType ||
           poA->OutputAspectRatioType != poB->OutputAspectRatioType ||
           poA->OutputSizeType != poB->OutputSizeType || poA->SelectedColor != poB->SelectedColor ||
           memcmp(poA->CustomPalette, poB->CustomPalette, sizeof(poA->CustomPalette)) != 0;
}

// Widget construction helpers. Every control gets the object name the tests and
// the settings use.
QLabel* poMakeLabel(QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect)
{
    QLabel* poLabel = new QLabel(sText, poParent);
    poLabel->setObjectName(QLatin1String(pszName));
    poLabel->setGeometry(oRect);
    poLabel->setAlignment(Qt::AlignCenter);
    return poLabel;
}

QFrame* poMakeGroup(QWidget* poParent, const char* pszName, const QString& sHeading, const QRect& oRect,
                    QLabel** ppoHeading)
{
    QLabel* poHeading = new QLabel(sHeading, poParent);
    poHeading->setObjectName(QLatin1String(pszName) + QLatin1String("Heading"));
    poHeading->setGeometry(oRect.x(), oRect.y() - 19, oRect.width(), 18);
    poHeading->setAlignment(Qt::AlignCenter);
    QFont oBold = poHeading->font();
    oBold.setWeight(QFont::Bold);
    poHeading->setFont(oBold);
    poHeading->setAutoFillBackground(true);
    QPalette oPalette = poHeading->palette();
    oPalette.setColor(QPalette::Window, oPalette.color(QPalette::Dark));
    oPalette.setColor(QPalette::WindowText, Qt::white);
    poHeading->setPalette(oPalette);
    if (ppoHeading) *ppoHeading = poHeading;

    QFrame* poFrame = new QFrame(poParent);
    poFrame->setObjectName(QLatin1String(pszName));
    poFrame->setGeometry(oRect);
    poFrame->setFrameShape(QFrame::StyledPanel);
    poFrame->setFrameShadow(QFrame::Raised);
    return poFrame;
}

QComboBox* poMakeCombo(QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                       const QRect& oRect)
{
    QComboBox* poCombo = new QComboBox(poParent);
    poCombo->setObjectName(QLatin1String(pszName));
    poCombo->setGeometry(oRect);
    for (int i = 0; i < iCount; i++)
        poCombo->addItem(QLatin1String(ppszItems[i]));
    return poCombo;
}

// A slider with its caption at the left and its value label at the right.
QSlider* poMakeSlider(QWidget* poParent, const char* pszName, int iMin, int iMax, int iPageStep, bool bTicks,
                      const QString& sCaption, const QRect& oRect, int iCaptionWidth, int iValueWidth,
                      tdControlRow* poRow)
{
    const QString sName = QLatin1String(pszName);
    QLabel* poCaption = poMakeLabel(poParent, (sName + QLatin1String("Label")).toLatin1().constData(),
                                    sCaption, QRect(oRect.x(), oRect.y(), iCaptionWidth, oRect.height()));
    poCaption->setWordWrap(true);
    QSlider* poSlider = new QSlider(Qt::Horizontal, poParent);
    poSlider->setObjectName(sName);
    poSlider->setGeometry(oRect.x() + iCaptionWidth, oRect.y(), oRect.width() - iCaptionWidth - iValueWidth,
                          oRect.height());
    poSlider->setRange(iMin, iMax);
    poSlider->setSingleStep(1);
    poSlider->setPageStep(iPageStep);
    if (bTicks)
    {
        poSlider->setTickPosition(QSlider::TicksBelow);
        poSlider->setTickInterval(1);
    }
    QLabel* poValue =
        poMakeLabel(poParent, (sName + QLatin1String("Value")).toLatin1().constData(), QStringLiteral("0"),
                    QRect(oRect.x() + oRect.width() - iValueWidth, oRect.y(), iValueWidth, oRect.height()));
    *poRow = {poCaption, poSlider, poValue};
    return poSlider;
}

// Enables or disables a control; a disabled one's tooltip adds the reason (Qt
// shows tooltips of disabled widgets too).
void vEnableWithReason(QWidget* poWidget, bool bEnabled, const char* pszReason)
{
    if (!poWidget) return;
    if (!poWidget->property("qevBaseToolTip").isValid())
        poWidget->setProperty("qevBaseToolTip", poWidget->toolTip());
    const QString sBase = poWidget->property("qevBaseToolTip").toString();
    const QString sWhy = QStringLiteral("Disabled: %1.").arg(QLatin1String(pszReason));
    poWidget->setToolTip(bEnabled ? sBase : sBase.isEmpty() ? sWhy : sBase + QLatin1Char('\n') + sWhy);
    poWidget->setEnabled(bEnabled);
}

void vEnableRow(const tdControlRow& oRow, bool bEnabled, const char* pszReason)
{
    vEnableWithReason(oRow.poCaption, bEnabled, pszReason);
    vEnableWithReason(oRow.poControl, bEnabled, pszReason);
    vEnableWithReason(oRow.poValue, bEnabled, pszReason);
}

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

Window::Window(QWidget* poParent)
    : QWidget(poParent), m_poSourceImage(nullptr), m_poConvertedImage(nullptr), m_poDisplayedImage(nullptr),
      m_poOriginalImage(nullptr), m_bShowOriginal(false), m_poPreviewTimer(nullptr), m_bCameraLive(false),
      m_bConversionPending(false), m_bClipboardHasImage(false), m_bCaptureRequested(false),
      m_poSettingsStore(nullptr), m_poCaptureSession(nullptr), m_poVideoSink(nullptr), m_poCamera(nullptr),
      m_poImageCapture(nullptr), m_iConversionCount(0), m_poUndoStack(nullptr), m_pbSaveCancel(nullptr),
      m_bCloseAfterSave(false), m_poReadLoop(nullptr), m_poHScroll(nullptr), m_poVScroll(nullptr),
      m_bDragging(false), m_poWorker(nullptr), m_bRestartPending(false), m_iJobCount(0),
      m_poProgressTimer(nullptr), m_poProgress(nullptr)
{
    vInitResources();
    vBuildControls();
    setAcceptDrops(true);
    // A click in the picture gives the window the keyboard, for copy and paste.
    setFocusPolicy(Qt::ClickFocus);

    m_oDefaultImage.load(QStringLiteral(":/DefaultImage.png"));
    m_oHourGlassImage.load(QStringLiteral(":/HourGlass.png"));
    m_bClipboardHasImage = !QApplication::clipboard()->image().isNull();

    m_poPreviewTimer = new QTimer(this);
    m_poPreviewTimer->setSingleShot(true);
    m_poUndoStack = new QUndoStack(this);
    m_poProgressTimer = new QTimer(this);
    m_poProgressTimer->setInterval(100);
    connect(m_poProgressTimer, &QTimer::timeout, this, &Window::vShowProgress);

    vComputeColors();
    memset(m_aoPaletteFileColors, 0, sizeof(m_aoPaletteFileColors));

    for (int i = 0; i < 16; i++)
        m_apoColorButtons[i]->m_iIndex = i;

    // The records are byte copies (padding included) from here on: see the class.
    vGetDefaultSettings(&m_oSettings);
    memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));

    vConnectControls();
    update();
    m_poSettingsStore = new QSettings();
    vLoadSettingsFromQSettings(&m_oSettings, *m_poSettingsStore);

    m_poRenderArea->installEventFilter(this);
    const QScreen* poScreen = screen();
    resize(poScreen ? oFittedSize(poScreen->availableGeometry().size())
                    : QSize(g_iWindowWidth, g_iWindowHeight));
    setWindowTitle(QStringLiteral("QEVui " QEV_APP_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/QEVui.png")));
}

Window::~Window()
{
    // A conversion whose rows are slow (brute-force YJK searches) may not notice
    // the cancel for seconds: after a short wait it is left to end on its own.
    if (m_poJob)
    {
        m_poJob->bCancel = true;
        if (!m_poWorker->wait(QDeadlineTimer(800)))
        {
            disconnect(m_poWorker, nullptr, this, nullptr);
            connect(m_poWorker, &QThread::finished, m_poWorker, &QObject::deleteLater);
            m_poWorker = nullptr;
            m_poJob.reset();
        }
    }
    bStopWorker();
    // QWidget's destructor closes the window, and a line edit losing the focus
    // then reports editingFinished: no slot of this half-destroyed window may run.
    for (QObject* poChild : findChildren<QObject*>())
        disconnect(poChild, nullptr, this, nullptr);
    disconnect(QApplication::clipboard(), nullptr, this, nullptr);
    vSaveSettingsToQSettings(&m_oSettings, *m_poSettingsStore, true);
    delete m_poDisplayedImage;
    delete m_poOriginalImage;
    m_poSourceOwner.reset();
    delete m_poConvertedImage;
    delete m_poImageCapture;
    delete m_poCamera;
    delete m_poVideoSink;
    delete m_poCaptureSession;
    delete m_poSettingsStore;
    delete m_poPreviewTimer;
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
    m_poRenderArea = new QWidget(this);
    m_poRenderArea->setObjectName(QStringLiteral("renderArea"));
    m_poRenderArea->setMinimumSize(g_iMinimumRenderWidth, g_iMinimumRenderHeight);
    m_poRenderArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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
    poLayout->addWidget(m_poRenderArea, 1);
    poLayout->addWidget(m_poSettingsArea, 0);
    poOuter->addLayout(poLayout, 1);

    // The status line: over the bottom of the display while it has something to say.
    m_poStatusLine = new QLabel(m_poRenderArea);
    m_poStatusLine->setObjectName(QStringLiteral("StatusLine"));
    m_poStatusLine->setAutoFillBackground(true);
    m_poStatusLine->setContentsMargins(8, 0, 8, 0);
    m_poStatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_poStatusLine->hide();
    // Shown over the display once a conversion has taken half a second.
    m_poProgress = new QProgressBar(m_poRenderArea);
    m_poProgress->setObjectName(QStringLiteral("Progress"));
    m_poProgress->setRange(0, 1000);
    m_poProgress->setFormat(QStringLiteral("Converting... %p%  (Esc cancels)"));
    m_poProgress->setAlignment(Qt::AlignCenter);
    m_poProgress->resize(360, 28);
    m_poProgress->hide();
    // A zoomed picture larger than the display scrolls: scroll bars along the
    // display's edges, the middle button dragging, the arrow keys and the wheel.
    m_poHScroll = new QScrollBar(Qt::Horizontal, m_poRenderArea);
    m_poHScroll->setObjectName(QStringLiteral("HorizontalPan"));
    m_poVScroll = new QScrollBar(Qt::Vertical, m_poRenderArea);
    m_poVScroll->setObjectName(QStringLiteral("VerticalPan"));
    for (QScrollBar* poBar : {m_poHScroll, m_poVScroll})
    {
        poBar->hide();
        connect(poBar, &QScrollBar::valueChanged, this,
                [this]()
                {
                    vUpdateDisplayedImage();
                    update();
                });
    }

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

    // Custom palette: the sixteen entries in two rows, the R, G, B sliders of the
    // selected entry and the palette buttons.
    QFrame* poPaletteGroup = poMakeGroup(poPanel, "CustomPalette", QStringLiteral("Custom palette"),
                                         QRect(1030, 240, 331, 161), nullptr);
    for (int i = 0; i < 16; i++)
    {
        ColorButton* poButton = new ColorButton(poPaletteGroup);
        poButton->setObjectName(QStringLiteral("color%1").arg(i));
        poButton->setGeometry(50 + 30 * (i % 8), 10 + 30 * (i / 8), 25, 25);
        m_apoColorButtons[i] = poButton;
    }
    m_poR = poMakeSlider(poPaletteGroup, "R", 0, 7, 2, true, QStringLiteral("R"), QRect(8, 70, 206, 28), 20,
                         24, &m_oRRow);
    m_poG = poMakeSlider(poPaletteGroup, "G", 0, 7, 2, true, QStringLiteral("G"), QRect(8, 98, 206, 28), 20,
                         24, &m_oGRow);
    m_poB = poMakeSlider(poPaletteGroup, "B", 0, 7, 2, true, QStringLiteral("B"), QRect(8, 126, 206, 28), 20,
                         24, &m_oBRow);
    auto poButton = [](QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect)
    {
        QPushButton* poResult = new QPushButton(sText, poParent);
        poResult->setObjectName(QLatin1String(pszName));
        poResult->setGeometry(oRect);
        return poResult;
    };
    m_poGetFromImage =
        poButton(poPaletteGroup, "GetFromImage", QStringLiteral("Get from image"), QRect(222, 72, 102, 26));
    m_poLoadPalette =
        poButton(poPaletteGroup, "LoadPalette", QStringLiteral("Load..."), QRect(222, 101, 102, 26));
    m_poSavePalette =
        poButton(poPaletteGroup, "SavePalette", QStringLiteral("Save..."), QRect(222, 130, 102, 26));

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

    // The view of the display: fitted or zoomed, and the source picture to compare.
    poMakeLabel(poPanel, "ZoomLabel", QStringLiteral("View"), QRect(1030, 428, 94, 20));
    const char* const apszZoom[] = {"Fitted", "1:1", "2:1", "3:1"};
    m_poZoom = poMakeCombo(poPanel, "Zoom", apszZoom, 4, QRect(1030, 450, 94, 26));
    m_poShowOriginal =
        poButton(poPanel, "ShowOriginal", QStringLiteral("Original"), QRect(1030, 484, 94, 30));
    m_poShowOriginal->setCheckable(true);

    m_poResetToDefaults =
        poButton(poPanel, "ResetToDefaults", QStringLiteral("Reset to defaults"), QRect(1130, 430, 131, 30));

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
    m_poCopy = poButton(poPanel, "Copy", QStringLiteral("Copy"), QRect(1120, 676, 60, 30));
    m_poPaste = poButton(poPanel, "Paste", QStringLiteral("Paste"), QRect(1186, 676, 60, 30));
    m_poAbout = poButton(poPanel, "About", QStringLiteral("About"), QRect(1252, 676, 60, 30));
    m_poCaptureFromCamera = poButton(poPanel, "CaptureFromCamera", QStringLiteral("Capture from camera..."),
                                     QRect(1318, 676, 180, 30));
    m_poSaveImage =
        poButton(poPanel, "SaveImage", QStringLiteral("Save image..."), QRect(1504, 676, 137, 30));

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
        {m_poGetFromImage, "Get custom palette from the image's automatically generated one."},
        {m_poHorizontalShift, "Horizontal shift (useful for screen 2 and 10 conversion)."},
        {m_poInputAspectRatioType, "Aspect ratio of input image."},
        {m_poInterlacedMode,
         "Generate interlaced image (height of 424 pixels).\nCauses some flickering on a real MSX!"},
        {m_poRealMSXAspectRatio, "Use real MSX aspect ratio"},
        {m_poLoadPalette, "Load custom palette from a GIMP .GPL file."},
        {m_poOutputAspectRatioType, "Aspect ratio of output image."},
        {m_poOutputSizeType, "Size of generated PNG images."},
        {m_poDitheringMode, "Type of dithering to apply."},
        {m_poPaletteDetailsEnhancement, "Allow to consider smaller areas when generating palette."},
        {m_poPaletteType, "Type of palette to use in screens 2,3,5,6,7 and 10."},
        {m_poResizeFilter, "Filter used when resizing output image."},
        {m_poRGB2YJKMethod, "Quality of RGB to YJK conversion.\nWarning: Brute force is slow!"},
        {m_poSaveImage, "Save image to a file."},
        {m_poSavePalette, "Save custom palette to a GIMP (.GPL) file."},
        {m_poScreen2DetailsEnhancement, "Experimental : change the way borders are generated in screen 2."},
        {m_poYJKDetailsEnhancement,
         "Experimental : change the way borders are generated in screen 10 and 12."},
        {m_poScreen10Palette, "Use palette colors to improve conversion to screen 10."},
        {m_poYJK2RGBInterpolation, "Enhancements when loading\na YJK (screen 10 or 12) file."},
        {m_poZoom, "Fit the converted picture to the display, or show its pixels 1, 2 or 3 times enlarged."},
        {m_poShowOriginal, "Show the source picture, fitted the same way (or hold Space)."},
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
    poAdd(poFile, "actionLoadPalette", QStringLiteral("&Load Palette..."), QKeySequence(),
          &Window::LoadPalette);
    poAdd(poFile, "actionSavePalette", QStringLiteral("Save &Palette..."), QKeySequence(),
          &Window::SavePalette);
    poFile->addSeparator();
    QAction* poQuit = poAdd(poFile, "actionQuit", QStringLiteral("&Quit"), QKeySequence::Quit, nullptr);
    // Ctrl+Q where the platform names no key for quitting.
    if (poQuit->shortcut().isEmpty()) poQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(poQuit, &QAction::triggered, this, &QWidget::close);

    QMenu* poEdit = m_poMenuBar->addMenu(QStringLiteral("&Edit"));
    QAction* poUndo = m_poUndoStack->createUndoAction(this, QStringLiteral("&Undo"));
    poUndo->setObjectName(QStringLiteral("Undo"));
    poUndo->setShortcut(QKeySequence::Undo);
    poUndo->setShortcutContext(Qt::WindowShortcut);
    QAction* poRedo = m_poUndoStack->createRedoAction(this, QStringLiteral("&Redo"));
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
        connect(poAction, &QAction::triggered, m_poZoom, [this, i]() { m_poZoom->setCurrentIndex(i); });
        connect(m_poZoom, QOverload<int>::of(&QComboBox::currentIndexChanged), poAction,
                [poAction, i](int iIndex) { poAction->setChecked(iIndex == i); });
    }
    poView->addSeparator();
    QAction* poOriginal =
        poAdd(poView, "actionOriginal", QStringLiteral("&Original"), QKeySequence(), nullptr);
    poOriginal->setCheckable(true);
    connect(poOriginal, &QAction::toggled, this, &Window::vSetShowOriginal);
    connect(m_poShowOriginal, &QPushButton::toggled, poOriginal, &QAction::setChecked);
    poView->addSeparator();
    poAdd(poView, "actionCancel", QStringLiteral("&Cancel Conversion"), QKeySequence(Qt::Key_Escape),
          &Window::vCancelConversion);

    QMenu* poHelp = m_poMenuBar->addMenu(QStringLiteral("&Help"));
    poAdd(poHelp, "actionAbout", QStringLiteral("&About QEVui..."), QKeySequence(), &Window::About);

    m_poToolBar->addAction(poOpen);
    m_poToolBar->addAction(poSave);
    m_poToolBar->addSeparator();
    m_poToolBar->addWidget(m_poToolBar->findChild<QLabel*>(QStringLiteral("CommandLineLabel")));
    m_poToolBar->addWidget(m_poCommandLine);
}

void Window::vConnectControls()
{
    for (int i = 0; i < 16; i++)
    {
        connect(m_apoColorButtons[i], &ColorButton::vClicked, this, &Window::vColorButtonClicked);
        connect(m_apoColorButtons[i], &ColorButton::vDragAndDropped, this,
                &Window::vColorButtonDragAndDropped);
    }
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
        {m_poR, &Window::R},
        {m_poG, &Window::G},
        {m_poB, &Window::B},
    };
    for (const auto& oSlider : aoSliders)
        connect(oSlider.poSlider, &QSlider::valueChanged, this, oSlider.pSlot);

    const struct
    {
        QPushButton* poButton;
        void (Window::*pSlot)();
    } aoButtons[] = {
        {m_poGetFromImage, &Window::GetFromImage},
        {m_poLoadPalette, &Window::LoadPalette},
        {m_poSavePalette, &Window::SavePalette},
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
    connect(m_poZoom, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this]()
            {
                vUpdateDisplayedImage();
                update();
            });
    connect(m_poShowOriginal, &QPushButton::toggled, this, &Window::vSetShowOriginal);
    connect(m_poOpen->menu(), &QMenu::aboutToShow, this, [this]() { vFillRecentMenu(m_poOpen->menu()); });

    vBuildMenus();

    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &Window::processClipboardChange);
    connect(m_poPreviewTimer, &QTimer::timeout, this, &Window::vDoUpdatePreviewImage);
}

// ---------------------------------------------------------------------------
// Slots that store one settings field each. The repaint they request runs the
// change detection of the paint handler.

void Window::InterlacedMode(bool bValue)
{
    m_oSettings.InterlacedMode = bValue ? 1 : 0;
    update();
}

void Window::RealMSXAspectRatio(bool bValue)
{
    m_oSettings.RealMSXAspectRatio = bValue ? 1 : 0;
    update();
}

void Window::Screen10Palette(bool bValue)
{
    m_oSettings.Screen10Palette = bValue ? 1 : 0;
    update();
}

// An index of -1 (an emptied combo) stores nothing.
#define QEV_COMBO_SLOT(field, type)                                                                          \
    void Window::field(int iIndex)                                                                           \
    {                                                                                                        \
        if (iIndex < 0) return;                                                                              \
        m_oSettings.field = static_cast<type>(iIndex);                                                       \
        update();                                                                                            \
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
void Window::CustomInputAspectRatio()
{
    double fValue = 0.0;
    const QString sText = m_poCustomInputAspectRatio->text();
    if (sText == sFormatDouble(m_oSettings.CustomInputAspectRatio)) return;
    if (bParseDouble(sText, g_fMinAspectRatio, g_fMaxAspectRatio, &fValue))
    {
        m_oSettings.CustomInputAspectRatio = fValue;
    }
    else
    {
        vRefuseValue(QStringLiteral("Custom input aspect ratio"), sText,
                     QStringLiteral("a number from 0.01 to 100"));
        m_poCustomInputAspectRatio->setText(sFormatDouble(m_oSettings.CustomInputAspectRatio));
    }
    update();
}

void Window::CustomOutputAspectRatio()
{
    double fValue = 0.0;
    const QString sText = m_poCustomOutputAspectRatio->text();
    if (sText == sFormatDouble(m_oSettings.CustomOutputAspectRatio)) return;
    if (bParseDouble(sText, g_fMinAspectRatio, g_fMaxAspectRatio, &fValue))
    {
        m_oSettings.CustomOutputAspectRatio = fValue;
    }
    else
    {
        vRefuseValue(QStringLiteral("Custom output aspect ratio"), sText,
                     QStringLiteral("a number from 0.01 to 100"));
        m_poCustomOutputAspectRatio->setText(sFormatDouble(m_oSettings.CustomOutputAspectRatio));
    }
    update();
}

void Window::OutputWidth()
{
    if (!bParseInt(m_poOutputWidth->text(), 1, g_iMaxOutputDimension, &m_oSettings.OutputWidth))
    {
        vRefuseValue(QStringLiteral("Output width"), m_poOutputWidth->text(),
                     QStringLiteral("a whole number from 1 to %1").arg(g_iMaxOutputDimension));
        m_poOutputWidth->setText(QString::number(m_oSettings.OutputWidth));
    }
    update();
}

void Window::OutputHeight()
{
    if (!bParseInt(m_poOutputHeight->text(), 1, g_iMaxOutputDimension, &m_oSettings.OutputHeight))
    {
        vRefuseValue(QStringLiteral("Output height"), m_poOutputHeight->text(),
                     QStringLiteral("a whole number from 1 to %1").arg(g_iMaxOutputDimension));
        m_poOutputHeight->setText(QString::number(m_oSettings.OutputHeight));
    }
    update();
}

// A scaled slider stores position x 0.001, except when the field already sits at
// that position: the controls are set from the fields, and storing again would
// replace a stored 0.1234 by 0.123.
void Window::vSetScaledField(double* pfField, int iValue, QLabel* poLabel)
{
    if (iSliderPosition(*pfField) != iValue) *pfField = iValue / 1000.0;
    poLabel->setText(sFormatDouble(iValue / 1000.0));
    update();
}

void Window::BrightnessWeight(int iValue)
{
    vSetScaledField(&m_oSettings.BrightnessWeight, iValue, m_oBrightnessWeightRow.poValue);
}

void Window::ErrorDiffusionFactor(int iValue)
{
    vSetScaledField(&m_oSettings.ErrorDiffusionFactor, iValue, m_oErrorDiffusionFactorRow.poValue);
}

void Window::PaletteDetailsEnhancement(int iValue)
{
    vSetScaledField(&m_oSettings.PaletteDetailsEnhancement, iValue, m_oPaletteDetailsEnhancementRow.poValue);
}

void Window::Screen2DetailsEnhancement(int iValue)
{
    vSetScaledField(&m_oSettings.Screen2DetailsEnhancement, iValue, m_oScreen2DetailsEnhancementRow.poValue);
}

void Window::YJKDetailsEnhancement(int iValue)
{
    vSetScaledField(&m_oSettings.YJKDetailsEnhancement, iValue, m_oYJKDetailsEnhancementRow.poValue);
}

void Window::BayerFactor(int iValue)
{
    vSetScaledField(&m_oSettings.BayerFactor, iValue, m_oBayerFactorRow.poValue);
}

// The low threshold never exceeds the high one: a low slider moved above the
// high threshold snaps back to it (re-entering this slot), and the other way
// round for the high slider.
void Window::BayerLowThreshold(int iValue)
{
    if (iValue / 1000.0 > m_oSettings.BayerHighThreshold)
    {
        m_poBayerLowThreshold->setValue(iSliderPosition(m_oSettings.BayerHighThreshold));
        m_oSettings.BayerLowThreshold = m_oSettings.BayerHighThreshold;
        m_oBayerLowThresholdRow.poValue->setText(sFormatDouble(m_oSettings.BayerLowThreshold));
        update();
        return;
    }
    vSetScaledField(&m_oSettings.BayerLowThreshold, iValue, m_oBayerLowThresholdRow.poValue);
}

void Window::BayerHighThreshold(int iValue)
{
    if (m_oSettings.BayerLowThreshold > iValue / 1000.0)
    {
        m_poBayerHighThreshold->setValue(iSliderPosition(m_oSettings.BayerLowThreshold));
        m_oSettings.BayerHighThreshold = m_oSettings.BayerLowThreshold;
        m_oBayerHighThresholdRow.poValue->setText(sFormatDouble(m_oSettings.BayerHighThreshold));
        update();
        return;
    }
    vSetScaledField(&m_oSettings.BayerHighThreshold, iValue, m_oBayerHighThresholdRow.poValue);
}

void Window::HorizontalShift(int iValue)
{
    m_oSettings.HShift = iValue;
    m_oHorizontalShiftRow.poValue->setText(QString::number(iValue));
    update();
}

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

void Window::ResetToDefaults()
{
    tdSettings oBefore;
    memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
    vGetDefaultSettings(&m_oSettings);
    memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));
    vRecordEdit(QStringLiteral("reset to defaults"), oBefore, true);
    vShowStatus(QStringLiteral("Settings reset to the defaults (Ctrl+Z undoes)"), false);
    update();
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

// ---------------------------------------------------------------------------
// Change detection and preview.

void Window::paintEvent(QPaintEvent*)
{
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    // Switching among the MSX conversion types previews the same KRU conversion;
    // only a switch to or from PNG changes the picture.
    if ((m_oSettings.ConversionType == ConversionType_PNG) ==
        (m_oLastSeenSettings.ConversionType == ConversionType_PNG))
        m_oLastSeenSettings.ConversionType = m_oSettings.ConversionType;
    if (!bSettingsUsePalette(&m_oSettings))
        memcpy(m_oLastSeenSettings.CustomPalette, m_oSettings.CustomPalette,
               sizeof(m_oSettings.CustomPalette));
    m_oLastSeenSettings.SelectedColor = m_oSettings.SelectedColor;
    if (memcmp(&m_oSettings, &m_oLastSeenSettings, sizeof(tdSettings)) != 0)
    {
        vUpdateCommandLine();
        if (m_poSourceImage)
        {
            m_poPreviewTimer->stop();
            if (m_bCameraLive)
            {
                vDoUpdatePreviewImage();
            }
            else
            {
                m_bConversionPending = true;
                m_poRenderArea->update();
                m_poPreviewTimer->start(g_iPreviewDelay);
            }
        }
    }
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));

    QPainter oPainter(this);
    const QRect oArea = m_poRenderArea->geometry();
    const QImage* poShown = poShownImage();
    if (poShown)
    {
        oPainter.drawImage(oArea.topLeft(), *poShown);
    }
    else if (!m_bConversionPending)
    {
        // The start-up picture, centred, made smaller when the area is.
        QSize oSize = m_oDefaultImage.size();
        if (oSize.width() > oArea.width() || oSize.height() > oArea.height())
            oSize.scale(oArea.size(), Qt::KeepAspectRatio);
        const QRect oTarget(oArea.x() + (oArea.width() - oSize.width()) / 2,
                            oArea.y() + (oArea.height() - oSize.height()) / 2, oSize.width(), oSize.height());
        oPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        oPainter.drawImage(oTarget, m_oDefaultImage);
    }
    // The hourglass covers the display while a conversion waits, and stands in for
    // a picture that produced nothing to show; never over the start-up picture.
    if (!m_bShowOriginal && !m_poProgress->isVisible() &&
        (m_bConversionPending || (!m_poDisplayedImage && m_poSourceImage)))
        oPainter.drawImage(oArea.x() + (oArea.width() - m_oHourGlassImage.width()) / 2,
                           oArea.y() + (oArea.height() - m_oHourGlassImage.height()) / 2, m_oHourGlassImage);
    oPainter.end();

    if (m_bCameraLive && m_poImageCapture && !m_bCaptureRequested && m_poImageCapture->isReadyForCapture())
        m_bCaptureRequested = m_poImageCapture->capture() >= 0;
}

void Window::vDoUpdatePreviewImage()
{
    m_poPreviewTimer->stop();
    vUpdateCommandLine();
    if (m_poJob)
    {
        // Live camera frames come faster than slow conversions end: the running
        // one is finished and shown, then the newest frame converted.
        if (!m_bCameraLive) m_poJob->bCancel = true;
        m_bRestartPending = true;
        m_bConversionPending = true;
        return;
    }
    if (m_poSourceImage)
    {
        vStartJob();
        return;
    }
    delete m_poConvertedImage;
    m_poConvertedImage = nullptr;
    vUpdateDisplayedImage();
    m_poRenderArea->update();
    m_bConversionPending = false;
    m_iConversionCount++;
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));
}

void Window::vStartJob()
{
    std::shared_ptr<tdPreviewJob> poJob = std::make_shared<tdPreviewJob>();
    memcpy(&poJob->oSettings, &m_oSettings, sizeof(tdSettings));
    poJob->poSource = m_poSourceOwner;
    m_poJob = poJob;
    m_bConversionPending = true;
    m_poWorker = QThread::create([poJob]() { vRunPreviewJob(poJob.get()); });
    // A worker stopped by bStopWorker is gone before its queued signal arrives.
    const int iJob = ++m_iJobCount;
    connect(m_poWorker, &QThread::finished, this,
            [this, iJob]()
            {
                if (iJob == m_iJobCount && m_poWorker) vJobFinished();
            });
    m_oJobClock.start();
    m_poProgressTimer->start();
    m_poWorker->start();
    m_poRenderArea->update();
    // The conversion covers the current settings: a change that has not been
    // painted yet needs no second one, only the refresh of the controls.
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));
}

void Window::vJobFinished()
{
    if (!m_poWorker) return;
    m_poWorker->wait();
    delete m_poWorker;
    m_poWorker = nullptr;
    const std::shared_ptr<tdPreviewJob> poJob = std::move(m_poJob);
    m_poProgressTimer->stop();
    m_poProgress->hide();
    m_bConversionPending = false;
    if (!poJob->bCancel)
    {
        delete m_poConvertedImage;
        m_poConvertedImage = poJob->poConverted;
        poJob->poConverted = nullptr;
        // PNG and sprite sheets have no conversion error: no number is shown
        // rather than one of earlier settings.
        const int eType = poJob->oSettings.ConversionType;
        const tdErrorTriple& oError = poJob->oError;
        const bool bError = eType != ConversionType_PNG && eType != ConversionType_SPR;
        m_poAverageErrorR->setText(bError ? sFormatDouble(oError.fRed) : QStringLiteral("-"));
        m_poAverageErrorG->setText(bError ? sFormatDouble(oError.fGreen) : QStringLiteral("-"));
        m_poAverageErrorB->setText(bError ? sFormatDouble(oError.fBlue) : QStringLiteral("-"));
        m_poAverageErrorRGB->setText(bError ? sFormatDouble(oError.fRed + oError.fGreen + oError.fBlue)
                                            : QStringLiteral("-"));
        vUpdateDisplayedImage();
        m_iConversionCount++;
        if (!poJob->sError.empty())
            vShowStatus(QStringLiteral("Conversion: %1").arg(QString::fromLocal8Bit(poJob->sError.c_str())),
                        true);
    }
    if (m_bRestartPending)
    {
        m_bRestartPending = false;
        vDoUpdatePreviewImage();
    }
    m_poRenderArea->update();
    update();
}

void Window::vShowProgress()
{
    if (!m_poJob || m_oJobClock.elapsed() < 500) return;
    m_poProgress->move((m_poRenderArea->width() - m_poProgress->width()) / 2,
                       (m_poRenderArea->height() - m_poProgress->height()) / 2);
    m_poProgress->setValue(m_poJob->iPerMille.load());
    if (!m_poProgress->isVisible())
    {
        m_poProgress->show();
        update(); // the progress bar takes the hourglass's place
    }
}

void Window::vCancelConversion()
{
    if (m_pbSaveCancel) *m_pbSaveCancel = true;
    if (m_poReadLoop) m_poReadLoop->quit();
    if (m_poJob || m_bConversionPending)
        vShowStatus(QStringLiteral("Conversion cancelled: the picture shown is from earlier settings"),
                    false);
    m_poPreviewTimer->stop();
    m_bRestartPending = false;
    if (m_poJob)
        m_poJob->bCancel = true;
    else
        m_bConversionPending = false;
    m_poRenderArea->update();
    update();
}

bool Window::bStopWorker()
{
    if (!m_poJob) return false;
    m_poJob->bCancel = true;
    m_bRestartPending = false;
    m_poWorker->wait();
    vJobFinished();
    return true;
}

bool Window::bWaitForConversion(int iTimeoutMs)
{
    QElapsedTimer oClock;
    oClock.start();
    // Sleeps between rounds, leaving the processor to the conversion.
    while ((m_poJob || m_poPreviewTimer->isActive()) && oClock.elapsed() < iTimeoutMs)
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_poJob || m_poPreviewTimer->isActive()) QThread::msleep(1);
    }
    return !m_poJob && !m_poPreviewTimer->isActive();
}

void Window::vUpdateDisplayedImage()
{
    delete m_poDisplayedImage;
    m_poDisplayedImage = nullptr;
    delete m_poOriginalImage;
    m_poOriginalImage = nullptr;
    const int iZoom = m_poZoom->currentIndex();
    if (iZoom == 0 || !m_poConvertedImage)
    {
        m_poHScroll->hide();
        m_poVScroll->hide();
    }
    if (!m_poConvertedImage) return;
    if (iZoom > 0)
    {
        // The converted pixels, each iZoom x iZoom, over the checkerboard: centred
        // along a side where they fit, else scrolled there by the scroll bar.
        const Image oBackground(m_poRenderArea->width(), m_poRenderArea->height(), 3, Background_Checkerboard,
                                1.0);
        QImage* poDisplayed = poQImageFromImage(&oBackground);
        const std::unique_ptr<QImage> poPixels(poQImageFromImage(m_poConvertedImage));
        if (!poDisplayed->isNull() && !poPixels->isNull())
        {
            const QSize oSize = poPixels->size() * iZoom;
            const QSize oArea = poDisplayed->size();
            QScrollBar* apoBars[2] = {m_poHScroll, m_poVScroll};
            const int aiExcess[2] = {oSize.width() - oArea.width(), oSize.height() - oArea.height()};
            int aiOrigin[2];
            for (int i = 0; i < 2; i++)
            {
                const QSignalBlocker oBlock(apoBars[i]);
                apoBars[i]->setRange(0, std::max(0, aiExcess[i]));
                apoBars[i]->setPageStep(i == 0 ? oArea.width() : oArea.height());
                apoBars[i]->setSingleStep(16);
                apoBars[i]->setVisible(aiExcess[i] > 0);
                aiOrigin[i] = aiExcess[i] > 0 ? -apoBars[i]->value() : -aiExcess[i] / 2;
            }
            m_oZoomOrigin = QPoint(aiOrigin[0], aiOrigin[1]);
            QPainter oPainter(poDisplayed);
            oPainter.drawImage(QRect(m_oZoomOrigin, oSize), *poPixels);
        }
        if (poDisplayed->isNull())
            delete poDisplayed;
        else
            m_poDisplayedImage = poDisplayed;
        return;
    }
    Image* poCopy = m_poConvertedImage->poCopy();
    poCopy->vFit(m_poRenderArea->width(), m_poRenderArea->height(), 1.0, FitMode_Fit,
                 m_oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
    QImage* poDisplayed = poQImageFromImage(poCopy);
    delete poCopy;
    if (poDisplayed->isNull())
        delete poDisplayed;
    else
        m_poDisplayedImage = poDisplayed;
}

const QImage* Window::poShownImage()
{
    // The source picture, fitted, also stands in for a conversion not painted yet.
    if (!(m_bShowOriginal || !m_poDisplayedImage) || !m_poSourceImage) return m_poDisplayedImage;
    if (!m_poOriginalImage)
    {
        const std::unique_ptr<Image> poCopy(m_poSourceImage->poCopy());
        poCopy->vFit(m_poRenderArea->width(), m_poRenderArea->height(), 1.0, FitMode_Fit,
                     m_oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
        m_poOriginalImage = poQImageFromImage(poCopy.get());
    }
    return m_poOriginalImage->isNull() ? nullptr : m_poOriginalImage;
}

void Window::vSetShowOriginal(bool bShow)
{
    m_bShowOriginal = bShow;
    if (m_poShowOriginal->isChecked() != bShow) m_poShowOriginal->setChecked(bShow);
    update();
}

void Window::keyPressEvent(QKeyEvent* poEvent)
{
    const int iKey = poEvent->key();
    if (iKey == Qt::Key_Space && !poEvent->isAutoRepeat())
    {
        vSetShowOriginal(true);
        return;
    }
    // The arrows scroll a zoomed picture.
    QScrollBar* poBar = iKey == Qt::Key_Left || iKey == Qt::Key_Right ? m_poHScroll
                        : iKey == Qt::Key_Up || iKey == Qt::Key_Down  ? m_poVScroll
                                                                      : nullptr;
    if (poBar && poBar->isVisible())
    {
        const int iStep =
            iKey == Qt::Key_Left || iKey == Qt::Key_Up ? -poBar->singleStep() : poBar->singleStep();
        poBar->setValue(poBar->value() + iStep);
        return;
    }
    QWidget::keyPressEvent(poEvent);
}

void Window::mouseMoveEvent(QMouseEvent* poEvent)
{
    if (!m_bDragging) return;
    const QPoint oMoved = poEvent->position().toPoint() - m_oDragStart;
    m_poHScroll->setValue(m_oDragValues.x() - oMoved.x());
    m_poVScroll->setValue(m_oDragValues.y() - oMoved.y());
}

void Window::mouseReleaseEvent(QMouseEvent* poEvent)
{
    if (poEvent->button() == Qt::MiddleButton) m_bDragging = false;
}

void Window::wheelEvent(QWheelEvent* poEvent)
{
    // Over a zoomed picture the wheel scrolls it (Shift: sideways).
    const bool bSideways = (poEvent->modifiers() & Qt::ShiftModifier) || poEvent->angleDelta().y() == 0;
    QScrollBar* poBar = bSideways ? m_poHScroll : m_poVScroll;
    const int iDelta =
        bSideways && poEvent->angleDelta().x() != 0 ? poEvent->angleDelta().x() : poEvent->angleDelta().y();
    if (!poBar->isVisible() || iDelta == 0)
    {
        poEvent->ignore();
        return;
    }
    poBar->setValue(poBar->value() - iDelta * poBar->singleStep() * 3 / 120);
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

void Window::keyReleaseEvent(QKeyEvent* poEvent)
{
    if (poEvent->key() == Qt::Key_Space && !poEvent->isAutoRepeat())
        vSetShowOriginal(false);
    else
        QWidget::keyReleaseEvent(poEvent);
}

QImage* Window::poQImageFromImage(const Image* poImage)
{
    if (!poImage->m_pucTexels || poImage->m_iWidth <= 0 || poImage->m_iHeight <= 0) return new QImage();
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    const int iTexel = poImage->m_iTexelSize;
    QImage* poResult = new QImage(iWidth, iHeight, QImage::Format_RGB888);
    for (int iY = 0; iY < iHeight; iY++)
    {
        const unsigned char* pucSource = poImage->m_pucTexels + static_cast<size_t>(iHeight - 1 - iY) *
                                                                    static_cast<size_t>(iWidth) * iTexel;
        unsigned char* pucLine = poResult->scanLine(iY);
        if (iTexel == 3)
        {
            memcpy(pucLine, pucSource, static_cast<size_t>(iWidth) * 3);
            continue;
        }
        for (int iX = 0; iX < iWidth; iX++)
        {
            const unsigned char* puc = pucSource + iX * iTexel;
            // Grey (1) and grey + alpha (2) spread the grey; RGBA (4) drops alpha.
            pucLine[iX * 3 + 0] = puc[0];
            pucLine[iX * 3 + 1] = iTexel >= 3 ? puc[1] : puc[0];
            pucLine[iX * 3 + 2] = iTexel >= 3 ? puc[2] : puc[0];
        }
    }
    return poResult;
}

Image* Window::poImageFromQImage(const QImage* poImage)
{
    if (poImage->isNull() || !bImageSizeValid(poImage->width(), poImage->height(), 3)) return nullptr;
    const QImage oRGB = poImage->convertToFormat(QImage::Format_RGB888);
    const int iWidth = oRGB.width();
    const int iHeight = oRGB.height();
    Image* poResult = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    if (!poResult->m_pucTexels)
    {
        delete poResult;
        return nullptr;
    }
    for (int iY = 0; iY < iHeight; iY++)
        memcpy(poResult->m_pucTexels +
                   static_cast<size_t>(iHeight - 1 - iY) * static_cast<size_t>(iWidth) * 3,
               oRGB.constScanLine(iY), static_cast<size_t>(iWidth) * 3);
    return poResult;
}

void Window::vUpdateUI()
{
    const tdSettings* poS = &m_oSettings;
    for (int i = 0; i < 16; i++)
    {
        m_apoColorButtons[i]->m_bSelected = (i == poS->SelectedColor);
        m_apoColorButtons[i]->m_oColor = poS->CustomPalette[i];
        m_apoColorButtons[i]->update();
    }

    // Setting a control raises its change signal and its slot stores the value
    // again; m_oSettings is read through poS only after each such call, since
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
    const bool bSelected = poS->SelectedColor >= 0;
    const bool bPicture  = m_poSourceImage != nullptr && !m_bCameraLive;
    // clang-format on

    // A disabled control's tooltip says what would enable it.
    const char* const pszMSX = "only for the MSX conversion types QEV, SR, SC and KRU";
    const char* const pszBayer = "only with a Bayer dithering mode of an MSX conversion type";
    const char* const pszPalette =
        "only for the screens with a palette (2 to 7, 10 with SC10 palette) of an MSX "
        "conversion type";
    const char* const pszLive = "not while the camera is live";
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
    for (QLabel* poLabel : {m_poAverageErrorR, m_poAverageErrorG, m_poAverageErrorB, m_poAverageErrorRGB})
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
    vEnableWithReason(m_poInterlacedMode, bMSX && eScreen >= ScreenMode_Screen5,
                      "only for Screens 5 to 12 of an MSX conversion type");
    vEnableRow(m_oScreen2DetailsEnhancementRow, bMSX && eScreen == ScreenMode_Screen2,
               "only for Screen 2 of an MSX conversion type");
    vEnableRow(m_oYJKDetailsEnhancementRow, bMSX && bYJK,
               "only for Screens 10 and 12 of an MSX conversion type");
    vEnableRow(m_oRGB2YJKMethodRow, bYJK, "only for Screens 10 and 12");
    vEnableRow(m_oPaletteTypeRow, bPalette, pszPalette);
    vEnableWithReason(m_poGetFromImage, bPalette, pszPalette);
    vEnableRow(m_oPaletteDetailsEnhancementRow, bPalette && poS->PaletteType == PaletteType_Auto,
               "only with palette type Auto on a screen with a palette");
    for (const tdControlRow* poRow : {&m_oRRow, &m_oGRow, &m_oBRow})
        vEnableRow(*poRow, bSelected,
                   "select a palette entry first (click it, or Tab to it and press Space)");
    const char* const pszNoPicture = m_bCameraLive ? pszLive : "open, drop or paste a picture first";
    vEnableWithReason(m_poSaveImage, bPicture, pszNoPicture);
    vEnableWithReason(m_poCopy, bPicture, pszNoPicture);
    vEnableWithReason(m_poPaste, m_bClipboardHasImage && !m_bCameraLive,
                      m_bCameraLive ? pszLive : "the clipboard holds no picture");
    vEnableWithReason(m_poLoadPalette, !m_bCameraLive, pszLive);
    vEnableWithReason(m_poSavePalette, !m_bCameraLive, pszLive);

    if (bSelected && poS->SelectedColor < 16)
    {
        const Color oColor = poS->CustomPalette[poS->SelectedColor];
        m_poR->setValue(iLevelFromByte(oColor.r));
        m_poG->setValue(iLevelFromByte(oColor.g));
        m_poB->setValue(iLevelFromByte(oColor.b));
        m_oRRow.poValue->setText(QString::number(m_poR->value()));
        m_oGRow.poValue->setText(QString::number(m_poG->value()));
        m_oBRow.poValue->setText(QString::number(m_poB->value()));
    }
}

// ---------------------------------------------------------------------------
// Picture input: drop, paste, copy, camera.

void Window::vReplaceSourceImage(Image* poImage)
{
    m_poSourceOwner.reset(poImage);
    m_poSourceImage = poImage;
    delete m_poOriginalImage;
    m_poOriginalImage = nullptr;
}

Image* Window::poReadBesideEventLoop(const QString& sPath, QString* psError, QString* psNote,
                                     QImage* poFitted, bool* pbCancelled)
{
    *pbCancelled = false;
    std::shared_ptr<tdReadJob> poJob = std::make_shared<tdReadJob>();
    poJob->oPath = QFile::encodeName(sPath);
    memcpy(&poJob->oSettings, &m_oSettings, sizeof(tdSettings));
    poJob->oDisplay = m_poRenderArea->size();
    QThread* poReader = QThread::create(
        [poJob]()
        {
            // Counted like a conversion: the program does not wait for a read it gave up on.
            g_iRunningConversions++;
            {
                std::lock_guard<std::mutex> oLock(oCoreLock());
                vClearLastError();
                poJob->poImage = poReadPicture(poJob->oPath.constData(), &poJob->oSettings, &poJob->sError);
                poJob->sNote = pszLastError();
            }
            // The picture shows at once, fitted, until its conversion is painted: a
            // large one is fitted here rather than on the window's thread.
            if (poJob->poImage)
            {
                const std::unique_ptr<Image> poCopy(poJob->poImage->poCopy());
                poCopy->vFit(poJob->oDisplay.width(), poJob->oDisplay.height(), 1.0, FitMode_Fit,
                             poJob->oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
                const std::unique_ptr<QImage> poQImage(poQImageFromImage(poCopy.get()));
                poJob->oFitted = *poQImage;
            }
            g_iRunningConversions--;
        });
    // The thread object goes when the thread has ended, whether or not the
    // window still waits for it.
    connect(poReader, &QThread::finished, poReader, &QObject::deleteLater);
    std::shared_ptr<bool> pbEnded = std::make_shared<bool>(false);
    QEventLoop oLoop;
    connect(poReader, &QThread::finished, &oLoop,
            [pbEnded, &oLoop]()
            {
                *pbEnded = true;
                oLoop.quit();
            });
    m_poReadLoop = &oLoop;
    m_poSettingsArea->setEnabled(false);
    vShowStatus(QStringLiteral("Opening %1... (Esc cancels)").arg(QFileInfo(sPath).fileName()), false);
    poReader->start();
    oLoop.exec();
    m_poReadLoop = nullptr;
    m_poSettingsArea->setEnabled(true);
    if (!*pbEnded)
    {
        *pbCancelled = true;
        return nullptr;
    }
    *psError = QString::fromLocal8Bit(poJob->sError.c_str());
    *psNote = QString::fromLocal8Bit(poJob->sNote.c_str());
    *poFitted = poJob->oFitted;
    Image* poImage = poJob->poImage;
    poJob->poImage = nullptr;
    return poImage;
}

QString Window::sWhyUnreadable(const QString& sPath, const QString& sReason)
{
    // What the file system tells, where the reader had no words of its own.
    const QFileInfo oInfo(sPath);
    if (!oInfo.exists()) return QStringLiteral("there is no such file");
    if (oInfo.isDir()) return QStringLiteral("it is a folder, not a file");
    if (!oInfo.isReadable()) return QStringLiteral("permission denied");
    if (oInfo.size() == 0) return QStringLiteral("the file is empty");
    return sReason.isEmpty() ? QStringLiteral("the file is damaged or not a supported picture") : sReason;
}

bool Window::bLoadImageFiles(const QStringList& asPaths)
{
    if (bBusy()) return false;
    const bool bWasConverting = bStopWorker();
    QString sProblem; // why the first file could not be read
    int iProblems = 0;
    for (const QString& sPath : asPaths)
    {
        if (sPath.isEmpty()) continue;
        const QString sFile = QFileInfo(sPath).fileName();
        QString sError, sNote;
        QImage oFitted;
        bool bCancelled = false;
        // Large pictures take seconds to decode: the window stays responsive.
        Image* poImage = poReadBesideEventLoop(sPath, &sError, &sNote, &oFitted, &bCancelled);
        if (bCancelled)
        {
            vShowStatus(QStringLiteral("Opening %1 cancelled: the picture shown is kept").arg(sFile), false);
            if (bWasConverting) vDoUpdatePreviewImage();
            return false;
        }
        if (!poImage)
        {
            if (iProblems++ == 0)
                sProblem = QStringLiteral("Cannot read %1: %2")
                               .arg(sFile, sWhyUnreadable(sPath, sError.isEmpty() ? sNote : sError));
            continue;
        }
        // A missing companion file is told in the program's own words.
        const QString sCompanion = sMissingCompanionFile(sPath);
        if (!sCompanion.isEmpty()) sNote = sCompanion;
        QString sStatus = sNote.isEmpty() ? QStringLiteral("Opened %1 (%2 x %3)")
                                                .arg(sFile)
                                                .arg(poImage->m_iWidth)
                                                .arg(poImage->m_iHeight)
                                          : QStringLiteral("Opened %1: %2").arg(sFile, sNote);
        if (iProblems > 0)
            sStatus += QStringLiteral("; skipped %1 file%2 that could not be read (%3)")
                           .arg(iProblems)
                           .arg(iProblems > 1 ? QStringLiteral("s") : QString())
                           .arg(sProblem);
        vShowStatus(sStatus, false);

        vReplaceSourceImage(poImage);
        // The new picture shows at once, fitted, until its conversion is painted.
        delete m_poConvertedImage;
        m_poConvertedImage = nullptr;
        vUpdateDisplayedImage();
        if (!oFitted.isNull() && oFitted.size() == m_poRenderArea->size())
            m_poOriginalImage = new QImage(oFitted);
        const QFileInfo oInfo(sPath);
        m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
        m_sSourcePath = oInfo.absoluteFilePath();
        vSetPictureName(oInfo.fileName());
        QStringList asRecent = asRecentFiles();
        asRecent.removeAll(m_sSourcePath);
        asRecent.prepend(m_sSourcePath);
        m_poSettingsStore->setValue(QStringLiteral("Recent/Files"), asRecent.mid(0, g_iRecentCount));
        // The name up to its first dot, cut to the field (2047 bytes and a zero).
        const QByteArray oBase = QFile::encodeName(oInfo.baseName());
        const size_t uiLength =
            std::min(static_cast<size_t>(oBase.size()), sizeof(m_oSettings.SourceBaseName) - 1);
        memset(m_oSettings.SourceBaseName, 0, sizeof(m_oSettings.SourceBaseName));
        memcpy(m_oSettings.SourceBaseName, oBase.constData(), uiLength);
        vDoUpdatePreviewImage();
        vUpdateUI();
        return true;
    }
    if (iProblems > 1)
        sProblem += QStringLiteral(" (and %1 more files could not be read)").arg(iProblems - 1);
    if (iProblems > 0) vShowStatus(sProblem, true);
    if (bWasConverting) vDoUpdatePreviewImage();
    return false;
}

void Window::dragEnterEvent(QDragEnterEvent* poEvent)
{
    if (!m_bCameraLive && poEvent->mimeData()->hasUrls())
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::dropEvent(QDropEvent* poEvent)
{
    if (m_bCameraLive || !poEvent->mimeData()->hasUrls())
    {
        poEvent->ignore();
        return;
    }
    QStringList asPaths;
    for (const QUrl& oUrl : poEvent->mimeData()->urls())
        asPaths << oUrl.toLocalFile();
    if (bLoadImageFiles(asPaths))
        poEvent->acceptProposedAction();
    else
        poEvent->ignore();
}

void Window::Paste()
{
    if (bBusy()) return;
    const QImage oImage = QApplication::clipboard()->image();
    Image* poImage = oImage.isNull() ? nullptr : poImageFromQImage(&oImage);
    if (!poImage)
    {
        vShowStatus(oImage.isNull() ? QStringLiteral("Nothing pasted: the clipboard holds no picture")
                                    : QStringLiteral("Nothing pasted: the clipboard's picture is too large"),
                    true);
        return;
    }
    vReplaceSourceImage(poImage);
    delete m_poConvertedImage;
    m_poConvertedImage = nullptr;
    vUpdateDisplayedImage();
    vShowStatus(QStringLiteral("Pasted a picture (%1 x %2)").arg(poImage->m_iWidth).arg(poImage->m_iHeight),
                false);
    m_sImagePath = QStringLiteral("PastedImage");
    m_sSourcePath.clear();
    vSetPictureName(QStringLiteral("Pasted picture"));
    vDoUpdatePreviewImage();
    vUpdateUI();
}

QString Window::sMissingCompanionFile(const QString& sPath)
{
    // Interlaced dumps keep their second page beside them (.si5 -> .sj5, .sk5 ->
    // .sl5); the reader shows the first page alone without it.
    const QString sLower = sPath.toLower();
    static const QRegularExpression s_oInterlaced(QStringLiteral("\\.s[ik][5678ac]$"));
    if (s_oInterlaced.match(sLower).hasMatch())
    {
        const QChar cEnding =
            sLower.at(sLower.size() - 2) == QLatin1Char('i') ? QLatin1Char('j') : QLatin1Char('l');
        QString sSame = sPath;
        sSame[sPath.size() - 2] = sPath.at(sPath.size() - 2).isUpper() ? cEnding.toUpper() : cEnding;
        QString sLowered = sPath;
        sLowered[sPath.size() - 2] = cEnding;
        if (!QFileInfo::exists(sSame) && !QFileInfo::exists(sLowered))
            return QStringLiteral("no second page %1 beside it: only the first page is shown")
                .arg(QFileInfo(sSame).fileName());
    }
    // Screen dumps of the palette screens (2, 3, 5, 6, 7, 10) keep their palette
    // in a companion file (.sr5 -> .pl5, .si5 -> .pi5); the reader takes the
    // picture without one, with the standard palette.
    static const QRegularExpression s_oDump(QStringLiteral("\\.s[ri][23567a]$"));
    if (!s_oDump.match(sLower).hasMatch()) return QString();
    const QString sEnding =
        sLower.at(sLower.size() - 2) == QLatin1Char('r') ? QStringLiteral("pl") : QStringLiteral("pi");
    QString sSame = sPath;
    sSame.replace(sPath.size() - 3, 2, sPath.at(sPath.size() - 3).isUpper() ? sEnding.toUpper() : sEnding);
    QString sLowered = sPath;
    sLowered.replace(sPath.size() - 3, 2, sEnding);
    if (QFileInfo::exists(sSame) || QFileInfo::exists(sLowered)) return QString();
    return QStringLiteral("no palette file %1 beside it: the standard palette is used")
        .arg(QFileInfo(sSame).fileName());
}

void Window::vShowStatus(const QString& sText, bool bFailure)
{
    QPalette oPalette = m_poStatusLine->palette();
    oPalette.setColor(QPalette::Window, bFailure ? QColor(150, 20, 20) : QColor(48, 48, 48));
    oPalette.setColor(QPalette::WindowText, Qt::white);
    m_poStatusLine->setPalette(oPalette);
    m_poStatusLine->setText(sText);
    m_poStatusLine->setToolTip(sText);
    m_poStatusLine->setVisible(!sText.isEmpty());
    m_poStatusLine->raise();
}

void Window::vRefuseValue(const QString& sField, const QString& sText, const QString& sAllowed)
{
    vShowStatus(QStringLiteral("%1: \"%2\" refused (allowed: %3)").arg(sField, sText.trimmed(), sAllowed),
                true);
}

QString Window::sOpenFilter()
{
    // The core's readers, the modern formats and the retro formats; names of other
    // kinds are read by their contents: "All files".
    QStringList asPatterns;
    for (int i = 0; const char* pszExtension = pszReadableExtension(i); i++)
        asPatterns << QLatin1Char('*') + QLatin1String(pszExtension);
    for (const char* const* ppszExtension = g_apszModernExtensions; *ppszExtension; ppszExtension++)
        asPatterns << QLatin1Char('*') + QLatin1String(*ppszExtension);
    for (int i = 0; const char* pszExtension = pszRetroExtension(i); i++)
        asPatterns << QStringLiteral("*.") + QLatin1String(pszExtension);
    asPatterns.removeDuplicates();
    return QStringLiteral("Pictures (%1);;All files (*)").arg(asPatterns.join(QLatin1Char(' ')));
}

QStringList Window::asRecentFiles() const
{
    return m_poSettingsStore->value(QStringLiteral("Recent/Files")).toStringList().mid(0, g_iRecentCount);
}

void Window::vSetPictureName(const QString& sName)
{
    setWindowTitle(QStringLiteral("%1 - QEVui " QEV_APP_VERSION).arg(sName));
}

void Window::Open()
{
    if (bBusy()) return;
    if (m_bCameraLive) return;
    const QString sStart = !m_sSourcePath.isEmpty()     ? QFileInfo(m_sSourcePath).absolutePath()
                           : !asRecentFiles().isEmpty() ? QFileInfo(asRecentFiles().first()).absolutePath()
                                                        : QDir::homePath();
    const QStringList asNames =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Open picture"), sStart, sOpenFilter());
    if (!asNames.isEmpty()) bLoadImageFiles(asNames);
}

void Window::Copy()
{
    if (!m_poConvertedImage)
    {
        vShowStatus(QStringLiteral("Nothing copied: no converted picture yet"), true);
        return;
    }
    QImage* poImage = poQImageFromImage(m_poConvertedImage);
    if (!poImage->isNull())
    {
        QApplication::clipboard()->setImage(*poImage);
        vShowStatus(QStringLiteral("Copied the converted picture (%1 x %2) to the clipboard")
                        .arg(poImage->width())
                        .arg(poImage->height()),
                    false);
    }
    delete poImage;
}

void Window::processClipboardChange()
{
    m_bClipboardHasImage = !QApplication::clipboard()->image().isNull();
    vUpdateUI();
}

bool Window::bStartCamera()
{
    const QCameraDevice oDevice = QMediaDevices::defaultVideoInput();
    if (oDevice.isNull())
    {
        qWarning("No camera found.");
        vShowStatus(QStringLiteral("No camera found."), true);
        return false;
    }
    m_poCaptureSession = new QMediaCaptureSession();
    m_poVideoSink = new QVideoSink(this);
    m_poCamera = new QCamera(oDevice);
    m_poImageCapture = new QImageCapture();
    m_poCaptureSession->setCamera(m_poCamera);
    m_poCaptureSession->setImageCapture(m_poImageCapture);
    m_poCaptureSession->setVideoSink(m_poVideoSink);
    connect(m_poImageCapture, &QImageCapture::imageCaptured, this, &Window::imageCaptured);
    // A capture asked for before the camera was ready is asked for again.
    connect(m_poImageCapture, &QImageCapture::readyForCaptureChanged, this,
            [this](bool bReady)
            {
                if (bReady && m_bCameraLive) update();
            });
    m_poCamera->start();
    return true;
}

void Window::CaptureFromCamera()
{
    if (bBusy()) return;
    if (!m_poImageCapture)
    {
        switch (eCheckCameraPermission())
        {
        case CameraPermission_Undetermined:
            vRequestCameraPermission(this, [this]() { CaptureFromCamera(); });
            return;
        case CameraPermission_Denied:
            qWarning("Camera permission is not granted!");
            vShowStatus(QStringLiteral("The camera may not be used: permission is not granted."), true);
            return;
        case CameraPermission_Granted:
            if (!bStartCamera()) return;
            break;
        }
    }
    if (!m_bCameraLive)
    {
        m_bCaptureRequested = m_poImageCapture->isReadyForCapture() && m_poImageCapture->capture() >= 0;
        m_bCameraLive = true;
        m_poCaptureFromCamera->setText(QStringLiteral("Take snapshot!"));
    }
    else
    {
        m_bCameraLive = false;
        m_poCaptureFromCamera->setText(QStringLiteral("Capture from camera..."));
    }
    vUpdateUI();
}

void Window::imageCaptured(int, const QImage& oFrame)
{
    m_bCaptureRequested = false;
    if (m_bCameraLive && oFrame.width() >= 1 && oFrame.height() >= 1)
    {
        const QImage oMirrored = oFrame.mirrored(true, false);
        Image* poImage = poImageFromQImage(&oMirrored);
        if (poImage)
        {
            vReplaceSourceImage(poImage);
            m_sImagePath = QStringLiteral("CapturedImage");
            m_sSourcePath.clear();
            vSetPictureName(QStringLiteral("Camera picture"));
        }
    }
    vDoUpdatePreviewImage();
    m_poRenderArea->update();
}

// ---------------------------------------------------------------------------
// Palette editor.

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
    std::unique_ptr<Palette> poPalette(new Palette());
    // With palette type Custom the settings would hand back the custom palette
    // itself: the palette comes from the Auto settings instead.
    tdSettings oSettings;
    memcpy(&oSettings, &m_oSettings, sizeof(tdSettings));
    const bool bCustom = oSettings.PaletteType == PaletteType_Custom;
    if (bCustom) oSettings.PaletteType = PaletteType_Auto;
    const bool bWasConverting = bStopWorker();
    {
        std::lock_guard<std::mutex> oLock(oCoreLock());
        oWriteImageToKRUFile(m_poSourceImage, &oSettings, nullptr, nullptr, poPalette.get(),
                             CompressionType_None);
    }
    if (bWasConverting) vDoUpdatePreviewImage();
    tdSettings oBefore;
    memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
    memcpy(m_oSettings.CustomPalette, poPalette->m_aoColors, sizeof(m_oSettings.CustomPalette));
    vRecordEdit(QStringLiteral("palette from the picture"), oBefore, false);
    vShowStatus(
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
        vShowStatus(QStringLiteral("Palette not loaded: cannot read palette file %1: %2")
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
        vShowStatus(QStringLiteral("Palette not loaded: palette file %1 holds no colour").arg(sName), true);
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
        vShowStatus(
            QStringLiteral("Loaded the palette %1: it holds %2 colours, entries %2 to 15 are unchanged")
                .arg(sName)
                .arg(iCount),
            false);
    else
        vShowStatus(QStringLiteral("Loaded the palette %1").arg(sName), false);
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
        vShowStatus(QStringLiteral("Palette not saved: %1").arg(QString::fromLocal8Bit(sError.c_str())),
                    true);
    }
    else
    {
        vShowStatus(QStringLiteral("Saved the palette as %1").arg(sWritten), false);
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

bool Window::bSourceColorAt(const QPoint& oInArea, Color* poColor) const
{
    const Image* poSource = m_poSourceImage;
    if (!poSource || poSource->m_iWidth <= 0 || poSource->m_iHeight <= 0) return false;
    const QSize oArea = m_poRenderArea->size();
    // A point (x, y) of a canvas in which a picture covers oRect is the picture's
    // pixel ((x - left) w / width, (y - top) h / height).
    auto bInside =
        [](double fX, double fY, const tdRectangle& oRect, int iWidth, int iHeight, double* pfX, double* pfY)
    {
        if (oRect.iWidth <= 0 || oRect.iHeight <= 0) return false;
        *pfX = (fX - oRect.iX) * iWidth / oRect.iWidth;
        *pfY = (fY - oRect.iY) * iHeight / oRect.iHeight;
        return *pfX >= 0.0 && *pfY >= 0.0 && *pfX < iWidth && *pfY < iHeight;
    };
    double fX = oInArea.x() + 0.5, fY = oInArea.y() + 0.5;
    if (m_bShowOriginal || !m_poDisplayedImage || !m_poConvertedImage)
    {
        // The source fitted to the display.
        const tdRectangle oRect =
            oGetFitRectangle(poSource->m_iWidth, poSource->m_iHeight, poSource->m_fAspectRatio, oArea.width(),
                             oArea.height(), 1.0, FitMode_Fit);
        if (!bInside(fX, fY, oRect, poSource->m_iWidth, poSource->m_iHeight, &fX, &fY)) return false;
    }
    else
    {
        // The display point in the converted picture: zoomed, or fitted to the display.
        const Image* poConverted = m_poConvertedImage;
        const int iZoom = m_poZoom->currentIndex();
        if (iZoom > 0)
        {
            fX = (fX - m_oZoomOrigin.x()) / iZoom;
            fY = (fY - m_oZoomOrigin.y()) / iZoom;
            if (fX < 0.0 || fY < 0.0 || fX >= poConverted->m_iWidth || fY >= poConverted->m_iHeight)
                return false;
        }
        else
        {
            const tdRectangle oRect =
                oGetFitRectangle(poConverted->m_iWidth, poConverted->m_iHeight, poConverted->m_fAspectRatio,
                                 oArea.width(), oArea.height(), 1.0, FitMode_Fit);
            if (!bInside(fX, fY, oRect, poConverted->m_iWidth, poConverted->m_iHeight, &fX, &fY))
                return false;
        }
        // Then in the source, through the fit of the conversion: the converted
        // picture is the canvas the source was fitted to by the fit mode (and, on
        // the MSX screens, moved by the horizontal shift).
        tdRectangle oRect = oGetFitRectangle(
            poSource->m_iWidth, poSource->m_iHeight, poSource->m_fAspectRatio, poConverted->m_iWidth,
            poConverted->m_iHeight, poConverted->m_fAspectRatio, m_oSettings.FitMode);
        if (m_oSettings.ConversionType != ConversionType_PNG) oRect.iX += m_oSettings.HShift;
        if (!bInside(fX, fY, oRect, poSource->m_iWidth, poSource->m_iHeight, &fX, &fY)) return false;
    }
    *poColor = poSource->oGetPixel(static_cast<int>(fX), static_cast<int>(fY));
    poColor->a = 0;
    return true;
}

void Window::mousePressEvent(QMouseEvent* poEvent)
{
    const QPoint oPosition = poEvent->position().toPoint();
    const QRect oArea = m_poRenderArea->geometry();
    if (!oArea.contains(oPosition)) return;
    if (poEvent->button() == Qt::MiddleButton)
    {
        // Drags a zoomed picture.
        m_oDragStart = oPosition;
        m_oDragValues = QPoint(m_poHScroll->value(), m_poVScroll->value());
        m_bDragging = true;
        return;
    }
    const QImage* poShown = poShownImage();
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
        if (!bSourceColorAt(QPoint(iX, iY), &oSource))
        {
            vShowStatus(QStringLiteral("Right-click on the picture itself to take its colour"), false);
            return;
        }
        tdSettings oBefore;
        memcpy(&oBefore, &m_oSettings, sizeof(tdSettings));
        m_oSettings.CustomPalette[iSelected] = oSource;
        vRecordEdit(QStringLiteral("pick a colour"), oBefore, false);
        vShowStatus(
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

// ---------------------------------------------------------------------------
// Saving and About.

QString Window::oGetExtension() const
{
    const char* pszScreen = szGetScreenCharFromMode(m_oSettings.ScreenMode);
    const QString sScreen = QLatin1String(pszScreen ? pszScreen : "");
    const bool bInterlaced = bSettingsInterlaced(&m_oSettings);
    switch (m_oSettings.ConversionType)
    {
    case ConversionType_PNG:
        return QStringLiteral("PNG file (*.png)");
    case ConversionType_QEV:
        return QStringLiteral("QEV file (*.qev)");
    case ConversionType_SR:
        return bInterlaced ? QStringLiteral("SI%1 file (*.si%1)").arg(sScreen)
                           : QStringLiteral("SR%1 file (*.sr%1)").arg(sScreen);
    case ConversionType_SC:
        return bInterlaced ? QStringLiteral("SK%1 file (*.sk%1)").arg(sScreen)
                           : QStringLiteral("SC%1 file (*.sc%1)").arg(sScreen);
    case ConversionType_SPR:
        return QStringLiteral("SPR file (*.spr)");
    case ConversionType_RAW:
        return QStringLiteral("RAW file (*.raw)");
    case ConversionType_KRU:
        return QStringLiteral("KRU file (*.kru)");
    case ConversionType_RES:
        return QStringLiteral("RES file (*.res)");
    case ConversionType_ROM:
        return QStringLiteral("ROM file (*.rom)");
    default:
        return QString();
    }
}

bool Window::bSaveImageAs(const QString& sName)
{
    if (!m_poSourceImage || sName.isEmpty() || bBusy()) return false;
    const QFileInfo oInfo(sName);
    m_sImagePath = oInfo.absolutePath() + QLatin1Char('/') + oInfo.completeBaseName();
    m_sImageFolder = oInfo.absolutePath();

    // Every file of one save is written under a temporary name and renamed into
    // place only when all of them were written, so a failure keeps the old files.
    tdOutputFiles oFiles;
    FILE* poRawStream = nullptr;
    if (m_oSettings.ConversionType == ConversionType_RAW)
    {
        // File dispatch writes RAW output to a stream of the caller's: the chosen
        // file, with the extension of the filter.
        QByteArray oRawName = QFile::encodeName(sName);
        if (!bEndsWith(oRawName.constData(), ".raw")) oRawName += ".raw";
        poRawStream = poOpenPendingFile(&oFiles, oRawName.constData(), "wb");
        if (!poRawStream)
        {
            qWarning("Unable to open %s.", oRawName.constData());
            vShowStatus(
                QStringLiteral("Picture not saved: cannot create %1").arg(QFile::decodeName(oRawName)), true);
            return false;
        }
    }
    const QByteArray oName = QFile::encodeName(sName);
    const bool bWasConverting = bStopWorker();
    // The writer converts in a thread of its own, on copies, while a progress
    // dialog (shown after half a second) offers Cancel; the bytes are those of a
    // conversion on this thread. The dialog is not modal, since a modal one would
    // keep the window from hearing a close request: the settings are disabled
    // instead, and the actions that would start other work wait for the end.
    const std::shared_ptr<const Image> poSource = m_poSourceOwner;
    tdSettings oSettings;
    memcpy(&oSettings, &m_oSettings, sizeof(tdSettings));
    std::atomic<bool> bCancel{false};
    std::atomic<int> iPerMille{0};
    // Cancel, Esc and a close request set the flag; the writer stops at its next
    // row and nothing of it is committed.
    m_pbSaveCancel = &bCancel;
    tdRunContext oRun;
    oRun.m_fnProgress = [&bCancel, &iPerMille](double fDone)
    {
        iPerMille.store(static_cast<int>(fDone * 1000.0));
        return !bCancel.load();
    };
    QThread* poWriter = QThread::create(
        [&]()
        {
            std::lock_guard<std::mutex> oLock(oCoreLock());
            oWriteImageToFile(poSource.get(), oName.constData(), &oSettings, &oFiles, poRawStream, nullptr,
                              &oRun);
        });
    {
        QEventLoop oLoop;
        connect(poWriter, &QThread::finished, &oLoop, &QEventLoop::quit);
        QProgressDialog oProgress(QStringLiteral("Saving %1...").arg(oInfo.fileName()),
                                  QStringLiteral("Cancel"), 0, 1000, this);
        oProgress.setObjectName(QStringLiteral("SaveProgress"));
        oProgress.setWindowModality(Qt::NonModal);
        oProgress.setMinimumDuration(500);
        oProgress.setAutoReset(false);
        connect(&oProgress, &QProgressDialog::canceled, &oLoop, [&bCancel]() { bCancel = true; });
        QTimer oTick;
        connect(&oTick, &QTimer::timeout, &oProgress,
                [&]()
                {
                    oProgress.setValue(iPerMille.load());
                    if (oProgress.wasCanceled()) bCancel = true;
                });
        oTick.start(100);
        m_poSettingsArea->setEnabled(false);
        poWriter->start();
        oLoop.exec();
        m_poSettingsArea->setEnabled(true);
    }
    poWriter->wait();
    delete poWriter;
    m_pbSaveCancel = nullptr;
    if (m_bCloseAfterSave)
        QTimer::singleShot(0, this, &QWidget::close);
    else if (bWasConverting)
        vDoUpdatePreviewImage();
    // A cancel that came after the writer's last question still commits nothing.
    if (bCancel || bRunStopped(&oRun))
    {
        vDiscardOutputFiles(&oFiles);
        vShowStatus(QStringLiteral("Save cancelled: nothing was written"), false);
        return false;
    }
    // The writer opens the main file first and stops when it cannot: an empty set
    // is a failure, also when an older file of that name is there.
    if (oFiles.aoFiles.empty())
    {
        const QStringList asTargets = asSaveTargets(sName);
        qWarning("Picture not saved: the file could not be created");
        vShowStatus(
            QStringLiteral("Picture not saved: %1 could not be created (is its folder there and writable?)")
                .arg(asTargets.isEmpty() ? sName : asTargets.first()),
            true);
        return false;
    }
    QStringList asWritten;
    for (const tdPendingFile& oFile : oFiles.aoFiles)
        asWritten << QFileInfo(QFile::decodeName(oFile.sName.c_str())).fileName();
    std::string sError;
    if (!bCommitOutputFiles(&oFiles, &sError))
    {
        qWarning("Picture not saved: %s", sError.c_str());
        vShowStatus(QStringLiteral("Picture not saved: %1").arg(QString::fromLocal8Bit(sError.c_str())),
                    true);
        return false;
    }
    vShowStatus(
        QStringLiteral("Saved %1 in %2").arg(asWritten.join(QStringLiteral(", ")), oInfo.absolutePath()),
        false);
    m_sSavedName = sName;
    m_sSavedSource = m_sSourcePath;
    m_asSavedFiles = asSaveTargets(sName);
    vUpdateCommandLine();
    return true;
}

void Window::SaveImage()
{
    if (bBusy()) return;
    if (m_bCameraLive || !m_poSourceImage) return;
    // The folder of the last save, else the picture's; the picture's name.
    const QString sBase = QFileInfo(m_sImagePath).fileName();
    const QString sStart = sStartFolder(m_sImageFolder) + QLatin1Char('/') +
                           (sBase.isEmpty() ? QStringLiteral("picture") : sBase);
    const QString sName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save as..."), sStart, oGetExtension(), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!sName.isEmpty()) vSaveWithQuestions(sName);
}

void Window::Save()
{
    if (bBusy() || m_bCameraLive || !m_poSourceImage) return;
    // Saving again the same set of files of the same picture needs no question:
    // the user chose them for it. Anything else is Save As.
    if (m_sSavedName.isEmpty() || m_sSavedSource != m_sSourcePath ||
        asSaveTargets(m_sSavedName) != m_asSavedFiles)
    {
        SaveImage();
        return;
    }
    if (!bSaveImageAs(m_sSavedName) &&
        m_poStatusLine->text() != QStringLiteral("Save cancelled: nothing was written"))
        QMessageBox::warning(this, QStringLiteral("Save image"), m_poStatusLine->text() + QLatin1Char('.'));
}

void Window::vSaveWithQuestions(const QString& sName)
{
    // The dialog's own question knows only the name typed: the set of files is
    // asked about here, after the extension and the companions are known.
    QStringList asProtected, asExisting;
    const QStringList asTargets = asSaveTargets(sName);
    for (const QString& sTarget : asTargets)
    {
        if (bIsWriteProtected(QFile::encodeName(sTarget).constData()))
            asProtected << sTarget;
        else if (QFileInfo::exists(sTarget))
            asExisting << QFileInfo(sTarget).fileName();
    }
    if (!asProtected.isEmpty())
    {
        const QString sText =
            QStringLiteral("Not saved: %1 is write-protected (no write permission), so it is kept")
                .arg(asProtected.join(QStringLiteral(", ")));
        vShowStatus(sText, true);
        QMessageBox::warning(this, QStringLiteral("Save image"), sText + QLatin1Char('.'));
        return;
    }
    const QString sSource = sSourceAmongTargets(sName);
    QString sQuestion;
    if (!sSource.isEmpty())
        sQuestion = QStringLiteral("%1 is the picture you opened. Replace it with the converted picture?")
                        .arg(sSource);
    else if (!asExisting.isEmpty() && m_oSettings.ConversionType == ConversionType_KRU)
        sQuestion =
            QStringLiteral("%1 exists. Append the picture to it as a new record?").arg(asExisting.first());
    else if (asExisting.size() == 1)
        sQuestion = QStringLiteral("%1 exists. Replace it?").arg(asExisting.first());
    else if (!asExisting.isEmpty())
        sQuestion = QStringLiteral("%1 exist. Replace them?").arg(asExisting.join(QStringLiteral(", ")));
    if (!sQuestion.isEmpty() &&
        QMessageBox::question(this, QStringLiteral("Save image"), sQuestion,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    {
        vShowStatus(QStringLiteral("Not saved: %1 kept")
                        .arg(!sSource.isEmpty() ? sSource + QStringLiteral(" is")
                                                : asExisting.join(QStringLiteral(", ")) +
                                                      (asExisting.size() > 1 ? QStringLiteral(" are")
                                                                             : QStringLiteral(" is"))),
                    false);
        return;
    }
    // A cancelled save says so in the status line; a failure also in a box.
    if (!bSaveImageAs(sName) &&
        m_poStatusLine->text() != QStringLiteral("Save cancelled: nothing was written"))
        QMessageBox::warning(this, QStringLiteral("Save image"), m_poStatusLine->text() + QLatin1Char('.'));
}

QString Window::sStartFolder(const QString& sLast) const
{
    if (!sLast.isEmpty() && QFileInfo(sLast).isDir()) return sLast;
    const QString sSourceFolder =
        m_sSourcePath.isEmpty() ? QString() : QFileInfo(m_sSourcePath).absolutePath();
    if (!sSourceFolder.isEmpty() && QFileInfo(sSourceFolder).isDir()) return sSourceFolder;
    return QDir::homePath();
}

QStringList Window::asSaveTargets(const QString& sName) const
{
    const QByteArray oName = QFile::encodeName(sName);
    QStringList asTargets;
    if (m_oSettings.ConversionType == ConversionType_RAW)
        asTargets << (bEndsWith(oName.constData(), ".raw") ? sName : sName + QStringLiteral(".raw"));
    if (char* pszMain = szGetOutputFileName(oName.constData(), &m_oSettings))
    {
        asTargets << QFile::decodeName(pszMain);
        char* apszCompanions[2] = {nullptr, nullptr};
        const int iCompanions = iGetCompanionFileNames(pszMain, &m_oSettings, apszCompanions);
        for (int i = 0; i < iCompanions; i++)
        {
            asTargets << QFile::decodeName(apszCompanions[i]);
            free(apszCompanions[i]);
        }
        free(pszMain);
    }
    return asTargets;
}

QString Window::sSourceAmongTargets(const QString& sName) const
{
    if (m_sSourcePath.isEmpty()) return QString();
    const QStringList asTargets = asSaveTargets(sName);
    const QFileInfo oSource(m_sSourcePath);
    for (const QString& sTarget : asTargets)
    {
        const QFileInfo oTarget(sTarget);
        if (oTarget.absoluteFilePath() == oSource.absoluteFilePath() ||
            (oTarget.exists() && oTarget.canonicalFilePath() == oSource.canonicalFilePath()))
            return oSource.fileName();
    }
    return QString();
}

void Window::vRememberPaletteFile(const QString& sFile, const Color* poColors)
{
    m_sPaletteFile = QFileInfo(sFile).absoluteFilePath();
    memcpy(m_aoPaletteFileColors, poColors, sizeof(m_aoPaletteFileColors));
    vUpdateCommandLine();
}

QString Window::sShellWord(const QString& sWord)
{
    static const QRegularExpression s_oPlain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    if (s_oPlain.match(sWord).hasMatch()) return sWord;
    return QLatin1Char('\'') + QString(sWord).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

void Window::vUpdateCommandLine()
{
    char acCommandLine[16384];
    vWriteSettingsToString(&m_oSettings, acCommandLine);
    QString sLine = QString::fromUtf8(acCommandLine);
    // The custom palette is no option of its own: it comes from a palette file,
    // named when the palette is that of the file last loaded or saved.
    if (m_oSettings.PaletteType == PaletteType_Custom && bSettingsUsePalette(&m_oSettings))
    {
        bool bSame = !m_sPaletteFile.isEmpty();
        for (int i = 0; i < 16 && bSame; i++)
        {
            const Color& oA = m_aoPaletteFileColors[i];
            const Color& oB = m_oSettings.CustomPalette[i];
            bSame = oA.r == oB.r && oA.g == oB.g && oA.b == oB.b;
        }
        const QString sFile = bSame ? sShellWord(m_sPaletteFile) : QStringLiteral("<palette_file>");
        const QString sOption = QStringLiteral(" --palette=") + sFile;
        const int iOutput = sLine.indexOf(QStringLiteral(" -of"));
        if (iOutput >= 0)
            sLine.insert(iOutput, sOption);
        else
            sLine += sOption;
    }
    // The opened picture and the name of the last save of it (else the name the
    // save dialog proposes), quoted for the shell: a bare < or > would redirect.
    if (!m_sSourcePath.isEmpty())
    {
        sLine.replace(QStringLiteral("<input_file>"), sShellWord(m_sSourcePath));
        const QString sOutput =
            m_sSavedSource == m_sSourcePath && !m_sSavedName.isEmpty() ? m_sSavedName : m_sImagePath;
        sLine.replace(QStringLiteral("-of<output_file>"), sShellWord(QStringLiteral("-of") + sOutput));
    }
    m_poCommandLine->setText(sLine);
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
    if (poObject == m_poRenderArea && poEvent->type() == QEvent::Resize)
    {
        const int iHeight = m_poStatusLine->sizeHint().height() + 6;
        const int iBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int iStatusBottom = m_poRenderArea->height() - iHeight;
        m_poStatusLine->setGeometry(0, iStatusBottom, m_poRenderArea->width(), iHeight);
        m_poHScroll->setGeometry(0, iStatusBottom - iBar, m_poRenderArea->width() - iBar, iBar);
        m_poVScroll->setGeometry(m_poRenderArea->width() - iBar, 0, iBar, iStatusBottom - iBar);
        vShowProgress();
        vUpdateDisplayedImage();
        update();
    }
    return QWidget::eventFilter(poObject, poEvent);
}

QString Window::oAboutText()
{
    return QStringLiteral(
               "Version: " QEV_APP_VERSION "\nHash: %1\nDate: %2\nBuild: %3\n\nQt %4, libpng %5, "
               "libjpeg %6, zlib %7\n\nLicences of the libraries: Qt, GNU LGPL version 3; libpng, the "
               "libpng licence; libjpeg, the IJG licence; zlib, the zlib licence; the font "
               "Quicksand, SIL Open Font License 1.1.")
        .arg(QLatin1String(g_pszBuildRevision), QLatin1String(g_pszBuildDate), QStringLiteral(QEV_BUILD_KIND),
             QLatin1String(qVersion()), QLatin1String(PNG_LIBPNG_VER_STRING),
             QString::number(JPEG_LIB_VERSION), QLatin1String(ZLIB_VERSION));
}

void Window::About()
{
    QMessageBox* poBox = new QMessageBox();
    poBox->setObjectName(QStringLiteral("AboutBox"));
    poBox->setWindowTitle(QStringLiteral("About QEVui..."));
    // A no-break space keeps the hash on the line of its caption.
    poBox->setText(oAboutText().replace(QStringLiteral("Hash: "), QStringLiteral("Hash:") + QChar(0x00A0)));
    connect(poBox, &QMessageBox::finished, poBox, &QObject::deleteLater);
    poBox->show();
}
