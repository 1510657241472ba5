// The libpulse backend against the private test server, which has two null
// sinks: "voxtrella_aux" (mono, long description) and "voxtrella_null"
// (stereo, "Voxtrella Test Output", the default).
#include "PulseAudioSystem.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace audio;

namespace {

constexpr int kRate = 22050;

QByteArray tone(int ms, int channels = 1)
{
    const int frames = kRate * ms / 1000;
    QByteArray pcm(frames * channels * 2, Qt::Uninitialized);
    auto *samples = reinterpret_cast<int16_t *>(pcm.data());
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[i * channels + c] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / kRate));
    return pcm;
}

class PulseAudioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Never touch the user's own sound server.
        if (qEnvironmentVariableIsEmpty("VOXTRELLA_HEADLESS_AUDIO"))
            FAIL() << "needs the private test sound server: run through scripts/run-tests.sh";
        system = std::make_unique<PulseAudioSystem>();
    }

    std::unique_ptr<PlaybackStream> open(int device = -1)
    {
        QString error;
        auto stream = system->openPlayback(device, PcmFormat{kRate, 1}, &error);
        EXPECT_TRUE(stream) << error.toStdString();
        return stream;
    }

    std::unique_ptr<PulseAudioSystem> system;
};

// Points libpulse at another server for the life of the object; set before
// the backend connects.
class ServerAddress
{
public:
    explicit ServerAddress(const QString &address) : m_old(qgetenv("PULSE_SERVER"))
    {
        qputenv("PULSE_SERVER", address.toLocal8Bit());
    }
    ~ServerAddress()
    {
        if (m_old.isEmpty())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", m_old);
    }

private:
    QByteArray m_old;
};

// A sound server of the test's own, so that it can be taken away.
class OwnServer
{
public:
    ~OwnServer() { stop(); }
    bool start()
    {
        QProcess script;
        script.start("bash", {HEADLESS_AUDIO_SCRIPT, "start", m_state.path()});
        m_running = script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit &&
                    script.exitCode() == 0;
        if (!m_running)
            qWarning("%s", script.readAllStandardError().constData());
        return m_running;
    }
    void stop()
    {
        if (m_running)
            QProcess::execute("bash", {HEADLESS_AUDIO_SCRIPT, "stop", m_state.path()});
        m_running = false;
    }
    QString address() const { return "unix:" + m_state.path() + "/runtime/pulse/native"; }

private:
    QTemporaryDir m_state;
    bool m_running = false;
};

}  // namespace

TEST(PulseCapsHelpers, ParsesVendorAndProductIdsInEitherSpelling)
{
    EXPECT_EQ(caps::parseHexId("0x8086"), 0x8086);
    EXPECT_EQ(caps::parseHexId("10ec"), 0x10ec);
    EXPECT_EQ(caps::parseHexId(" 0X1D6B "), 0x1d6b);
    EXPECT_EQ(caps::parseHexId(""), 0);
    EXPECT_EQ(caps::parseHexId("0x"), 0);
    EXPECT_EQ(caps::parseHexId("usb"), 0);
    EXPECT_EQ(caps::parseHexId("0x123456"), 0) << "too wide for the record: no silent truncation";
}

TEST(PulseCapsHelpers, VersionIsMajorHighByteMinorLowByte)
{
    EXPECT_EQ(caps::versionNumber("15.0.0"), 0x0F00u);
    EXPECT_EQ(caps::versionNumber("pulseaudio 16.1-rebootstrapped"), 0x1001u);
    EXPECT_EQ(caps::versionNumber("1.0.74"), 0x0100u);
    EXPECT_EQ(caps::versionNumber("unknown"), 0u);
    EXPECT_EQ(caps::versionNumber("300.400"), 0xFFFFu) << "parts beyond a byte are capped, not wrapped";
}

TEST(PulseCapsHelpers, DeviceNameIsCutTo31CharactersWithoutBreakingCharacters)
{
    EXPECT_EQ(caps::deviceName("Built-in Audio"), "Built-in Audio");
    const QString exact(31, QChar('x'));
    EXPECT_EQ(caps::deviceName(exact), exact);
    EXPECT_EQ(caps::deviceName(exact + "yz"), exact);
    // A character outside the BMP straddling the cut is dropped whole.
    const QString straddling = QString(30, QChar('a')) + QString::fromUtf8("\xF0\x9F\x8E\xB5") + "tail";
    const QString cut = caps::deviceName(straddling);
    EXPECT_EQ(cut, QString(30, QChar('a')));
    EXPECT_FALSE(cut.back().isHighSurrogate());
}

