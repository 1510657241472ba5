#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

QString systemError(int code)
{
    return qt_error_string(code);
}

mode_t toMode(QFileDevice::Permissions p)
{
    mode_t mode = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR}, {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
        {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH}, {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH}};
    for (const auto &[flag, bit] : bits) {
        if (p.testFlag(flag))
            mode |= bit;
    }
    return mode;
}

void closeQuietly(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

ReadResult readRegularFile(const QString &path, qint64 maxBytes)
{
    ReadResult result;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        struct stat st {};
        if (code == ENOENT || code == ENOTDIR) {
            result.status = ReadStatus::Missing;
        } else if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            result.status = ReadStatus::NotRegular;  // a socket cannot even be opened
        } else {
            result.status = ReadStatus::Failed;
        }
        result.error = QStringLiteral("Cannot open \"%1\": %2").arg(path, systemError(code));
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = QStringLiteral("Cannot read \"%1\": %2").arg(path, systemError(errno));
        closeQuietly(fd);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.status = ReadStatus::NotRegular;
        result.error = QStringLiteral("\"%1\" is not a regular file").arg(path);
        closeQuietly(fd);
        return result;
    }
    const qint64 limit = qMax<qint64>(maxBytes, 0);
    const auto tooLarge = [&] {
        result.status = ReadStatus::TooLarge;
        result.bytes.clear();
        result.error = QStringLiteral("\"%1\" is larger than %2 bytes").arg(path).arg(limit);
        closeQuietly(fd);
        return result;
    };
    if (st.st_size > limit)
        return tooLarge();

    // The size may change while we read: read to the end, one byte past the
    // limit at most, so a growing file is still caught.
    result.bytes.resize(qsizetype(qMin<qint64>(st.st_size, limit)) + 1);
    qint64 total = 0;
    for (;;) {
        if (total == result.bytes.size()) {
            if (total > limit)
                return tooLarge();
            result.bytes.resize(qsizetype(qMin<qint64>(limit + 1, total * 2 + 4096)));
        }
        const ssize_t got = ::read(fd, result.bytes.data() + total, size_t(result.bytes.size() - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = QStringLiteral("Cannot read \"%1\": %2").arg(path, systemError(errno));
            result.bytes.clear();
            closeQuietly(fd);
            return result;
        }
        if (got == 0)
            break;
        total += got;
    }
    closeQuietly(fd);
    if (total > limit)
        return tooLarge();
    result.bytes.truncate(qsizetype(total));
    result.status = ReadStatus::Ok;
    return result;
}

AtomicWriter::AtomicWriter(const QString &path) : m_path(path) {}

AtomicWriter::~AtomicWriter()
{
    if (!m_committed)
        cancel();
}

void AtomicWriter::setPermissions(QFileDevice::Permissions permissions)
{
    m_permissions = permissions;
}

