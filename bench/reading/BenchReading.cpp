// Reading a 10,000-word article to MP3 at 32 kbit/s, all in one run:
//   mp3_ratio_cli             the program's pipeline (Read to File through the
//                             reading controller and driver into a WAV file,
//                             and the MP3 made from it) over `espeak-ng -w`
//                             followed by `lame -b 32`
//   mp3_ratio_lib             the pipeline over libespeak-ng synthesizing to
//                             memory followed by libmp3lame encoding it
//   audio_seconds_per_second  seconds of audio in the pipeline's MP3 per
//                             second of pipeline time
//   cli_mp3_ratio_cli         `voxtrella --read-to-file` over the same two
//                             commands; n/a (with a note on stderr) when the
//                             executable has no such mode
//   cli_1000_small_files_s    seconds for `voxtrella --read-to-file` to read
//                             1,000 files of two characters each into WAV
//                             files: the cost of each file beyond its speech
// followed by the parts they are made of: the pipeline's synthesis phase
// (the command to "Converting to MP3") and conversion phase (from there to
// idle), each reference step, the audio lengths. Every step
// runs twice, interleaved, and the faster time counts, so that another
// build on the machine skews the ratios less.
//
// The controller checks the sound card before it writes a file, as the
// window does: run it under the private sound server,
//   state=$(mktemp -d); scripts/headless-audio.sh start $state; source $state/env
//   bench_reading; scripts/headless-audio.sh stop $state
#include "BenchSupport.h"

#include "platform/audio/AudioSystem.h"
#include "platform/shell/MessageService.h"
#include "reader/ReadingController.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "speech/SpeechErrors.h"

#include <espeak-ng/speak_lib.h>
#include <lame/lame.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWords = 10000;
constexpr int kBitRate = 32;
// Runs this binary as the in-process library reference in a process of its
// own: eSpeak NG is one global instance, and the program's driver uses it too.
constexpr const char *kLibraryFlag = "--library-reference";
const QString kTitle = QStringLiteral("Reading benchmark");
// Rounds of every measurement; the fastest of each counts.
constexpr int kRounds = 2;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

