// The saved articles and settings through the real program: whatever ends
// it (a termination request or hangup at any moment, a box left open, a full
// disk) and whatever the saved file holds, the files afterwards hold every
// article they held before.
#include "ProgramUnderXvfb.h"
#include "articles/SavedArticles.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QByteArray S = "||||||Voxtrella MP3 Start of Article||||||\r\n";
const QByteArray E = "||||||Voxtrella MP3 End of Article||||||\r\n";

QByteArray articles(int count)
{
    QByteArray file;
    for (int i = 0; i < count; ++i)
        file += S + "Article_" + QByteArray::number(i) + "||1\r\nNumber " + QByteArray::number(i) +
                " of the saved articles, Zo\xc3\xab's caf\xc3\xa9.\r\n" + E;
    return file;
}

// Title and text of every record, as the program reads them.
std::vector<std::pair<QString, QString>> records(const QByteArray &file)
{
    std::vector<std::pair<QString, QString>> out;
    for (const auto &r : SavedArticles::Parse(file).Records)
        out.emplace_back(r.Title, r.Text);
    return out;
}

// The records with typed taken out of the first article's text; none when
// it was not typed there.
std::vector<std::pair<QString, QString>> withoutTyped(std::vector<std::pair<QString, QString>> r, const QString &typed)
{
    if (r.empty() || !r[0].second.contains(typed))
        return {};
    r[0].second.remove(typed);
    return r;
}

class NothingLost : public ProgramTest::ProgramUnderXvfb
{
protected:
    QString exported() const { return home() + u"/VXExport.txt"_s; }
    QString settings() const { return home() + u"/registry.ini"_s; }

    void startAndWaitForTheList()
    {
        startProgram(m_first, {});
        ASSERT_TRUE(waitForLog(u"Exiting FormShow"_s)) << log().toStdString();
    }

    // Keys go to the main window (there is no window manager to give it the
    // focus back after a box).
    void focusMainWindow() { xdotool({u"windowfocus"_s, u"--sync"_s, visibleMainWindow()}); }
    // Types into the article that has the focus at start (the first one).
    void typeIntoTheArticle(const QString &text)
    {
        focusMainWindow();
        xdotool({u"type"_s, u"--delay"_s, u"20"_s, text});
    }

    // The program's boxes carry its window's title; true once n are shown.
    bool windowsShown(int n)
    {
        return TestSupport::waitFor(
            [&] {
                return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Voxtrella MP3$"_s})
                           .split(u'\n', Qt::SkipEmptyParts)
                           .size() == n;
            },
            10000);
    }
};

// The settings file of a user past the first run, holding these values too.
QByteArray settingsFile(const QByteArray &values)
{
    return "[Software\\VarnyxTech\\Voxtrella]\n\"FirstTimeUser\"=\"false\"\n" + values;
}

TEST_F(NothingLost, TerminationOrHangupWhileTheArticlesLoadKeepsEveryOneAndEndsAtOnce)
{
    const QByteArray saved = articles(5000);
    for (const auto &[signal, afterMs] : {std::pair{SIGTERM, 400}, std::pair{SIGHUP, 1200}}) {
        ASSERT_TRUE(writeFile(exported(), saved));
        QFile::remove(home() + u"/voxtrella.dbg"_s);
        startProgram(m_first, {});
        QThread::msleep(afterMs);
        EXPECT_LT(endWith(signal), 5000);
        EXPECT_EQ(readFile(exported()), saved) << "signal " << signal;
    }
}

