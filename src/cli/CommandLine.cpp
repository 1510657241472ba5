#include "CommandLine.h"

#include "articles/ArticleText.h"
#include "documents/Document.h"
#include "output/OpusFileWriter.h"
#include "output/OutputNames.h"
#include "output/PendingFile.h"
#include "output/Playlist.h"
#include "platform/audio/AudioSystem.h"
#include "platform/paths/SafeFile.h"
#include "platform/shell/MessageService.h"
#include "platform/shell/ShutdownSignals.h"
#include "reader/ReadingController.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "speech/SpeechErrors.h"
#include "util/AppError.h"
#include "util/DiagnosticLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace CommandLine {

namespace {

// The largest text file an article takes (the window's Open Text File limit).
constexpr qint64 kMaxTextFileBytes = 64 * 1024 * 1024;
// The most text a document may give, in characters: as much as a text file.
constexpr qint64 kMaxDocumentChars = kMaxTextFileBytes;
// Open Text File's title length.
constexpr int kTitleLength = 20;
// Standard input has no file name to make a title from.
const QString kStdinTitle = QStringLiteral("stdin");
const QString kProgram = QStringLiteral("voxtrella");
// The desktop's speech service may still be listing its voices (seconds for
// some modules); a run that asks for them waits this long at most.
constexpr int kLateVoicesMs = 20000;

void printError(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(kProgram), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Messages of the reading commands go to standard error; no question is
// ever confirmed, except that reading into a file goes on without a
// working sound card.
class ConsoleInteraction : public UserInteraction
{
public:
    Button show(const Message &message, Button) override
    {
        QString text = message.text;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (message.kind == Kind::Error)
            ++m_errors;
        if (m_progressShown) {
            std::fputc('\n', stderr);
            m_progressShown = false;
        }
        printError(text);
        return NoButton;
    }

    bool soundCardCheckFailed(bool &) override
    {
        DiagnosticLog::WriteLog(QStringLiteral("No sound card needed for file output"));
        return true;
    }

    int Errors() const { return m_errors; }
    // A progress line is open on the terminal: a message starts a new line.
    void SetProgressShown(bool shown) { m_progressShown = shown; }

private:
    int m_errors = 0;
    bool m_progressShown = false;
};

// The sound system of the command line: no device at all. Reading into files
// needs none, and leaving the sound server alone keeps a run going where it
// would fail (no server, a stored device that is gone, a file-size limit
// that its shared memory exceeds). The sound card check before each file
// then fails quietly into the log, and the console lets the reading go on.
class NoSoundDevices : public audio::AudioSystem
{
public:
    int outputDeviceCount() override { return 0; }
    int inputDeviceCount() override { return 0; }
    bool outputCaps(int, audio::WaveOutCaps &) override { return false; }
    bool testOpen(int, QString *error) override
    {
        if (error)
            *error = kNoDevice;
        return false;
    }
    std::unique_ptr<audio::PlaybackStream> openPlayback(int, const audio::PcmFormat &, QString *error) override
    {
        if (error)
            *error = kNoDevice;
        return nullptr;
    }

private:
    inline static const QString kNoDevice = QStringLiteral("the command line writes files and plays no sound");
};

// Nothing of the command line reaches the sound server. Our own sound layer
// is replaced by one without devices; and eSpeak NG, which opens a test
// stream at start for a playback of its own that this program never uses
// (it takes the samples itself), is given an empty server name, so that its
// probe fails at once instead of connecting.
void leaveSoundServerAlone()
{
    audio::setAudioSystem(std::make_unique<NoSoundDevices>());
    qputenv("PULSE_SERVER", QByteArray(""));
}

// One input file as an article of the list.
class FileArticle : public QObject
{
public:
    FileArticle(QString title, QString voice, QString text)
        : Title(std::move(title)), Voice(std::move(voice)), Text(std::move(text))
    {
    }
    QString Title;
    QString Voice;
    QString Text;
    // With --chapters: the document's folder, made when its first chapter is
    // read, and the chapter's number and count there. Otherwise empty.
    QString Folder;
    int Number = 0;
    int Count = 0;
    // For the tags: the document's title (a text file's own title) and
    // author, where it names one.
    QString Album;
    QString Author;
};

// The article list of the command line: the input files, none hidden, none
// saved.
class FileArticles : public ReadingView
{
public:
    std::vector<std::unique_ptr<FileArticle>> Items;

    int Count() const override { return int(Items.size()); }
    Article ArticleAt(int position) const override
    {
        return position >= 1 && position <= Count() ? Items[size_t(position - 1)].get() : nullptr;
    }
    int PositionOf(Article article) const override
    {
        for (size_t i = 0; i < Items.size(); ++i) {
            if (Items[i].get() == article)
                return int(i) + 1;
        }
        return 0;
    }
    Article Selected() const override { return m_selected; }
    void Mark(int position) override { m_selected = ArticleAt(position); }
    bool Hide(Article) override { return false; }
    void DeleteHidden() override {}
    void UnlockAll() override {}
    // The saved articles are the window's; the command line never writes them.
    void Save() override {}
    void AddEmptyArticleIfNone() override {}

    QString Title(Article article) const override { return item(article) ? item(article)->Title : QString(); }
    QString Voice(Article article) const override { return item(article) ? item(article)->Voice : QString(); }
    QString Text(Article article) const override { return item(article) ? item(article)->Text : QString(); }
    void SetLocked(Article, bool) override {}

private:
    FileArticle *item(Article article) const
    {
        return PositionOf(article) > 0 ? static_cast<FileArticle *>(article) : nullptr;
    }
    Article m_selected = nullptr;
};

// Percent per file and per conversion, on one terminal line.
class Progress
{
public:
    Progress(ConsoleInteraction &console, bool enabled) : m_console(console), m_enabled(enabled) {}

    void Start(const QString &label)
    {
        m_label = label;
        m_maximum = 0;
        m_percent = -1;
        m_converting = false;
    }
    void Gauge(bool visible, int maximum, int value, bool converting)
    {
        if (!m_enabled || !visible)
            return;
        if (converting != m_converting) {
            m_converting = converting;
            m_percent = -1;
        }
        if (maximum >= 0)
            m_maximum = maximum;
        const int percent = m_maximum > 0 ? int(std::clamp<qint64>(qint64(value) * 100 / m_maximum, 0, 100)) : 0;
        if (percent == m_percent)
            return;
        m_percent = percent;
        const QString line = (m_converting ? QStringLiteral("Converting ") : QStringLiteral("Reading ")) + m_label +
                             QStringLiteral(": %1%").arg(percent);
        std::fprintf(stderr, "\r%s\x1b[K", line.toLocal8Bit().constData());
        std::fflush(stderr);
        m_console.SetProgressShown(true);
    }
    void End()
    {
        if (m_enabled && m_percent >= 0) {
            std::fputc('\n', stderr);
            m_console.SetProgressShown(false);
        }
        m_percent = -1;
    }

private:
    ConsoleInteraction &m_console;
    bool m_enabled;
    QString m_label;
    int m_maximum = 0;
    int m_percent = -1;
    bool m_converting = false;
};

// The window's editor text of a file: decoded, split into lines and joined
// with line feeds; the editor hands non-breaking spaces on as blanks.
QString articleText(const QByteArray &bytes)
{
    QString text = ArticleText::SplitLines(ArticleText::DecodeTextFile(bytes)).join(u'\n');
    text.replace(QChar(QChar::Nbsp), QLatin1Char(' '));
    return text;
}

// Open Text File's title: the file name without its folder, cut at its
// first ".".
QString titleOf(const QString &path)
{
    if (path == QLatin1String("-"))
        return kStdinTitle;
    QString name = QFileInfo(path).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.left(dot);
    const QString title = ArticleText::MakeTitle(name, kTitleLength);
    // ".txt" or "---.txt" leave nothing; such a file still gets a name.
    return title.isEmpty() ? QString::fromLatin1(TOutputNames::UntitledName) : title;
}

// Standard descriptors found closed at start. Each is held open on
// /dev/null, so that no file the run opens takes its number (the list of
// outputs would otherwise be written into a sound file), and remembered, so
// that using it is still reported as the error it is.
struct ClosedStreams {
    bool input = false;
    bool output = false;
};
ClosedStreams g_closed;

void holdClosedStreams()
{
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() gives the lowest free number: the one just found closed.
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
        if (fd == STDIN_FILENO)
            g_closed.input = true;
        else if (fd == STDOUT_FILENO)
            g_closed.output = true;
    }
}

// Standard input to its real end. A pipe set non-blocking by whoever
// started us answers EAGAIN while the writer is slow: that is waited out,
// not taken for the end of the text.
std::optional<QByteArray> readStandardInput(QString *error)
{
    if (g_closed.input) {
        *error = QStringLiteral("standard input is closed");
        return std::nullopt;
    }
    QByteArray bytes;
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, n);
            if (bytes.size() > kMaxTextFileBytes) {
                *error = QStringLiteral("standard input is larger than %1 MB").arg(kMaxTextFileBytes >> 20);
                return std::nullopt;
            }
        } else if (n == 0) {
            return bytes;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd ready = {STDIN_FILENO, POLLIN, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            *error = QStringLiteral("standard input cannot be read: ") + QString::fromLocal8Bit(std::strerror(errno));
            return std::nullopt;
        }
    }
}

