// Shutdown signals, the single-instance check and the login autostart entry.
#include "ShutdownSignals.h"
#include "TestSupport.h"
#include "SingleInstance.h"
#include "Autostart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

TEST(ShutdownSignals, TermAndIntArriveOnTheEventLoopAndDefaultsComeBackAfterwards)
{
    std::vector<int> numbers;
    {
        ShutdownSignals shutdown;
        ASSERT_TRUE(shutdown.isActive());
        EXPECT_FALSE(ShutdownSignals().isActive()) << "the handlers have one owner at a time";
        QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested,
                         [&](ShutdownSignals::Reason reason, int number) {
                             EXPECT_EQ(reason, ShutdownSignals::Reason::Signal);
                             numbers.push_back(number);
                         });
        ::raise(SIGTERM);
        EXPECT_TRUE(numbers.empty()) << "nothing may run inside the signal handler";
        ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 1; }, 2000));
        ::raise(SIGINT);
        ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 2; }, 2000));
    }
    EXPECT_EQ(numbers, (std::vector<int>{SIGTERM, SIGINT}));
    struct sigaction action = {};
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    EXPECT_TRUE(ShutdownSignals().isActive());
}

namespace {

QString socketPath()
{
    return QDir(TestSupport::homeDir()).filePath("vx.sock");
}

// A bound but unserved socket file, as a crashed run leaves.
bool leaveStaleSocket()
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath());
    if (size_t(path.size()) >= sizeof addr.sun_path)
        return false;
    std::copy(path.begin(), path.end(), addr.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);  // closing does not remove the file
    return bound && QFile::exists(socketPath());
}

}  // namespace

TEST(SingleInstance, LaterStartsSendOneRestoreRequestEachAndYield)
{
    {
        SingleInstance first(socketPath());
        ASSERT_TRUE(first.tryBecomePrimary());
        QSignalSpy restores(&first, &SingleInstance::restoreRequested);
        for (int start = 1; start <= 2; ++start) {
            SingleInstance later(socketPath());
            EXPECT_FALSE(later.tryBecomePrimary());
            EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() >= start; }, 2000));
        }
        // Unrelated data on the socket is not a restore request.
        QLocalSocket client;
        client.connectToServer(socketPath());
        ASSERT_TRUE(client.waitForConnected(1000));
        client.write("HELLO\nRESTORE-NOT\n");
        client.waitForBytesWritten(1000);
        TestSupport::idle(200);
        EXPECT_EQ(restores.count(), 2);
    }
    SingleInstance next(socketPath());
    EXPECT_TRUE(next.tryBecomePrimary()) << "the name is free again after the primary ends";
}

TEST(SingleInstance, AStaleSocketASilentServerOrAFileInItsPlaceIsReplaced)
{
    QLocalServer squatter;  // accepts connections but answers nothing
    const std::pair<const char *, std::function<bool()>> occupants[] = {
        {"a crashed run's socket", leaveStaleSocket},
        {"a silent server", [&] { return squatter.listen(socketPath()); }},
        {"a plain file", [] { return TestSupport::writeFile(socketPath(), "not a socket"); }},
    };
    for (const auto &[what, occupy] : occupants) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(occupy());
        SingleInstance first(socketPath());
        EXPECT_TRUE(first.tryBecomePrimary());
        QSignalSpy restores(&first, &SingleInstance::restoreRequested);
        EXPECT_FALSE(SingleInstance(socketPath()).tryBecomePrimary()) << "the first start serves the name now";
        EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() == 1; }, 2000));
    }
    EXPECT_TRUE(SingleInstance(QString()).tryBecomePrimary()) << "no safe folder: the program runs without the check";
}

