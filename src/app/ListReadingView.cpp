#include "ListReadingView.h"

#include "MainWindow.h"
#include "articles/MemoListUnit.h"

TMemoEntry *ListReadingView::EntryOf(Article article)
{
    return qobject_cast<TMemoEntry *>(article);
}

int ListReadingView::Count() const
{
    return m_form.List()->GetVisibleCount();
}

ReadingView::Article ListReadingView::ArticleAt(int position) const
{
    return position >= 1 && position <= m_form.List()->GetVisibleCount() ? m_form.List()->Entry(position - 1) : nullptr;
}

int ListReadingView::PositionOf(Article article) const
{
    TMemoEntry *entry = EntryOf(article);
    return entry && !entry->Hidden ? m_form.List()->FindEntry(entry) : 0;
}

ReadingView::Article ListReadingView::Selected() const
{
    return m_form.List()->CurrentEntry();
}

void ListReadingView::Mark(int position)
{
    m_form.List()->MarkEntry(position);
}

bool ListReadingView::Hide(Article article)
{
    try {
        m_form.List()->HideEntry(EntryOf(article));
        return true;
    } catch (const EMemoEntryLocked &) {
        return false;
    }
}

void ListReadingView::DeleteHidden()
{
    m_form.List()->DeleteHiddenEntries();
}

void ListReadingView::UnlockAll()
{
    m_form.List()->UnlockAllEntries();
}

void ListReadingView::AddEmptyArticleIfNone()
{
    if (m_form.List()->GetVisibleCount() == 0)
        m_form.AddNewArticle();
}

QString ListReadingView::Title(Article article) const
{
    TMemoEntry *entry = EntryOf(article);
    // "Generate Default Article Titles" covers an article typed after it was added, too.
    m_form.List()->GiveDefaultTitle(entry);
    return entry ? entry->Title() : QString();
}

QString ListReadingView::Voice(Article article) const
{
    TMemoEntry *entry = EntryOf(article);
    return entry ? entry->VoiceName() : QString();
}

QString ListReadingView::Text(Article article) const
{
    TMemoEntry *entry = EntryOf(article);
    return entry ? entry->Text() : QString();
}

void ListReadingView::SetLocked(Article article, bool locked)
{
    if (TMemoEntry *entry = EntryOf(article))
        entry->Locked = locked;
}

void ListReadingView::RestoreWindow()
{
    if (!m_form.isVisible() || m_form.isMinimized())
        m_form.RestoreFromTray();
}

void ListReadingView::ShowFileOptions()
{
    m_form.ShowOptionsPage(QStringLiteral("FileOptionsSheet"));
}

void ListReadingView::FocusHeader(Article article)
{
    if (TMemoEntry *entry = EntryOf(article))
        entry->FocusHeader();
}

void ListReadingView::FocusEditor(Article article)
{
    TMemoEntry *entry = EntryOf(article);
    if (entry && m_form.isVisible() && entry->OnScreen())
        entry->Editor()->setFocus(Qt::OtherFocusReason);
}

void ListReadingView::ShowWord(Article article, int caret, int wordEnd, bool highlight)
{
    TMemoEntry *entry = EntryOf(article);
    ArticleEditor *editor = entry ? entry->Editor() : nullptr;
    if (!editor)
        return;
    editor->SetSelStart(caret);
    if (highlight) {
        editor->SetSelLength(wordEnd - caret);
        editor->ScrollInView();
    }
}

void ListReadingView::Save()
{
    m_form.SaveList();
}
