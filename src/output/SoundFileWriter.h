#pragma once
// The encoded formats a reading can be written to, behind one writer
// interface, so that the follower that encodes a growing WAV and the
// conversion of a finished one serve MP3 and Opus alike.
//
// A writer takes 16-bit mono samples at the rate given to Open and puts the
// file under its name only once it is complete (a PendingFile): Abort, a
// failure or destroying an unfinished writer leaves nothing under the name.

#include "AudioTags.h"
#include "PendingFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

// The stored OUT_FileFormat values; an unknown value reads as WAV.
enum class SoundFormat : uint8_t { Wav = 0, Mp3 = 1, Opus = 2 };

SoundFormat SoundFormatOf(int storedValue);
// ".wav", ".mp3" or ".opus".
const char *ExtensionOf(SoundFormat format);
// "WAV", "MP3" or "Opus", for messages.
QString NameOf(SoundFormat format);

// The outcome of an encoding (MP3 or Opus).
struct TMp3Result {
    enum Outcome { Done, Stopped, Failed };
    Outcome Status = Done;
    QString Message;  // Failed: the error to show and trace; empty otherwise
    QString File;     // Done: the name the file was put under

    bool Ok() const { return Status == Done; }
    static TMp3Result Fail(QString message) { return {Failed, std::move(message), {}}; }
};

// A bare encoder of a later part of the sound, whose bytes may follow the
// writer's own in the same file (MP3 frames can be joined so; Ogg pages
// cannot).
class SoundStream
{
public:
    virtual ~SoundStream() = default;
    // 0 or the encoder's negative code; bytes are appended to out.
    virtual int Encode(std::span<const int16_t> samples, QByteArray &out) = 0;
    virtual int Flush(QByteArray &out) = 0;
};

class SoundFileWriter
{
public:
    virtual ~SoundFileWriter() = default;

    virtual TMp3Result Open(const QString &file, int inputSampleRate,
                            OutputPlacement placement = OutputPlacement::Replace) = 0;
    virtual TMp3Result Write(std::span<const int16_t> samples) = 0;
    // Ends the stream, writes the tags and puts the file in place; tail (the
    // bytes of a stream from NewTailStream that encoded the rest) follows.
    virtual TMp3Result Finish(const QByteArray &tail = {}) = 0;
    virtual void Abort() = 0;
    // How much sound the join of a tail stream put between the two streams'
    // sounds, in microseconds of the finished file; 0 without a tail.
    virtual qint64 JoinGapUs() const { return 0; }
    virtual bool IsOpen() const = 0;
    // A second stream for the rest of the sound, or null where the format
    // cannot join one; error says why a possible one failed to start.
    virtual std::unique_ptr<SoundStream> NewTailStream(int inputSampleRate, QString *error) const
    {
        (void)inputSampleRate, (void)error;
        return nullptr;
    }

    // The tags: given before Open (Opus writes them first); the chapter
    // marks may still change until Finish.
    void SetTags(const TAudioTags &tags) { m_tags = tags; }
    void SetChapters(std::vector<TChapterMark> chapters) { m_tags.Chapters = std::move(chapters); }
    const TAudioTags &Tags() const { return m_tags; }

protected:
    // Logs the message, abandons the file and gives the failure.
    TMp3Result fail(QString message);
    // Puts the finished file in place: the result names it, or the failure.
    TMp3Result placeFinished(std::unique_ptr<PendingFile> &file, OutputPlacement placement);

    TAudioTags m_tags;
};

// A writer of format (MP3 or Opus) at bitRate kbit/s; null for WAV.
std::unique_ptr<SoundFileWriter> NewSoundFileWriter(SoundFormat format, int bitRate);

// Encodes the sound data of a PCM WAV file (8/16-bit, mono/stereo) through
// writer into file. progress gets the percent done (0 first, then after
// every chunk); stopRequested is asked after every chunk and, when it says
// yes, the conversion ends with Stopped and no file. On any failure no file
// is left either (an older one of that name stays). Traces failures to the
// diagnostic log; shows nothing.
TMp3Result ConvertWavFile(const QString &inputWav, SoundFileWriter &writer, const QString &file,
                          const std::function<void(int)> &progress = {},
                          const std::function<bool()> &stopRequested = {},
                          OutputPlacement placement = OutputPlacement::Replace);
