#include "Brkapart.h"

#include <gtest/gtest.h>

namespace {

QStringList split(const QString &text, const QString &delimiter, bool allowEmpty)
{
    TBrkApart splitter;
    splitter.BaseString = text;
    splitter.BreakString = delimiter;
    splitter.AllowEmptyString = allowEmpty;
    splitter.BreakApart();
    return splitter.StringList;
}

}  // namespace

TEST(StringSplitter, SplitsKeyPathsAtEveryDelimiter)
{
    EXPECT_EQ(split(QStringLiteral("Software\\Key\\Sub"), QStringLiteral("\\"), false),
              (QStringList{"Software", "Key", "Sub"}));
    EXPECT_EQ(split(QStringLiteral("no delimiter"), QStringLiteral("\\"), false), QStringList{"no delimiter"});
}

TEST(StringSplitter, EmptyPiecesAreKeptOnlyWhenAllowed)
{
    const QString text = QStringLiteral("\\a\\\\b\\");
    EXPECT_EQ(split(text, QStringLiteral("\\"), false), (QStringList{"a", "b"}));
    EXPECT_EQ(split(text, QStringLiteral("\\"), true), (QStringList{"", "a", "", "b", ""}));

    EXPECT_EQ(split(QString(), QStringLiteral("\\"), false), QStringList());
    EXPECT_EQ(split(QString(), QStringLiteral("\\"), true), QStringList{QString()});
}

TEST(StringSplitter, LongDelimitersMatchExactlyAndCaseSensitively)
{
    EXPECT_EQ(split(QStringLiteral("oneABtwoabthreeAB"), QStringLiteral("AB"), true),
              (QStringList{"one", "twoabthree", ""}));
    // Overlapping candidates: the search resumes after each whole match.
    EXPECT_EQ(split(QStringLiteral("xaaay"), QStringLiteral("aa"), true), (QStringList{"x", "ay"}));
    // An empty delimiter never matches, so the text stays whole.
    EXPECT_EQ(split(QStringLiteral("a\\b"), QString(), false), QStringList{"a\\b"});
}

TEST(StringSplitter, RunningAgainReplacesThePreviousPieces)
{
    TBrkApart splitter;
    splitter.BaseString = QStringLiteral("a,b,c");
    splitter.BreakString = QStringLiteral(",");
    splitter.BreakApart();
    splitter.BaseString = QStringLiteral("d");
    splitter.BreakApart();
    EXPECT_EQ(splitter.StringList, QStringList{"d"});
}
