#pragma once
// The running program: builds its parts in a fixed order, each from the ones
// built before it, takes them down in the reverse order, and is the one way
// out for every way the program is asked to end. The program entry, the
// tests and the start-up benchmark all start the program through it.
//
// Order of building: the user interaction, the termination requests, the
// settings record (loaded from the store), the speech driver with its voice
// catalogue, the article list, the reading commands' actions, the floating
// toolbar, and last the main window, which is handed what it uses and
// builds the parts that show it: the list's view, the reading controller
// that highlights in it and the clipboard watcher that prompts over it.

#include <QObject>

#include <cstdint>
#include <memory>

class ArticleList;
class FloatingToolBar;
class ReadingActions;
class MainWindow;
class ShutdownSignals;
class Speaker;
class TPreferences;
class WidgetInteraction;

class Application : public QObject
{
    Q_OBJECT
public:
    Application();
    ~Application() override;

    // Builds every part. When the speech driver cannot be created the engine
    // warning is shown, the program is asked to end and no window is built;
    // false then.
    bool Create();

    // Null when Create failed.
    MainWindow *MainForm() const { return m_window.get(); }

    // Every way out: the exit command (menu, tray, Ctrl+Q) asks the user
    // when the articles cannot be saved; a termination request or the end
    // of the session is unattended and no box may wait for a click. Also
    // before the window exists or while a start-up box is open.
    enum class ExitKind { Command, Unattended };
    void Exit(ExitKind kind);

    // The session manager asks for the data to be saved (it may be a
    // checkpoint, not the end): saved as the exit saves it, no box, and the
    // program goes on. The end comes as the manager's quit request.
    void SaveForSession();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Loads the settings record; true when the store was damaged or
    // unreadable, so that the first show can say so.
    bool LoadSettings();
    // The stored audio device when it is gone (it is replaced by the
    // default device then), else -1.
    int32_t ReplaceLostAudioDevice();

    // Installed first, removed last: every part and the layers below reach
    // the user through it.
    std::unique_ptr<WidgetInteraction> m_interaction;
    // Before any window: a termination request during a start-up box still
    // ends the program with the usual saving.
    std::unique_ptr<ShutdownSignals> m_shutdownSignals;
    // The settings record every part works with; it outlives them.
    std::unique_ptr<TPreferences> m_prefs;
    std::unique_ptr<Speaker> m_speaker;
    std::unique_ptr<ArticleList> m_articles;
    std::unique_ptr<ReadingActions> m_readingActions;
    std::unique_ptr<FloatingToolBar> m_toolBar;
    std::unique_ptr<MainWindow> m_window;
    // A termination request or the end of the session came: nobody to ask,
    // for the rest of the run.
    bool m_unattended = false;
    // The exit command is waiting in its save box; it is not taken again.
    bool m_confirming = false;
};
