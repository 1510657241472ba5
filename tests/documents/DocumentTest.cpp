#include "Document.h"
#include "TestEpub.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <list>
#include <utility>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using TestEpub::Entries;
using TestEpub::Epub;
using TestEpub::WriteZip;
using TestEpub::Xhtml;

QString WriteFile(const QString &name, const QByteArray &bytes)
{
    const QString path = TestSupport::homeDir() + "/" + name;
    EXPECT_TRUE(TestSupport::writeFile(path, bytes));
    return path;
}

std::vector<std::pair<QString, QString>> Chapters(const DocumentResult &result)
{
    EXPECT_TRUE(result.document) << qPrintable(result.error);
    std::vector<std::pair<QString, QString>> chapters;
    if (result.document)
        for (const Chapter &c : result.document->chapters)
            chapters.emplace_back(c.title, c.text);
    return chapters;
}

using Expected = std::vector<std::pair<QString, QString>>;
constexpr qint64 kLimit = 1000000;

}  // namespace

TEST(Documents, EpubChaptersFollowTheSpineWithTitlesFromTheTableOfContents)
{
    const QByteArray items =
        "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"
        "<item id=\"c2\" href=\"text/two.xhtml\" media-type=\"application/xhtml+xml\"/>"
        "<item id=\"c1\" href=\"text/one%20a.xhtml\" media-type=\"application/xhtml+xml\"/>"
        "<item id=\"cover\" href=\"cover.xhtml\" media-type=\"application/xhtml+xml\"/>"
        "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
    const Entries files{
        {"OEBPS/nav.xhtml",
         Xhtml("<nav epub:type=\"landmarks\"><ol><li><a href=\"cover.xhtml\">Cover</a></li></ol></nav>"
               "<nav epub:type=\"toc\"><ol><li><a href=\"text/one%20a.xhtml#top\">Chapter <b>One</b></a></li>"
               "<li><a href=\"text/two.xhtml\">Two</a></li></ol></nav>")},
        {"OEBPS/cover.xhtml", Xhtml("<div><img src=\"c.png\" alt=\"cover\"/></div>")},
        {"OEBPS/text/one a.xhtml",
         Xhtml("<h1>Chapter One</h1><p>First   paragraph\n of one.</p>"
               "<script>alert('no')</script><p hidden=\"\">hidden</p>"
               "<div style=\"display: none\">gone</div><p>Second<br/>line&nbsp;&amp; &ldquo;more&rdquo;."
               "<span epub:type=\"pagebreak\">12</span></p>")},
        // Not well-formed XML (an HTML entity, an unclosed paragraph): read the forgiving way.
        {"OEBPS/text/two.xhtml", "<html><body><h2>Two</h2><p>caf&eacute; one<p>two</body></html>"},
        {"OEBPS/toc.ncx", "<ncx><navMap><navPoint><navLabel><text>From NCX</text></navLabel>"
                          "<content src=\"text/two.xhtml\"/></navPoint></navMap></ncx>"}};
    const QByteArray spine = "<spine toc=\"ncx\"><itemref idref=\"cover\"/><itemref idref=\"c1\"/>"
                             "<itemref idref=\"c2\"/></spine>";
    const DocumentResult epub3 = ReadDocument(WriteZip("book3.txt", Epub(items, spine, files)), kLimit);
    // The cover holds no text and the navigation document is not in the reading order.
    EXPECT_EQ(Chapters(epub3),
              (Expected{{"Chapter One", QString::fromUtf8("First paragraph of one.\nSecond\nline & \u201cmore\u201d.")},
                        {"Two", QString::fromUtf8("caf\u00e9 one\ntwo")}}));
    ASSERT_TRUE(epub3.document);
    EXPECT_EQ(epub3.document->title, "The Book");
    EXPECT_EQ(epub3.document->author, "Ann Author");

    // EPUB 2: titles from the NCX, else the first heading.
    QByteArray items2 = items;
    items2.replace(" properties=\"nav\"", "");
    const Entries files2{files.begin() + 1, files.end()};
    EXPECT_EQ(Chapters(ReadDocument(WriteZip("book2.epub", Epub(items2, spine, files2)), kLimit)),
              (Expected{{"Chapter One", QString::fromUtf8("First paragraph of one.\nSecond\nline & \u201cmore\u201d.")},
                        {"From NCX", QString::fromUtf8("Two\ncaf\u00e9 one\ntwo")}}));
}

