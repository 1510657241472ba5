#include "ScriptedAudio.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace testaudio {

namespace {

using Clock = std::chrono::steady_clock;

class ScriptedStream : public audio::PlaybackStream
{
public:
    explicit ScriptedStream(const audio::PcmFormat &f) : m_bytesPerSecond(int64_t(f.sampleRate) * f.channels * 2) {}

    bool write(const void *, size_t bytes) override
    {
        std::unique_lock lock(m_mutex);
        const uint64_t resets = m_resets;
        m_writtenUs += int64_t(bytes) * 1000000 / m_bytesPerSecond;
        // Keep the writer at most 200 ms ahead of the listener.
        while (m_writtenUs - playedLocked() > 200000) {
            m_cv.wait_for(lock, std::chrono::milliseconds(5));
            if (m_resets != resets)
                return false;
        }
        return true;
    }
    void pause() override
    {
        std::lock_guard lock(m_mutex);
        m_base = playedLocked();
        m_paused = true;
    }
    void resume() override
    {
        std::lock_guard lock(m_mutex);
        m_paused = false;
        m_since = Clock::now();
    }
    void reset() override
    {
        std::lock_guard lock(m_mutex);
        m_base = playedLocked();
        m_since = Clock::now();
        m_writtenUs = m_base;
        ++m_resets;
        m_cv.notify_all();
    }
    void drain(std::function<void()> onStopped) override
    {
        std::thread([this, onStopped] {
            for (;;) {
                {
                    std::lock_guard lock(m_mutex);
                    if (playedLocked() >= m_writtenUs)
                        break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            onStopped();
        }).detach();
    }
    int64_t playedUs() const override
    {
        std::lock_guard lock(m_mutex);
        return playedLocked();
    }
    int64_t writtenUs() const override
    {
        std::lock_guard lock(m_mutex);
        return m_writtenUs;
    }
    QString lastError() const override { return {}; }

private:
    int64_t playedLocked() const
    {
        if (m_paused)
            return m_base;
        if (m_base >= m_writtenUs) {
            // Idle: the clock restarts when audio arrives.
            m_since = Clock::now();
            m_base = m_writtenUs;
            return m_base;
        }
        const int64_t elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_since).count();
        const int64_t played = std::min(m_writtenUs, m_base + elapsed);
        return played;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int64_t m_bytesPerSecond;
    int64_t m_writtenUs = 0;
    mutable int64_t m_base = 0;
    mutable Clock::time_point m_since = Clock::now();
    bool m_paused = false;
    uint64_t m_resets = 0;
};

class ScriptedSystem : public audio::AudioSystem
{
public:
    explicit ScriptedSystem(std::shared_ptr<ScriptedAudioState> s) : m_state(std::move(s)) {}
    int outputDeviceCount() override { return m_state->reachable ? m_state->outputs.load() : 0; }
    int inputDeviceCount() override { return m_state->reachable ? m_state->inputs.load() : 0; }
    bool outputCaps(int device, audio::WaveOutCaps &caps) override
    {
        if (!m_state->reachable || device < -1 || device >= m_state->outputs)
            return false;
        caps.szPname = QStringLiteral("Scripted %1").arg(device);
        caps.wChannels = 2;
        return true;
    }
    bool testOpen(int device, QString *error) override
    {
        if (m_state->reachable && device >= -1 && device < m_state->outputs)
            return true;
        if (error)
            *error = QStringLiteral("Connection refused");
        return false;
    }
    std::unique_ptr<audio::PlaybackStream> openPlayback(int device, const audio::PcmFormat &format,
                                                        QString *error) override
    {
        if (!testOpen(device, error))
            return nullptr;
        ++m_state->opened;
        return std::make_unique<ScriptedStream>(format);
    }

private:
    std::shared_ptr<ScriptedAudioState> m_state;
};

}  // namespace

std::shared_ptr<ScriptedAudioState> installScriptedAudio()
{
    auto state = std::make_shared<ScriptedAudioState>();
    audio::setAudioSystem(std::make_unique<ScriptedSystem>(state));
    return state;
}

void restoreAudio()
{
    audio::setAudioSystem(nullptr);
}

}  // namespace testaudio
