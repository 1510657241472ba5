// PDF files made here (QPdfWriter for plain pages, cairo for an outline)
// read back as chapters.
#include "PdfDocument.h"

#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cairo-pdf.h>
#include <gtest/gtest.h>

// Fontconfig, which cairo uses to draw the test documents' text, keeps its
// caches for the life of the process; the leak check must not count them.
extern "C" __attribute__((used)) const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

constexpr qint64 kNoLimit = 10'000'000;

// Four pages with a running header and a page number; each page is
// "<body lines>" laid out one line under the other.
void writePlainPdf(const QString &path, const QList<QStringList> &pages, bool withText = true)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A5));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            writer.newPage();
        if (!withText) {
            painter.fillRect(QRectF(40, 40, 200, 300), Qt::darkGray);
            continue;
        }
        painter.drawText(QPointF(40, 30), QStringLiteral("Tales of the Northern Coast"));
        int y = 80;
        for (const QString &line : pages[p]) {
            painter.drawText(QPointF(40, y), line);
            y += line.isEmpty() ? 30 : 15;
        }
        painter.drawText(QPointF(190, 570), QString::number(p + 1));
    }
}

// A one-page PDF whose standard security handler wants a user password
// (no password opens it), with its cross-reference table.
QByteArray encryptedPdf()
{
    const QByteArray key = QByteArray(32, '\x5a').toHex();
    const QList<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
                                       "<< /Filter /Standard /V 1 /R 2 /O <" + key + "> /U <" + key + "> /P -4 >>"};
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 5\n0000000000 65535 f \n";
    for (int i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + xref + "trailer\n<< /Size 5 /Root 1 0 R /Encrypt 4 0 R /ID [<" + key.left(32) + "> <" + key.left(32) +
           ">] >>\nstartxref\n" + start + "\n%%EOF\n";
}

}  // namespace

TEST(PdfDocumentTest, PlainPdfIsOneChapterInOrderWithoutHeadersAndWithBrokenWordsJoined)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("northern coast.pdf"));
    writePlainPdf(path, {{QStringLiteral("The first page tells of the harbour"), QStringLiteral("and its old light-"),
                          QStringLiteral("house keeper."), QString(), QStringLiteral("A second paragraph starts.")},
                         {QStringLiteral("The second page tells of the storm"), QStringLiteral("that came at night")},
                         {QStringLiteral("The third page tells of the rescue.")},
                         {QStringLiteral("The fourth page ends it, page 4 of the book.")}});

    const DocumentResult result = ReadPdfDocument(path, kNoLimit);
    ASSERT_TRUE(result.document) << result.error.toStdString();
    ASSERT_EQ(result.document->chapters.size(), 1u);
    const Chapter &chapter = result.document->chapters.front();
    EXPECT_EQ(chapter.title, QStringLiteral("northern coast"));
    EXPECT_EQ(chapter.text.toStdString(),
              std::string("The first page tells of the harbour and its old lighthouse keeper.\n"
                          "A second paragraph starts.\n"
                          "The second page tells of the storm that came at night "
                          "The third page tells of the rescue.\n"
                          "The fourth page ends it, page 4 of the book."));

    const DocumentResult tooLarge = ReadPdfDocument(path, 100);
    EXPECT_FALSE(tooLarge.document);
    EXPECT_TRUE(tooLarge.error.contains(path) && tooLarge.error.contains(QStringLiteral("too large")))
        << tooLarge.error.toStdString();
}