void note(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Varied English prose of exactly `words` words, the same every run:
// statements, questions, quotations, numbers and years, in paragraphs.
QString makeArticle(int words)
{
    static const char *const adjectives[] = {"quiet",  "bright",  "old",     "narrow", "distant", "careful", "heavy",
                                             "golden", "patient", "crowded", "simple", "curious", "broken",  "gentle",
                                             "famous", "silent",  "busy",    "modern", "ancient", "clever"};
    // Nouns with a plain plural.
    static const char *const nouns[] = {"reader",   "river",   "sailor", "letter",  "teacher", "garden",   "station",
                                        "engineer", "village", "market", "journey", "window",  "doctor",   "harbour",
                                        "poet",     "machine", "farmer", "painter", "bridge",  "newspaper"};
    struct Verb {
        const char *past, *base;
    };
    static const Verb verbs[] = {{"carried", "carry"},      {"found", "find"},          {"watched", "watch"},
                                 {"described", "describe"}, {"opened", "open"},         {"followed", "follow"},
                                 {"built", "build"},        {"remembered", "remember"}, {"painted", "paint"},
                                 {"visited", "visit"},      {"read", "read"},           {"explained", "explain"}};
    static const char *const places[] = {"across the river",         "in the old library", "near the station",
                                         "under the bridge",         "along the coast",    "behind the market",
                                         "at the end of the street", "inside the museum",  "beyond the hills"};
    static const char *const openers[] = {"In the morning,",  "However,",    "Years later,", "As expected,",
                                          "Without warning,", "On Tuesday,", "Meanwhile,",   "After dinner,"};
    static const char *const adverbs[] = {"slowly", "quickly", "carefully", "happily", "rarely", "suddenly"};

    std::mt19937 random(20261206);
    auto pick = [&](const auto &list) { return QString::fromLatin1(list[random() % std::size(list)]); };
    auto verb = [&](bool past) {
        const Verb &v = verbs[random() % std::size(verbs)];
        return QString::fromLatin1(past ? v.past : v.base);
    };
    auto indefinite = [](const QString &word) {
        return (QStringLiteral("aeiou").contains(word.front()) ? QStringLiteral("an ") : QStringLiteral("a ")) + word;
    };

    QString text;
    int count = 0;
    int inParagraph = 0;
    int paragraphLength = 4;
    while (count < words) {
        QString sentence;
        switch (random() % 5) {
        case 0:
            sentence = QStringLiteral("%1 the %2 %3 %4 the %5 %6.")
                           .arg(pick(openers), pick(adjectives), pick(nouns), verb(true), pick(nouns), pick(places));
            break;
        case 1:
            sentence = QStringLiteral("The %1 %2 %3, and %4 %5 %6 the %7.")
                           .arg(pick(nouns), verb(true), pick(adverbs), indefinite(pick(adjectives)), pick(nouns),
                                verb(true), pick(nouns));
            break;
        case 2:
            sentence = QStringLiteral("Did the %1 %2 the %3 %4 %5?")
                           .arg(pick(nouns), verb(false), pick(adjectives), pick(nouns), pick(places));
            break;
        case 3:
            sentence = QStringLiteral("In %1, %2 %3s %4 the %5 %6.")
                           .arg(QString::number(1850 + random() % 170), QString::number(2 + random() % 98), pick(nouns),
                                verb(true), pick(adjectives), pick(nouns));
            break;
        default: {
            QString adjective = pick(adjectives);
            adjective[0] = adjective[0].toUpper();
            sentence = QStringLiteral("\"%1 %2s are rare,\" said the %3, \"but this one is %4.\"")
                           .arg(adjective, pick(nouns), pick(nouns), pick(adjectives));
            break;
        }
        }
        QStringList s = sentence.split(u' ');
        if (count + s.size() > words) {
            // The last sentence is cut to the count and ends plainly.
            s = sentence.remove(u'"').split(u' ').mid(0, words - count);
            while (!s.last().back().isLetterOrNumber())
                s.last().chop(1);
            s.last() += u'.';
        }
        count += int(s.size());
        if (!text.isEmpty())
            text += inParagraph == 0 ? QStringLiteral("\n\n") : QStringLiteral(" ");
        text += s.join(u' ');
        if (++inParagraph == paragraphLength) {
            inParagraph = 0;
            paragraphLength = int(3 + random() % 5);
        }
    }
    return text + u'\n';
}

// Seconds of audio in an MP3 file, counted from its Layer III frame
// headers; -1 when it holds no frame.
double mp3Seconds(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    const auto *d = reinterpret_cast<const uint8_t *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype pos = 0;
    if (n >= 10 && std::memcmp(d, "ID3", 3) == 0)
        pos = 10 + ((d[6] & 0x7f) << 21 | (d[7] & 0x7f) << 14 | (d[8] & 0x7f) << 7 | (d[9] & 0x7f));
    static const int kBitRates[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    static const int kRates[3] = {44100, 48000, 32000};
    double total = 0;
    qint64 frames = 0;
    while (pos + 4 <= n) {
        if (d[pos] != 0xFF || (d[pos + 1] & 0xE0) != 0xE0)
            break;
        const int version = (d[pos + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        const int layer = (d[pos + 1] >> 1) & 3;    // 1 Layer III
        const int bitRateIndex = d[pos + 2] >> 4;
        const int rateIndex = (d[pos + 2] >> 2) & 3;
        const int padding = (d[pos + 2] >> 1) & 1;
        if (version == 1 || layer != 1 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
            break;
        const bool mpeg1 = version == 3;
        const int rate = kRates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
        const int bitRate = kBitRates[mpeg1 ? 0 : 1][bitRateIndex] * 1000;
        total += double(mpeg1 ? 1152 : 576) / rate;
        ++frames;
        pos += (mpeg1 ? 144 : 72) * bitRate / rate + padding;
    }
    // Only an ID3v1 tag may follow the frames.
    if (frames > 0 && n - pos > 128)
        note(QStringLiteral("%1: frames end %2 bytes before the end of the file").arg(path).arg(n - pos));
    return frames > 0 ? total : -1;
}

// ------------------------------------------------ the in-process reference

std::vector<short> *g_samples = nullptr;

int collectSamples(short *wav, int count, espeak_EVENT *)
{
    if (wav && count > 0)
        g_samples->insert(g_samples->end(), wav, wav + count);
    return 0;
}

void quietLame(const char *, va_list) {}

// The child process: libespeak-ng synthesizes the text to memory, then
// libmp3lame encodes the samples with the program's settings for 32 kbit/s
// (src/output/LameUnit.cpp). Prints its two times as name=value lines.
int libraryReference(const char *textFile, const char *mp3File)
{
    std::ifstream in(textFile, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    if (!in || text.empty()) {
        std::fprintf(stderr, "cannot read %s\n", textFile);
        return 1;
    }

    // The engine is loaded before the clock starts, as the program's is
    // loaded before a reading command.
    const int sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
    if (sampleRate <= 0) {
        std::fprintf(stderr, "espeak_Initialize failed\n");
        return 1;
    }
    std::vector<short> samples;
    samples.reserve(size_t(sampleRate) * 4000);
    g_samples = &samples;
    espeak_SetSynthCallback(collectSamples);
    const Clock::time_point synthStart = Clock::now();
    if (espeak_SetVoiceByName("en-us") != EE_OK ||
        espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr) != EE_OK ||
        espeak_Synchronize() != EE_OK) {
        std::fprintf(stderr, "eSpeak NG synthesis failed\n");
        return 1;
    }
    const double synthesis = secondsSince(synthStart);
    espeak_Terminate();

    const Clock::time_point encodeStart = Clock::now();
    lame_t lame = lame_init();
    if (!lame) {
        std::fprintf(stderr, "lame_init failed\n");
        return 1;
    }
    lame_set_errorf(lame, quietLame);
    lame_set_debugf(lame, quietLame);
    lame_set_msgf(lame, quietLame);
    lame_set_num_channels(lame, 1);
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_out_samplerate(lame, 22050);
    lame_set_mode(lame, MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, kBitRate);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_copyright(lame, 0);
    lame_set_original(lame, 0);
    lame_set_extension(lame, 1);
    lame_set_error_protection(lame, 0);
    lame_set_emphasis(lame, 0);
    lame_set_write_id3tag_automatic(lame, 0);
    if (lame_init_params(lame) < 0) {
        std::fprintf(stderr, "lame_init_params failed\n");
        lame_close(lame);
        return 1;
    }
    FILE *out = std::fopen(mp3File, "wb");
    if (!out) {
        std::fprintf(stderr, "cannot create %s\n", mp3File);
        lame_close(lame);
        return 1;
    }
    // Chunks as the program's converter takes them: eight MPEG-1 frames.
    constexpr size_t kChunk = 1152 * 8;
    std::vector<unsigned char> mp3(kChunk + kChunk / 4 + 7200);
    bool ok = true;
    for (size_t at = 0; at < samples.size() && ok; at += kChunk) {
        const int n = int(std::min(kChunk, samples.size() - at));
        const int made = lame_encode_buffer(lame, samples.data() + at, samples.data() + at, n, mp3.data(),
                                            int(mp3.size()));
        ok = made >= 0 && std::fwrite(mp3.data(), 1, size_t(made), out) == size_t(made);
    }
    if (ok) {
        const int made = lame_encode_flush(lame, mp3.data(), int(mp3.size()));
        ok = made >= 0 && std::fwrite(mp3.data(), 1, size_t(made), out) == size_t(made);
    }
    lame_close(lame);
    ok = std::fclose(out) == 0 && ok;
    const double encode = secondsSince(encodeStart);
    if (!ok) {
        std::fprintf(stderr, "encoding %s failed\n", mp3File);
        return 1;
    }
    std::printf("synthesis_seconds=%.3f\nencode_seconds=%.3f\naudio_seconds=%.3f\n", synthesis, encode,
                double(samples.size()) / sampleRate);
    return 0;
}

// ------------------------------------------------------- child processes

struct ProcessRun {
    double seconds = -1;  // -1: it failed, see error
    QString error;
    QByteArray output;
};

// Runs a program to its end, timed as a whole process.
ProcessRun runTimed(const QString &program, const QStringList &arguments, int timeoutMs,
                    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                    const QString &errorFile = QString())
{
    ProcessRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    if (errorFile.isEmpty())
        process.setStandardErrorFile(QProcess::nullDevice());
    else
        process.setStandardErrorFile(errorFile);
    const Clock::time_point start = Clock::now();
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        run.error = program + QStringLiteral(" did not start: ") + process.errorString();
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        // The program ends on SIGTERM the way its exit command does.
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
        run.error =
            QStringLiteral("%1 did not end within %2 s").arg(QFileInfo(program).fileName()).arg(timeoutMs / 1000);
        return run;
    }
    const double elapsed = secondsSince(start);
    run.output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        run.error =
            QStringLiteral("%1 ended with status %2").arg(QFileInfo(program).fileName()).arg(process.exitCode());
        return run;
    }
    run.seconds = elapsed;
    return run;
}

double figure(const QByteArray &output, const char *name)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith(QByteArray(name) + '='))
            return line.mid(int(std::strlen(name)) + 1).toDouble();
    }
    return -1;
}

