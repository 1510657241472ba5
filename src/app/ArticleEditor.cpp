#include "ArticleEditor.h"

#include "ArticleText.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace {

QString editorText(const QString &text)
{
    return ArticleText::EditorText(text);
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

}  // namespace

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
