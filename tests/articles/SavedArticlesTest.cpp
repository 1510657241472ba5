#include "ArticlesTestSupport.h"
#include "SavedArticles.h"

#include <gtest/gtest.h>

using namespace ArticlesTest;

TEST(SavedArticlesParse, IgnoresNonSavedFilesAndReadsLfOnlyFiles)
{
    EXPECT_TRUE(SavedArticles::Parse("hello\r\n" + S + "t|v|1\r\nx\r\n" + E).Records.empty());
    EXPECT_TRUE(SavedArticles::Parse("").Recognised);
    const auto lf = SavedArticles::Parse(QByteArray(S + "a|b|1\r\nx\r\n" + E).replace("\r\n", "\n"));
    ASSERT_EQ(lf.Records.size(), 1u);
    EXPECT_EQ(lf.Records[0].Text, "x");
}

TEST(SavedArticlesParse, DamagedRecordsDoNotLoseTheFollowingArticles)
{
    // Bad line count, a title holding "|", an end marker inside the text,
    // and stray lines between records.
    const QByteArray file = S + "first|v|many\r\nkept\r\n" + E + S + "A|B|Mary|1\r\nbar title\r\n" + E + S +
                            "third|v|3\r\nbefore\r\n" + E + "after\r\n" + E + "stray\r\n" + S + "last|v|1\r\nend\r\n" +
                            E;
    const auto r = SavedArticles::Parse(file);
    ASSERT_EQ(r.Records.size(), 4u);
    EXPECT_EQ(r.Records[0].Title, "first");
    EXPECT_FALSE(r.Records[0].LineCountOk);
    EXPECT_EQ(r.Records[0].Text, "kept");
    EXPECT_EQ(r.Records[1].Title, "A|B");
    EXPECT_EQ(r.Records[1].Voice, "Mary");
    EXPECT_EQ(r.Records[2].Text, "before\n||||||Voxtrella MP3 End of Article||||||\nafter");
    EXPECT_EQ(r.Records[3].Title, "last");
    EXPECT_EQ(r.Records[3].Text, "end");
    EXPECT_FALSE(r.Notes.isEmpty());
}

TEST(SavedArticlesParse, DamageThatLostArticlesBeforeCostsNothingNow)
{
    const QByteArray zoe = "Zo\xc3\xab";  // UTF-8
    // Blank lines and a stray blank before the first marker.
    const auto blank = SavedArticles::Parse("\r\n  \r\n " + S + "a|v|1\r\nx\r\n" + E);
    ASSERT_EQ(blank.Records.size(), 1u);
    EXPECT_TRUE(blank.Recognised);
    // UTF-16 with a byte-order mark, as some editors save.
    const QString utf16Text = QString::fromUtf8(S + zoe + "|v|1\r\n" + zoe + "\r\n" + E);
    QByteArray utf16("\xff\xfe", 2);
    utf16.append(reinterpret_cast<const char *>(utf16Text.utf16()), utf16Text.size() * 2);
    const auto wide = SavedArticles::Parse(utf16);
    ASSERT_EQ(wide.Records.size(), 1u);
    EXPECT_EQ(wide.Records[0].Title, QString::fromUtf8(zoe));

    // A Windows-1252 line, a line separator in a title and a missing end
    // marker are read through the real program in NothingLost.
    // Written back, no line break in a title can split the record.
    EXPECT_EQ(SavedArticles::PropertyString(QString::fromUtf8("a\xe2\x80\xa8"
                                                              "b\nc"),
                                            "v", 1),
              "a b c|v|1");
}

TEST(SavedArticlesParse, TextLinesThatAreMarkersReadBackAsTheyWere)
{
    const QString start = QString::fromUtf16(kArticleStartMarker);
    const QString end = QString::fromUtf16(kArticleEndMarker);
    // Markers as whole lines (first, middle, last), behind the backslash the
    // escape itself uses, and inside a longer line.
    const QString text = QStringList{end, start, "\\" + end, "\\\\" + start, "see " + end, end}.join(u'\n');
    const auto r = SavedArticles::Parse(SavedArticles::FormatRecord("t", "v", text, 6) +
                                        SavedArticles::FormatRecord("next", "w", "x", 1));
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Text, text);
    EXPECT_EQ(r.Records[0].Voice, "v");
    EXPECT_EQ(r.Records[1].Title, "next");
    EXPECT_TRUE(r.Notes.isEmpty()) << r.Notes.join(u'\n').toStdString();
}
