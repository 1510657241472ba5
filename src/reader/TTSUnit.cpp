#include "TTSUnit.h"

#include "dialogs/PronEditorInfo.h"
#include "dialogs/SoundCardError.h"
#include "platform/audio/AudioSystem.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "util/UtilsClass.h"

#include <QCoreApplication>

TTTSForm *TTSForm = nullptr;

namespace {

// The engine that carries the pronunciation editor here.
const QString kLexiconEngine = QStringLiteral("eSpeak NG");

const QString kLexiconActivationFailed = QStringLiteral("TTS Activation failed in Lexicon Dialog");
const QString kDeviceCheckFailed = QStringLiteral(
    "Audio device check failed. \rVerify that the device you have selected is a valid audio device\r\r"
    "Please contact Varnyx Support if you're having problems");
const QString kLexiconEngineMissing = QStringLiteral(
    "eSpeak NG TTS Engine is not installed\r\rVoxtrella MP3 has detected that the eSpeak NG Text-To-Speech\r"
    "engine is not installed on your computer.  The engine must be\rinstalled for the pronunciation editor to "
    "work.\r\rPlease contact Varnyx Support for assistance.");
const QString kLexiconEngineDisabled = QStringLiteral(
    "eSpeak NG TTS Engine is not enabled\r\rVoxtrella MP3 has detected that you have disabled the eSpeak NG\r"
    "Text-To-Speech engine.  The engine must be enabled for the\rPronunciation Editor to work.\r\r"
    "Please select the Engines/Voices tab on the options panel and enable\rthe engine.");
const QString kNoLexiconVoice = QStringLiteral(
    "No eSpeak NG voice for English was found, so the pronunciation editor cannot be opened.");

}  // namespace

TTTSForm::TTTSForm(QWidget *parent)
    : QWidget(parent),
      m_catalog(std::make_unique<TVoiceCatalog>()),
      m_filter(std::make_unique<TTTSFilter>())
{
    setObjectName(QStringLiteral("TTSForm"));
    TTS1 = new TTTS(this);
    TTS1->setObjectName(QStringLiteral("TTS1"));
    if (Prefs)
        TTS1->SetAudioDeviceID(Prefs->TTS_AudioDeviceID);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TTTSForm::Timer1Timer);
    TTS1->OnAudioStop = [this](TTTS *, sapi::QWORD) { AudioStopped(); };
}

TTTSForm::~TTTSForm()
{
    if (TTSForm == this)
        TTSForm = nullptr;
}

void TTTSForm::Initialize()
{
    m_catalog->Initialize(this);
}

void TTTSForm::LoadVoicePrefs()
{
    m_catalog->EnsureDefaultVoice();
    m_catalog->LoadVoicePrefs();
}

void TTTSForm::SaveVoicePrefs()
{
    m_catalog->SaveVoicePrefs();
}

TVoiceEntry *TTTSForm::FindVoice(const QString &name) const
{
    return m_catalog->FindVoice(name);
}

TVoiceEntry *TTTSForm::FindHelpVoice() const
{
    return m_catalog->FindHelpVoice();
}

void TTTSForm::SetEngineEnabled(const QString &groupName, bool enabled)
{
    m_catalog->SetEngineEnabled(groupName, enabled);
}

