// The command line as a user runs it: the real program, without a display
// or a sound server, in the test's own VOXTRELLA_HOME.
#include "PrivateSpeechService.h"
#include "TestEpub.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/tpropertymap.h>


#include <algorithm>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

class CliReadToFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString &folder : {u"out"_s, u"tmp"_s, u"runtime"_s, u"saved"_s})
            QDir(m_home).mkpath(folder);
        write(u"a.txt"_s, "Hello world. This is the first text of the test.\n");
        write(u"b.txt"_s, "A second file, read into an output of its own.\r\n");

        // Settings and saved articles as the window left them: WAV into the home's "saved" folder.
        write(u"registry.ini"_s, "[Software\\VarnyxTech\\Voxtrella]\n\"OUT_FileFormat\"=\"0\"\n\"OUT_Directory\"=\"" +
                                     path(u"saved"_s).toUtf8() + "\"\n");
        write(u"VXExport.txt"_s, "[Title]\r\nKept\r\n");
        m_settings = bytes(u"registry.ini"_s);
        m_saved = bytes(u"VXExport.txt"_s);
    }

    void TearDown() override
    {
        // Never the window's files, and no temporary file left anywhere.
        EXPECT_EQ(bytes(u"registry.ini"_s), m_settings);
        EXPECT_EQ(bytes(u"VXExport.txt"_s), m_saved);
        EXPECT_EQ(entries(u"tmp"_s), QStringList());
    }

    QString path(const QString &name) const { return m_home + u'/' + name; }
    void write(const QString &name, const QByteArray &content) const
    {
        ASSERT_TRUE(TestSupport::writeFile(path(name), content));
    }
    QByteArray bytes(const QString &name) const { return TestSupport::readFile(path(name)); }
    QStringList entries(const QString &folder) const
    {
        return QDir(path(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // How the program is started beyond its arguments.
    struct Start {
        // Runs in the child before the program: its streams and limits.
        std::function<void()> child;
        // Written to standard input one after the other, two seconds apart.
        QByteArrayList input;
        // The test's own sound server in reach.
        bool soundServer = false;
        // Another program (a shell) that starts this one; empty: this one.
        QString program;
    };

    // The program with neither display nor sound server in reach, reading to file.
    void start(QProcess &process, const QStringList &arguments) const { start(process, arguments, Start{}); }
    void start(QProcess &process, const QStringList &arguments, const Start &how) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "PIPEWIRE_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(name));
        if (!how.soundServer) {
            env.insert(u"XDG_RUNTIME_DIR"_s, path(u"runtime"_s));
            env.insert(u"PULSE_RUNTIME_PATH"_s, path(u"runtime/pulse"_s));
        }
        env.insert(u"TMPDIR"_s, path(u"tmp"_s));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_home);
        if (how.child)
            process.setChildProcessModifier(how.child);
        process.start(how.program.isEmpty() ? QStringLiteral(VOXTRELLA_EXECUTABLE) : how.program, arguments);
    }
    Result run(const QStringList &arguments, const QByteArray &input = {}) const
    {
        return run(arguments, Start{{}, {input}, false, {}});
    }
    Result run(const QStringList &arguments, const Start &how) const
    {
        QProcess process;
        start(process, arguments, how);
        for (qsizetype i = 0; i < how.input.size(); ++i) {
            if (i > 0)
                QThread::msleep(2000);
            process.write(how.input[i]);
            process.waitForBytesWritten();
        }
        process.closeWriteChannel();
        Result r;
        if (!process.waitForFinished(100000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            r.err = u"did not end normally"_s;
            return r;
        }
        r.status = process.exitCode();
        r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(process.readAllStandardError());
        return r;
    }
    Result readToFile(const QStringList &arguments, const QByteArray &input = {}) const
    {
        return run(QStringList{u"--read-to-file"_s} + arguments, input);
    }

    // Seconds of sound in a file of the home (-1 when it is none); MP3 files
    // are decoded with mpg123 first.
    double seconds(const QString &name) const
    {
        QString wav = path(name);
        if (name.endsWith(".mp3"_L1)) {
            wav = path(u"decoded.wav"_s);
            QFile::remove(wav);
            if (QProcess::execute(u"mpg123"_s, {u"-q"_s, u"-w"_s, wav, path(name)}) != 0)
                return -1;
        }
        return TestSupport::readWav(wav).seconds();
    }

    const QString m_home = TestSupport::homeDir();
    QByteArray m_settings;
    QByteArray m_saved;
};

TEST_F(CliReadToFile, TwoFilesGiveTwoMp3sOfTheirSpeechLengthOrWithSingleOneOutput)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(u"mpg123"_s).isEmpty())
        << "mpg123 decodes the MP3 output: apt-get install mpg123";
    // The settings' folder and format first: WAV, the reference lengths.
    const Result wav = readToFile({u"a.txt"_s, u"b.txt"_s});
    ASSERT_EQ(wav.status, 0) << qPrintable(wav.err);
    // Several files of one reading get a playlist, named after their folder.
    EXPECT_EQ(entries(u"saved"_s), QStringList({u"a.wav"_s, u"b.wav"_s, u"saved.m3u8"_s}));

    const Result mp3 = readToFile(
        {u"--format"_s, u"mp3"_s, u"--bitrate"_s, u"64"_s, u"--out"_s, path(u"out"_s), u"a.txt"_s, u"b.txt"_s});
    ASSERT_EQ(mp3.status, 0) << qPrintable(mp3.err);
    EXPECT_EQ(entries(u"out"_s), QStringList({u"a.mp3"_s, u"b.mp3"_s, u"out.m3u8"_s}));
    EXPECT_EQ(mp3.out, path(u"out/a.mp3"_s) + u'\n' + path(u"out/b.mp3"_s) + u'\n' + path(u"out/out.m3u8"_s) + u'\n');
    for (const QString &name : {u"a"_s, u"b"_s}) {
        const double spoken = seconds(u"saved/"_s + name + u".wav"_s);
        EXPECT_GT(spoken, 1.0) << qPrintable(name);
        // The encoder adds at most a frame or two of padding.
        EXPECT_NEAR(seconds(u"out/"_s + name + u".mp3"_s), spoken, 0.15) << qPrintable(name);
    }

    const Result r = readToFile({u"--single"_s, u"Whole/Book"_s, u"--out"_s, path(u"out"_s), u"a.txt"_s, u"b.txt"_s});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    // The window's safe name: "/" cannot be part of a file name.
    ASSERT_EQ(entries(u"out"_s), QStringList({u"Whole_Book.wav"_s, u"a.mp3"_s, u"b.mp3"_s, u"out.m3u8"_s}));
    EXPECT_NEAR(seconds(u"out/Whole_Book.wav"_s), seconds(u"saved/a.wav"_s) + seconds(u"saved/b.wav"_s), 0.05);
}

