#include "ReferenceFilter.h"
#include "TTSFilter.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QStringList>

namespace {

constexpr uint8_t kPlainEngine = 0;
constexpr uint8_t kSelfExpandingEngine = 3;

QString filtered(const QString &text, bool symbols = false, uint8_t features = kPlainEngine)
{
    TTTSFilter f;
    return f.FilterText(features, text, symbols);
}

}  // namespace

TEST(TTSFilter, AssociatedPressIsSpelledOutAndPositionsMapBack)
{
    const QString text = QStringLiteral("Shares rose (AP) today");
    TTTSFilter f;
    const QString plain = f.FilterText(kPlainEngine, text, false);
    EXPECT_EQ(plain, QStringLiteral("Shares rose (Associated Press) today"));

    const int ap = int(text.indexOf(QLatin1String("AP")));
    for (int p = ap; p < ap + 16; ++p)
        EXPECT_EQ(f.MapPosition(p), ap) << "inside the replacement at " << p;
    for (int p = 0; p < ap; ++p)
        EXPECT_EQ(f.MapPosition(p), p);
    const int today = int(plain.indexOf(QLatin1String("today")));
    EXPECT_EQ(f.MapPosition(today), today - 14);
    EXPECT_EQ(text.mid(f.MapPosition(today), 5), QStringLiteral("today"));
    EXPECT_EQ(f.MapPosition(int(plain.size())), int(text.size()));

    const QString bare = f.FilterText(kPlainEngine, text, true);
    EXPECT_EQ(bare, QStringLiteral("Shares rose  Associated Press  today"));
    EXPECT_EQ(f.MapPosition(int(bare.indexOf(QLatin1String("today")))), today - 14);
}

TEST(TTSFilter, WordsInCapitalsAreLoweredAboveFourLetters)
{
    EXPECT_EQ(filtered(QStringLiteral("BREAKING STORY from NASA today")),
              QStringLiteral("breaking story from NASA today"));
    // Digits count as capitals; lowering them changes nothing.
    EXPECT_EQ(filtered(QStringLiteral("Call 5551234 now")), QStringLiteral("Call 5551234 now"));
    EXPECT_EQ(filtered(QStringLiteral("MixedCASE words")), QStringLiteral("MixedCASE words"));
    EXPECT_EQ(filtered(QStringLiteral("A4TECH LOGO.")), QStringLiteral("a4tech LOGO."));
}

TEST(TTSFilter, StateCodesExpandOnlyForEnginesThatDoNotExpandThemselves)
{
    EXPECT_EQ(filtered(QStringLiteral("Fresno CA 93650 today")),
              QStringLiteral("Fresno Callifornia 93650 today"));
    EXPECT_EQ(filtered(QStringLiteral("Fresno CA 93650 today"), false, kSelfExpandingEngine),
              QStringLiteral("Fresno CA 93650 today"));
    EXPECT_EQ(filtered(QStringLiteral("ca Ca cA AR IN, ID.")),
              QStringLiteral("ca Ca cA Arkansas Indiania, Idaho."));
    // A four-letter word in capitals is only looked up, never lowered.
    EXPECT_EQ(filtered(QStringLiteral("NASA FBI NY: go")), QStringLiteral("NASA FBI New York: go"));

    TTTSFilter f;
    const QString out = f.FilterText(kPlainEngine, QStringLiteral("to NY now"), false);
    ASSERT_EQ(f.Offsets().size(), 1u);
    EXPECT_EQ(f.Offsets()[0], (TOffsetRecord{3, 11, 2 - 8}));
    EXPECT_EQ(out.mid(f.Offsets()[0].Start, 8), QStringLiteral("New York"));
}

TEST(TTSFilter, StateCodeTableHoldsTheFiftyCodesInOrder)
{
    const TLookupTable &t = TLookupTable::StateCodes();
    ASSERT_EQ(t.Count(), 50);
    EXPECT_EQ(t.Keys().first(), QStringLiteral("AK"));
    EXPECT_EQ(t.Keys().last(), QStringLiteral("WY"));
    EXPECT_EQ(t.Lookup(u"ar"), QStringLiteral("Arkansas"));
    EXPECT_EQ(t.Lookup(u"Ca"), QStringLiteral("Callifornia"));
    EXPECT_EQ(t.Lookup(u"IN"), QStringLiteral("Indiania"));
    EXPECT_EQ(t.Lookup(u"XX"), QString());
    EXPECT_EQ(t.Keys().size(), t.Values().size());
    QStringList sorted = t.Keys();
    sorted.sort();
    EXPECT_EQ(sorted, t.Keys());
    EXPECT_EQ(sorted.removeDuplicates(), 0);

    TLookupTable own;
    own.Add(QStringLiteral("ab"), QStringLiteral("first"));
    own.Add(QStringLiteral("AB"), QStringLiteral("second"));
    EXPECT_EQ(own.Lookup(u"Ab"), QStringLiteral("first"));
    EXPECT_EQ(own.Count(), 2);
}