TEST_F(NothingLost, TerminationWithABoxOpenClosesItAndSavesOnlyOnce)
{
    const QByteArray saved = articles(20);
    const QByteArray damaged = "not [ settings\n\x01\x02";
    const QByteArray binary("\x7f"
                            "ELF\x02\x01\x01\0\0 not articles",
                            22);

    // A damaged settings file, a stored audio device that is gone, a saved
    // file that is no saved file: each start shows a box; a termination
    // request closes it, and the files stay as they were.
    const std::pair<QByteArray, QByteArray> starts[] = {
        {damaged, saved}, {settingsFile("\"TTS_AudioDeviceID\"=\"7\"\n"), saved}, {settingsFile({}), binary}};
    for (const auto &[settingsBytes, articlesBytes] : starts) {
        ASSERT_TRUE(writeFile(settings(), settingsBytes));
        ASSERT_TRUE(writeFile(exported(), articlesBytes));
        startProgram(m_first, {});
        QThread::msleep(3000);
        EXPECT_LT(endWith(SIGTERM), 3000);
        if (articlesBytes == saved) {
            EXPECT_EQ(readFile(exported()), saved);
        }
    }
    EXPECT_EQ(readFile(settings() + u".damaged"_s), damaged);
    EXPECT_TRUE(QString::fromUtf8(readFile(settings())).contains(u"\"TTS_AudioDeviceID\"=\"-1\""_s));
    const QStringList aside = QDir(home()).entryList({u"VXExport.txt.unreadable-*"_s});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readFile(home() + u"/"_s + aside.first()), binary);

    // Multi-Article mode; Open on a file too large to read shows a box and
    // adds nothing; the exit saves while it is open, and the interrupted
    // command saves nothing after it.
    ASSERT_TRUE(writeFile(settings(), settingsFile("\"ML_ListMode\"=\"1\"\n")));
    ASSERT_TRUE(writeFile(exported(), saved));
    QFile big(home() + u"/big.txt"_s);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(70LL * 1024 * 1024));  // sparse
    big.close();
    QFile::remove(home() + u"/voxtrella.dbg"_s);
    startAndWaitForTheList();
    const QString window = visibleMainWindow();
    ASSERT_FALSE(window.isEmpty());
    xdotool({u"windowactivate"_s, u"--sync"_s, window});
    xdotool({u"key"_s, u"ctrl+o"_s});
    QThread::msleep(1500);
    xdotool({u"type"_s, u"--delay"_s, u"5"_s, big.fileName()});
    xdotool({u"key"_s, u"Return"_s});
    ASSERT_TRUE(waitForLog(u"Open failed"_s, 10000)) << log().toStdString();
    QThread::msleep(500);
    endWith(SIGTERM);
    EXPECT_EQ(records(readFile(exported())), records(saved));
    EXPECT_EQ(log().count(u"Bypass Export - the articles were saved at exit"_s), log().count(u"Bypass Export"_s));
}

TEST_F(NothingLost, ARestartKeepsEverythingTheSavedFileHolds)
{
    // No settings file (as after a lost one), Single-Article mode, and the
    // records that the reader dropped or garbled: a Windows-1252 line in an
    // otherwise UTF-8 file and record, a blank text, a line separator in a
    // title and a missing end marker, which ends the text at the next record.
    QFile::remove(settings());
    const QByteArray saved = S + "first||1\r\nZo\xc3\xab's caf\xc3\xa9\r\n" + E + S +
                             "latin||1\r\ncaf\xe9 cr\xe8me\r\nZo\xc3\xab\r\n" + E + S + "blank text||1\r\n\r\n" + E +
                             S + "two\xe2\x80\xa8lines||1\r\ntitle\r\n" + E + S + "no end||1\r\ncut short\r\n" + S +
                             "sixth||1\r\nsix\r\n" + E + S + "seventh||1\r\nseven\r\n" + E + S +
                             "last||1\r\nZo\xc3\xab\r\n" + E;
    ASSERT_TRUE(writeFile(exported(), saved));
    startAndWaitForTheList();
    endWith(SIGTERM);
    const QByteArray after = readFile(exported());
    auto expected = records(saved);
    ASSERT_EQ(expected.size(), 8u);
    EXPECT_EQ(expected[4].second, u"cut short"_s);
    expected[3].first = u"two lines"_s;
    EXPECT_EQ(records(after), expected);
    // Every accented letter is still itself: nothing was read as Windows-1252
    // but the one line that is.
    EXPECT_EQ(after.count("Zo\xc3\xab"), 3);
    EXPECT_TRUE(after.contains("caf\xc3\xa9 cr\xc3\xa8me"));
}

