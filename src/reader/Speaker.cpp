#include "Speaker.h"

#include "platform/audio/AudioSystem.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QCoreApplication>
#include <QFileInfo>


namespace {

const QString kLexiconActivationFailed = QStringLiteral("TTS Activation failed in Lexicon Dialog");
const QString kDeviceCheckFailed = QStringLiteral(
    "Audio device check failed. \rVerify that the device you have selected is a valid audio device\r\r"
    "Please contact Varnyx Support if you're having problems");
const QString kNoSoundOutput = QStringLiteral(
    "Voxtrella cannot read aloud: there is no sound output.\r\r%1\r\r"
    "Start the desktop's sound service or connect a sound device, then try again. Reading to files works "
    "without sound.");
const QString kLexiconEngineMissing = QStringLiteral(
    "eSpeak NG TTS Engine is not installed\r\rVoxtrella MP3 has detected that the eSpeak NG Text-To-Speech\r"
    "engine is not installed on your computer.  The engine must be\rinstalled for the pronunciation editor to "
    "work.\r\rPlease contact Varnyx Support for assistance.");
const QString kLexiconEngineDisabled = QStringLiteral(
    "eSpeak NG TTS Engine is not enabled\r\rVoxtrella MP3 has detected that you have disabled the eSpeak NG\r"
    "Text-To-Speech engine.  The engine must be enabled for the\rPronunciation Editor to work.\r\r"
    "Please select the Engines/Voices tab on the options panel and enable\rthe engine.");
// The desktop's speech service plays the sound itself: a file is read with another voice.
const QString kFileVoiceFallback = QStringLiteral(
    "The voice \"%1\" is spoken by the desktop's speech service, which plays the sound itself and cannot "
    "write files. Files are read with the voice \"%2\" instead.");
const QString kNoFileVoice = QStringLiteral(
    "The voice \"%1\" is spoken by the desktop's speech service, which plays the sound itself and cannot "
    "write files, and no other voice is installed that could.");
const QString kNoLexiconVoice =
    QStringLiteral("No eSpeak NG voice for English was found, so the pronunciation editor cannot be opened.");

// Runs work; a failure is logged and shown once, and gives false.
template <class Work>
bool ShownOnFailure(Work &&work)
{
    try {
        return work();
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(e.message());
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QString::fromUtf8(e.what()));
        MessageService::error(QString::fromUtf8(e.what()));
    }
    return false;
}

}  // namespace

Speaker::Speaker(TPreferences &prefs, QObject *parent)
    : QObject(parent), m_prefs(prefs), m_catalog(std::make_unique<TVoiceCatalog>()),
      m_filter(std::make_unique<TTTSFilter>())
{
    setObjectName(QStringLiteral("TTSForm"));
    m_tts = new TTTS(this);
    m_tts->setObjectName(QStringLiteral("TTS1"));
    m_tts->SetAudioDeviceID(m_prefs.TTS_AudioDeviceID);
    m_catalog->SetPreferences(&m_prefs);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(500);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &Speaker::ReportDone);
    connect(m_tts, &TTTS::OnAudioStop, this, [this] { AudioStopped(); });
}

Speaker::~Speaker() = default;

void Speaker::Initialize()
{
    m_catalog->Initialize();
    // Once, however often the catalogue is built.
    disconnect(m_lateVoices);
    m_lateVoices = connect(&sapi::PlatformEvents::instance(), &sapi::PlatformEvents::modesChanged, this, [this] {
        if (m_catalog->AddNewModes() > 0)
            emit VoicesAdded();
    });
}

void Speaker::AwaitLateVoices(int ms)
{
    sapi::SpeechPlatform::waitForModes(ms);
    if (m_catalog->AddNewModes() > 0)
        emit VoicesAdded();
}

void Speaker::LoadVoicePrefs()
{
    m_catalog->EnsureDefaultVoice();
    m_catalog->LoadVoicePrefs();
}

void Speaker::SaveVoicePrefs()
{
    m_catalog->SaveVoicePrefs();
}

TVoiceEntry *Speaker::FindVoice(const QString &name) const
{
    return m_catalog->FindVoice(name);
}

TVoiceEntry *Speaker::FindHelpVoice() const
{
    return m_catalog->FindHelpVoice();
}

