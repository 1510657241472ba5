#pragma once
// The Single-Article mode's sheet of the options band: the voice policy,
// speaking copied text at once and default titles. OptionsBinder binds it.

#include <QWidget>

#include <memory>

namespace Ui {
class SingleArticleOptionsForm;
}

class SingleArticleOptionsForm : public QWidget
{
    Q_OBJECT
public:
    explicit SingleArticleOptionsForm(QWidget *parent = nullptr);
    ~SingleArticleOptionsForm() override;

    Ui::SingleArticleOptionsForm &Controls() const { return *ui; }

private:
    std::unique_ptr<Ui::SingleArticleOptionsForm> ui;
};
