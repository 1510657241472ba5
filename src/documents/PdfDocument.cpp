#include "PdfDocument.h"

#include <poppler-qt6.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSharedPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// How many lines at each end of a page, in reading order, may be a running
// header or footer; lines in the margin bands are, wherever Poppler puts them.
constexpr int kEdgeLines = 2;
constexpr double kMarginBand = 0.1;

struct Line {
    int page = 0;
    double top = 0;
    double bottom = 0;
    double pageHeight = 0;
    QString text;
};

// Where a chapter starts: a page and a height on it, in points from the top.
struct ChapterStart {
    QString title;
    int page = 0;
    double top = 0;
};

QString cannotRead(const QString &path, const QString &cause)
{
    return QStringLiteral("Cannot read the PDF file \"%1\": %2").arg(path, cause);
}

void silencePoppler()
{
    // Poppler reports every syntax slip of a damaged file on standard error;
    // the caller gets one clear message instead.
    static std::once_flag once;
    std::call_once(once, [] { Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant()); });
}

// Fonts draw "fi", "fl" and the like as one ligature glyph, which a voice
// cannot say; spell them out.
QString withoutLigatures(QString text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0xFB00 && c.unicode() <= 0xFB06)
            return text.normalized(QString::NormalizationForm_KC);
    }
    return text;
}

bool isLineEndHyphen(QChar c)
{
    return c == u'-' || c == QChar(0x2010);
}

// The lines of one page in Poppler's reading order. A word that ends a line
// has no next word in Poppler's list.
std::vector<Line> pageLines(const Poppler::Page &page, int pageIndex, qint64 &characters)
{
    std::vector<Line> lines;
    Line current;
    current.page = pageIndex;
    current.pageHeight = page.pageSizeF().height();
    bool open = false;
    for (const std::unique_ptr<Poppler::TextBox> &word : page.textList()) {
        const QRectF box = word->boundingBox();
        if (!open) {
            current.top = box.top();
            current.bottom = box.bottom();
            open = true;
        } else {
            current.top = std::min(current.top, box.top());
            current.bottom = std::max(current.bottom, box.bottom());
        }
        current.text += word->text();
        if (word->nextWord() && word->hasSpaceAfter())
            current.text += u' ';
        if (!word->nextWord()) {
            current.text = withoutLigatures(current.text.simplified());
            characters += current.text.size() + 1;
            if (!current.text.isEmpty())
                lines.push_back(current);
            current.text.clear();
            open = false;
        }
    }
    if (open && !current.text.simplified().isEmpty()) {
        current.text = withoutLigatures(current.text.simplified());
        characters += current.text.size();
        lines.push_back(current);
    }
    return lines;
}

// A running header or footer keeps its words from page to page while its
// page number changes, so short lines are compared with their digits
// blanked. A long line is a body line and must repeat exactly: the first
// lines of numbered paragraphs or verses differ only in their digits too.
QString runningKey(const QString &text)
{
    constexpr qsizetype kLongestRunningLine = 40;
    QString key;
    QString exact;
    key.reserve(text.size());
    exact.reserve(text.size());
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const QChar folded = c.toCaseFolded();
        exact += folded;
        if (!c.isDigit())
            key += folded;
        else if (!key.endsWith(u'#'))
            key += u'#';
    }
    return key.size() > kLongestRunningLine ? exact : key;
}

struct PagesText {
    std::vector<Line> lines;
    qint64 characters = 0;
    int damagedPage = -1;
};

// Reads pages [first, end) of its own copy of the file: Poppler's objects
// are not shared between threads, but separate documents are independent.
void readPageRange(const QString &path, int first, int end, qint64 limit, std::atomic<qint64> &characters,
                   PagesText &out)
{
    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(path);
    for (int index = first; index < end && characters.load() <= limit; ++index) {
        const std::unique_ptr<Poppler::Page> page = pdf ? pdf->page(index) : nullptr;
        if (!page) {
            out.damagedPage = index;
            return;
        }
        qint64 pageCharacters = 0;
        std::vector<Line> pageText = pageLines(*page, index, pageCharacters);
        characters += pageCharacters;
        std::move(pageText.begin(), pageText.end(), std::back_inserter(out.lines));
    }
}

