#pragma once

#include "AudioSystem.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace audio {

// Writes in pieces of `chunk` bytes (all at once by default).
inline bool put(PlaybackStream &s, const QByteArray &pcm, qsizetype chunk = 0)
{
    chunk = chunk > 0 ? chunk : pcm.size();
    for (qsizetype at = 0; at < pcm.size(); at += chunk)
        if (!s.write(pcm.constData() + at, size_t(std::min(chunk, pcm.size() - at))))
            return false;
    return true;
}

// Drains and waits for the "audio stopped" callback.
inline bool drained(PlaybackStream &s, int timeoutMs)
{
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    s.drain([stopped] { *stopped = true; });
    return TestSupport::waitFor([&] { return stopped->load(); }, timeoutMs);
}

// Writes on a thread of its own, as synthesis does.
class Writer
{
public:
    Writer(PlaybackStream &s, QByteArray pcm, qsizetype chunk = 0)
        : m_stream(s), m_thread([this, pcm = std::move(pcm), chunk] {
              m_ok = put(m_stream, pcm, chunk);
              m_done = true;
          })
    {
    }
    ~Writer()
    {
        if (!m_done)
            m_stream.reset();  // a test that stopped early releases its writer
        m_thread.join();
    }
    // The write's result, once it has ended within the time given.
    std::optional<bool> result(int timeoutMs)
    {
        if (!TestSupport::waitFor([this] { return m_done.load(); }, timeoutMs))
            return std::nullopt;
        return m_ok.load();
    }

private:
    std::atomic<bool> m_ok{false}, m_done{false};
    PlaybackStream &m_stream;
    std::thread m_thread;
};

}  // namespace audio
