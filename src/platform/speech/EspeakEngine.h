#pragma once
// The eSpeak NG driver. eSpeak NG is one global instance that must never be
// called from two threads, so every call into it runs on one synthesis
// thread, and the process has at most one driver.

#include "SpeechEngine.h"

#include <QString>

namespace sapi {

class EspeakBackend;
class SynthesisThread;

class EspeakEngine : public SpeechEngine
{
public:
    // The process's driver; nullptr when eSpeak NG cannot start or has no voices.
    static std::shared_ptr<EspeakEngine> load();

    // The catalogue's facts, known without loading the engine: named per
    // language, with the pronunciation editor, favourites in the user's language.
    static EngineFacts engineFacts();

    EngineFacts facts() const override { return engineFacts(); }
    std::vector<TTSMODEINFOW> modes() override;
    std::optional<GUID> defaultMode() override;
    std::optional<ModeRanges> ranges(const GUID &modeId) override;
    HRESULT select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central) override;

    // The eSpeak NG voice name ("en-us+Andrea") behind a mode; empty when unknown.
    QString voiceName(const GUID &modeId) const;
    // Runs fn on the engine's thread and waits: the only way to call eSpeak NG
    // directly (the benchmark compares against the library alone).
    void runOnEngineThread(const std::function<void()> &fn);

private:
    EspeakEngine() = default;

    std::shared_ptr<SynthesisThread> m_thread;
    std::shared_ptr<EspeakBackend> m_backend;
    std::vector<TTSMODEINFOW> m_modes;
    std::optional<GUID> m_default;
};

// The Windows language identifier that eSpeak NG voices of a language code
// ("en-us", "fr-fr") are reported with; 0 when the catalogue has none.
uint16_t espeakLanguageId(const QString &code);

}  // namespace sapi
