#include "RecoveryCopy.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RecoveryCopy {

namespace {

QString absoluteEnv(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() || QDir::isRelativePath(value) ? QString() : QDir::cleanPath(value);
}

QString cacheFolder()
{
    const QString cache = absoluteEnv("XDG_CACHE_HOME");
    return (cache.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : cache) + QStringLiteral("/voxtrella");
}

QStringList places()
{
    QStringList out{cacheFolder(), QStringLiteral("/var/tmp")};
    if (const QString runtime = absoluteEnv("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        out << runtime;
    return out;
}

// "voxtrella-<uid>-<hash of the saved file's path>-recovery-": copies of
// one saved file of one user, whatever place holds them.
QString namePrefix(const QString &savedFile)
{
    const QByteArray hash = QCryptographicHash::hash(QFileInfo(savedFile).absoluteFilePath().toUtf8(),
                                                     QCryptographicHash::Sha1)
                                .toHex()
                                .left(12);
    return QStringLiteral("voxtrella-%1-%2-recovery-").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, data, size_t(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        data += put;
        left -= put;
    }
    return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// A regular file of this user that nobody else may write.
bool ownCopy(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 022) == 0;
}

}  // namespace

QString write(const QString &savedFile, const QByteArray &bytes, QString *error)
{
    QStringList failures;
    const QString name =
        namePrefix(savedFile) + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) + u'-' +
        QString::number(QRandomGenerator::global()->generate() & 0xffffff, 36) + QStringLiteral(".txt");
    for (const QString &place : places()) {
        if (place == cacheFolder() && QDir().mkpath(QFileInfo(place).absolutePath()))
            ::mkdir(QFile::encodeName(place).constData(), 0700);
        const QString path = place + u'/' + name;
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            failures << QStringLiteral("%1: %2").arg(place, qt_error_string(errno));
            continue;
        }
        const bool written = writeAll(fd, bytes);
        const int code = errno;
        if (::close(fd) == 0 && written)
            return path;
        failures << QStringLiteral("%1: %2").arg(place, qt_error_string(written ? errno : code));
        ::unlink(encoded.constData());
    }
    if (error)
        *error = failures.join(QStringLiteral("; "));
    return {};
}

QStringList find(const QString &savedFile)
{
    QFileInfoList copies;
    for (const QString &place : places()) {
        const QFileInfoList found = QDir(place).entryInfoList({namePrefix(savedFile) + u'*'},
                                                              QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo &f : found) {
            if (ownCopy(f.absoluteFilePath()))
                copies << f;
        }
    }
    std::sort(copies.begin(), copies.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() > b.lastModified(); });
    QStringList out;
    for (const QFileInfo &f : std::as_const(copies))
        out << f.absoluteFilePath();
    return out;
}

void removeAll(const QString &savedFile)
{
    for (const QString &path : find(savedFile))
        QFile::remove(path);
}

}  // namespace RecoveryCopy
