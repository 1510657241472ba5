#include "ClipboardPrompt.h"

#include "ui_ClipboardPrompt.h"

#include "articles/ArticleList.h"
#include "settings/PreferenceUnit.h"

#include <QHideEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>

namespace {

const QString kMultiMode = QStringLiteral("Current Mode is Multi-Article Mode");
const QString kSingleMode = QStringLiteral("Current Mode is Single-Article Mode");
const QString kNewMultiHint = QStringLiteral("Add new article");
const QString kNewSingleHint = QStringLiteral("Overwrite current article");

}  // namespace

ClipboardPrompt::ClipboardPrompt(ArticleList &list, TPreferences &prefs, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ClipboardPrompt>()), m_list(list), m_prefs(prefs),
      m_delayTimer(new QTimer(this))
{
    ui->setupUi(this);
    // Dialog border, no border icons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    m_delayTimer->setObjectName(QStringLiteral("Timer1"));
    m_delayTimer->setSingleShot(true);
    connect(m_delayTimer, &QTimer::timeout, this, &ClipboardPrompt::TimeOutToDefault);
    connect(ui->New, &QPushButton::clicked, this, &ClipboardPrompt::NewClick);
    connect(ui->Append, &QPushButton::clicked, this, &ClipboardPrompt::AppendClick);
    connect(ui->Cancel, &QPushButton::clicked, this, &ClipboardPrompt::CancelClick);
    FormCreate();
}

ClipboardPrompt::~ClipboardPrompt() = default;

QPushButton *ClipboardPrompt::New() const
{
    return ui->New;
}

QPushButton *ClipboardPrompt::Append() const
{
    return ui->Append;
}

QPushButton *ClipboardPrompt::Cancel() const
{
    return ui->Cancel;
}

QString ClipboardPrompt::ModeText() const
{
    return ui->ModeValue->text();
}

void ClipboardPrompt::FormCreate()
{
    Place();
}

void ClipboardPrompt::Place()
{
    adjustSize();
    QPoint at(m_prefs.CB_PromptLeft, m_prefs.CB_PromptTop);
    // A stored place on a screen that is gone would put the prompt where
    // nobody sees it while it waits for an answer.
    if (m_prefs.CB_PromptLeft < 0 || !QGuiApplication::screenAt(at)) {
        QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
        at = s ? s->availableGeometry().center() - rect().center() : QPoint(0, 0);
    }
    move(at);
    m_placedAt = pos();
}

void ClipboardPrompt::FormShow()
{
    ui->Append->setEnabled(true);
    if (!m_list.CurrentEntry() || (m_list.GetVisibleCount() == 1 && m_list.Entry(0)->IsBlank()))
        ui->Append->setEnabled(false);
    const bool multi = m_prefs.IsMultiArticleMode();
    ui->ModeValue->setText(multi ? kMultiMode : kSingleMode);
    ui->New->setToolTip(multi ? kNewMultiHint : kNewSingleHint);

    // A delay of 0 seconds keeps the prompt open until it is answered.
    m_delayTimer->stop();
    const qint64 delay = qint64(m_prefs.CB_PromptDelay) * 1000;
    if (m_prefs.CB_Prompt && delay > 0)
        m_delayTimer->start(int(std::min<qint64>(delay, INT_MAX)));

    // Chosen here too, not only on activation: a window manager may refuse
    // to activate a window of a program in the background, and the timer
    // must still press the configured button.
    ChooseDefaultButton();
    Place();
}

void ClipboardPrompt::FormActivate()
{
    ChooseDefaultButton();
    m_default->setFocus(Qt::ActiveWindowFocusReason);
}

void ClipboardPrompt::ChooseDefaultButton()
{
    const bool appendOn = ui->Append->isEnabled();
    QPushButton *chosen = ui->Cancel;
    switch (m_prefs.CB_DfltPromptAction) {
    case caNew:
        chosen = ui->New;
        break;
    case caAppend:
        chosen = appendOn ? ui->Append : ui->Cancel;
        break;
    case caRememberLast:
        if (appendOn && m_prefs.CB_LastPromptAction == caNew)
            chosen = ui->New;
        else if (appendOn && m_prefs.CB_LastPromptAction == caAppend)
            chosen = ui->Append;
        break;
    default:
        break;
    }
    m_default = chosen;
    for (QPushButton *b : {ui->New, ui->Append, ui->Cancel})
        b->setDefault(b == chosen);
}

void ClipboardPrompt::BringToFront()
{
    QWindow *window = windowHandle();
    if (!window)
        return;
    // On the window itself, not the widget: changing the widget's flags
    // would hide the shown window.
    window->setFlags(window->flags() | Qt::WindowStaysOnTopHint);
    raise();
    activateWindow();
    QCoreApplication::processEvents();
    window->setFlags(window->flags() & ~Qt::WindowStaysOnTopHint);
}

void ClipboardPrompt::NewClick()
{
    AddText(caNew);
}

void ClipboardPrompt::AppendClick()
{
    AddText(caAppend);
}

void ClipboardPrompt::AddText(Action action)
{
    if (m_acting)
        return;
    m_prefs.CB_LastPromptAction = action;
    m_delayTimer->stop();
    m_acting = true;
    emit ActionChosen(action);
    m_acting = false;
    done(Accepted);
}

void ClipboardPrompt::CancelClick()
{
    // While New or Append adds the text (which may let messages run) the
    // window manager's close must not record a second answer.
    if (m_acting)
        return;
    m_prefs.CB_LastPromptAction = caCancel;
    m_delayTimer->stop();
    QDialog::reject();
}

void ClipboardPrompt::reject()
{
    CancelClick();
}

void ClipboardPrompt::TimeOutToDefault()
{
    m_delayTimer->stop();
    if (m_default == ui->New)
        NewClick();
    else if (m_default == ui->Append && ui->Append->isEnabled())
        AppendClick();
    else
        CancelClick();
}

void ClipboardPrompt::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void ClipboardPrompt::hideEvent(QHideEvent *event)
{
    m_delayTimer->stop();
    // Where the user moved it, it opens next time. Wayland reports no
    // real position, so nothing is learnt there.
    const QPoint at = pos();
    if (!event->spontaneous() && at != m_placedAt && at.x() >= 0 && at.y() >= 0 &&
        !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        m_prefs.CB_PromptLeft = at.x();
        m_prefs.CB_PromptTop = at.y();
    }
    QDialog::hideEvent(event);
}

void ClipboardPrompt::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
        FormActivate();
}
