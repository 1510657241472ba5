// The real engines (eSpeak NG and Flite) through the platform, on the
// headless sound server and into WAV files.
#include "SpeechTestSupport.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

using namespace sapi;
using namespace speechtest;

namespace {

const QString kLongText = QStringLiteral(
    "This sentence is long enough to keep the speaker busy for a few seconds. "
    "It goes on with a second sentence, so that pausing and stopping can be watched.");

// Tests on the headless sound server's device.
class DeviceTest : public EngineTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(EngineTest::SetUp());
        ASSERT_GT(waveOutGetNumDevs(), 0u) << "needs the headless sound server: run through scripts/run-tests.sh";
    }
};

}  // namespace

TEST_F(EngineTest, EveryModeEnumeratesWithItsNamesAndSpeaksAShortSentenceIntoAValidWav)
{
    const std::vector<TTSMODEINFOW> modes = allModes();
    // The catalogue's test reads the makers, speakers and languages of the same modes.
    QSet<QString> names;
    QSet<QByteArray> ids;
    int espeakModes = 0;
    QStringList fliteSpeakers;
    for (const TTSMODEINFOW &m : modes) {
        const QString name = modeName(m), maker = QString::fromUtf16(m.szMfgName);
        const std::string what = name.toStdString();
        names.insert(name);
        ids.insert(QByteArray(reinterpret_cast<const char *>(&m.gModeID), sizeof(GUID)));
        if (maker == "eSpeak NG") {
            ++espeakModes;
        } else {
            fliteSpeakers << QString::fromUtf16(m.szSpeaker);
            EXPECT_EQ(name.contains("Telephone"), fliteSpeakers.back() == "kal") << what;
        }
        // A valid RIFF WAVE file whose length matches the audio.
        const Spoken s = speakToFile(m, "Hello, one two.");
        EXPECT_TRUE(s.wav.whole) << what;
        EXPECT_EQ(s.wav.channels, 1);
        EXPECT_EQ(s.wav.sampleRate, maker == "eSpeak NG" ? 22050 : fliteSpeakers.back() == "kal" ? 8000 : 16000);
        EXPECT_EQ(s.wav.byteRate, uint32_t(2 * s.wav.sampleRate));
        // The last notification's time stamp is the end of the audio in the file.
        EXPECT_NEAR(double(s.notes->notes.back().stamp) / 1e7, s.wav.seconds(), 0.002) << what;
        EXPECT_GT(s.wav.seconds(), 0.3) << what;
        EXPECT_LT(s.wav.seconds(), 6.0) << what;
        EXPECT_GT(s.wav.rms(), 200.0) << what;  // not silence
    }
    EXPECT_EQ(names.size(), modes.size());  // unique names
    EXPECT_EQ(ids.size(), modes.size());
    EXPECT_GE(espeakModes, 5 * 20);  // a handful of variants for each of many languages
    fliteSpeakers.sort();
    EXPECT_EQ(fliteSpeakers, (QStringList{"awb", "kal", "kal16", "rms", "slt"}));
    // The identifiers do not depend on the run: a fresh enumeration agrees.
    EXPECT_TRUE(modeNamed(modeName(modes.front())).gModeID == modes.front().gModeID);
}

TEST_F(EngineTest, WordPositionsAreByteOffsetsIntoTheUtf16Block)
{
    const QString accented = QString::fromUtf8("Café crème brûlée, naïve façade.");
    const QString astral = QString::fromUtf8("one \U0001D11E two \U0001F600 three");
    const std::vector<uint32_t> astralWords{0, uint32_t(astral.indexOf("two") * 2),
                                            uint32_t(astral.indexOf("three") * 2)};
    for (const TTSMODEINFOW *mode : {&espeak, &flite}) {
        const std::string what = modeName(*mode).toStdString();
        EXPECT_EQ(speakToFile(*mode, accented).notes->values(Note::Word), (std::vector<uint32_t>{0, 10, 22, 38, 50}))
            << what;
        std::vector<uint32_t> words = speakToFile(*mode, astral).notes->values(Note::Word);
        std::erase_if(words, [&](uint32_t w) { return std::ranges::find(astralWords, w) == astralWords.end(); });
        EXPECT_EQ(words, astralWords) << what;
    }
}

