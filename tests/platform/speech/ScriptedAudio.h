#pragma once
// An audio system for tests that need no sound server: streams "play" in
// real time by the clock, and a flag makes the server unreachable.

#include "AudioSystem.h"

#include <atomic>
#include <memory>

namespace testaudio {

struct ScriptedAudioState {
    std::atomic<bool> reachable{true};
    std::atomic<int> outputs{2};
    std::atomic<int> inputs{1};
    std::atomic<int> opened{0};
};

// Installs a scripted audio system process-wide; the state stays valid until
// the next install or restore.
std::shared_ptr<ScriptedAudioState> installScriptedAudio();
void restoreAudio();

}  // namespace testaudio
