// The drivers installed at first use.
#include "SpeechPlatformInternal.h"

namespace sapi {

std::vector<std::shared_ptr<SpeechEngine>> loadDefaultEngines()
{
    return {};
}

}  // namespace sapi
