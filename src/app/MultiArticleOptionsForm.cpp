#include "MultiArticleOptionsForm.h"

#include "ui_MultiArticleOptionsForm.h"

MultiArticleOptionsForm::MultiArticleOptionsForm(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MultiArticleOptionsForm>())
{
    ui->setupUi(this);
}

MultiArticleOptionsForm::~MultiArticleOptionsForm() = default;
