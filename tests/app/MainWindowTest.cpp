// The main window on the offscreen platform: start-up and the first show,
// the layout rules, list modes, voice policies, opening text files, the
// close box against the exit command, and the floating toolbar's rules.
#include "AppWindows.h"
#include "ReaderUnit.h"
#include "ToolBarUnit.h"
#include "ui_ReaderUnit.h"

#include "TestSupport.h"
#include "articles/MemoListUnit.h"
#include "platform/audio/ScriptedAudioSystem.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/MessageService.h"
#include "reader/TTSUnit.h"
#include "settings/PreferenceUnit.h"
#include "util/UtilsClass.h"
#include "voices/TTSEngineUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QProgressBar>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::homeDir;
using TestSupport::readFile;
using TestSupport::waitFor;
using TestSupport::writeFile;

namespace {

const QByteArray kStart = "||||||Voxtrella MP3 Start of Article||||||\r\n";
const QByteArray kEnd = "||||||Voxtrella MP3 End of Article||||||\r\n";

QByteArray Record(const QByteArray &title, const QByteArray &voice, const QByteArray &text)
{
    return kStart + title + "|" + voice + "|1\r\n" + text + "\r\n" + kEnd;
}

QString ExportPath()
{
    return homeDir() + QStringLiteral("/VXExport.txt");
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto scripted = std::make_unique<audio::ScriptedAudioSystem>();
        scripted->setPlaybackRate(8.0);
        sound = scripted.get();
        audio::setAudioSystem(std::move(scripted));
        MessageService::setHandler([this](const MessageService::Message &m) {
            messages << m.text;
            return QMessageBox::Ok;
        });
    }

    void TearDown() override
    {
        windows.reset();
        MessageService::setHandler({});
        audio::setAudioSystem(nullptr);
    }

    // Settings of an earlier run, written before the windows exist.
    void StoreSetting(const QString &name, const QVariant &value)
    {
        TPreferences prefs;
        Prefs = &prefs;
        prefs.LoadFromRegistry();
        prefs.SetValue(name, value);
        prefs.SaveToRegistry();
        Prefs = nullptr;
    }

    // Starts the program the way the program entry does and waits until the
    // first show has filled the list.
    void Start()
    {
        windows = std::make_unique<AppWindows>();
        ASSERT_TRUE(windows->Create());
        form = windows->MainForm();
        ui = form->form();
        form->show();
        ASSERT_TRUE(waitFor([this] { return form->ListInfoInitialised(); }, 20000));
    }

    // Leaves the program with the exit command.
    void Exit()
    {
        form->ExitVoxtrellaClick();
        windows.reset();
        form = nullptr;
    }

    QStringList Titles() const
    {
        QStringList titles;
        for (int i = 0; i < form->List()->GetVisibleCount(); ++i)
            titles << form->List()->Entry(i)->Title();
        return titles;
    }

    // Leaves exactly the first n catalogue voices as favourites.
    QStringList KeepFavorites(int n)
    {
        QStringList names;
        TVoiceList &voices = TTSForm->Voices();
        for (int i = 0; i < voices.Count(); ++i) {
            TVoiceEntry *v = voices.Items(i);
            v->Engine->Enabled = true;
            v->Favorite = names.size() < n;
            if (v->Favorite)
                names << v->DisplayName;
        }
        form->LoadFavoriteVoices();
        return names;
    }

    QAction *Tray(const char *name) const { return form->TrayItem(name); }

    std::unique_ptr<AppWindows> windows;
    TForm1 *form = nullptr;
    Ui::TForm1 *ui = nullptr;
    QStringList messages;
    audio::ScriptedAudioSystem *sound = nullptr;
};

TEST_F(MainWindowTest, FirstRunShowsIntroArticlesAndTheNextRunTheArticlesSavedAtExit)
{
    Start();
    // The introduction file's records, in order.
    const QByteArray intro = readFile(AppPaths::dataDir() + QStringLiteral("/VXIntro.chl"));
    ASSERT_FALSE(intro.isEmpty());
    const QString firstTitle = QString::fromUtf8(intro.split('\n').value(1)).section(QLatin1Char('|'), 0, 0);
    ASSERT_GE(form->List()->GetVisibleCount(), 1);
    EXPECT_EQ(form->List()->Entry(0)->Title(), firstTitle);
    EXPECT_FALSE(Prefs->FirstTimeUser);

    form->ToolButton2Click();
    TMemoEntry *added = form->AddNewArticle();
    ASSERT_NE(added, nullptr);
    added->SetTitle(QStringLiteral("Typed"));
    added->SetText(QStringLiteral("What the user typed"));
    const QStringList before = Titles();
    Exit();

    EXPECT_TRUE(readFile(ExportPath()).contains("What the user typed"));
    Start();
    EXPECT_EQ(Titles(), before);
    EXPECT_EQ(form->List()->Entry(form->List()->GetVisibleCount() - 1)->Text(), QStringLiteral("What the user typed"));
}

