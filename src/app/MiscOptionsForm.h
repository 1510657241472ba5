#pragma once
// The Misc page of the options band: the default voice, highlighting, the
// symbol filter, the floating toolbar and the login start. OptionsBinder
// binds it.

#include <QWidget>

#include <memory>

namespace Ui {
class MiscOptionsForm;
}

class MiscOptionsForm : public QWidget
{
    Q_OBJECT
public:
    explicit MiscOptionsForm(QWidget *parent = nullptr);
    ~MiscOptionsForm() override;

    Ui::MiscOptionsForm &Controls() const { return *ui; }

private:
    std::unique_ptr<Ui::MiscOptionsForm> ui;
};
