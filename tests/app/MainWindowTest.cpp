// The main window on the offscreen platform: start-up and the first show,
// the options band and toolbar, list modes, voice policies, opening text
// files, the close box against the exit command, and the floating toolbar.
#include "WindowTestSupport.h"

#include "HelpMenu.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>

namespace {

using namespace WindowTesting;
using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, FirstRunShowsTheIntroductionWholeLaterStartsTheSavedArticlesOnceOrOneEmptyArticle)
{
    Start();
    const QByteArray intro = readFile(AppPaths::dataDir() + u"/VXIntro.chl"_s);
    ASSERT_GE(Count(), 1);
    EXPECT_EQ(Entry(0)->Title(), QString::fromUtf8(intro.split('\n').value(1)).section(u'|', 0, 0));
    for (const QString &text : Texts()) {
        EXPECT_GT(text.size(), 200);
        EXPECT_FALSE(text.contains(u"||||||"_s));
    }
    // The introduction names no voice; its header shows the one that reads it.
    EXPECT_FALSE(form->Preferences().TTS_DefaultVoiceName.isEmpty());
    EXPECT_EQ(form->ListView()->ViewFor(Entry(0))->Header->VoiceCB->currentText(),
              form->Preferences().TTS_DefaultVoiceName);
    Exit();

    // A voice saved under the name an earlier version gave it shows, and is saved again, under its name now.
    StoreSettings({{"ML_ListMode", 1}, {"TTS_DefaultVoiceName", u"Andrea (Thai)"_s}});
    SaveArticles(Record("One|Andrea (Thai)", "first").replace("|Andrea (Thai)||", "|Andrea (Thai)|") +
                 Record("Two", "second"));
    Start();
    EXPECT_EQ(form->Preferences().TTS_DefaultVoiceName, u"Thai \u2013 Andrea"_s);
    EXPECT_EQ(Entry(0)->VoiceName(), u"Thai \u2013 Andrea"_s);
    EXPECT_EQ(Titles(), (QStringList{u"One"_s, u"Two"_s}));
    EXPECT_EQ(form->List()->CurrentEntry(), Entry(0));
    EXPECT_EQ(form->StatusText(), u"2 articles"_s);
    EXPECT_NE(form->TrayIcon(), nullptr);
    form->hide();  // restoring from the tray imports nothing again
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Count(), 2);
    Exit();

    SaveArticles({});  // a missing one gives the same: ClipboardTest starts without one
    Start();
    EXPECT_EQ(Texts(), QStringList{QString()});
    EXPECT_EQ(form->StatusText(), u"No articles"_s);
}

// The first show runs its steps from the event loop, so the exit command or
// a termination request can come while a start-up box is open: the start
// stops there, and the saved articles, not yet read, stay as they were.
TEST_F(MainWindowTest, AnExitDuringAStartUpNoticeEndsTheStartAndKeepsTheSavedArticles)
{
    const QByteArray saved = Record("Kept", "Saved by an earlier run");
    for (const auto kind : {Application::ExitKind::Command, Application::ExitKind::Unattended}) {
        SaveArticles(saved);
        ASSERT_TRUE(writeFile(AppPaths::settingsFile(), "not [ settings\n\x01\x02"));
        MessageService::setHandler([this, kind](const MessageService::Message &m) {
            messages << m.text;
            if (m.text.contains(u"could not be read"_s))
                application->Exit(kind);
            return UserInteraction::Ok;
        });
        Start(false);
        ASSERT_TRUE(waitFor([this] { return form->State() == rsExiting; }, 20000)) << Messages();
        TestSupport::idle(300);
        EXPECT_FALSE(form->ListInfoInitialised());
        EXPECT_FALSE(Log().contains(u"Exiting FormShow"_s));
        EXPECT_EQ(Saved(), saved) << Messages();
        application.reset();
        MessageService::setQuiet(false);
        messages.clear();
    }
}

