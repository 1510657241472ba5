// The libpulse backend against the private test server, which has two null
// sinks: "voxtrella_aux" (mono, long description) and "voxtrella_null"
// (stereo, "Voxtrella Test Output", the default).
#include "PulseAudioSystem.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

using namespace audio;

namespace {

constexpr int kRate = 22050;

// Writes in pieces of `chunk` bytes (all at once by default).
bool put(PlaybackStream &s, const QByteArray &pcm, qsizetype chunk = 0)
{
    chunk = chunk > 0 ? chunk : pcm.size();
    for (qsizetype at = 0; at < pcm.size(); at += chunk)
        if (!s.write(pcm.constData() + at, size_t(std::min(chunk, pcm.size() - at))))
            return false;
    return true;
}

// Drains and waits for the "audio stopped" callback.
bool drained(PlaybackStream &s, int timeoutMs)
{
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    s.drain([stopped] { *stopped = true; });
    return TestSupport::waitFor([&] { return stopped->load(); }, timeoutMs);
}

// Writes on a thread of its own, as synthesis does.
class Writer
{
public:
    Writer(PlaybackStream &s, QByteArray pcm, qsizetype chunk = 0)
        : m_stream(s), m_thread([this, pcm = std::move(pcm), chunk] {
              m_ok = put(m_stream, pcm, chunk);
              m_done = true;
          })
    {
    }
    ~Writer()
    {
        if (!m_done)
            m_stream.reset();  // a test that stopped early releases its writer
        m_thread.join();
    }
    // The write's result, once it has ended within the time given.
    std::optional<bool> result(int timeoutMs)
    {
        if (!TestSupport::waitFor([this] { return m_done.load(); }, timeoutMs))
            return std::nullopt;
        return m_ok.load();
    }

private:
    std::atomic<bool> m_ok{false}, m_done{false};
    PlaybackStream &m_stream;
    std::thread m_thread;
};

QByteArray tone(int ms)
{
    const int frames = kRate * ms / 1000;
    QByteArray pcm(frames * 2, Qt::Uninitialized);
    auto *samples = reinterpret_cast<int16_t *>(pcm.data());
    for (int i = 0; i < frames; ++i)
        samples[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / kRate));
    return pcm;
}

// A stream on the default device of the private test server.
class PulseAudioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Never touch the user's own sound server.
        if (qEnvironmentVariableIsEmpty("VOXTRELLA_HEADLESS_AUDIO"))
            FAIL() << "needs the private test sound server: run through scripts/run-tests.sh";
        system = std::make_unique<PulseAudioSystem>();
        stream = open();
        ASSERT_TRUE(stream);
    }

    std::unique_ptr<PlaybackStream> open(int device = -1)
    {
        QString error;
        auto opened = system->openPlayback(device, PcmFormat{kRate, 1}, &error);
        EXPECT_TRUE(opened) << error.toStdString();
        return opened;
    }

    std::unique_ptr<PulseAudioSystem> system;
    std::unique_ptr<PlaybackStream> stream;
};

// Points libpulse at another server until the end of the scope; set before the backend connects.
struct UseServer : TestSupport::ScopedEnv {
    explicit UseServer(const QString &address) : ScopedEnv("PULSE_SERVER", address.toLocal8Bit()) {}
};

// Starts or stops a sound server of the test's own, so that it can be taken away.
bool ownServer(const char *command, const QTemporaryDir &state)
{
    return QProcess::execute("bash", {HEADLESS_AUDIO_SCRIPT, command, state.path()}) == 0;
}

}  // namespace

TEST(PulseCapsHelpers, IdsVersionsAndNamesFromSinkPropertiesFitTheirFields)
{
    const std::pair<const char *, int> ids[] = {
        {"0x8086", 0x8086}, {"10ec", 0x10ec}, {" 0X1D6B ", 0x1d6b}, {"", 0},
        {"0x", 0},          {"usb", 0},       {"0x123456", 0},  // too wide: no silent truncation
    };
    for (const auto &[text, id] : ids)
        EXPECT_EQ(caps::parseHexId(text), id) << text;
    const WaveOutCaps m = caps::fromSink(SinkInfo{"alsa_output.mono", "Mono Speaker", 1, "0x8086", "0x2668"}, 0);
    EXPECT_EQ(m.wMid, 0x8086);
    EXPECT_EQ(m.wPid, 0x2668);
    EXPECT_EQ(caps::fromSink(SinkInfo{"null", "", 2, "", ""}, 0).szPname, "null") << "no description: the sink name";
    const std::pair<const char *, uint32_t> versions[] = {
        {"15.0.0", 0x0F00},  {"pulseaudio 16.1-rebootstrapped", 0x1001}, {"1.0.74", 0x0100}, {"unknown", 0},
        {"300.400", 0xFFFF},  // parts beyond a byte are capped, not wrapped
    };
    for (const auto &[text, version] : versions)
        EXPECT_EQ(caps::versionNumber(text), version) << text;
}

