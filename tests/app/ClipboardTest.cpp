// The clipboard watcher through the real windows and a real QClipboard on
// the offscreen platform, where a copy notifies its viewers at once.
#include "WindowTestSupport.h"

#include "ClipboardOptionsForm.h"
#include "ClipboardPrompt.h"
#include "ClipboardWatcher.h"
#include "articles/SavedArticles.h"

#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace {

using namespace WindowTesting;

class ClipboardTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QGuiApplication::clipboard()->clear();
        StoreSettings({{"FirstTimeUser", false}, {"CB_Prompt", false}});
    }
    static void Copy(const QString &text) { QGuiApplication::clipboard()->setText(text); }
    ClipboardWatcher &Watcher() const { return form->Clipboard(); }
    ClipboardPrompt *Prompt() const { return Watcher().Prompt(); }
    bool PromptShown() const { return Prompt() && Prompt()->isVisible(); }
    // The check box, the menu item and the tray item that watch the clipboard.
    QList<bool> Watching() const
    {
        return {ClipboardTab().MonitorCB->isChecked(), ui->MonClipMItm->isChecked(),
                Tray("MonClipPoNtry")->isChecked()};
    }
};

TEST_F(ClipboardTest, ClipboardWatchingTakesOnlyLaterCopiesItsTabSurvivesARestartAndCancelWithoutPromptMakesANewArticle)
{
    StoreSettings({{"ML_ListMode", 1}, {"CB_DfltPromptAction", 2}});
    Copy(u"Already on the clipboard at start"_s);
    Start();
    EXPECT_EQ(Texts(), QStringList{QString()});
    EXPECT_EQ(Watching(), QList<bool>(3, true));

    Copy(u"The first copy after the start"_s);
    EXPECT_EQ(Texts(), QStringList{u"The first copy after the start"_s});

    // Off from the check box: every watch control follows, also at the next start.
    ClipboardTab().MonitorCB->click();
    EXPECT_EQ(Watching(), QList<bool>(3, false));
    ClipboardTab().ThreshHoldEdit->setText(u"15"_s);
    ClipboardTab().PromptDelayEdit->setText(u"7"_s);
    ClipboardTab().PromptDelayEdit->clear();  // while the user types a new number
    Exit();
    Start();
    EXPECT_FALSE(Watcher().Joined());
    EXPECT_EQ(Watching(), QList<bool>(3, false));
    EXPECT_EQ(ClipboardTab().ThreshHoldEdit->text(), u"15"_s);
    EXPECT_EQ(ClipboardTab().PromptDelayEdit->text(), u"7"_s);
    Copy(u"Copied while nobody watches"_s);
    EXPECT_EQ(Count(), 1);

    // On from the tray: what is on the clipboard now is not taken, the next copy is.
    Tray("MonClipPoNtry")->trigger();
    EXPECT_EQ(Watching(), QList<bool>(3, true));
    EXPECT_TRUE(Watcher().Joined());
    EXPECT_EQ(Count(), 1);
    Copy(u"Copied after switching on"_s);
    EXPECT_EQ(Texts(), (QStringList{u"The first copy after the start"_s, u"Copied after switching on"_s}));
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(ClipboardTest, ClipboardTakesTextLongerThanTheThresholdAsPlainTextAndClearsItWhenAsked)
{
    StoreSettings({{"ML_ListMode", 1}, {"CB_ThreshHold", 10}, {"CB_ClearOnCopy", true}});
    Start();
    Copy(u"0123456789"_s);
    EXPECT_EQ(Texts(), QStringList{QString()});
    // Taken and cleared; the clearing makes no second article.
    Copy(u"0123456789A"_s);
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(), QStringList{u"0123456789A"_s});
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());

    auto *rich = new QMimeData;
    rich->setHtml(u"<p>Rich <b>bold</b>&nbsp;text</p><p>second paragraph</p>"_s);
    QGuiApplication::clipboard()->setMimeData(rich);
    EXPECT_EQ(Entry(Count() - 1)->Text(), u"Rich bold text\nsecond paragraph"_s);

    // Text beyond the text-file limit is refused with a message.
    Copy(QString(ClipboardWatcher::kMaxTextChars + 1, u'x'));
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(messages, QStringList{ClipboardWatcher::TooLargeMessage});
}

