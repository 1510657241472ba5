#include "Autostart.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Autostart {

namespace {

// Characters that make an Exec argument need quotes (Desktop Entry format).
const QString kReserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");

// Inside quotes these four take a backslash.
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

// An entry is line based: a line break or other control character cannot be
// written into it.
bool fitsOnALine(const QString &text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// One Exec argument, quoted whole when asked to or when it holds a reserved
// character; inside quotes ", `, $ and \ take a backslash.
QString argument(const QString &text, bool alwaysQuoted)
{
    if (!alwaysQuoted && std::none_of(text.begin(), text.end(), [](QChar c) { return kReserved.contains(c); }))
        return text;
    QString arg = QStringLiteral("\"");
    for (const QChar c : text) {
        if (kEscapedInQuotes.contains(c))
            arg += QLatin1Char('\\');
        arg += c;
    }
    return arg + QLatin1Char('"');
}

}  // namespace

QString filePath()
{
    return AppPaths::autostartFile();
}

bool exists()
{
    return QFileInfo(filePath()).isFile();
}

QString execLine(const QString &programPath, const QString &home)
{
    if (programPath.isEmpty() || !fitsOnALine(programPath) || !fitsOnALine(home))
        return {};
    // A portable set-up (its own VOXTRELLA_HOME) must start at login with its
    // own settings and articles, not the user's usual ones.
    QString line;
    if (!home.isEmpty())
        line = QStringLiteral("env ") + argument(QStringLiteral("VOXTRELLA_HOME=") + home, false) + QLatin1Char(' ');
    // The path is always quoted, so that no launcher splits or expands it.
    line += argument(programPath, true) + QStringLiteral(" -auto");
    // The value is also a string value of the file, where a backslash is
    // written doubled, and an Exec line where a percent sign is doubled.
    line.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    line.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return line;
}

bool write(const QString &programPath)
{
    const QString exec = execLine(programPath, AppPaths::homeOverride());
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