TEST(SingleInstance, TheSocketFolderIsTheUsersAloneOrNotUsedAndTheNameFollowsTheUserFolder)
{
    // XDG_CACHE_HOME is the test's own (see TestMain.cpp); XDG_RUNTIME_DIR is put back at the end.
    const TestSupport::ScopedEnv runtime("XDG_RUNTIME_DIR", QByteArray());
    const QString root = TestSupport::homeDir();
    const QString cacheRun = root + "/cache/voxtrella-run";
    const auto makeDir = [&](const char *name, mode_t mode) {
        const QString dir = root + "/" + name;
        ::mkdir(QFile::encodeName(dir).constData(), mode);
        ::chmod(QFile::encodeName(dir).constData(), mode);
        return dir;
    };

    EXPECT_EQ(SingleInstance::runtimeFolder(), cacheRun);
    EXPECT_EQ(TestSupport::fileMode(cacheRun), 0700u);
    // One name per user folder, short enough for a socket address.
    const QString name = SingleInstance::defaultServerName();
    EXPECT_TRUE(name.startsWith(cacheRun + "/voxtrella-"));
    EXPECT_LT(QFile::encodeName(name).size(), 100);
    {
        const TestSupport::ScopedEnv otherHome("VOXTRELLA_HOME", (root + "/other").toLocal8Bit());
        EXPECT_NE(SingleInstance::defaultServerName(), name);
    }

    const QString good = makeDir("run-good", 0700);
    const QString open = makeDir("run-open", 0777);
    const QString link = root + "/run-link";
    ASSERT_TRUE(QFile::link(good, link));
    QStringList refused{open, link, "relative/run"};
    if (::geteuid() == 0) {
        const QString foreign = makeDir("run-foreign", 0700);
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
        refused << foreign;
    }
    qputenv("XDG_RUNTIME_DIR", good.toLocal8Bit());
    EXPECT_EQ(SingleInstance::runtimeFolder(), good);
    for (const QString &runtime : refused) {
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        EXPECT_EQ(SingleInstance::runtimeFolder(), cacheRun) << runtime.toStdString();
    }

    // Another user made our folder's name first in a shared cache: a folder
    // of ours beside it serves, found again by every later start, and the
    // check holds.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString own = cacheRun + "-" + QString::number(::getuid());
    for (const QString &taken : ::geteuid() == 0 ? QStringList{cacheRun, own} : QStringList()) {
        ASSERT_EQ(::chown(QFile::encodeName(taken).constData(), 65534, 65534), 0);
        ASSERT_TRUE(QFile::link(cacheRun, own + "-AAAAAA"));  // a link is never ours
        const QString folder = SingleInstance::runtimeFolder();
        EXPECT_TRUE(folder.startsWith(own) && folder != taken) << folder.toStdString();
        EXPECT_EQ(QFileInfo(folder).ownerId(), ::getuid());
        EXPECT_EQ(TestSupport::fileMode(folder), 0700u);
        EXPECT_EQ(SingleInstance::runtimeFolder(), folder);
        SingleInstance first;
        ASSERT_TRUE(first.tryBecomePrimary() && first.serverName().startsWith(folder + "/"));
        EXPECT_FALSE(SingleInstance().tryBecomePrimary());
        QFile::remove(own + "-AAAAAA");
    }

    // The cache folder cannot be made: no folder, and no single-instance check.
    ASSERT_TRUE(TestSupport::writeFile(root + "/file", "x"));
    qputenv("XDG_CACHE_HOME", (root + "/file").toLocal8Bit());
    EXPECT_EQ(SingleInstance::defaultServerName(), QString());
}

TEST(Autostart, TheEntryStartsTheProgramQuotedWithAutoAndThisHomeAndPassesTheValidator)
{
    // Rewriting the entry of a moved program: tests/app/MainWindowTest (AutostartCheckBox...).
    const QString home = qEnvironmentVariable("VOXTRELLA_HOME");
    ASSERT_FALSE(home.isEmpty());
    const auto validate = [] {  // desktop-file-validate, of desktop-file-utils: silent when all is well
        QProcess validator;
        validator.setProcessChannelMode(QProcess::MergedChannels);
        validator.start("desktop-file-validate", {Autostart::filePath()});
        const bool ran = validator.waitForFinished(10000);
        EXPECT_TRUE(ran && validator.exitCode() == 0 && validator.atEnd()) << validator.readAll().toStdString();
    };
    ASSERT_TRUE(Autostart::write("/home/ann/My Programs/voxtrella"));
    const QString entry = QString::fromUtf8(TestSupport::readFile(Autostart::filePath()));
    EXPECT_TRUE(entry.contains("\nExec=env VOXTRELLA_HOME=" + home + " \"/home/ann/My Programs/voxtrella\" -auto\n"))
        << entry.toStdString();
    validate();
    // Inside quotes ", `, $ and \ take a backslash, and the file doubles every
    // backslash once more; % is doubled for the Exec field codes.
    const QString odd = "/a b/$x\"y`z\\w%/vx";
    EXPECT_EQ(Autostart::execLine(odd), "\"/a b/\\\\$x\\\\\"y\\\\`z\\\\\\\\w%%/vx\" -auto");
    EXPECT_EQ(Autostart::execLine("/opt/100%/vx"), "\"/opt/100%%/vx\" -auto");
    EXPECT_EQ(Autostart::execLine("/opt/it's/vx", "/media/usb/my vx"),
              "env \"VOXTRELLA_HOME=/media/usb/my vx\" \"/opt/it's/vx\" -auto");
    EXPECT_EQ(Autostart::execLine("/opt/vx", "/tmp/a\nb"), "");
    qputenv("VOXTRELLA_HOME", (home + odd).toUtf8());
    ASSERT_TRUE(Autostart::write(odd));
    qputenv("VOXTRELLA_HOME", home.toUtf8());
    validate();

    EXPECT_TRUE(Autostart::remove());
    EXPECT_FALSE(Autostart::exists());
    EXPECT_TRUE(Autostart::remove()) << "removing what is not there is not a failure";
}

TEST(Autostart, FailedWritesLeaveTheEntryAsItWas)
{
    // A plain file where the autostart folder should be.
    const QString folder = QFileInfo(Autostart::filePath()).absolutePath();
    ASSERT_TRUE(TestSupport::writeFile(folder, "not a folder"));
    EXPECT_FALSE(Autostart::write("/usr/bin/voxtrella"));
    EXPECT_FALSE(Autostart::exists());

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(Autostart::write("/usr/bin/voxtrella"));
    const QByteArray before = TestSupport::readFile(Autostart::filePath());
    EXPECT_FALSE(Autostart::write("/tmp/bad\nExec=rm -rf ~/voxtrella"));
    EXPECT_FALSE(Autostart::write(QString()));
    EXPECT_EQ(TestSupport::readFile(Autostart::filePath()), before);
}
