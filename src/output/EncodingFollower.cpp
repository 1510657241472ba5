#include "EncodingFollower.h"

#include "LameUnit.h"

#include "DiagnosticLog.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <vector>

namespace {

// How long the follower waits for more speech before it looks again.
constexpr auto kPollInterval = std::chrono::milliseconds(30);
constexpr qint64 kChunkFrames = 1152 * 8;

}  // namespace

EncodingFollower::EncodingFollower() = default;

EncodingFollower::~EncodingFollower()
{
    Stop();
}

void EncodingFollower::Start(const QString &wavFile, const QString &mp3File, int bitRate, OutputPlacement placement)
{
    Start(wavFile, mp3File, std::make_unique<TMp3FileWriter>(bitRate), placement);
}

void EncodingFollower::Start(const QString &wavFile, const QString &file, std::unique_ptr<SoundFileWriter> writer,
                             OutputPlacement placement)
{
    Stop();
    m_wavFile = wavFile;
    m_file = file;
    m_writer = std::move(writer);
    m_placement = placement;
    m_complete = false;
    m_stop = false;
    m_progress = {};
    m_stopRequested = {};
    m_result = {};
    m_limit = std::numeric_limits<qint64>::max();
    m_split = false;
    m_join = {};
    m_tail.clear();
    m_tailStream.reset();
    m_tailResult = {};
    m_thread = std::thread([this] { Run(); });
}

bool EncodingFollower::Stopping() const
{
    std::lock_guard lock(m_mutex);
    return m_stop.load() || (m_stopRequested && m_stopRequested());
}

TMp3Result EncodingFollower::Finish(const std::function<void(int)> &progress,
                                    const std::function<bool()> &stopRequested, std::vector<TChapterMark> chapters)
{
    if (!m_writer)
        return TMp3Result::Fail(QStringLiteral("Nothing is being encoded"));
    if (!chapters.empty())
        m_writer->SetChapters(std::move(chapters));
    if (!m_thread.joinable())
        return ConvertWavFile(m_wavFile, *m_writer, m_file, progress, stopRequested, m_placement);

    {
        std::lock_guard lock(m_mutex);
        m_progress = progress;
        m_stopRequested = stopRequested;
        m_complete = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_second.joinable())
        m_second.join();
    if (!m_split || m_result.Status != TMp3Result::Done)
        return m_result;
    if (m_tailResult.Status != TMp3Result::Done) {
        m_writer->Abort();
        return m_tailResult;
    }
    if (Stopping()) {
        m_writer->Abort();
        return {TMp3Result::Stopped, {}, {}};
    }
    TMp3Result result = m_writer->Finish(m_tail);
    m_join.gapUs = m_writer->JoinGapUs();
    return result;
}

void EncodingFollower::Stop()
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
    if (m_second.joinable())
        m_second.join();
    if (m_writer)
        m_writer->Abort();
}

qint64 EncodingFollower::QuietestFrameNear(qint64 middle, qint64 from, qint64 to)
{
    const TWaveFormat &f = m_layout.Format;
    const qint64 frameBytes = f.BlockAlign;
    const qint64 reach = qint64(f.SampleRate) * 3;  // three seconds each way
    const qint64 window = std::max<qint64>(1, f.SampleRate / 50);
    const qint64 first = std::max(from, middle - reach * frameBytes);
    const qint64 last = std::min(to, middle + reach * frameBytes);
    const auto aligned = [&](qint64 at) {
        return m_layout.DataOffset + (at - m_layout.DataOffset) / frameBytes * frameBytes;
    };
    QFile file(m_wavFile);
    const qint64 frames = (last - first) / frameBytes;
    if (frames < 2 * window || !file.open(QIODevice::ReadOnly) || !file.seek(aligned(first)))
        return aligned(middle);
    QByteArray bytes = file.read(frames * frameBytes);
    std::vector<int16_t> samples(static_cast<size_t>(bytes.size() / frameBytes));
    ToMono16(bytes.constData(), qint64(samples.size()), f, samples.data());
    qint64 best = 0;
    int64_t bestEnergy = std::numeric_limits<int64_t>::max();
    for (qint64 at = 0; at + window <= qint64(samples.size()); at += window / 2) {
        int64_t energy = 0;
        for (qint64 i = at; i < at + window; ++i)
            energy += std::abs(int(samples[size_t(i)]));
        if (energy < bestEnergy) {
            bestEnergy = energy;
            best = at + window / 2;
        }
    }
    return aligned(first) + best * frameBytes;
}

void EncodingFollower::SplitTheRest(QFile &file, qint64 position)
{
    // Much left to encode: the second half goes to a stream of its own, cut
    // at the quietest moment near the middle.
    try {
        file.seek(0);
        const TWaveLayout finished = ReadWaveLayout(file, m_wavFile);
        const qint64 end = finished.DataOffset + finished.DataBytes;
        const qint64 rest = end - position;
        if (rest <= qint64(SplitSeconds) * m_layout.Format.AvgBytesPerSec)
            return;
        QString error;
        m_tailStream = m_writer->NewTailStream(int(m_layout.Format.SampleRate), &error);
        if (!m_tailStream) {
            // A format that cannot join two streams is encoded by one.
            if (!error.isEmpty())
                DiagnosticLog::WriteLog(error);
            return;
        }
        const qint64 split = QuietestFrameNear(position + rest / 2, position, end);
        m_limit = split;
        m_split = true;
        const TWaveFormat &f = m_layout.Format;
        m_join.atUs = f.AvgBytesPerSec > 0 ? (split - m_layout.DataOffset) * 1'000'000 / f.AvgBytesPerSec : 0;
        m_second = std::thread([this, split, end] { EncodeTail(split, end); });
    } catch (const EWaveError &) {
        // Read again below; a real fault is reported there.
    }
}