TEST_F(MainWindowTest, OptionsAndToolbarTogglesFollowEveryControlAndTheBandKeepsTheHeightItWasDraggedTo)
{
    Start();
    // At the height it opens with, the band shows every option page whole, also after the toolbar went and came
    // back, and the window stays where it was.
    const QRect placed = form->geometry();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < ui->PageControl1->count(); ++i) {
            ui->PageControl1->setCurrentIndex(i);
            QCoreApplication::processEvents();
            for (const QScrollArea *page : ui->Panel3->findChildren<QScrollArea *>())
                EXPECT_FALSE(page->verticalScrollBar()->isVisible()) << page->objectName().toStdString() << round;
        }
        form->ShowToolbarMItmClick();
        form->ShowToolbarMItmClick();
    }
    EXPECT_EQ(form->geometry().topLeft(), placed.topLeft());
    const int designed = ui->Panel3->height();
    QSplitterHandle *handle = ui->OptionsSplitter->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(0, 40));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 40));
    QCoreApplication::processEvents();
    ASSERT_EQ(ui->Panel3->height(), designed + 40);
    const int both = ui->Panel2->height();
    form->ToggleOptionsBand();  // options off
    EXPECT_FALSE(ui->OptionsBtn->isChecked());
    EXPECT_FALSE(ui->ShowOptionsMItm->isChecked());
    EXPECT_LT(ui->Panel2->height(), both);
    form->ShowToolbarMItmClick();  // toolbar off too
    EXPECT_FALSE(ui->ShowToolbarMItm->isChecked());
    EXPECT_FALSE(ui->Panel2->isVisible());
    Exit();

    Start();
    EXPECT_FALSE(ui->Panel2->isVisible());
    EXPECT_FALSE(ui->ShowToolbarMItm->isChecked());
    EXPECT_FALSE(ui->OptionsBtn->isChecked());
    form->ToggleOptionsBand();  // options only
    EXPECT_TRUE(ui->Panel3->isVisible());
    EXPECT_FALSE(ui->ToolBar1->isVisible());
    EXPECT_LT(ui->Panel2->height(), both);
    form->ShowToolbarMItmClick();
    QCoreApplication::processEvents();
    EXPECT_EQ(ui->Panel2->height(), both);
    EXPECT_TRUE(ui->ToolBar1->isVisible());
    // Hidden, restarted and shown again, the band kept the dragged height.
    EXPECT_EQ(ui->Panel3->height(), designed + 40);
    Exit();

    // A damaged value: a negative one is none, a huge one leaves the list its lines.
    for (const int stored : {-40, 1000000}) {
        SCOPED_TRACE(stored);
        StoreSettings({{"OptionsHeight", stored}});
        Start();
        if (stored < 0)
            EXPECT_EQ(ui->Panel3->height(), designed);
        else
            EXPECT_GT(ui->Panel3->height(), designed);
        EXPECT_GE(ui->MainTextPanel->height(), 4 * form->fontMetrics().height());
        EXPECT_TRUE(form->rect().contains(QRect(ui->MainTextPanel->mapTo(form, QPoint()), ui->MainTextPanel->size())));
        Exit();
    }
}

