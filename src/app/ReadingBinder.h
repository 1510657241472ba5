#pragma once
// The reading commands at work in the window: the shared reading actions
// go to the reading controller, and what the controller reports (allowed
// commands, status, gauge, pause) comes back to the actions, the status
// bar and the floating toolbar; the tray tip and the rest of the window
// hear of it by signals.

#include "reader/ReadingController.h"

#include <QObject>

class QLabel;
class QProgressBar;
class FloatingToolBar;
class ReadingActions;
class ArticleList;
class ArticleListView;

class ReadingBinder : public QObject
{
    Q_OBJECT
public:
    // The status bar's two panels and its gauge.
    struct StatusWidgets {
        QLabel &status;
        QLabel &progress;
        QProgressBar &gauge;
    };

    // list: the article list that Read from Cursor and Read Selected read
    // from; toolbar: the floating toolbar that shows the short status and
    // the gauge too (none: nothing shows them there).
    ReadingBinder(ReadingController &reading, ReadingActions &commands, ArticleList &list, ArticleListView &view,
                  const StatusWidgets &statusWidgets, FloatingToolBar *toolbar, QObject *parent = nullptr);
    ~ReadingBinder() override;

    ReadingState State() const { return m_reading.State(); }
    ReadingController *Reading() const { return &m_reading; }
    OutputTarget Target() const { return m_reading.Target(); }

    void SetReadingState(ReadingState state);
    // The exit command: from now on the state stays rsExiting.
    void BeginExit();
    void UpdateStatus(const QString &text);
    void ResetStatus();
    QString ArticleCountText() const;

    // Speaks a help or test text with a voice to the speakers, outside the
    // article list; back to idle when it ends.
    void SpeakAudioHelp(const QString &text, const QString &voiceName);
    // Reads a new article at once (auto speak).
    void StartAutoSpeak(QObject *article);
    // The File Output choice: the target of the next file reading.
    void SetTarget(OutputTarget target);
    // Highlighting was switched on: the article being read comes into view.
    void HighlightSwitchedOn();
    // The article menu opens: Read Selected only with a selection to read.
    void UpdateArticleMenuItems();

signals:
    // The commands followed a new reading state.
    void StateApplied(ReadingState state);
    // The long status text, also for the tray tip (the program's name while idle).
    void StatusShown(const QString &longText, bool idle);

private:
    void ReadFromCursor();
    void ReadSelection();
    void ApplyCommands(ReadingController::Commands commands, ReadingState state);
    void ShowStatus(const QString &longText, const QString &shortText);
    void ShowGauge(bool visible, int maximum, int value);
    void ShowPaused(bool paused);

    ReadingController &m_reading;
    ReadingActions &m_commands;
    ArticleList &m_list;
    ArticleListView &m_view;
    StatusWidgets m_statusWidgets;
    FloatingToolBar *m_toolBar;
};
