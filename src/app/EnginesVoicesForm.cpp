#include "EnginesVoicesForm.h"

#include "ui_EnginesVoicesForm.h"

EnginesVoicesForm::EnginesVoicesForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::EnginesVoicesForm>())
{
    ui->setupUi(this);
}

EnginesVoicesForm::~EnginesVoicesForm() = default;
