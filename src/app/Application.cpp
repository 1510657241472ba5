#include "Application.h"

#include "FloatingToolBar.h"
#include "ReadingActions.h"
#include "articles/ArticleList.h"
#include "MainWindow.h"
#include "WidgetInteraction.h"
#include "dialogs/NoEngineWarning.h"
#include "platform/audio/AudioSystem.h"
#include "platform/registry/RegistryStore.h"
#include "platform/shell/MessageService.h"
#include "platform/shell/ShutdownSignals.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

Application::Application() = default;

Application::~Application()
{
    // Reverse order: the window still reaches the driver, the list, the
    // actions and the toolbar while it is destroyed.
    m_window.reset();
    m_toolBar.reset();
    m_readingActions.reset();
    m_articles.reset();
    m_speaker.reset();
    m_prefs.reset();
    m_shutdownSignals.reset();
    if (&MessageService::interaction() == m_interaction.get())
        MessageService::install(nullptr);
}

bool Application::Create()
{
    m_interaction = std::make_unique<WidgetInteraction>();
    MessageService::install(m_interaction.get());
    m_shutdownSignals = std::make_unique<ShutdownSignals>();
    connect(m_shutdownSignals.get(), &ShutdownSignals::shutdownRequested, this,
            [this](ShutdownSignals::Reason reason, int signalNumber) {
                if (reason == ShutdownSignals::Reason::SessionEnd) {
                    SaveForSession();
                    return;
                }
                // A termination request (SIGTERM, SIGINT, SIGHUP: a session
                // manager without the session protocol) leaves the way the
                // exit command does, so nothing is lost at logout.
                DiagnosticLog::WriteLog(QStringLiteral("Signal %1").arg(signalNumber));
                Exit(ExitKind::Unattended);
            });
    // The session manager ends the program with a quit request of its own
    // ("die"); every other quit request comes from Exit.
    qApp->installEventFilter(this);

    m_prefs = std::make_unique<TPreferences>();
    const bool settingsDamaged = LoadSettings();
    const int32_t lostAudioDevice = ReplaceLostAudioDevice();

    try {
        m_speaker = std::make_unique<Speaker>(*m_prefs);
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QStringLiteral("TTSForm creation failed: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("TTSForm creation failed"));
    }
    if (!m_speaker) {
        TEngineWarningForm warning;
        warning.exec();
        // Queued, so that the message loop entered next ends at once.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }

    m_articles = std::make_unique<ArticleList>();
    m_articles->SetPreferences(m_prefs.get());
    m_readingActions = std::make_unique<ReadingActions>();
    m_toolBar = std::make_unique<FloatingToolBar>(m_readingActions.get());
    m_window = std::make_unique<MainWindow>(*m_prefs, *m_speaker, *m_articles, *m_readingActions, *m_toolBar,
                                            MainWindow::StartNotes{settingsDamaged, lostAudioDevice});
    connect(m_window.get(), &MainWindow::ExitRequested, this, [this] { Exit(ExitKind::Command); });
    return true;
}

bool Application::LoadSettings()
{
    bool damaged = false;
    {
        const RegistryStore store;
        damaged = store.loadStatus() == RegistryStore::LoadStatus::Damaged ||
                  store.loadStatus() == RegistryStore::LoadStatus::Unreadable;
    }
    m_prefs->LoadFromRegistry();
    m_prefs->ItemsToFields();
    DiagnosticLog::WriteLog(QStringLiteral("Version: ") + m_prefs->Version());
    return damaged;
}

int32_t Application::ReplaceLostAudioDevice()
{
    // A device number that no longer exists (an unplugged USB card) would
    // stop every start; the default device takes its place. With no sound
    // server nothing can be told, and the choice is kept for when the
    // server comes.
    const int32_t device = m_prefs->TTS_AudioDeviceID;
    const int devices = audio::audioSystem().outputDeviceCount();
    if (device < -1 || (devices > 0 && device >= devices)) {
        DiagnosticLog::WriteLog(QStringLiteral("Audio device %1 is gone; using the default device").arg(device));
        m_prefs->TTS_AudioDeviceID = -1;
        return device;
    }
    return -1;
}

void Application::SaveForSession()
{
    // The session manager asks for everything to be saved, both when the
    // session ends and when it only saves itself: the program goes on and
    // ends when the manager says so. Nobody may be asked meanwhile.
    DiagnosticLog::WriteLog(QStringLiteral("Session saving"));
    if (!m_window)
        return;
    MessageService::setQuiet(true);
    m_window->SaveForSession();
    MessageService::setQuiet(m_unattended);
}

bool Application::eventFilter(QObject *watched, QEvent *event)
{
    // Installed on the application, the filter sees every event: the type
    // is looked at first. The window ends the program on its own only when
    // it cannot run (no voices).
    if (event->type() == QEvent::Quit && watched == qApp && m_window && m_window->State() != rsExiting &&
        !m_window->Terminating()) {
        DiagnosticLog::WriteLog(QStringLiteral("Session ending"));
        Exit(ExitKind::Unattended);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void Application::Exit(ExitKind kind)
{
    if (kind == ExitKind::Unattended) {
        MessageService::setQuiet(true);
        m_unattended = true;
    }
    if (!m_window) {
        // Nothing to save yet: a start-up box or the time before the loop.
        // The direct quit ends the loops running now, the queued one a main
        // loop that has not started yet.
        QCoreApplication::quit();
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    }
    if (m_window->State() == rsExiting)
        return;
    if (m_window->SavingInProgress()) {
        // Asked while a save lets events run: taking the list apart now
        // would cut that save short. Exit once it has finished.
        QTimer::singleShot(50, this, [this] { Exit(m_unattended ? ExitKind::Unattended : ExitKind::Command); });
        return;
    }
    DiagnosticLog::WriteLog(QStringLiteral("Entered ExitVoxtrellaClick"));
    if (!m_unattended) {
        // Asked before anything stops, so that staying leaves all as it was;
        // once: the exit command is not taken again while the box is open.
        if (m_confirming)
            return;
        m_confirming = true;
        const bool leave = m_window->ConfirmExit();
        m_confirming = false;
        // A termination request during the box has done the exit already.
        if (!leave || m_window->State() == rsExiting)
            return;
    }
    m_window->CloseForExit();
    // Ends the loops running now (a box, a dialog) and, queued, the main
    // loop, also when the exit came before it started.
    QCoreApplication::quit();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}