TEST_F(DeviceTest, DeviceDeliversWordsAsTheyAreHeardBookmarksFromTagsAndQueuedTextsInOneStretch)
{
    const QString text = R"(one \Mrk=7\two three four five)";
    std::vector<uint32_t> expected;
    for (const char *w : {"one", "two", "three", "four", "five"})
        expected.push_back(uint32_t(text.indexOf(w) * 2));
    expected.insert(expected.end(), {0, 14});  // "second text"
    for (const TTSMODEINFOW *mode : {&espeak, &flite}) {
        Bound b = onDevice(mode->gModeID);
        ASSERT_EQ(b.result, S_OK);
        ASSERT_EQ(speak(b, text, true), S_OK);
        ASSERT_EQ(speak(b, "second text"), S_OK);
        ASSERT_TRUE(waitForStop(b, 15000));
        idle(150);  // nothing may follow the stop
        const Recorder &r = *b.recorder;
        EXPECT_TRUE(std::ranges::all_of(r.notes, &Note::onMainThread));
        // Queued texts play as one stretch of audio.
        EXPECT_EQ(r.count(Note::AudioStart), 1);
        EXPECT_EQ(r.count(Note::AudioStop), 1);
        EXPECT_EQ(r.notes.back().kind, Note::AudioStop);
        EXPECT_EQ(r.count(Note::TextStarted), 2);
        EXPECT_EQ(r.values(Note::TextDone), (std::vector<uint32_t>{0, 0}));
        EXPECT_EQ(r.values(Note::Mark), std::vector<uint32_t>{7});
        EXPECT_EQ(r.values(Note::Word), expected) << modeName(*mode).toStdString();

        // The mark stands between "one" and "two"; each word comes when its
        // audio is heard, so their spacing follows the audio.
        std::vector<Note> order;
        std::ranges::copy_if(r.notes, std::back_inserter(order),
                             [](const Note &n) { return n.kind == Note::Word || n.kind == Note::Mark; });
        ASSERT_EQ(order.size(), 8u);
        EXPECT_EQ(order[1].kind, Note::Mark);
        const Note &one = order[0], &five = order[5];
        const double audioMs = double(five.stamp - one.stamp) / 10000.0;
        const double seenMs = std::chrono::duration<double, std::milli>(five.at - one.at).count();
        EXPECT_GT(audioMs, 500.0);
        EXPECT_NEAR(seenMs, audioMs, 120.0) << modeName(*mode).toStdString();
    }
}

