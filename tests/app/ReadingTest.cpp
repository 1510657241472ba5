// The reading commands through the real windows, the real engines and the
// headless sound server: reading aloud with the caret on each word, pause,
// skip and stop, auto delete, and reading into WAV and MP3 files that a
// real decoder plays at the preset's rate.
#include "WindowTestSupport.h"

#include "ListReadingView.h"
#include "ReadingActions.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextCursor>

namespace {

using namespace WindowTesting;

class ReadingTest : public WindowTest
{
protected:
    bool RealSound() const override { return true; }

    void SetUp() override
    {
        WindowTest::SetUp();
        if (audio::audioSystem().outputDeviceCount() <= 0)
            GTEST_SKIP() << "no sound server (run through scripts/run-tests.sh)";
        out = homeDir() + u"/out"_s;
        QDir().mkpath(out);
        StoreSettings({{"FirstTimeUser", false}, {"ML_ListMode", 1}, {"OUT_Directory", out}});
        SaveArticles(Record("First", "One two three.") + Record("Second", "Four five six.") +
                     Record("Third", "Seven eight nine."));
    }

    // Starts the windows and counts the driver's completions.
    void StartReading()
    {
        Start();
        QObject::connect(form->Driver(), &Speaker::OnDone, form, [this] { ++completions; });
    }

