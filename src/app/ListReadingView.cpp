#include "ListReadingView.h"

#include "ArticleEditor.h"
#include "ArticleListView.h"

ListReadingView::ListReadingView(ArticleList &list, ArticleListView &view, const QWidget &window)
    : m_list(list), m_view(view), m_window(window)
{
}

ArticleEntry *ListReadingView::EntryOf(Article article)
{
    return qobject_cast<ArticleEntry *>(article);
}

int ListReadingView::Count() const
{
    return m_list.GetVisibleCount();
}

ReadingView::Article ListReadingView::ArticleAt(int position) const
{
    return position >= 1 && position <= m_list.GetVisibleCount() ? m_list.Entry(position - 1) : nullptr;
}

int ListReadingView::PositionOf(Article article) const
{
    ArticleEntry *entry = EntryOf(article);
    return entry && !entry->Hidden ? m_list.FindEntry(entry) : 0;
}

ReadingView::Article ListReadingView::Selected() const
{
    return m_list.CurrentEntry();
}

void ListReadingView::Mark(int position)
{
    m_list.MarkEntry(position);
}

bool ListReadingView::Hide(Article article)
{
    try {
        m_list.HideEntry(EntryOf(article));
        return true;
    } catch (const EMemoEntryLocked &) {
        return false;
    }
}

void ListReadingView::DeleteHidden()
{
    m_list.DeleteHiddenEntries();
}

void ListReadingView::UnlockAll()
{
    m_list.UnlockAllEntries();
}

void ListReadingView::AddEmptyArticleIfNone()
{
    if (m_list.GetVisibleCount() == 0)
        emit NewArticleWanted();
}

QString ListReadingView::Title(Article article) const
{
    ArticleEntry *entry = EntryOf(article);
    // "Generate Default Article Titles" covers an article typed after it was added, too.
    m_list.GiveDefaultTitle(entry);
    return entry ? entry->Title() : QString();
}

QString ListReadingView::Voice(Article article) const
{
    ArticleEntry *entry = EntryOf(article);
    return entry ? entry->VoiceName() : QString();
}

QString ListReadingView::Text(Article article) const
{
    ArticleEntry *entry = EntryOf(article);
    return entry ? entry->Text() : QString();
}

void ListReadingView::SetLocked(Article article, bool locked)
{
    if (ArticleEntry *entry = EntryOf(article))
        entry->Locked = locked;
}

void ListReadingView::RestoreWindow()
{
    if (!m_window.isVisible() || m_window.isMinimized())
        emit RestoreWindowWanted();
}

void ListReadingView::ShowFileOptions()
{
    emit FileOptionsWanted();
}

void ListReadingView::FocusHeader(Article article)
{
    if (ArticleEntry *entry = EntryOf(article))
        m_view.FocusHeader(entry);
}

void ListReadingView::FocusEditor(Article article)
{
    ArticleEntry *entry = EntryOf(article);
    if (entry && m_window.isVisible() && m_view.OnScreen(entry))
        m_view.EditorFor(entry)->setFocus(Qt::OtherFocusReason);
}

void ListReadingView::ShowWord(Article article, int caret, int wordEnd, bool highlight)
{
    ArticleEditor *editor = m_view.EditorFor(EntryOf(article));
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
    emit SaveWanted();
}