// Writes text to standard output. The first failure (a full disk, a closed
// descriptor, a reader that went away) is told once; false from then on.
bool writeStandardOutput(const QByteArray &text)
{
    static bool failed = false;
    if (failed)
        return false;
    QString cause;
    if (g_closed.output) {
        cause = QStringLiteral("it is closed");
    } else {
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            cause = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (cause.isEmpty())
        return true;
    failed = true;
    printError(QStringLiteral("standard output cannot be written: ") + cause);
    return false;
}

std::optional<QByteArray> readInput(const QString &path, QString *error)
{
    if (path == QLatin1String("-"))
        return readStandardInput(error);
    const SafeFile::ReadResult read = SafeFile::readRegularFile(path, kMaxTextFileBytes);
    switch (read.status) {
    case SafeFile::ReadStatus::Ok:
        return read.bytes;
    case SafeFile::ReadStatus::Missing:
        *error = path + QStringLiteral(": no such file");
        break;
    case SafeFile::ReadStatus::NotRegular:
        *error = path + QStringLiteral(": not a regular file");
        break;
    case SafeFile::ReadStatus::TooLarge:
        *error = path + QStringLiteral(": larger than %1 MB").arg(kMaxTextFileBytes >> 20);
        break;
    case SafeFile::ReadStatus::Failed:
        *error = path + QStringLiteral(": ") + read.error;
        break;
    }
    return std::nullopt;
}

// Whether a file can be made in the folder: tried, not guessed from the
// permission bits (root, read-only mounts, ACLs).
QString outputFolderProblem(const QString &dir)
{
    const QFileInfo info(dir);
    if (dir.trimmed().isEmpty())
        return QStringLiteral("no output folder is set; use --out DIR");
    if (!info.exists())
        return QStringLiteral("output folder %1 does not exist").arg(dir);
    if (!info.isDir())
        return QStringLiteral("output folder %1 is not a folder").arg(dir);
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".voxtrella-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("output folder %1 is not writable: %2").arg(dir, probe.errorString());
    return QString();
}

// A folder named with --out is made when missing, parents and all, as
// mkdir -p does. The saved folder is not: it may sit on a drive that is not
// mounted now, and a folder made in its place would catch the files.
QString makeOutputFolder(const QString &dir)
{
    const std::filesystem::path path(QFile::encodeName(dir).toStdString());
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return QString();
    std::filesystem::create_directories(path, error);
    if (error)
        return QStringLiteral("output folder %1 cannot be created: %2")
            .arg(dir, QString::fromLocal8Bit(error.message().c_str()));
    return QString();
}

constexpr int kBitRates[] = {16, 32, 40, 48, 56, 64};
const QString kMp3Rates = QStringLiteral("16, 32, 40, 48, 56, 64");
const QString kOpusRates = QStringLiteral("16, 24, 32, 48, 64");

bool isOpusRate(int rate)
{
    const auto &rates = OpusFileWriter::BitRates();
    return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

bool isMp3Rate(int rate)
{
    return std::find(std::begin(kBitRates), std::end(kBitRates), rate) != std::end(kBitRates);
}

struct Options {
    bool readToFile = false;
    bool listVoices = false;
    QString voice;
    std::optional<uint8_t> format;
    std::optional<int> bitRate;
    std::optional<uint8_t> subtitles;  // the setting's value: 1 SRT, 2 WebVTT, 3 LRC
    QString out;
    QString single;
    QString title;   // the album tag instead of the document's title
    QString author;  // the artist tag instead of the document's author
    bool chapters = false;
    bool force = false;
    QStringList files;
};

class Runner
{
public:
    explicit Runner(const Options &options) : m_options(options) {}
    int Exec();

private:
    int ListVoices();
    int ReadToFiles();
    bool LoadArticles();
    // One input's articles: a document's chapters with --chapters (or
    // --single, whose one output keeps them apart), else the whole file.
    bool LoadInput(const QString &path, const QString &voice);
    // The file a title is read into, named as the window names it.
    QString OutputOf(const QString &title);
    // A document's folder in the output folder, made when missing; empty
    // (and said) when it cannot be.
    QString ChapterFolder(const QString &name);
    // "01 Title.mp3" in the chapter's folder.
    QString ChapterOutputOf(const FileArticle &chapter);
    // Why the --single output is not to be read (it exists, an input failed);
    // empty when it is.
    QString SingleOutputProblem(const QString &output) const;
    // The runs, one after another in the program's event loop: each starts
    // when the one before has ended (the reading commands are idle again),
    // and the loop ends after the last.
    void StartNextRun();
    // Starts one run (an article's Read to File, or the whole list) into
    // output; false when it ended at once, nothing being read.
    bool StartRun(FileArticle *article, const QString &output);
    // The run ended: was its output written?
    void EndRun();
    // EndRun once the events of this moment have been handled.
    void EndRunSoon();
    // The tags of the run of article (null: the --single output).
    void SetTags(const FileArticle *article);
    // A playlist beside the files of each folder that got more than one.
    void WritePlaylists();
    SoundFormat Format() const { return SoundFormatOf(m_prefs.OUT_FileFormat); }

    const Options &m_options;
    ConsoleInteraction m_console;
    TPreferences m_prefs;
    std::unique_ptr<Speaker> m_driver;
    FileArticles m_articles;
    std::unique_ptr<ReadingController> m_reading;
    std::unique_ptr<Progress> m_progress;
    // Each article of the list, or one null entry for the --single output.
    std::vector<FileArticle *> m_runs;
    size_t m_nextRun = 0;
    std::unique_ptr<TOutputNames> m_names;
    // The names given out in each document's folder with --chapters.
    std::map<QString, std::unique_ptr<TOutputNames>> m_folderNames;
    QSet<QString> m_documentFolders;
    QString m_singleOutput;
    QString m_runOutput;  // the output of the run under way; empty between runs
    // The files written, per folder in reading order, and each folder's
    // album (the playlist's name).
    std::map<QString, std::vector<TPlaylistEntry>> m_written;
    std::map<QString, QString> m_albums;
    QString m_runAlbum;
    int m_errorsBefore = 0;
    bool m_interrupted = false;
    int m_failures = 0;
    // The list of outputs could not be given: a script cannot trust the run.
    bool m_outputFailed = false;
};

int Runner::Exec()
{
    leaveSoundServerAlone();
    MessageService::install(&m_console);
    // The settings as the window saved them, overridden by the options for
    // this run only: this record is never saved.
    m_prefs.LoadFromRegistry();
    m_prefs.ItemsToFields();

    int status = Failed;
    try {
        m_driver = std::make_unique<Speaker>(m_prefs);
        m_driver->Initialize();
        m_driver->LoadVoicePrefs();
        // The window waits half a second after each text's audio has ended;
        // a file is complete when it is written, and with a thousand small
        // files that pause would be most of the run.
        m_driver->Timer1()->setInterval(0);
    } catch (const std::exception &e) {
        printError(QStringLiteral("the speech engines could not be started: ") + QString::fromUtf8(e.what()));
        m_driver.reset();
    }
    if (m_driver && m_driver->Voices().Count() == 0) {
        printError(QStringLiteral("no text-to-speech voice is installed (eSpeak NG or Flite)"));
    } else if (m_driver) {
        try {
            status = m_options.listVoices ? ListVoices() : ReadToFiles();
        } catch (const EAppError &e) {
            printError(e.message());
        } catch (const std::exception &e) {
            printError(QString::fromUtf8(e.what()));
        }
    }
    m_reading.reset();
    m_driver.reset();
    MessageService::install(nullptr);
    audio::setAudioSystem(nullptr);
    return status;
}

int Runner::ListVoices()
{
    m_driver->AwaitLateVoices(kLateVoicesMs);
    QString list;
    for (int i = 0; i < m_driver->Voices().Count(); ++i) {
        const TVoiceEntry *voice = m_driver->Voices().Items(i);
        const QString language = voice->Engine ? voice->Engine->LanguageName : QString();
        const QString engine = voice->Engine ? voice->Engine->GroupName : QString();
        list += voice->DisplayName + u'\t' + language + u'\t' + engine + u'\n';
    }
    return writeStandardOutput(list.toLocal8Bit()) ? Written : Failed;
}

int Runner::ReadToFiles()
{
    const QString voice = m_options.voice.isEmpty() ? m_prefs.TTS_DefaultVoiceName : m_options.voice;
    if (!m_driver->FindVoice(voice))
        m_driver->AwaitLateVoices(kLateVoicesMs);
    if (!m_driver->FindVoice(voice)) {
        printError(QStringLiteral("voice \"%1\" does not exist; --list-voices lists the voices").arg(voice));
        return m_options.voice.isEmpty() ? Failed : BadArguments;
    }
    if (m_options.format)
        m_prefs.OUT_FileFormat = *m_options.format;
    if (m_options.bitRate && Format() == SoundFormat::Opus && !isOpusRate(*m_options.bitRate)) {
        printError(QStringLiteral("bit rate \"%1\" is not one of %2").arg(*m_options.bitRate).arg(kOpusRates));
        return BadArguments;
    }
    if (m_options.bitRate && Format() != SoundFormat::Opus && !isMp3Rate(*m_options.bitRate)) {
        printError(QStringLiteral("bit rate \"%1\" is not one of %2").arg(*m_options.bitRate).arg(kMp3Rates));
        return BadArguments;
    }
    if (m_options.bitRate && Format() == SoundFormat::Opus)
        m_prefs.OpusBitRate = *m_options.bitRate;
    else if (m_options.bitRate)
        m_prefs.BitRate = *m_options.bitRate;
    if (m_options.subtitles)
        m_prefs.OUT_Subtitles = *m_options.subtitles;
    if (!m_options.out.isEmpty()) {
        if (const QString problem = makeOutputFolder(m_options.out); !problem.isEmpty()) {
            printError(problem);
            return Failed;
        }
        m_prefs.OUT_Directory = m_options.out;
    }
    if (const QString problem = outputFolderProblem(m_prefs.OUT_Directory); !problem.isEmpty()) {
        printError(problem);
        return Failed;
    }
    m_prefs.OUT_Directory = QFileInfo(m_prefs.OUT_Directory).absoluteFilePath();

    if (!LoadArticles() && m_articles.Count() == 0)
        return Failed;

    m_reading = std::make_unique<ReadingController>(*m_driver, m_prefs, m_articles);
    QObject::connect(m_reading.get(), &ReadingController::FileWritten, m_reading.get(),
                     [this](const QString &file, const QString &title, qint64 durationMs) {
                         const QString folder = QFileInfo(file).absolutePath();
                         m_written[folder].push_back({file, title, durationMs});
                         m_albums.emplace(folder, m_runAlbum);
                     });
    // A name taken while the file was written is not replaced unless asked.
    m_reading->SetPlacement(m_options.force ? OutputPlacement::Replace : OutputPlacement::Refuse);
    m_progress = std::make_unique<Progress>(m_console, isatty(STDERR_FILENO) == 1);
    QObject::connect(m_reading.get(), &ReadingController::CommandsChanged, m_reading.get(),
                     [this](ReadingController::Commands, ReadingState state) {
                         if (state == rsIdle)
                             EndRunSoon();
                     });
    QObject::connect(m_reading.get(), &ReadingController::GaugeChanged, m_reading.get(),
                     [this](bool visible, int maximum, int value) {
                         m_progress->Gauge(visible, maximum, value, m_reading->State() == rsConverting);
                     });
    m_reading->SetReadingState(rsIdle);

    // A termination request stops the reading the way Stop does: the file
    // being written goes, the finished ones stay.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, m_reading.get(), [this] {
        m_interrupted = true;
        if (m_reading->State() == rsReading || m_reading->State() == rsPaused)
            m_reading->StopBtnClick();
        else
            m_reading->BeginExit();
        EndRunSoon();
    });

    // The names the window gives: one per title, " (2)" for a repeated one.
    m_names = std::make_unique<TOutputNames>(m_prefs.OUT_Directory);
    if (!m_options.single.isEmpty()) {
        m_singleOutput = OutputOf(m_options.single);
        if (const QString problem = SingleOutputProblem(m_singleOutput); !problem.isEmpty()) {
            printError(problem);
            return Failed;
        }
        m_runs = {nullptr};
    } else {
        for (const auto &article : m_articles.Items)
            m_runs.push_back(article.get());
    }
    QTimer::singleShot(0, m_reading.get(), [this] { StartNextRun(); });
    QCoreApplication::exec();
    WritePlaylists();
    if (m_interrupted) {
        printError(QStringLiteral("interrupted"));
        return Interrupted;
    }
    return m_failures == 0 && !m_outputFailed ? Written : Failed;
}