TEST_F(MainWindowTest, ModeSwitchesKeepOneArticleAndEachModesOptionsIncludingTheVoicePolicyAndIgnoreTheActiveMode)
{
    Start();
    // Every control that shows the list mode shows the same one.
    const auto expectMode = [this](bool multi) {
        EXPECT_EQ(form->Preferences().ML_ListMode, multi ? 1 : 0);
        EXPECT_EQ(form->List()->MultiArticle(), multi);
        const QList<bool> multiShown{ui->ToolButton2->isChecked(),  ui->MultiMItm->isChecked(),
                                     Tray("MIPoNtry")->isChecked(), !ui->ToolButton1->isChecked(),
                                     !ui->SingleMItm->isChecked(),  !Tray("SIPoNtry")->isChecked()};
        EXPECT_EQ(multiShown, QList<bool>(6, multi));
        EXPECT_EQ(ui->MISIOptionsPage->currentWidget(),
                  multi ? static_cast<QWidget *>(ui->MIOptionsSheet) : ui->SIOptionsSheet);
    };
    expectMode(false);
    SingleSheet().SIVoiceRandom->click();
    SingleSheet().AutoSpeakCB->click();
    SingleSheet().AutoTitleCB->click();
    EXPECT_TRUE(form->Preferences().SI_AutoSpeak);
    EXPECT_FALSE(form->Preferences().SI_DefaultTitles);
    const QString logBefore = Log();
    form->Articles().SwitchToSingleArticle();  // already Single-Article
    EXPECT_EQ(Log(), logBefore);

    form->Articles().SwitchToMultiArticle();
    expectMode(true);
    EXPECT_EQ(form->ListView()->VisibleEntries(), form->Preferences().ML_VisibleEntries);
    EXPECT_FALSE(ui->SkipBtn->isEnabled());
    // The option controls show and write the Multi-Article settings now.
    EXPECT_TRUE(MultiSheet().MIVoiceDefault->isChecked());
    for (QAbstractButton *b :
         {(QAbstractButton *)MultiSheet().MIVoiceRoundRobin, (QAbstractButton *)MultiSheet().AutoDeleteCB,
          (QAbstractButton *)MiscTab().FilterCB, (QAbstractButton *)MiscTab().HighlightCB})
        b->click();
    EXPECT_EQ(form->Preferences().MI_Voice, 2);
    EXPECT_EQ(form->Preferences().SI_Voice, 1);
    EXPECT_TRUE(form->Preferences().ML_AutoDelete);
    EXPECT_FALSE(form->Preferences().TTS_FilterSymbols);
    EXPECT_FALSE(form->Preferences().TTS_HighlightPosition);

    // New articles take the favourite voices in turn (round robin, chosen above), ...
    const QStringList three = KeepFavorites(3);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(MiscTab().DfltVoiceCB->count(), 3);
    // A blank article would be reused with its voice; these all have text.
    for (int i = 0; i < Count(); ++i)
        Entry(i)->SetText(u"Existing text"_s);
    QStringList got;
    for (int i = 0; i < 5; ++i) {
        ArticleEntry *e = form->Articles().AddNewArticle();
        got << e->VoiceName();
        e->SetText(u"Typed"_s);
    }
    EXPECT_EQ(got, (QStringList{three[0], three[1], three[2], three[0], three[1]}));
    form->Articles().LoadFavoriteVoices();  // reloading starts again with the first
    EXPECT_EQ(form->Articles().ChooseVoice(), three[0]);
    // ... or one of them at random, ...
    MultiSheet().MIVoiceRandom->click();
    QSet<QString> random;
    for (int i = 0; i < 60; ++i)
        random.insert(form->Articles().ChooseVoice());
    EXPECT_GT(random.size(), 1);
    EXPECT_TRUE(QSet<QString>(three.begin(), three.end()).contains(random));
    // ... or the default voice, which the default voice box writes.
    MultiSheet().MIVoiceDefault->click();
    MiscTab().DfltVoiceCB->setCurrentIndex(2);
    emit MiscTab().DfltVoiceCB->activated(2);
    EXPECT_EQ(form->Preferences().TTS_DefaultVoiceName, three[2]);
    EXPECT_EQ(form->Articles().ChooseVoice(), three[2]);
    KeepFavorites(0);  // no favourite at all: new articles still get the default voice
    for (QRadioButton *policy : {MultiSheet().MIVoiceRoundRobin, MultiSheet().MIVoiceRandom}) {
        policy->click();
        EXPECT_EQ(form->Articles().ChooseVoice(), three[2]) << policy->objectName().toStdString();
    }
    EXPECT_EQ(MiscTab().DfltVoiceCB->count(), 0);

    // Only blank articles: back in Single-Article mode exactly one is left.
    form->List()->DeleteAll();
    form->Articles().AddNewArticle();
    form->Articles().AddNewArticle();
    Entry(0)->SetText(u"   "_s);
    form->Articles().SwitchToSingleArticle();
    expectMode(false);
    EXPECT_EQ(Count(), 1);
    EXPECT_TRUE(Entry(0)->Text().trimmed().isEmpty());
    EXPECT_EQ(form->ListView()->VisibleEntries(), 1);
    EXPECT_TRUE(Log().contains(u"Calling AddNew"_s));
    EXPECT_TRUE(SingleSheet().SIVoiceRandom->isChecked());
    EXPECT_TRUE(SingleSheet().AutoSpeakCB->isChecked());
    EXPECT_FALSE(SingleSheet().AutoTitleCB->isChecked());

    Tray("MIPoNtry")->trigger();  // the tray items switch too
    expectMode(true);
}

