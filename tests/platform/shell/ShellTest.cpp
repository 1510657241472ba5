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
#include <QSignalSpy>

#include <algorithm>
#include <csignal>
#include <memory>
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

QString entryText()
{
    return QString::fromUtf8(TestSupport::readFile(Autostart::filePath()));
}

// The Exec value as a desktop environment reads it: the key's raw value.
QString execValue()
{
    for (const QString &line : entryText().split(QLatin1Char('\n')))
        if (line.startsWith("Exec="))
            return line.mid(5);
    return {};
}

}  // namespace

TEST(SingleInstance, LaterStartsSendOneRestoreRequestEachAndYield)
{
    {
        SingleInstance first(socketPath());
        ASSERT_TRUE(first.tryBecomePrimary());
        EXPECT_TRUE(first.isPrimary());
        QSignalSpy restores(&first, &SingleInstance::restoreRequested);
        for (int start = 1; start <= 2; ++start) {
            SingleInstance later(socketPath());
            EXPECT_FALSE(later.tryBecomePrimary());
            EXPECT_FALSE(later.isPrimary());
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

TEST(SingleInstance, StaleSocketFromCrashedRunIsReplaced)
{
    // A bound but unserved socket file, as a crashed run leaves.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath());
    ASSERT_LT(size_t(path.size()), sizeof addr.sun_path);
    std::copy(path.begin(), path.end(), addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ::close(fd);  // closing does not remove the file
    ASSERT_TRUE(QFile::exists(socketPath()));

    SingleInstance first(socketPath());
    EXPECT_TRUE(first.tryBecomePrimary());
    QSignalSpy restores(&first, &SingleInstance::restoreRequested);
    SingleInstance second(socketPath());
    EXPECT_FALSE(second.tryBecomePrimary());
    EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() == 1; }, 2000)) << "the new server serves the name";
}

TEST(SingleInstance, WhateverHoldsTheNameWithoutAnsweringLikeUsDoesNotStopTheStart)
{
    // Something that accepts connections but answers nothing ...
    QLocalServer squatter;
    ASSERT_TRUE(squatter.listen(socketPath()));
    auto first = std::make_unique<SingleInstance>(socketPath());
    EXPECT_TRUE(first->tryBecomePrimary());
    SingleInstance second(socketPath());
    EXPECT_FALSE(second.tryBecomePrimary()) << "the first start serves the name now";

    // ... or a plain file in the socket's place.
    first.reset();
    ASSERT_TRUE(TestSupport::writeFile(socketPath(), "not a socket"));
    SingleInstance third(socketPath());
    EXPECT_TRUE(third.tryBecomePrimary());
    QSignalSpy restores(&third, &SingleInstance::restoreRequested);
    EXPECT_FALSE(SingleInstance(socketPath()).tryBecomePrimary());
    EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() == 1; }, 2000));

    // No safe folder at all: the program runs without the check.
    EXPECT_TRUE(SingleInstance(QString()).tryBecomePrimary());
}

TEST(SingleInstance, TheSocketFolderIsTheUsersAloneOrNotUsed)
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
    EXPECT_TRUE(SingleInstance::defaultServerName().startsWith(cacheRun + "/voxtrella-"));

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

    // The cache folder cannot be made: no folder, and no single-instance check.
    ASSERT_TRUE(TestSupport::writeFile(root + "/file", "x"));
    qputenv("XDG_CACHE_HOME", (root + "/file").toLocal8Bit());
    EXPECT_EQ(SingleInstance::defaultServerName(), QString());
}

TEST(SingleInstance, DefaultNameDependsOnUserFolderAndFitsASocketAddress)
{
    const QString a = SingleInstance::defaultServerName();
    qputenv("VOXTRELLA_HOME", QDir(TestSupport::homeDir()).filePath("other").toLocal8Bit());
    const QString b = SingleInstance::defaultServerName();
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(b).fileName().startsWith("voxtrella-"));
    EXPECT_LT(QFile::encodeName(b).size(), 100);
    // A relative value is ignored here as everywhere else.
    qputenv("VOXTRELLA_HOME", "relative/home");
    const QString relative = SingleInstance::defaultServerName();
    qunsetenv("VOXTRELLA_HOME");
    EXPECT_EQ(relative, SingleInstance::defaultServerName());
}

TEST(Autostart, WriteCreatesAHiddenStartEntryThatFollowsAMovedProgramAndRemoveDeletesIt)
{
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(Autostart::filePath()).absolutePath()));
    EXPECT_FALSE(Autostart::exists());
    ASSERT_TRUE(Autostart::write("/usr/bin/voxtrella"));
    EXPECT_TRUE(Autostart::exists());
    EXPECT_TRUE(entryText().startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entryText().contains("\nType=Application\n"));
    EXPECT_EQ(execValue(), "/usr/bin/voxtrella -auto");

    ASSERT_TRUE(Autostart::write("/opt/new/voxtrella"));
    EXPECT_EQ(execValue(), "/opt/new/voxtrella -auto");
    EXPECT_FALSE(entryText().contains("/usr/bin"));
    EXPECT_EQ(entryText().count("Exec="), 1);

    EXPECT_TRUE(Autostart::remove());
    EXPECT_FALSE(Autostart::exists());
    EXPECT_TRUE(Autostart::remove()) << "removing what is not there is not a failure";
}

TEST(Autostart, PathsWithBlanksAndReservedCharactersAreQuoted)
{
    ASSERT_TRUE(Autostart::write("/home/ann/My Programs/voxtrella"));
    EXPECT_EQ(execValue(), "\"/home/ann/My Programs/voxtrella\" -auto");
    // Inside quotes ", `, $ and \ take a backslash, and the file doubles every
    // backslash once more; % is doubled for the Exec field codes.
    EXPECT_EQ(Autostart::execLine("/a b/$x\"y`z\\w%/vx"), "\"/a b/\\\\$x\\\\\"y\\\\`z\\\\\\\\w%%/vx\" -auto");
    EXPECT_EQ(Autostart::execLine("/opt/100%/vx"), "/opt/100%%/vx -auto");
    EXPECT_EQ(Autostart::execLine("/opt/it's/vx"), "\"/opt/it's/vx\" -auto");
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
