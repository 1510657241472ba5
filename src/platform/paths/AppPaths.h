#pragma once
// Where the program keeps its files. An installed program's folder is read
// only, so read-only data and per-user files live apart:
// - data folder: <prefix>/share/voxtrella when installed, else the source tree's data/
// - user folder: $VOXTRELLA_HOME, else $XDG_DATA_HOME/voxtrella (created when missing)
// The environment is read again on every call, so a changed VOXTRELLA_HOME
// takes effect at once.

#include <QString>

namespace AppPaths {

// $VOXTRELLA_HOME, cleaned; empty when unset or relative (ignored, as XDG
// does with relative values). Everything that depends on the user folder
// uses this one reading of it.
QString homeOverride();

// Read-only files shipped with the program (VXIntro.chl, AudioHelp.chl, ...).
QString dataDir();

// Writable per-user folder (VXExport.txt, the logs, the "Files" folder).
QString userDir();

// Why the user folder cannot hold the program's files (it is no folder, it
// cannot be created or written), in words; empty when it can.
QString userDirProblem();

// The settings store (stands in for the registry of the current user):
// $VOXTRELLA_HOME/registry.ini, else $XDG_CONFIG_HOME/VarnyxTech/registry.ini.
QString settingsFile();

// Base of the diagnostic log names: userDir() + "/voxtrella".
QString logBaseName();

// Full path of the running program file.
QString programFilePath();

// The program file's name without its folder ("voxtrella").
QString programFileName();

// The XDG autostart entry that stands in for the login Run value.
QString autostartFile();

}  // namespace AppPaths
