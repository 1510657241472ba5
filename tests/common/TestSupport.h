#pragma once

#include <QString>

#include <functional>

namespace TestSupport {

// The temporary folder that VOXTRELLA_HOME points at for the running test.
QString homeDir();

// Reads a whole file as bytes; an empty array when it cannot be read.
QByteArray readFile(const QString &path);

// Writes bytes to a file, creating folders as needed. Returns false on failure.
bool writeFile(const QString &path, const QByteArray &bytes);

// Runs the event loop until pred() is true or timeoutMs passes; returns pred().
bool waitFor(const std::function<bool()> &pred, int timeoutMs);

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
