#pragma once
// Opus output through libopusenc: an Ogg Opus file, mono, at one of the
// speech-sized bit rates. The encoder takes the engines' 16 or 22.05 kHz and
// resamples to the 48 kHz every Opus stream plays at. The tags go in as
// Vorbis comments (TITLE, ALBUM, ARTIST, TRACKNUMBER, TRACKTOTAL) with the
// stream's first pages.

#include "SoundFileWriter.h"

#include <array>

struct OggOpusEnc;

class OpusFileWriter : public SoundFileWriter
{
public:
    // The bit rates offered, in kbit/s, and the one a new user gets.
    static const std::array<int, 5> &BitRates();
    static constexpr int DefaultBitRate = 24;
    // The offered rate nearest to kbps (the lower of two as near).
    static int NearestBitRate(int kbps);

    explicit OpusFileWriter(int bitRate = DefaultBitRate);
    ~OpusFileWriter() override;
    OpusFileWriter(const OpusFileWriter &) = delete;
    OpusFileWriter &operator=(const OpusFileWriter &) = delete;

    TMp3Result Open(const QString &file, int inputSampleRate,
                    OutputPlacement placement = OutputPlacement::Replace) override;
    TMp3Result Write(std::span<const int16_t> samples) override;
    TMp3Result Finish(const QByteArray &tail = {}) override;
    void Abort() override;
    bool IsOpen() const override { return m_file != nullptr; }

private:
    static int writePages(void *self, const unsigned char *data, int size);
    static int closeStream(void *self);
    TMp3Result encoderFailure(int code);

    int m_bitRate;
    OggOpusEnc *m_encoder = nullptr;
    std::unique_ptr<PendingFile> m_file;
    OutputPlacement m_placement = OutputPlacement::Replace;
    bool m_writeFailed = false;
};
