// The audio destinations: WAV files that stay valid, file faults reported
// with their codes, and device numbers.
#include "AudioDestinations.h"
#include "ScriptedAudioSystem.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace sapi;

namespace {

std::shared_ptr<FileAudioDest> fileDest()
{
    UnknownPtr object;
    EXPECT_EQ(CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, object), S_OK);
    return std::dynamic_pointer_cast<FileAudioDest>(object);
}

uint32_t le32(const QByteArray &b, int at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

HRESULT setPath(IAudioFile &f, const QString &path)
{
    return f.Set(reinterpret_cast<const char16_t *>(path.utf16()), 1);
}

}  // namespace

TEST(FileAudioDestTest, WritesRiffWaveWhoseSizesMatchTheAudio)
{
    const QString path = TestSupport::homeDir() + "/out.wav";
    auto dest = fileDest();
    ASSERT_EQ(setPath(*dest, path), S_OK);
    ASSERT_EQ(dest->open({16000, 1}), S_OK);
    std::vector<int16_t> samples(100000, 1234);  // larger than the write buffer
    ASSERT_EQ(dest->write(samples.data(), samples.size() * 2), S_OK);
    ASSERT_EQ(dest->write(samples.data(), 1000), S_OK);
    EXPECT_EQ(dest->writtenUs(), (200000 + 1000) * 1000000ll / 32000);
    ASSERT_EQ(dest->Flush(), S_OK);

    const QByteArray wav = TestSupport::readFile(path);
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

TEST(FileAudioDestTest, SwitchingFilesFinishesTheFirstOne)
{
    const QString a = TestSupport::homeDir() + "/a.wav", b = TestSupport::homeDir() + "/b.wav";
    {
        auto dest = fileDest();
        ASSERT_EQ(setPath(*dest, a), S_OK);
        ASSERT_EQ(dest->open({22050, 1}), S_OK);
        const char pcm[400] = {};
        ASSERT_EQ(dest->write(pcm, sizeof pcm), S_OK);
        ASSERT_EQ(setPath(*dest, b), S_OK);
        ASSERT_EQ(dest->write(pcm, 200), S_OK);
        EXPECT_EQ(dest->fileName(), b);
        // Dropping the destination without Flush still leaves a whole file.
    }
    const QByteArray first = TestSupport::readFile(a), second = TestSupport::readFile(b);
    ASSERT_EQ(first.size(), 444);
    EXPECT_EQ(le32(first, 40), 400u);
    ASSERT_EQ(second.size(), 244);
    EXPECT_EQ(second.left(4), "RIFF");
    EXPECT_EQ(le32(second, 40), 200u);
}

TEST(FileAudioDestTest, MissingFolderOrReadOnlyFileSystemIsAnErrorNotASuccess)
{
    auto dest = fileDest();
    EXPECT_EQ(setPath(*dest, TestSupport::homeDir() + "/no/such/folder/x.wav"), AUDERR_NOTOPEN);
    EXPECT_FALSE(dest->lastError().isEmpty());
    EXPECT_EQ(dest->open({22050, 1}), AUDERR_NOTOPEN);
    EXPECT_EQ(dest->Flush(), AUDERR_NOTOPEN);
    EXPECT_EQ(dest->Set(u"", 1), E_INVALIDARG);
    EXPECT_EQ(dest->Set(nullptr, 1), E_INVALIDARG);
    EXPECT_EQ(setPath(*dest, TestSupport::homeDir() + "/x.wav") == S_OK && dest->Set(u"/tmp/x.mp3", 2) == E_INVALIDARG,
              true);

    // A read-only file system refuses even the super-user.
    auto procDest = fileDest();
    EXPECT_EQ(procDest->Set(u"/proc/voxtrella-test.wav", 1), AUDERR_NOTOPEN);
}

TEST(FileAudioDestTest, ReadOnlyFolderIsAnErrorNotASuccess)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    const QString locked = TestSupport::homeDir() + "/locked";
    ASSERT_TRUE(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    auto second = fileDest();
    EXPECT_EQ(setPath(*second, locked + "/x.wav"), AUDERR_NOTOPEN);
    EXPECT_FALSE(QFileInfo::exists(locked + "/x.wav"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(FileAudioDestTest, FullDiskIsReportedAsOutOfDisk)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    auto dest = fileDest();
    ASSERT_EQ(dest->Set(u"/dev/full", 1), S_OK);
    ASSERT_EQ(dest->open({22050, 1}), S_OK);
    std::vector<char> pcm(200000);
    HRESULT r = dest->write(pcm.data(), pcm.size());
    EXPECT_EQ(r, TTSERR_OUTOFDISK);
    EXPECT_EQ(dest->write(pcm.data(), 10), TTSERR_OUTOFDISK);  // stays failed
    EXPECT_EQ(dest->Flush(), TTSERR_OUTOFDISK);
    EXPECT_TRUE(QFileInfo::exists("/dev/full"));  // a device is never removed

    // Failing at the final Flush: nothing half-written remains.
    auto small = fileDest();
    ASSERT_EQ(small->Set(u"/dev/full", 1), S_OK);
    ASSERT_EQ(small->open({22050, 1}), S_OK);
    ASSERT_EQ(small->write(pcm.data(), 100), S_OK);  // still in the buffer
    EXPECT_EQ(small->Flush(), TTSERR_OUTOFDISK);
}

TEST(FileAudioDestTest, PauseHoldsTheWriterUntilResumeOrReset)
{
    auto dest = fileDest();
    ASSERT_EQ(setPath(*dest, TestSupport::homeDir() + "/p.wav"), S_OK);
    ASSERT_EQ(dest->open({22050, 1}), S_OK);
    dest->pause();
    std::atomic<int> result{-1};
    std::thread writer([&] {
        const char pcm[100] = {};
        result = dest->write(pcm, sizeof pcm);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->reset();
    writer.join();
    EXPECT_EQ(result.load(), S_FALSE);  // dropped, not written
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->resume();
    const char pcm[100] = {};
    EXPECT_EQ(dest->write(pcm, sizeof pcm), S_OK);
}

TEST(DeviceAudioDestTest, DeviceNumbersAndUnreachableServer)
{
    auto owned = std::make_unique<audio::ScriptedAudioSystem>();
    audio::ScriptedAudioSystem *scripted = owned.get();
    scripted->setDevices({{audio::ScriptedAudioSystem::makeCaps("One", 2)},
                          {audio::ScriptedAudioSystem::makeCaps("Two", 2)}});
    audio::setAudioSystem(std::move(owned));
    UnknownPtr object;
    ASSERT_EQ(CoCreateInstance(CLSID_MMAudioDest, nullptr, CLSCTX_ALL, IID_IAudioMultiMediaDevice, object), S_OK);
    auto dest = std::dynamic_pointer_cast<MMAudioDest>(object);
    uint32_t id = 5;
    ASSERT_EQ(dest->DeviceNumGet(&id), S_OK);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    ASSERT_EQ(dest->DeviceNumSet(1), S_OK);
    ASSERT_EQ(dest->DeviceNumGet(&id), S_OK);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(dest->DeviceNumSet(0xFFFFFFFEu), E_INVALIDARG);

    EXPECT_EQ(dest->open({22050, 1}), S_OK);
    ASSERT_EQ(scripted->streams().size(), 1u);
    EXPECT_EQ(scripted->streams()[0]->device(), 1);
    ASSERT_EQ(dest->DeviceNumSet(7), S_OK);  // no such device: opening says so
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
