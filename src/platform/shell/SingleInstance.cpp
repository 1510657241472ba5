#include "SingleInstance.h"

#include "AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStringDecoder>
#include <QThread>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHello = "VOXTRELLA?\n";
const QByteArray kAnswer = "VOXTRELLA\n";
// Every start before there were other commands sent this line; it stays
// the restore request.
const QByteArray kRestoreRequest = "RESTORE\n";
const QByteArray kCommandPrefix = "DO ";
const QByteArray kTaken = "OK\n";
const QByteArray kRefusedPrefix = "NO ";

const QString kNoAnswer =
    QStringLiteral("Voxtrella is running but did not answer within %1 seconds; the command may still be carried out.");
const QString kClosed = QStringLiteral("Voxtrella is running but ended the connection before taking the command.");
const QString kFailedAnswer = QStringLiteral("Voxtrella is running but its answer could not be understood.");
const QString kTakesNoArgument = QStringLiteral("%1 takes no other argument (%2 was given).");

// The commands a later start may send, besides the restore request.
const QStringList &handedCommands()
{
    static const QStringList names = {SingleInstance::kOpen,          SingleInstance::kReadClipboard,
                                      SingleInstance::kReadSelection, SingleInstance::kPlayPause,
                                      SingleInstance::kStop,          SingleInstance::kSkip};
    return names;
}

// One argument on the line: base64, so that blanks and line breaks in file
// names cannot break the line apart.
QByteArray encodeArgument(const QString &text)
{
    return text.toUtf8().toBase64();
}

std::optional<QString> decodeArgument(const QByteArray &field)
{
    const auto bytes = QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
    if (field.isEmpty() || !bytes)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(*bytes);
    if (utf8.hasError() || text.contains(QChar(u'\0')))
        return std::nullopt;
    return text;
}

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

// The primary's server, living in its own thread. It answers the
// handshake and the restore request itself and hands every other command to
// the owner's thread, whose answer it sends back when it comes.
class Listener : public QObject
{
public:
    explicit Listener(SingleInstance *owner) : m_owner(owner) {}

    void answer(quint64 id, const QByteArray &line)
    {
        const QPointer<QLocalSocket> socket = m_waiting.take(id);
        if (socket && socket->state() == QLocalSocket::ConnectedState) {
            socket->write(line);
            socket->flush();
        }
    }

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
            // One byte more than a command may have, to see one that is too long.
            const QByteArray line = socket->readLine(SingleInstance::kMaxLineBytes + 2);
            if (!line.endsWith('\n')) {
                socket->abort();
                return;
            }
            if (line == kHello) {
                socket->write(kAnswer);
                continue;
            }
            const std::optional<SingleInstance::Command> command = SingleInstance::decode(line);
            if (!command)
                continue;  // not a command of ours: ignored, the sender times out
            SingleInstance *owner = m_owner;
            if (command->name == SingleInstance::kRestore) {
                QMetaObject::invokeMethod(
                    owner, [owner] { emit owner->restoreRequested(); }, Qt::QueuedConnection);
                socket->write(kTaken);
                continue;
            }
            const quint64 id = ++m_lastId;
            m_waiting.insert(id, socket);
            QMetaObject::invokeMethod(
                owner, [owner, id, taken = *command] { owner->take(id, taken); }, Qt::QueuedConnection);
        }
        // A client sends the handshake and one command; more is garbage.
        if (socket->bytesAvailable() > SingleInstance::kMaxLineBytes + 64)
            socket->abort();
    }

    SingleInstance *m_owner;
    QLocalServer *m_server = nullptr;
    // The connections waiting for the owner's answer, by command.
    QHash<quint64, QPointer<QLocalSocket>> m_waiting;
    quint64 m_lastId = 0;
};

}  // namespace SingleInstanceDetail

const QString SingleInstance::kRestore = QStringLiteral("restore");
const QString SingleInstance::kOpen = QStringLiteral("open");
const QString SingleInstance::kReadClipboard = QStringLiteral("read-clipboard");
const QString SingleInstance::kReadSelection = QStringLiteral("read-selection");
const QString SingleInstance::kPlayPause = QStringLiteral("play-pause");
const QString SingleInstance::kStop = QStringLiteral("stop");
const QString SingleInstance::kSkip = QStringLiteral("skip");

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

std::optional<SingleInstance::Command> SingleInstance::fromArguments(const QStringList &arguments,
                                                                     const QString &workingFolder, QString *error)
{
    // "-auto" in another case starts the window too, only not minimised.
    if (arguments.isEmpty() || arguments.first().compare(QStringLiteral("-auto"), Qt::CaseInsensitive) == 0)
        return Command{kRestore, {}};
    const QString &first = arguments.first();
    if (first.startsWith(QStringLiteral("--")) && handedCommands().contains(first.mid(2)) && first.mid(2) != kOpen) {
        if (arguments.size() > 1) {
            if (error)
                *error = kTakesNoArgument.arg(first, arguments.at(1));
            return std::nullopt;
        }
        return Command{first.mid(2), {}};
    }
    // Options of Qt's own that it left in place start the window as before.
    if (first.startsWith(QLatin1Char('-')))
        return Command{kRestore, {}};
    Command open{kOpen, {}};
    const QDir folder(workingFolder);
    for (const QString &argument : arguments) {
        // The login start's option counts only in the first place.
        if (argument.isEmpty() || argument.compare(QStringLiteral("-auto"), Qt::CaseInsensitive) == 0)
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() && argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)
                                 ? url.toLocalFile()
                                 : argument;
        open.arguments << folder.absoluteFilePath(path);
    }
    if (open.arguments.isEmpty())
        return Command{kRestore, {}};
    return open;
}

