// The component over the installed engines (eSpeak NG and Flite) and the
// real audio path. Needs the headless sound server of scripts/run-tests.sh.
#include "speech/SpTools.h"
#include "speech/TTS.h"

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
    if (!enumerator)
        return std::nullopt;
    enumerator->Reset();
    for (;;) {
        sapi::TTSMODEINFOW mode;
        uint32_t fetched = 0;
        if (enumerator->Next(1, &mode, &fetched) != sapi::S_OK || fetched == 0)
            return std::nullopt;
        if (text(mode.szMfgName) == manufacturer && !text(mode.szModeName).contains("Telephone"))
            return mode;
    }
}

struct Heard {
    std::vector<uint32_t> offsets;
    int stops = 0;
    int offsetsAtFirstStop = -1;
};

void listen(TTTS &tts, Heard &heard)
{
    QObject::connect(&tts, &TTTS::OnWordPosition, [&](TTTS *, sapi::QWORD, uint32_t offset) { heard.offsets.push_back(offset); });
    QObject::connect(&tts, &TTTS::OnAudioStop, [&](TTTS *, sapi::QWORD) {
        if (heard.stops++ == 0)
            heard.offsetsAtFirstStop = int(heard.offsets.size());
    });
}

class RealEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sapi::SpeechPlatform::restoreDefaultEngines();
        audio::setAudioSystem(nullptr);
    }

    // Speaks "one two three" and waits for the end of the audio.
    void speakOneTwoThree(TTTS &tts, Heard &heard)
    {
        listen(tts, heard);
        tts.SetActive(true);
        tts.Speak(QStringLiteral("one two three"));
        ASSERT_TRUE(TestSupport::waitFor([&] { return heard.stops > 0; }, 30000)) << "no audio stop";
    }
};

}  // namespace

TEST_F(RealEngineTest, NewComponentHoldsTheDefaultEspeakVoice)
{
    TTTS tts;
    ASSERT_TRUE(tts.SpeechInstalled());
    ASSERT_TRUE(tts.TTSInstalled());
    EXPECT_EQ(tts.ModeName(), "Default");
    EXPECT_FALSE(tts.ModeID().isNull());
    sapi::TTSMODEINFOW info;
    tts.GetModeInfo(info);
    EXPECT_EQ(text(info.szMfgName), kEspeak);
    EXPECT_EQ(info.gModeID, tts.ModeID());
}

TEST_F(RealEngineTest, EachEngineReportsWordOffsetsThenAudioStopOnTheDevice)
{
    ASSERT_TRUE(ProbeSpeechSupport().WaveOutPresent) << "no output device; run under scripts/headless-audio.sh";
    for (const QString &manufacturer : {kEspeak, kFlite}) {
        SCOPED_TRACE(manufacturer.toStdString());
        const auto mode = firstModeOf(manufacturer);
        ASSERT_TRUE(mode.has_value()) << "engine not installed";
        for (bool byName : {true, false}) {
            TTTS tts;
            if (byName)
                tts.SetModeName(text(mode->szModeName));
            else
                tts.SetModeID(mode->gModeID);
            EXPECT_EQ(tts.ModeName(), text(mode->szModeName));
            Heard heard;
            speakOneTwoThree(tts, heard);
            EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
            EXPECT_EQ(heard.offsetsAtFirstStop, 3);  // the stop comes after the words
            tts.SetActive(false);
        }
    }
}

TEST_F(RealEngineTest, FileGetsAWholeWavAndOutputFileWrittenWhileActiveSwitchesFilesAtOnce)
{
    const QString first = TestSupport::homeDir() + QStringLiteral("/first.wav");
    const QString second = TestSupport::homeDir() + QStringLiteral("/second.wav");
    TTTS tts;
    tts.SetOutputDest(odFile);
    tts.SetOutputFile(first);
    Heard heard;
    speakOneTwoThree(tts, heard);
    EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
    tts.SetOutputFile(second);
    const quint32 firstData = wholeWavData(first);
    EXPECT_GT(firstData, 10000u);  // whole, and well over a few milliseconds of speech

    tts.Speak(QStringLiteral("four five six"));
    ASSERT_TRUE(TestSupport::waitFor([&] { return heard.stops > 1; }, 30000));
    tts.SetActive(false);
    EXPECT_GT(wholeWavData(second), 10000u);
    EXPECT_EQ(wholeWavData(first), firstData);  // nothing more went into the first file
}

TEST_F(RealEngineTest, CharacterSetProbeOnAnActiveEngineSpeaksNothing)
{
    TTTS tts;
    tts.SetOutputDest(odFile);
    tts.SetOutputFile(TestSupport::homeDir() + QStringLiteral("/probe.wav"));
    Heard heard;
    listen(tts, heard);
    tts.SetActive(true);
    EXPECT_NO_THROW(tts.SetCharacterSet(csText));
    // The empty probe must not look like the end of a text to the reader.
    TestSupport::waitFor([] { return false; }, 300);
    EXPECT_EQ(heard.stops, 0);
    EXPECT_TRUE(heard.offsets.empty());
    EXPECT_EQ(tts.CharacterSet(), csText);
}

TEST_F(RealEngineTest, RangeProbesOfEachEngineKeepItsPitchAndSpeed)
{
    for (const QString &manufacturer : {kEspeak, kFlite}) {
        SCOPED_TRACE(manufacturer.toStdString());
        const auto mode = firstModeOf(manufacturer);
        ASSERT_TRUE(mode.has_value());
        TTTS tts;
        tts.SetModeID(mode->gModeID);
        tts.SetOutputDest(odFile);
        tts.SetOutputFile(TestSupport::homeDir() + QStringLiteral("/range.wav"));
        tts.SetActive(true);
        const int32_t pitch = tts.Pitch();
        const uint32_t speed = tts.Speed();
        EXPECT_LT(tts.MinPitch(), tts.MaxPitch());
        EXPECT_LT(tts.MinSpeed(), tts.MaxSpeed());
        EXPECT_EQ(tts.Pitch(), pitch);
        EXPECT_EQ(tts.Speed(), speed);
        tts.SetActive(false);
    }
}
