#include "ArticleRow.h"

#include "ArticleEditor.h"
#include "ArticleHeader.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>

namespace {

template <typename T>
T *ancestorOf(QWidget *w)
{
    for (; w; w = w->parentWidget()) {
        if (auto *hit = qobject_cast<T *>(w))
            return hit;
    }
    return nullptr;
}

// One watcher for the whole program tells rows and headers when focus
// enters or leaves them, instead of one connection per article.
void watchFocus()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget *old, QWidget *now) {
        ArticleHeader *oldHeader = ancestorOf<ArticleHeader>(old);
        if (oldHeader && oldHeader != ancestorOf<ArticleHeader>(now))
            oldHeader->FocusLeft();
        ArticleRow *nowRow = ancestorOf<ArticleRow>(now);
        if (nowRow && nowRow->Entry() && nowRow != ancestorOf<ArticleRow>(old))
            emit nowRow->Entered(nowRow->Entry());
    });
}

}  // namespace

ArticleRow::ArticleRow(QWidget *parent, const VoiceChoiceSource *voices) : QFrame(parent)
{
    watchFocus();
    setObjectName(QStringLiteral("MemoEntry"));
    setAccessibleName(QStringLiteral("Article"));
    setFrameShape(QFrame::NoFrame);

    Header = new ArticleHeader(this, voices);
    Memo = new ArticleEditor(this);
    // Text changes that the program makes itself are blocked or saved at
    // once by their command; reporting them too only costs a save.
    connect(Memo->document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_entry)
            return;
        m_entry->TextChanged();
        m_textEdited = true;
        emit TextEdited(m_entry);
    });
    connect(Header->TitleEdit, &QLineEdit::textEdited, this, &ArticleRow::HeaderEdited);
    connect(Header->VoiceCB, &QComboBox::activated, this, &ArticleRow::HeaderEdited);

    auto forward = [this](void (ArticleRow::*clicked)(ArticleEntry *)) {
        return [this, clicked] {
            if (m_entry)
                emit(this->*clicked)(m_entry);
        };
    };
    connect(Header->ReadBtn, &QPushButton::clicked, this, forward(&ArticleRow::ReadClicked));
    connect(Header->ReadToFileBtn, &QPushButton::clicked, this, forward(&ArticleRow::ReadToFileClicked));
    connect(Header->DeleteBtn, &QPushButton::clicked, this, forward(&ArticleRow::DeleteClicked));
    PlaceChildren();
}

ArticleRow::~ArticleRow()
{
    Release();
}

void ArticleRow::Bind(ArticleEntry *entry)
{
    if (entry == m_entry)
        return;
    Release();
    if (!entry)
        return;
    // Lets go of the row that showed it before.
    entry->Bind(nullptr);
    const ArticleEntry::Kept &kept = entry->KeptState();
    m_entry = entry;
    Header->SetTitle(kept.Title);
    Header->ShowVoices(kept.Voice);
    {
        const QSignalBlocker block(Memo->document());
        Memo->SetText(kept.Text);
    }
    // The caret is at the start after a new text; moving it lays the text
    // out, which only an article that was worked on needs.
    if (kept.SelStart > 0 || kept.SelLength > 0) {
        Memo->SetSelStart(kept.SelStart);
        Memo->SetSelLength(kept.SelLength);
    }
    // The document was replaced under the widget: its scroll bar still
    // holds the place in the text shown before.
    Memo->verticalScrollBar()->setValue(kept.ScrollTop);
    m_textEdited = false;
    entry->Bind(this);
}

void ArticleRow::Release()
{
    ArticleEntry *entry = std::exchange(m_entry, nullptr);
    if (!entry)
        return;
    ArticleEntry::Kept kept = entry->KeptState();
    kept.Title = Header->Title();
    kept.Voice = Header->Voice();
    if (m_textEdited)
        kept.Text = Memo->Text();
    kept.SelStart = Memo->SelStart();
    kept.SelLength = Memo->SelLength();
    kept.ScrollTop = Memo->verticalScrollBar()->value();
    entry->Unbind(std::move(kept));
    // The next article replaces the text; until then a released row holds
    // none, so a long article is not kept twice.
    const QSignalBlocker block(Memo->document());
    Memo->SetText(QString());
}

void ArticleRow::FocusHeader()
{
    Header->VoiceListLoaded = false;
    Header->TitleEdit->setFocus(Qt::OtherFocusReason);
    Header->LoadVoiceList();
}

QString ArticleRow::ShownTitle() const
{
    return Header->Title();
}

QString ArticleRow::ShownVoice() const
{
    return Header->Voice();
}

QString ArticleRow::ShownText() const
{
    return Memo->Text();
}

int ArticleRow::ShownLineCount() const
{
    return Memo->LineCount();
}

bool ArticleRow::ShownBlank() const
{
    // Walks the document instead of copying a possibly long text.
    for (QTextBlock b = Memo->document()->begin(); b.isValid(); b = b.next()) {
        if (!b.text().trimmed().isEmpty())
            return false;
    }
    return true;
}

void ArticleRow::ShowTitle(const QString &title)
{
    Header->SetTitle(title);
}

void ArticleRow::ShowVoice(const QString &voiceName)
{
    Header->ShowVoices(voiceName);
}

void ArticleRow::ShowText(const QString &text)
{
    Memo->SetText(text);
    m_textEdited = false;
}

void ArticleRow::ShowMoreLines(const QStringList &lines)
{
    Memo->AppendLines(lines);
}

void ArticleRow::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    PlaceChildren();
}

void ArticleRow::PlaceChildren()
{
    const int headerHeight = std::min(Header->PreferredHeight(), height());
    Header->setGeometry(0, 0, width(), headerHeight);
    Memo->setGeometry(0, headerHeight, width(), std::max(0, height() - headerHeight));
}
