#pragma once
// Helpers shared by the benchmarks.

#include <QByteArray>
#include <QFile>

#include <cstring>

namespace BenchSupport {

// A memory figure of this process from /proc/self/status in megabytes:
// "VmHWM:" the peak resident size, "VmRSS:" the current one; -1 if unknown.
inline double statusMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

inline double peakMemoryMb()
{
    return statusMb("VmHWM:");
}

}  // namespace BenchSupport
