// The window itself: its controls, menus and toolbar, their connections, its size and
// what happens when it closes. The other concerns live in the window_*.cpp units.

#include "window.h"

#include "about_box.h"
#include "camera_input.h"
#include "command_line.h"
#include "file_actions.h"
#include "palette_editor.h"
#include "preview.h"
#include "settings_history.h"
#include "settings_panel.h"
#include "settings_store.h"
#include "status_line.h"
#include "view.h"

#include "qev/color/palette.h"
#include "qev/files/format_kru.h"
#include "qev/msx/yjk.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <memory>

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

Window::Window(QWidget* poParent)
    : QWidget(poParent), m_poSourceImage(nullptr), m_bClipboardHasImage(false), m_poSettingsStore(nullptr)
{
    vInitResources();
    m_poSettingsStore = new QSettings();
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
    // then reports editingFinished: no slot of this half-destroyed window, nor of
    // its rooms, may run.
    const QObject* apoReceivers[] = {
        this, m_poSettingsPanel, m_poPaletteEditor, m_poView, m_poFileActions, m_poCameraInput, m_poHistory};
    for (QObject* poChild : findChildren<QObject*>())
        for (const QObject* poReceiver : apoReceivers)
            disconnect(poChild, nullptr, poReceiver, nullptr);
    disconnect(QApplication::clipboard(), nullptr, this, nullptr);
    vSaveSettingsToQSettings(&m_oSettings, *m_poSettingsStore, true);
    m_poSourceOwner.reset();
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
    // The status line: over the bottom of the display while it has something to say.
    m_poStatusLine = new StatusLine(m_poView->m_poRenderArea);
    m_poPreview = new Preview(m_poView->m_poRenderArea, this);
    m_poCameraInput = new CameraInput(this, m_poStatusLine);
    m_poFileActions = new FileActions(this, &m_oSettings, m_poStatusLine, m_poPreview, m_poSettingsStore);
    m_poSettingsPanel = new SettingsPanel(this, &m_oSettings, m_poStatusLine, m_poHistory);
    QWidget* poPanel = m_poSettingsPanel->m_poPanel;
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
    poLayout->addWidget(m_poSettingsPanel->m_poSettingsArea, 0);
    poOuter->addLayout(poLayout, 1);

    m_poSettingsPanel->vBuildGlobalGroup();
    m_poPaletteEditor = new PaletteEditor(&m_oSettings, m_poHistory, m_poStatusLine, this);
    m_poPaletteEditor->vBuildControls(poPanel);

    m_poSettingsPanel->vBuildScreenGroups();
    m_poView->vBuildControls(poPanel);
    m_poSettingsPanel->vBuildResetButton();

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
    m_poOpen->setGeometry(1030, 710, 84, 30);
    m_poOpen->setPopupMode(QToolButton::MenuButtonPopup);
    m_poOpen->setMenu(new QMenu(m_poOpen));
    m_poCopy = poMakeButton(poPanel, "Copy", QStringLiteral("Copy"), QRect(1120, 710, 60, 30));
    m_poPaste = poMakeButton(poPanel, "Paste", QStringLiteral("Paste"), QRect(1186, 710, 60, 30));
    m_poAbout = poMakeButton(poPanel, "About", QStringLiteral("About"), QRect(1252, 710, 60, 30));
    m_poCaptureFromCamera = poMakeButton(poPanel, "CaptureFromCamera",
                                         QStringLiteral("Capture from camera..."), QRect(1318, 710, 180, 30));
    m_poSaveImage =
        poMakeButton(poPanel, "SaveImage", QStringLiteral("Save image..."), QRect(1504, 710, 137, 30));

    m_poCommandLine->setToolTip(QStringLiteral("Command line equivalent of the current settings."));
    m_poSaveImage->setToolTip(QStringLiteral("Save image to a file."));
    m_poSettingsPanel->vFinish();
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
    QAction* poOpen = poAdd(poFile, "actionOpen", QStringLiteral("&Open..."), QKeySequence::Open, nullptr);
    connect(poOpen, &QAction::triggered, m_poFileActions, &FileActions::Open);
    QMenu* poRecent = poFile->addMenu(QStringLiteral("Open &Recent"));
    poRecent->setObjectName(QStringLiteral("RecentMenu"));
    connect(poRecent, &QMenu::aboutToShow, this,
            [this, poRecent]() { m_poFileActions->vFillRecentMenu(poRecent); });
    QAction* poSave = poAdd(poFile, "actionSave", QStringLiteral("&Save"), QKeySequence::Save, nullptr);
    connect(poSave, &QAction::triggered, m_poFileActions, &FileActions::Save);
    connect(poAdd(poFile, "actionSaveAs", QStringLiteral("Save &As..."), QKeySequence::SaveAs, nullptr),
            &QAction::triggered, m_poFileActions, &FileActions::SaveImage);
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
    connect(
        poAdd(poEdit, "actionResetToDefaults", QStringLiteral("Reset to &Defaults"), QKeySequence(), nullptr),
        &QAction::triggered, m_poSettingsPanel, &SettingsPanel::ResetToDefaults);

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
                [this, poToolRecent]() { m_poFileActions->vFillRecentMenu(poToolRecent); });
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
    m_poPaletteEditor->m_fnBusy = [this]() { return m_poFileActions->bBusy(); };
    m_poPaletteEditor->m_fnCameraLive = [this]() { return m_poCameraInput->m_bLive; };
    m_poPaletteEditor->m_fnStartFolder = [this](const QString& sLast)
    { return m_poFileActions->sStartFolder(sLast); };
    connect(m_poPaletteEditor, &PaletteEditor::vChanged, this, QOverload<>::of(&QWidget::update));
    connect(m_poPaletteEditor, &PaletteEditor::vPaletteFileChanged, this, &Window::vUpdateCommandLine);
    connect(m_poHistory, &SettingsHistory::vRestored, this,
            [this](bool bWhole)
            {
                // Every control is set again from a whole record.
                if (bWhole) memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));
                update();
            });
    m_poSettingsPanel->vConnectControls();
    connect(m_poSettingsPanel, &SettingsPanel::vChanged, this, QOverload<>::of(&QWidget::update));
    connect(m_poSettingsPanel, &SettingsPanel::vReset, this,
            [this]()
            {
                memset(&m_oLastSeenSettings, 0, sizeof(m_oLastSeenSettings));
                update();
            });

    const struct
    {
        QPushButton* poButton;
        void (Window::*pSlot)();
    } aoButtons[] = {
        {m_poPaletteEditor->m_poGetFromImage, &Window::GetFromImage},
        {m_poAbout, &Window::About},
        {m_poCopy, &Window::Copy},
        {m_poPaste, &Window::Paste},
    };
    for (const auto& oButton : aoButtons)
        connect(oButton.poButton, &QPushButton::clicked, this, oButton.pSlot);

    connect(m_poOpen, &QToolButton::clicked, m_poFileActions, &FileActions::Open);
    connect(m_poSaveImage, &QPushButton::clicked, m_poFileActions, &FileActions::SaveImage);
    m_poFileActions->m_poBusyArea = m_poSettingsPanel->m_poSettingsArea;
    m_poFileActions->m_poDisplayArea = m_poView->m_poRenderArea;
    m_poFileActions->m_fnSource = [this]() { return m_poSourceOwner; };
    m_poFileActions->m_fnCameraLive = [this]() { return m_poCameraInput->m_bLive; };
    connect(m_poFileActions, &FileActions::vOpened, this, &Window::vOpened);
    m_poCameraInput->m_poButton = m_poCaptureFromCamera;
    m_poCameraInput->m_fnBusy = [this]() { return m_poFileActions->bBusy(); };
    connect(m_poCaptureFromCamera, &QPushButton::clicked, m_poCameraInput, &CameraInput::CaptureFromCamera);
    connect(m_poCameraInput, &CameraInput::vFrame, this, &Window::vCameraFrame);
    connect(m_poCameraInput, &CameraInput::vLiveChanged, this, &Window::vUpdateUI);
    connect(m_poCameraInput, &CameraInput::vReady, this, QOverload<>::of(&QWidget::update));
    connect(m_poFileActions, &FileActions::vConvertAgain, this, &Window::vDoUpdatePreviewImage);
    connect(m_poFileActions, &FileActions::vNamesChanged, this, &Window::vUpdateCommandLine);
    connect(m_poView, &View::vChanged, this, QOverload<>::of(&QWidget::update));
    connect(m_poOpen->menu(), &QMenu::aboutToShow, this,
            [this]() { m_poFileActions->vFillRecentMenu(m_poOpen->menu()); });

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
    QScrollArea* poArea = m_poSettingsPanel->m_poSettingsArea;
    const QWidget* poPanel = poArea->widget();
    const int iRoom = height() - m_poMenuBar->sizeHint().height() - m_poToolBar->sizeHint().height();
    const int iBar = iRoom < poPanel->height() ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    // The preview keeps at least 45 % of a narrow window (a small screen, or a
    // large scale factor); the panel then scrolls sideways as well.
    const int iPanel = std::min(poPanel->width() + iBar, std::max(g_iMinimumWidth / 2, width() * 55 / 100));
    poArea->setFixedWidth(iPanel);
}