QString tail(const QString &file, int lines)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList all = QString::fromUtf8(f.readAll()).trimmed().split(u'\n');
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(u'\n');
}

// The first MP3 written into folder, or an empty name.
QString mp3In(const QString &folder)
{
    const QFileInfoList found = QDir(folder).entryInfoList({QStringLiteral("*.mp3")}, QDir::Files);
    return found.isEmpty() ? QString() : found.first().absoluteFilePath();
}

// ------------------------------------------------------ the program's own

// One article, as the window's list holds it.
class BenchView : public ReadingView
{
public:
    BenchView(QString title, QString voice, QString text)
        : m_article(std::make_unique<QObject>()), m_title(std::move(title)), m_voice(std::move(voice)),
          m_text(std::move(text))
    {
    }

    int Count() const override { return m_hidden ? 0 : 1; }
    Article ArticleAt(int position) const override { return position == 1 && !m_hidden ? m_article.get() : nullptr; }
    int PositionOf(Article article) const override { return article == m_article.get() && !m_hidden ? 1 : 0; }
    Article Selected() const override { return ArticleAt(1); }
    void Mark(int) override {}
    bool Hide(Article article) override
    {
        if (article != m_article.get())
            return false;
        m_hidden = true;
        return true;
    }
    void DeleteHidden() override {}
    void UnlockAll() override { m_locked = false; }
    void Save() override {}
    void AddEmptyArticleIfNone() override {}
    QString Title(Article) const override { return m_title; }
    QString Voice(Article) const override { return m_voice; }
    QString Text(Article) const override { return m_text; }
    void SetLocked(Article, bool locked) override { m_locked = locked; }

private:
    std::unique_ptr<QObject> m_article;
    QString m_title, m_voice, m_text;
    bool m_hidden = false;
    bool m_locked = false;
};

