#include "AppPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

// VOXTRELLA_HOME and XDG_CONFIG_HOME are set afresh for every test; the other
// variables changed here are put back at the end of the test.

TEST(AppPaths, VoxtrellaHomeHoldsUserFilesAndSettingsAndIsCreated)
{
    const QString home = TestSupport::homeDir() + QStringLiteral("/portable/home");
    qputenv("VOXTRELLA_HOME", home.toLocal8Bit());
    EXPECT_EQ(AppPaths::userDir(), home);
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_EQ(AppPaths::settingsFile(), home + QStringLiteral("/registry.ini"));
    EXPECT_EQ(AppPaths::logBaseName(), home + QStringLiteral("/voxtrella"));
}

TEST(AppPaths, WithoutVoxtrellaHomeTheXdgFoldersOrTheirDefaultsAreUsed)
{
    const QString root = TestSupport::homeDir();
    const QByteArray oldHome = qgetenv("HOME");
    qunsetenv("VOXTRELLA_HOME");
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
    EXPECT_EQ(AppPaths::userDir(), root + QStringLiteral("/data/voxtrella"));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/data/voxtrella")).isDir());
    EXPECT_EQ(AppPaths::settingsFile(), root + QStringLiteral("/config/VarnyxTech/registry.ini"));
    EXPECT_EQ(AppPaths::autostartFile(), root + QStringLiteral("/config/autostart/voxtrella.desktop"));

    // Unset or relative XDG folders fall back to the home folder.
    qputenv("HOME", (root + QStringLiteral("/user")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", "relative/data");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AppPaths::userDir(), root + QStringLiteral("/user/.local/share/voxtrella"));
    EXPECT_EQ(AppPaths::settingsFile(), root + QStringLiteral("/user/.config/VarnyxTech/registry.ini"));
    qputenv("HOME", oldHome);
    qunsetenv("XDG_DATA_HOME");
}

TEST(AppPaths, ABuildTreeProgramReadsTheSourceDataAndKnowsItsOwnName)
{
    EXPECT_EQ(QDir(AppPaths::dataDir()).canonicalPath(), QDir(QStringLiteral(VOXTRELLA_SOURCE_DATA_DIR)).canonicalPath());
    EXPECT_EQ(AppPaths::programFileName(), QStringLiteral("test_platform_paths"));
}
