#include "Lexicon.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QFileInfo>

#include <mutex>

namespace sapi::Lexicon {

namespace {

constexpr const char *kFileName = "lexicon.txt";

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'\'' || c == QChar(0x2019);
}

}  // namespace

QString filePath()
{
    return AppPaths::userDir() + u'/' + QLatin1String(kFileName);
}

QString key(const QString &word)
{
    return word.trimmed().toCaseFolded();
}

bool read(const QString &path, std::vector<LexiconEntry> &entries, QString *error)
{
    entries.clear();
    const SafeFile::ReadResult file = SafeFile::readRegularFile(path, kMaxFileSize);
    switch (file.status) {
    case SafeFile::ReadStatus::Ok:
        break;
    case SafeFile::ReadStatus::Missing:
        return true;
    case SafeFile::ReadStatus::TooLarge:
        if (error)
            *error = QStringLiteral("the file is larger than %1 MB").arg(kMaxFileSize / (1024 * 1024));
        return false;
    case SafeFile::ReadStatus::NotRegular:
        if (error)
            *error = QStringLiteral("it is not a regular file");
        return false;
    case SafeFile::ReadStatus::Failed:
        if (error)
            *error = file.error;
        return false;
    }
    QHash<QString, size_t> seen;
    const QStringList lines = QString::fromUtf8(file.bytes).split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        LexiconEntry e{line.left(tab).trimmed(), line.mid(tab + 1).trimmed()};
        if (e.word.isEmpty() || e.sound.isEmpty() || e.word.contains(u' '))
            continue;
        const QString k = key(e.word);
        if (auto it = seen.find(k); it != seen.end()) {
            entries[*it] = e;
        } else {
            seen.insert(k, entries.size());
            entries.push_back(e);
        }
    }
    return true;
}

std::vector<LexiconEntry> load(const QString &path)
{
    std::vector<LexiconEntry> entries;
    read(path, entries, nullptr);
    return entries;
}

bool save(const QString &path, const std::vector<LexiconEntry> &entries, QString *error)
{
    QByteArray out;
    for (const LexiconEntry &e : entries)
        out += e.word.toUtf8() + '\t' + e.sound.toUtf8() + "\r\n";
    return SafeFile::writeAtomically(path, out, error);
}

std::shared_ptr<const QHash<QString, LexiconEntry>> current()
{
    static std::mutex mutex;
    static QString loadedPath;
    static QDateTime loadedTime;
    static qint64 loadedSize = -1;
    static std::shared_ptr<const QHash<QString, LexiconEntry>> cached;

    const QString path = filePath();
    const QFileInfo info(path);
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    {
        std::lock_guard lock(mutex);
        if (cached && path == loadedPath && time == loadedTime && size == loadedSize)
            return cached;
    }
    // Read outside the lock: another speaking thread keeps using the table it has.
    auto table = std::make_shared<QHash<QString, LexiconEntry>>();
    for (const LexiconEntry &e : load(path))
        table->insert(key(e.word), e);
    std::lock_guard lock(mutex);
    cached = std::move(table);
    loadedPath = path;
    loadedTime = time;
    loadedSize = size;
    return cached;
}

QString apply(const QString &text, const QHash<QString, LexiconEntry> &entries, std::vector<int> &map,
              bool &usesPhonemes)
{
    QString out;
    out.reserve(text.size());
    map.clear();
    map.reserve(size_t(text.size()));
    usesPhonemes = false;
    auto copyCodePoint = [&](qsizetype &i) {
        const int origin = int(i);
        out += text[i];
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += text[i + 1];
            ++i;
        }
        map.push_back(origin);
        ++i;
    };
    qsizetype i = 0;
    while (i < text.size()) {
        if (!isWordChar(text[i]) || entries.isEmpty()) {
            copyCodePoint(i);
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && isWordChar(text[end]))
            ++end;
        const QString word = text.mid(i, end - i);
        auto it = entries.find(key(word));
        if (it == entries.end()) {
            while (i < end)
                copyCodePoint(i);
            continue;
        }
        const QString &sound = it->sound;
        usesPhonemes = usesPhonemes || it->phonemes();
        for (qsizetype k = 0; k < sound.size(); ++k) {
            out += sound[k];
            if (sound[k].isHighSurrogate() && k + 1 < sound.size()) {
                out += sound[++k];
            }
            map.push_back(int(i));
        }
        i = end;
    }
    return out;
}

}  // namespace sapi::Lexicon
