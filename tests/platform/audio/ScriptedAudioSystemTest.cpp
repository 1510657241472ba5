// The scripted backend that other folders' tests stand on, and the
// process-wide audio system switch.
#include "PulseAudioSystem.h"
#include "ScriptedAudioSystem.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

using namespace audio;

namespace {

std::vector<ScriptedDevice> threeDevices()
{
    ScriptedDevice broken{ScriptedAudioSystem::makeCaps("Broken", 2)};
    broken.capsFail = true;
    return {{ScriptedAudioSystem::makeCaps("Speakers", 2)}, broken,
            {ScriptedAudioSystem::makeCaps("Headset", 1)}};
}

}  // namespace

TEST(ScriptedAudioSystem, ReportsTheScriptedDevicesAndTheirCaps)
{
    ScriptedAudioSystem system;
    system.setDevices(threeDevices());
    system.setDefaultDevice(2);
    system.setInputDeviceCount(3);

    EXPECT_EQ(system.outputDeviceCount(), 3);
    EXPECT_EQ(system.inputDeviceCount(), 3);
    WaveOutCaps caps;
    ASSERT_TRUE(system.outputCaps(0, caps));
    EXPECT_EQ(caps.szPname, "Speakers");
    EXPECT_TRUE(caps.dwSupport & WAVECAPS_LRVOLUME);
    EXPECT_FALSE(system.outputCaps(1, caps)) << "scripted caps failure";
    ASSERT_TRUE(system.outputCaps(-1, caps));
    EXPECT_EQ(caps.szPname, "Headset") << "-1 is the scripted default";
    EXPECT_EQ(caps.wChannels, 1);
    EXPECT_FALSE(caps.dwSupport & WAVECAPS_LRVOLUME);
    EXPECT_FALSE(system.outputCaps(3, caps));
    EXPECT_EQ(ScriptedAudioSystem::makeCaps(QString(40, 'n'), 2).szPname.size(), 31);
}

TEST(ScriptedAudioSystem, BusyFailingAndUnreachableDevicesFailToOpen)
{
    ScriptedAudioSystem system;
    system.setDevices(threeDevices());
    system.setBusy(-1, true);  // the default, device 0
    system.setOpenFails(2, true);

    QString error;
    EXPECT_EQ(system.checkDevice(0, &error), DeviceCheck::Busy);
    EXPECT_EQ(error, ScriptedAudioSystem::kBusyMessage);
    EXPECT_FALSE(system.testOpen(-1, &error));
    EXPECT_FALSE(system.openPlayback(-1, {}, &error));
    EXPECT_EQ(system.checkDevice(2, &error), DeviceCheck::Failed);
    EXPECT_EQ(error, ScriptedAudioSystem::kOpenFailedMessage);
    EXPECT_FALSE(system.openPlayback(2, {}, &error));
    EXPECT_EQ(system.checkDevice(1, &error), DeviceCheck::Free) << "failing caps do not fail the open";
    EXPECT_EQ(system.checkDevice(9, &error), DeviceCheck::Failed);
    EXPECT_EQ(system.testOpenCalls(), 5);

    system.setBusy(0, false);
    EXPECT_TRUE(system.testOpen(-1, &error));

    system.setServerReachable(false);
    EXPECT_EQ(system.outputDeviceCount(), 0);
    EXPECT_EQ(system.inputDeviceCount(), 0);
    WaveOutCaps caps;
    EXPECT_FALSE(system.outputCaps(-1, caps));
    EXPECT_EQ(system.checkDevice(-1, &error), DeviceCheck::Failed);
    EXPECT_EQ(error, ScriptedAudioSystem::kUnreachableMessage);
    EXPECT_TRUE(system.streams().empty());
}

TEST(ScriptedAudioSystem, StreamPlaysInTimeAndRecordsWhatWasWritten)
{
    ScriptedAudioSystem system;
    system.setPlaybackRate(4.0);
    QString error;
    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, &error);
    ASSERT_TRUE(stream) << error.toStdString();

    const QByteArray pcm(22050 * 2, 'x');  // one second
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size())));
    EXPECT_EQ(stream->writtenUs(), 1000000);
    EXPECT_GE(clock.elapsed(), 150) << "write must block while the queue is full";
    EXPECT_LE(stream->playedUs(), stream->writtenUs());

    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stopped.load(); }, 3000));
    EXPECT_GE(clock.elapsed(), 230) << "one second at four times speed";
    EXPECT_EQ(stream->playedUs(), 1000000);

    ASSERT_EQ(system.streams().size(), 1u);
    const auto record = system.streams().front();
    EXPECT_EQ(record->bytes(), pcm);
    EXPECT_EQ(record->drains(), 1);
    stream.reset();
    EXPECT_TRUE(record->closed());
}

