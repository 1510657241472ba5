// Text handling without an engine (control tags and chunks, the lexicon file
// and its word replacement), and the eSpeak NG driver applying its entries.
// The pronunciation editor is opened through the main window's menu.
#include "ControlTags.h"
#include "EspeakText.h"
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
    const QByteArray longSound = "[[" + QByteArray(Lexicon::kMaxSoundLength, 't') + "]]";
    ASSERT_TRUE(TestSupport::writeFile(path, "tomato\ttoe may toe\r\nbroken line\n\tno word\nTomato\t[[t@mA:t@U]]\n"
                                             "two words\tx\ncaf\xc3\xa9\tka fay\nna\xefve\tnah eve\nlong\t" +
                                                 longSound + "\n"));
    auto entries = Lexicon::load(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].word, "Tomato");
    EXPECT_TRUE(entries[0].phonemes());
    EXPECT_EQ(entries[1].word, QString::fromUtf8("café"));
    EXPECT_FALSE(entries[1].phonemes());
    EXPECT_EQ(entries[2].word, QString::fromUtf8("naïve"));  // a line that is not UTF-8 is Windows-1252
    LexiconDocument document;
    ASSERT_TRUE(Lexicon::readDocument(path, document, nullptr));
    EXPECT_EQ(document.tooLong, std::vector<int>{8});
    EXPECT_TRUE(Lexicon::load(TestSupport::homeDir() + "/missing.txt").empty());
    EXPECT_EQ(Lexicon::filePath(), TestSupport::homeDir() + "/lexicon.txt");
}

TEST(LexiconTest, EditsRewriteOnlyTheLinesOfTheEntriesTheyChange)
{
    const QString path = TestSupport::homeDir() + "/lexicon.txt";
    const QByteArray hand = "# my words\r\nNew York\tnoo york\r\nQt\tkyoot\r\nna\xefve\tnah eve\nnot an entry\n"
                            "gif\tgiff\r\nGIF\tjiff\r\nsoup\t[[s'u:p]]";
    ASSERT_TRUE(TestSupport::writeFile(path, hand));
    LexiconDocument document;
    ASSERT_TRUE(Lexicon::readDocument(path, document, nullptr));
    std::vector<EditedEntry> edited;
    for (const LexiconEntry &e : document.entries())
        edited.push_back({Lexicon::key(e.word), e});
    ASSERT_EQ(edited.size(), 4u);
    EXPECT_EQ(Lexicon::withEdits(document, edited), hand);
    ASSERT_TRUE(Lexicon::saveEdits(path, edited, nullptr));
    EXPECT_EQ(TestSupport::readFile(path), hand);

    // Qt changed in place, naïve renamed, gif removed with the line it hid
    // (it would come back otherwise), one entry added after the unended last line.
    edited[0].entry.sound = "cute";
    edited[1].entry.word = "naive";
    edited.erase(edited.begin() + 2);
    edited.push_back({QString(), {QString::fromUtf8("Zoë"), "zo ee"}});
    ASSERT_TRUE(Lexicon::saveEdits(path, edited, nullptr));
    EXPECT_EQ(TestSupport::readFile(path), "# my words\r\nNew York\tnoo york\r\nQt\tcute\r\nnaive\tnah eve\n"
                                           "not an entry\nsoup\t[[s'u:p]]\r\nZo\xc3\xab\tzo ee\r\n");
}

