#include "SingleInstance.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QUuid>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// A socket path of its own for every test, inside the test's home folder.
QString uniqueSocketPath()
{
    return QDir(TestSupport::homeDir())
        .filePath(QStringLiteral("vx-%1.sock")
                      .arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
}

// Leaves a bound but unserved socket file, as a crashed run does.
bool leaveStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    if (static_cast<size_t>(p.size()) >= sizeof addr.sun_path) {
        ::close(fd);
        return false;
    }
    std::memcpy(addr.sun_path, p.constData(), p.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);  // closing does not remove the file
    return bound && QFileInfo::exists(path);
}

}  // namespace

TEST(SingleInstance, SecondStartSendsRestoreRequestAndYields)
{
    const QString name = uniqueSocketPath();
    SingleInstance first(name);
    ASSERT_TRUE(first.tryBecomePrimary());
    EXPECT_TRUE(first.isPrimary());
    QSignalSpy restores(&first, &SingleInstance::restoreRequested);

    SingleInstance second(name);
    EXPECT_FALSE(second.tryBecomePrimary());
    EXPECT_FALSE(second.isPrimary());
    EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() >= 1; }, 2000));

    // Every later start asks again, one request each.
    SingleInstance third(name);
    EXPECT_FALSE(third.tryBecomePrimary());
    EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() >= 2; }, 2000));
    TestSupport::waitFor([] { return false; }, 100);
    EXPECT_EQ(restores.count(), 2);
}

TEST(SingleInstance, StaleSocketFromCrashedRunIsReplaced)
{
    const QString name = uniqueSocketPath();
    ASSERT_TRUE(leaveStaleSocket(name));

    SingleInstance first(name);
    EXPECT_TRUE(first.tryBecomePrimary());

    // The new server really serves the name.
    QSignalSpy restores(&first, &SingleInstance::restoreRequested);
    SingleInstance second(name);
    EXPECT_FALSE(second.tryBecomePrimary());
    EXPECT_TRUE(TestSupport::waitFor([&] { return restores.count() == 1; }, 2000));
}

TEST(SingleInstance, NameIsFreeAgainAfterPrimaryEnds)
{
    const QString name = uniqueSocketPath();
    {
        SingleInstance first(name);
        ASSERT_TRUE(first.tryBecomePrimary());
    }
    SingleInstance next(name);
    EXPECT_TRUE(next.tryBecomePrimary());
}

TEST(SingleInstance, UnrelatedDataOnTheSocketIsNotARestoreRequest)
{
    const QString name = uniqueSocketPath();
    SingleInstance first(name);
    ASSERT_TRUE(first.tryBecomePrimary());
    QSignalSpy restores(&first, &SingleInstance::restoreRequested);

    QLocalSocket client;
    client.connectToServer(name);
    ASSERT_TRUE(client.waitForConnected(1000));
    client.write("HELLO\nRESTORE-NOT\n");
    client.waitForBytesWritten(1000);
    TestSupport::waitFor([] { return false; }, 200);
    EXPECT_EQ(restores.count(), 0);
}

TEST(SingleInstance, DefaultNameDependsOnUserFolder)
{
    const QString a = SingleInstance::defaultServerName();
    qputenv("VOXTRELLA_HOME", QDir(TestSupport::homeDir()).filePath("other").toLocal8Bit());
    const QString b = SingleInstance::defaultServerName();
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(b).fileName().startsWith(QStringLiteral("voxtrella-")));
    // A Unix socket path must fit its address field.
    EXPECT_LT(QFile::encodeName(b).size(), 100);
}
