#include "ClipboardWatcher.h"

#include "ArticleCommands.h"
#include "ClipboardPrompt.h"
#include "SecondStartDialog.h"
#include "articles/ArticleList.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTimer>

namespace {
const QString kSingleArticleBusy = QStringLiteral(
    "Voxtrella is reading its article in Single-Article mode; stop the reading, or switch to Multi-Article mode, "
    "to read new text.");
}  // namespace

const QString ClipboardWatcher::TooLargeMessage =
    QStringLiteral("The clipboard text is larger than %1 MB and was not copied.").arg(kMaxTextChars >> 20);

ClipboardWatcher::ClipboardWatcher(TPreferences &prefs, QClipboard &clipboard, ArticleList &list,
                                   ArticleCommands &articles, QWidget &dialogParent, QObject *parent)
    : QObject(parent), m_prefs(prefs), m_clipboard(clipboard), m_list(list), m_articles(articles),
      m_dialogParent(dialogParent)
{
    m_armed = m_prefs.CB_Monitor;
    if (m_prefs.CB_Monitor)
        Join();
}

ClipboardWatcher::~ClipboardWatcher() = default;

// ------------------------------------------------------------ the viewers

bool ClipboardWatcher::Joined() const
{
    return bool(m_viewer);
}

void ClipboardWatcher::Join()
{
    if (m_viewer)
        return;
    m_viewer = connect(&m_clipboard, &QClipboard::dataChanged, this, &ClipboardWatcher::ClipboardChanged);
    // The notification a new viewer receives at once is taken here, before
    // the window's first show would make it count: what the clipboard
    // holds now is not a copy the user just made.
    DiagnosticLog::WriteLog(QStringLiteral("Received WM_DRAWCLIPBOARD"));
    m_armed = true;
}

void ClipboardWatcher::LeaveChain()
{
    if (m_viewer)
        disconnect(m_viewer);
    m_viewer = {};
}

void ClipboardWatcher::Leave()
{
    LeaveChain();
    if (m_prompt) {
        m_prompt->DelayTimer()->stop();
        m_prompt->hide();
    }
}

void ClipboardWatcher::ToggleWatching()
{
    if (!m_shownOnce) {
        // The control has toggled itself; it keeps showing the setting.
        emit MonitorShown(m_prefs.CB_Monitor);
        return;
    }
    m_prefs.CB_Monitor = !m_prefs.CB_Monitor;
    emit MonitorShown(m_prefs.CB_Monitor);
    m_armed = false;
    if (m_prefs.CB_Monitor)
        Join();
    else
        LeaveChain();
}

// ---------------------------------------------------------- notifications

void ClipboardWatcher::ClipboardChanged()
{
    DiagnosticLog::WriteLog(QStringLiteral("Received WM_DRAWCLIPBOARD"));
    // Our own emptying after a copy is no new text.
    if (m_clearing)
        return;
    if (!m_shownOnce || !m_prefs.CB_Monitor)
        return;
    if (!m_armed) {
        m_armed = true;
        return;
    }
    // A box or the busy dialog of an earlier notification is still open.
    if (m_inNotification) {
        QApplication::beep();
        return;
    }
    m_inNotification = true;
    const auto done = qScopeGuard([this] { m_inNotification = false; });

    const QMimeData *data = m_clipboard.mimeData();
    if (!data || (!data->hasText() && !data->hasHtml()))
        return;
    if (m_prompt && m_prompt->isVisible()) {
        QApplication::beep();
        return;
    }
    if (ReadingSingleArticle()) {
        ShowBusyDialog();
        return;
    }
    switch (ReadClipboard()) {
    case ReadResult::NoText:
        return;
    case ReadResult::TooLarge:
        MessageService::notice(TooLargeMessage);
        return;
    case ReadResult::Ok:
        break;
    }
    if (m_buffer.size() <= m_prefs.CB_ThreshHold)
        return;
    if (m_prefs.CB_Prompt) {
        ShowPrompt();
        return;
    }
    int action = m_prefs.CB_DfltPromptAction;
    if (action == ClipboardPrompt::caRememberLast)
        action = m_prefs.CB_LastPromptAction;
    // Without a prompt there is nobody to cancel for: Cancel means New.
    AddClipboardText(action == ClipboardPrompt::caAppend ? ClipboardPrompt::caAppend : ClipboardPrompt::caNew);
}

