#include "MemoEntryUnit.h"

#include "MemoListUnit.h"

#include "SafeFile.h"

#include "ArticleText.h"

#include "MessageService.h"
#include "UtilsClass.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace {

const QString kReadInputError = QStringLiteral("Error reading input file");

QString editorText(QString text)
{
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    // The editor keeps a paragraph separator as a line break.
    if (text.contains(QChar::ParagraphSeparator))
        text.replace(QChar::ParagraphSeparator, u'\n');
    if (text.contains(QChar(0)))
        text.replace(QChar(0), QChar(char16_t(0xFFFD)));
    return text;
}

template <typename T>
T *ancestorOf(QWidget *w)
{
    for (; w; w = w->parentWidget()) {
        if (auto *hit = qobject_cast<T *>(w))
            return hit;
    }
    return nullptr;
}

// One watcher for the whole program tells articles and headers when focus
// enters or leaves them, instead of one connection per article.
void watchFocus()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget *old, QWidget *now) {
        TPropertyPanel *oldPanel = ancestorOf<TPropertyPanel>(old);
        if (oldPanel && oldPanel != ancestorOf<TPropertyPanel>(now))
            oldPanel->FocusLeft();
        TMemoEntryView *nowView = ancestorOf<TMemoEntryView>(now);
        TMemoEntry *nowEntry = nowView ? nowView->Entry() : nullptr;
        if (nowEntry && nowView != ancestorOf<TMemoEntryView>(old) && nowEntry->OnEnter)
            nowEntry->OnEnter(nowEntry);
    });
}

}  // namespace

QString MakeTitle(const QString &text, int maxChars)
{
    return ArticleText::MakeTitle(text, maxChars);
}

// --- TMyPlusMemo ---

TMyPlusMemo::TMyPlusMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("Memo"));
    setAccessibleName(QStringLiteral("Article text"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves on to the next control, so keyboard users never get stuck.
    setTabChangesFocus(true);
    // The spoken word stays highlighted while another window has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

QString TMyPlusMemo::Text() const
{
    return toPlainText();
}

void TMyPlusMemo::SetText(const QString &text)
{
    // Straight into the document: the widget's own setPlainText lays out
    // the first and last lines again, which adds up over a long import.
    document()->setPlainText(editorText(text));
}

int TMyPlusMemo::TextLength() const
{
    return document()->characterCount() - 1;
}

void TMyPlusMemo::AppendLine(const QString &line)
{
    AppendLines({line});
}

void TMyPlusMemo::AppendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    QString joined = editorText(lines.join(u'\n'));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!document()->isEmpty())
        joined.prepend(u'\n');
    cursor.insertText(joined);
}

int TMyPlusMemo::LineCount() const
{
    return document()->blockCount();
}

int TMyPlusMemo::SelStart() const
{
    return textCursor().selectionStart();
}

void TMyPlusMemo::SetSelStart(int position)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::clamp(position, 0, TextLength()));
    setTextCursor(cursor);
}

int TMyPlusMemo::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void TMyPlusMemo::SetSelLength(int length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(std::clamp(start + std::max(length, 0), 0, TextLength()), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void TMyPlusMemo::ScrollInView()
{
    ensureCursorVisible();
}

void TMyPlusMemo::ScrollToFirstLine()
{
    verticalScrollBar()->setValue(0);
}

void TMyPlusMemo::SetBackgroundColor(const QColor &colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
}

QColor TMyPlusMemo::BackgroundColor() const
{
    return palette().color(QPalette::Base);
}

void TMyPlusMemo::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popup)
        m_popup->exec(event->globalPos());
    else
        QPlainTextEdit::contextMenuEvent(event);
}

// --- TMemoEntry ---

// Not a child of the list: the list owns its articles, and ten thousand
// children would make every removal a search.
TMemoEntry::TMemoEntry(TMemoListBox *list) : m_list(list) {}

TMemoEntry::~TMemoEntry()
{
    if (m_view)
        m_view->Release();
}

QString TMemoEntry::Title() const
{
    return m_view ? m_view->Header->Title() : m_title;
}

void TMemoEntry::SetTitle(const QString &title)
{
    m_title = title;
    if (m_view)
        m_view->Header->SetTitle(title);
}