void EncodingFollower::EncodeTail(qint64 from, qint64 to)
{
    const TWaveFormat &f = m_layout.Format;
    SoundStream &encoder = *m_tailStream;
    QFile file(m_wavFile);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from)) {
        m_tailResult = TMp3Result::Fail(QString::fromLatin1(TWaveReader::ReadErrorText));
        return;
    }
    std::vector<int16_t> samples(static_cast<size_t>(kChunkFrames));
    for (qint64 at = from; at < to;) {
        if (Stopping()) {
            m_tailResult = {TMp3Result::Stopped, {}, {}};
            return;
        }
        const qint64 frames = std::min<qint64>((to - at) / f.BlockAlign, kChunkFrames);
        if (frames <= 0)
            break;
        const QByteArray bytes = file.read(frames * f.BlockAlign);
        if (bytes.size() != frames * f.BlockAlign) {
            m_tailResult = TMp3Result::Fail(QString::fromLatin1(TWaveReader::ReadErrorText));
            return;
        }
        ToMono16(bytes.constData(), frames, f, samples.data());
        if (const int r = encoder.Encode({samples.data(), size_t(frames)}, m_tail); r != 0) {
            m_tailResult = TMp3Result::Fail(QString::fromLatin1(Mp3Messages::EncodeChunk) + QString::number(r));
            return;
        }
        at += frames * f.BlockAlign;
    }
    if (const int r = encoder.Flush(m_tail); r != 0)
        m_tailResult = TMp3Result::Fail(QString::fromLatin1(Mp3Messages::ExitStream) + QString::number(r));
}

void EncodingFollower::Run()
{
    const auto waitForMore = [this] {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, kPollInterval, [this] { return m_complete || m_stop.load(); });
        return m_complete;
    };

    // The header first: until it is there, nothing is known of the sound.
    QFile file(m_wavFile);
    for (;;) {
        const bool complete = waitForMore();
        if (m_stop)
            return;
        try {
            if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
                throw EWaveError(QStringLiteral("Cannot open \"%1\"").arg(m_wavFile));
            m_layout = ReadWaveLayout(file, m_wavFile);
            if (!m_layout.Format.IsConvertible())
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

    if (TMp3Result r = m_writer->Open(m_file, int(m_layout.Format.SampleRate), m_placement); !r.Ok()) {
        m_result = r;
        return;
    }
    const int frameBytes = m_layout.Format.BlockAlign;
    std::vector<char> bytes(static_cast<size_t>(kChunkFrames * frameBytes));
    std::vector<int16_t> samples(static_cast<size_t>(kChunkFrames));
    qint64 position = m_layout.DataOffset;
    qint64 restStart = -1;  // where the data stood when the WAV was complete
    bool complete = false;
    for (;;) {
        if (Stopping()) {
            m_writer->Abort();
            m_result = {TMp3Result::Stopped, {}, {}};
            return;
        }
        // The speech may end while this stream is still behind it.
        if (!complete) {
            std::lock_guard lock(m_mutex);
            complete = m_complete;
        }
        if (complete && restStart < 0) {
            restStart = position;
            SplitTheRest(file, position);
        }
        // Whole frames up to the file's current end (the header's size field
        // is only right once the file is complete), or up to where a second
        // stream takes over.
        qint64 end = QFileInfo(m_wavFile).size();
        if (complete) {
            try {
                file.seek(0);
                const TWaveLayout finished = ReadWaveLayout(file, m_wavFile);
                end = finished.DataOffset + finished.DataBytes;
            } catch (const EWaveError &) {
            }
        }
        end = std::min(end, m_limit.load());
        const qint64 available = (end - position) / frameBytes;
        if (available <= 0) {
            if (complete)
                break;
            complete = waitForMore();
            continue;
        }
        const qint64 frames = std::min<qint64>(available, kChunkFrames);
        if (!file.seek(position) || file.read(bytes.data(), frames * frameBytes) != frames * frameBytes) {
            m_writer->Abort();
            m_result = TMp3Result::Fail(QString::fromLatin1(TWaveReader::ReadErrorText));
            return;
        }
        position += frames * frameBytes;
        ToMono16(bytes.data(), frames, m_layout.Format, samples.data());
        if (TMp3Result r = m_writer->Write({samples.data(), size_t(frames)}); !r.Ok()) {
            m_result = r;
            return;
        }
        if (complete) {
            std::lock_guard lock(m_mutex);
            if (m_progress && end > restStart)
                m_progress(Mp3ProgressPercent(position - restStart, end - restStart));
        }
    }
    // A split is finished by Finish, once the second stream is done too.
    m_result = m_split ? TMp3Result{} : m_writer->Finish();
}