QString Runner::SingleOutputProblem(const QString &output) const
{
    // Anything at the name counts, a symbolic link too, even one that leads nowhere.
    if (PendingFile::Exists(output) && !m_options.force)
        return QStringLiteral("%1 exists; use --force to replace it").arg(output);
    // One output of all the inputs: without one of them it is not the whole.
    if (m_failures > 0)
        return QStringLiteral("%1 was not written: not every input could be read").arg(output);
    return QString();
}

bool Runner::LoadArticles()
{
    const QString voice = m_options.voice.isEmpty() ? m_prefs.TTS_DefaultVoiceName : m_options.voice;
    bool all = true;
    for (const QString &path : m_options.files) {
        if (!LoadInput(path, voice)) {
            ++m_failures;
            all = false;
        }
    }
    return all;
}

bool Runner::LoadInput(const QString &path, const QString &voice)
{
    const bool chapters = m_options.chapters || !m_options.single.isEmpty();
    // Text files are read as they always were, and so is standard input.
    if (path == QLatin1String("-") || (IsPlainTextFile(path) && !chapters) || !QFileInfo(path).isFile()) {
        QString error;
        const std::optional<QByteArray> bytes = readInput(path, &error);
        if (!bytes) {
            printError(error);
            return false;
        }
        m_articles.Items.push_back(std::make_unique<FileArticle>(titleOf(path), voice, articleText(*bytes)));
        m_articles.Items.back()->Album = m_articles.Items.back()->Title;
        return true;
    }
    const DocumentResult read = ReadDocument(path, kMaxDocumentChars);
    if (!read.document) {
        printError(read.error);
        return false;
    }
    const Document &document = *read.document;
    if (document.chapters.empty()) {
        printError(QStringLiteral("%1: there is no text in it").arg(path));
        return false;
    }
    if (!chapters) {
        m_articles.Items.push_back(std::make_unique<FileArticle>(titleOf(path), voice, DocumentText(document)));
        m_articles.Items.back()->Album = document.title;
        m_articles.Items.back()->Author = document.author;
        return true;
    }
    // Two books of one title do not share a folder.
    QString folder;
    if (m_options.single.isEmpty()) {
        const QString name = TOutputNames::SafeFileName(document.title, QString());
        folder = name;
        for (int n = 2; m_documentFolders.contains(folder); ++n)
            folder = QStringLiteral("%1 (%2)").arg(name).arg(n);
        m_documentFolders.insert(folder);
    }
    const int count = int(document.chapters.size());
    for (int i = 0; i < count; ++i) {
        const Chapter &chapter = document.chapters[size_t(i)];
        auto article = std::make_unique<FileArticle>(chapter.title, voice, ChapterText(document, chapter));
        article->Folder = folder;
        article->Number = i + 1;
        article->Count = count;
        article->Album = document.title;
        article->Author = document.author;
        m_articles.Items.push_back(std::move(article));
    }
    return true;
}

