#include "SoundFileWriter.h"

#include "DiagnosticLog.h"
#include "LameUnit.h"
#include "OpusFileWriter.h"
#include "WaveFile.h"

#include <optional>
#include <vector>

TMp3Result SoundFileWriter::fail(QString message)
{
    DiagnosticLog::WriteLog(message);
    Abort();
    return TMp3Result::Fail(std::move(message));
}

TMp3Result SoundFileWriter::placeFinished(std::unique_ptr<PendingFile> &file, OutputPlacement placement)
{
    if (!file->Place(placement))
        return fail(file->ErrorString());
    TMp3Result done;
    done.File = file->Target();
    file.reset();
    return done;
}

namespace {

// Samples read and encoded per step: eight MPEG-1 frames, so progress and
// the stop request are seen a few times a second even on a slow machine.
constexpr qint64 kChunkFrames = 1152 * 8;

}  // namespace

SoundFormat SoundFormatOf(int storedValue)
{
    switch (storedValue) {
    case int(SoundFormat::Mp3):
        return SoundFormat::Mp3;
    case int(SoundFormat::Opus):
        return SoundFormat::Opus;
    default:
        return SoundFormat::Wav;
    }
}

const char *ExtensionOf(SoundFormat format)
{
    switch (format) {
    case SoundFormat::Mp3:
        return ".mp3";
    case SoundFormat::Opus:
        return ".opus";
    case SoundFormat::Wav:
        break;
    }
    return ".wav";
}

QString NameOf(SoundFormat format)
{
    switch (format) {
    case SoundFormat::Mp3:
        return QStringLiteral("MP3");
    case SoundFormat::Opus:
        return QStringLiteral("Opus");
    case SoundFormat::Wav:
        break;
    }
    return QStringLiteral("WAV");
}

std::unique_ptr<SoundFileWriter> NewSoundFileWriter(SoundFormat format, int bitRate)
{
    switch (format) {
    case SoundFormat::Mp3:
        return std::make_unique<TMp3FileWriter>(bitRate);
    case SoundFormat::Opus:
        return std::make_unique<OpusFileWriter>(bitRate);
    case SoundFormat::Wav:
        break;
    }
    return nullptr;
}

TMp3Result ConvertWavFile(const QString &inputWav, SoundFileWriter &writer, const QString &file,
                          const std::function<void(int)> &progress, const std::function<bool()> &stopRequested,
                          OutputPlacement placement)
{
    std::optional<TWaveReader> reader;
    try {
        reader.emplace(inputWav);
    } catch (const EWaveError &e) {
        DiagnosticLog::WriteLog(e.message());
        return TMp3Result::Fail(e.message());
    }

    const int inputRate = static_cast<int>(std::min<uint32_t>(reader->Layout().Format.SampleRate, INT32_MAX));
    if (TMp3Result r = writer.Open(file, inputRate, placement); !r.Ok())
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
                DiagnosticLog::WriteLog(QStringLiteral("Conversion stopped"));
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