TEST_F(ClipboardTest, ClipboardAppendPutsOneBlankAfterALetterAndNoneAfterALineBreak)
{
    StoreSettings({{"ML_ListMode", 1}, {"CB_DfltPromptAction", 1}});
    Start();
    const struct {
        QString before, after;
    } cases[] = {{u"Ends with a letter"_s, u"Ends with a letter Appended words"_s},
                 {u"Ends with a break\n"_s, u"Ends with a break\nAppended words"_s},
                 {QString(), u"Appended words"_s}};
    for (const auto &c : cases) {
        Entry(0)->SetText(c.before);
        Copy(u"Appended words"_s);
        EXPECT_EQ(Texts(), QStringList{c.after});
        QGuiApplication::clipboard()->clear();
    }
    EXPECT_TRUE(Saved().contains("Appended words"));
}

TEST_F(ClipboardTest, CopyPromptStaysOnTheScreenOpensWhereTheUserLeftItAndPressesItsDefaultButtonWhenTheDelayRunsOut)
{
    // Last shown on a screen that is gone.
    StoreSettings({{"CB_Prompt", true},
                   {"CB_PromptDelay", 0},
                   {"CB_DfltPromptAction", 3},
                   {"CB_LastPromptAction", 0},
                   {"CB_PromptLeft", 30000},
                   {"CB_PromptTop", 30000}});
    Start();
    Copy(u"Text for the prompt"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_TRUE(Prompt()->screen()->geometry().contains(Prompt()->geometry()));
    EXPECT_EQ(Prompt()->ModeText(), u"Current Mode is Single-Article Mode"_s);
    EXPECT_FALSE(Prompt()->Append()->isEnabled());
    // Remember Last with New, but nothing to append to: Cancel.
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->Cancel());
    EXPECT_FALSE(waitFor([this] { return !PromptShown(); }, 1500));

    Copy(u"Copied while the prompt is open"_s);
    EXPECT_EQ(Watcher().BufferText(), u"Text for the prompt"_s);
    Prompt()->move(40, 50);
    Prompt()->New()->click();
    EXPECT_FALSE(PromptShown());
    EXPECT_EQ(Texts(), QStringList{u"Text for the prompt"_s});
    EXPECT_EQ(QPoint(form->Preferences().CB_PromptLeft, form->Preferences().CB_PromptTop), QPoint(40, 50));

    // Now Append is possible: Remember Last offers New again.
    Copy(u"A second text to copy"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_EQ(Prompt()->pos(), QPoint(40, 50));
    EXPECT_TRUE(Prompt()->Append()->isEnabled());
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->New());
    Prompt()->Cancel()->click();
    EXPECT_EQ(Texts(), QStringList{u"Text for the prompt"_s});
    EXPECT_EQ(form->Preferences().CB_LastPromptAction, 2);

    // With a delay the default button is pressed when it runs out.
    form->Articles().SwitchToMultiArticle();
    form->Preferences().CB_PromptDelay = 1;
    form->Preferences().CB_DfltPromptAction = 1;
    Copy(u"Added by the timer"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_EQ(Prompt()->ModeText(), u"Current Mode is Multi-Article Mode"_s);
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->Append());
    EXPECT_FALSE(waitFor([this] { return !PromptShown(); }, 500));  // a second, not a millisecond
    ASSERT_TRUE(waitFor([this] { return !PromptShown(); }, 5000));
    EXPECT_EQ(Texts(), QStringList{u"Text for the prompt Added by the timer"_s});
    EXPECT_EQ(form->Preferences().CB_LastPromptAction, 1);
}

TEST_F(ClipboardTest, ClipboardShowsTheBusyDialogInSingleArticleModeWhileReading)
{
    SaveArticles(Record("Long", QByteArray("Many words to read. ").repeated(200)));
    Start();
    sound->setPlaybackRate(0.5);
    ui->PlayToolBtn->click();
    ASSERT_EQ(form->State(), rsReading);
    const QString reading = Entry(0)->Text();

    EXPECT_EQ(OpenedDialogs([] { Copy(u"Copied while reading"_s); }), QStringList{u"SIBusyForm=Voxtrella Busy ..."_s});
    form->Preferences().SI_ShowBusyDialog = false;
    EXPECT_TRUE(OpenedDialogs([] { Copy(u"Copied again while reading"_s); }).isEmpty());
    EXPECT_EQ(Texts(), QStringList{reading});
    ui->StopBtn->click();
    ASSERT_TRUE(WaitIdle());
}

