#pragma once
// The desktop's media controls (media keys, a headset's button, the panel's
// player) over the reading commands. The panel sees the reading state, the
// article being read and its voice; what it asks goes through the shared
// reading actions, so a command the window has disabled is refused there
// too. Previous starts the article being read again from its beginning.
//
// Without a session bus the program goes on without media controls; the
// log says why.

#include <QObject>
#include <QPointer>

#include <memory>

class MprisPlayer;
class ReadingActions;
class ReadingController;
class ReadingView;
class Speaker;
class TPreferences;

class MediaControls : public QObject
{
    Q_OBJECT
public:
    // identity: the program's name as the panel shows it.
    MediaControls(const QString &identity, ReadingActions &actions, ReadingController &reading, const ReadingView &view,
                  const Speaker &driver, const TPreferences &prefs, QObject *parent = nullptr);
    ~MediaControls() override;

signals:
    // The panel asked to see the window.
    void RaiseRequested();

private:
    // Hands the player the state, what may be done now and the article.
    void Update();
    void ScheduleUpdate();
    void Previous();

    ReadingActions &m_actions;
    ReadingController &m_reading;
    const ReadingView &m_view;
    const Speaker &m_driver;
    const TPreferences &m_prefs;
    std::unique_ptr<MprisPlayer> m_player;
    // The article the panel shows, and its reading's number: each new
    // reading of an article is a new track.
    QPointer<QObject> m_article;
    quint64 m_trackNumber = 0;
    bool m_updatePending = false;
};
