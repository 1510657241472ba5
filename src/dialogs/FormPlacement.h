#pragma once
// A form's stored position and size, by its object name: saved when it is
// destroyed, restored when it is created. Kept as the client area's bounds,
// not the frame's: a window placed by its frame position is placed again on
// every later showing by its client position as if it were the frame's, and
// moves down by its title bar each time it is hidden and shown (X11).

#include "settings/SettingsRecord.h"

#include <QWidget>

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
    form->setGeometry(bounds);
    if (maximized)
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
}

}  // namespace FormPlacement