// The lines of every page in order. Reading a page is nearly all of the
// time, so long files are read in page ranges on several cores.
PagesText readPages(const QString &path, const Poppler::Document &pdf, qint64 limit)
{
    const int pageCount = pdf.numPages();
    const int workers = std::clamp(std::min(QThread::idealThreadCount(), pageCount / 16), 1, 4);
    std::vector<PagesText> parts(workers);
    std::atomic<qint64> characters{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        const int first = int(qint64(pageCount) * w / workers);
        const int end = int(qint64(pageCount) * (w + 1) / workers);
        threads.emplace_back(readPageRange, std::cref(path), first, end, limit, std::ref(characters),
                             std::ref(parts[w]));
    }
    PagesText all;
    for (int w = 0; w < workers; ++w) {
        threads[w].join();
        if (all.damagedPage < 0)
            all.damagedPage = parts[w].damagedPage;
        std::move(parts[w].lines.begin(), parts[w].lines.end(), std::back_inserter(all.lines));
    }
    all.characters = characters.load();
    return all;
}

// Drops the lines at the top or bottom of a page whose key stands at an edge
// of more than half of the pages: of the whole file (the book's title, page
// numbers), or, for a page's outermost lines, of the pages from its first
// to its last appearance, when it stands on three or more (a chapter's own
// running title). A chapter's heading is kept on the page where the outline
// starts that chapter.
void dropRunningLines(std::vector<Line> &lines, int pageCount, const std::vector<ChapterStart> &starts)
{
    if (pageCount < 2)
        return;
    // Indices of each page's edge lines.
    std::vector<std::vector<size_t>> edges(pageCount);
    // The first and last line of a page, and those in its margin bands.
    std::vector<bool> outermost(lines.size(), false);
    for (size_t begin = 0; begin < lines.size();) {
        size_t end = begin;
        while (end < lines.size() && lines[end].page == lines[begin].page)
            ++end;
        std::vector<size_t> &pageEdges = edges[lines[begin].page];
        for (size_t i = begin; i < end; ++i) {
            const Line &line = lines[i];
            const bool inMargin = line.bottom < line.pageHeight * kMarginBand ||
                                  line.top > line.pageHeight * (1 - kMarginBand);
            outermost[i] = inMargin || i == begin || i + 1 == end;
            if (i < begin + kEdgeLines || i + kEdgeLines >= end || inMargin)
                pageEdges.push_back(i);
        }
        begin = end;
    }
    struct Spread {
        int pages = 0;
        int first = 0;
        int last = 0;
    };
    QHash<QString, Spread> spreads;
    for (int page = 0; page < pageCount; ++page) {
        QSet<QString> seen;
        for (size_t i : edges[page])
            seen.insert(runningKey(lines[i].text));
        for (const QString &key : seen) {
            Spread &spread = spreads[key];
            if (spread.pages++ == 0)
                spread.first = page;
            spread.last = page;
        }
    }
    QSet<QPair<int, QString>> headings;
    for (const ChapterStart &start : starts)
        headings.insert({start.page, start.title});
    std::vector<bool> drop(lines.size(), false);
    for (const std::vector<size_t> &pageEdges : edges) {
        for (size_t i : pageEdges) {
            const Spread spread = spreads.value(runningKey(lines[i].text));
            const bool running = spread.pages * 2 > pageCount || (outermost[i] && spread.pages >= 3 &&
                                                                  spread.pages * 2 > spread.last - spread.first + 1);
            if (running && !headings.contains({lines[i].page, lines[i].text.simplified()}))
                drop[i] = true;
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!drop[i])
            lines[kept++] = std::move(lines[i]);
    }
    lines.resize(kept);
}

bool endsSentence(const QString &text)
{
    static const QString enders = QStringLiteral(".!?:;\"\u201d)");
    return !text.isEmpty() && enders.contains(text.back());
}

// Joins lines into paragraphs, one per output line. A paragraph ends where a
// gap wider than half a line opens, where the text jumps back up (a new
// column) or at a page end after a finished sentence.
QString joinLines(std::vector<Line>::const_iterator begin, std::vector<Line>::const_iterator end)
{
    QString text;
    const Line *previous = nullptr;
    for (auto it = begin; it != end; ++it) {
        const Line &line = *it;
        if (previous) {
            const double height = std::max(1.0, previous->bottom - previous->top);
            const bool newParagraph = line.page != previous->page
                                          ? endsSentence(previous->text)
                                          : (line.top > previous->bottom + height * 0.5 || line.bottom < previous->top);
            const QChar last = text.back();
            const bool brokenWord = !newParagraph && text.size() >= 2 && text.at(text.size() - 2).isLetter() &&
                                    line.text.front().isLower() && isLineEndHyphen(last);
            if (last == QChar(0x00AD) || brokenWord) {
                text.chop(1);
            } else {
                text += newParagraph ? u'\n' : u' ';
            }
        }
        text += line.text;
        previous = &line;
    }
    return text;
}

