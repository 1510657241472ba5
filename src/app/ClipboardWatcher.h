#pragma once
// Watches the clipboard for new text, which becomes an article (or is
// appended to the current one), with the copy prompt and the busy dialog.
//
// Joining the viewers connects to QClipboard::dataChanged. Windows sends a
// new viewer one notification at once; here that notification is taken
// while joining, so the clipboard's content at that moment is never taken
// as a copy and the next real copy is never taken for it.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QLabel;
class ClipboardPrompt;
class MainWindow;

class ClipboardWatcher : public QObject
{
    Q_OBJECT
public:
    // Stored values of CB_DfltPromptAction and CB_LastPromptAction.
    enum Action : uint8_t { caNew = 0, caAppend = 1, caCancel = 2, caRememberLast = 3 };
    // Longer clipboard text is refused, like text files beyond this size.
    static constexpr qsizetype kMaxTextChars = 64 * 1024 * 1024;
    static const QString TooLargeMessage;

    // Sets the watch check marks from CB_Monitor and joins when it is set;
    // binds the Clipboard tab's controls.
    explicit ClipboardWatcher(MainWindow &form);
    ~ClipboardWatcher() override;

    // Leaves the viewers when the window is destroyed.
    void Leave();

    bool Joined() const;
    bool Armed() const { return m_armed; }
    // The copy prompt; null until it was first needed.
    ClipboardPrompt *Prompt() const { return m_prompt.get(); }
    // The text of the last notification that was taken.
    const QString &BufferText() const { return m_buffer; }

    void MonitorCBClick();
    void WMDrawClipboard();
    // 0 New or 1 Append, with the buffer's text.
    void AddClipboardText(int action);

    void ThreshHoldEditChange();
    void PromptCkbxClick();
    void PromptDelayEditChange();
    void PromptDfltActCBoxChange();
    void ClearClipboardCBClick();

    // True where a program sees other programs' copies only while one of
    // its windows has the focus (Wayland, and X programs under Wayland).
    static bool FocusOnlyClipboard(const QString &platformName, const QString &sessionType,
                                   const QString &waylandDisplay);

private:
    enum class ReadResult { NoText, TooLarge, Ok };
    void Join();
    void LeaveChain();
    void SetMonitorChecks(bool on);
    ReadResult ReadClipboard();
    bool ReadingSingleArticle() const;
    void ShowBusyDialog();
    void ShowPrompt();
    void NoteFocusOnlyClipboard();

    MainWindow &m_form;
    QMetaObject::Connection m_viewer;
    bool m_armed = false;
    bool m_clearing = false;        // our own emptying of the clipboard
    bool m_inNotification = false;  // a box or dialog of a notification is open
    QString m_buffer;
    std::unique_ptr<ClipboardPrompt> m_prompt;
    QLabel *m_focusNote = nullptr;
};
