#include "MiscOptionsForm.h"

#include "ui_MiscOptionsForm.h"

MiscOptionsForm::MiscOptionsForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::MiscOptionsForm>())
{
    ui->setupUi(this);
}

MiscOptionsForm::~MiscOptionsForm() = default;
