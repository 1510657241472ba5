#include "AppWindows.h"

#include "MainWindow.h"
#include "FloatingToolBar.h"
#include "WidgetInteraction.h"
#include "dialogs/NoEngineWarning.h"
#include "dialogs/SelectDirectory.h"
#include "platform/audio/AudioSystem.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"
#include "reader/Speaker.h"
#include "util/DiagnosticLog.h"

#include <QCoreApplication>

AppWindows::AppWindows() = default;

AppWindows::~AppWindows()
{
    // Reverse order: the main window still reaches the reading driver and
    // the toolbar while it is destroyed.
    m_engineWarningForm.reset();
    m_outDirDialog.reset();
    m_form1.reset();
    m_ttsForm.reset();
    m_toolBarForm.reset();
    m_prefs.reset();
    if (&MessageService::interaction() == m_interaction.get())
        MessageService::install(nullptr);
}

bool AppWindows::Create()
{
    m_interaction = std::make_unique<WidgetInteraction>();
    MessageService::install(m_interaction.get());
    m_prefs = std::make_unique<TPreferences>();
    m_form1 = std::make_unique<MainWindow>(*m_prefs);
    m_toolBarForm = std::make_unique<FloatingToolBar>();
    m_form1->AttachToolBar(m_toolBarForm.get());

    bool driverCreated = true;
    try {
        // A device number that no longer exists (an unplugged USB card)
        // would stop every start; the default device takes its place. With
        // no sound server nothing can be told, and the choice is kept for
        // when the server comes.
        const int32_t device = m_prefs->TTS_AudioDeviceID;
        const int devices = audio::audioSystem().outputDeviceCount();
        if (device < -1 || (devices > 0 && device >= devices)) {
            DiagnosticLog::WriteLog(QStringLiteral("Audio device %1 is gone; using the default device").arg(device));
            m_prefs->TTS_AudioDeviceID = -1;
            m_form1->NoteAudioDeviceFallback(device);
        }
        m_ttsForm = std::make_unique<Speaker>(*m_prefs);
        m_form1->AttachDriver(*m_ttsForm);
    } catch (const std::exception &e) {
        DiagnosticLog::WriteLog(QStringLiteral("TTSForm creation failed: ") + QString::fromUtf8(e.what()));
        driverCreated = false;
    } catch (...) {
        DiagnosticLog::WriteLog(QStringLiteral("TTSForm creation failed"));
        driverCreated = false;
    }
    if (!driverCreated) {
        TEngineWarningForm warning;
        warning.exec();
        // Queued, so that the message loop entered next ends at once.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    m_outDirDialog = std::make_unique<TOutDirDialog>(m_prefs->OUT_Directory);
    m_engineWarningForm = std::make_unique<TEngineWarningForm>();
    return driverCreated;
}
