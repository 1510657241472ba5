#include "Autostart.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString entryText()
{
    return QString::fromUtf8(TestSupport::readFile(Autostart::filePath()));
}

// The Exec value as a desktop environment reads it: the key's raw value.
QString execValue()
{
    const QStringList lines = entryText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5);
    }
    return {};
}

}  // namespace

TEST(Autostart, WriteCreatesFolderAndEntryThatStartsHidden)
{
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(Autostart::filePath()).absolutePath()));
    EXPECT_FALSE(Autostart::exists());

    ASSERT_TRUE(Autostart::write(QStringLiteral("/usr/bin/voxtrella")));
    EXPECT_TRUE(Autostart::exists());

    const QString text = entryText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_EQ(execValue(), QStringLiteral("/usr/bin/voxtrella -auto"));
}

TEST(Autostart, RewriteFollowsMovedProgramAndRemoveDeletes)
{
    ASSERT_TRUE(Autostart::write(QStringLiteral("/opt/old/voxtrella")));
    ASSERT_TRUE(Autostart::write(QStringLiteral("/opt/new/voxtrella")));
    EXPECT_EQ(execValue(), QStringLiteral("/opt/new/voxtrella -auto"));
    EXPECT_FALSE(entryText().contains(QStringLiteral("/opt/old")));
    // Only one Exec line after rewriting.
    EXPECT_EQ(entryText().count(QStringLiteral("Exec=")), 1);

    EXPECT_TRUE(Autostart::remove());
    EXPECT_FALSE(Autostart::exists());
    // Removing what is not there is not a failure.
    EXPECT_TRUE(Autostart::remove());
}

TEST(Autostart, PathsWithBlanksAndReservedCharactersAreQuoted)
{
    ASSERT_TRUE(Autostart::write(QStringLiteral("/home/ann/My Programs/voxtrella")));
    EXPECT_EQ(execValue(), QStringLiteral("\"/home/ann/My Programs/voxtrella\" -auto"));

    // Inside quotes ", `, $ and \ take a backslash, and the file doubles every
    // backslash once more; % is doubled for the Exec field codes.
    EXPECT_EQ(Autostart::execLine(QStringLiteral("/a b/$x\"y`z\\w%/vx")),
              QStringLiteral("\"/a b/\\\\$x\\\\\"y\\\\`z\\\\\\\\w%%/vx\" -auto"));
    EXPECT_EQ(Autostart::execLine(QStringLiteral("/opt/100%/vx")),
              QStringLiteral("/opt/100%%/vx -auto"));
    EXPECT_EQ(Autostart::execLine(QStringLiteral("/opt/it's/vx")),
              QStringLiteral("\"/opt/it's/vx\" -auto"));
}

TEST(Autostart, UnwritablePathsLeaveExistingEntryWhole)
{
    ASSERT_TRUE(Autostart::write(QStringLiteral("/usr/bin/voxtrella")));
    const QByteArray before = TestSupport::readFile(Autostart::filePath());

    EXPECT_FALSE(Autostart::write(QStringLiteral("/tmp/bad\nExec=rm -rf ~/voxtrella")));
    EXPECT_FALSE(Autostart::write(QString()));
    EXPECT_EQ(TestSupport::readFile(Autostart::filePath()), before);
}

TEST(Autostart, WriteFailsCleanlyWhenFolderCannotBeCreated)
{
    // A plain file where the autostart folder should be.
    const QString folder = QFileInfo(Autostart::filePath()).absolutePath();
    ASSERT_TRUE(TestSupport::writeFile(folder, "not a folder"));
    EXPECT_FALSE(Autostart::write(QStringLiteral("/usr/bin/voxtrella")));
    EXPECT_FALSE(Autostart::exists());
}
