// The desktop's media controls through the real program: on a private
// session bus, what a panel or a media key asks of it and what it tells.
#include "ProgramUnderXvfb.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;
using TestSupport::waitFor;
using TestSupport::writeFile;

namespace {

const QString Service = u"org.mpris.MediaPlayer2.voxtrella"_s;
const QString Path = u"/org/mpris/MediaPlayer2"_s;
const QString Player = u"org.mpris.MediaPlayer2.Player"_s;

// Every PropertiesChanged of the player, in order.
class ChangeRecorder : public QObject
{
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;
    // A change that set name to value was announced.
    bool announced(const QString &name, const QVariant &value) const
    {
        return std::any_of(changes.begin(), changes.end(),
                           [&](const QVariantMap &c) { return c.contains(name) && c.value(name) == value; });
    }
public slots:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &)
    {
        if (interface == Player)
            changes.push_back(properties);
    }
};

class MprisTest : public ProgramTest::ProgramUnderXvfb
{
protected:
    void SetUp() override
    {
        ProgramUnderXvfb::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
            GTEST_SKIP() << "dbus-daemon is needed";
        m_daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        ASSERT_TRUE(m_daemon.waitForReadyRead(10000));
        const QString address = QString::fromLatin1(m_daemon.readLine()).trimmed();
        m_env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, u"mpris-test"_s));
        ASSERT_TRUE(m_bus->isConnected());
    }
    void TearDown() override
    {
        stop(m_first);
        m_bus.reset();
        QDBusConnection::disconnectFromBus(u"mpris-test"_s);
        stop(m_daemon);
        ProgramUnderXvfb::TearDown();
    }

    QVariant property(const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, u"org.freedesktop.DBus.Properties"_s,
                                                          u"Get"_s);
        get << Player << name;
        const QDBusReply<QDBusVariant> reply = m_bus->call(get, QDBus::Block, 5000);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(property(u"Metadata"_s).value<QDBusArgument>()); }
    void call(const QString &method, const QString &interface = Player)
    {
        const QDBusMessage reply = m_bus->call(QDBusMessage::createMethodCall(Service, Path, interface, method),
                                               QDBus::Block, 5000);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage)
            << method.toStdString() << reply.errorMessage().toStdString();
    }
    bool becomes(const QString &name, const QVariant &value, int ms = 1000)
    {
        return waitFor([&] { return property(name) == value; }, ms);
    }

    // The program's sound streams on the test's server, and how many of them
    // play (are not paused).
    std::pair<int, int> streams()
    {
        QProcess p;
        p.start(u"pactl"_s, {u"-f"_s, u"json"_s, u"list"_s, u"sink-inputs"_s});
        p.waitForFinished(5000);
        const QJsonValue pid(QString::number(m_first.processId()));
        int ours = 0, playing = 0;
        for (const QJsonValue input : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
            if (input[u"properties"_s][u"application.process.id"_s] != pid)
                continue;
            ++ours;
            playing += !input[u"corked"_s].toBool();
        }
        return {ours, playing};
    }

    QProcess m_daemon;
    std::unique_ptr<QDBusConnection> m_bus;
};

QByteArray article(const QByteArray &title, int sentences)
{
    QByteArray text;
    for (int i = 0; i < sentences; ++i)
        text += "This is sentence " + QByteArray::number(i) + " of the article called " + title + ". ";
    return "||||||Voxtrella MP3 Start of Article||||||\r\n" + title + "||1\r\n" + text +
           "\r\n||||||Voxtrella MP3 End of Article||||||\r\n";
}

