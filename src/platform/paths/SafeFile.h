#pragma once
// Reading and replacing the user's files without blocking on odd files and
// without ever leaving a half-written one behind.
//
// readRegularFile() opens without blocking and checks the open descriptor,
// so a FIFO, device, socket or folder put in a file's place is refused at
// once, and a file cannot be swapped between a check and the read.
//
// AtomicWriter writes unbuffered into a temporary file beside the target:
// every write error (a full disk, a size limit) shows at the write that met
// it. commit() syncs the temporary file and renames it over the target only
// when all of it reached the disk; otherwise the target stays byte for byte
// as it was. QSaveFile is not used: it buffers small writes and, when the
// final flush fails, still renames the short file over the target.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace SafeFile {

enum class ReadStatus { Ok, Missing, NotRegular, TooLarge, Failed };

struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    QByteArray bytes;
    QString error;
};

// Reads a regular file (a symlink to one is followed) of at most maxBytes.
// Anything else is NotRegular; a larger file, or one that grows past
// maxBytes while it is read, is TooLarge (bytes then stay empty).
ReadResult readRegularFile(const QString &path, qint64 maxBytes);

class AtomicWriter
{
public:
    explicit AtomicWriter(const QString &path);
    ~AtomicWriter();  // cancels an uncommitted write
    AtomicWriter(const AtomicWriter &) = delete;
    AtomicWriter &operator=(const AtomicWriter &) = delete;

    // The mode the file gets. By default an existing target keeps its own
    // mode and a new file gets 0666 less the umask. Call before open().
    void setPermissions(QFileDevice::Permissions permissions);

    bool open();                          // creates missing parent folders
    bool write(const QByteArray &bytes);  // false after any failure, and every later call fails too
    bool write(const char *data, qint64 size);
    bool commit();
    void cancel();
    QString errorString() const;

private:
    bool fail(const QString &message);

    QString m_path;
    QString m_target;  // m_path with symlinks resolved
    QString m_temp;
    int m_fd = -1;
    bool m_failed = false;
    bool m_committed = false;
    std::optional<QFileDevice::Permissions> m_permissions;
    QString m_error;
};

// Removes the temporary files an AtomicWriter of path left behind when the
// process was killed in the middle of a save (".<name>.<random>.tmp").
// Only call it while no other writer of that file can be running.
void removeLeftovers(const QString &path);

// Renames from to to unless something (a dangling symbolic link too) has the
// name to: the check and the rename are one step (RENAME_NOREPLACE, or a
// hard link and an unlink where the file system lacks it), so a name that
// appears at the last moment is never replaced. With replace, whatever has
// the name is replaced; a symbolic link itself, never the file it names.
enum class RenameResult { Done, NameTaken, Failed };
RenameResult renameFile(const QString &from, const QString &to, bool replace, QString *error = nullptr);

// A rename into a folder lasts a power cut only once the folder is synced.
void syncFolderOf(const QString &path);

// open(), write() and commit() in one call; error receives the reason.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

}  // namespace SafeFile
