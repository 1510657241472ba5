#pragma once
// The real voxtrella executable on a private Xvfb display, for the tests
// that must see what the program does as a whole: starting, ending on a
// signal, and what it leaves in its files.
//
// A tray is stood in for by owning the system tray selection of the display,
// which is what makes a desktop's tray "available" to programs.
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
#include <functional>

namespace ProgramTest {

using namespace Qt::StringLiterals;
using TestSupport::readFile;

class XvfbDisplay
{
public:
    ~XvfbDisplay() { stop(); }

    // size: the screen as Xvfb takes it, width x height x depth.
    bool start(const QString &size = u"1024x768x24"_s)
    {
        for (int n = 91; n < 160; ++n) {
            if (QFile::exists(u"/tmp/.X%1-lock"_s.arg(n)) || QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n)))
                continue;
            m_name = u":%1"_s.arg(n);
            m_server.start(u"Xvfb"_s,
                           {m_name, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s, size});
            if (!m_server.waitForStarted(5000))
                return false;
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 10000 && m_server.state() == QProcess::Running) {
                if (QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n)) && connectTray())
                    return true;
                QThread::msleep(50);
            }
            stop();
        }
        return false;
    }

    void stop()
    {
        if (m_tray) {
            xcb_disconnect(m_tray);
            m_tray = nullptr;
        }
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(5000);
        }
    }

    QString name() const { return m_name; }

private:
    // Owns "_NET_SYSTEM_TRAY_S0": programs on this display now see a tray.
    bool connectTray()
    {
        m_tray = xcb_connect(m_name.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(m_tray)) {
            xcb_disconnect(m_tray);
            m_tray = nullptr;
            return false;
        }
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

    QProcess m_server;
    QString m_name;
    xcb_connection_t *m_tray = nullptr;
};

class ProgramUnderXvfb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
            GTEST_SKIP() << "Xvfb and xdotool are needed";
        // The program refuses to run without a sound device; the test
        // command provides a private sound server.
        if (audio::audioSystem().outputDeviceCount() <= 0)
            GTEST_SKIP() << "no sound server (run through scripts/run-tests.sh)";
        ASSERT_TRUE(m_display.start(screenSize()));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"DISPLAY"_s, m_display.name());
        m_env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        m_env.insert(u"VOXTRELLA_HOME"_s, home());
        m_env.remove(u"WAYLAND_DISPLAY"_s);
    }

    void TearDown() override
    {
        for (QProcess *p : {&m_first, &m_second}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        m_display.stop();
    }

    virtual QString screenSize() const { return u"1024x768x24"_s; }
    static QString home() { return TestSupport::homeDir(); }

    void startProgram(QProcess &process, const QStringList &args)
    {
        process.setProcessEnvironment(m_env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(VOXTRELLA_EXECUTABLE), args);
        ASSERT_TRUE(process.waitForStarted(5000));
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
        return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Voxtrella MP3$"_s})
            .section(u'\n', 0, 0);
    }

    bool waitUntil(const std::function<bool()> &pred, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(100);
        }
        return true;
    }

    QString log() { return QString::fromUtf8(readFile(home() + u"/voxtrella.dbg"_s)); }

    XvfbDisplay m_display;
    QProcessEnvironment m_env;
    QProcess m_first;
    QProcess m_second;
};

}  // namespace ProgramTest
