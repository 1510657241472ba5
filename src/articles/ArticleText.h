#pragma once
// Text helpers of the article store that need no widget: titles made from
// text, and decoding of text files that may come from Windows or may not be
// text at all.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <QStringList>

namespace ArticleText {

// A title fit for a file name: runs of anything but ASCII letters and
// digits become one "_", at most maxChars kept characters (blanks counted
// before trimming), no leading or trailing "_".
QString MakeTitle(const QString &text, int maxChars);

// Decodes a text file's bytes: UTF-16 when it starts with a UTF-16
// byte-order mark, else UTF-8 (a leading byte-order mark is dropped), line
// by line: a line that is not valid UTF-8 is read as Windows-1252, so one
// stray byte garbles only its own line. Characters that would upset the
// editor (NUL, the editor's internal frame marks) become U+FFFD, so a binary
// file shows as garbage text instead of breaking things; the Unicode line
// and paragraph separators become line breaks.
QString DecodeTextFile(const QByteArray &bytes);

// A saved file's bytes decoded as DecodeTextFile does, but with the Unicode
// line separators kept: SplitLineViews splits only at CR LF, LF and lone CR,
// so a record's property line cannot be split by one. A final line break
// does not start another line. The views point into text.
QString DecodeSavedText(const QByteArray &bytes);
QList<QStringView> SplitLineViews(const QString &text);

// Splits decoded text into lines at CR LF, LF or a lone CR. A final line
// break does not start another line, so "a\r\nb\r\n" gives {"a", "b"} and
// an empty text gives no lines.
QStringList SplitLines(const QString &text);

// Text as an article editor holds it: every line break (CR LF, lone CR,
// paragraph separator) a "\n", and NUL, which would cut the text short,
// U+FFFD.
QString EditorText(QString text);

// Encodes text for writing: UTF-8 with every line break (LF, CR LF or a
// lone CR) written as CR LF.
QByteArray ToCrLfUtf8(const QString &text);

}  // namespace ArticleText
