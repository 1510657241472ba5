#pragma once
// How the program talks to its user: messages, questions and the few named
// dialogs that code below the windows asks for. The window implements it
// with boxes and forms, the command line with standard error; tests answer
// it themselves. Widget-free, so everything below the windows can use it.

#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class UserInteraction
{
public:
    enum class Kind { Error, Notice, Warning, Question };
    // The values of the matching QMessageBox buttons, so a box can pass them on.
    enum Button : uint32_t {
        NoButton = 0,
        Ok = 0x00000400,
        Yes = 0x00004000,
        No = 0x00010000,
        Retry = 0x00080000,
        Cancel = 0x00400000,
        Discard = 0x00800000,
    };
    using Buttons = uint32_t;
    // Button texts other than the standard ones, with "&" before the access key.
    using Captions = std::vector<std::pair<Button, QString>>;

    struct Message {
        Kind kind;
        QString title;
        QString text;
        Buttons buttons;
        Captions captions = {};
    };

    virtual ~UserInteraction() = default;

    // Shows a message and returns the button chosen; NoButton when the
    // user closed it without one or nobody can answer.
    virtual Button show(const Message &message, Button defaultButton) = 0;

    // The sound card notice of the reading driver: true when the user
    // chooses to go on although the sound card check failed. checkAgain is
    // the setting the user may turn off there.
    virtual bool soundCardCheckFailed(bool &checkAgain) { return (void)checkAgain, false; }
    // The note shown before the pronunciation editor when engines without
    // one are installed; showAgain is the setting the user may turn off.
    virtual void pronunciationEditorNote(bool &showAgain) { (void)showAgain; }
    // Speaks a text (or, with phonemes, engine phonemes) with the engine
    // whose pronunciations are being edited.
    using PronunciationTest = std::function<void(const QString &text, bool phonemes)>;
    // The pronunciation editor of the speech platform, owned by the given
    // window (an opaque handle of the window layer; may be null).
    virtual void editPronunciations(void *owner, const QString &title, PronunciationTest test)
    {
        (void)owner, (void)title, (void)test;
    }
    // An engine's about text.
    virtual void about(void *owner, const QString &title, const QString &text)
    {
        (void)owner;
        show({Kind::Notice, title, text, Ok}, Ok);
    }
};
