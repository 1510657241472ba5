#include "SIBusyDialogUnit.h"

#include "ui_SIBusyDialogUnit.h"

#include "settings/PreferenceUnit.h"

#include <QScreen>

TSIBusyForm::TSIBusyForm(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TSIBusyForm>())
{
    ui->setupUi(this);
    // Dialog border without border icons, above other programs' windows:
    // the copy that brought it happened in another program.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    connect(ui->CheckBox1, &QCheckBox::toggled, this, &TSIBusyForm::CheckBox1Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TSIBusyForm::Button1Click);
    ui->Button1->setFocus();
}

TSIBusyForm::~TSIBusyForm() = default;

void TSIBusyForm::Button1Click()
{
    accept();
}

void TSIBusyForm::CheckBox1Click()
{
    if (Prefs)
        Prefs->SI_ShowBusyDialog = !ui->CheckBox1->isChecked();
}

void TSIBusyForm::showEvent(QShowEvent *event)
{
    adjustSize();
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