void Speaker::SetEngineEnabled(const QString &groupName, bool enabled)
{
    m_catalog->SetEngineEnabled(groupName, enabled);
}

bool Speaker::Play(const QString &text, const QString &voiceName)
{
    try {
        m_tts->SetActive(false);
        m_tts->SetOutputDest(odAudioDevice);
        m_tts->SetOutputFile(QString());
    } catch (const EAppError &e) {
        MessageService::error(e.message());
        return false;
    }
    UseChosenDevice();
    TVoiceEntry *voice = ServiceStandIn(voiceName, FindVoice(m_prefs.TTS_DefaultVoiceName));

    // The sound card check comes first.
    if (!CheckSoundCard(false))
        return false;

    if (!voice) {
        MessageService::error(QStringLiteral("Voice ") + voiceName + QStringLiteral(" does not exist"));
        return false;
    }

    return ShownOnFailure([&] {
        if (!ActivateVoice(voice))
            throw EAppError(QStringLiteral("TTS Activation failed in Play"));
        const QString filtered = m_filter->FilterText(voice->Engine ? voice->Engine->Features : 0, text,
                                                      m_prefs.TTS_FilterSymbols);
        m_tts->Speak(filtered);
        return true;
    });
}

TVoiceEntry *Speaker::ServiceStandIn(const QString &voiceName, TVoiceEntry *standIn) const
{
    if (TVoiceEntry *voice = FindVoice(voiceName))
        return voice;
    if (!standIn || !m_catalog->IsAbsentServiceVoice(voiceName))
        return nullptr;
    DiagnosticLog::WriteLog(QStringLiteral("Voice ") + voiceName +
                            QStringLiteral(" of the speech service is not available; read with ") +
                            standIn->DisplayName);
    return standIn;
}

bool Speaker::ActivateVoice(TVoiceEntry *voice)
{
    // A pitch or speed never chosen stands for the engine's default.
    if (voice->Speed <= 0 || voice->Pitch <= 0)
        LoadVoiceDefaults(voice);
    m_tts->SetModeID(voice->ModeID);
    m_tts->SetActive(true);
    if (!m_tts->Active())
        return false;
    m_tts->SetPitch(static_cast<uint16_t>(voice->Pitch));
    m_tts->SetSpeed(static_cast<uint32_t>(voice->Speed));
    return true;
}

void Speaker::UseChosenDevice()
{
    // The component takes no device number while there are no devices, as
    // when the program started before the sound server.
    if (m_tts->AudioDeviceID() == m_prefs.TTS_AudioDeviceID)
        return;
    try {
        m_tts->SetAudioDeviceID(m_prefs.TTS_AudioDeviceID);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(QStringLiteral("Audio device %1 is gone: ").arg(m_prefs.TTS_AudioDeviceID) +
                                e.message());
    }
}

bool Speaker::CheckSoundCard(bool forFile)
{
    QString error;
    const audio::DeviceCheck check = audio::audioSystem().checkDevice(m_tts->AudioDeviceID(), &error);
    if (check == audio::DeviceCheck::Busy) {
        DiagnosticLog::WriteLog(QStringLiteral("Detected Sound Card Busy"));
        MessageService::error(QStringLiteral("Sound card is busy.  Wait and try again."));
        return false;
    }
    if (check == audio::DeviceCheck::Failed) {
        DiagnosticLog::WriteLog(QStringLiteral("Sound card check failed: ") + error);
        // With no sound output at all (no sound server, no device) going on
        // could only fail again, while a file needs no sound.
        if (audio::audioSystem().outputDeviceCount() <= 0) {
            if (!forFile)
                MessageService::error(kNoSoundOutput.arg(error));
            return forFile;
        }
        if (m_prefs.TTS_SoundCardCheckErr &&
            !MessageService::interaction().soundCardCheckFailed(m_prefs.TTS_SoundCardCheckErr))
            return false;
    }
    return true;
}

