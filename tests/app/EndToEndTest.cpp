// The real voxtrella executable on a private Xvfb display: a second start
// brings the first one's window back and ends at once, "-auto" starts hidden
// in the tray, a termination request saves what was typed the way the exit
// command does, no sound server stops nothing but reading aloud, and at
// twice the size nothing is cut.
#include "ProgramUnderXvfb.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using TestSupport::readFile;
using TestSupport::waitFor;

namespace {

using EndToEndTest = ProgramTest::ProgramUnderXvfb;

TEST_F(EndToEndTest, AutoStartsInTheTrayASecondStartBringsItBackAndTerminationSavesEverything)
{
    startProgram(m_first, {u"-auto"_s});
    ASSERT_TRUE(waitForLog(u"FormActivate Timer: Minimizing now."_s)) << log().toStdString();
    QThread::msleep(300);
    EXPECT_TRUE(visibleMainWindow().isEmpty());

    // The second start ends within two seconds and the first window comes back.
    QElapsedTimer second;
    second.start();
    startProgram(m_second, {});
    ASSERT_TRUE(m_second.waitForFinished(2000));
    EXPECT_LT(second.elapsed(), 2000);
    EXPECT_EQ(m_second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_second.exitCode(), 0);
    QString window;
    ASSERT_TRUE(waitFor([&] { return !(window = visibleMainWindow()).isEmpty(); }, 5000));
    EXPECT_EQ(m_first.state(), QProcess::Running);

    // Type into the article: a click in its editor, then keys.
    const QString geometry = xdotool({u"getwindowgeometry"_s, window});
    const QRegularExpressionMatch size = QRegularExpression(u"Geometry: (\\d+)x(\\d+)"_s).match(geometry);
    ASSERT_TRUE(size.hasMatch()) << geometry.toStdString();
    const QString x = QString::number(size.captured(1).toInt() / 2);
    const QString y = QString::number(size.captured(2).toInt() - 60);
    xdotool({u"mousemove"_s, u"--window"_s, window, x, y, u"click"_s, u"1"_s});
    QThread::msleep(300);
    xdotool({u"type"_s, u"--delay"_s, u"30"_s, u"typed before logout"_s});
    QThread::msleep(500);

    // A termination request (logout, shutdown) saves like the exit command.
    endWith(SIGTERM);
    const QByteArray saved = readFile(home() + u"/VXExport.txt"_s);
    EXPECT_TRUE(saved.contains("typed before logout")) << saved.toStdString();
    // The first run's introduction is not shown again. (Every other setting
    // saved at a termination request: ProgramSettings.)
    const QString settings = QString::fromUtf8(readFile(home() + u"/registry.ini"_s));
    EXPECT_TRUE(settings.contains(u"\"FirstTimeUser\"=\"false\""_s)) << settings.toStdString();
}

// No sound server at all: the program starts all the same, says so once, and
// the articles and Read to File (into the default "Files" folder) are there;
// a server started afterwards reads aloud without a restart.
TEST_F(EndToEndTest, WithoutASoundServerItStartsReadsToFileAndReadsAloudOnceTheServerCame)
{
    QTemporaryDir sound;  // its runtime folder, where the program looks for a server
    ASSERT_TRUE(QDir().mkpath(sound.path() + u"/runtime/pulse"_s));
    m_env.insert(u"XDG_RUNTIME_DIR"_s, sound.path() + u"/runtime"_s);
    m_env.insert(u"PULSE_RUNTIME_PATH"_s, sound.path() + u"/runtime/pulse"_s);
    m_env.remove(u"PULSE_SERVER"_s);
    ASSERT_TRUE(TestSupport::writeFile(home() + u"/VXExport.txt"_s,
                                       "||||||Voxtrella MP3 Start of Article||||||\r\nKept||1\r\nRead into a file "
                                       "without any sound.\r\n||||||Voxtrella MP3 End of Article||||||\r\n"));
    startProgram(m_first, {});
    ASSERT_TRUE(waitForLog(u"No sound output at start"_s)) << log().toStdString();
    QThread::msleep(500);
    xdotool({u"key"_s, u"Return"_s});  // the notice
    ASSERT_TRUE(waitForLog(u"Exiting FormShow"_s, 5000));
    xdotool({u"windowactivate"_s, u"--sync"_s, visibleMainWindow()});
    xdotool({u"key"_s, u"ctrl+F7"_s});  // Read to File
    const QString wav = home() + u"/Files/Kept.wav"_s;
    ASSERT_TRUE(waitFor([&] { return TestSupport::readWav(wav).whole; }, 20000)) << log().toStdString();
    EXPECT_GT(TestSupport::readWav(wav).seconds(), 1.0);

    QProcess::execute(u"bash"_s, {HEADLESS_AUDIO_SCRIPT, u"start"_s, sound.path()});
    const auto stopServer = qScopeGuard([&] {
        QProcess::execute(u"bash"_s, {HEADLESS_AUDIO_SCRIPT, u"stop"_s, sound.path()});
    });
    xdotool({u"key"_s, u"ctrl+F6"_s});  // Read Aloud
    ASSERT_TRUE(waitFor([&] { return log().count(u"Article 1 of 1 : Kept"_s) == 2; }, 10000)) << log().toStdString();
    endWith(SIGTERM);
    EXPECT_EQ(log().count(u"No sound output at start"_s), 1);
}

// A screen that holds the window at twice its size.
class EndToEndLookTest : public ProgramTest::ProgramUnderXvfb
{
protected:
    QString screenSize() const override { return u"2560x1600x24"_s; }
    void TearDown() override
    {
        stop(m_windowManager);
        ProgramUnderXvfb::TearDown();
    }
    // For the last run: frames the windows as a desktop does, so that
    // placements moving by a frame's offset show.
    QProcess m_windowManager;
};

// The probe (LookProbe.cpp) looks at every options page in both list modes,
// the voice drop-down and three dialogs from inside the program and leaves its
// screenshots in look-artefacts/; under a window manager the voice editor
// opened again and the window brought back from the tray show where they were.
// Two runs also show that "-auto" hides the window only when written as the
// first argument, in small letters (after a file, which opens, it is ignored).
TEST_F(EndToEndLookTest, NothingIsCutOrOutsideTheWindowAtLargerFontsTwiceTheScaleOrFontResolution)
{
    const QString shots = QCoreApplication::applicationDirPath() + u"/look-artefacts"_s;
    ASSERT_TRUE(QDir().mkpath(shots));
    const QProcessEnvironment plain = m_env;
    const QString notes = home() + u"/notes.txt"_s;
    ASSERT_TRUE(TestSupport::writeFile(notes, "Notes opened at the start."));
    // Desktop fonts of 9, 11 and 14 points (also changed while running),
    // twice the scale, and twice the font's pixels in an unscaled window.
    const struct {
        const char *name;
        QStringList variables;
        QStringList arguments;
    } cases[] = {{"font-9pt", {u"VOXTRELLA_LOOK_POINTS=9"_s}, {u"-AUTO"_s}},
                 {"font-11pt", {u"VOXTRELLA_LOOK_POINTS=11"_s}, {notes, u"-auto"_s}},
                 {"font-14pt", {u"VOXTRELLA_LOOK_POINTS=14"_s}, {}},
                 {"font-14pt-live", {u"VOXTRELLA_LOOK_LIVE_POINTS=14"_s}, {}},
                 {"scale-200", {u"QT_SCALE_FACTOR=2"_s}, {}},
                 {"font-192dpi", {u"QT_ENABLE_HIGHDPI_SCALING=0"_s, u"QT_FONT_DPI=192"_s}, {}},
                 {"framed", {u"VOXTRELLA_LOOK_PLACEMENTS=1"_s}, {}}};
    for (const auto &[name, variables, arguments] : cases) {
        SCOPED_TRACE(name);
        const QString report = home() + u'/' + QLatin1String(name);
        m_env = plain;
        for (const QString &variable : variables)
            m_env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        m_env.insert(u"QT_PLUGIN_PATH"_s, QStringLiteral(VOXTRELLA_LOOK_PROBE_DIR));
        m_env.insert(u"QT_QPA_GENERIC_PLUGINS"_s, u"voxtrellalookprobe"_s);
        m_env.insert(u"VOXTRELLA_LOOK_REPORT"_s, report);
        m_env.insert(u"VOXTRELLA_LOOK_SHOTS"_s, shots);
        const bool framed = m_env.contains(u"VOXTRELLA_LOOK_PLACEMENTS"_s);
        if (framed) {
            ASSERT_FALSE(QStandardPaths::findExecutable(u"openbox"_s).isEmpty()) << "openbox is needed";
            // A home of its own: the runs before placed the window without a frame.
            m_env.insert(u"VOXTRELLA_HOME"_s, home() + u"/framed-home"_s);
            m_windowManager.setProcessEnvironment(m_env);
            m_windowManager.start(u"openbox"_s, {});
            ASSERT_TRUE(m_windowManager.waitForStarted());
        }
        startProgram(m_first, arguments);
        ASSERT_TRUE(waitFor([&] { return QFile::exists(report); }, 60000)) << log().toStdString();
        const QStringList pages = QString::fromUtf8(readFile(report)).split(u'\n', Qt::SkipEmptyParts);
        // Four tabs in each list mode, the voice drop-down, the device dialog and the folder chooser;
        // framed also the voice editor twice and the window back from the tray.
        EXPECT_EQ(pages.size(), framed ? 14 : 11) << pages.join(u'\n').toStdString();
        for (const QString &page : pages)
            EXPECT_TRUE(page.endsWith(u": "_s)) << page.toStdString();
        EXPECT_FALSE(visibleMainWindow().isEmpty());
        endWith(SIGTERM);
    }
}

}  // namespace
