#pragma once
// The playlist of a reading that wrote several files: an extended M3U in
// UTF-8 (".m3u8") beside them, listing them in reading order so that a
// player plays a book's chapters as one.
//
//   #EXTM3U
//   #EXTINF:<seconds>,<title>
//   <file name>
//
// It is written like every output: complete under its name or not at all.

#include "PendingFile.h"

#include <QString>

#include <vector>

struct TPlaylistEntry {
    QString File;  // the written file's full path
    QString Title;
    qint64 DurationMs = 0;
};

class Playlist
{
public:
    static constexpr const char *Extension = ".m3u8";

    // The playlist's text; files in the playlist's folder are named by their
    // file name alone, others by their full path.
    static QByteArray Text(const QString &playlistFile, const std::vector<TPlaylistEntry> &entries);
    // Writes it to file, placed as placement says. Returns empty, or what
    // went wrong naming the file; placedAs gets the name it was put under.
    static QString Write(const QString &file, const std::vector<TPlaylistEntry> &entries, OutputPlacement placement,
                         QString *placedAs = nullptr);
};
