#include "RegistryStore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QString Key = QStringLiteral("Software\\VarnyxTech\\Voxtrella");

QString settingsPath()
{
    return TestSupport::homeDir() + QStringLiteral("/registry.ini");
}

}  // namespace

TEST(RegistryStore, ValueKindsAndAwkwardTextSurviveSaveAndReload)
{
    const QString awkward = QString::fromUtf8("a \"quoted\" \\path\\ with = and ; \n second line\t\x01 \xc3\xa9\xe2\x82\xac");
    {
        RegistryStore store;
        EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Missing);
        store.setString(Key, QStringLiteral("Text"), QStringLiteral("300"));
        store.setDWord(Key, QStringLiteral("Number"), 300);
        store.setDWord(Key, QStringLiteral("Big"), 0xffffffffu);
        store.setBinary(Key, QStringLiteral("Blob"), QByteArray("\x00\x01\xff", 3));
        store.setBinary(Key, QStringLiteral("Empty blob"), QByteArray());
        store.setString(Key, QStringLiteral("Empty"), QString());
        store.setString(Key, awkward, awkward);
        ASSERT_TRUE(store.save()) << store.errorString().toStdString();
    }
    RegistryStore store;
    EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Text")), RegistryStore::ValueType::String);
    EXPECT_EQ(store.value(Key, QStringLiteral("Text")).toString(), QStringLiteral("300"));
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Number")), RegistryStore::ValueType::DWord);
    EXPECT_EQ(store.value(Key, QStringLiteral("Number")).toUInt(), 300u);
    EXPECT_EQ(store.value(Key, QStringLiteral("Big")).toUInt(), 0xffffffffu);
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Blob")), RegistryStore::ValueType::Binary);
    EXPECT_EQ(store.value(Key, QStringLiteral("Blob")).toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Empty blob")), RegistryStore::ValueType::Binary);
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Empty")), RegistryStore::ValueType::String);
    EXPECT_EQ(store.value(Key, awkward).toString(), awkward);
    EXPECT_EQ(store.valueNames(Key).size(), 7);
    EXPECT_EQ(store.valueType(Key, QStringLiteral("Absent")), RegistryStore::ValueType::None);
    EXPECT_FALSE(store.value(Key, QStringLiteral("Absent")).isValid());
}

TEST(RegistryStore, KeysAndNamesIgnoreLetterCaseAndSeparatorStyle)
{
    RegistryStore store;
    store.setString(QStringLiteral("\\Software\\VarnyxTech\\Voxtrella\\"), QStringLiteral("ShowOptions"),
                    QStringLiteral("true"));
    EXPECT_EQ(store.value(QStringLiteral("software/varnyxtech//VOXTRELLA"), QStringLiteral("showoptions")).toString(),
              QStringLiteral("true"));
    // Writing under another spelling replaces the value and keeps the first spelling.
    store.setString(QStringLiteral("SOFTWARE\\varnyxtech\\voxtrella"), QStringLiteral("SHOWOPTIONS"),
                    QStringLiteral("false"));
    EXPECT_EQ(store.valueNames(Key), QStringList{QStringLiteral("ShowOptions")});
    EXPECT_EQ(store.value(Key, QStringLiteral("ShowOptions")).toString(), QStringLiteral("false"));
    ASSERT_TRUE(store.save());
    EXPECT_TRUE(readFile(settingsPath()).contains("[Software\\VarnyxTech\\Voxtrella]"));
}

TEST(RegistryStore, KeysExistWhenCreatedOrHoldingValuesOrSubkeys)
{
    RegistryStore store;
    EXPECT_TRUE(store.keyExists(QString()));
    EXPECT_FALSE(store.keyExists(QStringLiteral("Software\\VarnyxTech")));
    store.setString(QStringLiteral("Software\\VarnyxTech\\Windows\\voxtrella\\Form1"), QStringLiteral("Top"),
                    QStringLiteral("5"));
    store.createKey(QStringLiteral("Software\\VarnyxTech\\Empty"));
    EXPECT_TRUE(store.keyExists(QStringLiteral("Software\\VarnyxTech")));
    EXPECT_TRUE(store.keyExists(QStringLiteral("software\\varnyxtech\\windows")));
    EXPECT_FALSE(store.keyExists(QStringLiteral("Software\\VarnyxTech\\Win")));
    EXPECT_EQ(store.subKeys(QStringLiteral("Software\\VarnyxTech")), (QStringList{"Empty", "Windows"}));
    ASSERT_TRUE(store.save());

    RegistryStore reloaded;
    EXPECT_TRUE(reloaded.keyExists(QStringLiteral("Software\\VarnyxTech\\Empty")));
    EXPECT_TRUE(reloaded.deleteKey(QStringLiteral("Software\\VarnyxTech\\Windows")));
    EXPECT_FALSE(reloaded.keyExists(QStringLiteral("Software\\VarnyxTech\\Windows\\voxtrella\\Form1")));
    EXPECT_TRUE(reloaded.keyExists(QStringLiteral("Software\\VarnyxTech\\Empty")));
    EXPECT_FALSE(reloaded.deleteValue(QStringLiteral("Software\\VarnyxTech\\Empty"), QStringLiteral("x")));
}

