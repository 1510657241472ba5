#pragma once
// The file names of one reading run to files (PrepareOutput's table).
//
// An article title becomes a file name in the output folder. Titles are
// typed by the user, so a title is made safe first: "/" becomes "_",
// control characters become blanks, leading dots and blanks go (no hidden
// files, no ".."), and the name with its extension is cut to 255 bytes in
// the file system's encoding at a character boundary. A name that was
// already given out in this run gets " (2)", " (3)" ... so that two
// articles with one title do not overwrite each other; so does a name taken
// in the folder, when the names are to avoid the folder's files. A title
// that is already safe is used unchanged.
//
// For MP3 and Opus output the intermediate "temp.wav" lives in a private temporary
// folder owned by this object, never in the output folder, where it would
// overwrite (and later delete) a file of the user's. The folder and what it
// holds go when the object is destroyed; the process id in the folder's name
// lets a later run remove one that a killed run left.

#include "SoundFileWriter.h"

#include <QSet>
#include <QString>

#include <memory>

class QTemporaryDir;

class TOutputNames
{
public:
    static constexpr int MaxNameBytes = 255;
    static constexpr const char *WavExtension = ".wav";
    static constexpr const char *Mp3Extension = ".mp3";
    static constexpr const char *TempWavName = "temp.wav";
    // Stands in for a title that has nothing usable left (only dots, say).
    static constexpr const char *UntitledName = "Untitled";

    struct TFiles {
        QString WavFile;  // where the speech is written: the WAV output's name, or temp.wav
        QString EncodedFile;  // the MP3 or Opus file made from it; empty for WAV output
        QString Taken;    // the title's own name, when a file in the folder had it
    };

    // avoidExisting: a name that anything in the folder has (a dangling
    // symbolic link too) is not given out either.
    explicit TOutputNames(QString outputDirectory, bool avoidExisting = false);
    ~TOutputNames();
    TOutputNames(const TOutputNames &) = delete;
    TOutputNames &operator=(const TOutputNames &) = delete;

    // The names for one article with a trimmed, non-empty title. WAV output:
    // the output folder's title.wav. MP3 output: temp.wav in the private
    // folder and the output folder's title.mp3 (title.opus for Opus). Each call counts as a name
    // written in this run. Throws EAppError when the private folder cannot
    // be made.
    TFiles Build(const QString &title, SoundFormat format);

    const QString &Directory() const { return m_directory; }
    // The private folder; empty until the first MP3 names were built.
    QString TempDirectory() const;

    // title made safe as above, with extension (".mp3") appended.
    static QString SafeFileName(const QString &title, const QString &extension);
    // directory + "/" + name, every doubled "/" reduced to one.
    static QString JoinPath(const QString &directory, const QString &name);
    // The path with " (n)" before the extension of its file name, cut to fit.
    static QString NumberedName(const QString &path, int n);

private:
    QString uniqueName(const QString &title, const QString &extension, QString *taken);

    QString m_directory;
    bool m_avoidExisting;
    QSet<QString> m_used;
    std::unique_ptr<QTemporaryDir> m_temp;
};
