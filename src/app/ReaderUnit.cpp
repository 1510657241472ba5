#include "ReaderUnit.h"

#include "ui_ReaderUnit.h"

#include "ListReadingView.h"
#include "OptionsBinder.h"
#include "ToolBarUnit.h"
#include "TrayController.h"
#include "articles/MemoEntryUnit.h"
#include "articles/MemoListUnit.h"
#include "articles/PropertyPanelUnit.h"
#include "dialogs/NoEngineWarning.h"
#include "platform/audio/AudioSystem.h"
#include "platform/paths/AppPaths.h"
#include "platform/registry/RegistryStore.h"
#include "platform/shell/Autostart.h"
#include "platform/shell/MessageService.h"
#include "reader/TTSUnit.h"
#include "dialogs/FormPlacement.h"
#include "settings/PreferenceUnit.h"
#include "dialogs/VarnyxAuDevFrm.h"
#include "util/UtilsClass.h"
#include "voices/GrabBaseClassUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QThread>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

TForm1 *Form1 = nullptr;

const QString TForm1::Caption = QStringLiteral("Voxtrella MP3");

namespace {

const QString kExportFile = QStringLiteral("VXExport.txt");
const QString kIntroFile = QStringLiteral("VXIntro.chl");
const QString kAudioHelpFile = QStringLiteral("AudioHelp.chl");
const QString kHelpPage = QStringLiteral("help/index.html");
const QString kLockedMessage = QStringLiteral("This item is currently being read and cannot be deleted");
const QString kNoEnglishVoice =
    QStringLiteral("An English Voice was not found on your computer.\rAudio Help is currently available in English only");
const QString kNoSoundCard = QStringLiteral(
    "Sound Card not found\r\rA Sound Card is required for Voxtrella to operate\r\rVoxtrella will exit now.");
const QString kPronunciationTitle = QStringLiteral("Voxtrella MP3 Pronunciation");
const QString kSettingsDamaged = QStringLiteral(
    "The settings file \"%1\" could not be read, so Voxtrella starts with its default settings.\r\r"
    "The damaged file is kept as \"%1.damaged\". Your saved articles are not affected.");
const QString kAudioDeviceGone = QStringLiteral(
    "The audio device chosen earlier (device %1) is no longer available, so Voxtrella uses the system default "
    "output.\r\rChoose another device with Options, Select Audio Device.");

// The program's own pages; the Windows vendor's site does not describe this
// program.
const QUrl kHomePage(QStringLiteral("https://voxtrella.org/"));
const QUrl kPlayersPage(QStringLiteral("https://voxtrella.org/players.html"));
const QUrl kVoicesPage(QStringLiteral("https://voxtrella.org/voices.html"));

constexpr int kFullOptionsHeight = 257;
constexpr int kFullOptionsHeight120Dpi = 316;
constexpr int kDesignedToolbarHeight = 56;
constexpr int kTitleLength = 20;
constexpr int kAutoTimerMs = 500;
constexpr int kSoundServerWaitMs = 5000;

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

QString ExportFileName()
{
    return AppPaths::userDir() + QLatin1Char('/') + kExportFile;
}

}  // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    // The form's name keys its stored placement.
    setObjectName(QStringLiteral("Form1"));
    UtilsClass::WriteLog(QStringLiteral("Entered FormCreate"));
    FormCreate();
    UtilsClass::WriteLog(QStringLiteral("Exiting FormCreate"));
}

TForm1::~TForm1()
{
    // Focus moves while the children go; nothing may look at them then.
    disconnect(m_focusConnection);
    FormDestroy();
    if (Form1 == this)
        Form1 = nullptr;
    if (m_prefs && Prefs == m_prefs.get())
        Prefs = nullptr;
}

// ---------------------------------------------------------------- start-up

void TForm1::FormCreate()
{
    m_shownOnce = false;
    m_activatedOnce = false;
    m_listInfoInitialised = false;
    m_clipboardArmed = false;

    if (!Prefs) {
        m_prefs = std::make_unique<TPreferences>();
        Prefs = m_prefs.get();
    }
    {
        const RegistryStore store;
        m_settingsDamaged = store.loadStatus() == RegistryStore::LoadStatus::Damaged ||
                            store.loadStatus() == RegistryStore::LoadStatus::Unreadable;
    }
    Prefs->LoadFromRegistry();
    FormPlacement::Restore(this);
    Prefs->ItemsToFields();
    UtilsClass::WriteLog(QStringLiteral("Version: ") + Prefs->Version());

    // Status bar: panel 0 for the long status, panel 1 under the gauge.
    // Placed by hand like the gauge: panels in the bar's layout would make
    // their fixed widths the window's minimum width.
    ui->StatusBar1->setMinimumHeight(19);
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

    BuildPopupMenus();
    m_tray = new TrayController(*this, *m_popupMenu2);
    m_options = new OptionsBinder(*ui, *Prefs, *this);

    m_list = new TMemoListBox(ui->MainTextPanel, m_popupMenu1);
    m_list->setObjectName(QStringLiteral("MemoListBox"));
    ui->MainTextLayout->addWidget(m_list);
    const bool multi = Prefs->ML_ListMode == 1;
    m_list->SetMultiArticle(multi);
    m_list->SetVisibleEntries(multi ? Prefs->ML_VisibleEntries : 1);
    // Article headers offer the catalogue's voices, read when they open.
    m_list->SetVoiceProvider([this] {
        std::vector<VoiceChoice> choices;
        if (m_driver) {
            const TVoiceList &voices = m_driver->Voices();
            for (int i = 0; i < voices.Count(); ++i) {
                const TVoiceEntry *v = voices.Items(i);
                choices.push_back({v->DisplayName, v->Favorite, v->Engine && v->Engine->Enabled});
            }
        }
        return choices;
    });
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_popupMenu1->popup(m_list->mapToGlobal(pos)); });
    ui->MainTextPanel->installEventFilter(this);

    // Options and toolbar strip.
    ui->ShowToolbarMItm->setChecked(Prefs->ShowToolbar);
    ui->OptionsBtn->setChecked(Prefs->ShowOptions);
    ui->ShowOptionsMItm->setChecked(Prefs->ShowOptions);
    int panel2 = kFullOptionsHeight;
    if (!Prefs->ShowOptions) {
        ui->Panel3->hide();
        panel2 = ToolbarHeight();
    }
    if (!Prefs->ShowToolbar) {
        ui->ToolBar1->hide();
        panel2 -= ToolbarHeight();
    }
    SetPanel2Height(panel2);

    // List mode.
    if (multi) {
        ui->ToolButton2->setChecked(true);
        ui->MultiMItm->setChecked(true);
        TrayItem("MIPoNtry")->setChecked(true);
        ShowModeSheet(true);
        UtilsClass::WriteLog(QStringLiteral("Current Mode is Multi-Article"));
    } else {
        ui->ToolButton1->setChecked(true);
        ui->SingleMItm->setChecked(true);
        TrayItem("SIPoNtry")->setChecked(true);
        ShowModeSheet(false);
        UtilsClass::WriteLog(QStringLiteral("Current Mode is Single-Article"));
    }

    // Controls from preferences.
    m_options->LoadControls();
    ui->MonitorCB->setChecked(Prefs->CB_Monitor);
    TrayItem("MonClipPoNtry")->setChecked(Prefs->CB_Monitor);
    ui->MonClipMItm->setChecked(Prefs->CB_Monitor);
    m_clipboardArmed = Prefs->CB_Monitor;

    TrayItem("ToolBarPONtry")->setEnabled(false);
    m_roundRobinIndex = -1;

    FillAudioHelpMenu();

    // Keep the login entry pointing at this program file when it has moved.
    if (Autostart::exists())
        Autostart::write(AppPaths::programFilePath());

    ui->PageControl1->setCurrentWidget(ui->ClipboardSheet);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    connect(m_timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    BindControls();
    // The sheet was chosen above, before its radio groups existed: fill it now.
    ShowModeSheet(multi);
    SetReadingState(rsIdle);
}

