#include "ContactLinks.h"
#include "DialogTestSupport.h"
#include "NoEngineWarning.h"
#include "PronEditorInfo.h"
#include "SelectDirectory.h"
#include "SoundCardError.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {

// Runs the dialog modally and lets act() work on it once it is up.
template <typename Dialog>
int runModal(Dialog &dialog, std::function<void()> act)
{
    QTimer::singleShot(0, &dialog, [act] { act(); });
    return dialog.exec();
}

// Stands in for the user's browser and mail program.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

}  // namespace

using SoundCardErrorDialog = DialogTest;

TEST_F(SoundCardErrorDialog, TickingAndUntickingLeavesTheCheckOn)
{
    TSoundCardErrorForm form;
    auto *box = child<QCheckBox>(form, "CheckBox1");
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(box->text(), QStringLiteral("Disable Sound Card Check in the Future"));

    click(box);
    EXPECT_FALSE(Prefs->TTS_SoundCardCheckErr);
    click(box);
    EXPECT_TRUE(Prefs->TTS_SoundCardCheckErr);
}

TEST_F(SoundCardErrorDialog, TickThenCancelAbandonsReadingButStillDisablesCheck)
{
    TSoundCardErrorForm form;
    const int result = runModal(form, [&] {
        click(child<QCheckBox>(form, "CheckBox1"));
        click(child<QPushButton>(form, "Button2"));
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(Prefs->TTS_SoundCardCheckErr);
}

TEST_F(SoundCardErrorDialog, ProceedGoesOnAndLeavesCheckAlone)
{
    TSoundCardErrorForm form;
    const int result = runModal(form, [&] { click(child<QPushButton>(form, "Button1")); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(Prefs->TTS_SoundCardCheckErr);
    EXPECT_EQ(child<QPushButton>(form, "Button1")->text(), QStringLiteral("Proceed"));
}

TEST_F(SoundCardErrorDialog, EnterAndEscapeBothCancel)
{
    // Cancel is the default button: a hasty Enter must not go on reading.
    {
        TSoundCardErrorForm form;
        const int result = runModal(form, [&] { QTest::keyClick(&form, Qt::Key_Return); });
        EXPECT_EQ(result, QDialog::Rejected);
    }
    {
        TSoundCardErrorForm form;
        const int result = runModal(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
        EXPECT_EQ(result, QDialog::Rejected);
    }
    EXPECT_TRUE(Prefs->TTS_SoundCardCheckErr);
}

TEST_F(SoundCardErrorDialog, NoticeNamesTheSupportAddress)
{
    TSoundCardErrorForm form;
    const QString text = child<QLabel>(form, "Memo1")->text();
    EXPECT_TRUE(text.contains(QStringLiteral("problems please contact support@voxtrella.org. \n")))
        << text.toStdString();
}

TEST_F(SoundCardErrorDialog, WorksWithoutSettingsRecord)
{
    Prefs = nullptr;
    TSoundCardErrorForm form;
    click(child<QCheckBox>(form, "CheckBox1"));
    EXPECT_TRUE(m_prefs->TTS_SoundCardCheckErr);
}

using PronEditorInfoDialog = DialogTest;

TEST_F(PronEditorInfoDialog, TickingAndUntickingKeepsShowingTheNote)
{
    TPronEditorInfoForm form;
    auto *box = child<QCheckBox>(form, "CheckBox1");
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());
    click(box);
    EXPECT_FALSE(Prefs->ShowPronEditWarning);
    click(box);
    EXPECT_TRUE(Prefs->ShowPronEditWarning);
}

TEST_F(PronEditorInfoDialog, TickThenContinueStopsTheNote)
{
    TPronEditorInfoForm form;
    const int result = runModal(form, [&] {
        click(child<QCheckBox>(form, "CheckBox1"));
        click(child<QPushButton>(form, "Button1"));
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(Prefs->ShowPronEditWarning);
}

using EngineWarningDialog = DialogTest;

TEST_F(EngineWarningDialog, LinksOpenDownloadPageAndNewMail)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "open");

    TEngineWarningForm form;
    auto *url = child<QLabel>(form, "URL");
    auto *mail = child<QLabel>(form, "Label1");
    ASSERT_TRUE(url && mail);
    // What the user sees of the links, and that they are keyboard links.
    EXPECT_TRUE(url->text().contains(QStringLiteral(">Click here to download Speech Engine</a>")));
    EXPECT_TRUE(mail->text().contains(ContactLinks::SupportAddress));
    EXPECT_TRUE(url->textInteractionFlags().testFlag(Qt::LinksAccessibleByKeyboard));

    emit url->linkActivated(QStringLiteral("ignored"));
    emit mail->linkActivated(QStringLiteral("ignored"));

    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    ASSERT_EQ(recorder.opened.size(), 2);
    EXPECT_EQ(recorder.opened[0], QUrl(ContactLinks::EngineDownloadPage));
    EXPECT_EQ(recorder.opened[0].host(), QStringLiteral("voxtrella.org"));
    EXPECT_EQ(recorder.opened[1], QUrl(QStringLiteral("mailto:support@voxtrella.org")));
}

TEST_F(EngineWarningDialog, ExitButtonClosesTheDialog)
{
    TEngineWarningForm form;
    auto *exitButton = child<QPushButton>(form, "Button1");
    EXPECT_EQ(exitButton->text(), QStringLiteral("Exit Voxtrella MP3"));
    const int result = runModal(form, [&] { click(exitButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
}

TEST(SmallDialogs, EveryControlHasAnAccessibleName)
{
    TPreferences prefs;
    Prefs = &prefs;
    TSoundCardErrorForm soundCard;
    TPronEditorInfoForm pronNote;
    TEngineWarningForm engineWarning;
    TOutDirDialog outDir;
    for (QWidget *form : std::initializer_list<QWidget *>{&soundCard, &pronNote, &engineWarning, &outDir}) {
        for (QWidget *w : form->findChildren<QWidget *>()) {
            if (w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton *>(w)) {
                EXPECT_FALSE(w->accessibleName().isEmpty())
                    << form->objectName().toStdString() << "/" << w->objectName().toStdString();
            }
        }
    }
    Prefs = nullptr;
}

#include "SmallDialogsTest.moc"