TEST(PulseCapsHelpers, CapsFromSinkSetOnlyTrueSupportBits)
{
    SinkInfo mono{"alsa_output.mono", "Mono Speaker", 1, "0x8086", "0x2668"};
    const WaveOutCaps m = caps::fromSink(mono, 0x0F00);
    EXPECT_EQ(m.szPname, "Mono Speaker");
    EXPECT_EQ(m.wMid, 0x8086);
    EXPECT_EQ(m.wPid, 0x2668);
    EXPECT_EQ(m.vDriverVersion, 0x0F00u);
    EXPECT_EQ(m.wChannels, 1);
    EXPECT_EQ(m.dwFormats, 0xFFFu);
    EXPECT_EQ(m.dwSupport, uint32_t(WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE));

    SinkInfo stereo{"null", "", 2, "", ""};
    const WaveOutCaps s = caps::fromSink(stereo, 0);
    EXPECT_EQ(s.szPname, "null") << "a sink without description is named by its sink name";
    EXPECT_EQ(s.wMid, 0);
    EXPECT_EQ(s.wPid, 0);
    EXPECT_TRUE(s.dwSupport & WAVECAPS_LRVOLUME);
    EXPECT_FALSE(s.dwSupport & (WAVECAPS_PITCH | WAVECAPS_PLAYBACKRATE | WAVECAPS_SYNC));
}

TEST_F(PulseAudioTest, DevicesAreTheSinksSortedByNameAndMinusOneIsTheDefault)
{
    ASSERT_EQ(system->outputDeviceCount(), 2);
    WaveOutCaps first, second, mapper;
    ASSERT_TRUE(system->outputCaps(0, first));
    ASSERT_TRUE(system->outputCaps(1, second));
    ASSERT_TRUE(system->outputCaps(-1, mapper));

    // "voxtrella_aux" sorts before "voxtrella_null".
    EXPECT_EQ(first.szPname, "Voxtrella Auxiliary Output For ");
    EXPECT_EQ(first.szPname.size(), 31);
    EXPECT_EQ(first.wChannels, 1);
    EXPECT_FALSE(first.dwSupport & WAVECAPS_LRVOLUME);

    EXPECT_EQ(second.szPname, "Voxtrella Test Output");
    EXPECT_EQ(second.wChannels, 2);
    EXPECT_TRUE(second.dwSupport & WAVECAPS_LRVOLUME);

    for (const WaveOutCaps &c : {first, second}) {
        EXPECT_EQ(c.dwFormats, 0xFFFu);
        EXPECT_TRUE(c.dwSupport & WAVECAPS_VOLUME);
        EXPECT_TRUE(c.dwSupport & WAVECAPS_SAMPLEACCURATE);
        EXPECT_NE(c.vDriverVersion, 0u) << "the server's version";
    }

    EXPECT_EQ(mapper.szPname, second.szPname);
    EXPECT_EQ(mapper.wChannels, second.wChannels);

    WaveOutCaps none;
    EXPECT_FALSE(system->outputCaps(2, none));
    EXPECT_FALSE(system->outputCaps(-2, none));
}

TEST_F(PulseAudioTest, InputsAreTheSourcesThatAreNotMonitorsOfSinks)
{
    // One virtual microphone, and a monitor for each of the two sinks.
    EXPECT_EQ(system->inputDeviceCount(), 1);
}

TEST_F(PulseAudioTest, TestOpenSucceedsOnEveryDeviceAndFailsOnAMissingOne)
{
    for (int device : {-1, 0, 1}) {
        QString error;
        EXPECT_TRUE(system->testOpen(device, &error)) << device << ": " << error.toStdString();
    }
    QString error;
    EXPECT_EQ(system->checkDevice(-1, &error), DeviceCheck::Free) << "a sound server is never busy";
    EXPECT_FALSE(system->testOpen(7, &error));
    EXPECT_TRUE(error.contains("7")) << error.toStdString();
    EXPECT_EQ(system->checkDevice(7, &error), DeviceCheck::Failed);
    QString openError;
    EXPECT_FALSE(system->openPlayback(7, PcmFormat{kRate, 1}, &openError));
    EXPECT_FALSE(openError.isEmpty());
}

