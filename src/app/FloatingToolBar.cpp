#include "FloatingToolBar.h"

#include "ui_FloatingToolBar.h"

#include "PreferenceUnit.h"
#include "dialogs/FormPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <initializer_list>
#include <utility>

const QString FloatingToolBar::Caption = QStringLiteral("Voxtrella MP3 Toolbar");

namespace {

void call(const std::function<void()> &callback)
{
    if (callback)
        callback();
}

// The toolbar symbols, drawn on a 16-unit square in the palette's button
// text colour at the moment they are painted, so that they stay readable in
// light, dark and high-contrast palettes and follow a palette change.
void drawSymbol(QPainter &p, const QString &name)
{
    const QColor ink = p.pen().color();
    p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    auto fill = [&p, ink](std::initializer_list<QPointF> points) {
        QPainterPath path;
        path.addPolygon(QPolygonF(points));
        path.closeSubpath();
        p.fillPath(path, ink);
    };
    if (name == QLatin1String("document-new")) {  // a page with a folded corner
        p.drawPolygon(QPolygonF({{3.5, 1.5}, {9.5, 1.5}, {12.5, 4.5}, {12.5, 14.5}, {3.5, 14.5}}));
        p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
    } else if (name == QLatin1String("view-list-details")) {  // several articles
        for (qreal y : {2.0, 6.5, 11.0})
            p.fillRect(QRectF(2, y, 12, 2.5), ink);
    } else if (name == QLatin1String("document-open")) {  // a folder
        p.drawPolygon(QPolygonF({{1.5, 2.5}, {6, 2.5}, {7.5, 4.5}, {14.5, 4.5}, {14.5, 13.5}, {1.5, 13.5}}));
        p.drawLine(QPointF(1.5, 7), QPointF(14.5, 7));
    } else if (name == QLatin1String("edit-paste")) {  // a clipboard
        p.drawRect(QRectF(3, 2.5, 10, 12));
        p.fillRect(QRectF(5.5, 1, 5, 3.5), ink);
        p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
        p.drawLine(QPointF(5.5, 11), QPointF(10.5, 11));
    } else if (name == QLatin1String("media-playback-start")) {
        fill({{4, 2}, {14, 8}, {4, 14}});
    } else if (name == QLatin1String("document-save")) {  // down into a file
        p.fillRect(QRectF(7, 1, 2, 6.5), ink);
        fill({{3.5, 6.5}, {12.5, 6.5}, {8, 11}});
        p.fillRect(QRectF(2, 12.5, 12, 2), ink);
    } else if (name == QLatin1String("media-playback-pause")) {
        p.fillRect(QRectF(3, 2, 3.5, 12), ink);
        p.fillRect(QRectF(9.5, 2, 3.5, 12), ink);
    } else if (name == QLatin1String("media-skip-forward")) {
        fill({{2, 2}, {11, 8}, {2, 14}});
        p.fillRect(QRectF(11.5, 2, 2.5, 12), ink);
    } else if (name == QLatin1String("media-playback-stop")) {
        p.fillRect(QRectF(3, 3, 10, 10), ink);
    } else if (name == QLatin1String("configure")) {  // three sliders
        for (const auto &[y, knob] : {std::pair{3.5, 5.0}, std::pair{8.0, 11.0}, std::pair{12.5, 7.0}}) {
            p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
            p.setBrush(ink);
            p.drawEllipse(QPointF(knob, y), 1.8, 1.8);
            p.setBrush(Qt::NoBrush);
        }
    } else if (name == QLatin1String("window-restore")) {  // two windows
        p.drawPolyline(QPolygonF({{5.5, 6.5}, {5.5, 1.5}, {14.5, 1.5}, {14.5, 9.5}, {10.5, 9.5}}));
        p.drawRect(QRectF(1.5, 6.5, 9, 8));
        p.fillRect(QRectF(1.5, 6.5, 9, 2), ink);
    }
}

class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(QString name) : m_name(std::move(name)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        QColor ink = palette.color(QPalette::Active, QPalette::ButtonText);
        if (mode == QIcon::Disabled)
            ink = palette.color(QPalette::Disabled, QPalette::ButtonText);
        else if (mode == QIcon::Selected)
            ink = palette.color(QPalette::Active, QPalette::HighlightedText);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        painter->setPen(ink);
        drawSymbol(*painter, m_name);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_name); }
    QString key() const override { return QStringLiteral("VoxtrellaSymbol"); }
    QString iconName() override { return m_name; }

