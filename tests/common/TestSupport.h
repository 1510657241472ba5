#pragma once

#include <QObject>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <sys/resource.h>

namespace TestSupport {

// The temporary folder that VOXTRELLA_HOME points at for the running test.
QString homeDir();

// Reads a whole file as bytes; an empty array when it cannot be read.
QByteArray readFile(const QString &path);

// Writes bytes to a file, creating folders as needed. Returns false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);

// A RIFF WAVE file as read back; byteRate is 0 when the file is none.
struct WavFile {
    int sampleRate = 0, channels = 0;
    quint32 byteRate = 0;
    bool whole = false;  // the RIFF and data sizes match the file
    QByteArray data;     // the data chunk, as far as the file holds it
    double seconds() const { return byteRate ? double(data.size()) / byteRate : -1; }
    std::vector<int16_t> samples() const;  // as 16-bit samples
};
WavFile readWav(const QString &path);

// Runs the event loop until pred() is true or timeoutMs passes; returns pred().
bool waitFor(const std::function<bool()> &pred, int timeoutMs);

// Runs the event loop for ms milliseconds.
inline void idle(int ms)
{
    waitFor([] { return false; }, ms);
}

// The permission bits of a file or folder.
unsigned fileMode(const QString &path);

// The child of parent with this object name; a test failure when there is none.
template <class T>
T *child(const QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Sets an environment variable (a null value unsets it) until the end of the scope.
struct ScopedEnv {
    ScopedEnv(const char *name, const QByteArray &value)
        : name(name), saved(qgetenv(name)), wasSet(qEnvironmentVariableIsSet(name))
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnv() { wasSet ? qputenv(name, saved) : qunsetenv(name); }
    const char *name;
    QByteArray saved;
    bool wasSet;
};

// While it lives, files of this process cannot grow past limit bytes, as on
// a disk that fills up: writes beyond it fail with EFBIG.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t limit);
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old{};
    bool set = false;
};

// While it lives, this thread's file access is checked as an ordinary user
// (nobody), so tests of read-only or unreadable files mean the same when the
// suite runs as root, as it does in CI containers. Without root it changes
// nothing: the test user is already subject to permissions.
class AsUnprivilegedUser
{
public:
    AsUnprivilegedUser();
    ~AsUnprivilegedUser();
    AsUnprivilegedUser(const AsUnprivilegedUser &) = delete;
    AsUnprivilegedUser &operator=(const AsUnprivilegedUser &) = delete;

private:
    unsigned m_uid;
    unsigned m_gid;
};

}  // namespace TestSupport
