#include "MemoEntryUnit.h"

#include "MemoListUnit.h"

#include "SafeFile.h"

#include "ArticleText.h"

#include "MessageService.h"
#include "DiagnosticLog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
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

// Marks a block that continues the line of the block before it.
constexpr int kSoftBreakProperty = QTextFormat::UserProperty + 0x50f7;

bool isSoft(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(kSoftBreakProperty);
}

QTextBlockFormat pieceFormat(bool soft)
{
    QTextBlockFormat format;
    if (soft)
        format.setProperty(kSoftBreakProperty, true);
    return format;
}

bool hasLongLine(QStringView text)
{
    for (qsizetype from = 0;;) {
        const qsizetype nl = text.indexOf(u'\n', from);
        if ((nl < 0 ? text.size() : nl) - from > ArticleEditor::kSoftLineChars)
            return true;
        if (nl < 0)
            return false;
        from = nl + 1;
    }
}

// Where the piece of a long line that starts at from ends: after the last
// blank in its second half, else after kSoftLineChars characters, never
// between the two halves of a surrogate pair.
qsizetype pieceEnd(QStringView line, qsizetype from)
{
    constexpr qsizetype size = ArticleEditor::kSoftLineChars;
    if (line.size() - from <= size)
        return line.size();
    for (qsizetype i = from + size; i > from + size / 2; --i) {
        if (line[i - 1].isSpace())
            return i;
    }
    return line[from + size - 1].isHighSurrogate() ? from + size - 1 : from + size;
}

// Calls piece(text, soft) for each piece of each line in order; soft tells
// that the piece continues the line of the one before.
template <typename F>
void forEachPiece(QStringView text, F &&piece)
{
    for (qsizetype from = 0;;) {
        const qsizetype nl = text.indexOf(u'\n', from);
        const QStringView line = text.mid(from, (nl < 0 ? text.size() : nl) - from);
        qsizetype at = 0;
        bool soft = false;
        do {
            const qsizetype end = pieceEnd(line, at);
            piece(line.mid(at, end - at), soft);
            soft = true;
            at = end;
        } while (at < line.size());
        if (nl < 0)
            return;
        from = nl + 1;
    }
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

// --- ArticleEditor ---

ArticleEditor::ArticleEditor(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("Memo"));
    setAccessibleName(QStringLiteral("Article text"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves on to the next control, so keyboard users never get stuck.
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, [this] { m_softValid = false; });
    // The spoken word stays highlighted while another window has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

QString ArticleEditor::Text() const
{
    if (!m_hasSoft)
        return toPlainText();
    const QTextDocument *doc = document();
    QString text;
    text.reserve(doc->characterCount());
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b != doc->begin() && !isSoft(b))
            text += u'\n';
        text += b.text();
    }
    // The same characters as toPlainText gives.
    for (QChar &c : text) {
        switch (c.unicode()) {
        case 0xfdd0:
        case 0xfdd1:
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
            c = u'\n';
            break;
        case QChar::Nbsp:
            c = u' ';
            break;
        default:
            break;
        }
    }
    return text;
}

void ArticleEditor::SetText(const QString &text)
{
    // Straight into the document: the widget's own setPlainText lays out
    // the first and last lines again, which adds up over a long import.
    const QString plain = editorText(text);
    m_softValid = false;
    m_hasSoft = hasLongLine(plain);
    // Each block costs the editor time and memory of its own, which adds up
    // to many seconds over a million short lines: in a long text, lines
    // share a block, a line separator between them. It is one character as
    // the line break is, so offsets stay the same, and Text() gives it back
    // as the line break.
    const bool groupLines = plain.size() > kGroupLinesFromChars;
    if (!m_hasSoft && !groupLines) {
        document()->setPlainText(plain);
        return;
    }
    QString display;
    display.reserve(plain.size() + plain.size() / (kSoftLineChars / 2) + 1);
    std::vector<int> softBlocks;
    int block = -1;
    qsizetype blockChars = 0;
    forEachPiece(plain, [&](QStringView piece, bool soft) {
        if (block >= 0 && !soft && groupLines && blockChars + 1 + piece.size() <= kSoftLineChars) {
            display += QChar::LineSeparator;
            blockChars += 1 + piece.size();
        } else {
            if (++block > 0) {
                display += u'\n';
                if (soft)
                    softBlocks.push_back(block);
            }
            blockChars = piece.size();
        }
        display += piece;
    });
    QTextDocument *doc = document();
    doc->setPlainText(display);
    // Marking the pieces is no edit the user could undo; as one edit it
    // tells the layout once.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    const QTextBlockFormat softFormat = pieceFormat(true);
    auto next = softBlocks.cbegin();
    for (QTextBlock b = doc->begin(); b.isValid() && next != softBlocks.cend(); b = b.next()) {
        if (b.blockNumber() == *next) {
            cursor.setPosition(b.position());
            cursor.setBlockFormat(softFormat);
            ++next;
        }
    }
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    m_softValid = false;
}