QString Runner::OutputOf(const QString &title)
{
    const TOutputNames::TFiles files = m_names->Build(title, Format());
    return Format() == SoundFormat::Wav ? files.WavFile : files.EncodedFile;
}

QString Runner::ChapterFolder(const QString &name)
{
    const QString folder = TOutputNames::JoinPath(m_names->Directory(), name);
    QString problem = makeOutputFolder(folder);
    if (problem.isEmpty())
        problem = outputFolderProblem(folder);
    if (!problem.isEmpty()) {
        printError(problem);
        return QString();
    }
    return folder;
}

QString Runner::ChapterOutputOf(const FileArticle &chapter)
{
    std::unique_ptr<TOutputNames> &names = m_folderNames[chapter.Folder];
    if (!names)
        names = std::make_unique<TOutputNames>(TOutputNames::JoinPath(m_names->Directory(), chapter.Folder));
    // As many digits as the last number has, two at least, so that the
    // files sort in reading order.
    const int width = std::max(2, int(QString::number(chapter.Count).size()));
    const QString title = QStringLiteral("%1 %2").arg(chapter.Number, width, 10, QLatin1Char('0')).arg(chapter.Title);
    const TOutputNames::TFiles files = names->Build(title, Format());
    return Format() == SoundFormat::Wav ? files.WavFile : files.EncodedFile;
}

