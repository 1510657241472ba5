#include "ScriptedAudioSystem.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>

namespace audio {

using Clock = std::chrono::steady_clock;

QByteArray ScriptedStreamRecord::bytes() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_bytes;
}

class ScriptedPlaybackStream;

struct ScriptedAudioSystem::Shared {
    std::mutex mutex;
    std::set<ScriptedPlaybackStream *> open;
};

// Plays nothing; the played position follows a clock while not paused and
// never passes what was written. Same timeline as the real backend: after a
// reset the next byte is heard at the position where the reset happened.
class ScriptedPlaybackStream : public PlaybackStream
{
public:
    ScriptedPlaybackStream(std::shared_ptr<ScriptedStreamRecord> record, std::shared_ptr<ScriptedAudioSystem::Shared> shared,
                           double rate, int64_t queueLimitUs)
        : m_record(std::move(record)), m_shared(std::move(shared)), m_rate(rate), m_queueLimitUs(queueLimitUs)
    {
        const PcmFormat f = m_record->format();
        m_bytesPerSecond = int64_t(f.sampleRate) * f.channels * 2;
        std::lock_guard<std::mutex> guard(m_shared->mutex);
        m_shared->open.insert(this);
    }

    ~ScriptedPlaybackStream() override
    {
        {
            std::lock_guard<std::mutex> guard(m_shared->mutex);
            m_shared->open.erase(this);
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_stop = true;
            m_drains.clear();
            ++m_generation;
        }
        m_wake.notify_all();
        if (m_worker.joinable())
            m_worker.join();
        m_record->m_closed = true;
    }

    bool write(const void *data, size_t bytes) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const uint64_t generation = m_generation;
        const char *p = static_cast<const char *>(data);
        while (bytes > 0) {
            if (m_failed || generation != m_generation)
                return false;
            advanceLocked();
            const int64_t room = m_queueLimitUs - (writtenUsLocked() - m_playedUs);
            if (room <= 0) {
                m_wake.wait_for(lock, std::chrono::milliseconds(2));
                continue;
            }
            size_t chunk = std::min(bytes, size_t(std::max<int64_t>(2, room * m_bytesPerSecond / 1000000)));
            {
                std::lock_guard<std::mutex> guard(m_record->m_mutex);
                m_record->m_bytes.append(p, qsizetype(chunk));
            }
            m_segmentBytes += int64_t(chunk);
            p += chunk;
            bytes -= chunk;
        }
        return !m_failed;
    }

    void pause() override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        advanceLocked();
        if (!m_paused)
            ++m_record->m_pauses;
        m_paused = true;
    }

    void resume() override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        advanceLocked();
        if (m_paused)
            ++m_record->m_resumes;
        m_paused = false;
        m_wake.notify_all();
    }

    void reset() override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            advanceLocked();
            ++m_record->m_resets;
            ++m_generation;
            m_baseUs = m_playedUs;
            m_segmentBytes = 0;
            m_drains.clear();  // a reset cancels pending drains, as on a real server
        }
        m_wake.notify_all();
    }

    void drain(std::function<void()> onStopped) override
    {
        ++m_record->m_drains;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_failed) {
            lock.unlock();
            if (onStopped)
                onStopped();
            return;
        }
        m_drains.push_back({writtenUsLocked(), std::move(onStopped)});
        if (!m_worker.joinable())
            m_worker = std::thread([this] { runDrains(); });
        m_wake.notify_all();
    }

    int64_t playedUs() const override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        advanceLocked();
        return m_playedUs;
    }

    int64_t writtenUs() const override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return writtenUsLocked();
    }

    QString lastError() const override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_error;
    }

    void fail(const QString &error)
    {
        std::vector<std::function<void()>> callbacks;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_failed = true;
            m_error = error;
            for (auto &d : m_drains)
                callbacks.push_back(std::move(d.onStopped));
            m_drains.clear();
        }
        m_wake.notify_all();
        for (auto &callback : callbacks)
            if (callback)
                callback();
    }

private:
    struct Drain {
        int64_t untilUs;
        std::function<void()> onStopped;
    };

    int64_t writtenUsLocked() const { return m_baseUs + m_segmentBytes * 1000000 / m_bytesPerSecond; }

    void advanceLocked() const
    {
        const Clock::time_point now = Clock::now();
        if (!m_paused && !m_failed) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - m_lastTick).count();
            m_playedUs = std::min(writtenUsLocked(), m_playedUs + int64_t(double(elapsed) * m_rate));
        }
        m_lastTick = now;
    }

    void runDrains()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            advanceLocked();
            std::vector<std::function<void()>> due;
            for (auto it = m_drains.begin(); it != m_drains.end();) {
                if (m_playedUs >= it->untilUs) {
                    due.push_back(std::move(it->onStopped));
                    it = m_drains.erase(it);
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
            m_wake.wait_for(lock, std::chrono::milliseconds(2));
        }
    }

    std::shared_ptr<ScriptedStreamRecord> m_record;
    std::shared_ptr<ScriptedAudioSystem::Shared> m_shared;
    const double m_rate;
    const int64_t m_queueLimitUs;
    int64_t m_bytesPerSecond = 44100;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_worker;
    bool m_stop = false;
    bool m_paused = false;
    bool m_failed = false;
    uint64_t m_generation = 0;
    int64_t m_baseUs = 0;
    int64_t m_segmentBytes = 0;
    mutable int64_t m_playedUs = 0;
    mutable Clock::time_point m_lastTick = Clock::now();
    QString m_error;
    std::vector<Drain> m_drains;
};

