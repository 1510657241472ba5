#include "AppPaths.h"
#include "TaggedFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <array>

using namespace Qt::StringLiterals;

namespace {

QString writeTagged(const QByteArray &bytes)
{
    const QString path = TestSupport::homeDir() + u"/tagged.chl"_s;
    EXPECT_TRUE(TestSupport::writeFile(path, bytes));
    return path;
}

QStringList listOf(const TaggedFile &g, const QString &path, const QString &name)
{
    QStringList l{u"stale"_s};
    g.GetList(path, name, l);
    return l;
}

// Each row: section path, value name, expected value ("" for none).
void expectValues(const TaggedFile &g, std::initializer_list<std::array<const char *, 3>> rows)
{
    for (const auto &r : rows)
        EXPECT_EQ(g.GetValue(QString::fromUtf8(r[0]), QString::fromUtf8(r[1])), QString::fromUtf8(r[2]))
            << r[0] << " " << r[1];
}

}  // namespace

TEST(TaggedFile, LinesAreTrimmedAndJoinedAndReadAsUtf8OrWindows1252)
{
    TaggedFile g;
    const QString path = writeTagged("  <eng>Hello\r\n      world</eng>\r\n\t<fre>Bon\njour</fre>\n\x01<x>a </x> \n");
    EXPECT_EQ(g.LoadFromFile(path), QString());
    EXPECT_EQ(g.Text, u"<eng>Helloworld</eng><fre>Bonjour</fre><x>a </x>"_s);
    expectValues(g, {{"/", "eng", "Helloworld"},
                     {"/", "FRE", "Bonjour"},
                     {"/", "x", "a "},
                     {"/", "deu", ""},
                     {"/nowhere", "eng", ""}});
    // Text is read as UTF-8, or else as Windows-1252.
    g.LoadFromFile(writeTagged("\xEF\xBB\xBF<fre>Voil\xC3\xA0 \xE2\x80\x94 ok</fre>"));
    expectValues(g, {{"/", "fre", "Voil\u00e0 \u2014 ok"}});
    EXPECT_TRUE(g.Text.startsWith(u'<'));
    g.LoadFromFile(writeTagged("<fre>Voil\xE0 \x93quoted\x94 \x80 5</fre>"));
    expectValues(g, {{"/", "fre", "Voil\u00e0 \u201cquoted\u201d \u20ac 5"}});
}

TEST(TaggedFile, MissingOrUnreadableFileGivesErrorAndEmptyLookups)
{
    TaggedFile g;
    g.LoadFromFile(writeTagged("<eng>Hi</eng>"));
    const QString missing = TestSupport::homeDir() + u"/none/AudioTest.chl"_s;
    EXPECT_EQ(g.LoadFromFile(missing), u"File:"_s + missing + u" Not Found."_s);
    expectValues(g, {{"/", "eng", ""}});
    EXPECT_TRUE(g.Text.isEmpty());
    EXPECT_TRUE(listOf(g, u"/"_s, u"HelpTopics"_s).isEmpty());
    EXPECT_FALSE(g.LoadFromFile(TestSupport::homeDir()).isEmpty());  // a folder is no file

    EXPECT_FALSE(g.LoadFromFile(writeTagged(QByteArray(TaggedFile::MaxFileSize + 10, 'a'))).isEmpty());
    EXPECT_TRUE(g.Text.isEmpty());
}

TEST(TaggedFile, MalformedTagsAreSkippedAndParsingGoesOn)
{
    TaggedFile g;
    // A value without its closing tag is empty.
    g.LoadFromText(u"<a>text<b>val</b>"_s);
    EXPECT_EQ(g.Root->Values.Names, (QStringList{u"a"_s, u"b"_s}));
    expectValues(g, {{"/", "b", "val"}, {"/", "a", ""}});
    // Text with a stray ">" before the tag: the tag is read twice, then on.
    g.LoadFromText(u"x>y<a>z<b>1</b>"_s);
    EXPECT_EQ(g.Root->Values.Names, (QStringList{u"a"_s, u"b"_s}));
    expectValues(g, {{"/", "b", "1"}});
    // Closing tags match the exact letter case; tag names may hold blanks.
    g.LoadFromText(u"<Help Topic>Said</Help Topic>"_s);
    expectValues(g, {{"/", "help topic", "Said"}});
    g.LoadFromText(u"<Help Topic>Said</help topic><Other>ok</Other>"_s);
    expectValues(g, {{"/", "Help Topic", ""}, {"/", "Other", "ok"}});
    // Unfinished tags end the parse without harm.
    g.LoadFromText(u"<a>1</a><b"_s);
    EXPECT_EQ(g.Root->Values.Count(), 1);
    g.LoadFromText(u"a>b<"_s);
    EXPECT_EQ(g.Root->Values.Count(), 0);
    // A later value replaces an earlier one under the first spelling.
    g.LoadFromText(u"<Name>1</Name><name>2</name><NAME>3</NAME>"_s);
    EXPECT_EQ(g.Root->Values.Names, QStringList{u"Name"_s});
    expectValues(g, {{"/", "name", "3"}});
}

