#pragma once
// An output file (the WAV or MP3 a reading makes) that appears under its name
// complete or not at all.
//
// The sound goes into a temporary file created exclusively in the target's
// folder (".voxtrella-<process id>-<random>.part": hidden, and never a name
// of the user's), and Place renames it to the target once it is whole and
// synced. Until then an older file of that name stays as it was; a failure,
// a stop, or destroying an unplaced PendingFile removes the temporary file.
// A process killed before that leaves it behind: the process id in its name
// lets RemoveLeftovers tell it from one that is still being written.
//
// Symbolic links are never followed: the temporary file is created with
// O_EXCL | O_NOFOLLOW, a link at the target's name is a taken name, and
// replacing one replaces the link itself.

#include <QString>

#include <cstdint>

enum class OutputPlacement : uint8_t {
    NextFreeName,  // a taken name gives way to "name (2)", "name (3)" ...
    Replace,       // whatever has the name is replaced
    Refuse,        // a taken name fails the placement
};

class PendingFile
{
public:
    explicit PendingFile(QString target);
    ~PendingFile();  // removes an unplaced temporary file
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // Creates the temporary file. False: ErrorString says why.
    bool Create();
    // Appends to the temporary file; a short write fails.
    bool Write(const char *data, qint64 size);
    // Overwrites bytes already written, from offset on.
    bool WriteAt(qint64 offset, const char *data, qint64 size);
    // Syncs the temporary file and renames it to the target as placement
    // says; Target() is then the name it got. On failure the temporary file
    // is removed and ErrorString names the target and the cause.
    bool Place(OutputPlacement placement);
    void Discard();

    const QString &Target() const { return m_target; }
    const QString &TempPath() const { return m_temp; }
    bool Placed() const { return m_placed; }
    // The last Place failed only because the name was taken.
    bool NameWasTaken() const { return m_nameTaken; }
    QString ErrorString() const { return m_error; }

    // Whether anything, a dangling symbolic link too, has this name.
    static bool Exists(const QString &path);
    // Removes what runs of this user whose process is gone left behind: the
    // temporary outputs in folder and the runs' private folders (see
    // TempFolderTemplate) in the system's temporary folder.
    static void RemoveLeftovers(const QString &folder);
    // The QTemporaryDir template of a run's private folder.
    static QString TempFolderTemplate();

private:
    bool fail(const QString &message);

    QString m_target;
    QString m_temp;
    int m_fd = -1;
    bool m_placed = false;
    bool m_nameTaken = false;
    QString m_error;
};
