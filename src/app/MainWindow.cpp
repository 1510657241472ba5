#include "MainWindow.h"

#include "ui_ClipboardOptionsForm.h"
#include "ui_EnginesVoicesForm.h"
#include "ui_MainWindow.h"
#include "ui_MiscOptionsForm.h"

#include "ArticleCommands.h"
#include "ArticleSaving.h"
#include "ClipboardWatcher.h"
#include "EnginesVoicesPage.h"
#include "HelpMenu.h"
#include "ListReadingView.h"
#include "MediaControls.h"
#include "OptionsBinder.h"
#include "ReadingActions.h"
#include "OptionsStrip.h"
#include "ReadingBinder.h"
#include "FloatingToolBar.h"
#include "ToolBarIcons.h"
#include "TrayController.h"
#include "ArticleListView.h"
#include "dialogs/NoEngineWarning.h"
#include "platform/audio/AudioSystem.h"
#include "platform/paths/AppPaths.h"
#include "platform/registry/RegistryStore.h"
#include "platform/shell/Autostart.h"
#include "platform/shell/MessageService.h"
#include "reader/Speaker.h"
#include "dialogs/FormPlacement.h"
#include "settings/PreferenceUnit.h"
#include "dialogs/AudioDeviceDialog.h"
#include "util/DiagnosticLog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QWindow>

#include <cmath>
#include <string_view>


const QString MainWindow::Caption = QStringLiteral("Voxtrella MP3");

namespace {

const QString kExportFile = QStringLiteral("VXExport.txt");
const QString kIntroFile = QStringLiteral("VXIntro.chl");
const QString kNoSoundOutput = QStringLiteral(
    "No sound output was found, so Voxtrella cannot read aloud for now.\r\r%1\r\r"
    "Reading to files works as usual, and Read Aloud looks for the sound output again each time.");
const QString kAutoStart = QStringLiteral("-auto");
const QString kPronunciationTitle = QStringLiteral("Voxtrella MP3 Pronunciation");
const QString kSettingsDamaged = QStringLiteral(
    "The settings file \"%1\" could not be read, so Voxtrella starts with its default settings.\r\r"
    "The damaged file is kept as \"%1.damaged\". Your saved articles are not affected.");
const QString kSettingsNotSaved = QStringLiteral("The settings could not be saved.");
const QString kAudioDeviceGone = QStringLiteral(
    "The audio device chosen earlier (device %1) is no longer available, so Voxtrella uses the system default "
    "output.\r\rChoose another device with Options, Select Audio Device.");

constexpr int kFullOptionsHeight = 257;
constexpr int kFullOptionsHeight120Dpi = 316;
constexpr int kDesignedToolbarHeight = 56;
constexpr int kDesignedModeOptionsWidth = 289;
// The font the strip's heights were designed at.
constexpr double kDesignedFontPoints = 9.0;
constexpr int kAutoTimerMs = 500;
constexpr int kSoundServerWaitMs = 5000;
constexpr int kSoundServerPollMs = 200;

// How much larger than the designed font the window's font is at the screen's
// resolution: the designed heights grow with it, never shrink.
double FontScale(const QWidget *widget)
{
    // The heights were designed at 96 and 120 pixels per inch; any other
    // resolution counts as a larger or smaller font at 96.
    const int designedDpi = widget->logicalDpiY() == 120 ? 120 : 96;
    const double designedPixels = kDesignedFontPoints * designedDpi / 72.0;
    return std::max(1.0, QFontInfo(widget->font()).pixelSize() / designedPixels);
}

// Round to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

// The program's icon from the data folder, which holds it in the desktop's
// icon sizes; the theme's copy when the data folder lacks it.
QIcon AppIcon()
{
    QIcon icon;
    const QDir sizes(AppPaths::dataDir() + QStringLiteral("/icons/hicolor"));
    for (const QString &size : sizes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString png = sizes.filePath(size + QStringLiteral("/apps/voxtrella.png"));
        if (QFileInfo::exists(png))
            icon.addFile(png);
    }
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("voxtrella"));
    return icon;
}

}  // namespace

QString MainWindow::ExportFileName()
{
    return AppPaths::userDir() + QLatin1Char('/') + kExportFile;
}

MainWindow::MainWindow(TPreferences &prefs, Speaker &driver, ArticleList &articles, ReadingActions &readingActions,
                       FloatingToolBar &toolBar, StartNotes notes, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()), m_prefs(prefs), m_articleList(&articles),
      m_readingActions(&readingActions), m_startNotes(notes), m_driver(driver), m_toolBar(toolBar)
{
    ui->setupUi(this);
    // The form's name keys its stored placement.
    setObjectName(QStringLiteral("Form1"));
    DiagnosticLog::WriteLog(QStringLiteral("Entered FormCreate"));
    FormCreate();
    DiagnosticLog::WriteLog(QStringLiteral("Exiting FormCreate"));
}

MainWindow::~MainWindow()
{
    // Focus moves while the children go; nothing may look at them then.
    disconnect(m_focusConnection);
    FormDestroy();
}

// ---------------------------------------------------------------- start-up

