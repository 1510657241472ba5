#pragma once
// Turns SIGTERM, SIGINT, SIGHUP and the end of the desktop session into one Qt
// signal on the main thread, so the program can save what it holds the way
// its exit command does before it goes away.
//
// The signal handlers only write a byte to a self-pipe; a QSocketNotifier
// reads it in the event loop. One instance at a time; destroying it restores
// the default signal actions.

#include <QObject>

class QSocketNotifier;

class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    enum class Reason { Signal, SessionEnd };

    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // False when the self-pipe or the handlers could not be installed.
    bool isActive() const { return m_notifier != nullptr; }

    // The program is ending, with everything saved: a termination request
    // from now on must not cut short what is left (the windows going, the
    // settings written), also once the handlers are gone.
    static void IgnoreFromNowOn();

signals:
    // SIGTERM/SIGINT/SIGHUP (reason Signal, signalNumber set) or the session
    // manager's request to save (reason SessionEnd, signalNumber 0).
    void shutdownRequested(ShutdownSignals::Reason reason, int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