TEST_F(MainWindowTest, SingleArticleTypedTextCountsAsAnArticleAndGetsADefaultTitleAtReadToFile)
{
    const QString out = homeDir() + u"/out"_s;
    ASSERT_TRUE(QDir().mkpath(out));
    StoreSettings({{"FirstTimeUser", false}, {"OUT_Directory", out}});
    Start();
    ASSERT_TRUE(SingleSheet().AutoTitleCB->isChecked());
    EXPECT_EQ(form->StatusText(), u"No articles"_s);
    ArticleEditor *editor = form->ListView()->EditorFor(Entry(0));
    editor->setFocus();
    QTest::keyClicks(editor, u"Typed by hand."_s);
    EXPECT_TRUE(waitFor([this] { return form->StatusText() == u"1 article"_s; }, 5000))
        << form->StatusText().toStdString();
    ui->PlayFileBtn->click();
    ASSERT_TRUE(WaitIdle()) << Messages();
    EXPECT_TRUE(messages.isEmpty()) << Messages();
    EXPECT_EQ(Entry(0)->Title(), u"Typed_by_hand"_s);
    const QStringList files = QDir(out).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.first().startsWith(u"Typed_by_hand"_s));
}

TEST_F(MainWindowTest, OpeningTextFilesTitlesThemAfterTheFileName)
{
    Start();
    // The dialog takes .TXT as .txt, and several files only in Multi-Article mode.
    std::unique_ptr<QFileDialog> single = form->Articles().CreateOpenDialog();
    EXPECT_FALSE(single->filter() & QDir::CaseSensitive);
    EXPECT_EQ(single->fileMode(), QFileDialog::ExistingFile);

    // A file while the single article is read is refused.
    Entry(0)->SetText(u"Being read"_s);
    Entry(0)->Locked = true;
    ASSERT_TRUE(writeFile(homeDir() + u"/new.txt"_s, "New text"));
    form->Articles().OpenFiles({homeDir() + u"/new.txt"_s});
    ASSERT_TRUE(waitFor([this] { return !form->Articles().Opening(); }, 10000));
    EXPECT_EQ(messages, QStringList{kBeingRead});
    ASSERT_EQ(Texts(), QStringList{u"Being read"_s});
    Entry(0)->Locked = false;

    form->Articles().SwitchToMultiArticle();
    EXPECT_EQ(form->Articles().CreateOpenDialog()->fileMode(), QFileDialog::ExistingFiles);
    const QString dir = homeDir() + u"/texts"_s;
    ASSERT_TRUE(writeFile(dir + u"/My News.txt"_s, "Hello\nWorld\n"));
    ASSERT_TRUE(writeFile(dir + u"/report.v2.TXT"_s, "Two dots"));
    ASSERT_TRUE(writeFile(dir + u"/README"_s, "No extension"));
    form->List()->DeleteAll();
    form->Articles().OpenFiles({dir + u"/My News.txt"_s, dir + u"/report.v2.TXT"_s, dir + u"/README"_s});
    ASSERT_TRUE(waitFor([this] { return !form->Articles().Opening(); }, 10000));
    EXPECT_EQ(Titles(), (QStringList{u"My_News"_s, u"report"_s, u"README"_s}));
    EXPECT_EQ(Entry(2)->Text(), u"No extension"_s);
    EXPECT_EQ(form->Preferences().OpenDlgInitialDir, dir);
    EXPECT_EQ(form->StatusText(), u"3 articles"_s);
    EXPECT_TRUE(Saved().contains("My_News|"));  // saved at once

    // A file that vanished before it was read is reported, not silently dropped.
    messages.clear();
    form->Articles().OpenFiles({dir + u"/gone.txt"_s});
    ASSERT_TRUE(waitFor([this] { return !form->Articles().Opening(); }, 10000));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"gone.txt"_s)) << Messages();
    EXPECT_EQ(Count(), 3);
}