QString TMemoEntry::VoiceName() const
{
    return m_view ? m_view->Header->Voice() : m_voice;
}

void TMemoEntry::SetVoiceName(const QString &voiceName)
{
    m_voice = voiceName;
    if (m_view)
        m_view->Header->ShowVoices(voiceName);
}

QString TMemoEntry::Text() const
{
    return m_view ? m_view->Memo->Text() : m_text;
}

void TMemoEntry::SetText(const QString &text)
{
    m_text = editorText(text);
    m_blank = -1;
    m_selStart = m_selLength = m_scrollTop = 0;
    if (m_view) {
        m_view->Memo->SetText(m_text);
        m_view->m_textEdited = false;
    }
}

int TMemoEntry::LineCount() const
{
    return m_view ? m_view->Memo->LineCount() : int(m_text.count(u'\n')) + 1;
}

bool TMemoEntry::IsBlank() const
{
    if (m_blank < 0) {
        m_blank = 1;
        if (m_view) {
            // Walks the document instead of copying a possibly long text.
            for (QTextBlock b = m_view->Memo->document()->begin(); b.isValid(); b = b.next()) {
                if (!b.text().trimmed().isEmpty()) {
                    m_blank = 0;
                    break;
                }
            }
        } else {
            m_blank = std::all_of(m_text.cbegin(), m_text.cend(), [](QChar c) { return c.isSpace(); }) ? 1 : 0;
        }
    }
    return m_blank == 1;
}

void TMemoEntry::SetColor(const QColor &colour)
{
    m_color = colour;
    if (m_view)
        m_view->Memo->SetBackgroundColor(colour);
}

void TMemoEntry::TitleFromText(int maxChars)
{
    SetTitle(MakeTitle(Text(), maxChars));
}

void TMemoEntry::TitleFromString(const QString &text, int maxChars)
{
    SetTitle(MakeTitle(text, maxChars));
}

bool TMemoEntry::LoadFromFile(const QString &fileName)
{
    // Only regular files: a FIFO or a device would block or never end.
    const SafeFile::ReadResult read = SafeFile::readRegularFile(fileName, kMaxTextFileBytes);
    switch (read.status) {
    case SafeFile::ReadStatus::Ok:
        break;
    case SafeFile::ReadStatus::Missing:
    case SafeFile::ReadStatus::NotRegular:
        UtilsClass::WriteLog(QStringLiteral("LoadFromFile - cannot open: ") + fileName);
        return false;
    case SafeFile::ReadStatus::TooLarge:
        UtilsClass::WriteLog(QStringLiteral("LoadFromFile - file too large: ") + fileName);
        MessageService::notice(kReadInputError);
        return true;
    case SafeFile::ReadStatus::Failed:
        UtilsClass::WriteLog(QStringLiteral("LoadFromFile - read error: ") + read.error);
        if (read.bytes.isEmpty())
            return false;
        MessageService::notice(kReadInputError);
        break;
    }
    try {
        const QStringList lines = ArticleText::SplitLines(ArticleText::DecodeTextFile(read.bytes));
        if (m_view) {
            m_view->Memo->AppendLines(lines);
        } else if (!lines.isEmpty()) {
            m_text += (m_text.isEmpty() ? QString() : QStringLiteral("\n")) + editorText(lines.join(u'\n'));
            m_blank = -1;
        }
    } catch (const std::exception &e) {
        UtilsClass::WriteLog(QStringLiteral("LoadFromFile failed: ") + QString::fromUtf8(e.what()));
        MessageService::notice(kReadInputError);
    }
    return true;
}

void TMemoEntry::FocusHeader()
{
    if (!Editor())
        return;
    TPropertyPanel *header = m_view->Header;
    header->VoiceListLoaded = false;
    header->TitleEdit->setFocus(Qt::OtherFocusReason);
    header->LoadVoiceList();
}

void TMemoEntry::SetPopupMenu(QMenu *menu)
{
    m_popup = menu;
    if (m_view)
        m_view->Memo->SetPopupMenu(menu);
}

bool TMemoEntry::OnScreen() const
{
    return m_view && !m_view->isHidden();
}

