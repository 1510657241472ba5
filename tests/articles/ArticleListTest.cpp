#include "ArticleList.h"
#include "ArticlesTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

// The article list on its own, with no view: what it saves and restores.

using namespace ArticlesTest;

namespace {

// A Multi-Article list, and the saved file.
class ArticlesFile : public ::testing::Test
{
protected:
    ArticlesFile() { list->SetMultiArticle(true); }
    ArticleEntry *add(const QString &title, const QString &voice, const QString &text)
    {
        ArticleEntry *e = list->Add(text, voice);
        e->SetTitle(title);
        return e;
    }
    void import(ArticleList &into) { into.ImportList(path); }

    MessageLog messages;
    std::unique_ptr<ArticleList> list = std::make_unique<ArticleList>();
    QString path = TestSupport::homeDir() + "/VXExport.txt";
};

}  // namespace

// Hiding or replacing a locked article is refused through the window (MainWindowTest).
TEST(ArticleList, LockedArticlesAreNotDeletedUntilUnlocked)
{
    ArticleList list;
    list.SetMultiArticle(true);
    ArticleEntry *a = list.Add("a", "");
    list.Add("b", "");
    a->Locked = true;
    EXPECT_THROW(list.DeleteAll(), EMemoEntryLocked);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.DeleteMemoEntry(a), EMemoEntryLocked);
    list.UnlockAllEntries();
    list.DeleteAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.LastTitle(), "b");
}

TEST_F(ArticlesFile, NewsArticleIsWrittenAsFiveLinesBlankAsThreeAndHiddenNotAtAll)
{
    ASSERT_TRUE(list->ExportList(path));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(TestSupport::readFile(path), QByteArray());
    import(*list);
    EXPECT_EQ(list->Count(), 0);

    add("News", "Mary", "Hello\nWorld");
    list->HideEntry(add("Hidden", "Mary", "gone"));
    add("", "", "");
    ASSERT_TRUE(list->ExportList(path));
    EXPECT_EQ(TestSupport::readFile(path), S + "News|Mary|2\r\nHello\r\nWorld\r\n" + E + S + "||1\r\n\r\n" + E);
    EXPECT_FALSE(list->Exporting());
}

TEST_F(ArticlesFile, BrokenFilesImportWhatCanBeSaved)
{
    // A damaged record, binary junk, then a record cut off in a huge line.
    QByteArray junk(100000, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131) % 256);
    ASSERT_TRUE(TestSupport::writeFile(path, S + "ok|Mike|x\r\nB\r\n" + E + S + "bin|Mary|1\r\n" + junk + "\r\n" + E +
                                                 S + "tail|Mary|1\r\n" + QByteArray(300000, 'z')));
    import(*list);
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Entry(0)->Title(), "ok");
    EXPECT_EQ(list->Entry(0)->VoiceName(), "Mike");
    EXPECT_FALSE(list->Entry(1)->Text().contains(QChar(0)));
    EXPECT_EQ(list->Entry(2)->Text().size(), 300000);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ArticlesFile, FailedExportOnAFullDiskOrInAReadOnlyFolderKeepsThePreviousFileWhole)
{
    const QString dir = TestSupport::homeDir() + "/ro";
    ASSERT_TRUE(QDir().mkpath(dir));
    path = dir + "/VXExport.txt";
    add("Keep", "Mary", "The saved article");
    ASSERT_TRUE(list->ExportList(path));
    QByteArray before = TestSupport::readFile(path);
    // A small save, whose write error shows only when it is flushed, fails
    // through the real program in NothingLost; this one fails while writing.
    for (int i = 0; i < 200; ++i)
        add(QString("New %1").arg(i), "Mike", QString(200, 'n'));
    {
        TestSupport::FileSizeLimit full(4096);
        EXPECT_FALSE(list->ExportList(path));
    }
    EXPECT_EQ(TestSupport::readFile(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList({"VXExport.txt"}));
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(list->ExportList(QStringLiteral("/proc/voxtrella-cannot-write-here")));
    EXPECT_EQ(messages.texts.size(), 1);  // told once while saving keeps failing
    EXPECT_FALSE(list->Exporting());
    ASSERT_TRUE(list->ExportList(path));
    before = TestSupport::readFile(path);
    EXPECT_GT(before.size(), 40000);

    // The folder becomes read-only to its owner, nobody, who may write the file in place but add none beside it.
    add("More", "Mike", "not saved");
    const QString home = TestSupport::homeDir();
    QFile::setPermissions(home, QFile::permissions(home) | QFileDevice::ExeOther);
    for (const QString &owned : {dir, path})
        (void)::chown(QFile::encodeName(owned).constData(), 65534, 65534);
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool written = false;
    {
        TestSupport::AsUnprivilegedUser nobody;
        QFile probe(dir + "/probe");
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            GTEST_SKIP() << "file permissions are not enforced here";
        }
        written = list->ExportList(path);
    }
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(written);
    EXPECT_EQ(TestSupport::readFile(path), before);
    EXPECT_EQ(messages.texts.size(), 2);
}

// A binary saved file is kept aside the same way through the real program (NothingLost).
TEST_F(ArticlesFile, ASavedFileThatIsAPipeIsKeptAsideNotWaitedFor)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    import(*list);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(QFile::exists(path));
    const QDir home(TestSupport::homeDir());
    EXPECT_EQ(home.entryList({"VXExport.txt.unreadable-*"}, QDir::Files | QDir::System).size(), 1);
    EXPECT_EQ(messages.texts.size(), 1);
}
