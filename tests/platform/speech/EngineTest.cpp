// The real engines (eSpeak NG and Flite) through the platform, on the
// headless sound server and into WAV files.
#include "SpeechTestSupport.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

using namespace sapi;
using namespace speechtest;

namespace {

const QString kLongText =
    QStringLiteral("This sentence is long enough to keep the speaker busy for a few seconds. "
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
    // eSpeak NG speaking the long text (texts times), heard up to its second word.
    void startLong(Bound &b, int texts = 1)
    {
        b = onDevice(espeak.gModeID);
        ASSERT_EQ(b.result, S_OK);
        for (int i = 0; i < texts; ++i)
            ASSERT_EQ(speak(b, kLongText), S_OK);
        ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) >= 2; }, 5000));
    }
};

}  // namespace

TEST_F(EngineTest, EveryModeEnumeratesWithItsNamesAndSpeaksAShortSentenceIntoAValidWav)
{
    const std::vector<TTSMODEINFOW> modes = allModes();
    QSet<QString> names;
    QSet<QByteArray> ids;
    int espeakModes = 0, femaleUs = 0, maleUs = 0;
    QStringList fliteSpeakers;
    for (const TTSMODEINFOW &m : modes) {
        const QString name = modeName(m), maker = QString::fromUtf16(m.szMfgName);
        const std::string what = name.toStdString();
        names.insert(name);
        ids.insert(QByteArray(reinterpret_cast<const char *>(&m.gModeID), sizeof(GUID)));
        EXPECT_EQ(m.dwFeatures & TTSFEATURE_TAGGED, TTSFEATURE_TAGGED);
        EXPECT_EQ(m.dwInterfaces & TTSI_ITTSATTRIBUTES, TTSI_ITTSATTRIBUTES);
        EXPECT_GT(nameLength(m.szSpeaker), 0u);
        EXPECT_NE(m.language.LanguageID, 0);
        if (maker == "eSpeak NG") {
            ++espeakModes;
            EXPECT_TRUE(QString::fromUtf16(m.szProductName).startsWith("eSpeak NG 1."));
            femaleUs += m.language.LanguageID == 0x0409 && m.wGender == 1;
            maleUs += m.language.LanguageID == 0x0409 && m.wGender == 2;
        } else {
            EXPECT_EQ(maker, "Carnegie Mellon University");
            EXPECT_EQ(m.language.LanguageID, 0x0409);
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
    EXPECT_GE(femaleUs, 2);
    EXPECT_GE(maleUs, 2);
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
        EXPECT_TRUE(r.allOnMainThread());
        // Queued texts play as one stretch of audio.
        EXPECT_EQ(r.count(Note::AudioStart), 1);
        EXPECT_EQ(r.count(Note::AudioStop), 1);
        EXPECT_EQ(r.notes.back().kind, Note::AudioStop);
        EXPECT_EQ(r.count(Note::TextStarted), 2);
        EXPECT_EQ(r.values(Note::TextDone), (std::vector<uint32_t>{0, 0}));
        EXPECT_EQ(r.values(Note::Mark), std::vector<uint32_t>{7});
        EXPECT_GT(r.count(Note::Visual), 5);
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

TEST_F(DeviceTest, PauseHoldsAudioAndNotificationsAndInjectedTagsActInTheRunningText)
{
    Bound b;
    ASSERT_NO_FATAL_FAILURE(startLong(b));
    ASSERT_EQ(b.central->Inject(u"\\Spd=400\\\\Mrk=9\\"), S_OK);
    ASSERT_EQ(b.central->AudioPause(), S_OK);
    idle(100);
    QWORD before = 0, after = 0;
    ASSERT_EQ(b.central->PosnGet(&before), S_OK);
    const size_t notes = b.recorder->notes.size();
    idle(300);
    ASSERT_EQ(b.central->PosnGet(&after), S_OK);
    EXPECT_EQ(after, before);  // the played position stands still
    EXPECT_EQ(b.recorder->notes.size(), notes);
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 0);

    ASSERT_EQ(b.central->AudioResume(), S_OK);
    ASSERT_TRUE(waitForStop(b, 20000));
    ASSERT_EQ(b.central->PosnGet(&after), S_OK);
    EXPECT_GT(after, before);
    EXPECT_GT(b.recorder->count(Note::Word), 20);
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{0});
    EXPECT_EQ(b.recorder->values(Note::Mark), std::vector<uint32_t>{9});
    EXPECT_EQ(b.recorder->values(Note::Attrib), std::vector<uint32_t>{TTSNSAC_SPEED});
    uint32_t speed = 0;
    queryAs<ITTSAttributesW>(b.central, IID_ITTSAttributesW)->SpeedGet(&speed);
    EXPECT_EQ(speed, 400u);
}

TEST_F(DeviceTest, ResetStopsAtOnceWithOneAudioStopAndNothingStaleLater)
{
    Bound b;
    ASSERT_NO_FATAL_FAILURE(startLong(b, 2));  // queued texts go too
    ASSERT_EQ(b.central->AudioPause(), S_OK);  // a reset also ends a pause
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(b.central->AudioReset(), S_OK);
    ASSERT_TRUE(waitForStop(b, 1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    const size_t notes = b.recorder->notes.size();
    QWORD p1 = 0, p2 = 0;
    b.central->PosnGet(&p1);
    idle(700);
    b.central->PosnGet(&p2);
    EXPECT_EQ(b.recorder->notes.size(), notes);  // no word, no done, no second stop
    EXPECT_EQ(b.recorder->count(Note::TextDone), 0);
    EXPECT_EQ(p2, p1);

    // The engine speaks again afterwards, not paused.
    ASSERT_EQ(speak(b, "again"), S_OK);
    ASSERT_TRUE(waitForStop(b, 10000, 2));
    EXPECT_EQ(b.recorder->count(Note::AudioStart), 2);
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{0});
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
            return speakToFile(*mode, sentence, false, set).wav;
        };
        auto tagged = [&](const QString &text) { return speakToFile(*mode, text, true).wav.seconds(); };
        EXPECT_GT(withAttributes(100, 150).seconds(), 1.8 * withAttributes(300, 150).seconds()) << what;
        EXPECT_GT(withAttributes(175, 240).meanPitchHz(), 1.2 * withAttributes(175, 60).meanPitchHz()) << what;
        // The same through tags inside the text.
        EXPECT_GT(tagged("\\Spd=100\\" + sentence), 1.8 * tagged("\\Spd=300\\" + sentence)) << what;
        EXPECT_NEAR(tagged("one \\Pau=1000\\ two") - tagged("one \\Pau=0\\ two"), 1.0, 0.25) << what;
    }
}

