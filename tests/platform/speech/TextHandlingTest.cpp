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

}  // namespace

TEST(TextWalkerTest, TagsSplitTheTextAndKeepPositionsOfTheBlock)
{
    const QString text = R"(one \Mrk=7\two \Pit=120\\spd=300\three \Vol=5\\Pau=250\\Rst\four)";
    const auto pieces = walk(text, true);
    ASSERT_EQ(pieces.size(), 10u);
    EXPECT_EQ(pieces[0].kind, TextPiece::Text);
    EXPECT_EQ(pieces[0].text, "one ");
    EXPECT_EQ(pieces[1].kind, TextPiece::Mark);
    EXPECT_EQ(pieces[1].value, 7u);
    EXPECT_EQ(pieces[2].text, "two ");
    EXPECT_EQ(pieces[2].start, text.indexOf("two"));
    EXPECT_EQ(pieces[3].kind, TextPiece::Pitch);
    EXPECT_EQ(pieces[3].value, 120u);
    EXPECT_EQ(pieces[4].kind, TextPiece::Speed);  // tag names ignore letter case
    EXPECT_EQ(pieces[4].value, 300u);
    EXPECT_EQ(pieces[5].start, text.indexOf("three"));
    EXPECT_EQ(pieces[6].kind, TextPiece::Volume);
    EXPECT_EQ(pieces[7].kind, TextPiece::Pause);
    EXPECT_EQ(pieces[7].value, 250u);
    EXPECT_EQ(pieces[8].kind, TextPiece::Reset);
    EXPECT_EQ(pieces[9].text, "four");
    EXPECT_EQ(pieces[9].start, text.indexOf("four"));
}

TEST(TextWalkerTest, UnknownBrokenAndEscapedTagsAreNeverSpokenAsTags)
{
    // Unknown tags vanish; a backslash that opens no tag is text; "\\" is one backslash.
    auto pieces = walk(R"(a\Emp\b \Pit=high\c \\d e\f)", true);
    QString spoken;
    for (const TextPiece &p : pieces) {
        ASSERT_EQ(p.kind, TextPiece::Text);
        spoken += p.text;
    }
    EXPECT_EQ(spoken, R"(ab c \d e\f)");

    // Without the tagged flag nothing is a tag.
    pieces = walk(R"(one \Mrk=7\ two)", false);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].text, R"(one \Mrk=7\ two)");
}

TEST(TextWalkerTest, LongTextIsCutAtSentenceEndsWithoutSplittingCharacters)
{
    const QString text = "First sentence. Second one! Third?\nFourth line";
    auto pieces = walk(text, false);
    QStringList parts;
    for (const TextPiece &p : pieces)
        parts << p.text;
    EXPECT_EQ(parts, (QStringList{"First sentence. ", "Second one! ", "Third?\n", "Fourth line"}));

    // "3.5" is no sentence end; a run without any break is cut at a blank.
    pieces = walk("Pi is 3.14 and more words follow here", false, 20);
    EXPECT_EQ(pieces[0].text, "Pi is 3.14 and more ");

    // A hard cut never separates the halves of a surrogate pair.
    QString astral;
    for (int i = 0; i < 30; ++i)
        astral += QString::fromUtf8("\U0001F600");
    pieces = walk(astral, false, 17);
    qsizetype total = 0;
    for (const TextPiece &p : pieces) {
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
    EXPECT_EQ(map[3], 3);                                 // e of Café
    EXPECT_EQ(map[latin.indexOf("Strasse")], 5);          // word start in the original
    EXPECT_EQ(map[latin.indexOf("ss")], 9);               // both letters stand for ß
    EXPECT_EQ(map[latin.indexOf("ss") + 1], 9);
    EXPECT_EQ(map[latin.indexOf('x')], int(text.indexOf(u'x')));  // after the surrogate pair
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
    ASSERT_EQ(map.size(), size_t(out.toUcs4().size()));
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[3], 0);
    EXPECT_EQ(map[5], int(text.indexOf("and")));
    const int smiley = int(text.indexOf(QString::fromUtf8("\U0001F600")));
    EXPECT_EQ(map[size_t(out.toUcs4().indexOf(0x1F600))], smiley);
    EXPECT_EQ(map[size_t(out.toUcs4().indexOf(0x1F600)) + 2], smiley + 3);  // "qt" after the pair

    out = Lexicon::apply("A GIF!", table, map, phonemes);
    EXPECT_EQ(out, "A [[dZIf]]!");
    EXPECT_TRUE(phonemes);
}
