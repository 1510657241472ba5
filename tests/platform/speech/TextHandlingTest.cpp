// Text handling without an engine: control tags and chunks, Flite's
// transliteration, and the lexicon file and its word replacement.
#include "ControlTags.h"
#include "FliteEngine.h"
#include "Lexicon.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace sapi;

namespace {

std::vector<TextPiece> walk(const QString &text, bool tagged, qsizetype maxChunk = 240)
{
    std::vector<TextPiece> out;
    TextWalker w(text, tagged, maxChunk);
    for (TextPiece p = w.next(); p.kind != TextPiece::End; p = w.next())
        out.push_back(p);
    return out;
}

// Each piece as "start:text" or "Tag=value".
QStringList described(const QString &text, bool tagged, qsizetype maxChunk = 240)
{
    static const char *const tags[] = {"End", "Text", "Pit", "Spd", "Vol", "Pau", "Mrk", "Rst"};
    QStringList out;
    for (const TextPiece &p : walk(text, tagged, maxChunk))
        out << (p.kind == TextPiece::Text ? QString("%1:%2").arg(p.start).arg(p.text)
                                          : QString("%1=%2").arg(tags[p.kind]).arg(p.value));
    return out;
}

} // namespace

TEST(TextWalkerTest, TagsSplitTheTextAndKeepPositionsOfTheBlock)
{
    // Tag names ignore letter case.
    EXPECT_EQ(described(R"(one \Mrk=7\two \Pit=120\\spd=300\three \Vol=5\\Pau=250\\Rst\four)", true),
              (QStringList{"0:one ", "Mrk=7", "11:two ", "Pit=120", "Spd=300", "33:three ", "Vol=5", "Pau=250", "Rst=0",
                           "60:four"}));
    // Unknown tags vanish; a backslash that opens no tag is text; "\\" is one backslash.
    QString spoken;
    for (const TextPiece &p : walk(R"(a\Emp\b \Pit=high\c \\d e\f)", true)) {
        ASSERT_EQ(p.kind, TextPiece::Text);
        spoken += p.text;
    }
    EXPECT_EQ(spoken, R"(ab c \d e\f)");
    // Without the tagged flag nothing is a tag.
    EXPECT_EQ(described(R"(one \Mrk=7\ two)", false), QStringList{R"(0:one \Mrk=7\ two)"});
}

TEST(TextWalkerTest, LongTextIsCutAtSentenceEndsWithoutSplittingCharacters)
{
    EXPECT_EQ(described("First sentence. Second one! Third?\nFourth line", false),
              (QStringList{"0:First sentence. ", "16:Second one! ", "28:Third?\n", "35:Fourth line"}));
    // "3.14" is no sentence end; a run without any break is cut at a blank.
    EXPECT_EQ(described("Pi is 3.14 and more words follow here", false, 20).front(), "0:Pi is 3.14 and more ");

    // A hard cut never separates the halves of a surrogate pair.
    const QString astral = QString::fromUtf8("\U0001F600").repeated(30);
    qsizetype total = 0;
    for (const TextPiece &p : walk(astral, false, 17)) {
        EXPECT_FALSE(p.text.back().isHighSurrogate());
        EXPECT_FALSE(p.text.front().isLowSurrogate());
        EXPECT_EQ(p.start, total);
        total += p.text.size();
    }
    EXPECT_EQ(total, astral.size());
}

TEST(FliteTextTest, AccentsAreDroppedAndPositionsKept)
{
    std::vector<int> map;
    const QString text = QString::fromUtf8("Café Straße \U0001F600 “x”");
    const QByteArray latin = fliteTransliterate(text, map);
    EXPECT_EQ(latin, QByteArray("Cafe Strasse   \"x\""));
    ASSERT_EQ(map.size(), size_t(latin.size()));
    EXPECT_EQ(map[3], 3);                        // e of Café
    EXPECT_EQ(map[latin.indexOf("Strasse")], 5); // word start in the original
    EXPECT_EQ(map[latin.indexOf("ss")], 9);      // both letters stand for ß
    EXPECT_EQ(map[latin.indexOf("ss") + 1], 9);
    EXPECT_EQ(map[latin.indexOf('x')], int(text.indexOf(u'x'))); // after the surrogate pair
}

TEST(LexiconTest, FileRoundTripSkipsBadLinesAndLaterEntriesWin)
{
    const QString path = TestSupport::homeDir() + "/lex/lexicon.txt";
    ASSERT_TRUE(TestSupport::writeFile(path, "tomato\ttoe may toe\r\nbroken line\n\tno word\nTomato\t[[t@mA:t@U]]\n"
                                             "two words\tx\nGIF\tjif\n"));
    auto entries = Lexicon::load(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].word, "Tomato");
    EXPECT_TRUE(entries[0].phonemes());
    EXPECT_EQ(entries[1].sound, "jif");
    EXPECT_FALSE(entries[1].phonemes());

    QString error;
    ASSERT_TRUE(Lexicon::save(path, {{"café", "ka fay"}, {"Qt", "cute"}}, &error)) << error.toStdString();
    EXPECT_EQ(TestSupport::readFile(path), QString::fromUtf8("café\tka fay\r\nQt\tcute\r\n").toUtf8());
    entries = Lexicon::load(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].word, QString::fromUtf8("café"));

    EXPECT_TRUE(Lexicon::load(TestSupport::homeDir() + "/missing.txt").empty());
    EXPECT_FALSE(Lexicon::save("/proc/voxtrella/lexicon.txt", entries, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Lexicon::filePath(), TestSupport::homeDir() + "/lexicon.txt");
}

TEST(LexiconTest, ApplyReplacesWholeWordsCaseInsensitivelyAndMapsToTheOriginal)
{
    QHash<QString, LexiconEntry> table;
    table.insert(Lexicon::key("Qt"), {"Qt", "cute"});
    table.insert(Lexicon::key("gif"), {"gif", "[[dZIf]]"});
    std::vector<int> map;
    bool phonemes = true;
    const QString text = QString::fromUtf8("QT and Qtest \U0001F600 qt.");
    QString out = Lexicon::apply(text, table, map, phonemes);
    EXPECT_EQ(out, QString::fromUtf8("cute and Qtest \U0001F600 cute."));
    EXPECT_FALSE(phonemes);
    // One entry per code point; a replacement points at its word's start.
    const auto points = out.toUcs4();
    ASSERT_EQ(map.size(), size_t(points.size()));
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[3], 0);
    EXPECT_EQ(map[5], int(text.indexOf("and")));
    const int smiley = int(text.indexOf(QString::fromUtf8("\U0001F600")));
    EXPECT_EQ(map[size_t(points.indexOf(0x1F600))], smiley);
    EXPECT_EQ(map[size_t(points.indexOf(0x1F600)) + 2], smiley + 3); // "qt" after the pair

    EXPECT_EQ(Lexicon::apply("A GIF!", table, map, phonemes), "A [[dZIf]]!");
    EXPECT_TRUE(phonemes);
}
