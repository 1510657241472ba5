#pragma once
// MainWindow: the main window. Holds the form and its layout rules, runs its
// first show and its part of the exit, and wires its parts together:
// the article list with its commands (ArticleCommands), the reading
// commands (ReadingActions, driven by ReadingBinder), the option panels
// (OptionsBinder), the Help menu (HelpMenu), the tray (TrayController) and
// the desktop's media controls (MediaControls).

#include "reader/ReadingController.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <cstdint>
#include <memory>

class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTimer;
class ArticleEntry;
class ArticleList;
class ArticleListView;
class FloatingToolBar;
class ListReadingView;
class ReadingActions;
class Speaker;

namespace Ui {
class MainWindow;
}

class ArticleCommands;
class ArticleSaving;
class HelpMenu;
class MediaControls;
class ClipboardWatcher;
class EnginesVoicesPage;
class OptionsBinder;
class OptionsStrip;
class ReadingBinder;
class TPreferences;
class TrayController;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;  // "Voxtrella MP3", the title a second start looks for

    // What the application found while building the parts before the
    // window; the first show tells the user.
    struct StartNotes {
        // The settings store could not be read; the defaults are in use.
        bool settingsDamaged = false;
        // The stored audio device that is gone, replaced by the default
        // device; -1 when none is.
        int32_t lostAudioDevice = -1;
    };

    // Runs FormCreate with the loaded settings record, the speech driver,
    // the article list, the reading commands' actions and the floating
    // toolbar: builds the option panels and the list's view.
    MainWindow(TPreferences &prefs, Speaker &driver, ArticleList &articles, ReadingActions &readingActions,
               FloatingToolBar &toolBar, StartNotes notes, QWidget *parent = nullptr);
    // FormDestroy: saves placement and settings, removes the tray icon.
    ~MainWindow() override;

    // The saved-articles file.
    static QString ExportFileName();

    Ui::MainWindow *form() const { return ui.get(); }
    // The article list, and the widget showing it.
    ArticleList *List() const { return m_articleList; }
    ArticleListView *ListView() const { return m_list; }
    QMenu *PopupMenu1() const { return m_popupMenu1; }
    QSystemTrayIcon *TrayIcon() const;
    QProgressBar *Gauge() const { return m_gauge; }
    ReadingState State() const;
    ReadingController *Reading() const { return m_reading.get(); }
    Speaker *Driver() const { return &m_driver; }
    TPreferences &Preferences() const { return m_prefs; }
    bool ShownOnce() const { return m_shownOnce; }
    bool ListInfoInitialised() const { return m_listInfoInitialised; }
    bool Terminating() const { return m_terminating; }
    int StatusPanelWidth(int panel) const { return m_panelWidth[panel]; }
    QString StatusText() const;
    // The tray menu's own items by name, for the parts that keep them in step.
    FloatingToolBar *ToolBar() const { return &m_toolBar; }
    ReadingActions &ReadingCommandActions() const { return *m_readingActions; }

    TrayController &Tray() const { return *m_tray; }
    OptionsBinder &Options() const { return *m_options; }
    ClipboardWatcher &Clipboard() const { return *m_clipboard; }
    EnginesVoicesPage &VoicesPage() const { return *m_voicesPage; }
    ArticleCommands &Articles() const { return *m_articles; }
    ArticleSaving &Saving() const { return *m_saving; }
    ReadingBinder &ReadingCommands() const { return *m_readingCommands; }
    HelpMenu &Help() const { return *m_help; }

    // Opens the options panels on the given page.
    void ShowOptionsPage(QWidget &page);

    // Start-up and shutdown.
    // The first show: waits for the sound server at a login start, tells
    // what the start found, shows the window, then loads the voices and the
    // articles; each step from the event loop. Showing the window before
    // starts the same steps.
    void Start();
    void InitListInfo();
    void MinimiseAfterLoginStart();
    // The exit command (menu, tray): asks the application to exit.
    void ExitVoxtrellaClick();
    // The window's part of the exit, which the application runs. A save
    // lets events run: while it does, the exit waits.
    bool SavingInProgress() const;
    // Before anything stops: true when the articles are saved or the user
    // chose to exit without saving, false when the user stays.
    bool ConfirmExit();
    // Stops reading and loading, closes open boxes and dialogs, saves the
    // articles once more and closes the window.
    void CloseForExit();
    // The session manager's save: the articles and the settings saved as
    // at the exit (a recovery copy kept when the articles cannot be), while
    // everything goes on.
    void SaveForSession();
    // Placement, fields and the settings store. False when the store could
    // not be written; error then says why.
    bool SaveSettings(QString *error = nullptr);

    // Layout.
    void FormResize();
    void MainTextPanelResize();
    void ToggleOptionsBand();
    void ShowToolbarMItmClick();
    // The option sheet of the list mode.
    void ShowModeSheet(bool multi);
    // The options strip's full height: 316 at 120 pixels per inch, else 257.
    static int FullOptionsHeight(double dpi);

    // Options menu.
    void SelAudioDevMItmClick();
    void PronunciationMItmClick();

    // Used by the article list's reading view and the program entry.
    ArticleEntry *AddNewArticle();
    void SaveList();

    // The window in the tray (or on the task bar where there is no tray)
    // and back.
    void MinimiseToTray();
    void RestoreFromTray();