TEST_F(MprisTest, APanelDrivesTheReadingAsTheWindowsControlsAllowAndHearsOfEveryChange)
{
    ASSERT_TRUE(writeFile(home() + u"/registry.ini"_s,
                          "[Software\\VarnyxTech\\Voxtrella]\n\"FirstTimeUser\"=\"false\"\n\"ML_ListMode\"=\"1\"\n"));
    ASSERT_TRUE(
        writeFile(home() + u"/VXExport.txt"_s, article("First", 40) + article("Second", 40) + article("Third", 40)));
    startProgram(m_first, {u"-auto"_s});
    ASSERT_TRUE(waitForLog(u"FormActivate Timer: Minimizing now."_s)) << log().toStdString();
    EXPECT_TRUE(log().contains(u"Media controls on the session bus as "_s + Service));
    ASSERT_TRUE(m_bus->interface()->registeredServiceNames().value().contains(Service));
    ChangeRecorder recorder;
    ASSERT_TRUE(m_bus->connect(Service, Path, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s, &recorder,
                               SLOT(changed(QString, QVariantMap, QStringList))));

    // What the panel first sees; Raise brings the window back from the tray.
    QDBusInterface root(Service, Path, u"org.mpris.MediaPlayer2"_s, *m_bus);
    EXPECT_EQ(root.property("Identity").toString(), u"Voxtrella MP3"_s);
    EXPECT_EQ(root.property("DesktopEntry").toString(), u"voxtrella"_s);
    EXPECT_EQ(property(u"PlaybackStatus"_s), u"Stopped"_s);
    EXPECT_EQ(property(u"CanPlay"_s), true);
    EXPECT_EQ(property(u"CanPause"_s), false);
    EXPECT_EQ(property(u"CanGoNext"_s), false);
    EXPECT_TRUE(metadata().isEmpty());
    EXPECT_TRUE(visibleMainWindow().isEmpty());
    call(u"Raise"_s, u"org.mpris.MediaPlayer2"_s);
    EXPECT_TRUE(waitFor([&] { return !visibleMainWindow().isEmpty(); }, 3000));

    // Play: reading within a second, with sound flowing.
    call(u"PlayPause"_s);
    ASSERT_TRUE(becomes(u"PlaybackStatus"_s, u"Playing"_s)) << log().toStdString();
    EXPECT_TRUE(waitFor([&] { return streams().second == 1; }, 3000));
    QVariantMap track = metadata();
    EXPECT_EQ(track.value(u"xesam:title"_s), u"First"_s);
    EXPECT_FALSE(track.value(u"xesam:artist"_s).toStringList().value(0).isEmpty());
    const QString firstId = track.value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();
    EXPECT_FALSE(firstId.isEmpty());
    EXPECT_EQ(property(u"CanPlay"_s), false);
    EXPECT_EQ(property(u"CanPause"_s), true);
    EXPECT_EQ(property(u"CanGoNext"_s), true);
    EXPECT_EQ(property(u"CanGoPrevious"_s), true);

    // Pause, then Play resumes; the stream pauses with the reading.
    call(u"Pause"_s);
    ASSERT_TRUE(becomes(u"PlaybackStatus"_s, u"Paused"_s));
    EXPECT_TRUE(waitFor([&] { return streams() == std::pair{1, 0}; }, 3000));
    EXPECT_EQ(property(u"CanGoNext"_s), false);  // Skip is off while paused in the window too
    call(u"Next"_s);
    call(u"Play"_s);
    ASSERT_TRUE(becomes(u"PlaybackStatus"_s, u"Playing"_s));
    EXPECT_EQ(metadata().value(u"xesam:title"_s), u"First"_s);

    // Next is Skip; Previous starts the article being read again.
    call(u"Next"_s);
    ASSERT_TRUE(waitFor([&] { return metadata().value(u"xesam:title"_s) == u"Second"_s; }, 3000));
    EXPECT_EQ(property(u"PlaybackStatus"_s), u"Playing"_s);
    const QString secondId = metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();
    EXPECT_NE(secondId, firstId);
    call(u"Previous"_s);
    ASSERT_TRUE(waitFor(
        [&] {
            const QVariantMap m = metadata();
            return m.value(u"xesam:title"_s) == u"Second"_s &&
                   m.value(u"mpris:trackid"_s).value<QDBusObjectPath>().path() != secondId;
        },
        3000));
    EXPECT_TRUE(becomes(u"PlaybackStatus"_s, u"Playing"_s));
    // The run goes on after the article read again.
    call(u"Next"_s);
    ASSERT_TRUE(waitFor([&] { return metadata().value(u"xesam:title"_s) == u"Third"_s; }, 3000));

    call(u"Stop"_s);
    ASSERT_TRUE(becomes(u"PlaybackStatus"_s, u"Stopped"_s));
    EXPECT_TRUE(metadata().isEmpty());
    EXPECT_TRUE(waitFor([&] { return streams().second == 0; }, 3000));

    // Reading to a file: the window allows Pause and Stop but not Read Aloud,
    // and neither does the panel; Play changes nothing.
    const size_t before = recorder.changes.size();
    xdotool({u"windowactivate"_s, u"--sync"_s, visibleMainWindow()});
    xdotool({u"key"_s, u"ctrl+F7"_s});
    ASSERT_TRUE(becomes(u"PlaybackStatus"_s, u"Playing"_s, 5000)) << log().toStdString();
    EXPECT_EQ(property(u"CanPlay"_s), false);
    EXPECT_EQ(property(u"CanPause"_s), true);
    EXPECT_EQ(property(u"CanGoPrevious"_s), false);
    call(u"Play"_s);
    ASSERT_TRUE(waitFor([&] { return property(u"PlaybackStatus"_s) == u"Stopped"_s; }, 30000));
    EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(home() + u"/Files/First.wav"_s); }, 5000));
    EXPECT_EQ(streams().first, 0) << "Play while reading to a file read aloud";

    // Each change was announced as it came.
    TestSupport::idle(300);
    for (const char *status : {"Playing", "Paused", "Stopped"})
        EXPECT_TRUE(recorder.announced(u"PlaybackStatus"_s, QString::fromLatin1(status))) << status;
    for (const char *can : {"CanPlay", "CanPause", "CanGoNext", "CanGoPrevious"}) {
        EXPECT_TRUE(recorder.announced(QString::fromLatin1(can), true)) << can;
        EXPECT_TRUE(recorder.announced(QString::fromLatin1(can), false)) << can;
    }
    const auto titles = std::count_if(recorder.changes.begin(), recorder.changes.end(),
                                      [](const QVariantMap &c) { return c.contains(u"Metadata"_s); });
    EXPECT_GE(titles, 5);  // First, Second, Second again, none, First to a file
    EXPECT_GT(recorder.changes.size(), before);
    endWith(SIGTERM);

    // Without a session bus the program runs as before and says why once.
    m_env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + home() + u"/no-bus"_s);
    QFile::remove(home() + u"/voxtrella.dbg"_s);
    startProgram(m_first, {});
    ASSERT_TRUE(waitForLog(u"Exiting FormShow"_s)) << log().toStdString();
    EXPECT_EQ(log().count(u"No media controls: no session bus"_s), 1) << log().toStdString();
    endWith(SIGTERM);
}

}  // namespace

#include "MprisTest.moc"
