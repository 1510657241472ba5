#include "SoundCardError.h"

#include "ui_SoundCardError.h"

#include "ContactLinks.h"

TSoundCardErrorForm::TSoundCardErrorForm(bool &checkAgain, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSoundCardErrorForm>()), m_checkAgain(checkAgain)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    ui->Memo1->setText(ui->Memo1->text().arg(ContactLinks::SupportAddress));
    ui->Memo1->setAccessibleName(ui->Memo1->text().simplified());
    // The notice is drawn in the theme's link colour: blue on a light theme,
    // and still readable on a dark or high-contrast one.
    QPalette palette = ui->Memo1->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    ui->Memo1->setPalette(palette);

    ui->CheckBox1->setChecked(false);
    connect(ui->CheckBox1, &QCheckBox::toggled, this, &TSoundCardErrorForm::DontCheckAgainClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TSoundCardErrorForm::ProceedClick);
    connect(ui->Button2, &QPushButton::clicked, this, &TSoundCardErrorForm::CancelClick);
    ui->Button2->setFocus();
}

TSoundCardErrorForm::~TSoundCardErrorForm() = default;

void TSoundCardErrorForm::ProceedClick()
{
    accept();
}

void TSoundCardErrorForm::CancelClick()
{
    reject();
}

void TSoundCardErrorForm::DontCheckAgainClick()
{
    m_checkAgain = !ui->CheckBox1->isChecked();
}
