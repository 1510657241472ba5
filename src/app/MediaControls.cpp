#include "MediaControls.h"

#include "ReadingActions.h"
#include "platform/desktop/MprisPlayer.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"

#include <QAction>

MediaControls::MediaControls(const QString &identity, ReadingActions &actions, ReadingController &reading,
                             const ReadingView &view, const Speaker &driver, const TPreferences &prefs, QObject *parent)
    : QObject(parent), m_actions(actions), m_reading(reading), m_view(view), m_driver(driver), m_prefs(prefs),
      m_player(std::make_unique<MprisPlayer>(identity, QStringLiteral("voxtrella")))
{
    connect(m_player.get(), &MprisPlayer::RaiseRequested, this, &MediaControls::RaiseRequested);
    connect(m_player.get(), &MprisPlayer::PlayRequested, this, [this] {
        // Play while paused resumes, as the Resume caption of Pause does.
        (m_actions.ShowsPaused() ? m_actions.PauseResume() : m_actions.ReadAloud())->trigger();
    });
    connect(m_player.get(), &MprisPlayer::PauseRequested, this, [this] {
        if (!m_actions.ShowsPaused())
            m_actions.PauseResume()->trigger();
    });
    connect(m_player.get(), &MprisPlayer::StopRequested, m_actions.Stop(), &QAction::trigger);
    connect(m_player.get(), &MprisPlayer::NextRequested, m_actions.Skip(), &QAction::trigger);
    connect(m_player.get(), &MprisPlayer::PreviousRequested, this, &MediaControls::Previous);

    // One command changes the state, the actions and the article one after
    // the other: the panel hears of them together, once they have settled.
    connect(&reading, &ReadingController::CommandsChanged, this, &MediaControls::ScheduleUpdate);
    connect(&reading, &ReadingController::StatusChanged, this, &MediaControls::ScheduleUpdate);
    connect(&reading, &ReadingController::PausedChanged, this, &MediaControls::ScheduleUpdate);
    for (QAction *action : {actions.ReadAloud(), actions.PauseResume(), actions.Skip(), actions.Stop()})
        connect(action, &QAction::enabledChanged, this, &MediaControls::ScheduleUpdate);
    Update();

    const QString problem = m_player->Register();
    if (problem.isEmpty())
        DiagnosticLog::WriteLog(QStringLiteral("Media controls on the session bus as ") + m_player->BusName());
    else
        DiagnosticLog::WriteLog(QStringLiteral("No media controls: ") + problem);
}

MediaControls::~MediaControls() = default;

void MediaControls::ScheduleUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(this, &MediaControls::Update, Qt::QueuedConnection);
}

void MediaControls::Update()
{
    m_updatePending = false;
    const ReadingState state = m_reading.State();
    QObject *article = m_reading.ArticleBeingRead();
    const bool reading = state == rsReading || state == rsPaused;

    MprisPlayer::Controls controls;
    controls.status = state == rsReading  ? MprisPlayer::Status::Playing
                      : state == rsPaused ? MprisPlayer::Status::Paused
                                          : MprisPlayer::Status::Stopped;
    controls.canPlay = m_actions.ReadAloud()->isEnabled() ||
                       (m_actions.ShowsPaused() && m_actions.PauseResume()->isEnabled());
    controls.canPause = m_actions.PauseResume()->isEnabled();
    controls.canGoNext = m_actions.Skip()->isEnabled();
    // Starting again is for speech heard: a file being written would be
    // cut short.
    controls.canGoPrevious = m_actions.Stop()->isEnabled() && reading && article &&
                             m_driver.ReadingTarget() == otSpeakers;
    m_player->SetControls(controls);

    MprisPlayer::Track track;
    if (reading && article) {
        if (article != m_article) {
            m_article = article;
            ++m_trackNumber;
        }
        track.number = m_trackNumber;
        track.title = m_view.Title(article).trimmed();
        if (track.title.isEmpty())
            track.title = QStringLiteral("Article %1 of %2").arg(m_view.PositionOf(article)).arg(m_view.Count());
        const QString voice = m_view.Voice(article).trimmed();
        track.voice = voice.isEmpty() ? m_prefs.TTS_DefaultVoiceName : voice;
    } else {
        m_article = nullptr;
    }
    m_player->SetTrack(track);
}

void MediaControls::Previous()
{
    if (!m_reading.ArticleBeingRead() || !m_actions.Stop()->isEnabled() || m_driver.ReadingTarget() != otSpeakers)
        return;
    // A new reading of the same article: a new track for the panel.
    m_article = nullptr;
    m_reading.RestartArticle();
}
