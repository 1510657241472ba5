#include "SavedArticles.h"

#include "ArticleText.h"

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

QString singleLine(QString s)
{
    for (QChar &c : s) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return s;
}

bool parseCount(const QString &field)
{
    bool ok = false;
    field.trimmed().toInt(&ok);
    return ok;
}

// Title, voice and count as the original reader splits them; when the count
// is no number because the title held "|", the last two fields are taken as
// voice and count and the rest, bars included, as the title.
void parseProperties(const QString &line, Record &rec)
{
    QString rest = line;
    rec.Title = SplitToken(rest, QStringLiteral("|"));
    rec.Voice = SplitToken(rest, QStringLiteral("|"));
    const QString count = SplitToken(rest, QStringLiteral("|"));
    rec.LineCountOk = rest.isEmpty() && parseCount(count);
    if (rec.LineCountOk)
        return;

    const QStringList fields = line.split(u'|');
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

QByteArray FormatRecord(const QString &title, const QString &voice, const QString &text, int lineCount)
{
    QByteArray out;
    out.reserve(text.size() + 128);
    out += QString::fromUtf16(kArticleStartMarker).toUtf8();
    out += "\r\n";
    out += PropertyString(title, voice, lineCount).toUtf8();
    out += "\r\n";
    out += ArticleText::ToCrLfUtf8(text);
    out += "\r\n";
    out += QString::fromUtf16(kArticleEndMarker).toUtf8();
    out += "\r\n";
    return out;
}

ParseResult Parse(const QByteArray &bytes)
{
    ParseResult result;
    const QStringList lines = ArticleText::SplitLines(ArticleText::DecodeTextFile(bytes));
    const qsizetype n = lines.size();
    if (n == 0)
        return result;
    if (lines.first() != startMarker()) {
        result.Notes << QStringLiteral("Import - not a saved-articles file");
        return result;
    }

    qsizetype i = 0;
    while (i < n) {
        if (lines.at(i) != startMarker()) {
            const qsizetype from = i;
            while (i < n && lines.at(i) != startMarker())
                ++i;
            result.Notes << QStringLiteral("Import - skipped %1 stray line(s) at line %2").arg(i - from).arg(from + 1);
            continue;
        }
        ++i;  // past the start marker

        Record rec;
        if (i < n)
            parseProperties(lines.at(i++), rec);
        if (!rec.LineCountOk) {
            result.Notes << QStringLiteral("Import - line count is not a number in article %1")
                                .arg(result.Records.size() + 1);
        }

        const qsizetype textStart = i;
        qsizetype end = textStart;
        while (end < n && lines.at(end) != endMarker())
            ++end;
        if (end < n) {
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
            i = n;
        }
        rec.Text = lines.mid(textStart, end - textStart).join(u'\n');
        result.Records.push_back(std::move(rec));
    }
    return result;
}

}  // namespace SavedArticles