TEST(RegistryStore, NothingIsWrittenBeforeSave)
{
    {
        RegistryStore store;
        store.setString(Key, QStringLiteral("A"), QStringLiteral("1"));
    }
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST(RegistryStore, DamagedFilesReadAsEmptyAndAreKeptAsideOnSave)
{
    const QList<QByteArray> damaged = {
        QByteArray("this is not a settings file\n"),
        QByteArray("[Software\\VarnyxTech\\Voxtrella]\n\"ShowOptions\"=\"true\n"),  // no closing quote
        QByteArray("\"before any key\"=\"x\"\n"),
        QByteArray("[Software\\VarnyxTech]\n\"N\"=dword:123456789\n"),  // nine digits
        QByteArray("[Software\\VarnyxTech]\n\"B\"=hex:0g\n"),
        QByteArray("[Software\\VarnyxTech]\n\"S\"=\"\xff\xfe invalid utf-8\"\n"),
        QByteArray::fromHex("7f454c4602010100000000000000000003003e00"),  // a program file
    };
    for (const QByteArray &bytes : damaged) {
        ASSERT_TRUE(writeFile(settingsPath(), bytes));
        RegistryStore store;
        EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Damaged) << bytes.toStdString();
        EXPECT_FALSE(store.keyExists(QStringLiteral("Software\\VarnyxTech"))) << bytes.toStdString();

        store.setString(Key, QStringLiteral("A"), QStringLiteral("1"));
        ASSERT_TRUE(store.save());
        EXPECT_EQ(readFile(settingsPath() + QStringLiteral(".damaged")), bytes);
        EXPECT_EQ(RegistryStore().value(Key, QStringLiteral("A")).toString(), QStringLiteral("1"));
    }
}

TEST(RegistryStore, HandWrittenFilesWithCrLfAndCommentsLoad)
{
    ASSERT_TRUE(writeFile(settingsPath(), "; comment\r\n# another\r\n\r\n[Software\\VarnyxTech\\Voxtrella]\r\n"
                                          "\"A\"=\"x\"\r\n  \"B\"=DWORD:0000000a  \r\n\"C\"=hex:\r\n"));
    RegistryStore store;
    EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
    EXPECT_EQ(store.value(Key, QStringLiteral("A")).toString(), QStringLiteral("x"));
    EXPECT_EQ(store.value(Key, QStringLiteral("B")).toUInt(), 10u);
    EXPECT_EQ(store.value(Key, QStringLiteral("C")).toByteArray(), QByteArray());
}

TEST(RegistryStore, UnreadableFileReadsAsEmpty)
{
    ASSERT_TRUE(writeFile(settingsPath(), "[Software\\VarnyxTech]\n\"A\"=\"1\"\n"));
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(settingsPath(), QFile::WriteOwner);
    TestSupport::AsUnprivilegedUser unprivileged;
    RegistryStore store;
    EXPECT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Unreadable);
    EXPECT_FALSE(store.value(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("A")).isValid());
}

TEST(RegistryStore, AFailedSaveLeavesThePreviousFileWhole)
{
    const QString folder = TestSupport::homeDir() + QStringLiteral("/settings");
    const QString file = folder + QStringLiteral("/registry.ini");
    {
        RegistryStore store(file);
        store.setString(Key, QStringLiteral("A"), QStringLiteral("first"));
        ASSERT_TRUE(store.save());
    }
    const QByteArray before = readFile(file);
    // The file itself stays writable: only a save that truncates the file in
    // place could succeed here, and that is what must not happen.
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        RegistryStore store(file);
        ASSERT_EQ(store.loadStatus(), RegistryStore::LoadStatus::Ok);
        for (int i = 0; i < 1000; ++i)
            store.setString(Key, QStringLiteral("V%1").arg(i), QStringLiteral("second"));
        EXPECT_FALSE(store.save());
        EXPECT_FALSE(store.errorString().isEmpty());
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("registry.ini")});
}

TEST(RegistryStore, SaveCreatesMissingFolders)
{
    const QString file = TestSupport::homeDir() + QStringLiteral("/a/b/registry.ini");
    RegistryStore store(file);
    store.setDWord(Key, QStringLiteral("N"), 7);
    ASSERT_TRUE(store.save());
    EXPECT_EQ(RegistryStore(file).value(Key, QStringLiteral("N")).toUInt(), 7u);
}