TEST_F(EngineTest, AttributesClampToTheEngineRangeAndReportChangesAndPhonemesComeInTaskMemory)
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
        a->SpeedSet(450);  // no change, no notification
        ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Attrib) >= 4; }, 2000));
        idle(50);
        EXPECT_EQ(b.recorder->values(Note::Attrib),
                  (std::vector<uint32_t>{TTSNSAC_PITCH, TTSNSAC_PITCH, TTSNSAC_SPEED, TTSNSAC_SPEED}));
        EXPECT_TRUE(b.recorder->allOnMainThread());

        // Tags injected while idle change the voice at once.
        EXPECT_EQ(b.central->Inject(u"\\Spd=200\\\\Pit=100\\"), S_OK);
        a->SpeedGet(&speed);
        a->PitchGet(&pitch);
        EXPECT_EQ(speed, 200u);
        EXPECT_EQ(pitch, 100);
        EXPECT_EQ(b.central->Inject(u"\\Rst\\"), S_OK);
        a->PitchGet(&pitch);
        EXPECT_EQ(pitch, original);
        EXPECT_EQ(b.central->Inject(u"no tag here"), E_INVALIDARG);
        EXPECT_EQ(b.central->Inject(nullptr), E_POINTER);

        // Engine phonemes from both, IPA from eSpeak NG only; the buffer is the caller's to free.
        char16_t text[] = u"hello world";
        for (auto set : {CHARSET_ENGINEPHONETIC, CHARSET_IPAPHONETIC}) {
            SDATA out;
            const HRESULT r = b.central->Phoneme(set, 0, SDATA{text, sizeof text}, &out);
            if (set == CHARSET_IPAPHONETIC && c.mode == &flite) {
                EXPECT_TRUE(r == TTSERR_NOTSUPPORTED && !out.pData);
                continue;
            }
            ASSERT_EQ(r, S_OK);
            ASSERT_NE(out.pData, nullptr);
            const QString p = QString::fromUtf16(static_cast<const char16_t *>(out.pData));
            CoTaskMemFree(out.pData);
            EXPECT_EQ(out.dwSize, uint32_t((p.size() + 1) * 2));
            EXPECT_TRUE(set == CHARSET_ENGINEPHONETIC
                            ? p.contains(u'l') && !p.contains("hello")
                            : p.contains(QChar(0x0259)) || p.contains(QChar(0x025C)) || p.contains(QChar(0x02C8)))
                << p.toStdString();
        }
    }
}

TEST_F(EngineTest, EmptyTextStillEndsAndAnUnregisteredSinkIsToldNothing)
{
    Bound b = toFile(espeak.gModeID, TestSupport::homeDir() + "/args.wav");
    ASSERT_EQ(b.result, S_OK);
    char16_t text[] = u"hello";
    EXPECT_EQ(b.central->TextData(CHARSET_IPAPHONETIC, 0, SDATA{text, sizeof text}, nullptr, IID_ITTSBufNotifySink),
              TTSERR_NOTSUPPORTED);
    EXPECT_EQ(b.central->TextData(CHARSET_TEXT, 0, SDATA{nullptr, 10}, nullptr, IID_ITTSBufNotifySink), E_POINTER);
    // An empty text (its null only) still starts, ends and stops the audio.
    ASSERT_EQ(speak(b, QString()), S_OK);
    ASSERT_TRUE(waitForStop(b, 5000));
    EXPECT_EQ(b.recorder->count(Note::TextStarted), 1);
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{0});

    uint32_t key = 0;
    auto other = std::make_shared<Recorder>();
    ASSERT_EQ(b.central->Register(other, IID_ITTSNotifySinkW, &key), S_OK);
    EXPECT_EQ(b.central->UnRegister(key), S_OK);
    EXPECT_EQ(b.central->UnRegister(key), TTSERR_INVALIDKEY);
    ASSERT_EQ(speak(b, "hi"), S_OK);
    ASSERT_TRUE(waitForStop(b, 5000, 2));
    EXPECT_TRUE(other->notes.empty());  // unregistered: told nothing
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
