// Shutdown signals, the single-instance check and the login autostart entry.
#include "ShutdownSignals.h"
#include "TestSupport.h"
#include "SingleInstance.h"
#include "Autostart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>

#include <algorithm>
#include <csignal>
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
        TestSupport::waitFor([] { return false; }, 200);
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

TEST(SingleInstance, DefaultNameDependsOnUserFolderAndFitsASocketAddress)
{
    const QString a = SingleInstance::defaultServerName();
    qputenv("VOXTRELLA_HOME", QDir(TestSupport::homeDir()).filePath("other").toLocal8Bit());
    const QString b = SingleInstance::defaultServerName();
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(b).fileName().startsWith("voxtrella-"));
    EXPECT_LT(QFile::encodeName(b).size(), 100);
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