void MainWindow::FormCreate()
{
    m_shownOnce = false;
    m_activatedOnce = false;
    m_listInfoInitialised = false;

    // The settings record comes loaded from the store.
    FormPlacement::Restore(this);

    // Status bar: panel 0 for the long status, panel 1 under the gauge.
    // Placed by hand like the gauge: panels in the bar's layout would make
    // their fixed widths the window's minimum width.
    ui->StatusBar1->setMinimumHeight(std::max(19, fontMetrics().height() + 4));
    for (int i = 0; i < 2; ++i) {
        m_panel[i] = new QLabel(ui->StatusBar1);
        m_panel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panel[i]->setAccessibleName(i == 0 ? tr("Status") : tr("Progress"));
        m_panel[i]->setIndent(2);
    }
    m_panel[1]->setText(QStringLiteral(" "));
    m_gauge = new QProgressBar(ui->StatusBar1);
    m_gauge->setObjectName(QStringLiteral("Gauge1"));
    m_gauge->setAccessibleName(tr("Reading progress"));
    m_gauge->setTextVisible(false);
    m_gauge->setValue(0);
    m_gauge->hide();
    LayoutStatusPanels();

    setWindowTitle(Caption);
    QIcon icon = AppIcon();
    // A tray icon needs a picture; any is better than none.
    setWindowIcon(icon.isNull() ? style()->standardIcon(QStyle::SP_MediaVolume) : icon);
    ui->MainTextPanel->setFrameShape(QFrame::NoFrame);

    BuildArticleList();
    m_help = std::make_unique<HelpMenu>(HelpMenu::Controls{*ui->Contents1, *ui->About1, *ui->VisitVarnyxTechnologies1,
                                                           *ui->PortableMP3, *ui->AudioHelp1,
                                                           *ui->EngineVoicesTab->Controls().MoreVoicesLbl},
                                        m_prefs, m_driver, *this);
    connect(m_help.get(), &HelpMenu::AudioHelpRequested, this, [this](const QString &text, const QString &voice) {
        m_readingCommands->UpdateStatus(QStringLiteral("Reading Audio Help"));
        m_readingCommands->SpeakAudioHelp(text, voice);
    });
    BuildPopupMenus();
    m_list->SetPopupMenu(m_popupMenu1);
    m_tray = new TrayController(m_prefs, *m_readingActions, this);
    ConnectTray();
    m_strip = new OptionsStrip(
        {ui->MainMenu1, ui->StatusBar1, ui->OptionsSplitter, ui->Panel2, ui->ToolBar1, ui->Panel3, ui->MainTextPanel},
        m_prefs, this);
    m_options = new OptionsBinder(
        {*ui->SIOptionsSheet, *ui->MIOptionsSheet, *ui->ClipboardSheet, *ui->FileOptionsSheet, *ui->MiscSheet}, m_prefs,
        this);

    const bool multi = m_prefs.ML_ListMode == 1;
    m_articleList->SetMultiArticle(multi);
    m_list->SetVisibleEntries(multi ? m_prefs.ML_VisibleEntries : 1);
    connect(m_articleList, &ArticleList::SoleArticleBlankChanged, this, [this] {
        if (m_readingCommands && State() == rsIdle)
            m_readingCommands->UpdateStatus(m_readingCommands->ArticleCountText());
    });
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_popupMenu1->popup(m_list->mapToGlobal(pos)); });
    ui->MainTextPanel->installEventFilter(this);

    // Options and toolbar strip.
    ui->ShowToolbarMItm->setChecked(m_prefs.ShowToolbar);
    ui->OptionsBtn->setChecked(m_prefs.ShowOptions);
    ui->ShowOptionsMItm->setChecked(m_prefs.ShowOptions);
    int panel2 = FullStripHeight(kFullOptionsHeight);
    if (!m_prefs.ShowOptions) {
        ui->Panel3->hide();
        panel2 = ToolbarHeight();
    }
    if (!m_prefs.ShowToolbar) {
        ui->ToolBar1->hide();
        panel2 -= ToolbarHeight();
    }
    SetStripHeight(panel2);

    // List mode.
    if (multi) {
        m_articles->CheckMode(true);
        ShowModeSheet(true);
        DiagnosticLog::WriteLog(QStringLiteral("Current Mode is Multi-Article"));
    } else {
        m_articles->CheckMode(false);
        ShowModeSheet(false);
        DiagnosticLog::WriteLog(QStringLiteral("Current Mode is Single-Article"));
    }

    // Controls from preferences; the clipboard watcher joins the viewers
    // when watching is on.
    m_options->LoadControls();
    BindOptionPages();

    m_help->FillAudioHelpMenu();

    // Keep the login entry pointing at this program file when it has moved.
    if (Autostart::exists())
        Autostart::write(AppPaths::programFilePath());

    ui->PageControl1->setCurrentWidget(ui->ClipboardSheet);

    m_loginMinimiseTimer = new QTimer(this);
    m_loginMinimiseTimer->setObjectName(QStringLiteral("LoginMinimiseTimer"));
    m_loginMinimiseTimer->setSingleShot(true);
    connect(m_loginMinimiseTimer, &QTimer::timeout, this, &MainWindow::MinimiseAfterLoginStart);

    BindControls();
    // The sheet was chosen above, before its radio groups existed: fill it now.
    ShowModeSheet(multi);

    // The reading commands, given also by the floating toolbar; they reach
    // the list through the window's parts, all built by now.
    BuildReading();
}

