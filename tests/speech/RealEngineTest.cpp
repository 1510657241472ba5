// The component over the installed engines (eSpeak NG and Flite) and the
// real audio path. Needs the headless sound server of scripts/run-tests.sh.
#include "platform/audio/AudioSystem.h"
#include "platform/speech/SpeechEngine.h"

#include "SpeechTestSupport.h"

namespace {

const QString kEspeak = QStringLiteral("eSpeak NG");
const QString kFlite = QStringLiteral("Carnegie Mellon University");

QString text(const char16_t (&field)[sapi::TTSI_NAMELEN])
{
    return QString::fromUtf16(field, qsizetype(sapi::nameLength(field)));
}

// The first installed mode of a manufacturer.
std::optional<sapi::TTSMODEINFOW> firstModeOf(const QString &manufacturer)
{
    sapi::UnknownPtr object;
    sapi::CoCreateInstance(sapi::CLSID_TTSEnumerator, nullptr, sapi::CLSCTX_ALL, sapi::IID_ITTSEnumW, object);
    auto enumerator = sapi::queryAs<sapi::ITTSEnumW>(object, sapi::IID_ITTSEnumW);
    sapi::TTSMODEINFOW mode;
    uint32_t fetched = 0;
    while (enumerator && enumerator->Next(1, &mode, &fetched) == sapi::S_OK && fetched == 1)
        if (text(mode.szMfgName) == manufacturer && !text(mode.szModeName).contains("Telephone"))
            return mode;
    return std::nullopt;
}

class RealEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sapi::SpeechPlatform::restoreDefaultEngines();
        audio::setAudioSystem(nullptr);
    }
};

}  // namespace

TEST_F(RealEngineTest, EachEngineReportsWordOffsetsThenAudioStopOnTheDevice)
{
    ASSERT_TRUE(ProbeSpeechSupport().WaveOutPresent) << "no output device; run under scripts/headless-audio.sh";
    {
        TTTS fresh;  // holds eSpeak NG's default voice
        sapi::TTSMODEINFOW info;
        fresh.GetModeInfo(info);
        EXPECT_EQ(text(info.szMfgName), kEspeak);
    }
    for (const QString &manufacturer : {kEspeak, kFlite}) {
        SCOPED_TRACE(manufacturer.toStdString());
        const auto mode = firstModeOf(manufacturer);
        ASSERT_TRUE(mode.has_value()) << "engine not installed";
        Heard heard;
        TTTS tts;
        tts.SetModeName(text(mode->szModeName));
        heard.listen(tts);
        tts.SetActive(true);
        ASSERT_TRUE(heard.speak(tts, "one two three")) << "no audio stop";
        EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
        EXPECT_EQ(heard.offsetsAtFirstStop, 3);  // the stop comes after the words
    }
}

TEST_F(RealEngineTest, FileGetsAWholeWavAndOutputFileWrittenWhileActiveSwitchesFilesAtOnce)
{
    const QString first = TestSupport::homeDir() + QStringLiteral("/first.wav");
    const QString second = TestSupport::homeDir() + QStringLiteral("/second.wav");
    Heard heard;
    TTTS tts;
    tts.SetOutputDest(odFile);
    tts.SetOutputFile(first);
    heard.listen(tts);
    tts.SetActive(true);
    // The empty probe of the character set must not look like the end of a text to the reader.
    EXPECT_NO_THROW(tts.SetCharacterSet(csText));
    TestSupport::idle(300);
    EXPECT_EQ(heard.audioStops, 0);

    ASSERT_TRUE(heard.speak(tts, "one two three"));
    EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
    tts.SetOutputFile(second);
    const quint32 firstData = wholeWavData(first);
    EXPECT_GT(firstData, 10000u);  // whole, and well over a few milliseconds of speech
    ASSERT_TRUE(heard.speak(tts, "four five six"));
    tts.SetOutputDest(odAudioDevice);  // acts only at the next activation: the file is still finished
    tts.SetActive(false);
    EXPECT_GT(wholeWavData(second), 10000u);
    EXPECT_EQ(wholeWavData(first), firstData);  // nothing more went into the first file
}