private:
    QString m_name;
};

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

// The desktop theme's icon where the theme has one, else our own symbol.
QIcon ToolBarIcon(const QString &themeName)
{
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QIcon(new SymbolIconEngine(themeName));
}

FloatingToolBar::FloatingToolBar(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::FloatingToolBar>())
{
    ui->setupUi(this);
    // A window of its own (own taskbar entry) with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ui->PlayToolBtn->setIcon(ToolBarIcon(QStringLiteral("media-playback-start")));
    ui->PlayFileBtn->setIcon(ToolBarIcon(QStringLiteral("document-save")));
    ui->PauseBtn->setIcon(ToolBarIcon(QStringLiteral("media-playback-pause")));
    ui->SkipBtn->setIcon(ToolBarIcon(QStringLiteral("media-skip-forward")));
    ui->StopBtn->setIcon(ToolBarIcon(QStringLiteral("media-playback-stop")));
    ui->RestoreBtn->setIcon(ToolBarIcon(QStringLiteral("window-restore")));

    connect(ui->PlayToolBtn, &QToolButton::clicked, this, &FloatingToolBar::PlayToolBtnClick);
    connect(ui->PlayFileBtn, &QToolButton::clicked, this, &FloatingToolBar::PlayFileBtnClick);
    connect(ui->PauseBtn, &QToolButton::clicked, this, &FloatingToolBar::PauseBtnClick);
    connect(ui->SkipBtn, &QToolButton::clicked, this, &FloatingToolBar::SkipBtnClick);
    connect(ui->StopBtn, &QToolButton::clicked, this, &FloatingToolBar::StopBtnClick);
    connect(ui->RestoreBtn, &QToolButton::clicked, this, &FloatingToolBar::RestoreBtnClick);

    // Idle until the main window says otherwise.
    SetPauseEnabled(false);
    SetSkipEnabled(false);
    SetStopEnabled(false);

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

void FloatingToolBar::SetAloudEnabled(bool enabled)
{
    ui->PlayToolBtn->setEnabled(enabled);
}

void FloatingToolBar::SetFileEnabled(bool enabled)
{
    ui->PlayFileBtn->setEnabled(enabled);
}

void FloatingToolBar::SetPauseEnabled(bool enabled)
{
    ui->PauseBtn->setEnabled(enabled);
}

void FloatingToolBar::SetSkipEnabled(bool enabled)
{
    ui->SkipBtn->setEnabled(enabled);
}

void FloatingToolBar::SetStopEnabled(bool enabled)
{
    ui->StopBtn->setEnabled(enabled);
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

void FloatingToolBar::PlayToolBtnClick()
{
    call(OnPlay);
}

void FloatingToolBar::PlayFileBtnClick()
{
    call(OnPlayFile);
}

void FloatingToolBar::PauseBtnClick()
{
    call(OnPause);
}

void FloatingToolBar::SkipBtnClick()
{
    call(OnSkip);
}

void FloatingToolBar::StopBtnClick()
{
    call(OnStop);
}

void FloatingToolBar::RestoreBtnClick()
{
    call(OnRestore);
}

void FloatingToolBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    call(OnShown);
}

void FloatingToolBar::closeEvent(QCloseEvent *event)
{
    // Closing only hides it; the program goes on in the tray.
    event->ignore();
    hide();
    call(OnUserClosed);
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
