#include "ArticleEditor.h"
#include "ArticleHeader.h"
#include "ArticleListView.h"
#include "ArticleRow.h"
#include "ArticlesTestSupport.h"
#include "PreferenceUnit.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace ArticlesTest;

namespace {

struct TestVoices : VoiceChoiceSource {
    std::vector<VoiceChoice> VoiceChoices() const override
    {
        return {{"Mary", true, true}, {"Mike", true, true}, {QString::fromUtf8("Zo\u00eb"), true, true}};
    }
} testVoices;

// The row showing an article now, if any.
ArticleRow *row(const ArticleEntry *entry)
{
    return static_cast<ArticleRow *>(entry->Display());
}

// The 1-based positions of the articles shown.
std::vector<int> shownRows(const ArticleListView &view)
{
    std::vector<int> out;
    for (const ArticleRow *v : view.ShownViews())
        out.push_back(view.Articles().FindEntry(v->Entry()));
    return out;
}

class ListView : public ::testing::Test
{
protected:
    ListView()
    {
        list.SetPreferences(&prefs);
        view.resize(400, 300);
        view.show();
    }
    void multi(int rows)
    {
        list.SetMultiArticle(true);
        view.SetVisibleEntries(rows);
    }

    TPreferences prefs;
    ArticleList list;
    ArticleListView view{list};
};

// A list of articles and its view of three rows with voices.
struct ShownList {
    explicit ShownList(bool multi = true)
    {
        view.SetVoiceChoices(&testVoices);
        list.SetMultiArticle(multi);
        view.SetVisibleEntries(3);
        view.resize(500, 400);
    }
    ArticleList list;
    ArticleListView view{list};
};

// Such a list, and the saved file.
class SavedFile : public ::testing::Test
{
protected:
    ArticleEntry *add(const QString &title, const QString &voice, const QString &text)
    {
        ArticleEntry *e = list->Add(text, voice);
        e->SetTitle(title);
        return e;
    }
    void import(ArticleList &into) { into.ImportList(path); }

    MessageLog messages;
    ShownList shown;
    ArticleList *list = &shown.list;
    ArticleListView *view = &shown.view;
    QString path = TestSupport::homeDir() + "/VXExport.txt";
};

}  // namespace

TEST_F(ListView, SingleModeReusesBlankArticleAndReplacesWrittenOne)
{
    prefs.SI_DefaultTitles = false;
    ArticleEntry *first = list.Add("", "");
    EXPECT_TRUE(row(first)->Header->ReadBtn->isHidden());  // the row's buttons are Multi-Article's
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Add("hello", ""), first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(first->Title(), " ");  // nothing deleted yet: the initial last title

    first->SetTitle("Old title");
    ArticleEntry *second = list.Add("second text", "");
    EXPECT_NE(second, first);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(second->Title(), "Old title");
    EXPECT_EQ(list.CurrentEntry(), second);

    prefs.SI_DefaultTitles = true;
    EXPECT_EQ(list.Add("Third, text", "")->Title(), "Third_text");

    // Several articles (from Multi-Article mode): Single-Article mode shows
    // the current one in one row without buttons, and a new article
    // replaces only it; the others come back, in their places.
    multi(2);
    ArticleEntry *b = list.Add("b", "");
    ArticleEntry *c = list.Add("c", "");
    list.SetCurrent(b);
    view.SetVisibleEntries(1);
    list.SetMultiArticle(false);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0), b);
    EXPECT_EQ(list.SetAsideCount(), 2);
    EXPECT_TRUE(view.ScrollBar()->isHidden());
    ASSERT_EQ(view.ShownViews().size(), 1);
    EXPECT_TRUE(view.ShownViews()[0]->Header->ReadBtn->isHidden());
    EXPECT_EQ(view.ShownViews()[0]->height(), view.InnerPanel()->height());
    list.Add("new", "");
    EXPECT_EQ(list.Count(), 1);
    // What is saved on its own holds the articles set aside too.
    const auto records = list.RecordsToSave(QStringLiteral("unused.txt"));
    ASSERT_TRUE(records && records->size() == 3);
    EXPECT_EQ(records->at(1).Text, "new");
    view.SetVisibleEntries(2);
    list.SetMultiArticle(true);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(0)->Text(), "Third, text");
    EXPECT_EQ(list.Entry(1)->Text(), "new");
    EXPECT_EQ(list.Entry(2), c);
    for (const ArticleRow *v : view.ShownViews())
        EXPECT_FALSE(v->Header->ReadBtn->isHidden());
}

