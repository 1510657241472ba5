#include "ReferenceFilter.h"
#include "TTSFilter.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

using namespace Qt::StringLiterals;

constexpr uint8_t kPlain = 0;
constexpr uint8_t kSelfExpanding = 3;

TEST(TTSFilter, RecordsMapPositionsBackToTheOriginalText)
{
    const QString text = u"Shares rose (AP) today"_s;
    TTTSFilter f;
    const QString plain = f.FilterText(kPlain, text, false);
    EXPECT_EQ(plain, u"Shares rose (Associated Press) today"_s);

    const int ap = int(text.indexOf("AP"_L1));
    for (int p = ap; p < ap + 16; ++p)
        EXPECT_EQ(f.MapPosition(p), ap) << "inside the replacement at " << p;
    EXPECT_EQ(f.MapPosition(ap - 1), ap - 1);
    EXPECT_EQ(text.mid(f.MapPosition(int(plain.indexOf("today"_L1))), 5), u"today"_s);
    EXPECT_EQ(f.MapPosition(int(plain.size())), int(text.size()));
    // Every other replacement and position is checked against the in-place algorithm below.
}

TEST(TTSFilter, RewritesTextAsTheExamplesShow)
{
    struct Case {
        QString in, out;
        bool symbols = false;
        uint8_t features = kPlain;
    };
    const QString symbolText = u"a<b>[c]{d}|e~f_g`h\\i^j=k*l (m)"_s;
    const Case cases[] = {
        // Words in capitals above four letters are lowered; digits count as capitals.
        {u"BREAKING STORY from NASA today"_s, u"breaking story from NASA today"_s},
        {u"MixedCASE words"_s, u"MixedCASE words"_s},
        {u"A4TECH LOGO."_s, u"a4tech LOGO."_s},
        // State codes expand only for engines that do not expand them themselves.
        {u"Fresno CA 93650 today"_s, u"Fresno Callifornia 93650 today"_s},
        {u"Fresno CA 93650 today"_s, u"Fresno CA 93650 today"_s, false, kSelfExpanding},
        {u"ca Ca cA AR IN, ID."_s, u"ca Ca cA Arkansas Indiania, Idaho."_s},
        {u"NASA FBI NY: go"_s, u"NASA FBI New York: go"_s},
        // Period runs become one comma pause without changing the length.
        {u"Done. Next one"_s, u"Done. Next one"_s},
        {u"It ends..."_s, u"It ends..."_s},
        {u"So . ! ? x"_s, u"So ,     x"_s},
        {u"Pi is 3.14 ok"_s, u"Pi is 3.14 ok"_s},
        {u"Really?!... No"_s, u"Really?!,   No"_s},
        {u"Wait...\r\nNext"_s, u"Wait,    Next"_s},
        // Web addresses: "www" spelled out, a path only after a host, stopping at a line break;
        // capitals inside a rewritten address are not looked up again.
        {u"at www.example.com today"_s, u"at w w w.example.com today"_s},
        {u"either/or and 1.5/2"_s, u"either/or and 1.5/2"_s},
        {u"GO.CA/PATH AP x"_s, u"GO.CA web link  Associated Press x"_s},
        {u"example.com/news\nToday AP said"_s, u"example.com web link \nToday Associated Press said"_s},
        // The last word of the text is never replaced.
        {u"Reported by AP"_s, u"Reported by AP"_s},
        {u"Reported by AP."_s, u"Reported by Associated Press."_s},
        {u"LOUDWORD"_s, u"LOUDWORD"_s},
        {QString(), QString()},
        // Symbols become blanks only when asked; non-ASCII letters end words but are kept.
        {symbolText, symbolText},
        {symbolText, u"a b  c  d  e f g h i j k l  m "_s, true},
        {u"CAFÉ AP\u00e9 NEWSY."_s, u"CAFÉ Associated Press\u00e9 newsy."_s, true},
    };
    for (const Case &k : cases) {
        TTTSFilter f;
        EXPECT_EQ(f.FilterText(k.features, k.in, k.symbols), k.out) << k.in.toStdString();
    }
}

// The real filter must match the in-place algorithm on any text: output,
// records and every mapped position.
TEST(TTSFilter, MatchesInPlaceAlgorithmOnGeneratedTexts)
{
    // Every state code takes part, so a wrong entry of the table shows too.
    QStringList pieces =
        u"AP|ap|CA|Ca|NY|TX|NASA|BREAKING|STORY|word|News|12345|3.14|.|...|. .|,-;|?!|http://|HTTP://|http:/|www|"
        u"www.|example.com|/|/a/b|news/today|x.Y/z|(|)|<b>|[1]|_|`|\\|:|\u00e9|\u00c9T\u00c9|\t|\r\n|\n|USA.|"
        u"Wait...|IL|w|0|path9char|a.b.c/"_s.split(u'|');
    for (const QString &state : reference::states())
        pieces << state.left(2);
    const QStringList glue = {u" "_s, QString(), u"  "_s, u"\n"_s, u". "_s, u"/"_s};

    QRandomGenerator rng(20260612);
    TTTSFilter fast;
    reference::InPlaceFilter slow;
    for (int round = 0; round < 4000; ++round) {
        QString text;
        for (int k = 0, count = int(rng.bounded(1, 24)); k < count; ++k) {
            text += pieces.at(int(rng.bounded(qsizetype(pieces.size()))));
            text += glue.at(int(rng.bounded(qsizetype(glue.size()))));
        }
        const uint8_t features = rng.bounded(2) ? kPlain : kSelfExpanding;
        const bool symbols = rng.bounded(2);

        const QString expected = slow.filter(features, text, symbols);
        const QString actual = fast.FilterText(features, text, symbols);
        ASSERT_EQ(actual, expected) << "text: " << text.toStdString();
        ASSERT_EQ(fast.Offsets().size(), slow.records.size()) << text.toStdString();
        for (int p = 0; p <= actual.size() + 2; ++p)
            ASSERT_EQ(fast.MapPosition(p), slow.map(p)) << "p=" << p << " text: " << text.toStdString();
    }
}
