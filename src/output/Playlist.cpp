#include "Playlist.h"

#include <QDir>
#include <QFileInfo>

QByteArray Playlist::Text(const QString &playlistFile, const std::vector<TPlaylistEntry> &entries)
{
    const QDir folder = QFileInfo(playlistFile).absoluteDir();
    QString text = QStringLiteral("#EXTM3U\n");
    for (const TPlaylistEntry &entry : entries) {
        const QFileInfo file(entry.File);
        QString name = file.absoluteDir() == folder ? file.fileName() : file.absoluteFilePath();
        if (name.startsWith(u'#'))
            name.prepend(QStringLiteral("./"));  // not a comment line
        // A line break in a title would end its line early.
        QString title = entry.Title.simplified();
        const qint64 seconds = (entry.DurationMs + 500) / 1000;
        text += QStringLiteral("#EXTINF:%1,%2\n%3\n").arg(seconds).arg(title, name);
    }
    return text.toUtf8();
}

QString Playlist::Write(const QString &file, const std::vector<TPlaylistEntry> &entries, OutputPlacement placement,
                        QString *placedAs)
{
    PendingFile pending(file);
    const QByteArray text = Text(file, entries);
    if (!pending.Create() || !pending.Write(text.constData(), text.size()) || !pending.Place(placement))
        return pending.ErrorString();
    if (placedAs)
        *placedAs = pending.Target();
    return QString();
}
