#include "ReadingBinder.h"

#include "ui_MainWindow.h"

#include "ArticleCommands.h"
#include "ListReadingView.h"
#include "MainWindow.h"
#include "FloatingToolBar.h"
#include "TrayController.h"
#include "ArticleEditor.h"
#include "ArticleListView.h"
#include "settings/PreferenceUnit.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTextCursor>

ReadingBinder::ReadingBinder(MainWindow &form, QLabel &status, QLabel &progress, QProgressBar &gauge)
    : m_form(form), m_status(status), m_progress(progress), m_gauge(gauge)
{
    Ui::MainWindow *ui = form.form();
    const struct {
        QToolButton *button;
        QAction *item;
        void (ReadingBinder::*command)();
    } commands[] = {
        {ui->PlayToolBtn, ui->PlaySpkrMItm, &ReadingBinder::PlayAllBtnClick},
        {ui->PlayFileBtn, ui->PlayFileMItm, &ReadingBinder::PlayFileBtnClick},
        {ui->PauseBtn, ui->PauseMItm, &ReadingBinder::PauseBtnClick},
        {ui->SkipBtn, ui->SkipMItm, &ReadingBinder::SkipBtnClick},
        {ui->StopBtn, ui->StopMItm, &ReadingBinder::StopBtnClick},
    };
    for (const auto &c : commands) {
        connect(c.button, &QToolButton::clicked, this, c.command);
        connect(c.item, &QAction::triggered, this, c.command);
    }
}

ReadingBinder::~ReadingBinder() = default;

void ReadingBinder::AttachDriver(Speaker &driver)
{
    m_readingView = std::make_unique<ListReadingView>(*m_form.List(), *m_form.ListView(), m_form);
    connect(m_readingView.get(), &ListReadingView::SaveWanted, &m_form, &MainWindow::SaveList);
    connect(m_readingView.get(), &ListReadingView::NewArticleWanted, &m_form, &MainWindow::AddNewArticle);
    connect(m_readingView.get(), &ListReadingView::RestoreWindowWanted, &m_form, &MainWindow::RestoreFromTray);
    connect(m_readingView.get(), &ListReadingView::FileOptionsWanted, &m_form,
            [this] { m_form.ShowOptionsPage(QStringLiteral("FileOptionsSheet")); });
    m_reading = std::make_unique<ReadingController>(driver, m_form.Preferences(), *m_readingView);
    connect(m_reading.get(), &ReadingController::CommandsChanged, this, &ReadingBinder::ApplyCommands);
    connect(m_reading.get(), &ReadingController::StatusChanged, this, &ReadingBinder::ShowStatus);
    connect(m_reading.get(), &ReadingController::StatusReset, this, [this] {
        m_status.clear();
        m_form.Tray().SetTip(QString(), true);
    });
    connect(m_reading.get(), &ReadingController::GaugeChanged, this, &ReadingBinder::ShowGauge);
    connect(m_reading.get(), &ReadingController::PausedChanged, this, &ReadingBinder::ShowPaused);
    m_reading->SetReadingState(m_readingState == rsExiting ? rsExiting : rsIdle);
}

void ReadingBinder::AttachToolBar(FloatingToolBar &toolbar)
{
    toolbar.OnPlay = [this] { PlayAllBtnClick(); };
    toolbar.OnPlayFile = [this] { PlayFileBtnClick(); };
    toolbar.OnPause = [this] { PauseBtnClick(); };
    toolbar.OnSkip = [this] { SkipBtnClick(); };
    toolbar.OnStop = [this] { StopBtnClick(); };
}

// ---------------------------------------------------------------- commands

void ReadingBinder::PlayAllBtnClick()
{
    if (m_reading)
        m_reading->PlayAllBtnClick();
}

void ReadingBinder::PlayFileBtnClick()
{
    if (m_reading)
        m_reading->PlayFileBtnClick();
}

void ReadingBinder::PauseBtnClick()
{
    if (m_reading)
        m_reading->PauseBtnClick();
}

void ReadingBinder::SkipBtnClick()
{
    if (m_reading)
        m_reading->SkipBtnClick();
}

void ReadingBinder::StopBtnClick()
{
    if (m_reading)
        m_reading->StopBtnClick();
}

void ReadingBinder::ReadFromCursor()
{
    if (ArticleEntry *entry = m_form.List()->CurrentEntry(); entry && m_reading)
        m_reading->ReadFromCursor(m_form.ListView()->EditorFor(entry)->SelStart());
}

void ReadingBinder::ReadSelection()
{
    ArticleEntry *entry = m_form.List()->CurrentEntry();
    if (!entry || !m_reading)
        return;
    // The selection's anchor may lie after the caret: a backward selection.
    const ArticleEditor *editor = m_form.ListView()->EditorFor(entry);
    const QTextCursor cursor = editor->textCursor();
    const int anchor = editor->TextPosition(cursor.anchor());
    m_reading->ReadSelection(anchor, editor->TextPosition(cursor.position()) - anchor);
}

void ReadingBinder::UpdateArticleMenuItems()
{
    ArticleEntry *entry = m_form.List()->CurrentEntry();
    if (QAction *item = m_form.PopupMenu1()->findChild<QAction *>(QStringLiteral("ReadHighlighted1")))
        item->setEnabled(entry && m_form.ListView()->EditorFor(entry)->textCursor().hasSelection());
}

