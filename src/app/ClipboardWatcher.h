#pragma once
// Watches the clipboard for new text, which becomes an article (or is
// appended to the current one), with the copy prompt and the busy dialog.
//
// Joining the viewers connects to QClipboard::dataChanged. Windows sends a
// new viewer one notification at once; here that notification is taken
// while joining, so the clipboard's content at that moment is never taken
// as a copy and the next real copy is never taken for it.

#include "reader/ReadingController.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

class QClipboard;
class QMimeData;
class QWidget;
class ArticleCommands;
class ClipboardPrompt;
class ArticleList;
class TPreferences;

class ClipboardWatcher : public QObject
{
    Q_OBJECT
public:
    // Longer clipboard text is refused, like text files beyond this size.
    static constexpr qsizetype kMaxTextChars = 64 * 1024 * 1024;
    static const QString TooLargeMessage;

    // Joins when CB_Monitor is set. New text goes into the list through the
    // article commands; the busy dialog opens over dialogParent's window.
    ClipboardWatcher(TPreferences &prefs, QClipboard &clipboard, ArticleList &list, ArticleCommands &articles,
                     QWidget &dialogParent, QObject *parent = nullptr);
    ~ClipboardWatcher() override;

    // The reading commands: nothing is added while the program exits, and a
    // new article is read at once when AutoSpeak is set.
    void AttachReading(ReadingController &reading) { m_reading = &reading; }
    // Copies count only after the window's first show.
    void SetShownOnce() { m_shownOnce = true; }

    // Leaves the viewers when the window is destroyed.
    void Leave();

    bool Joined() const;
    bool Armed() const { return m_armed; }
    // The copy prompt; null until it was first needed.
    ClipboardPrompt *Prompt() const { return m_prompt.get(); }
    // The text of the last notification that was taken.
    const QString &BufferText() const { return m_buffer; }

    // The watch command of the Clipboard page, the Options menu and the tray.
    void ToggleWatching();
    // The clipboard's notification of new content (WM_DRAWCLIPBOARD).
    void ClipboardChanged();
    // 0 New or 1 Append, with the buffer's text.
    void AddClipboardText(int action);

    // The desktop shortcuts' read commands: why the text cannot become an
    // article now (too large, or the single article is being read), empty
    // when it can; and the text as a new article read aloud at once, the
    // way a copy is taken with New and auto speak.
    QString RefusalForNewText(const QString &text) const;
    void ReadAsNewArticle(const QString &text);

    // The plain text of clipboard data: its text, else its HTML as text.
    enum class ReadResult { NoText, TooLarge, Ok };
    static ReadResult TextOf(const QMimeData *data, QString &text);

signals:
    // Watching was switched on or off, or a click is undone: every watch
    // check mark is to show this.
    void MonitorShown(bool on);

private:
    void Join();
    void LeaveChain();
    ReadResult ReadClipboard();
    // False when nothing was added.
    bool AddText(const QString &text, int action, bool speak);
    bool ReadingSingleArticle() const;
    void ShowBusyDialog();
    void ShowPrompt();

    TPreferences &m_prefs;
    QClipboard &m_clipboard;
    ArticleList &m_list;
    ArticleCommands &m_articles;
    QWidget &m_dialogParent;
    QPointer<ReadingController> m_reading;
    bool m_shownOnce = false;
    QMetaObject::Connection m_viewer;
    bool m_armed = false;
    bool m_clearing = false;        // our own emptying of the clipboard
    bool m_inNotification = false;  // a box or dialog of a notification is open
    QString m_buffer;
    std::unique_ptr<ClipboardPrompt> m_prompt;
};