// Names, order, channels, formats and support bits of the sinks are checked
// where the user sees them, in tests/dialogs/AuDevDlgTest.
TEST_F(PulseAudioTest, DevicesAreTheSinksAndMinusOneIsTheDefault)
{
    ASSERT_EQ(system->outputDeviceCount(), 2);
    EXPECT_EQ(system->inputDeviceCount(), 1) << "one virtual microphone; the sinks' monitors are no inputs";
    WaveOutCaps mapper, none;
    ASSERT_TRUE(system->outputCaps(-1, mapper));
    EXPECT_EQ(mapper.szPname, "Voxtrella Test Output") << "the default sink, not the first";
    EXPECT_NE(mapper.vDriverVersion, 0u) << "the server's version";
    EXPECT_FALSE(system->outputCaps(2, none));
    EXPECT_FALSE(system->outputCaps(-2, none));
}

TEST_F(PulseAudioTest, OpensOnEveryDeviceAndFailsWithAMessageOnAMissingDeviceOrABadFormat)
{
    QString error;
    for (int device : {-1, 0, 1})
        EXPECT_TRUE(system->testOpen(device, &error)) << device << ": " << error.toStdString();
    EXPECT_EQ(system->checkDevice(-1, &error), DeviceCheck::Free) << "a sound server is never busy";
    EXPECT_FALSE(system->testOpen(7, &error));
    EXPECT_TRUE(error.contains("7")) << error.toStdString();
    EXPECT_EQ(system->checkDevice(7, &error), DeviceCheck::Failed);
    error.clear();
    EXPECT_FALSE(system->openPlayback(7, PcmFormat{kRate, 1}, &error));
    EXPECT_FALSE(error.isEmpty());
    for (const PcmFormat &bad : {PcmFormat{0, 1}, PcmFormat{-22050, 1}, PcmFormat{kRate, 0}, PcmFormat{kRate, 200}}) {
        error.clear();
        EXPECT_FALSE(system->openPlayback(-1, bad, &error));
        EXPECT_TRUE(error.contains("not supported")) << error.toStdString();
    }
}

TEST_F(PulseAudioTest, DrainCallsBackOnceEverythingWrittenWasPlayedOnEachDevice)
{
    auto other = open(0);
    ASSERT_TRUE(other);
    EXPECT_TRUE(drained(*other, 1000)) << "an empty stream drains at once";
    ASSERT_TRUE(put(*other, tone(200)));        // and plays on the other device meanwhile
    ASSERT_TRUE(put(*stream, tone(500), 333));  // odd pieces: the server takes whole frames only
    EXPECT_EQ(stream->writtenUs(), 500000);
    std::atomic<int> calls{0};
    std::atomic<int64_t> playedAtStop{0};
    stream->drain([&] {
        playedAtStop = stream->playedUs();
        ++calls;
    });
    ASSERT_TRUE(TestSupport::waitFor([&] { return calls > 0; }, 5000));
    EXPECT_GE(playedAtStop.load(), 450000) << "the callback came before the audio was heard";
    EXPECT_LE(playedAtStop.load(), 500000);
    QThread::msleep(100);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(stream->lastError().isEmpty());
    EXPECT_TRUE(drained(*other, 3000)) << "both devices play at the same time";
}

