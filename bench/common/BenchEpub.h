#pragma once
// An EPUB the benchmarks make themselves: a book of chapters of one
// repeated paragraph (15 words in 86 bytes of XHTML).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <utility>
#include <vector>

#include <zip.h>

namespace BenchEpub {

inline constexpr int kParagraphWords = 15;
inline constexpr int kParagraphBytes = 86;

// An EPUB 3 of the given chapters, each of about chapterBytes of text.
inline bool writeEpub(const QString &path, int chapters, int chapterBytes)
{
    std::vector<std::pair<QByteArray, QByteArray>> entries{
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\"?><container version=\"1.0\" "
         "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
         "full-path=\"book.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles></container>"}};
    QByteArray manifest, spine;
    const QByteArray paragraph =
        "<p>The keeper climbed the stairs again and lit the lamp before the storm came in.</p>\n";
    for (int c = 1; c <= chapters; ++c) {
        const QByteArray id = "c" + QByteArray::number(c);
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
        QByteArray body = "<h1>Chapter " + QByteArray::number(c) + "</h1>\n";
        while (body.size() < chapterBytes)
            body += paragraph;
        entries.emplace_back(id + ".xhtml",
                             "<?xml version=\"1.0\" encoding=\"utf-8\"?><html "
                             "xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>x</title></head><body>" +
                                 body + "</body></html>");
    }
    entries.emplace_back("book.opf", "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" "
                                     "version=\"3.0\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                                     "<dc:title>Keeper</dc:title></metadata><manifest>" +
                                         manifest + "</manifest><spine>" + spine + "</spine></package>");
    int code = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!zip)
        return false;
    for (const auto &[name, data] : entries) {
        zip_source_t *source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        if (!source || zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE) < 0)
            return false;
    }
    return zip_close(zip) == 0;
}

}  // namespace BenchEpub
