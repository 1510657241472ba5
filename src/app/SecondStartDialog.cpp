#include "SecondStartDialog.h"

#include "ui_SecondStartDialog.h"

#include <QScreen>

SecondStartDialog::SecondStartDialog(bool &showAgain, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::SecondStartDialog>()), m_showAgain(showAgain)
{
    ui->setupUi(this);
    // Dialog border without border icons, above other programs' windows:
    // the copy that brought it happened in another program.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    connect(ui->CheckBox1, &QCheckBox::toggled, this, &SecondStartDialog::DontShowAgainClick);
    connect(ui->Button1, &QPushButton::clicked, this, &SecondStartDialog::OkClick);
    ui->Button1->setFocus();
}

SecondStartDialog::~SecondStartDialog() = default;

void SecondStartDialog::OkClick()
{
    accept();
}

void SecondStartDialog::DontShowAgainClick()
{
    m_showAgain = !ui->CheckBox1->isChecked();
}

void SecondStartDialog::showEvent(QShowEvent *event)
{
    adjustSize();
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