void TForm1::BuildPopupMenus()
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
    connect(addAction(m_popupMenu1, "AddNewPopup", QStringLiteral("&Add New")), &QAction::triggered, this,
            &TForm1::AddNewPopupClick);
    connect(addAction(m_popupMenu1, "DelSelPopup", QStringLiteral("&Delete Selected")), &QAction::triggered, this,
            &TForm1::DelSelPopupClick);
    m_popupMenu1->addSeparator();
    m_popupMenu1->addAction(ui->Paste1);
    m_popupMenu1->addSeparator();
    connect(addAction(m_popupMenu1, "ReadfromCursor1", QStringLiteral("Read from Cursor Aloud")), &QAction::triggered,
            this, &TForm1::ReadfromCursor1Click);
    connect(addAction(m_popupMenu1, "ReadHighlighted1", QStringLiteral("Read Selected Text Aloud")),
            &QAction::triggered, this, &TForm1::ReadHighlighted1Click);
    connect(m_popupMenu1, &QMenu::aboutToShow, this, &TForm1::Paste1Update);
    connect(m_popupMenu1, &QMenu::aboutToShow, this, &TForm1::PopupMenu1Popup);
    // The selected article follows the focus, and Paste follows the selection.
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this] { Paste1Update(); });
    this->addAction(ui->Paste1);

    // Tray menu.
    m_popupMenu2 = new QMenu(this);
    m_popupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    m_popupMenu2->setAccessibleName(tr("Tray menu"));
    auto *restore = addAction(m_popupMenu2, "RestoreMItm", QStringLiteral("Restore"));
    m_popupMenu2->setDefaultAction(restore);
    connect(restore, &QAction::triggered, this, &TForm1::RestoreMItmClick);
    connect(addAction(m_popupMenu2, "ToolBarPONtry", QStringLiteral("Show &Toolbar")), &QAction::triggered, this,
            &TForm1::ToolBarPONtryClick);
    m_popupMenu2->addSeparator();
    QMenu *options = m_popupMenu2->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("OptionsPoNtry"));
    auto *monClip = addAction(options, "MonClipPoNtry", QStringLiteral("&Watch Clipboard"));
    monClip->setCheckable(true);
    options->addSeparator();
    auto *si = addAction(options, "SIPoNtry", QStringLiteral("&Single Article"));
    auto *mi = addAction(options, "MIPoNtry", QStringLiteral("&Multi Article"));
    auto *trayModes = new QActionGroup(this);
    for (auto *a : {si, mi}) {
        a->setCheckable(true);
        trayModes->addAction(a);
    }
    connect(si, &QAction::triggered, this, &TForm1::ToolButton1Click);
    connect(mi, &QAction::triggered, this, &TForm1::ToolButton2Click);
    m_popupMenu2->addSeparator();
    connect(addAction(m_popupMenu2, "PlayPoNtry", QStringLiteral("Read &Aloud")), &QAction::triggered, this,
            &TForm1::PlayAllBtnClick);
    connect(addAction(m_popupMenu2, "PlayFilePoNtry", QStringLiteral("Read to &File")), &QAction::triggered, this,
            &TForm1::PlayFileBtnClick);
    connect(addAction(m_popupMenu2, "SkipPoNtry", QStringLiteral("S&kip")), &QAction::triggered, this,
            &TForm1::SkipBtnClick);
    connect(addAction(m_popupMenu2, "PausePoNtry", QStringLiteral("&Pause")), &QAction::triggered, this,
            &TForm1::PauseBtnClick);
    connect(addAction(m_popupMenu2, "StopPoNtry", QStringLiteral("&Stop")), &QAction::triggered, this,
            &TForm1::StopBtnClick);
    m_popupMenu2->addSeparator();
    connect(addAction(m_popupMenu2, "AboutPoNtry", QStringLiteral("A&bout")), &QAction::triggered, this,
            &TForm1::About1Click);
    m_popupMenu2->addSeparator();
    connect(addAction(m_popupMenu2, "ExitVoxtrella", QStringLiteral("E&xit Voxtrella")), &QAction::triggered, this,
            &TForm1::ExitVoxtrellaClick);

    // Engines / Voices tree menu; its commands come with that page.
    m_popupMenu3 = new QMenu(this);
    m_popupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    m_popupMenu3->setAccessibleName(tr("Engines and voices menu"));
    addAction(m_popupMenu3, "EnableItem", QStringLiteral("Enable Engine"));
    addAction(m_popupMenu3, "SetDfltItem", QStringLiteral("Set Voice as Default"));
    addAction(m_popupMenu3, "EditVoiceItem", QStringLiteral("Edit Voice"));
    addAction(m_popupMenu3, "TestItem", QStringLiteral("Test"));
    connect(ui->EngineVoicesTV, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_popupMenu3->popup(ui->EngineVoicesTV->viewport()->mapToGlobal(pos)); });
}

