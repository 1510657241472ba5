// The real voxtrella executable on a private Xvfb display: file names and
// the desktop shortcuts' commands reach the running window from a later
// start (which ends with the window's answer), start the window when none
// runs, and are never swallowed by a socket that is not a running copy.
#include "ProgramUnderXvfb.h"
#include "SingleInstance.h"

#include <QLocalServer>
#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using TestSupport::readFile;
using TestSupport::waitFor;

namespace {

class DesktopCommands : public ProgramTest::ProgramUnderXvfb
{
protected:
    struct Ended {
        int status = -1;
        QString errors;
    };

    // A later start with these arguments, run to its end.
    Ended command(const QStringList &arguments, const QString &folder = QString())
    {
        QProcess later;
        later.setProcessEnvironment(m_env);
        later.setWorkingDirectory(folder.isEmpty() ? home() : folder);
        later.start(QStringLiteral(VOXTRELLA_EXECUTABLE), arguments);
        if (!later.waitForFinished(15000)) {
            stop(later);
            return {};
        }
        return {later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1,
                QString::fromLocal8Bit(later.readAllStandardError())};
    }

    // Puts text on the clipboard or in the primary selection, which xclip
    // then serves from the background.
    void select(const char *selection, const QByteArray &text)
    {
        QProcess xclip;
        xclip.setProcessEnvironment(m_env);
        xclip.start(u"xclip"_s, {u"-selection"_s, QString::fromLatin1(selection), u"-i"_s});
        ASSERT_TRUE(xclip.waitForStarted(5000));
        xclip.write(text);
        xclip.closeWriteChannel();
        ASSERT_TRUE(xclip.waitForFinished(5000));
    }

    QString saved() { return QString::fromUtf8(readFile(home() + u"/VXExport.txt"_s)); }

    void SetUp() override
    {
        ProgramUnderXvfb::SetUp();
        // Multi-Article mode: a file handed over in Single-Article mode would
        // first ask before it replaces the shown article.
        ASSERT_TRUE(TestSupport::writeFile(home() + u"/registry.ini"_s,
                                           "[Software\\VarnyxTech\\Voxtrella]\n\"FirstTimeUser\"=\"false\"\n"
                                           "\"ML_ListMode\"=\"1\"\n"));
        if (QStandardPaths::findExecutable(u"xclip"_s).isEmpty())
            GTEST_SKIP() << "xclip is needed";
    }
};

TEST_F(DesktopCommands, FilesAndShortcutCommandsReachTheRunningWindowAndEachStartEndsWithItsAnswer)
{
    startProgram(m_first, {});
    ASSERT_TRUE(waitForLog(u"Exiting FormShow"_s)) << log().toStdString();

    // Names relative to the later start's folder, which is not the window's.
    QTemporaryDir docs;
    ASSERT_TRUE(TestSupport::writeFile(docs.filePath(u"notes.txt"_s), "Notes handed over by the file manager."));
    ASSERT_TRUE(TestSupport::writeFile(docs.filePath(u"page.html"_s),
                                       "<html><body><p>Words of the web page.</p></body></html>"));
    Ended later = command({u"notes.txt"_s, u"page.html"_s}, docs.path());
    EXPECT_EQ(later.status, 0) << later.errors.toStdString();
    EXPECT_TRUE(
        waitFor([&] { return saved().contains(u"Notes handed over"_s) && saved().contains(u"web page"_s); }, 10000))
        << saved().toStdString();

    // Nothing is read yet: stop and skip are refused, in words.
    for (const auto &[refused, why] :
         {std::pair{u"--stop"_s, u"Nothing is being read"_s}, std::pair{u"--skip"_s, u"nothing to skip"_s}}) {
        later = command({refused});
        EXPECT_EQ(later.status, 1) << refused.toStdString();
        EXPECT_TRUE(later.errors.contains(why)) << later.errors.toStdString();
    }
    EXPECT_EQ(command({u"--stop"_s, u"now"_s}).status, 2);

    select("clipboard", "Clipboard words read by a desktop shortcut, long enough to be read for a good while, so "
                        "that pausing, resuming and stopping can all be tried while it is being read aloud.");
    later = command({u"--read-clipboard"_s});
    EXPECT_EQ(later.status, 0) << later.errors.toStdString();
    ASSERT_TRUE(waitForLog(u" : Clipboard_words_read"_s, 10000)) << log().toStdString();
    for (const QString &step : {u"Pause"_s, u"Resume"_s}) {
        later = command({u"--play-pause"_s});
        EXPECT_EQ(later.status, 0) << later.errors.toStdString();
        EXPECT_TRUE(waitForLog(u" - "_s + step, 5000)) << step.toStdString();
    }
    later = command({u"--stop"_s});
    EXPECT_EQ(later.status, 0) << later.errors.toStdString();
    EXPECT_TRUE(waitForLog(u"Abort"_s, 5000));

    select("primary", "Selected words to read aloud.");
    later = command({u"--read-selection"_s});
    EXPECT_EQ(later.status, 0) << later.errors.toStdString();
    EXPECT_TRUE(waitForLog(u" : Selected_words_to_re"_s, 10000)) << log().toStdString();

    endWith(SIGTERM);
    for (const QString &text : {u"Notes handed over by the file manager."_s, u"Words of the web page."_s,
                                u"Clipboard words read by a desktop shortcut"_s, u"Selected words to read aloud."_s})
        EXPECT_TRUE(saved().contains(text)) << text.toStdString() << "\n" << saved().toStdString();
}

// A bound socket file that a crashed run left, then a server that accepts and
// says nothing: the start with a command serves the name itself and carries
// the command out once it has started.
TEST_F(DesktopCommands, ACommandWithNoRunningWindowStartsOneWhateverHoldsTheSocket)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const QString socket = SingleInstance::defaultServerName();
    ASSERT_TRUE(socket.startsWith(runtime.path())) << socket.toStdString();

    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket);
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(stale);  // the file stays

    const QString notes = home() + u"/left.txt"_s;
    ASSERT_TRUE(TestSupport::writeFile(notes, "Opened over a socket left behind."));
    startProgram(m_first, {notes});
    EXPECT_TRUE(waitFor([&] { return saved().contains(u"Opened over a socket"_s); }, 30000)) << log().toStdString();
    endWith(SIGTERM);

    QLocalServer squatter;
    ASSERT_TRUE(squatter.listen(socket));
    select("clipboard", "Read although something else held the name, and long enough to be still read when the "
                        "next start hands over its command to stop.");
    startProgram(m_first, {u"--read-clipboard"_s});
    EXPECT_TRUE(waitForLog(u" : Read_although_some"_s, 30000)) << log().toStdString();
    // The started window now answers later starts itself.
    const Ended later = command({u"--stop"_s});
    EXPECT_EQ(later.status, 0) << later.errors.toStdString();
    endWith(SIGTERM);
    EXPECT_TRUE(saved().contains(u"Read although something else held the name, and long"_s)) << saved().toStdString();
    qunsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
