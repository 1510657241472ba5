// The generic settings record: item kinds, their text forms, lookups by
// name, load and save, and registry access by path.
#include "RegistryEnhanced.h"
#include "SettingsTestSupport.h"
#include "TBaseRegistryClassUnit.h"

#include <gtest/gtest.h>

#include <QFile>

using TestSupport::readFile;

namespace {

class Record : public TBaseRegistryClass
{
public:
    Record() { Section = QStringLiteral("Voxtrella"); }
};

}  // namespace

TEST(RegistryItems, EachKindRoundTripsThroughItsTextForm)
{
    Record record;
    record.AddItem(QStringLiteral("Int"), 2, -42, ikInteger);
    record.AddItem(QStringLiteral("Real"), 2, 0.1, ikReal);
    record.AddItem(QStringLiteral("Bool"), 2, true, ikBoolean);
    record.AddItem(QStringLiteral("Text"), 2, QStringLiteral("x"), ikString);
    record.AddItem(QStringLiteral("List"), 2, QStringList{"a", "b \"c\", d", ""}, ikList);

    // A new item holds zero, false or empty until it is loaded or set.
    EXPECT_EQ(record.GetValue(QStringLiteral("Int")).toInt(), 0);
    EXPECT_EQ(record.GetValue(QStringLiteral("Bool")).toBool(), false);
    EXPECT_TRUE(record.GetValue(QStringLiteral("List")).toStringList().isEmpty());

    record.LoadFromRegistry();
    EXPECT_EQ(record.GetValue(QStringLiteral("Int")).toInt(), -42);
    EXPECT_DOUBLE_EQ(record.GetValue(QStringLiteral("Real")).toDouble(), 0.1);
    EXPECT_EQ(record.GetValue(QStringLiteral("Bool")).toBool(), true);
    EXPECT_EQ(record.GetValue(QStringLiteral("Text")).toString(), QStringLiteral("x"));
    EXPECT_EQ(record.GetValue(QStringLiteral("List")).toStringList(), (QStringList{"a", "b \"c\", d", ""}));

    record.SetValue(QStringLiteral("Int"), 2147483647);
    record.SetValue(QStringLiteral("Real"), 1e-300);
    record.SetValue(QStringLiteral("Bool"), false);
    record.SetValue(QStringLiteral("Text"), QStringLiteral("line\nbreak \"q\""));
    record.SetValue(QStringLiteral("List"), QStringList{"one"});
    ASSERT_TRUE(record.SaveToRegistry());

    RegistryStore store;
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("Int")).toString(), QStringLiteral("2147483647"));
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("Bool")).toString(), QStringLiteral("false"));
    EXPECT_EQ(store.valueType(PrefsKey, QStringLiteral("Real")), RegistryStore::ValueType::String);

    Record again;
    again.AddItem(QStringLiteral("Int"), 2, 0, ikInteger);
    again.AddItem(QStringLiteral("Real"), 2, 0.0, ikReal);
    again.AddItem(QStringLiteral("Bool"), 2, true, ikBoolean);
    again.AddItem(QStringLiteral("Text"), 2, QString(), ikString);
    again.AddItem(QStringLiteral("List"), 2, QStringList(), ikList);
    again.LoadFromRegistry();
    EXPECT_EQ(again.GetValue(QStringLiteral("Int")).toInt(), 2147483647);
    EXPECT_EQ(again.GetValue(QStringLiteral("Real")).toDouble(), 1e-300);
    EXPECT_EQ(again.GetValue(QStringLiteral("Bool")).toBool(), false);
    EXPECT_EQ(again.GetValue(QStringLiteral("Text")).toString(), QStringLiteral("line\nbreak \"q\""));
    EXPECT_EQ(again.GetValue(QStringLiteral("List")).toStringList(), QStringList{"one"});
}