TEST_F(MainWindowTest, EmptyOrMissingSavedArticlesGiveOneEmptyArticleNeverAnEmptyList)
{
    StoreSetting(QStringLiteral("FirstTimeUser"), false);
    ASSERT_TRUE(writeFile(ExportPath(), QByteArray()));
    Start();
    ASSERT_EQ(form->List()->GetVisibleCount(), 1);
    EXPECT_TRUE(form->List()->Entry(0)->Text().isEmpty());
    EXPECT_EQ(form->ArticleCountText(), QStringLiteral("No articles"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("No articles"));
    Exit();

    QFile::remove(ExportPath());
    Start();
    EXPECT_EQ(form->List()->GetVisibleCount(), 1);
}

TEST_F(MainWindowTest, StartUpCreatesTheWindowsInOrderAndRunsTheFirstShowOnce)
{
    StoreSetting(QStringLiteral("FirstTimeUser"), false);
    ASSERT_TRUE(writeFile(ExportPath(), Record("One", "", "first") + Record("Two", "", "second")));
    StoreSetting(QStringLiteral("ML_ListMode"), 1);
    Start();
    EXPECT_EQ(Form1, form);
    EXPECT_NE(TTSForm, nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Voxtrella MP3"));
    EXPECT_GT(TTSForm->Voices().Count(), 0);
    EXPECT_EQ(Titles(), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_EQ(form->List()->CurrentEntry(), form->List()->Entry(0));
    EXPECT_EQ(form->StatusText(), QStringLiteral("2 articles"));
    EXPECT_EQ(form->State(), rsIdle);
    ASSERT_NE(form->TrayIcon(), nullptr);
    EXPECT_EQ(form->TrayIcon()->toolTip(), QStringLiteral("Voxtrella MP3"));

    // A second show (restoring from the tray) imports nothing again.
    form->hide();
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->List()->GetVisibleCount(), 2);

    const QString log = QString::fromUtf8(readFile(UtilsClass::LogFileName()));
    const qsizetype version = log.indexOf(QStringLiteral("Version: 1.204"));
    const qsizetype entered = log.indexOf(QStringLiteral("Entered FormShow"));
    const qsizetype exiting = log.indexOf(QStringLiteral("Exiting FormShow"));
    EXPECT_GE(version, 0);
    EXPECT_GT(entered, version);
    EXPECT_GT(exiting, entered);
    EXPECT_EQ(log.count(QStringLiteral("Entered FormShow")), 1);
}

TEST_F(MainWindowTest, NoSoundDeviceEndsTheProgramWithTheMessage)
{
    auto scripted = std::make_unique<audio::ScriptedAudioSystem>();
    scripted->setServerReachable(false);
    audio::setAudioSystem(std::move(scripted));
    windows = std::make_unique<AppWindows>();
    ASSERT_TRUE(windows->Create());
    form = windows->MainForm();
    bool quit = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&quit] { quit = true; });
    form->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().startsWith(QStringLiteral("Sound Card not found")));
    EXPECT_TRUE(form->Terminating());
    // No articles were imported and the tray icon never came.
    EXPECT_EQ(form->TrayIcon(), nullptr);
}

TEST_F(MainWindowTest, StatusPanelsSplitThreeQuartersAndTheGaugeSitsOverTheSecond)
{
    Start();
    form->resize(798, 500);
    QCoreApplication::processEvents();
    ASSERT_EQ(form->width(), 798);
    EXPECT_EQ(form->StatusPanelWidth(0), 598);  // 598.5 goes to the even neighbour
    EXPECT_EQ(form->StatusPanelWidth(1), 200);
    EXPECT_EQ(form->Gauge()->geometry(), QRect(600, 2, 200, 15));
    EXPECT_FALSE(form->Gauge()->isVisible());

    form->resize(802, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->StatusPanelWidth(0), 602);  // 601.5 goes up to the even one
    EXPECT_EQ(form->StatusPanelWidth(1), 200);
}

