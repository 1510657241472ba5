#include "WaveFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The 14 bytes that follow the format tag in KSDATAFORMAT_SUBTYPE_PCM.
constexpr unsigned char kPcmSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                               0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A writer that ran past 4 GB leaves the size at its limit (0xFFFFFFFF - 36).
constexpr uint32_t kSaturatedDataSize = 0xFFFFFFFFu - 36;

uint16_t le16(const char *p)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}

uint32_t le32(const char *p)
{
    return uint32_t(le16(p)) | uint32_t(le16(p + 2)) << 16;
}

QString quoted(const QString &fileName)
{
    return QLatin1Char('"') + fileName + QLatin1Char('"');
}

bool readExactly(QFile &file, qint64 at, char *buffer, qint64 bytes)
{
    return file.seek(at) && file.read(buffer, bytes) == bytes;
}

TWaveFormat parseFormat(const char *p, uint32_t size, const QString &fileName)
{
    if (size < 16)
        throw EWaveError(quoted(fileName) + QStringLiteral(" has a damaged sound format"));
    TWaveFormat f;
    f.FormatTag = le16(p);
    f.Channels = le16(p + 2);
    f.SampleRate = le32(p + 4);
    f.AvgBytesPerSec = le32(p + 8);
    f.BlockAlign = le16(p + 12);
    f.BitsPerSample = le16(p + 14);
    if (f.FormatTag == kFormatExtensible && size >= 40 && le16(p + 16) >= 22 && le16(p + 24) == kFormatPcm &&
        std::memcmp(p + 26, kPcmSubtypeTail, sizeof kPcmSubtypeTail) == 0)
        f.FormatTag = kFormatPcm;
    if (f.FormatTag != kFormatPcm)
        throw EWaveError(quoted(fileName) + QStringLiteral(" is not PCM sound (format %1)").arg(f.FormatTag));
    if (f.Channels == 0 || f.SampleRate == 0 || f.BitsPerSample == 0 || f.BlockAlign == 0)
        throw EWaveError(quoted(fileName) + QStringLiteral(" has a damaged sound format"));
    return f;
}

}  // namespace

bool TWaveFormat::IsConvertible() const
{
    return FormatTag == kFormatPcm && (BitsPerSample == 8 || BitsPerSample == 16) && (Channels == 1 || Channels == 2) &&
           BlockAlign == Channels * BitsPerSample / 8;
}

TWaveLayout ReadWaveLayout(QFile &file, const QString &fileName)
{
    const qint64 fileSize = file.size();
    char riff[12];
    if (!readExactly(file, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        throw EWaveError(quoted(fileName) + QStringLiteral(" is not a WAV file"));

    // The RIFF size is not trusted: the speech component fixes it only when
    // the file is finished.
    TWaveLayout layout;
    bool haveFormat = false;
    bool haveData = false;
    qint64 pos = 12;
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        char head[8];
        if (!readExactly(file, pos, head, 8))
            break;
        const uint32_t size = le32(head + 4);
        const qint64 body = pos + 8;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            char fmt[40] = {};
            const qint64 want = std::min<qint64>(size, sizeof fmt);
            if (body + want > fileSize || !readExactly(file, body, fmt, want))
                break;
            layout.Format = parseFormat(fmt, static_cast<uint32_t>(want), fileName);
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            layout.DataOffset = body;
            const bool toEnd = size == 0 || size >= kSaturatedDataSize || body + size > fileSize;
            layout.DataBytes = toEnd ? fileSize - body : qint64(size);
            haveData = true;
            if (toEnd)
                break;
        }
        pos = body + qint64(size) + (size & 1);
    }
    if (!haveFormat)
        throw EWaveError(quoted(fileName) + QStringLiteral(" has no sound format"));
    if (!haveData)
        throw EWaveError(quoted(fileName) + QStringLiteral(" has no sound data"));
    layout.DataBytes -= layout.DataBytes % layout.Format.BlockAlign;
    return layout;
}

TWaveLayout ReadWaveLayout(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EWaveError(QStringLiteral("Cannot open file %1: %2").arg(quoted(fileName), file.errorString()));
    return ReadWaveLayout(file, fileName);
}

int GetWaveSampleRate(const QString &fileName)
{
    const uint32_t rate = ReadWaveLayout(fileName).Format.SampleRate;
    if (rate > uint32_t(INT32_MAX))
        throw EWaveError(quoted(fileName) + QStringLiteral(" has a damaged sound format"));
    return static_cast<int>(rate);
}

void ToMono16(const char *data, qint64 frames, const TWaveFormat &format, int16_t *out)
{
    const auto *u = reinterpret_cast<const unsigned char *>(data);
    const bool stereo = format.Channels == 2;
    if (format.BitsPerSample == 16) {
        for (qint64 i = 0; i < frames; ++i) {
            const auto *p = data + i * format.BlockAlign;
            int v = static_cast<int16_t>(le16(p));
            if (stereo)
                v = (v + static_cast<int16_t>(le16(p + 2))) >> 1;  // floor, also below zero
            out[i] = static_cast<int16_t>(v);
        }
    } else {
        for (qint64 i = 0; i < frames; ++i) {
            int x = stereo ? (u[2 * i] + u[2 * i + 1]) >> 1 : u[i];
            out[i] = static_cast<int16_t>((x - 128) * 256);
        }
    }
}

TWaveReader::TWaveReader(const QString &fileName) : m_fileName(fileName), m_file(fileName)
{
    if (!m_file.open(QIODevice::ReadOnly))
        throw EWaveError(QStringLiteral("Cannot open file %1: %2").arg(quoted(fileName), m_file.errorString()));
    m_layout = ReadWaveLayout(m_file, fileName);
    const TWaveFormat &f = m_layout.Format;
    if (!f.IsConvertible())
        throw EWaveError(quoted(fileName) +
                         QStringLiteral(" holds %1-bit sound with %2 channels; only 8- or 16-bit mono or stereo "
                                        "sound can be converted")
                             .arg(f.BitsPerSample)
                             .arg(f.Channels));
    if (!m_file.seek(m_layout.DataOffset))
        throw EWaveError(QString::fromLatin1(ReadErrorText));
}

qint64 TWaveReader::ReadMono16(int16_t *out, qint64 maxFrames)
{
    const qint64 frames = std::min(maxFrames, m_layout.Frames() - m_framesRead);
    if (frames <= 0)
        return 0;
    const qint64 bytes = frames * m_layout.Format.BlockAlign;
    m_raw.resize(bytes);
    if (m_file.read(m_raw.data(), bytes) != bytes)
        throw EWaveError(QString::fromLatin1(ReadErrorText));
    ToMono16(m_raw.constData(), frames, m_layout.Format, out);
    m_framesRead += frames;
    return frames;
}
