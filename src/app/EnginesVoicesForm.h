#pragma once
// The Engines / Voices page of the options band: the tree of engines and
// voices, its buttons and the legend. EnginesVoicesPage runs it.

#include <QWidget>

#include <memory>

namespace Ui {
class EnginesVoicesForm;
}

class EnginesVoicesForm : public QWidget
{
    Q_OBJECT
public:
    explicit EnginesVoicesForm(QWidget *parent = nullptr);
    ~EnginesVoicesForm() override;

    Ui::EnginesVoicesForm &Controls() const { return *ui; }

private:
    std::unique_ptr<Ui::EnginesVoicesForm> ui;
};
