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
// " -auto", creating the autostart folder when missing. The file is replaced
// whole or left as it was. False when it could not be written or the path
// cannot be expressed in an entry (a line break in it).
bool write(const QString &programPath);

// Removes the entry; true when no entry is left.
bool remove();

// The entry's Exec line value for programPath: the path, quoted and escaped
// when it holds blanks or other characters the entry format reserves,
// followed by " -auto". Empty when the path cannot be expressed.
QString execLine(const QString &programPath);

}  // namespace Autostart
