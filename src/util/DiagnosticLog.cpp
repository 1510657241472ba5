#include "DiagnosticLog.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <array>
#include <memory>
#include <mutex>

#include <sys/stat.h>

EFOpenError::EFOpenError(const QString &fileName) : EAppError(QStringLiteral("Cannot open file \"%1\"").arg(fileName))
{
}

EFCreateError::EFCreateError(const QString &fileName)
    : EAppError(QStringLiteral("Cannot create file \"%1\"").arg(fileName))
{
}

EInOutError::EInOutError(const QString &message) : EAppError(message) {}

QString DiagnosticLog::LogFileName()
{
    return AppPaths::logBaseName() + QStringLiteral(".dbg");
}

namespace {

// The log stays open between lines: a long import writes thousands of them,
// and opening the file and formatting the time for each cost more than the
// work they trace. Each line is still one unbuffered write.
struct LogSink {
    std::mutex lock;
    QString path;
    std::unique_ptr<QFile> file;
    QLocale locale = QLocale::system();
    qint64 stampSecond = -1;
    QString stamp;

    // The open file is still the one under path (not removed nor replaced).
    bool stillAt(const QString &where) const
    {
        struct stat named {
        }, open{};
        return ::stat(QFile::encodeName(where).constData(), &named) == 0 && ::fstat(file->handle(), &open) == 0 &&
               named.st_ino == open.st_ino && named.st_dev == open.st_dev;
    }

    void close()
    {
        file.reset();
        path.clear();
    }
};

LogSink &logSink()
{
    static LogSink sink;
    return sink;
}

}  // namespace

void DiagnosticLog::WriteLog(const QString &message)
{
    try {
        LogSink &sink = logSink();
        const std::lock_guard<std::mutex> guard(sink.lock);
        const QDateTime now = QDateTime::currentDateTime();
        const qint64 second = now.toSecsSinceEpoch();
        if (second != sink.stampSecond) {
            sink.stampSecond = second;
            sink.stamp = sink.locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                         sink.locale.toString(now.time(), QLocale::LongFormat) + QStringLiteral(" - ");
        }
        // Opened again when the log's place changed or the file was removed
        // or rotated away under it.
        const QString path = LogFileName();
        if (!sink.file || sink.path != path || !sink.stillAt(path)) {
            sink.close();
            auto file = std::make_unique<QFile>(path);
            // The log tells what the user read and did: for the user's eyes only.
            if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                            QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                return;
            sink.file = std::move(file);
            sink.path = path;
        }
        sink.file->write((sink.stamp + message + QStringLiteral("\r\n")).toUtf8());
    } catch (...) {
        // The log must never disturb its caller.
    }
}

void DiagnosticLog::RotateLogs()
{
    {
        LogSink &sink = logSink();
        const std::lock_guard<std::mutex> guard(sink.lock);
        sink.close();
    }
    const QString base = AppPaths::logBaseName();
    const auto name = [&base](const char *suffix) { return base + QLatin1String(suffix); };

    QFile::remove(name("3.dbg"));
    if (QFile::exists(name("2.dbg")))
        CopyFile(name("2.dbg"), name("3.dbg"));
    if (QFile::exists(name("1.dbg")))
        CopyFile(name("1.dbg"), name("2.dbg"));
    if (QFile::exists(name(".dbg")))
        CopyFile(name(".dbg"), name("1.dbg"));
    QFile::remove(name(".dbg"));
}

void DiagnosticLog::CopyFile(const QString &source, const QString &dest)
{
    QFile in(source);
    if (QFileInfo(source).isDir() || !in.open(QIODevice::ReadOnly))
        throw EFOpenError(source);

    QString target = QFileInfo(dest).absoluteFilePath();
    if (QFileInfo(target).isDir()) {
        if (!target.endsWith(u'/'))
            target += u'/';
        target += QFileInfo(source).fileName();
    }

    // A regular file is replaced through a temporary file, so a copy that
    // fails half-way leaves it as it was; the copy gets the source's mode, so
    // a private log stays private. Anything else that exists (a device, a
    // pipe) is written in place: renaming over it would replace it.
    const QFileInfo targetInfo(target);
    std::unique_ptr<SafeFile::AtomicWriter> atomic;
    std::unique_ptr<QFile> direct;
    if (targetInfo.exists() && !targetInfo.isFile()) {
        direct = std::make_unique<QFile>(target);
        if (!direct->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw EFCreateError(target);
    } else {
        // A copy goes into an existing folder; it never makes one.
        if (!QFileInfo(targetInfo.absolutePath()).isDir())
            throw EFCreateError(target);
        atomic = std::make_unique<SafeFile::AtomicWriter>(target);
        atomic->setPermissions(in.permissions());
        if (!atomic->open())
            throw EFCreateError(target);
    }
    const auto writeError = [&] {
        return QStringLiteral("Cannot write file \"%1\": %2")
            .arg(target, atomic ? atomic->errorString() : direct->errorString());
    };

    std::array<char, 8192> block;
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0)
            throw EInOutError(QStringLiteral("Cannot read file \"%1\": %2").arg(source, in.errorString()));
        if (got > 0 && !(atomic ? atomic->write(block.data(), got) : direct->write(block.data(), got) == got))
            throw EInOutError(writeError());
        if (got < qint64(block.size()))
            break;
    }
    if (atomic ? !atomic->commit() : !direct->flush())
        throw EInOutError(writeError());
}