struct PipelineRun {
    bool ok = false;
    double total = 0, synthesis = 0, conversion = 0, audioSeconds = 0;
    // From the end of the audio written to the conversion's start: the
    // driver's half-second wait before it reports the text done, and the
    // WAV file being closed.
    double doneDelay = 0;
};

bool isEspeakUsEnglish(const TVoiceEntry *voice)
{
    return voice && voice->Engine && voice->Engine->GroupName == QLatin1String("eSpeak NG") &&
           voice->Engine->LanguageID == 0x0409;
}

// The reading driver and controller set up as the window sets them up, over
// one article to be read into an MP3 file.
class Pipeline
{
public:
    Pipeline(const QString &text, const QString &outputDirectory)
    {
        m_prefs.OUT_FileFormat = 1;
        m_prefs.OUT_FileDest = otSingleFile;
        m_prefs.BitRate = kBitRate;
        m_prefs.OUT_Directory = outputDirectory;

        m_driver = std::make_unique<Speaker>(m_prefs);
        m_driver->Initialize();
        m_driver->LoadVoicePrefs();
        // The default voice follows the locale's language; the article is
        // read with eSpeak NG's US English voice whatever the locale says.
        m_voice = m_prefs.TTS_DefaultVoiceName;
        if (!isEspeakUsEnglish(m_driver->FindVoice(m_voice))) {
            m_voice.clear();
            for (int i = 0; i < m_driver->Voices().Count() && m_voice.isEmpty(); ++i) {
                if (isEspeakUsEnglish(m_driver->Voices().Items(i)))
                    m_voice = m_driver->Voices().Items(i)->DisplayName;
            }
        }
        m_view = std::make_unique<BenchView>(kTitle, m_voice, text);
        m_controller = std::make_unique<ReadingController>(*m_driver, m_prefs, *m_view);
    }

