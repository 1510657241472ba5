#include "ReadingActions.h"

#include "ToolBarIcons.h"

#include <QAction>
#include <QKeySequence>

namespace {

// Menu caption, toolbar caption, hint, shortcut and icon of a command group.
struct Command {
    const char *name;  // object name, as the Read menu's item has always been called
    const char *text;
    const char *iconText;
    const char *hint;
    const char *shortcut;
    const char *icon;
};

const Command kReadAloud{"PlaySpkrMItm", "Read &Aloud", "Aloud", "Read text aloud", "Ctrl+F6", "media-playback-start"};
const Command kReadToFile{"PlayFileMItm", "Read to &File", "File", "Read text to file", "Ctrl+F7", "document-save"};
const Command kPause{"PauseMItm", "&Pause", "Pause", "Pause / Resume", "Ctrl+F8", "media-playback-pause"};
const Command kSkip{"SkipMItm", "S&kip", "Skip", "Skip to next article", "Ctrl+F9", "media-skip-forward"};
const Command kStop{"StopMItm", "&Stop", "Stop", "Stop Reading", "Ctrl+F10", "media-playback-stop"};

QAction *makeAction(QObject *parent, const char *name, const QString &text)
{
    auto *action = new QAction(text, parent);
    action->setObjectName(QLatin1String(name));
    return action;
}

QAction *makeCommand(QObject *parent, const Command &c)
{
    QAction *action = makeAction(parent, c.name, QString::fromLatin1(c.text));
    action->setIconText(QString::fromLatin1(c.iconText));
    action->setToolTip(QString::fromLatin1(c.hint));
    action->setShortcut(QKeySequence(QString::fromLatin1(c.shortcut)));
    action->setIcon(ToolBarIcon(QString::fromLatin1(c.icon)));
    // The menus show captions only, and the shortcut only in the main menu.
    action->setIconVisibleInMenu(false);
    action->setShortcutVisibleInContextMenu(false);
    return action;
}

}  // namespace

ReadingActions::ReadingActions(QObject *parent)
    : QObject(parent), m_readAloud(makeCommand(this, kReadAloud)), m_readToFile(makeCommand(this, kReadToFile)),
      m_pauseResume(makeCommand(this, kPause)), m_skip(makeCommand(this, kSkip)), m_stop(makeCommand(this, kStop)),
      m_readFromCursor(makeAction(this, "ReadfromCursor1", QStringLiteral("Read from Cursor Aloud"))),
      m_readSelected(makeAction(this, "ReadHighlighted1", QStringLiteral("Read Selected Text Aloud")))
{
    Apply({true, true, false, false, false, true});
}

void ReadingActions::Apply(const ReadingController::Commands &c)
{
    m_readAloud->setEnabled(c.aloud);
    m_readToFile->setEnabled(c.file);
    m_pauseResume->setEnabled(c.pause);
    m_skip->setEnabled(c.skip);
    m_stop->setEnabled(c.stop);
    emit ReadAloudAllowed(c.aloud);
    emit SoundDeviceFree(c.deviceMenus);
}

void ReadingActions::ShowPaused(bool paused)
{
    m_paused = paused;
    m_pauseResume->setText(paused ? QStringLiteral("&Resume") : QString::fromLatin1(kPause.text));
    m_pauseResume->setIconText(paused ? QStringLiteral("Resume") : QString::fromLatin1(kPause.iconText));
}

void ReadingActions::SetSelectionPresent(bool present)
{
    m_readSelected->setEnabled(present);
}
