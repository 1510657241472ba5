// Making an audiobook: a book of 60 chapters and 300,000 words (made here)
// read by `voxtrella --read-to-file --chapters --subtitles srt` into 32
// kbit/s MP3 files with subtitles,
// and in the same run synthesis alone (the same command writing WAV files)
// and encoding alone (those WAV files through the program's MP3 writer):
//   audiobook_ratio_limit       wall time / ((synthesis + encoding) / 2):
//                               1.0 is both halves side by side on two
//                               cores (target <= 1.1)
//   audiobook_peak_mb           peak resident memory of the program
//   audiobook_memory_growth_mb  that peak minus the peak for the same book
//                               at 100,000 words (target <= 10: memory must
//                               not grow with the book)
// followed by the parts. BENCH_AUDIOBOOK_WORDS sets a smaller book for a
// quick look (the growth is then measured at a third of it).
#include "BenchEpub.h"
#include "LameUnit.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kChapters = 60;
constexpr int kBitRate = 32;
// The options of the audiobook run beyond format and bit rate: chapters,
// each with its SRT subtitles.
const QStringList kAudiobookOptions = {QStringLiteral("--chapters"), QStringLiteral("--subtitles"),
                                       QStringLiteral("srt")};

struct Run {
    bool ok = false;
    double seconds = 0;
    double peakMb = 0;
};

// The program on the book, its peak memory from the kernel's own count.
Run runProgram(const QStringList &arguments)
{
    std::vector<QByteArray> storage{QByteArray(VOXTRELLA_EXECUTABLE)};
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMb = double(usage.ru_maxrss) / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

Run readBook(const QString &book, const QString &format, const QString &out)
{
    QDir(out).removeRecursively();
    return runProgram(QStringList{QStringLiteral("--read-to-file"), QStringLiteral("--force"),
                                  QStringLiteral("--format"), format, QStringLiteral("--bitrate"),
                                  QString::number(kBitRate), QStringLiteral("--out"), out} +
                      kAudiobookOptions + QStringList{book});
}

QStringList filesIn(const QString &folder, const QString &pattern)
{
    QStringList files;
    const QDir top(folder);
    for (const QString &sub : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString &name : QDir(top.filePath(sub)).entryList({pattern}, QDir::Files, QDir::Name))
            files << top.filePath(sub + QLatin1Char('/') + name);
    return files;
}

bool fail(const char *what)
{
    std::fprintf(stderr, "bench_audiobook: %s\n", what);
    return false;
}

}  // namespace

int main()
{
    const int words = std::max(kChapters * BenchEpub::kParagraphWords,
                               std::getenv("BENCH_AUDIOBOOK_WORDS") ? std::atoi(std::getenv("BENCH_AUDIOBOOK_WORDS"))
                                                                    : 300'000);
    QTemporaryDir dir;
    // A home of its own: the saved settings of the user play no part.
    qputenv("VOXTRELLA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    QDir().mkpath(dir.filePath(QStringLiteral("home")));
    const auto chapterBytes = [](int bookWords) {
        return bookWords / kChapters / BenchEpub::kParagraphWords * BenchEpub::kParagraphBytes;
    };
    const QString small = dir.filePath(QStringLiteral("small.epub"));
    const QString book = dir.filePath(QStringLiteral("book.epub"));
    if (!BenchEpub::writeEpub(small, kChapters, chapterBytes(words / 3)) ||
        !BenchEpub::writeEpub(book, kChapters, chapterBytes(words)))
        return fail("the books could not be written"), 1;

    const QString out = dir.filePath(QStringLiteral("out"));
    const Run third = readBook(small, QStringLiteral("mp3"), out);
    const Run whole = readBook(book, QStringLiteral("mp3"), out);
    double audioSeconds = 0;
    for (const QString &mp3 : filesIn(out, QStringLiteral("*.mp3")))
        audioSeconds += double(QFileInfo(mp3).size()) * 8 / (kBitRate * 1000);
    const QString wavOut = dir.filePath(QStringLiteral("wav"));
    const Run synthesis = readBook(book, QStringLiteral("wav"), wavOut);
    if (!third.ok || !whole.ok || !synthesis.ok)
        return fail("a run of the program failed"), 1;

    const QStringList wavs = filesIn(wavOut, QStringLiteral("*.wav"));
    const auto start = std::chrono::steady_clock::now();
    for (const QString &wav : wavs) {
        const QString mp3 = dir.filePath(QStringLiteral("alone.mp3"));
        if (!ConvertToMp3(wav, mp3, kBitRate).Ok())
            return fail("encoding alone failed"), 1;
        QFile::remove(mp3);
    }
    const double encoding = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("audiobook_ratio_limit=%.3f\n", whole.seconds / ((synthesis.seconds + encoding) / 2));
    std::printf("audiobook_peak_mb=%.1f\n", whole.peakMb);
    std::printf("audiobook_memory_growth_mb=%.1f\n", whole.peakMb - third.peakMb);
    std::printf("audiobook_words=%d\n", words);
    std::printf("audiobook_chapters=%d\n", int(wavs.size()));
    std::printf("audiobook_audio_hours=%.2f\n", audioSeconds / 3600);
    std::printf("audiobook_wall_s=%.2f\n", whole.seconds);
    std::printf("audiobook_synthesis_alone_s=%.2f\n", synthesis.seconds);
    std::printf("audiobook_encoding_alone_s=%.2f\n", encoding);
    return 0;
}
