#include "ArticleText.h"

#include <gtest/gtest.h>

using ArticleText::MakeTitle;

TEST(MakeTitle, RunsOfNonAlphanumericsBecomeOneUnderscoreWithinTheLimit)
{
    EXPECT_EQ(MakeTitle("Hello, world! How are you?", 20), "Hello_world_How_are");
    EXPECT_EQ(MakeTitle("Breaking news: markets rally", 20), "Breaking_news_market");
    EXPECT_EQ(MakeTitle("a  b", 20), "a_b");  // the second blank is not counted
    EXPECT_EQ(MakeTitle("...abc", 20), "abc");
    EXPECT_EQ(MakeTitle("...abc", 3), "ab");  // the leading separator used one unit
    // Accented letters, line breaks and emoji are separators like punctuation.
    EXPECT_EQ(MakeTitle(QString::fromUtf8("Caf\u00e9 au\r\nlait \U0001F600 2"), 20), "Caf_au_lait_2");
    EXPECT_EQ(MakeTitle("", 20), "");
    EXPECT_EQ(MakeTitle("!?... --", 20), "");
}

TEST(MakeTitle, NeverDoubledLeadingOrTrailingUnderscores)
{
    const QString samples[] = {"  a -- b  ", "__x__y__", "x!\n\n\ty", "-a-", "1 , 2 ;; 3"};
    for (const QString &s : samples) {
        for (int n = 1; n < 12; ++n) {
            const QString t = MakeTitle(s, n);
            EXPECT_FALSE(t.contains("__")) << qPrintable(s) << n;
            EXPECT_FALSE(t.startsWith('_') || t.endsWith('_')) << qPrintable(s) << n;
            EXPECT_LE(t.size(), n);
        }
    }
}

TEST(TextFiles, DecodingFallsBackToWindows1252AndLinesEndInAnyStyle)
{
    EXPECT_EQ(ArticleText::DecodeTextFile("\xEF\xBB\xBF"
                                          "caf\xC3\xA9"),
              QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(ArticleText::DecodeTextFile("\x80 caf\xE9"), QString::fromUtf8("\u20ac caf\u00e9"));
    EXPECT_EQ(ArticleText::DecodeTextFile(QByteArray("a\0b", 3)), QString::fromUtf8("a\uFFFDb"));
    EXPECT_EQ(ArticleText::SplitLines("a\r\nb\nc\rd\r\n"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(ArticleText::ToCrLfUtf8("a\nb\r\nc\rd"), QByteArray("a\r\nb\r\nc\r\nd"));
}
