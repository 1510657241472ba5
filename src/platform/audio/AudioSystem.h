#pragma once
// The audio layer: output devices, their capabilities and playback streams.
// The real backend talks to a PulseAudio or PipeWire server through libpulse;
// tests may install a scripted backend with setAudioSystem().
//
// Device numbers follow the wave-out convention: -1 is the server's default
// sink (the "wave mapper"), 0 and up are the sinks sorted by sink name.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace audio {

// Wave-out format bits (the twelve classic formats).
enum : uint32_t {
    WAVE_FORMAT_1M08 = 0x00000001,
    WAVE_FORMAT_1S08 = 0x00000002,
    WAVE_FORMAT_1M16 = 0x00000004,
    WAVE_FORMAT_1S16 = 0x00000008,
    WAVE_FORMAT_2M08 = 0x00000010,
    WAVE_FORMAT_2S08 = 0x00000020,
    WAVE_FORMAT_2M16 = 0x00000040,
    WAVE_FORMAT_2S16 = 0x00000080,
    WAVE_FORMAT_4M08 = 0x00000100,
    WAVE_FORMAT_4S08 = 0x00000200,
    WAVE_FORMAT_4M16 = 0x00000400,
    WAVE_FORMAT_4S16 = 0x00000800,
};

// Wave-out support bits.
enum : uint32_t {
    WAVECAPS_PITCH = 0x0001,
    WAVECAPS_PLAYBACKRATE = 0x0002,
    WAVECAPS_VOLUME = 0x0004,
    WAVECAPS_LRVOLUME = 0x0008,
    WAVECAPS_SYNC = 0x0010,
    WAVECAPS_SAMPLEACCURATE = 0x0020,
};

struct WaveOutCaps {
    uint16_t wMid = 0;            // vendor id, from the sink's properties where present
    uint16_t wPid = 0;            // product id, likewise
    uint32_t vDriverVersion = 0;  // high byte major, low byte minor
    QString szPname;              // the sink's description (its name when it has none), whole
    uint32_t dwFormats = 0;
    uint16_t wChannels = 0;
    uint32_t dwSupport = 0;
};

struct PcmFormat {
    int sampleRate = 22050;
    int channels = 1;  // samples are signed 16-bit little endian
};

// One playback stream on one sink. Used from one producer thread (write) and
// the main thread (pause/resume/reset/positions); every call is thread safe.
class PlaybackStream
{
public:
    virtual ~PlaybackStream() = default;

    // Queues PCM bytes. Blocks while too much audio is queued ahead of the
    // played position (about 100 ms, longer while paused), so a producer
    // stays just ahead of the listener. Returns false on a stream error or
    // when reset() was called during the wait (the rest is then dropped).
    // A trailing odd byte is kept until the next write completes its frame.
    // Playback starts, and starts again after running dry, once 20 ms are
    // queued; drain() plays out whatever is left.
    virtual bool write(const void *data, size_t bytes) = 0;

    virtual void pause() = 0;   // cork: audio and played position stop
    virtual void resume() = 0;  // uncork
    // Drops every queued byte at once and cancels pending drains (their
    // callbacks are never called). The played position stays where it was
    // heard and the next byte written is heard from there: writtenUs() falls
    // back to playedUs(). A blocked write() returns false. A paused stream
    // stays paused.
    virtual void reset() = 0;
    // Calls onStopped once everything written so far has been played, or at
    // once when the stream has failed. It runs on a callback thread of the
    // audio layer, never under its locks: it may call into the stream or
    // destroy it. Keep it short (post to the main thread).
    virtual void drain(std::function<void()> onStopped) = 0;

    // Both positions are on one timeline, in microseconds since the stream
    // opened, not counting audio dropped by reset().
    // What has been heard so far: never ahead of writtenUs(), never going
    // backwards, frozen while paused.
    virtual int64_t playedUs() const = 0;
    // Where the next byte written will be heard. A producer notes this
    // before writing a word's audio; the word is heard once playedUs()
    // reaches the noted value.
    virtual int64_t writtenUs() const = 0;

    virtual QString lastError() const = 0;
};

// What the busy check found.
enum class DeviceCheck { Free, Busy, Failed };

class AudioSystem
{
public:
    virtual ~AudioSystem() = default;

    // Number of output devices (sinks); 0 when the server cannot be reached.
    virtual int outputDeviceCount() = 0;
    // Number of input devices (sources that are not monitors).
    virtual int inputDeviceCount() = 0;
    // Capabilities of device -1 .. count-1; false when there is no such device.
    virtual bool outputCaps(int device, WaveOutCaps &caps) = 0;
    // Opens a real stream on the device and closes it again: the busy check.
    // False (with a message) when the server or the sink cannot be reached.
    virtual bool testOpen(int device, QString *error) = 0;
    // The same check, telling a device in use by another program (Busy, the
    // wave-out "already allocated") from any other failure. A sound server
    // never refuses a second stream, so only a scripted system says Busy.
    virtual DeviceCheck checkDevice(int device, QString *error)
    {
        return testOpen(device, error) ? DeviceCheck::Free : DeviceCheck::Failed;
    }
    // Opens a playback stream; nullptr (with a message) on failure.
    virtual std::unique_ptr<PlaybackStream> openPlayback(int device, const PcmFormat &format, QString *error) = 0;
};

// The process-wide audio system: the libpulse backend unless replaced.
AudioSystem &audioSystem();
// Replaces the process-wide audio system (tests); nullptr restores the default.
void setAudioSystem(std::unique_ptr<AudioSystem> system);

}  // namespace audio
