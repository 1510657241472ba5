#include "TextBlocks.h"

#include "DocumentFormats.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <libxml/HTMLparser.h>

#include <array>

BlockBuilder::BlockBuilder(qint64 textLimit) : m_limit(textLimit) {}

void BlockBuilder::append(QStringView text, bool preformatted)
{
    m_total += text.size();
    if (m_total > m_limit)
        throw DocumentError(DocumentFormats::TooLargeCause(m_limit));
    for (const QChar c : text) {
        if (preformatted && (c == '\n' || c == '\t')) {
            m_current.append(c == '\n' ? QChar('\n') : QChar(' '));
            m_pendingSpace = false;
        } else if (c.isSpace() && (!preformatted || c != ' ')) {
            m_pendingSpace = true;
        } else {
            if (m_pendingSpace && !m_current.isEmpty() && !m_current.endsWith('\n'))
                m_current.append(' ');
            m_pendingSpace = false;
            m_current.append(c);
        }
    }
}

void BlockBuilder::lineBreak()
{
    if (!m_current.isEmpty() && !m_current.endsWith('\n'))
        m_current.append('\n');
    m_pendingSpace = false;
}

void BlockBuilder::endBlock(int heading)
{
    QString text = m_current.trimmed();
    m_current.clear();
    m_pendingSpace = false;
    if (text.isEmpty())
        return;
    if (heading)
        text.replace('\n', ' ');
    m_blocks.push_back({std::move(text), heading});
}

std::vector<TextBlock> BlockBuilder::take()
{
    endBlock();
    return std::move(m_blocks);
}

namespace {

bool IsOneOf(const QString &name, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (name == QLatin1String(n))
            return true;
    return false;
}

// Elements that stand on lines of their own.
bool IsBlock(const QString &name)
{
    return IsOneOf(name, {"p",       "div",     "li",     "dt",     "dd",    "blockquote", "tr",         "table",
                          "section", "article", "header", "footer", "aside", "figure",     "figcaption", "hr",
                          "address", "ul",      "ol",     "dl",     "body",  "main",       "caption"});
}

bool IsHidden(const HtmlText::Attribute &attribute)
{
    static const QRegularExpression hiddenStyle(QStringLiteral("(display\\s*:\\s*none|visibility\\s*:\\s*hidden)"),
                                                QRegularExpression::CaseInsensitiveOption);
    const QString type = attribute("type") + ' ' + attribute("role");
    return !attribute("hidden").isNull() || attribute("aria-hidden").compare("true", Qt::CaseInsensitive) == 0 ||
           attribute("style").contains(hiddenStyle) || type.contains(QLatin1String("pagebreak"));
}

}  // namespace

void HtmlText::start(QString name, const Attribute &attribute)
{
    name = name.toLower();
    Open open{name};
    if (m_skipped || IsOneOf(name, {"script", "style", "nav", "template", "head", "noscript"}) || IsHidden(attribute)) {
        if (name == QLatin1String("title") && m_skipped && !m_open.empty() && m_open.back().name == "head")
            m_inTitle = true;
        open.skipped = true;
        ++m_skipped;
    } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
        if (!m_heading) {
            m_builder.endBlock();
            m_heading = open.heading = name[1].digitValue();
        }
    } else if (name == QLatin1String("br")) {
        m_builder.lineBreak();
    } else if (name == QLatin1String("pre")) {
        m_builder.endBlock();
        ++m_pre;
    } else if (!m_heading && IsBlock(name)) {
        m_builder.endBlock();
    } else if (IsOneOf(name, {"td", "th"})) {
        m_builder.append(u" ");
    }
    m_open.push_back(std::move(open));
}

void HtmlText::characters(QStringView text)
{
    if (m_inTitle)
        m_title += text;
    else if (!m_skipped)
        m_builder.append(text, m_pre > 0);
}

void HtmlText::end()
{
    if (m_open.empty())
        return;
    const Open open = m_open.back();
    m_open.pop_back();
    if (open.skipped) {
        --m_skipped;
        m_inTitle = false;
    } else if (open.heading) {
        m_builder.endBlock(open.heading);
        m_heading = 0;
    } else if (open.name == QLatin1String("pre")) {
        m_builder.endBlock();
        --m_pre;
    } else if (!m_heading && IsBlock(open.name)) {
        m_builder.endBlock();
    }
}

