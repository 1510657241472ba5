#pragma once
// Copies of a saved file that could not be written (a full disk, a folder
// that cannot be written) at a moment when nobody can be asked what to do:
// a termination request or the end of the session. The next start offers
// them.
//
// A copy goes to the first place that takes it: the cache folder
// ($XDG_CACHE_HOME/voxtrella), /var/tmp (kept across log-out and restart,
// often on another disk than the home folder), then the runtime folder
// (gone at log-out, but better than nothing). Each copy is a new file of
// mode 0600 created without following links, named for the user and the
// saved file it stands in for; only such files of this user are found
// again, so another user of /var/tmp can neither read a copy nor plant one.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace RecoveryCopy {

// Writes bytes as a copy of savedFile; the copy's path, or empty when no
// place took it (error then says why for each place).
QString write(const QString &savedFile, const QByteArray &bytes, QString *error = nullptr);

// The copies of savedFile left by earlier runs, newest first.
QStringList find(const QString &savedFile);

// Removes every copy of savedFile.
void removeAll(const QString &savedFile);

}  // namespace RecoveryCopy
