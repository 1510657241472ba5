#include "ClipboardWatcher.h"

#include "ui_MainWindow.h"

#include "ArticleCommands.h"
#include "ClipboardPrompt.h"
#include "MainWindow.h"
#include "ReadingBinder.h"
#include "SecondStartDialog.h"
#include "articles/ArticleList.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>
#include <QMimeData>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTimer>

const QString ClipboardWatcher::TooLargeMessage =
    QStringLiteral("The clipboard text is larger than %1 MB and was not copied.").arg(kMaxTextChars >> 20);

namespace {

// While a number edit is empty (the user is typing a new number) its setting
// keeps its value; the validator lets nothing else through.
void StoreNumber(const QLineEdit &edit, int32_t &setting)
{
    bool ok = false;
    const int value = edit.text().toInt(&ok);
    if (ok)
        setting = value;
}

const QString kFocusOnlyNote = QStringLiteral(
    "On this Wayland desktop, Voxtrella sees text copied in other programs only "
    "while one of its windows has the focus.");

}  // namespace

ClipboardWatcher::ClipboardWatcher(MainWindow &form) : QObject(&form), m_form(form)
{
    Ui::MainWindow *ui = form.form();
    SetMonitorChecks(m_form.Preferences().CB_Monitor);
    m_armed = m_form.Preferences().CB_Monitor;
    if (m_form.Preferences().CB_Monitor)
        Join();

    // clicked and triggered come from the user only: setting the check
    // marks below does not call the handler again.
    connect(ui->MonitorCB, &QCheckBox::clicked, this, &ClipboardWatcher::MonitorCBClick);
    connect(ui->MonClipMItm, &QAction::triggered, this, &ClipboardWatcher::MonitorCBClick);
    connect(form.TrayItem("MonClipPoNtry"), &QAction::triggered, this, &ClipboardWatcher::MonitorCBClick);

    connect(ui->ClearClipboardCB, &QCheckBox::toggled, this, &ClipboardWatcher::ClearClipboardCBClick);
    connect(ui->ThreshHoldEdit, &QLineEdit::textChanged, this, &ClipboardWatcher::ThreshHoldEditChange);
    connect(ui->PromptCkbx, &QCheckBox::toggled, this, &ClipboardWatcher::PromptCkbxClick);
    connect(ui->PromptDelayEdit, &QLineEdit::textChanged, this, &ClipboardWatcher::PromptDelayEditChange);
    connect(ui->PromptDfltActCBox, &QComboBox::currentIndexChanged, this, &ClipboardWatcher::PromptDfltActCBoxChange);

    NoteFocusOnlyClipboard();
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
    m_viewer = connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
                       &ClipboardWatcher::WMDrawClipboard);
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
        m_prompt->Timer1()->stop();
        m_prompt->hide();
    }
}

void ClipboardWatcher::SetMonitorChecks(bool on)
{
    m_form.form()->MonitorCB->setChecked(on);
    m_form.form()->MonClipMItm->setChecked(on);
    if (QAction *tray = m_form.TrayItem("MonClipPoNtry"))
        tray->setChecked(on);
}

void ClipboardWatcher::MonitorCBClick()
{
    if (!m_form.ShownOnce()) {
        // The control has toggled itself; it keeps showing the setting.
        SetMonitorChecks(m_form.Preferences().CB_Monitor);
        return;
    }
    m_form.Preferences().CB_Monitor = !m_form.Preferences().CB_Monitor;
    SetMonitorChecks(m_form.Preferences().CB_Monitor);
    m_armed = false;
    if (m_form.Preferences().CB_Monitor)
        Join();
    else
        LeaveChain();
}

// ---------------------------------------------------------- notifications

void ClipboardWatcher::WMDrawClipboard()
{
    DiagnosticLog::WriteLog(QStringLiteral("Received WM_DRAWCLIPBOARD"));
    // Our own emptying after a copy is no new text.
    if (m_clearing)
        return;
    if (!m_form.ShownOnce() || !m_form.Preferences().CB_Monitor)
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

    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
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
    if (m_buffer.size() <= m_form.Preferences().CB_ThreshHold)
        return;
    if (m_form.Preferences().CB_Prompt) {
        ShowPrompt();
        return;
    }
    int action = m_form.Preferences().CB_DfltPromptAction;
    if (action == caRememberLast)
        action = m_form.Preferences().CB_LastPromptAction;
    // Without a prompt there is nobody to cancel for: Cancel means New.
    AddClipboardText(action == caAppend ? caAppend : caNew);
}

ClipboardWatcher::ReadResult ClipboardWatcher::ReadClipboard()
{
    m_buffer.clear();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return ReadResult::NoText;
    QString text;
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
    if (text.isEmpty())
        return ReadResult::NoText;
    m_buffer = text;
    return ReadResult::Ok;
}

bool ClipboardWatcher::ReadingSingleArticle() const
{
    const ArticleList *list = m_form.List();
    return !m_form.Preferences().IsMultiArticleMode() && list->GetVisibleCount() > 0 && list->Entry(0)->Locked;
}

