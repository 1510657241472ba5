#pragma once
// The command icons of the main window's toolbar and the floating toolbar.

#include <QIcon>

// A command's icon: the desktop theme's, else a symbol drawn in the
// palette's button text colour (visible in light, dark and high-contrast
// palettes).
QIcon ToolBarIcon(const QString &themeName);
