// Imports a saved file of 1,000 articles (about 5 MB) into a Multi-Article
// list, lays it out and exports it again; then starts a list from 10,000
// articles (about 50 MB) and scrolls through it; types into a 10 MB article
// while it is saved on its own; then opens a 60 MB text file of one line, and
// one of short lines, as an article in view. Prints name=value lines.
#include "BenchSupport.h"

#include "AutoSave.h"
#include "ArticleEditor.h"
#include "ArticleHeader.h"
#include "ArticleListView.h"
#include "ArticleRow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTextCursor>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <ctime>

namespace {

constexpr int kArticles = 1000;
constexpr int kManyArticles = 10000;
constexpr int kArticleBytes = 5000;

QByteArray makeSavedFile(int articles)
{
    const QByteArray sentence = "The quick brown fox reads the evening news aloud, word by word. ";
    QByteArray out;
    for (int a = 0; a < articles; ++a) {
        QByteArray text;
        int lines = 0;
        while (text.size() < kArticleBytes) {
            for (int s = 0; s < 6; ++s)
                text += sentence;
            text += "\r\n";
            ++lines;
        }
        out += "||||||Voxtrella MP3 Start of Article||||||\r\n";
        out += "Article_" + QByteArray::number(a + 1) + "|Voice " + QByteArray::number(a % 4) + "|" +
               QByteArray::number(lines) + "\r\n";
        out += text;
        out += "||||||Voxtrella MP3 End of Article||||||\r\n";
    }
    return out;
}

// CPU time of this thread: what the figures would be on an idle machine,
// since the build machine is usually shared.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct FourVoices : VoiceChoiceSource {
    std::vector<VoiceChoice> VoiceChoices() const override
    {
        std::vector<VoiceChoice> v;
        for (int i = 0; i < 4; ++i)
            v.push_back({QStringLiteral("Voice %1").arg(i), true, true});
        return v;
    }
} fourVoices;

// The article list and its view, as the window shows them.
struct Shown {
    ArticleList articles;
    ArticleListView view{articles};
};

