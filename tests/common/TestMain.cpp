// Shared main for every test binary: an application on the offscreen
// platform (a QApplication for widget tests, a QGuiApplication for the
// widget-free folders) and a fresh VOXTRELLA_HOME for each test, so no test
// touches the user's own settings, articles or logs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef VOXTRELLA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QDir>
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
        qputenv("XDG_CACHE_HOME", (m_dir->path() + "/cache").toLocal8Bit());
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
    // No test reaches (or starts) the user's speech service: an explicit
    // address where nothing listens. Tests of the service start their own.
    if (qEnvironmentVariableIsEmpty("SPEECHD_ADDRESS"))
        qputenv("SPEECHD_ADDRESS",
                ("unix_socket:" + QDir::tempPath() + "/voxtrella-tests-no-speech-service").toLocal8Bit());
    ::testing::InitGoogleMock(&argc, argv);
    TestApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshHome);
    return RUN_ALL_TESTS();
}
