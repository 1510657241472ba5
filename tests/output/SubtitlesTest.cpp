#include "Subtitles.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// Every word of text as the engines report it (up to the next blank),
// stepUs apart from startUs, in the ways of eSpeak NG (see below); returns
// the time after the last one.
qint64 speak(SubtitleTrack &track, const QString &text, qint64 startUs, qint64 stepUs)
{
    track.BeginText(text);
    static const QRegularExpression word(u"[^\\s]+"_s);
    for (auto it = word.globalMatch(text); it.hasNext(); startUs += stepUs) {
        const QRegularExpressionMatch m = it.next();
        // It often passes over "the".
        if (m.captured() == u"the"_s)
            continue;
        // Nor an opening bracket.
        const int bracket = m.captured().startsWith(u'<') ? 1 : 0;
        track.AddWord(startUs, int(m.capturedStart()) + bracket, int(m.capturedLength()) - bracket);
        // And the digits of "MP3" come as a word of their own.
        if (m.captured() == u"MP3"_s)
            track.AddWord(startUs += stepUs, int(m.capturedStart()) + 2, 1);
    }
    return startUs;
}

// The start and end of each timing line, in microseconds.
std::vector<std::pair<qint64, qint64>> timings(const QString &file, const QString &pattern)
{
    std::vector<std::pair<qint64, qint64>> out;
    const QRegularExpression line(pattern, QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(file); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const auto us = [&](int first) {
            return ((m.captured(first).toLongLong() * 60 + m.captured(first + 1).toLongLong()) * 60 +
                    m.captured(first + 2).toLongLong()) *
                       1'000'000 +
                   m.captured(first + 3).toLongLong() * 1000;
        };
        out.emplace_back(us(1), us(5));
    }
    return out;
}

}  // namespace