TEST_F(NothingLost, AFullDiskLeavesTheSettingsAndArticlesAsTheyWere)
{
    // What this start would write differs from what is there: the settings
    // file lacks keys and the articles have LF line ends.
    const QByteArray oldSettings = settingsFile({});
    const QByteArray oldArticles = QByteArray(articles(20)).replace("\r\n", "\n");
    for (const bool full : {true, false}) {
        ASSERT_TRUE(writeFile(settings(), oldSettings));
        ASSERT_TRUE(writeFile(exported(), oldArticles));
        QFile::remove(home() + u"/voxtrella.dbg"_s);
        // Files may grow to 60 bytes only, as on a disk that is full.
        const QString run = full ? u"trap '' XFSZ; exec prlimit --fsize=60 \"$0\""_s : u"exec \"$0\""_s;
        startProgram(m_first, {u"-c"_s, run, QStringLiteral(VOXTRELLA_EXECUTABLE)}, u"bash"_s);
        QThread::msleep(4000);
        endWith(SIGTERM);
        EXPECT_EQ(readFile(settings()) == oldSettings, full);
        EXPECT_EQ(readFile(exported()) == oldArticles, full);
        EXPECT_EQ(records(readFile(exported())), records(oldArticles));
        EXPECT_EQ(QDir(home()).entryList({u"*.tmp"_s, u"*~*"_s}, QDir::Files), QStringList());
    }
}

TEST_F(NothingLost, ATypedEditIsSavedSecondsAfterTheTypingStopsAndNothingIsSavedWithoutOne)
{
    // LF line ends: any save would write CR LF.
    const QByteArray old = QByteArray(articles(3)).replace("\r\n", "\n");
    ASSERT_TRUE(writeFile(settings(), settingsFile({})));
    ASSERT_TRUE(writeFile(exported(), old));
    startAndWaitForTheList();
    QThread::msleep(4000);
    EXPECT_EQ(readFile(exported()), old);
    typeIntoTheArticle(u"Typed 42 "_s);
    QThread::msleep(5000);
    ::kill(pid_t(m_first.processId()), SIGKILL);
    m_first.waitForFinished(5000);
    EXPECT_EQ(withoutTyped(records(readFile(exported())), u"Typed 42 "_s), records(old));
}

