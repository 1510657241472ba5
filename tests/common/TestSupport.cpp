#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sys/fsuid.h>
#include <unistd.h>

namespace TestSupport {

QString homeDir()
{
    return qEnvironmentVariable("VOXTRELLA_HOME");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

AsUnprivilegedUser::AsUnprivilegedUser() : m_uid(::geteuid()), m_gid(::getegid())
{
    if (m_uid == 0) {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
}

AsUnprivilegedUser::~AsUnprivilegedUser()
{
    if (m_uid == 0) {
        ::setfsuid(m_uid);
        ::setfsgid(m_gid);
    }
}

}  // namespace TestSupport
