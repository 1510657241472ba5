#pragma once
// Tells the user that Single-Article mode takes no clipboard text while
// its article is being read. The check box stops it from being shown again.

#include <QDialog>

#include <memory>

namespace Ui {
class TSIBusyForm;
}

class TSIBusyForm : public QDialog
{
    Q_OBJECT
public:
    // showAgain is the setting the check box turns off.
    explicit TSIBusyForm(bool &showAgain, QWidget *parent = nullptr);
    ~TSIBusyForm() override;

    void Button1Click();
    void CheckBox1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TSIBusyForm> ui;
    bool &m_showAgain;
};
