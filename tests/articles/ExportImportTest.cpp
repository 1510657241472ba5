#include "ArticlesTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>

using namespace ArticlesTest;

namespace {

std::vector<VoiceChoice> testVoices()
{
    return {{"Mary", true, true}, {"Mike", true, true}, {QString::fromUtf8("Zo\u00eb"), true, true}};
}

class SavedFile : public ::testing::Test
{
protected:
    SavedFile() : list(makeList()) {}
    static std::unique_ptr<TMemoListBox> makeList(bool multi = true)
    {
        auto l = std::make_unique<TMemoListBox>();
        l->SetVoiceProvider(testVoices);
        l->SetMultiArticle(multi);
        l->SetVisibleEntries(3);
        l->resize(500, 400);
        return l;
    }
    TMemoEntry *add(const QString &title, const QString &voice, const QString &text)
    {
        TMemoEntry *e = list->Add(text, voice);
        e->SetTitle(title);
        return e;
    }
    void import(TMemoListBox &into) { into.ImportList(path, nullptr, {}, {}, {}); }

    MessageLog messages;
    std::unique_ptr<TMemoListBox> list;
    QString path = TestSupport::homeDir() + "/VXExport.txt";
};

// Drops the file-permission override of root for this thread, so that a
// read-only folder is read-only for the test too.
class PermissionChecksOn
{
public:
    PermissionChecksOn()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_changed = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionChecksOn()
    {
        if (m_changed)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_changed = false;
};

}  // namespace

TEST_F(SavedFile, NewsArticleIsWrittenAsFiveLinesBlankAsThreeAndHiddenNotAtAll)
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

TEST_F(SavedFile, ExportThenImportRestoresArticlesInOrder)
{
    add("First", "Mary", "One line");
    add("", "Mike", QString::fromUtf8("caf\u00e9\n\nthird line \u2013 dash"));
    add("Last|piped", QString::fromUtf8("Zo\u00eb"), "end");
    ASSERT_TRUE(list->ExportList(path));

    int reads = 0;
    QMenu menu;
    auto restored = makeList();
    restored->ImportList(path, &menu, [&](TMemoEntry *) { ++reads; }, {}, {});
    ASSERT_EQ(restored->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(restored->Entry(i)->Title(), list->Entry(i)->Title());
        EXPECT_EQ(restored->Entry(i)->VoiceName(), list->Entry(i)->VoiceName());
        EXPECT_EQ(restored->Entry(i)->Text(), list->Entry(i)->Text());
        EXPECT_EQ(restored->Entry(i)->Memo->PopupMenu(), &menu);
    }
    EXPECT_EQ(restored->CurrentEntry(), restored->Entry(2));
    EXPECT_FALSE(restored->Importing());
    restored->Entry(0)->Header->ReadBtn->click();
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(messages.texts.isEmpty());

    auto single = makeList(false);  // keeps the last record
    import(*single);
    ASSERT_EQ(single->Count(), 1);
    EXPECT_EQ(single->Entry(0)->Title(), "Last|piped");
    EXPECT_EQ(single->Entry(0)->VoiceName(), QString::fromUtf8("Zo\u00eb"));
}

TEST_F(SavedFile, ImportEndsWithTheLastArticlesInTheBottomRows)
{
    QByteArray file;
    for (int i = 1; i <= 5; ++i)
        file += S + "t" + QByteArray::number(i) + "|Mary|1\r\ntext\r\n" + E;
    ASSERT_TRUE(TestSupport::writeFile(path, file));
    list->show();
    add("before", "Mike", "already here");
    import(*list);
    ASSERT_EQ(list->Count(), 6);
    EXPECT_EQ(shownRows(*list), std::vector<int>({4, 5, 6}));
    EXPECT_EQ(list->ScrollBar()->maximum(), 3);
    EXPECT_EQ(list->ScrollBar()->value(), 3);
    EXPECT_EQ(list->CurrentEntry(), list->Entry(5));
    EXPECT_EQ(list->Entry(5)->y(), 2 * list->Entry(5)->height());
}

TEST_F(SavedFile, BrokenFilesImportWhatCanBeSaved)
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
    EXPECT_EQ(list->Entry(2)->Memo->TextLength(), 300000);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SavedFile, IntroductionFileLoads)
{
    list->ImportList(QStringLiteral(VOXTRELLA_SOURCE_DATA_DIR "/VXIntro.chl"), nullptr, {}, {}, {});
    ASSERT_GE(list->Count(), 1);
    for (int i = 0; i < list->Count(); ++i) {
        EXPECT_FALSE(list->Entry(i)->Title().trimmed().isEmpty());
        EXPECT_GT(list->Entry(i)->Text().size(), 200);
        EXPECT_FALSE(list->Entry(i)->Text().contains("||||||"));
    }
}

TEST_F(SavedFile, FailedExportOnAFullDiskOrInAReadOnlyFolderKeepsThePreviousFileWhole)
{
    const QString dir = TestSupport::homeDir() + "/ro";
    ASSERT_TRUE(QDir().mkpath(dir));
    path = dir + "/VXExport.txt";
    add("Keep", "Mary", "The saved article");
    ASSERT_TRUE(list->ExportList(path));
    QByteArray before = TestSupport::readFile(path);
    for (int i = 0; i < 200; ++i)
        add(QString("New %1").arg(i), "Mike", QString(200, 'n'));

    // The file system fills up: writes past 4 KB fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = list->ExportList(path);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(TestSupport::readFile(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList({"VXExport.txt"}));
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(list->ExportList(QStringLiteral("/proc/voxtrella-cannot-write-here")));
    EXPECT_EQ(messages.texts.size(), 1);  // told once while saving keeps failing
    EXPECT_FALSE(list->Exporting());
    ASSERT_TRUE(list->ExportList(path));
    before = TestSupport::readFile(path);
    EXPECT_GT(before.size(), 40000);

    // The folder becomes read-only.
    add("More", "Mike", "not saved");
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        PermissionChecksOn checks;
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