TEST_F(MainWindowTest, ArticleMenuEditsTheSelectedArticleAndDeletingTheLastLeavesOneEmptyArticle)
{
    Start();
    form->List()->CurrentEntry()->SetText(u"Some text"_s);
    QMenu *menu = form->PopupMenu1();
    const auto item = [menu](const char *name) { return menu->findChild<QAction *>(QLatin1String(name)); };
    item("SelectAllPopup")->trigger();
    item("CutPopup")->trigger();
    EXPECT_TRUE(form->List()->CurrentEntry()->Text().isEmpty());
    item("UndoPopup")->trigger();
    EXPECT_EQ(form->List()->CurrentEntry()->Text(), u"Some text"_s);
    item("RedoPopup")->trigger();
    EXPECT_TRUE(form->List()->CurrentEntry()->Text().isEmpty());

    form->Articles().SwitchToMultiArticle();
    form->List()->DeleteAll();
    ArticleEntry *only = form->Articles().AddNewArticle();
    ASSERT_NE(only, nullptr);
    only->SetText(u"Some text"_s);
    form->Articles().SaveList();
    form->ListView()->ViewFor(only)->Header->DeleteBtn->click();
    ASSERT_EQ(Texts(), QStringList{QString()});
    EXPECT_FALSE(Saved().contains("Some text"));

    Entry(0)->SetText(u"Again"_s);
    form->List()->MarkEntry(1);
    form->Articles().DelSelPopupClick();
    ASSERT_EQ(Texts(), QStringList{QString()});

    Entry(0)->Locked = true;  // a locked article stays, with the message
    form->Articles().ArticleDeleteRequest(Entry(0));
    EXPECT_EQ(messages.value(0), kBeingRead);
    form->List()->UnlockAllEntries();

    // Paste is offered only with a selected article.
    form->List()->DeleteSelected();
    form->ReadingCommands().UpdateStatus(QString());
    EXPECT_FALSE(ui->PasteBtn->isEnabled());
    EXPECT_FALSE(ui->Paste1->isEnabled());
    form->Articles().DelSelPopupClick();  // nothing selected: told so, and the list gets its empty article
    EXPECT_EQ(messages.value(1), u"No rows are currently selected"_s);
    EXPECT_TRUE(ui->PasteBtn->isEnabled());
    QApplication::clipboard()->setText(u"From the clipboard"_s);
    form->Articles().PasteIntoArticle();
    EXPECT_EQ(form->List()->CurrentEntry()->Text(), u"From the clipboard"_s);
}

TEST_F(MainWindowTest, CloseBoxKeepsTheProgramRunningOnlyExitSaves)
{
    Start();
    Entry(0)->SetText(u"Typed before closing"_s);
    form->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->Terminating());
    EXPECT_TRUE(!form->isVisible() || form->isMinimized());
    // The close box saved the settings but not the articles.
    EXPECT_FALSE(Saved().contains("Typed before closing"));
    EXPECT_TRUE(QFile::exists(AppPaths::settingsFile()));

    form->RestoreFromTray();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());

    form->ExitVoxtrellaClick();
    EXPECT_EQ(form->State(), rsExiting);
    EXPECT_TRUE(Saved().contains("Typed before closing"));
    EXPECT_EQ(form->List()->Count(), 0);
}