void TForm1::BindControls()
{
    auto *mode = new QActionGroup(this);
    mode->addAction(ui->SingleMItm);
    mode->addAction(ui->MultiMItm);
    auto *modeButtons = new QButtonGroup(this);
    modeButtons->addButton(ui->ToolButton1);
    modeButtons->addButton(ui->ToolButton2);

    // Icons of the command toolbar.
    const struct {
        QToolButton *button;
        const char *theme;
        QStyle::StandardPixmap fallback;
    } icons[] = {
        {ui->ToolButton1, "document-new", QStyle::SP_FileIcon},
        {ui->ToolButton2, "view-list-details", QStyle::SP_FileDialogDetailedView},
        {ui->ReadFileBtn, "document-open", QStyle::SP_DialogOpenButton},
        {ui->PasteBtn, "edit-paste", QStyle::SP_FileDialogContentsView},
        {ui->PlayToolBtn, "media-playback-start", QStyle::SP_MediaPlay},
        {ui->PlayFileBtn, "document-save", QStyle::SP_DialogSaveButton},
        {ui->PauseBtn, "media-playback-pause", QStyle::SP_MediaPause},
        {ui->SkipBtn, "media-skip-forward", QStyle::SP_MediaSkipForward},
        {ui->StopBtn, "media-playback-stop", QStyle::SP_MediaStop},
        {ui->OptionsBtn, "configure", QStyle::SP_FileDialogListView},
    };
    for (const auto &i : icons)
        i.button->setIcon(QIcon::fromTheme(QLatin1String(i.theme), style()->standardIcon(i.fallback)));

    const struct {
        QToolButton *button;
        QAction *item;
        void (TForm1::*command)();
    } commands[] = {
        {ui->PlayToolBtn, ui->PlaySpkrMItm, &TForm1::PlayAllBtnClick},
        {ui->PlayFileBtn, ui->PlayFileMItm, &TForm1::PlayFileBtnClick},
        {ui->PauseBtn, ui->PauseMItm, &TForm1::PauseBtnClick},
        {ui->SkipBtn, ui->SkipMItm, &TForm1::SkipBtnClick},
        {ui->StopBtn, ui->StopMItm, &TForm1::StopBtnClick},
    };
    for (const auto &c : commands) {
        connect(c.button, &QToolButton::clicked, this, c.command);
        connect(c.item, &QAction::triggered, this, c.command);
    }
    connect(ui->ToolButton1, &QToolButton::clicked, this, &TForm1::ToolButton1Click);
    connect(ui->SingleMItm, &QAction::triggered, this, &TForm1::ToolButton1Click);
    connect(ui->ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
    connect(ui->MultiMItm, &QAction::triggered, this, &TForm1::ToolButton2Click);
    connect(ui->ReadFileBtn, &QToolButton::clicked, this, &TForm1::ReadFileBtnClick);
    connect(ui->OpenTextFile1, &QAction::triggered, this, &TForm1::ReadFileBtnClick);
    connect(ui->PasteBtn, &QToolButton::clicked, this, &TForm1::Paste1Execute);
    connect(ui->Paste1, &QAction::triggered, this, &TForm1::Paste1Execute);
    connect(ui->OptionsBtn, &QToolButton::clicked, this, &TForm1::MMLabel1Click);
    connect(ui->ShowOptionsMItm, &QAction::triggered, this, &TForm1::MMLabel1Click);
    connect(ui->ShowToolbarMItm, &QAction::triggered, this, &TForm1::ShowToolbarMItmClick);
    connect(ui->ExitVoxtrella1, &QAction::triggered, this, &TForm1::ExitVoxtrellaClick);
    connect(ui->SelAudioDevMItm, &QAction::triggered, this, &TForm1::SelAudioDevMItmClick);
    connect(ui->PronunciationMItm, &QAction::triggered, this, &TForm1::PronunciationMItmClick);
    connect(ui->Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(ui->About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(ui->VisitVarnyxTechnologies1, &QAction::triggered, this, &TForm1::VisitVarnyxTechnologies1Click);
    connect(ui->PortableMP3, &QAction::triggered, this, &TForm1::PortableMP3Click);
    connect(ui->MoreVoicesLbl, &QLabel::linkActivated, this, &TForm1::MoreVoicesLblClick);

    connect(m_options, &OptionsBinder::FileDestinationChosen, this, [this](uint8_t destination) {
        if (m_reading)
            m_reading->SetTarget(static_cast<OutputTarget>(destination));
    });
    connect(m_options, &OptionsBinder::HighlightSwitchedOn, this, &TForm1::HighlightSwitchedOn);
}

void TForm1::FillAudioHelpMenu()
{
    GrabBaseClass help;
    help.LoadFromFile(AppPaths::dataDir() + QLatin1Char('/') + kAudioHelpFile);
    QStringList topics;
    help.GetList(QStringLiteral("/"), QStringLiteral("HelpTopics"), topics);
    for (const QString &topic : std::as_const(topics)) {
        QAction *item = ui->AudioHelp1->addAction(topic);
        connect(item, &QAction::triggered, this, [this, topic] { AudioHelpClick(topic); });
    }
    ui->AudioHelp1->menuAction()->setEnabled(!topics.isEmpty());
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce && !m_inFirstShow)
        FormShow();
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        if (!m_activatedOnce)
            FormActivate();
    } else if (event->type() == QEvent::WindowStateChange && isMinimized() && m_shownOnce &&
               m_readingState != rsExiting) {
        // The user minimised the window: the program goes to the tray.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                m_tray->AppMinimize();
        });
    } else if (event->type() == QEvent::WindowStateChange && !isMinimized() && m_shownOnce &&
               (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)) {
        // Brought back from the task bar (no tray): as a restore from the tray.
        m_tray->BroughtBackFromTaskBar();
    }
}

