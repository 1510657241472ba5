#include "RegistryStore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QString Key = "Software\\VarnyxTech\\Voxtrella";

QString settingsPath()
{
    return TestSupport::homeDir() + "/registry.ini";
}

}  // namespace

TEST(RegistryStore, ValueKindsAndAwkwardTextSurviveSaveAndReload)
{
    const QString awkward = QString::fromUtf8("a \"q\" \\p\\ = ; \n line\t\x01 \xc3\xa9\xe2\x82\xac");
    {
        RegistryStore store;
        EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Missing);
        store.setString(Key, "Text", "300");
        store.setDWord(Key, "Number", 0xffffffffu);
        store.setBinary(Key, "Blob", QByteArray("\x00\x01\xff", 3));
        store.setBinary(Key, "Empty", QByteArray());
        store.setString(Key, awkward, awkward);
        ASSERT_TRUE(store.save()) << store.errorString().toStdString();
    }
    RegistryStore store;
    EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
    EXPECT_EQ(store.valueType(Key, "Text"), RegistryStore::ValueType::String);
    EXPECT_EQ(store.value(Key, "Text").toString(), "300");
    EXPECT_EQ(store.valueType(Key, "Number"), RegistryStore::ValueType::DWord);
    EXPECT_EQ(store.value(Key, "Number").toUInt(), 0xffffffffu);
    EXPECT_EQ(store.value(Key, "Blob").toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(store.valueType(Key, "Empty"), RegistryStore::ValueType::Binary);
    EXPECT_EQ(store.value(Key, awkward).toString(), awkward);
    EXPECT_FALSE(store.value(Key, "Absent").isValid());
}

TEST(RegistryStore, KeysAndNamesIgnoreCaseAndExistWithValuesOrSubkeys)
{
    RegistryStore store;
    store.setString("\\Software\\VarnyxTech\\Voxtrella\\", "ShowOptions", "true");
    store.setString("SOFTWARE/varnyxtech//voxtrella", "SHOWOPTIONS", "false");
    EXPECT_EQ(store.valueNames(Key), QStringList{"ShowOptions"});  // first spelling kept
    EXPECT_EQ(store.value(Key, "showoptions").toString(), "false");

    // The program never makes, lists or deletes keys itself: an empty key surviving a save is all that is checked.
    store.createKey("Software\\VarnyxTech\\Empty");
    EXPECT_TRUE(store.keyExists("software\\varnyxtech"));
    EXPECT_FALSE(store.keyExists("Software\\VarnyxTech\\Vox"));
    ASSERT_TRUE(store.save());
    EXPECT_TRUE(readFile(settingsPath()).contains("[Software\\VarnyxTech\\Voxtrella]"));
    EXPECT_TRUE(RegistryStore().keyExists("Software\\VarnyxTech\\Empty"));
}

TEST(RegistryStore, DamagedFilesReadAsEmptyAndAreKept)
{
    const QList<QByteArray> damaged = {
        "this is not a settings file\n",
        "[Software\\VarnyxTech]\n\"ShowOptions\"=\"true\n",  // no closing quote
        "\"before any key\"=\"x\"\n",
        "[Software\\VarnyxTech]\n\"N\"=dword:123456789\n",
        "[Software\\VarnyxTech]\n\"S\"=\"\xff\xfe not utf-8\"\n",
        QByteArray::fromHex("7f454c4602010100000000000000000003003e00"),  // a program file
    };
    for (const QByteArray &bytes : damaged) {
        ASSERT_TRUE(writeFile(settingsPath(), bytes));
        RegistryStore store;
        EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Damaged) << bytes.toStdString();
        EXPECT_FALSE(store.keyExists("Software")) << bytes.toStdString();
        store.setString(Key, "A", "1");
        ASSERT_TRUE(store.save());
        EXPECT_EQ(readFile(settingsPath() + ".damaged"), bytes);
    }

    // Hand-written files with CR LF, comments and blanks are fine.
    ASSERT_TRUE(writeFile(settingsPath(), "; c\r\n\r\n[Software]\r\n  \"B\"=DWORD:0000000a  \r\n\"C\"=hex:\r\n"));
    EXPECT_EQ(RegistryStore().value("Software", "B").toUInt(), 10u);
}

TEST(RegistryStore, NothingIsWrittenBeforeSaveAndAFailedSaveLeavesThePreviousFileWhole)
{
    const QString folder = TestSupport::homeDir() + "/settings";
    const QString file = folder + "/registry.ini";
    RegistryStore(file).setString(Key, "A", "unsaved");
    EXPECT_FALSE(QFile::exists(file));
    RegistryStore first(file);
    first.setString(Key, "A", "first");
    ASSERT_TRUE(first.save());  // creating the missing folder
    const QByteArray before = readFile(file);

    // The file itself stays writable: only a save that truncates it in place
    // could succeed here, and that is what must not happen.
    ASSERT_EQ(::chmod(QFile::encodeName(TestSupport::homeDir()).constData(), 0705), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0505), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0606), 0);
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        RegistryStore store(file);
        for (int i = 0; i < 1000; ++i)
            store.setString(Key, QStringLiteral("V%1").arg(i), "second");
        EXPECT_FALSE(store.save());
        EXPECT_FALSE(store.errorString().isEmpty());
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"registry.ini"});
    // A full disk leaves the settings file whole through the real program: tests/app/NothingLostTest.
}

TEST(RegistryStore, ASettingsFileThatIsAPipeIsNeitherWaitedForNorReplaced)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(settingsPath()).constData(), 0600), 0);
    RegistryStore store;  // would hang here if it waited for a writer
    EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Unreadable);
    store.setString(Key, "A", "x");
    EXPECT_FALSE(store.save());
    EXPECT_FALSE(store.errorString().isEmpty());
    EXPECT_FALSE(QFileInfo(settingsPath()).isFile());
}