ClipboardWatcher::ReadResult ClipboardWatcher::ReadClipboard()
{
    m_buffer.clear();
    QString text;
    const ReadResult result = TextOf(m_clipboard.mimeData(), text);
    if (result == ReadResult::Ok)
        m_buffer = text;
    return result;
}

ClipboardWatcher::ReadResult ClipboardWatcher::TextOf(const QMimeData *data, QString &text)
{
    text.clear();
    if (!data)
        return ReadResult::NoText;
    if (data->hasText()) {
        text = data->text();
    } else if (data->hasHtml()) {
        // Rich text from a browser or a mail program: its plain text.
        const QString html = data->html();
        if (html.size() > kMaxTextChars)
            return ReadResult::TooLarge;
        QTextDocument document;
        document.setHtml(html);
        text = document.toPlainText();
    }
    if (text.size() > kMaxTextChars)
        return ReadResult::TooLarge;
    // A NUL ends the text for every other program; here it would be an
    // invisible character in the article.
    text.remove(QChar(u'\0'));
    return text.isEmpty() ? ReadResult::NoText : ReadResult::Ok;
}

bool ClipboardWatcher::ReadingSingleArticle() const
{
    return !m_prefs.IsMultiArticleMode() && m_list.GetVisibleCount() > 0 && m_list.Entry(0)->Locked;
}

void ClipboardWatcher::ShowBusyDialog()
{
    if (!m_prefs.SI_ShowBusyDialog)
        return;
    SecondStartDialog busy(m_prefs.SI_ShowBusyDialog, &m_dialogParent);
    busy.exec();
}

void ClipboardWatcher::ShowPrompt()
{
    if (!m_prompt) {
        m_prompt = std::make_unique<ClipboardPrompt>(m_list, m_prefs);
        connect(m_prompt.get(), &ClipboardPrompt::ActionChosen, this, &ClipboardWatcher::AddClipboardText);
    }
    m_prompt->show();
    m_prompt->BringToFront();
}

// ---------------------------------------------------------------- the text

QString ClipboardWatcher::RefusalForNewText(const QString &text) const
{
    if (text.size() > kMaxTextChars)
        return TooLargeMessage;
    if (ReadingSingleArticle())
        return kSingleArticleBusy;
    return {};
}

void ClipboardWatcher::ReadAsNewArticle(const QString &text)
{
    AddText(text, ClipboardPrompt::caNew, true);
}

bool ClipboardWatcher::AddText(const QString &added, int action, bool speak)
{
    // The exit has saved the list: a prompt answered now changes nothing.
    if (m_reading && m_reading->State() == rsExiting)
        return false;
    // Reading may have started while the prompt waited: the single article
    // cannot be replaced nor changed now.
    if (ReadingSingleArticle()) {
        ShowBusyDialog();
        return false;
    }
    ArticleEntry *entry = action == ClipboardPrompt::caAppend ? m_list.CurrentEntry() : nullptr;
    if (entry) {
        QString text = entry->Text();
        if (text.size() + added.size() + 1 > kMaxTextChars) {
            MessageService::notice(TooLargeMessage);
            return false;
        }
        if (!text.isEmpty() && text.back() != u'\0' && text.back() != u'\n' && text.back() != u'\r')
            text += u' ';
        entry->SetText(text + added);
        m_articles.SaveList();
    } else {
        // A new article with the mode's voice and the handlers every new
        // article gets.
        entry = m_articles.AddNewArticle();
        if (!entry)
            return false;
        entry->SetText(added);
        if (m_list.MultiArticle() || m_prefs.SI_DefaultTitles)
            entry->TitleFromText(m_list.TitleLength());
        m_articles.SaveList();
    }
    if (speak && m_reading)
        m_reading->StartAutoSpeak(entry);
    return true;
}

void ClipboardWatcher::AddClipboardText(int action)
{
    if (!AddText(m_buffer, action, m_prefs.AutoSpeak()))
        return;
    if (m_prefs.CB_ClearOnCopy) {
        m_clearing = true;
        m_clipboard.clear();
        m_clearing = false;
    }
}
