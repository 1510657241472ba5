// The audio destinations: the WAV file's format, a paused writer, and
// device numbers. Their faults are in FaultTest.cpp.
#include "AudioDestinations.h"
#include "ScriptedAudioSystem.h"
#include "SpeechTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <atomic>
#include <thread>

using namespace sapi;

namespace {

// A file destination writing 16-bit mono at the rate given into the test home.
std::shared_ptr<FileAudioDest> fileDest(const QString &name, int rate = 22050)
{
    auto dest = speechtest::fileDest();
    EXPECT_EQ(speechtest::setPath(*dest, TestSupport::homeDir() + '/' + name), S_OK);
    EXPECT_EQ(dest->open({rate, 1}), S_OK);
    return dest;
}

uint32_t le32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

} // namespace

TEST(FileAudioDestTest, WritesRiffWaveWhoseSizesMatchTheAudio)
{
    auto dest = fileDest("out.wav", 16000);
    std::vector<int16_t> samples(100000, 1234); // larger than the write buffer
    ASSERT_EQ(dest->write(samples.data(), samples.size() * 2), S_OK);
    ASSERT_EQ(dest->write(samples.data(), 1000), S_OK);
    EXPECT_EQ(dest->writtenUs(), (200000 + 1000) * 1000000ll / 32000);
    dest.reset(); // dropping the destination without Flush still leaves a whole file

    const QByteArray wav = TestSupport::readFile(TestSupport::homeDir() + "/out.wav");
    ASSERT_EQ(wav.size(), 44 + 201000);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 4), uint32_t(wav.size() - 8));
    EXPECT_EQ(le32(wav, 24), 16000u);
    EXPECT_EQ(le32(wav, 28), 32000u);
    EXPECT_EQ(wav.mid(36, 4), "data");
    EXPECT_EQ(le32(wav, 40), 201000u);
    EXPECT_EQ(uint8_t(wav[44]), 1234 & 0xFF);
}

TEST(FileAudioDestTest, PauseHoldsTheWriterUntilResumeOrReset)
{
    auto dest = fileDest("p.wav");
    dest->pause();
    std::atomic<int> result{-1};
    const char pcm[100] = {};
    std::thread writer([&] { result = dest->write(pcm, sizeof pcm); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->reset();
    writer.join();
    EXPECT_EQ(result.load(), S_FALSE); // dropped, not written
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->resume();
    EXPECT_EQ(dest->write(pcm, sizeof pcm), S_OK);
}

TEST(DeviceAudioDestTest, DeviceNumbersAndUnreachableServer)
{
    auto owned = std::make_unique<audio::ScriptedAudioSystem>();
    audio::ScriptedAudioSystem *scripted = owned.get();
    scripted->setDevices(
        {{audio::ScriptedAudioSystem::makeCaps("One", 2)}, {audio::ScriptedAudioSystem::makeCaps("Two", 2)}});
    audio::setAudioSystem(std::move(owned));
    UnknownPtr object;
    ASSERT_EQ(CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IAudioMultiMediaDevice, object), S_OK);
    auto dest = std::dynamic_pointer_cast<MMAudioDest>(object);
    uint32_t id = 5;
    ASSERT_EQ(dest->DeviceNumGet(&id), S_OK);
    EXPECT_EQ(id, 0xFFFFFFFFu);  // the server's default sink
    EXPECT_EQ(dest->DeviceNumSet(0xFFFFFFFEu), E_INVALIDARG);
    ASSERT_EQ(dest->DeviceNumSet(1), S_OK);

    EXPECT_EQ(dest->open({22050, 1}), S_OK);
    ASSERT_EQ(scripted->streams().size(), 1u);
    EXPECT_EQ(scripted->streams()[0]->device(), 1);
    ASSERT_EQ(dest->DeviceNumSet(7), S_OK); // no such device: opening says so
    EXPECT_EQ(dest->open({22050, 1}), AUDERR_NOTOPEN);
    scripted->setServerReachable(false);
    ASSERT_EQ(dest->DeviceNumSet(0xFFFFFFFFu), S_OK);
    EXPECT_EQ(dest->open({22050, 1}), AUDERR_NOTOPEN);
    EXPECT_FALSE(dest->lastError().isEmpty());

    auto direct = std::make_shared<DirectAudioDest>();
    EXPECT_EQ(direct->Init(nullptr, IID_IUnknown), E_NOINTERFACE);
    EXPECT_EQ(direct->Init(nullptr, IID_IDirectSound), S_OK);
    audio::setAudioSystem(nullptr);
}
