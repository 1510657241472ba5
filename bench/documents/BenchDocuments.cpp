// Times turning a 500-page PDF (made here) into chapters against the
// pdftotext command on the same file in the same run, and an EPUB of 200
// chapters holding 10 MB of text.
#include "BenchEpub.h"
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
    if (!BenchEpub::writeEpub(epub, 200, 50'000)) {
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