ScriptedAudioSystem::ScriptedAudioSystem() : m_shared(std::make_shared<Shared>())
{
    m_devices.push_back({makeCaps(QStringLiteral("Scripted Output"), 2)});
}

ScriptedAudioSystem::~ScriptedAudioSystem() = default;

WaveOutCaps ScriptedAudioSystem::makeCaps(const QString &name, int channels)
{
    WaveOutCaps caps;
    caps.szPname = name.left(31);
    caps.wChannels = uint16_t(channels);
    caps.dwFormats = 0xFFF;
    caps.dwSupport = WAVECAPS_VOLUME | WAVECAPS_SAMPLEACCURATE | (channels > 1 ? uint32_t(WAVECAPS_LRVOLUME) : 0u);
    return caps;
}

void ScriptedAudioSystem::setDevices(std::vector<ScriptedDevice> devices)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_devices = std::move(devices);
    m_defaultDevice = 0;
}

void ScriptedAudioSystem::setDefaultDevice(int index)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_defaultDevice = index;
}

void ScriptedAudioSystem::setInputDeviceCount(int count)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_inputDevices = count;
}

void ScriptedAudioSystem::setBusy(int device, bool busy)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const int index = device == -1 ? m_defaultDevice : device;
    if (index >= 0 && size_t(index) < m_devices.size())
        m_devices[size_t(index)].busy = busy;
}

void ScriptedAudioSystem::setServerReachable(bool reachable)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_reachable = reachable;
}

void ScriptedAudioSystem::setPlaybackRate(double rate)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_rate = rate > 0 ? rate : 1.0;
}

void ScriptedAudioSystem::setQueueLimitUs(int64_t us)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_queueLimitUs = std::max<int64_t>(us, 1000);
}

void ScriptedAudioSystem::failOpenStreams(const QString &error)
{
    std::vector<ScriptedPlaybackStream *> open;
    {
        std::lock_guard<std::mutex> guard(m_shared->mutex);
        open.assign(m_shared->open.begin(), m_shared->open.end());
        for (ScriptedPlaybackStream *stream : open)
            stream->fail(error);
    }
}

std::vector<std::shared_ptr<ScriptedStreamRecord>> ScriptedAudioSystem::streams() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_records;
}

int ScriptedAudioSystem::outputDeviceCount()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_reachable ? int(m_devices.size()) : 0;
}

int ScriptedAudioSystem::inputDeviceCount()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_reachable ? m_inputDevices : 0;
}

bool ScriptedAudioSystem::outputCaps(int device, WaveOutCaps &caps)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const int index = device == -1 ? m_defaultDevice : device;
    if (!m_reachable || index < 0 || size_t(index) >= m_devices.size() || m_devices[size_t(index)].capsFail)
        return false;
    caps = m_devices[size_t(index)].caps;
    return true;
}

bool ScriptedAudioSystem::checkOpen(int device, QString *error)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (!m_reachable)
        return fail(QString::fromLatin1(kUnreachableMessage));
    const int index = device == -1 ? m_defaultDevice : device;
    if (index < 0 || size_t(index) >= m_devices.size())
        return fail(m_devices.empty() ? QStringLiteral("There is no audio output device.")
                                      : QStringLiteral("There is no audio output device number %1.").arg(device));
    if (m_devices[size_t(index)].busy)
        return fail(QString::fromLatin1(kBusyMessage));
    return true;
}

bool ScriptedAudioSystem::testOpen(int device, QString *error)
{
    ++m_testOpenCalls;
    return checkOpen(device, error);
}

std::unique_ptr<PlaybackStream> ScriptedAudioSystem::openPlayback(int device, const PcmFormat &format, QString *error)
{
    if (format.sampleRate <= 0 || format.channels <= 0) {
        if (error)
            *error = QStringLiteral("The audio format %1 Hz, %2 channels is not supported.")
                         .arg(format.sampleRate)
                         .arg(format.channels);
        return nullptr;
    }
    if (!checkOpen(device, error))
        return nullptr;
    auto record = std::make_shared<ScriptedStreamRecord>();
    record->m_device = device;
    record->m_format = format;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_records.push_back(record);
    return std::make_unique<ScriptedPlaybackStream>(record, m_shared, m_rate, m_queueLimitUs);
}

}  // namespace audio
