#include "PronEditorInfo.h"

#include "ui_PronEditorInfo.h"


TPronEditorInfoForm::TPronEditorInfoForm(bool &showAgain, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TPronEditorInfoForm>()), m_showAgain(showAgain)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->Memo1->setAccessibleName(ui->Memo1->text().simplified());

    ui->CheckBox1->setChecked(false);
    connect(ui->CheckBox1, &QCheckBox::toggled, this, &TPronEditorInfoForm::DontShowAgainClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TPronEditorInfoForm::OkClick);
    ui->Button1->setFocus();
}

TPronEditorInfoForm::~TPronEditorInfoForm() = default;

void TPronEditorInfoForm::OkClick()
{
    accept();
}

void TPronEditorInfoForm::DontShowAgainClick()
{
    m_showAgain = !ui->CheckBox1->isChecked();
}