TEST_F(CliReadToFile, DocumentsAreReadWholeOrChapterByChapterAsTheSameTextInPlainFiles)
{
    write(u"book.md"_s, "# The Harbour\nThe boats came in at dawn.\n\n# The Storm\nThe wind rose in the night.\n");
    write(u"whole.txt"_s, "The Harbour\nThe boats came in at dawn.\n\nThe Storm\nThe wind rose in the night.\n");
    write(u"harbour.txt"_s, "The Harbour\nThe boats came in at dawn.\n");
    write(u"storm.txt"_s, "The Storm\nThe wind rose in the night.\n");
    const Result plain = readToFile({u"whole.txt"_s, u"harbour.txt"_s, u"storm.txt"_s});
    ASSERT_EQ(plain.status, 0) << qPrintable(plain.err);

    const Result whole = readToFile({u"--out"_s, path(u"out"_s), u"book.md"_s});
    ASSERT_EQ(whole.status, 0) << qPrintable(whole.err);
    EXPECT_NEAR(seconds(u"out/book.wav"_s), seconds(u"saved/whole.wav"_s), 0.05);

    // Twice the same book: the second gets a folder of its own.
    QDir(m_home).mkpath(u"copy"_s);
    write(u"copy/book.md"_s, bytes(u"book.md"_s));
    const Result chapters = readToFile({u"--chapters"_s, u"--out"_s, path(u"out"_s), u"book.md"_s, u"copy/book.md"_s});
    ASSERT_EQ(chapters.status, 0) << qPrintable(chapters.err);
    EXPECT_EQ(entries(u"out"_s), QStringList({u"book"_s, u"book (2)"_s, u"book.wav"_s}));
    EXPECT_EQ(entries(u"out/book"_s), QStringList({u"01 The Harbour.wav"_s, u"02 The Storm.wav"_s, u"book.m3u8"_s}));
    EXPECT_NEAR(seconds(u"out/book/01 The Harbour.wav"_s), seconds(u"saved/harbour.wav"_s), 0.05);
    EXPECT_NEAR(seconds(u"out/book/02 The Storm.wav"_s), seconds(u"saved/storm.wav"_s), 0.05);
}

// A book of chapters, as an EPUB; a chapter's text is its title and body.
QString writeBook(const QString &name, const std::vector<std::pair<QByteArray, QByteArray>> &chapters)
{
    QByteArray manifest, spine = "<spine>", nav;
    TestEpub::Entries files;
    for (size_t i = 0; i < chapters.size(); ++i) {
        const QByteArray id = "c" + QByteArray::number(qulonglong(i));
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
        files.push_back({"OEBPS/" + id + ".xhtml",
                         TestEpub::Xhtml("<h1>" + chapters[i].first + "</h1><p>" + chapters[i].second + "</p>")});
    }
    return TestEpub::WriteZip(name, TestEpub::Epub(manifest, spine + "</spine>", files));
}

struct PlaylistEntry {
    int seconds;
    QString title;
    QString file;
};

std::vector<PlaylistEntry> readPlaylist(const QString &file)
{
    const QStringList lines = QString::fromUtf8(TestSupport::readFile(file)).split(u'\n', Qt::SkipEmptyParts);
    std::vector<PlaylistEntry> entries;
    EXPECT_EQ(lines.value(0), u"#EXTM3U"_s);
    for (qsizetype i = 1; i + 1 < lines.size(); i += 2) {
        EXPECT_TRUE(lines[i].startsWith(u"#EXTINF:"_s)) << qPrintable(lines[i]);
        const qsizetype comma = lines[i].indexOf(u',');
        entries.push_back({lines[i].mid(8, comma - 8).toInt(), lines[i].mid(comma + 1), lines[i + 1]});
    }
    return entries;
}

QString property(const QString &file, const char *name)
{
    const TagLib::FileRef ref(QFile::encodeName(file).constData());
    if (ref.isNull())
        return u"(unreadable)"_s;
    return QString::fromStdString(ref.file()->properties()[name].toString().to8Bit(true));
}

