#include "MprisPlayer.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <unistd.h>

const QString MprisPlayer::ServiceName = QStringLiteral("org.mpris.MediaPlayer2.voxtrella");
const QString MprisPlayer::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString MprisPlayer::RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString MprisPlayer::PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// The two interfaces as the bus sees them; all they do is ask the player.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(*player) {}

    // Ending the program from a panel would skip the question the exit
    // command asks when the articles cannot be saved: not offered.
    bool CanQuit() const { return false; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return m_player.m_identity; }
    QString DesktopEntry() const { return m_player.m_desktopEntry; }
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { m_player.Raise(); }
    // CanQuit is false: the interface has Quit do nothing then.
    void Quit() {}

private:
    MprisPlayer &m_player;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(MprisPlayer *player) : QDBusAbstractAdaptor(player), m_player(*player) {}

    QString PlaybackStatus() const { return m_player.PlaybackStatus(); }
    // Speech runs at the speed of the voice's own setting; the panel does
    // not change it.
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return m_player.Metadata(); }
    qlonglong Position() const { return m_player.Position(); }
    bool CanGoNext() const { return m_player.m_controls.canGoNext; }
    bool CanGoPrevious() const { return m_player.m_controls.canGoPrevious; }
    bool CanPlay() const { return m_player.m_controls.canPlay; }
    bool CanPause() const { return m_player.m_controls.canPause; }
    // Speech is made as it is heard: there is nothing ahead to seek to.
    bool CanSeek() const { return false; }
    // The commands are refused one by one through the Can* properties;
    // clients stop listening to a player that cannot be controlled at all.
    bool CanControl() const { return true; }

public slots:
    void Play() { m_player.Play(); }
    void Pause() { m_player.Pause(); }
    void PlayPause() { m_player.PlayPause(); }
    void Stop() { m_player.Stop(); }
    void Next() { m_player.Next(); }
    void Previous() { m_player.Previous(); }
    // CanSeek is false: the interface has these do nothing then.
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}

signals:
    void Seeked(qlonglong position);

private:
    MprisPlayer &m_player;
};

MprisPlayer::MprisPlayer(const QString &identity, const QString &desktopEntry, QObject *parent)
    : QObject(parent), m_identity(identity), m_desktopEntry(desktopEntry), m_bus(QString())
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisPlayer::~MprisPlayer()
{
    if (m_busName.isEmpty())
        return;
    m_bus.unregisterService(m_busName);
    m_bus.unregisterObject(ObjectPath);
}

QString MprisPlayer::Register()
{
    if (!m_busName.isEmpty())
        return {};
    m_bus = QDBusConnection::sessionBus();
    if (!m_bus.isConnected())
        return QStringLiteral("no session bus (%1)").arg(m_bus.lastError().message());
    if (!m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors))
        return QStringLiteral("%1 is taken in this program").arg(ObjectPath);
    for (const QString &name : {ServiceName, ServiceName + QStringLiteral(".instance%1").arg(::getpid())}) {
        if (m_bus.registerService(name)) {
            m_busName = name;
            return {};
        }
    }
    const QString why = m_bus.lastError().message();
    m_bus.unregisterObject(ObjectPath);
    return QStringLiteral("the bus refused the name %1 (%2)").arg(ServiceName, why);
}

QString MprisPlayer::PlaybackStatus() const
{
    switch (m_controls.status) {
    case Status::Playing:
        return QStringLiteral("Playing");
    case Status::Paused:
        return QStringLiteral("Paused");
    case Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::Metadata() const
{
    if (m_track.number == 0)
        return {};
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(
             QDBusObjectPath(QStringLiteral("/org/voxtrella/Voxtrella/Article%1").arg(m_track.number)))},
        {QStringLiteral("xesam:title"), m_track.title},
    };
    if (!m_track.voice.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{m_track.voice});
    if (m_track.lengthUs >= 0)
        metadata.insert(QStringLiteral("mpris:length"), qlonglong(m_track.lengthUs));
    return metadata;
}

qint64 MprisPlayer::Position() const
{
    const qint64 ms = m_playedMs + (m_playing.isValid() ? m_playing.elapsed() : 0);
    return ms * 1000;
}

void MprisPlayer::SetControls(const Controls &controls)
{
    if (controls == m_controls)
        return;
    if (controls.status != m_controls.status) {
        if (m_playing.isValid())
            m_playedMs += m_playing.elapsed();
        m_playing.invalidate();
        if (controls.status == Status::Playing)
            m_playing.start();
        else if (controls.status == Status::Stopped)
            m_playedMs = 0;
    }
    const Controls before = std::exchange(m_controls, controls);
    QVariantMap changed;
    if (before.status != controls.status)
        changed.insert(QStringLiteral("PlaybackStatus"), PlaybackStatus());
    const std::pair<const char *, bool Controls::*> flags[] = {{"CanPlay", &Controls::canPlay},
                                                               {"CanPause", &Controls::canPause},
                                                               {"CanGoNext", &Controls::canGoNext},
                                                               {"CanGoPrevious", &Controls::canGoPrevious}};
    for (const auto &[name, flag] : flags) {
        if (before.*flag != controls.*flag)
            changed.insert(QLatin1String(name), controls.*flag);
    }
    Announce(changed);
}

void MprisPlayer::SetTrack(const Track &track)
{
    if (track == m_track)
        return;
    if (track.number != m_track.number) {
        m_playedMs = 0;
        if (m_playing.isValid())
            m_playing.start();
    }
    m_track = track;
    Announce({{QStringLiteral("Metadata"), Metadata()}});
}

void MprisPlayer::Announce(const QVariantMap &changed)
{
    if (changed.isEmpty() || m_busName.isEmpty())
        return;
    QDBusMessage message = QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"));
    message << PlayerInterface << changed << QStringList();
    m_bus.send(message);
}

void MprisPlayer::Play()
{
    if (m_controls.canPlay)
        emit PlayRequested();
}

void MprisPlayer::Pause()
{
    if (m_controls.canPause && m_controls.status == Status::Playing)
        emit PauseRequested();
}

void MprisPlayer::PlayPause()
{
    if (m_controls.status == Status::Playing)
        Pause();
    else
        Play();
}

void MprisPlayer::Stop()
{
    if (m_controls.status != Status::Stopped)
        emit StopRequested();
}

void MprisPlayer::Next()
{
    if (m_controls.canGoNext)
        emit NextRequested();
}

void MprisPlayer::Previous()
{
    if (m_controls.canGoPrevious)
        emit PreviousRequested();
}

void MprisPlayer::Raise()
{
    emit RaiseRequested();
}

#include "MprisPlayer.moc"
