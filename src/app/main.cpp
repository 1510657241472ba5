#include "ReaderUnit.h"
#include "ShutdownSignals.h"
#include "UtilsClass.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("voxtrella"));
    QApplication::setApplicationDisplayName(TForm1::Caption);
    QApplication::setOrganizationName(QStringLiteral("VarnyxTech"));
    QApplication::setDesktopFileName(QStringLiteral("voxtrella"));

    try {
        UtilsClass::RotateLogs();
    } catch (const EAppError &e) {
        // A locked older log only stops the rotation; the program still runs.
        UtilsClass::WriteLog(QStringLiteral("Log rotation stopped: ") + e.message());
    }

    TForm1 form;
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, &form,
                     [&form](ShutdownSignals::Reason reason, int signalNumber) {
                         // The end of the session or a termination request
                         // leaves the way the exit command does, so nothing
                         // is lost at logout.
                         UtilsClass::WriteLog(reason == ShutdownSignals::Reason::SessionEnd
                                                  ? QStringLiteral("Session ending")
                                                  : QStringLiteral("Signal %1").arg(signalNumber));
                         form.ExitProgram();
                     });
    form.show();
    return app.exec();
}
