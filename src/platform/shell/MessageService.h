#pragma once
// The one way user messages are shown: error boxes, plain notices and
// questions, through the UserInteraction the program installed at start-up
// (the window's boxes, or standard error for the command line). Without
// one, messages go to standard error and every question is answered "not
// confirmed". Tests install a handler so that no box needs a screen.

#include "UserInteraction.h"

#include <QString>

#include <functional>

class MessageService
{
public:
    using Kind = UserInteraction::Kind;
    using Message = UserInteraction::Message;
    using Button = UserInteraction::Button;
    using Handler = std::function<Button(const Message &)>;

    // The application title used by every box.
    static QString applicationTitle();

    // Error icon, one OK button.
    static void error(const QString &text);

    // Plain box with the application title and one OK button.
    static void notice(const QString &text);

    // A box with the given icon kind and buttons; returns the button chosen.
    static Button ask(Kind kind, const QString &text, UserInteraction::Buttons buttons, Button defaultButton,
                      UserInteraction::Captions captions = {});

    // The program's way to its user; null restores the standard-error one.
    static void install(UserInteraction *interaction);
    static UserInteraction &interaction();

    // While quiet, nothing is shown and every box answers "not confirmed":
    // a program ending on a termination request must not wait for a click.
    static void setQuiet(bool quiet);

    // Tests: answer messages without a screen. An empty handler restores the
    // installed interaction.
    static void setHandler(Handler handler);
};