TEST(TTSFilter, PeriodRunsBecomeOneCommaPauseWithoutChangingLength)
{
    TTTSFilter f;
    EXPECT_EQ(f.FilterText(kPlainEngine, QStringLiteral("Wait... then go"), false),
              QStringLiteral("Wait,   then go"));
    EXPECT_TRUE(f.Offsets().empty());
    EXPECT_EQ(filtered(QStringLiteral("Done. Next one")), QStringLiteral("Done. Next one"));
    EXPECT_EQ(filtered(QStringLiteral("It ends...")), QStringLiteral("It ends..."));
    EXPECT_EQ(filtered(QStringLiteral("So . ! ? x")), QStringLiteral("So ,     x"));
    EXPECT_EQ(filtered(QStringLiteral("Pi is 3.14 ok")), QStringLiteral("Pi is 3.14 ok"));
    EXPECT_EQ(filtered(QStringLiteral("Really?!... No")), QStringLiteral("Really?!,   No"));
}

TEST(TTSFilter, WebAddressesLoseSchemeAndPath)
{
    TTTSFilter f;
    const QString text = QStringLiteral("see http://news.example.com/a/b?c=1 now");
    const QString out = f.FilterText(kPlainEngine, text, false);
    EXPECT_EQ(out, QStringLiteral("see        news.example.com web link  now"));
    ASSERT_EQ(f.Offsets().size(), 1u);
    EXPECT_EQ(f.MapPosition(int(out.indexOf(QLatin1String("now")))),
              int(text.indexOf(QLatin1String("now"))));
    EXPECT_EQ(f.MapPosition(int(out.indexOf(QLatin1String("link")))),
              int(text.indexOf(QLatin1String("a/b"))));

    const QString www = QStringLiteral("Go to www.example.com/news/today please");
    const QString spoken = f.FilterText(kPlainEngine, www, false);
    EXPECT_EQ(spoken, QStringLiteral("Go to w w w.example.com web link  please"));
    ASSERT_EQ(f.Offsets().size(), 2u);
    EXPECT_EQ(f.Offsets()[0], (TOffsetRecord{6, 11, -2}));
    EXPECT_EQ(f.MapPosition(int(spoken.indexOf(QLatin1String("please")))),
              int(www.indexOf(QLatin1String("please"))));
    EXPECT_EQ(f.MapPosition(int(spoken.indexOf(QLatin1String("example")))),
              int(www.indexOf(QLatin1String("example"))));

    // No path: only the "www" is spelled out.
    EXPECT_EQ(filtered(QStringLiteral("at www.example.com today")),
              QStringLiteral("at w w w.example.com today"));
    // A slash without a host before it is no address.
    EXPECT_EQ(filtered(QStringLiteral("either/or and 1.5/2")),
              QStringLiteral("either/or and 1.5/2"));
    // Capitals inside a rewritten address are not looked up again.
    EXPECT_EQ(filtered(QStringLiteral("GO.CA/PATH AP x")),
              QStringLiteral("GO.CA web link  Associated Press x"));
}

TEST(TTSFilter, AddressPathStopsAtLineBreak)
{
    EXPECT_EQ(filtered(QStringLiteral("example.com/news\nToday AP said")),
              QStringLiteral("example.com web link \nToday Associated Press said"));
    EXPECT_EQ(filtered(QStringLiteral("Wait...\r\nNext")), QStringLiteral("Wait,    Next"));
}

TEST(TTSFilter, LastWordOfTextIsNeverReplaced)
{
    EXPECT_EQ(filtered(QStringLiteral("Reported by AP")), QStringLiteral("Reported by AP"));
    EXPECT_EQ(filtered(QStringLiteral("Reported by AP.")),
              QStringLiteral("Reported by Associated Press."));
    EXPECT_EQ(filtered(QStringLiteral("LOUDWORD")), QStringLiteral("LOUDWORD"));
    EXPECT_EQ(filtered(QString()), QString());
}

TEST(TTSFilter, SymbolsBecomeBlanksOnlyWhenAsked)
{
    const QString text = QStringLiteral("a<b>[c]{d}|e~f_g`h\\i^j=k*l (m)");
    EXPECT_EQ(filtered(text, false), text);
    EXPECT_EQ(filtered(text, true), QStringLiteral("a b  c  d  e f g h i j k l  m "));
    // Non-ASCII letters end words but are kept.
    EXPECT_EQ(filtered(QStringLiteral("CAFÉ AP\u00e9 NEWSY."), true),
              QStringLiteral("CAFÉ Associated Press\u00e9 newsy."));
}

