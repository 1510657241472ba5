#include "SingleInstance.h"

#include "AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHello = "VOXTRELLA?\n";
const QByteArray kAnswer = "VOXTRELLA\n";
const QByteArray kRestoreRequest = "RESTORE\n";

// A folder fit for the socket: a real folder of ours that nobody else may
// write to. When mustBePrivate, group and others may not even enter it.
bool safeFolder(const QString &path, bool mustBePrivate)
{
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return (st.st_mode & (mustBePrivate ? S_IRWXG | S_IRWXO : S_IWGRP | S_IWOTH)) == 0;
}

// A folder for the socket if it is ours: closed to others again when it was
// opened up by hand. Opened without following a link, so the folder checked
// is the folder changed.
bool claimFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ours = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
                      ((st.st_mode & (S_IRWXG | S_IRWXO)) == 0 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    return ours && safeFolder(path, true);
}

QString absoluteEnv(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() || QDir::isRelativePath(value) ? QString() : QDir::cleanPath(value);
}

}  // namespace

namespace SingleInstanceDetail {

// The primary's server, living in its own thread.
class Listener : public QObject
{
public:
    explicit Listener(SingleInstance *owner) : m_owner(owner) {}

    bool listen(const QString &name)
    {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server->listen(name)) {
            delete m_server;
            m_server = nullptr;
            return false;
        }
        connect(m_server, &QLocalServer::newConnection, this, &Listener::onNewConnection);
        return true;
    }

private:
    void onNewConnection()
    {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // The request may already be waiting.
            readRequests(socket);
        }
    }

    void readRequests(QLocalSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine(64);
            if (line == kHello) {
                socket->write(kAnswer);
            } else if (line == kRestoreRequest) {
                SingleInstance *owner = m_owner;
                QMetaObject::invokeMethod(
                    owner, [owner] { emit owner->restoreRequested(); }, Qt::QueuedConnection);
            }
        }
        // Nothing a client sends is longer than one short line; drop garbage.
        if (socket->bytesAvailable() > 256)
            socket->abort();
    }

    SingleInstance *m_owner;
    QLocalServer *m_server = nullptr;
};

}  // namespace SingleInstanceDetail

SingleInstance::SingleInstance(QObject *parent) : SingleInstance(defaultServerName(), parent) {}

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

SingleInstance::~SingleInstance()
{
    stopListening();
}

QString SingleInstance::runtimeFolder()
{
    const QString runtime = absoluteEnv("XDG_RUNTIME_DIR");
    if (safeFolder(runtime, false))
        return runtime;

    QString cache = absoluteEnv("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    // The cache may be a folder other users write to, where one of them may
    // have made our folder's name first: a folder of theirs would let them
    // take the socket away and so run a second copy on our files. A taken
    // name passes to the next; the last resort is a folder of a name nobody
    // could guess, found again by the next start through the listing.
    const QString own = QStringLiteral("voxtrella-run-%1").arg(::getuid());
    for (const QString &name : {QStringLiteral("voxtrella-run"), own}) {
        const QString folder = cache + QLatin1Char('/') + name;
        ::mkdir(QFile::encodeName(folder).constData(), 0700);  // an existing one is checked below
        if (claimFolder(folder))
            return folder;
    }
    const QStringList earlier = QDir(cache).entryList({own + QStringLiteral("-*")},
                                                      QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : earlier)
        if (claimFolder(cache + QLatin1Char('/') + name))
            return cache + QLatin1Char('/') + name;
    QByteArray fresh = QFile::encodeName(cache + QLatin1Char('/') + own + QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(fresh.data()))
        return {};
    const QString folder = QFile::decodeName(fresh);
    return safeFolder(folder, true) ? folder : QString();
}

QString SingleInstance::defaultServerName()
{
    // Separate user folders (VOXTRELLA_HOME) are separate programs: they share
    // no settings or articles, so each may run once.
    const QString home = AppPaths::homeOverride();
    const QByteArray hash = QCryptographicHash::hash(home.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/voxtrella-%1-%2.sock").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_primary)
        return true;
    if (m_serverName.isEmpty()) {
        // No safe place for the socket: run without the check.
        m_primary = true;
        return true;
    }

    // Two starts at the same moment (a double click on the launcher) would
    // both find no server and remove each other's socket; take turns.
    const QString lockPath = (m_serverName.contains(QLatin1Char('/')) ? m_serverName
                                                                      : QDir::temp().filePath(m_serverName)) +
                             QStringLiteral(".lock");
    QLockFile lock(lockPath);
    lock.tryLock(3 * kConnectTimeoutMs);

    // Only a copy of ours that answers counts as running.
    if (sendRestoreRequest())
        return false;

    if (!listen()) {
        // Whatever holds the name did not answer as we do: a socket left by a
        // run that crashed, or something else. Remove it and listen again.
        QLocalServer::removeServer(m_serverName);
        if (!listen()) {
            // Another start may have won the race in the meantime.
            if (sendRestoreRequest())
                return false;
            // Could not listen at all (no writable socket folder): run anyway,
            // as a program that refuses to start would be worse than two copies.
        }
    }
    m_primary = true;
    return true;
}

bool SingleInstance::listen()
{
    stopListening();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("SingleInstance"));
    m_thread->start();
    m_listener = new SingleInstanceDetail::Listener(this);
    m_listener->moveToThread(m_thread);
    bool listening = false;
    SingleInstanceDetail::Listener *listener = m_listener;
    const QString name = m_serverName;
    QMetaObject::invokeMethod(
        m_listener, [&listening, listener, name] { listening = listener->listen(name); }, Qt::BlockingQueuedConnection);
    if (!listening)
        stopListening();
    return listening;
}

void SingleInstance::stopListening()
{
    if (!m_thread)
        return;
    // The server goes in its own thread, which also removes the socket file.
    SingleInstanceDetail::Listener *listener = m_listener;
    QMetaObject::invokeMethod(
        listener, [listener] { delete listener; }, Qt::BlockingQueuedConnection);
    m_listener = nullptr;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

bool SingleInstance::sendRestoreRequest()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    // Something that accepts but does not answer like us is not a copy of us.
    socket.write(kHello);
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = kConnectTimeoutMs - clock.elapsed();
        if (left <= 0 || socket.bytesAvailable() > 64 || !socket.waitForReadyRead(int(left)))
            return false;
    }
    if (socket.readLine(64) != kAnswer)
        return false;
    // The request is a few bytes; once written, the first instance has it even
    // if it reads it later.
    socket.write(kRestoreRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(100);
    return true;
}
