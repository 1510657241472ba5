#include "ArticleText.h"

#include <gtest/gtest.h>

using ArticleText::MakeTitle;

TEST(MakeTitle, KeepsLettersAndDigitsAndJoinsTheRestWithOneUnderscore)
{
    EXPECT_EQ(MakeTitle("Hello, world! How are you?", 20), "Hello_world_How_are");
    EXPECT_EQ(MakeTitle("Breaking news: markets rally", 20), "Breaking_news_market");
    EXPECT_EQ(MakeTitle("a  b", 20), "a_b");
    EXPECT_EQ(MakeTitle("My News", 20), "My_News");
    // Accented letters, line breaks and emoji are separators like punctuation.
    EXPECT_EQ(MakeTitle(QString::fromUtf8("Caf\u00e9 au\r\nlait \U0001F600 2"), 20), "Caf_au_lait_2");
}

TEST(MakeTitle, LeadingSeparatorUsesOneUnitAndIsTrimmed)
{
    EXPECT_EQ(MakeTitle("...abc", 20), "abc");
    EXPECT_EQ(MakeTitle("...abc", 3), "ab");
    EXPECT_EQ(MakeTitle("abcdef", 3), "abc");
}

TEST(MakeTitle, EmptyOrPunctuationOnlyGivesEmptyTitle)
{
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

TEST(DecodeTextFile, Utf8WithOrWithoutByteOrderMark)
{
    EXPECT_EQ(ArticleText::DecodeTextFile("caf\xC3\xA9"), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(ArticleText::DecodeTextFile("\xEF\xBB\xBFok"), "ok");
}

TEST(DecodeTextFile, InvalidUtf8IsReadAsWindows1252)
{
    // 0x80 is the euro sign and 0x93/0x94 curly quotes in Windows-1252.
    EXPECT_EQ(ArticleText::DecodeTextFile("\x80 5 \x93hi\x94 caf\xE9"),
              QString::fromUtf8("\u20ac 5 \u201chi\u201d caf\u00e9"));
}

TEST(DecodeTextFile, NulAndEditorControlCharactersAreReplaced)
{
    const QString s = ArticleText::DecodeTextFile(QByteArray("a\0b", 3) + QString(QChar(0xFDD0)).toUtf8());
    EXPECT_EQ(s, QString::fromUtf8("a\uFFFDb\uFFFD"));
}

TEST(SplitLines, AcceptsCrLfLfAndLoneCr)
{
    EXPECT_EQ(ArticleText::SplitLines("a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(ArticleText::SplitLines("a\r\n"), QStringList({"a"}));
    EXPECT_EQ(ArticleText::SplitLines("\r\n\r\n"), QStringList({"", ""}));
    EXPECT_TRUE(ArticleText::SplitLines("").isEmpty());
}

TEST(ToCrLfUtf8, EveryLineBreakBecomesCrLf)
{
    EXPECT_EQ(ArticleText::ToCrLfUtf8("a\nb\r\nc\rd"), QByteArray("a\r\nb\r\nc\r\nd"));
    EXPECT_EQ(ArticleText::ToCrLfUtf8(QString::fromUtf8("\u00e9")), QByteArray("\xC3\xA9"));
}
