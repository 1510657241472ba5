// Runs the real program on the offscreen platform in a private home and
// checks what it leaves behind when a signal ends it.
#include "PreferenceUnit.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>

using TestSupport::readFile;

namespace {

QString home(const char *name)
{
    return TestSupport::homeDir() + u'/' + QLatin1String(name);
}

// Starts the program, waits for its version line, ends it with the signal
// and returns its exit code (-1 when it did not end normally).
int runUntilSignal(int signalNumber)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VOXTRELLA_HOME", TestSupport::homeDir());
    program.setProcessEnvironment(env);
    const QByteArray previousLog = readFile(home("voxtrella.dbg"));
    program.start(QStringLiteral(VOXTRELLA_PROGRAM), {});
    EXPECT_TRUE(program.waitForStarted(10000));
    EXPECT_TRUE(TestSupport::waitFor([&] { return readFile(home("voxtrella1.dbg")) == previousLog &&
                   readFile(home("voxtrella.dbg")).contains("Version: 1.204");
        },
        30000))
        << "no rotated log and version line";
    // The signal handlers are set up right after the main window is created.
    TestSupport::waitFor([] { return false; }, 1000);
    ::kill(pid_t(program.processId()), signalNumber);
    const bool ended = program.waitForFinished(30000);
    return ended && program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

}  // namespace

TEST(ProgramSettings, SigtermAndSigintEndTheProgramWithEverySettingSaved)
{
    ASSERT_TRUE(TestSupport::writeFile(home("voxtrella.dbg"), "previous run\r\n"));
    ASSERT_TRUE(TestSupport::writeFile(home("registry.ini"), "[Software\\VarnyxTech\\Voxtrella]\n\"BitRate\"=\"48\"\n"));
    for (int signalNumber : {SIGTERM, SIGINT}) {
        EXPECT_EQ(runUntilSignal(signalNumber), 0) << signalNumber;
        RegistryStore store(home("registry.ini"));
        ASSERT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
        TPreferences every;
        every.FieldsToItems();
        for (const auto &item : every.Items)
            EXPECT_TRUE(store.valueNames(PrefsKey).contains(item->Name)) << item->Name.toStdString() << " " << signalNumber;
        EXPECT_EQ(store.value(PrefsKey, "BitRate").toString(), "48");
        EXPECT_TRUE(store.keyExists("Software\\VarnyxTech\\Windows\\voxtrella\\Form1"));
    }
    // Two runs: the first one's log is now the previous generation's previous.
    EXPECT_EQ(readFile(home("voxtrella2.dbg")), "previous run\r\n");
    EXPECT_TRUE(readFile(home("voxtrella1.dbg")).contains("Version: 1.204"));
}
