#include "SIBusyDialogUnit.h"

#include "ui_SIBusyDialogUnit.h"

#include <QScreen>

TSIBusyForm::TSIBusyForm(bool &showAgain, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSIBusyForm>()), m_showAgain(showAgain)
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
    m_showAgain = !ui->CheckBox1->isChecked();
}

void TSIBusyForm::showEvent(QShowEvent *event)
{
    adjustSize();
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
