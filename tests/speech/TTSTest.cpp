#include "SpeechTestSupport.h"

using sapi::hr;

namespace {

const QString kMustBeFalse = "The Active property must be FALSE before you can set the %1 property";
const QString kMustBeTrue = "The Active property must be TRUE before the %1 method can be called";
const QString kInvalidMode = "The value assigned to the ModeName property is invalid";

class TTSTest : public ScriptedSpeechTest
{
protected:
    // Selects a mode as the reader does, by its ID.
    void activate(uint32_t number)
    {
        tts.SetModeID(mode(number));
        tts.SetActive(true);
    }

    TTTS tts;
};

}  // namespace

TEST_F(TTSTest, ModeIDSelectsAnInstalledModeAndRefusesWhileActive)
{
    EXPECT_EQ(messageOf([&] { tts.SetModeID(mode(99)); }), kInvalidMode);
    activate(3);
    EXPECT_EQ(engine->log.selectedModes, std::vector<sapi::GUID>{mode(3)});
    EXPECT_EQ(messageOf([&] { tts.SetModeID(mode(2)); }), kMustBeFalse.arg("ModeID"));
    EXPECT_EQ(tts.ModeID(), mode(3));
}

TEST_F(TTSTest, AudioDeviceIDAcceptsMinusOneToTheDeviceCount)
{
    for (int id : {-1, 3})
        EXPECT_NO_THROW(tts.SetAudioDeviceID(id)) << id;
    const QString outside = "The value specified for the AudioDeviceID is outside the range of available IDs";
    for (int id : {-2, 4})
        EXPECT_EQ(messageOf([&] { tts.SetAudioDeviceID(id); }), outside) << id;
    EXPECT_EQ(tts.AudioDeviceID(), 3);

    tts.SetAudioDeviceID(1);
    tts.SetActive(true);
    auto device = sapi::queryAs<sapi::IAudioMultiMediaDevice>(engine->log.destinations.back(),
                                                              sapi::IID_IAudioMultiMediaDevice);
    ASSERT_TRUE(device);
    uint32_t number = 0;
    device->DeviceNumGet(&number);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(messageOf([&] { tts.SetAudioDeviceID(0); }), kMustBeFalse.arg("AudioDeviceID"));

    // Without devices writes are ignored and activation fails.
    tts.SetActive(false);
    setDevices(0);
    TTTS none;
    none.SetAudioDeviceID(5);
    EXPECT_EQ(none.AudioDeviceID(), -1);
    EXPECT_EQ(messageOf([&] { none.SetActive(true); }), "No wave out devices available on system.");
    EXPECT_EQ(engine->log.selects, 1);
}

TEST_F(TTSTest, ActivationRunsOnceAndAnEndedOrFailedActivationLeavesNothingBehind)
{
    tts.SetActive(false);  // nothing to do
    tts.SetActive(true);
    tts.SetActive(true);
    EXPECT_EQ(engine->log.selects, 1);
    EXPECT_EQ(engine->log.registrations, 1);
    tts.SetActive(false);
    EXPECT_EQ(engine->log.unregistrations, 1);
    EXPECT_TRUE(engine->central->notifySinks.empty());

    engine->script.selectResult = sapi::TTSERR_WAVEDEVICEBUSY;
    EXPECT_EQ(messageOf<ESpeechError>([&] { tts.SetActive(true); }),
              "The audio device is in use at this time.\r\n\r\nError code 80040203");
    engine->script.selectResult = sapi::S_OK;
    engine->script.offersDialogs = false;
    EXPECT_EQ(messageOf([&] { tts.SetActive(true); }), "Could''t create TTSDialogs Object. Is it registered?");
    engine->script.offersDialogs = true;
    engine->script.offersAttributes = false;
    EXPECT_EQ(messageOf([&] { tts.SetActive(true); }), "Couldn''t create attributes Interface: Is engine registered?");
    // The sink registered before the dialogs failed was taken back.
    EXPECT_FALSE(tts.GetEngineInterface());
    EXPECT_EQ(engine->log.unregistrations, 2);
    EXPECT_TRUE(engine->central->notifySinks.empty());
    activate(3);  // announces no attributes, so does not ask for them
    EXPECT_TRUE(tts.Active());
}

TEST_F(TTSTest, RefusedSinkRegistrationStillSpeaksWithoutEngineEvents)
{
    engine->script.registerResult = sapi::E_FAIL;
    int words = 0, done = 0, audioEvents = 0;
    QObject::connect(&tts, &TTTS::OnWordPosition, [&] { ++words; });
    QObject::connect(&tts, &TTTS::OnTextDataDone, [&] { ++done; });
    QObject::connect(&tts, &TTTS::OnAudioStart, [&] { ++audioEvents; });
    QObject::connect(&tts, &TTTS::OnAudioStop, [&] { ++audioEvents; });
    tts.SetActive(true);
    tts.Speak("one two three");
    ASSERT_TRUE(TestSupport::waitFor([&] { return done == 1; }, 2000));
    EXPECT_EQ(words, 3);
    EXPECT_EQ(audioEvents, 0);
    tts.SetActive(false);
    EXPECT_EQ(engine->log.unregistrations, 0);
}

