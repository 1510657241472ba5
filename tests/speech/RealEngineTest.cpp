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
    sapi::TTSMODEINFOW mode;
    uint32_t fetched = 0;
    while (enumerator && enumerator->Next(1, &mode, &fetched) == sapi::S_OK && fetched == 1)
        if (text(mode.szMfgName) == manufacturer && !text(mode.szModeName).contains("Telephone"))
            return mode;
    return std::nullopt;
}

struct Heard {
    std::vector<uint32_t> offsets;
    int stops = 0;
    int offsetsAtFirstStop = -1;
};

// Activates the component, listening to its words and stops.
void activate(TTTS &tts, Heard &heard)
{
    QObject::connect(&tts, &TTTS::OnWordPosition,
                     [&](TTTS *, sapi::QWORD, uint32_t offset) { heard.offsets.push_back(offset); });
    QObject::connect(&tts, &TTTS::OnAudioStop, [&](TTTS *, sapi::QWORD) {
        if (heard.stops++ == 0)
            heard.offsetsAtFirstStop = int(heard.offsets.size());
    });
    tts.SetActive(true);
}

// Speaks and waits for the end of the audio.
bool speak(TTTS &tts, Heard &heard, const QString &words)
{
    const int stops = heard.stops;
    tts.Speak(words);
    return TestSupport::waitFor([&] { return heard.stops > stops; }, 30000);
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

TEST_F(RealEngineTest, EachEngineByNameOrIdReportsWordOffsetsThenAudioStopOnTheDevice)
{
    ASSERT_TRUE(ProbeSpeechSupport().WaveOutPresent) << "no output device; run under scripts/headless-audio.sh";
    {
        TTTS fresh;  // holds eSpeak NG's default voice
        EXPECT_EQ(fresh.ModeName(), "Default");
        sapi::TTSMODEINFOW info;
        fresh.GetModeInfo(info);
        EXPECT_EQ(text(info.szMfgName), kEspeak);
        EXPECT_EQ(info.gModeID, fresh.ModeID());
    }
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
            activate(tts, heard);
            ASSERT_TRUE(speak(tts, heard, "one two three")) << "no audio stop";
            EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
            EXPECT_EQ(heard.offsetsAtFirstStop, 3);  // the stop comes after the words
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
    activate(tts, heard);
    // The empty probe of the character set must not look like the end of a text to the reader.
    EXPECT_NO_THROW(tts.SetCharacterSet(csText));
    TestSupport::idle(300);
    EXPECT_EQ(heard.stops, 0);
    EXPECT_EQ(tts.CharacterSet(), csText);

    ASSERT_TRUE(speak(tts, heard, "one two three"));
    EXPECT_EQ(heard.offsets, (std::vector<uint32_t>{0, 8, 16}));
    tts.SetOutputFile(second);
    const quint32 firstData = wholeWavData(first);
    EXPECT_GT(firstData, 10000u);  // whole, and well over a few milliseconds of speech
    ASSERT_TRUE(speak(tts, heard, "four five six"));
    tts.SetActive(false);
    EXPECT_GT(wholeWavData(second), 10000u);
    EXPECT_EQ(wholeWavData(first), firstData);  // nothing more went into the first file
}
