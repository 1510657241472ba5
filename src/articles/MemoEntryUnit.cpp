#include "MemoEntryUnit.h"

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
#include <QTextBlock>
#include <QTextCursor>

namespace {

const QString kReadInputError = QStringLiteral("Error reading input file");

QString editorText(QString text)
{
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
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
        TMemoEntry *nowEntry = ancestorOf<TMemoEntry>(now);
        if (nowEntry && nowEntry != ancestorOf<TMemoEntry>(old) && nowEntry->OnEnter)
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

TMemoEntry::TMemoEntry(QWidget *parent, VoiceProvider voices) : QFrame(parent)
{
    watchFocus();
    setObjectName(QStringLiteral("MemoEntry"));
    setAccessibleName(QStringLiteral("Article"));
    setFrameShape(QFrame::NoFrame);

    Header = new TPropertyPanel(this, std::move(voices));
    Memo = new TMyPlusMemo(this);
    Memo->Tag = this;
    connect(Memo->document(), &QTextDocument::contentsChanged, this, [this] { m_blank = -1; });

    connect(Header->ReadBtn, &QPushButton::clicked, this, [this] {
        if (OnRead)
            OnRead(this);
    });
    connect(Header->ReadToFileBtn, &QPushButton::clicked, this, [this] {
        if (OnReadToFile)
            OnReadToFile(this);
    });
    connect(Header->DeleteBtn, &QPushButton::clicked, this, [this] {
        if (OnDelete)
            OnDelete(this);
    });
    PlaceChildren();
}

TMemoEntry::~TMemoEntry() = default;

bool TMemoEntry::IsBlank() const
{
    if (m_blank < 0) {
        m_blank = 1;
        // Walks the document instead of copying a possibly long text.
        for (QTextBlock b = Memo->document()->begin(); b.isValid(); b = b.next()) {
            if (!b.text().trimmed().isEmpty()) {
                m_blank = 0;
                break;
            }
        }
    }
    return m_blank == 1;
}

void TMemoEntry::SetColor(const QColor &colour)
{
    try {
        Memo->SetBackgroundColor(colour);
    } catch (...) {
        UtilsClass::WriteLog(QStringLiteral("TMemoEntry: SetColor failed"));
    }
}

void TMemoEntry::TitleFromText(int maxChars)
{
    SetTitle(MakeTitle(Memo->Text(), maxChars));
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
    case SafeFile::ReadStatus::Ok: break;
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
        Memo->AppendLines(ArticleText::SplitLines(ArticleText::DecodeTextFile(read.bytes)));
    } catch (const std::exception &e) {
        UtilsClass::WriteLog(QStringLiteral("LoadFromFile failed: ") + QString::fromUtf8(e.what()));
        MessageService::notice(kReadInputError);
    }
    return true;
}

void TMemoEntry::FocusHeader()
{
    Header->VoiceListLoaded = false;
    Header->TitleEdit->setFocus(Qt::OtherFocusReason);
    Header->LoadVoiceList();
}

void TMemoEntry::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceChildren();
}

void TMemoEntry::PlaceChildren()
{
    const int headerHeight = std::min(Header->PreferredHeight(), height());
    Header->setGeometry(0, 0, width(), headerHeight);
    Memo->setGeometry(0, headerHeight, width(), std::max(0, height() - headerHeight));
}