TEST(Documents, OfficeAndFictionBookChaptersStartAtTheirTopHeadings)
{
    const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    auto para = [](const char *style, const char *text) {
        return QByteArray("<w:p>") +
               (style ? QByteArray("<w:pPr><w:pStyle w:val=\"") + style + "\"/></w:pPr>" : QByteArray()) +
               "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>";
    };
    const QByteArray body = para(nullptr, "Foreword.") + para("Title", "Big Title") + para(nullptr, "Intro") +
                            para("berschrift1", "Part A") + para("Heading2", "Sub") +
                            "<w:p><w:r><w:t>A </w:t></w:r><w:del><w:r><w:delText>old</w:delText></w:r></w:del>"
                            "<w:r><w:t>text</w:t><w:tab/><w:t>x</w:t></w:r></w:p>";
    const QString docx = WriteZip(
        "report.bin", {{"[Content_Types].xml", "<Types/>"},
                       {"word/document.xml", "<w:document " + w + "><w:body>" + body + "</w:body></w:document>"},
                       // A German Word gives Heading 1 another style id.
                       {"word/styles.xml", "<w:styles " + w +
                                               "><w:style w:styleId=\"berschrift1\"><w:name "
                                               "w:val=\"heading 1\"/></w:style></w:styles>"}});
    EXPECT_EQ(Chapters(ReadDocument(docx, kLimit)),
              (Expected{{"report", "Foreword."}, {"Big Title", "Intro"}, {"Part A", "Sub\nA text x"}}));

    const QByteArray odt =
        "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
        "<text:h text:outline-level=\"1\">First</text:h><text:p>One<text:s text:c=\"2\"/>two"
        "<office:annotation><text:p>a note</text:p></office:annotation></text:p>"
        "<text:h text:outline-level=\"2\">Inner</text:h><text:h text:outline-level=\"1\">Second</text:h>"
        "<text:list><text:list-item><text:p>item</text:p></text:list-item></text:list></office:text>"
        "</office:body></office:document-content>";
    const DocumentResult odtResult = ReadDocument(
        WriteZip("notes.odt", {{"mimetype", "application/vnd.oasis.opendocument.text"},
                               {"content.xml", odt},
                               {"meta.xml", "<office:document-meta xmlns:office=\"o\" xmlns:dc=\"d\"><office:meta>"
                                            "<dc:title>Notes</dc:title></office:meta></office:document-meta>"}}),
        kLimit);
    EXPECT_EQ(Chapters(odtResult), (Expected{{"First", "One  two\nInner"}, {"Second", "item"}}));
    EXPECT_EQ(odtResult.document->title, "Notes");

    const DocumentResult fb2 = ReadDocument(
        WriteFile("tale.xml",
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook xmlns=\"http://www.gribuser.ru/xml/"
                  "fictionbook/2.0\" xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info>"
                  "<author><first-name>Leo</first-name><last-name>Tell</last-name></author><book-title>A Tale"
                  "</book-title></title-info></description><body><title><p>A Tale</p></title>"
                  "<section><title><p>Chapter 1</p><p>The Start</p></title><p>Once<a l:href=\"#n1\" "
                  "type=\"note\">1</a> upon.</p><section><title><p>Part</p></title><p>Inner.</p></section>"
                  "</section><section><title><p>Chapter 2</p></title><poem><stanza><v>Line</v></stanza></poem>"
                  "</section></body><body name=\"notes\"><section id=\"n1\"><p>A note.</p></section></body>"
                  "<binary id=\"i\">AAAA</binary></FictionBook>"),
        kLimit);
    EXPECT_EQ(Chapters(fb2), (Expected{{"Chapter 1 The Start", "Once upon.\nPart\nInner."}, {"Chapter 2", "Line"}}));
    EXPECT_EQ(fb2.document->title, "A Tale");
    EXPECT_EQ(fb2.document->author, "Leo Tell");
}

TEST(Documents, WebPagesMarkdownAndTextBecomeChaptersWithNothingExtra)
{
    const DocumentResult html = ReadDocument(
        WriteFile("page.data", "<!DOCTYPE html><html><head><title>Page</title><script>var x = 1;</script></head><body>"
                               "<nav><a href=\"/\">Home</a></nav><p>Lead in</p><h1>One</h1><p>Text <b>bold</b></p>"
                               "<ul><li>a</li><li>b</li></ul><h2>Sub</h2><pre>x  y\nz</pre><div aria-hidden=\"true\">no"
                               "</div><h1>Two</h1><table><tr><td>c1</td><td>c2</td></tr></table><style>p{}</style>"),
        kLimit);
    EXPECT_EQ(Chapters(html),
              (Expected{{"Page", "Lead in"}, {"One", "Text bold\na\nb\nSub\nx  y\nz"}, {"Two", "c1 c2"}}));
    EXPECT_EQ(html.document->title, "Page");
    EXPECT_EQ(Chapters(ReadDocument(WriteFile("h2.html", "<h2>A</h2>a<h2>B</h2>b<h3>C</h3>c"), kLimit)),
              (Expected{{"A", "a"}, {"B", "b\nC\nc"}}));

    const QString md = WriteFile(
        "notes.md", "Intro *text* with [a link](http://x) and <b>`code`</b> [ref][r].\n\n[r]: http://x\n# First\n"
                    "Para one\ncontinues.\n\n- item **one**\n- item_two\n\n"
                    "```\n# not a heading\n```\nSecond\n======\n> quoted\n");
    EXPECT_EQ(Chapters(ReadDocument(md, kLimit)),
              (Expected{{"notes", "Intro text with a link and code ref."},
                        {"First", "Para one continues.\nitem one\nitem_two\n# not a heading"},
                        {"Second", "quoted"}}));

    const DocumentResult text = ReadDocument(WriteFile("plain.txt", "caf\xE9\r\n# not markdown\r\n"), kLimit);
    EXPECT_EQ(Chapters(text), (Expected{{"plain", QString::fromUtf8("caf\u00e9\n# not markdown\n")}}));
    EXPECT_EQ(Chapters(ReadDocument(WriteFile("empty.txt", ""), kLimit)), Expected{});
}

