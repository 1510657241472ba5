#pragma once
// Keeps one running copy per user (and per user folder): the first start
// listens on a local socket; a later start finds it, asks it to restore its
// window and ends.

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The server name of this user and user folder.
    explicit SingleInstance(QObject *parent = nullptr);
    // A given server name (a bare name or a full socket path).
    explicit SingleInstance(QString serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the primary instance and listens for
    // restore requests. False when another instance runs: it has been sent
    // a restore request and this process should end.
    bool tryBecomePrimary();

    bool isPrimary() const { return m_primary; }
    QString serverName() const { return m_serverName; }

    // "voxtrella-<uid>-<hash of the user folder>", placed in the user's
    // runtime folder when there is one.
    static QString defaultServerName();

    // How long a second start waits for the first one to answer.
    static constexpr int kConnectTimeoutMs = 1000;

signals:
    // A second start asked this (primary) instance to show its window.
    void restoreRequested();

private:
    bool sendRestoreRequest();
    void onNewConnection();
    void readRequests(QLocalSocket *socket);

    QString m_serverName;
    QLocalServer *m_server = nullptr;
    bool m_primary = false;
};