void MainWindow::BuildArticleList()
{
    m_list = new ArticleListView(*m_articleList, ui->MainTextPanel);
    ui->MainTextLayout->addWidget(m_list);
    m_saving = std::make_unique<ArticleSaving>(*m_articleList, ExportFileName());
    // The reading commands read the list through its view.
    m_readingView = std::make_unique<ListReadingView>(*m_articleList, *m_list, *this);
    connect(m_readingView.get(), &ListReadingView::SaveWanted, this, &MainWindow::SaveList);
    connect(m_readingView.get(), &ListReadingView::NewArticleWanted, this, &MainWindow::AddNewArticle);
    connect(m_readingView.get(), &ListReadingView::RestoreWindowWanted, this, &MainWindow::RestoreFromTray);
    connect(m_readingView.get(), &ListReadingView::FileOptionsWanted, this,
            [this] { ShowOptionsPage(*ui->FileOptionsSheet); });
    m_reading = std::make_unique<ReadingController>(m_driver, m_prefs, *m_readingView);
    m_articles = std::make_unique<ArticleCommands>(
        *m_articleList, *m_list, m_prefs, *m_saving, *m_reading,
        ArticleCommands::Controls{ui->ToolButton1, ui->ToolButton2, ui->SingleMItm, ui->MultiMItm, ui->ReadFileBtn,
                                  ui->OpenTextFile1, ui->PasteBtn, ui->Paste1, ui->MiscSheet->Controls().DfltVoiceCB},
        *this);
    m_articles->UseVoices(m_driver.Voices());
    // Article headers offer the catalogue's voices, read when they open.
    m_list->SetVoiceChoices(m_articles.get());
    connect(m_list, &ArticleListView::ReadRequested, m_reading.get(), &ReadingController::ArticleReadClick);
    connect(m_list, &ArticleListView::ReadToFileRequested, m_reading.get(), &ReadingController::ArticleReadToFileClick);
    connect(m_articles.get(), &ArticleCommands::CountChanged, this,
            [this] { m_readingCommands->UpdateStatus(m_readingCommands->ArticleCountText()); });
    connect(m_articles.get(), &ArticleCommands::AutoSpeakWanted, this,
            [this](ArticleEntry *e) { m_readingCommands->StartAutoSpeak(e); });
    connect(m_articles.get(), &ArticleCommands::ModeSheetWanted, this, &MainWindow::ShowModeSheet);
    connect(m_articles.get(), &ArticleCommands::ModeChecked, this, [this](bool multi) {
        (multi ? m_tray->MultiArticleItem() : m_tray->SingleArticleItem())->setChecked(true);
    });
    connect(m_articles.get(), &ArticleCommands::ModeSwitched, this, [this] {
        m_readingCommands->SetReadingState(State());
        if (State() == rsIdle)
            m_readingCommands->UpdateStatus(m_readingCommands->ArticleCountText());
    });
}

void MainWindow::BuildPopupMenus()
{
    auto addAction = [this](QMenu *menu, const char *name, const QString &text) {
        auto *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    // Article context menu.
    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    m_popupMenu1->setAccessibleName(tr("Article menu"));
    connect(addAction(m_popupMenu1, "AddNewPopup", QStringLiteral("&Add New")), &QAction::triggered, m_articles.get(),
            &ArticleCommands::AddNewPopupClick);
    m_articles->AddNewArticleShortcut(*this);
    connect(addAction(m_popupMenu1, "DelSelPopup", QStringLiteral("&Delete Selected")), &QAction::triggered,
            m_articles.get(), &ArticleCommands::DelSelPopupClick);
    m_popupMenu1->addSeparator();
    m_articles->AddEditingItems(*m_popupMenu1);
    m_popupMenu1->addAction(ui->Paste1);
    m_articles->AddSelectAllItem(*m_popupMenu1);
    m_popupMenu1->addSeparator();
    m_popupMenu1->addActions({m_readingActions->ReadFromCursor(), m_readingActions->ReadSelected()});
    connect(m_popupMenu1, &QMenu::aboutToShow, m_articles.get(), &ArticleCommands::UpdatePasteCommands);
    connect(m_popupMenu1, &QMenu::aboutToShow, this, [this] {
        if (m_readingCommands)
            m_readingCommands->UpdateArticleMenuItems();
    });
    // The selected article follows the focus, and Paste follows the selection.
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this] { m_articles->UpdatePasteCommands(); });
    this->addAction(ui->Paste1);
}