TEST_F(TTSTest, FileDestinationNeedsAPathAndDestroyingAnActiveComponentStillFinishesTheFile)
{
    tts.SetOutputDest(odFile);  // no error yet
    EXPECT_EQ(messageOf([&] { tts.SetActive(true); }),
              "OutputDest of odFile requres a valid path and file name in the OutputFile property");
    const QString path = TestSupport::homeDir() + "/left.wav";
    {
        TTTS local;
        local.SetOutputDest(odFile);
        local.SetOutputFile(path);
        local.SetActive(true);
        local.Speak("one two");
        engine->central->playPending();
    }
    ASSERT_TRUE(engine->central);  // the engine still holds the destination
    const TestSupport::WavFile wav = TestSupport::readWav(path);
    EXPECT_TRUE(wav.whole);
    EXPECT_EQ(wav.data.size(), 2 * 2205 * 2);
}

// The words the engines report for it are checked through the reading window.
TEST_F(TTSTest, SpeakHandsTheUtf16TextWithItsNull)
{
    tts.SetActive(true);
    tts.Speak("one two");
    EXPECT_EQ(engine->log.texts.back().flags, 0u);
    EXPECT_EQ(engine->log.texts.back().bytes, QByteArray(reinterpret_cast<const char *>(u"one two"), 16));
}

TEST_F(TTSTest, EngineFailuresAreTranslatedOrPassedOn)
{
    activate(2);
    const QString notImplemented = "Speak method failed.  csText is not implemented in the Beta engine";
    engine->script.textDataResult = sapi::E_NOTIMPL;
    EXPECT_EQ(messageOf([&] { tts.Speak("x"); }), notImplemented);
    engine->script.textDataResult = hr(0x80040208);
    EXPECT_EQ(messageOf<EOleError>([&] { tts.Speak("x"); }), notImplemented);
    engine->script.textDataResult = sapi::TTSERR_QUEUEFULL;
    EXPECT_EQ(messageOf<ESpeechError>([&] { tts.Speak("x"); }), ESpeechError(sapi::TTSERR_QUEUEFULL).message());

    // Lexicon codes get the component's own words; the success-severity code only for 0x00040806.
    const std::pair<uint32_t, QString> lexicon[] = {
        {0x80040801, "Lexicon error - Invalid Text Character"},
        {0x00040806, "Lexicon error - Lexicon already in dictionary"},
    };
    for (const auto &[code, message] : lexicon) {
        engine->script.injectResult = hr(code);
        EXPECT_EQ(messageOf([&] { tts.Inject("\\Pit=50\\"); }), message);
    }
    engine->script.injectResult = hr(0x80040806);
    EXPECT_THROW(tts.Inject("\\Rst\\"), ESpeechError);
    engine->script.injectResult = sapi::E_NOTIMPL;
    EXPECT_EQ(messageOf([&] { tts.Inject("\\Rst\\"); }), "The Inject function is not implemented in the Beta engine");
    EXPECT_EQ(engine->log.injected.back(), "\\Rst\\");
}

TEST_F(TTSTest, SinksOfADestroyedComponentReachNothing)
{
    bool called = false;
    auto local = std::make_unique<TTTS>();
    QObject::connect(local.get(), &TTTS::OnAudioStop, [&](TTTS *, sapi::QWORD) { called = true; });
    QObject::connect(local.get(), &TTTS::OnWordPosition, [&](TTTS *, sapi::QWORD, uint32_t) { called = true; });
    engine->script.autoSpeak = false;
    local->SetActive(true);
    local->Speak("one two");
    // The engine keeps its own references to both sinks.
    auto notify = engine->central->notifySinks.front().second;
    auto buffer = engine->central->bufferSinks.front().lock();
    ASSERT_TRUE(notify && buffer);
    local.reset();
    EXPECT_EQ(notify->AudioStop(1), sapi::S_OK);
    EXPECT_EQ(buffer->WordPosition(1, 0), sapi::S_OK);
    engine->central->playPending();
    EXPECT_FALSE(called);
}

TEST_F(TTSTest, HandlersMayThrowOrDeactivateWithoutHarmingTheEngine)
{
    tts.SetActive(true);
    int positions = 0;
    QObject::connect(&tts, &TTTS::OnWordPosition, [&](TTTS *, sapi::QWORD, uint32_t) {
        ++positions;
        throw EOleError("handler failed");
    });
    QObject::connect(&tts, &TTTS::OnAudioStop, [&](TTTS *sender, sapi::QWORD) { sender->SetActive(false); });
    tts.Speak("one two three");
    engine->central->playPending();
    EXPECT_EQ(positions, 3);
    EXPECT_FALSE(tts.Active());
}

