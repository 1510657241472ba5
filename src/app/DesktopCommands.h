#pragma once
// The commands a later start hands the running window: files to open, and
// the desktop shortcuts' commands (read the clipboard or the selection
// aloud, play or pause, stop, skip). The reading commands go through their
// actions, so they are refused exactly when the window's own controls are
// disabled; the read commands take the clipboard watcher's way for a copy.
//
// Take() answers at once and carries the command out from the event loop
// right after, so that the waiting start gets its answer before any box the
// command may open.

#include "platform/shell/SingleInstance.h"

#include <QObject>
#include <QString>

class QClipboard;
class ArticleCommands;
class ClipboardWatcher;
class ReadingActions;

class DesktopCommands : public QObject
{
    Q_OBJECT
public:
    DesktopCommands(ReadingActions &actions, ClipboardWatcher &watcher, ArticleCommands &articles,
                    QClipboard &clipboard, QObject *parent = nullptr);

    // Empty when the command is taken, else why not. A read command that
    // finds nothing to read also says so in a box: a desktop shortcut has
    // nowhere else to show it.
    QString Take(const SingleInstance::Command &command);

    // The selected text: the primary selection where the desktop has one,
    // else (Wayland) through wl-paste. Empty with the reason in problem
    // when there is none.
    QString SelectedText(QString &problem) const;

signals:
    // Opened files are shown: the window comes up.
    void WindowWanted();

private:
    QString TakeReading(const QString &name);
    QString TakeText(bool selection);

    ReadingActions &m_actions;
    ClipboardWatcher &m_watcher;
    ArticleCommands &m_articles;
    QClipboard &m_clipboard;
};