TEST_F(PulseAudioTest, PlayedPositionFollowsPlaybackAndFreezesWhilePaused)
{
    Writer writer(*stream, tone(2000), 882);  // 20 ms pieces
    int64_t last = 0;
    auto sampleFor = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            const int64_t played = stream->playedUs();
            EXPECT_LE(played, stream->writtenUs()) << "heard audio that was never written";
            EXPECT_GE(played, last) << "the position went backwards";
            last = played;
            QThread::msleep(5);
        }
    };
    sampleFor(400);
    EXPECT_GT(last, 100000) << "playback did not start";

    // Word timing stands on this: the position moves at the speed of the sound
    // heard. Best of three windows, so that one preemption does not fail it.
    QElapsedTimer clock;
    int64_t bestError = INT64_MAX;
    for (int window = 0; window < 3; ++window) {
        const int64_t before = stream->playedUs();
        clock.start();
        QThread::msleep(150);
        const int64_t moved = stream->playedUs() - before;
        bestError = std::min<int64_t>(bestError, std::abs(moved - clock.nsecsElapsed() / 1000));
    }
    EXPECT_LT(bestError, 20000);

    stream->pause();
    const int64_t frozen = stream->playedUs();
    QThread::msleep(300);
    EXPECT_EQ(stream->playedUs(), frozen);
    EXPECT_LE(stream->writtenUs() - frozen, 600000) << "the writer must block while the device is paused";
    stream->resume();
    EXPECT_EQ(writer.result(5000), true);
    ASSERT_TRUE(drained(*stream, 5000));
    EXPECT_GE(stream->playedUs(), 1950000);
    EXPECT_LE(stream->playedUs(), 2000000);
}

TEST_F(PulseAudioTest, AfterAGapOrAPauseNothingIsHeardBeforeItWasWritten)
{
    // The server's clock restarts a little ahead of time after a gap between
    // sentences or a pause: word highlighting would run ahead of the voice.
    const QByteArray pcm = tone(200);
    ASSERT_TRUE(put(*stream, pcm));
    QThread::msleep(500);
    EXPECT_EQ(stream->playedUs(), 200000);

    auto expectRealTime = [&](int64_t from, const QElapsedTimer &since) {
        while (since.elapsed() < 150) {
            EXPECT_LE(stream->playedUs(), from + since.nsecsElapsed() / 1000) << "after " << since.elapsed() << " ms";
            QThread::msleep(5);
        }
    };
    QElapsedTimer clock;
    clock.start();
    Writer afterGap(*stream, pcm);
    expectRealTime(200000, clock);
    EXPECT_EQ(afterGap.result(3000), true);

    stream->pause();
    Writer afterPause(*stream, tone(600));
    QThread::msleep(100);
    const int64_t pausedAt = stream->playedUs();
    clock.restart();
    stream->resume();
    expectRealTime(pausedAt, clock);
    EXPECT_EQ(afterPause.result(3000), true);
    ASSERT_TRUE(drained(*stream, 3000));
    EXPECT_GE(stream->playedUs(), 950000);
    EXPECT_LE(stream->playedUs(), 1000000);
}

TEST_F(PulseAudioTest, ResetReleasesABlockedWriterAndTheNextAudioIsHeardFromThere)
{
    Writer writer(*stream, tone(5000));
    ASSERT_TRUE(TestSupport::waitFor([&] { return stream->playedUs() > 200000; }, 3000));
    std::atomic<bool> staleDrain{false};
    stream->drain([&] { staleDrain = true; });
    stream->reset();
    EXPECT_EQ(writer.result(500), false) << "released at once, and saying the write was cut short";

    // The next audio is heard from where the reset happened.
    const int64_t heard = stream->playedUs();
    EXPECT_GT(heard, 200000);
    EXPECT_LT(heard, 1500000);
    EXPECT_EQ(stream->writtenUs(), heard);
    ASSERT_TRUE(put(*stream, tone(300)));
    EXPECT_EQ(stream->writtenUs(), heard + 300000);
    ASSERT_TRUE(drained(*stream, 3000));
    EXPECT_GE(stream->playedUs(), heard + 250000);
    EXPECT_LE(stream->playedUs(), heard + 300000);
    EXPECT_FALSE(staleDrain) << "a drain dropped by reset must not report later";
}

// The engines resume before they reset (tests/platform/speech/EngineTest, DeviceTest.PauseHolds...);
// the other order, quickly, must not leave the new server stream corked either.
TEST_F(PulseAudioTest, AResetWhilePausedPlaysWhenResumedAtOnce)
{
    const QByteArray pcm = tone(300);
    ASSERT_TRUE(put(*stream, pcm));
    stream->pause();
    stream->reset();
    stream->resume();  // while the new server stream still connects
    const int64_t at = stream->playedUs();
    Writer writer(*stream, pcm);
    ASSERT_EQ(writer.result(3000), true) << "a stream left corked blocks the writer for good";
    ASSERT_TRUE(drained(*stream, 3000));
    EXPECT_GE(stream->playedUs(), at + 250000);
}

