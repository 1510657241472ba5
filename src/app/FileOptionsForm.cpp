#include "FileOptionsForm.h"

#include "ui_FileOptionsForm.h"

FileOptionsForm::FileOptionsForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::FileOptionsForm>())
{
    ui->setupUi(this);
}

FileOptionsForm::~FileOptionsForm() = default;
