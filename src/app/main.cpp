#include "AppWindows.h"
#include "ReaderUnit.h"
#include "ShutdownSignals.h"
#include "SingleInstance.h"
#include "UtilsClass.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voxtrella"));
    QApplication::setApplicationDisplayName(TForm1::Caption);
    QApplication::setOrganizationName(QStringLiteral("VarnyxTech"));
    QApplication::setDesktopFileName(QStringLiteral("voxtrella"));
    // Hidden in the tray is still running: only the exit command ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    Form1 = nullptr;
    // A second start asks the running one to show its window, then ends.
    SingleInstance instance;
    if (!instance.tryBecomePrimary())
        return 0;

    try {
        UtilsClass::RotateLogs();
    } catch (const EAppError &e) {
        // A locked older log only stops the rotation; the program still runs.
        UtilsClass::WriteLog(QStringLiteral("Log rotation stopped: ") + e.message());
    }

    AppWindows windows;
    windows.Create();
    TForm1 *form = windows.MainForm();

    QObject::connect(&instance, &SingleInstance::restoreRequested, form, [form] {
        if (form->State() != rsExiting)
            form->RestoreFromTray();
    });
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, form,
                     [form](ShutdownSignals::Reason reason, int signalNumber) {
                         // The end of the session or a termination request
                         // leaves the way the exit command does, so nothing
                         // is lost at logout.
                         UtilsClass::WriteLog(reason == ShutdownSignals::Reason::SessionEnd
                                                  ? QStringLiteral("Session ending")
                                                  : QStringLiteral("Signal %1").arg(signalNumber));
                         form->ExitProgram();
                     });
    form->show();
    form->activateWindow();
    return app.exec();
}
