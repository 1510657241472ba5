#pragma once
// The Flite driver: the US English voices Debian ships, synthesized one
// sentence at a time on the driver's own thread, streamed as they are made.

#include "SpeechEngine.h"

#include <QString>

#include <vector>

namespace sapi {

class FliteBackend;
class SynthesisThread;

class FliteEngine : public SpeechEngine
{
public:
    // The process's driver; nullptr when no Flite voice could be loaded.
    static std::shared_ptr<FliteEngine> load();

    // The catalogue's facts, known without loading the engine: one US
    // English engine, every voice a favourite.
    static EngineFacts engineFacts();

    EngineFacts facts() const override { return engineFacts(); }
    std::vector<TTSMODEINFOW> modes() override;
    std::optional<ModeRanges> ranges(const GUID &modeId) override;
    HRESULT select(const GUID &modeId, const UnknownPtr &audioDest, std::shared_ptr<ITTSCentralW> &central) override;

private:
    FliteEngine() = default;

    std::shared_ptr<SynthesisThread> m_thread;
    std::shared_ptr<FliteBackend> m_backend;
    std::vector<TTSMODEINFOW> m_modes;
};

// Flite reads ASCII only: accented letters lose their accents, other
// characters become blanks. map receives, for each output character, the
// UTF-16 index in text it came from.
QByteArray fliteTransliterate(const QString &text, std::vector<int> &map);

}  // namespace sapi
