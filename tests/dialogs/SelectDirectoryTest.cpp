#include "DialogTestSupport.h"
#include "SelectDirectory.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace {

QStringList listed(const TOutDirDialog &dialog)
{
    QStringList names;
    auto *list = dialog.findChild<QListWidget *>(QStringLiteral("FileListBox1"));
    for (int i = 0; list && i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QString label2(const TOutDirDialog &dialog)
{
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("Label2"));
    return label ? label->text() : QString();
}

// Selects a folder in the tree as a click would.
void selectInTree(TOutDirDialog &dialog, const QString &folder)
{
    auto *tree = dialog.findChild<QTreeView *>(QStringLiteral("DirectoryListBox1"));
    ASSERT_NE(tree, nullptr);
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    ASSERT_NE(model, nullptr);
    const QModelIndex index = model->index(folder);
    ASSERT_TRUE(index.isValid()) << folder.toStdString();
    tree->setCurrentIndex(index);
}

class OutDirDialogTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        root = QDir(TestSupport::homeDir()).filePath(QStringLiteral("out"));
        other = QDir(TestSupport::homeDir()).filePath(QStringLiteral("other place"));
        ASSERT_TRUE(QDir().mkpath(root));
        ASSERT_TRUE(QDir().mkpath(other));
        Prefs->OUT_Directory = root;
    }

    QString root;
    QString other;
};

}  // namespace

TEST_F(OutDirDialogTest, OpensOutputFolderListingWavAndMp3InAnyCase)
{
    for (const char *name : {"talk.wav", "Song.MP3", "mixed.Mp3", "notes.txt", "talk.wav.bak", "LOUD.WAV"})
        ASSERT_TRUE(TestSupport::writeFile(QDir(root).filePath(QString::fromLatin1(name)), "x"));
    // A folder that looks like a sound file is not a file.
    ASSERT_TRUE(QDir().mkpath(QDir(root).filePath(QStringLiteral("folder.wav"))));

    TOutDirDialog dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("OutDirDialog"));
    dialog.show();
    EXPECT_EQ(dialog.Directory(), root);
    EXPECT_EQ(label2(dialog), QDir::toNativeSeparators(root));
    QStringList names = listed(dialog);
    names.sort(Qt::CaseInsensitive);
    EXPECT_EQ(names, (QStringList{"LOUD.WAV", "mixed.Mp3", "Song.MP3", "talk.wav"}));
}

TEST_F(OutDirDialogTest, OkStoresTheFolderBrowsedTo)
{
    TOutDirDialog dialog;
    const int result = [&] {
        QTimer::singleShot(0, &dialog, [&] {
            selectInTree(dialog, other);
            EXPECT_EQ(label2(dialog), QDir::toNativeSeparators(other));
            click(child<QPushButton>(dialog, "Button1"));
        });
        return dialog.exec();
    }();
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(Prefs->OUT_Directory, other);
}

TEST_F(OutDirDialogTest, CancelAfterBrowsingChangesNothingAndReopensAtOutputFolder)
{
    TOutDirDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        selectInTree(dialog, other);
        click(child<QPushButton>(dialog, "Button2"));
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(Prefs->OUT_Directory, root);

    // The same dialog is reused: every opening starts at OUT_Directory.
    dialog.show();
    EXPECT_EQ(dialog.Directory(), root);
    EXPECT_EQ(label2(dialog), QDir::toNativeSeparators(root));
}

TEST_F(OutDirDialogTest, MissingFolderOpensNearestExistingParentAndOkStoresIt)
{
    Prefs->OUT_Directory = QDir(root).filePath(QStringLiteral("gone/deeper"));
    TOutDirDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.Directory(), root);
    EXPECT_EQ(label2(dialog), QDir::toNativeSeparators(root));
    click(child<QPushButton>(dialog, "Button1"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Prefs->OUT_Directory, root);
}

TEST_F(OutDirDialogTest, NearestExistingFolderHandlesOddPaths)
{
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(root + "/"), root);
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(root + "/./x/../y/z"), root);
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(QString()), QDir::homePath());
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(QStringLiteral("  ")), QDir::homePath());
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(QStringLiteral("relative/dir")), QDir::homePath());
    // A file is not a folder: its folder is opened.
    const QString file = QDir(root).filePath(QStringLiteral("a.wav"));
    ASSERT_TRUE(TestSupport::writeFile(file, "x"));
    EXPECT_EQ(TOutDirDialog::NearestExistingFolder(file), root);
}

TEST_F(OutDirDialogTest, OkStoresFolderWithoutTrailingSlash)
{
    Prefs->OUT_Directory = root + "/";
    TOutDirDialog dialog;
    dialog.show();
    click(child<QPushButton>(dialog, "Button1"));
    EXPECT_EQ(Prefs->OUT_Directory, root);
}

TEST_F(OutDirDialogTest, FolderRemovedWhileOpenStoresItsParent)
{
    const QString doomed = QDir(root).filePath(QStringLiteral("doomed"));
    ASSERT_TRUE(QDir().mkpath(doomed));
    Prefs->OUT_Directory = doomed;
    TOutDirDialog dialog;
    dialog.show();
    ASSERT_EQ(dialog.Directory(), doomed);
    ASSERT_TRUE(QDir(doomed).removeRecursively());
    click(child<QPushButton>(dialog, "Button1"));
    EXPECT_EQ(Prefs->OUT_Directory, root);
}

TEST_F(OutDirDialogTest, PlacementIsSavedOnCloseAndRestoredOnCreate)
{
    QPoint placedAt;
    QSize placedSize;
    {
        TOutDirDialog dialog;
        dialog.show();
        dialog.setGeometry(40, 50, 500, 420);
        placedAt = dialog.pos();
        placedSize = dialog.size();
        click(child<QPushButton>(dialog, "Button2"));
    }
    TOutDirDialog again;
    again.show();
    EXPECT_EQ(again.size(), placedSize);
    EXPECT_EQ(again.pos(), placedAt);
}

TEST_F(OutDirDialogTest, OpenFolderIsBroughtIntoViewOnceFoldersHaveLoaded)
{
    const QString deep = QDir(root).filePath(QStringLiteral("a/b/c/d/e/f/g/h/i/j/k/l/m/n"));
    ASSERT_TRUE(QDir().mkpath(deep));
    Prefs->OUT_Directory = deep;
    TOutDirDialog dialog;
    dialog.resize(410, 366);
    dialog.show();
    auto *tree = dialog.findChild<QTreeView *>(QStringLiteral("DirectoryListBox1"));
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(TestSupport::waitFor(
        [&] {
            const QRect row = tree->visualRect(tree->currentIndex());
            return !row.isEmpty() && tree->viewport()->rect().contains(row.center());
        },
        3000));
}
