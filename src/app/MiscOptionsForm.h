#pragma once
// The Misc page of the options band: the default voice, highlighting, the
// symbol filter, the floating toolbar and the login start, which
// OptionsBinder binds; and the read commands a user binds to keys in the
// desktop's keyboard settings, shown to be copied.

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

    // How a keyboard shortcut starts this program with the option: by name
    // when that is the program on the PATH, else by its full path, and with
    // this run's VOXTRELLA_HOME (another home is another program).
    static QString ShortcutCommand(const QString &option);

private:
    std::unique_ptr<Ui::MiscOptionsForm> ui;
};