void MainWindow::BindControls()
{
    // Icons of the command toolbar: the desktop theme's, else symbols drawn
    // in the palette's colours (the floating toolbar draws the same ones).
    const struct {
        QToolButton *button;
        const char *theme;
    } icons[] = {
        {ui->ToolButton1, "document-new"}, {ui->ToolButton2, "view-list-details"}, {ui->ReadFileBtn, "document-open"},
        {ui->PasteBtn, "edit-paste"},      {ui->OptionsBtn, "configure"},
    };
    for (const auto &i : icons)
        i.button->setIcon(ToolBarIcon(QLatin1String(i.theme)));

    // The reading commands: one action each, in the toolbar, the Read menu
    // and (built with them) the tray menu, the article menu and the floating
    // toolbar. The voice test and the device commands follow their state.
    const ReadingActions &commands = *m_readingActions;
    ui->PlayToolBtn->setDefaultAction(commands.ReadAloud());
    ui->PlayFileBtn->setDefaultAction(commands.ReadToFile());
    ui->PauseBtn->setDefaultAction(commands.PauseResume());
    ui->SkipBtn->setDefaultAction(commands.Skip());
    ui->StopBtn->setDefaultAction(commands.Stop());
    ui->Read1->addActions({commands.ReadAloud(), commands.ReadToFile()});
    ui->Read1->addSeparator();
    ui->Read1->addActions({commands.PauseResume(), commands.Skip(), commands.Stop()});
    connect(&commands, &ReadingActions::SoundDeviceFree, ui->SelAudioDevMItm, &QAction::setEnabled);
    connect(&commands, &ReadingActions::SoundDeviceFree, ui->PronunciationMItm, &QAction::setEnabled);

    connect(ui->OptionsBtn, &QToolButton::clicked, this, &MainWindow::ToggleOptionsBand);
    connect(ui->ShowOptionsMItm, &QAction::triggered, this, &MainWindow::ToggleOptionsBand);
    connect(ui->ShowToolbarMItm, &QAction::triggered, this, &MainWindow::ShowToolbarMItmClick);
    connect(ui->ExitVoxtrella1, &QAction::triggered, this, &MainWindow::ExitVoxtrellaClick);
    connect(ui->SelAudioDevMItm, &QAction::triggered, this, &MainWindow::SelAudioDevMItmClick);
    connect(ui->PronunciationMItm, &QAction::triggered, this, &MainWindow::PronunciationMItmClick);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_startStep == StartStep::NotShown)
        FormShow();
}

void MainWindow::Start()
{
    if (m_startStep == StartStep::NotShown && !Exiting())
        FormShow();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_options) {
        // The desktop font changed while running: the bars and the strip
        // are sized from it.
        ui->StatusBar1->setMinimumHeight(std::max(19, fontMetrics().height() + 4));
        LayoutStrip();
        LayoutStatusPanels();
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        // Before the first show has finished, its end runs the activation.
        if (!m_activatedOnce && m_shownOnce)
            FormActivate();
    } else if (event->type() == QEvent::WindowStateChange && isMinimized() && m_shownOnce && State() != rsExiting) {
        // The user minimised the window: the program goes to the tray.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && isVisible())
                MinimiseToTray();
        });
    } else if (event->type() == QEvent::WindowStateChange && !isMinimized() && isVisible() && m_shownOnce &&
               (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)) {
        // Brought back from the task bar (no tray): as a restore from the tray.
        m_toolBar.hide();
        m_tray->WindowShown();
    }
}

void MainWindow::FormShow()
{
    DiagnosticLog::WriteLog(QStringLiteral("Entered FormShow"));
    m_startTimer = new QTimer(this);
    m_startTimer->setSingleShot(true);
    connect(m_startTimer, &QTimer::timeout, this, &MainWindow::RunStartStep);
    m_soundServerWait.start();
    NextStartStep(StartStep::WaitingForSoundServer);
}

void MainWindow::NextStartStep(StartStep step, int delayMs)
{
    m_startStep = step;
    m_startTimer->start(delayMs);
}

void MainWindow::RunStartStep()
{
    // An exit during the start (a termination request, a box closed by
    // it) ends the sequence where it is.
    if (Exiting())
        return;
    switch (m_startStep) {
    case StartStep::NotShown:
    case StartStep::Done:
        return;
    case StartStep::WaitingForSoundServer:
        // Started at login, the program may be up before the sound server.
        if (StartedAtLogin() && audio::audioSystem().outputDeviceCount() <= 0 &&
            m_soundServerWait.elapsed() < kSoundServerWaitMs) {
            NextStartStep(StartStep::WaitingForSoundServer, kSoundServerPollMs);
            return;
        }
        NextStartStep(StartStep::Notices);
        return;
    case StartStep::Notices:
        if (!ShowStartNotices())
            return;
        // The window comes up once nothing is left to tell; activated also
        // when it was up already, since without a window manager nobody
        // hands it the focus back when a box closes.
        show();
        windowHandle()->requestActivate();
        NextStartStep(StartStep::LoadingVoices);
        return;
    case StartStep::LoadingVoices:
        if (LoadVoices())
            NextStartStep(StartStep::LoadingArticles);
        return;
    case StartStep::LoadingArticles:
        LoadArticles();
        if (!Exiting())
            FinishFirstShow();
        return;
    }
}

