#pragma once
// The user's pronunciations: "word -> how it should sound", kept in a small
// UTF-8 file in the user folder, one entry a line ("word<TAB>sound"). A sound
// written as "[[...]]" is eSpeak NG phonemes; anything else is a respelling.

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

namespace sapi {

struct LexiconEntry {
    QString word;
    QString sound;
    bool phonemes() const { return sound.startsWith(QLatin1String("[[")) && sound.endsWith(QLatin1String("]]")); }
};

namespace Lexicon {

// The user folder's lexicon file.
QString filePath();

// A lexicon is a few lines; a larger file is plainly not one.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

// Reads entries; a missing file is an empty lexicon. Lines that are not
// "word<TAB>sound" are skipped. Later lines replace earlier ones for the same
// word. False, with the reason in error, when the file is there but cannot
// be read whole: not a regular file (a FIFO would block), larger than
// kMaxFileSize, or unreadable. entries is then empty.
bool read(const QString &path, std::vector<LexiconEntry> &entries, QString *error);
// read() without the reason: a file that cannot be read whole gives no
// entries at all rather than an arbitrary first part of them.
std::vector<LexiconEntry> load(const QString &path);
// Writes all entries at once: a failed save leaves the previous file whole.
bool save(const QString &path, const std::vector<LexiconEntry> &entries, QString *error);

// Folds a word for lookups (case-insensitive).
QString key(const QString &word);

// The entries of filePath(), read again whenever the file changed.
std::shared_ptr<const QHash<QString, LexiconEntry>> current();

// Replaces every whole word that has an entry. map receives, for each code
// point of the result, the UTF-16 index in text of what it stands for (a
// replacement maps to the start of its word), so word positions stay those
// of the original text. usesPhonemes is set when a phoneme entry was used.
QString apply(const QString &text, const QHash<QString, LexiconEntry> &entries, std::vector<int> &map,
              bool &usesPhonemes);

}  // namespace Lexicon

}  // namespace sapi