std::vector<TextBlock> HtmlText::take()
{
    m_title = m_title.simplified();
    return m_builder.take();
}

void RefuseEntities(const QXmlStreamReader &reader)
{
    if (reader.tokenType() == QXmlStreamReader::DTD && !reader.entityDeclarations().isEmpty())
        throw DocumentError(QStringLiteral("it declares XML entities, which this program refuses to expand"));
}

QString LocalAttribute(const QXmlStreamReader &reader, const char *localName)
{
    for (const QXmlStreamAttribute &a : reader.attributes())
        if (a.name() == QLatin1String(localName))
            return a.value().toString();
    return QString();
}

bool ReadXhtml(const QByteArray &xml, HtmlText &html)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            RefuseEntities(reader);
            break;
        case QXmlStreamReader::StartElement: {
            const QXmlStreamAttributes attributes = reader.attributes();
            html.start(reader.name().toString(), [&](const char *name) {
                for (const QXmlStreamAttribute &a : attributes)
                    if (a.name() == QLatin1String(name))
                        return a.value().toString();
                return QString();
            });
            break;
        }
        case QXmlStreamReader::EndElement:
            html.end();
            break;
        case QXmlStreamReader::Characters:
            html.characters(reader.text());
            break;
        case QXmlStreamReader::EntityReference:
            // XHTML that names its DTD may use HTML's entities (&nbsp;)
            // without declaring them; the reader leaves them to us.
            if (const htmlEntityDesc *entity =
                    htmlEntityLookup(reinterpret_cast<const xmlChar *>(reader.name().toUtf8().constData())))
                html.characters(QString::fromUcs4(reinterpret_cast<const char32_t *>(&entity->value), 1));
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

namespace {

void WalkHtml(xmlNode *node, HtmlText &out)
{
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            out.characters(QString::fromUtf8(reinterpret_cast<const char *>(node->content)));
        } else if (node->type == XML_ELEMENT_NODE) {
            out.start(QString::fromUtf8(reinterpret_cast<const char *>(node->name)), [node](const char *name) {
                xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
                if (!value)
                    return QString();
                QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
                xmlFree(value);
                return text.isNull() ? QString("") : text;
            });
            WalkHtml(node->children, out);
            out.end();
        }
    }
}

}  // namespace

void ReadHtmlMarkup(const QByteArray &html, HtmlText &out)
{
    // Without HUGE the parser limits nesting depth, which bounds the walk.
    htmlDocPtr doc = htmlReadMemory(html.constData(), int(html.size()), nullptr, nullptr,
                                    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                        HTML_PARSE_NOBLANKS);
    if (!doc)
        throw DocumentError(QStringLiteral("it holds no readable HTML"));
    try {
        WalkHtml(xmlDocGetRootElement(doc), out);
    } catch (...) {
        xmlFreeDoc(doc);
        throw;
    }
    xmlFreeDoc(doc);
}

QString JoinBlocks(const std::vector<TextBlock> &blocks, size_t from)
{
    QStringList lines;
    for (size_t i = from; i < blocks.size(); ++i)
        lines << blocks[i].text;
    return lines.join('\n');
}

std::vector<Chapter> SplitAtHeadings(const std::vector<TextBlock> &blocks, int deepest, const QString &untitled)
{
    int level = 0;
    for (int l = 1; l <= deepest && !level; ++l)
        for (const TextBlock &b : blocks)
            if (b.heading == l)
                level = l;
    std::vector<Chapter> chapters;
    Chapter current{untitled, {}};
    auto flush = [&] {
        if (!current.text.isEmpty())
            chapters.push_back(current);
    };
    for (const TextBlock &b : blocks) {
        if (level && b.heading == level) {
            flush();
            current = {b.text, {}};
        } else {
            current.text += (current.text.isEmpty() ? "" : "\n") + b.text;
        }
    }
    flush();
    return chapters;
}
