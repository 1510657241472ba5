#include "ReadingBinder.h"

#include "FloatingToolBar.h"
#include "ArticleEditor.h"
#include "ArticleListView.h"
#include "ListReadingView.h"
#include "ReadingActions.h"
#include "articles/ArticleList.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QTextCursor>

ReadingBinder::ReadingBinder(ReadingController &reading, ReadingActions &commands, ArticleList &list,
                             ArticleListView &view, const StatusWidgets &statusWidgets, FloatingToolBar *toolbar,
                             QObject *parent)
    : QObject(parent), m_reading(reading), m_commands(commands), m_list(list), m_view(view),
      m_statusWidgets(statusWidgets), m_toolBar(toolbar)
{
    connect(commands.ReadAloud(), &QAction::triggered, &reading, &ReadingController::PlayAllBtnClick);
    connect(commands.ReadToFile(), &QAction::triggered, &reading, &ReadingController::PlayFileBtnClick);
    connect(commands.PauseResume(), &QAction::triggered, &reading, &ReadingController::PauseBtnClick);
    connect(commands.Skip(), &QAction::triggered, &reading, &ReadingController::SkipBtnClick);
    connect(commands.Stop(), &QAction::triggered, &reading, &ReadingController::StopBtnClick);
    connect(commands.ReadFromCursor(), &QAction::triggered, this, &ReadingBinder::ReadFromCursor);
    connect(commands.ReadSelected(), &QAction::triggered, this, &ReadingBinder::ReadSelection);

    connect(&reading, &ReadingController::CommandsChanged, this, &ReadingBinder::ApplyCommands);
    connect(&reading, &ReadingController::StatusChanged, this, &ReadingBinder::ShowStatus);
    connect(&reading, &ReadingController::StatusReset, this, [this] {
        m_statusWidgets.status.clear();
        emit StatusShown(QString(), true);
    });
    connect(&reading, &ReadingController::GaugeChanged, this, &ReadingBinder::ShowGauge);
    connect(&reading, &ReadingController::PausedChanged, this, &ReadingBinder::ShowPaused);
    reading.SetReadingState(reading.State() == rsExiting ? rsExiting : rsIdle);
}

ReadingBinder::~ReadingBinder() = default;

// ---------------------------------------------------------------- commands

void ReadingBinder::ReadFromCursor()
{
    if (ArticleEntry *entry = m_list.CurrentEntry())
        m_reading.ReadFromCursor(m_view.EditorFor(entry)->SelStart());
}

void ReadingBinder::ReadSelection()
{
    ArticleEntry *entry = m_list.CurrentEntry();
    if (!entry)
        return;
    // The selection's anchor may lie after the caret: a backward selection.
    const ArticleEditor *editor = m_view.EditorFor(entry);
    const QTextCursor cursor = editor->textCursor();
    const int anchor = editor->TextPosition(cursor.anchor());
    m_reading.ReadSelection(anchor, editor->TextPosition(cursor.position()) - anchor);
}

void ReadingBinder::UpdateArticleMenuItems()
{
    ArticleEntry *entry = m_list.CurrentEntry();
    m_commands.SetSelectionPresent(entry && m_view.EditorFor(entry)->textCursor().hasSelection());
}

void ReadingBinder::SpeakAudioHelp(const QString &text, const QString &voiceName)
{
    m_reading.SpeakAudioHelp(text, voiceName);
}

void ReadingBinder::StartAutoSpeak(QObject *article)
{
    m_reading.StartAutoSpeak(article);
}

void ReadingBinder::SetTarget(OutputTarget target)
{
    m_reading.SetTarget(target);
}

void ReadingBinder::HighlightSwitchedOn()
{
    if (m_reading.State() != rsReading)
        return;
    if (ArticleEntry *entry = ListReadingView::EntryOf(m_reading.ArticleBeingRead())) {
        if (!m_view.OnScreen(entry))
            m_list.MarkEntry(m_list.FindEntry(entry));
        m_view.EditorFor(entry)->setFocus(Qt::OtherFocusReason);
    }
}

// ------------------------------------------------------------------ status

void ReadingBinder::SetReadingState(ReadingState state)
{
    m_reading.SetReadingState(state);
}

void ReadingBinder::BeginExit()
{
    m_reading.BeginExit();
}

void ReadingBinder::ApplyCommands(ReadingController::Commands commands, ReadingState state)
{
    m_commands.Apply(commands);
    emit StateApplied(state);
}

QString ReadingBinder::ArticleCountText() const
{
    return m_reading.ArticleCountText();
}

void ReadingBinder::UpdateStatus(const QString &text)
{
    m_reading.UpdateStatus(text);
}

void ReadingBinder::ShowStatus(const QString &longText, const QString &shortText)
{
    m_statusWidgets.status.setText(longText);
    emit StatusShown(longText, m_reading.State() == rsIdle);
    if (m_toolBar)
        m_toolBar->SetStatusText(shortText);
}

void ReadingBinder::ResetStatus()
{
    m_reading.ResetStatus();
}

void ReadingBinder::ShowGauge(bool visible, int maximum, int value)
{
    QProgressBar &gauge = m_statusWidgets.gauge;
    if (!visible) {
        gauge.hide();
        gauge.setValue(0);
        if (m_toolBar)
            m_toolBar->ResetGauge();
        return;
    }
    if (maximum >= 0) {
        gauge.setRange(0, std::max(1, maximum));
        if (m_toolBar)
            m_toolBar->SetGaugeRange(0, std::max(1, maximum));
    }
    gauge.setValue(std::clamp(value, gauge.minimum(), gauge.maximum()));
    gauge.show();
    if (m_toolBar) {
        m_toolBar->SetGaugePosition(value);
        m_toolBar->SetGaugeVisible(true);
    }
}

void ReadingBinder::ShowPaused(bool paused)
{
    m_commands.ShowPaused(paused);
    m_statusWidgets.progress.setText(paused ? QStringLiteral("Pause") : QStringLiteral(" "));
}
