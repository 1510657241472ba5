#include "PreferenceUnit.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

// The fields as stored text, in registration order.
Texts fieldTexts(TPreferences &prefs)
{
    prefs.FieldsToItems();
    Texts texts;
    for (const auto &item : prefs.Items)
        texts.append({item->Name, item->GetAsString()});
    return texts;
}

// What the main window does when it is created.
void load(TPreferences &prefs)
{
    prefs.LoadFromRegistry();
    prefs.ItemsToFields();
}

}  // namespace

// The defaults themselves are the record's own table; what matters is that
// they reach the file whole and come back as saved.
TEST(Preferences, FirstRunSavesEveryDefaultAndASecondRunReadsBackWhatTheFirstSaved)
{
    Texts expected;
    {
        TPreferences first;
        load(first);
        expected = fieldTexts(first);
        ASSERT_EQ(expected.size(), 37);
        EXPECT_TRUE(QFileInfo(first.FilesDir).isDir());
        EXPECT_FALSE(QFile::exists(TestSupport::homeDir() + "/registry.ini"));
        ASSERT_TRUE(first.SaveToRegistry());
        RegistryStore store;
        Texts stored;
        for (const QString &name : store.valueNames(PrefsKey))
            stored.append({name, store.value(PrefsKey, name).toString()});
        EXPECT_EQ(stored, expected);

        first.ShowOptions = false;
        first.SI_Voice = 1;
        first.TTS_DefaultVoiceName = "eSpeak NG - English (Great Britain)";
        first.CB_PromptLeft = -300;
        first.OUT_Directory = "/tmp/out put";
        first.BitRate = 64;
        first.OUT_Subtitles = 3;
        expected = fieldTexts(first);
        ASSERT_TRUE(first.SaveToRegistry());
    }
    TPreferences second;
    load(second);
    EXPECT_EQ(fieldTexts(second), expected);
}

// A damaged file reads as an empty store (tests/platform/registry/RegistryStoreTest),
// which gives the defaults of a first run.
TEST(Preferences, UnreadableSettingsGiveDefaults)
{
    const QString file = TestSupport::homeDir() + "/registry.ini";
    storeTexts({{"ShowOptions", "false"}});
    // AsUnprivilegedUser reaches the file but cannot read it.
    QFile::setPermissions(TestSupport::homeDir(), QFile::permissions(TestSupport::homeDir()) | QFile::ExeOther);
    QFile::setPermissions(file, QFile::WriteOwner);
    TestSupport::AsUnprivilegedUser unprivileged;
    TPreferences prefs;
    load(prefs);
    EXPECT_TRUE(prefs.ShowOptions);
}

TEST(Preferences, StoredValuesArriveByTheFieldsRules)
{
    storeTexts({{"ML_ListMode", "300"},
                {"SI_Voice", "300"},
                {"CB_DfltPromptAction", "-1"},
                {"BitRate", "300"},
                {"OUT_Directory", "   "}});
    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(std::make_tuple(prefs.ML_ListMode, prefs.SI_Voice, prefs.CB_DfltPromptAction),
              std::make_tuple(uint8_t(44), uint8_t(44), uint8_t(255)));  // byte fields keep the low eight bits
    EXPECT_EQ(prefs.BitRate, 300);
    EXPECT_EQ(prefs.OUT_Directory, prefs.FilesDir);  // a blank output folder
}

TEST(Preferences, LateItemsGetTheirStoredValuesWithoutResettingTheFields)
{
    storeTexts({{"FAV_eSpeak NG - English", "true"}});
    TPreferences prefs;
    load(prefs);
    prefs.BitRate = 48;
    // The voice catalogue registers its items after the first load; the
    // second load gives them their stored values and leaves the fields alone.
    prefs.AddItem("FAV_eSpeak NG - English", 2, false, ikBoolean);
    prefs.LoadFromRegistry();
    EXPECT_TRUE(prefs.GetValue("fav_espeak ng - english").toBool());
    EXPECT_EQ(prefs.BitRate, 48);
    prefs.FieldsToItems();
    ASSERT_TRUE(prefs.SaveToRegistry());
    EXPECT_EQ(RegistryStore().value(PrefsKey, "BitRate").toString(), "48");
}