bool MainWindow::ShowStartNotices()
{
    // Without sound the articles, the files and the options still work;
    // reading aloud checks again each time, so a server started later serves.
    if (audio::audioSystem().outputDeviceCount() <= 0) {
        QString why;
        audio::audioSystem().testOpen(-1, &why);
        DiagnosticLog::WriteLog(QStringLiteral("No sound output at start: ") + why);
        MessageService::notice(
            kNoSoundOutput.arg(why.isEmpty() ? QStringLiteral("There is no audio output device.") : why));
        if (Exiting())
            return false;
    }
    if (m_startNotes.settingsDamaged) {
        MessageService::notice(kSettingsDamaged.arg(RegistryStore().fileName()));
        if (Exiting())
            return false;
    }
    if (m_startNotes.lostAudioDevice != -1) {
        MessageService::notice(kAudioDeviceGone.arg(m_startNotes.lostAudioDevice));
        if (Exiting())
            return false;
    }
    return true;
}

bool MainWindow::LoadVoices()
{
    m_driver.Initialize();
    if (Exiting())
        return false;
    if (m_driver.Voices().Count() == 0) {
        m_startStep = StartStep::Done;
        TEngineWarningForm warning(this);
        warning.exec();
        Terminate();
        m_shownOnce = true;
        return false;
    }
    m_prefs.LoadFromRegistry();
    m_driver.LoadVoicePrefs();
    m_articles->LoadFavoriteVoices();
    return true;
}

void MainWindow::LoadArticles()
{
    // The introduction only where there are no saved articles: a lost or
    // damaged settings file must not put it in place of the user's own.
    const QFileInfo saved(ExportFileName());
    const bool noSavedArticles = !saved.exists() || (saved.isFile() && saved.size() == 0);
    const bool introduction = m_prefs.FirstTimeUser && noSavedArticles;
    const QString articles = m_saving->ArticlesFile(introduction ? AppPaths::dataDir() + QLatin1Char('/') + kIntroFile
                                                                 : ExportFileName());
    m_prefs.FirstTimeUser = false;
    if (Exiting())
        return;
    m_articleList->ImportList(articles);
    if (Exiting())
        return;
    // Each article shows the voice that reads it: the introduction, which
    // names none, the default voice; one saved under an earlier name of its
    // voice, the voice's name now. A saved article without a voice keeps
    // none, so it follows the default voice when that changes.
    for (int i = 0; i < m_articleList->Count(); ++i) {
        ArticleEntry *entry = m_articleList->Entry(i);
        if (entry->VoiceName().trimmed().isEmpty() && !introduction)
            continue;
        const QString voice = entry->VoiceName().trimmed().isEmpty()
                                  ? m_prefs.TTS_DefaultVoiceName
                                  : m_driver.Catalog().CurrentName(entry->VoiceName());
        if (voice != entry->VoiceName())
            entry->SetVoiceName(voice);
    }
    m_saving->ArticlesRead();
}

void MainWindow::FinishFirstShow()
{
    m_startStep = StartStep::Done;
    if (!m_listInfoInitialised && isActiveWindow()) {
        DiagnosticLog::WriteLog(QStringLiteral("FormShow - Initialize list info and mark entry"));
        InitListInfo();
    }

    LayoutStatusPanels();
    m_tray->AddTrayIcon(windowIcon(), Caption);
    m_readingCommands->SetReadingState(rsIdle);
    m_shownOnce = true;
    m_options->SetShownOnce();
    m_clipboard->SetShownOnce();
    DiagnosticLog::WriteLog(QStringLiteral("Exiting FormShow"));
    // A desktop may refuse the focus to a starting program; the first
    // activation's work (the list info, the "-auto" start) must still run.
    QTimer::singleShot(0, this, [this] {
        if (m_terminating)
            return;
        if (!m_activatedOnce)
            FormActivate();
        else if (!m_listInfoInitialised)
            InitListInfo();
    });
}

void MainWindow::InitListInfo()
{
    m_listInfoInitialised = true;
    m_readingCommands->UpdateStatus(m_readingCommands->ArticleCountText());
    if (m_articleList->GetVisibleCount() > 0) {
        m_list->ScrollToTop(1);
        m_articleList->MarkEntry(1);
    } else {
        m_articles->AddNewArticle();
    }
}

void MainWindow::FormActivate()
{
    m_activatedOnce = true;
    const QStringList args = QCoreApplication::arguments();
    const QString first = args.size() > 1 ? args.at(1) : QString();
    DiagnosticLog::WriteLog(AppPaths::programFilePath());
    DiagnosticLog::WriteLog(first);
    if (!m_listInfoInitialised && m_shownOnce && !m_terminating) {
        DiagnosticLog::WriteLog(QStringLiteral("FormActivate - Initialize list info and mark entry"));
        InitListInfo();
    }
    if (StartedAtLogin()) {
        DiagnosticLog::WriteLog(QStringLiteral("Minimizing ..."));
        m_loginMinimiseTimer->start(kAutoTimerMs);
    }
    DiagnosticLog::WriteLog(QStringLiteral("Exiting FormActivate"));
}