TEST_F(TTSTest, InactiveComponentRefusesControls)
{
    const std::pair<const char *, std::function<void()>> controls[] = {
        {"Speak", [&] { tts.Speak("x"); }},
        {"Pitch", [&] { tts.SetPitch(10); }},
        {"Speed", [&] { tts.SetSpeed(10); }},
        {"AudioPaused", [&] { tts.SetAudioPaused(true); }},
        {"AudioReset", [&] { tts.AudioReset(); }},
        {"Inject", [&] { tts.Inject("x"); }},
        {"ShowLexiconDlg", [&] { tts.ShowLexiconDlg(nullptr, "x"); }},
    };
    for (const auto &[name, call] : controls)
        EXPECT_EQ(messageOf(call), kMustBeTrue.arg(name));
}

TEST_F(TTSTest, AttributeWritesIgnoreNotImplementedAndTranslateOtherFailures)
{
    activate(2);
    engine->script.pitchSetResult = sapi::E_NOTIMPL;
    EXPECT_NO_THROW(tts.SetPitch(90));
    engine->script.speedSetResult = hr(0x80040208);
    EXPECT_EQ(messageOf([&] { tts.SetSpeed(90); }), "Speed attribute is not implemented in the Beta engine");
    engine->script.speedSetResult = sapi::E_INVALIDARG;
    EXPECT_THROW(tts.SetSpeed(90), ESpeechError);
    tts.SetActive(false);

    // Without the attributes interface the writes refuse in the inactive words.
    activate(3);
    EXPECT_EQ(tts.Pitch(), -1);
    EXPECT_EQ(messageOf([&] { tts.SetPitch(90); }), kMustBeTrue.arg("Pitch"));
}

TEST_F(TTSTest, PauseAndResetFollowTheEngine)
{
    tts.SetActive(true);
    tts.SetAudioPaused(true);
    tts.SetAudioPaused(true);
    EXPECT_EQ(engine->log.pauses, 1);
    // A reset clears the flag, even one the engine fails.
    engine->script.resetResult = sapi::E_FAIL;
    EXPECT_THROW(tts.AudioReset(), ESpeechError);
    EXPECT_FALSE(tts.AudioPaused());
    EXPECT_EQ(engine->log.resets, 1);

    engine->script.pauseResult = sapi::E_FAIL;
    EXPECT_THROW(tts.SetAudioPaused(true), ESpeechError);
    EXPECT_FALSE(tts.AudioPaused());

    // Deactivation keeps the flag.
    engine->script.pauseResult = sapi::S_OK;
    tts.SetAudioPaused(true);
    tts.SetActive(false);
    tts.SetActive(true);
    EXPECT_TRUE(tts.AudioPaused());
    tts.SetAudioPaused(false);
    EXPECT_EQ(engine->log.resumes, 1);
}

TEST_F(TTSTest, LexiconDialogGetsItsTitleOrNone)
{
    activate(2);
    tts.ShowLexiconDlg(nullptr, QString());
    tts.ShowLexiconDlg(nullptr, "Words");
    EXPECT_EQ(engine->log.lexiconDialogTitles, (std::vector<std::optional<QString>>{std::nullopt, QString("Words")}));
    engine->script.dialogResult = sapi::E_NOTIMPL;
    EXPECT_EQ(messageOf([&] { tts.ShowLexiconDlg(nullptr, "x"); }),
              "The ShowLexiconDlg function is not implemented in the Beta engine");
}

// The reader uses none of these: a new component's default mode, mode names, control tags, another
// destination, character sets, phonemes, the pitch probe and loading. One check of each.
TEST_F(TTSTest, FeaturesTheReaderDoesNotUseKeepTheirRules)
{
    engine->defaultModeId = mode(2);
    TTTS fresh;
    EXPECT_EQ(fresh.ModeName(), "Default");
    EXPECT_EQ(fresh.ModeID(), mode(2));
    EXPECT_EQ(messageOf([&] { tts.SetModeName("Beta "); }), kInvalidMode);  // names compare exactly
    tts.SetModeName("Beta");
    EXPECT_EQ(messageOf([&] { tts.SetControlTags(ctTagged); }),
              "Control Tagging is not implemented in the Beta engine");
    tts.SetOutputDest(odOther);
    EXPECT_EQ(messageOf([&] { tts.SetActive(true); }),
              "An OnMakeOtherDest event must be defined to use an OutputDest of odOther.");

    tts.SetOutputDest(odAudioDevice);
    tts.SetActive(true);
    engine->script.refusedCharSets = {sapi::CHARSET_IPAPHONETIC};
    EXPECT_EQ(messageOf([&] { tts.SetCharacterSet(csIPAPhonetic); }),
              "csIPAPhonetic is not implemented in the Beta engine");
    EXPECT_EQ(tts.CharacterSet(), csText);  // a refused set is not kept
    tts.ConvertToPhoneme(csText, false, "hello");
    EXPECT_EQ(QString::fromUtf16(static_cast<const char16_t *>(tts.PhonemeData().pData)), "HELLO");
    engine->script.pitchGetResult = sapi::E_NOTIMPL;  // what cannot be read could not be put back
    EXPECT_EQ(tts.MaxPitch(), 100);
    EXPECT_TRUE(engine->log.pitchWrites.empty());
    tts.BeginLoading();  // while loading, failures raise nothing
    engine->script.textDataResult = sapi::E_FAIL;
    EXPECT_NO_THROW(tts.Speak("x"));
}