void ReadingBinder::SpeakAudioHelp(const QString &text, const QString &voiceName)
{
    if (m_reading)
        m_reading->SpeakAudioHelp(text, voiceName);
}

void ReadingBinder::StartAutoSpeak(QObject *article)
{
    if (m_reading)
        m_reading->StartAutoSpeak(article);
}

void ReadingBinder::SetTarget(OutputTarget target)
{
    if (m_reading)
        m_reading->SetTarget(target);
}

void ReadingBinder::HighlightSwitchedOn()
{
    if (m_readingState != rsReading || !m_reading)
        return;
    if (ArticleEntry *entry = ListReadingView::EntryOf(m_reading->ArticleBeingRead())) {
        if (!m_form.ListView()->OnScreen(entry))
            m_form.List()->MarkEntry(m_form.List()->FindEntry(entry));
        m_form.ListView()->EditorFor(entry)->setFocus(Qt::OtherFocusReason);
    }
}

// ------------------------------------------------------------------ status

void ReadingBinder::SetReadingState(ReadingState state)
{
    if (m_reading) {
        m_reading->SetReadingState(state);
    } else {
        m_readingState = state;
        ApplyCommands({state == rsIdle, state == rsIdle, false, false, false, state == rsIdle}, state);
    }
}

void ReadingBinder::BeginExit()
{
    if (m_reading)
        m_reading->BeginExit();
    m_readingState = rsExiting;
}

void ReadingBinder::ApplyCommands(ReadingController::Commands c, ReadingState state)
{
    m_readingState = state;
    auto set = [this](std::initializer_list<const char *> names, bool on) {
        for (const char *n : names) {
            const QString name = QLatin1String(n);
            if (auto *w = m_form.findChild<QWidget *>(name))
                w->setEnabled(on);
            if (auto *a = m_form.findChild<QAction *>(name))
                a->setEnabled(on);
        }
    };
    set({"PlayToolBtn", "PlaySpkrMItm", "PlayPoNtry", "TestButton"}, c.aloud);
    set({"PlayFileBtn", "PlayFileMItm", "PlayFilePoNtry"}, c.file);
    set({"PauseBtn", "PauseMItm", "PausePoNtry"}, c.pause);
    set({"SkipBtn", "SkipMItm", "SkipPoNtry"}, c.skip);
    set({"StopBtn", "StopMItm", "StopPoNtry"}, c.stop);
    set({"SelAudioDevMItm", "PronunciationMItm"}, c.deviceMenus);
    FloatingToolBar *toolBar = m_form.ToolBar();
    if (toolBar) {
        toolBar->SetAloudEnabled(c.aloud);
        toolBar->SetFileEnabled(c.file);
        toolBar->SetPauseEnabled(c.pause);
        toolBar->SetSkipEnabled(c.skip);
        toolBar->SetStopEnabled(c.stop);
    }
    // A window minimised to the task bar counts as hidden here.
    const bool mainShown = m_form.isVisible() && !m_form.isMinimized();
    if (state == rsReading && toolBar && !toolBar->isVisible() && !mainShown &&
        m_form.Preferences().ToolbarOnMinOption == 2)
        m_form.Tray().ShowFloatingToolbar();
}

QString ReadingBinder::ArticleCountText() const
{
    if (m_reading)
        return m_reading->ArticleCountText();
    ArticleList *list = m_form.List();
    return list && list->GetVisibleCount() > 0 ? QString::number(list->GetVisibleCount()) + " articles"
                                               : QStringLiteral("No articles");
}

void ReadingBinder::UpdateStatus(const QString &text)
{
    if (m_reading)
        m_reading->UpdateStatus(text);
    else
        ShowStatus(text, text);
}

void ReadingBinder::ShowStatus(const QString &longText, const QString &shortText)
{
    m_status.setText(longText);
    m_form.Tray().SetTip(longText, m_readingState == rsIdle);
    m_form.Articles().UpdatePasteCommands();
    if (FloatingToolBar *toolBar = m_form.ToolBar())
        toolBar->SetStatusText(shortText);
}

void ReadingBinder::ResetStatus()
{
    if (m_reading)
        m_reading->ResetStatus();
}

void ReadingBinder::ShowGauge(bool visible, int maximum, int value)
{
    FloatingToolBar *toolBar = m_form.ToolBar();
    if (!visible) {
        m_gauge.hide();
        m_gauge.setValue(0);
        if (toolBar)
            toolBar->ResetGauge();
        return;
    }
    if (maximum >= 0) {
        m_gauge.setRange(0, std::max(1, maximum));
        if (toolBar)
            toolBar->SetGaugeRange(0, std::max(1, maximum));
    }
    m_gauge.setValue(std::clamp(value, m_gauge.minimum(), m_gauge.maximum()));
    m_gauge.show();
    if (toolBar) {
        toolBar->SetGaugePosition(value);
        toolBar->SetGaugeVisible(true);
    }
}

void ReadingBinder::ShowPaused(bool paused)
{
    Ui::MainWindow *ui = m_form.form();
    ui->PauseMItm->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    ui->PauseBtn->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_form.TrayItem("PausePoNtry")->setText(paused ? QStringLiteral("Resume") : QStringLiteral("&Pause"));
    m_progress.setText(paused ? QStringLiteral("Pause") : QStringLiteral(" "));
}