TEST_F(MainWindowTest, OptionsAndToolbarTogglesFollowTheHeightRules)
{
    Start();
    EXPECT_EQ(TForm1::FullOptionsHeight(120), 316);
    EXPECT_EQ(TForm1::FullOptionsHeight(96), 257);
    ASSERT_EQ(ui->Panel2->height(), 257);

    form->MMLabel1Click();  // options off
    EXPECT_FALSE(Prefs->ShowOptions);
    EXPECT_FALSE(ui->OptionsBtn->isChecked());
    EXPECT_FALSE(ui->ShowOptionsMItm->isChecked());
    EXPECT_EQ(ui->Panel2->height(), 56);

    form->ShowToolbarMItmClick();  // toolbar off too
    EXPECT_FALSE(Prefs->ShowToolbar);
    EXPECT_FALSE(ui->ShowToolbarMItm->isChecked());
    EXPECT_FALSE(ui->Panel2->isVisible());

    form->MMLabel1Click();  // options only
    EXPECT_EQ(ui->Panel2->height(), TForm1::FullOptionsHeight(form->screen()->logicalDotsPerInch()) - 56);

    form->ShowToolbarMItmClick();  // both: the toolbar toggle always uses 257
    EXPECT_EQ(ui->Panel2->height(), 257);
    EXPECT_TRUE(ui->ToolBar1->isVisible());

    // Stored settings shape the next start.
    form->MMLabel1Click();
    form->ShowToolbarMItmClick();
    Exit();
    Start();
    EXPECT_FALSE(ui->Panel2->isVisible());
    EXPECT_FALSE(ui->ShowToolbarMItm->isChecked());
    EXPECT_FALSE(ui->OptionsBtn->isChecked());
}

TEST_F(MainWindowTest, ModeSwitchesKeepOneArticleAndIgnoreTheActiveMode)
{
    Start();
    ASSERT_EQ(Prefs->ML_ListMode, 0);
    EXPECT_TRUE(ui->ToolButton1->isChecked());
    EXPECT_TRUE(ui->SingleMItm->isChecked());
    EXPECT_TRUE(Tray("SIPoNtry")->isChecked());
    EXPECT_EQ(ui->MISIOptionsPage->currentWidget(), ui->SIOptionsSheet);

    const QByteArray logBefore = readFile(UtilsClass::LogFileName());
    form->ToolButton1Click();  // already Single-Article
    EXPECT_EQ(readFile(UtilsClass::LogFileName()), logBefore);

    form->ToolButton2Click();
    EXPECT_EQ(Prefs->ML_ListMode, 1);
    EXPECT_TRUE(form->List()->MultiArticle());
    EXPECT_EQ(form->List()->VisibleEntries(), Prefs->ML_VisibleEntries);
    EXPECT_TRUE(ui->ToolButton2->isChecked());
    EXPECT_TRUE(ui->MultiMItm->isChecked());
    EXPECT_TRUE(Tray("MIPoNtry")->isChecked());
    EXPECT_EQ(ui->MISIOptionsPage->currentWidget(), ui->MIOptionsSheet);
    EXPECT_TRUE(ui->SkipBtn->isEnabled() == false);

    // Only blank articles: back in Single-Article mode exactly one is left.
    form->List()->DeleteAll();
    form->AddNewArticle();
    form->AddNewArticle();
    form->List()->Entry(0)->SetText(QStringLiteral("   "));
    form->ToolButton1Click();
    EXPECT_EQ(form->List()->GetVisibleCount(), 1);
    EXPECT_TRUE(form->List()->Entry(0)->Text().trimmed().isEmpty());
    EXPECT_EQ(form->List()->VisibleEntries(), 1);
    EXPECT_TRUE(QString::fromUtf8(readFile(UtilsClass::LogFileName())).contains(QStringLiteral("Calling AddNew")));

    // The tray items switch too.
    Tray("MIPoNtry")->trigger();
    EXPECT_EQ(Prefs->ML_ListMode, 1);
    EXPECT_TRUE(ui->ToolButton2->isChecked());
}