TEST_F(CliReadToFile, AnEpubBecomesTaggedMp3OrOpusChaptersWithAPlaylistOrOneMp3WithChapterMarks)
{
    writeBook(u"book.epub"_s, {{"The Harbour", "The boats came in at dawn, and the gulls cried."},
                               {"Storm: 1/2", "The wind rose in the night."},
                               {"Caf\xc3\xa9 Morning", "In the morning all was calm, and the coffee was warm again."}});
    const QStringList titles = {u"The Harbour"_s, u"Storm: 1/2"_s, u"Café Morning"_s};
    const QStringList names = {u"01 The Harbour"_s, u"02 Storm: 1_2"_s, u"03 Café Morning"_s};
    const struct {
        QString format;
        QStringList overrides;
        QString album, artist;
    } runs[] = {
        {u"mp3"_s, {}, u"The Book"_s, u"Ann Author"_s},
        {u"opus"_s, {u"--title"_s, u"Sea Tales"_s, u"--author"_s, u"Bo Reader"_s}, u"Sea Tales"_s, u"Bo Reader"_s}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.format.toStdString());
        const QString out = path(run.format);
        const Result r = readToFile(
            QStringList{u"--chapters"_s, u"--format"_s, run.format, u"--out"_s, out, u"book.epub"_s} + run.overrides);
        ASSERT_EQ(r.status, 0) << qPrintable(r.err);
        const QString folder = run.format + u"/The Book/"_s;
        QStringList expected;
        for (const QString &name : names)
            expected << name + u'.' + run.format;
        expected << run.album + u".m3u8"_s;
        expected.sort();
        ASSERT_EQ(entries(folder).join(u'|'), expected.join(u'|'));
        // The tags keep the titles the file names could not.
        const std::vector<PlaylistEntry> playlist = readPlaylist(path(folder + run.album + u".m3u8"_s));
        ASSERT_EQ(playlist.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const QString file = path(folder + names[i] + u'.' + run.format);
            EXPECT_EQ(property(file, "TITLE"), titles[i]);
            EXPECT_EQ(property(file, "ALBUM"), run.album);
            EXPECT_EQ(property(file, "ARTIST"), run.artist);
            EXPECT_EQ(property(file, "TRACKNUMBER"),
                      run.format == u"mp3"_s ? u"%1/3"_s.arg(i + 1) : QString::number(i + 1));
            EXPECT_EQ(playlist[size_t(i)].title, titles[i]);
            EXPECT_EQ(playlist[size_t(i)].file, names[i] + u'.' + run.format);
            const TagLib::FileRef ref(QFile::encodeName(file).constData());
            ASSERT_FALSE(ref.isNull());
            const double length = run.format == u"mp3"_s ? seconds(folder + names[i] + u".mp3"_s)
                                                         : ref.audioProperties()->lengthInMilliseconds() / 1000.0;
            EXPECT_GT(length, 1.0);
            EXPECT_NEAR(playlist[size_t(i)].seconds, length, 1.0);
            if (run.format == u"opus"_s) {
                EXPECT_EQ(property(file, "TRACKTOTAL"), u"3"_s);
                EXPECT_EQ(ref.audioProperties()->sampleRate(), 48000);
                EXPECT_EQ(ref.audioProperties()->channels(), 1);
            }
        }
    }

    // One MP3 of the book: a chapter mark at the start of each chapter.
    const Result single = readToFile({u"--single"_s, u"Sea Book"_s, u"--format"_s, u"mp3"_s, u"book.epub"_s});
    ASSERT_EQ(single.status, 0) << qPrintable(single.err);
    TagLib::MPEG::File mp3(QFile::encodeName(path(u"saved/Sea Book.mp3"_s)).constData());
    ASSERT_TRUE(mp3.hasID3v2Tag());
    const TagLib::ID3v2::FrameList marks = mp3.ID3v2Tag()->frameList("CHAP");
    ASSERT_EQ(marks.size(), 3u);
    ASSERT_EQ(mp3.ID3v2Tag()->frameList("CTOC").size(), 1u);
    const auto *toc = static_cast<TagLib::ID3v2::TableOfContentsFrame *>(mp3.ID3v2Tag()->frameList("CTOC").front());
    EXPECT_EQ(toc->entryCount(), 3u);
    uint previous = 0;
    int i = 0;
    for (TagLib::ID3v2::Frame *frame : marks) {
        const auto *mark = static_cast<TagLib::ID3v2::ChapterFrame *>(frame);
        const TagLib::ID3v2::FrameList title = mark->embeddedFrameList("TIT2");
        ASSERT_EQ(title.size(), 1u);
        EXPECT_EQ(QString::fromStdString(title.front()->toString().to8Bit(true)), titles[i]);
        if (i == 0)
            EXPECT_EQ(mark->startTime(), 0u);
        else
            EXPECT_GT(mark->startTime(), previous + 1000);  // each chapter lasts seconds
        EXPECT_GT(mark->endTime(), mark->startTime());
        previous = mark->startTime();
        ++i;
    }
    EXPECT_NEAR(static_cast<TagLib::ID3v2::ChapterFrame *>(marks.back())->endTime() / 1000.0,
                seconds(u"saved/Sea Book.mp3"_s), 0.2);
    EXPECT_EQ(property(path(u"saved/Sea Book.mp3"_s), "TITLE"), u"Sea Book"_s);
}

