// The command line as a user runs it: the real program, without a display
// or a sound server, in the test's own VOXTRELLA_HOME.
#include "settings/PreferenceUnit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <unistd.h>

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
        m_home = qEnvironmentVariable("VOXTRELLA_HOME");
        ASSERT_FALSE(m_home.isEmpty());
        QDir(m_home).mkpath(QStringLiteral("out"));
        QDir(m_home).mkpath(QStringLiteral("tmp"));
        QDir(m_home).mkpath(QStringLiteral("runtime"));
        write(QStringLiteral("a.txt"), "Hello world. This is the first text of the test.\n");
        write(QStringLiteral("b.txt"), "A second file, read into an output of its own.\r\n");

        // Settings and saved articles as the window left them: WAV into the
        // home's "saved" folder.
        QDir(m_home).mkpath(QStringLiteral("saved"));
        TPreferences prefs;
        prefs.LoadFromRegistry();
        prefs.ItemsToFields();
        prefs.OUT_Directory = path(QStringLiteral("saved"));
        prefs.OUT_FileFormat = 0;
        prefs.FieldsToItems();
        ASSERT_TRUE(prefs.SaveToRegistry());
        write(QStringLiteral("VXExport.txt"), "[Title]\r\nKept\r\n");
        m_settings = bytes(QStringLiteral("registry.ini"));
        m_saved = bytes(QStringLiteral("VXExport.txt"));
        ASSERT_FALSE(m_settings.isEmpty());
    }

    void TearDown() override
    {
        // Never the window's files, and no temporary file left anywhere.
        EXPECT_EQ(bytes(QStringLiteral("registry.ini")), m_settings);
        EXPECT_EQ(bytes(QStringLiteral("VXExport.txt")), m_saved);
        EXPECT_EQ(entries(QStringLiteral("tmp")), QStringList());
    }

    QString path(const QString &name) const { return m_home + u'/' + name; }

    void write(const QString &name, const QByteArray &content) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray bytes(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList entries(const QString &folder) const
    {
        return QDir(path(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // The program with neither display nor sound server in reach.
    Result run(const QStringList &arguments, const QByteArray &input = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "PIPEWIRE_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), path(QStringLiteral("runtime/pulse")));
        env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_home);
        process.start(QStringLiteral(VOXTRELLA_EXECUTABLE), arguments);
        process.write(input);
        process.closeWriteChannel();
        Result r;
        if (!process.waitForFinished(100000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            r.err = QStringLiteral("did not end normally");
            return r;
        }
        r.status = process.exitCode();
        r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(process.readAllStandardError());
        return r;
    }

    // Seconds of sound in a WAV file (0 when it is none); MP3 files are
    // decoded with mpg123 first.
    double seconds(const QString &file) const
    {
        QString wav = file;
        if (file.endsWith(QLatin1String(".mp3"))) {
            wav = path(QStringLiteral("decoded.wav"));
            QFile::remove(wav);
            if (QProcess::execute(QStringLiteral("mpg123"), {QStringLiteral("-q"), QStringLiteral("-w"), wav, file}) != 0)
                return -1;
        }
        QFile f(wav);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray data = f.readAll();
        if (!data.startsWith("RIFF") || data.mid(8, 4) != "WAVE")
            return -1;
        quint32 byteRate = 0;
        for (qsizetype at = 12; at + 8 <= data.size();) {
            const QByteArray id = data.mid(at, 4);
            const quint32 size = qFromLittleEndian<quint32>(data.constData() + at + 4);
            if (id == "fmt ")
                byteRate = qFromLittleEndian<quint32>(data.constData() + at + 16);
            if (id == "data" && byteRate > 0)
                return double(std::min<qint64>(size, data.size() - at - 8)) / byteRate;
            at += 8 + size + (size & 1);
        }
        return -1;
    }

    QString m_home;
    QByteArray m_settings;
    QByteArray m_saved;
};

TEST_F(CliReadToFile, TwoFilesGiveTwoMp3sOfTheirSpeechLength)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("mpg123")).isEmpty())
        << "mpg123 decodes the MP3 output: apt-get install mpg123";
    // The settings' folder and format first: WAV, the reference lengths.
    const Result wav = run({QStringLiteral("--read-to-file"), QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    ASSERT_EQ(wav.status, 0) << qPrintable(wav.err);
    EXPECT_EQ(entries(QStringLiteral("saved")), QStringList({QStringLiteral("a.wav"), QStringLiteral("b.wav")}));

    const Result mp3 = run({QStringLiteral("--read-to-file"), QStringLiteral("--format"), QStringLiteral("mp3"),
                            QStringLiteral("--bitrate"), QStringLiteral("64"), QStringLiteral("--out"),
                            path(QStringLiteral("out")), QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    ASSERT_EQ(mp3.status, 0) << qPrintable(mp3.err);
    EXPECT_EQ(entries(QStringLiteral("out")), QStringList({QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}));
    EXPECT_EQ(mp3.out, path(QStringLiteral("out/a.mp3")) + u'\n' + path(QStringLiteral("out/b.mp3")) + u'\n');
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b")}) {
        const double spoken = seconds(path(QStringLiteral("saved/") + name + QStringLiteral(".wav")));
        EXPECT_GT(spoken, 1.0) << qPrintable(name);
        // The encoder adds at most a frame or two of padding.
        EXPECT_NEAR(seconds(path(QStringLiteral("out/") + name + QStringLiteral(".mp3"))), spoken, 0.15)
            << qPrintable(name);
    }
}

TEST_F(CliReadToFile, SingleReadsEveryFileIntoOneOutput)
{
    ASSERT_EQ(run({QStringLiteral("--read-to-file"), QStringLiteral("a.txt"), QStringLiteral("b.txt")}).status, 0);
    const double parts = seconds(path(QStringLiteral("saved/a.wav"))) + seconds(path(QStringLiteral("saved/b.wav")));

    const Result r = run({QStringLiteral("--read-to-file"), QStringLiteral("--single"), QStringLiteral("Whole/Book"),
                          QStringLiteral("--out"), path(QStringLiteral("out")), QStringLiteral("a.txt"),
                          QStringLiteral("b.txt")});
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    // The window's safe name: "/" cannot be part of a file name.
    ASSERT_EQ(entries(QStringLiteral("out")), QStringList({QStringLiteral("Whole_Book.wav")}));
    EXPECT_NEAR(seconds(path(QStringLiteral("out/Whole_Book.wav"))), parts, 0.05);
}

TEST_F(CliReadToFile, FailuresAreNamedWithTheirStatusAndLeaveNothingHalfWritten)
{
    write(QStringLiteral("blocker"), "not a folder");
    QDir(m_home).mkpath(QStringLiteral("locked"));
    QFile::setPermissions(path(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    // Permission bits do not stop root; no file can be made in /proc.
    const QString unwritable = geteuid() == 0 ? QStringLiteral("/proc") : path(QStringLiteral("locked"));
    const QString out = path(QStringLiteral("out"));

    struct Case {
        QStringList arguments;
        int status;
        QStringList messages;
        QStringList written;
    };
    const QList<Case> cases = {
        {{QStringLiteral("--voice"), QStringLiteral("No Such Voice"), QStringLiteral("a.txt")},
         2, {QStringLiteral("\"No Such Voice\" does not exist"), QStringLiteral("--list-voices")}, {}},
        {{QStringLiteral("missing.txt"), QStringLiteral("a.txt")},
         1, {QStringLiteral("missing.txt: no such file")}, {QStringLiteral("a.mp3")}},
        {{QStringLiteral("--out"), unwritable, QStringLiteral("a.txt")},
         1, {QStringLiteral("output folder ") + unwritable + QStringLiteral(" is not writable")}, {}},
        {{QStringLiteral("--out"), path(QStringLiteral("blocker")), QStringLiteral("a.txt")},
         1, {QStringLiteral("is not a folder")}, {}},
        {{QStringLiteral("--bitrate"), QStringLiteral("33"), QStringLiteral("a.txt")},
         2, {QStringLiteral("bit rate \"33\""), QStringLiteral("Usage:")}, {}},
        {{QStringLiteral("--format"), QStringLiteral("ogg"), QStringLiteral("a.txt")},
         2, {QStringLiteral("unknown format"), QStringLiteral("Usage:")}, {}},
        {{QStringLiteral("--no-such-option"), QStringLiteral("a.txt")}, 2, {QStringLiteral("Usage:")}, {}},
        {{}, 2, {QStringLiteral("no input file"), QStringLiteral("Usage:")}, {}},
    };
    for (const Case &c : cases) {
        const QString name = c.arguments.join(u' ');
        QDir(out).removeRecursively();
        QDir(m_home).mkpath(QStringLiteral("out"));
        QStringList arguments = {QStringLiteral("--read-to-file"), QStringLiteral("--format"), QStringLiteral("mp3")};
        if (!c.arguments.contains(QStringLiteral("--out")))
            arguments << QStringLiteral("--out") << out;
        const Result r = run(arguments + c.arguments);
        EXPECT_EQ(r.status, c.status) << qPrintable(name) << "\n" << qPrintable(r.err);
        for (const QString &message : c.messages)
            EXPECT_TRUE(r.err.contains(message)) << qPrintable(name) << "\n" << qPrintable(r.err);
        EXPECT_EQ(entries(QStringLiteral("out")), c.written) << qPrintable(name);
    }
    EXPECT_EQ(bytes(QStringLiteral("blocker")), QByteArray("not a folder"));
}

TEST_F(CliReadToFile, ExistingOutputIsReplacedOnlyWithForce)
{
    write(QStringLiteral("saved/a.wav"), "the user's own file");
    const Result skipped = run({QStringLiteral("--read-to-file"), QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    EXPECT_EQ(skipped.status, 1);
    EXPECT_TRUE(skipped.err.contains(path(QStringLiteral("saved/a.wav")) + QStringLiteral(" exists; use --force")))
        << qPrintable(skipped.err);
    EXPECT_EQ(bytes(QStringLiteral("saved/a.wav")), QByteArray("the user's own file"));
    EXPECT_GT(seconds(path(QStringLiteral("saved/b.wav"))), 1.0);

    const Result forced = run({QStringLiteral("--read-to-file"), QStringLiteral("--force"), QStringLiteral("a.txt")});
    EXPECT_EQ(forced.status, 0) << qPrintable(forced.err);
    EXPECT_GT(seconds(path(QStringLiteral("saved/a.wav"))), 1.0);
}

TEST_F(CliReadToFile, UnusualTextsAreRead)
{
    // The same words in Windows-1252 and in UTF-8, nothing at all, 5 MB of
    // mostly blank lines, standard input, and two files of one title.
    write(QStringLiteral("latin.txt"), "Caf\xe9 cr\xe8me, na\xefve r\xe9sum\xe9.\n");
    write(QStringLiteral("utf8.txt"), "Caf\xc3\xa9 cr\xc3\xa8me, na\xc3\xafve r\xc3\xa9sum\xc3\xa9.\n");
    write(QStringLiteral("empty.txt"), QByteArray());
    QByteArray big = "The beginning of a large file.\n";
    while (big.size() < 5 * 1024 * 1024)
        big += QByteArray(40, '\n') + QByteArray(60, ' ');
    big += "The end.\n";
    write(QStringLiteral("big.txt"), big);
    QDir(m_home).mkpath(QStringLiteral("other"));
    write(QStringLiteral("other/a.txt"), "Another text with the same title.");

    const Result r = run({QStringLiteral("--read-to-file"), QStringLiteral("latin.txt"), QStringLiteral("utf8.txt"),
                          QStringLiteral("empty.txt"), QStringLiteral("big.txt"), QStringLiteral("-"),
                          QStringLiteral("a.txt"), QStringLiteral("other/a.txt")},
                         "Read from standard input.");
    ASSERT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(entries(QStringLiteral("saved")),
              QStringList({QStringLiteral("a (2).wav"), QStringLiteral("a.wav"), QStringLiteral("big.wav"),
                           QStringLiteral("empty.wav"), QStringLiteral("latin.wav"), QStringLiteral("stdin.wav"),
                           QStringLiteral("utf8.wav")}));
    EXPECT_GT(seconds(path(QStringLiteral("saved/latin.wav"))), 1.0);
    // The engine's output varies by a few samples from run to run.
    EXPECT_NEAR(seconds(path(QStringLiteral("saved/latin.wav"))), seconds(path(QStringLiteral("saved/utf8.wav"))),
                0.01);
    EXPECT_EQ(seconds(path(QStringLiteral("saved/empty.wav"))), 0.0);
    EXPECT_GT(seconds(path(QStringLiteral("saved/big.wav"))), 2.0);
    EXPECT_GT(seconds(path(QStringLiteral("saved/stdin.wav"))), 1.0);
    EXPECT_NE(bytes(QStringLiteral("saved/a.wav")), bytes(QStringLiteral("saved/a (2).wav")));
}

TEST_F(CliReadToFile, ListsVoicesAndReadsWithOneOfThem)
{
    const Result list = run({QStringLiteral("--list-voices")});
    ASSERT_EQ(list.status, 0) << qPrintable(list.err);
    const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString &line : lines)
        EXPECT_EQ(line.split(u'\t').size(), 3) << qPrintable(line);
    const QString voice = lines.last().section(u'\t', 0, 0);

    const Result r = run({QStringLiteral("--read-to-file"), QStringLiteral("--voice"), voice, QStringLiteral("a.txt")});
    EXPECT_EQ(r.status, 0) << qPrintable(voice) << "\n" << qPrintable(r.err);
    EXPECT_GT(seconds(path(QStringLiteral("saved/a.wav"))), 1.0);

    const Result help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--read-to-file")));
    EXPECT_EQ(run({QStringLiteral("--version")}).out, QStringLiteral("voxtrella 1.204\n"));
}

}  // namespace