bool MainWindow::StartedAtLogin()
{
    // Only as the first argument, in small letters, as the autostart entry writes it.
    return QCoreApplication::arguments().value(1) == kAutoStart;
}

void MainWindow::MinimiseAfterLoginStart()
{
    DiagnosticLog::WriteLog(QStringLiteral("FormActivate Timer popped"));
    if (m_articleList->Importing()) {
        DiagnosticLog::WriteLog(QStringLiteral("Import in progress.  Resetting timer"));
        m_loginMinimiseTimer->start(kAutoTimerMs);
        return;
    }
    DiagnosticLog::WriteLog(QStringLiteral("FormActivate Timer: Minimizing now."));
    m_loginMinimiseTimer->stop();
    MinimiseToTray();
}

void MainWindow::Terminate()
{
    m_terminating = true;
    // Queued, so that it also ends a message loop that has not started yet.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// ------------------------------------------------------------------ layout

void MainWindow::LayoutStatusPanels()
{
    const int client = ui->StatusBar1->width() > 0 ? width() : 639;
    m_panelWidth[0] = RoundHalfEven(client * 0.75);
    m_panelWidth[1] = client - m_panelWidth[0];
    const int height = ui->StatusBar1->height();
    m_panel[0]->setGeometry(0, 0, m_panelWidth[0], height);
    m_panel[1]->setGeometry(m_panelWidth[0], 0, m_panelWidth[1], height);
    m_gauge->setGeometry(m_panelWidth[0] + 2, 2, m_panelWidth[1], 15);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void MainWindow::FormResize()
{
    if (m_shownOnce)
        LayoutStatusPanels();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->MainTextPanel && event->type() == QEvent::Resize)
        MainTextPanelResize();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::MainTextPanelResize()
{
    if (m_list)
        m_list->ScrollToFirstShown();
}

int MainWindow::FullOptionsHeight(double dpi)
{
    return qRound(dpi) == 120 ? kFullOptionsHeight120Dpi : kFullOptionsHeight;
}

int MainWindow::ToolbarHeight() const
{
    // The designed 56 pixels, or more when a larger font needs them for the
    // caption line under each 32-pixel image.
    int needed = kDesignedToolbarHeight;
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    for (const QToolButton *button : ui->ToolBar1->findChildren<QToolButton *>())
        needed = std::max(needed, button->iconSize().height() + 4 + button->fontMetrics().height() + 2 * frame);
    return needed;
}

void MainWindow::SetStripHeight(int height)
{
    // The option pages scroll down but never across: each is at least as
    // wide as what it holds, which makes the window as wide as it needs.
    for (QScrollArea *page : ui->Panel3->findChildren<QScrollArea *>()) {
        if (page->widget())
            page->setMinimumWidth(page->widget()->minimumSizeHint().width() + 2 * page->frameWidth() +
                                  page->verticalScrollBar()->sizeHint().width());
    }
    ui->MISIOptionsPage->setMinimumWidth(
        std::max(kDesignedModeOptionsWidth, ui->MISIOptionsPage->minimumSizeHint().width()));
    ui->ToolBar1->setFixedHeight(ToolbarHeight());
    const int needed = m_strip->SetStripHeight(height);
    // A window too low for the strip and the list's lines grows, as far as
    // the screen allows, rather than squeeze the band.
    if (needed > this->height() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        resize(width(), screen() ? std::min(needed, screen()->availableGeometry().height()) : needed);
}

int MainWindow::FullStripHeight(int designed) const
{
    return m_strip->ShownStripHeight(qRound(designed * FontScale(this)), ToolbarHeight(),
                                     screen() ? screen()->availableGeometry().height() : height());
}

void MainWindow::ToggleOptionsBand()
{
    if (ui->Panel3->isVisibleTo(this)) {
        ui->OptionsBtn->setChecked(false);
        ui->ShowOptionsMItm->setChecked(false);
        m_prefs.ShowOptions = false;
        ui->Panel3->hide();
        SetStripHeight(ui->ToolBar1->isVisibleTo(this) ? ToolbarHeight() : 0);
    } else {
        ui->OptionsBtn->setChecked(true);
        ui->ShowOptionsMItm->setChecked(true);
        m_prefs.ShowOptions = true;
        ui->Panel3->show();
        const int full = FullStripHeight(FullOptionsHeight(screen() ? screen()->logicalDotsPerInch() : 96.0));
        SetStripHeight(ui->ToolBar1->isVisibleTo(this) ? full : full - ToolbarHeight());
    }
}

void MainWindow::ShowToolbarMItmClick()
{
    m_prefs.ShowToolbar = !m_prefs.ShowToolbar;
    ui->ShowToolbarMItm->setChecked(m_prefs.ShowToolbar);
    ui->ToolBar1->setVisible(m_prefs.ShowToolbar);
    LayoutStrip();
}

void MainWindow::LayoutStrip()
{
    const bool options = ui->Panel3->isVisibleTo(this);
    const int full = FullStripHeight(kFullOptionsHeight);
    if (ui->ToolBar1->isVisibleTo(this))
        SetStripHeight(options ? full : ToolbarHeight());
    else
        SetStripHeight(options ? full - ToolbarHeight() : 0);
}

void MainWindow::BindOptionPages()
{
    // The clipboard watcher joins the viewers when watching is on; the
    // Clipboard page, the Options menu and the tray show and switch it.
    m_clipboard = new ClipboardWatcher(m_prefs, *QGuiApplication::clipboard(), *m_articleList, *m_articles,
                                       *ui->ClipboardSheet, this);
    QCheckBox *monitor = ui->ClipboardSheet->Controls().MonitorCB;
    QAction *trayMonitor = m_tray->WatchClipboardItem();
    const auto showMonitor = [this, monitor, trayMonitor](bool on) {
        monitor->setChecked(on);
        ui->MonClipMItm->setChecked(on);
        trayMonitor->setChecked(on);
    };
    showMonitor(m_prefs.CB_Monitor);
    connect(m_clipboard, &ClipboardWatcher::MonitorShown, this, showMonitor);
    // clicked and triggered come from the user only: setting the check
    // marks does not switch watching again.
    connect(monitor, &QCheckBox::clicked, m_clipboard, &ClipboardWatcher::ToggleWatching);
    connect(ui->MonClipMItm, &QAction::triggered, m_clipboard, &ClipboardWatcher::ToggleWatching);
    connect(trayMonitor, &QAction::triggered, m_clipboard, &ClipboardWatcher::ToggleWatching);

    m_voicesPage = new EnginesVoicesPage(*ui->EngineVoicesTab, m_prefs, this);
    connect(m_voicesPage, &EnginesVoicesPage::FavoritesChanged, m_articles.get(), &ArticleCommands::LoadFavoriteVoices);

    // A page shows its settings as they are now when its tab is chosen.
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (ui->PageControl1->currentWidget() == ui->EngineVoicesTab)
            m_voicesPage->EngineVoicesTabShow();
        else if (ui->PageControl1->currentWidget() == ui->MiscSheet)
            m_options->MiscSheetShow();
    });
}

void MainWindow::ShowModeSheet(bool multi)
{
    if (multi) {
        ui->MISIOptionsPage->setCurrentWidget(ui->MIOptionsSheet);
        m_options->MIOptionsSheetShow();
    } else {
        ui->MISIOptionsPage->setCurrentWidget(ui->SIOptionsSheet);
        m_options->SIOptionsSheetShow();
    }
}

QString MainWindow::StatusText() const
{
    return m_panel[0]->text();
}

// ------------------------------------------------------ tray and toolbar

void MainWindow::ShowOptionsPage(QWidget &page)
{
    if (!ui->Panel3->isVisibleTo(this))
        ToggleOptionsBand();
    ui->PageControl1->setCurrentWidget(&page);
}

void MainWindow::SelAudioDevMItmClick()
{
    AudioDevicePicker dialog(this);
    dialog.DlgUse = duTTS;
    dialog.AudioDeviceID = m_prefs.TTS_AudioDeviceID;
    if (dialog.Execute() && m_driver.CheckAudioDevice(dialog.AudioDeviceID)) {
        m_prefs.TTS_AudioDeviceID = dialog.AudioDeviceID;
        m_driver.TTS1()->SetAudioDeviceID(dialog.AudioDeviceID);
    }
}

void MainWindow::PronunciationMItmClick()
{
    m_driver.ShowLexicon(this, kPronunciationTitle);
}

// ---------------------------------------------------------------- leaving

bool MainWindow::SaveSettings(QString *error)
{
    FormPlacement::Save(this);
    m_prefs.FieldsToItems();
    return m_prefs.SaveToRegistry(error);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    DiagnosticLog::WriteLog(QStringLiteral("Entered FormClose"));
    QString why;
    // Who chose to exit without saving knows already that nothing is saved.
    if (!SaveSettings(&why) && !m_saving->ExitWithoutSaving())
        MessageService::error(kSettingsNotSaved + QStringLiteral("\r\r") + why);
    if (State() != rsExiting && !m_terminating) {
        event->ignore();
        MinimiseToTray();
        return;
    }
    event->accept();
}

void MainWindow::ExitVoxtrellaClick()
{
    emit ExitRequested();
}

bool MainWindow::SavingInProgress() const
{
    return m_articleList->Exporting();
}

bool MainWindow::ConfirmExit()
{
    return m_saving->SaveBeforeExit();
}

void MainWindow::CloseForExit()
{
    m_readingCommands->BeginExit();
    m_articleList->StopImport();
    CloseOpenDialogs();
    if (m_driver.TTS1()->Active())
        m_driver.TTS1()->AudioReset();
    m_saving->SaveAtExit();
    // Nothing may save after this, whatever command the exit interrupted.
    m_articleList->Seal();
    m_articleList->UnlockAllEntries();
    m_articleList->DeleteAll();
    close();
    Terminate();
}

void MainWindow::SaveForSession()
{
    if (Exiting())
        return;
    // A save under way writes the articles already.
    if (!SavingInProgress())
        m_saving->SaveAtExit();
    SaveSettings();
}

void MainWindow::CloseOpenDialogs()
{
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;  // it refused to close; the queued quit still ends its loop
    }
}

