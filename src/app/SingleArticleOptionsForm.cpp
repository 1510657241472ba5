#include "SingleArticleOptionsForm.h"

#include "ui_SingleArticleOptionsForm.h"

SingleArticleOptionsForm::SingleArticleOptionsForm(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::SingleArticleOptionsForm>())
{
    ui->setupUi(this);
}

SingleArticleOptionsForm::~SingleArticleOptionsForm() = default;
