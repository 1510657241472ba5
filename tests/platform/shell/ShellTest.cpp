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
#include <atomic>
#include <csignal>
#include <functional>
#include <thread>
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

TEST(SingleInstance, CommandsCrossTheSocketWholeAndAnythingElseIsNoCommand)
{
    using Command = SingleInstance::Command;
    const QString odd = QStringLiteral("/tmp/a b\nc 'd' \u00e9\u4e2d %20.txt");
    for (const Command &command :
         {Command{SingleInstance::kOpen, {odd, "/x", QString(200000, u'y').prepend('/')}},
          Command{SingleInstance::kReadClipboard, {}}, Command{SingleInstance::kReadSelection, {}},
          Command{SingleInstance::kPlayPause, {}}, Command{SingleInstance::kStop, {}},
          Command{SingleInstance::kSkip, {}}, Command{SingleInstance::kRestore, {}}}) {
        const QByteArray line = SingleInstance::encode(command);
        EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1) << line.left(80).toStdString();
        EXPECT_EQ(SingleInstance::decode(line), command) << line.left(80).toStdString();
    }
    // Every start before these commands sent this line for a restore.
    EXPECT_EQ(SingleInstance::encode({SingleInstance::kRestore, {}}), "RESTORE\n");

    const QByteArray path = QByteArray("/tmp/x").toBase64();
    for (const QByteArray &line :
         {QByteArray("DO open " + QByteArray("notes.txt").toBase64() + "\n"),  // relative: whose folder?
          QByteArray("DO open\n"), QByteArray("DO stop " + path + "\n"), QByteArray("DO restore\n"),
          QByteArray("DO format-disk\n"), QByteArray("DO open !!!\n"), QByteArray("DO open " + path + "  \n"),
          QByteArray("DO open " + QByteArray("/tmp/\xff").toBase64() + "\n"),
          QByteArray("DO open " + QByteArray("/tmp/a\0b", 8).toBase64() + "\n"), QByteArray("DO stop"),
          QByteArray("DO stop\nDO skip\n"), QByteArray("RESTORE"),
          QByteArray("DO open " + QByteArray(SingleInstance::kMaxLineBytes, 'A') + "\n")})
        EXPECT_FALSE(SingleInstance::decode(line)) << line.left(80).toStdString();

    // The window's arguments, from a working folder of this start's own.
    QString error;
    const auto command = [&](const QStringList &arguments) {
        return SingleInstance::fromArguments(arguments, "/home/ann/docs", &error);
    };
    EXPECT_EQ(command({}), (Command{SingleInstance::kRestore, {}}));
    EXPECT_EQ(command({"-AUTO", "x.txt"}), (Command{SingleInstance::kRestore, {}}));
    EXPECT_EQ(command({"--read-selection"}), (Command{SingleInstance::kReadSelection, {}}));
    EXPECT_EQ(command({"notes.txt", "-auto", "../b.html", "/abs/c d.txt", "file:///tmp/e%20f.txt"}),
              (Command{SingleInstance::kOpen,
                       {"/home/ann/docs/notes.txt", "/home/ann/docs/../b.html", "/abs/c d.txt", "/tmp/e f.txt"}}));
    EXPECT_FALSE(command({"--stop", "notes.txt"}));
    EXPECT_TRUE(error.contains("--stop")) << error.toStdString();
    EXPECT_EQ(command({"--open", "/x"}), (Command{SingleInstance::kRestore, {}})) << "files are given by name alone";
}

namespace {

// A later start in a thread of its own, while this thread's event loop
// serves the primary (or the stand-in for one).
std::pair<bool, QString> handOverFromAnotherThread(const SingleInstance::Command &command)
{
    std::atomic<bool> done = false;
    std::pair<bool, QString> result;
    std::thread start([&] {
        SingleInstance later(socketPath());
        result.first = later.tryBecomePrimary(command);
        result.second = later.failure();
        done = true;
    });
    TestSupport::waitFor([&] { return done.load(); }, 3 * SingleInstance::kAnswerTimeoutMs);
    start.join();
    return result;
}

}  // namespace

TEST(SingleInstance, ALaterStartsCommandReachesTheHandlerAndItsAnswerComesBack)
{
    {
        SingleInstance first(socketPath());
        ASSERT_TRUE(first.tryBecomePrimary());
        QList<SingleInstance::Command> taken;
        // Sent before the window was there to take it: it waits for the handler.
        std::atomic<bool> done = false;
        std::pair<bool, QString> early;
        std::thread start([&] {
            SingleInstance later(socketPath());
            early = {later.tryBecomePrimary({SingleInstance::kStop, {}}), later.failure()};
            done = true;
        });
        TestSupport::idle(300);
        EXPECT_FALSE(done.load());
        first.setCommandHandler([&](const SingleInstance::Command &command) {
            taken << command;
            return command.name == SingleInstance::kStop ? QStringLiteral("Nothing is being read now.") : QString();
        });
        ASSERT_TRUE(TestSupport::waitFor([&] { return done.load(); }, 5000));
        start.join();
        EXPECT_EQ(early, std::make_pair(false, QStringLiteral("Nothing is being read now.")));

        // Far more than a socket buffer holds at once: a whole folder of books.
        SingleInstance::Command open{SingleInstance::kOpen, {"/tmp/one.txt", "/tmp/two words.html"}};
        for (int i = 0; i < 6000; ++i)
            open.arguments << QStringLiteral("/home/ann/Books/%1 %2.epub").arg(i).arg(QString(200, u'x'));
        EXPECT_EQ(handOverFromAnotherThread(open), std::make_pair(false, QString()));
        ASSERT_GE(taken.size(), 3) << "the files go as several lines";
        EXPECT_EQ(taken.takeFirst(), (SingleInstance::Command{SingleInstance::kStop, {}}));
        QStringList received;
        for (const SingleInstance::Command &part : taken)
            received << part.arguments;
        EXPECT_EQ(received, open.arguments);
    }

    // Something that answers like us but then hangs up: the start ends, and
    // says that the command was not taken.
    QLocalServer impostor;
    ASSERT_TRUE(impostor.listen(socketPath()));
    QObject::connect(&impostor, &QLocalServer::newConnection, [&] {
        QLocalSocket *socket = impostor.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->readLine() == "VOXTRELLA?\n")
                socket->write("VOXTRELLA\n");
            else
                socket->disconnectFromServer();
        });
    });
    const auto [primary, failure] = handOverFromAnotherThread({SingleInstance::kSkip, {}});
    EXPECT_FALSE(primary);
    EXPECT_TRUE(failure.contains("before taking the command")) << failure.toStdString();
    impostor.close();

    // One that never answers is not us: a command makes this start the primary.
    QLocalServer squatter;
    ASSERT_TRUE(squatter.listen(socketPath()));
    SingleInstance commanded(socketPath());
    EXPECT_TRUE(commanded.tryBecomePrimary({SingleInstance::kReadClipboard, {}}));
    EXPECT_TRUE(commanded.failure().isEmpty());
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
