#include "ArticlesTestSupport.h"
#include "SavedArticles.h"

#include <gtest/gtest.h>

using namespace ArticlesTest;

TEST(SplitToken, CutsAtFirstDelimiterOrTakesAll)
{
    QString s = "News|Mary|2";
    EXPECT_EQ(SplitToken(s, "|"), "News");
    EXPECT_EQ(s, "Mary|2");
    EXPECT_EQ(SplitToken(s, ",|"), "Mary");
    EXPECT_EQ(SplitToken(s, "|"), "2");
    EXPECT_EQ(s, "");
    QString empty = "|x";
    EXPECT_EQ(SplitToken(empty, "|"), "");
    EXPECT_EQ(empty, "x");
}

TEST(SavedArticlesFormat, LineBreakInTitleCannotSplitTheRecord)
{
    EXPECT_EQ(SavedArticles::PropertyString("a\nb", "v", 0), "a b|v|0");
}

TEST(SavedArticlesParse, IgnoresNonSavedFilesAndReadsLfOnlyFiles)
{
    // The records of the format itself: NewsArticleIsWrittenAsFiveLines and the round trip.
    EXPECT_TRUE(SavedArticles::Parse("").Records.empty());
    EXPECT_TRUE(SavedArticles::Parse("hello\r\n" + S + "t|v|1\r\nx\r\n" + E).Records.empty());
    // Files written with LF only still load.
    const auto lf = SavedArticles::Parse(QByteArray(S + "a|b|1\r\nx\r\n" + E).replace("\r\n", "\n"));
    ASSERT_EQ(lf.Records.size(), 1u);
    EXPECT_EQ(lf.Records[0].Text, "x");
}

TEST(SavedArticlesParse, DamagedRecordsDoNotLoseTheFollowingArticles)
{
    // Bad line count, a title holding "|", an end marker inside the text,
    // and stray lines between records.
    const QByteArray file = S + "first|v|many\r\nkept\r\n" + E +
                            S + "A|B|Mary|1\r\nbar title\r\n" + E +
                            S + "third|v|3\r\nbefore\r\n" + E + "after\r\n" + E +
                            "stray\r\n" +
                            S + "last|v|1\r\nend\r\n" + E;
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
