#include "ArticleEditor.h"
#include "ArticleHeader.h"
#include "ArticleRow.h"

#include "ArticlesTestSupport.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <QFile>

#include <gtest/gtest.h>


using namespace ArticlesTest;

namespace {

// Voices a test changes as it goes.
struct Voices : VoiceChoiceSource {
    std::vector<VoiceChoice> list;
    std::vector<VoiceChoice> VoiceChoices() const override { return list; }
};

QStringList items(const QComboBox *cb)
{
    QStringList out;
    for (int i = 0; i < cb->count(); ++i)
        out << cb->itemText(i);
    return out;
}

}  // namespace

TEST(ArticleEditor, TextAndItsOffsetsStayTheArticlesAlsoWhereLongLinesAreShownInPieces)
{
    ArticleEditor memo;
    memo.SetText("Hello\r\nWorld");
    EXPECT_EQ(memo.Text(), "Hello\nWorld");
    EXPECT_EQ(memo.LineCount(), 2);
    memo.SetSelStart(memo.Text().indexOf("World"));
    memo.SetSelLength(5);
    EXPECT_EQ(memo.textCursor().selectedText(), "World");
    memo.SetSelLength(1000);  // clamped at the end of the text
    EXPECT_EQ(memo.SelLength(), 5);

    // Long lines of words, of one word, and with a surrogate pair where a
    // piece would end; the editor shows pieces, but hands out the article.
    const int n = ArticleEditor::kSoftLineChars;
    const QString words = QString("word ").repeated(3 * n / 5);
    const QString word = QString(n - 1, 'x') + QString::fromUtf8("\U0001F600") + QString(2 * n, 'y');
    const QString text = "short\n" + words + "\n\n" + word + "\nend";
    memo.SetText(text);
    ASSERT_GT(memo.document()->blockCount(), 8);
    EXPECT_EQ(memo.Text(), text);
    EXPECT_EQ(memo.TextLength(), text.size());
    EXPECT_EQ(memo.LineCount(), 5);
    for (const QString &part : {QString("y"), QString::fromUtf8("\U0001F600"), QString("end"), QString("word word")}) {
        for (const int at : {int(text.indexOf(part, n)), int(text.lastIndexOf(part))}) {
            memo.SetSelStart(at);
            memo.SetSelLength(int(part.size()));
            EXPECT_EQ(memo.SelStart(), at);
            EXPECT_EQ(memo.SelLength(), part.size());
            // The editor's own selection holds a piece's end where it crosses one.
            EXPECT_EQ(memo.textCursor().selectedText().remove(QChar::ParagraphSeparator), part) << at;
        }
    }

    // Copy, cut, undo and paste carry the article's text; a line break
    // typed inside a piece is one line break more, nothing else.
    memo.selectAll();
    memo.cut();
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    EXPECT_TRUE(memo.Text().isEmpty());
    memo.undo();
    EXPECT_EQ(memo.Text(), text);
    memo.SetSelStart(int(text.indexOf("end")));
    memo.paste();
    EXPECT_EQ(memo.Text(), text.left(text.size() - 3) + text + "end");
    memo.SetText(text);
    const int middle = int(text.indexOf('y') + n / 2);
    memo.SetSelStart(middle);
    QTest::keyClick(&memo, Qt::Key_Return);
    EXPECT_EQ(memo.Text(), text.left(middle) + "\n" + text.mid(middle));
    memo.undo();
    EXPECT_EQ(memo.Text(), text);

    // A long text of short lines: they share blocks, and still come back,
    // count and copy as lines.
    QString lines;
    for (int i = 0; lines.size() <= ArticleEditor::kGroupLinesFromChars; ++i)
        lines += QString("line %1\n").arg(i);
    lines += "last";
    memo.SetText(lines);
    EXPECT_LT(memo.document()->blockCount(), 5000);
    EXPECT_EQ(memo.Text(), lines);
    EXPECT_EQ(memo.LineCount(), lines.count('\n') + 1);
    const int at = int(lines.indexOf("line 9999\n"));
    ASSERT_GT(at, 0);
    memo.SetSelStart(at);
    memo.SetSelLength(22);
    memo.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), lines.mid(at, 22));
}

TEST(ArticleHeader, RefillKeepsCurrentVoiceUntilAnotherIsChosen)
{
    Voices source;
    std::vector<VoiceChoice> &voices = source.list;
    voices = {{"Alice", true, true}, {"Bob", true, false}, {"Carol", false, true}, {"Dave", true, true}};
    ArticleRow view(nullptr, &source);
    ArticleHeader *h = view.Header;
    // A new article offers every favourite, whatever its engine.
    EXPECT_EQ(items(h->VoiceCB), QStringList({"Alice", "Bob", "Dave"}));
    ASSERT_TRUE(h->SelectVoice("Bob"));

    h->LoadVoiceList();
    EXPECT_EQ(items(h->VoiceCB), QStringList({"Alice", "Bob", "Dave"}));
    EXPECT_EQ(h->Voice(), "Bob");
    h->SelectVoice("Dave");
    h->FocusLeft();
    h->LoadVoiceList();
    EXPECT_EQ(items(h->VoiceCB), QStringList({"Alice", "Dave"}));
    EXPECT_EQ(h->Voice(), "Dave");

    // No refill while the list is current.
    voices.push_back({"Eve", true, true});
    h->LoadVoiceList();
    EXPECT_EQ(h->VoiceCB->count(), 2);
    h->FocusLeft();
    h->LoadVoiceList();
    EXPECT_EQ(h->VoiceCB->count(), 3);

    // A voice that no longer exists leaves the first one selected.
    voices = {{"Zed", true, true}};
    h->FocusLeft();
    h->LoadVoiceList();
    EXPECT_EQ(h->Voice(), "Zed");
}

TEST(ArticleRow, AnArticleKeepsItsEditsAndAVoiceThatIsNoFavouriteAcrossViews)
{
    Voices voices;
    voices.list = {{"Alice", true, true}, {"Carol", false, true}};
    ArticleEntry a, b;
    a.SetVoiceName("Carol");
    a.SetText("first text");
    b.SetText("second");
    ArticleRow view(nullptr, &voices);
    view.Bind(&a);
    int deletes = 0;
    QObject::connect(&view, &ArticleRow::DeleteClicked, [&](ArticleEntry *e) { deletes += e == &a; });
    view.Header->DeleteBtn->click();
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(items(view.Header->VoiceCB), QStringList({"Alice", "Carol"}));
    EXPECT_FALSE(view.Header->TitleEdit->accessibleName().isEmpty());
    EXPECT_FALSE(view.Header->VoiceCB->accessibleName().isEmpty());
    EXPECT_EQ(a.VoiceName(), "Carol");
    view.Memo->SetSelStart(6);
    view.Memo->insertPlainText("edited ");
    view.Header->TitleEdit->setText("Mine");

    view.Bind(&b);  // the row is reused for another article
    EXPECT_EQ(view.Memo->Text(), "second");
    EXPECT_EQ(a.Display(), nullptr);
    EXPECT_EQ(a.Text(), "first edited text");
    EXPECT_EQ(a.Title(), "Mine");
    EXPECT_EQ(a.VoiceName(), "Carol");
    EXPECT_FALSE(a.IsBlank());

    view.Bind(&a);
    EXPECT_EQ(view.Memo->SelStart(), 13);  // the caret comes back too
    view.Memo->clear();
    EXPECT_TRUE(a.IsBlank());
}
