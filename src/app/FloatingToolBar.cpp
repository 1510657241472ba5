#include "FloatingToolBar.h"

#include "ui_FloatingToolBar.h"

#include "PreferenceUnit.h"
#include "ReadingActions.h"
#include "ToolBarIcons.h"
#include "dialogs/FormPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <algorithm>

const QString FloatingToolBar::Caption = QStringLiteral("Voxtrella MP3 Toolbar");

namespace {

// A window restored at a stored place, or at 0,0 on a fresh profile, keeps its
// frame and title bar inside the screen's work area.
void placeOnScreen(QWidget *window)
{
    QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int titleBar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
    // By the client area, as the placement is stored (FormPlacement.h).
    const QRect client = window->geometry();
    const int x = std::clamp(client.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(client.y(), area.top() + titleBar,
                             std::max(area.top() + titleBar, area.bottom() + 1 - size.height()));
    window->setGeometry(QRect(QPoint(x, y), client.size()));
}

}  // namespace

FloatingToolBar::FloatingToolBar(const ReadingActions *commands, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::FloatingToolBar>())
{
    ui->setupUi(this);
    // A window of its own (own taskbar entry) with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ui->RestoreBtn->setIcon(ToolBarIcon(QStringLiteral("window-restore")));
    connect(ui->RestoreBtn, &QToolButton::clicked, this, &FloatingToolBar::RestoreRequested);
    if (commands)
        SetCommands(*commands);

    FitCaption();
    // FormCreate
    FormPlacement::Restore(this);
    placeOnScreen(this);
    ui->Gauge1->setVisible(false);
}

FloatingToolBar::~FloatingToolBar()
{
    // FormDestroy. A toolbar that was never shown has no place of its own
    // yet; saving its unplaced 0,0 would later open it half off the screen.
    if (testAttribute(Qt::WA_WState_Created))
        FormPlacement::Save(this);
}

void FloatingToolBar::SetStatusText(const QString &text)
{
    ui->StatusLabel->setText(text);
    // The label may be too narrow for the whole text.
    ui->StatusLabel->setToolTip(text);
    ui->StatusLabel->setAccessibleDescription(text);
}

QString FloatingToolBar::StatusText() const
{
    return ui->StatusLabel->text();
}

void FloatingToolBar::SetGaugeRange(int minimum, int maximum)
{
    ui->Gauge1->setRange(minimum, std::max(minimum, maximum));
}

void FloatingToolBar::SetGaugePosition(int position)
{
    ui->Gauge1->setValue(std::clamp(position, ui->Gauge1->minimum(), ui->Gauge1->maximum()));
}

int FloatingToolBar::GaugePosition() const
{
    return ui->Gauge1->value();
}

void FloatingToolBar::SetGaugeText(const QString &text)
{
    // The gauge reads %p, %v and %m in its format as numbers; an invisible
    // word joiner after every % keeps a status such as "100%volume.mp3" as
    // it was written.
    QString format = text;
    format.replace(QLatin1Char('%'), QStringLiteral("%\u2060"));
    ui->Gauge1->setFormat(format);
    ui->Gauge1->setTextVisible(!text.isEmpty());
}

void FloatingToolBar::SetGaugeVisible(bool visible)
{
    ui->Gauge1->setVisible(visible);
}

bool FloatingToolBar::IsGaugeVisible() const
{
    return !ui->Gauge1->isHidden();
}

void FloatingToolBar::ResetGauge()
{
    ui->Gauge1->setVisible(false);
    ui->Gauge1->setValue(ui->Gauge1->minimum());
    SetGaugeText(QString());
}

void FloatingToolBar::SetCommands(const ReadingActions &commands)
{
    ui->PlayToolBtn->setDefaultAction(commands.ReadAloud());
    ui->PlayFileBtn->setDefaultAction(commands.ReadToFile());
    ui->PauseBtn->setDefaultAction(commands.PauseResume());
    ui->SkipBtn->setDefaultAction(commands.Skip());
    ui->StopBtn->setDefaultAction(commands.Stop());
}

void FloatingToolBar::ShowNormal()
{
    showNormal();
    raise();
}

bool FloatingToolBar::IsOnTop() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void FloatingToolBar::FormActivate()
{
    if (m_applyingTopmost)
        return;
    raise();
    const bool onTop = m_prefs && m_prefs->ToolbarOnTop;
    if (IsOnTop() == onTop)
        return;
    // Changing the flag hides the window; show it again where it was.
    m_applyingTopmost = true;
    const bool wasVisible = isVisible();
    const QPoint where = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible) {
        move(where);
        show();
    }
    m_applyingTopmost = false;
}

void FloatingToolBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    emit Shown();
}

void FloatingToolBar::closeEvent(QCloseEvent *event)
{
    // Closing only hides it; the program goes on in the tray.
    event->ignore();
    hide();
    emit ClosedByUser();
}

void FloatingToolBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    if (event->type() == QEvent::FontChange)
        FitCaption();
}

void FloatingToolBar::FitCaption()
{
    // The window is only as wide as its buttons, and window managers cut a
    // longer caption in the middle ("Voxtrella … 3 Toolbar"). Title bars use
    // a bold face of about the desktop font; the close box and the frame
    // take about three title bar heights beside it.
    QFont title = font();
    title.setBold(true);
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const QMargins margins = layout()->contentsMargins();
    ui->ToolBar1->setMinimumWidth(QFontMetrics(title).horizontalAdvance(windowTitle()) + 3 * titleBar - margins.left() -
                                  margins.right());
}