TMyPlusMemo *TMemoEntry::Editor()
{
    if (!m_view && m_list)
        m_list->ViewFor(this);
    return m_view ? m_view->Memo : nullptr;
}

// --- TMemoEntryView ---

TMemoEntryView::TMemoEntryView(QWidget *parent, VoiceProvider voices) : QFrame(parent)
{
    watchFocus();
    setObjectName(QStringLiteral("MemoEntry"));
    setAccessibleName(QStringLiteral("Article"));
    setFrameShape(QFrame::NoFrame);

    Header = new TPropertyPanel(this, std::move(voices));
    Memo = new TMyPlusMemo(this);
    connect(Memo->document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_entry)
            return;
        m_entry->m_blank = -1;
        m_textEdited = true;
    });
    WatchEdits();

    auto forward = [this](TMemoEntry::TEntryEvent TMemoEntry::*event) {
        return [this, event] {
            if (m_entry && m_entry->*event)
                (m_entry->*event)(m_entry);
        };
    };
    connect(Header->ReadBtn, &QPushButton::clicked, this, forward(&TMemoEntry::OnRead));
    connect(Header->ReadToFileBtn, &QPushButton::clicked, this, forward(&TMemoEntry::OnReadToFile));
    connect(Header->DeleteBtn, &QPushButton::clicked, this, forward(&TMemoEntry::OnDelete));
    PlaceChildren();
}

TMemoEntryView::~TMemoEntryView()
{
    Release();
}

void TMemoEntryView::Bind(TMemoEntry *entry)
{
    if (entry == m_entry)
        return;
    Release();
    if (!entry)
        return;
    if (entry->m_view)
        entry->m_view->Release();
    m_entry = entry;
    Header->SetTitle(entry->m_title);
    Header->ShowVoices(entry->m_voice);
    Memo->SetPopupMenu(entry->m_popup);
    Memo->SetBackgroundColor(entry->m_color.isValid() ? entry->m_color : palette().color(QPalette::Base));
    {
        const QSignalBlocker block(Memo->document());
        Memo->SetText(entry->m_text);
    }
    // The caret is at the start after a new text; moving it lays the text
    // out, which only an article that was worked on needs.
    if (entry->m_selStart > 0 || entry->m_selLength > 0) {
        Memo->SetSelStart(entry->m_selStart);
        Memo->SetSelLength(entry->m_selLength);
    }
    // The document was replaced under the widget: its scroll bar still
    // holds the place in the text shown before.
    Memo->verticalScrollBar()->setValue(entry->m_scrollTop);
    m_textEdited = false;
    entry->m_view = this;
}

void TMemoEntryView::Release()
{
    TMemoEntry *entry = std::exchange(m_entry, nullptr);
    if (!entry)
        return;
    entry->m_view = nullptr;
    entry->m_title = Header->Title();
    entry->m_voice = Header->Voice();
    if (m_textEdited)
        entry->m_text = Memo->Text();
    entry->m_selStart = Memo->SelStart();
    entry->m_selLength = Memo->SelLength();
    entry->m_scrollTop = Memo->verticalScrollBar()->value();
    // The next article replaces the text; until then a released row holds
    // none, so a long article is not kept twice.
    const QSignalBlocker block(Memo->document());
    Memo->document()->clear();
}

void TMemoEntryView::WatchEdits()
{
    // Text changes that the program makes itself are blocked or saved at
    // once by their command; reporting them too only costs a save.
    connect(Memo->document(), &QTextDocument::contentsChanged, this, [this] {
        if (m_entry)
            emit Edited();
    });
    connect(Header->TitleEdit, &QLineEdit::textEdited, this, &TMemoEntryView::Edited);
    connect(Header->VoiceCB, &QComboBox::activated, this, &TMemoEntryView::Edited);
}

void TMemoEntryView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceChildren();
}

void TMemoEntryView::PlaceChildren()
{
    const int headerHeight = std::min(Header->PreferredHeight(), height());
    Header->setGeometry(0, 0, width(), headerHeight);
    Memo->setGeometry(0, headerHeight, width(), std::max(0, height() - headerHeight));
}
