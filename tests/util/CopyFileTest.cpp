#include "UtilsClass.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
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

TEST(CopyFile, CopiesEveryByteIntoFilesAndFolders)
{
    for (int size : {0, 8191, 8192, 3 * 8192 + 17}) {
        ASSERT_TRUE(writeFile(home("src.bin"), pattern(size)));
        ASSERT_TRUE(writeFile(home("dst.bin"), "old and longer than some"));
        UtilsClass::CopyFile(home("src.bin"), home("dst.bin"));
        EXPECT_EQ(readFile(home("dst.bin")), pattern(size)) << "size " << size;
    }
    ASSERT_TRUE(QDir().mkpath(home("folder")));
    UtilsClass::CopyFile(home("src.bin"), home("folder"));
    EXPECT_EQ(readFile(home("folder/src.bin")), pattern(3 * 8192 + 17));
}

TEST(CopyFile, FailuresNameTheFile)
{
    try {
        UtilsClass::CopyFile(home("missing.txt"), home("out.txt"));
        ADD_FAILURE() << "copying a missing file must fail";
    } catch (const EFOpenError &e) {
        EXPECT_TRUE(e.message().contains(home("missing.txt"))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(home("out.txt")));
    ASSERT_TRUE(writeFile(home("a.txt"), "data"));
    try {
        UtilsClass::CopyFile(home("a.txt"), home("no/such/folder/out.txt"));
        ADD_FAILURE() << "a destination in a missing folder must fail";
    } catch (const EFCreateError &e) {
        EXPECT_TRUE(e.message().contains(home("no/such/folder/out.txt"))) << e.what();
    }
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
        ::close(fd);
    });
    ASSERT_TRUE(writeFile(home("a.txt"), pattern(100000)));
    EXPECT_NO_THROW(UtilsClass::CopyFile(home("a.txt"), home("pipe")));
    if (const int unblock = ::open(path.constData(), O_WRONLY | O_NONBLOCK); unblock >= 0)
        ::close(unblock);  // in case the copy never opened the pipe
    reader.join();
    EXPECT_FALSE(QFileInfo(home("pipe")).isFile());
    EXPECT_EQ(received, pattern(100000));
}
