// The scripted backend that other folders' tests stand on, and the
// process-wide audio system switch.
#include "PulseAudioSystem.h"
#include "ScriptedAudioSystem.h"

#include "AudioTestHelpers.h"

#include <gtest/gtest.h>

using namespace audio;

TEST(ScriptedAudioSystem, BusyIsToldFromFailedAndMinusOneIsTheDefaultDevice)
{
    ScriptedAudioSystem system;
    ScriptedDevice noCaps{ScriptedAudioSystem::makeCaps("Broken", 2), true};
    system.setDevices({{ScriptedAudioSystem::makeCaps("Speakers", 2)}, noCaps,
                       {ScriptedAudioSystem::makeCaps("Headset", 1)}});
    EXPECT_EQ(ScriptedAudioSystem::makeCaps(QString(40, 'n'), 2).szPname.size(), 31);
    system.setBusy(-1, true);
    system.setOpenFails(2, true);
    QString error;
    EXPECT_EQ(system.checkDevice(0, &error), DeviceCheck::Busy);
    EXPECT_EQ(error, ScriptedAudioSystem::kBusyMessage);
    EXPECT_FALSE(system.openPlayback(-1, {}, &error));
    EXPECT_EQ(system.checkDevice(2, &error), DeviceCheck::Failed);
    EXPECT_EQ(error, ScriptedAudioSystem::kOpenFailedMessage);
    EXPECT_EQ(system.checkDevice(1, &error), DeviceCheck::Free) << "failing caps do not fail the open";
    EXPECT_EQ(system.checkDevice(9, &error), DeviceCheck::Failed);

    system.setDefaultDevice(2);
    WaveOutCaps caps;
    EXPECT_FALSE(system.outputCaps(1, caps));
    ASSERT_TRUE(system.outputCaps(-1, caps));
    EXPECT_EQ(caps.szPname, "Headset");
    system.setServerReachable(false);
    EXPECT_EQ(system.outputDeviceCount(), 0);
    EXPECT_EQ(system.checkDevice(-1, &error), DeviceCheck::Failed);
    EXPECT_EQ(error, ScriptedAudioSystem::kUnreachableMessage);
}

TEST(ScriptedAudioSystem, StreamPlaysInTimeAndRecordsWhatWasWritten)
{
    ScriptedAudioSystem system;
    system.setPlaybackRate(4.0);
    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr);
    ASSERT_TRUE(stream);
    const QByteArray pcm(22050 * 2, 'x');  // one second
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(put(*stream, pcm));
    EXPECT_EQ(stream->writtenUs(), 1000000);
    EXPECT_GE(clock.elapsed(), 150) << "write must block while the queue is full";
    EXPECT_LE(stream->playedUs(), stream->writtenUs());
    ASSERT_TRUE(drained(*stream, 3000));
    EXPECT_GE(clock.elapsed(), 230) << "one second at four times speed";
    EXPECT_EQ(stream->playedUs(), 1000000);

    ASSERT_EQ(system.streams().size(), 1u);
    const auto record = system.streams().front();
    EXPECT_EQ(record->bytes(), pcm);
    stream.reset();
    EXPECT_TRUE(record->closed());
}

TEST(ScriptedAudioSystem, PauseFreezesResetDropsAndReleasesTheWriter)
{
    ScriptedAudioSystem system;
    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr);
    ASSERT_TRUE(stream);
    Writer writer(*stream, QByteArray(22050 * 2 * 3, 'x'));
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
    EXPECT_EQ(writer.result(500), false) << "released, and saying the write was cut short";
    EXPECT_EQ(stream->writtenUs(), stream->playedUs()) << "the next audio starts at the heard position";
    QThread::msleep(50);
    EXPECT_FALSE(staleDrain);
}

TEST(ScriptedAudioSystem, FailureEndsPendingDrainsAndStreamsMayBeDestroyedFromTheirCallbacks)
{
    ScriptedAudioSystem system;
    const QByteArray pcm(2205 * 2, 'x');  // a tenth of a second
    std::atomic<bool> drainedGone{false}, failedGone{false}, stopped{false};
    PlaybackStream *drainedAway = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr).release();
    ASSERT_TRUE(put(*drainedAway, pcm));
    drainedAway->drain([&] {
        delete drainedAway;
        drainedGone = true;
    });
    EXPECT_TRUE(TestSupport::waitFor([&] { return drainedGone.load(); }, 2000));

    auto stream = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr);
    PlaybackStream *failed = system.openPlayback(-1, PcmFormat{22050, 1}, nullptr).release();
    ASSERT_TRUE(stream && put(*stream, pcm) && put(*failed, pcm));
    stream->drain([&] { stopped = true; });
    failed->drain([&] {
        delete failed;
        failedGone = true;
    });
    system.failOpenStreams("gone");
    EXPECT_TRUE(stopped) << "whoever waits for the end must not wait forever";
    EXPECT_TRUE(failedGone);
    EXPECT_TRUE(system.streams().back()->closed());
    EXPECT_FALSE(stream->write(pcm.constData(), 2));
    EXPECT_EQ(stream->lastError(), "gone");
    EXPECT_TRUE(drained(*stream, 500)) << "a drain after the failure";
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
