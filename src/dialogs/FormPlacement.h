#pragma once
// A form's stored position and size, by its object name: saved when it is
// destroyed, restored when it is created. Kept as the client area's bounds,
// not the frame's: a window placed by its frame position is placed again on
// every later showing by its client position as if it were the frame's, and
// moves down by its title bar each time it is hidden and shown (X11).

#include "settings/SettingsRecord.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace FormPlacement {

inline bool Save(const QWidget *form)
{
    return form && SettingsRecord::SaveWindowPlacement(form->objectName(), form->geometry(), form->isMaximized());
}

inline void Restore(QWidget *form)
{
    QRect bounds;
    bool maximized = false;
    if (!form || !SettingsRecord::LoadWindowPlacement(form->objectName(), bounds, maximized))
        return;
    // A screen unplugged or scaled since the placement was stored must not
    // leave the window out of reach: it is moved (and if need be shrunk)
    // into the screen.
    const QScreen *screen = QGuiApplication::screenAt(bounds.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        bounds.setSize(bounds.size().boundedTo(room.size()));
        bounds.moveLeft(std::clamp(bounds.left(), room.left(), room.left() + room.width() - bounds.width()));
        bounds.moveTop(std::clamp(bounds.top(), room.top(), room.top() + room.height() - bounds.height()));
    }
    form->setGeometry(bounds);
    if (maximized)
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
}

// Hides a form that will be shown again. Under a reparenting window manager
// (X11) a hidden window takes its frame's offset into its own position, and
// the next showing puts it lower by its title bar; the bounds it had are put
// back after the hiding.
template <typename HideFunction>
void HideInPlace(QWidget *form, HideFunction hide)
{
    const QRect bounds = form->geometry();
    hide();
    if (!form->isVisible())
        form->setGeometry(bounds);
}

}  // namespace FormPlacement