TEST(Subtitles, CuesFollowSentencesLinesAndTexts)
{
    SubtitleTrack track;
    const QString first = u"Hello there. Mr. smith went to the house!\n"
                          "A heading\n"
                          "This sentence is long enough that it will never fit into two lines of forty-two "
                          "characters, so it is cut where the second line is full and goes on in a cue of its own. "
                          "Tags like <b> & --> stay text."_s;
    qint64 end = speak(track, first, 100'000, 300'000);
    // The next article in the same file: its times run on.
    end = speak(track, u"Second MP3 article."_s, end + 5'000'000, 300'000);
    track.Finish(end + 400'000);

    const auto &cues = track.Cues();
    ASSERT_GE(cues.size(), 7u);
    EXPECT_EQ(cues[0].text, u"Hello there."_s);
    EXPECT_EQ(cues[1].text, u"Mr. smith went to the house!"_s);  // a lowercase word after the stop goes on
    EXPECT_EQ(cues[2].text, u"A heading"_s);                     // the line break ends the cue
    EXPECT_EQ(cues.back().text, u"Second MP3 article."_s);
    EXPECT_EQ(cues.back().endUs, end + 400'000);
    // Before the next article: no longer than the tail after the last word.
    EXPECT_EQ(cues[cues.size() - 2].endUs, cues[cues.size() - 2].words.back().startUs + SubtitleTrack::MaxTailUs);
    qint64 last = 0;
    for (const SubtitleCue &cue : cues) {
        const QStringList lines = cue.text.split(u'\n');
        EXPECT_LE(lines.size(), SubtitleTrack::MaxLines) << cue.text.toStdString();
        for (const QString &l : lines)
            EXPECT_LE(l.size(), SubtitleTrack::LineLength) << l.toStdString();
        EXPECT_GE(cue.startUs, last);
        EXPECT_GT(cue.endUs, cue.startUs);
        last = cue.endUs;
    }

    // SRT: numbered cues, the shift applied, no arrow inside a text.
    const QString srt = QString::fromUtf8(track.Format(SubtitleFormat::Srt, 50'000));
    EXPECT_TRUE(srt.startsWith(u"1\n00:00:00,150 --> 00:00:00,750\nHello there.\n\n2\n00:00:00,750 --> "_s))
        << srt.toStdString();
    EXPECT_EQ(srt.count(u"-->"_s), int(cues.size()));
    const auto srtTimes = timings(srt, uR"(^(\d\d):(\d\d):(\d\d),(\d\d\d) --> (\d\d):(\d\d):(\d\d),(\d\d\d)$)"_s);
    ASSERT_EQ(srtTimes.size(), cues.size());
    EXPECT_EQ(srtTimes.back().second, end + 450'000);

    // WebVTT: escaped text, every word after the first stamped inside its cue.
    const QString vtt = QString::fromUtf8(track.Format(SubtitleFormat::WebVtt, 0));
    EXPECT_TRUE(vtt.startsWith(u"WEBVTT\n\n1\n00:00:00.100 --> 00:00:00.700\nHello <00:00:00.400>there.\n\n"_s))
        << vtt.toStdString();
    EXPECT_TRUE(vtt.contains(u"Tags <"_s) && vtt.contains(u">like <"_s));
    EXPECT_TRUE(vtt.contains(u">&lt;b&gt; <"_s) && vtt.contains(u">&amp; <"_s) && vtt.contains(u">--&gt; <"_s));
    EXPECT_FALSE(vtt.contains(u"<b>"_s));
    const auto vttTimes = timings(vtt, uR"(^(\d\d):(\d\d):(\d\d)\.(\d\d\d) --> (\d\d):(\d\d):(\d\d)\.(\d\d\d)$)"_s);
    ASSERT_EQ(vttTimes.size(), cues.size());
    qint64 previous = 0;
    static const QRegularExpression stamp(uR"(<(\d\d):(\d\d):(\d\d)\.(\d\d\d)>)"_s);
    for (size_t i = 0; i < vttTimes.size(); ++i) {
        EXPECT_GE(vttTimes[i].first, previous);
        previous = vttTimes[i].second;
    }
    int stamps = 0;
    for (auto it = stamp.globalMatch(vtt); it.hasNext(); it.next())
        ++stamps;
    size_t words = 0;
    for (const SubtitleCue &cue : cues)
        words += cue.words.size();
    // Two words were passed over: they are shown, but not timed.
    EXPECT_EQ(stamps, int(words - cues.size()) - 2);

    // Enhanced LRC: a line a cue with a stamp on every word, and an empty
    // line where silence follows.
    const QString lrc = QString::fromUtf8(track.Format(SubtitleFormat::Lrc, 0, u"My [Book]"_s));
    EXPECT_TRUE(lrc.startsWith(u"[ti:My [Book]\n[00:00.10]<00:00.10>Hello <00:00.40>there.\n"
                               "[00:00.70]<00:00.70>Mr. <00:01.00>smith"_s))
        << lrc.toStdString();
    const auto lrcAt = [](qint64 us) {
        return u"%1:%2.%3"_s.arg(us / 60'000'000, 2, 10, QChar(u'0'))
            .arg(us / 1'000'000 % 60, 2, 10, QChar(u'0'))
            .arg(us / 10'000 % 100, 2, 10, QChar(u'0'));
    };
    EXPECT_TRUE(lrc.endsWith(u"<"_s + lrcAt(end - 300'000) + u">article.\n["_s + lrcAt(end + 400'000) + u"]\n"_s))
        << lrc.toStdString();
}

TEST(Subtitles, SavedWholeAndMp3DelayReadFromTheFirstFrame)
{
    QTemporaryDir dir;
    const QString audio = dir.filePath(u"Book.one.mp3"_s);
    EXPECT_EQ(SubtitleFileBeside(audio, SubtitleFormat::WebVtt), dir.filePath(u"Book.one.vtt"_s));

    SubtitleTrack track;
    speak(track, u"One two."_s, 0, 200'000);
    track.Finish(600'000);
    const QString srt = SubtitleFileBeside(audio, SubtitleFormat::Srt);
    ASSERT_TRUE(TestSupport::writeFile(srt, "old"));
    QString error;
    EXPECT_FALSE(track.Save(srt, SubtitleFormat::Srt, 0, {}, OutputPlacement::Refuse, &error));
    EXPECT_TRUE(error.contains(srt)) << error.toStdString();
    EXPECT_EQ(TestSupport::readFile(srt), "old");
    EXPECT_TRUE(track.Save(srt, SubtitleFormat::Srt, 0, {}, OutputPlacement::Replace, &error));
    EXPECT_EQ(TestSupport::readFile(srt), "1\n00:00:00,000 --> 00:00:00,600\nOne two.\n\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_FALSE(
        track.Save(dir.filePath(u"missing/x.srt"_s), SubtitleFormat::Srt, 0, {}, OutputPlacement::Replace, &error));
    EXPECT_TRUE(error.contains(u"missing"_s)) << error.toStdString();

    // A frame without LAME's tag: the encoder's and the decoder's delay.
    const QByteArray mono22k = QByteArray::fromHex("fff3"
                                                   "5cc4") +
                               QByteArray(200, '\0');
    ASSERT_TRUE(TestSupport::writeFile(audio, mono22k));
    EXPECT_EQ(Mp3StartDelayUs(audio, 22050), 1105LL * 1'000'000 / 22050);
    // Behind an ID3v2 tag, an info frame that players skip the delay by.
    QByteArray tagged = QByteArray("ID3\x04\x00\x00\x00\x00\x00\x05", 10) + QByteArray(5, 'x');
    tagged += QByteArray::fromHex("fffb"
                                  "90c4") +
              QByteArray(17, '\0') + "Info" + QByteArray::fromHex("0000000f") + QByteArray(112, '\0') + "LAME3.100";
    tagged += QByteArray(300, '\0');
    ASSERT_TRUE(TestSupport::writeFile(audio, tagged));
    EXPECT_EQ(Mp3StartDelayUs(audio, 44100), 0);
    tagged.replace("LAME", "....");
    ASSERT_TRUE(TestSupport::writeFile(audio, tagged));
    EXPECT_EQ(Mp3StartDelayUs(audio, 44100), 1105LL * 1'000'000 / 44100);
}
