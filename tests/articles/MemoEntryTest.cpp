#include "MemoEntryUnit.h"

#include "ArticlesTestSupport.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ArticlesTest;

namespace {

QStringList items(const QComboBox *cb)
{
    QStringList out;
    for (int i = 0; i < cb->count(); ++i)
        out << cb->itemText(i);
    return out;
}

}  // namespace

TEST(MyPlusMemo, TextAndItsOffsetsStayTheArticlesAlsoWhereLongLinesAreShownInPieces)
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

TEST(MemoEntry, LoadFromFileAppendsLinesReportsOnlyMissingFilesAndSurvivesBinaryAndHugeLines)
{
    MessageLog messages;
    TMemoEntry entry(nullptr);
    entry.SetText("existing");
    const auto load = [&entry](const char *name, const QByteArray &bytes) {
        const QString file = TestSupport::homeDir() + '/' + name;
        EXPECT_TRUE(TestSupport::writeFile(file, bytes));
        return entry.LoadFromFile(file);
    };
    EXPECT_FALSE(entry.LoadFromFile(TestSupport::homeDir() + "/missing.txt"));
    EXPECT_TRUE(load("empty.txt", {}));
    EXPECT_EQ(entry.Text(), "existing");
    EXPECT_TRUE(load("news.txt", "caf\xE9\r\n\x93quoted\x94\r\n"));
    EXPECT_EQ(entry.Text(), QString::fromUtf8("existing\ncaf\u00e9\n\u201cquoted\u201d"));

    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char(i % 251);
    entry.SetText("");
    EXPECT_TRUE(load("a.bin", binary));
    EXPECT_FALSE(entry.Text().contains(QChar(0)));
    EXPECT_GT(entry.Text().size(), 1000);
    entry.SetText("");
    EXPECT_TRUE(load("long.txt", QByteArray(500000, 'x')));
    EXPECT_EQ(entry.Text().size(), 500000);
    EXPECT_TRUE(messages.texts.isEmpty());

    // A named pipe or a device is no text file: refused at once, not waited on.
    const QString fifo = TestSupport::homeDir() + "/pipe.txt";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &special : {fifo, QStringLiteral("/dev/zero")})
        EXPECT_FALSE(entry.LoadFromFile(special)) << special.toStdString();
    EXPECT_EQ(entry.Text().size(), 500000);
}

TEST(PropertyPanel, RefillKeepsCurrentVoiceUntilAnotherIsChosen)
{
    std::vector<VoiceChoice> voices = {
        {"Alice", true, true}, {"Bob", true, false}, {"Carol", false, true}, {"Dave", true, true}};
    TMemoEntryView view(nullptr, [&] { return voices; });
    TPropertyPanel *h = view.Header;
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

TEST(MemoEntryView, AnArticleKeepsItsEditsAndAVoiceThatIsNoFavouriteAcrossViews)
{
    const std::vector<VoiceChoice> voices = {{"Alice", true, true}, {"Carol", false, true}};
    TMemoEntry a, b;
    a.SetVoiceName("Carol");
    a.SetText("first text");
    b.SetText("second");
    TMemoEntryView view(nullptr, [&] { return voices; });
    view.Bind(&a);
    view.Header->DeleteBtn->click();  // no handler assigned: nothing happens
    EXPECT_EQ(items(view.Header->VoiceCB), QStringList({"Alice", "Carol"}));
    EXPECT_FALSE(view.Header->TitleEdit->accessibleName().isEmpty());
    EXPECT_FALSE(view.Header->VoiceCB->accessibleName().isEmpty());
    EXPECT_EQ(a.VoiceName(), "Carol");
    view.Memo->SetSelStart(6);
    view.Memo->insertPlainText("edited ");
    view.Header->TitleEdit->setText("Mine");

    view.Bind(&b);  // the row is reused for another article
    EXPECT_EQ(view.Memo->Text(), "second");
    EXPECT_EQ(a.View(), nullptr);
    EXPECT_EQ(a.Text(), "first edited text");
    EXPECT_EQ(a.Title(), "Mine");
    EXPECT_EQ(a.VoiceName(), "Carol");
    EXPECT_FALSE(a.IsBlank());

    view.Bind(&a);
    EXPECT_EQ(view.Memo->SelStart(), 13);  // the caret comes back too
    view.Memo->clear();
    EXPECT_TRUE(a.IsBlank());
}
