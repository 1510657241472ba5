// The Speech Dispatcher driver against a real service of the test's own
// (eSpeak NG module, sound to the private headless sound server).
#include "MessageService.h"
#include "PrivateSpeechService.h"
#include "SpeechDispatcherEngine.h"
#include "SpeechTestSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace sapi;
using namespace speechtest;

namespace {

QString field(const char16_t *f)
{
    return QString::fromUtf16(f, qsizetype(nameLength(f)));
}

// Where each word of text starts, as byte offsets into its UTF-16 block.
std::vector<uint32_t> wordOffsets(const QString &text)
{
    std::vector<uint32_t> out;
    for (const QRegularExpressionMatch &m : QRegularExpression("\\S+").globalMatch(text))
        out.push_back(uint32_t(m.capturedStart() * 2));
    return out;
}

class SpeechDispatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        service = std::make_unique<PrivateSpeechService>();
        ASSERT_TRUE(service->running()) << "speech-dispatcher did not start: " << service->output().toStdString();
        // eSpeak NG lists over ten thousand voices: a few seconds.
        engine = SpeechDispatcherEngine::create(30000);
        ASSERT_TRUE(engine->settled());
        SpeechPlatform::setEngines({engine});
        for (const TTSMODEINFOW &m : engine->modes())
            if (field(m.szSpeaker) == "English (America) (espeak-ng)")
                english = m;
        ASSERT_FALSE(english.gModeID.isNull()) << engine->problem().toStdString();
    }
    void TearDown() override { SpeechPlatform::restoreDefaultEngines(); }

    std::unique_ptr<PrivateSpeechService> service;
    std::shared_ptr<SpeechDispatcherEngine> engine;
    TTSMODEINFOW english;
};

}  // namespace

TEST_F(SpeechDispatcherTest, SpeechDispatcherListsVoicesAndReadsWithWordPositionsInOrder)
{
    const std::vector<TTSMODEINFOW> modes = engine->modes();
    for (const TTSMODEINFOW &m : modes) {
        EXPECT_EQ(field(m.szMfgName), "Speech Dispatcher");
        EXPECT_TRUE(field(m.szSpeaker).endsWith(" (espeak-ng)")) << field(m.szSpeaker).toStdString();
        EXPECT_NE(m.language.LanguageID, 0);
    }
    // The plain voices only, not every language with every variant.
    EXPECT_GT(modes.size(), 20u);
    EXPECT_LT(modes.size(), 300u);
    EXPECT_EQ(english.language.LanguageID, 1033);
    EXPECT_TRUE(SpeechDispatcherEngine::engineFacts().playsItself);
    ASSERT_TRUE(engine->ranges(english.gModeID));

    // The service plays the sound itself: a file destination is refused at once.
    EXPECT_EQ(toFile(english.gModeID, TestSupport::homeDir() + "/x.wav").result, TTSERR_NOTSUPPORTED);

    Bound b = onDevice(english.gModeID);
    ASSERT_EQ(b.result, S_OK);
    // Markup characters are text, and a bookmark comes where it stands.
    const QString text = "Hello there, <brave> & \"new\" world.";
    ASSERT_EQ(speak(b, text), S_OK);
    ASSERT_TRUE(waitForStop(b, 15000));
    EXPECT_EQ(b.recorder->values(Note::Word), wordOffsets(text));
    const std::vector<Note> &notes = b.recorder->notes;
    ASSERT_GE(notes.size(), 4u);
    EXPECT_EQ(notes.front().kind, Note::AudioStart);
    EXPECT_EQ(notes.back().kind, Note::AudioStop);
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{0});
    for (const Note &n : notes)
        EXPECT_TRUE(n.onMainThread);

    const QString tagged = "One \\Mrk=7\\two.";
    ASSERT_EQ(speak(b, tagged, true), S_OK);
    ASSERT_TRUE(waitForStop(b, 15000, 2));
    EXPECT_EQ(b.recorder->values(Note::Mark), std::vector<uint32_t>{7});
    const std::vector<uint32_t> words = b.recorder->values(Note::Word);
    EXPECT_EQ(words.back(), uint32_t(tagged.indexOf("two") * 2));

    // Speed reaches the service: a faster voice says the same text sooner.
    auto timed = [&](uint32_t speed) {
        auto attributes = queryAs<ITTSAttributesW>(b.central, IID_ITTSAttributesW);
        EXPECT_EQ(attributes->SpeedSet(speed), S_OK);
        const int stops = b.recorder->count(Note::AudioStop);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(speak(b, "one two three four five six seven eight nine ten eleven twelve"), S_OK);
        EXPECT_TRUE(waitForStop(b, 20000, stops + 1));
        return clock.elapsed();
    };
    const qint64 slow = timed(80), fast = timed(450);
    EXPECT_LT(fast * 2, slow) << "slow " << slow << " ms, fast " << fast << " ms";
}

