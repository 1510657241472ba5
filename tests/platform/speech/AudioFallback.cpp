// Used only while the audio layer's library is not part of the build: a
// process-wide audio system slot with no server behind it.
#include "AudioSystem.h"

namespace audio {

namespace {

class NoServer : public AudioSystem
{
public:
    int outputDeviceCount() override { return 0; }
    int inputDeviceCount() override { return 0; }
    bool outputCaps(int, WaveOutCaps &) override { return false; }
    bool testOpen(int, QString *error) override
    {
        if (error)
            *error = QStringLiteral("No audio layer");
        return false;
    }
    std::unique_ptr<PlaybackStream> openPlayback(int, const PcmFormat &, QString *error) override
    {
        testOpen(-1, error);
        return nullptr;
    }
};

std::unique_ptr<AudioSystem> &slot()
{
    static std::unique_ptr<AudioSystem> s;
    return s;
}

}  // namespace

AudioSystem &audioSystem()
{
    if (!slot())
        slot() = std::make_unique<NoServer>();
    return *slot();
}

void setAudioSystem(std::unique_ptr<AudioSystem> system)
{
    slot() = std::move(system);
}

}  // namespace audio
