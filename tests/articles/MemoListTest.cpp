#include "ArticlesTestSupport.h"
#include "PreferenceUnit.h"
#include "TestSupport.h"
#include "UtilsClass.h"

#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <memory>

using namespace ArticlesTest;

namespace {

class MemoList : public ::testing::Test
{
protected:
    MemoList()
    {
        Prefs = &prefs;
        list.resize(400, 300);
        list.show();
    }
    ~MemoList() override { Prefs = nullptr; }
    void multi(int rows)
    {
        list.SetMultiArticle(true);
        list.SetVisibleEntries(rows);
    }
    std::vector<int> shownRows() const { return ArticlesTest::shownRows(list); }
    QStringList texts() const { return ArticlesTest::texts(list); }

    TPreferences prefs;
    TMemoListBox list;
};

}  // namespace

TEST_F(MemoList, SingleModeReusesBlankArticleAndReplacesWrittenOne)
{
    Prefs->SI_DefaultTitles = false;
    TMemoEntry *first = list.Add("", "");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Add("hello", ""), first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(first->Title(), " ");  // nothing deleted yet: the initial last title

    first->SetTitle("Old title");
    TMemoEntry *second = list.Add("second text", "");
    EXPECT_NE(second, first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(second->Title(), "Old title");
    EXPECT_EQ(list.CurrentEntry(), second);

    Prefs->SI_DefaultTitles = true;
    EXPECT_EQ(list.Add("Third, text", "")->Title(), "Third_text");
}

TEST_F(MemoList, LayoutShowsLastRowsWithScrollBarFigures)
{
    multi(3);
    for (int i = 1; i <= 5; ++i)
        list.Add(QString("text %1").arg(i), "");
    TMemoEntry *sixth = list.Add("text 6", "");
    EXPECT_EQ(shownRows(), std::vector<int>({4, 5, 6}));
    EXPECT_EQ(list.ScrollBar()->maximum(), 3);
    EXPECT_EQ(list.ScrollBar()->value(), 3);
    EXPECT_TRUE(list.ScrollBar()->isVisible());
    EXPECT_EQ(list.ScrollBar()->pageStep(), 3);
    EXPECT_EQ(list.CurrentEntry(), sixth);
    EXPECT_EQ(sixth->y(), 200);
    EXPECT_EQ(sixth->height(), 100);
    EXPECT_EQ(sixth->width(), 400 - list.ScrollBar()->width());
    EXPECT_EQ(sixth->Title(), "text_6");  // Multi-Article mode always makes titles
    EXPECT_FALSE(sixth->Header->ReadBtn->isHidden());

    list.ScrollBar()->setValue(1);  // the user drags the bar
    EXPECT_EQ(shownRows(), std::vector<int>({2, 3, 4}));
    list.resize(400, 600);  // a resize keeps the first row
    EXPECT_EQ(shownRows(), std::vector<int>({2, 3, 4}));
    EXPECT_EQ(list.Entry(3)->y(), 400);

    list.MarkEntry(6);
    EXPECT_EQ(shownRows(), std::vector<int>({4, 5, 6}));
    list.MarkEntry(1);
    EXPECT_EQ(shownRows(), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(list.CurrentEntry(), list.Entry(0));
    EXPECT_EQ(list.Entry(0)->Memo->BackgroundColor(), list.SelectedColor());
    EXPECT_EQ(list.Entry(5)->Memo->BackgroundColor(), list.UnselectedColor());
    list.MarkEntry(9);  // out of range: nothing changes
    EXPECT_EQ(list.CurrentEntry(), list.Entry(0));
}

TEST_F(MemoList, FewerArticlesThanRowsShareTheHeightRoundedHalfToEven)
{
    multi(3);
    list.resize(400, 301);
    list.Add("a", "");
    TMemoEntry *b = list.Add("b", "");
    EXPECT_FALSE(list.ScrollBar()->isVisible());
    EXPECT_EQ(b->height(), 150);  // 150.5 rounds to even
    EXPECT_EQ(b->width(), 400);
    list.resize(400, 303);
    EXPECT_EQ(b->height(), 152);  // 151.5 rounds to even
    EXPECT_EQ(b->y(), 152);
}

TEST_F(MemoList, HiddenArticlesWaitAtTheEnd)
{
    multi(2);
    TMemoEntry *a = list.Add("a", "");
    TMemoEntry *b = list.Add("b", "");
    TMemoEntry *c = list.Add("c", "");
    list.HideEntry(c);  // the current one
    EXPECT_EQ(list.CurrentEntry(), nullptr);
    list.HideEntry(a);
    EXPECT_EQ(list.HiddenCount(), 2);
    EXPECT_EQ(list.GetVisibleCount(), 1);
    EXPECT_EQ(list.Entry(0), b);
    EXPECT_TRUE(a->isHidden());

    TMemoEntry *d = list.Add("d", "");
    EXPECT_EQ(list.FindEntry(d), 2);  // before the hidden ones
    EXPECT_EQ(list.GetVisibleCount(), 2);
    EXPECT_EQ(list.CurrentEntry(), d);
    EXPECT_FALSE(d->isHidden());

    // A blank hidden article is never reused.
    a->SetText("");
    EXPECT_NE(list.Add("e", ""), a);

    const int before = list.Count();
    list.DeleteHiddenEntries();
    EXPECT_EQ(list.Count(), before - 2);
    EXPECT_EQ(list.HiddenCount(), 0);
    EXPECT_EQ(texts(), QStringList({"b", "d", "e"}));
}

TEST_F(MemoList, DeleteBlankEntriesRemovesOnlyTrailingBlanks)
{
    multi(5);
    for (const char *t : {"one", "two", "three", "four", "five"})
        list.Add(t, "");
    list.Entry(1)->SetText("");
    list.Entry(3)->SetText(" ");
    list.Entry(4)->SetText("\n");
    list.DeleteBlankEntries();
    EXPECT_EQ(texts(), QStringList({"one", "", "three"}));
    EXPECT_EQ(shownRows(), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(list.Entry(2)->height(), 100);  // no gap left behind
}

TEST_F(MemoList, LockedArticlesAreNeitherDeletedNorReplaced)
{
    multi(3);
    TMemoEntry *a = list.Add("a", "");
    list.Add("b", "");
    a->Locked = true;
    try {
        list.DeleteAll();
        FAIL() << "no exception";
    } catch (const EMemoEntryLocked &e) {
        EXPECT_EQ(e.message(), "Memo Entry Locked");
    }
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.DeleteMemoEntry(a), EMemoEntryLocked);
    EXPECT_THROW(list.HideEntry(a), EMemoEntryLocked);
    EXPECT_EQ(list.HiddenCount(), 0);

    list.SetMultiArticle(false);
    EXPECT_THROW(list.Add("new", ""), EMemoEntryLocked);
    EXPECT_EQ(texts(), QStringList({"a", "b"}));
    list.UnlockAllEntries();
    list.DeleteAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.LastTitle(), "b");
}

TEST_F(MemoList, DeleteSelectedNeedsACurrentArticle)
{
    MessageLog shown;
    multi(3);
    list.Add("a", "");
    TMemoEntry *b = list.Add("b", "");
    b->SetTitle("Gone");
    list.DeleteSelected();
    EXPECT_EQ(list.CurrentEntry(), nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.LastTitle(), "Gone");
    EXPECT_TRUE(shown.texts.isEmpty());
    list.DeleteSelected();
    EXPECT_EQ(shown.texts, QStringList({"No rows are currently selected"}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindEntry(b), 0);
}

TEST_F(MemoList, OperationsLeaveTraceLinesWithListInfo)
{
    multi(3);
    list.Add("a", "");
    list.HideEntry(list.Entry(0));
    const QString log = QString::fromUtf8(TestSupport::readFile(UtilsClass::LogFileName()));
    EXPECT_TRUE(log.contains("MemoListBox - Add [0 0]")) << qPrintable(log);
    EXPECT_TRUE(log.contains("MemoListBox - ScrollToTop(1) [1 0]"));
    EXPECT_TRUE(log.contains("MemoListBox - HideEntry [1 0]"));
}
