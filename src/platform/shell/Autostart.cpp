#include "Autostart.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Autostart {

namespace {

// Characters that make an Exec argument need quotes (Desktop Entry format).
const QString kReserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");

// Inside quotes these four take a backslash.
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

}  // namespace

QString filePath()
{
    return AppPaths::autostartFile();
}

bool exists()
{
    return QFileInfo(filePath()).isFile();
}

QString execLine(const QString &programPath)
{
    if (programPath.isEmpty())
        return {};
    for (const QChar c : programPath) {
        // An entry is line based: a line break or other control character in
        // the path cannot be written into it.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
    }

    bool needsQuotes = false;
    for (const QChar c : programPath) {
        if (kReserved.contains(c)) {
            needsQuotes = true;
            break;
        }
    }

    QString arg;
    if (needsQuotes) {
        arg = QStringLiteral("\"");
        for (const QChar c : programPath) {
            if (kEscapedInQuotes.contains(c))
                arg += QLatin1Char('\\');
            arg += c;
        }
        arg += QLatin1Char('"');
    } else {
        arg = programPath;
    }

    // The value is also a string value of the file, where a backslash is
    // written doubled, and an Exec line where a percent sign is doubled.
    arg.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return arg + QStringLiteral(" -auto");
}

bool write(const QString &programPath)
{
    const QString exec = execLine(programPath);
    if (exec.isEmpty())
        return false;

    const QString path = filePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;

    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Voxtrella MP3\n"
                                        "Comment=Start Voxtrella MP3 in the tray at login\n"
                                        "Exec=%1\n"
                                        "Icon=voxtrella\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(exec);

    return SafeFile::writeAtomically(path, text.toUtf8());
}

bool remove()
{
    const QString path = filePath();
    if (!QFileInfo::exists(path))
        return true;
    return QFile::remove(path);
}

}  // namespace Autostart