bool Window::eventFilter(QObject* poObject, QEvent* poEvent)
{
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
    if (m_poFileActions->bDeferClose())
    {
        poEvent->ignore();
        return;
    }
    QWidget::closeEvent(poEvent);
}

void Window::vUpdateCommandLine()
{
    m_poCommandLine->setText(sCommandLine(&m_oSettings, m_poFileActions->m_sSourcePath,
                                          m_poFileActions->sOutputName(),
                                          m_poPaletteEditor->sMatchingPaletteFile()));
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
        m_poPreview->vSupersede(m_poCameraInput->m_bLive);
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
    m_poSettingsPanel->vShowTiles(poJob->poConverted, &poJob->oSettings);
    m_poView->vSetConverted(poJob->poConverted);
    poJob->poConverted = nullptr;
    m_poSettingsPanel->vShowError(poJob->oError, poJob->oSettings.ConversionType);
    if (!poJob->sError.empty())
        m_poStatusLine->vShow(
            QStringLiteral("Conversion: %1").arg(QString::fromLocal8Bit(poJob->sError.c_str())), true);
}

void Window::vCancelConversion()
{
    m_poFileActions->vCancel();
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
    if (m_poFileActions->bBusy()) return;
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
    const bool bEnded = m_poFileActions->bRunBesideEventLoop(
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

// The rooms set their controls from the record; the window enables its own buttons.
void Window::vUpdateUI()
{
    m_poSettingsPanel->vUpdateControls();
    m_poPaletteEditor->vUpdateControls();
    const bool bPicture = m_poSourceImage != nullptr && !m_poCameraInput->m_bLive;
    // A disabled control's tooltip says what would enable it.
    const char* const pszLive = "not while the camera is live";
    const char* const pszNoPicture =
        m_poCameraInput->m_bLive ? pszLive : "open, drop or paste a picture first";
    vEnableWithReason(m_poSaveImage, bPicture, pszNoPicture);
    vEnableWithReason(m_poCopy, bPicture, pszNoPicture);
    vEnableWithReason(m_poPaste, m_bClipboardHasImage && !m_poCameraInput->m_bLive,
                      m_poCameraInput->m_bLive ? pszLive : "the clipboard holds no picture");
}

void Window::vOpened(Image* poImage, const QImage& oFitted, const QString& sFile)
{
    vReplaceSourceImage(poImage);
    m_poView->vSetConverted(nullptr);
    m_poView->vSetOriginal(oFitted);
    vSetPictureName(sFile);
    vDoUpdatePreviewImage();
    vUpdateUI();
}