    ~Pipeline()
    {
        m_controller.reset();
        m_driver.reset();
    }

    const QString &Voice() const { return m_voice; }

    // Read to File, timed from the command until the controller is idle
    // again with the MP3 in place.
    PipelineRun Read()
    {
        PipelineRun run;
        if (!m_controller->Mp3Name().isEmpty())
            QFile::remove(m_controller->Mp3Name());  // the previous round's
        bool reading = false, converting = false, idle = false, failed = false;
        Clock::time_point audioStop, convertStart, end;
        QEventLoop loop;
        QObject::connect(m_driver->TTS1(), &TTTS::OnAudioStop, &loop, [&] { audioStop = Clock::now(); });
        QObject::connect(m_controller.get(), &ReadingController::CommandsChanged, &loop,
                         [&](ReadingController::Commands, ReadingState state) {
                             if (state == rsReading) {
                                 reading = true;
                             } else if (state == rsConverting && !converting) {
                                 convertStart = Clock::now();
                                 converting = true;
                             } else if (state == rsIdle) {
                                 end = Clock::now();
                                 idle = true;
                                 loop.quit();
                             }
                         });
        // Far longer than any sane run on this machine.
        QTimer::singleShot(10 * 60 * 1000, &loop, [&] {
            note(QStringLiteral("the reading did not end within 10 minutes"));
            loop.quit();
        });
        MessageService::setHandler([&](const MessageService::Message &message) {
            note(QStringLiteral("program message: ") + message.text);
            failed = true;
            return MessageService::Button::Ok;
        });

        m_controller->SetTarget(otSingleFile);
        const Clock::time_point start = Clock::now();
        m_controller->PlayFileBtnClick();
        if (!idle)
            loop.exec();
        MessageService::setHandler({});

        if (!idle || !reading || !converting || failed) {
            note(QStringLiteral("the reading to MP3 did not complete"));
            return run;
        }
        run.total = seconds(start, end);
        run.synthesis = seconds(start, convertStart);
        run.conversion = seconds(convertStart, end);
        run.doneDelay = audioStop == Clock::time_point() ? -1 : seconds(audioStop, convertStart);
        run.audioSeconds = mp3Seconds(m_controller->Mp3Name());
        if (run.audioSeconds <= 0)
            note(QStringLiteral("no MP3 audio in ") + m_controller->Mp3Name());
        else
            run.ok = true;
        return run;
    }

private:
    TPreferences m_prefs;
    std::unique_ptr<Speaker> m_driver;
    std::unique_ptr<BenchView> m_view;
    std::unique_ptr<ReadingController> m_controller;
    QString m_voice;
};