TEST_F(ListView, FewArticlesShareTheHeightAndMoreShowTheLastRowsWithScrollBarFigures)
{
    multi(3);
    view.resize(400, 301);
    list.Add("text 1", "");
    ArticleEntry *second = list.Add("text 2", "");
    EXPECT_FALSE(view.ScrollBar()->isVisible());
    EXPECT_EQ(row(second)->height(), 150);  // 150.5 rounds to even
    EXPECT_EQ(row(second)->width(), 400);
    view.resize(400, 303);
    EXPECT_EQ(row(second)->height(), 152);  // 151.5 rounds to even
    EXPECT_EQ(row(second)->y(), 152);

    view.resize(400, 300);
    for (int i = 3; i <= 5; ++i)
        list.Add(QString("text %1").arg(i), "");
    ArticleEntry *sixth = list.Add("text 6", "");
    EXPECT_EQ(shownRows(view), std::vector<int>({4, 5, 6}));
    EXPECT_EQ(view.ScrollBar()->maximum(), 3);
    EXPECT_EQ(view.ScrollBar()->value(), 3);
    EXPECT_TRUE(view.ScrollBar()->isVisible());
    EXPECT_EQ(view.ScrollBar()->pageStep(), 3);
    EXPECT_EQ(list.CurrentEntry(), sixth);
    EXPECT_EQ(row(sixth)->y(), 200);
    EXPECT_EQ(row(sixth)->height(), 100);
    EXPECT_EQ(row(sixth)->width(), 400 - view.ScrollBar()->width());
    EXPECT_EQ(sixth->Title(), "text_6");  // Multi-Article mode always makes titles
    EXPECT_FALSE(row(sixth)->Header->ReadBtn->isHidden());

    view.ScrollBar()->setValue(1);  // the user drags the bar
    EXPECT_EQ(shownRows(view), std::vector<int>({2, 3, 4}));
    view.resize(400, 600);  // a resize keeps the first row
    EXPECT_EQ(shownRows(view), std::vector<int>({2, 3, 4}));
    EXPECT_EQ(row(list.Entry(3))->y(), 400);

    list.MarkEntry(6);
    EXPECT_EQ(shownRows(view), std::vector<int>({4, 5, 6}));
    list.MarkEntry(1);
    EXPECT_EQ(shownRows(view), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(list.CurrentEntry(), list.Entry(0));
    EXPECT_EQ(row(list.Entry(0))->Memo->BackgroundColor(), view.SelectedColor());
    EXPECT_EQ(row(list.Entry(1))->Memo->BackgroundColor(), view.UnselectedColor());
    list.MarkEntry(9);  // out of range: nothing changes
    EXPECT_EQ(list.CurrentEntry(), list.Entry(0));
}

TEST_F(ListView, HiddenArticlesWaitAtTheEnd)
{
    multi(2);
    ArticleEntry *a = list.Add("a", "");
    ArticleEntry *b = list.Add("b", "");
    ArticleEntry *c = list.Add("c", "");
    list.HideEntry(c);  // the current one
    EXPECT_EQ(list.CurrentEntry(), nullptr);
    list.HideEntry(a);
    EXPECT_EQ(list.HiddenCount(), 2);
    EXPECT_EQ(list.GetVisibleCount(), 1);
    EXPECT_EQ(list.Entry(0), b);
    EXPECT_EQ(a->Display(), nullptr);

    ArticleEntry *d = list.Add("d", "");
    EXPECT_EQ(list.FindEntry(d), 2);  // before the hidden ones
    EXPECT_EQ(list.GetVisibleCount(), 2);
    EXPECT_EQ(list.CurrentEntry(), d);
    EXPECT_FALSE(row(d)->isHidden());

    // A blank hidden article is never reused.
    a->SetText("");
    EXPECT_NE(list.Add("e", ""), a);

    const int before = list.Count();
    list.DeleteHiddenEntries();
    EXPECT_EQ(list.Count(), before - 2);
    EXPECT_EQ(list.HiddenCount(), 0);
    EXPECT_EQ(texts(list), QStringList({"b", "d", "e"}));
}

TEST_F(ListView, DeleteBlankEntriesRemovesOnlyTrailingBlanks)
{
    multi(5);
    for (const char *t : {"one", "two", "three", "four", "five"})
        list.Add(t, "");
    list.Entry(1)->SetText("");
    list.Entry(3)->SetText(" ");
    list.Entry(4)->SetText("\n");
    list.DeleteBlankEntries();
    EXPECT_EQ(texts(list), QStringList({"one", "", "three"}));
    EXPECT_EQ(shownRows(view), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(row(list.Entry(2))->height(), 100);  // no gap left behind
}

TEST_F(SavedFile, ExportThenImportRestoresEveryArticleInEitherModeAndTheNextSaveIsTheSame)
{
    // Single-Article mode kept only the last record; a titled article with a
    // blank text was reused by the next record.
    add("First", "Mary", "One line");
    add("empty", "Mike", "blanked below");
    add("Last|piped", QString::fromUtf8("Zo\u00eb"), QString::fromUtf8("caf\u00e9\n\nthird line \u2013 dash"));
    list->Entry(1)->SetText("");
    ASSERT_TRUE(list->ExportList(path));
    const QString again = TestSupport::homeDir() + "/again.txt";
    for (const bool multi : {false, true}) {
        SCOPED_TRACE(multi);
        int reads = 0;
        QMenu menu;
        ShownList shownRestored(multi);
        ArticleList *restored = &shownRestored.list;
        shownRestored.view.SetPopupMenu(&menu);
        QObject::connect(&shownRestored.view, &ArticleListView::ReadRequested, [&](ArticleEntry *e) {
            EXPECT_EQ(e, restored->Entry(0));
            ++reads;
        });
        restored->ImportList(path);
        // Single-Article mode shows the first; the others are saved all the
        // same and come back in Multi-Article mode.
        ASSERT_EQ(restored->Count(), multi ? 3 : 1);
        EXPECT_EQ(restored->CurrentEntry(), restored->Entry(multi ? 2 : 0));
        EXPECT_FALSE(restored->Importing());
        ASSERT_TRUE(restored->ExportList(again));
        EXPECT_EQ(TestSupport::readFile(again), TestSupport::readFile(path));
        restored->SetMultiArticle(true);
        ASSERT_EQ(restored->Count(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(restored->Entry(i)->Title(), list->Entry(i)->Title());
            EXPECT_EQ(restored->Entry(i)->VoiceName(), list->Entry(i)->VoiceName());
            EXPECT_EQ(restored->Entry(i)->Text(), list->Entry(i)->Text());
            EXPECT_EQ(shownRestored.view.EditorFor(restored->Entry(i))->PopupMenu(), &menu);
        }
        shownRestored.view.ViewFor(restored->Entry(0))->Header->ReadBtn->click();
        EXPECT_EQ(reads, 1);
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SavedFile, TenThousandArticlesScrollWithTheRightOneInEachRow)
{
    constexpr int kArticles = 10000;
    QByteArray file;
    for (int i = 1; i <= kArticles; ++i)
        file += S + "t" + QByteArray::number(i) + "|Mary|1\r\ntext " + QByteArray::number(i) + "\r\n" + E;
    ASSERT_TRUE(TestSupport::writeFile(path, file));
    view->show();
    import(*list);
    ASSERT_EQ(list->Count(), kArticles);
    EXPECT_EQ(shownRows(*view), std::vector<int>({9998, 9999, 10000}));
    EXPECT_EQ(view->ScrollBar()->value(), view->ScrollBar()->maximum());
    EXPECT_EQ(list->CurrentEntry(), list->Entry(kArticles - 1));

    for (int first = 1; first <= kArticles - 2; first += 487) {
        view->ScrollBar()->setValue(first - 1);
        const QList<ArticleRow *> rows = view->ShownViews();
        ASSERT_EQ(rows.size(), 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(rows[k]->Entry(), list->Entry(first + k - 1));
            EXPECT_EQ(rows[k]->Memo->Text(), QStringLiteral("text %1").arg(first + k));
            EXPECT_EQ(rows[k]->Header->Title(), QStringLiteral("t%1").arg(first + k));
            EXPECT_EQ(rows[k]->y(), k * rows[k]->height());
        }
    }

    // The article being read keeps its editor and highlight out of view.
    ArticleEditor *reading = view->EditorFor(list->Entry(7));
    reading->SetSelStart(5);
    reading->SetSelLength(1);
    for (int value = 0; value < 40; ++value)
        view->ScrollBar()->setValue(value);
    EXPECT_EQ(view->EditorFor(list->Entry(7)), reading);
    EXPECT_EQ(reading->textCursor().selectedText(), "8");
    EXPECT_LE(view->findChildren<ArticleRow *>().size(), 5);

    ASSERT_TRUE(list->ExportList(path));
    ShownList shownRestored;
    ArticleList *restored = &shownRestored.list;
    import(*restored);
    ASSERT_EQ(restored->Count(), kArticles);
    EXPECT_EQ(restored->Entry(kArticles - 1)->Title(), "t10000");
}
