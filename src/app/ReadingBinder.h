#pragma once
// The reading commands bound to the main window: the toolbar buttons, menu
// items, article menu and floating toolbar give them to the reading
// controller, and what the controller reports (allowed commands, status,
// gauge, pause) comes back to the window's controls, the tray and the
// floating toolbar.

#include "reader/ReadingController.h"

#include <QObject>

#include <memory>

class QLabel;
class QProgressBar;
class MainWindow;
class FloatingToolBar;
class Speaker;
class ListReadingView;

class ReadingBinder : public QObject
{
    Q_OBJECT
public:
    // status and progress are the status bar's two panels, gauge the bar's gauge.
    ReadingBinder(MainWindow &form, QLabel &status, QLabel &progress, QProgressBar &gauge);
    ~ReadingBinder() override;

    ReadingState State() const { return m_readingState; }
    ReadingController *Reading() const { return m_reading.get(); }
    OutputTarget Target() const { return m_reading ? m_reading->Target() : otSpeakers; }
    // The reading driver, created after the window; the commands start
    // working with it.
    void AttachDriver(Speaker &driver);
    // The floating toolbar's buttons give the same commands.
    void AttachToolBar(FloatingToolBar &toolbar);

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

    void PlayAllBtnClick();
    void PlayFileBtnClick();
    void PauseBtnClick();
    void SkipBtnClick();
    void StopBtnClick();
    void ReadFromCursor();
    void ReadSelection();
    void UpdateArticleMenuItems();

private:
    void ApplyCommands(ReadingController::Commands commands, ReadingState state);
    void ShowStatus(const QString &longText, const QString &shortText);
    void ShowGauge(bool visible, int maximum, int value);
    void ShowPaused(bool paused);

    MainWindow &m_form;
    QLabel &m_status;
    QLabel &m_progress;
    QProgressBar &m_gauge;
    ReadingState m_readingState = rsIdle;
    // The controller reads the list through the view: the view goes last.
    std::unique_ptr<ListReadingView> m_readingView;
    std::unique_ptr<ReadingController> m_reading;
};
