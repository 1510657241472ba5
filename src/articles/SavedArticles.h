#pragma once
// The saved-articles file ("VXExport.txt", "VXIntro.chl"): records of a
// start marker, a property line "title|voice|line count", the text lines and
// an end marker, every line ending in CR LF. This half knows the format
// only; the article list turns records into articles and back.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

inline constexpr char16_t kArticleStartMarker[] = u"||||||Voxtrella MP3 Start of Article||||||";
inline constexpr char16_t kArticleEndMarker[] = u"||||||Voxtrella MP3 End of Article||||||";

// Cuts the part before the first of the delimiter characters off s and
// returns it (the delimiter is dropped). Without a delimiter the whole of s
// is the token and s becomes empty.
QString SplitToken(QString &s, const QString &delimiters);

namespace SavedArticles {

struct Record {
    QString Title;
    QString Voice;
    QString Text;             // lines joined by "\n"
    bool LineCountOk = true;  // false when the property line's count was no number
};

struct ParseResult {
    std::vector<Record> Records;
    QStringList Notes;  // what was repaired or skipped, for the diagnostic log
    // False when the bytes are not empty but hold no saved articles at all
    // (another kind of file, binary data): the caller keeps such a file
    // aside instead of overwriting it.
    bool Recognised = true;
};

// "title|voice|count". Line breaks in title or voice would split the record,
// so they are written as blanks.
QString PropertyString(const QString &title, const QString &voice, int lineCount);

// The bytes of one record; text line breaks may be LF or CR LF. A text line
// equal to a marker is written with a backslash in front (one more for a
// line that already is backslashes and a marker); Parse takes it away.
QByteArray FormatRecord(const QString &title, const QString &voice, const QString &text, int lineCount);
// A record's bytes, its line count counted in its text.
QByteArray FormatRecord(const Record &record);

// Reads a whole saved file (UTF-8, Windows-1252 line by line where a line is
// not UTF-8, or UTF-16 with a byte-order mark). Blank lines before the first
// start marker are skipped; a file whose first other line is not a start
// marker holds no articles and is not Recognised. Past that, damage costs as
// little as possible: a line count that is no number keeps the record, an
// end-marker line inside an article's text stays text when the real end
// marker follows, a start marker always begins a new record (a missing end
// marker ends the text there), and stray lines between records are skipped
// up to the next start marker.
ParseResult Parse(QByteArray bytes);

}  // namespace SavedArticles
