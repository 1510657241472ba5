#include "AutoSave.h"
#include "TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using SavedArticles::Record;

TEST(AutoSave, SavesAfterAPauseAndDuringLongTypingOnlyWhenSomethingChanged)
{
    const QString file = TestSupport::homeDir() + QStringLiteral("/saved.txt");
    struct Records : SaveSource {
        std::vector<Record> records{{QStringLiteral("t"), QStringLiteral("v"), QStringLiteral("one")}};
        bool busy = false;
        std::optional<std::vector<Record>> RecordsToSave(const QString &) const override
        {
            return busy ? std::nullopt : std::optional(records);
        }
    } source;
    std::vector<Record> &records = source.records;
    bool &busy = source.busy;
    AutoSave save(file, source);
    QStringList outcomes;
    QObject::connect(&save, &AutoSave::written,
                     [&](bool ok, const QString &error) { outcomes << (ok ? "ok" : error); });
    const auto savedText = [&] {
        const auto parsed = SavedArticles::Parse(TestSupport::readFile(file)).Records;
        return parsed.empty() ? QString() : parsed[0].Text;
    };

    // Typing without a pause is still saved, before it stops.
    save.setDelays(60000, 300);
    for (int i = 0; i < 40; ++i) {
        records[0].Text += u'x';
        save.edited();
        TestSupport::idle(25);
    }
    ASSERT_FALSE(outcomes.isEmpty());
    EXPECT_EQ(outcomes.count("ok"), outcomes.size());
    EXPECT_TRUE(savedText().startsWith(u"onexxx"));
    EXPECT_NE(savedText(), records[0].Text);
    // The pause saves the rest; no edit, no save.
    save.setDelays(150, 300);
    ASSERT_TRUE(TestSupport::waitFor([&] { return !save.unsaved(); }, 3000));
    EXPECT_EQ(savedText(), records[0].Text);
    const qsizetype saves = outcomes.size();
    TestSupport::idle(500);
    EXPECT_EQ(outcomes.size(), saves);

    // Another save running: tried again after it.
    busy = true;
    records[0].Text = QStringLiteral("later");
    save.edited();
    TestSupport::idle(400);
    EXPECT_TRUE(save.unsaved());
    busy = false;
    ASSERT_TRUE(TestSupport::waitFor([&] { return savedText() == u"later"; }, 3000));

    // A file that cannot be written: the reason names it, the edit stays
    // unsaved, the file as it was, and it is tried again.
    const QByteArray before = TestSupport::readFile(file);
    ASSERT_TRUE(QFile::rename(file, file + ".kept") && QDir().mkdir(file));
    records[0].Text = QStringLiteral("lost?");
    save.edited();
    ASSERT_TRUE(TestSupport::waitFor([&] { return outcomes.last() != u"ok"; }, 3000));
    EXPECT_TRUE(outcomes.last().contains(file)) << outcomes.last().toStdString();
    EXPECT_TRUE(save.unsaved());
    ASSERT_TRUE(QDir().rmdir(file) && QFile::rename(file + ".kept", file));
    EXPECT_EQ(TestSupport::readFile(file), before);
    ASSERT_TRUE(TestSupport::waitFor([&] { return savedText() == u"lost?"; }, 3000));
}
