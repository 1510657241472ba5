// The scripted backend's timeline, which other folders' tests stand on.
#include "ScriptedAudioSystem.h"

#include "AudioTestHelpers.h"

#include <gtest/gtest.h>

using namespace audio;

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
    EXPECT_EQ(system.streams().front()->bytes(), pcm);
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