void Runner::StartNextRun()
{
    while (m_nextRun < m_runs.size() && !m_interrupted) {
        FileArticle *article = m_runs[m_nextRun++];
        QString output = m_singleOutput;
        if (article && !article->Folder.isEmpty()) {
            const QString folder = ChapterFolder(article->Folder);
            if (folder.isEmpty()) {
                ++m_failures;
                continue;
            }
            m_prefs.OUT_Directory = folder;
            output = ChapterOutputOf(*article);
        } else if (article) {
            m_prefs.OUT_Directory = m_names->Directory();
            output = OutputOf(article->Title);
        }
        if (article) {
            if (PendingFile::Exists(output) && !m_options.force) {
                printError(QStringLiteral("%1 exists; use --force to replace it").arg(output));
                ++m_failures;
                continue;
            }
            // The name given out above, so that two files of one title get
            // "notes" and "notes (2)" as in one run of the window; the
            // article keeps its title for the tags.
            const QString name = QFileInfo(output).fileName();
            m_reading->SetOutputTitle(name.left(name.size() - int(std::strlen(ExtensionOf(Format())))));
        }
        if (StartRun(article, output))
            return;  // EndRun goes on
    }
    QCoreApplication::exit(0);
}

bool Runner::StartRun(FileArticle *article, const QString &output)
{
    m_errorsBefore = m_console.Errors();
    m_runOutput = output;
    m_progress->Start(QFileInfo(output).fileName());
    SetTags(article);
    if (article) {
        m_reading->ArticleReadToFileClick(article);
    } else {
        m_reading->SetTarget(otSingleFile);
        m_reading->ReadAllArticles();
    }
    if (m_reading->State() != rsIdle && !m_interrupted)
        return true;
    EndRun();
    return false;
}