bool TTTSForm::Play(const QString &text, const QString &voiceName)
{
    try {
        TTS1->SetActive(false);
        TTS1->SetOutputDest(odAudioDevice);
        TTS1->SetOutputFile(QString());
    } catch (const EAppError &e) {
        MessageService::error(e.message());
        return false;
    }
    TVoiceEntry *voice = FindVoice(voiceName);

    // The sound card check comes first.
    QString error;
    const audio::DeviceCheck check = audio::audioSystem().checkDevice(TTS1->AudioDeviceID(), &error);
    if (check == audio::DeviceCheck::Busy) {
        UtilsClass::WriteLog(QStringLiteral("Detected Sound Card Busy"));
        MessageService::error(QStringLiteral("Sound card is busy.  Wait and try again."));
        return false;
    }
    if (check == audio::DeviceCheck::Failed) {
        UtilsClass::WriteLog(QStringLiteral("Sound card check failed: ") + error);
        if (Prefs && Prefs->TTS_SoundCardCheckErr) {
            TSoundCardErrorForm notice(this);
            if (notice.exec() != QDialog::Accepted)
                return false;
        }
    }

    if (!voice) {
        MessageService::error(QStringLiteral("Voice ") + voiceName + QStringLiteral(" does not exist"));
        return false;
    }

    try {
        // A pitch or speed never chosen stands for the engine's default.
        if (voice->Speed <= 0 || voice->Pitch <= 0)
            LoadVoiceDefaults(voice);
        TTS1->SetModeID(voice->ModeID);
        TTS1->SetActive(true);
        if (!TTS1->Active())
            throw EAppError(QStringLiteral("TTS Activation failed in Play"));
        TTS1->SetPitch(static_cast<uint16_t>(voice->Pitch));
        TTS1->SetSpeed(static_cast<uint32_t>(voice->Speed));
        const QString filtered = m_filter->FilterText(voice->Engine ? voice->Engine->Features : 0, text,
                                                      !Prefs || Prefs->TTS_FilterSymbols);
        TTS1->Speak(filtered);
    } catch (const EAppError &e) {
        UtilsClass::WriteLog(e.message());
        MessageService::error(e.message());
        return false;
    } catch (const std::exception &e) {
        UtilsClass::WriteLog(QString::fromUtf8(e.what()));
        MessageService::error(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void TTTSForm::PauseAudio()
{
    try {
        TTS1->SetAudioPaused(true);
    } catch (...) {
        UtilsClass::WriteLog(QStringLiteral("Pause Exception"));
    }
}

void TTTSForm::ResumeAudio()
{
    try {
        TTS1->SetAudioPaused(false);
    } catch (...) {
        UtilsClass::WriteLog(QStringLiteral("Resume Exception"));
    }
}

void TTTSForm::AudioStopped()
{
    // A pause stops the audio too; only the real end is reported.
    if (!TTS1->AudioPaused() && OnDone)
        Timer1->start();
}

void TTTSForm::Timer1Timer()
{
    Timer1->stop();
    if (OnDone)
        OnDone(this);
}

void TTTSForm::ApplyPitch(TVoiceEntry *voice)
{
    // The mode identifier tells the voice being spoken; mode names here are
    // not the voices' display names.
    if (voice && TTS1->Active() && TTS1->ModeID() == voice->ModeID)
        TTS1->Inject(QStringLiteral("\\Pit=%1\\").arg(voice->Pitch));
}

void TTTSForm::ApplySpeed(TVoiceEntry *voice)
{
    if (voice && TTS1->Active() && TTS1->ModeID() == voice->ModeID)
        TTS1->Inject(QStringLiteral("\\Spd=%1\\").arg(voice->Speed));
}

void TTTSForm::LoadVoiceDefaults(TVoiceEntry *voice)
{
    if (!voice)
        return;
    {
        TTTS probe(this);
        probe.SetActive(false);
        probe.SetModeID(voice->ModeID);
        probe.SetActive(true);
        voice->PitchMin = probe.MinPitch();
        voice->PitchMax = probe.MaxPitch();
        voice->PitchDefault = probe.Pitch();
        voice->SpeedMin = static_cast<int32_t>(probe.MinSpeed());
        voice->SpeedMax = static_cast<int32_t>(probe.MaxSpeed());
        voice->SpeedDefault = static_cast<int32_t>(probe.Speed());
        probe.SetActive(false);
    }
    if (voice->Pitch <= 0)
        voice->Pitch = voice->PitchDefault;
    if (voice->Speed <= 0)
        voice->Speed = voice->SpeedDefault;
}

bool TTTSForm::CheckAudioDevice(int32_t deviceId)
{
    const int32_t previous = TTS1->AudioDeviceID();
    bool active = false;
    try {
        TTS1->SetActive(false);
        TTS1->SetAudioDeviceID(deviceId);
        TTS1->SetActive(true);
    } catch (const EAppError &e) {
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        MessageService::error(QStringLiteral("Audio Device check failed"));
    }
    active = TTS1->Active();
    // The engine takes any device number; only opening the device shows
    // whether it can play there.
    QString error;
    if (active && !audio::audioSystem().testOpen(deviceId, &error)) {
        MessageService::error(error.isEmpty() ? QStringLiteral("Audio Device check failed") : error);
        active = false;
    }
    if (!active)
        MessageService::notice(kDeviceCheckFailed);
    try {
        TTS1->SetActive(false);
        TTS1->SetAudioDeviceID(previous);
    } catch (const EAppError &e) {
        UtilsClass::WriteLog(QStringLiteral("CheckAudioDevice: ") + e.message());
    }
    return active;
}

void TTTSForm::ShowLexicon(QWidget *owner, const QString &title)
{
    if (TTS1->Active())
        return;
    // Every language of the editor's engine is an engine entry of its own;
    // together they form its group.
    bool installed = false;
    bool otherEngines = false;
    for (int i = 0; i < Engines().Count(); ++i) {
        const bool ours = Engines().Items(i)->GroupName == kLexiconEngine;
        installed = installed || ours;
        otherEngines = otherEngines || !ours;
    }
    if (!installed) {
        MessageService::error(kLexiconEngineMissing);
        return;
    }

    // The default voice when it is one of the engine's, else its first
    // English voice.
    TVoiceEntry *voice = Prefs ? FindVoice(Prefs->TTS_DefaultVoiceName) : nullptr;
    if (!voice || !voice->Engine || voice->Engine->GroupName != kLexiconEngine) {
        voice = nullptr;
        for (int i = 0; i < Voices().Count() && !voice; ++i) {
            TVoiceEntry *v = Voices().Items(i);
            if (v->Engine && v->Engine->GroupName == kLexiconEngine &&
                LanguageCodeOf(v->Engine->LanguageID) == QLatin1String("eng"))
                voice = v;
        }
    }
    if (!voice) {
        MessageService::error(kNoLexiconVoice);
        return;
    }
    if (!voice->Engine->Enabled) {
        MessageService::error(kLexiconEngineDisabled);
        return;
    }
    if (otherEngines && Prefs && Prefs->ShowPronEditWarning) {
        TPronEditorInfoForm info(owner);
        info.exec();
        QCoreApplication::processEvents();
    }

    try {
        if (voice->PitchMin == -1 || voice->Pitch <= 0 || voice->Speed <= 0)
            LoadVoiceDefaults(voice);
        TTS1->SetModeID(voice->ModeID);
        TTS1->SetActive(true);
        if (!TTS1->Active()) {
            MessageService::error(kLexiconActivationFailed);
            return;
        }
        TTS1->SetPitch(static_cast<uint16_t>(voice->Pitch));
        TTS1->SetSpeed(static_cast<uint32_t>(voice->Speed));
        TTS1->ShowLexiconDlg(owner, title);
        TTS1->SetActive(false);
    } catch (const EAppError &e) {
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        MessageService::notice(kLexiconActivationFailed);
    }
    try {
        TTS1->SetActive(false);
    } catch (const EAppError &e) {
        UtilsClass::WriteLog(QStringLiteral("ShowLexicon: ") + e.message());
    }
}