void setUp(Shown &list)
{
    list.view.SetVoiceChoices(&fourVoices);
    list.articles.SetMultiArticle(true);
    list.view.SetVisibleEntries(3);
    list.view.resize(900, 700);
    list.view.show();
    QCoreApplication::processEvents();
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("VOXTRELLA_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);

    const QString input = home.path() + "/input.txt";
    const QString output = home.path() + "/VXExport.txt";
    if (!writeFile(input, makeSavedFile(kArticles)))
        return 1;

    auto list = std::make_unique<Shown>();
    setUp(*list);

    QElapsedTimer timer;
    timer.start();
    double cpu = cpuSeconds();
    list->articles.ImportList(input);
    list->view.ScrollToTop(1);
    QCoreApplication::processEvents();
    const double importSeconds = timer.nsecsElapsed() / 1e9;
    const double importCpu = cpuSeconds() - cpu;

    timer.restart();
    cpu = cpuSeconds();
    const bool saved = list->articles.ExportList(output);
    const double exportSeconds = timer.nsecsElapsed() / 1e9;
    const double exportCpu = cpuSeconds() - cpu;

    if (list->articles.Count() != kArticles || !saved || QFile(output).size() < kArticles * kArticleBytes) {
        std::fprintf(stderr, "round trip failed: %d articles, saved=%d\n", list->articles.Count(), int(saved));
        return 1;
    }
    std::printf("articles=%d\n", list->articles.Count());
    std::printf("file_mb=%.2f\n", QFile(input).size() / (1024.0 * 1024.0));
    std::printf("import_layout_s=%.3f\n", importSeconds);
    std::printf("import_layout_cpu_s=%.3f\n", importCpu);
    std::printf("export_s=%.3f\n", exportSeconds);
    std::printf("export_cpu_s=%.3f\n", exportCpu);
    std::printf("memory_mb=%.1f\n", BenchSupport::peakMemoryMb());
    list.reset();

    // Ten thousand articles: the start is the import up to the first rows
    // shown with an idle event queue; then every row is scrolled through.
    if (!writeFile(input, makeSavedFile(kManyArticles)))
        return 1;
    list = std::make_unique<Shown>();
    setUp(*list);
    timer.restart();
    cpu = cpuSeconds();
    list->articles.ImportList(input);
    QCoreApplication::processEvents();
    const double startSeconds = timer.nsecsElapsed() / 1e9;
    const double startCpu = cpuSeconds() - cpu;
    timer.restart();
    for (int first = 1; first <= list->articles.GetVisibleCount(); first += 3)
        list->view.ScrollBar()->setValue(first - 1);
    QCoreApplication::processEvents();
    const double scrollSeconds = timer.nsecsElapsed() / 1e9;
    if (list->articles.Count() != kManyArticles ||
        list->view.ShownViews().value(0)->Entry() != list->articles.Entry(list->view.ScrollBar()->value())) {
        std::fprintf(stderr, "10,000 articles: %d loaded or the rows are wrong\n", list->articles.Count());
        return 1;
    }
    std::printf("start_10k_s=%.3f\n", startSeconds);
    std::printf("start_10k_cpu_s=%.3f\n", startCpu);
    std::printf("scroll_10k_s=%.3f\n", scrollSeconds);
    std::printf("memory_10k_mb=%.1f\n", BenchSupport::peakMemoryMb());
    list.reset();

    // A 10 MB article in view (holding marker lines, which the save has to
    // escape), typed into first alone, then while it is saved on its own:
    // the window's share of a save (copying the records) and the longest
    // keystroke in each case, in CPU time of the window's thread.
    list = std::make_unique<Shown>();
    setUp(*list);
    ArticleEntry *entry = list->articles.Add(QString::fromLatin1(makeSavedFile(2000)), QString());
    QCoreApplication::processEvents();
    list->view.EditorFor(entry)->moveCursor(QTextCursor::End);
    const auto typeKey = [&] {
        const double before = cpuSeconds();
        list->view.EditorFor(entry)->insertPlainText(QStringLiteral("x"));
        QCoreApplication::processEvents();
        return cpuSeconds() - before;
    };
    double longestKeyAlone = 0;
    for (int i = 0; i < 20; ++i)
        longestKeyAlone = std::max(longestKeyAlone, typeKey());
    cpu = cpuSeconds();
    const auto records = list->articles.RecordsToSave(output);
    const double snapshotCpu = cpuSeconds() - cpu;
    AutoSave save(output, list->articles);
    save.setDelays(0, 0);
    bool written = false;
    QObject::connect(&save, &AutoSave::written, [&](bool ok, const QString &) { written = ok; });
    save.edited();
    double longestKey = 0;
    QElapsedTimer writing;
    writing.start();
    while (!written && writing.elapsed() < 60000)
        longestKey = std::max(longestKey, typeKey());
    if (!records || !written) {
        std::fprintf(stderr, "the 10 MB article was not saved\n");
        return 1;
    }
    std::printf("autosave_10mb_snapshot_cpu_s=%.3f\n", snapshotCpu);
    std::printf("autosave_10mb_write_s=%.3f\n", writing.nsecsElapsed() / 1e9);
    std::printf("typing_10mb_longest_key_cpu_s=%.3f\n", longestKeyAlone);
    std::printf("autosave_10mb_longest_key_cpu_s=%.3f\n", longestKey);
    list.reset();

    // 60 MB of words on one line, then in short lines, opened
    // into the article shown, until the window is idle with it on the screen.
    for (const char *shape : {"one_line", "short_lines"}) {
        const bool oneLine = std::strcmp(shape, "one_line") == 0;
        QByteArray text;
        const QByteArray words = oneLine ? "one line of words without end "
                                         : "a short line of words, as many a text file has them\n";
        text.reserve(60 * 1024 * 1024);
        while (text.size() < 60 * 1024 * 1024)
            text += words;
        if (!writeFile(input, text))
            return 1;
        list = std::make_unique<Shown>();
        setUp(*list);
        ArticleEntry *entry = list->articles.Add(QString(), QStringLiteral("Voice 0"));
        QCoreApplication::processEvents();
        timer.restart();
        cpu = cpuSeconds();
        entry->LoadFromFile(input);
        QCoreApplication::processEvents();
        const double openSeconds = timer.nsecsElapsed() / 1e9;
        const double openCpu = cpuSeconds() - cpu;
        timer.restart();
        list->view.EditorFor(entry)->SetSelStart(int(text.size()) - 5);
        list->view.EditorFor(entry)->ensureCursorVisible();
        QCoreApplication::processEvents();
        const double endSeconds = timer.nsecsElapsed() / 1e9;
        // The text file's last line break starts no line of its own.
        if (entry->Text().size() != text.size() - (oneLine ? 0 : 1)) {
            std::fprintf(stderr, "60 MB %s: %lld characters back\n", shape, qlonglong(entry->Text().size()));
            return 1;
        }
        std::printf("open_60mb_%s_s=%.3f\n", shape, openSeconds);
        std::printf("open_60mb_%s_cpu_s=%.3f\n", shape, openCpu);
        std::printf("caret_to_end_60mb_%s_s=%.3f\n", shape, endSeconds);
        std::printf("memory_60mb_%s_mb=%.1f\n", shape, BenchSupport::statusMb("VmRSS:"));
    }
    return 0;
}
