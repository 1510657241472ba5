// Word processor files: DOCX (chapters at Heading 1 and Title paragraphs)
// and ODT (chapters at outline level 1 headings).
#include "DocumentFormats.h"
#include "TextBlocks.h"
#include "ZipArchive.h"

#include <QSet>
#include <QXmlStreamReader>

namespace {

// Title and author from a metadata file (docProps/core.xml or meta.xml).
void ReadMetadata(ZipArchive &zip, const QString &name, Document &document)
{
    std::optional<QByteArray> xml = zip.read(name);
    if (!xml)
        return;
    QXmlStreamReader reader(*xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            const auto n = reader.name();
            if (n == QLatin1String("title") && document.title.isEmpty())
                document.title = reader.readElementText().simplified();
            else if ((n == QLatin1String("creator") || n == QLatin1String("initial-creator")) &&
                     document.author.isEmpty())
                document.author = reader.readElementText().simplified();
        }
        RefuseEntities(reader);
    }
}

QByteArray RequiredEntry(ZipArchive &zip, const QString &name)
{
    std::optional<QByteArray> xml = zip.read(name);
    if (!xml)
        throw DocumentError(QStringLiteral("the document lacks its part \"%1\"").arg(name));
    return *xml;
}

void ThrowIfDamaged(const QXmlStreamReader &reader, const QString &part)
{
    if (reader.hasError())
        throw DocumentError(QStringLiteral("its part \"%1\" is damaged (line %2: %3)")
                                .arg(part)
                                .arg(reader.lineNumber())
                                .arg(reader.errorString()));
}

// The paragraph styles that start a chapter: Heading 1 and Title, found by
// their built-in names too, since a Word in another language gives them
// other style ids.
QSet<QString> ChapterStyles(ZipArchive &zip)
{
    QSet<QString> styles{QStringLiteral("heading1"), QStringLiteral("title")};
    std::optional<QByteArray> xml = zip.read(QStringLiteral("word/styles.xml"));
    if (!xml)
        return styles;
    QXmlStreamReader reader(*xml);
    QString id;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (reader.name() == QLatin1String("style")) {
                id = LocalAttribute(reader, "styleId").toLower();
            } else if (reader.name() == QLatin1String("name") && !id.isEmpty()) {
                const QString name = LocalAttribute(reader, "val").toLower();
                if (name == QLatin1String("heading 1") || name == QLatin1String("title"))
                    styles.insert(id);
            }
        }
        RefuseEntities(reader);
    }
    return styles;
}

}  // namespace

Document DocumentFormats::ReadDocx(ZipArchive &zip, qint64 textLimit)
{
    const QString part = QStringLiteral("word/document.xml");
    const QByteArray xml = RequiredEntry(zip, part);
    Document document;
    ReadMetadata(zip, QStringLiteral("docProps/core.xml"), document);
    const QSet<QString> chapterStyles = ChapterStyles(zip);
    BlockBuilder builder(textLimit);
    QXmlStreamReader reader(xml);
    int heading = 0, inText = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        RefuseEntities(reader);
        const auto name = reader.name();
        if (token == QXmlStreamReader::StartElement) {
            if (name == QLatin1String("p")) {
                builder.endBlock();
                heading = 0;
            } else if (name == QLatin1String("pStyle")) {
                heading = chapterStyles.contains(LocalAttribute(reader, "val").toLower()) ? 1 : 0;
            } else if (name == QLatin1String("t")) {
                ++inText;
            } else if (name == QLatin1String("tab")) {
                builder.append(u" ");
            } else if (name == QLatin1String("br") || name == QLatin1String("cr")) {
                builder.lineBreak();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (name == QLatin1String("t"))
                --inText;
            else if (name == QLatin1String("p"))
                builder.endBlock(heading);
        } else if (token == QXmlStreamReader::Characters && inText > 0) {
            builder.append(reader.text(), true);
        }
    }
    ThrowIfDamaged(reader, part);
    document.chapters = SplitAtHeadings(builder.take(), 1, document.title);
    return document;
}

Document DocumentFormats::ReadOdt(ZipArchive &zip, qint64 textLimit)
{
    const QString part = QStringLiteral("content.xml");
    const QByteArray xml = RequiredEntry(zip, part);
    Document document;
    ReadMetadata(zip, QStringLiteral("meta.xml"), document);
    BlockBuilder builder(textLimit);
    QXmlStreamReader reader(xml);
    int skipped = 0, inBody = 0;
    std::vector<int> levels;  // of the open paragraphs and headings
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        RefuseEntities(reader);
        const auto name = reader.name();
        if (token == QXmlStreamReader::StartElement) {
            if (name == QLatin1String("text") && reader.namespaceUri().contains(QLatin1String("office")))
                ++inBody;
            if (skipped || name == QLatin1String("annotation") || name == QLatin1String("note") ||
                name == QLatin1String("tracked-changes")) {
                ++skipped;
            } else if (name == QLatin1String("p") || name == QLatin1String("h")) {
                builder.endBlock(levels.empty() ? 0 : levels.back());
                levels.push_back(
                    name == QLatin1String("h") ? std::max(1, LocalAttribute(reader, "outline-level").toInt()) : 0);
            } else if (name == QLatin1String("s")) {
                const int count = std::clamp(LocalAttribute(reader, "c").toInt(), 1, 1000);
                builder.append(QString(count, ' '), true);
            } else if (name == QLatin1String("tab")) {
                builder.append(u" ");
            } else if (name == QLatin1String("line-break")) {
                builder.lineBreak();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (skipped) {
                --skipped;
            } else if ((name == QLatin1String("p") || name == QLatin1String("h")) && !levels.empty()) {
                builder.endBlock(levels.back());
                levels.pop_back();
            }
        } else if (token == QXmlStreamReader::Characters && !skipped && inBody && !levels.empty()) {
            builder.append(reader.text());
        }
    }
    ThrowIfDamaged(reader, part);
    document.chapters = SplitAtHeadings(builder.take(), 1, document.title);
    return document;
}