bool Speaker::PlayToFileInit(const QString &voiceName, const QString &fileName, const QString &shownName)
{
    m_shownFileName = shownName.isEmpty() ? fileName : shownName;
    try {
        m_tts->SetActive(false);
        m_tts->SetOutputDest(odFile);
        m_tts->SetOutputFile(fileName);
    } catch (const EAppError &e) {
        MessageService::error(e.message());
        return false;
    }
    TVoiceEntry *voice = ServiceStandIn(voiceName, m_catalog->FileVoiceFor(voiceName));
    if (!voice) {
        MessageService::error(QStringLiteral("Voice ") + voiceName + QStringLiteral(" does not exist"));
        return false;
    }
    if (!voice->WritesFiles()) {
        TVoiceEntry *standIn = m_catalog->FileVoiceFor(voiceName);
        if (!standIn) {
            MessageService::error(kNoFileVoice.arg(voice->DisplayName));
            return false;
        }
        // Said once per voice: a list of articles is one file each.
        if (!m_fileFallbackNoted.contains(voice->DisplayName)) {
            m_fileFallbackNoted << voice->DisplayName;
            DiagnosticLog::WriteLog(QStringLiteral("File voice ") + voice->DisplayName + QStringLiteral(" -> ") +
                                    standIn->DisplayName);
            MessageService::notice(kFileVoiceFallback.arg(voice->DisplayName, standIn->DisplayName));
        }
        voice = standIn;
    }
    // Made for file output too, as for reading aloud.
    if (!CheckSoundCard(true))
        return false;
    bool failed = true;
    if (ShownOnFailure([&] {
            const bool active = ActivateVoice(voice);
            failed = false;
            return active;
        })) {
        m_fileVoice = voice->DisplayName;
        return true;
    }
    if (failed)
        return false;
    const QString dir = QFileInfo(fileName).path().trimmed();
    if (dir.isEmpty())
        MessageService::error(QStringLiteral("Output Directory must be specified"));
    else if (QFileInfo(dir).isDir())
        MessageService::error(QStringLiteral("TTS Activation failed in PlayToFileInit"));
    else
        MessageService::error(QStringLiteral("Output Directory ") + dir + QStringLiteral(" is not valid"));
    return false;
}

TVoiceEntry *Speaker::FileVoice() const
{
    return FindVoice(m_fileVoice);
}

bool Speaker::SpeakToFile(const QString &voiceName, const QString &text)
{
    TVoiceEntry *voice = FindVoice(voiceName);
    if (!voice || !voice->WritesFiles())
        voice = FileVoice();
    try {
        const QString filtered = m_filter->FilterText(voice && voice->Engine ? voice->Engine->Features : 0, text,
                                                      m_prefs.TTS_FilterSymbols);
        m_tts->Speak(filtered);
    } catch (const EAppError &e) {
        const QString text = FileErrorText(e);
        DiagnosticLog::WriteLog(text);
        MessageService::error(text);
        return false;
    }
    return true;
}

QString Speaker::FileErrorText(const EAppError &e) const
{
    QString text = m_tts->OutputDest() == odFile ? m_tts->OutputError() : QString();
    if (text.isEmpty())
        return e.message();
    if (!m_shownFileName.isEmpty())
        text.replace(m_tts->OutputFile(), m_shownFileName);
    return text;
}

void Speaker::FinishOutput()
{
    m_fileVoice.clear();
    // The file destination ends with its reading, also when it failed: a
    // later activation (the next file, the pronunciation editor, the device
    // check) must not open the finished file again, which would empty it,
    // nor retry a file that could not be written.
    const auto endDestination = [this] {
        m_tts->SetOutputDest(odAudioDevice);
        m_tts->SetOutputFile(QString());
    };
    try {
        if (m_tts->Active())
            m_tts->SetActive(false);
    } catch (const EAppError &e) {
        const QString text = FileErrorText(e);  // the destination knows the cause; ask before it goes
        m_tts->Abandon();
        endDestination();
        throw EAppError(text, e.code());
    }
    endDestination();
}

void Speaker::CancelDone()
{
    m_timer->stop();
}

void Speaker::PauseAudio()
{
    try {
        m_tts->SetAudioPaused(true);
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("Pause Exception"));
    }
}

void Speaker::ResumeAudio()
{
    try {
        m_tts->SetAudioPaused(false);
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("Resume Exception"));
    }
}

void Speaker::AudioStopped()
{
    // A pause stops the audio too; only the real end is reported.
    if (!m_tts->AudioPaused())
        m_timer->start();
}

