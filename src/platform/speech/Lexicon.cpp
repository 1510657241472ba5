#include "Lexicon.h"

#include "AppPaths.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <mutex>

namespace sapi::Lexicon {

namespace {

constexpr const char *kFileName = "lexicon.txt";

QString decodeLine(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows("windows-1252");
    if (windows.isValid())
        return windows(bytes);
    return QString::fromLatin1(bytes);
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

bool readDocument(const QString &path, LexiconDocument &document, QString *error)
{
    document = {};
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
    const QByteArray &bytes = file.bytes;
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype newline = bytes.indexOf('\n', start);
        LexiconLine line;
        if (newline < 0) {
            line.bytes = bytes.mid(start);
            start = bytes.size();
        } else {
            const bool crlf = newline > start && bytes[newline - 1] == '\r';
            line.bytes = bytes.mid(start, newline - start - (crlf ? 1 : 0));
            line.end = crlf ? QByteArray("\r\n") : QByteArray("\n");
            start = newline + 1;
        }
        document.lines.push_back(std::move(line));
    }
    for (size_t i = 0; i < document.lines.size(); ++i) {
        LexiconLine &line = document.lines[i];
        QByteArrayView view(line.bytes);
        if (i == 0 && view.startsWith("\xEF\xBB\xBF"))
            view = view.sliced(3);
        const QString text = decodeLine(view);
        const qsizetype tab = text.indexOf(u'\t');
        if (tab <= 0)
            continue;
        LexiconEntry e{text.left(tab).trimmed(), text.mid(tab + 1).trimmed()};
        if (e.word.isEmpty() || e.sound.isEmpty() || e.word.contains(u' '))
            continue;
        if (e.word.size() > kMaxWordLength || e.sound.size() > kMaxSoundLength) {
            document.tooLong.push_back(int(i) + 1);
            continue;
        }
        line.entry = std::move(e);
    }
    return true;
}

bool read(const QString &path, std::vector<LexiconEntry> &entries, QString *error)
{
    LexiconDocument document;
    const bool ok = readDocument(path, document, error);
    entries = document.entries();
    return ok;
}

std::vector<LexiconEntry> load(const QString &path)
{
    std::vector<LexiconEntry> entries;
    read(path, entries, nullptr);
    return entries;
}

QByteArray withEdits(const LexiconDocument &document, const std::vector<EditedEntry> &edited)
{
    const std::vector<LexiconLine> &lines = document.lines;
    QHash<QString, std::vector<size_t>> linesOf;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].entry)
            linesOf[key(lines[i].entry->word)].push_back(i);

    auto entryLine = [](const LexiconEntry &e) { return e.word.toUtf8() + '\t' + e.sound.toUtf8(); };
    std::vector<std::optional<QByteArray>> replaced(lines.size());
    std::vector<bool> removed(lines.size(), false);
    QSet<QString> claimed;
    std::vector<QByteArray> added;
    for (const EditedEntry &e : edited) {
        auto it = linesOf.constFind(e.originalKey);
        if (e.originalKey.isEmpty() || it == linesOf.cend() || claimed.contains(e.originalKey)) {
            added.push_back(entryLine(e.entry));
            continue;
        }
        claimed.insert(e.originalKey);
        const size_t last = it->back();
        const LexiconEntry &was = *lines[last].entry;
        if (was.word == e.entry.word && was.sound == e.entry.sound)
            continue;
        replaced[last] = entryLine(e.entry);
        if (key(e.entry.word) != e.originalKey)
            for (size_t i : *it)
                removed[i] = i != last;
    }
    for (auto it = linesOf.cbegin(); it != linesOf.cend(); ++it)
        if (!claimed.contains(it.key()))
            for (size_t i : it.value())
                removed[i] = true;

    QByteArray lineEnd("\r\n");
    for (const LexiconLine &line : lines)
        if (!line.end.isEmpty()) {
            lineEnd = line.end;  // the file's own line ends for added lines
            break;
        }
    QByteArray out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (removed[i])
            continue;
        out += replaced[i] ? *replaced[i] : lines[i].bytes;
        out += lines[i].end;
    }
    if (!added.empty() && !out.isEmpty() && !out.endsWith('\n'))
        out += lineEnd;
    for (const QByteArray &line : added)
        out += line + lineEnd;
    return out;
}

bool saveEdits(const QString &path, const std::vector<EditedEntry> &edited, QString *error)
{
    LexiconDocument document;
    if (!readDocument(path, document, error))
        return false;
    const QByteArray bytes = withEdits(document, edited);
    if (bytes == document.bytes())
        return true;  // nothing changed: the file is not touched
    return SafeFile::writeAtomically(path, bytes, error);
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

}  // namespace sapi::Lexicon

namespace sapi {

QByteArray LexiconDocument::bytes() const
{
    QByteArray out;
    for (const LexiconLine &line : lines)
        out += line.bytes + line.end;
    return out;
}

std::vector<LexiconEntry> LexiconDocument::entries() const
{
    std::vector<LexiconEntry> entries;
    QHash<QString, size_t> seen;
    for (const LexiconLine &line : lines) {
        if (!line.entry)
            continue;
        const QString k = Lexicon::key(line.entry->word);
        if (auto it = seen.find(k); it != seen.end()) {
            entries[*it] = *line.entry;
        } else {
            seen.insert(k, entries.size());
            entries.push_back(*line.entry);
        }
    }
    return entries;
}

}  // namespace sapi
