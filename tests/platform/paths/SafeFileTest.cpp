#include "SafeFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::writeFile;

// A full disk is checked where the user's files are saved: a save small enough to fail only at
// the flush through the real program (tests/app/NothingLostTest), a large one in tests/articles/MemoListTest.
TEST(SafeFile, ReplacingKeepsTheModeRefusesADeviceAndACancelledWriteLeavesTheFile)
{
    const QString dir = TestSupport::homeDir() + "/safe";
    const QString path = dir + "/settings.ini";
    ASSERT_TRUE(writeFile(path, "old settings\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    QString error;
    ASSERT_TRUE(SafeFile::writeAtomically(path, "new settings\n", &error)) << error.toStdString();
    EXPECT_EQ(readFile(path), "new settings\n");
    EXPECT_EQ(TestSupport::fileMode(path), 0640u);
    ASSERT_TRUE(SafeFile::writeAtomically(dir + "/new/folder/file.txt", "x"));
    EXPECT_FALSE(SafeFile::writeAtomically("/dev/null", "x", &error)) << "a device is not replaced";
    EXPECT_FALSE(error.isEmpty());

    SafeFile::AtomicWriter cancelled(path);
    ASSERT_TRUE(cancelled.open() && cancelled.write("dropped"));
    cancelled.cancel();
    EXPECT_FALSE(cancelled.commit());
    EXPECT_EQ(readFile(path), "new settings\n");
}

TEST(SafeFile, ReadingRefusesSpecialFilesAtOnceAndCapsTheSize)
{
    const QString dir = TestSupport::homeDir();
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600), 0);
    ASSERT_TRUE(writeFile(dir + "/file.txt", QByteArray(100, 'a')));
    ASSERT_TRUE(QFile::link(dir + "/file.txt", dir + "/link.txt"));

    using S = SafeFile::ReadStatus;
    const struct {
        QString path;
        qint64 max;
        S status;
    } cases[] = {
        {dir + "/fifo", 100, S::NotRegular},  {"/dev/zero", 100, S::NotRegular},    {dir, 100, S::NotRegular},
        {dir + "/missing", 100, S::Missing},  {dir + "/file.txt", 99, S::TooLarge}, {dir + "/link.txt", 100, S::Ok},
        {"/proc/self/maps", 10, S::TooLarge},  // reports size 0: caught while reading
    };
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        const SafeFile::ReadResult r = SafeFile::readRegularFile(c.path, c.max);
        EXPECT_EQ(r.status, c.status) << c.path.toStdString();
        EXPECT_LT(clock.elapsed(), 1000) << c.path.toStdString();
        EXPECT_EQ(r.bytes, c.status == S::Ok ? QByteArray(100, 'a') : QByteArray()) << c.path.toStdString();
        EXPECT_EQ(r.error.isEmpty(), c.status == S::Ok) << c.path.toStdString();
    }
}

TEST(SafeFile, LeftoversOfAKilledSaveAreRemovedAndNothingElse)
{
    const QString dir = TestSupport::homeDir();
    const QString target = dir + "/VXExport.txt";
    for (const char *name :
         {".VXExport.txt.k3f9.tmp", ".VXExport.txt.zz.tmp", "VXExport.txt", ".registry.ini.a1.tmp", "VXExport.txt.tmp"})
        ASSERT_TRUE(TestSupport::writeFile(dir + "/" + QLatin1String(name), "x"));
    SafeFile::removeLeftovers(target);
    QStringList left = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, QStringList({".registry.ini.a1.tmp", "VXExport.txt", "VXExport.txt.tmp"}));
}
