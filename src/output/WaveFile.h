#pragma once
// Reading RIFF WAVE files: the format chunk, where the sound data lies, and
// the sound data as 16-bit mono samples for the MP3 encoder.
//
// The chunks are walked one by one: unknown chunks (LIST, fact, ...) are
// skipped, odd-sized chunks are followed by their pad byte. A data chunk
// whose size field is 0, 0xFFFFFFFF, at the 4 GB limit, or larger than the
// file runs to the end of the file: the speech component writes 0 there
// until the file is finished, so a WAV left by a crash still converts.
//
// Contract: every failure (cannot open, not RIFF WAVE, no format or data
// chunk, not PCM, truncated read) throws EWaveError with a message for the
// user. Nothing here shows anything.

#include "AppError.h"

#include <QFile>
#include <QString>

#include <cstdint>

class EWaveError : public EAppError
{
public:
    using EAppError::EAppError;
};

// The format chunk's PCM fields.
struct TWaveFormat {
    uint16_t FormatTag = 0;  // 1: PCM (WAVE_FORMAT_EXTENSIBLE with a PCM sub-format reads as 1)
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;  // bytes per frame
    uint16_t BitsPerSample = 0;

    // 8- or 16-bit, mono or stereo PCM: what ToMono16 converts.
    bool IsConvertible() const;
};

struct TWaveLayout {
    TWaveFormat Format;
    qint64 DataOffset = 0;  // file offset of the first sound byte
    qint64 DataBytes = 0;   // whole frames only; a partial last frame is left out
    qint64 Frames() const { return Format.BlockAlign ? DataBytes / Format.BlockAlign : 0; }
};

// Reads the layout of an open file (from its start). Throws EWaveError;
// fileName only names the file in messages.
TWaveLayout ReadWaveLayout(QFile &file, const QString &fileName);
TWaveLayout ReadWaveLayout(const QString &fileName);

// The sample rate in the format chunk of a PCM WAV file. Throws EWaveError
// when the file cannot be read or is not a PCM WAV file.
int GetWaveSampleRate(const QString &fileName);

// Converts frames of a convertible format to 16-bit mono: 16-bit mono as it
// is; 16-bit stereo as the average of the two channels, rounded down; 8-bit
// value x as (x - 128) * 256, stereo 8-bit averaged (rounded down) first.
// data holds frames * format.BlockAlign bytes; out receives frames samples.
void ToMono16(const char *data, qint64 frames, const TWaveFormat &format, int16_t *out);

// Reads a WAV file's sound data from start to end as 16-bit mono samples.
class TWaveReader
{
public:
    // Opens the file and reads its layout; throws EWaveError, also when the
    // format is PCM but not convertible.
    explicit TWaveReader(const QString &fileName);

    const TWaveLayout &Layout() const { return m_layout; }
    qint64 FramesRead() const { return m_framesRead; }

    // Reads up to maxFrames frames into out (room for maxFrames samples);
    // returns the number read, 0 at the end. Throws EWaveError("Read Error")
    // when the file yields less than its layout promised.
    qint64 ReadMono16(int16_t *out, qint64 maxFrames);

    static constexpr const char *ReadErrorText = "Read Error";

private:
    QString m_fileName;
    QFile m_file;
    TWaveLayout m_layout;
    qint64 m_framesRead = 0;
    QByteArray m_raw;
};
