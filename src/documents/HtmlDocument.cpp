// HTML and XHTML pages and Markdown files: chapters at h1 (or #), else h2.
#include "DocumentFormats.h"
#include "TextBlocks.h"

#include <QRegularExpression>

Document DocumentFormats::ReadHtml(const QByteArray &bytes, qint64 textLimit)
{
    // The HTML parser skips a DOCTYPE's declarations; refusing them keeps
    // XHTML from meaning one thing here and another in an XML reader.
    static const QRegularExpression entity(QStringLiteral("<!DOCTYPE[^>\\[]*\\[[^\\]]*<!ENTITY"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (QString::fromLatin1(bytes.left(65536)).contains(entity))
        throw DocumentError(QStringLiteral("it declares XML entities, which this program refuses to expand"));
    HtmlText html(textLimit);
    ReadHtmlMarkup(bytes, html);
    std::vector<TextBlock> blocks = html.take();
    Document document{html.title(), {}, {}};
    document.chapters = SplitAtHeadings(blocks, 2, document.title);
    return document;
}

namespace {

QString PlainInline(QString line)
{
    static const QRegularExpression image(QStringLiteral("!\\[([^\\]]*)\\]\\([^)]*\\)"));
    static const QRegularExpression link(QStringLiteral("\\[([^\\]]*)\\]\\([^)]*\\)"));
    static const QRegularExpression code(QStringLiteral("`+([^`]*)`+"));
    static const QRegularExpression strong(QStringLiteral("(\\*\\*|__)(\\S(?:.*?\\S)?)\\1"));
    static const QRegularExpression emphasis(QStringLiteral("(?<![\\w*])([*_])(\\S(?:.*?\\S)?)\\1(?![\\w*])"));
    static const QRegularExpression reference(QStringLiteral("\\[([^\\]]*)\\]\\[[^\\]]*\\]"));
    static const QRegularExpression tag(QStringLiteral("<!--.*?-->|</?[A-Za-z][^>]*>"));
    line.replace(tag, QString());
    line.replace(reference, QStringLiteral("\\1"));
    line.replace(image, QStringLiteral("\\1"));
    line.replace(link, QStringLiteral("\\1"));
    line.replace(code, QStringLiteral("\\1"));
    line.replace(strong, QStringLiteral("\\2"));
    line.replace(emphasis, QStringLiteral("\\2"));
    return line;
}

}  // namespace

Document DocumentFormats::ReadMarkdown(const QString &text, qint64 textLimit)
{
    static const QRegularExpression atx(QStringLiteral("^ {0,3}(#{1,6})(?:\\s+(.*?))?(?:\\s+#+)?\\s*$"));
    static const QRegularExpression fence(QStringLiteral("^ {0,3}(```|~~~)"));
    static const QRegularExpression setext(QStringLiteral("^ {0,3}(=+|-+)\\s*$"));
    static const QRegularExpression item(QStringLiteral("^\\s*(?:[-*+]|\\d+[.)])\\s+"));
    static const QRegularExpression linkDefinition(QStringLiteral("^ {0,3}\\[[^\\]]+\\]:\\s*\\S+"));
    static const QRegularExpression quote(QStringLiteral("^\\s*(>\\s?)+"));
    BlockBuilder builder(textLimit);
    bool inFence = false;
    QString paragraph;
    auto endParagraph = [&](int heading = 0) {
        builder.append(PlainInline(paragraph));
        builder.endBlock(heading);
        paragraph.clear();
    };
    const QStringList lines = text.split('\n');
    for (QString line : lines) {
        line.remove('\r');
        if (line.contains(fence)) {
            endParagraph();
            inFence = !inFence;
            continue;
        }
        if (inFence) {
            builder.append(line, true);
            builder.endBlock();
            continue;
        }
        if (const auto m = atx.match(line); m.hasMatch()) {
            endParagraph();
            paragraph = m.captured(2);
            endParagraph(int(m.captured(1).size()));
        } else if (const auto s = setext.match(line); s.hasMatch() && !paragraph.isEmpty()) {
            endParagraph(s.captured(1).startsWith('=') ? 1 : 2);
        } else if (line.trimmed().isEmpty() || line.contains(linkDefinition)) {
            endParagraph();
        } else {
            line.remove(quote);
            if (line.contains(item)) {
                endParagraph();
                line.remove(item);
            }
            paragraph += (paragraph.isEmpty() ? "" : " ") + line.trimmed();
        }
    }
    endParagraph();
    Document document;
    document.chapters = SplitAtHeadings(builder.take(), 2, QString());
    return document;
}
