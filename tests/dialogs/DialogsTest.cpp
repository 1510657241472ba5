#include "ContactLinks.h"
#include "NoEngineWarning.h"
#include "PreferenceUnit.h"
#include "PronEditorInfo.h"
#include "platform/shell/MessageService.h"
#include "SelectDirectory.h"
#include "SoundCardError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUrl>

using namespace Qt::StringLiterals;
using TestSupport::child;

namespace {

// Stands in for the user's browser and mail program.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// A fresh settings record, with an existing output folder.
class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        prefs.OUT_Directory = root;
        ASSERT_TRUE(QDir().mkpath(root));
        ASSERT_TRUE(QDir().mkpath(other));
    }

    static void click(const QWidget &parent, const char *name)
    {
        QTest::mouseClick(child<QAbstractButton>(parent, name), Qt::LeftButton);
    }

    // Every control a user can reach has a name for the screen reader.
    static void expectAccessibleNames(const QWidget &form)
    {
        for (QWidget *w : form.findChildren<QWidget *>()) {
            if (w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton *>(w)) {
                EXPECT_FALSE(w->accessibleName().isEmpty())
                    << form.objectName().toStdString() << "/" << w->objectName().toStdString();
            }
        }
    }

    // Ticking CheckBox1 turns the setting off and unticking turns it on again;
    // ticked, it stays off however the dialog is closed.
    template <typename Form>
    void expectTickTurnsOff(bool TPreferences::*setting, const char *closeButton, bool accepted)
    {
        Form form(prefs.*setting);
        form.show();
        expectAccessibleNames(form);
        EXPECT_FALSE(child<QCheckBox>(form, "CheckBox1")->isChecked());
        for (bool on : {false, true, false}) {
            click(form, "CheckBox1");
            EXPECT_EQ(prefs.*setting, on);
        }
        click(form, closeButton);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(prefs.*setting);
    }

    // The output folder chooser: the folder named under the tree, and a click in the tree.
    static QString shown(const TOutDirDialog &dialog) { return child<QLabel>(dialog, "Label2")->text(); }
    static void browseTo(TOutDirDialog &dialog, const QString &folder)
    {
        auto *tree = child<QTreeView>(dialog, "DirectoryListBox1");
        const QModelIndex index = qobject_cast<QFileSystemModel *>(tree->model())->index(folder);
        ASSERT_TRUE(index.isValid()) << folder.toStdString();
        tree->setCurrentIndex(index);
    }

    TPreferences prefs;
    const QString root = TestSupport::homeDir() + u"/out"_s;
    const QString other = TestSupport::homeDir() + u"/other place"_s;
};

}  // namespace

TEST_F(DialogTest, CheckBoxesTurnTheirSettingOffAndOnlyProceedGoesOnAfterTheSoundCardNotice)
{
    expectTickTurnsOff<TSoundCardErrorForm>(&TPreferences::TTS_SoundCardCheckErr, "Button2", false);
    expectTickTurnsOff<TPronEditorInfoForm>(&TPreferences::ShowPronEditWarning, "Button1", true);
    prefs.TTS_SoundCardCheckErr = true;

    TSoundCardErrorForm form(prefs.TTS_SoundCardCheckErr);
    form.show();
    click(form, "Button1");  // Proceed
    EXPECT_EQ(form.result(), QDialog::Accepted);
    // Cancel is the default button: a hasty Enter must not go on reading.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        TSoundCardErrorForm again(prefs.TTS_SoundCardCheckErr);
        again.show();
        QTest::keyClick(&again, key);
        EXPECT_FALSE(again.isVisible()) << key;
        EXPECT_EQ(again.result(), QDialog::Rejected) << key;
    }
    EXPECT_TRUE(prefs.TTS_SoundCardCheckErr);
}

