#pragma once
// Watches the clipboard for new text, which becomes an article (or is
// appended to the current one), with the copy prompt and the busy dialog.

#include <QObject>

class TForm1;

class ClipboardWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ClipboardWatcher(TForm1 &form);

    // Leaves the viewers when the window is destroyed.
    void Leave();

private:
    TForm1 &m_form;
};