TEST(TTSFilter, EachFilteringReplacesTheRecords)
{
    TTTSFilter f;
    f.FilterText(kPlainEngine, QStringLiteral("AP and AP and TX."), false);
    EXPECT_EQ(f.Offsets().size(), 3u);
    f.FilterText(kPlainEngine, QStringLiteral("nothing to do"), false);
    EXPECT_TRUE(f.Offsets().empty());
    EXPECT_EQ(f.MapPosition(5), 5);
}

TEST(TTSFilter, AddOffsetMovesLaterRecordsAndKeepsThemSorted)
{
    TTTSFilter f;
    f.AddOffset(10, 20, -5);
    f.AddOffset(2, 4, 3);  // added before an existing one
    ASSERT_EQ(f.Offsets().size(), 2u);
    EXPECT_EQ(f.Offsets()[0], (TOffsetRecord{2, 4, 3}));
    EXPECT_EQ(f.Offsets()[1], (TOffsetRecord{7, 17, -5}));
    // Walk: 5 lies after the first record (sum 3), before the second.
    EXPECT_EQ(f.MapPosition(5), 8);
    EXPECT_EQ(f.MapPosition(12), 7 + 3);
    EXPECT_EQ(f.MapPosition(30), 30 + 3 - 5);
}

// The real filter must match the in-place algorithm on any text: output,
// records and every mapped position.
TEST(TTSFilter, MatchesInPlaceAlgorithmOnGeneratedTexts)
{
    const QStringList pieces = {
        QStringLiteral("AP"), QStringLiteral("ap"), QStringLiteral("CA"), QStringLiteral("Ca"),
        QStringLiteral("NY"), QStringLiteral("TX"), QStringLiteral("NASA"), QStringLiteral("BREAKING"),
        QStringLiteral("STORY"), QStringLiteral("word"), QStringLiteral("News"), QStringLiteral("12345"),
        QStringLiteral("3.14"), QStringLiteral("."), QStringLiteral("..."), QStringLiteral(". ."),
        QStringLiteral(",-;"), QStringLiteral("?!"), QStringLiteral("http://"), QStringLiteral("HTTP://"),
        QStringLiteral("http:/"), QStringLiteral("www"), QStringLiteral("www."), QStringLiteral("example.com"),
        QStringLiteral("/"), QStringLiteral("/a/b"), QStringLiteral("news/today"), QStringLiteral("x.Y/z"),
        QStringLiteral("("), QStringLiteral(")"), QStringLiteral("<b>"), QStringLiteral("[1]"),
        QStringLiteral("_"), QStringLiteral("`"), QStringLiteral("\\"), QStringLiteral(":"),
        QStringLiteral("\u00e9"), QStringLiteral("\u00c9T\u00c9"), QStringLiteral("\t"), QStringLiteral("\r\n"),
        QStringLiteral("\n"), QStringLiteral("USA."), QStringLiteral("Wait..."), QStringLiteral("IL"),
        QStringLiteral("w"), QStringLiteral("0"), QStringLiteral("path9char"), QStringLiteral("a.b.c/"),
    };
    const QStringList glue = {QStringLiteral(" "), QString(), QStringLiteral("  "), QStringLiteral("\n"),
                              QStringLiteral(". "), QStringLiteral("/")};

    QRandomGenerator rng(20260612);
    TTTSFilter fast;
    reference::InPlaceFilter slow;
    for (int round = 0; round < 4000; ++round) {
        QString text;
        const int count = int(rng.bounded(1, 24));
        for (int k = 0; k < count; ++k) {
            text += pieces.at(int(rng.bounded(qsizetype(pieces.size()))));
            text += glue.at(int(rng.bounded(qsizetype(glue.size()))));
        }
        const uint8_t features = rng.bounded(2) ? kPlainEngine : kSelfExpandingEngine;
        const bool symbols = rng.bounded(2);

        const QString expected = slow.filter(features, text, symbols);
        const QString actual = fast.FilterText(features, text, symbols);
        ASSERT_EQ(actual, expected) << "text: " << text.toStdString();
        ASSERT_EQ(fast.Offsets().size(), slow.records.size()) << text.toStdString();
        for (int p = 0; p <= actual.size() + 2; ++p)
            ASSERT_EQ(fast.MapPosition(p), slow.map(p)) << "p=" << p << " text: " << text.toStdString();
    }
}