TEST_F(PulseAudioTest, RejectsFormatsNoServerCanPlay)
{
    for (const PcmFormat &bad : {PcmFormat{0, 1}, PcmFormat{-22050, 1}, PcmFormat{kRate, 0}, PcmFormat{kRate, 200}}) {
        QString error;
        EXPECT_FALSE(system->openPlayback(-1, bad, &error));
        EXPECT_TRUE(error.contains("not supported")) << error.toStdString();
    }
}

TEST_F(PulseAudioTest, DrainCallsBackOnceEverythingWrittenWasPlayed)
{
    auto stream = open(1);
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(500);
    QElapsedTimer clock;
    clock.start();
    // Odd chunk sizes: the server takes whole frames only.
    for (qsizetype at = 0; at < pcm.size(); at += 333)
        ASSERT_TRUE(stream->write(pcm.constData() + at, size_t(std::min<qsizetype>(333, pcm.size() - at))));
    EXPECT_EQ(stream->writtenUs(), 500000);

    std::atomic<int> calls{0};
    std::atomic<int64_t> playedAtStop{0};
    PlaybackStream *raw = stream.get();
    stream->drain([&] {
        playedAtStop = raw->playedUs();
        ++calls;
    });
    ASSERT_TRUE(TestSupport::waitFor([&] { return calls > 0; }, 5000));
    EXPECT_GE(clock.elapsed(), 400) << "the callback came before the audio could have been heard";
    EXPECT_GE(playedAtStop.load(), 450000);
    EXPECT_LE(playedAtStop.load(), 500000);
    QThread::msleep(100);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(stream->lastError().isEmpty());
}

TEST_F(PulseAudioTest, DrainOfAnEmptyStreamCallsBackAtOnce)
{
    auto stream = open();
    ASSERT_TRUE(stream);
    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    EXPECT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 1000));
}

TEST_F(PulseAudioTest, PlayedPositionFollowsPlaybackAndFreezesWhilePaused)
{
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(2000);
    std::atomic<bool> writerOk{false};
    std::thread writer([&] {
        bool ok = true;
        for (qsizetype at = 0; at < pcm.size() && ok; at += 882)  // 20 ms pieces
            ok = stream->write(pcm.constData() + at, size_t(std::min<qsizetype>(882, pcm.size() - at)));
        writerOk = ok;
    });

    int64_t last = 0;
    auto sample = [&] {
        const int64_t played = stream->playedUs();
        EXPECT_LE(played, stream->writtenUs()) << "heard audio that was never written";
        EXPECT_GE(played, last) << "the position went backwards";
        last = played;
        return played;
    };
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400) {
        sample();
        QThread::msleep(5);
    }
    EXPECT_GT(last, 100000) << "playback did not start";

    // Word timing stands on this: the position moves at the speed of sound
    // that is heard, neither faster nor slower.
    // Best of three windows, so a busy machine preempting the test once does
    // not fail it; a wrong clock fails all three.
    int64_t bestError = INT64_MAX;
    for (int window = 0; window < 3; ++window) {
        const int64_t before = stream->playedUs();
        clock.restart();
        QThread::msleep(150);
        const int64_t moved = stream->playedUs() - before;
        bestError = std::min<int64_t>(bestError, std::abs(moved - clock.nsecsElapsed() / 1000));
    }
    EXPECT_LT(bestError, 20000);
    last = stream->playedUs();

    stream->pause();
    const int64_t frozen = stream->playedUs();
    clock.restart();
    while (clock.elapsed() < 300) {
        EXPECT_EQ(stream->playedUs(), frozen);
        QThread::msleep(10);
    }
    const int64_t writtenWhilePaused = stream->writtenUs();
    EXPECT_LE(writtenWhilePaused - frozen, 600000) << "the writer must block while the device is paused";

    stream->resume();
    clock.restart();
    while (clock.elapsed() < 300) {
        sample();
        QThread::msleep(5);
    }
    EXPECT_GT(last, frozen + 150000) << "playback did not continue after resume";
    writer.join();
    EXPECT_TRUE(writerOk);

    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 5000));
    EXPECT_GE(stream->playedUs(), 1950000);
    EXPECT_LE(stream->playedUs(), 2000000);
}

