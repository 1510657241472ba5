#pragma once
// The main window's article list as the reading commands see it: articles
// are the list's entries, positions are 1-based among those not hidden.

#include "reader/ReadingController.h"

class MainWindow;
class TMemoEntry;

class ListReadingView : public ReadingView
{
public:
    explicit ListReadingView(MainWindow &form) : m_form(form) {}

    static TMemoEntry *EntryOf(Article article);

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

private:
    MainWindow &m_form;
};
