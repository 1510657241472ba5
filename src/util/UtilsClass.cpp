#include "UtilsClass.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <array>
#include <memory>

EFOpenError::EFOpenError(const QString &fileName)
    : EAppError(QStringLiteral("Cannot open file \"%1\"").arg(fileName))
{
}

EFCreateError::EFCreateError(const QString &fileName)
    : EAppError(QStringLiteral("Cannot create file \"%1\"").arg(fileName))
{
}

EInOutError::EInOutError(const QString &message) : EAppError(message) {}

QString UtilsClass::LogFileName()
{
    return AppPaths::logBaseName() + QStringLiteral(".dbg");
}

void UtilsClass::WriteLog(const QString &message)
{
    try {
        const QDateTime now = QDateTime::currentDateTime();
        const QLocale locale = QLocale::system();
        const QString line = locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                             locale.toString(now.time(), QLocale::LongFormat) + QStringLiteral(" - ") + message +
                             QStringLiteral("\r\n");
        QFile file(LogFileName());
        // The log tells what the user read and did: for the user's eyes only.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return;
        file.write(line.toUtf8());
    } catch (...) {
        // The log must never disturb its caller.
    }
}

void UtilsClass::RotateLogs()
{
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

void UtilsClass::CopyFile(const QString &source, const QString &dest)
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
