// Times turning a 500-page PDF (made here) into chapters against the
// pdftotext command on the same file in the same run, and an EPUB of 200
// chapters holding 10 MB of text.
#include "Document.h"
#include "PdfDocument.h"

#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

void writeBook(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    const QString body =
        QStringLiteral("Line %1 of page %2: the keeper climbed the stairs again and lit the lamp before the storm.");
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        painter.drawText(QPointF(50, 40), QStringLiteral("The Lighthouse Keeper"));
        for (int line = 0; line < 50; ++line)
            painter.drawText(QPointF(50, 80 + line * 14), body.arg(line + 1).arg(p + 1));
        painter.drawText(QPointF(290, 810), QString::number(p + 1));
    }
}

// An EPUB 3 of the given chapters, each of about chapterBytes of text.
bool writeEpub(const QString &path, int chapters, int chapterBytes)
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

double bestSeconds(int rounds, const std::function<bool()> &work)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!work()) {
            std::fprintf(stderr, "a timed run failed\n");
            std::exit(1);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("book.pdf"));
    writeBook(pdf, 500);

    const double ours = bestSeconds(3, [&] {
        const DocumentResult result = ReadPdfDocument(pdf, 100'000'000);
        if (!result.document || result.document->chapters.size() != 1)
            return false;
        // Pages are read on several cores: they must still come out whole,
        // in order, without the running header.
        const QString &text = result.document->chapters.front().text;
        const qsizetype first = text.indexOf(QStringLiteral("Line 1 of page 1:"));
        const qsizetype last = text.indexOf(QStringLiteral("Line 50 of page 500:"));
        return first == 0 && last > first && text.count(QStringLiteral("the storm.")) == 500 * 50 &&
               !text.contains(QStringLiteral("Lighthouse Keeper"));
    });
    const double command = bestSeconds(3, [&] {
        return QProcess::execute(QStringLiteral("pdftotext"), {pdf, dir.filePath(QStringLiteral("book.txt"))}) == 0;
    });
    std::printf("pdf_500_pages_s=%.3f\n", ours);
    std::printf("pdftotext_500_pages_s=%.3f\n", command);
    std::printf("pdf_ratio_pdftotext=%.2f\n", ours / command);

    const QString epub = dir.filePath(QStringLiteral("book.epub"));
    if (!writeEpub(epub, 200, 50'000)) {
        std::fprintf(stderr, "the EPUB could not be written\n");
        return 1;
    }
    const double epubSeconds = bestSeconds(3, [&] {
        const DocumentResult result = ReadDocument(epub, 100'000'000);
        return result.document && result.document->chapters.size() == 200 &&
               result.document->chapters.back().title == QStringLiteral("Chapter 200");
    });
    std::printf("epub_10mb_s=%.3f\n", epubSeconds);
    return 0;
}