TEST_F(MainWindowTest, FloatingToolbarFollowsItsShowingRules)
{
    Start();
    FloatingToolBar *toolbar = form->ToolBar();
    ASSERT_NE(toolbar, nullptr);
    QAction *showToolbar = Tray("ToolBarPONtry");
    EXPECT_FALSE(showToolbar->isEnabled());

    // "On request only": nothing but the tray, and the tray item comes on.
    form->Preferences().ToolbarOnMinOption = 0;
    const QRect placed = form->geometry();
    form->MinimiseToTray();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_TRUE(showToolbar->isEnabled());
    form->Tray().ShowFloatingToolbar();
    EXPECT_TRUE(toolbar->isVisible());
    EXPECT_FALSE(showToolbar->isEnabled());
    toolbar->close();  // closing the toolbar only hides it
    QCoreApplication::processEvents();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_TRUE(showToolbar->isEnabled());
    form->RestoreFromTray();
    EXPECT_FALSE(showToolbar->isEnabled());
    EXPECT_EQ(form->geometry(), placed);  // back where it was, by its client area

    // "When minimized", chosen on the Misc tab; the task bar (no tray) follows it too.
    MiscTab().ToolbarMinCB->setCurrentIndex(1);
    emit MiscTab().ToolbarMinCB->activated(1);
    form->MinimiseToTray();
    EXPECT_TRUE(toolbar->isVisible());
    form->RestoreFromTray();
    EXPECT_FALSE(toolbar->isVisible());
    form->showMinimized();
    ASSERT_TRUE(waitFor([toolbar] { return toolbar->isVisible(); }, 2000));
    form->showNormal();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_FALSE(showToolbar->isEnabled());

    // "When minimized and reading starts": not while idle, but when reading starts.
    form->Preferences().ToolbarOnMinOption = 2;
    form->MinimiseToTray();
    EXPECT_FALSE(toolbar->isVisible());
    form->ReadingCommands().SetReadingState(rsReading);
    EXPECT_TRUE(toolbar->isVisible());
    EXPECT_FALSE(ui->SkipBtn->isEnabled());  // Single-Article mode
    form->ReadingCommands().SetReadingState(rsIdle);
    form->RestoreFromTray();
    EXPECT_FALSE(toolbar->isVisible());

    MiscTab().TBOnTopCB->click();  // the Misc tab writes the other toolbar setting too
    EXPECT_TRUE(form->Preferences().ToolbarOnTop);
}

TEST_F(MainWindowTest, AutostartCheckBoxWritesAndRemovesTheLoginEntry)
{
    Start();
    const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/voxtrella.desktop"_s;
    ui->PageControl1->setCurrentWidget(ui->MiscSheet);
    EXPECT_FALSE(MiscTab().AutoStartAppCB->isChecked());
    MiscTab().AutoStartAppCB->click();
    EXPECT_TRUE(readFile(entry).contains(" -auto"));
    MiscTab().AutoStartAppCB->click();
    EXPECT_FALSE(QFile::exists(entry));

    // An entry left by an older program file is rewritten at the next start.
    ASSERT_TRUE(
        writeFile(entry, "[Desktop Entry]\nType=Application\nName=Voxtrella MP3\nExec=/old/place/voxtrella -auto\n"));
    Exit();
    Start();
    EXPECT_FALSE(readFile(entry).contains("/old/place"));
    EXPECT_TRUE(readFile(entry).contains(QFileInfo(AppPaths::programFilePath()).fileName().toUtf8()));
    ui->PageControl1->setCurrentWidget(ui->ClipboardSheet);
    ui->PageControl1->setCurrentWidget(ui->MiscSheet);
    EXPECT_TRUE(MiscTab().AutoStartAppCB->isChecked());
}