TEST_F(MainWindowTest, OptionControlsWriteTheSettingOfTheCurrentMode)
{
    Start();
    // The sheet shown at start-up already shows the stored values.
    EXPECT_TRUE(ui->SIVoiceDefault->isChecked());
    EXPECT_TRUE(ui->AutoTitleCB->isChecked());
    ui->SIVoiceRandom->click();
    EXPECT_EQ(Prefs->SI_Voice, 1);
    ui->AutoSpeakCB->click();
    EXPECT_TRUE(Prefs->SI_AutoSpeak);
    ui->AutoTitleCB->click();
    EXPECT_FALSE(Prefs->SI_DefaultTitles);

    form->ToolButton2Click();
    EXPECT_FALSE(ui->MIVoiceRandom->isChecked());
    EXPECT_TRUE(ui->MIVoiceDefault->isChecked());
    ui->MIVoiceRoundRobin->click();
    EXPECT_EQ(Prefs->MI_Voice, 2);
    EXPECT_EQ(Prefs->SI_Voice, 1);
    ui->ODestMultiple->click();
    EXPECT_EQ(Prefs->OUT_FileDest, 1);
    EXPECT_EQ(form->Target(), otMultipleFiles);
    ui->AutoDeleteCB->click();
    EXPECT_TRUE(Prefs->ML_AutoDelete);
    ui->FilterCB->click();
    EXPECT_FALSE(Prefs->TTS_FilterSymbols);
    ui->HighlightCB->click();
    EXPECT_FALSE(Prefs->TTS_HighlightPosition);

    // Back in Single-Article mode the sheet shows the Single-Article values.
    form->ToolButton1Click();
    EXPECT_TRUE(ui->SIVoiceRandom->isChecked());
    EXPECT_TRUE(ui->AutoSpeakCB->isChecked());
    EXPECT_FALSE(ui->AutoTitleCB->isChecked());

    // The default voice box writes the voice name.
    ASSERT_GE(ui->DfltVoiceCB->count(), 2);
    ui->DfltVoiceCB->setCurrentIndex(1);
    emit ui->DfltVoiceCB->activated(1);
    EXPECT_EQ(Prefs->TTS_DefaultVoiceName, ui->DfltVoiceCB->itemText(1));
}

TEST_F(MainWindowTest, VoicePoliciesDefaultRandomAndRoundRobin)
{
    Start();
    form->ToolButton2Click();
    const QStringList three = KeepFavorites(3);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(form->FavoriteVoices(), three);
    EXPECT_EQ(ui->DfltVoiceCB->count(), 3);

    Prefs->MI_Voice = 2;
    // A blank article would be reused with its voice; these all have text.
    for (int i = 0; i < form->List()->GetVisibleCount(); ++i)
        form->List()->Entry(i)->SetText(QStringLiteral("Existing text"));
    QStringList got;
    for (int i = 0; i < 5; ++i) {
        TMemoEntry *e = form->AddNewArticle();
        got << e->VoiceName();
        e->SetText(QStringLiteral("Typed"));
    }
    EXPECT_EQ(got, (QStringList{three[0], three[1], three[2], three[0], three[1]}));

    form->LoadFavoriteVoices();  // reloading starts again with the first
    EXPECT_EQ(form->RoundRobinIndex(), -1);
    EXPECT_EQ(form->ChooseVoice(), three[0]);

    Prefs->MI_Voice = 1;
    QSet<QString> random;
    for (int i = 0; i < 60; ++i) {
        const QString v = form->ChooseVoice();
        EXPECT_TRUE(three.contains(v)) << v.toStdString();
        random.insert(v);
    }
    EXPECT_GT(random.size(), 1);

    Prefs->MI_Voice = 0;
    Prefs->TTS_DefaultVoiceName = three[2];
    EXPECT_EQ(form->ChooseVoice(), three[2]);

    // Voices of a disabled engine are no favourites for new articles.
    TTSForm->Voices().Items(0)->Engine->Enabled = false;
    form->LoadFavoriteVoices();
    EXPECT_FALSE(form->FavoriteVoices().contains(three[0]));
    TTSForm->Voices().Items(0)->Engine->Enabled = true;

    // No favourite at all: new articles still get the default voice.
    KeepFavorites(0);
    Prefs->MI_Voice = 2;
    EXPECT_EQ(form->ChooseVoice(), Prefs->TTS_DefaultVoiceName);
    Prefs->MI_Voice = 1;
    EXPECT_EQ(form->ChooseVoice(), Prefs->TTS_DefaultVoiceName);
    EXPECT_EQ(ui->DfltVoiceCB->count(), 0);
}

