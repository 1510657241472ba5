// Text handling without an engine (control tags and chunks, the lexicon file
// and its word replacement), and the eSpeak NG driver applying its entries.
// The pronunciation editor is opened through the main window's menu.
#include "ControlTags.h"
#include "Lexicon.h"
#include "SpeechTestSupport.h"

using namespace sapi;
using namespace speechtest;

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

using LexiconEngineTest = EngineTest;

}  // namespace

TEST(TextWalkerTest, TagsSplitTheTextAndKeepPositionsOfTheBlock)
{
    // Tag names ignore letter case.
    EXPECT_EQ(described(R"(one \Mrk=7\two \Pit=120\\spd=300\three \Vol=5\\Pau=250\\Rst\four)", true),
              (QStringList{"0:one ", "Mrk=7", "11:two ", "Pit=120", "Spd=300", "33:three ", "Vol=5", "Pau=250", "Rst=0",
                           "60:four"}));
    // Unknown tags vanish; a backslash that opens no tag is text; "\\" is one backslash.
    EXPECT_EQ(described(R"(a\Emp\b \Pit=high\c \\d e\f)", true),
              (QStringList{"0:a", "6:b ", "18:c ", R"(21:\)", "22:d e", R"(25:\f)"}));
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

TEST(LexiconTest, LoadSkipsBadLinesAndLaterEntriesWin)
{
    const QString path = TestSupport::homeDir() + "/lex/lexicon.txt";
    ASSERT_TRUE(TestSupport::writeFile(path, "tomato\ttoe may toe\r\nbroken line\n\tno word\nTomato\t[[t@mA:t@U]]\n"
                                             "two words\tx\ncafé\tka fay\n"));
    auto entries = Lexicon::load(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].word, "Tomato");
    EXPECT_TRUE(entries[0].phonemes());
    EXPECT_EQ(entries[1].word, QString::fromUtf8("café"));
    EXPECT_FALSE(entries[1].phonemes());
    // What a save writes (in UTF-8) is checked through the dialog.
    EXPECT_TRUE(Lexicon::load(TestSupport::homeDir() + "/missing.txt").empty());
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
    // One entry per code point (UTF-16 index in the text); a replacement points at its word's start.
    EXPECT_EQ(map, (std::vector<int>{0, 0, 0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 16, 16, 16, 18}));

    EXPECT_EQ(Lexicon::apply("A GIF!", table, map, phonemes), "A [[dZIf]]!");
    EXPECT_TRUE(phonemes);
}

// Which words match (letter case, whole words) is checked on Lexicon::apply above.
TEST_F(LexiconEngineTest, EspeakAppliesEntriesWithoutMovingPositions)
{
    const Spoken plain = speakToFile(espeak, "I like tomato soup.");
    ASSERT_TRUE(TestSupport::writeFile(Lexicon::filePath(), "tomato\tbanana split\r\nsoup\t[[s'u:p]]\r\n"));
    const Spoken replaced = speakToFile(espeak, "I like tomato soup.");
    EXPECT_GT(replaced.wav.data.size(), plain.wav.data.size() + 4000);  // "banana split" is longer
    EXPECT_EQ(replaced.notes->values(Note::Word), plain.notes->values(Note::Word));
}