void Runner::SetTags(const FileArticle *article)
{
    const FileArticle *first = m_articles.Items.empty() ? nullptr : m_articles.Items.front().get();
    QString album = m_options.title;
    if (album.isEmpty() && !article)
        album = m_options.single;
    else if (album.isEmpty() && !article->Folder.isEmpty())
        album = article->Album;
    else if (album.isEmpty())
        // One file per input: one input is its own album, several are the
        // output folder's.
        album = m_runs.size() == 1 ? article->Album : QFileInfo(m_names->Directory()).fileName();
    const FileArticle *source = article ? article : first;
    m_runAlbum = album;
    m_reading->SetAlbum(album);
    // Without an author the voice's name stands in.
    m_reading->SetArtist(!m_options.author.isEmpty() ? m_options.author : source ? source->Author : QString());
    if (!article) {
        // The articles keep their titles for the chapter marks.
        m_reading->SetOutputTitle(m_options.single);
        m_reading->SetTrack(0, 0);
    } else if (article->Count > 0) {
        m_reading->SetTrack(article->Number, article->Count);
    } else if (m_runs.size() > 1) {
        const auto at = std::find(m_runs.begin(), m_runs.end(), article);
        m_reading->SetTrack(int(at - m_runs.begin()) + 1, int(m_runs.size()));
    } else {
        m_reading->SetTrack(0, 0);
    }
}

void Runner::WritePlaylists()
{
    for (const auto &[folder, entries] : m_written) {
        if (entries.size() < 2)
            continue;
        QString album = m_albums[folder].trimmed();
        if (album.isEmpty())
            album = QFileInfo(folder).fileName();
        const QString file =
            TOutputNames::JoinPath(folder, TOutputNames::SafeFileName(album, QString::fromLatin1(Playlist::Extension)));
        QString placed;
        const QString error = Playlist::Write(
            file, entries, m_options.force ? OutputPlacement::Replace : OutputPlacement::Refuse, &placed);
        if (!error.isEmpty()) {
            printError(error);
            ++m_failures;
        } else if (!writeStandardOutput(placed.toLocal8Bit() + '\n')) {
            m_outputFailed = true;
        }
    }
}

