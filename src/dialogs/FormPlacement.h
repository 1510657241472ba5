#pragma once
// A form's stored position and size, by its object name: saved when it is
// destroyed, restored when it is created.

#include "settings/TBaseRegistryClassUnit.h"

#include <QWidget>

namespace FormPlacement {

inline bool Save(const QWidget *form)
{
    return form && TBaseRegistryClass::SaveWindowPlacement(form->objectName(),
                                                           QRect(form->x(), form->y(), form->width(), form->height()),
                                                           form->isMaximized());
}

inline void Restore(QWidget *form)
{
    QRect bounds;
    bool maximized = false;
    if (!form || !TBaseRegistryClass::LoadWindowPlacement(form->objectName(), bounds, maximized))
        return;
    form->move(bounds.topLeft());
    form->resize(bounds.size());
    if (maximized)
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
}

}  // namespace FormPlacement
