#include "AppPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>

// VOXTRELLA_HOME and XDG_CONFIG_HOME are set afresh for every test; the other
// variables changed here are put back at the end of the test. dataDir() and
// programFileName() are checked where used (TaggedFileTest's help file, ProgramSettingsTest).

TEST(AppPaths, VoxtrellaHomeHoldsUserFilesAndSettingsAndIsCreated)
{
    const QString home = TestSupport::homeDir() + "/portable/home";
    qputenv("VOXTRELLA_HOME", home.toLocal8Bit());
    EXPECT_EQ(AppPaths::userDir(), home);
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_EQ(AppPaths::settingsFile(), home + "/registry.ini");

    // One reading of the variable for everyone: cleaned, and a relative value ignored.
    qputenv("VOXTRELLA_HOME", (home + "/../home/").toLocal8Bit());
    EXPECT_EQ(AppPaths::homeOverride(), home);
    qputenv("VOXTRELLA_HOME", "relative/home");
    EXPECT_EQ(AppPaths::homeOverride(), QString());
    EXPECT_NE(AppPaths::settingsFile(), "relative/home/registry.ini");
}

TEST(AppPaths, WithoutVoxtrellaHomeTheXdgFoldersOrTheirDefaultsAreUsed)
{
    const QString root = TestSupport::homeDir();
    const TestSupport::ScopedEnv home("HOME", (root + "/user").toLocal8Bit());
    const TestSupport::ScopedEnv data("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
    qunsetenv("VOXTRELLA_HOME");
    EXPECT_EQ(AppPaths::userDir(), root + "/data/voxtrella");
    EXPECT_TRUE(QFileInfo(root + "/data/voxtrella").isDir());
    EXPECT_EQ(AppPaths::settingsFile(), root + "/config/VarnyxTech/registry.ini");
    EXPECT_EQ(AppPaths::autostartFile(), root + "/config/autostart/voxtrella.desktop");

    // Unset or relative XDG folders fall back to the home folder.
    qputenv("XDG_DATA_HOME", "relative/data");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AppPaths::userDir(), root + "/user/.local/share/voxtrella");
    EXPECT_EQ(AppPaths::settingsFile(), root + "/user/.config/VarnyxTech/registry.ini");
}
