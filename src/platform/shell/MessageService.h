#pragma once
// The one way user messages are shown: error boxes, plain notices and
// questions. Tests install a handler so that no box needs a screen.

#include <QMessageBox>
#include <QString>

#include <functional>

class MessageService
{
public:
    enum class Kind { Error, Notice, Warning, Question };

    struct Message {
        Kind kind;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    using Handler = std::function<QMessageBox::StandardButton(const Message &)>;

    // The application title used by every box.
    static QString applicationTitle();

    // Error icon, one OK button.
    static void error(const QString &text);

    // Plain box with the application title and one OK button.
    static void notice(const QString &text);

    // A box with the given icon kind and buttons; returns the button chosen
    // (Escape or closing the box gives QMessageBox::NoButton unless an escape
    // button applies).
    static QMessageBox::StandardButton ask(Kind kind, const QString &text, QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton);

    // While quiet, nothing is shown and every box answers "not confirmed":
    // a program ending on a termination request must not wait for a click.
    static void setQuiet(bool quiet);

    // Tests: answer messages without a screen. An empty handler restores the
    // real boxes.
    static void setHandler(Handler handler);
};
