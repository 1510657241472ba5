#pragma once
// Keeps one running copy per user (and per user folder): the first start
// listens on a local socket; a later start finds it, hands it its command
// (show the window, open files, a desktop shortcut's command) and ends.
//
// The socket lives in a folder only this user can enter ($XDG_RUNTIME_DIR,
// else a folder of ours in the user's cache folder, mode 0700), so no other
// user can put a socket in its place. Even so, a later start ends only when
// the socket answers "VOXTRELLA?" with "VOXTRELLA": anything else on the
// name is not a running copy and is replaced. The primary answers from a
// thread of its own, so a busy window does not make it look absent.
//
// After the handshake the later start sends one line, its command, and waits
// for the primary's answer: "OK" once the command was taken, or "NO" with
// the reason, so that a shortcut's command never fails unseen.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLockFile;
class QThread;

namespace SingleInstanceDetail {
class Listener;
}

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The server name of this user and user folder.
    explicit SingleInstance(QObject *parent = nullptr);
    // A given server name (a bare name or a full socket path); an empty name
    // turns the check off.
    explicit SingleInstance(QString serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // What a start asks of the program, sent to the running copy when there
    // is one.
    struct Command {
        QString name;           // one of the names below
        QStringList arguments;  // kOpen: absolute file paths; the others: none
        bool operator==(const Command &) const = default;
    };
    static const QString kRestore;        // show the window
    static const QString kOpen;           // open the files as articles
    static const QString kReadClipboard;  // the desktop shortcuts' commands
    static const QString kReadSelection;
    static const QString kPlayPause;
    static const QString kStop;
    static const QString kSkip;

    // The command of the window's own arguments (QCoreApplication::arguments()
    // without the program): none or "-auto" first is kRestore, a shortcut's
    // option alone is its command, and file names are kOpen with each made
    // absolute against workingFolder (the running copy has a folder of its
    // own). Nothing when the arguments are wrong; error then says why.
    static std::optional<Command> fromArguments(const QStringList &arguments, const QString &workingFolder,
                                                QString *error);

    // One line on the socket, and back; decode gives nothing for a line that
    // is not exactly a command of ours (a file name that is not absolute,
    // arguments where none belong, bytes that are not UTF-8, too long a line).
    static QByteArray encode(const Command &command);
    static std::optional<Command> decode(const QByteArray &line);
    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;
    // The command as lines no longer than kMaxLineBytes: more files than
    // one line holds go as several open commands, in order.
    static QList<Command> splitForLines(const Command &command);

    // True when this process is now the primary instance and listens for
    // commands (or cannot listen at all: running twice beats not running);
    // the command is then this process's own. False when another instance
    // answered: it was handed the command and this process should end;
    // failure() says why when it did not take it.
    bool tryBecomePrimary(const Command &command = {kRestore, {}});
    // Why the running copy did not take the command; empty when it did.
    QString failure() const { return m_failure; }

    // Carries out a later start's command other than kRestore: empty when
    // taken, else the reason, which that start shows. Commands that came
    // before it is set wait for it. Called on this object's thread.
    using CommandHandler = std::function<QString(const Command &)>;
    void setCommandHandler(CommandHandler handler);

    bool isPrimary() const { return m_primary; }
    QString serverName() const { return m_serverName; }

    // "<folder>/voxtrella-<uid>-<hash of the user folder>.sock" in
    // runtimeFolder(); empty when there is no safe folder.
    static QString defaultServerName();

    // $XDG_RUNTIME_DIR when it is ours and closed to others, else
    // "voxtrella-run" in $XDG_CACHE_HOME (or "~/.cache"), created with mode
    // 0700 when missing. When another user holds that name (a shared cache):
    // "voxtrella-run-<uid>", else an earlier or a new
    // "voxtrella-run-<uid>-XXXXXX". Every folder taken is a real folder, not
    // a symlink, owned by this user and closed to others; empty when none
    // can be made.
    static QString runtimeFolder();

    // How long a second start waits for the first one to answer the
    // handshake, and then to take the command (its window may be busy).
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kAnswerTimeoutMs = 10000;

signals:
    // A second start asked this (primary) instance to show its window.
    void restoreRequested();

private:
    friend class SingleInstanceDetail::Listener;
    struct Waiting {
        quint64 id;
        Command command;
    };

    // True when a copy of ours answered the handshake; it was then handed
    // the command, and m_failure says whether it took it.
    bool handOver(const Command &command, QLockFile &lock);
    bool listen();
    void stopListening();
    // On this object's thread: a command the listener read, and its answer.
    void take(quint64 id, const Command &command);
    void answer(quint64 id, const QString &refusal);

    QString m_serverName;
    QThread *m_thread = nullptr;
    SingleInstanceDetail::Listener *m_listener = nullptr;
    bool m_primary = false;
    QString m_failure;
    CommandHandler m_handler;
    QList<Waiting> m_waiting;
};
