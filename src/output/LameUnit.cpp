#include "LameUnit.h"

#include "DiagnosticLog.h"
#include "WaveFile.h"


#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// Samples read and encoded per step: eight MPEG-1 frames, so progress and
// the stop request are seen a few times a second even on a slow machine.
constexpr qint64 kChunkFrames = 1152 * 8;
// The most samples handed to LAME in one call (its counts are int).
constexpr size_t kMaxCallSamples = 1 << 20;
// LAME's worst case for a call: 1.25 x samples + 7200 bytes.
constexpr int kFlushBufferBytes = 7200;
constexpr int kQualityNormal = 5;

const std::array<TMp3Preset, 6> kPresets = {{
    {16, 16000},
    {32, 22050},
    {40, 22050},
    {48, 22050},
    {56, 44100},
    {64, 44100},
}};

// LAME prints its complaints to stderr; the result codes say enough.
void quiet(const char *, va_list) {}

int outputBytesFor(size_t samples)
{
    return static_cast<int>(samples + samples / 4 + 1) + kFlushBufferBytes;
}

}  // namespace

const std::array<TMp3Preset, 6> &Mp3Presets()
{
    return kPresets;
}

TMp3Preset Mp3PresetFor(int bitRate)
{
    TMp3Preset best = kPresets.front();
    for (const TMp3Preset &p : kPresets) {
        if (std::abs(qint64(p.BitRate) - bitRate) < std::abs(qint64(best.BitRate) - bitRate))
            best = p;
    }
    return best;
}

int Mp3ProgressPercent(qint64 position, qint64 size)
{
    if (size <= 0)
        return 100;
    // (position * 100 / size + 0.5) as the fraction num / den.
    const qint64 num = position * 200 + size;
    const qint64 den = size * 2;
    qint64 q = num / den;
    const qint64 twice = (num % den) * 2;
    if (twice > den || (twice == den && (q & 1)))
        ++q;
    return static_cast<int>(q);
}

// ---- TMp3Encoder ----

TMp3Encoder::TMp3Encoder() = default;

TMp3Encoder::~TMp3Encoder()
{
    Close();
}

int TMp3Encoder::Init(int inputSampleRate, int bitRate)
{
    Close();
    m_preset = Mp3PresetFor(bitRate);
    if (inputSampleRate <= 0)
        return LAME_BADSAMPFREQ;
    lame_t g = lame_init();
    if (!g)
        return LAME_NOMEM;
    lame_set_errorf(g, quiet);
    lame_set_debugf(g, quiet);
    lame_set_msgf(g, quiet);
    lame_set_num_channels(g, 1);
    lame_set_in_samplerate(g, inputSampleRate);
    // Left to itself LAME picks 32 kHz for 48/56 kbit/s and 24 kHz for 40;
    // the preset's rate also decides MPEG-1 or MPEG-2, so none is forced.
    lame_set_out_samplerate(g, m_preset.SampleRate);
    lame_set_mode(g, MONO);
    lame_set_VBR(g, vbr_off);
    lame_set_brate(g, m_preset.BitRate);
    lame_set_quality(g, kQualityNormal);
    lame_set_bWriteVbrTag(g, 0);
    lame_set_copyright(g, 0);
    lame_set_original(g, 0);
    lame_set_extension(g, 1);
    lame_set_error_protection(g, 0);
    lame_set_emphasis(g, 0);
    lame_set_write_id3tag_automatic(g, 0);
    const int r = lame_init_params(g);
    if (r < 0) {
        lame_close(g);
        return r;
    }
    m_lame = g;
    return 0;
}

int TMp3Encoder::OutputSampleRate() const
{
    return m_lame ? lame_get_out_samplerate(m_lame) : 0;
}

int TMp3Encoder::Encode(std::span<const int16_t> samples, QByteArray &out)
{
    if (!m_lame)
        return LAME_GENERICERROR;
    while (!samples.empty()) {
        const size_t n = std::min(samples.size(), kMaxCallSamples);
        const qsizetype start = out.size();
        out.resize(start + outputBytesFor(n));
        auto *dest = reinterpret_cast<unsigned char *>(out.data() + start);
        // Mono: LAME reads only the left buffer.
        const int made = lame_encode_buffer(m_lame, samples.data(), samples.data(), static_cast<int>(n), dest,
                                            outputBytesFor(n));
        if (made < 0) {
            out.resize(start);
            return made;
        }
        out.resize(start + made);
        samples = samples.subspan(n);
    }
    return 0;
}