TEST(PdfDocumentTest, OutlineGivesChaptersSplitWhereTheBookmarksPointWithoutTheirRunningTitles)
{
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("voyage.pdf")).toUtf8();
    cairo_surface_t *surface = cairo_pdf_surface_create(path.constData(), 420, 595);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "The Long Voyage");
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_AUTHOR, "Ada North");
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const auto line = [cr](double y, const char *text) {
        cairo_move_to(cr, 40, y);
        cairo_show_text(cr, text);
    };
    line(100, "A cover page before any chapter.");
    cairo_show_page(cr);
    line(100, "Departure");
    line(130, "They left the port at dawn.");
    line(300, "Open Sea");
    line(330, "Nothing but water for weeks.");
    cairo_show_page(cr);
    line(100, "Arrival");
    line(130, "Land was sighted at last.");
    // The chapter's own running title over its later pages.
    for (const char *body : {"The harbour was quiet.", "The crew went ashore.", "Home at last."}) {
        cairo_show_page(cr);
        line(40, "Arrival");
        line(130, body);
    }
    cairo_destroy(cr);
    // Listed out of page order on purpose: chapters follow the pages.
    cairo_pdf_surface_add_outline(surface, CAIRO_PDF_OUTLINE_ROOT, "Departure", "page=2 pos=[0 85]",
                                  CAIRO_PDF_OUTLINE_FLAG_OPEN);
    cairo_pdf_surface_add_outline(surface, CAIRO_PDF_OUTLINE_ROOT, "Arrival", "page=3 pos=[0 85]",
                                  CAIRO_PDF_OUTLINE_FLAG_OPEN);
    cairo_pdf_surface_add_outline(surface, CAIRO_PDF_OUTLINE_ROOT, "Open Sea", "page=2 pos=[0 285]",
                                  CAIRO_PDF_OUTLINE_FLAG_OPEN);
    cairo_surface_finish(surface);
    ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);

    const DocumentResult result = ReadPdfDocument(QString::fromUtf8(path), kNoLimit);
    ASSERT_TRUE(result.document) << result.error.toStdString();
    EXPECT_EQ(result.document->title, QStringLiteral("The Long Voyage"));
    EXPECT_EQ(result.document->author, QStringLiteral("Ada North"));
    std::vector<std::pair<QString, QString>> chapters;
    for (const Chapter &chapter : result.document->chapters)
        chapters.emplace_back(chapter.title, chapter.text);
    const std::vector<std::pair<QString, QString>> expected = {
        {QStringLiteral("The Long Voyage"), QStringLiteral("A cover page before any chapter.")},
        {QStringLiteral("Departure"), QStringLiteral("They left the port at dawn.")},
        {QStringLiteral("Open Sea"), QStringLiteral("Nothing but water for weeks.")},
        {QStringLiteral("Arrival"), QStringLiteral("Land was sighted at last.\nThe harbour was quiet.\n"
                                                   "The crew went ashore.\nHome at last.")}};
    EXPECT_EQ(chapters, expected);
}

TEST(PdfDocumentTest, UnreadableFilesGiveAMessageNamingTheFileAndCause)
{
    QTemporaryDir dir;
    const QString scanned = dir.filePath(QStringLiteral("scanned.pdf"));
    writePlainPdf(scanned, {{}, {}}, false);
    const QString damaged = dir.filePath(QStringLiteral("damaged.pdf"));
    {
        QFile good(scanned);
        ASSERT_TRUE(good.open(QIODevice::ReadOnly));
        QByteArray bytes = good.readAll();
        bytes.truncate(bytes.size() / 3);
        QFile out(damaged);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("%PDF-1.4\n") + QByteArray(4000, '\x9c') + bytes.mid(9));
    }
    const QString notPdf = dir.filePath(QStringLiteral("notes.pdf"));
    {
        QFile out(notPdf);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("just some words, not a PDF at all\n");
    }
    const QString missing = dir.filePath(QStringLiteral("missing.pdf"));
    const QString encrypted = dir.filePath(QStringLiteral("locked.pdf"));
    {
        QFile out(encrypted);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(encryptedPdf());
    }

    const std::vector<std::pair<QString, QString>> cases = {{scanned, QStringLiteral("scanned pages")},
                                                            {damaged, QStringLiteral("damaged")},
                                                            {notPdf, QStringLiteral("not a PDF")},
                                                            {missing, QStringLiteral("No such file")},
                                                            {encrypted, QStringLiteral("password")}};
    for (const auto &[path, cause] : cases) {
        const DocumentResult result = ReadPdfDocument(path, kNoLimit);
        EXPECT_FALSE(result.document) << path.toStdString();
        EXPECT_TRUE(result.error.contains(path) && result.error.contains(cause)) << result.error.toStdString();
    }
}
