#include "ArticleText.h"

#include <QStringDecoder>

namespace ArticleText {

namespace {

bool isAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unassigned
// bytes there are shown as the replacement character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QString decodeCp1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return out;
}

QString decodeUtf8OrCp1252(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? decodeCp1252(bytes) : text;
}

// The whole text with its line breaks. A UTF-16 byte-order mark selects
// UTF-16; otherwise a file that is valid UTF-8 as a whole is decoded at
// once, and only a damaged one line by line, so each bad line falls back to
// Windows-1252 on its own.
QString decodeBytes(QByteArrayView view)
{
    if (view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(view.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        return utf16.decode(view.sliced(2));
    }
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;

    text.clear();
    text.reserve(view.size());
    qsizetype start = 0;
    const qsizetype n = view.size();
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && view[i] != '\n' && view[i] != '\r')
            continue;
        // The line with its own break; breaks are ASCII in both encodings.
        qsizetype end = i < n ? i + 1 : n;
        if (i + 1 < n && view[i] == '\r' && view[i + 1] == '\n')
            ++end, ++i;
        text += decodeUtf8OrCp1252(view.sliced(start, end - start));
        start = end;
    }
    return text;
}

// NUL and the editor's internal marks become U+FFFD; the Unicode line and
// paragraph separators become line breaks where wanted.
void cleanForEditor(QString &text, bool separatorsToBreaks)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 0xFDD0 || u == 0xFDD1 || u == 0xFFFC)
            c = QChar(char16_t(0xFFFD));
        else if (separatorsToBreaks && (u == 0x2028 || u == 0x2029))
            c = QChar(u'\n');
    }
}

}  // namespace

QString MakeTitle(const QString &text, int maxChars)
{
    QString result;
    QChar last;  // null: nothing appended yet
    int count = 0;
    for (const QChar c : text) {
        if (isAsciiAlnum(c)) {
            result += c;
            last = c;
        } else if (last == u' ') {
            continue;
        } else {
            result += u' ';
            last = u' ';
        }
        ++count;
        if (count == maxChars)
            break;
    }
    if (result.isEmpty())
        return result;
    result = result.trimmed();
    result.replace(u' ', u'_');
    return result;
}

QString DecodeTextFile(const QByteArray &bytes)
{
    QString text = decodeBytes(bytes);
    cleanForEditor(text, true);
    return text;
}

QString DecodeSavedText(const QByteArray &bytes)
{
    QString text = decodeBytes(bytes);
    cleanForEditor(text, false);
    return text;
}

QList<QStringView> SplitLineViews(const QString &text)
{
    QList<QStringView> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\n' || c == u'\r') {
            lines.append(QStringView(text).sliced(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(QStringView(text).sliced(start));
    return lines;
}

QStringList SplitLines(const QString &text)
{
    QStringList lines;
    for (const QStringView line : SplitLineViews(text))
        lines.append(line.toString());
    return lines;
}

QByteArray ToCrLfUtf8(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + utf8.count('\n') + 2);
    const qsizetype n = utf8.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char ch = utf8[i];
        if (ch == '\r') {
            out.append("\r\n");
            if (i + 1 < n && utf8[i + 1] == '\n')
                ++i;
        } else if (ch == '\n') {
            out.append("\r\n");
        } else {
            out.append(ch);
        }
    }
    return out;
}

QString EditorText(QString text)
{
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    // The editor keeps a paragraph separator as a line break.
    if (text.contains(QChar::ParagraphSeparator))
        text.replace(QChar::ParagraphSeparator, u'\n');
    if (text.contains(QChar(0)))
        text.replace(QChar(0), QChar(char16_t(0xFFFD)));
    return text;
}

}  // namespace ArticleText