TEST_F(MainWindowTest, OpeningTextFilesTitlesThemAfterTheFileName)
{
    Start();
    form->ToolButton2Click();
    const QString dir = homeDir() + QStringLiteral("/texts");
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/My News.txt"), "Hello\nWorld\n"));
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/report.v2.TXT"), "Two dots"));
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/README"), "No extension"));
    form->List()->DeleteAll();
    form->OpenTextFiles({dir + QStringLiteral("/My News.txt"), dir + QStringLiteral("/report.v2.TXT"),
                         dir + QStringLiteral("/README")});
    EXPECT_EQ(Titles(), (QStringList{QStringLiteral("My_News"), QStringLiteral("report"), QStringLiteral("README")}));
    EXPECT_EQ(form->List()->Entry(0)->Text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
              QStringLiteral("Hello\nWorld"));
    EXPECT_EQ(Prefs->OpenDlgInitialDir, dir);
    EXPECT_EQ(form->StatusText(), QStringLiteral("3 articles"));
    // Saved at once.
    const QByteArray saved = readFile(ExportPath());
    EXPECT_TRUE(saved.contains("My_News|"));
    EXPECT_TRUE(saved.contains("No extension"));

    // A file that vanished before it was read is reported, not silently dropped.
    messages.clear();
    form->OpenTextFiles({dir + QStringLiteral("/gone.txt")});
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(MainWindowTest, OpenDialogOffersTextFilesInAnyCaseAndSeveralOnlyInMultiArticleMode)
{
    Start();
    std::unique_ptr<QFileDialog> single = form->CreateOpenDialog();
    EXPECT_EQ(single->nameFilters(), QStringList{QStringLiteral("Text files (*.txt)")});
    EXPECT_FALSE(single->filter() & QDir::CaseSensitive);
    EXPECT_EQ(single->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(single->directory().absolutePath(), QDir(Prefs->OpenDlgInitialDir).absolutePath());
    form->ToolButton2Click();
    EXPECT_EQ(form->CreateOpenDialog()->fileMode(), QFileDialog::ExistingFiles);
}

TEST_F(MainWindowTest, OpeningAFileWhileTheSingleArticleIsReadIsRefused)
{
    Start();
    ASSERT_EQ(Prefs->ML_ListMode, 0);
    TMemoEntry *single = form->List()->Entry(0);
    single->SetText(QStringLiteral("Being read"));
    single->Locked = true;
    const QString file = homeDir() + QStringLiteral("/new.txt");
    ASSERT_TRUE(writeFile(file, "New text"));
    form->OpenTextFiles({file});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(), QStringLiteral("This item is currently being read and cannot be deleted"));
    ASSERT_EQ(form->List()->GetVisibleCount(), 1);
    EXPECT_EQ(form->List()->Entry(0)->Text(), QStringLiteral("Being read"));
    single->Locked = false;
}

TEST_F(MainWindowTest, DeletingTheLastArticleLeavesOneEmptyArticle)
{
    Start();
    form->ToolButton2Click();
    form->List()->DeleteAll();
    TMemoEntry *only = form->CreateArticle(QStringLiteral("Some text"), QString());
    ASSERT_NE(only, nullptr);
    form->ArticleDeleteRequest(only);
    ASSERT_EQ(form->List()->GetVisibleCount(), 1);
    EXPECT_TRUE(form->List()->Entry(0)->Text().isEmpty());
    EXPECT_FALSE(readFile(ExportPath()).contains("Some text"));

    form->List()->Entry(0)->SetText(QStringLiteral("Again"));
    form->List()->MarkEntry(1);
    form->DelSelPopupClick();
    ASSERT_EQ(form->List()->GetVisibleCount(), 1);
    EXPECT_TRUE(form->List()->Entry(0)->Text().isEmpty());

    // A locked article stays, with the message.
    form->List()->Entry(0)->Locked = true;
    form->ArticleDeleteRequest(form->List()->Entry(0));
    EXPECT_EQ(messages.value(0), QStringLiteral("This item is currently being read and cannot be deleted"));
    form->List()->UnlockAllEntries();

    // Paste is offered only with a selected article.
    form->List()->DeleteSelected();
    form->UpdateStatus(QString());
    EXPECT_FALSE(ui->PasteBtn->isEnabled());
    EXPECT_FALSE(ui->Paste1->isEnabled());
    form->AddNewArticle();
    EXPECT_TRUE(ui->PasteBtn->isEnabled());
    QApplication::clipboard()->setText(QStringLiteral("From the clipboard"));
    form->Paste1Execute();
    EXPECT_EQ(form->List()->CurrentEntry()->Text(), QStringLiteral("From the clipboard"));
}

TEST_F(MainWindowTest, CloseBoxKeepsTheProgramRunningOnlyExitSaves)
{
    Start();
    form->List()->Entry(0)->SetText(QStringLiteral("Typed before closing"));
    bool quit = false;
    auto connection = QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&quit] { quit = true; });
    form->close();
    QCoreApplication::processEvents();
    EXPECT_NE(Form1, nullptr);
    EXPECT_TRUE(!form->isVisible() || form->isMinimized());
    EXPECT_NE(form->State(), rsExiting);
    // The close box saved the settings but not the articles.
    EXPECT_FALSE(readFile(ExportPath()).contains("Typed before closing"));
    EXPECT_TRUE(QFile::exists(AppPaths::settingsFile()));

    form->RestoreFromTray();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());

    form->ExitVoxtrellaClick();
    EXPECT_EQ(form->State(), rsExiting);
    EXPECT_TRUE(readFile(ExportPath()).contains("Typed before closing"));
    EXPECT_EQ(form->List()->Count(), 0);
    QObject::disconnect(connection);
}