void MainWindow::FormDestroy()
{
    DiagnosticLog::WriteLog(QStringLiteral("Entered Form1 Destroy"));
    SaveSettings();
    m_clipboard->Leave();
    m_tray->RemoveTrayIcon();
    DiagnosticLog::WriteLog(QStringLiteral("Exitting FormDestroy"));
}

// ------------------------------------------------------------ the parts

ReadingState MainWindow::State() const
{
    return m_reading->State();
}

void MainWindow::BuildReading()
{
    m_readingCommands =
        std::make_unique<ReadingBinder>(*m_reading, *m_readingActions, *m_articleList, *m_list,
                                        ReadingBinder::StatusWidgets{*m_panel[0], *m_panel[1], *m_gauge}, &m_toolBar);
    ConnectReading();
    m_voicesPage->AttachReading(m_driver, *m_reading);
    m_clipboard->AttachReading(*m_reading);
    m_toolBar.SetPreferences(&m_prefs);
    m_toolBar.setWindowIcon(windowIcon());
    connect(&m_toolBar, &FloatingToolBar::RestoreRequested, this, &MainWindow::RestoreFromTray);
    connect(&m_toolBar, &FloatingToolBar::Shown, m_tray, &TrayController::ToolbarShown);
    connect(&m_toolBar, &FloatingToolBar::ClosedByUser, m_tray, &TrayController::ToolbarClosed);
    m_readingCommands->SetReadingState(rsIdle);
    m_mediaControls = std::make_unique<MediaControls>(Caption, *m_readingActions, *m_reading, *m_readingView, m_driver,
                                                      m_prefs);
    connect(m_mediaControls.get(), &MediaControls::RaiseRequested, this, &MainWindow::RestoreFromTray);
}