struct CommandsRun {
    double espeak = -1, lame = -1, audioSeconds = -1;
    double Total() const { return espeak + lame; }
};

// espeak-ng -w and then lame, each timed as a whole process.
CommandsRun runCommands(const QString &espeak, const QString &lame, const QString &textFile, const QDir &work)
{
    CommandsRun run;
    const QString wavFile = work.filePath(QStringLiteral("commands.wav"));
    const QString mp3File = work.filePath(QStringLiteral("commands.mp3"));
    QFile::remove(mp3File);
    const ProcessRun espeakRun = runTimed(
        espeak,
        {QStringLiteral("-v"), QStringLiteral("en-us"), QStringLiteral("-w"), wavFile, QStringLiteral("-f"), textFile},
        600000);
    if (espeakRun.seconds < 0) {
        note(espeakRun.error);
        return run;
    }
    const ProcessRun lameRun = runTimed(lame, {QStringLiteral("-b"), QString::number(kBitRate), wavFile, mp3File},
                                        600000);
    QFile::remove(wavFile);
    if (lameRun.seconds < 0) {
        note(lameRun.error);
        return run;
    }
    run.audioSeconds = mp3Seconds(mp3File);
    if (run.audioSeconds <= 0) {
        note(QStringLiteral("lame wrote no MP3"));
        return run;
    }
    run.espeak = espeakRun.seconds;
    run.lame = lameRun.seconds;
    return run;
}

struct LibraryRun {
    double synthesis = -1, encode = -1, audioSeconds = -1;
    double Total() const { return synthesis + encode; }
};

LibraryRun runLibraries(const QString &textFile, const QDir &work)
{
    LibraryRun run;
    const QString errors = work.filePath(QStringLiteral("library.err"));
    const ProcessRun child =
        runTimed(QCoreApplication::applicationFilePath(),
                 {QString::fromLatin1(kLibraryFlag), textFile, work.filePath(QStringLiteral("library.mp3"))}, 600000,
                 QProcessEnvironment::systemEnvironment(), errors);
    if (child.seconds < 0) {
        note(child.error + u'\n' + tail(errors, 5));
        return run;
    }
    run.synthesis = figure(child.output, "synthesis_seconds");
    run.encode = figure(child.output, "encode_seconds");
    run.audioSeconds = figure(child.output, "audio_seconds");
    return run;
}

