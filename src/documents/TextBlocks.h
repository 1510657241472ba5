#pragma once
// Text gathered from markup as paragraphs ("blocks"), each marked with its
// heading level (0 for body text), then cut into chapters at headings.

#include "Document.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

struct TextBlock {
    QString text;
    int heading = 0;
};

// Collects text into blocks, collapsing runs of white space (kept inside
// preformatted text). Throws DocumentError when the text passes the limit.
class BlockBuilder
{
public:
    explicit BlockBuilder(qint64 textLimit);
    void append(QStringView text, bool preformatted = false);
    void lineBreak();
    void endBlock(int heading = 0);
    std::vector<TextBlock> take();
    qint64 textLimit() const { return m_limit; }

private:
    std::vector<TextBlock> m_blocks;
    QString m_current;
    bool m_pendingSpace = false;
    qint64 m_limit, m_total = 0;
};

// Turns (X)HTML element events into blocks: script, style, nav, template,
// head and hidden elements are never read; <title> becomes title().
class HtmlText
{
public:
    using Attribute = std::function<QString(const char *localName)>;
    explicit HtmlText(qint64 textLimit) : m_builder(textLimit) {}
    void start(QString name, const Attribute &attribute);
    void characters(QStringView text);
    void end();
    std::vector<TextBlock> take();
    const QString &title() const { return m_title; }

private:
    struct Open {
        QString name;
        bool skipped = false;
        int heading = 0;
    };
    std::vector<Open> m_open;
    BlockBuilder m_builder;
    int m_skipped = 0, m_pre = 0, m_heading = 0;
    bool m_inTitle = false;
    QString m_title;
};

// Reads XHTML through QXmlStreamReader into html; false when it is not
// well-formed XML (the caller may read it as HTML instead). Throws
// DocumentError when it declares entities.
bool ReadXhtml(const QByteArray &xml, HtmlText &html);
// Reads HTML of any quality through libxml2's forgiving HTML parser.
void ReadHtmlMarkup(const QByteArray &html, HtmlText &out);

// Cuts blocks into chapters at the top heading level present, no deeper than
// deepest (h1, else h2...). Text before the first such heading is a chapter
// titled untitled; chapters with no text are left out.
std::vector<Chapter> SplitAtHeadings(const std::vector<TextBlock> &blocks, int deepest, const QString &untitled);
// All blocks as one text, one block per line.
QString JoinBlocks(const std::vector<TextBlock> &blocks, size_t from = 0);

// Throws DocumentError when an XML stream reached a DTD that declares
// entities: their expansion can make a few bytes into gigabytes.
class QXmlStreamReader;
void RefuseEntities(const QXmlStreamReader &reader);
// The value of the current element's attribute with this local name, in
// whatever namespace prefix the file gives it.
QString LocalAttribute(const QXmlStreamReader &reader, const char *localName);