TEST(RegistryItems, StoredTextThatDoesNotConvertGivesTheDefault)
{
    storeTexts({{"Int", "12abc"}, {"Big", "99999999999"}, {"Real", "1,5"}, {"List", "\"open"},
                {"Spaces", " 17 "}, {"Neg", "-5"}});
    Record record;
    record.AddItem(QStringLiteral("Int"), 2, 3, ikInteger);
    record.AddItem(QStringLiteral("Big"), 2, 4, ikInteger);
    record.AddItem(QStringLiteral("Real"), 2, 2.5, ikReal);
    record.AddItem(QStringLiteral("List"), 2, QStringList{"d"}, ikList);
    record.AddItem(QStringLiteral("Spaces"), 2, 0, ikInteger);
    record.AddItem(QStringLiteral("Neg"), 2, 0, ikInteger);
    record.LoadFromRegistry();
    EXPECT_EQ(record.GetValue(QStringLiteral("Int")).toInt(), 3);
    EXPECT_EQ(record.GetValue(QStringLiteral("Big")).toInt(), 4);
    EXPECT_DOUBLE_EQ(record.GetValue(QStringLiteral("Real")).toDouble(), 2.5);
    EXPECT_EQ(record.GetValue(QStringLiteral("List")).toStringList(), QStringList{"d"});
    EXPECT_EQ(record.GetValue(QStringLiteral("Spaces")).toInt(), 17);
    EXPECT_EQ(record.GetValue(QStringLiteral("Neg")).toInt(), -5);

    // Values set in code that do not convert change nothing.
    record.SetValue(QStringLiteral("Neg"), QStringLiteral("many"));
    EXPECT_EQ(record.GetValue(QStringLiteral("Neg")).toInt(), -5);
}

TEST(RegistryItems, BooleansAreTrueOnlyForTheWordTrueInAnyCase)
{
    storeTexts({{"A", "TRUE"}, {"B", "tRuE"}, {"C", "1"}, {"D", ""}, {"E", "yes"}, {"F", "true "}});
    Record record;
    for (const char *name : {"A", "B", "C", "D", "E", "F"})
        record.AddItem(QLatin1String(name), 2, true, ikBoolean);
    record.LoadFromRegistry();
    EXPECT_TRUE(record.GetValue(QStringLiteral("A")).toBool());
    EXPECT_TRUE(record.GetValue(QStringLiteral("B")).toBool());
    for (const char *name : {"C", "D", "E", "F"})
        EXPECT_FALSE(record.GetValue(QLatin1String(name)).toBool()) << name;
}