// voxtrella --read-to-file into a fresh folder; -1 with a note when the
// executable has no such mode (it then starts its window and never ends, so
// it is given a time limit) or makes no MP3.
double runProgramCli(const QString &textFile, const QString &outputDirectory, const QString &home, int timeoutMs,
                     QString &why)
{
    const QString program = QStringLiteral(VOXTRELLA_EXECUTABLE);
    if (!QFileInfo(program).isExecutable()) {
        why = QStringLiteral("no executable at ") + program;
        return -1;
    }
    QDir().mkpath(outputDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VOXTRELLA_HOME"), home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString errors = outputDirectory + QStringLiteral(".err");
    const ProcessRun run = runTimed(program,
                                    {QStringLiteral("--read-to-file"), QStringLiteral("--format"),
                                     QStringLiteral("mp3"), QStringLiteral("--bitrate"), QString::number(kBitRate),
                                     QStringLiteral("--out"), outputDirectory, textFile},
                                    timeoutMs, environment, errors);
    const QString mp3 = mp3In(outputDirectory);
    if (run.seconds < 0)
        why = run.error;
    else if (mp3.isEmpty() || mp3Seconds(mp3) <= 0)
        why = QStringLiteral("it wrote no MP3 into ") + outputDirectory;
    else
        return run.seconds;
    if (const QString said = tail(errors, 5); !said.isEmpty())
        why += u'\n' + said;
    return -1;
}

// voxtrella --read-to-file over many tiny files into WAV; -1 with a note
// when it fails or misses a file.
double runProgramManyFiles(const QDir &work, const QString &home, QString &why)
{
    constexpr int kFiles = 1000;
    const QString inputs = work.filePath(QStringLiteral("small"));
    const QString outputs = work.filePath(QStringLiteral("small-out"));
    QDir().mkpath(inputs);
    QStringList arguments = {QStringLiteral("--read-to-file"), QStringLiteral("--format"), QStringLiteral("wav"),
                             QStringLiteral("--out"), outputs};
    for (int i = 0; i < kFiles; ++i) {
        const QString file = inputs + QStringLiteral("/%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write("Hi") != 2) {
            why = QStringLiteral("cannot write ") + file;
            return -1;
        }
        arguments << file;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VOXTRELLA_HOME"), home);
    const QString errors = outputs + QStringLiteral(".err");
    const ProcessRun run = runTimed(QStringLiteral(VOXTRELLA_EXECUTABLE), arguments, 900000, environment, errors);
    const qsizetype written = QDir(outputs).entryList({QStringLiteral("*.wav")}, QDir::Files).size();
    if (run.seconds < 0)
        why = run.error;
    else if (written != kFiles)
        why = QStringLiteral("%1 of %2 WAV files were written").arg(written).arg(kFiles);
    else
        return run.seconds;
    if (const QString said = tail(errors, 5); !said.isEmpty())
        why += u'\n' + said;
    return -1;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], kLibraryFlag) == 0)
        return libraryReference(argv[2], argv[3]);

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/bench-reading-XXXXXX"));
    if (!work.isValid()) {
        note(QStringLiteral("cannot create a temporary folder"));
        return 1;
    }
    const QDir workDir(work.path());
    // The program's settings, logs and files go to a home of the benchmark's
    // own, never the user's.
    const QString home = work.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("VOXTRELLA_HOME", QFile::encodeName(home));
    QCoreApplication app(argc, argv);

    QString soundError;
    if (audio::audioSystem().checkDevice(-1, &soundError) == audio::DeviceCheck::Failed) {
        note(QStringLiteral("The sound card check fails (%1): run this under scripts/headless-audio.sh.")
                 .arg(soundError));
        return 1;
    }
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
    if (espeak.isEmpty() || lame.isEmpty()) {
        note(QStringLiteral("espeak-ng and lame must be installed"));
        return 1;
    }

    const QString text = makeArticle(kWords);
    const QString textFile = work.filePath(QStringLiteral("article.txt"));
    {
        const QByteArray utf8 = text.toUtf8();
        QFile f(textFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(utf8) != utf8.size()) {
            note(QStringLiteral("cannot write ") + textFile);
            return 1;
        }
    }

    const QString pipelineOut = work.filePath(QStringLiteral("pipeline"));
    QDir().mkpath(pipelineOut);
    Pipeline pipeline(text, pipelineOut);
    if (pipeline.Voice().isEmpty()) {
        note(QStringLiteral("no eSpeak NG US English voice in the catalogue"));
        return 1;
    }
    note(QStringLiteral("voice: ") + pipeline.Voice());

    // Other work on the machine slows whichever step it meets: each step runs
    // once per round, rounds interleaved, and the fastest of each counts.
    CommandsRun commands;
    LibraryRun library;
    PipelineRun read;
    double cliSeconds = -1;
    bool cliGivenUp = false;
    QString cliWhy;
    for (int round = 1; round <= kRounds; ++round) {
        note(QStringLiteral("round %1: espeak-ng and lame commands").arg(round));
        const CommandsRun c = runCommands(espeak, lame, textFile, workDir);
        if (c.espeak < 0)
            return 1;
        note(
            QStringLiteral("  espeak-ng %1 s, lame %2 s, %3 s of audio").arg(c.espeak).arg(c.lame).arg(c.audioSeconds));
        if (commands.espeak < 0 || c.Total() < commands.Total())
            commands = c;

        note(QStringLiteral("round %1: libespeak-ng and libmp3lame in-process").arg(round));
        const LibraryRun l = runLibraries(textFile, workDir);
        if (l.synthesis < 0 || l.encode < 0)
            return 1;
        note(QStringLiteral("  synthesis %1 s, encoding %2 s, %3 s of audio")
                 .arg(l.synthesis)
                 .arg(l.encode)
                 .arg(l.audioSeconds));
        if (library.synthesis < 0 || l.Total() < library.Total())
            library = l;

        note(QStringLiteral("round %1: the reading pipeline").arg(round));
        const PipelineRun p = pipeline.Read();
        if (!p.ok)
            return 1;
        note(QStringLiteral("  %1 s: synthesis %2 s, conversion %3 s, %4 s of audio")
                 .arg(p.total)
                 .arg(p.synthesis)
                 .arg(p.conversion)
                 .arg(p.audioSeconds));
        if (!read.ok || p.total < read.total)
            read = p;

        if (cliGivenUp)
            continue;
        note(QStringLiteral("round %1: voxtrella --read-to-file").arg(round));
        const int timeoutMs = int(std::max(30.0, 3 * c.Total()) * 1000);
        const double s = runProgramCli(textFile, work.filePath(QStringLiteral("cli-%1").arg(round)),
                                       work.filePath(QStringLiteral("cli-home")), timeoutMs, cliWhy);
        if (s >= 0)
            note(QStringLiteral("  %1 s").arg(s));
        if (s < 0)
            cliGivenUp = true;
        else if (cliSeconds < 0 || s < cliSeconds)
            cliSeconds = s;
    }

    note(QStringLiteral("voxtrella --read-to-file: 1,000 small files"));
    QString manyWhy;
    const double manySeconds = runProgramManyFiles(workDir, work.filePath(QStringLiteral("cli-home")), manyWhy);
    if (manySeconds < 0)
        note(QStringLiteral("voxtrella --read-to-file gave no 1,000 files: ") + manyWhy);

    std::printf("mp3_ratio_cli=%.3f\n", read.total / commands.Total());
    std::printf("mp3_ratio_lib=%.3f\n", read.total / library.Total());
    std::printf("audio_seconds_per_second=%.1f\n", read.audioSeconds / read.total);
    if (cliGivenUp)
        note(QStringLiteral("voxtrella --read-to-file gave no MP3: ") + cliWhy);
    if (cliSeconds >= 0)
        std::printf("cli_mp3_ratio_cli=%.3f\n", cliSeconds / commands.Total());
    else
        std::printf("cli_mp3_ratio_cli=n/a\n");
    std::printf("pipeline_seconds=%.3f\n", read.total);
    std::printf("pipeline_synthesis_seconds=%.3f\n", read.synthesis);
    std::printf("pipeline_done_delay_seconds=%.3f\n", read.doneDelay);
    std::printf("pipeline_conversion_seconds=%.3f\n", read.conversion);
    std::printf("pipeline_audio_seconds=%.1f\n", read.audioSeconds);
    std::printf("cli_espeak_seconds=%.3f\n", commands.espeak);
    std::printf("cli_lame_seconds=%.3f\n", commands.lame);
    std::printf("cli_audio_seconds=%.1f\n", commands.audioSeconds);
    std::printf("lib_synthesis_seconds=%.3f\n", library.synthesis);
    std::printf("lib_encode_seconds=%.3f\n", library.encode);
    std::printf("lib_audio_seconds=%.1f\n", library.audioSeconds);
    if (cliSeconds >= 0)
        std::printf("cli_program_seconds=%.3f\n", cliSeconds);
    if (manySeconds >= 0)
        std::printf("cli_1000_small_files_s=%.1f\n", manySeconds);
    else
        std::printf("cli_1000_small_files_s=n/a\n");
    std::printf("peak_memory_mb=%.0f\n", BenchSupport::peakMemoryMb());
    return 0;
}
