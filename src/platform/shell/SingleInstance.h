#pragma once
// Keeps one running copy per user (and per user folder): the first start
// listens on a local socket; a later start finds it, asks it to restore its
// window and ends.
//
// The socket lives in a folder only this user can enter ($XDG_RUNTIME_DIR,
// else a folder of ours in the user's cache folder, mode 0700), so no other
// user can put a socket in its place. Even so, a later start ends only when
// the socket answers "VOXTRELLA?" with "VOXTRELLA": anything else on the
// name is not a running copy and is replaced. The primary answers from a
// thread of its own, so a busy window does not make it look absent.

#include <QObject>
#include <QString>

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

    // True when this process is now the primary instance and listens for
    // restore requests (or cannot listen at all: running twice beats not
    // running). False when another instance answered: it has been sent a
    // restore request and this process should end.
    bool tryBecomePrimary();

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

    // How long a second start waits for the first one to answer.
    static constexpr int kConnectTimeoutMs = 1000;

signals:
    // A second start asked this (primary) instance to show its window.
    void restoreRequested();

private:
    bool sendRestoreRequest();
    bool listen();
    void stopListening();

    QString m_serverName;
    QThread *m_thread = nullptr;
    SingleInstanceDetail::Listener *m_listener = nullptr;
    bool m_primary = false;
};
