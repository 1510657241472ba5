#pragma once
// Shown when the sound card check before a reading fails for a reason other
// than a busy device. Proceed (accepted) goes on with the reading, Cancel
// (rejected) abandons it. The check box turns the check off for good.

#include <QDialog>

#include <memory>

namespace Ui {
class TSoundCardErrorForm;
}

class TSoundCardErrorForm : public QDialog
{
    Q_OBJECT

public:
    // checkAgain is the setting the check box turns off.
    explicit TSoundCardErrorForm(bool &checkAgain, QWidget *parent = nullptr);
    ~TSoundCardErrorForm() override;

    void ProceedClick();
    void CancelClick();
    void DontCheckAgainClick();

private:
    std::unique_ptr<Ui::TSoundCardErrorForm> ui;
    bool &m_checkAgain;
};