void Runner::EndRunSoon()
{
    QMetaObject::invokeMethod(
        m_reading.get(),
        [this] {
            // Idle again, or interrupted: an MP3 being converted then stops
            // when the reading commands go.
            if (!m_runOutput.isEmpty() && (m_reading->State() == rsIdle || m_interrupted)) {
                EndRun();
                StartNextRun();
            }
        },
        Qt::QueuedConnection);
}

void Runner::EndRun()
{
    const QString output = std::exchange(m_runOutput, QString());
    m_progress->End();
    if (m_interrupted) {
        ++m_failures;
        return;
    }
    const bool written = m_console.Errors() == m_errorsBefore && QFileInfo(output).isFile();
    if (!written) {
        // The reading commands put nothing under a final name before it is
        // whole, so there is nothing to clear up here.
        printError(QStringLiteral("%1 was not written").arg(output));
        ++m_failures;
        return;
    }
    // The files written, one a line, for scripts.
    if (!writeStandardOutput(output.toLocal8Bit() + '\n'))
        m_outputFailed = true;
}

// What the options cannot say: what each exit status means, and what a
// script finds in the output folder after a failure.
const QString kExitStatusText = QStringLiteral(
    "\nExit status:\n"
    "  0    Every file was written.\n"
    "  1    Some file was not written (each is named on standard error; the\n"
    "       others are still written), or standard input or output failed.\n"
    "  2    Bad arguments.\n"
    "  130  Interrupted; the files finished before stay.\n"
    "\n"
    "An output file appears complete or not at all: a failed or interrupted\n"
    "reading never leaves a partial file under an output's name.\n");

// The window's own command line, which this parser never sees.
const QString kWindowText = QStringLiteral(
    "\nThe window:\n"
    "  voxtrella [FILE...]          Opens the window, or shows the running one;\n"
    "                               each FILE is opened as an article.\n"
    "  voxtrella --read-clipboard   Reads the clipboard's text aloud as a new article.\n"
    "  voxtrella --read-selection   Reads the selected text aloud as a new article.\n"
    "  voxtrella --play-pause       Starts, pauses or resumes reading aloud.\n"
    "  voxtrella --stop             Stops reading.\n"
    "  voxtrella --skip             Skips to the next article.\n"
    "These go to the running window, or start one that carries them out. Bind\n"
    "them to keys in the desktop's keyboard settings. Exit status 0 when the\n"
    "window took the command, 1 with the reason on standard error when not.\n");

QString helpText(const QCommandLineParser &parser)
{
    return parser.helpText() + kExitStatusText + kWindowText;
}

int usageError(const QCommandLineParser &parser, const QString &message)
{
    printError(message);
    std::fprintf(stderr, "\n%s", helpText(parser).toLocal8Bit().constData());
    return BadArguments;
}

}  // namespace

bool Wanted(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const QByteArray first(argv[1]);
    // "-auto" in another case starts the window too, only not minimised.
    // File names and the desktop shortcuts' commands go to the window, which
    // hands them to the running one.
    static const QByteArray windowCommands = " --read-clipboard --read-selection --play-pause --stop --skip ";
    if (first.toLower() == "-auto" || !first.startsWith('-') || windowCommands.contains(' ' + first + ' '))
        return false;
    // Every other option is ours, so that an unknown one gets a usage message
    // instead of a window, except those Qt's window takes (with one dash or
    // two); a session manager restarts the window with -session.
    static const QByteArray windowOptions =
        " platform platformpluginpath platformtheme plugin qwindowtitle qwindowgeometry qwindowicon geometry title "
        "icon display name reverse session style stylesheet widgetcount testability ";
    const QByteArray name = first.mid(first.startsWith("--") ? 2 : 1);
    if (name.startsWith("qmljsdebugger="))
        return false;
    return name.isEmpty() || !windowOptions.contains(' ' + name + ' ');
}

