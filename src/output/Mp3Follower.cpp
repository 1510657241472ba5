#include "Mp3Follower.h"

#include "WaveFile.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <vector>

namespace {

// How long the follower waits for more speech before it looks again.
constexpr auto kPollInterval = std::chrono::milliseconds(30);
constexpr qint64 kChunkFrames = 1152 * 8;

}  // namespace

TMp3Follower::TMp3Follower() = default;

TMp3Follower::~TMp3Follower()
{
    Stop();
}

void TMp3Follower::Start(const QString &wavFile, const QString &mp3File, int bitRate)
{
    Stop();
    m_wavFile = wavFile;
    m_mp3File = mp3File;
    m_bitRate = bitRate;
    m_complete = false;
    m_stop = false;
    m_progress = {};
    m_stopRequested = {};
    m_result = {};
    m_thread = std::thread([this] { Run(); });
}

TMp3Result TMp3Follower::Finish(const std::function<void(int)> &progress, const std::function<bool()> &stopRequested)
{
    if (!m_thread.joinable())
        return ConvertToMp3(m_wavFile, m_mp3File, m_bitRate, progress, stopRequested);
    {
        std::lock_guard lock(m_mutex);
        m_progress = progress;
        m_stopRequested = stopRequested;
        m_complete = true;
    }
    m_wake.notify_all();
    m_thread.join();
    return m_result;
}

void TMp3Follower::Stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    {
        std::lock_guard lock(m_mutex);
        m_complete = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TMp3Follower::Run()
{
    const auto waitForMore = [this] {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, kPollInterval, [this] { return m_complete || m_stop.load(); });
        return m_complete;
    };
    const auto stopped = [this] {
        std::lock_guard lock(m_mutex);
        return m_stop.load() || (m_stopRequested && m_stopRequested());
    };

    // The header first: until it is there, nothing is known of the sound.
    QFile file(m_wavFile);
    TWaveLayout layout;
    for (;;) {
        const bool complete = waitForMore();
        if (m_stop)
            return;
        try {
            if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
                throw EWaveError(QStringLiteral("Cannot open \"%1\"").arg(m_wavFile));
            layout = ReadWaveLayout(file, m_wavFile);
            if (!layout.Format.IsConvertible())
                throw EWaveError(QStringLiteral("\"%1\" is not a WAV file that can be converted").arg(m_wavFile));
            break;
        } catch (const EWaveError &e) {
            if (complete) {
                m_result = TMp3Result::Fail(e.message());
                return;
            }
            file.close();
        }
    }

    TMp3FileWriter writer;
    if (TMp3Result r = writer.Open(m_mp3File, int(layout.Format.SampleRate), m_bitRate); !r.Ok()) {
        m_result = r;
        return;
    }
    const int frameBytes = layout.Format.BlockAlign;
    std::vector<char> bytes(static_cast<size_t>(kChunkFrames * frameBytes));
    std::vector<int16_t> samples(static_cast<size_t>(kChunkFrames));
    qint64 position = layout.DataOffset;
    qint64 restStart = -1;  // where the data stood when the WAV was complete
    bool complete = false;
    for (;;) {
        if (stopped()) {
            writer.Abort();
            m_result = {TMp3Result::Stopped, {}};
            return;
        }
        // Whole frames up to the file's current end (the header's size field
        // is only right once the file is complete).
        qint64 end = QFileInfo(m_wavFile).size();
        if (complete) {
            try {
                file.seek(0);
                const TWaveLayout finished = ReadWaveLayout(file, m_wavFile);
                end = finished.DataOffset + finished.DataBytes;
            } catch (const EWaveError &) {
            }
        }
        const qint64 available = (end - position) / frameBytes;
        if (available <= 0) {
            if (complete)
                break;
            complete = waitForMore();
            if (complete && restStart < 0)
                restStart = position;
            continue;
        }
        const qint64 frames = std::min<qint64>(available, kChunkFrames);
        if (!file.seek(position) || file.read(bytes.data(), frames * frameBytes) != frames * frameBytes) {
            writer.Abort();
            m_result = TMp3Result::Fail(QString::fromLatin1(TWaveReader::ReadErrorText));
            return;
        }
        position += frames * frameBytes;
        ToMono16(bytes.data(), frames, layout.Format, samples.data());
        if (TMp3Result r = writer.Write({samples.data(), size_t(frames)}); !r.Ok()) {
            m_result = r;
            return;
        }
        if (complete) {
            std::lock_guard lock(m_mutex);
            if (m_progress && end > restStart)
                m_progress(Mp3ProgressPercent(position - restStart, end - restStart));
        }
    }
    m_result = writer.Finish();
}