TEST_F(MainWindowTest, FloatingToolbarFollowsItsShowingRules)
{
    Start();
    TToolBarForm *toolbar = form->ToolBar();
    ASSERT_NE(toolbar, nullptr);
    QAction *showToolbar = Tray("ToolBarPONtry");
    EXPECT_FALSE(showToolbar->isEnabled());

    // "On request only": nothing but the tray, and the tray item comes on.
    Prefs->ToolbarOnMinOption = 0;
    form->AppMinimize();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_TRUE(showToolbar->isEnabled());
    form->ToolBarPONtryClick();
    EXPECT_TRUE(toolbar->isVisible());
    EXPECT_FALSE(showToolbar->isEnabled());
    // Closing the toolbar only hides it.
    toolbar->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_TRUE(showToolbar->isEnabled());
    form->RestoreFromTray();
    EXPECT_FALSE(showToolbar->isEnabled());

    // "When minimized".
    Prefs->ToolbarOnMinOption = 1;
    form->AppMinimize();
    EXPECT_TRUE(toolbar->isVisible());
    form->RestoreFromTray();
    EXPECT_FALSE(toolbar->isVisible());
    // The user minimising the window, and bringing it back (from the task
    // bar when there is no tray), follow the same rules.
    form->showMinimized();
    ASSERT_TRUE(waitFor([toolbar] { return toolbar->isVisible(); }, 2000));
    form->showNormal();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_FALSE(showToolbar->isEnabled());

    // "When minimized and reading starts": not while idle, but when reading starts.
    Prefs->ToolbarOnMinOption = 2;
    form->AppMinimize();
    EXPECT_FALSE(toolbar->isVisible());
    form->SetReadingState(rsReading);
    EXPECT_TRUE(toolbar->isVisible());
    EXPECT_FALSE(ui->PlayToolBtn->isEnabled());
    EXPECT_TRUE(ui->StopBtn->isEnabled());
    EXPECT_FALSE(ui->SkipBtn->isEnabled());  // Single-Article mode
    form->SetReadingState(rsIdle);
    form->RestoreFromTray();
    EXPECT_FALSE(toolbar->isVisible());

    // The Misc tab writes both toolbar settings.
    ui->ToolbarMinCB->setCurrentIndex(0);
    emit ui->ToolbarMinCB->activated(0);
    EXPECT_EQ(Prefs->ToolbarOnMinOption, 0);
    ui->TBOnTopCB->click();
    EXPECT_TRUE(Prefs->ToolbarOnTop);
}

TEST_F(MainWindowTest, AutostartCheckBoxWritesAndRemovesTheLoginEntry)
{
    Start();
    const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/voxtrella.desktop");
    ui->PageControl1->setCurrentWidget(ui->MiscSheet);
    EXPECT_FALSE(ui->AutoStartAppCB->isChecked());
    ui->AutoStartAppCB->click();
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(readFile(entry).contains(" -auto"));
    ui->AutoStartAppCB->click();
    EXPECT_FALSE(QFile::exists(entry));

    // An entry left by an older program file is rewritten at the next start.
    ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\nType=Application\nName=Voxtrella MP3\nExec=/old/place/voxtrella -auto\n"));
    Exit();
    Start();
    const QByteArray rewritten = readFile(entry);
    EXPECT_FALSE(rewritten.contains("/old/place"));
    EXPECT_TRUE(rewritten.contains(QFileInfo(AppPaths::programFilePath()).fileName().toUtf8()));
    ui->PageControl1->setCurrentWidget(ui->ClipboardSheet);
    ui->PageControl1->setCurrentWidget(ui->MiscSheet);
    EXPECT_TRUE(ui->AutoStartAppCB->isChecked());
}