int Run(int argc, char *argv[])
{
    // A file-size limit or a reader of standard output that went away is a
    // write error named in words, not a death that leaves a partial file.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    holdClosedStreams();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(VOXTRELLA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("VarnyxTech"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads text files and documents (EPUB, PDF, DOCX, ODT, FB2, HTML, Markdown) into WAV, MP3\n"
                       "or Opus files with the voices and settings of Voxtrella MP3.\n"
                       "Without --voice, --format, --bitrate or --out the saved settings apply."));
    const QCommandLineOption readOption(QStringLiteral("read-to-file"),
                                        QStringLiteral("Read each FILE into an output file named after it."));
    const QCommandLineOption voiceOption(QStringLiteral("voice"), QStringLiteral("The voice, by its display name."),
                                         QStringLiteral("NAME"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QStringLiteral("Output format: wav, mp3 or opus."),
                                          QStringLiteral("wav|mp3|opus"));
    const QCommandLineOption bitRateOption(
        QStringLiteral("bitrate"), QStringLiteral("Bit rate in kbit/s: MP3 %1; Opus %2.").arg(kMp3Rates, kOpusRates),
        QStringLiteral("KBPS"));
    const QCommandLineOption titleOption(
        QStringLiteral("title"),
        QStringLiteral("The album tag of MP3 and Opus files, instead of the document's title."),
        QStringLiteral("TEXT"));
    const QCommandLineOption authorOption(
        QStringLiteral("author"),
        QStringLiteral("The artist tag of MP3 and Opus files, instead of the document's author (else the voice)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption subtitlesOption(
        QStringLiteral("subtitles"),
        QStringLiteral("Write subtitles timed to the speech beside each output: srt, vtt (WebVTT) or lrc."),
        QStringLiteral("srt|vtt|lrc"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("The output folder."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption singleOption(
        QStringLiteral("single"), QStringLiteral("Read all FILEs into one output named NAME."), QStringLiteral("NAME"));
    const QCommandLineOption chaptersOption(
        QStringLiteral("chapters"),
        QStringLiteral("Read each document into a folder named after its title, one output per chapter."));
    const QCommandLineOption forceOption(QStringLiteral("force"), QStringLiteral("Replace existing output files."));
    const QCommandLineOption listOption(QStringLiteral("list-voices"),
                                        QStringLiteral("List the voices: display name, language, engine."));
    parser.addOptions({readOption, voiceOption, formatOption, bitRateOption, subtitlesOption, outOption, singleOption,
                       chaptersOption, titleOption, authorOption, forceOption, listOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Text files or documents to read; - reads standard input."),
                                 QStringLiteral("FILE..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser, parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")))
        return writeStandardOutput(helpText(parser).toLocal8Bit()) ? Written : Failed;
    if (parser.isSet(versionOption)) {
        const QString version = kProgram + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return writeStandardOutput(version.toLocal8Bit()) ? Written : Failed;
    }

    Options options;
    options.readToFile = parser.isSet(readOption);
    options.listVoices = parser.isSet(listOption);
    options.voice = parser.value(voiceOption);
    options.out = parser.value(outOption);
    options.single = parser.value(singleOption).trimmed();
    options.chapters = parser.isSet(chaptersOption);
    options.title = parser.value(titleOption).trimmed();
    options.author = parser.value(authorOption).trimmed();
    options.force = parser.isSet(forceOption);
    options.files = parser.positionalArguments();
    if (options.readToFile == options.listVoices)
        return usageError(parser, QStringLiteral("give either --read-to-file or --list-voices"));
    if (parser.isSet(formatOption)) {
        const QString format = parser.value(formatOption).toLower();
        const SoundFormat chosen = format == QLatin1String("opus")  ? SoundFormat::Opus
                                   : format == QLatin1String("mp3") ? SoundFormat::Mp3
                                                                    : SoundFormat::Wav;
        if (chosen == SoundFormat::Wav && format != QLatin1String("wav"))
            return usageError(parser, QStringLiteral("unknown format \"%1\"; use wav, mp3 or opus").arg(format));
        options.format = uint8_t(chosen);
    }
    if (parser.isSet(bitRateOption)) {
        // Without --format the saved format decides, once it is known.
        bool ok = false;
        const int rate = parser.value(bitRateOption).toInt(&ok);
        const bool opus = options.format == uint8_t(SoundFormat::Opus);
        if (!ok || (opus && !isOpusRate(rate)) || (options.format && !opus && !isMp3Rate(rate)) ||
            (!isMp3Rate(rate) && !isOpusRate(rate)))
            return usageError(parser, QStringLiteral("bit rate \"%1\" is not one of %2")
                                          .arg(parser.value(bitRateOption), opus ? kOpusRates : kMp3Rates));
        options.bitRate = rate;
    }
    if ((parser.isSet(titleOption) && options.title.isEmpty()) ||
        (parser.isSet(authorOption) && options.author.isEmpty()))
        return usageError(parser, QStringLiteral("--title and --author need a text"));
    if (parser.isSet(subtitlesOption)) {
        const QString format = parser.value(subtitlesOption).toLower();
        const QStringList formats = {QStringLiteral("srt"), QStringLiteral("vtt"), QStringLiteral("lrc")};
        if (!formats.contains(format))
            return usageError(parser,
                              QStringLiteral("unknown subtitle format \"%1\"; use srt, vtt or lrc").arg(format));
        options.subtitles = uint8_t(formats.indexOf(format) + 1);
    }
    if (parser.isSet(singleOption) && options.single.isEmpty())
        return usageError(parser, QStringLiteral("--single needs a name"));
    if (parser.isSet(outOption) && options.out.trimmed().isEmpty())
        return usageError(parser, QStringLiteral("--out needs a folder"));
    if (parser.isSet(voiceOption) && options.voice.trimmed().isEmpty())
        return usageError(parser, QStringLiteral("--voice needs a name"));
    if (options.readToFile && options.files.isEmpty())
        return usageError(parser, QStringLiteral("no input file given"));
    if (options.chapters && !options.single.isEmpty())
        return usageError(parser, QStringLiteral("--chapters and --single exclude each other"));
    if (options.listVoices && !options.files.isEmpty())
        return usageError(parser, QStringLiteral("--list-voices takes no file"));
    if (options.files.count(QStringLiteral("-")) > 1)
        return usageError(parser, QStringLiteral("standard input can be read only once"));

    Runner runner(options);
    return runner.Exec();
}

}  // namespace CommandLine