bool AtomicWriter::fail(const QString &message)
{
    if (!m_failed)
        m_error = message;
    m_failed = true;
    closeQuietly(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
    return false;
}

bool AtomicWriter::open()
{
    if (m_failed || m_committed || m_fd >= 0)
        return fail(QStringLiteral("\"%1\" is already open or finished").arg(m_path));

    // A symlinked file stays a symlink: its target is what gets replaced.
    const QFileInfo info(m_path);
    m_target = info.absoluteFilePath();
    if (info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        m_target = canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }
    const QString dir = QFileInfo(m_target).absolutePath();
    if (!QDir().mkpath(dir))
        return fail(QStringLiteral("Cannot create the folder \"%1\"").arg(dir));

    const QByteArray target = QFile::encodeName(m_target);
    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return fail(QStringLiteral("\"%1\" is not a regular file").arg(m_path));

    // Private until the mode is set; a new file without a given mode gets the
    // usual 0666 less the umask, as any other new file would.
    const bool setMode = exists || m_permissions;
    const mode_t createMode = setMode ? S_IRUSR | S_IWUSR : 0666;
    const QString base = dir + QStringLiteral("/.") + QFileInfo(m_target).fileName() + u'.';
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QString candidate = base + QString::number(QRandomGenerator::global()->generate() & 0xffffff, 36) +
                                  QStringLiteral(".tmp");
        m_fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (m_fd >= 0)
            m_temp = candidate;
        else if (errno != EEXIST)
            return fail(QStringLiteral("Cannot create a file in \"%1\": %2").arg(dir, systemError(errno)));
    }
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot create a file in \"%1\"").arg(dir));

    if (setMode) {
        const mode_t mode = m_permissions ? toMode(*m_permissions) : (existing.st_mode & 07777);
        if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
            // Keeps the owner when root edits a user's file; others cannot, which is fine.
            (void)::fchown(m_fd, existing.st_uid, existing.st_gid);
        }
        if (::fchmod(m_fd, mode) != 0)
            return fail(QStringLiteral("Cannot set the mode of \"%1\": %2").arg(m_temp, systemError(errno)));
    }
    return true;
}

bool AtomicWriter::write(const char *data, qint64 size)
{
    if (m_failed)
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("\"%1\" is not open").arg(m_path));
    while (size > 0) {
        const ssize_t put = ::write(m_fd, data, size_t(size));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, systemError(errno)));
        }
        data += put;
        size -= put;
    }
    return true;
}

bool AtomicWriter::write(const QByteArray &bytes)
{
    return write(bytes.constData(), bytes.size());
}

bool AtomicWriter::commit()
{
    if (m_failed)
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("\"%1\" is not open").arg(m_path));
    // Some file systems cannot sync at all (EINVAL, ENOTSUP); their writes
    // were already checked, so only a real failure to store counts.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS)
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, systemError(errno)));
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, systemError(errno)));
    if (::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_target).constData()) != 0)
        return fail(QStringLiteral("Cannot replace \"%1\": %2").arg(m_path, systemError(errno)));
    m_temp.clear();
    m_committed = true;
    // A failure here cannot be undone and the new file is in place, so it is not reported.
    syncFolderOf(m_target);
    return true;
}

void syncFolderOf(const QString &path)
{
    const int dirFd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

void AtomicWriter::cancel()
{
    if (m_committed)
        return;
    fail(QStringLiteral("Writing \"%1\" was cancelled").arg(m_path));
}

QString AtomicWriter::errorString() const
{
    return m_error;
}

bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    AtomicWriter writer(path);
    const bool ok = writer.open() && writer.write(bytes) && writer.commit();
    if (!ok && error)
        *error = writer.errorString();
    return ok;
}

RenameResult renameFile(const QString &from, const QString &to, bool replace, QString *error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    const auto failed = [&](int code) {
        if (error)
            *error = QStringLiteral("Cannot rename \"%1\" to \"%2\": %3").arg(from, to, systemError(code));
        return RenameResult::Failed;
    };
    if (replace)
        return ::rename(source.constData(), target.constData()) == 0 ? RenameResult::Done : failed(errno);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return RenameResult::Done;
    if (errno == EEXIST)
        return RenameResult::NameTaken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return failed(errno);
    // A file system without the flag: a hard link also refuses a taken name.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return RenameResult::Done;
    }
    if (errno == EEXIST)
        return RenameResult::NameTaken;
    if (errno != EPERM && errno != ENOTSUP)
        return failed(errno);
    // Nor hard links (FAT): checked just before the rename, as well as it can be.
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0)
        return RenameResult::NameTaken;
    return ::rename(source.constData(), target.constData()) == 0 ? RenameResult::Done : failed(errno);
}

void removeLeftovers(const QString &path)
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    const QStringList leftovers = dir.entryList({u'.' + info.fileName() + QStringLiteral(".*.tmp")},
                                                QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers)
        dir.remove(name);
}

}  // namespace SafeFile
