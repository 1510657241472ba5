#pragma once
// Subtitles beside an audio file: SRT, WebVTT or LRC cues that follow the
// speech.
//
// SubtitleTrack gathers the words as the speech component reports them (the
// time in the audio written, where the word lies in the text that was read)
// and groups them into cues: a cue ends with its sentence, or when the next
// word would not fit in two lines of LineLength characters, or where the
// text breaks its line or a new text begins. A cue lasts until the next one
// starts, but not much past its last word; the last one lasts to the end of
// the audio. Format writes the cues, every time moved by the start delay of
// the audio's encoder; WebVTT and LRC also time each word.
//
// The cues are kept until the audio is complete, since the start delay of an
// MP3 is known only then; a few dozen bytes a word.

#include "PendingFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The stored values of the subtitle setting.
enum class SubtitleFormat : uint8_t { None = 0, Srt = 1, WebVtt = 2, Lrc = 3 };

// ".srt", ".vtt", ".lrc"; empty for None.
QString SubtitleExtension(SubtitleFormat format);
// The file beside audioFile: its name with the subtitle extension in place
// of its own.
QString SubtitleFileBeside(const QString &audioFile, SubtitleFormat format);

struct SubtitleCue {
    struct Word {
        int at = 0;  // where the word starts in text
        qint64 startUs = 0;
    };
    qint64 startUs = 0;
    qint64 endUs = 0;
    QString text;  // the words, one blank apart; a line feed between the two lines
    std::vector<Word> words;
};

class SubtitleTrack
{
public:
    static constexpr int LineLength = 42;
    static constexpr int MaxLines = 2;
    // A cue followed by silence disappears this long after its last word began.
    static constexpr qint64 MaxTailUs = 3'000'000;

    // The text read next; the offsets of the words that follow index it.
    void BeginText(const QString &text);
    // A word of the text, text[offset, offset + length), spoken from timeUs
    // of the audio. Times that go back are taken as the last one.
    void AddWord(qint64 timeUs, int offset, int length);
    // The audio ends at endUs; the last cue lasts until then.
    void Finish(qint64 endUs);
    // The audio file holds gapUs more sound at atUs than the speech written:
    // every time from there on moves by it.
    void InsertGap(qint64 atUs, qint64 gapUs);

    const std::vector<SubtitleCue> &Cues() const { return m_cues; }

    // The file's bytes (UTF-8), each time moved by shiftUs. title names the
    // LRC file's song.
    QByteArray Format(SubtitleFormat format, qint64 shiftUs, const QString &title = {}) const;
    // Writes the file under target as a whole or not at all; false and
    // error (naming the file and the cause) when it cannot.
    bool Save(const QString &target, SubtitleFormat format, qint64 shiftUs, const QString &title,
              OutputPlacement placement, QString *error) const;

private:
    // Adds a word to the open cue or starts the next one; false for a word
    // with nothing to show.
    bool Append(const QString &word, qint64 timeUs, bool newLine);
    void CloseCue(qint64 nextUs);

    QString m_text;
    std::vector<SubtitleCue> m_cues;
    SubtitleCue m_open;
    bool m_hasOpen = false;
    bool m_newText = true;
    int m_lastWordEnd = 0;  // in m_text
    QString m_lastWord;
    int m_lineLength = 0;  // of the open cue's last line
    int m_lines = 0;
    qint64 m_lastUs = 0;
};

// How much later than in the WAV the speech is heard in the decoded MP3.
// LAME puts its encoder delay before the sound and a decoder adds its own;
// players remove both only where the first frame carries an info tag. The
// program writes one into every MP3 now (its own where LAME's does not fit
// the small frames of the lower presets), so this is 0 for them; a file
// without one keeps the correction.
qint64 Mp3StartDelayUs(const QString &mp3File, int outputSampleRate);
