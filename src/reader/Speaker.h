#pragma once
// Speaker: the reading driver, created at start-up; it owns the speech
// component, the voice catalogue and the text filter. It speaks one text at
// a time to the speakers or into a WAV file and reports its end (OnDone),
// and serves the catalogue, a voice's ranges, the audio device check and
// the pronunciation editor.

#include "reader/TTSFilter.h"
#include "speech/TTS.h"
#include "voices/TTSEngineUnit.h"

#include <QStringList>
#include <QTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

class Speaker : public QObject
{
    Q_OBJECT
public:
    explicit Speaker(TPreferences &prefs, QObject *parent = nullptr);
    ~Speaker() override;

    // Builds the voice catalogue from the installed engine modes; voices
    // that arrive later (a speech service answering late) are added and
    // announced by VoicesAdded.
    void Initialize();
    // Waits up to ms for voices still to come and adds them (the command
    // line, which has no later to wait for).
    void AwaitLateVoices(int ms);
    // After the settings were read again: the stored default voice, the
    // engines' flags and the voices' favourites, pitch and speed.
    void LoadVoicePrefs();
    void SaveVoicePrefs();

    TVoiceEntry *FindVoice(const QString &name) const;
    TVoiceEntry *FindHelpVoice() const;

    // Speaks the text to the audio device with the named voice. True when
    // the text was queued: OnDone follows half a second after its audio ends.
    // Every refusal is shown to the user once.
    bool Play(const QString &text, const QString &voiceName);

    // Reading into a WAV file: deactivates, switches to file output and
    // activates with the voice. False (told to the user) when it cannot.
    // shownName is the file messages name in fileName's place (the name the
    // user will see when fileName is a temporary file).
    bool PlayToFileInit(const QString &voiceName, const QString &fileName, const QString &shownName = {});
    // Filters the text for that voice's engine and speaks it into the open
    // file; OnDone follows when it is written. A voice not in the catalogue
    // filters for the engine the file was opened with.
    bool SpeakToFile(const QString &voiceName, const QString &text);
    // Ends the current output: deactivating finishes a WAV file. Throws the
    // component's error (a full disk) in words, naming the file.
    void FinishOutput();

    // Forgets a completion still waiting in the half-second timer: a Stop
    // just after an article ended must not start the next one.
    void CancelDone();
    // Never fail visibly; failures are logged.
    void PauseAudio();
    void ResumeAudio();

    // Live pitch or speed change of the voice being spoken; otherwise the
    // new value applies at the next Play.
    void ApplyPitch(TVoiceEntry *voice);
    void ApplySpeed(TVoiceEntry *voice);

    // Queries a voice's pitch and speed ranges and defaults from its engine;
    // a pitch or speed the user never chose takes the engine's default.
    void LoadVoiceDefaults(TVoiceEntry *voice);

    // Activates the speech component on the given device to see whether it
    // can speak there; tells the user when it cannot.
    bool CheckAudioDevice(int32_t deviceId);

    // The pronunciation editor, owned by the given window; does nothing
    // while a text is being read.
    void ShowLexicon(sapi::HWND owner, const QString &title);

    void SetEngineEnabled(const QString &groupName, bool enabled);

    TTTS *TTS1() const { return m_tts; }
    QTimer *Timer1() const { return m_timer; }
    // The output target of the current reading: 2 speakers, 0 one file,
    // 1 one file per article.
    uint8_t ReadingTarget() const { return m_readingTarget; }
    void SetReadingTarget(uint8_t target) { m_readingTarget = target; }
    bool Exiting() const { return m_exiting; }
    void SetExiting() { m_exiting = true; }

    TVoiceCatalog &Catalog() { return *m_catalog; }
    TVoiceList &Voices() { return m_catalog->Voices; }
    TEngineList &Engines() { return m_catalog->Engines; }
    TTTSFilter &Filter() { return *m_filter; }

signals:
    // Voices came after the catalogue was built.
    void VoicesAdded();
    // Half a second after the audio of the text given last has ended (not
    // after a pause); an audio reset (Stop, Skip) ends it too.
    void OnDone(Speaker *sender);

private:
    void AudioStopped();
    void ReportDone();
    // The sound card check before speaking; false when the reading must not
    // go on. A file is written without any sound output.
    bool CheckSoundCard(bool forFile);
    // Gives the component the device of the settings where it has another.
    void UseChosenDevice();
    // Selects the voice's mode, activates it and gives it the voice's pitch
    // and speed; false when the engine did not become active. Throws the
    // component's errors.
    bool ActivateVoice(TVoiceEntry *voice);
    TVoiceEntry *FileVoice() const;
    // The named voice; for a voice of a speech service that is not running
    // now (as for any voice that is gone), standIn; else nullptr.
    TVoiceEntry *ServiceStandIn(const QString &voiceName, TVoiceEntry *standIn) const;
    // A failure while reading into a file: the file destination's own words
    // for it, naming the file shown to the user, rather than a result code.
    QString FileErrorText(const EAppError &e) const;

    TTTS *m_tts = nullptr;
    QTimer *m_timer = nullptr;
    uint8_t m_readingTarget = 2;
    bool m_exiting = false;
    // The voice a file was opened with: its engine filters later texts whose
    // own voice is unknown.
    QString m_fileVoice;
    QString m_shownFileName;
    // Voices that cannot write files and whose stand-in was already named.
    QStringList m_fileFallbackNoted;
    QMetaObject::Connection m_lateVoices;

    TPreferences &m_prefs;

    std::unique_ptr<TVoiceCatalog> m_catalog;
    std::unique_ptr<TTTSFilter> m_filter;
};
