#include "LameUnit.h"

#include "DiagnosticLog.h"


#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <vector>

namespace {

// The most samples handed to LAME in one call (its counts are int).
constexpr size_t kMaxCallSamples = 1 << 20;
// LAME's worst case for a call: 1.25 x samples + 7200 bytes.
constexpr int kFlushBufferBytes = 7200;
constexpr int kQualityNormal = 5;
// The Info frame's tag: "Info", flags, counts, table of contents and quality
// (120 bytes), then LAME's 36.
constexpr int kInfoTagBytes = 156;
constexpr int kOwnInfoKbps = 64;

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

// CRC-16 as the LAME tag computes it (polynomial 0x8005, reflected, from 0);
// crc carries on a CRC over earlier bytes.
uint16_t lameCrc(uint16_t crc, const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= uint8_t(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

uint32_t readBig32(const QByteArray &b, qsizetype at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}

void writeBig(QByteArray &b, qsizetype at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = char(value >> (8 * (bytes - 1 - i)));
}

// Bytes of the MPEG audio layer III frame whose header starts at data, or 0
// when there is none.
int frameBytes(const unsigned char *h)
{
    static const int mpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int mpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static const int rates[3] = {44100, 48000, 32000};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1)
        return 0;
    const int version = (h[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int rateIndex = (h[2] >> 2) & 3;
    const int kbps = (version == 3 ? mpeg1 : mpeg2)[h[2] >> 4];
    if (version == 1 || rateIndex == 3 || kbps == 0)
        return 0;
    const int rate = rates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    return (version == 3 ? 144 : 72) * kbps * 1000 / rate + ((h[2] >> 1) & 1);
}

qint64 countFrames(const QByteArray &frames)
{
    const auto *data = reinterpret_cast<const unsigned char *>(frames.constData());
    qint64 count = 0;
    for (qsizetype at = 0; at + 4 <= frames.size(); ++count) {
        const int size = frameBytes(data + at);
        if (size <= 0)
            break;
        at += size;
    }
    return count;
}

// The Info frame of a stream made to count the frames of a second stream
// (tail) that follow its own: frame and byte counts, the table of contents
// (linear, as for any constant bit rate), the music length and both CRCs.
// False when the frame is not laid out as LAME writes it.
bool JoinInfoFrame(QByteArray &frame, const QByteArray &tail)
{
    qsizetype at = frame.indexOf("Info");
    if (at < 0 || at > 40)
        return false;
    at += 4;
    const uint32_t flags = readBig32(frame, at);
    at += 4;
    if (!(flags & 1) || !(flags & 2) || frame.size() < at + 120 + 36)
        return false;
    writeBig(frame, at, uint32_t(readBig32(frame, at) + countFrames(tail)), 4);
    writeBig(frame, at + 4, uint32_t(readBig32(frame, at + 4) + tail.size()), 4);
    at += 8;
    if (flags & 4) {
        for (int i = 0; i < 100; ++i)
            frame[at + i] = char(i * 256 / 100);
        at += 100;
    }
    if (flags & 8)
        at += 4;
    if (frame.size() < at + 36 || !frame.mid(at, 4).startsWith("LAME"))
        return false;
    writeBig(frame, at + 28, uint32_t(readBig32(frame, at + 28) + tail.size()), 4);
    const uint16_t music = uint16_t(uint8_t(frame[at + 32]) << 8 | uint8_t(frame[at + 33]));
    writeBig(frame, at + 32, lameCrc(music, tail.constData(), tail.size()), 2);
    writeBig(frame, at + 34, lameCrc(0, frame.constData(), at + 34), 2);
    return true;
}

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

int TMp3Encoder::Init(int inputSampleRate, int bitRate, bool infoFrame)
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
    lame_set_bWriteVbrTag(g, infoFrame ? 1 : 0);
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

int TMp3Encoder::OwnInfoFrameBytes() const
{
    if (!m_lame || !lame_get_bWriteVbrTag(m_lame))
        return 0;
    // LAME puts its tag in a frame of the stream's own bit rate, and leaves
    // it out where that frame is too small for it (below 56 kbit/s): such a
    // stream gets a 64 kbit/s frame of ours.
    const int rate = lame_get_out_samplerate(m_lame);
    const bool mpeg1 = rate >= 32000;
    const int sideInfo = mpeg1 ? 17 : 9;
    const int ownRate = (mpeg1 ? 144 : 72) * m_preset.BitRate * 1000 / rate;
    if (ownRate >= 4 + sideInfo + kInfoTagBytes)
        return 0;
    return (mpeg1 ? 144 : 72) * kOwnInfoKbps * 1000 / rate;
}

QByteArray TMp3Encoder::OwnInfoFrame(const QByteArray &firstHeader, qint64 bytes, uint16_t musicCrc) const
{
    const int size = OwnInfoFrameBytes();
    if (size <= 0 || firstHeader.size() < 4)
        return QByteArray();
    QByteArray frame(size, '\0');
    const bool mpeg1 = lame_get_out_samplerate(m_lame) >= 32000;
    // The stream's own header at 64 kbit/s (index 5 of MPEG-1's table, 8 of
    // MPEG-2's), without padding.
    frame[0] = firstHeader[0];
    frame[1] = firstHeader[1];
    frame[2] = char(((mpeg1 ? 5 : 8) << 4) | (uint8_t(firstHeader[2]) & 0x0D));
    frame[3] = firstHeader[3];
    qsizetype at = 4 + (mpeg1 ? 17 : 9);
    frame.replace(at, 4, "Info");
    writeBig(frame, at + 4, 0x0F, 4);  // frames, bytes, table of contents, quality
    writeBig(frame, at + 8, uint32_t(lame_get_frameNum(m_lame)), 4);
    writeBig(frame, at + 12, uint32_t(bytes), 4);
    for (int i = 0; i < 100; ++i)
        frame[at + 16 + i] = char(i * 256 / 100);
    writeBig(frame, at + 116, uint32_t(100 - 10 * kQualityNormal), 4);
    at += 120;
    const QByteArray version = QByteArray("LAME") + get_lame_short_version();
    frame.replace(at, 9, version.leftJustified(9, ' ', true));
    frame[at + 9] = 0x01;  // tag revision 0, constant bit rate
    frame[at + 10] = char(std::min(255, lame_get_lowpassfreq(m_lame) / 100));
    frame[at + 20] = char(std::min(255, m_preset.BitRate));
    const int delay = std::clamp(lame_get_encoder_delay(m_lame), 0, 4095);
    const int padding = std::clamp(lame_get_encoder_padding(m_lame), 0, 4095);
    writeBig(frame, at + 21, uint32_t(delay << 12 | padding), 3);
    writeBig(frame, at + 28, uint32_t(bytes), 4);
    writeBig(frame, at + 32, musicCrc, 2);
    writeBig(frame, at + 34, lameCrc(0, frame.constData(), at + 34), 2);
    return frame;
}

QByteArray TMp3Encoder::InfoFrame() const
{
    if (!m_lame || !lame_get_bWriteVbrTag(m_lame))
        return QByteArray();
    QByteArray frame(kFlushBufferBytes, '\0');
    const size_t size = lame_get_lametag_frame(m_lame, reinterpret_cast<unsigned char *>(frame.data()),
                                               size_t(frame.size()));
    frame.resize(size <= size_t(frame.size()) ? qsizetype(size) : 0);
    return frame;
}

int TMp3Encoder::JoinGapSamples() const
{
    return m_lame ? lame_get_encoder_padding(m_lame) + lame_get_encoder_delay(m_lame) : 0;
}

int TMp3Encoder::Frames() const
{
    return m_lame ? lame_get_frameNum(m_lame) : 0;
}

void TMp3Encoder::Close()
{
    if (m_lame) {
        lame_close(m_lame);
        m_lame = nullptr;
    }
}

// ---- TMp3FileWriter ----

TMp3FileWriter::TMp3FileWriter(int bitRate) : m_bitRate(bitRate) {}

TMp3FileWriter::~TMp3FileWriter()
{
    Abort();
}

bool TMp3FileWriter::IsOpen() const
{
    return m_file != nullptr;
}

bool TMp3FileWriter::writeOut()
{
    if (m_firstHeader.isEmpty() && m_out.size() >= 4)
        m_firstHeader = m_out.left(4);
    m_musicCrc = lameCrc(m_musicCrc, m_out.constData(), m_out.size());
    m_written += m_out.size();
    // Unbuffered, so that a full disk is seen at the chunk that hit it.
    const bool ok = m_file->Write(m_out.constData(), m_out.size());
    m_out.clear();
    return ok;
}

TMp3Result TMp3FileWriter::Open(const QString &mp3File, int inputSampleRate, OutputPlacement placement)
{
    Abort();
    m_placement = placement;
    m_inputRate = inputSampleRate;
    m_samples = 0;
    m_file = std::make_unique<PendingFile>(mp3File);
    if (!m_file->Create())
        return fail(m_file->ErrorString());
    if (const int r = m_encoder.Init(inputSampleRate, m_bitRate); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::OpenStream) + QString::number(r));
    m_firstHeader.clear();
    m_musicCrc = 0;
    m_written = 0;
    // Room for the Info frame that LAME leaves out at this bit rate.
    if (const int own = m_encoder.OwnInfoFrameBytes(); own > 0) {
        const QByteArray room(own, '\0');
        if (!m_file->Write(room.constData(), room.size()))
            return fail(m_file->ErrorString());
        m_written = own;
    }
    return {};
}

TMp3Result TMp3FileWriter::Write(std::span<const int16_t> samples)
{
    if (!m_file)
        return TMp3Result::Fail(QStringLiteral("No MP3 file is open"));
    if (const int r = m_encoder.Encode(samples, m_out); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::EncodeChunk) + QString::number(r));
    m_samples += qint64(samples.size());
    if (!m_out.isEmpty() && !writeOut())
        return fail(m_file->ErrorString());
    return {};
}

std::unique_ptr<SoundStream> TMp3FileWriter::NewTailStream(int inputSampleRate, QString *error) const
{
    auto stream = std::make_unique<TMp3Encoder>();
    if (const int r = stream->Init(inputSampleRate, m_bitRate, false); r != 0) {
        if (error)
            *error = QString::fromLatin1(Mp3Messages::OpenStream) + QString::number(r);
        return nullptr;
    }
    return stream;
}

TMp3Result TMp3FileWriter::Finish(const QByteArray &tail)
{
    if (!m_file)
        return TMp3Result::Fail(QStringLiteral("No MP3 file is open"));
    if (const int r = m_encoder.Flush(m_out); r != 0)
        return fail(QString::fromLatin1(Mp3Messages::ExitStream) + QString::number(r));
    QByteArray info = m_encoder.InfoFrame();
    const int own = m_encoder.OwnInfoFrameBytes();
    if (own > 0) {
        if (!m_out.isEmpty() && !writeOut())
            return fail(m_file->ErrorString());
        info = m_encoder.OwnInfoFrame(m_firstHeader, m_written, m_musicCrc);
    }
    m_joinGapUs = 0;
    if (!tail.isEmpty() && m_encoder.OutputSampleRate() > 0)
        m_joinGapUs = qint64(m_encoder.JoinGapSamples()) * 1'000'000 / m_encoder.OutputSampleRate();
    m_encoder.Close();
    m_out += tail;
    if (!m_out.isEmpty() && !writeOut())
        return fail(m_file->ErrorString());
    if (!tail.isEmpty() && !info.isEmpty() && !JoinInfoFrame(info, tail))
        info.clear();  // not LAME's layout: the frame stays a silent one
    if (!info.isEmpty() && !m_file->WriteAt(0, info.constData(), info.size()))
        return fail(m_file->ErrorString());
    const qint64 durationMs = m_inputRate > 0 ? m_samples * 1000 / m_inputRate : 0;
    if (const QString error = WriteMp3Tags(m_file->TempPath(), m_tags, durationMs, m_file->Target()); !error.isEmpty())
        return fail(error);
    return placeFinished(m_file, m_placement);
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
    TMp3FileWriter writer(bitRate);
    return ConvertWavFile(inputWav, writer, mp3File, progress, stopRequested, placement);
}
