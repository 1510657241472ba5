#include "AppPaths.h"
#include "GrabBaseClassUnit.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

namespace {

QString writeTagged(const QByteArray &bytes)
{
    const QString path = TestSupport::homeDir() + QStringLiteral("/tagged.chl");
    EXPECT_TRUE(TestSupport::writeFile(path, bytes));
    return path;
}

QStringList listOf(const GrabBaseClass &g, const QString &path, const QString &name)
{
    QStringList l{QStringLiteral("stale")};
    g.GetList(path, name, l);
    return l;
}

}  // namespace

TEST(TaggedFile, LinesAreTrimmedAndJoinedWithoutBlanks)
{
    GrabBaseClass g;
    const QString path = writeTagged("  <eng>Hello\r\n      world</eng>\r\n\t<fre>Bon\njour</fre>\n\x01<x>a </x> \n");
    EXPECT_EQ(g.LoadFromFile(path), QString());
    EXPECT_EQ(g.FileName, path);
    EXPECT_EQ(g.Text, QStringLiteral("<eng>Helloworld</eng><fre>Bonjour</fre><x>a </x>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("eng")), QStringLiteral("Helloworld"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("FRE")), QStringLiteral("Bonjour"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("x")), QStringLiteral("a "));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("deu")), QString());
    EXPECT_EQ(g.GetValue(QStringLiteral("/nowhere"), QStringLiteral("eng")), QString());
}

TEST(TaggedFile, TextIsReadAsUtf8OrElseWindows1252)
{
    GrabBaseClass g;
    g.LoadFromFile(writeTagged("\xEF\xBB\xBF<fre>Voil\xC3\xA0 \xE2\x80\x94 ok</fre>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("fre")), QStringLiteral("Voil\u00e0 \u2014 ok"));
    EXPECT_TRUE(g.Text.startsWith(QLatin1Char('<')));

    g.LoadFromFile(writeTagged("<fre>Voil\xE0 \x93quoted\x94 \x80 5</fre>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("fre")),
              QStringLiteral("Voil\u00e0 \u201cquoted\u201d \u20ac 5"));
}

TEST(TaggedFile, MissingFileGivesErrorAndEmptyLookups)
{
    GrabBaseClass g;
    g.LoadFromFile(writeTagged("<eng>Hi</eng>"));
    const QString missing = TestSupport::homeDir() + QStringLiteral("/none/AudioTest.chl");
    EXPECT_EQ(g.LoadFromFile(missing), QStringLiteral("File:") + missing + QStringLiteral(" Not Found."));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("eng")), QString());
    EXPECT_TRUE(g.Text.isEmpty());
    EXPECT_TRUE(listOf(g, QStringLiteral("/"), QStringLiteral("HelpTopics")).isEmpty());
    // A folder is no file either.
    EXPECT_FALSE(g.LoadFromFile(TestSupport::homeDir()).isEmpty());

    g.LoadFromFile(writeTagged("<eng>Hi</eng>"));
    g.Clear();
    EXPECT_TRUE(g.FileName.isEmpty());
    EXPECT_TRUE(g.Root->Values.Names.isEmpty());
}

TEST(TaggedFile, ValueWithoutClosingTagIsEmptyAndParsingGoesOn)
{
    GrabBaseClass g;
    g.LoadFromText(QStringLiteral("<a>text<b>val</b>"));
    EXPECT_EQ(g.Root->Values.Names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("val"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("a")), QString());

    // Text with a stray ">" before the tag: the tag is read twice, then on.
    g.LoadFromText(QStringLiteral("x>y<a>z<b>1</b>"));
    EXPECT_EQ(g.Root->Values.Names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("1"));

    // Closing tags match the exact letter case; tag names may hold blanks.
    g.LoadFromText(QStringLiteral("<Help Topic>Said</Help Topic>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("help topic")), QStringLiteral("Said"));
    g.LoadFromText(QStringLiteral("<Help Topic>Said</help topic><Other>ok</Other>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("Help Topic")), QString());
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("Other")), QStringLiteral("ok"));

    // Unfinished tags end the parse without harm.
    g.LoadFromText(QStringLiteral("<a>1</a><b"));
    EXPECT_EQ(g.Root->Values.Count(), 1);
    g.LoadFromText(QStringLiteral("a>b<"));
    EXPECT_EQ(g.Root->Values.Count(), 0);
}

TEST(TaggedFile, LaterValueReplacesEarlierUnderFirstSpelling)
{
    GrabBaseClass g;
    g.LoadFromText(QStringLiteral("<Name>1</Name><name>2</name><NAME>3</NAME>"));
    EXPECT_EQ(g.Root->Values.Names, QStringList{QStringLiteral("Name")});
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("name")), QStringLiteral("3"));
}

TEST(TaggedFile, SectionsNestAndAreFoundByExactPath)
{
    GrabBaseClass g;
    g.LoadFromText(QStringLiteral(
        "<top>t</top><key=Voices><eng>E</eng><KEY name=Inner><x>1</x></KEY><y>2</y></key>"
        "<keyboard><z>3</z></keyboard><key=\"Q\"><q>4</q></Key><after>5</after>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("top")), QStringLiteral("t"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("after")), QStringLiteral("5"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("eng")), QString());
    EXPECT_EQ(g.GetValue(QStringLiteral("/Voices"), QStringLiteral("eng")), QStringLiteral("E"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/Voices"), QStringLiteral("y")), QStringLiteral("2"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/Voices/Inner"), QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/voices"), QStringLiteral("eng")), QString());
    EXPECT_EQ(g.GetValue(QStringLiteral("/Inner"), QStringLiteral("x")), QString());
    EXPECT_EQ(g.GetValue(QStringLiteral("/keyboard"), QStringLiteral("z")), QStringLiteral("3"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/\"Q\""), QStringLiteral("q")), QStringLiteral("4"));

    ASSERT_EQ(g.Root->Children.size(), 3u);
    const GBItemClass &voices = *g.Root->Children[0];
    EXPECT_EQ(voices.KeyName, QStringLiteral("Voices"));
    EXPECT_EQ(voices.Level, 1);
    EXPECT_EQ(voices.Parent, g.Root.get());
    ASSERT_EQ(voices.Children.size(), 1u);
    EXPECT_EQ(voices.Children[0]->Path, QStringLiteral("/Voices/Inner"));
    EXPECT_EQ(voices.Children[0]->Level, 2);
    EXPECT_EQ(g.Root->Path, QStringLiteral("/"));
}

TEST(TaggedFile, UnclosedSectionRunsToEndOfText)
{
    GrabBaseClass g;
    g.LoadFromText(QStringLiteral("<a>1</a><key=S><b>2</b><c>3</c>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/S"), QStringLiteral("c")), QStringLiteral("3"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("c")), QString());
}

TEST(TaggedFile, DeepNestingIsCutOffWithoutHarm)
{
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QStringLiteral("<key=n>");
    text += QStringLiteral("<v>deep</v>");
    for (int i = 0; i < 5000; ++i)
        text += QStringLiteral("</key>");
    text += QStringLiteral("<w>top</w>");
    GrabBaseClass g;
    g.LoadFromText(text);
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("w")), QStringLiteral("top"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/n/n"), QStringLiteral("v")), QString());
    const GBItemClass *item = g.Root.get();
    int depth = 0;
    while (!item->Children.empty()) {
        item = item->Children[0].get();
        ++depth;
    }
    EXPECT_EQ(depth, GrabBaseClass::MaxDepth);
}

TEST(TaggedFile, ListsReadCountThenEntries)
{
    GrabBaseClass g;
    g.LoadFromText(QStringLiteral(
        "<T>3</T><T0>zero</T0><T2>two</T2><Bad>x1</Bad><Neg>-2</Neg><Huge>999999999</Huge>"
        "<key=S><L> 2 </L><L0>a</L0><L1>b</L1></key>"));
    EXPECT_EQ(listOf(g, QStringLiteral("/"), QStringLiteral("T")),
              (QStringList{QStringLiteral("zero"), QString(), QStringLiteral("two")}));
    EXPECT_TRUE(listOf(g, QStringLiteral("/"), QStringLiteral("Bad")).isEmpty());
    EXPECT_TRUE(listOf(g, QStringLiteral("/"), QStringLiteral("Neg")).isEmpty());
    EXPECT_TRUE(listOf(g, QStringLiteral("/"), QStringLiteral("Absent")).isEmpty());
    EXPECT_TRUE(listOf(g, QStringLiteral("/missing"), QStringLiteral("T")).isEmpty());
    EXPECT_EQ(listOf(g, QStringLiteral("/"), QStringLiteral("Huge")).size(), NVListClass::MaxListCount);
    EXPECT_EQ(listOf(g, QStringLiteral("/S"), QStringLiteral("L")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST(TaggedFile, ContentFarBeyondLastElementIsIgnored)
{
    GrabBaseClass g;
    const QString gap(GrabBaseClass::ParseWindow - 8, QLatin1Char('x'));
    g.LoadFromText(QStringLiteral("<a>1</a>") + gap + QStringLiteral("<b>2</b>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("2"));
    const QString wide(GrabBaseClass::ParseWindow + 1, QLatin1Char('x'));
    g.LoadFromText(QStringLiteral("<a>1</a>") + wide + QStringLiteral("<b>2</b>"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("a")), QStringLiteral("1"));
    EXPECT_EQ(g.GetValue(QStringLiteral("/"), QStringLiteral("b")), QString());
}

TEST(TaggedFile, OversizedFileIsRefused)
{
    GrabBaseClass g;
    const QString path = writeTagged(QByteArray(GrabBaseClass::MaxFileSize + 10, 'a'));
    EXPECT_FALSE(g.LoadFromFile(path).isEmpty());
    EXPECT_TRUE(g.Text.isEmpty());
}

TEST(TaggedFile, NameValueListSetsAndGets)
{
    NVListClass l;
    l.Set(QStringLiteral("Eng"), QStringLiteral("1"));
    l.Set(QStringLiteral("fre"), QStringLiteral("2"));
    l.Set(QStringLiteral("ENG"), QStringLiteral("3"));
    EXPECT_EQ(l.Names, (QStringList{QStringLiteral("Eng"), QStringLiteral("fre")}));
    EXPECT_EQ(l.Get(QStringLiteral("eng")), QStringLiteral("3"));
    EXPECT_EQ(l.Get(QStringLiteral("deu")), QString());
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_TRUE(l.Values.isEmpty());
}

// The files shipped in the data folder: every help topic has a spoken text
// whose lines joined cleanly, every language code has a test sentence.
TEST(TaggedFile, ShippedDataFilesAreComplete)
{
    GrabBaseClass help;
    ASSERT_EQ(help.LoadFromFile(AppPaths::dataDir() + QStringLiteral("/AudioHelp.chl")), QString());
    QStringList topics;
    help.GetList(QStringLiteral("/"), QStringLiteral("HelpTopics"), topics);
    ASSERT_GE(topics.size(), 6);
    for (const QString &topic : topics) {
        ASSERT_FALSE(topic.trimmed().isEmpty());
        const QString text = help.GetValue(QStringLiteral("/"), topic);
        EXPECT_GT(text.size(), 100) << topic.toStdString();
        EXPECT_FALSE(text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>'))) << topic.toStdString();
        // A sentence glued to the next one means a line break was lost.
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[a-z][.,;:!?][A-Za-z]"))))
            << topic.toStdString();
    }
    // A topic name must not begin with "key": it would open a section.
    EXPECT_TRUE(topics.contains(QStringLiteral("Shortcut Keys")));
    EXPECT_TRUE(help.GetValue(QStringLiteral("/"), QStringLiteral("Shortcut Keys")).contains(QLatin1String("F6")));

    GrabBaseClass test;
    ASSERT_EQ(test.LoadFromFile(AppPaths::dataDir() + QStringLiteral("/AudioTest.chl")), QString());
    const QStringList codes = {"ara", "bul", "cat", "chi", "cze", "dan", "deu", "gre", "eng", "spa",
                               "fin", "fre", "heb", "hun", "ice", "ita", "jpn", "kor", "dut", "nor",
                               "pol", "por", "ron", "rus", "cro", "slo", "alb", "swe", "tha"};
    QStringList sentences;
    for (const QString &code : codes) {
        const QString s = test.GetValue(QStringLiteral("/"), code).trimmed();
        EXPECT_FALSE(s.isEmpty()) << code.toStdString();
        sentences << s;
    }
    sentences.removeDuplicates();
    EXPECT_EQ(sentences.size(), codes.size());
}