signals:
    // The exit command was given; the application runs the exit.
    void ExitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The first show's steps, in order, each started by m_startTimer so
    // that boxes and paints run between them without a nested loop.
    enum class StartStep { NotShown, WaitingForSoundServer, Notices, LoadingVoices, LoadingArticles, Done };

    void FormCreate();
    void FormShow();
    void RunStartStep();
    void NextStartStep(StartStep step, int delayMs = 0);
    // False when the program ends instead (a box was closed by the exit).
    bool ShowStartNotices();
    // False when there are no voices: the engine warning, and the program ends.
    bool LoadVoices();
    void LoadArticles();
    void FinishFirstShow();
    void FormActivate();
    void FormDestroy();
    // Started by the login autostart entry ("-auto").
    static bool StartedAtLogin();
    // The article list, its view and its commands.
    void BuildArticleList();
    void BuildPopupMenus();
    void BindControls();
    // The option pages' parts: the clipboard watcher, the Engines / Voices page.
    void BindOptionPages();
    void LayoutStatusPanels();
    void SetStripHeight(int height);
    // The strip's height for the toolbar and options shown now.
    void LayoutStrip();
    // The strip's height with toolbar and options shown: designed is its
    // height at the designed font.
    int FullStripHeight(int designed) const;
    int ToolbarHeight() const;
    void Terminate();
    // Closes the boxes and dialogs a command may be waiting in, so that
    // the exit does not wait for them; the interrupted commands then see
    // the exiting state and stop.
    void CloseOpenDialogs();
    bool Exiting() const { return State() == rsExiting; }
    // The tray's and the floating toolbar's requests, and the reading
    // commands' reports, reach the window's parts.
    void ConnectTray();
    void ConnectReading();
    // The reading controller, its commands and the floating toolbar's part.
    void BuildReading();

    std::unique_ptr<Ui::MainWindow> ui;
    TPreferences &m_prefs;
    // The application's; it outlives the window and the view.
    ArticleList *m_articleList = nullptr;
    ArticleListView *m_list = nullptr;
    ReadingActions *m_readingActions = nullptr;
    TrayController *m_tray = nullptr;
    OptionsBinder *m_options = nullptr;
    OptionsStrip *m_strip = nullptr;
    ClipboardWatcher *m_clipboard = nullptr;
    EnginesVoicesPage *m_voicesPage = nullptr;
    QMenu *m_popupMenu1 = nullptr;
    QProgressBar *m_gauge = nullptr;
    QLabel *m_panel[2] = {nullptr, nullptr};
    int m_panelWidth[2] = {0, 0};
    // A login start goes to the tray once the articles are loaded.
    QTimer *m_loginMinimiseTimer = nullptr;

    bool m_shownOnce = false;
    StartStep m_startStep = StartStep::NotShown;
    QTimer *m_startTimer = nullptr;
    // Since the first show: a login start waits for the sound server.
    QElapsedTimer m_soundServerWait;
    bool m_activatedOnce = false;
    bool m_listInfoInitialised = false;
    bool m_terminating = false;
    // Where the window was when it went to the tray; invalid: nowhere kept.
    QRect m_placeBeforeHide;
    const StartNotes m_startNotes;
    Speaker &m_driver;
    FloatingToolBar &m_toolBar;
    // Destroyed before the window's widgets: the reading commands still
    // reach the list while they stop.
    std::unique_ptr<HelpMenu> m_help;
    std::unique_ptr<ArticleCommands> m_articles;
    // The controller reads the list through the view, and the binder drives
    // the controller: destroyed binder first, view last.
    std::unique_ptr<ListReadingView> m_readingView;
    std::unique_ptr<ReadingController> m_reading;
    std::unique_ptr<ReadingBinder> m_readingCommands;
    // Follows the controller and the binder; goes before them.
    std::unique_ptr<MediaControls> m_mediaControls;
    std::unique_ptr<ArticleSaving> m_saving;
    QMetaObject::Connection m_focusConnection;
};
