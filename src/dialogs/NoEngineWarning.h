#pragma once
// Shown when no speech engine is installed: where to get one and whom to
// ask. The program ends after it closes.

#include <QDialog>

#include <memory>

namespace Ui {
class TEngineWarningForm;
}

class TEngineWarningForm : public QDialog
{
    Q_OBJECT

public:
    explicit TEngineWarningForm(QWidget *parent = nullptr);
    ~TEngineWarningForm() override;

    // Open the download page / a new mail to support in the user's programs.
    // False when the desktop has no program for them.
    bool OpenDownloadPage();
    bool MailSupport();
    void OkClick();

private:
    std::unique_ptr<Ui::TEngineWarningForm> ui;
};