// That a resumed text still ends, once, is checked through the reading window.
TEST_F(DeviceTest, PauseHoldsEverythingInjectedTagsActInTheRunningTextAndResetStopsAtOnce)
{
    Bound b = onDevice(espeak.gModeID);
    ASSERT_EQ(b.result, S_OK);
    for (int i = 0; i < 2; ++i)  // two queued texts
        ASSERT_EQ(speak(b, kLongText), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) >= 2; }, 5000));
    ASSERT_EQ(b.central->Inject(u"\\Spd=400\\\\Mrk=9\\"), S_OK);
    ASSERT_EQ(b.central->AudioPause(), S_OK);
    idle(100);
    QWORD before = 0, after = 0;
    ASSERT_EQ(b.central->PosnGet(&before), S_OK);
    size_t notes = b.recorder->notes.size();
    idle(300);
    ASSERT_EQ(b.central->PosnGet(&after), S_OK);
    EXPECT_EQ(after, before);  // the played position stands still
    EXPECT_EQ(b.recorder->notes.size(), notes);

    ASSERT_EQ(b.central->AudioResume(), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Mark) > 0; }, 10000));
    ASSERT_EQ(b.central->PosnGet(&after), S_OK);
    EXPECT_GT(after, before);
    EXPECT_EQ(b.recorder->values(Note::Mark), std::vector<uint32_t>{9});
    EXPECT_EQ(b.recorder->values(Note::Attrib), std::vector<uint32_t>{TTSNSAC_SPEED});
    uint32_t speed = 0;
    queryAs<ITTSAttributesW>(b.central, IID_ITTSAttributesW)->SpeedGet(&speed);
    EXPECT_EQ(speed, 400u);

    // A reset also ends a pause: one AudioStop at once, and nothing stale later.
    ASSERT_EQ(b.central->AudioPause(), S_OK);
    ASSERT_EQ(b.recorder->count(Note::AudioStop), 0);
    const int done = b.recorder->count(Note::TextDone);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(b.central->AudioReset(), S_OK);
    ASSERT_TRUE(waitForStop(b, 1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    notes = b.recorder->notes.size();
    b.central->PosnGet(&before);
    idle(700);
    b.central->PosnGet(&after);
    EXPECT_EQ(b.recorder->notes.size(), notes);  // no word, no done, no second stop
    EXPECT_EQ(b.recorder->count(Note::TextDone), done);
    EXPECT_EQ(after, before);

    // The engine speaks again afterwards, not paused.
    ASSERT_EQ(speak(b, "again"), S_OK);
    ASSERT_TRUE(waitForStop(b, 10000, 2));
    EXPECT_EQ(b.recorder->count(Note::AudioStart), 2);
    EXPECT_EQ(b.recorder->count(Note::TextDone), done + 1);
}

TEST_F(EngineTest, SpeedAndPitchChangesAreHeardInTheOutput)
{
    const QString sentence = "The quick brown fox jumps over the lazy dog.";
    for (const TTSMODEINFOW *mode : {&espeak, &flite}) {
        const std::string what = modeName(*mode).toStdString();
        auto withAttributes = [&](uint32_t speed, uint16_t pitch) {
            auto set = [&](Bound &b) {
                auto attributes = queryAs<ITTSAttributesW>(b.central, IID_ITTSAttributesW);
                ASSERT_TRUE(attributes);
                ASSERT_EQ(attributes->SpeedSet(speed), S_OK);
                ASSERT_EQ(attributes->PitchSet(pitch), S_OK);
            };
            return speakToFile(*mode, sentence, set).wav;
        };
        EXPECT_GT(withAttributes(100, 150).seconds(), 1.8 * withAttributes(300, 150).seconds()) << what;
        EXPECT_GT(withAttributes(175, 240).meanPitchHz(), 1.2 * withAttributes(175, 60).meanPitchHz()) << what;
    }
}

TEST_F(EngineTest, AttributesClampToTheEngineRangeAndIdleTagsActAtOnce)
{
    struct Expect {
        const TTSMODEINFOW *mode;
        uint16_t minPitch, maxPitch;
    } cases[] = {{&espeak, 50, 250}, {&flite, 50, 300}};
    for (const Expect &c : cases) {
        SCOPED_TRACE(modeName(*c.mode).toStdString());
        Bound b = toFile(c.mode->gModeID, TestSupport::homeDir() + "/attr.wav");
        ASSERT_EQ(b.result, S_OK);
        auto a = queryAs<ITTSAttributesW>(b.central, IID_ITTSAttributesW);
        ASSERT_TRUE(a);
        uint16_t pitch = 0, original = 0;
        uint32_t speed = 0;
        ASSERT_EQ(a->PitchGet(&original), S_OK);
        EXPECT_TRUE(original >= c.minPitch && original <= c.maxPitch) << original;
        // The range probe of the speech component: extremes come back clamped.
        auto pitchAfter = [&](uint16_t set) { return a->PitchSet(set), a->PitchGet(&pitch), pitch; };
        auto speedAfter = [&](uint32_t set) { return a->SpeedSet(set), a->SpeedGet(&speed), speed; };
        EXPECT_EQ(pitchAfter(0), c.minPitch);
        EXPECT_EQ(pitchAfter(0xFFFF), c.maxPitch);
        EXPECT_EQ(speedAfter(0), 80u);
        EXPECT_EQ(speedAfter(0xFFFFFFFF), 450u);

        // Tags injected while idle change the voice at once.
        EXPECT_EQ(b.central->Inject(u"\\Spd=200\\\\Pit=100\\"), S_OK);
        a->SpeedGet(&speed);
        a->PitchGet(&pitch);
        EXPECT_EQ(speed, 200u);
        EXPECT_EQ(pitch, 100);
        EXPECT_EQ(b.central->Inject(u"\\Rst\\"), S_OK);
        a->PitchGet(&pitch);
        EXPECT_EQ(pitch, original);

        // The reader converts nothing to phonemes; one check that they come in memory the caller frees.
        char16_t text[] = u"hello world";
        SDATA out;
        ASSERT_EQ(b.central->Phoneme(CHARSET_ENGINEPHONETIC, 0, SDATA{text, sizeof text}, &out), S_OK);
        const QString p = QString::fromUtf16(static_cast<const char16_t *>(out.pData));
        CoTaskMemFree(out.pData);
        EXPECT_TRUE(p.contains(u'l') && !p.contains("hello")) << p.toStdString();
    }
}

// An empty text read through the program: CliReadToFile.UnusualTextsAreRead.
TEST_F(EngineTest, AnUnregisteredSinkIsToldNothing)
{
    auto other = std::make_shared<Recorder>();
    speakToFile(espeak, "hi", [&](Bound &b) {
        uint32_t key = 0;
        ASSERT_EQ(b.central->Register(other, IID_ITTSNotifySinkW, &key), S_OK);
        EXPECT_EQ(b.central->UnRegister(key), S_OK);
        EXPECT_EQ(b.central->UnRegister(key), TTSERR_INVALIDKEY);
    });
    EXPECT_TRUE(other->notes.empty());
}

TEST_F(EngineTest, ResetAfterTheLastWriteStillEndsWithOneAudioStop)
{
    // A stream that takes everything at once: the engine is done writing
    // long before the listener has heard it all.
    ScopedAudioSystem scripted;
    scripted->setQueueLimitUs(60'000'000);
    Bound b = onDevice(espeak.gModeID);
    ASSERT_EQ(b.result, S_OK);
    ASSERT_EQ(speak(b, "one two three four five six"), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) >= 1; }, 5000));
    idle(200);
    ASSERT_EQ(b.recorder->count(Note::AudioStop), 0);
    ASSERT_EQ(b.central->AudioReset(), S_OK);
    ASSERT_TRUE(waitForStop(b, 1000));
    idle(300);
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 1);
    EXPECT_EQ(b.recorder->count(Note::TextDone), 0);
}

TEST_F(EngineTest, SentencesSpokenOneByOneKeepThePauseBetweenThem)
{
    // The text is handed to eSpeak NG a sentence at a time; the listener
    // must still hear the pause it makes between sentences (about 0.3 s).
    const Wav one = speakToFile(espeak, "Hello there my friend.").wav;
    const Wav two = speakToFile(espeak, "Hello there my friend. Hello there my friend.").wav;
    EXPECT_NEAR(two.seconds() - 2 * one.seconds(), 0.29, 0.08);
}
