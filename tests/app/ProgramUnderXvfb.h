#pragma once
// The real voxtrella executable on a private Xvfb display with a tray, for
// the tests that must see what the program does as a whole: starting, ending
// on a signal, and what it leaves in its files.
#include "TestSupport.h"
#include "platform/audio/AudioSystem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <csignal>

namespace ProgramTest {

using namespace Qt::StringLiterals;
using TestSupport::readFile;
using TestSupport::waitFor;

class ProgramUnderXvfb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
            GTEST_SKIP() << "Xvfb and xdotool are needed";
        // The program is tried as a user has it, with sound; the test
        // command provides a private sound server.
        if (audio::audioSystem().outputDeviceCount() <= 0)
            GTEST_SKIP() << "no sound server (run through scripts/run-tests.sh)";
        // Xvfb takes the first free display and names it once it accepts
        // connections; one starting at the same moment elsewhere can make it
        // quit, so it is tried again.
        for (int attempt = 0; attempt < 5 && m_display.isEmpty(); ++attempt) {
            m_xvfb.start(u"Xvfb"_s,
                         {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s, screenSize()});
            // The number and its line end may come in separate writes.
            QElapsedTimer waited;
            waited.start();
            while (!m_xvfb.canReadLine() && waited.elapsed() < 10000 && m_xvfb.state() != QProcess::NotRunning)
                m_xvfb.waitForReadyRead(int(10000 - waited.elapsed()));
            if (m_xvfb.canReadLine())
                m_display = u':' + QString::fromLatin1(m_xvfb.readLine()).trimmed();
            else
                stop(m_xvfb);
        }
        ASSERT_TRUE(standInForATray()) << "no display";
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"DISPLAY"_s, m_display);
        m_env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        m_env.insert(u"VOXTRELLA_HOME"_s, home());
        m_env.remove(u"WAYLAND_DISPLAY"_s);
    }

    void TearDown() override
    {
        stop(m_first);
        stop(m_second);
        if (m_tray)
            xcb_disconnect(m_tray);
        stop(m_xvfb);
    }

    // Ends a process that still runs: asked first (Xvfb then removes its
    // lock file), then killed.
    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Owns "_NET_SYSTEM_TRAY_S0", which is what makes a desktop's tray
    // "available": programs on the display now see a tray.
    bool standInForATray()
    {
        if (m_display.isEmpty())
            return false;
        m_tray = xcb_connect(m_display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(m_tray))
            return false;
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_tray)).data;
        const xcb_window_t window = xcb_generate_id(m_tray);
        xcb_create_window(m_tray, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const char *atomName = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(m_tray, xcb_intern_atom(m_tray, 0, uint16_t(strlen(atomName)), atomName), nullptr);
        if (!atom)
            return false;
        xcb_set_selection_owner(m_tray, window, atom->atom, XCB_CURRENT_TIME);
        free(atom);
        xcb_flush(m_tray);
        return true;
    }

    virtual QString screenSize() const { return u"1024x768x24"_s; }
    static QString home() { return TestSupport::homeDir(); }

    void startProgram(QProcess &process, const QStringList &args,
                      const QString &program = QStringLiteral(VOXTRELLA_EXECUTABLE))
    {
        process.setProcessEnvironment(m_env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, args);
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Sends the signal to the first program and waits for its normal end;
    // the milliseconds it took.
    qint64 endWith(int signal, int withinMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(m_first.processId()), signal);
        EXPECT_TRUE(m_first.waitForFinished(withinMs)) << "still running after the signal";
        EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_first.exitCode(), 0);
        return t.elapsed();
    }

    QString xdotool(const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(u"xdotool"_s, args);
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // The visible main window's id, or empty.
    QString visibleMainWindow()
    {
        return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Voxtrella MP3$"_s}).section(u'\n', 0, 0);
    }

    QString log() { return QString::fromUtf8(readFile(home() + u"/voxtrella.dbg"_s)); }
    bool waitForLog(const QString &line, int ms = 30000)
    {
        return waitFor([&] { return log().contains(line); }, ms);
    }

    QProcess m_xvfb;
    QString m_display;
    xcb_connection_t *m_tray = nullptr;
    QProcessEnvironment m_env;
    QProcess m_first;
    QProcess m_second;
};

}  // namespace ProgramTest
