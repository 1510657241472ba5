#include "ScriptedAudioSystem.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace audio {

using Clock = std::chrono::steady_clock;

QByteArray ScriptedStreamRecord::bytes() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_bytes;
}

namespace {

// The state of one scripted stream. The drain thread holds it too, so a
// callback may destroy the stream without pulling the state from under it.
struct StreamCore {
    std::shared_ptr<ScriptedStreamRecord> record;
    double rate = 1.0;
    int64_t queueLimitUs = 200000;
    int64_t bytesPerSecond = 44100;

    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool paused = false;
    uint64_t generation = 0;
    int64_t baseUs = 0;
    int64_t segmentBytes = 0;
    int64_t playedUs = 0;
    Clock::time_point lastTick = Clock::now();
    struct Drain {
        int64_t untilUs;
        std::function<void()> onStopped;
    };
    std::vector<Drain> drains;

    int64_t writtenUsLocked() const { return baseUs + segmentBytes * 1000000 / bytesPerSecond; }

    void advanceLocked()
    {
        const Clock::time_point now = Clock::now();
        if (!paused) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - lastTick).count();
            playedUs = std::min(writtenUsLocked(), playedUs + int64_t(double(elapsed) * rate));
        }
        lastTick = now;
    }
};

// Calls each drain's callback once the clock has played up to it.
void runDrains(std::shared_ptr<StreamCore> core)
{
    std::unique_lock<std::mutex> lock(core->mutex);
    while (!core->stop) {
        core->advanceLocked();
        std::vector<std::function<void()>> due;
        for (auto it = core->drains.begin(); it != core->drains.end();) {
            if (core->playedUs >= it->untilUs) {
                due.push_back(std::move(it->onStopped));
                it = core->drains.erase(it);
            } else {
                ++it;
            }
        }
        if (!due.empty()) {
            lock.unlock();
            for (auto &callback : due)
                if (callback)
                    callback();
            lock.lock();
            continue;
        }
        core->wake.wait_for(lock, std::chrono::milliseconds(2));
    }
}

}  // namespace

// Plays nothing; the played position follows a clock while not paused and
// never passes what was written. Same timeline as the real backend: after a
// reset the next byte is heard at the position where the reset happened.
class ScriptedPlaybackStream : public PlaybackStream
{
public:
    ScriptedPlaybackStream(std::shared_ptr<ScriptedStreamRecord> record, const PcmFormat &format, double rate,
                           int64_t queueLimitUs)
        : m_core(std::make_shared<StreamCore>())
    {
        m_core->record = std::move(record);
        m_core->rate = rate;
        m_core->queueLimitUs = queueLimitUs;
        m_core->bytesPerSecond = int64_t(format.sampleRate) * format.channels * 2;
    }

    ~ScriptedPlaybackStream() override
    {
        {
            std::lock_guard<std::mutex> guard(m_core->mutex);
            m_core->stop = true;
            m_core->drains.clear();
            ++m_core->generation;
            m_core->wake.notify_all();
        }
        if (m_worker.joinable()) {
            // Destroyed from a drain callback: the thread ends by itself.
            if (m_worker.get_id() == std::this_thread::get_id())
                m_worker.detach();
            else
                m_worker.join();
        }
    }

    bool write(const void *data, size_t bytes) override
    {
        StreamCore &c = *m_core;
        std::unique_lock<std::mutex> lock(c.mutex);
        const uint64_t generation = c.generation;
        const char *p = static_cast<const char *>(data);
        while (bytes > 0) {
            if (c.stop || generation != c.generation)
                return false;
            c.advanceLocked();
            const int64_t room = c.queueLimitUs - (c.writtenUsLocked() - c.playedUs);
            if (room <= 0) {
                c.wake.wait_for(lock, std::chrono::milliseconds(2));
                continue;
            }
            size_t chunk = std::min(bytes, size_t(std::max<int64_t>(2, room * c.bytesPerSecond / 1000000)));
            {
                std::lock_guard<std::mutex> guard(c.record->m_mutex);
                c.record->m_bytes.append(p, qsizetype(chunk));
            }
            c.segmentBytes += int64_t(chunk);
            p += chunk;
            bytes -= chunk;
        }
        return true;
    }

