// EPUB 2 and 3: the package's reading order (spine), titles from the table
// of contents, each XHTML file as one chapter.
#include "DocumentFormats.h"
#include "TextBlocks.h"
#include "ZipArchive.h"

#include <QDir>
#include <QHash>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

QString Required(ZipArchive &zip, const QString &name, QByteArray &bytes)
{
    std::optional<QByteArray> read = zip.read(name);
    if (!read)
        throw DocumentError(QStringLiteral("the book lacks its file \"%1\"").arg(name));
    bytes = std::move(*read);
    return name;
}

// A reference made relative to the file at base, as a path in the container;
// throws when it leads outside the container.
QString Resolve(const QString &base, const QString &href)
{
    const QUrl url(href);
    const QString path = QUrl::fromPercentEncoding(href.section('#', 0, 0).toUtf8());
    const QString dir = base.contains('/') ? base.section('/', 0, -2) + '/' : QString();
    const QString joined = QDir::cleanPath(dir + path);
    if (url.scheme().size() > 1 || path.startsWith('/') || joined.startsWith(QLatin1String("..")) || joined.isEmpty())
        throw DocumentError(QStringLiteral("its reading order points outside the book (\"%1\")").arg(href));
    return joined;
}

// The table of contents' title of each file, the first one naming it.
QHash<QString, QString> ReadTableOfContents(const QByteArray &xml, const QString &base, bool ncx)
{
    QHash<QString, QString> titles;
    QXmlStreamReader reader(xml);
    QString label, text;
    int navDepth = 0, anchorDepth = 0;
    bool inToc = ncx;
    QString href;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        RefuseEntities(reader);
        if (token == QXmlStreamReader::StartElement) {
            const auto name = reader.name();
            if (!ncx && name == QLatin1String("nav")) {
                ++navDepth;
                const QString type = LocalAttribute(reader, "type");
                inToc = navDepth == 1 && (type.contains(QLatin1String("toc")) || titles.isEmpty());
            } else if (inToc && (ncx ? name == QLatin1String("text") : name == QLatin1String("a"))) {
                anchorDepth = 1;
                text.clear();
                if (!ncx)
                    href = LocalAttribute(reader, "href");
            } else if (anchorDepth) {
                ++anchorDepth;
            } else if (ncx && name == QLatin1String("content")) {
                const QString src = LocalAttribute(reader, "src");
                try {
                    const QString file = Resolve(base, src);
                    if (!titles.contains(file) && !label.isEmpty())
                        titles.insert(file, label);
                } catch (const DocumentError &) {
                }
            }
        } else if (token == QXmlStreamReader::Characters && anchorDepth) {
            text += reader.text();
        } else if (token == QXmlStreamReader::EndElement) {
            if (anchorDepth && --anchorDepth == 0) {
                label = text.simplified();
                if (!ncx && !href.isEmpty() && !label.isEmpty()) {
                    try {
                        const QString file = Resolve(base, href);
                        if (!titles.contains(file))
                            titles.insert(file, label);
                    } catch (const DocumentError &) {
                    }
                }
            } else if (!ncx && reader.name() == QLatin1String("nav") && --navDepth == 0) {
                inToc = false;
            }
        }
    }
    return titles;
}

}  // namespace

Document DocumentFormats::ReadEpub(ZipArchive &zip, qint64 textLimit)
{
    QByteArray container;
    Required(zip, QStringLiteral("META-INF/container.xml"), container);
    QString opfPath;
    for (QXmlStreamReader reader(container); !reader.atEnd() && opfPath.isEmpty();) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("rootfile"))
            opfPath = LocalAttribute(reader, "full-path");
        RefuseEntities(reader);
    }
    if (opfPath.isEmpty())
        throw DocumentError(QStringLiteral("the book does not name its package file"));
    QByteArray opf;
    Required(zip, opfPath, opf);

    struct Item {
        QString href, type, properties;
    };
    QHash<QString, Item> manifest;
    QStringList spine;
    QString tocId;
    Document document;
    QXmlStreamReader reader(opf);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        RefuseEntities(reader);
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto name = reader.name();
        const QXmlStreamAttributes a = reader.attributes();
        if (name == QLatin1String("title") && document.title.isEmpty())
            document.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        else if (name == QLatin1String("creator") && document.author.isEmpty())
            document.author = reader.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        else if (name == QLatin1String("item"))
            manifest.insert(a.value("id").toString(), {a.value("href").toString(), a.value("media-type").toString(),
                                                       a.value("properties").toString()});
        else if (name == QLatin1String("spine"))
            tocId = a.value("toc").toString();
        else if (name == QLatin1String("itemref"))
            spine << a.value("idref").toString();
    }
    if (reader.hasError())
        throw DocumentError(QStringLiteral("its package file is damaged (%1)").arg(reader.errorString()));
    if (spine.isEmpty())
        throw DocumentError(QStringLiteral("the book has no reading order"));

    // The EPUB 3 navigation document first, else the EPUB 2 NCX.
    QHash<QString, QString> titles;
    for (const bool nav : {true, false}) {
        for (auto it = manifest.cbegin(); it != manifest.cend() && titles.isEmpty(); ++it) {
            const bool isNav = it->properties.split(' ').contains(QLatin1String("nav"));
            const bool isNcx = it.key() == tocId || it->type == QLatin1String("application/x-dtbncx+xml");
            if (nav ? !isNav : !isNcx)
                continue;
            // A table of contents out of place only costs the titles.
            QString path;
            try {
                path = Resolve(opfPath, it->href);
            } catch (const DocumentError &) {
                continue;
            }
            if (std::optional<QByteArray> toc = zip.read(path))
                titles = ReadTableOfContents(*toc, path, !nav);
        }
    }

    qint64 left = textLimit;
    for (const QString &id : spine) {
        const auto item = manifest.constFind(id);
        if (item == manifest.cend())
            throw DocumentError(
                QStringLiteral("its reading order names an item \"%1\" the book does not hold").arg(id));
        const QString path = Resolve(opfPath, item->href);
        if (!item->type.contains(QLatin1String("html")))
            continue;
        std::optional<QByteArray> xhtml = zip.read(path);
        if (!xhtml)
            throw DocumentError(QStringLiteral("the book lacks its file \"%1\"").arg(path));
        HtmlText html(left);
        std::vector<TextBlock> blocks;
        if (ReadXhtml(*xhtml, html)) {
            blocks = html.take();
        } else {
            // Books often hold HTML that is not well-formed XML.
            HtmlText forgiving(left);
            ReadHtmlMarkup(*xhtml, forgiving);
            blocks = forgiving.take();
        }
        size_t from = 0;
        QString title = titles.value(path);
        if (!blocks.empty() && blocks.front().heading && (title.isEmpty() || blocks.front().text == title)) {
            title = blocks.front().text;
            from = 1;
        }
        Chapter chapter{title, JoinBlocks(blocks, from)};
        if (chapter.text.isEmpty())
            continue;
        left -= chapter.text.size();
        document.chapters.push_back(std::move(chapter));
    }
    return document;
}
