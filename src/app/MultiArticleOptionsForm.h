#pragma once
// The Multi-Article mode's sheet of the options band: the voice policy, one
// file or one per article, and deleting what was read. OptionsBinder binds it.

#include <QWidget>

#include <memory>

namespace Ui {
class MultiArticleOptionsForm;
}

class MultiArticleOptionsForm : public QWidget
{
    Q_OBJECT
public:
    explicit MultiArticleOptionsForm(QWidget *parent = nullptr);
    ~MultiArticleOptionsForm() override;

    Ui::MultiArticleOptionsForm &Controls() const { return *ui; }

private:
    std::unique_ptr<Ui::MultiArticleOptionsForm> ui;
};
