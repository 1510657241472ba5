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
#include <QDir>

#include <cstdio>

namespace {

const QString kUserDirUnusable = QStringLiteral(
    "Voxtrella cannot keep its files in the folder \"%1\"%2: %3.\r\r"
    "It runs, but your articles and settings are not saved until this is fixed.");

void PrintError(const QString &message)
{
    std::fprintf(stderr, "voxtrella: %s\n", message.toLocal8Bit().constData());
}

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

    // What this start asks for: the window, files to open, or a desktop
    // shortcut's command. Qt has taken its own options out by now.
    QString argumentError;
    const std::optional<SingleInstance::Command> command =
        SingleInstance::fromArguments(QCoreApplication::arguments().mid(1), QDir::currentPath(), &argumentError);
    if (!command) {
        PrintError(argumentError);
        return 2;
    }

    // A later start hands its command to the running one, then ends; it says
    // so, and fails, when the running one did not take it.
    SingleInstance instance;
    if (!instance.tryBecomePrimary(*command)) {
        if (instance.failure().isEmpty())
            return 0;
        PrintError(instance.failure());
        return 1;
    }

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
    instance.setCommandHandler([form](const SingleInstance::Command &taken) { return form->TakeCommand(taken); });
    // This start's own command runs once the first show is done.
    if (command->name != SingleInstance::kRestore)
        form->TakeCommand(*command);
    form->Start();
    const int status = app.exec();
    // The window goes before the channel: later commands find nobody.
    instance.setCommandHandler({});
    ShutdownSignals::IgnoreFromNowOn();
    return status;
}
