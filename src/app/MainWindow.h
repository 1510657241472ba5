#pragma once
// MainWindow: the main window. Holds the form and its layout rules, runs the
// program's start-up and shutdown sequence, and wires its parts together:
// the article list with its commands (ArticleCommands), the reading
// commands (ReadingBinder), the option panels (OptionsBinder), the Help menu
// (HelpMenu) and the tray (TrayController).

#include "reader/ReadingController.h"

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
class Speaker;

namespace Ui {
class MainWindow;
}

class ArticleCommands;
class ArticleSaving;
class HelpMenu;
class ClipboardWatcher;
class EnginesVoicesPage;
class OptionsBinder;
class ReadingBinder;
class TPreferences;
class TrayController;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;  // "Voxtrella MP3", the title a second start looks for

    // Runs FormCreate: loads the settings record, builds the option panels
    // and the article list.
    explicit MainWindow(TPreferences &prefs, QWidget *parent = nullptr);
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
    QTimer *Timer1() const { return m_timer1; }
    ReadingState State() const;
    ReadingController *Reading() const;
    Speaker *Driver() const { return m_driver; }
    TPreferences &Preferences() const { return m_prefs; }
    // The reading driver, created after this window; the reading commands
    // start working with it.
    void AttachDriver(Speaker &driver);
    bool ShownOnce() const { return m_shownOnce; }
    bool ListInfoInitialised() const { return m_listInfoInitialised; }
    bool Terminating() const { return m_terminating; }
    int StatusPanelWidth(int panel) const { return m_panelWidth[panel]; }
    QString StatusText() const;
    QAction *TrayItem(const char *name) const;
    FloatingToolBar *ToolBar() const;

    TrayController &Tray() const { return *m_tray; }
    OptionsBinder &Options() const { return *m_options; }
    ClipboardWatcher &Clipboard() const { return *m_clipboard; }
    EnginesVoicesPage &VoicesPage() const { return *m_voicesPage; }
    ArticleCommands &Articles() const { return *m_articles; }
    ArticleSaving &Saving() const { return *m_saving; }
    ReadingBinder &ReadingCommands() const { return *m_readingCommands; }
    HelpMenu &Help() const { return *m_help; }

    // Opens the options panels on the named tab.
    void ShowOptionsPage(const QString &name);
    // The floating toolbar this window drives (created after it).
    void AttachToolBar(FloatingToolBar *toolbar);

    // Start-up and shutdown.
    void InitListInfo();
    void MinimiseAfterLoginStart();
    void ExitVoxtrellaClick();
    // The exit command as a termination request or the end of the session
    // gives it: the same saving, but no box may wait for a click.
    void ExitProgram();
    // AppWindows found the stored audio device gone and chose the default
    // device; the first show tells the user.
    void NoteAudioDeviceFallback(int32_t storedId) { m_lostAudioDevice = storedId; }
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
    void RestoreFromTray();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormDestroy();
    // Started by the login autostart entry ("-auto").
    static bool StartedAtLogin();
    // The article list, its view and its commands.
    void BuildArticleList();
    void BuildPopupMenus();
    void BindControls();
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

    std::unique_ptr<Ui::MainWindow> ui;
    TPreferences &m_prefs;
    // A child of the window made after its widgets, so it outlives the view.
    ArticleList *m_articleList = nullptr;
    ArticleListView *m_list = nullptr;
    TrayController *m_tray = nullptr;
    OptionsBinder *m_options = nullptr;
    ClipboardWatcher *m_clipboard = nullptr;
    EnginesVoicesPage *m_voicesPage = nullptr;
    QMenu *m_popupMenu1 = nullptr;
    QProgressBar *m_gauge = nullptr;
    QLabel *m_panel[2] = {nullptr, nullptr};
    int m_panelWidth[2] = {0, 0};
    QTimer *m_timer1 = nullptr;

    bool m_shownOnce = false;
    bool m_inFirstShow = false;
    bool m_activatedOnce = false;
    bool m_listInfoInitialised = false;
    bool m_terminating = false;
    bool m_settingsDamaged = false;
    // A termination request or the end of the session: nobody to ask.
    bool m_unattendedExit = false;
    bool m_confirmingExit = false;
    int32_t m_lostAudioDevice = -1;
    Speaker *m_driver = nullptr;
    // Destroyed before the window's widgets: the reading commands still
    // reach the list while they stop.
    std::unique_ptr<HelpMenu> m_help;
    std::unique_ptr<ArticleCommands> m_articles;
    std::unique_ptr<ReadingBinder> m_readingCommands;
    std::unique_ptr<ArticleSaving> m_saving;
    QMetaObject::Connection m_focusConnection;
};
