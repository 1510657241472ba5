#include "WidgetInteraction.h"

#include "dialogs/LexiconDialog.h"
#include "dialogs/PronEditorInfo.h"
#include "dialogs/SoundCardError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon iconOf(UserInteraction::Kind kind)
{
    switch (kind) {
    case UserInteraction::Kind::Error:
        return QMessageBox::Critical;
    case UserInteraction::Kind::Warning:
        return QMessageBox::Warning;
    case UserInteraction::Kind::Question:
        return QMessageBox::Question;
    case UserInteraction::Kind::Notice:
        break;
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

// The window layer hands its own windows around as the opaque owner handle.
QWidget *ownerWidget(void *owner)
{
    return owner ? static_cast<QWidget *>(owner) : QApplication::activeWindow();
}

}  // namespace

UserInteraction::Button WidgetInteraction::show(const Message &message, Button defaultButton)
{
    QMessageBox box(iconOf(message.kind), message.title, displayText(message.text),
                    QMessageBox::StandardButtons(message.buttons), QApplication::activeWindow());
    for (const auto &[button, caption] : message.captions) {
        if (QAbstractButton *b = box.button(QMessageBox::StandardButton(button)))
            b->setText(caption);
    }
    for (QAbstractButton *b : box.buttons())
        b->setAccessibleName(QString(b->text()).remove(u'&'));
    if (defaultButton != NoButton)
        box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
    box.setAccessibleName(message.title);
    box.setAccessibleDescription(box.text());
    return Button(box.exec());
}

bool WidgetInteraction::soundCardCheckFailed(bool &checkAgain)
{
    TSoundCardErrorForm notice(checkAgain, QApplication::activeWindow());
    return notice.exec() == QDialog::Accepted;
}

void WidgetInteraction::pronunciationEditorNote(bool &showAgain)
{
    TPronEditorInfoForm info(showAgain, QApplication::activeWindow());
    info.exec();
}

void WidgetInteraction::editPronunciations(void *owner, const QString &title, PronunciationTest test)
{
    sapi::showLexiconDialog(ownerWidget(owner), title, std::move(test));
}

void WidgetInteraction::about(void *owner, const QString &title, const QString &text)
{
    QMessageBox::about(ownerWidget(owner), title, text);
}
