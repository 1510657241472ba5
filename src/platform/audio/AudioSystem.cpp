#include "AudioSystem.h"

#include "PulseAudioSystem.h"

#include <mutex>

namespace audio {

namespace {
std::mutex g_mutex;
std::unique_ptr<AudioSystem> g_system;
}  // namespace

AudioSystem &audioSystem()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    // Cheap to make: it connects to the server on first use.
    if (!g_system)
        g_system = std::make_unique<PulseAudioSystem>();
    return *g_system;
}

void setAudioSystem(std::unique_ptr<AudioSystem> system)
{
    std::lock_guard<std::mutex> guard(g_mutex);
    g_system = std::move(system);
}

}  // namespace audio
