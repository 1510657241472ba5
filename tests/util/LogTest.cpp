#include "UtilsClass.h"

#include "AppPaths.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

using TestSupport::readFile;

namespace {

QByteArray logOf(const char *suffix)
{
    return readFile(AppPaths::logBaseName() + QLatin1String(suffix));
}

}  // namespace

TEST(DiagnosticLog, LinesCarryDateTimeSeparatorAndCrLf)
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormShow"));
    UtilsClass::WriteLog(QString::fromUtf8("Stimme \xc3\xa4"));
    const QStringList lines = QString::fromUtf8(logOf(".dbg")).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].isEmpty()) << "every line ends in CR LF";
    // "<date> <time> - <message>"
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\S*\\d\\S* .*\\d.* - Entered FormShow$")).match(lines[0]).hasMatch())
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8(" - Stimme \xc3\xa4")));
}

TEST(DiagnosticLog, FiveRunsKeepFourGenerationsNewestInCurrentLog)
{
    for (int run = 1; run <= 5; ++run) {
        EXPECT_NO_THROW(UtilsClass::RotateLogs());
        if (run == 1) {  // first run in the folder: nothing to rotate, nothing created
            EXPECT_FALSE(QFile::exists(UtilsClass::LogFileName()));
        }
        if (run == 3) {
            EXPECT_FALSE(QFile::exists(AppPaths::logBaseName() + QStringLiteral("3.dbg")));
        }
        UtilsClass::WriteLog(QStringLiteral("run %1").arg(run));
    }
    const std::pair<const char *, const char *> expected[] = {
        {".dbg", " - run 5\r\n"}, {"1.dbg", " - run 4\r\n"}, {"2.dbg", " - run 3\r\n"}, {"3.dbg", " - run 2\r\n"}};
    for (const auto &[suffix, line] : expected) {
        EXPECT_TRUE(logOf(suffix).endsWith(line)) << suffix;
        EXPECT_EQ(logOf(suffix).count("\r\n"), 1) << suffix;
    }
}

TEST(DiagnosticLog, ReadOnlyUserFolderMakesWritesFailSilently)
{
    const QString home = TestSupport::homeDir();
    UtilsClass::WriteLog(QStringLiteral("before"));
    const QByteArray before = logOf(".dbg");
    QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(UtilsClass::LogFileName(), QFile::ReadOwner | QFile::ReadOther);
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        EXPECT_NO_THROW(UtilsClass::WriteLog(QStringLiteral("lost")));
        // Rotation cannot create the older generation and says so.
        EXPECT_THROW(UtilsClass::RotateLogs(), EAppError);
    }
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(logOf(".dbg"), before);
}