void TForm1::FormShow()
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormShow"));
    // The checks and the import below let events run; a show event among
    // them must not start a second first show.
    m_inFirstShow = true;

    // Started at login, the program may be up before the sound server.
    QElapsedTimer waited;
    waited.start();
    while (audio::audioSystem().outputDeviceCount() <= 0 && waited.elapsed() < kSoundServerWaitMs && !Exiting()) {
        QThread::msleep(200);
        QCoreApplication::processEvents();
    }
    if (Exiting())
        return;
    if (audio::audioSystem().outputDeviceCount() <= 0) {
        MessageService::notice(kNoSoundCard);
        Terminate();
        m_shownOnce = true;
        return;
    }
    if (m_settingsDamaged) {
        MessageService::notice(kSettingsDamaged.arg(RegistryStore().fileName()));
        if (Exiting())
            return;
    }
    if (m_lostAudioDevice >= 0 || m_lostAudioDevice < -1) {
        MessageService::notice(kAudioDeviceGone.arg(m_lostAudioDevice));
        if (Exiting())
            return;
    }

    if (!m_driver) {
        Terminate();
        m_shownOnce = true;
        return;
    }
    m_driver->Initialize();

    if (Exiting())
        return;
    if (m_driver->Voices().Count() == 0) {
        TEngineWarningForm warning(this);
        warning.exec();
        Terminate();
        m_shownOnce = true;
        return;
    }

    Prefs->LoadFromRegistry();
    m_driver->LoadVoicePrefs();
    LoadFavoriteVoices();
    m_random.seed(std::random_device{}());

    // The introduction only where there are no saved articles: a lost or
    // damaged settings file must not put it in place of the user's own.
    const QFileInfo saved(ExportFileName());
    const bool noSavedArticles = !saved.exists() || (saved.isFile() && saved.size() == 0);
    const QString articles =
        Prefs->FirstTimeUser && noSavedArticles ? AppPaths::dataDir() + QLatin1Char('/') + kIntroFile : ExportFileName();
    Prefs->FirstTimeUser = false;
    if (Exiting())
        return;
    m_articlesLoading = true;
    m_list->ImportList(
        articles, m_popupMenu1, [this](TMemoEntry *e) { if (m_reading) m_reading->ArticleReadClick(e); },
        [this](TMemoEntry *e) { if (m_reading) m_reading->ArticleReadToFileClick(e); },
        [this](TMemoEntry *e) { ArticleDeleteRequest(e); });
    if (Exiting())
        return;

    if (!m_listInfoInitialised && isActiveWindow()) {
        UtilsClass::WriteLog(QStringLiteral("FormShow - Initialize list info and mark entry"));
        InitListInfo();
    }

    LayoutStatusPanels();
    m_tray->AddTrayIcon(windowIcon());
    SetReadingState(rsIdle);
    m_shownOnce = true;
    m_options->SetShownOnce();
    m_inFirstShow = false;
    UtilsClass::WriteLog(QStringLiteral("Exiting FormShow"));
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

void TForm1::InitListInfo()
{
    m_listInfoInitialised = true;
    UpdateStatus(ArticleCountText());
    if (m_list->GetVisibleCount() > 0) {
        m_list->ScrollToTop(1);
        m_list->MarkEntry(1);
    } else {
        AddNewArticle();
    }
}

void TForm1::FormActivate()
{
    m_activatedOnce = true;
    const QStringList args = QCoreApplication::arguments();
    const QString first = args.size() > 1 ? args.at(1) : QString();
    UtilsClass::WriteLog(AppPaths::programFilePath());
    UtilsClass::WriteLog(first);
    if (!m_listInfoInitialised && m_shownOnce && !m_terminating) {
        UtilsClass::WriteLog(QStringLiteral("FormActivate - Initialize list info and mark entry"));
        InitListInfo();
    }
    if (first == QLatin1String("-auto")) {
        UtilsClass::WriteLog(QStringLiteral("Minimizing ..."));
        m_timer1->start(kAutoTimerMs);
    }
    UtilsClass::WriteLog(QStringLiteral("Exiting FormActivate"));
}

void TForm1::Timer1Timer()
{
    UtilsClass::WriteLog(QStringLiteral("FormActivate Timer popped"));
    if (m_list->Importing()) {
        UtilsClass::WriteLog(QStringLiteral("Import in progress.  Resetting timer"));
        m_timer1->start(kAutoTimerMs);
        return;
    }
    UtilsClass::WriteLog(QStringLiteral("FormActivate Timer: Minimizing now."));
    m_timer1->stop();
    AppMinimize();
}

