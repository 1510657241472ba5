#include "SavedArticles.h"

#include "ArticleText.h"

#include <algorithm>

QString SplitToken(QString &s, const QString &delimiters)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (delimiters.contains(s.at(i))) {
            QString token = s.left(i);
            s.remove(0, i + 1);
            return token;
        }
    }
    QString token = s;
    s.clear();
    return token;
}

namespace SavedArticles {

namespace {

const QString &startMarker()
{
    static const QString s = QString::fromUtf16(kArticleStartMarker);
    return s;
}

const QString &endMarker()
{
    static const QString s = QString::fromUtf16(kArticleEndMarker);
    return s;
}

// Any line or paragraph break in a title or voice name would split the
// record when read back.
QString singleLine(QString s)
{
    for (QChar &c : s) {
        if (c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029) || c == QChar(0x85))
            c = u' ';
    }
    return s;
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// A text line that is a marker after any number of backslashes.
bool isEscapedMarker(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && line.at(i) == u'\\')
        ++i;
    const QStringView marker = line.mid(i);
    return marker == startMarker() || marker == endMarker();
}

// A text line equal to a marker would end or split its article when read
// back: it gets a backslash in front, and one that already reads as an
// escaped marker gets one more, so that the reader's taking one away always
// gives the line as it was. Texts without such lines are not copied; the
// lines are found first, so that many of them cost one copy.
QString escapeMarkerLines(const QString &text)
{
    QList<qsizetype> lineStarts;
    for (const QString *marker : {&startMarker(), &endMarker()}) {
        for (qsizetype at = 0; (at = text.indexOf(*marker, at)) >= 0;) {
            const qsizetype end = at + marker->size();
            qsizetype begin = at;
            while (begin > 0 && text.at(begin - 1) == u'\\')
                --begin;
            if ((begin == 0 || isLineBreak(text.at(begin - 1))) && (end == text.size() || isLineBreak(text.at(end))))
                lineStarts << begin;
            at = end;
        }
    }
    if (lineStarts.isEmpty())
        return text;
    std::sort(lineStarts.begin(), lineStarts.end());
    QString out;
    out.reserve(text.size() + lineStarts.size());
    qsizetype from = 0;
    for (const qsizetype at : std::as_const(lineStarts)) {
        out += QStringView(text).mid(from, at - from);
        out += u'\\';
        from = at;
    }
    out += QStringView(text).mid(from);
    return out;
}

bool parseCount(const QString &field)
{
    bool ok = false;
    field.trimmed().toInt(&ok);
    return ok;
}

// Title, voice and count split at the first two bars; when the count
// is no number because the title held "|", the last two fields are taken as
// voice and count and the rest, bars included, as the title.
void parseProperties(const QString &line, Record &rec)
{
    QString rest = singleLine(line);
    rec.Title = SplitToken(rest, QStringLiteral("|"));
    rec.Voice = SplitToken(rest, QStringLiteral("|"));
    const QString count = SplitToken(rest, QStringLiteral("|"));
    rec.LineCountOk = rest.isEmpty() && parseCount(count);
    if (rec.LineCountOk)
        return;

    const QStringList fields = singleLine(line).split(u'|');
    if (fields.size() > 3 && parseCount(fields.last())) {
        rec.Title = fields.mid(0, fields.size() - 2).join(u'|');
        rec.Voice = fields.at(fields.size() - 2);
        rec.LineCountOk = true;
    }
}

}  // namespace

QString PropertyString(const QString &title, const QString &voice, int lineCount)
{
    return singleLine(title) + u'|' + singleLine(voice) + u'|' + QString::number(lineCount);
}

QByteArray FormatRecord(const Record &record)
{
    return FormatRecord(record.Title, record.Voice, record.Text, int(record.Text.count(u'\n')) + 1);
}