TEST(TaggedFile, SectionsNestAndAreFoundByExactPath)
{
    TaggedFile g;
    g.LoadFromText(u"<top>t</top><key=Voices><eng>E</eng><KEY name=Inner><x>1</x></KEY><y>2</y></key>"
                   u"<keyboard><z>3</z></keyboard><key=\"Q\"><q>4</q></Key><after>5</after>"_s);
    expectValues(g, {{"/", "top", "t"},
                     {"/", "after", "5"},
                     {"/", "eng", ""},
                     {"/Voices", "eng", "E"},
                     {"/Voices", "y", "2"},
                     {"/Voices/Inner", "x", "1"},
                     {"/voices", "eng", ""},
                     {"/Inner", "x", ""},
                     {"/keyboard", "z", "3"},
                     {"/\"Q\"", "q", "4"}});

    // An unclosed section runs to the end of the text.
    g.LoadFromText(u"<a>1</a><key=S><b>2</b><c>3</c>"_s);
    expectValues(g, {{"/S", "c", "3"}, {"/", "c", ""}});
}

TEST(TaggedFile, DeepNestingAndFarContentAreCutOffWithoutHarm)
{
    TaggedFile g;
    g.LoadFromText(u"<key=n>"_s.repeated(5000) + u"<v>deep</v>"_s + u"</key>"_s.repeated(5000) + u"<w>top</w>"_s);
    expectValues(g, {{"/", "w", "top"}, {"/n/n", "v", ""}});
    const TaggedSection *item = g.Root.get();
    int depth = 0;
    for (; !item->Children.empty(); ++depth)
        item = item->Children[0].get();
    EXPECT_EQ(depth, TaggedFile::MaxDepth);

    // Content far beyond the last element is ignored.
    g.LoadFromText(u"<a>1</a>"_s + QString(TaggedFile::ParseWindow - 8, u'x') + u"<b>2</b>"_s);
    expectValues(g, {{"/", "b", "2"}});
    g.LoadFromText(u"<a>1</a>"_s + QString(TaggedFile::ParseWindow + 1, u'x') + u"<b>2</b>"_s);
    expectValues(g, {{"/", "a", "1"}, {"/", "b", ""}});
}

TEST(TaggedFile, ListsReadCountThenEntries)
{
    TaggedFile g;
    g.LoadFromText(u"<T>3</T><T0>zero</T0><T2>two</T2><Bad>x1</Bad><Neg>-2</Neg><Huge>999999999</Huge>"
                   u"<key=S><L> 2 </L><L0>a</L0><L1>b</L1></key>"_s);
    EXPECT_EQ(listOf(g, u"/"_s, u"T"_s), (QStringList{u"zero"_s, QString(), u"two"_s}));
    for (const QString &name : {u"Bad"_s, u"Neg"_s, u"Absent"_s})
        EXPECT_TRUE(listOf(g, u"/"_s, name).isEmpty()) << name.toStdString();
    EXPECT_TRUE(listOf(g, u"/missing"_s, u"T"_s).isEmpty());
    EXPECT_EQ(listOf(g, u"/"_s, u"Huge"_s).size(), NameValueList::MaxListCount);
    EXPECT_EQ(listOf(g, u"/S"_s, u"L"_s), (QStringList{u"a"_s, u"b"_s}));
}

// Every help topic of the shipped help file has a spoken text whose lines joined cleanly (the shipped
// test sentences are checked for every installed language by the voice catalogue's test).
TEST(TaggedFile, ShippedHelpFileIsComplete)
{
    TaggedFile help;
    ASSERT_EQ(help.LoadFromFile(AppPaths::dataDir() + u"/AudioHelp.chl"_s), QString());
    QStringList topics;
    help.GetList(u"/"_s, u"HelpTopics"_s, topics);
    ASSERT_GE(topics.size(), 6);
    for (const QString &topic : topics) {
        ASSERT_FALSE(topic.trimmed().isEmpty());
        const QString text = help.GetValue(u"/"_s, topic);
        EXPECT_GT(text.size(), 100) << topic.toStdString();
        EXPECT_FALSE(text.contains(u'<') || text.contains(u'>')) << topic.toStdString();
        // A sentence glued to the next one means a line break was lost.
        EXPECT_FALSE(text.contains(QRegularExpression(u"[a-z][.,;:!?][A-Za-z]"_s))) << topic.toStdString();
    }
    // A topic name must not begin with "key": it would open a section.
    EXPECT_TRUE(topics.contains(u"Shortcut Keys"_s));
    EXPECT_TRUE(help.GetValue(u"/"_s, u"Shortcut Keys"_s).contains("F6"_L1));
}