void ClipboardWatcher::ShowBusyDialog()
{
    if (!m_form.Preferences().SI_ShowBusyDialog)
        return;
    SecondStartDialog busy(m_form.Preferences().SI_ShowBusyDialog, &m_form);
    busy.exec();
}

void ClipboardWatcher::ShowPrompt()
{
    if (!m_prompt)
        m_prompt = std::make_unique<ClipboardPrompt>(*m_form.List(), m_form.Preferences(),
                                                     [this](int action) { AddClipboardText(action); });
    m_prompt->show();
    m_prompt->BringToFront();
}

// ---------------------------------------------------------------- the text

void ClipboardWatcher::AddClipboardText(int action)
{
    // The exit has saved the list: a prompt answered now changes nothing.
    if (m_form.State() == rsExiting)
        return;
    // Reading may have started while the prompt waited: the single article
    // cannot be replaced nor changed now.
    if (ReadingSingleArticle()) {
        ShowBusyDialog();
        return;
    }
    ArticleList *list = m_form.List();
    ArticleEntry *entry = action == caAppend ? list->CurrentEntry() : nullptr;
    if (entry) {
        QString text = entry->Text();
        if (text.size() + m_buffer.size() + 1 > kMaxTextChars) {
            MessageService::notice(TooLargeMessage);
            return;
        }
        if (!text.isEmpty() && text.back() != u'\0' && text.back() != u'\n' && text.back() != u'\r')
            text += u' ';
        entry->SetText(text + m_buffer);
        m_form.Articles().SaveList();
    } else {
        // A new article with the mode's voice and the handlers every new
        // article gets.
        entry = m_form.Articles().AddNewArticle();
        if (!entry)
            return;
        entry->SetText(m_buffer);
        if (list->MultiArticle() || m_form.Preferences().SI_DefaultTitles)
            entry->TitleFromText(list->TitleLength());
        m_form.Articles().SaveList();
    }
    if (m_form.Preferences().AutoSpeak())
        m_form.ReadingCommands().StartAutoSpeak(entry);
    if (m_form.Preferences().CB_ClearOnCopy) {
        m_clearing = true;
        QGuiApplication::clipboard()->clear();
        m_clearing = false;
    }
}

// -------------------------------------------------------- the Clipboard tab

void ClipboardWatcher::ThreshHoldEditChange()
{
    StoreNumber(*m_form.form()->ThreshHoldEdit, m_form.Preferences().CB_ThreshHold);
}

void ClipboardWatcher::PromptCkbxClick()
{
    m_form.Preferences().CB_Prompt = m_form.form()->PromptCkbx->isChecked();
}

void ClipboardWatcher::PromptDelayEditChange()
{
    StoreNumber(*m_form.form()->PromptDelayEdit, m_form.Preferences().CB_PromptDelay);
}

void ClipboardWatcher::PromptDfltActCBoxChange()
{
    const int index = m_form.form()->PromptDfltActCBox->currentIndex();
    if (index >= caNew && index <= caRememberLast)
        m_form.Preferences().CB_DfltPromptAction = uint8_t(index);
}

void ClipboardWatcher::ClearClipboardCBClick()
{
    m_form.Preferences().CB_ClearOnCopy = m_form.form()->ClearClipboardCB->isChecked();
}

// ---------------------------------------------------------------- Wayland

bool ClipboardWatcher::FocusOnlyClipboard(const QString &platformName, const QString &sessionType,
                                          const QString &waylandDisplay)
{
    if (platformName.startsWith(QLatin1String("wayland")))
        return true;
    // An X program on a Wayland desktop gets the clipboard through
    // Xwayland, which passes it on when an X window takes the focus.
    return platformName == QLatin1String("xcb") &&
           (sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0 || !waylandDisplay.isEmpty());
}

void ClipboardWatcher::NoteFocusOnlyClipboard()
{
    if (!FocusOnlyClipboard(QGuiApplication::platformName(), qEnvironmentVariable("XDG_SESSION_TYPE"),
                            qEnvironmentVariable("WAYLAND_DISPLAY")))
        return;
    DiagnosticLog::WriteLog(QStringLiteral("Clipboard: other programs' copies arrive only while focused"));
    Ui::MainWindow *ui = m_form.form();
    m_focusNote = new QLabel(kFocusOnlyNote, ui->ClipboardSheetContents);
    m_focusNote->setObjectName(QStringLiteral("ClipboardFocusNote"));
    m_focusNote->setAccessibleName(kFocusOnlyNote);
    m_focusNote->setWordWrap(true);
    // Below the options, above the spacer that takes the rest of the sheet.
    QGridLayout *grid = ui->ClipboardLayout;
    const int row = grid->rowCount() - 1;
    QLayoutItem *spacer = grid->itemAtPosition(row, 0);
    if (spacer && spacer->spacerItem()) {
        grid->removeItem(spacer);
        grid->addWidget(m_focusNote, row, 0, 1, 3);
        grid->addItem(spacer, row + 1, 0);
    } else {
        grid->addWidget(m_focusNote, row + 1, 0, 1, 3);
    }
}
