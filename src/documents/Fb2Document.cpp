// FictionBook 2: each top-level section of the main body is a chapter, titled
// by its <title>. Note bodies, images and footnote marks are not read.
#include "DocumentFormats.h"
#include "TextBlocks.h"

#include <QXmlStreamReader>

Document DocumentFormats::ReadFb2(const QByteArray &xml, qint64 textLimit)
{
    Document document;
    QXmlStreamReader reader(xml);
    QStringList path;  // the open elements
    QStringList author;
    int skipped = 0, authors = 0;
    bool mainBodyDone = false, inMainBody = false;
    BlockBuilder builder(textLimit);
    std::vector<TextBlock> blocks;
    auto flush = [&] { std::ranges::move(builder.take(), std::back_inserter(blocks)); };
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        RefuseEntities(reader);
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.name().toString();
            const QString parent = path.isEmpty() ? QString() : path.back();
            path << name;
            if (name == QLatin1String("author") && parent == QLatin1String("title-info"))
                ++authors;
            if (skipped || name == QLatin1String("binary") ||
                (name == QLatin1String("a") && LocalAttribute(reader, "type") == QLatin1String("note")) ||
                (name == QLatin1String("body") && mainBodyDone)) {
                ++skipped;
            } else if (name == QLatin1String("body")) {
                inMainBody = true;
            } else if (inMainBody && name == QLatin1String("section") && parent == QLatin1String("body")) {
                builder.endBlock();
            } else if (inMainBody && name == QLatin1String("title") && parent == QLatin1String("body")) {
                ++skipped;  // the book's own title, shown before the first chapter
            } else if (inMainBody && (name == QLatin1String("p") || name == QLatin1String("v") ||
                                      name == QLatin1String("subtitle") || name == QLatin1String("text-author"))) {
                builder.endBlock();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QString name = path.isEmpty() ? QString() : path.takeLast();
            if (skipped) {
                --skipped;
            } else if (inMainBody && name == QLatin1String("body")) {
                inMainBody = false;
                mainBodyDone = true;
            } else if (inMainBody) {
                // A top-level section's title paragraphs form its heading.
                const bool topTitle = name == QLatin1String("p") && path.size() >= 3 &&
                                      path.back() == QLatin1String("title") &&
                                      path[path.size() - 2] == QLatin1String("section") &&
                                      path[path.size() - 3] == QLatin1String("body");
                builder.endBlock(topTitle ? 1 : 0);
                if (name == QLatin1String("section") && path.size() >= 1 && path.back() == QLatin1String("body"))
                    builder.endBlock();
            }
        } else if (token == QXmlStreamReader::Characters && !skipped) {
            const QString joined = path.join('/');
            if (inMainBody)
                builder.append(reader.text());
            else if (joined.endsWith(QLatin1String("title-info/book-title")))
                document.title += reader.text();
            else if (joined.contains(QLatin1String("title-info/author/")) && authors == 1)
                author << reader.text().toString().simplified();
        }
    }
    if (reader.hasError())
        throw DocumentError(
            QStringLiteral("it is damaged (line %1: %2)").arg(reader.lineNumber()).arg(reader.errorString()));
    flush();
    author.removeAll(QString());
    document.author = author.join(' ');
    document.title = document.title.simplified();
    // Several title paragraphs of one section make one heading.
    std::vector<TextBlock> merged;
    for (TextBlock &b : blocks) {
        if (b.heading && !merged.empty() && merged.back().heading)
            merged.back().text += ' ' + b.text;
        else
            merged.push_back(std::move(b));
    }
    document.chapters = SplitAtHeadings(merged, 1, document.title);
    return document;
}