TEST(ScriptedAudioSystem, PauseFreezesResetDropsAndReleasesTheWriter)
{
    ScriptedAudioSystem system;
    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr);
    ASSERT_TRUE(stream);
    const QByteArray pcm(22050 * 2 * 3, 'x');
    std::atomic<bool> result{true}, done{false};
    std::thread writer([&] {
        result = stream->write(pcm.constData(), size_t(pcm.size()));
        done = true;
    });
    ASSERT_TRUE(TestSupport::waitFor([&] { return stream->playedUs() > 50000; }, 2000));
    stream->pause();
    const int64_t frozen = stream->playedUs();
    QThread::msleep(150);
    EXPECT_EQ(stream->playedUs(), frozen);
    stream->resume();
    QThread::msleep(50);
    EXPECT_GT(stream->playedUs(), frozen);

    std::atomic<bool> staleDrain{false};
    stream->drain([&] { staleDrain = true; });
    stream->reset();
    ASSERT_TRUE(TestSupport::waitFor([&] { return done.load(); }, 500));
    writer.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(stream->writtenUs(), stream->playedUs()) << "the next audio starts at the heard position";
    QThread::msleep(50);
    EXPECT_FALSE(staleDrain);
    const auto record = system.streams().front();
    EXPECT_EQ(record->pauses(), 1);
    EXPECT_EQ(record->resumes(), 1);
    EXPECT_EQ(record->resets(), 1);
}

TEST(ScriptedAudioSystem, FailedStreamsRefuseWritesAndEndPendingDrains)
{
    ScriptedAudioSystem system;
    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr);
    ASSERT_TRUE(stream);
    const QByteArray pcm(22050 * 2, 'x');
    ASSERT_TRUE(stream->write(pcm.constData(), size_t(pcm.size() / 10)));
    std::atomic<bool> stopped{false};
    stream->drain([&] { stopped = true; });
    system.failOpenStreams("gone");
    EXPECT_TRUE(stopped) << "whoever waits for the end must not wait forever";
    EXPECT_FALSE(stream->write(pcm.constData(), 2));
    EXPECT_EQ(stream->lastError(), "gone");
    std::atomic<bool> late{false};
    stream->drain([&] { late = true; });
    EXPECT_TRUE(TestSupport::waitFor([&] { return late.load(); }, 500)) << "a drain after the failure";
}

TEST(ScriptedAudioSystem, AStreamMayBeDestroyedFromItsOwnCallbacks)
{
    ScriptedAudioSystem system;
    system.setPlaybackRate(10.0);
    const QByteArray pcm(2205 * 2, 'x');

    PlaybackStream *drained = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr).release();
    ASSERT_TRUE(drained->write(pcm.constData(), size_t(pcm.size())));
    std::atomic<bool> gone{false};
    drained->drain([&] {
        delete drained;
        gone = true;
    });
    EXPECT_TRUE(TestSupport::waitFor([&] { return gone.load(); }, 2000));

    PlaybackStream *failed = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr).release();
    ASSERT_TRUE(failed->write(pcm.constData(), size_t(pcm.size())));
    bool failedGone = false;
    failed->drain([&] {
        delete failed;
        failedGone = true;
    });
    system.failOpenStreams("gone");
    EXPECT_TRUE(failedGone);
    EXPECT_TRUE(system.streams().back()->closed());
}

TEST(ProcessAudioSystem, CanBeReplacedAndRestored)
{
    auto scripted = std::make_unique<ScriptedAudioSystem>();
    ScriptedAudioSystem *raw = scripted.get();
    setAudioSystem(std::move(scripted));
    EXPECT_EQ(&audioSystem(), raw);
    setAudioSystem(nullptr);
    EXPECT_NE(dynamic_cast<PulseAudioSystem *>(&audioSystem()), nullptr);
}
