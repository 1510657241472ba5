// The audio destinations, and faults: each ends in an error result with its
// code, never in a crash or a false success.
#include "EspeakEngine.h"
#include "PulseAudioSystem.h"
#include "SpeechTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace sapi;
using namespace speechtest;

namespace {

using FaultTest = EngineTest;
using TestSupport::ScopedEnv;

// A file destination writing 16-bit mono at the rate given.
std::shared_ptr<FileAudioDest> openFile(const QString &path, int rate = 22050)
{
    auto dest = fileDest();
    EXPECT_EQ(setPath(*dest, path), S_OK);
    EXPECT_EQ(dest->open({rate, 1}), S_OK);
    return dest;
}

}  // namespace

TEST(FileAudioDestTest, WritesRiffWaveWhoseSizesMatchTheAudio)
{
    const QString path = TestSupport::homeDir() + "/out.wav";
    auto dest = openFile(path, 16000);
    std::vector<int16_t> samples(100000, 1234);  // larger than the write buffer
    ASSERT_EQ(dest->write(samples.data(), samples.size() * 2), S_OK);
    ASSERT_EQ(dest->write(samples.data(), 1000), S_OK);
    EXPECT_EQ(dest->writtenUs(), (200000 + 1000) * 1000000ll / 32000);
    dest.reset();  // dropping the destination without Flush still leaves a whole file

    const TestSupport::WavFile wav = TestSupport::readWav(path);
    EXPECT_TRUE(wav.whole);
    EXPECT_EQ(std::tuple(wav.sampleRate, wav.channels, wav.byteRate), std::tuple(16000, 1, 32000u));
    ASSERT_EQ(wav.data.size(), 201000);
    EXPECT_EQ(wav.samples().front(), 1234);
}

TEST(FileAudioDestTest, PauseHoldsTheWriterUntilResumeOrReset)
{
    auto dest = openFile(TestSupport::homeDir() + "/p.wav");
    dest->pause();
    std::atomic<int> result{-1};
    const char pcm[100] = {};
    std::thread writer([&] { result = dest->write(pcm, sizeof pcm); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->reset();
    writer.join();
    EXPECT_EQ(result.load(), S_FALSE);  // dropped, not written
    EXPECT_EQ(dest->writtenUs(), 0);
    dest->resume();
    EXPECT_EQ(dest->write(pcm, sizeof pcm), S_OK);
}

TEST(DeviceAudioDestTest, DeviceNumbersPickTheDeviceAndAMissingOneFailsToOpen)
{
    ScopedAudioSystem scripted;
    scripted->setDevices(
        {{audio::ScriptedAudioSystem::makeCaps("One", 2)}, {audio::ScriptedAudioSystem::makeCaps("Two", 2)}});
    auto dest = create<MMAudioDest>(CLSID_MMAudioDest, IID_IAudioMultiMediaDevice);
    ASSERT_TRUE(dest);
    EXPECT_EQ(dest->DeviceNumSet(0xFFFFFFFEu), E_INVALIDARG);  // only -1, the server's default, is below 0
    ASSERT_EQ(dest->DeviceNumSet(1), S_OK);

    EXPECT_EQ(dest->open({22050, 1}), S_OK);
    ASSERT_EQ(scripted->streams().size(), 1u);
    EXPECT_EQ(scripted->streams()[0]->device(), 1);
    ASSERT_EQ(dest->DeviceNumSet(7), S_OK);  // no such device: opening says so
    EXPECT_EQ(dest->open({22050, 1}), AUDERR_NOTOPEN);
    EXPECT_FALSE(dest->lastError().isEmpty());
}

TEST_F(FaultTest, UnreachableAudioServerCountsNoDeviceAndFailsSelect)
{
    ScopedEnv server("PULSE_SERVER", "unix:" + TestSupport::homeDir().toLocal8Bit() + "/no-such-socket");
    ScopedAudioSystem<audio::PulseAudioSystem> pulse;
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    Bound b = onDevice(espeak.gModeID);
    EXPECT_EQ(b.result, AUDERR_NOTOPEN);
    EXPECT_FALSE(b.central);
    auto dest = std::dynamic_pointer_cast<AudioDestination>(b.dest);
    ASSERT_TRUE(dest);
    EXPECT_FALSE(dest->lastError().isEmpty());
}

TEST_F(FaultTest, FileDestinationInAMissingOrReadOnlyPlaceIsAnErrorNotASuccess)
{
    const QString path = TestSupport::homeDir() + "/missing/folder/out.wav";
    auto dest = fileDest();
    EXPECT_EQ(setPath(*dest, path), AUDERR_NOTOPEN);
    EXPECT_FALSE(dest->lastError().isEmpty());
    EXPECT_EQ(dest->open({22050, 1}), AUDERR_NOTOPEN);
    EXPECT_EQ(dest->Flush(), AUDERR_NOTOPEN);

    auto e = create<ITTSEnumW>(CLSID_TTSEnumerator, IID_ITTSEnumW);
    std::shared_ptr<ITTSCentralW> central;
    EXPECT_EQ(e->Select(espeak.gModeID, central, dest), AUDERR_NOTOPEN);
    EXPECT_FALSE(central);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(e->Select(espeak.gModeID, central, e), E_NOINTERFACE) << "no audio destination at all";
    // A read-only file system refuses even the super-user (a locked folder fails the same open call).
    EXPECT_EQ(fileDest()->Set(u"/proc/voxtrella-test.wav", 1), AUDERR_NOTOPEN);
}

TEST_F(FaultTest, FullDiskWhileWritingEndsTheTextAndReportsOutOfDisk)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    Bound b = toFile(espeak.gModeID, "/dev/full");
    ASSERT_EQ(b.result, S_OK);
    ASSERT_EQ(speak(b, QString("A sentence that fills the write buffer of the file. ").repeated(20)), S_OK);
    ASSERT_TRUE(waitForStop(b, 10000));
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{TTSBNS_ABORTED});
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 1);
    EXPECT_EQ(speak(b, "more"), TTSERR_OUTOFDISK);  // stays failed
    EXPECT_EQ(std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush(), TTSERR_OUTOFDISK);
    EXPECT_TRUE(QFileInfo::exists("/dev/full"));  // a device is never removed

    // Failing only at the final Flush, with the audio still in the buffer.
    auto small = openFile("/dev/full");
    const char pcm[100] = {};
    ASSERT_EQ(small->write(pcm, sizeof pcm), S_OK);
    EXPECT_EQ(small->Flush(), TTSERR_OUTOFDISK);
}

