// The generic settings record: item kinds and their text forms, lookups by
// name, load and save, and registry access by path.
#include "RegistryEnhanced.h"
#include "SettingsTestSupport.h"
#include "TBaseRegistryClassUnit.h"

#include <gtest/gtest.h>

namespace {

class Record : public TBaseRegistryClass
{
public:
    Record() { Section = QStringLiteral("Voxtrella"); }
    QString text(const char *name) const { return FindItem(QLatin1String(name))->GetAsString(); }
};

}  // namespace

TEST(RegistryItems, RealAndListKindsRoundTripThroughTheirTextForm)
{
    const QStringList list{"a", "b \"c\", d", ""};
    Record record;
    record.AddItem(QStringLiteral("Real"), 2, 0.0, ikReal);
    record.AddItem(QStringLiteral("List"), 2, QStringList(), ikList);
    record.SetValue(QStringLiteral("Real"), 1e-300);
    record.SetValue(QStringLiteral("List"), list);
    ASSERT_TRUE(record.SaveToRegistry());
    record.SetValue(QStringLiteral("Real"), 1.0);
    record.SetValue(QStringLiteral("List"), QStringList());
    record.LoadFromRegistry();
    EXPECT_EQ(record.GetValue(QStringLiteral("Real")).toDouble(), 1e-300);
    EXPECT_EQ(record.GetValue(QStringLiteral("List")).toStringList(), list);
}

TEST(RegistryItems, StoredTextRulesDecideBetweenValueAndDefault)
{
    storeTexts({{"Bad", "12abc"}, {"Big", "99999999999"}, {"Spaces", " 17 "}, {"Real", "1,5"}, {"List", "\"open"},
                {"T1", "TRUE"}, {"T2", "tRuE"}, {"F1", "1"}, {"F2", ""}, {"F3", "yes"},
                {"Marker", "defaultvalue"}, {"NotMarker", "DefaultValue"}});
    RegistryStore store;
    store.setDWord(PrefsKey, QStringLiteral("Dword"), 300);
    store.setBinary(PrefsKey, QStringLiteral("Binary"), QByteArray(6, 'x'));
    store.save();

    Record r;
    for (const char *name : {"Bad", "Big", "Spaces", "Dword", "Binary", "Missing"})
        r.AddItem(QLatin1String(name), 2, 3, ikInteger);
    r.AddItem(QStringLiteral("Real"), 2, 2.5, ikReal);
    r.AddItem(QStringLiteral("List"), 2, QStringList{"d"}, ikList);
    for (const char *name : {"T1", "T2", "F1", "F2", "F3"})
        r.AddItem(QLatin1String(name), 2, true, ikBoolean);
    r.AddItem(QStringLiteral("Marker"), 2, QStringLiteral("dflt"), ikString);
    r.AddItem(QStringLiteral("NotMarker"), 2, QStringLiteral("dflt"), ikString);
    r.LoadFromRegistry();

    // Text that does not convert counts as absent.
    EXPECT_EQ(r.text("Bad"), "3");
    EXPECT_EQ(r.text("Big"), "3");
    EXPECT_EQ(r.text("Spaces"), "17");
    EXPECT_EQ(r.text("Real"), "2.5");
    EXPECT_EQ(r.text("List"), "\"d\"");
    // A number stored as REG_DWORD is accepted; a binary value reads as its size.
    EXPECT_EQ(r.text("Dword"), "300");
    EXPECT_EQ(r.text("Binary"), "6");
    EXPECT_EQ(r.text("Missing"), "3");
    for (const char *name : {"T1", "T2"})
        EXPECT_EQ(r.text(name), "true") << name;
    for (const char *name : {"F1", "F2", "F3"})
        EXPECT_EQ(r.text(name), "false") << name;
    EXPECT_EQ(r.text("Marker"), "dflt");
    EXPECT_EQ(r.text("NotMarker"), "DefaultValue");

    r.SetValue(QStringLiteral("Spaces"), QStringLiteral("many"));  // does not convert: no change
    EXPECT_EQ(r.text("Spaces"), "17");
}

TEST(RegistryItems, DuplicateNamesReachTheFirstAndTheLaterSaveWins)
{
    storeTexts({{"Dup", "5"}});
    Record record;
    record.AddItem(QStringLiteral("Dup"), 2, 1, ikInteger);
    record.AddItem(QStringLiteral("DUP"), 2, 2, ikInteger);
    record.AddItem(QStringLiteral("Base"), 0, 8, ikInteger);
    record.LoadFromRegistry();
    EXPECT_EQ(record.Items[1]->GetAsString(), QStringLiteral("5"));
    record.SetValue(QStringLiteral("dup"), 7);
    EXPECT_EQ(record.Items[0]->GetAsString(), QStringLiteral("7"));
    EXPECT_EQ(record.Items[1]->GetAsString(), QStringLiteral("5"));
    ASSERT_TRUE(record.SaveToRegistry());
    RegistryStore store;
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("Dup")).toString(), QStringLiteral("5"));
    // Location 0 lies directly under the base key.
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Base")).toString(), "8");
}

TEST(RegistryItems, AnUnknownNameIsReportedAndChangesNothing)
{
    MessageRecorder messages;
    Record record;
    EXPECT_EQ(record.FindItem(QStringLiteral("Nope")), nullptr);
    EXPECT_FALSE(record.GetValue(QStringLiteral("Nope")).isValid());
    record.SetValue(QStringLiteral("Nope"), 5);
    EXPECT_EQ(messages.texts, QStringList(3, QStringLiteral("No such registry item as name between equals =Nope=")));
    EXPECT_TRUE(record.Items.empty());
}

TEST(RegistryEnhanced, WritesByTypeAndReadsWithoutCreating)
{
    TRegistryEnhanced registry;
    registry.Key = QStringLiteral("\\Software\\VarnyxTech\\");
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Int"), -1));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Flag"), true));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Real"), 2.5));
    ASSERT_TRUE(registry.WriteValue(QStringLiteral("Sub\\Deeper\\Leaf"), QStringLiteral("deep")));

    RegistryStore store;
    EXPECT_EQ(store.valueType(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Int")),
              RegistryStore::ValueType::DWord);
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech"), QStringLiteral("Flag")).toUInt(), 1u);
    EXPECT_EQ(store.value(QStringLiteral("Software\\VarnyxTech\\Sub\\Deeper"), QStringLiteral("Leaf")).toString(),
              QStringLiteral("deep"));
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Int"), 0).toInt(), -1);
    EXPECT_EQ(registry.ReadValue(QStringLiteral("Real"), 0).toInt(), 8);

    TRegistryEnhanced reader;
    reader.Key = QStringLiteral("Software\\Nowhere");
    EXPECT_EQ(reader.ReadValue(QStringLiteral("X"), 3).toInt(), 3);
    EXPECT_FALSE(RegistryStore().keyExists(QStringLiteral("Software\\Nowhere")));
}