TEST_F(PulseAudioTest, TheDrainCallbackMayUseOrDestroyItsStream)
{
    const QByteArray pcm = tone(100);
    ASSERT_TRUE(put(*stream, pcm));
    std::atomic<bool> destroyed{false};
    PlaybackStream *raw = stream.release();
    raw->drain([&] {
        // Neither may deadlock against the audio layer's own locks.
        EXPECT_TRUE(raw->write(pcm.constData(), 64));
        EXPECT_LE(raw->playedUs(), raw->writtenUs());
        delete raw;
        destroyed = true;
    });
    EXPECT_TRUE(TestSupport::waitFor([&] { return destroyed.load(); }, 3000));
    EXPECT_EQ(system->outputDeviceCount(), 2) << "the system still works afterwards";
}

TEST(PulseUnreachableServer, EveryCallFailsFastWithAMessageAndASilentServerTimesOut)
{
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    {
        // Selecting a voice with no server: tests/platform/speech/DestinationAndFaultTest.
        const UseServer unreachable("unix:" + dir.path() + "/no-such-socket");
        PulseAudioSystem system;
        EXPECT_EQ(system.outputDeviceCount(), 0);
        EXPECT_EQ(system.inputDeviceCount(), 0);
        WaveOutCaps caps;
        EXPECT_FALSE(system.outputCaps(-1, caps));
        QString error;
        EXPECT_FALSE(system.testOpen(-1, &error)) << "an unreachable server is never a free device";
        EXPECT_TRUE(error.contains("cannot be reached")) << error.toStdString();
        EXPECT_LT(clock.elapsed(), 5000) << "no server must fail fast, not wait";
    }
    // The kernel accepts the connection; nobody ever replies (no event loop runs here).
    QLocalServer listener;
    ASSERT_TRUE(listener.listen(dir.path() + "/silent"));
    const UseServer silent("unix:" + listener.fullServerName());
    PulseAudioSystem system;
    QString error;
    clock.restart();
    EXPECT_FALSE(system.testOpen(-1, &error));
    EXPECT_TRUE(error.contains("did not answer")) << error.toStdString();
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 4000) << "gave up too late";
}

TEST(PulseServerLoss, PlaybackEndsWithErrorsWhenTheServerGoesAwayAndARestartedServerIsFound)
{
    QTemporaryDir state;
    const auto stop = qScopeGuard([&] { ownServer("stop", state); });
    ASSERT_TRUE(ownServer("start", state));
    const UseServer address("unix:" + state.path() + "/runtime/pulse/native");
    PulseAudioSystem system;
    ASSERT_EQ(system.outputDeviceCount(), 2);
    QString error;
    auto stream = system.openPlayback(-1, PcmFormat{kRate, 1}, &error);
    ASSERT_TRUE(stream) << error.toStdString();
    const QByteArray pcm = tone(5000);
    Writer writer(*stream, pcm);
    ASSERT_TRUE(TestSupport::waitFor([&] { return stream->playedUs() > 100000; }, 3000));
    std::atomic<int> stopped{0};
    stream->drain([&] { ++stopped; });

    ownServer("stop", state);
    EXPECT_EQ(writer.result(3000), false) << "the writer must not hang, nor say it wrote";
    EXPECT_TRUE(TestSupport::waitFor([&] { return stopped == 1; }, 3000)) << "a waiting drain must hear of the end";
    EXPECT_FALSE(stream->lastError().isEmpty());
    const int64_t played = stream->playedUs();
    QThread::msleep(100);
    EXPECT_EQ(stream->playedUs(), played);
    EXPECT_LE(played, stream->writtenUs());
    EXPECT_FALSE(stream->write(pcm.constData(), 100));
    stream->pause();
    stream->resume();
    stream->reset();
    stream->drain([&] { ++stopped; });
    EXPECT_TRUE(TestSupport::waitFor([&] { return stopped == 2; }, 500)) << "draining a dead stream ends at once";
    EXPECT_EQ(system.outputDeviceCount(), 0);
    EXPECT_FALSE(system.testOpen(-1, &error));
    EXPECT_TRUE(error.contains("cannot be reached")) << error.toStdString();

    ASSERT_TRUE(ownServer("start", state));
    EXPECT_EQ(system.outputDeviceCount(), 2) << "a restarted server is found without restarting the program";
    EXPECT_TRUE(system.testOpen(-1, &error)) << error.toStdString();
}
