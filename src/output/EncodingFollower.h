#pragma once
// Encodes a WAV file (to MP3 or Opus) while the speech is still being
// written into it, on a thread of its own, so the conversion after the
// reading has only the last part left to do. When that part is long and the
// format can join two streams (MP3), a second stream encodes its second half
// on another thread; its frames follow the first stream's, cut at a pause in
// the speech. The file appears under its name only when complete (the
// SoundFileWriter's PendingFile), placed as the caller says; stopping or a
// failure leaves none.
//
// The WAV may be growing: its data chunk's size field is 0 until it is
// finished, and the follower reads sound data up to the file's current end.

#include "SoundFileWriter.h"
#include "WaveFile.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class EncodingFollower
{
public:
    EncodingFollower();
    ~EncodingFollower();  // stops and removes an unfinished file
    EncodingFollower(const EncodingFollower &) = delete;
    EncodingFollower &operator=(const EncodingFollower &) = delete;

    // Starts following wavFile (written by someone else from now on),
    // encoding it through writer (tags set) into file.
    void Start(const QString &wavFile, const QString &file, std::unique_ptr<SoundFileWriter> writer,
               OutputPlacement placement = OutputPlacement::Replace);
    // MP3 at bitRate, without tags.
    void Start(const QString &wavFile, const QString &mp3File, int bitRate,
               OutputPlacement placement = OutputPlacement::Replace);
    bool Running() const { return m_thread.joinable(); }
    // The last Finish encoded the rest in two streams.
    bool WasSplit() const { return m_split; }
    // Where the last Finish's second stream begins in the WAV's sound, and
    // the gap the join put before it in the file (both in microseconds; a
    // gap of 0 when there was no second stream).
    struct Join {
        qint64 atUs = 0;
        qint64 gapUs = 0;
    };
    Join LastJoin() const { return m_join; }

    // The WAV is complete: encodes the rest and puts the file in place (the
    // result's File says under which name), with chapters (when given) in
    // its tags. progress gets the percent of the rest done; stopRequested
    // ends it early (Stopped, no file). Blocks until done; the callbacks run
    // on the encoding threads.
    TMp3Result Finish(const std::function<void(int)> &progress = {}, const std::function<bool()> &stopRequested = {},
                      std::vector<TChapterMark> chapters = {});
    // Abandons the file.
    void Stop();

    // A rest shorter than this many seconds of sound is encoded by one stream.
    static constexpr int SplitSeconds = 20;

private:
    void Run();
    void SplitTheRest(QFile &file, qint64 position);
    void EncodeTail(qint64 from, qint64 to);
    qint64 QuietestFrameNear(qint64 middle, qint64 from, qint64 to);
    bool Stopping() const;

    QString m_wavFile;
    QString m_file;
    OutputPlacement m_placement = OutputPlacement::Replace;
    std::thread m_thread;
    std::thread m_second;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_complete = false;  // the WAV is finished
    std::atomic<bool> m_stop{false};
    std::function<void(int)> m_progress;
    std::function<bool()> m_stopRequested;
    TMp3Result m_result;
    std::unique_ptr<SoundFileWriter> m_writer;
    TWaveLayout m_layout;
    std::atomic<qint64> m_limit{std::numeric_limits<qint64>::max()};
    bool m_split = false;
    Join m_join;
    std::unique_ptr<SoundStream> m_tailStream;
    QByteArray m_tail;  // the second stream's frames
    TMp3Result m_tailResult;
};
