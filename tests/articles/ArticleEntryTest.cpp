#include "ArticleEntry.h"
#include "ArticlesTestSupport.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ArticlesTest;

TEST(ArticleEntry, LoadFromFileAppendsLinesReportsOnlyMissingFilesAndSurvivesBinaryAndHugeLines)
{
    MessageLog messages;
    ArticleEntry entry;
    entry.SetText("existing");
    const auto load = [&entry](const char *name, const QByteArray &bytes) {
        const QString file = TestSupport::homeDir() + '/' + name;
        EXPECT_TRUE(TestSupport::writeFile(file, bytes));
        return entry.LoadFromFile(file);
    };
    EXPECT_FALSE(entry.LoadFromFile(TestSupport::homeDir() + "/missing.txt"));
    EXPECT_TRUE(load("empty.txt", {}));
    EXPECT_EQ(entry.Text(), "existing");
    EXPECT_TRUE(load("news.txt", "caf\xE9\r\n\x93quoted\x94\r\n"));
    EXPECT_EQ(entry.Text(), QString::fromUtf8("existing\ncaf\u00e9\n\u201cquoted\u201d"));

    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char(i % 251);
    entry.SetText("");
    EXPECT_TRUE(load("a.bin", binary));
    EXPECT_FALSE(entry.Text().contains(QChar(0)));
    EXPECT_GT(entry.Text().size(), 1000);
    entry.SetText("");
    EXPECT_TRUE(load("long.txt", QByteArray(500000, 'x')));
    EXPECT_EQ(entry.Text().size(), 500000);
    EXPECT_TRUE(messages.texts.isEmpty());

    // A named pipe or a device is no text file: refused at once, not waited on.
    const QString fifo = TestSupport::homeDir() + "/pipe.txt";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &special : {fifo, QStringLiteral("/dev/zero")})
        EXPECT_FALSE(entry.LoadFromFile(special)) << special.toStdString();
    EXPECT_EQ(entry.Text().size(), 500000);
}
