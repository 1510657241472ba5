#include "DiagnosticLog.h"
#include "AppPaths.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

QByteArray logOf(const char *suffix)
{
    return readFile(AppPaths::logBaseName() + QLatin1String(suffix));
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 256) & 0xff);
    return bytes;
}

QString home(const char *name)
{
    return TestSupport::homeDir() + u'/' + QLatin1String(name);
}

}  // namespace

TEST(DiagnosticLog, FiveRunsKeepFourGenerationsOfDatedLinesEndingInCrLf)
{
    for (int run = 1; run <= 5; ++run) {
        EXPECT_NO_THROW(DiagnosticLog::RotateLogs());
        // Rotation creates no generation it has nothing for.
        EXPECT_FALSE(run == 1 && QFile::exists(DiagnosticLog::LogFileName()));
        EXPECT_EQ(QFile::exists(AppPaths::logBaseName() + "3.dbg"), run > 3) << run;
        DiagnosticLog::WriteLog(QString::fromUtf8("run %1 \xc3\xa4").arg(run));
    }
    const std::pair<const char *, const char *> expected[] = {{".dbg", " - run 5 \xc3\xa4\r\n"},
                                                              {"1.dbg", " - run 4 \xc3\xa4\r\n"},
                                                              {"2.dbg", " - run 3 \xc3\xa4\r\n"},
                                                              {"3.dbg", " - run 2 \xc3\xa4\r\n"}};
    for (const auto &[suffix, line] : expected) {
        EXPECT_TRUE(logOf(suffix).endsWith(line)) << suffix;
        EXPECT_EQ(logOf(suffix).count("\r\n"), 1) << suffix;
    }
    // "<date> <time> - <message>"
    EXPECT_TRUE(QRegularExpression("^\\S*\\d\\S* .*\\d.* - run 5").match(QString::fromUtf8(logOf(".dbg"))).hasMatch());
}

TEST(DiagnosticLog, ReadOnlyUserFolderMakesWritesFailSilently)
{
    // A start in a user folder that cannot be written: no log can be made.
    const QString home = TestSupport::homeDir();
    DiagnosticLog::WriteLog("before");
    ASSERT_TRUE(QFile::rename(DiagnosticLog::LogFileName(), AppPaths::logBaseName() + "1.dbg"));
    QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        EXPECT_NO_THROW(DiagnosticLog::WriteLog("lost"));
        // Rotation cannot create the older generation and says so.
        EXPECT_THROW(DiagnosticLog::RotateLogs(), EAppError);
    }
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(QFile::exists(DiagnosticLog::LogFileName()));
}

TEST(DiagnosticLog, LogsStayReadableByTheUserAloneThroughRotation)
{
    const auto modeOf = [](const char *suffix) { return TestSupport::fileMode(AppPaths::logBaseName() + suffix); };
    // An older run's log, opened to everyone, is replaced by this run's.
    ASSERT_TRUE(writeFile(AppPaths::logBaseName() + "1.dbg", "older\r\n"));
    ::chmod(QFile::encodeName(AppPaths::logBaseName() + "1.dbg").constData(), 0644);
    DiagnosticLog::WriteLog("this run");
    EXPECT_EQ(modeOf(".dbg"), 0600u);
    const QByteArray current = logOf(".dbg");
    DiagnosticLog::RotateLogs();
    EXPECT_EQ(logOf("1.dbg"), current);
    EXPECT_EQ(modeOf("1.dbg"), 0600u);
    EXPECT_EQ(logOf("2.dbg"), "older\r\n");
}

// The program copies only to rotate its logs; copying into a folder is left unchecked.
TEST(CopyFile, CopiesEveryByte)
{
    for (int size : {0, 8191, 8192, 3 * 8192 + 17}) {
        ASSERT_TRUE(writeFile(home("src.bin"), pattern(size)));
        ASSERT_TRUE(writeFile(home("dst.bin"), "old and longer than some"));
        DiagnosticLog::CopyFile(home("src.bin"), home("dst.bin"));
        EXPECT_EQ(readFile(home("dst.bin")), pattern(size)) << "size " << size;
    }
}

// A destination that cannot be made fails the rotation: DiagnosticLog.ReadOnlyUserFolderMakesWritesFailSilently.
TEST(CopyFile, AMissingSourceIsNamedAndCreatesNothing)
{
    try {
        DiagnosticLog::CopyFile(home("missing.txt"), home("out.txt"));
        ADD_FAILURE() << "copying a missing file must fail";
    } catch (const EFOpenError &e) {
        EXPECT_TRUE(e.message().contains(home("missing.txt"))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(home("out.txt")));
}

TEST(CopyFile, ASpecialFileDestinationIsWrittenNotReplaced)
{
    // Renaming a temporary file over a device or pipe would replace it with
    // a plain file; the copy must write into it instead.
    const QByteArray path = QFile::encodeName(home("pipe"));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        const int fd = ::open(path.constData(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        ::close(fd);
    });
    ASSERT_TRUE(writeFile(home("a.txt"), pattern(100000)));
    EXPECT_NO_THROW(DiagnosticLog::CopyFile(home("a.txt"), home("pipe")));
    if (const int unblock = ::open(path.constData(), O_WRONLY | O_NONBLOCK); unblock >= 0)
        ::close(unblock);  // in case the copy never opened the pipe
    reader.join();
    EXPECT_FALSE(QFileInfo(home("pipe")).isFile());
    EXPECT_EQ(received, pattern(100000));
}
