#pragma once
// The Clipboard page of the options band: watching the clipboard, the least
// size of a copy and the copy prompt. OptionsBinder binds its settings; the
// window connects its watch check box to the ClipboardWatcher.

#include <QWidget>

#include <memory>

namespace Ui {
class ClipboardOptionsForm;
}

class ClipboardOptionsForm : public QWidget
{
    Q_OBJECT
public:
    explicit ClipboardOptionsForm(QWidget *parent = nullptr);
    ~ClipboardOptionsForm() override;

    Ui::ClipboardOptionsForm &Controls() const { return *ui; }

    // True where a program sees other programs' copies only while one of
    // its windows has the focus (Wayland, and X programs under Wayland).
    static bool FocusOnlyClipboard(const QString &platformName, const QString &sessionType,
                                   const QString &waylandDisplay);

private:
    // Where other programs' copies arrive only while a window of ours has
    // the focus, the page says so.
    void NoteFocusOnlyClipboard();

    std::unique_ptr<Ui::ClipboardOptionsForm> ui;
};
