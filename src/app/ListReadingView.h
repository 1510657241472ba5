#pragma once
// The article list as the reading commands see it: articles are the list's
// entries, positions are 1-based among those not hidden. What needs the
// window (saving, a new article, the window restored, the file options) it
// asks for by signals.

#include "reader/ReadingController.h"

#include <QObject>

class ArticleEntry;
class ArticleList;
class ArticleListView;
class QWidget;

class ListReadingView : public QObject, public ReadingView
{
    Q_OBJECT
public:
    // window is the one the list is shown in, for its visible state.
    ListReadingView(ArticleList &list, ArticleListView &view, const QWidget &window);

    static ArticleEntry *EntryOf(Article article);

    int Count() const override;
    Article ArticleAt(int position) const override;
    int PositionOf(Article article) const override;
    Article Selected() const override;
    void Mark(int position) override;
    bool Hide(Article article) override;
    void DeleteHidden() override;
    void UnlockAll() override;
    void Save() override;
    void AddEmptyArticleIfNone() override;
    QString Title(Article article) const override;
    QString Voice(Article article) const override;
    QString Text(Article article) const override;
    void SetLocked(Article article, bool locked) override;
    void RestoreWindow() override;
    void ShowFileOptions() override;
    void FocusHeader(Article article) override;
    void FocusEditor(Article article) override;
    void ShowWord(Article article, int caret, int wordEnd, bool highlight) override;

signals:
    void SaveWanted();
    // The list is empty and must not stay so.
    void NewArticleWanted();
    // The window is hidden or minimised and is to come back.
    void RestoreWindowWanted();
    void FileOptionsWanted();

private:
    ArticleList &m_list;
    ArticleListView &m_view;
    const QWidget &m_window;
};
