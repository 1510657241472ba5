#include "ToolBarUnit.h"

#include "ui_ToolBarUnit.h"

#include "PreferenceUnit.h"
#include "dialogs/FormPlacement.h"

#include <QCloseEvent>
#include <QIcon>
#include <QStyle>

#include <algorithm>

const QString TToolBarForm::Caption = QStringLiteral("Voxtrella MP3 Toolbar");

namespace {

void call(const std::function<void()> &callback)
{
    if (callback)
        callback();
}

QIcon themeIcon(const QWidget *widget, const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

}  // namespace

TToolBarForm::TToolBarForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::TToolBarForm>())
{
    ui->setupUi(this);
    // A window of its own (own taskbar entry) with only the close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ui->PlayToolBtn->setIcon(themeIcon(this, "media-playback-start", QStyle::SP_MediaPlay));
    ui->PlayFileBtn->setIcon(themeIcon(this, "document-save", QStyle::SP_DialogSaveButton));
    ui->PauseBtn->setIcon(themeIcon(this, "media-playback-pause", QStyle::SP_MediaPause));
    ui->SkipBtn->setIcon(themeIcon(this, "media-skip-forward", QStyle::SP_MediaSkipForward));
    ui->StopBtn->setIcon(themeIcon(this, "media-playback-stop", QStyle::SP_MediaStop));
    ui->RestoreBtn->setIcon(themeIcon(this, "window-restore", QStyle::SP_TitleBarNormalButton));

    connect(ui->PlayToolBtn, &QToolButton::clicked, this, &TToolBarForm::PlayToolBtnClick);
    connect(ui->PlayFileBtn, &QToolButton::clicked, this, &TToolBarForm::PlayFileBtnClick);
    connect(ui->PauseBtn, &QToolButton::clicked, this, &TToolBarForm::PauseBtnClick);
    connect(ui->SkipBtn, &QToolButton::clicked, this, &TToolBarForm::SkipBtnClick);
    connect(ui->StopBtn, &QToolButton::clicked, this, &TToolBarForm::StopBtnClick);
    connect(ui->RestoreBtn, &QToolButton::clicked, this, &TToolBarForm::RestoreBtnClick);

    // Idle until the main window says otherwise.
    SetPauseEnabled(false);
    SetSkipEnabled(false);
    SetStopEnabled(false);

    // FormCreate
    FormPlacement::Restore(this);
    ui->Gauge1->setVisible(false);
}

TToolBarForm::~TToolBarForm()
{
    // FormDestroy
    FormPlacement::Save(this);
}

void TToolBarForm::SetStatusText(const QString &text)
{
    ui->StatusLabel->setText(text);
    // The label may be too narrow for the whole text.
    ui->StatusLabel->setToolTip(text);
    ui->StatusLabel->setAccessibleDescription(text);
}

QString TToolBarForm::StatusText() const
{
    return ui->StatusLabel->text();
}

void TToolBarForm::SetGaugeRange(int minimum, int maximum)
{
    ui->Gauge1->setRange(minimum, std::max(minimum, maximum));
}

void TToolBarForm::SetGaugePosition(int position)
{
    ui->Gauge1->setValue(std::clamp(position, ui->Gauge1->minimum(), ui->Gauge1->maximum()));
}

int TToolBarForm::GaugePosition() const
{
    return ui->Gauge1->value();
}

void TToolBarForm::SetGaugeText(const QString &text)
{
    // The gauge reads %p, %v and %m in its format as numbers; an invisible
    // word joiner after every % keeps a status such as "100%volume.mp3" as
    // it was written.
    QString format = text;
    format.replace(QLatin1Char('%'), QStringLiteral("%\u2060"));
    ui->Gauge1->setFormat(format);
    ui->Gauge1->setTextVisible(!text.isEmpty());
}

void TToolBarForm::SetGaugeVisible(bool visible)
{
    ui->Gauge1->setVisible(visible);
}

bool TToolBarForm::IsGaugeVisible() const
{
    return !ui->Gauge1->isHidden();
}

void TToolBarForm::ResetGauge()
{
    ui->Gauge1->setVisible(false);
    ui->Gauge1->setValue(ui->Gauge1->minimum());
    SetGaugeText(QString());
}

void TToolBarForm::SetAloudEnabled(bool enabled)
{
    ui->PlayToolBtn->setEnabled(enabled);
}

void TToolBarForm::SetFileEnabled(bool enabled)
{
    ui->PlayFileBtn->setEnabled(enabled);
}

void TToolBarForm::SetPauseEnabled(bool enabled)
{
    ui->PauseBtn->setEnabled(enabled);
}

void TToolBarForm::SetSkipEnabled(bool enabled)
{
    ui->SkipBtn->setEnabled(enabled);
}

void TToolBarForm::SetStopEnabled(bool enabled)
{
    ui->StopBtn->setEnabled(enabled);
}

void TToolBarForm::ShowNormal()
{
    showNormal();
    raise();
}

bool TToolBarForm::IsOnTop() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void TToolBarForm::FormActivate()
{
    if (m_applyingTopmost)
        return;
    raise();
    const bool onTop = Prefs != nullptr && Prefs->ToolbarOnTop;
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

void TToolBarForm::PlayToolBtnClick()
{
    call(OnPlay);
}

void TToolBarForm::PlayFileBtnClick()
{
    call(OnPlayFile);
}

void TToolBarForm::PauseBtnClick()
{
    call(OnPause);
}

void TToolBarForm::SkipBtnClick()
{
    call(OnSkip);
}

void TToolBarForm::StopBtnClick()
{
    call(OnStop);
}

void TToolBarForm::RestoreBtnClick()
{
    call(OnRestore);
}

void TToolBarForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    call(OnShown);
}

void TToolBarForm::closeEvent(QCloseEvent *event)
{
    // Closing only hides it; the program goes on in the tray.
    event->ignore();
    hide();
    call(OnUserClosed);
}

void TToolBarForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}