void Speaker::ReportDone()
{
    m_timer->stop();
    emit OnDone(this);
}

void Speaker::ApplyPitch(TVoiceEntry *voice)
{
    // The mode identifier tells the voice being spoken; mode names here are
    // not the voices' display names.
    if (voice && m_tts->Active() && m_tts->ModeID() == voice->ModeID)
        m_tts->Inject(QStringLiteral("\\Pit=%1\\").arg(voice->Pitch));
}

void Speaker::ApplySpeed(TVoiceEntry *voice)
{
    if (voice && m_tts->Active() && m_tts->ModeID() == voice->ModeID)
        m_tts->Inject(QStringLiteral("\\Spd=%1\\").arg(voice->Speed));
}

void Speaker::LoadVoiceDefaults(TVoiceEntry *voice)
{
    // The platform knows every voice's ranges; nothing is activated for them.
    if (voice && !TVoiceCatalog::LoadRanges(*voice))
        DiagnosticLog::WriteLog(QStringLiteral("No ranges for voice ") + voice->DisplayName);
}

bool Speaker::CheckAudioDevice(int32_t deviceId)
{
    const int32_t previous = m_tts->AudioDeviceID();
    bool active = false;
    try {
        m_tts->SetActive(false);
        m_tts->SetOutputDest(odAudioDevice);
        m_tts->SetAudioDeviceID(deviceId);
        m_tts->SetActive(true);
    } catch (const EAppError &e) {
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        MessageService::error(QStringLiteral("Audio Device check failed"));
    }
    active = m_tts->Active();
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
        m_tts->SetActive(false);
        m_tts->SetAudioDeviceID(previous);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(QStringLiteral("CheckAudioDevice: ") + e.message());
    }
    return active;
}

void Speaker::ShowLexicon(sapi::HWND owner, const QString &title)
{
    if (m_tts->Active())
        return;
    // Every language of the editor's engine is an engine entry of its own;
    // each reports that it has the pronunciation lexicon.
    const bool installed = Engines().LexiconEngine() != nullptr;
    bool otherEngines = false;
    for (int i = 0; i < Engines().Count(); ++i)
        otherEngines = otherEngines || !Engines().Items(i)->HasLexicon;
    if (!installed) {
        MessageService::error(kLexiconEngineMissing);
        return;
    }

    // The default voice when it is one of the engine's, else its first
    // English voice.
    TVoiceEntry *voice = FindVoice(m_prefs.TTS_DefaultVoiceName);
    if (!voice || !voice->Engine || !voice->Engine->HasLexicon) {
        voice = nullptr;
        for (int i = 0; i < Voices().Count() && !voice; ++i) {
            TVoiceEntry *v = Voices().Items(i);
            if (v->Engine && v->Engine->HasLexicon && LanguageCodeOf(v->Engine->LanguageID) == QLatin1String("eng"))
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
    if (otherEngines && m_prefs.ShowPronEditWarning) {
        MessageService::interaction().pronunciationEditorNote(m_prefs.ShowPronEditWarning);
    }

    try {
        if (voice->PitchMin == -1 || voice->Pitch <= 0 || voice->Speed <= 0)
            LoadVoiceDefaults(voice);
        // The editor's Test button speaks aloud, never into a file.
        m_tts->SetOutputDest(odAudioDevice);
        m_tts->SetModeID(voice->ModeID);
        m_tts->SetActive(true);
        if (!m_tts->Active()) {
            MessageService::error(kLexiconActivationFailed);
            return;
        }
        m_tts->SetPitch(static_cast<uint16_t>(voice->Pitch));
        m_tts->SetSpeed(static_cast<uint32_t>(voice->Speed));
        m_tts->ShowLexiconDlg(owner, title);
        m_tts->SetActive(false);
    } catch (const EAppError &e) {
        MessageService::error(e.message());
    } catch (const std::exception &e) {
        MessageService::error(QString::fromUtf8(e.what()));
    } catch (...) {
        MessageService::notice(kLexiconActivationFailed);
    }
    try {
        m_tts->SetActive(false);
    } catch (const EAppError &e) {
        DiagnosticLog::WriteLog(QStringLiteral("ShowLexicon: ") + e.message());
    }
}
