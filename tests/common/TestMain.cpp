// Shared main for every test binary: a QApplication on the offscreen
// platform and a fresh VOXTRELLA_HOME for each test, so no test touches the
// user's own settings, articles or logs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <memory>

namespace {

class FreshHome : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo &) override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("VOXTRELLA_HOME", m_dir->path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (m_dir->path() + "/config").toLocal8Bit());
    }
    void OnTestEnd(const ::testing::TestInfo &) override { m_dir.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshHome);
    return RUN_ALL_TESTS();
}
