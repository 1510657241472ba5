#include "AppPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvGuard
{
public:
    EnvGuard(const char *name, const QString &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

}  // namespace

TEST(AppPaths, VoxtrellaHomeHoldsUserFilesAndSettingsAndIsCreated)
{
    const QString home = TestSupport::homeDir() + QStringLiteral("/portable/home");
    EnvGuard guard("VOXTRELLA_HOME", home);
    EXPECT_FALSE(QFileInfo::exists(home));
    EXPECT_EQ(AppPaths::userDir(), home);
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_EQ(AppPaths::settingsFile(), home + QStringLiteral("/registry.ini"));
    EXPECT_EQ(AppPaths::logBaseName(), home + QStringLiteral("/voxtrella"));

    // A change of VOXTRELLA_HOME takes effect at the next call.
    const QString other = TestSupport::homeDir() + QStringLiteral("/other");
    EnvGuard second("VOXTRELLA_HOME", other);
    EXPECT_EQ(AppPaths::userDir(), other);
}

TEST(AppPaths, WithoutVoxtrellaHomeTheXdgFoldersAreUsed)
{
    const QString root = TestSupport::homeDir();
    EnvGuard home("VOXTRELLA_HOME", QString());
    EnvGuard data("XDG_DATA_HOME", root + QStringLiteral("/data"));
    EnvGuard config("XDG_CONFIG_HOME", root + QStringLiteral("/config"));
    EXPECT_EQ(AppPaths::userDir(), root + QStringLiteral("/data/voxtrella"));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/data/voxtrella")).isDir());
    EXPECT_EQ(AppPaths::settingsFile(), root + QStringLiteral("/config/VarnyxTech/registry.ini"));
    EXPECT_EQ(AppPaths::autostartFile(), root + QStringLiteral("/config/autostart/voxtrella.desktop"));
    EXPECT_EQ(AppPaths::logBaseName(), root + QStringLiteral("/data/voxtrella/voxtrella"));
}

TEST(AppPaths, UnsetOrRelativeXdgFoldersFallBackToTheHomeFolder)
{
    const QString root = TestSupport::homeDir();
    EnvGuard home("VOXTRELLA_HOME", QString());
    EnvGuard user("HOME", root + QStringLiteral("/user"));
    EnvGuard data("XDG_DATA_HOME", QStringLiteral("relative/data"));
    EnvGuard config("XDG_CONFIG_HOME", QString());
    EXPECT_EQ(AppPaths::userDir(), root + QStringLiteral("/user/.local/share/voxtrella"));
    EXPECT_EQ(AppPaths::settingsFile(), root + QStringLiteral("/user/.config/VarnyxTech/registry.ini"));
    EXPECT_EQ(AppPaths::autostartFile(), root + QStringLiteral("/user/.config/autostart/voxtrella.desktop"));
}

TEST(AppPaths, ABuildTreeProgramReadsTheSourceDataAndKnowsItsOwnName)
{
    EXPECT_EQ(QDir(AppPaths::dataDir()).canonicalPath(), QDir(QStringLiteral(VOXTRELLA_SOURCE_DATA_DIR)).canonicalPath());
    EXPECT_EQ(AppPaths::programFileName(), QStringLiteral("test_platform_paths"));
    EXPECT_TRUE(QFileInfo(AppPaths::programFilePath()).isExecutable());
}