TEST_F(PulseAudioTest, AfterAGapOrAPauseNothingIsHeardBeforeItWasWritten)
{
    // Synthesis may stop between sentences and the user may pause; the
    // server's clock then restarts ahead of time by a little, and word
    // highlighting would run ahead of the voice.
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(200);
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size())));
    QThread::msleep(500);
    EXPECT_EQ(stream->playedUs(), 200000);

    auto expectRealTime = [&](int64_t from, const QElapsedTimer &since) {
        while (since.elapsed() < 150) {
            const int64_t played = stream->playedUs();
            EXPECT_LE(played, from + since.nsecsElapsed() / 1000) << "after " << since.elapsed() << " ms";
            QThread::msleep(5);
        }
    };
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] { stream->write(pcm.constData(), size_t(pcm.size())); });
    expectRealTime(200000, clock);
    writer.join();

    stream->pause();
    const QByteArray longer = tone(600);
    std::thread writer2([&] { stream->write(longer.constData(), size_t(longer.size())); });
    QThread::msleep(100);
    const int64_t pausedAt = stream->playedUs();
    clock.restart();
    stream->resume();
    expectRealTime(pausedAt, clock);
    writer2.join();

    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 3000));
    EXPECT_GE(stream->playedUs(), 950000);
    EXPECT_LE(stream->playedUs(), 1000000);
}

TEST_F(PulseAudioTest, ResetReturnsAtOnceAndReleasesABlockedWriter)
{
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(5000);
    std::atomic<bool> writerDone{false};
    std::atomic<bool> writerResult{true};
    std::thread writer([&] {
        writerResult = stream->write(pcm.constData(), size_t(pcm.size()));
        writerDone = true;
    });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stream->playedUs() > 200000; }, 3000));
    std::atomic<bool> staleDrain{false};
    stream->drain([&] { staleDrain = true; });

    QElapsedTimer clock;
    clock.start();
    stream->reset();
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_TRUE(TestSupport::waitFor([&] { return writerDone.load(); }, 500)) << "the writer stayed blocked";
    writer.join();
    EXPECT_FALSE(writerResult) << "a write cut short by reset must say so";

    // The next audio is heard from where the reset happened.
    const int64_t heard = stream->playedUs();
    EXPECT_GT(heard, 200000);
    EXPECT_LT(heard, 1500000);
    EXPECT_EQ(stream->writtenUs(), heard);

    const QByteArray more = tone(300);
    ASSERT_TRUE(stream->write(more.constData(), size_t(more.size())));
    EXPECT_EQ(stream->writtenUs(), heard + 300000);
    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 3000));
    EXPECT_GE(stream->playedUs(), heard + 250000);
    EXPECT_LE(stream->playedUs(), heard + 300000);
    EXPECT_FALSE(staleDrain) << "a drain dropped by reset must not report later";
}

TEST_F(PulseAudioTest, ResetWhilePausedStaysPaused)
{
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(300);
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size())));
    stream->pause();
    stream->reset();
    const int64_t at = stream->playedUs();
    std::thread writer([&] { stream->write(pcm.constData(), size_t(pcm.size())); });
    QThread::msleep(300);
    EXPECT_EQ(stream->playedUs(), at);
    stream->resume();
    writer.join();
    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 3000));
    EXPECT_GE(stream->playedUs(), at + 250000);
}

TEST_F(PulseAudioTest, ResumeRightAfterAResetWhilePausedPlays)
{
    // The fresh server stream is still connecting when the resume comes.
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(300);
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size())));
    stream->pause();
    stream->reset();
    stream->resume();
    const int64_t at = stream->playedUs();
    std::atomic<bool> written{false};
    std::thread writer([&] { written = stream->write(pcm.constData(), size_t(pcm.size())); });
    const bool played = TestSupport::waitFor([&] { return written.load(); }, 3000);
    if (!played)
        stream->reset();  // a stream left corked blocks the writer for good
    writer.join();
    ASSERT_TRUE(played);
    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 3000));
    EXPECT_GE(stream->playedUs(), at + 250000);
}