namespace {

QString espeakDataFolder()
{
    for (const char *p : {"/usr/lib/x86_64-linux-gnu/espeak-ng-data", "/usr/lib/aarch64-linux-gnu/espeak-ng-data",
                          "/usr/share/espeak-ng-data", "/usr/lib/espeak-ng-data"})
        if (QFileInfo(p).isDir())
            return p;
    return {};
}

int missingVoiceDataChild(const QString &home)
{
    // A copy of the data folder made of links, without one variant's file.
    const QString root = home + "/espeak", data = root + "/espeak-ng-data";
    if (!QDir().mkpath(root) || QProcess::execute("cp", {"-rs", espeakDataFolder(), data}) != 0 ||
        !QFile::remove(data + "/voices/!v/Annie"))
        return 2;
    qputenv("ESPEAK_DATA_PATH", root.toLocal8Bit());
    auto engine = EspeakEngine::load();
    if (!engine)
        return 3;
    bool annie = false;
    std::optional<GUID> german;
    for (const TTSMODEINFOW &m : engine->modes()) {
        annie = annie || QString::fromUtf16(m.szSpeaker) == "Annie";
        if (m.language.LanguageID == 1031 && !german)
            german = m.gModeID;
    }
    if (annie || !german)
        return 4;  // a variant without its file is left out; the rest is there
    if (!QFile::remove(data + "/lang/gmw/de"))
        return 5;
    auto dest = fileDest();
    setPath(*dest, home + "/de.wav");
    std::shared_ptr<ITTSCentralW> central;
    return engine->select(*german, dest, central) == TTSERR_INVALIDMODE && !central ? 0 : 6;
}

int defaultVoiceChild()
{
    auto engine = EspeakEngine::load();
    if (!engine || !engine->defaultMode())
        return 2;
    for (const TTSMODEINFOW &m : engine->modes())
        if (m.gModeID == *engine->defaultMode())
            return m.language.LanguageID == 1036 && QString::fromUtf16(m.szSpeaker) == "French (France)" ? 0 : 3;
    return 4;
}

}  // namespace

TEST(EspeakDataDeathTest, VoiceWhoseDataIsMissingIsLeftOutOrRefusedAtSelect)
{
    if (espeakDataFolder().isEmpty())
        GTEST_SKIP() << "eSpeak NG data folder not found";
    // eSpeak NG reads its data folder once per process: try it in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString home = TestSupport::homeDir();
    EXPECT_EXIT(std::exit(missingVoiceDataChild(home)), ::testing::ExitedWithCode(0), "");
}

TEST(EspeakDefaultVoiceDeathTest, DefaultVoiceFollowsTheLanguageOfTheUserLocale)
{
    // The locale is read when the program starts: try it in a fresh process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScopedEnv locale("LC_ALL", "fr_CA.UTF-8");  // no eSpeak NG voice for Canada: French of France
    EXPECT_EXIT(std::exit(defaultVoiceChild()), ::testing::ExitedWithCode(0), "");
}
