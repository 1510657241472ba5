// The drivers installed at first use: eSpeak NG first (it holds the default
// voice), then Flite. A driver that does not load is simply left out.
#include "EspeakEngine.h"
#include "FliteEngine.h"
#include "SpeechPlatformInternal.h"

namespace sapi {

std::vector<std::shared_ptr<SpeechEngine>> loadDefaultEngines()
{
    std::vector<std::shared_ptr<SpeechEngine>> engines;
    if (auto espeak = EspeakEngine::load())
        engines.push_back(espeak);
    if (auto flite = FliteEngine::load())
        engines.push_back(flite);
    return engines;
}

}  // namespace sapi
