// Runs the real program on the offscreen platform in a private home and
// checks what it leaves behind: the version line in the log, the rotated
// logs, and every setting saved when a signal ends it.
#include "RegistryStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QString PrefsKey = QStringLiteral("Software\\VarnyxTech\\Voxtrella");

const QStringList AllKeys = {
    "ShowOptions", "ShowToolbar", "SI_AutoSpeak", "SI_Voice", "SI_ShowBusyDialog", "MI_Voice",
    "ML_AutoDelete", "ML_VisibleEntries", "ML_ListMode", "TTS_DefaultVoiceName", "TTS_HighlightPosition",
    "TTS_FilterSymbols", "TTS_AudioDeviceID", "TTS_SoundCardCheckErr", "CB_Monitor", "CB_Prompt",
    "CB_PromptDelay", "CB_ThreshHold", "CB_PromptTop", "CB_PromptLeft", "CB_DfltPromptAction",
    "CB_LastPromptAction", "CB_ClearOnCopy", "OUT_FileDest", "OUT_FileFormat", "OUT_Directory",
    "OpenDlgInitialDir", "RunMinimized", "ToolbarOnMinOption", "ToolbarOnTop", "FirstTimeUser", "BitRate",
    "ShowPronEditWarning", "SI_DefaultTitles"};

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
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VOXTRELLA_HOME"), TestSupport::homeDir());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home("config"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(VOXTRELLA_PROGRAM), {});
    if (!program.waitForStarted(10000))
        return -1;
    const bool started = TestSupport::waitFor(
        [] { return readFile(home("voxtrella.dbg")).contains("Version: 1.204"); }, 30000);
    EXPECT_TRUE(started) << "no version line in the log";
    ::kill(pid_t(program.processId()), signalNumber);
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return -1;
    }
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

}  // namespace

TEST(ProgramSettings, TheProgramLogsItsVersionAndSavesEverySettingOnSigterm)
{
    ASSERT_TRUE(writeFile(home("voxtrella.dbg"), "previous run\r\n"));
    ASSERT_TRUE(writeFile(home("registry.ini"),
                          "[Software\\VarnyxTech\\Voxtrella]\n\"BitRate\"=\"48\"\n\"RunMinimized\"=\"true\"\n"));

    EXPECT_EQ(runUntilSignal(SIGTERM), 0);

    EXPECT_EQ(readFile(home("voxtrella1.dbg")), "previous run\r\n");
    EXPECT_FALSE(readFile(home("voxtrella.dbg")).contains("previous run"));
    RegistryStore store(home("registry.ini"));
    ASSERT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
    const QStringList saved = store.valueNames(PrefsKey);
    for (const QString &key : AllKeys)
        EXPECT_TRUE(saved.contains(key)) << key.toStdString();
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("BitRate")).toString(), QStringLiteral("48"));
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("RunMinimized")).toString(), QStringLiteral("true"));
    // The main window's placement is saved with the settings.
    EXPECT_TRUE(store.keyExists(QStringLiteral("Software\\VarnyxTech\\Windows\\voxtrella\\Form1")));
}

TEST(ProgramSettings, SigintEndsTheProgramTheSameWay)
{
    EXPECT_EQ(runUntilSignal(SIGINT), 0);
    RegistryStore store(home("registry.ini"));
    EXPECT_EQ(store.valueNames(PrefsKey).size(), AllKeys.size());
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("OUT_Directory")).toString(), home("Files"));
}
