#pragma once
// What players show of a file the program wrote: title, album, artist, the
// track number among the files of one reading, and, for one file that holds
// several articles or chapters, where each of them starts.
//
// MP3 files get an ID3v2.4 tag in UTF-8 (TagLib), chapters as CHAP frames
// under one CTOC, so that audiobook and podcast players can jump between
// them; Opus files get the same as Vorbis comments (written by the Opus
// writer when its stream starts).

#include <QString>

#include <cstdint>
#include <vector>

struct TChapterMark {
    QString Title;
    qint64 StartMs = 0;  // from the start of the sound
};

struct TAudioTags {
    QString Title;
    QString Album;
    QString Artist;
    int Track = 0;       // 1-based; 0 when the file is no track of a set
    int TrackCount = 0;  // 0 when unknown
    // MP3 only; written when there are two or more.
    std::vector<TChapterMark> Chapters;

    // "n/N", "n", or empty when there is no track number.
    QString TrackText() const;
};

// Writes tags as the file's only ID3v2.4 tag (any tag it has goes). Each
// chapter runs to the next one's start, the last to durationMs. Returns
// empty, or what went wrong, naming the file as shownName.
QString WriteMp3Tags(const QString &mp3File, const TAudioTags &tags, qint64 durationMs, const QString &shownName);
