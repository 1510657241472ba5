// The clipboard watcher through the real windows and a real QClipboard on
// the offscreen platform, where a copy notifies its viewers at once.
#include "WindowTestSupport.h"

#include "CB_PromptUnit.h"
#include "ClipboardWatcher.h"

#include <QMimeData>
#include <QPushButton>
#include <QScreen>

namespace {

using namespace WindowTesting;

class ClipboardTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QGuiApplication::clipboard()->clear();
        StoreSetting(u"FirstTimeUser"_s, false);
        StoreSetting(u"CB_Prompt"_s, false);
    }
    static void Copy(const QString &text) { QGuiApplication::clipboard()->setText(text); }
    ClipboardWatcher &Watcher() const { return form->Clipboard(); }
    TCB_PromptForm *Prompt() const { return Watcher().Prompt(); }
    bool PromptShown() const { return Prompt() && Prompt()->isVisible(); }
    QStringList Texts() const
    {
        QStringList texts;
        for (int i = 0; i < Count(); ++i)
            texts << Entry(i)->Text();
        return texts;
    }
};

TEST_F(ClipboardTest, ClipboardWatchingOnTakesOnlyLaterCopiesAndCancelWithoutPromptMakesANewArticle)
{
    StoreSetting(u"ML_ListMode"_s, 1);
    StoreSetting(u"CB_DfltPromptAction"_s, 2);
    Copy(u"Already on the clipboard at start"_s);
    Start();
    EXPECT_EQ(Texts(), QStringList{QString()});
    EXPECT_TRUE(ui->MonitorCB->isChecked());
    EXPECT_TRUE(ui->MonClipMItm->isChecked());
    EXPECT_TRUE(Tray("MonClipPoNtry")->isChecked());

    Copy(u"The first copy after the start"_s);
    EXPECT_EQ(Texts(), QStringList{u"The first copy after the start"_s});

    // Off from the check box: every watch control follows, copies are ignored.
    ui->MonitorCB->click();
    EXPECT_FALSE(form->Preferences().CB_Monitor);
    EXPECT_FALSE(ui->MonClipMItm->isChecked());
    EXPECT_FALSE(Tray("MonClipPoNtry")->isChecked());
    Copy(u"Copied while nobody watches"_s);
    EXPECT_EQ(Count(), 1);

    // On from the tray: what is on the clipboard now is not taken, the next copy is.
    Tray("MonClipPoNtry")->trigger();
    EXPECT_TRUE(ui->MonitorCB->isChecked());
    EXPECT_TRUE(Watcher().Joined());
    EXPECT_EQ(Count(), 1);
    Copy(u"Copied after switching on"_s);
    EXPECT_EQ(Texts(), (QStringList{u"The first copy after the start"_s, u"Copied after switching on"_s}));
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(ClipboardTest, ClipboardThresholdIgnoresTextUpToItsLengthAndHtmlBecomesPlainText)
{
    StoreSetting(u"ML_ListMode"_s, 1);
    StoreSetting(u"CB_ThreshHold"_s, 10);
    Start();
    Copy(u"0123456789"_s);
    EXPECT_EQ(Texts(), QStringList{QString()});
    Copy(u"0123456789A"_s);
    EXPECT_EQ(Texts(), QStringList{u"0123456789A"_s});

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
    StoreSetting(u"ML_ListMode"_s, 1);
    StoreSetting(u"CB_DfltPromptAction"_s, 1);
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

TEST_F(ClipboardTest, CopyPromptWithZeroDelayStaysOpenRefusesMoreTextAndHasNoAppendForOneEmptyArticle)
{
    StoreSetting(u"CB_Prompt"_s, true);
    StoreSetting(u"CB_PromptDelay"_s, 0);
    StoreSetting(u"CB_DfltPromptAction"_s, 3);
    StoreSetting(u"CB_LastPromptAction"_s, 0);
    Start();
    Copy(u"Text for the prompt"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_EQ(Prompt()->windowTitle(), u"Voxtrella MP3"_s);
    EXPECT_EQ(Prompt()->ModeText(), u"Current Mode is Single-Article Mode"_s);
    EXPECT_EQ(Prompt()->New()->toolTip(), u"Overwrite current article"_s);
    EXPECT_FALSE(Prompt()->Append()->isEnabled());
    // Remember Last with New, but nothing to append to: Cancel.
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->Cancel());
    EXPECT_FALSE(Prompt()->Timer1()->isActive());
    EXPECT_FALSE(waitFor([this] { return !PromptShown(); }, 1500));

    Copy(u"Copied while the prompt is open"_s);
    EXPECT_EQ(Watcher().BufferText(), u"Text for the prompt"_s);
    Prompt()->New()->click();
    EXPECT_FALSE(PromptShown());
    EXPECT_EQ(Texts(), QStringList{u"Text for the prompt"_s});
    EXPECT_EQ(form->Preferences().CB_LastPromptAction, 0);

    // Now Append is possible: Remember Last offers New again.
    Copy(u"A second text to copy"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_TRUE(Prompt()->Append()->isEnabled());
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->New());
    Prompt()->Cancel()->click();
    EXPECT_EQ(Texts(), QStringList{u"Text for the prompt"_s});
    EXPECT_EQ(form->Preferences().CB_LastPromptAction, 2);
}

TEST_F(ClipboardTest, CopyPromptPressesItsDefaultButtonWhenTheDelayRunsOut)
{
    StoreSetting(u"ML_ListMode"_s, 1);
    StoreSetting(u"CB_Prompt"_s, true);
    StoreSetting(u"CB_PromptDelay"_s, 1);
    StoreSetting(u"CB_DfltPromptAction"_s, 1);
    writeFile(ExportPath(), Record("Old", "Old text"));
    Start();
    Copy(u"Added by the timer"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_EQ(Prompt()->ModeText(), u"Current Mode is Multi-Article Mode"_s);
    EXPECT_EQ(Prompt()->DefaultButton(), Prompt()->Append());
    EXPECT_EQ(Prompt()->Timer1()->interval(), 1000);
    ASSERT_TRUE(waitFor([this] { return !PromptShown(); }, 5000));
    EXPECT_EQ(Texts(), QStringList{u"Old text Added by the timer"_s});
    EXPECT_EQ(form->Preferences().CB_LastPromptAction, 1);
}

TEST_F(ClipboardTest, CopyPromptOpensWhereTheUserLeftItAndNeverOffTheScreens)
{
    StoreSetting(u"CB_Prompt"_s, true);
    StoreSetting(u"CB_PromptDelay"_s, 0);
    StoreSetting(u"CB_PromptLeft"_s, 30000); // a screen that is gone
    StoreSetting(u"CB_PromptTop"_s, 30000);
    Start();
    Copy(u"Text for the prompt"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_TRUE(Prompt()->screen()->geometry().contains(Prompt()->geometry()));
    Prompt()->move(40, 50);
    Prompt()->Cancel()->click();
    EXPECT_EQ(form->Preferences().CB_PromptLeft, 40);
    EXPECT_EQ(form->Preferences().CB_PromptTop, 50);
    Copy(u"Another text for the prompt"_s);
    ASSERT_TRUE(PromptShown());
    EXPECT_EQ(Prompt()->pos(), QPoint(40, 50));
}

TEST_F(ClipboardTest, ClipboardClearAfterCopyEmptiesItAndMakesNoSecondArticle)
{
    StoreSetting(u"ML_ListMode"_s, 1);
    StoreSetting(u"CB_ClearOnCopy"_s, true);
    Start();
    Copy(u"Taken and then cleared"_s);
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(), QStringList{u"Taken and then cleared"_s});
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << Messages();
}

TEST_F(ClipboardTest, ClipboardShowsTheBusyDialogInSingleArticleModeWhileReading)
{
    writeFile(ExportPath(), Record("Long", QByteArray("Many words to read. ").repeated(200)));
    Start();
    sound->setPlaybackRate(0.5);
    ui->PlayToolBtn->click();
    ASSERT_EQ(form->State(), rsReading);
    const QString reading = Entry(0)->Text();

    EXPECT_EQ(OpenedDialogs([] { Copy(u"Copied while reading"_s); }),
              QStringList{u"SIBusyForm=Voxtrella Busy ..."_s});
    form->Preferences().SI_ShowBusyDialog = false;
    EXPECT_TRUE(OpenedDialogs([] { Copy(u"Copied again while reading"_s); }).isEmpty());
    EXPECT_EQ(Texts(), QStringList{reading});
    ui->StopBtn->click();
    ASSERT_TRUE(waitFor([this] { return form->State() == rsIdle; }, 20000));
}

TEST_F(ClipboardTest, ClipboardTabSettingsSurviveARestart)
{
    Start();
    ui->MonitorCB->click();
    ui->ClearClipboardCB->click();
    ui->ThreshHoldEdit->setText(u"25"_s);
    ui->PromptCkbx->click();
    ui->PromptDelayEdit->setText(u"7"_s);
    ui->PromptDfltActCBox->setCurrentIndex(1);
    ui->PromptDelayEdit->clear(); // while the user types a new number
    Exit();

    Start();
    EXPECT_FALSE(Watcher().Joined());
    EXPECT_FALSE(ui->MonitorCB->isChecked());
    EXPECT_FALSE(ui->MonClipMItm->isChecked());
    EXPECT_FALSE(Tray("MonClipPoNtry")->isChecked());
    EXPECT_TRUE(ui->ClearClipboardCB->isChecked());
    EXPECT_EQ(ui->ThreshHoldEdit->text(), u"25"_s);
    EXPECT_TRUE(ui->PromptCkbx->isChecked());
    EXPECT_EQ(ui->PromptDelayEdit->text(), u"7"_s);
    EXPECT_EQ(ui->PromptDfltActCBox->currentIndex(), 1);
}

TEST(ClipboardFocus, ClipboardFocusOnlyOnWaylandAndXwayland)
{
    EXPECT_TRUE(ClipboardWatcher::FocusOnlyClipboard(u"wayland"_s, u"wayland"_s, u"wayland-0"_s));
    EXPECT_TRUE(ClipboardWatcher::FocusOnlyClipboard(u"xcb"_s, u"wayland"_s, QString()));
    EXPECT_TRUE(ClipboardWatcher::FocusOnlyClipboard(u"xcb"_s, QString(), u"wayland-0"_s));
    EXPECT_FALSE(ClipboardWatcher::FocusOnlyClipboard(u"xcb"_s, u"x11"_s, QString()));
    EXPECT_FALSE(ClipboardWatcher::FocusOnlyClipboard(u"offscreen"_s, u"wayland"_s, u"wayland-0"_s));
}

} // namespace
