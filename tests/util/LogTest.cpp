#include "UtilsClass.h"

#include "AppPaths.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

using TestSupport::readFile;

namespace {

QString base()
{
    return AppPaths::logBaseName();
}

QByteArray logOf(const char *suffix)
{
    return readFile(base() + QLatin1String(suffix));
}

// One program run as far as the log is concerned.
void run(int number)
{
    UtilsClass::RotateLogs();
    UtilsClass::WriteLog(QStringLiteral("run %1").arg(number));
}

}  // namespace

TEST(DiagnosticLog, LinesCarryDateTimeSeparatorAndCrLf)
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormShow"));
    UtilsClass::WriteLog(QString::fromUtf8("Stimme \xc3\xa4"));

    const QString text = QString::fromUtf8(logOf(".dbg"));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << text.toStdString();
    EXPECT_TRUE(lines[2].isEmpty()) << "every line ends in CR LF";
    // "<date> <time> - <message>": the date and time contain digits and the
    // message follows the first " - ".
    const QRegularExpression shape(QStringLiteral("^\\S*\\d\\S* .*\\d.* - (.*)$"));
    const auto first = shape.match(lines[0]);
    ASSERT_TRUE(first.hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(first.captured(1), QStringLiteral("Entered FormShow"));
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8(" - Stimme \xc3\xa4")));
    EXPECT_EQ(UtilsClass::LogFileName(), TestSupport::homeDir() + QStringLiteral("/voxtrella.dbg"));
}

TEST(DiagnosticLog, FirstRotationFindsNothingAndFirstLineCreatesTheLog)
{
    EXPECT_NO_THROW(UtilsClass::RotateLogs());
    for (const char *suffix : {".dbg", "1.dbg", "2.dbg", "3.dbg"})
        EXPECT_FALSE(QFile::exists(base() + QLatin1String(suffix))) << suffix;
    UtilsClass::WriteLog(QStringLiteral("first"));
    EXPECT_TRUE(logOf(".dbg").endsWith(" - first\r\n"));
}

TEST(DiagnosticLog, FiveRunsKeepFourGenerationsNewestInCurrentLog)
{
    for (int i = 1; i <= 3; ++i)
        run(i);
    // Three runs: the oldest generation does not exist yet.
    EXPECT_FALSE(QFile::exists(base() + QStringLiteral("3.dbg")));
    EXPECT_TRUE(logOf("2.dbg").endsWith(" - run 1\r\n"));

    run(4);
    run(5);
    EXPECT_TRUE(logOf(".dbg").endsWith(" - run 5\r\n"));
    EXPECT_TRUE(logOf("1.dbg").endsWith(" - run 4\r\n"));
    EXPECT_TRUE(logOf("2.dbg").endsWith(" - run 3\r\n"));
    EXPECT_TRUE(logOf("3.dbg").endsWith(" - run 2\r\n"));
    // Each generation holds exactly its own run's lines.
    EXPECT_EQ(logOf("1.dbg").count("\r\n"), 1);
    for (const char *suffix : {".dbg", "1.dbg", "2.dbg", "3.dbg"})
        EXPECT_FALSE(logOf(suffix).contains("run 1")) << suffix;
}

TEST(DiagnosticLog, ReadOnlyUserFolderMakesWritesFailSilently)
{
    const QString home = TestSupport::homeDir();
    UtilsClass::WriteLog(QStringLiteral("before"));
    const QByteArray before = logOf(".dbg");
    QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(base() + QStringLiteral(".dbg"), QFile::ReadOwner | QFile::ReadOther);
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        EXPECT_NO_THROW(UtilsClass::WriteLog(QStringLiteral("lost")));
        // Rotation cannot create the older generation; it says so instead of
        // pretending, and the current log stays as it was.
        EXPECT_THROW(UtilsClass::RotateLogs(), EAppError);
    }
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(logOf(".dbg"), before);
    EXPECT_FALSE(QFile::exists(base() + QStringLiteral("1.dbg")));
}

TEST(DiagnosticLog, MissingUserFolderIsCreatedForTheFirstLine)
{
    const QString home = TestSupport::homeDir() + QStringLiteral("/not/yet/there");
    qputenv("VOXTRELLA_HOME", home.toLocal8Bit());
    UtilsClass::WriteLog(QStringLiteral("hello"));
    EXPECT_TRUE(readFile(home + QStringLiteral("/voxtrella.dbg")).endsWith(" - hello\r\n"));
}
