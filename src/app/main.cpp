#include "Application.h"
#include "CommandLine.h"
#include "platform/shell/ShutdownSignals.h"
#include "MainWindow.h"
#include "SingleInstance.h"
#include "DiagnosticLog.h"
#include "platform/paths/AppPaths.h"
#include "platform/paths/SafeFile.h"
#include "platform/shell/MessageService.h"

#include <QSettings>

#include <QApplication>

namespace {

const QString kUserDirUnusable = QStringLiteral(
    "Voxtrella cannot keep its files in the folder \"%1\"%2: %3.\r\r"
    "It runs, but your articles and settings are not saved until this is fixed.");

}  // namespace

int main(int argc, char *argv[])
{
    // The command line needs no display: it branches off before any
    // QApplication, leaves the single instance alone and rotates no log.
    if (CommandLine::Wanted(argc, argv))
        return CommandLine::Run(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voxtrella"));
    // No display name: the desktop would add it to every window title
    // ("Voxtrella MP3 Toolbar — Voxtrella MP3"), and the titles already say it.
    QApplication::setOrganizationName(QStringLiteral("VarnyxTech"));
    QApplication::setDesktopFileName(QStringLiteral("voxtrella"));
    // Hidden in the tray is still running: only the exit command ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // The file dialog keeps its own settings file; under a portable home it
    // belongs there, like every other file of the program.
    if (const QString home = AppPaths::homeOverride(); !home.isEmpty()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home);
    }

    // A second start asks the running one to show its window, then ends.
    SingleInstance instance;
    if (!instance.tryBecomePrimary())
        return 0;

    // A save cut short by a kill leaves its temporary file; this is the only
    // instance, so none of them is being written now.
    SafeFile::removeLeftovers(AppPaths::userDir() + QStringLiteral("/VXExport.txt"));
    SafeFile::removeLeftovers(AppPaths::settingsFile());

    try {
        DiagnosticLog::RotateLogs();
    } catch (const EAppError &e) {
        // A locked older log only stops the rotation; the program still runs.
        DiagnosticLog::WriteLog(QStringLiteral("Log rotation stopped: ") + e.message());
    }

    // Builds the parts in order; the termination requests are taken from
    // here on, so one during a start-up box still ends with the usual saving.
    Application application;
    if (!application.Create())
        return app.exec();  // the engine warning was shown; the queued quit ends at once
    MainWindow *form = application.MainForm();
    // Said now, not only when the first save fails much later.
    if (const QString problem = AppPaths::userDirProblem(); !problem.isEmpty() && form->State() != rsExiting) {
        const QString setBy = AppPaths::homeOverride().isEmpty() ? QString() : QStringLiteral(" (VOXTRELLA_HOME)");
        DiagnosticLog::WriteLog(QStringLiteral("User folder unusable: ") + problem);
        MessageService::notice(kUserDirUnusable.arg(AppPaths::userDir(), setBy, problem));
    }

    QObject::connect(&instance, &SingleInstance::restoreRequested, form, [form] {
        if (form->State() != rsExiting)
            form->RestoreFromTray();
    });
    form->Start();
    const int status = app.exec();
    ShutdownSignals::IgnoreFromNowOn();
    return status;
}
