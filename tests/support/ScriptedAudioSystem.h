#pragma once
// A scripted audio system for tests: fake devices with chosen capabilities,
// busy, failing or unreachable devices, and playback streams that play nothing but
// advance their positions in real time (or faster, see setPlaybackRate), so
// code built on the audio layer can be tested without a sound server. It has
// one input device while the server is reachable.

#include "AudioSystem.h"

#include <QByteArray>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace audio {

struct ScriptedDevice {
    WaveOutCaps caps;
    bool busy = false;       // the busy check says Busy and opening fails
    bool openFails = false;  // the busy check says Failed and opening fails
};

// What one opened stream saw; stays readable after the stream is gone.
class ScriptedStreamRecord
{
public:
    int device() const { return m_device; }
    QByteArray bytes() const;  // everything written, dropped audio included

private:
    friend class ScriptedPlaybackStream;
    friend class ScriptedAudioSystem;
    int m_device = -1;
    mutable std::mutex m_mutex;
    QByteArray m_bytes;
};

class ScriptedAudioSystem : public AudioSystem
{
    template <class F>
    auto locked(F f) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return f();
    }

public:
    void setDevices(std::vector<ScriptedDevice> devices)
    {
        locked([&] { m_devices = std::move(devices); });
    }
    // -1 marks the default device, the first one.
    void setBusy(int device, bool busy)
    {
        locked([&] { setFlag(device, &ScriptedDevice::busy, busy); });
    }
    void setOpenFails(int device, bool fails)
    {
        locked([&] { setFlag(device, &ScriptedDevice::openFails, fails); });
    }
    // An unreachable server: no devices, every open fails.
    void setServerReachable(bool reachable)
    {
        locked([&] { m_reachable = reachable; });
    }
    // 2.0 plays twice as fast as real time, so long texts finish sooner.
    // Applies to streams opened afterwards, as does the queue limit.
    void setPlaybackRate(double rate)
    {
        locked([&] { m_rate = rate > 0 ? rate : 1.0; });
    }
    // How far write() may run ahead of the played position before it blocks
    // (200 ms unless set).
    void setQueueLimitUs(int64_t us)
    {
        locked([&] { m_queueLimitUs = std::max<int64_t>(us, 1000); });
    }

    std::vector<std::shared_ptr<ScriptedStreamRecord>> streams() const
    {
        return locked([&] { return m_records; });
    }

    int outputDeviceCount() override;
    int inputDeviceCount() override;
    bool outputCaps(int device, WaveOutCaps &caps) override;
    bool testOpen(int device, QString *error) override;
    DeviceCheck checkDevice(int device, QString *error) override;
    std::unique_ptr<PlaybackStream> openPlayback(int device, const PcmFormat &format, QString *error) override;

    // Capabilities of a plausible device, for building device lists.
    static WaveOutCaps makeCaps(const QString &name, int channels);

private:
    ScriptedDevice *deviceLocked(int device);
    void setFlag(int device, bool ScriptedDevice::*flag, bool on)
    {
        if (ScriptedDevice *d = deviceLocked(device))
            d->*flag = on;
    }

    mutable std::mutex m_mutex;
    // One stereo device, "Scripted Output", as the default.
    std::vector<ScriptedDevice> m_devices{{makeCaps(QStringLiteral("Scripted Output"), 2)}};
    bool m_reachable = true;
    double m_rate = 1.0;
    int64_t m_queueLimitUs = 200000;
    std::vector<std::shared_ptr<ScriptedStreamRecord>> m_records;
};

}  // namespace audio