std::vector<ChapterStart> outlineStarts(const Poppler::Document &document)
{
    QVector<Poppler::OutlineItem> items = document.outline();
    // A book whose outline is one entry (its own title) holding the chapters.
    if (items.size() == 1 && items.front().hasChildren())
        items = items.front().children();
    std::vector<ChapterStart> starts;
    for (const Poppler::OutlineItem &item : items) {
        const QSharedPointer<const Poppler::LinkDestination> destination = item.destination();
        if (!destination || destination->pageNumber() < 1 || destination->pageNumber() > document.numPages())
            continue;
        ChapterStart start;
        start.title = item.name().simplified();
        start.page = destination->pageNumber() - 1;
        if (destination->isChangeTop()) {
            const std::unique_ptr<Poppler::Page> page = document.page(start.page);
            if (page)
                start.top = std::clamp(destination->top(), 0.0, 1.0) * page->pageSizeF().height();
        }
        starts.push_back(start);
    }
    std::stable_sort(starts.begin(), starts.end(), [](const ChapterStart &a, const ChapterStart &b) {
        return a.page != b.page ? a.page < b.page : a.top < b.top;
    });
    return starts;
}

}  // namespace

DocumentResult ReadPdfDocument(const QString &path, qint64 textLimit)
{
    silencePoppler();
    DocumentResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = cannotRead(path, file.errorString());
        return result;
    }
    file.close();

    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(path);
    // A locked document has no catalogue yet: ask nothing else of it.
    if (pdf && pdf->isLocked()) {
        result.error = cannotRead(path, QStringLiteral("the file is encrypted and needs a password."));
        return result;
    }
    if (!pdf || pdf->numPages() < 1) {
        result.error = cannotRead(path, QStringLiteral("the file is damaged or is not a PDF."));
        return result;
    }

    const std::vector<ChapterStart> starts = outlineStarts(*pdf);

    const QString tooLarge = cannotRead(
        path, QStringLiteral("the file is too large: its text is longer than %1 characters.").arg(textLimit));
    // Headers and page numbers are dropped later, so stop only well past the
    // limit while reading pages; the exact check is on the finished chapters.
    const qint64 readingLimit = textLimit + textLimit / 2 + 4096;
    PagesText pages = readPages(path, *pdf, readingLimit);
    if (pages.damagedPage >= 0) {
        result.error = cannotRead(path, QStringLiteral("page %1 is damaged.").arg(pages.damagedPage + 1));
        return result;
    }
    if (pages.characters > readingLimit) {
        result.error = tooLarge;
        return result;
    }
    std::vector<Line> lines = std::move(pages.lines);
    if (lines.empty()) {
        result.error = cannotRead(
            path,
            QStringLiteral("it holds no text, only images (scanned pages?); it would need text recognition first."));
        return result;
    }
    dropRunningLines(lines, pdf->numPages(), starts);

    Document document;
    document.title = pdf->info(QStringLiteral("Title")).simplified();
    document.author = pdf->info(QStringLiteral("Author")).simplified();
    const QString fallbackTitle = document.title.isEmpty() ? QFileInfo(path).completeBaseName() : document.title;

    // Each line goes to the last chapter starting at or above it; text before
    // the first chapter (a cover, a title page) becomes a chapter of its own.
    std::vector<ChapterStart> sections = starts;
    if (sections.empty() || sections.front().page > lines.front().page ||
        (sections.front().page == lines.front().page && lines.front().bottom <= sections.front().top + 1))
        sections.insert(sections.begin(), ChapterStart{fallbackTitle, -1, 0});
    auto lineBegin = lines.cbegin();
    qint64 total = 0;
    for (size_t s = 0; s < sections.size(); ++s) {
        auto lineEnd = lineBegin;
        if (s + 1 == sections.size()) {
            lineEnd = lines.cend();
        } else {
            const ChapterStart &next = sections[s + 1];
            while (lineEnd != lines.cend() &&
                   (lineEnd->page < next.page || (lineEnd->page == next.page && lineEnd->bottom <= next.top + 1)))
                ++lineEnd;
        }
        // The chapter's heading is its title already.
        if (lineBegin != lineEnd && lineBegin->text.compare(sections[s].title, Qt::CaseInsensitive) == 0)
            ++lineBegin;
        Chapter chapter{sections[s].title.isEmpty() ? fallbackTitle : sections[s].title, joinLines(lineBegin, lineEnd)};
        lineBegin = lineEnd;
        if (chapter.text.isEmpty())
            continue;
        total += chapter.text.size();
        if (total > textLimit) {
            result.error = tooLarge;
            return result;
        }
        document.chapters.push_back(std::move(chapter));
    }
    if (document.title.isEmpty())
        document.title = fallbackTitle;
    result.document = std::move(document);
    return result;
}