void TForm1::Terminate()
{
    m_terminating = true;
    // Queued, so that it also ends a message loop that has not started yet.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// ------------------------------------------------------------------ layout

void TForm1::LayoutStatusPanels()
{
    const int client = ui->StatusBar1->width() > 0 ? width() : 639;
    m_panelWidth[0] = RoundHalfEven(client * 0.75);
    m_panelWidth[1] = client - m_panelWidth[0];
    const int height = ui->StatusBar1->height();
    m_panel[0]->setGeometry(0, 0, m_panelWidth[0], height);
    m_panel[1]->setGeometry(m_panelWidth[0], 0, m_panelWidth[1], height);
    m_gauge->setGeometry(m_panelWidth[0] + 2, 2, m_panelWidth[1], 15);
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::FormResize()
{
    if (m_shownOnce)
        LayoutStatusPanels();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->MainTextPanel && event->type() == QEvent::Resize)
        MainTextPanelResize();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::MainTextPanelResize()
{
    if (m_list)
        m_list->ScrollToFirstShown();
}

int TForm1::FullOptionsHeight(double dpi)
{
    return qRound(dpi) == 120 ? kFullOptionsHeight120Dpi : kFullOptionsHeight;
}

int TForm1::ToolbarHeight() const
{
    return kDesignedToolbarHeight;
}

void TForm1::SetPanel2Height(int height)
{
    ui->Panel2->setFixedHeight(std::max(0, height));
    ui->Panel2->setVisible(height > 0);
}

void TForm1::MMLabel1Click()
{
    if (ui->Panel3->isVisibleTo(this)) {
        ui->OptionsBtn->setChecked(false);
        ui->ShowOptionsMItm->setChecked(false);
        Prefs->ShowOptions = false;
        ui->Panel3->hide();
        SetPanel2Height(ui->ToolBar1->isVisibleTo(this) ? ToolbarHeight() : 0);
    } else {
        ui->OptionsBtn->setChecked(true);
        ui->ShowOptionsMItm->setChecked(true);
        Prefs->ShowOptions = true;
        ui->Panel3->show();
        const int full = FullOptionsHeight(screen() ? screen()->logicalDotsPerInch() : 96.0);
        SetPanel2Height(ui->ToolBar1->isVisibleTo(this) ? full : full - ToolbarHeight());
    }
}

void TForm1::ShowToolbarMItmClick()
{
    Prefs->ShowToolbar = !Prefs->ShowToolbar;
    ui->ShowToolbarMItm->setChecked(Prefs->ShowToolbar);
    ui->ToolBar1->setVisible(Prefs->ShowToolbar);
    const bool options = ui->Panel3->isVisibleTo(this);
    if (Prefs->ShowToolbar)
        SetPanel2Height(options ? kFullOptionsHeight : ToolbarHeight());
    else
        SetPanel2Height(options ? kFullOptionsHeight - ToolbarHeight() : 0);
}

void TForm1::ShowModeSheet(bool multi)
{
    ui->MISIOptionsPage->setCurrentWidget(multi ? ui->MIOptionsSheet : ui->SIOptionsSheet);
    if (multi)
        m_options->MIOptionsSheetShow();
    else
        m_options->SIOptionsSheetShow();
}

// -------------------------------------------------------------------- help

void TForm1::Contents1Click()
{
    const QString page = AppPaths::dataDir() + QLatin1Char('/') + kHelpPage;
    if (!QFileInfo::exists(page) || !QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        MessageService::error(QStringLiteral("The help pages could not be opened:\r") + page);
}

void TForm1::AudioHelpClick(const QString &topic)
{
    GrabBaseClass help;
    help.LoadFromFile(AppPaths::dataDir() + QLatin1Char('/') + kAudioHelpFile);
    const QString text = help.GetValue(QStringLiteral("/"), topic);
    TVoiceEntry *voice = m_driver ? m_driver->FindVoice(Prefs->TTS_DefaultVoiceName) : nullptr;
    if (m_driver && (!voice || LanguageCodeOf(voice->Engine->LanguageID) != QLatin1String("eng")))
        voice = m_driver->FindHelpVoice();
    if (!voice) {
        MessageService::error(kNoEnglishVoice);
        return;
    }
    UpdateStatus(QStringLiteral("Reading Audio Help"));
    SpeakAudioHelp(text, voice->DisplayName);
}

void TForm1::SpeakAudioHelp(const QString &text, const QString &voiceName)
{
    if (m_reading)
        m_reading->SpeakAudioHelp(text, voiceName);
}

void TForm1::StartAutoSpeak(TMemoEntry *entry)
{
    if (m_reading)
        m_reading->StartAutoSpeak(entry);
}

void TForm1::About1Click()
{
    QDialog about(this);
    about.setObjectName(QStringLiteral("AboutBox"));
    about.setWindowTitle(QStringLiteral("About Voxtrella MP3"));
    auto *layout = new QVBoxLayout(&about);
    auto *text = new QLabel(&about);
    text->setObjectName(QStringLiteral("AboutText"));
    text->setTextFormat(Qt::RichText);
    text->setText(QStringLiteral("<h2>Voxtrella MP3</h2><p>Version %1</p>"
                                 "<p>Reads your text aloud, or into WAV and MP3 files,<br>"
                                 "with the eSpeak NG and Flite speech engines.</p>"
                                 "<p>MP3 encoding by LAME.</p>")
                      .arg(Prefs->Version()));
    text->setAccessibleName(QStringLiteral("About Voxtrella MP3"));
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    about.exec();
}

void TForm1::VisitVarnyxTechnologies1Click()
{
    QDesktopServices::openUrl(kHomePage);
}

void TForm1::PortableMP3Click()
{
    QDesktopServices::openUrl(kPlayersPage);
}

void TForm1::MoreVoicesLblClick()
{
    QDesktopServices::openUrl(kVoicesPage);
}

// ------------------------------------------------------------------ status

void TForm1::SetReadingState(ReadingState state)
{
    if (m_reading) {
        m_reading->SetReadingState(state);
    } else {
        m_readingState = state;
        ApplyCommands({state == rsIdle, state == rsIdle, false, false, false, state == rsIdle}, state);
    }
}

void TForm1::ApplyCommands(ReadingController::Commands c, ReadingState state)
{
    m_readingState = state;
    auto set = [this](std::initializer_list<const char *> names, bool on) {
        for (const char *n : names) {
            const QString name = QLatin1String(n);
            if (auto *w = findChild<QWidget *>(name))
                w->setEnabled(on);
            if (auto *a = findChild<QAction *>(name))
                a->setEnabled(on);
        }
    };
    set({"PlayToolBtn", "PlaySpkrMItm", "PlayPoNtry", "TestButton"}, c.aloud);
    set({"PlayFileBtn", "PlayFileMItm", "PlayFilePoNtry"}, c.file);
    set({"PauseBtn", "PauseMItm", "PausePoNtry"}, c.pause);
    set({"SkipBtn", "SkipMItm", "SkipPoNtry"}, c.skip);
    set({"StopBtn", "StopMItm", "StopPoNtry"}, c.stop);
    set({"SelAudioDevMItm", "PronunciationMItm"}, c.deviceMenus);
    if (TToolBarForm *toolBar = ToolBar()) {
        toolBar->SetAloudEnabled(c.aloud);
        toolBar->SetFileEnabled(c.file);
        toolBar->SetPauseEnabled(c.pause);
        toolBar->SetSkipEnabled(c.skip);
        toolBar->SetStopEnabled(c.stop);
    }
    // A window minimised to the task bar counts as hidden here.
    const bool mainShown = isVisible() && !isMinimized();
    if (state == rsReading && ToolBar() && !ToolBar()->isVisible() && !mainShown && Prefs->ToolbarOnMinOption == 2)
        m_tray->ShowFloatingToolbar();
}

QString TForm1::ArticleCountText() const
{
    if (m_reading)
        return m_reading->ArticleCountText();
    return m_list && m_list->GetVisibleCount() > 0 ? QString::number(m_list->GetVisibleCount()) + " articles"
                                                   : QStringLiteral("No articles");
}

void TForm1::UpdateStatus(const QString &text)
{
    if (m_reading)
        m_reading->UpdateStatus(text);
    else
        ShowStatus(text, text);
}

void TForm1::ShowStatus(const QString &longText, const QString &shortText)
{
    m_panel[0]->setText(longText);
    m_tray->SetTip(longText, m_readingState == rsIdle);
    Paste1Update();
    if (ToolBar())
        ToolBar()->SetStatusText(shortText);
}

void TForm1::ResetStatus()
{
    if (m_reading)
        m_reading->ResetStatus();
}

void TForm1::ShowGauge(bool visible, int maximum, int value)
{
    if (!visible) {
        m_gauge->hide();
        m_gauge->setValue(0);
        if (ToolBar())
            ToolBar()->ResetGauge();
        return;
    }
    if (maximum >= 0) {
        m_gauge->setRange(0, std::max(1, maximum));
        if (ToolBar())
            ToolBar()->SetGaugeRange(0, std::max(1, maximum));
    }
    m_gauge->setValue(std::clamp(value, m_gauge->minimum(), m_gauge->maximum()));
    m_gauge->show();
    if (ToolBar()) {
        ToolBar()->SetGaugePosition(value);
        ToolBar()->SetGaugeVisible(true);
    }
}

void TForm1::ShowPaused(bool paused)
{
    ui->PauseMItm->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    ui->PauseBtn->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    TrayItem("PausePoNtry")->setText(paused ? QStringLiteral("Resume") : QStringLiteral("&Pause"));
    m_panel[1]->setText(paused ? QStringLiteral("Pause") : QStringLiteral(" "));
}

QString TForm1::StatusText() const
{
    return m_panel[0]->text();
}

// ------------------------------------------------------ tray and toolbar

void TForm1::AttachToolBar(TToolBarForm *toolbar)
{
    m_tray->AttachToolBar(toolbar);
    if (!toolbar)
        return;
    toolbar->OnPlay = [this] { PlayAllBtnClick(); };
    toolbar->OnPlayFile = [this] { PlayFileBtnClick(); };
    toolbar->OnPause = [this] { PauseBtnClick(); };
    toolbar->OnSkip = [this] { SkipBtnClick(); };
    toolbar->OnStop = [this] { StopBtnClick(); };
    toolbar->setWindowIcon(windowIcon());
    SetReadingState(m_readingState);
}

void TForm1::ShowOptionsPage(const QString &name)
{
    if (!ui->Panel3->isVisibleTo(this))
        MMLabel1Click();
    if (QWidget *page = ui->PageControl1->findChild<QWidget *>(name))
        ui->PageControl1->setCurrentWidget(page);
}

// ------------------------------------------------------------ list modes

void TForm1::CheckMode(bool multi)
{
    (multi ? ui->ToolButton2 : ui->ToolButton1)->setChecked(true);
    (multi ? ui->MultiMItm : ui->SingleMItm)->setChecked(true);
    TrayItem(multi ? "MIPoNtry" : "SIPoNtry")->setChecked(true);
}

void TForm1::ToolButton1Click()
{
    SwitchListMode(false);
}

void TForm1::ToolButton2Click()
{
    SwitchListMode(true);
}

void TForm1::SwitchListMode(bool multi)
{
    if (Prefs->ML_ListMode == (multi ? 1 : 0)) {
        // Keep the controls showing the mode that is active.
        CheckMode(multi);
        return;
    }
    UtilsClass::WriteLog(multi ? QStringLiteral("Entering Multi-Article Mode")
                               : QStringLiteral("Entering Single-Article Mode"));
    CheckMode(multi);
    Prefs->ML_ListMode = multi ? 1 : 0;
    m_list->SetMultiArticle(multi);
    m_list->SetVisibleEntries(multi ? Prefs->ML_VisibleEntries : 1);
    ShowModeSheet(multi);
    m_list->DeleteBlankEntries();
    if (m_list->GetVisibleCount() == 0) {
        UtilsClass::WriteLog(QStringLiteral("Calling AddNew"));
        AddNewArticle();
    }
    SetReadingState(m_readingState);
}

void TForm1::HighlightSwitchedOn()
{
    // The article being read comes into view.
    if (m_readingState != rsReading || !m_reading)
        return;
    if (TMemoEntry *entry = ListReadingView::EntryOf(m_reading->ArticleBeingRead())) {
        if (entry->isHidden())
            m_list->MarkEntry(m_list->FindEntry(entry));
        entry->Memo->setFocus(Qt::OtherFocusReason);
    }
}

void TForm1::SelAudioDevMItmClick()
{
    TAuDevDlg dialog(this);
    dialog.DlgUse = duTTS;
    dialog.AudioDeviceID = Prefs->TTS_AudioDeviceID;
    if (dialog.Execute() && m_driver && m_driver->CheckAudioDevice(dialog.AudioDeviceID)) {
        Prefs->TTS_AudioDeviceID = dialog.AudioDeviceID;
        m_driver->TTS1()->SetAudioDeviceID(dialog.AudioDeviceID);
    }
}

void TForm1::PronunciationMItmClick()
{
    if (m_driver)
        m_driver->ShowLexicon(this, kPronunciationTitle);
}

// ---------------------------------------------------------------- voices

QString TForm1::ChooseVoice()
{
    const uint8_t policy = Prefs->VoiceSelection();
    // With no favourite at all there is nothing to pick from: the default
    // voice is still a voice the user chose.
    if (policy == 0 || m_favoriteVoices.isEmpty())
        return Prefs->TTS_DefaultVoiceName;
    if (policy == 1) {
        std::uniform_int_distribution<int> pick(0, static_cast<int>(m_favoriteVoices.size()) - 1);
        return m_favoriteVoices.at(pick(m_random));
    }
    ++m_roundRobinIndex;
    if (m_roundRobinIndex >= m_favoriteVoices.size())
        m_roundRobinIndex = 0;
    return m_favoriteVoices.at(m_roundRobinIndex);
}

void TForm1::LoadFavoriteVoices()
{
    UtilsClass::WriteLog(QStringLiteral("Entering LoadFavoriteVoices"));
    m_roundRobinIndex = -1;
    m_favoriteVoices.clear();
    if (m_driver) {
        TVoiceList &voices = m_driver->Voices();
        for (int i = 0; i < voices.Count(); ++i) {
            TVoiceEntry *v = voices.Items(i);
            if (v->Favorite && v->Engine && v->Engine->Enabled)
                m_favoriteVoices.append(v->DisplayName);
        }
    }
    FillDefaultVoiceCombo();
}

void TForm1::FillDefaultVoiceCombo()
{
    QSignalBlocker block(ui->DfltVoiceCB);
    ui->DfltVoiceCB->clear();
    ui->DfltVoiceCB->addItems(m_favoriteVoices);
    const int index = m_favoriteVoices.indexOf(Prefs->TTS_DefaultVoiceName);
    ui->DfltVoiceCB->setCurrentIndex(index >= 0 ? index : (m_favoriteVoices.isEmpty() ? -1 : 0));
}

// --------------------------------------------------------------- articles

void TForm1::GiveArticleHandlers(TMemoEntry *entry)
{
    entry->OnRead = [this](TMemoEntry *e) {
        if (m_reading)
            m_reading->ArticleReadClick(e);
    };
    entry->OnReadToFile = [this](TMemoEntry *e) {
        if (m_reading)
            m_reading->ArticleReadToFileClick(e);
    };
    entry->OnDelete = [this](TMemoEntry *e) { ArticleDeleteRequest(e); };
    entry->SetPopupMenu(m_popupMenu1);
}

TMemoEntry *TForm1::AddNewArticle()
{
    TMemoEntry *entry = CreateArticle(QString(), ChooseVoice());
    if (entry)
        GiveArticleHandlers(entry);
    return entry;
}

TMemoEntry *TForm1::CreateArticle(const QString &text, const QString &voiceName)
{
    if (Exiting())
        return nullptr;
    TMemoEntry *entry = nullptr;
    try {
        entry = m_list->Add(text, voiceName);
    } catch (const EMemoEntryLocked &e) {
        UtilsClass::WriteLog(QStringLiteral("AddMemo Exception: ") + e.message());
        MessageService::error(kLockedMessage);
    } catch (const EAppError &e) {
        UtilsClass::WriteLog(QStringLiteral("AddMemo Exception: ") + e.message());
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        UtilsClass::WriteLog(QStringLiteral("AddMemo Exception: ") + QString::fromUtf8(e.what()));
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        UtilsClass::WriteLog(QStringLiteral("AddMemo Failed"));
        MessageService::error(QStringLiteral("AddMemo Failed"));
    }
    SaveList();
    UpdateStatus(ArticleCountText());
    return entry;
}

void TForm1::SaveList()
{
    // Before the saved articles are read the list is empty: saving it would
    // put an empty file in their place.
    if (m_articlesLoading)
        m_list->ExportList(ExportFileName());
}

void TForm1::ReadFileBtnClick()
{
    std::unique_ptr<QFileDialog> dialog = CreateOpenDialog();
    if (dialog->exec() != QDialog::Accepted || Exiting())
        return;
    OpenTextFiles(dialog->selectedFiles());
}

std::unique_ptr<QFileDialog> TForm1::CreateOpenDialog()
{
    auto dialog = std::make_unique<QFileDialog>(this, QStringLiteral("Open Text File"), Prefs->OpenDlgInitialDir);
    dialog->setObjectName(QStringLiteral("OpenDialog1"));
    // Name filters match in any letter case unless QDir::CaseSensitive is
    // set, so "NOTES.TXT" is offered too.
    dialog->setNameFilter(QStringLiteral("Text files (*.txt)"));
    dialog->setFileMode(Prefs->ML_ListMode == 1 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

void TForm1::OpenTextFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    Prefs->OpenDlgInitialDir = QFileInfo(files.first()).absolutePath();
    for (const QString &file : files) {
        TMemoEntry *entry = AddNewArticle();
        if (!entry)
            continue;
        QString name = QFileInfo(file).fileName();
        const int dot = name.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            name = name.left(dot);
        entry->TitleFromString(name, kTitleLength);
        if (!entry->LoadFromFile(file))
            MessageService::error(QStringLiteral("The file could not be opened:\r") + file);
        // An exit while a box was open has saved and emptied the list.
        if (Exiting())
            return;
        if (Prefs->AutoSpeak())
            StartAutoSpeak(entry);
        QCoreApplication::processEvents();
        if (Exiting())
            return;
    }
    SaveList();
    UpdateStatus(ArticleCountText());
}

void TForm1::ArticleDeleteRequest(TMemoEntry *entry)
{
    try {
        m_list->HideEntry(entry);
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    if (m_list->GetVisibleCount() == 0)
        AddNewArticle();
    SaveList();
    if (m_readingState != rsReading)
        UpdateStatus(ArticleCountText());
}

void TForm1::DelSelPopupClick()
{
    try {
        m_list->DeleteSelected();
    } catch (const EMemoEntryLocked &) {
        MessageService::error(kLockedMessage);
        return;
    }
    if (m_list->GetVisibleCount() == 0)
        AddNewArticle();
    SaveList();
    UpdateStatus(ArticleCountText());
}

void TForm1::AddNewPopupClick()
{
    AddNewArticle();
}

void TForm1::Paste1Execute()
{
    if (TMemoEntry *entry = m_list->CurrentEntry())
        entry->Memo->paste();
}

void TForm1::Paste1Update()
{
    const bool selected = m_list && m_list->CurrentEntry();
    ui->PasteBtn->setEnabled(selected);
    ui->Paste1->setEnabled(selected);
}

// ---------------------------------------------------------------- leaving

bool TForm1::SaveSettings()
{
    FormPlacement::Save(this);
    Prefs->FieldsToItems();
    return Prefs->SaveToRegistry();
}

QAction *TForm1::TrayItem(const char *name) const
{
    return m_tray->Item(name);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormClose"));
    if (!SaveSettings())
        MessageService::error(QStringLiteral("The settings could not be saved."));
    if (m_readingState != rsExiting && !m_terminating) {
        event->ignore();
        m_tray->AppMinimize();
        return;
    }
    event->accept();
}

void TForm1::ExitVoxtrellaClick()
{
    if (m_readingState == rsExiting)
        return;
    if (m_list->Exporting()) {
        // Asked while a save lets events run: taking the list apart now
        // would cut that save short. Exit once it has finished.
        QTimer::singleShot(50, this, &TForm1::ExitVoxtrellaClick);
        return;
    }
    UtilsClass::WriteLog(QStringLiteral("Entered ExitVoxtrellaClick"));
    if (m_reading)
        m_reading->BeginExit();
    m_readingState = rsExiting;
    m_list->StopImport();
    CloseOpenDialogs();
    QCoreApplication::processEvents();
    if (m_driver && m_driver->TTS1()->Active())
        m_driver->TTS1()->AudioReset();
    SaveList();
    // Nothing may save after this, whatever command the exit interrupted.
    m_list->Seal();
    m_list->UnlockAllEntries();
    m_list->DeleteAll();
    close();
    // Ends the loops running now (a box, a dialog) and, queued, the main
    // loop, also when the exit came before it started.
    QCoreApplication::quit();
    Terminate();
}

void TForm1::ExitProgram()
{
    MessageService::setQuiet(true);
    ExitVoxtrellaClick();
}

void TForm1::CloseOpenDialogs()
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

void TForm1::FormDestroy()
{
    UtilsClass::WriteLog(QStringLiteral("Entered Form1 Destroy"));
    if (Prefs)
        SaveSettings();
    m_tray->RemoveTrayIcon();
    UtilsClass::WriteLog(QStringLiteral("Exitting FormDestroy"));
}

// ---------------------------------------------------------------- reading

void TForm1::AttachDriver(TTTSForm &driver)
{
    m_driver = &driver;
    m_readingView = std::make_unique<ListReadingView>(*this);
    m_reading = std::make_unique<ReadingController>(driver, *Prefs, *m_readingView);
    connect(m_reading.get(), &ReadingController::CommandsChanged, this, &TForm1::ApplyCommands);
    connect(m_reading.get(), &ReadingController::StatusChanged, this, &TForm1::ShowStatus);
    connect(m_reading.get(), &ReadingController::StatusReset, this, [this] {
        m_panel[0]->clear();
        m_tray->SetTip(QString(), true);
    });
    connect(m_reading.get(), &ReadingController::GaugeChanged, this, &TForm1::ShowGauge);
    connect(m_reading.get(), &ReadingController::PausedChanged, this, &TForm1::ShowPaused);
    m_reading->SetReadingState(m_readingState == rsExiting ? rsExiting : rsIdle);
}

void TForm1::PlayAllBtnClick()
{
    if (m_reading)
        m_reading->PlayAllBtnClick();
}

void TForm1::PlayFileBtnClick()
{
    if (m_reading)
        m_reading->PlayFileBtnClick();
}

void TForm1::PauseBtnClick()
{
    if (m_reading)
        m_reading->PauseBtnClick();
}

void TForm1::SkipBtnClick()
{
    if (m_reading)
        m_reading->SkipBtnClick();
}

void TForm1::StopBtnClick()
{
    if (m_reading)
        m_reading->StopBtnClick();
}

void TForm1::ReadfromCursor1Click()
{
    if (TMemoEntry *entry = m_list->CurrentEntry(); entry && m_reading)
        m_reading->ReadfromCursor1Click(entry->Memo->SelStart());
}

void TForm1::ReadHighlighted1Click()
{
    TMemoEntry *entry = m_list->CurrentEntry();
    if (!entry || !m_reading)
        return;
    // The selection's anchor may lie after the caret: a backward selection.
    const QTextCursor cursor = entry->Memo->textCursor();
    const int length = cursor.position() - cursor.anchor();
    m_reading->ReadHighlighted1Click(cursor.anchor(), length);
}

void TForm1::PopupMenu1Popup()
{
    TMemoEntry *entry = m_list->CurrentEntry();
    if (QAction *item = m_popupMenu1->findChild<QAction *>(QStringLiteral("ReadHighlighted1")))
        item->setEnabled(entry && entry->Memo->textCursor().hasSelection());
}


// ------------------------------------------------------------------- tray

QSystemTrayIcon *TForm1::TrayIcon() const
{
    return m_tray->TrayIcon();
}

TToolBarForm *TForm1::ToolBar() const
{
    return m_tray->ToolBar();
}

void TForm1::AppMinimize()
{
    m_tray->AppMinimize();
}

void TForm1::RestoreFromTray()
{
    m_tray->RestoreFromTray();
}

void TForm1::ToolBarPONtryClick()
{
    m_tray->ShowFloatingToolbar();
}
