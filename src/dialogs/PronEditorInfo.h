#pragma once
// A note shown before the pronunciation editor opens: its changes apply to
// eSpeak NG voices only. The check box stops it from being shown again.

#include <QDialog>

#include <memory>

namespace Ui {
class TPronEditorInfoForm;
}

class TPronEditorInfoForm : public QDialog
{
    Q_OBJECT

public:
    // showAgain is the setting the check box turns off.
    explicit TPronEditorInfoForm(bool &showAgain, QWidget *parent = nullptr);
    ~TPronEditorInfoForm() override;

    void OkClick();
    void DontShowAgainClick();

private:
    std::unique_ptr<Ui::TPronEditorInfoForm> ui;
    bool &m_showAgain;
};