TEST_F(SpeechDispatcherTest, SpeechDispatcherPausesResumesAndStops)
{
    Bound b = onDevice(english.gModeID);
    ASSERT_EQ(b.result, S_OK);
    const QString text = "one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
    ASSERT_EQ(speak(b, text), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) >= 2; }, 10000));
    ASSERT_EQ(b.central->AudioPause(), S_OK);
    idle(600);  // the service stops at the next mark
    const int heldAt = b.recorder->count(Note::Word);
    idle(1200);
    EXPECT_EQ(b.recorder->count(Note::Word), heldAt);
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 0);

    ASSERT_EQ(b.central->AudioResume(), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) > heldAt + 1; }, 10000));
    // Speech goes on from the word it stopped at: no word is skipped.
    std::vector<uint32_t> heard = b.recorder->values(Note::Word);
    heard.erase(std::unique(heard.begin(), heard.end()), heard.end());
    const std::vector<uint32_t> all = wordOffsets(text);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), all.begin())) << heard.size();
    EXPECT_EQ(b.recorder->count(Note::TextStarted), 1);
    ASSERT_EQ(b.central->AudioReset(), S_OK);
    ASSERT_TRUE(waitForStop(b, 3000));
    idle(500);
    EXPECT_LT(b.recorder->count(Note::Word), int(wordOffsets(text).size()));
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 1);
    EXPECT_EQ(b.recorder->count(Note::TextDone), 0);  // dropped, as the built-in engines drop it

    // After a stop the next text reads from its start.
    ASSERT_EQ(speak(b, "Again."), S_OK);
    ASSERT_TRUE(waitForStop(b, 10000, 2));
    EXPECT_EQ(b.recorder->values(Note::Word).back(), 0u);
}

TEST_F(SpeechDispatcherTest, SpeechDispatcherKilledWhileReadingEndsTheReadingAndRefusesMore)
{
    Bound b = onDevice(english.gModeID);
    ASSERT_EQ(b.result, S_OK);
    ASSERT_EQ(speak(b, "one two three four five six seven eight nine ten eleven twelve thirteen"), S_OK);
    ASSERT_TRUE(TestSupport::waitFor([&] { return b.recorder->count(Note::Word) >= 2; }, 10000));
    QStringList shown;
    MessageService::setHandler([&](const MessageService::Message &m) {
        shown << m.text;
        return UserInteraction::NoButton;
    });
    service->kill();
    // The reading ends (its text aborted) instead of waiting for ever, and the user is told once.
    ASSERT_TRUE(waitForStop(b, 3000));
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{TTSBNS_ABORTED});
    idle(300);
    MessageService::setHandler({});
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("Speech Dispatcher")) << shown[0].toStdString();
    EXPECT_NE(speak(b, "More."), S_OK);
    // A new selection cannot reach the service either, and says so.
    EXPECT_NE(onDevice(english.gModeID).result, S_OK);
}

TEST(SpeechDispatcherAbsent, SpeechDispatcherNotRunningGivesNoVoicesWithoutDelay)
{
    QTemporaryDir dir;
    const QByteArray previous = qgetenv("SPEECHD_ADDRESS");
    qputenv("SPEECHD_ADDRESS", ("unix_socket:" + dir.path() + "/none.sock").toLocal8Bit());
    QElapsedTimer clock;
    clock.start();
    auto engine = SpeechDispatcherEngine::create(200);
    EXPECT_LT(clock.elapsed(), 400);
    EXPECT_TRUE(engine->waitForModes(5000));
    EXPECT_TRUE(engine->modes().empty());
    EXPECT_TRUE(engine->problem().contains("none.sock")) << engine->problem().toStdString();
    Bound b;
    EXPECT_NE(engine->select(GUID{}, create<IUnknown>(CLSID_MMAudioDest, IID_IAudioMultiMediaDevice), b.central), S_OK);
    qputenv("SPEECHD_ADDRESS", previous);
}