TEST_F(PulseAudioTest, StreamsOnBothDevicesPlayAtTheSameTime)
{
    auto a = open(0);
    auto b = open(1);
    ASSERT_TRUE(a && b);
    const QByteArray pcm = tone(200);
    ASSERT_TRUE(a->write(pcm.constData(), size_t(pcm.size())));
    ASSERT_TRUE(b->write(pcm.constData(), size_t(pcm.size())));
    std::atomic<int> stopped{0};
    a->drain([&] { ++stopped; });
    b->drain([&] { ++stopped; });
    EXPECT_TRUE(TestSupport::waitFor([&] { return stopped == 2; }, 3000));
}

TEST_F(PulseAudioTest, TheDrainCallbackMayUseOrDestroyItsStream)
{
    auto stream = open();
    ASSERT_TRUE(stream);
    const QByteArray pcm = tone(100);
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size())));
    std::atomic<bool> destroyed{false};
    PlaybackStream *raw = stream.release();
    raw->drain([&] {
        // A short write and the positions must not deadlock against the
        // audio layer's own locks.
        EXPECT_TRUE(raw->write(pcm.constData(), 64));
        EXPECT_LE(raw->playedUs(), raw->writtenUs());
        delete raw;
        destroyed = true;
    });
    EXPECT_TRUE(TestSupport::waitFor([&] { return destroyed.load(); }, 3000));
    // The system still works afterwards.
    EXPECT_EQ(system->outputDeviceCount(), 2);
}

TEST(PulseUnreachableServer, EveryCallFailsWithAMessageInsteadOfHanging)
{
    QTemporaryDir nowhere;
    ServerAddress unreachable("unix:" + nowhere.path() + "/no-such-socket");
    PulseAudioSystem system;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(system.outputDeviceCount(), 0);
    EXPECT_EQ(system.inputDeviceCount(), 0);
    WaveOutCaps caps;
    EXPECT_FALSE(system.outputCaps(-1, caps));
    EXPECT_FALSE(system.outputCaps(0, caps));

    QString error;
    EXPECT_FALSE(system.testOpen(-1, &error)) << "an unreachable server is never a free device";
    EXPECT_TRUE(error.contains("cannot be reached")) << error.toStdString();
    EXPECT_EQ(system.checkDevice(-1, &error), DeviceCheck::Failed);
    error.clear();
    EXPECT_FALSE(system.openPlayback(-1, PcmFormat{kRate, 1}, &error));
    EXPECT_TRUE(error.contains("cannot be reached")) << error.toStdString();
    EXPECT_LT(clock.elapsed(), 5000) << "no server must fail fast, not wait";
}

TEST(PulseUnreachableServer, AServerThatNeverAnswersTimesOut)
{
    // The kernel accepts the connection; nobody ever replies.
    QTemporaryDir dir;
    const QByteArray path = (dir.path() + "/silent").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);

    ServerAddress silent("unix:" + QString::fromLocal8Bit(path));
    PulseAudioSystem system;
    QElapsedTimer clock;
    clock.start();
    QString error;
    EXPECT_FALSE(system.testOpen(-1, &error));
    EXPECT_TRUE(error.contains("did not answer")) << error.toStdString();
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 4000) << "gave up too late";
    ::close(fd);
}

TEST(PulseServerLoss, PlaybackEndsWithErrorsWhenTheServerGoesAway)
{
    OwnServer server;
    ASSERT_TRUE(server.start());
    ServerAddress address(server.address());
    PulseAudioSystem system;
    ASSERT_EQ(system.outputDeviceCount(), 2);
    QString error;
    auto stream = system.openPlayback(-1, PcmFormat{kRate, 1}, &error);
    ASSERT_TRUE(stream) << error.toStdString();

    const QByteArray pcm = tone(5000);
    std::atomic<bool> writerDone{false}, writerResult{true};
    std::thread writer([&] {
        writerResult = stream->write(pcm.constData(), size_t(pcm.size()));
        writerDone = true;
    });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stream->playedUs() > 100000; }, 3000));
    std::atomic<int> stopped{0};
    stream->drain([&] { ++stopped; });

    server.stop();
    EXPECT_TRUE(TestSupport::waitFor([&] { return writerDone.load(); }, 3000)) << "the writer hangs";
    writer.join();
    EXPECT_FALSE(writerResult);
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

    // A restarted server is found again without restarting the program.
    ASSERT_TRUE(server.start());
    EXPECT_EQ(system.outputDeviceCount(), 2);
    EXPECT_TRUE(system.testOpen(-1, &error)) << error.toStdString();
}
