#pragma once
// The program as a media player on the desktop's session bus (MPRIS2), so
// that media keys, a headset's button and the panel's media controls reach
// the reading commands, and the panel shows what is being read.
//
// Fed by whoever runs the reading: SetControls with the state and what the
// reading commands allow now, SetTrack with the article being read. Asked
// over the bus, it emits one request per command, and only while the
// matching Can* property is true; the requests go to the program's own
// commands, whose enabled state has the last word. Every change of a
// property is announced with org.freedesktop.DBus.Properties.PropertiesChanged
// (Position excepted, as the interface has it).
//
// QtCore and QtDBus only: it knows nothing of windows or of the reading.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantMap>

class MprisPlayer : public QObject
{
    Q_OBJECT
public:
    static const QString ServiceName;  // org.mpris.MediaPlayer2.voxtrella
    static const QString ObjectPath;   // /org/mpris/MediaPlayer2
    static const QString RootInterface;
    static const QString PlayerInterface;

    enum class Status { Stopped, Playing, Paused };

    struct Controls {
        Status status = Status::Stopped;
        bool canPlay = false, canPause = false, canGoNext = false, canGoPrevious = false;
        bool operator==(const Controls &) const = default;
    };

    // What is being read; an empty title and voice with number 0 is nothing.
    struct Track {
        // Changes with every new reading of an article, for mpris:trackid.
        quint64 number = 0;
        QString title;
        QString voice;
        // Microseconds; negative while the length is not known.
        qint64 lengthUs = -1;
        bool operator==(const Track &) const = default;
    };

    // identity: the name the panel shows; desktopEntry: the desktop file's
    // name without ".desktop".
    MprisPlayer(const QString &identity, const QString &desktopEntry, QObject *parent = nullptr);
    ~MprisPlayer() override;

    // Takes the player's name on the session bus, or, when another running
    // program holds it, the name with ".instance<pid>" as the interface
    // asks. Empty when done, else why it could not be (no session bus, the
    // name refused); the program then simply goes without media controls.
    QString Register();
    // The name taken on the bus; empty when not registered.
    QString BusName() const { return m_busName; }

    void SetControls(const Controls &controls);
    void SetTrack(const Track &track);
    const Controls &CurrentControls() const { return m_controls; }

    // What the bus reads.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    // Microseconds played of the current track.
    qint64 Position() const;

    // What the bus calls: each emits its request when its Can* allows
    // (PlayPause is Pause while playing, else Play).
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Raise();

signals:
    void PlayRequested();
    // Pause only while playing; Play while paused means resume.
    void PauseRequested();
    void StopRequested();
    void NextRequested();
    void PreviousRequested();
    void RaiseRequested();

private:
    void Announce(const QVariantMap &changed);

    const QString m_identity;
    const QString m_desktopEntry;
    QDBusConnection m_bus;
    QString m_busName;
    Controls m_controls;
    Track m_track;
    // Time played of the current track: what was played before the last
    // pause, and the running clock while playing.
    qint64 m_playedMs = 0;
    QElapsedTimer m_playing;

    friend class MprisRootAdaptor;
    friend class MprisPlayerAdaptor;
};