TEST(EspeakTextTest, LexiconWordsAreReplacedAndWhatEspeakMishandlesNeverReachesIt)
{
    QHash<QString, LexiconEntry> table;
    table.insert(Lexicon::key("Qt"), {"Qt", "cute"});
    table.insert(Lexicon::key("gif"), {"gif", "[[dZIf]]"});
    table.insert(Lexicon::key("odd"), {"odd", "[[a]]b[[" + QString(100, u't') + "\xe9]]"});
    const QString text = QString::fromUtf8("QT and Qtest \U0001F600 qt.");
    EspeakInput in = EspeakText::fromText(text, table);
    EXPECT_EQ(in.text, QString::fromUtf8("cute and Qtest \U0001F600 cute."));
    EXPECT_FALSE(in.phonemes);
    // One entry per code point (UTF-16 index in the text); a replacement points at its word's start.
    EXPECT_EQ(in.map, (std::vector<int>{0, 0, 0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 16, 16, 16, 18}));
    in = EspeakText::fromText("A GIF!", table);
    EXPECT_EQ(in.text, "A [[dZIf]]!");
    EXPECT_TRUE(in.phonemes);

    // Phonemes are ASCII without brackets, in words short enough for eSpeak NG's buffer.
    in = EspeakText::fromText("[odd", table);
    const QString cut(EspeakText::kMaxPhonemeWordLength, u't');
    EXPECT_EQ(in.text, "[ [[a  b  " + cut + " " + QString(100 - cut.size(), u't') + " ]]");
    EXPECT_EQ(in.map.size(), size_t(in.text.size()));
    // Plain text cannot switch phonemes on; unpaired surrogates, non-characters,
    // controls and the digits and signs eSpeak NG spells wrongly are replaced;
    // a word too long is split.
    QString odd = QString("a[[b]]c") + QChar(0xD800) + QChar(0xFDD0) + QChar(0x0001) + QChar(0x09EC) + QChar(0x0BDA) +
                  QChar(0x0915) + QChar(0xDC00) + "x";
    EXPECT_EQ(EspeakText::fromText(odd, {}).text, QString("a[ b] c   6 ") + QChar(0x0915) + " x");
    in = EspeakText::fromText(QString(100, u'a'), {});
    EXPECT_EQ(in.text, QString(64, u'a') + ' ' + QString(36, u'a'));
    EXPECT_EQ(in.map[64], 64);
    EXPECT_EQ(in.map[65], 64);
    in = EspeakText::fromPhonemes("h@'loU");
    EXPECT_EQ(in.text, "[[h@'loU]]");
    EXPECT_EQ(in.map, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 5, 5, 5}));
}

// Which words match (letter case, whole words) is checked on EspeakText::fromText above.
TEST_F(LexiconEngineTest, EspeakAppliesEntriesWithoutMovingPositions)
{
    const Spoken plain = speakToFile(espeak, "I like tomato soup.");
    ASSERT_TRUE(TestSupport::writeFile(Lexicon::filePath(), "tomato\tbanana split\r\nsoup\t[[s'u:p]]\r\n"));
    const Spoken replaced = speakToFile(espeak, "I like tomato soup.");
    EXPECT_GT(replaced.wav.data.size(), plain.wav.data.size() + 4000);  // "banana split" is longer
    EXPECT_EQ(replaced.notes->values(Note::Word), plain.notes->values(Note::Word));
}

// Each of these crashed eSpeak NG or made it read freed memory (seen under AddressSanitizer).
TEST_F(LexiconEngineTest, EspeakSpeaksPhonemesAndScriptsItOnceCrashedOn)
{
    const QString phonemes(400, u't');
    const QString path = TestSupport::homeDir() + "/phonemes.wav";
    Bound b = toFile(espeak.gModeID, path);
    SDATA d;
    d.pData = const_cast<char16_t *>(reinterpret_cast<const char16_t *>(phonemes.utf16()));
    d.dwSize = uint32_t((phonemes.size() + 1) * 2);
    ASSERT_EQ(b.central->TextData(CHARSET_ENGINEPHONETIC, 0, d, b.recorder, IID_ITTSBufNotifySink), S_OK);
    ASSERT_TRUE(waitForStop(b, 20000));
    ASSERT_EQ(std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush(), S_OK);
    EXPECT_GT(TestSupport::readWav(path).seconds(), 2.0);

    ASSERT_TRUE(TestSupport::writeFile(Lexicon::filePath(), "odd\t[[" + QByteArray(96, 't') + "]]\r\n"));
    const Spoken scripts = speakToFile(espeak,
                                       QString::fromUtf8("odd \u0BDA\u09EC\u0B80 \u1180\u0D04 [[") + phonemes + "]]");
    EXPECT_GT(scripts.wav.seconds(), 2.0);
}
