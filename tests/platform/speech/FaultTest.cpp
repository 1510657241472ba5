// Faults end in an error result with its code, never in a crash or a false
// success: no sound server, an unwritable or full output file, voice data
// that went missing.
#include "AudioDestinations.h"
#include "EspeakEngine.h"
#include "PulseAudioSystem.h"
#include "SpeechEngine.h"
#include "SpeechTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

using namespace sapi;
using namespace speechtest;

namespace {

class FaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SpeechPlatform::restoreDefaultEngines();
        espeak = modeNamed("eSpeak NG English (America)");
        ASSERT_FALSE(espeak.gModeID.isNull());
    }
    TTSMODEINFOW espeak;
};

}  // namespace

TEST_F(FaultTest, UnreachableAudioServerFailsSelectAndTheProbes)
{
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + TestSupport::homeDir().toLocal8Bit() + "/no-such-socket");
    audio::setAudioSystem(std::make_unique<audio::PulseAudioSystem>());

    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    EXPECT_FALSE(probeSpeechPlatform().waveOutPresent);
    Bound b = onDevice(espeak.gModeID);
    EXPECT_EQ(b.result, AUDERR_NOTOPEN);
    EXPECT_FALSE(b.central);
    auto dest = std::dynamic_pointer_cast<AudioDestination>(b.dest);
    ASSERT_TRUE(dest);
    EXPECT_FALSE(dest->lastError().isEmpty());

    audio::setAudioSystem(nullptr);
    if (saved.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", saved);
}

TEST_F(FaultTest, FileDestinationThatCouldNotBeOpenedFailsSelect)
{
    const QString path = TestSupport::homeDir() + "/missing/folder/out.wav";
    UnknownPtr object;
    ASSERT_EQ(CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, object), S_OK);
    auto file = std::dynamic_pointer_cast<IAudioFile>(object);
    EXPECT_EQ(file->Set(reinterpret_cast<const char16_t *>(path.utf16()), 1), AUDERR_NOTOPEN);

    UnknownPtr enumerator;
    ASSERT_EQ(CoCreateInstance(CLSID_TTSEnumerator, nullptr, CLSCTX_ALL, IID_ITTSEnumW, enumerator), S_OK);
    std::shared_ptr<ITTSCentralW> central;
    EXPECT_EQ(std::dynamic_pointer_cast<ITTSEnumW>(enumerator)->Select(espeak.gModeID, central, object),
              AUDERR_NOTOPEN);
    EXPECT_FALSE(central);
    EXPECT_FALSE(QFileInfo::exists(path));

    // An object that is no audio destination at all.
    EXPECT_EQ(std::dynamic_pointer_cast<ITTSEnumW>(enumerator)->Select(espeak.gModeID, central, enumerator),
              E_NOINTERFACE);
}

TEST_F(FaultTest, FullDiskWhileWritingEndsTheTextAndReportsOutOfDisk)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    Bound b = toFile(espeak.gModeID, "/dev/full");
    ASSERT_EQ(b.result, S_OK);
    QString text;
    for (int i = 0; i < 20; ++i)
        text += "A sentence that fills the write buffer of the file. ";
    ASSERT_EQ(speak(b, text), S_OK);
    ASSERT_TRUE(waitForStop(b, 10000));
    EXPECT_EQ(b.recorder->values(Note::TextDone), std::vector<uint32_t>{TTSBNS_ABORTED});
    EXPECT_EQ(b.recorder->count(Note::AudioStop), 1);
    EXPECT_EQ(speak(b, "more"), TTSERR_OUTOFDISK);
    EXPECT_EQ(std::dynamic_pointer_cast<IAudioFile>(b.dest)->Flush(), TTSERR_OUTOFDISK);
    EXPECT_TRUE(QFileInfo::exists("/dev/full"));
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

// A copy of the data folder made of links, without the entries named in skip.
bool linkTree(const QString &from, const QString &to, const QStringList &copyDeeper, const QStringList &skip)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &e : QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString rel = e.fileName();
        if (skip.contains(rel))
            continue;
        if (copyDeeper.contains(rel)) {
            QStringList deeper, skipDeeper;
            for (const QString &c : copyDeeper)
                if (c.startsWith(rel + '/'))
                    deeper << c.mid(rel.size() + 1);
            for (const QString &s : skip)
                if (s.startsWith(rel + '/'))
                    skipDeeper << s.mid(rel.size() + 1);
            if (!linkTree(e.absoluteFilePath(), to + '/' + rel, deeper, skipDeeper))
                return false;
        } else if (!QFile::link(e.absoluteFilePath(), to + '/' + rel)) {
            return false;
        }
    }
    return true;
}

int missingVoiceDataChild(const QString &home)
{
    const QString data = espeakDataFolder();
    const QString root = home + "/espeak";
    if (!linkTree(data, root + "/espeak-ng-data", {"lang", "lang/gmw", "voices", "voices/!v"}, {"voices/!v/Annie"}))
        return 2;
    qputenv("ESPEAK_DATA_PATH", root.toLocal8Bit());
    auto engine = EspeakEngine::load();
    if (!engine)
        return 3;
    bool annie = false, german = false;
    GUID germanMode;
    for (const TTSMODEINFOW &m : engine->modes()) {
        annie = annie || QString::fromUtf16(m.szSpeaker) == "Annie";
        if (m.language.LanguageID == 1031 && !german) {
            german = true;
            germanMode = m.gModeID;
        }
    }
    if (annie || !german)
        return 4;  // a variant without its file is left out; the rest is there
    if (!QFile::remove(root + "/espeak-ng-data/lang/gmw/de"))
        return 5;
    UnknownPtr dest;
    CoCreateInstance(CLSID_AudioDestFile, nullptr, CLSCTX_ALL, IID_IAudioFile, dest);
    const QString path = home + "/de.wav";
    std::dynamic_pointer_cast<IAudioFile>(dest)->Set(reinterpret_cast<const char16_t *>(path.utf16()), 1);
    std::shared_ptr<ITTSCentralW> central;
    if (engine->select(germanMode, dest, central) != TTSERR_INVALIDMODE || central)
        return 6;
    return 0;
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

namespace {

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

TEST(EspeakDefaultVoiceDeathTest, DefaultVoiceFollowsTheLanguageOfTheUserLocale)
{
    // The locale is read when the program starts: try it in a fresh process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "fr_CA.UTF-8");  // no eSpeak NG voice for Canada: French of France
    EXPECT_EXIT(std::exit(defaultVoiceChild()), ::testing::ExitedWithCode(0), "");
    if (saved.isNull())
        qunsetenv("LC_ALL");
    else
        qputenv("LC_ALL", saved);
}
