#include "MessageService.h"

#include <cstdio>

namespace {

// Without a window: the message on standard error, no question confirmed.
class StandardErrorInteraction : public UserInteraction
{
public:
    Button show(const Message &message, Button) override
    {
        QString text = message.text;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return NoButton;
    }
};

struct State {
    StandardErrorInteraction fallback;
    UserInteraction *installed = nullptr;
    MessageService::Handler handler;
    bool quiet = false;
};

State &state()
{
    static State s;
    return s;
}

UserInteraction::Button show(const MessageService::Message &message, UserInteraction::Button defaultButton)
{
    State &s = state();
    if (s.quiet)
        return UserInteraction::NoButton;
    if (s.handler)
        return s.handler(message);
    return MessageService::interaction().show(message, defaultButton);
}

}  // namespace

QString MessageService::applicationTitle()
{
    return QStringLiteral("Voxtrella MP3");
}

void MessageService::error(const QString &text)
{
    show({Kind::Error, applicationTitle(), text, UserInteraction::Ok}, UserInteraction::Ok);
}

void MessageService::notice(const QString &text)
{
    show({Kind::Notice, applicationTitle(), text, UserInteraction::Ok}, UserInteraction::Ok);
}

MessageService::Button MessageService::ask(Kind kind, const QString &text, UserInteraction::Buttons buttons,
                                           Button defaultButton, UserInteraction::Captions captions)
{
    return show({kind, applicationTitle(), text, buttons, std::move(captions)}, defaultButton);
}

void MessageService::install(UserInteraction *interaction)
{
    state().installed = interaction;
}

UserInteraction &MessageService::interaction()
{
    State &s = state();
    return s.installed ? *s.installed : s.fallback;
}

void MessageService::setQuiet(bool q)
{
    state().quiet = q;
}

void MessageService::setHandler(Handler h)
{
    state().handler = std::move(h);
}
