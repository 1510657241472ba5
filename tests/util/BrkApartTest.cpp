#include "Brkapart.h"

#include <gtest/gtest.h>

namespace {

QStringList split(const QString &text, const QString &delimiter, bool allowEmpty)
{
    TBrkApart splitter;
    splitter.StringList = QStringList{"stale"};
    splitter.BaseString = text;
    splitter.BreakString = delimiter;
    splitter.AllowEmptyString = allowEmpty;
    splitter.BreakApart();
    return splitter.StringList;
}

}  // namespace

TEST(StringSplitter, SplitsAtEveryDelimiterKeepingEmptyPiecesOnlyWhenAllowed)
{
    EXPECT_EQ(split("Software\\Key\\Sub", "\\", false), (QStringList{"Software", "Key", "Sub"}));
    EXPECT_EQ(split("no delimiter", "\\", false), QStringList{"no delimiter"});
    EXPECT_EQ(split("\\a\\\\b\\", "\\", false), (QStringList{"a", "b"}));
    EXPECT_EQ(split("\\a\\\\b\\", "\\", true), (QStringList{"", "a", "", "b", ""}));
    EXPECT_EQ(split("", "\\", false), QStringList());
    EXPECT_EQ(split("", "\\", true), QStringList{""});
}

TEST(StringSplitter, LongDelimitersMatchWholeAndCaseSensitively)
{
    EXPECT_EQ(split("oneABtwoabthreeAB", "AB", true), (QStringList{"one", "twoabthree", ""}));
    EXPECT_EQ(split("xaaay", "aa", true), (QStringList{"x", "ay"}));
    EXPECT_EQ(split("a\\b", "", false), QStringList{"a\\b"});  // an empty delimiter never matches
}
