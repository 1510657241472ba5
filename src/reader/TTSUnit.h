#pragma once
// TTTSForm: the reading driver. A window that is created at start-up and
// never shown; it owns the speech component, the voice catalogue and the
// text filter. It speaks one text at a time to the speakers and reports its
// end, and serves the catalogue, a voice's ranges, the audio device check
// and the pronunciation editor. Reading into files joins it later.

#include "reader/TTSFilter.h"
#include "speech/TTS.h"
#include "voices/TTSEngineUnit.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class TTTSForm : public QWidget
{
    Q_OBJECT
public:
    explicit TTTSForm(QWidget *parent = nullptr);
    ~TTTSForm() override;

    // Builds the voice catalogue from the installed engine modes.
    void Initialize();
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
    void ShowLexicon(QWidget *owner, const QString &title);

    void SetEngineEnabled(const QString &groupName, bool enabled);

    TTTS *TTS1 = nullptr;
    QTimer *Timer1 = nullptr;
    std::function<void(QObject *sender)> OnDone;
    uint8_t ReadingTarget = 2;
    bool Exiting = false;

    TVoiceCatalog &Catalog() { return *m_catalog; }
    TVoiceList &Voices() { return m_catalog->Voices; }
    TEngineList &Engines() { return m_catalog->Engines; }
    TTTSFilter &Filter() { return *m_filter; }

private:
    void AudioStopped();
    void Timer1Timer();

    std::unique_ptr<TVoiceCatalog> m_catalog;
    std::unique_ptr<TTTSFilter> m_filter;
};

extern TTTSForm *TTSForm;
