#include "UtilsClass.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 256) & 0xff);
    return bytes;
}

QString home(const char *name)
{
    return TestSupport::homeDir() + u'/' + QLatin1String(name);
}

}  // namespace

TEST(CopyFile, CopiesEveryByteWhateverTheSizeAgainstTheBlockSize)
{
    for (int size : {0, 1, 8191, 8192, 8193, 3 * 8192, 3 * 8192 + 17}) {
        const QByteArray bytes = pattern(size);
        ASSERT_TRUE(writeFile(home("src.bin"), bytes));
        UtilsClass::CopyFile(home("src.bin"), home("dst.bin"));
        EXPECT_EQ(readFile(home("dst.bin")), bytes) << "size " << size;
    }
}

TEST(CopyFile, ReplacesAnExistingDestinationAndFillsAFolderDestination)
{
    ASSERT_TRUE(writeFile(home("a.txt"), "new"));
    ASSERT_TRUE(writeFile(home("b.txt"), "old and longer"));
    UtilsClass::CopyFile(home("a.txt"), home("b.txt"));
    EXPECT_EQ(readFile(home("b.txt")), "new");

    ASSERT_TRUE(QDir().mkpath(home("folder")));
    UtilsClass::CopyFile(home("a.txt"), home("folder"));
    EXPECT_EQ(readFile(home("folder/a.txt")), "new");
    UtilsClass::CopyFile(home("b.txt"), home("folder") + u'/');
    EXPECT_EQ(readFile(home("folder/b.txt")), "new");

    // A relative destination is taken from the current folder.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(home("folder")));
    UtilsClass::CopyFile(home("a.txt"), QStringLiteral("rel.txt"));
    QDir::setCurrent(cwd);
    EXPECT_EQ(readFile(home("folder/rel.txt")), "new");
}

TEST(CopyFile, FailuresNameTheFileAndLeaveTheDestinationAlone)
{
    try {
        UtilsClass::CopyFile(home("missing.txt"), home("out.txt"));
        FAIL() << "copying a missing file must fail";
    } catch (const EFOpenError &e) {
        EXPECT_TRUE(e.message().contains(home("missing.txt"))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(home("out.txt")));

    ASSERT_TRUE(writeFile(home("a.txt"), "data"));
    try {
        UtilsClass::CopyFile(home("a.txt"), home("no/such/folder/out.txt"));
        FAIL() << "a destination in a missing folder must fail";
    } catch (const EFCreateError &e) {
        EXPECT_TRUE(e.message().contains(home("no/such/folder/out.txt"))) << e.what();
    }

    // Copying onto itself keeps the content.
    UtilsClass::CopyFile(home("a.txt"), home("a.txt"));
    EXPECT_EQ(readFile(home("a.txt")), "data");
}

TEST(CopyFile, ASpecialFileDestinationIsWrittenNotReplaced)
{
    // Renaming a temporary file over a device or pipe would replace it with
    // a plain file; the copy must write into it instead.
    const QByteArray path = QFile::encodeName(home("pipe"));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        const int fd = ::open(path.constData(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        if (fd >= 0)
            ::close(fd);
    });
    const QByteArray bytes = pattern(100000);
    ASSERT_TRUE(writeFile(home("a.txt"), bytes));
    EXPECT_NO_THROW(UtilsClass::CopyFile(home("a.txt"), home("pipe")));
    // Unblocks the reader should the copy never have opened the pipe.
    const int unblock = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
    if (unblock >= 0)
        ::close(unblock);
    reader.join();
    EXPECT_FALSE(QFileInfo(home("pipe")).isFile());
    EXPECT_EQ(received, bytes);
}