QByteArray SingleInstance::encode(const Command &command)
{
    if (command.name == kRestore)
        return kRestoreRequest;
    QByteArray line = kCommandPrefix + command.name.toUtf8();
    for (const QString &argument : command.arguments)
        line += ' ' + encodeArgument(argument);
    return line + '\n';
}

std::optional<SingleInstance::Command> SingleInstance::decode(const QByteArray &line)
{
    if (line == kRestoreRequest)
        return Command{kRestore, {}};
    if (line.size() > kMaxLineBytes || !line.startsWith(kCommandPrefix) || !line.endsWith('\n') ||
        line.count('\n') != 1)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(kCommandPrefix.size()).chopped(1).split(' ');
    Command command{QString::fromLatin1(fields.first()), {}};
    if (!handedCommands().contains(command.name))
        return std::nullopt;
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const std::optional<QString> argument = decodeArgument(fields.at(i));
        if (!argument)
            return std::nullopt;
        command.arguments << *argument;
    }
    // The receiver's working folder is not the sender's: only absolute paths.
    if (command.name == kOpen) {
        if (command.arguments.isEmpty())
            return std::nullopt;
        for (const QString &path : command.arguments)
            if (!path.startsWith(QLatin1Char('/')))
                return std::nullopt;
    } else if (!command.arguments.isEmpty()) {
        return std::nullopt;
    }
    return command;
}

void SingleInstance::setCommandHandler(CommandHandler handler)
{
    m_handler = std::move(handler);
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting &command : waiting)
        take(command.id, command.command);
}

void SingleInstance::take(quint64 id, const Command &command)
{
    if (!m_handler) {
        m_waiting.append({id, command});
        return;
    }
    answer(id, m_handler(command));
}

void SingleInstance::answer(quint64 id, const QString &refusal)
{
    if (!m_listener)
        return;
    const QByteArray line = refusal.isEmpty() ? kTaken : kRefusedPrefix + encodeArgument(refusal) + '\n';
    SingleInstanceDetail::Listener *listener = m_listener;
    QMetaObject::invokeMethod(
        listener, [listener, id, line] { listener->answer(id, line); }, Qt::QueuedConnection);
}

bool SingleInstance::tryBecomePrimary(const Command &command)
{
    m_failure.clear();
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
    if (handOver(command, lock))
        return false;

    if (!listen()) {
        // Whatever holds the name did not answer as we do: a socket left by a
        // run that crashed, or something else. Remove it and listen again.
        QLocalServer::removeServer(m_serverName);
        if (!listen()) {
            // Another start may have won the race in the meantime.
            if (handOver(command, lock))
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

QList<SingleInstance::Command> SingleInstance::splitForLines(const Command &command)
{
    // Files beyond what one line may hold go as more commands of the same
    // kind, in their order.
    if (command.name != kOpen)
        return {command};
    QList<Command> parts;
    Command part{kOpen, {}};
    qsizetype size = encode(part).size();
    for (const QString &path : command.arguments) {
        const qsizetype more = 1 + encodeArgument(path).size();
        if (!part.arguments.isEmpty() && size + more > kMaxLineBytes) {
            parts << part;
            part.arguments.clear();
            size = encode(part).size();
        }
        part.arguments << path;
        size += more;
    }
    return parts << part;
}

bool SingleInstance::handOver(const Command &command, QLockFile &lock)
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

    // From here on it is a running copy: whatever happens, this start ends,
    // and says so when the command was not taken. Other starts need not wait
    // for the answer, which may take a busy window a while.
    lock.unlock();
    for (const Command &part : splitForLines(command)) {
        socket.write(encode(part));
        clock.restart();
        while (!socket.canReadLine()) {
            if (socket.state() != QLocalSocket::ConnectedState) {
                m_failure = kClosed;
                return true;
            }
            const qint64 left = kAnswerTimeoutMs - clock.elapsed();
            if (left <= 0 || socket.bytesAvailable() > kMaxLineBytes) {
                m_failure = kNoAnswer.arg(kAnswerTimeoutMs / 1000);
                return true;
            }
            socket.waitForReadyRead(int(left));
        }
        const QByteArray answer = socket.readLine(kMaxLineBytes + 2);
        if (answer != kTaken) {
            const std::optional<QString> reason = answer.startsWith(kRefusedPrefix) && answer.endsWith('\n')
                                                      ? decodeArgument(answer.mid(kRefusedPrefix.size()).chopped(1))
                                                      : std::nullopt;
            m_failure = reason && !reason->isEmpty() ? *reason : kFailedAnswer;
            break;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(100);
    return true;
}
