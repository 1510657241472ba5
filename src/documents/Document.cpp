#include "Document.h"

#include "ArticleText.h"
#include "DocumentFormats.h"
#include "PdfDocument.h"
#include "TextBlocks.h"
#include "ZipArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QByteArray ReadCapped(const QString &path, qint64 cap, qint64 textLimit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DocumentError(file.errorString());
    if (file.size() > cap)
        throw DocumentError(DocumentFormats::TooLargeCause(textLimit));
    QByteArray bytes = file.read(cap + 1);
    if (file.error() != QFile::NoError)
        throw DocumentError(file.errorString());
    if (bytes.size() > cap)
        throw DocumentError(DocumentFormats::TooLargeCause(textLimit));
    return bytes;
}

// The start of a file as lower-case text, for telling markup formats apart.
QString Head(const QByteArray &bytes)
{
    return ArticleText::DecodeTextFile(bytes.left(4096)).toLower();
}

Document ReadZip(const QString &path, qint64 textLimit)
{
    ZipArchive zip(path, textLimit * DocumentFormats::kMarkupFactor, DocumentFormats::TooLargeCause(textLimit));
    const QByteArray mimetype = zip.read(QStringLiteral("mimetype")).value_or(QByteArray()).trimmed();
    if (mimetype == "application/epub+zip")
        return DocumentFormats::ReadEpub(zip, textLimit);
    if (mimetype == "application/vnd.oasis.opendocument.text")
        return DocumentFormats::ReadOdt(zip, textLimit);
    if (zip.contains(QStringLiteral("word/document.xml")))
        return DocumentFormats::ReadDocx(zip, textLimit);
    throw DocumentError(QStringLiteral("it is a zip archive that holds no e-book or text document"));
}

Document Read(const QString &path, qint64 textLimit)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw DocumentError(QStringLiteral("it is not a file"));  // a folder, a device or a pipe
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        throw DocumentError(probe.errorString());
    const QByteArray magic = probe.read(1024);
    probe.close();
    if (magic.startsWith("PK\x03\x04") || magic.startsWith("PK\x05\x06"))
        return ReadZip(path, textLimit);

    const QByteArray bytes = ReadCapped(path, textLimit * DocumentFormats::kMarkupFactor, textLimit);
    const QString head = Head(bytes);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (head.contains(QLatin1String("<fictionbook")))
        return DocumentFormats::ReadFb2(bytes, textLimit);
    static const QRegularExpression htmlStart(
        QStringLiteral("^\\s*(<\\?xml[^>]*>\\s*)?(<!--.*?-->\\s*)*<(!doctype html|html)"),
        QRegularExpression::DotMatchesEverythingOption);
    if (head.contains(htmlStart) ||
        ((suffix == "html" || suffix == "htm" || suffix == "xhtml") && head.trimmed().startsWith('<')))
        return DocumentFormats::ReadHtml(bytes, textLimit);

    const QString text = ArticleText::DecodeTextFile(bytes);
    if (text.size() > textLimit)
        throw DocumentError(DocumentFormats::TooLargeCause(textLimit));
    if (suffix == "md" || suffix == "markdown")
        return DocumentFormats::ReadMarkdown(text, textLimit);
    const QString title = QFileInfo(path).completeBaseName();
    Document document{title, {}, {}};
    if (!text.trimmed().isEmpty())
        document.chapters.push_back({title, ArticleText::EditorText(text)});
    return document;
}

}  // namespace

QString DocumentFormats::TooLargeCause(qint64 textLimit)
{
    return QStringLiteral("it is too large (its text passes %1 characters)").arg(textLimit);
}

DocumentResult ReadDocument(const QString &path, qint64 textLimit)
{
    if (QFile file(path); QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-")
        return ReadPdfDocument(path, textLimit);
    const QString name = QDir::toNativeSeparators(path);
    try {
        Document document = Read(path, textLimit);
        if (document.title.isEmpty())
            document.title = QFileInfo(path).completeBaseName();
        // An article needs a title: text before the first heading goes by the book's.
        for (Chapter &chapter : document.chapters) {
            if (chapter.title.isEmpty())
                chapter.title = document.title;
            chapter.text = ArticleText::EditorText(chapter.text);
        }
        return {std::move(document), {}};
    } catch (const DocumentError &e) {
        return {std::nullopt, QStringLiteral("The document \"%1\" cannot be read: %2.").arg(name, e.cause())};
    } catch (const std::bad_alloc &) {
        return {std::nullopt,
                QStringLiteral("The document \"%1\" cannot be read: there is not enough memory.").arg(name)};
    }
}