TEST_F(DialogTest, EngineWarningLinksOpenDownloadPageAndNewMailAndExitCloses)
{
    UrlRecorder recorder;
    for (const char *scheme : {"https", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &recorder, "open");
    TEngineWarningForm form;
    form.show();
    expectAccessibleNames(form);
    auto *url = child<QLabel>(form, "URL");
    auto *mail = child<QLabel>(form, "Label1");
    EXPECT_TRUE(url->textInteractionFlags().testFlag(Qt::LinksAccessibleByKeyboard));
    emit url->linkActivated(u"ignored"_s);
    emit mail->linkActivated(u"ignored"_s);
    for (const char *scheme : {"https", "mailto"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    ASSERT_EQ(recorder.opened.size(), 2);
    EXPECT_EQ(recorder.opened[0], QUrl(ContactLinks::EngineDownloadPage));
    EXPECT_EQ(recorder.opened[1], QUrl(u"mailto:support@voxtrella.org"_s));

    click(form, "Button1");  // Exit
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(DialogTest, OutDirListsSoundFilesAndStoresTheBrowsedFolderOnlyOnOk)
{
    for (const char *name : {"talk.wav", "Song.MP3", "mixed.Mp3", "notes.txt", "talk.wav.bak", "LOUD.WAV"})
        ASSERT_TRUE(TestSupport::writeFile(root + u'/' + QLatin1String(name), "x"));
    ASSERT_TRUE(QDir().mkpath(root + u"/folder.wav"_s));  // a folder is not a sound file
    QRect placed;
    {
        TOutDirDialog dialog(prefs.OUT_Directory);
        dialog.show();
        expectAccessibleNames(dialog);
        QStringList names;
        auto *list = child<QListWidget>(dialog, "FileListBox1");
        for (QListWidgetItem *item : list->findItems(u"*"_s, Qt::MatchWildcard))
            names << item->text();
        names.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, (QStringList{"LOUD.WAV", "mixed.Mp3", "Song.MP3", "talk.wav"}));
        browseTo(dialog, other);
        click(dialog, "Button2");
        EXPECT_EQ(prefs.OUT_Directory, root);

        // The same dialog is reused: every opening starts at OUT_Directory.
        dialog.show();
        EXPECT_EQ(shown(dialog), QDir::toNativeSeparators(root));
        browseTo(dialog, other);
        EXPECT_EQ(shown(dialog), QDir::toNativeSeparators(other));
        click(dialog, "Button1");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(prefs.OUT_Directory, other);

        // New Folder makes a folder of a free name in the open one and opens it;
        // where none can be made it says so and stays.
        dialog.show();
        click(dialog, "NewFolderBtn");
        EXPECT_EQ(shown(dialog), QDir::toNativeSeparators(other + u"/New Folder"_s));
        browseTo(dialog, other);
        click(dialog, "NewFolderBtn");
        EXPECT_TRUE(QFileInfo(other + u"/New Folder (2)"_s).isDir());
        browseTo(dialog, other);
        QStringList errors;
        MessageService::setHandler([&](const MessageService::Message &m) {
            errors << m.text;
            return MessageService::Button::Ok;
        });
        QFile::setPermissions(other, QFile::ReadOwner | QFile::ExeOwner);
        {
            TestSupport::AsUnprivilegedUser nobody;
            click(dialog, "NewFolderBtn");
        }
        QFile::setPermissions(other, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        MessageService::setHandler({});
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors.first().startsWith(u"A new folder could not be made"_s)) << errors.first().toStdString();
        EXPECT_EQ(shown(dialog), QDir::toNativeSeparators(other));
        EXPECT_FALSE(QFileInfo::exists(other + u"/New Folder (3)"_s));
        click(dialog, "Button2");

        // A folder removed while the dialog is open leaves its parent.
        dialog.show();
        ASSERT_TRUE(QDir(other).removeRecursively());
        dialog.setGeometry(40, 50, 500, 420);
        placed = QRect(dialog.pos(), dialog.size());
        click(dialog, "Button1");
        EXPECT_EQ(prefs.OUT_Directory, TestSupport::homeDir());
    }
    TOutDirDialog again(prefs.OUT_Directory);  // placed where it was last closed
    again.show();
    EXPECT_EQ(QRect(again.pos(), again.size()), placed);
}

TEST_F(DialogTest, OutDirOpensInViewAndStoresTheNearestExistingFolderOfAnOddPath)
{
    const QString file = root + u"/a.wav"_s;  // a file is not a folder: its folder is opened
    ASSERT_TRUE(TestSupport::writeFile(file, "x"));
    const QString deep = root + u"/a/b/c/d/e/f/g/h/i/j/k/l/m/n"_s;
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString home = QDir::homePath();
    const std::pair<QString, QString> cases[] = {{root + u"/gone/deeper"_s, root},
                                                 {root + u'/', root},
                                                 {root + u"/./x/../y/z"_s, root},
                                                 {u"/"_s, u"/"_s},
                                                 {file, root},
                                                 {QString(), home},
                                                 {u"  "_s, home},
                                                 {u"relative/dir"_s, home},
                                                 {deep, deep}};
    for (const auto &[start, nearest] : cases) {
        prefs.OUT_Directory = start;
        TOutDirDialog dialog(prefs.OUT_Directory);
        dialog.resize(410, 366);
        dialog.show();
        EXPECT_EQ(shown(dialog), QDir::toNativeSeparators(nearest)) << start.toStdString();
        // The open folder is brought into view once the folders have loaded, however deep.
        auto *tree = child<QTreeView>(dialog, "DirectoryListBox1");
        const auto inView = [tree] {
            const QRect row = tree->visualRect(tree->currentIndex());
            return !row.isEmpty() && tree->viewport()->rect().contains(row.center());
        };
        if (nearest != u"/"_s) {  // the top of the tree is no row
            EXPECT_TRUE(TestSupport::waitFor(inView, 3000)) << start.toStdString();
        }
        click(dialog, "Button1");
        EXPECT_EQ(prefs.OUT_Directory, nearest) << start.toStdString();
    }
}

#include "DialogsTest.moc"