    // Hidden ones too: a temporary file left in the folder is a fault.
    QStringList OutFiles() const { return QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    // "MPEG 2.0 L III cbr32 22050 mono", as mpg123 reads it.
    static QString Mp3Format(const QString &mp3)
    {
        QProcess p;
        p.start(u"mpg123"_s, {u"-v"_s, u"-t"_s, mp3});
        p.waitForFinished(30000);
        const QString info = QString::fromUtf8(p.readAllStandardError());
        return QRegularExpression(u"MPEG \\d\\.\\d L III \\w+ \\d+ \\w+"_s).match(info).captured();
    }

    QString out;
    int completions = 0;
};

TEST_F(ReadingTest, ReadAloudReadsEveryArticleInOrderWithTheCaretOnEachWord)
{
    StartReading();
    // After the controller has moved the caret, the selection must be the word heard.
    QStringList heard;
    const auto words = QObject::connect(
        form->Driver()->TTS1(), &TTTS::OnWordPosition, form, [&](TTTS *, sapi::QWORD, uint32_t offset) {
            ArticleEntry *entry = ListReadingView::EntryOf(form->Reading()->ArticleBeingRead());
            ASSERT_NE(entry, nullptr);
            const QTextCursor cursor = form->ListView()->EditorFor(entry)->textCursor();
            EXPECT_EQ(cursor.selectionStart(), int(offset / 2));
            heard << cursor.selectedText();
        });
    ui->PlayToolBtn->click();
    EXPECT_EQ(form->State(), rsReading);
    EXPECT_FALSE(ui->PlayToolBtn->isEnabled());
    EXPECT_TRUE(ui->StopBtn->isEnabled());
    ASSERT_TRUE(WaitIdle()) << Messages();
    EXPECT_EQ(completions, 3);
    EXPECT_EQ(heard, (QStringList{"One", "two", "three.", "Four", "five", "six.", "Seven", "eight", "nine."}));
    for (int i = 0; i < Count(); ++i)
        EXPECT_FALSE(Entry(i)->Locked);
    EXPECT_TRUE(ui->PlayToolBtn->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << Messages();

    // The article menu reads a selection made backwards, offered only while there is one.
    QAction *readSelected = form->ReadingCommandActions().ReadSelected();
    const auto menuOpens = [this] { emit form->PopupMenu1()->aboutToShow(); };
    form->List()->MarkEntry(2);
    QTextCursor backwards(form->ListView()->EditorFor(Entry(1))->document());
    backwards.movePosition(QTextCursor::End);
    form->ListView()->EditorFor(Entry(1))->setTextCursor(backwards);
    menuOpens();
    EXPECT_FALSE(readSelected->isEnabled());
    backwards.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor, 3);
    form->ListView()->EditorFor(Entry(1))->setTextCursor(backwards);
    menuOpens();
    ASSERT_TRUE(form->PopupMenu1()->actions().contains(readSelected));
    ASSERT_TRUE(readSelected->isEnabled());
    QObject::disconnect(words);
    heard.clear();
    QObject::connect(form->Driver()->TTS1(), &TTTS::OnWordPosition, form,
                     [&] { heard << form->ListView()->EditorFor(Entry(1))->textCursor().selectedText(); });
    readSelected->trigger();
    ASSERT_TRUE(WaitIdle()) << Messages();
    EXPECT_EQ(heard, (QStringList{"five", "six."}));
}

TEST_F(ReadingTest, PauseResumeSkipAndStopAlsoDuringAudioHelp)
{
    SaveArticles(Record("Long", "One two three four five six seven eight nine ten eleven twelve.") +
                 Record("Next", "Thirteen fourteen fifteen sixteen seventeen eighteen.") +
                 Record("Last", "Nineteen twenty."));
    StartReading();
    int words = 0;
    QObject::connect(form->Driver()->TTS1(), &TTTS::OnWordPosition, form, [&words] { ++words; });
    ui->PlayToolBtn->click();
    ASSERT_TRUE(waitFor([&words] { return words >= 2; }, 10000));

    // A pause is no end; the resumed article ends once. Paused from the toolbar, every menu says so and
    // offers only what a pause allows; the tray menu's item resumes.
    ui->PauseBtn->click();
    EXPECT_EQ(form->State(), rsPaused);
    EXPECT_EQ(ui->PauseBtn->text(), u"Resume"_s);
    const auto shown = [](const QWidget *menu) {
        QStringList items;
        for (const QAction *a : menu->actions())
            items << (a->isSeparator() ? u"-"_s : a->text() + (a->isEnabled() ? u""_s : u" (off)"_s));
        return items.join(u'|').toStdString();
    };
    EXPECT_EQ(shown(form->Tray().Menu()), "Restore|Show &Toolbar (off)|-|&Options|-|Read &Aloud (off)|"
                                          "Read to &File (off)|S&kip (off)|&Resume|&Stop|-|A&bout|-|E&xit Voxtrella");
    EXPECT_EQ(shown(ui->Read1), "Read &Aloud (off)|Read to &File (off)|-|&Resume|S&kip (off)|&Stop");
    EXPECT_FALSE(waitFor([this] { return completions > 0; }, 1500));
    form->Tray().Menu()->actions().at(8)->trigger();
    EXPECT_EQ(form->State(), rsReading);
    EXPECT_EQ(ui->PauseBtn->text(), u"Pause"_s);
    ASSERT_TRUE(waitFor([this] { return completions == 1; }, 20000));

    // Skip ends the second article at once and the third follows.
    ASSERT_TRUE(waitFor([this] { return form->StatusText().startsWith(u"Article 2 of 3"_s); }, 5000));
    ASSERT_TRUE(waitFor([this] { return ui->SkipBtn->isEnabled(); }, 5000));
    ui->SkipBtn->click();
    ASSERT_TRUE(waitFor([this] { return form->StatusText().startsWith(u"Article 3 of 3"_s); }, 3000));

    // Stop: idle, nothing locked, and no completion afterwards.
    ui->StopBtn->click();
    EXPECT_EQ(form->State(), rsIdle);
    const int stoppedAt = completions;
    EXPECT_FALSE(waitFor([&] { return completions > stoppedAt || form->State() != rsIdle; }, 1500));
    for (int i = 0; i < Count(); ++i)
        EXPECT_FALSE(Entry(i)->Locked);

    // Audio help stops the same way.
    ui->AudioHelp1->actions().value(0)->trigger();
    EXPECT_EQ(form->State(), rsReading);
    EXPECT_EQ(form->StatusText(), u"Reading Audio Help"_s);
    ASSERT_TRUE(waitFor([&words, before = words] { return words > before; }, 10000));
    ui->StopBtn->click();
    EXPECT_EQ(form->State(), rsIdle);
    EXPECT_EQ(form->StatusText(), u"3 articles"_s);
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(ReadingTest, AutoDeleteHidesEachArticleAfterItWasReadAndSaves)
{
    StoreSettings({{"ML_AutoDelete", true}});
    StartReading();
    ui->PlayToolBtn->click();
    ASSERT_TRUE(waitFor([] { return Saved().count("Start of Article") == 2; }, 20000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(completions, 3);
    EXPECT_EQ(Count(), 1);  // one empty article, never an empty list
    EXPECT_TRUE(Entry(0)->Text().isEmpty());
    EXPECT_FALSE(Saved().contains("Seven"));
}

// Sound streams of this process on the test's server.
int OurSinkInputs()
{
    QProcess p;
    p.start(u"pactl"_s, {u"-f"_s, u"json"_s, u"list"_s, u"sink-inputs"_s});
    p.waitForFinished(5000);
    const QJsonValue pid(QString::number(QCoreApplication::applicationPid()));
    int ours = 0;
    for (const QJsonValue input : QJsonDocument::fromJson(p.readAllStandardOutput()).array())
        ours += input[u"properties"_s][u"application.process.id"_s] == pid;
    return ours;
}

// Each reading ends the one before, as Skip and Stop do; a stream left behind
// would stay on the server until the end, and the server takes only so many.
TEST_F(ReadingTest, ReadingManyArticlesAloudLeavesNoSoundStreamBehind)
{
    StartReading();
    int words = 0;
    QObject::connect(form->Driver()->TTS1(), &TTTS::OnWordPosition, form, [&words] { ++words; });
    for (int i = 1; i <= 300; ++i) {
        ASSERT_TRUE(form->Driver()->Play(u"a"_s, form->Preferences().TTS_DefaultVoiceName)) << i << Messages();
        if (i % 60 == 0) {
            ASSERT_LE(OurSinkInputs(), 2) << "after " << i << " articles";
        }
    }
    // The last one is heard to its end.
    ASSERT_TRUE(waitFor([&] { return completions == 1 && words >= 1 && OurSinkInputs() <= 1; }, 10000));
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

// The encoder's sound is checked for every preset in Mp3PresetTest, the
// length of encoded speech in CliReadToFile, and safe names in OutputNamesTest.
TEST_F(ReadingTest, ReadToFileGivesOneWavOrAnMp3PerArticleAtThePreset)
{
    if (QStandardPaths::findExecutable(u"mpg123"_s).isEmpty())
        GTEST_SKIP() << "mpg123 is needed";
    StoreSettings({{"BitRate", 56}});
    StartReading();

    // One WAV for the whole list, named after the first title; a file of
    // that name is not replaced, and the status bar says so.
    ASSERT_TRUE(TestSupport::writeFile(out + u"/First.wav"_s, "the user's own"));
    ui->PlayFileBtn->click();
    ASSERT_TRUE(WaitIdle()) << Messages();
    EXPECT_EQ(OutFiles(), (QStringList{u"First (2).wav"_s, u"First.wav"_s}));
    EXPECT_EQ(TestSupport::readFile(out + u"/First.wav"_s), "the user's own");
    EXPECT_EQ(form->StatusText(), u"\"First.wav\" exists; the speech was saved as \"First (2).wav\""_s);
    EXPECT_GT(TestSupport::readWav(out + u"/First (2).wav"_s).seconds(), 2.0);
    // The file destination ended with the reading: the pronunciation editor
    // (and its Test button) leaves the finished file alone.
    const QByteArray wav = TestSupport::readFile(out + u"/First (2).wav"_s);
    EXPECT_EQ(OpenedDialogs([this] { ui->PronunciationMItm->trigger(); }).size(), 2);
    EXPECT_EQ(TestSupport::readFile(out + u"/First (2).wav"_s), wav);
    QDir(out).removeRecursively();
    QDir().mkpath(out);

    // One MP3 per article at 56 kbit/s and 44.1 kHz.
    MultiSheet().ODestMultiple->click();
    FileTab().FileFormatMP3->click();
    EXPECT_FALSE(FileTab().AudioQltyCbx->isHidden());
    ui->PlayFileBtn->click();
    ASSERT_TRUE(WaitIdle()) << Messages();
    // And a playlist of them, named after their folder.
    ASSERT_EQ(OutFiles(), (QStringList{u"First.mp3"_s, u"Second.mp3"_s, u"Third.mp3"_s, u"out.m3u8"_s}));
    EXPECT_TRUE(TestSupport::readFile(out + u"/out.m3u8"_s).endsWith("Third.mp3\n"));
    for (const QString &file : OutFiles().mid(0, 3))
        EXPECT_EQ(Mp3Format(out + u'/' + file), u"MPEG 1.0 L III cbr56 44100 mono"_s) << file.toStdString();
    // Nor does it look for the WAV the encoder took and removed.
    EXPECT_EQ(OpenedDialogs([this] { ui->PronunciationMItm->trigger(); }).size(), 2);
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(ReadingTest, StopLeavesNoFileAndMissingTitleOrFolderReadsNothing)
{
    SaveArticles(Record("Long", QByteArray("Many words to read into a file. ").repeated(200)) +
                 Record("", "No title."));
    StartReading();
    ui->PlayFileBtn->click();
    ASSERT_TRUE(waitFor([this] { return !OutFiles().isEmpty(); }, 10000));
    ui->StopBtn->click();
    EXPECT_EQ(form->State(), rsIdle);
    EXPECT_TRUE(OutFiles().isEmpty());

    // A WAV that outgrows what its header can say (4 GB, made small here)
    // is stopped and not made; the message suggests MP3.
    form->Reading()->SetWavSoundLimit(50000);
    ui->PlayFileBtn->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(messages.value(0).startsWith(u"Cannot write \""_s + out + u"/Long.wav\": a WAV file"_s)) << Messages();
    EXPECT_TRUE(messages.value(0).contains(u"MP3"_s));
    EXPECT_TRUE(OutFiles().isEmpty());
    messages.clear();

    // Multiple files need a title on every article: the untitled one is marked.
    MultiSheet().ODestMultiple->click();
    ui->PlayFileBtn->click();
    EXPECT_EQ(form->State(), rsIdle);
    EXPECT_EQ(messages.value(0), u"A title is required for each item entry when\routputting to multiple files"_s);
    EXPECT_EQ(form->List()->CurrentEntry(), Entry(1));
    // Its own Read to File button in Single File output says the same of one file.
    messages.clear();
    form->ListView()->ViewFor(Entry(1))->Header->ReadToFileBtn->click();
    EXPECT_TRUE(messages.value(0).startsWith(u"A title is required to output speech to a file"_s)) << Messages();

    // A folder that is gone.
    messages.clear();
    FileTab().OutDirEdit->setText(homeDir() + u"/gone"_s);
    emit FileTab().OutDirEdit->textEdited(FileTab().OutDirEdit->text());
    ui->PlayFileBtn->click();
    EXPECT_EQ(messages, QStringList{u"File Output Directory is invalid"_s});
    EXPECT_EQ(ui->PageControl1->currentWidget(), ui->FileOptionsSheet);
    EXPECT_TRUE(OutFiles().isEmpty());
}

}  // namespace
