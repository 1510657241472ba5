#include "DesktopCommands.h"

#include "ArticleCommands.h"
#include "ClipboardWatcher.h"
#include "ReadingActions.h"
#include "platform/shell/MessageService.h"
#include "util/DiagnosticLog.h"

#include <QAction>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

const QString kNoClipboardText = QStringLiteral("The clipboard holds no text to read.");
const QString kNoSelectedText = QStringLiteral("No text is selected, so there is nothing to read.");
const QString kNoSelectionHere = QStringLiteral(
    "This desktop gives programs no access to the selected text. Install wl-paste (Debian package wl-clipboard) "
    "so that Voxtrella can read the selection, or copy the text and use voxtrella --read-clipboard.");
const QString kWlPasteFailed = QStringLiteral("The selected text could not be read with wl-paste: %1");
const QString kNothingToPlay = QStringLiteral("There is nothing to read or pause now.");
const QString kNotReading = QStringLiteral("Nothing is being read now.");
const QString kNothingToSkip = QStringLiteral("There is nothing to skip now.");
const QString kUnknownCommand = QStringLiteral("This Voxtrella does not know the command \"%1\".");

constexpr int kWlPasteTimeoutMs = 3000;

// Triggered from the event loop, and only if still allowed then.
void TriggerLater(QAction *action)
{
    QTimer::singleShot(0, action, [action] {
        if (action->isEnabled())
            action->trigger();
    });
}

}  // namespace

DesktopCommands::DesktopCommands(ReadingActions &actions, ClipboardWatcher &watcher, ArticleCommands &articles,
                                 QClipboard &clipboard, QObject *parent)
    : QObject(parent), m_actions(actions), m_watcher(watcher), m_articles(articles), m_clipboard(clipboard)
{
}

QString DesktopCommands::Take(const SingleInstance::Command &command)
{
    if (command.name == SingleInstance::kOpen) {
        const QStringList files = command.arguments;
        emit WindowWanted();
        QTimer::singleShot(0, this, [this, files] { m_articles.OpenFiles(files); });
        return {};
    }
    if (command.name == SingleInstance::kReadClipboard || command.name == SingleInstance::kReadSelection)
        return TakeText(command.name == SingleInstance::kReadSelection);
    return TakeReading(command.name);
}

QString DesktopCommands::TakeReading(const QString &name)
{
    QAction *action = nullptr;
    QString refusal = kNotReading;
    if (name == SingleInstance::kPlayPause) {
        // Pause or resume while reading, else start reading.
        action = m_actions.PauseResume()->isEnabled() ? m_actions.PauseResume() : m_actions.ReadAloud();
        refusal = kNothingToPlay;
    } else if (name == SingleInstance::kStop) {
        action = m_actions.Stop();
    } else if (name == SingleInstance::kSkip) {
        // Also refused while one article alone is read.
        action = m_actions.Skip();
        refusal = kNothingToSkip;
    } else {
        return kUnknownCommand.arg(name);
    }
    if (!action->isEnabled())
        return refusal;
    TriggerLater(action);
    return {};
}

QString DesktopCommands::TakeText(bool selection)
{
    QString text;
    QString problem;
    if (selection) {
        text = SelectedText(problem);
    } else {
        switch (ClipboardWatcher::TextOf(m_clipboard.mimeData(QClipboard::Clipboard), text)) {
        case ClipboardWatcher::ReadResult::NoText:
            problem = kNoClipboardText;
            break;
        case ClipboardWatcher::ReadResult::TooLarge:
            problem = ClipboardWatcher::TooLargeMessage;
            break;
        case ClipboardWatcher::ReadResult::Ok:
            break;
        }
    }
    if (problem.isEmpty())
        problem = m_watcher.RefusalForNewText(text);
    if (!problem.isEmpty()) {
        DiagnosticLog::WriteLog(QStringLiteral("Desktop command refused: ") + problem);
        QTimer::singleShot(0, this, [problem] { MessageService::notice(problem); });
        return problem;
    }
    QTimer::singleShot(0, &m_watcher, [this, text] { m_watcher.ReadAsNewArticle(text); });
    return {};
}

QString DesktopCommands::SelectedText(QString &problem) const
{
    QString text;
    problem.clear();
    if (m_clipboard.supportsSelection()) {
        if (ClipboardWatcher::TextOf(m_clipboard.mimeData(QClipboard::Selection), text) ==
            ClipboardWatcher::ReadResult::TooLarge)
            problem = ClipboardWatcher::TooLargeMessage;
        else if (text.isEmpty())
            problem = kNoSelectedText;
        return problem.isEmpty() ? text : QString();
    }
    // Qt offers no selection on a Wayland desktop without the primary
    // selection protocol; wl-paste may still reach it.
    const QString wlPaste = QStandardPaths::findExecutable(QStringLiteral("wl-paste"));
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || wlPaste.isEmpty()) {
        problem = kNoSelectionHere;
        return {};
    }
    QProcess paste;
    paste.start(wlPaste, {QStringLiteral("--primary"), QStringLiteral("--no-newline"), QStringLiteral("--type"),
                          QStringLiteral("text")});
    // Read as it comes, so that a huge selection is refused before it fills
    // the memory; four bytes a character at most in UTF-8.
    QByteArray bytes;
    const QDeadlineTimer deadline(kWlPasteTimeoutMs);
    bool tooLarge = false;
    while (paste.state() != QProcess::NotRunning && !deadline.hasExpired() && !tooLarge) {
        paste.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        bytes += paste.readAllStandardOutput();
        tooLarge = bytes.size() > 4 * ClipboardWatcher::kMaxTextChars;
    }
    if (paste.state() != QProcess::NotRunning) {
        paste.kill();
        paste.waitForFinished(1000);
        problem = tooLarge ? ClipboardWatcher::TooLargeMessage
                           : kWlPasteFailed.arg(
                                 QStringLiteral("it did not answer within %1 seconds.").arg(kWlPasteTimeoutMs / 1000));
        return {};
    }
    bytes += paste.readAllStandardOutput();
    if (paste.error() == QProcess::FailedToStart) {
        problem = kWlPasteFailed.arg(paste.errorString());
        return {};
    }
    if (paste.exitStatus() != QProcess::NormalExit || paste.exitCode() != 0) {
        // wl-paste says "No selection" with status 1 when nothing is selected.
        const QString said = QString::fromLocal8Bit(paste.readAllStandardError()).trimmed();
        problem = said.isEmpty() || said.contains(QStringLiteral("No selection"), Qt::CaseInsensitive)
                      ? kNoSelectedText
                      : kWlPasteFailed.arg(said);
        return {};
    }
    text = QString::fromUtf8(bytes);
    text.remove(QChar(u'\0'));
    if (text.size() > ClipboardWatcher::kMaxTextChars)
        problem = ClipboardWatcher::TooLargeMessage;
    else if (text.isEmpty())
        problem = kNoSelectedText;
    return problem.isEmpty() ? text : QString();
}
