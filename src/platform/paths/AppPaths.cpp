#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString envPath(const char *name)
{
    // XDG says relative values are invalid and must be ignored.
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty() || QDir::isRelativePath(value))
        return {};
    return QDir::cleanPath(value);
}

QString home()
{
    return AppPaths::homeOverride();
}

QString xdgConfigHome()
{
    const QString config = envPath("XDG_CONFIG_HOME");
    return config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : config;
}

QString xdgDataHome()
{
    const QString data = envPath("XDG_DATA_HOME");
    return data.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : data;
}

}  // namespace

namespace AppPaths {

QString homeOverride()
{
    return envPath("VOXTRELLA_HOME");
}

QString dataDir()
{
    const QString installed =
        QDir::cleanPath(QFileInfo(programFilePath()).absolutePath() + QStringLiteral("/../share/voxtrella"));
    if (QFileInfo(installed).isDir())
        return installed;
#ifdef VOXTRELLA_SOURCE_DATA_DIR
    if (QFileInfo(QStringLiteral(VOXTRELLA_SOURCE_DATA_DIR)).isDir())
        return QStringLiteral(VOXTRELLA_SOURCE_DATA_DIR);
#endif
#ifdef VOXTRELLA_INSTALL_DATA_DIR
    return QStringLiteral(VOXTRELLA_INSTALL_DATA_DIR);
#else
    return installed;
#endif
}

QString userDir()
{
    QString dir = home();
    if (dir.isEmpty())
        dir = xdgDataHome() + QStringLiteral("/voxtrella");
    // A folder that cannot be created shows up later as failed writes, which
    // every writer handles; nothing to report here.
    QDir().mkpath(dir);
    return dir;
}

QString userDirProblem()
{
    const QString dir = userDir();
    const QByteArray name = QFile::encodeName(dir);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        const int code = ::mkdir(name.constData(), 0700) == 0 ? 0 : errno;
        return code == 0 ? QString() : QStringLiteral("it cannot be created (%1)").arg(qt_error_string(code));
    }
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("it is not a folder");
    if (::access(name.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("it cannot be written (%1)").arg(qt_error_string(errno));
    return {};
}

QString settingsFile()
{
    const QString dir = home();
    if (!dir.isEmpty())
        return dir + QStringLiteral("/registry.ini");
    return xdgConfigHome() + QStringLiteral("/VarnyxTech/registry.ini");
}

QString logBaseName()
{
    return userDir() + QStringLiteral("/voxtrella");
}

QString programFilePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString programFileName()
{
    return QFileInfo(programFilePath()).fileName();
}

QString autostartFile()
{
    return xdgConfigHome() + QStringLiteral("/autostart/voxtrella.desktop");
}

}  // namespace AppPaths