void ArticleEditor::InsertText(QTextCursor &cursor, const QString &text)
{
    // Every new block gets its mark set, also a line break's: a block made
    // inside a piece would otherwise take over the piece's mark.
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    bool first = true;
    forEachPiece(text, [&](QStringView piece, bool soft) {
        if (!first)
            cursor.insertBlock(pieceFormat(soft));
        first = false;
        m_hasSoft = m_hasSoft || soft;
        if (!piece.isEmpty())
            cursor.insertText(piece.toString());
    });
    cursor.endEditBlock();
}

const std::vector<int> &ArticleEditor::SoftStarts() const
{
    if (!m_softValid) {
        m_softStarts.clear();
        m_softTextStarts.clear();
        if (m_hasSoft) {
            const QTextDocument *doc = document();
            for (QTextBlock b = doc->begin().next(); b.isValid(); b = b.next()) {
                if (isSoft(b)) {
                    m_softTextStarts.push_back(b.position() - int(m_softStarts.size()) - 1);
                    m_softStarts.push_back(b.position());
                }
            }
        }
        m_softValid = true;
    }
    return m_softStarts;
}

int ArticleEditor::TextPosition(int editorPosition) const
{
    if (!m_hasSoft)
        return editorPosition;
    const std::vector<int> &starts = SoftStarts();
    return editorPosition - int(std::upper_bound(starts.cbegin(), starts.cend(), editorPosition) - starts.cbegin());
}

int ArticleEditor::EditorPosition(int textPosition) const
{
    if (!m_hasSoft)
        return textPosition;
    SoftStarts();
    return textPosition + int(std::upper_bound(m_softTextStarts.cbegin(), m_softTextStarts.cend(), textPosition) -
                              m_softTextStarts.cbegin());
}

int ArticleEditor::TextLength() const
{
    return document()->characterCount() - 1 - int(SoftStarts().size());
}

void ArticleEditor::AppendLine(const QString &line)
{
    AppendLines({line});
}

void ArticleEditor::AppendLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    QString joined = editorText(lines.join(u'\n'));
    if (document()->isEmpty()) {
        SetText(joined);
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    joined.prepend(u'\n');
    if (m_hasSoft || hasLongLine(joined))
        InsertText(cursor, joined);
    else
        cursor.insertText(joined);
}

int ArticleEditor::LineCount() const
{
    // Counted in the text: line separators (grouped lines, Shift+Enter) are
    // line breaks there too.
    return int(Text().count(u'\n')) + 1;
}

int ArticleEditor::SelStart() const
{
    return TextPosition(textCursor().selectionStart());
}

void ArticleEditor::SetSelStart(int position)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(EditorPosition(std::clamp(position, 0, TextLength())));
    setTextCursor(cursor);
}

int ArticleEditor::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return TextPosition(cursor.selectionEnd()) - TextPosition(cursor.selectionStart());
}

void ArticleEditor::SetSelLength(int length)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    const int end = std::clamp(TextPosition(start) + std::max(length, 0), 0, TextLength());
    cursor.setPosition(EditorPosition(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void ArticleEditor::ScrollInView()
{
    ensureCursorVisible();
}

void ArticleEditor::ScrollToFirstLine()
{
    verticalScrollBar()->setValue(0);
}

void ArticleEditor::SetBackgroundColor(const QColor &colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
}

QColor ArticleEditor::BackgroundColor() const
{
    return palette().color(QPalette::Base);
}

void ArticleEditor::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popup)
        m_popup->exec(event->globalPos());
    else
        QPlainTextEdit::contextMenuEvent(event);
}

void ArticleEditor::keyPressEvent(QKeyEvent *event)
{
    // A line break typed inside a piece is a real one: the block it makes
    // must not take over the piece's soft mark.
    if (m_hasSoft && !isReadOnly() && event->matches(QKeySequence::InsertParagraphSeparator)) {
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.insertBlock(pieceFormat(false));
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ArticleEditor::insertFromMimeData(const QMimeData *source)
{
    const QString text = source && source->hasText() ? editorText(source->text()) : QString();
    if (isReadOnly() || text.isEmpty() || (!m_hasSoft && !hasLongLine(text))) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    InsertText(cursor, text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *ArticleEditor::createMimeDataFromSelection() const
{
    if (!m_hasSoft)
        return QPlainTextEdit::createMimeDataFromSelection();
    const QTextCursor cursor = textCursor();
    const int from = TextPosition(cursor.selectionStart());
    auto *data = new QMimeData;
    data->setText(Text().mid(from, TextPosition(cursor.selectionEnd()) - from));
    return data;
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
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - cannot open: ") + fileName);
        return false;
    case SafeFile::ReadStatus::TooLarge:
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - file too large: ") + fileName);
        MessageService::notice(kReadInputError);
        return true;
    case SafeFile::ReadStatus::Failed:
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile - read error: ") + read.error);
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
        DiagnosticLog::WriteLog(QStringLiteral("LoadFromFile failed: ") + QString::fromUtf8(e.what()));
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

ArticleEditor *TMemoEntry::Editor()
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
    Memo = new ArticleEditor(this);
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
    Memo->SetText(QString());
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