int TMp3Encoder::Flush(QByteArray &out)
{
    if (!m_lame)
        return LAME_GENERICERROR;
    const qsizetype start = out.size();
    out.resize(start + kFlushBufferBytes);
    const int made = lame_encode_flush(m_lame, reinterpret_cast<unsigned char *>(out.data() + start),
                                       kFlushBufferBytes);
    out.resize(start + std::max(made, 0));
    return made < 0 ? made : 0;
}

void TMp3Encoder::Close()
{
    if (m_lame) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
}

// ---- TMp3FileWriter ----

TMp3FileWriter::TMp3FileWriter() = default;

TMp3FileWriter::~TMp3FileWriter()
{
    Abort();
}

bool TMp3FileWriter::IsOpen() const
{
    return m_file != nullptr;
}

TMp3Result TMp3FileWriter::fail(QString message)
{
    DiagnosticLog::WriteLog(message);
    Abort();
    return TMp3Result::Fail(std::move(message));
}

bool TMp3FileWriter::writeOut()
{
    // Unbuffered, so that a full disk is seen at the chunk that hit it.
    const bool ok = m_file->Write(m_out.constData(), m_out.size());
    m_out.clear();
    return ok;
}

TMp3Result TMp3FileWriter::Open(const QString &mp3File, int inputSampleRate, int bitRate, OutputPlacement placement)
{
    Abort();
    m_placement = placement;
    m_file = std::make_unique<PendingFile>(mp3File);
    if (!m_file->Create())
        return fail(m_file->ErrorString());
    if (const int r = m_encoder.Init(inputSampleRate, bitRate); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::OpenStream) + QString::number(r));
    return {};
}

TMp3Result TMp3FileWriter::Write(std::span<const int16_t> samples)
{
    if (!m_file)
        return TMp3Result::Fail(QStringLiteral("No MP3 file is open"));
    if (const int r = m_encoder.Encode(samples, m_out); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::EncodeChunk) + QString::number(r));
    if (!m_out.isEmpty() && !writeOut())
        return fail(m_file->ErrorString());
    return {};
}

TMp3Result TMp3FileWriter::Finish(const QByteArray &tail)
{
    if (!m_file)
        return TMp3Result::Fail(QStringLiteral("No MP3 file is open"));
    if (const int r = m_encoder.Flush(m_out); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::ExitStream) + QString::number(r));
    m_encoder.Close();
    m_out += tail;
    if ((!m_out.isEmpty() && !writeOut()) || !m_file->Place(m_placement))
        return fail(m_file->ErrorString());
    TMp3Result done;
    done.File = m_file->Target();
    m_file.reset();
    return done;
}

void TMp3FileWriter::Abort()
{
    m_encoder.Close();
    m_out.clear();
    m_file.reset();  // an unplaced PendingFile removes its temporary file
}

// ---- ConvertToMp3 ----

TMp3Result ConvertToMp3(const QString &inputWav, const QString &mp3File, int bitRate,
                        const std::function<void(int)> &progress, const std::function<bool()> &stopRequested,
                        OutputPlacement placement)
{
    DiagnosticLog::WriteLog(QStringLiteral("Starting Lame MP3 conversion"));
    std::optional<TWaveReader> reader;
    try {
        reader.emplace(inputWav);
    } catch (const EWaveError &e) {
        DiagnosticLog::WriteLog(e.message());
        return TMp3Result::Fail(e.message());
    }

    TMp3FileWriter writer;
    const int inputRate = static_cast<int>(std::min<uint32_t>(reader->Layout().Format.SampleRate, INT32_MAX));
    if (TMp3Result r = writer.Open(mp3File, inputRate, bitRate, placement); !r.Ok())
        return r;

    const qint64 total = reader->Layout().Frames();
    std::vector<int16_t> chunk(kChunkFrames);
    if (progress)
        progress(0);
    try {
        while (const qint64 n = reader->ReadMono16(chunk.data(), kChunkFrames)) {
            if (TMp3Result r = writer.Write({chunk.data(), static_cast<size_t>(n)}); !r.Ok())
                return r;
            if (stopRequested && stopRequested()) {
                writer.Abort();
                DiagnosticLog::WriteLog(QStringLiteral("MP3 conversion stopped"));
                return {TMp3Result::Stopped, {}, {}};
            }
            if (progress)
                progress(Mp3ProgressPercent(reader->FramesRead(), total));
        }
    } catch (const EWaveError &e) {
        writer.Abort();
        DiagnosticLog::WriteLog(e.message());
        return TMp3Result::Fail(e.message());
    }
    return writer.Finish();
}