TEST_F(CliReadToFile, AFullDiskPartWayKeepsTheChaptersBeforeAndAfterAndListsOnlyThose)
{
    // Chapter 3 outgrows the file-size limit that the others fit in.
    writeBook(u"book.epub"_s, {{"One", "A short chapter."},
                               {"Two", "Another short chapter."},
                               {"Three", QByteArray("A long chapter that goes on and on. ").repeated(60)},
                               {"Four", "The short end."}});
    const QString out = path(u"out"_s);
    const Result r = run({u"-c"_s, u"trap '' XFSZ; exec prlimit --fsize=400000 \"$@\""_s, u"sh"_s,
                          QStringLiteral(VOXTRELLA_EXECUTABLE), u"--read-to-file"_s, u"--chapters"_s, u"--format"_s,
                          u"mp3"_s, u"--out"_s, out, u"book.epub"_s},
                         Start{{}, {}, false, u"bash"_s});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(u"03 Three.mp3 was not written"_s)) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(u"File too large"_s)) << qPrintable(r.err);
    EXPECT_EQ(entries(u"out/The Book"_s),
              QStringList({u"01 One.mp3"_s, u"02 Two.mp3"_s, u"04 Four.mp3"_s, u"The Book.m3u8"_s}));
    QStringList listed;
    for (const PlaylistEntry &entry : readPlaylist(path(u"out/The Book/The Book.m3u8"_s)))
        listed << entry.file;
    EXPECT_EQ(listed, QStringList({u"01 One.mp3"_s, u"02 Two.mp3"_s, u"04 Four.mp3"_s}));
    for (const QString &name : listed)
        EXPECT_GT(seconds(u"out/The Book/"_s + name), 0.5) << qPrintable(name);
}