TEST(RegistryItems, TheTextDefaultvalueAndMissingOrForeignValuesLoadTheDefault)
{
    RegistryStore store;
    store.setString(PrefsKey, QStringLiteral("Marker"), QStringLiteral("defaultvalue"));
    store.setString(PrefsKey, QStringLiteral("NotQuite"), QStringLiteral("DefaultValue"));
    store.setDWord(PrefsKey, QStringLiteral("Dword"), 300);
    store.setBinary(PrefsKey, QStringLiteral("Binary"), QByteArray(6, 'x'));
    ASSERT_TRUE(store.save());

    Record record;
    record.AddItem(QStringLiteral("Marker"), 2, QStringLiteral("the default"), ikString);
    record.AddItem(QStringLiteral("NotQuite"), 2, QStringLiteral("the default"), ikString);
    record.AddItem(QStringLiteral("Dword"), 2, 1, ikInteger);
    record.AddItem(QStringLiteral("Binary"), 2, 1, ikInteger);
    record.AddItem(QStringLiteral("Missing"), 2, 9, ikInteger);
    record.AddItem(QStringLiteral("Base"), 0, 8, ikInteger);
    record.LoadFromRegistry();
    EXPECT_EQ(record.GetValue(QStringLiteral("Marker")).toString(), QStringLiteral("the default"));
    EXPECT_EQ(record.GetValue(QStringLiteral("NotQuite")).toString(), QStringLiteral("DefaultValue"));
    EXPECT_EQ(record.GetValue(QStringLiteral("Dword")).toInt(), 300);  // a number stored as REG_DWORD is accepted
    EXPECT_EQ(record.GetValue(QStringLiteral("Binary")).toInt(), 6);   // a binary value reads as its size
    EXPECT_EQ(record.GetValue(QStringLiteral("Missing")).toInt(), 9);

    // Location 0 lies directly under the base key, other locations under the section.
    record.SaveToRegistry();
    RegistryStore saved;
    EXPECT_EQ(saved.value(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Base")).toString(),
              QStringLiteral("8"));
    EXPECT_FALSE(saved.value(PrefsKey, QStringLiteral("Base")).isValid());
}

TEST(RegistryItems, DuplicateNamesReachTheFirstAndTheLaterSaveWins)
{
    storeTexts({{"Dup", "5"}});
    Record record;
    record.AddItem(QStringLiteral("Dup"), 2, 1, ikInteger);
    record.AddItem(QStringLiteral("DUP"), 2, 2, ikInteger);
    record.LoadFromRegistry();
    EXPECT_EQ(record.Items[0]->GetAsString(), QStringLiteral("5"));
    EXPECT_EQ(record.Items[1]->GetAsString(), QStringLiteral("5"));

    record.SetValue(QStringLiteral("dup"), 7);
    EXPECT_EQ(record.FindItem(QStringLiteral("dUp")), record.Items[0].get());
    EXPECT_EQ(record.Items[0]->GetAsString(), QStringLiteral("7"));
    EXPECT_EQ(record.Items[1]->GetAsString(), QStringLiteral("5"));
    ASSERT_TRUE(record.SaveToRegistry());
    EXPECT_EQ(RegistryStore().value(PrefsKey, QStringLiteral("Dup")).toString(), QStringLiteral("5"));
}

TEST(RegistryItems, AnUnknownNameIsReportedAndChangesNothing)
{
    MessageRecorder messages;
    Record record;
    record.AddItem(QStringLiteral("Known"), 2, 1, ikInteger);
    EXPECT_EQ(record.FindItem(QStringLiteral("Nope")), nullptr);
    EXPECT_FALSE(record.GetValue(QStringLiteral("Nope")).isValid());
    record.SetValue(QStringLiteral("Nope"), 5);
    EXPECT_EQ(messages.texts, QStringList(3, QStringLiteral("No such registry item as name between equals =Nope=")));
    EXPECT_EQ(record.Items.size(), 1u);
}

TEST(RegistryItems, LoadingWritesNothingAndEverySaveWritesEveryItem)
{
    Record record;
    record.AddItem(QStringLiteral("A"), 2, 1, ikInteger);
    record.LoadFromRegistry();
    EXPECT_FALSE(QFile::exists(settingsPath()));

    // Values that others keep in the same store survive a save.
    storeTexts({{"Other", "kept"}}, QStringLiteral("Software\\VarnyxTech\\Elsewhere"));
    ASSERT_TRUE(record.SaveToRegistry());
    RegistryStore store;
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("A")).toString(), QStringLiteral("1"));
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech\\Elsewhere"), QStringLiteral("Other")).toString(),
              QStringLiteral("kept"));
}

TEST(RegistryEnhanced, WritesByTypeAndReadsBackAsDescribed)
{
    TRegistryEnhanced registry;
    registry.Key = QStringLiteral("\\Software\\VarnyxTech\\");
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Text"), QStringLiteral("hello")));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Int"), -1));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Flag"), true));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Real"), 2.5));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Sub\\Deeper\\Leaf"), QStringLiteral("deep")));

    RegistryStore store;
    EXPECT_EQ(store.valueType(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Int")),
              RegistryStore::ValueType::DWord);
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Flag")).toUInt(), 1u);
    EXPECT_EQ(store.valueType(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Real")),
              RegistryStore::ValueType::Binary);
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech\\Sub\\Deeper"), QStringLiteral("Leaf")).toString(),
              QStringLiteral("deep"));

    EXPECT_EQ(registry.ReadValue(QStringLiteral("Text"), 0).toString(), QStringLiteral("hello"));
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Int"), 0).toInt(), -1);
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Real"), 0).toInt(), 8);  // binary: its size in bytes
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Sub\\Deeper\\Leaf"), 0).toString(), QStringLiteral("deep"));
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Missing"), QStringLiteral("dflt")).toString(), QStringLiteral("dflt"));

    // Reading never creates a key.
    TRegistryEnhanced reader;
    reader.Key = QStringLiteral("Software\\Nowhere");
    EXPECT_EQ(reader.ReadValue(QStringLiteral("X"), 3).toInt(), 3);
    EXPECT_FALSE(reader.KeyExists());
    EXPECT_FALSE(RegistryStore().keyExists(QStringLiteral("Software\\Nowhere")));

    EXPECT_TRUE(registry.DeleteValue(QStringLiteral("Text")));
    EXPECT_FALSE(registry.DeleteValue(QStringLiteral("Text")));
}