TEST_F(ClipboardTest, SingleArticleModeShowsOneArticleAndNewReplacesOnlyItTheOthersStaySaved)
{
    StoreSettings({{"ML_ListMode", 1}, {"CB_Prompt", true}, {"CB_PromptDelay", 0}});
    SaveArticles(Record("One", "First article.") + Record("Two", "Second article.") + Record("Three", "Third."));
    Start();
    const auto savedTexts = [] {
        QStringList texts;
        for (const SavedArticles::Record &r : SavedArticles::Parse(Saved()).Records)
            texts << r.Text;
        return texts;
    };
    form->List()->MarkEntry(2);
    form->Articles().SaveList();
    const QByteArray saved = Saved();

    // The selected article, alone in the list, without the Multi-Article buttons.
    ui->ToolButton1->click();
    EXPECT_EQ(Texts(), QStringList{u"Second article."_s});
    EXPECT_EQ(form->StatusText(), u"1 article"_s);
    EXPECT_TRUE(form->ListView()->ScrollBar()->isHidden());
    EXPECT_TRUE(form->ListView()->ViewFor(Entry(0))->Header->ReadBtn->isHidden());
    form->Articles().SaveList();
    EXPECT_EQ(Saved(), saved);

    // The prompt's New replaces that article only.
    Copy(u"Copied in Single-Article mode"_s);
    ASSERT_TRUE(PromptShown());
    Prompt()->New()->click();
    EXPECT_EQ(Texts(), QStringList{u"Copied in Single-Article mode"_s});
    EXPECT_EQ(savedTexts(), (QStringList{u"First article."_s, u"Copied in Single-Article mode"_s, u"Third."_s}));

    // Add New asks before the text goes; "no" keeps it.
    const QByteArray beforeQuestion = Saved();
    QAction *addNew = form->PopupMenu1()->findChild<QAction *>(u"AddNewPopup"_s);
    addNew->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(u"Replace the article"_s)) << Messages();
    EXPECT_EQ(Saved(), beforeQuestion);
    MessageService::setHandler([](const MessageService::Message &) { return UserInteraction::Yes; });
    addNew->trigger();
    EXPECT_EQ(Texts(), QStringList{QString()});

    // Multi-Article mode has them all back, with their buttons.
    ui->ToolButton2->click();
    EXPECT_EQ(Texts(), (QStringList{u"First article."_s, QString(), u"Third."_s}));
    EXPECT_EQ(form->StatusText(), u"3 articles"_s);
    for (const ArticleRow *v : form->ListView()->ShownViews())
        EXPECT_FALSE(v->Header->ReadBtn->isHidden());

    // Started in Single-Article mode: the first is shown, and the exit saves all three.
    ui->ToolButton1->click();
    Exit();
    const QByteArray atExit = Saved();
    EXPECT_EQ(savedTexts(), (QStringList{u"First article."_s, QString(), u"Third."_s}));
    Start();
    EXPECT_EQ(Texts(), QStringList{u"First article."_s});
    Exit();
    EXPECT_EQ(Saved(), atExit);
}

TEST(ClipboardFocus, ClipboardFocusOnlyOnWaylandAndXwayland)
{
    EXPECT_TRUE(ClipboardOptionsForm::FocusOnlyClipboard(u"wayland"_s, u"wayland"_s, u"wayland-0"_s));
    EXPECT_TRUE(ClipboardOptionsForm::FocusOnlyClipboard(u"xcb"_s, u"wayland"_s, QString()));
    EXPECT_TRUE(ClipboardOptionsForm::FocusOnlyClipboard(u"xcb"_s, QString(), u"wayland-0"_s));
    EXPECT_FALSE(ClipboardOptionsForm::FocusOnlyClipboard(u"xcb"_s, u"x11"_s, QString()));
    EXPECT_FALSE(ClipboardOptionsForm::FocusOnlyClipboard(u"offscreen"_s, u"wayland"_s, u"wayland-0"_s));
}

}  // namespace
