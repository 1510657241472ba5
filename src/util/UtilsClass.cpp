#include "UtilsClass.h"

#include "AppPaths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <array>

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
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
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

    // Written through a temporary file, so a copy that fails half-way leaves
    // the destination as it was.
    QSaveFile out(target);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        throw EFCreateError(target);

    std::array<char, 8192> block;
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0) {
            out.cancelWriting();
            throw EInOutError(QStringLiteral("Cannot read file \"%1\": %2").arg(source, in.errorString()));
        }
        if (got > 0 && out.write(block.data(), got) != got) {
            const QString reason = out.errorString();
            out.cancelWriting();
            throw EInOutError(QStringLiteral("Cannot write file \"%1\": %2").arg(target, reason));
        }
        if (got < qint64(block.size()))
            break;
    }
    if (!out.commit())
        throw EInOutError(QStringLiteral("Cannot write file \"%1\": %2").arg(target, out.errorString()));
}
