#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <csignal>

#include <sys/fsuid.h>
#include <sys/stat.h>
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

WavFile readWav(const QString &path)
{
    WavFile w;
    const QByteArray b = readFile(path);
    const auto le32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); };
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE")
        return w;
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const quint32 size = le32(at + 4);
        if (b.mid(at, 4) == "fmt " && at + 24 <= b.size()) {
            w.channels = qFromLittleEndian<quint16>(b.constData() + at + 10);
            w.sampleRate = int(le32(at + 12));
            w.byteRate = le32(at + 16);
        } else if (b.mid(at, 4) == "data") {
            w.data = b.mid(at + 8, qsizetype(size));
            w.whole = le32(4) == quint32(b.size() - 8) && at + 8 + qsizetype(size) == b.size();
            break;
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return w;
}

std::vector<int16_t> WavFile::samples() const
{
    const auto *first = reinterpret_cast<const int16_t *>(data.constData());
    return {first, first + data.size() / 2};
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

unsigned fileMode(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

FileSizeLimit::FileSizeLimit(rlim_t limit)
{
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = limit;
    set = setrlimit(RLIMIT_FSIZE, &small) == 0;
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
