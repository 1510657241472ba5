// The engine registry: the drivers installed at first use, in installation
// order. A new engine is its driver's header below and one line in kDrivers.
#include "EspeakEngine.h"
#include "FliteEngine.h"
#include "SpeechDispatcherEngine.h"
#include "SpeechPlatformInternal.h"

namespace sapi {

namespace {

using Loader = std::shared_ptr<SpeechEngine> (*)();

template <class Driver>
std::shared_ptr<SpeechEngine> loadDriver()
{
    return Driver::load();
}

// eSpeak NG first: it holds the default voice.
constexpr Loader kDrivers[] = {
    loadDriver<EspeakEngine>,
    loadDriver<FliteEngine>,
    loadDriver<SpeechDispatcherEngine>,
};

}  // namespace

std::vector<std::shared_ptr<SpeechEngine>> loadDefaultEngines()
{
    std::vector<std::shared_ptr<SpeechEngine>> engines;
    for (const Loader load : kDrivers) {
        // A driver that does not load is simply left out.
        if (auto engine = load())
            engines.push_back(std::move(engine));
    }
    return engines;
}

}  // namespace sapi
