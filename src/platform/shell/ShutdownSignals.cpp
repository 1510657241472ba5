#include "ShutdownSignals.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
// Once the program is ending, further requests are ignored, also after the
// handlers are gone.
bool g_ignoring = false;

extern "C" void onSignal(int number)
{
    // Only async-signal-safe calls here: hand the number to the event loop.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void setHandler(int number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

}  // namespace

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent)
{
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager &) { emit shutdownRequested(Reason::SessionEnd, 0); });
    }
    if (g_pipe[0] != -1)
        return;  // another instance owns the handlers
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::readSignal);
    setHandler(SIGTERM, onSignal);
    setHandler(SIGINT, onSignal);
    // Session managers send SIGHUP with SIGTERM at logout.
    setHandler(SIGHUP, onSignal);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!m_notifier)
        return;
    void (*const action)(int) = g_ignoring ? SIG_IGN : SIG_DFL;
    setHandler(SIGTERM, action);
    setHandler(SIGINT, action);
    setHandler(SIGHUP, action);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void ShutdownSignals::IgnoreFromNowOn()
{
    g_ignoring = true;
    setHandler(SIGTERM, SIG_IGN);
    setHandler(SIGINT, SIG_IGN);
    setHandler(SIGHUP, SIG_IGN);
}

void ShutdownSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit shutdownRequested(Reason::Signal, byte);
}
