#include "PendingFile.h"

#include "OutputNames.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTempPrefix = QStringLiteral(".voxtrella-");
const QString kTempSuffix = QStringLiteral(".part");
// More " (n)" names than this are not tried: something else is wrong.
constexpr int kMaxNumber = 10000;

QString cause(int code)
{
    return qt_error_string(code);
}

// A process id that no longer runs. One that runs under another user
// (EPERM) still runs.
bool processGone(qint64 pid)
{
    return pid > 0 && pid <= INT32_MAX && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Owned by this user and of the given kind, the name itself (not a link).
bool ownEntry(const QString &path, mode_t kind)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == kind &&
           st.st_uid == ::geteuid();
}

void removeStale(const QString &folder, const QString &pattern, const QRegularExpression &name, bool folders)
{
    QDir dir(folder);
    const QDir::Filters filter = (folders ? QDir::Dirs : QDir::Files) | QDir::Hidden | QDir::System | QDir::NoSymLinks;
    for (const QString &entry : dir.entryList({pattern}, filter | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = name.match(entry);
        const QString path = dir.filePath(entry);
        if (!m.hasMatch() || !processGone(m.captured(1).toLongLong()) || !ownEntry(path, folders ? S_IFDIR : S_IFREG))
            continue;
        if (folders)
            QDir(path).removeRecursively();
        else
            ::unlink(QFile::encodeName(path).constData());
    }
}

}  // namespace

PendingFile::PendingFile(QString target) : m_target(std::move(target)) {}

PendingFile::~PendingFile()
{
    Discard();
}

bool PendingFile::fail(const QString &message)
{
    m_error = message;
    Discard();
    return false;
}

bool PendingFile::Create()
{
    Discard();
    m_placed = m_nameTaken = false;
    m_error.clear();
    const QString dir = QFileInfo(m_target).absolutePath();
    const QString base = dir + u'/' + kTempPrefix + QString::number(::getpid()) + u'-';
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString candidate = base;
        for (int i = 0; i < 6; ++i)
            candidate += QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
        candidate += kTempSuffix;
        m_fd = ::open(QFile::encodeName(candidate).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND, 0666);
        if (m_fd >= 0) {
            m_temp = candidate;
            return true;
        }
        if (errno != EEXIST)
            return fail(QStringLiteral("Cannot create a file in \"%1\": %2").arg(dir, cause(errno)));
    }
    return fail(QStringLiteral("Cannot create a file in \"%1\"").arg(dir));
}

bool PendingFile::Write(const char *data, qint64 size)
{
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot write \"%1\": it is not open").arg(m_target));
    while (size > 0) {
        const ssize_t put = ::write(m_fd, data, size_t(size));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_target, cause(put < 0 ? errno : ENOSPC)));
        data += put;
        size -= put;
    }
    return true;
}

bool PendingFile::WriteAt(qint64 offset, const char *data, qint64 size)
{
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot write \"%1\": it is not open").arg(m_target));
    // The file's own descriptor appends whatever the offset: a second one
    // writes in place.
    const int fd = ::open(QFile::encodeName(m_temp).constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_target, cause(errno)));
    while (size > 0) {
        const ssize_t put = ::pwrite(fd, data, size_t(size), off_t(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            ::close(fd);
            return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_target, cause(error)));
        }
        data += put;
        size -= put;
        offset += put;
    }
    ::close(fd);
    return true;
}

bool PendingFile::Place(OutputPlacement placement)
{
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot write \"%1\": it is not open").arg(m_target));
    // Written by another descriptor too (the speech component's): the sync
    // covers the file, whichever wrote it. A file system that cannot sync
    // had its writes checked already.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS)
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_target, cause(errno)));
    const QString wanted = m_target;
    for (int n = 1; n <= kMaxNumber; ++n) {
        const QString name = n == 1 ? wanted : TOutputNames::NumberedName(wanted, n);
        QString error;
        switch (SafeFile::renameFile(m_temp, name, placement == OutputPlacement::Replace, &error)) {
        case SafeFile::RenameResult::Done: {
            m_target = name;
            m_temp.clear();
            m_placed = true;
            ::close(m_fd);
            m_fd = -1;
            // Failing that, the file is in place all the same.
            SafeFile::syncFolderOf(name);
            return true;
        }
        case SafeFile::RenameResult::Failed:
            return fail(QStringLiteral("Cannot save \"%1\": %2").arg(name, error));
        case SafeFile::RenameResult::NameTaken:
            if (placement == OutputPlacement::Refuse) {
                fail(QStringLiteral("\"%1\" appeared while it was being written; it was not replaced").arg(name));
                m_nameTaken = true;
                return false;
            }
            break;
        }
    }
    return fail(
        QStringLiteral("Cannot save \"%1\": every numbered name up to %2 is taken").arg(wanted).arg(kMaxNumber));
}

void PendingFile::Discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty())
        ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
}

bool PendingFile::Exists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString PendingFile::TempFolderTemplate()
{
    return QDir::tempPath() + QStringLiteral("/voxtrella-%1-XXXXXX").arg(::getpid());
}

void PendingFile::RemoveLeftovers(const QString &folder)
{
    static const QRegularExpression part(QStringLiteral("^\\.voxtrella-(\\d+)-[a-z0-9]+\\.part$"));
    static const QRegularExpression temp(QStringLiteral("^voxtrella-(\\d+)-[A-Za-z0-9]{6}$"));
    if (!folder.trimmed().isEmpty())
        removeStale(folder, kTempPrefix + u'*' + kTempSuffix, part, false);
    removeStale(QDir::tempPath(), QStringLiteral("voxtrella-*"), temp, true);
}