QByteArray FormatRecord(const QString &title, const QString &voice, const QString &text, int lineCount)
{
    QByteArray out;
    out.reserve(text.size() + 128);
    out += QString::fromUtf16(kArticleStartMarker).toUtf8();
    out += "\r\n";
    out += PropertyString(title, voice, lineCount).toUtf8();
    out += "\r\n";
    out += ArticleText::ToCrLfUtf8(escapeMarkerLines(text));
    out += "\r\n";
    out += QString::fromUtf16(kArticleEndMarker).toUtf8();
    out += "\r\n";
    return out;
}

ParseResult Parse(QByteArray bytes)
{
    ParseResult result;
    // A large file is held as bytes, as text and as records' texts: the
    // bytes go once decoded, the lines are views into the text.
    const QString text = ArticleText::DecodeSavedText(bytes);
    bytes = QByteArray();
    const QList<QStringView> lines = ArticleText::SplitLineViews(text);
    const qsizetype n = lines.size();

    // Blank lines (or a stray blank before the marker) ahead of the first
    // record are tolerated; anything else first means this is not our file.
    qsizetype i = 0;
    while (i < n && lines.at(i).trimmed().isEmpty())
        ++i;
    if (i == n)
        return result;
    if (lines.at(i).trimmed() != startMarker()) {
        result.Recognised = false;
        result.Notes << QStringLiteral("Import - not a saved-articles file");
        return result;
    }
    if (i > 0)
        result.Notes << QStringLiteral("Import - skipped %1 blank line(s) before the first article").arg(i);

    bool first = true;
    while (i < n) {
        const bool isStart = first ? lines.at(i).trimmed() == startMarker() : lines.at(i) == startMarker();
        first = false;
        if (!isStart) {
            const qsizetype from = i;
            while (i < n && lines.at(i) != startMarker())
                ++i;
            result.Notes << QStringLiteral("Import - skipped %1 stray line(s) at line %2").arg(i - from).arg(from + 1);
            continue;
        }
        ++i;  // past the start marker

        Record rec;
        if (i < n && lines.at(i) != startMarker())
            parseProperties(lines.at(i++).toString(), rec);
        if (!rec.LineCountOk) {
            result.Notes << QStringLiteral("Import - line count is not a number in article %1")
                                .arg(result.Records.size() + 1);
        }

        // The text runs to the end marker; a start marker always begins the
        // next record, so a missing end marker costs no other article.
        const qsizetype textStart = i;
        qsizetype end = textStart;
        while (end < n && lines.at(end) != endMarker() && lines.at(end) != startMarker())
            ++end;
        if (end < n && lines.at(end) == endMarker()) {
            // An end marker followed by more text and another end marker
            // before the next record was part of the text.
            qsizetype next = end + 1;
            qsizetype lastEnd = end;
            while (next < n && lines.at(next) != startMarker()) {
                if (lines.at(next) == endMarker())
                    lastEnd = next;
                ++next;
            }
            if (lastEnd != end)
                result.Notes << QStringLiteral("Import - end marker kept as text in article %1")
                                    .arg(result.Records.size() + 1);
            end = lastEnd;
            i = end + 1;
        } else {
            result.Notes << QStringLiteral("Import - article %1 has no end marker").arg(result.Records.size() + 1);
            i = end;
        }
        qsizetype size = std::max<qsizetype>(0, end - textStart - 1);
        for (qsizetype k = textStart; k < end; ++k)
            size += lines.at(k).size();
        rec.Text.reserve(size);
        for (qsizetype k = textStart; k < end; ++k) {
            if (k > textStart)
                rec.Text += u'\n';
            const QStringView line = lines.at(k);
            // Files of earlier versions hold no such line but by chance.
            if (line.startsWith(u'\\') && line.endsWith(u"||||||") && isEscapedMarker(line))
                rec.Text += line.mid(1);
            else
                rec.Text += line;
        }
        // The editor takes the Unicode separators as line breaks anyway.
        rec.Text.replace(QChar(0x2028), u'\n').replace(QChar(0x2029), u'\n');
        result.Records.push_back(std::move(rec));
    }
    return result;
}

}  // namespace SavedArticles