TEST_F(CliReadToFile, FailuresAreNamedWithTheirStatusAndLeaveNothingHalfWritten)
{
    write(u"blocker"_s, "not a folder");
    write(u"damaged.epub"_s, QByteArray("PK\x03\x04") + QByteArray(300, '\x7f'));
    QDir(m_home).mkpath(u"locked"_s);
    QFile::setPermissions(path(u"locked"_s), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    // Permission bits do not stop root; no file can be made in /proc.
    const QString unwritable = geteuid() == 0 ? u"/proc"_s : path(u"locked"_s);
    const QString out = path(u"out"_s);

    const struct {
        QStringList arguments;
        int status;
        QStringList messages;
        QStringList written;
    } cases[] = {
        {{u"--voice"_s, u"No Such Voice"_s, u"a.txt"_s},
         2,
         {u"\"No Such Voice\" does not exist"_s, u"--list-voices"_s},
         {}},
        {{u"missing.txt"_s, u"a.txt"_s}, 1, {u"missing.txt: no such file"_s}, {u"a.mp3"_s}},
        {{u"--chapters"_s, u"damaged.epub"_s, u"a.txt"_s}, 1, {u"damaged.epub\" cannot be read"_s}, {u"a"_s}},
        {{u"--single"_s, u"Book"_s, u"a.txt"_s, u"missing.txt"_s},
         1,
         {u"missing.txt: no such file"_s, u"Book.mp3 was not written"_s},
         {}},
        {{u"--out"_s, unwritable, u"a.txt"_s}, 1, {u"output folder "_s + unwritable + u" is not writable"_s}, {}},
        {{u"--out"_s, path(u"blocker"_s), u"a.txt"_s}, 1, {u"is not a folder"_s}, {}},
        {{u"--bitrate"_s, u"33"_s, u"a.txt"_s}, 2, {u"bit rate \"33\""_s, u"Usage:"_s}, {}},
        {{u"--format"_s, u"ogg"_s, u"a.txt"_s}, 2, {u"unknown format"_s, u"Usage:"_s}, {}},
        {{u"--format"_s, u"opus"_s, u"--bitrate"_s, u"40"_s, u"a.txt"_s},
         2,
         {u"bit rate \"40\" is not one of 16, 24, 32, 48, 64"_s},
         {}},
        {{u"--no-such-option"_s, u"a.txt"_s}, 2, {u"Usage:"_s}, {}},
        {{}, 2, {u"no input file"_s, u"Usage:"_s}, {}},
    };
    for (const auto &c : cases) {
        const QString name = c.arguments.join(u' ');
        QDir(out).removeRecursively();
        QDir(m_home).mkpath(u"out"_s);
        QStringList arguments = {u"--format"_s, u"mp3"_s};
        if (!c.arguments.contains(u"--out"_s))
            arguments << u"--out"_s << out;
        const Result r = readToFile(arguments + c.arguments);
        EXPECT_EQ(r.status, c.status) << qPrintable(name) << "\n" << qPrintable(r.err);
        for (const QString &message : c.messages)
            EXPECT_TRUE(r.err.contains(message)) << qPrintable(name) << "\n" << qPrintable(r.err);
        EXPECT_EQ(entries(u"out"_s), c.written) << qPrintable(name);
    }
    EXPECT_EQ(bytes(u"blocker"_s), QByteArray("not a folder"));
}

TEST_F(CliReadToFile, ExistingOutputIsReplacedOnlyWithForceAndALinkThereIsNeverFollowed)
{
    // At the output's name: the user's file, a link to someone else's file,
    // a link that leads nowhere. A link is replaced itself, never followed.
    write(u"victim"_s, "someone else's file");
    const QString a = path(u"saved/a.wav"_s);
    for (const QString &link : {QString(), path(u"victim"_s), path(u"nowhere"_s)}) {
        QFile::remove(a);
        if (link.isEmpty())
            write(u"saved/a.wav"_s, "the user's own file");
        else
            ASSERT_TRUE(QFile::link(link, a));
        const Result skipped = readToFile({u"a.txt"_s, u"b.txt"_s});
        EXPECT_EQ(skipped.status, 1);
        EXPECT_TRUE(skipped.err.contains(a + u" exists; use --force"_s)) << qPrintable(skipped.err);
        EXPECT_EQ(QFileInfo(a).symLinkTarget(), link);
        EXPECT_EQ(bytes(u"saved/a.wav"_s), link.isEmpty() ? "the user's own file" : TestSupport::readFile(link));
        EXPECT_GT(seconds(u"saved/b.wav"_s), 1.0);

        const Result forced = readToFile({u"--force"_s, u"a.txt"_s});
        EXPECT_EQ(forced.status, 0) << qPrintable(forced.err);
        EXPECT_FALSE(QFileInfo(a).isSymLink());
        EXPECT_GT(seconds(u"saved/a.wav"_s), 1.0);
    }
    EXPECT_EQ(bytes(u"victim"_s), "someone else's file");
    EXPECT_FALSE(QFile::exists(path(u"nowhere"_s)));
}

TEST_F(CliReadToFile, KilledLimitedOrRacingRunsNeverLeaveAPartialFile)
{
    write(u"long.txt"_s, QByteArray("A long text keeps the program writing for a good while. ").repeated(300));
    const QString out = path(u"out"_s);
    const auto temporary = [&] { return QDir(out).entryList({u".voxtrella-*"_s}, QDir::Files | QDir::Hidden); };
    // SIGKILL at a few moments of a forced WAV and MP3 run over an older
    // file: the older file stays, and no other name appears.
    for (const QString &format : {u"wav"_s, u"mp3"_s}) {
        for (const int afterMs : {-200, 0, 800}) {
            write(u"out/long."_s + format, "older");
            const QStringList before = QDir(out).entryList(QDir::Files);
            QProcess p;
            start(p, {u"--read-to-file"_s, u"--force"_s, u"--format"_s, format, u"--out"_s, out, u"long.txt"_s});
            // Negative: that long after the start; else after its temporary file appeared.
            const QString mine = u".voxtrella-%1-"_s.arg(p.processId());
            if (afterMs >= 0) {
                EXPECT_TRUE(TestSupport::waitFor([&] { return !temporary().filter(mine).isEmpty(); }, 30000));
            }
            QThread::msleep(std::abs(afterMs));
            p.kill();
            p.waitForFinished();
            EXPECT_EQ(QDir(out).entryList(QDir::Files), before) << afterMs;
            EXPECT_EQ(bytes(u"out/long."_s + format), "older") << qPrintable(format) << afterMs;
        }
    }
    EXPECT_FALSE(temporary().isEmpty());

    // A file-size limit, as a full disk, is a message naming the file; the
    // run removes what the killed ones left (the home's tmp is checked at
    // the end) and leaves nothing of its own.
    QFile::remove(path(u"out/long.wav"_s));
    QFile::remove(path(u"out/long.mp3"_s));
    const Result limited =
        run({u"-c"_s, u"trap '' XFSZ; exec prlimit --fsize=100000 \"$@\""_s, u"sh"_s,
             QStringLiteral(VOXTRELLA_EXECUTABLE), u"--read-to-file"_s, u"--out"_s, out, u"long.txt"_s},
            Start{{}, {}, false, u"bash"_s});
    EXPECT_EQ(limited.status, 1);
    EXPECT_TRUE(limited.err.contains(u"Cannot write \""_s + out + u"/long.wav\": File too large"_s))
        << qPrintable(limited.err);
    EXPECT_EQ(entries(u"out"_s), QStringList());

    // Two runs writing one name: one writes it whole, the other says so and fails.
    QProcess first, second;
    for (QProcess *p : {&first, &second})
        start(*p, {u"--read-to-file"_s, u"--out"_s, out, u"a.txt"_s});
    for (QProcess *p : {&first, &second})
        ASSERT_TRUE(p->waitForFinished(100000));
    EXPECT_EQ(first.exitCode() + second.exitCode(), 1);
    const QString err = QString::fromLocal8Bit((first.exitCode() ? first : second).readAllStandardError());
    EXPECT_TRUE(err.contains(u"appeared while it was being written"_s) || err.contains(u"exists; use --force"_s))
        << qPrintable(err);
    EXPECT_TRUE(TestSupport::readWav(path(u"out/a.wav"_s)).whole);
    EXPECT_EQ(entries(u"out"_s), QStringList{u"a.wav"_s});
}

TEST_F(CliReadToFile, UnusualTextsAreRead)
{
    // The same words in Windows-1252 and in UTF-8, nothing at all, 5 MB of
    // mostly blank lines, standard input, and two files of one title.
    write(u"latin.txt"_s, "Caf\xe9 cr\xe8me, na\xefve r\xe9sum\xe9.\n");
    write(u"utf8.txt"_s, "Caf\xc3\xa9 cr\xc3\xa8me, na\xc3\xafve r\xc3\xa9sum\xc3\xa9.\n");
    write(u"empty.txt"_s, QByteArray());
    QByteArray big = "The beginning of a large file.\n";
    while (big.size() < 5 * 1024 * 1024)
        big += QByteArray(40, '\n') + QByteArray(60, ' ');
    write(u"big.txt"_s, big + "The end.\n");
    write(u"other/a.txt"_s, "Another text with the same title.");

    const Result r =
        readToFile({u"latin.txt"_s, u"utf8.txt"_s, u"empty.txt"_s, u"big.txt"_s, u"-"_s, u"a.txt"_s, u"other/a.txt"_s},
                   "Read from standard input.");
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(entries(u"saved"_s), QStringList({u"a (2).wav"_s, u"a.wav"_s, u"big.wav"_s, u"empty.wav"_s,
                                                u"latin.wav"_s, u"saved.m3u8"_s, u"stdin.wav"_s, u"utf8.wav"_s}));
    EXPECT_GT(seconds(u"saved/latin.wav"_s), 1.0);
    // The engine's output varies by a few samples from run to run.
    EXPECT_NEAR(seconds(u"saved/latin.wav"_s), seconds(u"saved/utf8.wav"_s), 0.01);
    EXPECT_EQ(seconds(u"saved/empty.wav"_s), 0.0);
    EXPECT_GT(seconds(u"saved/big.wav"_s), 2.0);
    EXPECT_GT(seconds(u"saved/stdin.wav"_s), 1.0);
    EXPECT_NE(bytes(u"saved/a.wav"_s), bytes(u"saved/a (2).wav"_s));
}

TEST_F(CliReadToFile, ListsVoicesAndReadsWithOneOfThem)
{
    const Result list = run({u"--list-voices"_s});
    ASSERT_EQ(list.status, 0) << qPrintable(list.err);
    const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString &line : lines)
        EXPECT_EQ(line.split(u'\t').size(), 3) << qPrintable(line);
    const QString voice = lines.last().section(u'\t', 0, 0);

    const Result r = readToFile({u"--voice"_s, voice, u"a.txt"_s});
    EXPECT_EQ(r.status, 0) << qPrintable(voice) << "\n" << qPrintable(r.err);
    EXPECT_GT(seconds(u"saved/a.wav"_s), 1.0);

    const Result help = run({u"--help"_s});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(u"--read-to-file"_s));
    EXPECT_EQ(run({u"--version"_s}).out, u"voxtrella 1.204\n"_s);
}