TEST_F(MainWindowTest, PronunciationEditorOpensAfterItsNoteAndAudioDeviceTakesOnlyAWorkingDevice)
{
    Start();
    // Flite is an engine the editor does not serve, so the note comes first.
    const QStringList opened = OpenedDialogs([this] { ui->PronunciationMItm->trigger(); });
    ASSERT_EQ(opened.size(), 2) << opened.join(u'|').toStdString();
    EXPECT_TRUE(opened[0].endsWith(u"=Pronunciation Editor Info"_s)) << opened[0].toStdString();
    EXPECT_TRUE(opened[1].endsWith(u"=Voxtrella MP3 Pronunciation"_s)) << opened[1].toStdString();
    EXPECT_FALSE(form->Driver()->TTS1()->Active());
    EXPECT_TRUE(messages.isEmpty()) << Messages();

    // While a text is read neither opens.
    form->ReadingCommands().SetReadingState(rsReading);
    EXPECT_FALSE(ui->PronunciationMItm->isEnabled());
    EXPECT_FALSE(ui->SelAudioDevMItm->isEnabled());
    form->ReadingCommands().SetReadingState(rsIdle);
    EXPECT_TRUE(ui->PronunciationMItm->isEnabled());

    sound->setDevices({{audio::ScriptedAudioSystem::makeCaps(u"First"_s, 2)},
                       {audio::ScriptedAudioSystem::makeCaps(u"Second"_s, 2)}});
    ASSERT_EQ(form->Preferences().TTS_AudioDeviceID, -1);
    // Chooses the given row of the device list (the mapper, then the devices) and confirms.
    auto choose = [this](int row) {
        QTimer::singleShot(100, [row] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QListWidget *>(u"ListBox1"_s)->setCurrentRow(row);
            dialog->accept();
        });
        ui->SelAudioDevMItm->trigger();
    };
    choose(2);
    EXPECT_EQ(form->Preferences().TTS_AudioDeviceID, 1);
    EXPECT_EQ(form->Driver()->TTS1()->AudioDeviceID(), 1);
    EXPECT_TRUE(messages.isEmpty()) << Messages();
    sound->setOpenFails(0, true);  // a device that fails its check is not taken, with both messages
    choose(1);
    EXPECT_EQ(form->Preferences().TTS_AudioDeviceID, 1);
    EXPECT_EQ(form->Driver()->TTS1()->AudioDeviceID(), 1);
    EXPECT_FALSE(form->Driver()->TTS1()->Active());
    ASSERT_EQ(messages.size(), 2) << Messages();
    EXPECT_TRUE(messages.last().startsWith(u"Audio device check failed. \rVerify"_s)) << Messages();
}

