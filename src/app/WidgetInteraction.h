#pragma once
// The window's way to its user: message boxes and the program's dialogs,
// for everything below the windows that asks through MessageService.

#include "platform/shell/UserInteraction.h"

class WidgetInteraction : public UserInteraction
{
public:
    Button show(const Message &message, Button defaultButton) override;
    bool soundCardCheckFailed(bool &checkAgain) override;
    void pronunciationEditorNote(bool &showAgain) override;
    void editPronunciations(void *owner, const QString &title, PronunciationTest test) override;
    void about(void *owner, const QString &title, const QString &text) override;
};
