#include "MessageService.h"

#include <QApplication>

namespace {

MessageService::Handler &handler()
{
    static MessageService::Handler h;
    return h;
}

bool &quiet()
{
    static bool q = false;
    return q;
}

QMessageBox::Icon iconOf(MessageService::Kind kind)
{
    switch (kind) {
    case MessageService::Kind::Error: return QMessageBox::Critical;
    case MessageService::Kind::Warning: return QMessageBox::Warning;
    case MessageService::Kind::Question: return QMessageBox::Question;
    case MessageService::Kind::Notice: break;
    }
    return QMessageBox::NoIcon;
}

// The program's messages break lines with a lone CR, which a Qt box would
// show as one long line.
QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::StandardButton show(const MessageService::Message &message,
                                 QMessageBox::StandardButton defaultButton)
{
    if (quiet())
        return QMessageBox::NoButton;
    if (handler())
        return handler()(message);
    // Without a GUI application there is no box to show; the caller still
    // gets an answer that means "not confirmed".
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return QMessageBox::NoButton;
    QMessageBox box(iconOf(message.kind), message.title, displayText(message.text), message.buttons,
                    QApplication::activeWindow());
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    box.setAccessibleName(message.title);
    box.setAccessibleDescription(box.text());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString MessageService::applicationTitle()
{
    return QStringLiteral("Voxtrella MP3");
}

void MessageService::error(const QString &text)
{
    show({Kind::Error, applicationTitle(), text, QMessageBox::Ok}, QMessageBox::Ok);
}

void MessageService::notice(const QString &text)
{
    show({Kind::Notice, applicationTitle(), text, QMessageBox::Ok}, QMessageBox::Ok);
}

QMessageBox::StandardButton MessageService::ask(Kind kind, const QString &text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    return show({kind, applicationTitle(), text, buttons}, defaultButton);
}

void MessageService::setQuiet(bool q)
{
    quiet() = q;
}

void MessageService::setHandler(Handler h)
{
    handler() = std::move(h);
}
