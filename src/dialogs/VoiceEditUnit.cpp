#include "VoiceEditUnit.h"

#include "ui_VoiceEditUnit.h"

#include "FormPlacement.h"

#include <QShowEvent>

#include <algorithm>

namespace {

void SetUpSlider(QSlider &slider, int32_t minimum, int32_t maximum, int32_t position)
{
    const QSignalBlocker block(slider);
    slider.setRange(minimum, std::max(minimum, maximum));
    const int step = std::max(1, (slider.maximum() - slider.minimum()) / 10);
    slider.setPageStep(step);
    slider.setTickInterval(step);
    slider.setValue(position);
}

}  // namespace

// FormCreate
TVoiceEditForm::TVoiceEditForm(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TVoiceEditForm>())
{
    ui->setupUi(this);
    // A dialog border without border icons; Escape still cancels.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(ui->PitchSlider, &QSlider::valueChanged, this, &TVoiceEditForm::PitchSliderChange);
    connect(ui->PitchSlider, &QSlider::sliderReleased, this, &TVoiceEditForm::PitchSliderTrackEnd);
    connect(ui->SpeedSlider, &QSlider::valueChanged, this, &TVoiceEditForm::SpeedSliderChange);
    connect(ui->SpeedSlider, &QSlider::sliderReleased, this, &TVoiceEditForm::SpeedSliderTrackEnd);
    connect(ui->ResetBtn, &QPushButton::clicked, this, &TVoiceEditForm::ResetBtnClick);
    connect(ui->TestBtn, &QPushButton::clicked, this, &TVoiceEditForm::TestBtnClick);
    connect(ui->OkBtn, &QPushButton::clicked, this, &TVoiceEditForm::OkBtnClick);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &TVoiceEditForm::CancelBtnClick);

    FormPlacement::Restore(this);
}

// FormDestroy. The placement is saved whenever the editor closes; a form
// never shown keeps the stored one rather than pinning itself to the corner.
TVoiceEditForm::~TVoiceEditForm()
{
    if (isVisible())
        FormPlacement::Save(this);
}

void TVoiceEditForm::SetTestAllowed(bool allowed)
{
    ui->TestBtn->setEnabled(allowed);
}

void TVoiceEditForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TVoiceEditForm::FormShow()
{
    ui->VoiceCaptionLbl->setText(m_voice.DisplayName);
    ui->ServiceNoteLbl->setVisible(m_voice.PlaysItself);
    SetUpSlider(*ui->PitchSlider, m_voice.PitchMin, m_voice.PitchMax, m_voice.Pitch);
    SetUpSlider(*ui->SpeedSlider, m_voice.SpeedMin, m_voice.SpeedMax, m_voice.Speed);
    ui->PitchMinLbl->setText(QString::number(m_voice.PitchMin));
    ui->PitchMaxLbl->setText(QString::number(m_voice.PitchMax));
    ui->SpeedMinLbl->setText(QString::number(m_voice.SpeedMin));
    ui->SpeedMaxLbl->setText(QString::number(m_voice.SpeedMax));
    // A stored value outside the engine's range is shown at the range's end;
    // the working value is what the slider shows.
    m_editPitch = ui->PitchSlider->value();
    m_editSpeed = ui->SpeedSlider->value();
    ui->PitchValLbl->setText(QString::number(m_editPitch));
    ui->SpeedValLbl->setText(QString::number(m_editSpeed));
    ui->PitchSlider->setFocus(Qt::OtherFocusReason);
}

// The value label follows the knob. A move by keyboard, wheel or a click on
// the groove has no drag to end, so it sets the working value at once.
void TVoiceEditForm::PitchSliderChange(int position)
{
    ui->PitchValLbl->setText(QString::number(position));
    if (!ui->PitchSlider->isSliderDown())
        m_editPitch = position;
}

void TVoiceEditForm::PitchSliderTrackEnd()
{
    m_editPitch = ui->PitchSlider->value();
}

void TVoiceEditForm::SpeedSliderChange(int position)
{
    ui->SpeedValLbl->setText(QString::number(position));
    if (!ui->SpeedSlider->isSliderDown())
        m_editSpeed = position;
}

void TVoiceEditForm::SpeedSliderTrackEnd()
{
    m_editSpeed = ui->SpeedSlider->value();
}

void TVoiceEditForm::ResetBtnClick()
{
    ui->PitchSlider->setValue(m_voice.PitchDefault);
    ui->SpeedSlider->setValue(m_voice.SpeedDefault);
    m_editPitch = ui->PitchSlider->value();
    m_editSpeed = ui->SpeedSlider->value();
}

void TVoiceEditForm::TestBtnClick()
{
    if (ui->TestBtn->isEnabled())
        emit TestRequested(m_editPitch, m_editSpeed);
}

void TVoiceEditForm::OkBtnClick()
{
    m_voice.Pitch = m_editPitch;
    m_voice.Speed = m_editSpeed;
    accept();
}

void TVoiceEditForm::CancelBtnClick()
{
    reject();
}

void TVoiceEditForm::done(int result)
{
    FormPlacement::Save(this);
    FormPlacement::HideInPlace(this, [&] { QDialog::done(result); });
}
