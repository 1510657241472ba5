#pragma once
// The user's pronunciations: "word -> how it should sound", kept in a small
// text file in the user folder, one entry a line ("word<TAB>sound"). A sound
// written as "[[...]]" is eSpeak NG phonemes; anything else is a respelling.
// Users also write the file by hand: a line that is not an entry (a comment,
// "New York<TAB>...", a note) is kept byte for byte, and each line is read as
// UTF-8 or, when it is not valid UTF-8, as Windows-1252.

#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace sapi {

struct LexiconEntry {
    QString word;
    QString sound;
    bool phonemes() const { return sound.startsWith(QLatin1String("[[")) && sound.endsWith(QLatin1String("]]")); }
};

// One line of the file as it was read.
struct LexiconLine {
    QByteArray bytes;                   // without the line end
    QByteArray end;                     // "\r\n", "\n", or empty on a last line without one
    std::optional<LexiconEntry> entry;  // set when the line is a usable entry
};

// The file line by line, so that a save rewrites only what was edited.
struct LexiconDocument {
    std::vector<LexiconLine> lines;
    // Entry lines left unused because the word or the sound is too long.
    std::vector<int> tooLong;  // 1-based line numbers

    QByteArray bytes() const;
    // One entry per word, where the word first appears; a later line for
    // the same word replaces an earlier one.
    std::vector<LexiconEntry> entries() const;
};

// An entry as the editor leaves it: originalKey is the key of the entry it
// was loaded as, empty for an entry the user added.
struct EditedEntry {
    QString originalKey;
    LexiconEntry entry;
};

namespace Lexicon {

// The user folder's lexicon file.
QString filePath();

// A lexicon is a few lines; a larger file is plainly not one.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;
// The longest word and sound an entry may have. eSpeak NG keeps a word's
// phonemes in a buffer of 200 bytes and writes past it on longer phonemes
// (it crashes from about 350); no real pronunciation comes near this.
constexpr qsizetype kMaxWordLength = 100;
constexpr qsizetype kMaxSoundLength = 100;

// Reads the file; a missing file is an empty lexicon. Lines that are not
// "word<TAB>sound" with a single word are no entries. False, with the reason
// in error, when the file is there but cannot be read whole: not a regular
// file (a FIFO would block), larger than kMaxFileSize, or unreadable.
bool readDocument(const QString &path, LexiconDocument &document, QString *error);
// The entries of readDocument(); entries is empty when it fails.
bool read(const QString &path, std::vector<LexiconEntry> &entries, QString *error);
// read() without the reason: a file that cannot be read whole gives no
// entries at all rather than an arbitrary first part of them.
std::vector<LexiconEntry> load(const QString &path);

// The file's bytes once edited holds the entries: lines of unchanged entries
// and every line that is no entry stay as they were; a changed entry is
// written in place of the line it was read from; the lines of a removed
// entry (earlier ones for the same word included, which would otherwise
// come back) go; added entries come last, in UTF-8.
QByteArray withEdits(const LexiconDocument &document, const std::vector<EditedEntry> &edited);
// Reads the file again, applies the edits and replaces it atomically when
// that changes anything: a failed save leaves the previous file whole.
bool saveEdits(const QString &path, const std::vector<EditedEntry> &edited, QString *error);

// Folds a word for lookups (case-insensitive).
QString key(const QString &word);

// The entries of filePath(), read again whenever the file changed.
std::shared_ptr<const QHash<QString, LexiconEntry>> current();

}  // namespace Lexicon

}  // namespace sapi