    void pause() override
    {
        std::lock_guard<std::mutex> guard(m_core->mutex);
        m_core->advanceLocked();
        m_core->paused = true;
    }

    void resume() override
    {
        std::lock_guard<std::mutex> guard(m_core->mutex);
        m_core->advanceLocked();
        m_core->paused = false;
        m_core->wake.notify_all();
    }

    void reset() override
    {
        std::lock_guard<std::mutex> guard(m_core->mutex);
        StreamCore &c = *m_core;
        c.advanceLocked();
        ++c.generation;
        c.baseUs = c.playedUs;
        c.segmentBytes = 0;
        c.drains.clear();  // a reset cancels pending drains, as on a real server
        c.wake.notify_all();
    }

    void drain(std::function<void()> onStopped) override
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->drains.push_back({m_core->writtenUsLocked(), std::move(onStopped)});
        if (!m_worker.joinable())
            m_worker = std::thread(runDrains, m_core);
        m_core->wake.notify_all();
    }

    int64_t playedUs() const override
    {
        std::lock_guard<std::mutex> guard(m_core->mutex);
        m_core->advanceLocked();
        return m_core->playedUs;
    }

    int64_t writtenUs() const override
    {
        std::lock_guard<std::mutex> guard(m_core->mutex);
        return m_core->writtenUsLocked();
    }

    QString lastError() const override { return {}; }  // a scripted stream never fails

private:
    std::shared_ptr<StreamCore> m_core;
    std::thread m_worker;
};

WaveOutCaps ScriptedAudioSystem::makeCaps(const QString &name, int channels)
{
    WaveOutCaps caps;
    caps.szPname = name;
    caps.wChannels = uint16_t(channels);
    caps.dwFormats = 0xFFF;
    caps.dwSupport = WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE | (channels > 1 ? uint32_t(WAVECAPS_LRVOLUME) : 0u);
    return caps;
}

ScriptedDevice *ScriptedAudioSystem::deviceLocked(int device)
{
    const int index = device == -1 ? 0 : device;
    if (index < 0 || size_t(index) >= m_devices.size())
        return nullptr;
    return &m_devices[size_t(index)];
}

int ScriptedAudioSystem::outputDeviceCount()
{
    return locked([&] { return m_reachable ? int(m_devices.size()) : 0; });
}

int ScriptedAudioSystem::inputDeviceCount()
{
    return locked([&] { return m_reachable ? 1 : 0; });
}

bool ScriptedAudioSystem::outputCaps(int device, WaveOutCaps &caps)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const ScriptedDevice *d = deviceLocked(device);
    if (!m_reachable || !d)
        return false;
    caps = d->caps;
    return true;
}

DeviceCheck ScriptedAudioSystem::checkDevice(int device, QString *error)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto fail = [error](DeviceCheck result, const QString &text) {
        if (error)
            *error = text;
        return result;
    };
    if (!m_reachable)
        return fail(DeviceCheck::Failed, QStringLiteral("The audio server cannot be reached."));
    const ScriptedDevice *d = deviceLocked(device);
    if (!d)
        return fail(DeviceCheck::Failed, QStringLiteral("There is no audio output device number %1.").arg(device));
    if (d->busy)
        return fail(DeviceCheck::Busy, QStringLiteral("The audio device is in use."));
    if (d->openFails)
        return fail(DeviceCheck::Failed, QStringLiteral("The audio device cannot be opened."));
    return DeviceCheck::Free;
}

bool ScriptedAudioSystem::testOpen(int device, QString *error)
{
    return checkDevice(device, error) == DeviceCheck::Free;
}

std::unique_ptr<PlaybackStream> ScriptedAudioSystem::openPlayback(int device, const PcmFormat &format, QString *error)
{
    if (checkDevice(device, error) != DeviceCheck::Free)
        return nullptr;
    auto record = std::make_shared<ScriptedStreamRecord>();
    record->m_device = device;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_records.push_back(record);
    return std::make_unique<ScriptedPlaybackStream>(record, format, m_rate, m_queueLimitUs);
}

}  // namespace audio