ArticleEntry *MainWindow::AddNewArticle()
{
    return m_articles->AddNewArticle();
}

void MainWindow::SaveList()
{
    m_articles->SaveList();
}

QSystemTrayIcon *MainWindow::TrayIcon() const
{
    return m_tray->TrayIcon();
}

// ------------------------------------------- the tray and the reading parts

void MainWindow::ConnectTray()
{
    connect(m_tray, &TrayController::RestoreRequested, this, &MainWindow::RestoreFromTray);
    connect(m_tray, &TrayController::ShowToolbarRequested, this, [this] { m_toolBar.ShowNormal(); });
    connect(m_tray, &TrayController::MenuOpening, this, &QWidget::activateWindow);
    connect(m_tray, &TrayController::ListModeChosen, this, [this](bool multi) {
        if (multi)
            m_articles->SwitchToMultiArticle();
        else
            m_articles->SwitchToSingleArticle();
    });
    connect(m_tray, &TrayController::AboutRequested, this, [this] { m_help->ShowAbout(); });
    connect(m_tray, &TrayController::ExitRequested, this, &MainWindow::ExitVoxtrellaClick);
}

void MainWindow::ConnectReading()
{
    connect(m_readingCommands.get(), &ReadingBinder::StatusShown, this, [this](const QString &text, bool idle) {
        m_tray->SetTip(text, idle);
        m_articles->UpdatePasteCommands();
    });
    // Reading started with both windows hidden: the floating toolbar may come.
    connect(m_readingCommands.get(), &ReadingBinder::StateApplied, this, [this](ReadingState state) {
        // A window minimised to the task bar counts as hidden here.
        const bool shown = isVisible() && !isMinimized();
        if (state == rsReading && !m_toolBar.isVisible() && !shown)
            m_tray->ReadingWhileHidden();
    });
    connect(m_options, &OptionsBinder::FileDestinationChosen, m_readingCommands.get(),
            [this](uint8_t destination) { m_readingCommands->SetTarget(static_cast<OutputTarget>(destination)); });
    connect(m_options, &OptionsBinder::HighlightSwitchedOn, m_readingCommands.get(),
            &ReadingBinder::HighlightSwitchedOn);
}

void MainWindow::MinimiseToTray()
{
    if (m_tray->TrayAvailable()) {
        // A hidden window shown again is placed anew by the window manager,
        // or by its frame where it stood by its client area: it comes back
        // where it was only when put there by its client bounds.
        const bool normal = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        // A late report of the minimising, with the window hidden already,
        // keeps the place taken when it went.
        if (isVisible())
            m_placeBeforeHide = normal ? geometry() : QRect();
        hide();
        // Minimised by the window manager, the window keeps its iconic
        // state while hidden, and the manager would minimise it again the
        // moment it is shown from the tray: it is hidden as a normal window.
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        if (m_list)
            m_list->hide();
    } else if (!isMinimized()) {
        // Without a tray the task bar is the only way back.
        showMinimized();
    }
    m_tray->WindowHidden(State());
}

void MainWindow::RestoreFromTray()
{
    m_toolBar.hide();
    if (m_list)
        m_list->show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (m_placeBeforeHide.isValid() && !isVisible())
        setGeometry(m_placeBeforeHide);
    m_placeBeforeHide = QRect();
    show();
    m_tray->WindowShown();
    raise();
    activateWindow();
}