TEST_F(MainWindowTest, ReadingDriverChecksTheDeviceAndQueriesVoiceRanges)
{
    Start();
    const int32_t before = TTSForm->TTS1->AudioDeviceID();
    EXPECT_TRUE(TTSForm->CheckAudioDevice(-1));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('|')).toStdString();
    // A device number the sound server does not have is refused, with both messages.
    EXPECT_FALSE(TTSForm->CheckAudioDevice(7));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("Audio device check failed. \rVerify")));
    EXPECT_EQ(TTSForm->TTS1->AudioDeviceID(), before);
    EXPECT_FALSE(TTSForm->TTS1->Active());

    TVoiceEntry *voice = TTSForm->Voices().Items(0);
    voice->Pitch = 0;
    voice->Speed = 0;
    TTSForm->LoadVoiceDefaults(voice);
    EXPECT_GE(voice->PitchMin, 0);
    EXPECT_GT(voice->PitchMax, voice->PitchMin);
    EXPECT_GT(voice->SpeedMax, voice->SpeedMin);
    EXPECT_EQ(voice->Pitch, voice->PitchDefault);
    EXPECT_EQ(voice->Speed, voice->SpeedDefault);
    EXPECT_GT(voice->Speed, 0);
    // A speed the user chose stays.
    voice->Speed = voice->SpeedMin + 1;
    TTSForm->LoadVoiceDefaults(voice);
    EXPECT_EQ(voice->Speed, voice->SpeedMin + 1);

    // An unknown voice is refused with its name.
    messages.clear();
    int done = 0;
    TTSForm->OnDone = [&done](QObject *) { ++done; };
    EXPECT_FALSE(TTSForm->Play(QStringLiteral("Hello"), QStringLiteral("Nobody")));
    EXPECT_EQ(messages.value(0), QStringLiteral("Voice Nobody does not exist"));

    // A pause is no end; the end is reported once, after the audio stopped.
    ASSERT_TRUE(TTSForm->Play(QStringLiteral("One two three four five six seven eight nine ten."), voice->DisplayName));
    ASSERT_TRUE(waitFor([this] { return !sound->streams().empty() && !sound->streams().back()->bytes().isEmpty(); },
                        10000));
    TTSForm->PauseAudio();
    EXPECT_FALSE(waitFor([&done] { return done > 0; }, 1500));
    TTSForm->ResumeAudio();
    ASSERT_TRUE(waitFor([&done] { return done > 0; }, 30000));
    EXPECT_FALSE(waitFor([&done] { return done > 1; }, 1000));
    EXPECT_EQ(done, 1);
    TTSForm->OnDone = nullptr;
}

TEST_F(MainWindowTest, PronunciationEditorOpensAfterItsNoteWithTheWindowTitle)
{
    Start();
    // Closes each dialog as it opens and notes which it was.
    QStringList opened;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened << modal->objectName() + QLatin1Char('=') + modal->windowTitle();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
    closer.start(50);
    ui->PronunciationMItm->trigger();
    closer.stop();
    ASSERT_EQ(opened.size(), 2) << opened.join(QLatin1Char('|')).toStdString();
    // Flite is an engine the editor does not serve, so the note comes first.
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("=Pronunciation Editor Info"))) << opened[0].toStdString();
    EXPECT_TRUE(opened[1].endsWith(QStringLiteral("=Voxtrella MP3 Pronunciation"))) << opened[1].toStdString();
    EXPECT_FALSE(TTSForm->TTS1->Active());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('|')).toStdString();

    // While a text is read the editor does not open.
    Prefs->ShowPronEditWarning = false;
    form->SetReadingState(rsReading);
    EXPECT_FALSE(ui->PronunciationMItm->isEnabled());
    EXPECT_FALSE(ui->SelAudioDevMItm->isEnabled());
    form->SetReadingState(rsIdle);
    EXPECT_TRUE(ui->PronunciationMItm->isEnabled());
}

