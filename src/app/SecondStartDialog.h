#pragma once
// Tells the user that Single-Article mode takes no clipboard text while
// its article is being read. The check box stops it from being shown again.

#include <QDialog>

#include <memory>

namespace Ui {
class SecondStartDialog;
}

class SecondStartDialog : public QDialog
{
    Q_OBJECT
public:
    // showAgain is the setting the check box turns off.
    explicit SecondStartDialog(bool &showAgain, QWidget *parent = nullptr);
    ~SecondStartDialog() override;

    void OkClick();
    void DontShowAgainClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::SecondStartDialog> ui;
    bool &m_showAgain;
};
