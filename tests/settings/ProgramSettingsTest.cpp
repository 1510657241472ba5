// Runs the real program on the offscreen platform in a private home and
// checks what it leaves behind when a signal ends it: every setting. SIGTERM
// goes the same way (tests/platform/shell/ShellTest) and is sent to the
// program under Xvfb in tests/app/EndToEndTest.
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

}  // namespace

TEST(ProgramSettings, SigintEndsTheProgramWithEverySettingSavedAndItsStartRotatedTheLog)
{
    ASSERT_TRUE(TestSupport::writeFile(home("voxtrella.dbg"), "previous run\r\n"));
    ASSERT_TRUE(
        TestSupport::writeFile(home("registry.ini"), "[Software\\VarnyxTech\\Voxtrella]\n\"BitRate\"=\"48\"\n"));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VOXTRELLA_HOME", TestSupport::homeDir());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VOXTRELLA_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    EXPECT_TRUE(TestSupport::waitFor(
        [] {
            return readFile(home("voxtrella1.dbg")) == "previous run\r\n" &&
                   readFile(home("voxtrella.dbg")).contains("Version: 1.204");
        },
        30000))
        << "no rotated log and version line";
    // The signal handlers are set up right after the main window is created.
    TestSupport::idle(1000);
    ::kill(pid_t(program.processId()), SIGINT);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    RegistryStore store(home("registry.ini"));
    ASSERT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
    TPreferences every;
    every.FieldsToItems();
    for (const auto &item : every.Items)
        EXPECT_TRUE(store.valueNames(PrefsKey).contains(item->Name)) << item->Name.toStdString();
    EXPECT_EQ(store.value(PrefsKey, "BitRate").toString(), "48");
    EXPECT_TRUE(store.keyExists("Software\\VarnyxTech\\Windows\\voxtrella\\Form1"));
}