TEST(Documents, DamagedAndHostileDocumentsGiveAMessageNamingTheFileAndCause)
{
    auto error = [](const QString &path, qint64 limit = kLimit) {
        const DocumentResult result = ReadDocument(path, limit);
        EXPECT_FALSE(result.document) << qPrintable(path);
        EXPECT_TRUE(result.error.contains(path)) << qPrintable(result.error);
        return result.error;
    };
    const QByteArray manifest = "<item id=\"c\" href=\"c.xhtml\" media-type=\"application/xhtml+xml\"/>"
                                "<item id=\"out\" href=\"../../etc/passwd\" media-type=\"application/xhtml+xml\"/>";
    const Entries chapter{{"OEBPS/c.xhtml", Xhtml("<p>hello</p>")}};
    const QString good = WriteZip("good.epub", Epub(manifest, "<spine><itemref idref=\"c\"/></spine>", chapter));
    ASSERT_EQ(Chapters(ReadDocument(good, kLimit)), (Expected{{"The Book", "hello"}}));

    // A damaged zip: the same book cut short, and one with a flipped byte in its packed data.
    QByteArray bytes = TestSupport::readFile(good);
    EXPECT_TRUE(error(WriteFile("cut.epub", bytes.left(bytes.size() / 2))).contains("damaged"));
    const QByteArray big(200000, 'a');
    const QString packed = WriteZip("packed.epub", Epub(manifest, "<spine><itemref idref=\"c\"/></spine>",
                                                        {{"OEBPS/c.xhtml", Xhtml("<p>" + big + "</p>")}}));
    bytes = TestSupport::readFile(packed);
    const qsizetype at = bytes.indexOf("OEBPS/c.xhtml") + 40;
    bytes[at] = char(bytes[at] ^ 0x55);
    EXPECT_TRUE(error(WriteFile("flipped.epub", bytes)).contains("damaged"));

    EXPECT_TRUE(error(WriteZip("escape.epub", Epub(manifest, "<spine><itemref idref=\"out\"/></spine>", chapter)))
                    .contains("outside"));
    EXPECT_TRUE(error(WriteZip("other.zip", {{"a.txt", "x"}})).contains("zip"));

    const QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 "
                              "\"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]>";
    EXPECT_TRUE(error(WriteFile("laughs.fb2", laughs + "<FictionBook><body><p>&lol2;</p></body></FictionBook>"))
                    .contains("entities"));
    EXPECT_TRUE(
        error(WriteFile("laughs.html", laughs + "<html><body><p>&lol2;</p></body></html>")).contains("entities"));
    EXPECT_TRUE(error(WriteZip("laughs.epub", Epub(manifest, "<spine><itemref idref=\"c\"/></spine>",
                                                   {{"OEBPS/c.xhtml", laughs + "<html><p>&lol2;</p></html>"}})))
                    .contains("entities"));

    // A zip bomb: 20 MB of blanks packs into a small entry, and reading stops at the budget.
    const QString bomb =
        WriteZip("bomb.docx", {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", QByteArray(20 << 20, ' ')}});
    EXPECT_LT(QFile(bomb).size(), 1 << 20);
    EXPECT_TRUE(error(bomb).contains("too large"));
    // Text past the limit in every path.
    EXPECT_TRUE(error(good, 3).contains("too large"));
    EXPECT_TRUE(error(WriteFile("long.txt", QByteArray(5000, 'a')), 4000).contains("too large"));
    EXPECT_TRUE(error(WriteFile("long.html", "<p>" + QByteArray(5000, 'a') + "</p>"), 4000).contains("too large"));
    EXPECT_TRUE(error(TestSupport::homeDir() + "/missing.epub").contains("No such file"));
    EXPECT_TRUE(error("/dev/zero").contains("not a file"));
    EXPECT_TRUE(error(TestSupport::homeDir()).contains("not a file"));
}
