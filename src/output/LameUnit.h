#pragma once
// MP3 conversion with the LAME encoder library.
//
// TMp3Encoder is the bare stream (16-bit mono PCM in, MP3 bytes out) set up
// for one of the six quality presets; TMp3FileWriter puts the stream into a
// file that appears under its real name only once it is complete (a
// PendingFile), so the
// reading pipeline can feed it while speech is still being synthesized;
// ConvertToMp3 is the loop that feeds a finished WAV file through it.
//
// The encoder is given the WAV's own sample rate and resamples to the
// preset's MP3 rate itself, so no resampled intermediate WAV is made.
//
// Not thread-safe: one object is used from one thread at a time. The
// progress and stop callbacks run on the thread that calls ConvertToMp3, so
// it can run on a worker thread with an atomic stop flag.

#include "PendingFile.h"
#include "SoundFileWriter.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

struct lame_global_struct;

// One quality preset of the options panel.
struct TMp3Preset {
    int BitRate;     // kbit/s, the BitRate preference
    int SampleRate;  // Hz of the MP3
};

const std::array<TMp3Preset, 6> &Mp3Presets();

// The preset of a BitRate value. A value outside the six presets (the
// preference file may hold anything) takes the nearest preset, the lower
// one when two are equally near.
TMp3Preset Mp3PresetFor(int bitRate);

// Percent shown by the progress gauges after position of size units:
// position * 100 / size + 0.5, taken to the nearest integer, halves to even
// (exact, no floating point). 100 when size is 0.
int Mp3ProgressPercent(qint64 position, qint64 size);

// Result texts the caller shows; the encoder's result code follows the
// "failed"/"stream" ones in decimal. A short read of the WAV gives
// TWaveReader::ReadErrorText ("Read Error"); a file that cannot be written
// is named with the cause in words.
namespace Mp3Messages {
inline constexpr const char *OpenStream = "Error opening encoding stream ";
inline constexpr const char *EncodeChunk = "beEncodeChunk failed ";
inline constexpr const char *ExitStream = "beExitStream failed ";
}  // namespace Mp3Messages

// The LAME stream. Settings of every preset: CBR at the preset's bit rate,
// output rate set to the preset's rate (which decides MPEG-1 or MPEG-2),
// mono, quality 5 ("normal"), copyright and original off, private bit on, no
// CRC, no emphasis. A stream that starts a file reserves its first frame for
// the Info header (frame count, encoder delay and padding), so that players
// show the exact duration and play it without a gap; a stream whose frames
// follow another's has none.
class TMp3Encoder : public SoundStream
{
public:
    TMp3Encoder();
    ~TMp3Encoder();
    TMp3Encoder(const TMp3Encoder &) = delete;
    TMp3Encoder &operator=(const TMp3Encoder &) = delete;

    // 0 on success, else the encoder's (negative) result code.
    int Init(int inputSampleRate, int bitRate, bool infoFrame = true);
    bool IsOpen() const { return m_lame != nullptr; }
    int OutputSampleRate() const;

    // Appends the MP3 bytes made from samples to out (possibly none: the
    // encoder holds back up to a frame). 0 or the encoder's negative code.
    int Encode(std::span<const int16_t> samples, QByteArray &out) override;
    // Appends the last frames; the stream takes no more samples after it.
    int Flush(QByteArray &out) override;
    // After Flush: the Info frame that replaces the stream's first frame;
    // empty for a stream without one.
    QByteArray InfoFrame() const;
    // Frames made so far.
    int Frames() const;
    // The samples (at the output rate) a second stream's sound starts later
    // than this stream's sound ends, when the two are joined: this stream's
    // padding and the second one's encoder delay, the same as this one's.
    int JoinGapSamples() const;
    // Bytes of the Info frame the writer puts first itself where LAME has no
    // room for its own (bit rates below 56 kbit/s); 0 where LAME writes it.
    int OwnInfoFrameBytes() const;
    // After Flush: that frame, for a stream of bytes bytes (the frame
    // included) whose first frame has the header firstHeader, its frames
    // after the Info frame having musicCrc.
    QByteArray OwnInfoFrame(const QByteArray &firstHeader, qint64 bytes, uint16_t musicCrc) const;
    // Frees the stream; Init may be called again.
    void Close();

private:
    lame_global_struct *m_lame = nullptr;
    TMp3Preset m_preset{};
};

// An MP3 file being written. The bytes go to a temporary file beside the
// target, put under the target's name by Finish as placement says, with its
// Info frame and its tags written; Abort, a failure, or destroying an
// unfinished writer removes it, and an older file under the target name
// stays untouched.
class TMp3FileWriter : public SoundFileWriter
{
public:
    explicit TMp3FileWriter(int bitRate = 32);
    ~TMp3FileWriter() override;
    TMp3FileWriter(const TMp3FileWriter &) = delete;
    TMp3FileWriter &operator=(const TMp3FileWriter &) = delete;

    TMp3Result Open(const QString &mp3File, int inputSampleRate,
                    OutputPlacement placement = OutputPlacement::Replace) override;
    // 16-bit mono samples at the input rate given to Open.
    TMp3Result Write(std::span<const int16_t> samples) override;
    // Flushes the encoder and puts the file in place; tail (the MP3 frames of
    // a second stream that encoded the rest, from NewTailStream) follows this
    // stream's frames, and the Info frame counts them too.
    TMp3Result Finish(const QByteArray &tail = {}) override;
    qint64 JoinGapUs() const override { return m_joinGapUs; }
    void Abort() override;
    bool IsOpen() const override;
    std::unique_ptr<SoundStream> NewTailStream(int inputSampleRate, QString *error) const override;

    const TMp3Encoder &Encoder() const { return m_encoder; }

private:
    bool writeOut();

    int m_bitRate;
    TMp3Encoder m_encoder;
    std::unique_ptr<PendingFile> m_file;
    OutputPlacement m_placement = OutputPlacement::Replace;
    QByteArray m_out;
    int m_inputRate = 0;
    qint64 m_samples = 0;  // given to Write
    // For an Info frame of ours: the first audio frame's header, the CRC of
    // the audio frames and the bytes of the file so far.
    QByteArray m_firstHeader;
    uint16_t m_musicCrc = 0;
    qint64 m_joinGapUs = 0;
    qint64 m_written = 0;
};

// Encodes the sound data of a PCM WAV file (8/16-bit, mono/stereo) into
// mp3File at the preset of bitRate. progress gets the percent done (0 first,
// then after every chunk); stopRequested is asked after every chunk and,
// when it says yes, the conversion ends with Stopped and no MP3 file. On any
// failure no MP3 file is left either (an older one of that name stays).
// Traces the start and every failure to the diagnostic log; shows nothing.
TMp3Result ConvertToMp3(const QString &inputWav, const QString &mp3File, int bitRate,
                        const std::function<void(int)> &progress = {}, const std::function<bool()> &stopRequested = {},
                        OutputPlacement placement = OutputPlacement::Replace);
