#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLockFile>
#include <QLocalSocket>

#include <unistd.h>

namespace {

const QByteArray kRestoreRequest = "RESTORE\n";

}  // namespace

SingleInstance::SingleInstance(QObject *parent)
    : SingleInstance(defaultServerName(), parent)
{
}

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName()
{
    // Separate user folders (VOXTRELLA_HOME) are separate programs: they share
    // no settings or articles, so each may run once.
    QString home = qEnvironmentVariable("VOXTRELLA_HOME");
    if (!home.isEmpty())
        home = QFileInfo(home).absoluteFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(home.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    const QString name =
        QStringLiteral("voxtrella-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));

    // The runtime folder belongs to the user alone; /tmp is the fallback.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(name + QStringLiteral(".sock"));
    return name;
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_primary)
        return true;

    // Two starts at the same moment (a double click on the launcher) would
    // both find no server and remove each other's socket; take turns.
    const QString lockPath = (m_serverName.contains(QLatin1Char('/')) ? m_serverName
                                                                        : QDir::temp().filePath(m_serverName))
                             + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    lock.tryLock(3 * kConnectTimeoutMs);

    // Someone answering on the name is a running instance.
    if (sendRestoreRequest())
        return false;

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // Nobody answered, so a socket file left here belongs to a run that
        // crashed; remove it and listen again.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName)) {
            // Another start may have won the race in the meantime.
            delete m_server;
            m_server = nullptr;
            if (sendRestoreRequest())
                return false;
            // Could not listen at all (no writable socket folder): run anyway,
            // as a program that refuses to start would be worse than two copies.
            m_primary = true;
            return true;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    m_primary = true;
    return true;
}

bool SingleInstance::sendRestoreRequest()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    // The request is a few bytes; once written, the first instance has it even
    // if it reads it later. A connection alone proves that an instance runs.
    socket.write(kRestoreRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(100);
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The request may already be waiting.
        readRequests(socket);
    }
}

void SingleInstance::readRequests(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(64);
        if (line == kRestoreRequest)
            emit restoreRequested();
    }
    // Nothing a client sends is longer than one short line; drop garbage.
    if (socket->bytesAvailable() > 256)
        socket->abort();
}
