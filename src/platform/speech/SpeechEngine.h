#pragma once
// One engine driver (eSpeak NG, Flite, or a scripted engine in tests) as the
// speech platform sees it. The platform's enumerator and finder list the
// modes of every installed driver, in installation order.

#include "SpeechApi.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace sapi {

class SpeechEngine
{
public:
    virtual ~SpeechEngine() = default;

    // Every mode (voice) this driver offers; empty when it could not load.
    virtual std::vector<TTSMODEINFOW> modes() = 0;
    // The engine's own choice for an empty query, when it has one.
    virtual std::optional<GUID> defaultMode() { return std::nullopt; }
    // Binds a mode of this driver to an audio destination (an object from
    // CoCreateInstance, or a caller's own) and gives its central interface.
    virtual HRESULT select(const GUID &modeId, const UnknownPtr &audioDest,
                           std::shared_ptr<ITTSCentralW> &central) = 0;
};

// The installed drivers. The first call loads eSpeak NG and Flite; tests may
// replace the set (and, with installed = false, make the enumerator's
// creation fail as on a machine without the speech platform).
class SpeechPlatform
{
public:
    static std::vector<std::shared_ptr<SpeechEngine>> engines();
    static void setEngines(std::vector<std::shared_ptr<SpeechEngine>> engines, bool installed = true);
    static void restoreDefaultEngines();
    static bool installed();
};

// Start-up probes: the platform is there, an engine with voices is loaded,
// output and input devices exist.
struct SpeechProbe {
    bool speechInstalled = false;
    bool ttsInstalled = false;
    bool srInstalled = false;
    bool waveOutPresent = false;
    bool waveInPresent = false;
};
SpeechProbe probeSpeechPlatform();

// Device counts (the multimedia calls' stand-ins), from the audio layer.
uint32_t waveOutGetNumDevs();
uint32_t waveInGetNumDevs();

}  // namespace sapi
