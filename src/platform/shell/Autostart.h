#pragma once
// Starting the program at login: the XDG autostart entry
// "$XDG_CONFIG_HOME/autostart/voxtrella.desktop", which starts it hidden in
// the tray with "-auto".

#include <QString>

namespace Autostart {

// The entry file's path.
QString filePath();

// True when the entry exists.
bool exists();

// Writes (or rewrites) the entry so that it starts programPath with
// " -auto" and this run's VOXTRELLA_HOME, creating the autostart folder when missing. The file is replaced
// whole or left as it was. False when it could not be written or the path
// cannot be expressed in an entry (a line break in it).
bool write(const QString &programPath);

// Removes the entry; true when no entry is left.
bool remove();

// The entry's Exec line value for programPath: "env VOXTRELLA_HOME=<home>"
// when home is not empty (the argument quoted when it holds a character the
// entry format reserves), the path, always quoted and escaped, and " -auto".
// Empty when the path or home cannot be expressed.
QString execLine(const QString &programPath, const QString &home = QString());

}  // namespace Autostart