TEST_F(NothingLost, AFullDiskAtTheExitCommandOffersRetryExitWithoutSavingAndCancel)
{
    const QByteArray old = articles(3);
    for (const bool giveUp : {false, true}) {
        ASSERT_TRUE(writeFile(settings(), settingsFile({})));
        ASSERT_TRUE(writeFile(exported(), old));
        startProgram(m_first,
                     {u"-c"_s, u"trap '' XFSZ; exec prlimit --fsize=60:unlimited \"$0\""_s,
                      QStringLiteral(VOXTRELLA_EXECUTABLE)},
                     u"bash"_s);
        ASSERT_TRUE(windowsShown(1));
        QThread::msleep(3000);
        typeIntoTheArticle(u"Kept "_s);
        xdotool({u"key"_s, u"alt+f"_s, u"x"_s});
        ASSERT_TRUE(windowsShown(2));
        if (giveUp) {
            xdotool({u"key"_s, u"alt+x"_s});
            ASSERT_TRUE(m_first.waitForFinished(10000));
            EXPECT_EQ(readFile(exported()), old);
            continue;
        }
        // Cancel stays; Retry once there is room saves the edit and exits.
        xdotool({u"key"_s, u"Escape"_s});
        ASSERT_TRUE(windowsShown(1));
        EXPECT_FALSE(m_first.waitForFinished(1000));
        focusMainWindow();
        xdotool({u"key"_s, u"alt+f"_s, u"x"_s});
        ASSERT_TRUE(windowsShown(2));
        QProcess::execute(u"prlimit"_s, {u"--pid"_s, QString::number(m_first.processId()), u"--fsize=unlimited"_s});
        xdotool({u"key"_s, u"alt+r"_s});
        ASSERT_TRUE(m_first.waitForFinished(10000));
        EXPECT_EQ(m_first.exitCode(), 0);
        EXPECT_EQ(withoutTyped(records(readFile(exported())), u"Kept "_s), records(old));
    }
    EXPECT_EQ(QDir(home()).entryList({u"*.tmp"_s}, QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(NothingLost, ASaveFailingAtATerminationRequestLeavesACopyThatTheNextStartBringsBack)
{
    const QString cache = home() + u"/cache/voxtrella"_s;
    m_env.insert(u"XDG_CACHE_HOME"_s, home() + u"/cache"_s);
    const QByteArray old = articles(3);
    const auto rescued = [](const QByteArray &file) { return withoutTyped(records(file), u"Rescued "_s); };
    ASSERT_TRUE(writeFile(settings(), settingsFile({})));
    ASSERT_TRUE(writeFile(exported(), old));
    startAndWaitForTheList();
    typeIntoTheArticle(u"Rescued "_s);
    // The saved file's place takes no file now.
    ASSERT_TRUE(QFile::rename(exported(), exported() + u".away"_s) && QDir().mkdir(exported()));
    endWith(SIGTERM);
    ASSERT_TRUE(QDir().rmdir(exported()) && QFile::rename(exported() + u".away"_s, exported()));
    EXPECT_EQ(readFile(exported()), old);
    const QStringList copies = QDir(cache).entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(TestSupport::fileMode(cache + u'/' + copies[0]), 0600u);
    EXPECT_EQ(rescued(readFile(cache + u'/' + copies[0])), records(old));

    // The next start asks; Yes is the default answer.
    QFile::remove(home() + u"/voxtrella.dbg"_s);
    startProgram(m_first, {});
    ASSERT_TRUE(waitForLog(u"Offering the recovery copy"_s)) << log().toStdString();
    ASSERT_TRUE(windowsShown(2));  // the window and the question
    xdotool({u"key"_s, u"Return"_s});
    ASSERT_TRUE(waitForLog(u"Exiting FormShow"_s)) << log().toStdString();
    EXPECT_EQ(rescued(readFile(exported())), records(old));
    EXPECT_TRUE(QDir(cache).entryList(QDir::Files).isEmpty());
    endWith(SIGTERM);
    EXPECT_EQ(rescued(readFile(exported())), records(old));
}

}  // namespace

TEST_F(NothingLost, AnExitWhileADocumentOpensKeepsTheSavedArticlesAndAddsNothingOfIt)
{
    // A web page of some 20 MB takes seconds to read, away from the window.
    QFile page(home() + u"/huge.html"_s);
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body><h1>Huge</h1>");
    const QByteArray paragraph = "<p>" + QByteArray(60, 'w') + " <b>more</b> words.</p>\n";
    for (int i = 0; i < 250000; ++i)
        page.write(paragraph);
    page.close();
    const QByteArray saved = articles(20);
    ASSERT_TRUE(writeFile(settings(), settingsFile("\"ML_ListMode\"=\"1\"\n")));
    ASSERT_TRUE(writeFile(exported(), saved));
    startAndWaitForTheList();
    const QString window = visibleMainWindow();
    ASSERT_FALSE(window.isEmpty());
    xdotool({u"windowactivate"_s, u"--sync"_s, window});
    xdotool({u"key"_s, u"ctrl+o"_s});
    QThread::msleep(1500);
    xdotool({u"type"_s, u"--delay"_s, u"5"_s, page.fileName()});
    xdotool({u"key"_s, u"Return"_s});
    ASSERT_TRUE(waitForLog(u"Opening "_s + page.fileName(), 10000)) << log().toStdString();
    QThread::msleep(300);
    EXPECT_LT(endWith(SIGTERM), 8000);
    EXPECT_EQ(records(readFile(exported())), records(saved));
    EXPECT_TRUE(log().contains(u"Not opened at exit: "_s + page.fileName())) << log().toStdString();
}