// Reading and stopping a topic with the real engines: ReadingTest.
TEST_F(MainWindowTest, HelpContentsOpensWithoutABrowserAudioHelpSpeaksTheTopicsAndMissingVoicesAreNamed)
{
    Start();
    // This platform starts no browser: the page shows in the program's own window, one however often asked for.
    ui->Contents1->trigger();
    ui->Contents1->trigger();
    ASSERT_TRUE(form->Help().HelpWindow() && form->Help().HelpWindow()->isVisible());
    ASSERT_EQ(form->findChildren<QTextBrowser *>().size(), 1);
    EXPECT_TRUE(form->findChild<QTextBrowser *>()->toPlainText().contains(u"reads text aloud"_s));
    form->Help().HelpWindow()->close();
    const QByteArray help = readFile(AppPaths::dataDir() + u"/AudioHelp.chl"_s);
    ASSERT_FALSE(help.isEmpty());
    const QList<QAction *> items = ui->AudioHelp1->actions();
    ASSERT_FALSE(items.isEmpty());
    for (QAction *item : items)
        EXPECT_TRUE(help.contains(QString(item->text()).remove(u'&').toUtf8())) << item->text().toStdString();

    // A topic read to its end returns the window to idle.
    items.first()->trigger();
    EXPECT_FALSE(ui->PlayToolBtn->isEnabled());
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(form->Driver()->TTS1()->Active());
    EXPECT_TRUE(ui->PlayToolBtn->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << Messages();

    sound->setBusy(-1, true);  // a taken sound card is refused before anything is spoken
    items.first()->trigger();
    EXPECT_EQ(messages, QStringList{u"Sound card is busy.  Wait and try again."_s});
    EXPECT_EQ(form->State(), rsIdle);
    sound->setBusy(-1, false);
    messages.clear();

    // Without any English voice the user is told so.
    for (int i = 0; i < form->Driver()->Voices().Count(); ++i) {
        TVoiceEntry *v = form->Driver()->Voices().Items(i);
        if (LanguageCodeOf(v->Engine->LanguageID) == "eng"_L1 || v->DisplayName.contains("Mary"_L1))
            v->DisplayName = u"Renamed %1"_s.arg(i);
        v->Engine->LanguageID = 1036;
    }
    items.first()->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().startsWith(u"An English Voice was not found"_s));

    messages.clear();  // nor is an article read with a voice that does not exist
    EXPECT_FALSE(form->Driver()->Play(u"Hello"_s, u"Nobody"_s));
    EXPECT_EQ(messages, QStringList{u"Voice Nobody does not exist"_s});
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleNameEveryMenuDistinctAccessKeysAndEveryTabStopAFocusMark)
{
    Start();
    for (QWidget *w : form->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                             qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractItemView *>(w);
        // Qt's own inner parts (a view's header, a spin box's edit) carry no name.
        if (control && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"_L1)) {
            EXPECT_FALSE(w->accessibleName().isEmpty() && w->property("text").toString().isEmpty())
                << w->objectName().toStdString() << " in " << w->parentWidget()->objectName().toStdString();
        }
    }

    // Within the menu bar and within each menu, no access key is used twice.
    QList<QWidget *> menus{ui->MainMenu1, form->Tray().Menu()};
    for (QMenu *menu : form->findChildren<QMenu *>() + form->Tray().Menu()->findChildren<QMenu *>())
        menus << menu;
    for (const QWidget *menu : menus) {
        QStringList keys;
        for (const QAction *a : menu->actions()) {
            if (!a->isSeparator() && !QKeySequence::mnemonic(a->text()).isEmpty())
                keys << QKeySequence::mnemonic(a->text()).toString();
        }
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size())
            << menu->objectName().toStdString() << ": " << keys.join(u' ').toStdString();
    }

    // Every tab stop looks different when the keyboard reaches it.
    form->activateWindow();
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(waitFor([this] { return form->isActiveWindow(); }, 2000));
    QStringList unmarked;
    int reached = 0;
    for (QWidget *w : form->findChildren<QWidget *>()) {
        // A text editor shows the focus by its blinking caret.
        const bool editor = qobject_cast<QTextEdit *>(w) || qobject_cast<QPlainTextEdit *>(w);
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisible() || !w->isEnabled() || w->focusProxy() || editor)
            continue;
        ui->MainTextPanel->setFocus();
        w->clearFocus();
        QCoreApplication::processEvents();
        const QImage without = w->grab().toImage();
        w->setFocus(Qt::TabFocusReason);
        form->setAttribute(Qt::WA_KeyboardFocusChange);  // as a Tab key press leaves it
        QCoreApplication::processEvents();
        reached += w->hasFocus() ? 1 : 0;
        if (w->hasFocus() && w->grab().toImage() == without)
            unmarked << w->objectName() + u'/' + QLatin1String(w->metaObject()->className());
    }
    EXPECT_GT(reached, 15);
    EXPECT_TRUE(unmarked.isEmpty()) << unmarked.join(u", "_s).toStdString();

    // The Tab key walks the toolbar, the mode sheets and each options page in
    // the order they are laid out, whichever form holds them.
    const QStringList strip = u"ToolButton1 ToolButton2 ReadFileBtn PasteBtn PlayToolBtn PlayFileBtn PauseBtn SkipBtn "
                              u"StopBtn OptionsBtn SIVoiceDefault SIVoiceRandom AutoSpeakCB AutoTitleCB MIVoiceDefault "
                              u"MIVoiceRandom MIVoiceRoundRobin ODestSingle ODestMultiple AutoDeleteCB PageControl1 "
                              u"MonitorCB ClearClipboardCB ThreshHoldEdit PromptCkbx PromptDelayEdit PromptDfltActCBox "
                              u"EngineVoicesTV EnableBtn SetDfltBtn EditBtn TestButton MoreVoicesLbl FileFormatWav "
                              u"FileFormatMP3 FileFormatOpus AudioQltyCbx OpusQltyCbx SubtitlesCbx OutDirEdit Button1 DfltVoiceCB HighlightCB "
                              u"FilterCB ToolbarMinCB TBOnTopCB AutoStartAppCB"_s.split(u' ');
    QStringList walked;
    QWidget *first = ui->ToolButton1;
    for (QWidget *w = first; walked.size() < strip.size(); w = w->nextInFocusChain()) {
        if (strip.contains(w->objectName()))
            walked << w->objectName();
        if (w->nextInFocusChain() == first)
            break;
    }
    EXPECT_EQ(walked.join(u' ').toStdString(), strip.join(u' ').toStdString());
}

}  // namespace