TEST_F(MainWindowTest, SelectAudioDeviceStoresOnlyADeviceThatPassesTheCheck)
{
    sound->setDevices({{audio::ScriptedAudioSystem::makeCaps(QStringLiteral("First"), 2)},
                       {audio::ScriptedAudioSystem::makeCaps(QStringLiteral("Second"), 2)}});
    Start();
    ASSERT_EQ(Prefs->TTS_AudioDeviceID, -1);
    // Chooses the given row of the device list and confirms.
    auto choose = [](int row) {
        QTimer::singleShot(100, [row] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto *list = dialog->findChild<QListWidget *>(QStringLiteral("ListBox1"));
            ASSERT_NE(list, nullptr);
            list->setCurrentRow(row);
            dialog->accept();
        });
    };
    choose(2);  // the mapper row, then device 0, then device 1
    ui->SelAudioDevMItm->trigger();
    EXPECT_EQ(Prefs->TTS_AudioDeviceID, 1);
    EXPECT_EQ(TTSForm->TTS1->AudioDeviceID(), 1);

    // A device that fails its check is not taken.
    sound->setOpenFails(0, true);
    choose(1);
    ui->SelAudioDevMItm->trigger();
    EXPECT_EQ(Prefs->TTS_AudioDeviceID, 1);
    EXPECT_EQ(TTSForm->TTS1->AudioDeviceID(), 1);
    EXPECT_FALSE(messages.isEmpty());
}

TEST_F(MainWindowTest, AudioHelpMenuListsTheTopicsOfTheHelpFile)
{
    Start();
    const QByteArray help = readFile(AppPaths::dataDir() + QStringLiteral("/AudioHelp.chl"));
    ASSERT_FALSE(help.isEmpty());
    const QList<QAction *> items = ui->AudioHelp1->actions();
    ASSERT_FALSE(items.isEmpty());
    for (QAction *item : items)
        EXPECT_TRUE(help.contains(item->text().toUtf8())) << item->text().toStdString();

    // A topic is spoken to the speakers; the window returns to idle after it.
    items.first()->trigger();
    EXPECT_EQ(form->State(), rsReading);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Reading Audio Help"));
    EXPECT_FALSE(ui->PlayToolBtn->isEnabled());
    EXPECT_FALSE(ui->SkipBtn->isEnabled());
    EXPECT_TRUE(ui->StopBtn->isEnabled());
    ASSERT_TRUE(waitFor([this] { return form->State() == rsIdle; }, 60000));
    ASSERT_FALSE(sound->streams().empty());
    EXPECT_GT(sound->streams().back()->bytes().size(), 8000);
    EXPECT_FALSE(TTSForm->TTS1->Active());
    EXPECT_TRUE(ui->PlayToolBtn->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('|')).toStdString();

    // A taken sound card is refused before anything is spoken.
    sound->setBusy(-1, true);
    items.first()->trigger();
    EXPECT_EQ(messages.value(0), QStringLiteral("Sound card is busy.  Wait and try again."));
    EXPECT_EQ(form->State(), rsIdle);
    sound->setBusy(-1, false);
    messages.clear();

    // Without any English voice the user is told so.
    for (int i = 0; i < TTSForm->Voices().Count(); ++i) {
        TVoiceEntry *v = TTSForm->Voices().Items(i);
        if (LanguageCodeOf(v->Engine->LanguageID) == QLatin1String("eng") || v->DisplayName.contains(QLatin1String("Mary")))
            v->DisplayName = QStringLiteral("Renamed %1").arg(i);
        v->Engine->LanguageID = 1036;
    }
    items.first()->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().startsWith(QStringLiteral("An English Voice was not found")));
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleNameAndTheMenusTheirShortcuts)
{
    Start();
    const auto widgets = form->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                             qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractItemView *>(w);
        // Qt's own inner parts (a view's header, a spin box's edit) carry no name.
        if (control && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"))) {
            EXPECT_FALSE(w->accessibleName().isEmpty() && w->property("text").toString().isEmpty())
                << w->objectName().toStdString() << " " << w->metaObject()->className() << " in "
                << (w->parentWidget() ? w->parentWidget()->objectName().toStdString() : std::string());
        }
    }
    EXPECT_EQ(ui->OpenTextFile1->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(ui->PlaySpkrMItm->shortcut(), QKeySequence(QStringLiteral("Ctrl+F6")));
    EXPECT_EQ(ui->StopMItm->shortcut(), QKeySequence(QStringLiteral("Ctrl+F10")));
    EXPECT_EQ(ui->Paste1->shortcut(), QKeySequence(QStringLiteral("Ctrl+V")));
    EXPECT_EQ(ui->PageControl1->tabText(1), QStringLiteral("Engines / Voices"));
    EXPECT_EQ(ui->PageControl1->currentWidget(), ui->ClipboardSheet);
    EXPECT_EQ(form->PopupMenu2()->defaultAction()->text(), QStringLiteral("Restore"));
}

}  // namespace