TEST_F(CliReadToFile, SpeechDispatcherVoicesAreListedAndAFileIsReadWithTheDefaultVoiceInstead)
{
    PrivateSpeechService service;
    ASSERT_TRUE(service.running()) << qPrintable(service.output());
    const Result list = run({u"--list-voices"_s});
    ASSERT_EQ(list.status, 0) << qPrintable(list.err);
    const QString voice = u"English (America) (espeak-ng)"_s;
    EXPECT_TRUE(list.out.contains(voice + u"\tUS English\tSpeech Dispatcher\n"_s)) << qPrintable(list.out);

    // The service plays the sound itself: the files are read with a built-in voice, said once.
    write(u"c.txt"_s, "A third text.\n");
    const Result r = readToFile({u"--voice"_s, voice, u"a.txt"_s, u"c.txt"_s});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.err.count(u"plays the sound itself"_s), 1) << qPrintable(r.err);
    EXPECT_GT(seconds(u"saved/a.wav"_s), 1.0);
    EXPECT_GT(seconds(u"saved/c.wav"_s), 0.5);
}

TEST_F(CliReadToFile, ArgumentsStreamsAndLimitsEndWithAnHonestStatusAndNeverTheSoundServer)
{
    if (qEnvironmentVariableIsEmpty("VOXTRELLA_HEADLESS_AUDIO"))
        FAIL() << "needs the private test sound server: run through scripts/run-tests.sh";
    // A sound device stored when there were more of them: file output never uses it.
    write(u"registry.ini"_s, m_settings + "\"TTS_AudioDeviceID\"=\"7\"\n");
    m_settings = bytes(u"registry.ini"_s);
    QByteArray longText;
    for (int i = 0; i < 30; ++i)
        longText += "This sentence is read again and again, to make a sound file longer than the limit. ";
    write(u"long.txt"_s, longText);

    const auto closeStream = [](int fd) { return [fd] { ::close(fd); }; };
    const auto nonBlockingInput = [] { ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK); };
    const auto fullOutput = [] { ::dup2(::open("/dev/full", O_WRONLY), 1); };
    // 300 kB: three seconds of speech; far below the sound library's shared memory.
    const auto sizeLimit = [] {
        const rlimit limit = {300000, 300000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const QString out = path(u"out"_s);
    const struct {
        QStringList arguments;
        std::function<void()> child;
        QByteArrayList input;
        int status;
        QStringList messages;  // on standard error
        QString output;        // on standard output, in part
        QString folder;
        QStringList written;
    } cases[] = {
        // clang-format off
        {{u"-h"_s}, {}, {}, 0, {}, u"0    Every file was written."_s, u"out"_s, {}},
        {{u"-v"_s}, {}, {}, 0, {}, u"voxtrella 1.204\n"_s, u"out"_s, {}},
        {{u"--bogus"_s, u"a.txt"_s}, {}, {}, 2, {u"Unknown option 'bogus'"_s, u"Usage:"_s}, {}, u"out"_s, {}},
        {{u"--read-to-file"_s, u"--out"_s, {}, u"a.txt"_s}, {}, {}, 2, {u"--out needs a folder"_s}, {}, u"."_s, {}},
        {{u"--read-to-file"_s, u"--out"_s, u"new/folder"_s, u"a.txt"_s}, {}, {}, 0, {}, u"a.wav"_s, u"new/folder"_s,
         {u"a.wav"_s}},
        {{u"--read-to-file"_s, u"--out"_s, out, u"-"_s, u"b.txt"_s}, closeStream(0), {}, 1,
         {u"standard input is closed"_s}, u"b.wav"_s, u"out"_s, {u"b.wav"_s}},
        {{u"--read-to-file"_s, u"--out"_s, out, u"-"_s}, nonBlockingInput, {"First part. ", "The second part, late."},
         0, {}, u"stdin.wav"_s, u"out"_s, {u"stdin.wav"_s}},
        {{u"--read-to-file"_s, u"--out"_s, out, u"a.txt"_s}, fullOutput, {}, 1,
         {u"standard output cannot be written: No space left on device"_s}, {}, u"out"_s, {u"a.wav"_s}},
        {{u"--read-to-file"_s, u"--out"_s, out, u"a.txt"_s}, closeStream(1), {}, 1,
         {u"standard output cannot be written: it is closed"_s}, {}, u"out"_s, {u"a.wav"_s}},
        {{u"--list-voices"_s}, sizeLimit, {}, 0, {}, u"\tUS English\teSpeak NG\n"_s, u"out"_s, {}},
        // A file that failed leaves the next one to be written.
        {{u"--read-to-file"_s, u"--out"_s, out, u"long.txt"_s, u"a.txt"_s}, sizeLimit, {}, 1,
         {out + u"/long.wav"_s}, u"a.wav"_s, u"out"_s, {u"a.wav"_s}},
        // clang-format on
    };
    for (const auto &c : cases) {
        const QString name = c.arguments.join(u' ');
        QDir(out).removeRecursively();
        QDir(m_home).mkpath(u"out"_s);
        const Result r = run(c.arguments, Start{c.child, c.input, true, {}});
        EXPECT_EQ(r.status, c.status) << qPrintable(name) << "\n" << qPrintable(r.err);
        for (const QString &message : c.messages)
            EXPECT_TRUE(r.err.contains(message)) << qPrintable(name) << "\n" << qPrintable(r.err);
        EXPECT_TRUE(r.out.contains(c.output)) << qPrintable(name) << "\n" << qPrintable(r.out);
        EXPECT_EQ(QDir(path(c.folder)).entryList({u"*.wav"_s}, QDir::Files), c.written) << qPrintable(name);
        // Spoken whole: both parts of the slow input, the file read beside a failing one.
        for (const QString &file : c.written)
            EXPECT_GT(seconds(c.folder + u'/' + file), file == u"stdin.wav"_s ? 2.0 : 1.0) << qPrintable(name);
    }
}

// Cue times in microseconds, each with its text, from an SRT, WebVTT or LRC
// file; an LRC line's end is the next line's start.
struct Cue {
    qint64 start = 0, end = 0;
    QString text;
};
std::vector<Cue> parseCues(const QString &file)
{
    std::vector<Cue> cues;
    const auto us = [](const QRegularExpressionMatch &m, int at) {
        return ((m.captured(at).toLongLong() * 60 + m.captured(at + 1).toLongLong()) * 60 +
                m.captured(at + 2).toLongLong()) *
                   1'000'000 +
               m.captured(at + 3).leftJustified(3, u'0').toLongLong() * 1000;
    };
    static const QRegularExpression timing(
        uR"(^(\d\d):(\d\d):(\d\d)[,.](\d\d\d) --> (\d\d):(\d\d):(\d\d)[,.](\d\d\d)\n((?:.+\n?)+))"_s,
        QRegularExpression::MultilineOption);
    for (auto it = timing.globalMatch(file); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        cues.push_back({us(m, 1), us(m, 5), m.captured(9).trimmed()});
    }
    static const QRegularExpression line(uR"(^\[()(\d+):(\d\d)\.(\d\d)\](.*)$)"_s, QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(file); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!cues.empty() && cues.back().end < 0)
            cues.back().end = us(m, 1);
        if (!m.captured(5).isEmpty())
            cues.push_back({us(m, 1), -1, m.captured(5)});
    }
    return cues;
}

