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

enum class Kind { Pdf, Zip, FictionBook, Html, Markdown, Text };

// What a file holds, told from its first bytes and, for Markdown, its name.
Kind KindOf(const QString &path, const QByteArray &start)
{
    if (start.startsWith("%PDF-"))
        return Kind::Pdf;
    if (start.startsWith("PK\x03\x04") || start.startsWith("PK\x05\x06"))
        return Kind::Zip;
    const QString head = Head(start);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (head.contains(QLatin1String("<fictionbook")))
        return Kind::FictionBook;
    static const QRegularExpression htmlStart(
        QStringLiteral("^\\s*(<\\?xml[^>]*>\\s*)?(<!--.*?-->\\s*)*<(!doctype html|html)"),
        QRegularExpression::DotMatchesEverythingOption);
    if (head.contains(htmlStart) ||
        ((suffix == "html" || suffix == "htm" || suffix == "xhtml") && head.trimmed().startsWith('<')))
        return Kind::Html;
    if (suffix == "md" || suffix == "markdown")
        return Kind::Markdown;
    return Kind::Text;
}

QByteArray StartOf(const QString &path)
{
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        throw DocumentError(probe.errorString());
    return probe.read(4096);
}

Document Read(const QString &path, qint64 textLimit)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw DocumentError(QStringLiteral("it is not a file"));  // a folder, a device or a pipe
    const Kind kind = KindOf(path, StartOf(path));
    if (kind == Kind::Zip)
        return ReadZip(path, textLimit);

    // Markup outweighs its text; a text file is its text, so a large log
    // file is refused before it is read into memory.
    const bool markup = kind == Kind::FictionBook || kind == Kind::Html;
    const QByteArray bytes = ReadCapped(path, markup ? textLimit * DocumentFormats::kMarkupFactor : textLimit,
                                        textLimit);
    if (kind == Kind::FictionBook)
        return DocumentFormats::ReadFb2(bytes, textLimit);
    if (kind == Kind::Html)
        return DocumentFormats::ReadHtml(bytes, textLimit);

    const QString text = ArticleText::DecodeTextFile(bytes);
    if (text.size() > textLimit)
        throw DocumentError(DocumentFormats::TooLargeCause(textLimit));
    if (kind == Kind::Markdown)
        return DocumentFormats::ReadMarkdown(text, textLimit);
    const QString title = info.completeBaseName();
    Document document{title, {}, {}};
    if (!text.trimmed().isEmpty())
        document.chapters.push_back({title, ArticleText::EditorText(text)});
    return document;
}

}  // namespace

bool IsPdfFile(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

QString DocumentFormats::TooLargeCause(qint64 textLimit)
{
    return QStringLiteral("it is too large (its text passes %1 characters)").arg(textLimit);
}

DocumentResult ReadDocument(const QString &path, qint64 textLimit)
{
    if (IsPdfFile(path))
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

bool IsPlainTextFile(const QString &path)
{
    try {
        return QFileInfo(path).isFile() && KindOf(path, StartOf(path)) == Kind::Text;
    } catch (const DocumentError &) {
        return false;
    }
}

QString ChapterText(const Document &document, const Chapter &chapter)
{
    // A chapter named only after its book has no heading of its own to say.
    if (chapter.title.isEmpty() || chapter.title == document.title)
        return chapter.text;
    return chapter.title + u'\n' + chapter.text;
}

QString DocumentText(const Document &document)
{
    QStringList parts;
    parts.reserve(qsizetype(document.chapters.size()));
    for (const Chapter &chapter : document.chapters)
        parts.append(ChapterText(document, chapter));
    return parts.join(u'\n');
}
