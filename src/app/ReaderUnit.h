#pragma once
// TForm1: the main window. Owns the article list, the option panels and the
// tray icon, runs the program's start-up and shutdown sequence, switches the
// list modes and makes new articles with a voice chosen by the mode's voice
// policy.

#include "reader/ReadingController.h"

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>

class QActionGroup;
class QButtonGroup;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTimer;
class TMemoEntry;
class TMemoListBox;
class TToolBarForm;
class TTTSForm;

namespace Ui {
class TForm1;
}

class ListReadingView;
class OptionsBinder;
class TrayController;

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;  // "Voxtrella MP3", the title a second start looks for

    // Runs FormCreate: creates and loads the settings record (Prefs) unless
    // one exists, builds the option panels and the article list.
    explicit TForm1(QWidget *parent = nullptr);
    // FormDestroy: saves placement and settings, removes the tray icon.
    ~TForm1() override;

    Ui::TForm1 *form() const { return ui.get(); }
    TMemoListBox *List() const { return m_list; }
    QMenu *PopupMenu1() const { return m_popupMenu1; }
    QMenu *PopupMenu2() const { return m_popupMenu2; }
    QSystemTrayIcon *TrayIcon() const;
    QProgressBar *Gauge() const { return m_gauge; }
    QTimer *Timer1() const { return m_timer1; }
    ReadingState State() const { return m_readingState; }
    OutputTarget Target() const { return m_reading ? m_reading->Target() : otSpeakers; }
    ReadingController *Reading() const { return m_reading.get(); }
    TTTSForm *Driver() const { return m_driver; }
    // The reading driver, created after this window; the reading commands
    // start working with it.
    void AttachDriver(TTTSForm &driver);
    bool ShownOnce() const { return m_shownOnce; }
    bool ListInfoInitialised() const { return m_listInfoInitialised; }
    bool Terminating() const { return m_terminating; }
    const QStringList &FavoriteVoices() const { return m_favoriteVoices; }
    int RoundRobinIndex() const { return m_roundRobinIndex; }
    int StatusPanelWidth(int panel) const { return m_panelWidth[panel]; }
    QString StatusText() const;
    QAction *TrayItem(const char *name) const;
    TToolBarForm *ToolBar() const;
    TrayController &Tray() const { return *m_tray; }
    OptionsBinder &Options() const { return *m_options; }
    // Opens the options panels on the named tab.
    void ShowOptionsPage(const QString &name);
    // The floating toolbar this window drives (created after it).
    void AttachToolBar(TToolBarForm *toolbar);

    // Start-up and shutdown.
    void InitListInfo();
    void Timer1Timer();
    void ExitVoxtrellaClick();
    // The exit command as a termination request or the end of the session
    // gives it: the same saving, but no box may wait for a click.
    void ExitProgram();
    // AppWindows found the stored audio device gone and chose the default
    // device; the first show tells the user.
    void NoteAudioDeviceFallback(int32_t storedId) { m_lostAudioDevice = storedId; }
    // Placement, fields and the settings store. False when the store could
    // not be written.
    bool SaveSettings();

    // Layout.
    void FormResize();
    void MainTextPanelResize();
    void MMLabel1Click();
    void ShowToolbarMItmClick();
    // The options strip's full height: 316 at 120 pixels per inch, else 257.
    static int FullOptionsHeight(double dpi);

    // Help.
    void Contents1Click();
    void AudioHelpClick(const QString &topic);
    void About1Click();
    void VisitVarnyxTechnologies1Click();
    void PortableMP3Click();
    void MoreVoicesLblClick();

    // Status and reading state.
    void SetReadingState(ReadingState state);
    void UpdateStatus(const QString &text);
    void ResetStatus();
    QString ArticleCountText() const;

    // Tray and floating toolbar.
    void AppMinimize();
    void RestoreFromTray();
    void RestoreMItmClick() { RestoreFromTray(); }
    void ToolBarPONtryClick();

    // List modes, new articles, options.
    void ToolButton1Click();
    void ToolButton2Click();
    void SelAudioDevMItmClick();
    void PronunciationMItmClick();
    void ReadFileBtnClick();
    // OpenDialog1 as the current list mode wants it.
    std::unique_ptr<QFileDialog> CreateOpenDialog();
    // The files-chosen half of ReadFileBtnClick.
    void OpenTextFiles(const QStringList &files);
    void AddNewPopupClick();
    void DelSelPopupClick();
    void Paste1Execute();
    void Paste1Update();
    void ArticleDeleteRequest(TMemoEntry *entry);

    QString ChooseVoice();
    void LoadFavoriteVoices();
    void FillDefaultVoiceCombo();
    TMemoEntry *AddNewArticle();
    TMemoEntry *CreateArticle(const QString &text, const QString &voiceName);
    // Saves the list to the saved-articles file.
    void SaveList();

    // Speaks a help or test text with a voice to the speakers, outside the
    // article list; back to idle when it ends.
    void SpeakAudioHelp(const QString &text, const QString &voiceName);
    // Reads a new article at once (auto speak).
    void StartAutoSpeak(TMemoEntry *entry);

    // The reading commands, as the toolbar, menus, tray and floating toolbar
    // give them.
    void PlayAllBtnClick();
    void PlayFileBtnClick();
    void PauseBtnClick();
    void SkipBtnClick();
    void StopBtnClick();
    void ReadfromCursor1Click();
    void ReadHighlighted1Click();
    void PopupMenu1Popup();


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
    void BuildPopupMenus();
    void BindControls();
    void FillAudioHelpMenu();
    void LayoutStatusPanels();
    void SetPanel2Height(int height);
    int ToolbarHeight() const;
    void ShowModeSheet(bool multi);
    void CheckMode(bool multi);
    void SwitchListMode(bool multi);
    void GiveArticleHandlers(TMemoEntry *entry);
    void Terminate();
    void ApplyCommands(ReadingController::Commands commands, ReadingState state);
    void ShowStatus(const QString &longText, const QString &shortText);
    void ShowGauge(bool visible, int maximum, int value);
    void ShowPaused(bool paused);
    void HighlightSwitchedOn();
    // Closes the boxes and dialogs a command may be waiting in, so that
    // the exit does not wait for them; the interrupted commands then see
    // the exiting state and stop.
    void CloseOpenDialogs();
    bool Exiting() const { return m_readingState == rsExiting; }

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<class TPreferences> m_prefs;  // when this window created Prefs
    TMemoListBox *m_list = nullptr;
    TrayController *m_tray = nullptr;
    OptionsBinder *m_options = nullptr;
    std::unique_ptr<ListReadingView> m_readingView;
    QMenu *m_popupMenu1 = nullptr;
    QMenu *m_popupMenu2 = nullptr;
    QMenu *m_popupMenu3 = nullptr;
    QProgressBar *m_gauge = nullptr;
    QLabel *m_panel[2] = {nullptr, nullptr};
    int m_panelWidth[2] = {0, 0};
    QTimer *m_timer1 = nullptr;

    QStringList m_favoriteVoices;
    bool m_shownOnce = false;
    bool m_inFirstShow = false;
    bool m_activatedOnce = false;
    bool m_listInfoInitialised = false;
    bool m_clipboardArmed = false;
    bool m_terminating = false;
    // The saved articles are being (or have been) read into the list; before
    // that, the list is empty and must not be saved over them.
    bool m_articlesLoading = false;
    bool m_settingsDamaged = false;
    int32_t m_lostAudioDevice = -1;
    int m_roundRobinIndex = -1;
    ReadingState m_readingState = rsIdle;
    TTTSForm *m_driver = nullptr;
    std::unique_ptr<ReadingController> m_reading;
    std::mt19937 m_random;
    QMetaObject::Connection m_focusConnection;
};

extern TForm1 *Form1;