// Where the speech starts again after a pause between sentences (a quarter
// of a second of silence), in microseconds of a decoded file.
std::vector<qint64> speechOnsets(const TestSupport::WavFile &wav)
{
    const std::vector<int16_t> samples = wav.samples();
    const int window = wav.sampleRate / 200;  // 5 ms
    std::vector<qint64> onsets;
    int quiet = 1000;
    for (size_t at = 0; at + size_t(window) <= samples.size(); at += size_t(window)) {
        int peak = 0;
        for (int i = 0; i < window; ++i)
            peak = std::max(peak, std::abs(int(samples[at + size_t(i)])));
        if (peak < 400) {
            ++quiet;
        } else {
            if (quiet >= 50)
                onsets.push_back(qint64(at) * 1'000'000 / wav.sampleRate);
            quiet = 0;
        }
    }
    return onsets;
}

TEST_F(CliReadToFile, SubtitlesFollowTheSpeechOfTheDecodedFileAndAppearOnlyBesideIt)
{
    // Sentences that begin with a sound, not with the silence of a stop.
    write(u"c.txt"_s, "Anna eats apples slowly.\nOh, evenings are silent here.\nSeveral owls arrive in the evening.\n");
    write(u"d.txt"_s, "Seven swans swim on the lake.\nAfter a while, all of them fly away together.\n");
    // Ten minutes: more than the encoder keeps up with, so the end of the
    // MP3 is encoded by a second stream, whose sound starts a little later.
    write(u"long.txt"_s, bytes(u"c.txt"_s).repeated(100));
    const QString out = path(u"out"_s);
    const struct {
        QStringList arguments;
        QStringList subtitles;
    } cases[] = {
        // 16 kHz MP3 without an info frame; 44.1 kHz MP3 of two texts in
        // one file, times running on; WAV.
        {{u"--format"_s, u"mp3"_s, u"--bitrate"_s, u"16"_s, u"--subtitles"_s, u"srt"_s, u"c.txt"_s}, {u"c.srt"_s}},
        {{u"--format"_s, u"mp3"_s, u"--bitrate"_s, u"64"_s, u"--subtitles"_s, u"VTT"_s, u"--single"_s, u"cd"_s,
          u"c.txt"_s, u"d.txt"_s},
         {u"cd.vtt"_s}},
        {{u"--format"_s, u"wav"_s, u"--subtitles"_s, u"lrc"_s, u"c.txt"_s, u"d.txt"_s}, {u"c.lrc"_s, u"d.lrc"_s}},
        {{u"--format"_s, u"mp3"_s, u"--bitrate"_s, u"32"_s, u"--subtitles"_s, u"srt"_s, u"long.txt"_s},
         {u"long.srt"_s}},
    };
    for (const auto &c : cases) {
        const QString name = c.arguments.join(u' ');
        QDir(out).removeRecursively();
        QDir(m_home).mkpath(u"out"_s);
        const Result r = readToFile(QStringList{u"--out"_s, out} + c.arguments);
        ASSERT_EQ(r.status, 0) << qPrintable(name) << "\n" << qPrintable(r.err);
        for (const QString &subtitles : c.subtitles) {
            const QString audio = subtitles.left(subtitles.lastIndexOf(u'.')) +
                                  (name.contains(u"wav"_s) ? u".wav"_s : u".mp3"_s);
            QString decoded = path(u"out/"_s + audio);
            if (audio.endsWith(u".mp3"_s)) {
                decoded = path(u"decoded.wav"_s);
                QFile::remove(decoded);
                ASSERT_EQ(QProcess::execute(u"mpg123"_s, {u"-q"_s, u"-w"_s, decoded, path(u"out/"_s + audio)}), 0);
            }
            const TestSupport::WavFile wav = TestSupport::readWav(decoded);
            const std::vector<Cue> cues = parseCues(QString::fromUtf8(bytes(u"out/"_s + subtitles)));
            const std::vector<qint64> onsets = speechOnsets(wav);
            const QString where = name + u' ' + subtitles;
            // One cue a sentence: each line of the texts.
            const size_t sentences = subtitles.startsWith(u"long"_s) ? 300
                                     : subtitles.startsWith(u"cd"_s) ? 5
                                     : subtitles.startsWith(u'c')    ? 3
                                                                     : 2;
            ASSERT_EQ(cues.size(), sentences) << qPrintable(where) << "\n"
                                              << bytes(u"out/"_s + subtitles).toStdString();
            qint64 last = 0;
            for (const Cue &cue : cues) {
                EXPECT_GE(cue.start, last) << qPrintable(where);
                EXPECT_GT(cue.end, cue.start) << qPrintable(where);
                last = cue.end;
            }
            // Each sentence heard after a pause (the first one too) has its
            // cue start there. The texts of one file follow each other
            // without a pause, so not every cue is seen this way.
            ASSERT_GE(onsets.size(), 2u) << qPrintable(where);
            for (const qint64 onset : onsets) {
                const Cue nearest = *std::min_element(cues.begin(), cues.end(), [&](const Cue &a, const Cue &b) {
                    return std::abs(a.start - onset) < std::abs(b.start - onset);
                });
                EXPECT_NEAR(double(nearest.start), double(onset), 50'000.0) << qPrintable(where + u' ' + nearest.text);
            }
            EXPECT_NEAR(double(cues.back().end), wav.seconds() * 1e6, 1e6) << qPrintable(where);
            if (!subtitles.endsWith(u".srt"_s)) {  // every word after the first is timed
                EXPECT_TRUE(cues.front().text.contains(subtitles.endsWith(u".vtt"_s) ? u"<00:00:0"_s : u"<00:0"_s));
            }
        }
    }

    // Subtitles come with a complete audio file only: none for a stopped or
    // refused reading, and never in place of the user's file.
    QDir(out).removeRecursively();
    QDir(m_home).mkpath(u"out"_s);
    write(u"out/d.mp3"_s, "the user's own");
    write(u"out/c.srt"_s, "the user's subtitles");
    const Result refused =
        readToFile({u"--out"_s, out, u"--format"_s, u"mp3"_s, u"--subtitles"_s, u"srt"_s, u"c.txt"_s, u"d.txt"_s});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(path(u"out/c.srt"_s) + u"\" exists"_s)) << qPrintable(refused.err);
    EXPECT_EQ(entries(u"out"_s), QStringList({u"c.mp3"_s, u"c.srt"_s, u"d.mp3"_s}));
    EXPECT_EQ(bytes(u"out/c.srt"_s), "the user's subtitles");
    EXPECT_EQ(bytes(u"out/d.mp3"_s), "the user's own");
    const Result bad = readToFile({u"--subtitles"_s, u"ass"_s, u"c.txt"_s});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.contains(u"unknown subtitle format \"ass\""_s)) << qPrintable(bad.err);
}

}  // namespace
