#include "PreferenceUnit.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using TestSupport::readFile;

namespace {

// Every setting in order with its default as stored text.
QList<QPair<QString, QString>> defaults()
{
    const QString files = TestSupport::homeDir() + QStringLiteral("/Files");
    return {{"ShowOptions", "true"}, {"ShowToolbar", "true"}, {"SI_AutoSpeak", "false"}, {"SI_Voice", "0"},
            {"SI_ShowBusyDialog", "true"}, {"MI_Voice", "0"}, {"ML_AutoDelete", "false"},
            {"ML_VisibleEntries", "3"}, {"ML_ListMode", "0"}, {"TTS_DefaultVoiceName", ""},
            {"TTS_HighlightPosition", "true"}, {"TTS_FilterSymbols", "true"}, {"TTS_AudioDeviceID", "-1"},
            {"TTS_SoundCardCheckErr", "true"}, {"CB_Monitor", "true"}, {"CB_Prompt", "true"},
            {"CB_PromptDelay", "3"}, {"CB_ThreshHold", "10"}, {"CB_PromptTop", "-1"}, {"CB_PromptLeft", "-1"},
            {"CB_DfltPromptAction", "2"}, {"CB_LastPromptAction", "2"}, {"CB_ClearOnCopy", "false"},
            {"OUT_FileDest", "0"}, {"OUT_FileFormat", "0"}, {"OUT_Directory", files},
            {"OpenDlgInitialDir", QDir::homePath()}, {"RunMinimized", "false"}, {"ToolbarOnMinOption", "1"},
            {"ToolbarOnTop", "false"}, {"FirstTimeUser", "true"}, {"BitRate", "32"},
            {"ShowPronEditWarning", "true"}, {"SI_DefaultTitles", "true"}};
}

// The fields as stored text, in registration order.
QList<QPair<QString, QString>> fieldTexts(TPreferences &prefs)
{
    prefs.FieldsToItems();
    QList<QPair<QString, QString>> texts;
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

TEST(Preferences, FirstRunGivesEveryDefaultAndTheFirstSaveWritesEveryKey)
{
    TPreferences prefs;
    EXPECT_EQ(fieldTexts(prefs), defaults());  // before any load, too
    load(prefs);
    EXPECT_EQ(fieldTexts(prefs), defaults());
    EXPECT_TRUE(QFileInfo(prefs.FilesDir).isDir());
    EXPECT_FALSE(QFile::exists(TestSupport::homeDir() + QStringLiteral("/registry.ini")));
    for (const auto &item : prefs.Items)
        EXPECT_EQ(item->Location, 2);

    ASSERT_TRUE(prefs.SaveToRegistry());
    RegistryStore store;
    QList<QPair<QString, QString>> stored;
    for (const QString &name : store.valueNames(PrefsKey))
        stored.append({name, store.value(PrefsKey, name).toString()});
    EXPECT_EQ(stored, defaults());
}

TEST(Preferences, ASecondRunReadsBackWhatTheFirstSaved)
{
    {
        TPreferences first;
        load(first);
        first.ShowOptions = false;
        first.SI_Voice = 1;
        first.TTS_DefaultVoiceName = QStringLiteral("eSpeak NG - English (Great Britain)");
        first.CB_PromptLeft = -300;
        first.OUT_Directory = QStringLiteral("/tmp/out put");
        first.BitRate = 64;
        first.FieldsToItems();
        ASSERT_TRUE(first.SaveToRegistry());
    }
    TPreferences second;
    load(second);
    auto expected = defaults();
    expected[0].second = "false";
    expected[3].second = "1";
    expected[9].second = "eSpeak NG - English (Great Britain)";
    expected[19].second = "-300";
    expected[25].second = "/tmp/out put";
    expected[31].second = "64";
    EXPECT_EQ(fieldTexts(second), expected);
}

TEST(Preferences, DamagedOrUnreadableSettingsGiveDefaults)
{
    const QString file = TestSupport::homeDir() + QStringLiteral("/registry.ini");
    for (const QByteArray &bytes : {QByteArray("ShowOptions=false\ngarbage {{{\n"),
                                    QByteArray::fromHex("00ff10fe7f454c4600000000deadbeef"), QByteArray(100000, '\xff')}) {
        ASSERT_TRUE(TestSupport::writeFile(file, bytes));
        TPreferences prefs;
        load(prefs);
        EXPECT_EQ(fieldTexts(prefs), defaults());
    }
    storeTexts({{"ShowOptions", "false"}});
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(file, QFile::WriteOwner);
    TestSupport::AsUnprivilegedUser unprivileged;
    TPreferences prefs;
    load(prefs);
    EXPECT_TRUE(prefs.ShowOptions);
}

TEST(Preferences, StoredValuesArriveByTheFieldsRules)
{
    storeTexts({{"ML_ListMode", "300"}, {"SI_Voice", "300"}, {"CB_DfltPromptAction", "-1"}, {"BitRate", "300"},
                {"ShowOptions", "FALSE"}, {"CB_ClearOnCopy", "TRUE"}, {"ShowToolbar", "1"},
                {"CB_PromptDelay", "defaultvalue"}, {"CB_ThreshHold", "ten"}, {"OUT_Directory", "   "}});
    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(prefs.ML_ListMode, 44);  // byte fields keep the low eight bits
    EXPECT_EQ(prefs.SI_Voice, 44);
    EXPECT_EQ(prefs.CB_DfltPromptAction, 255);
    EXPECT_EQ(prefs.BitRate, 300);
    EXPECT_FALSE(prefs.ShowOptions);
    EXPECT_TRUE(prefs.CB_ClearOnCopy);
    EXPECT_FALSE(prefs.ShowToolbar);
    EXPECT_EQ(prefs.CB_PromptDelay, 3);
    EXPECT_EQ(prefs.CB_ThreshHold, 10);
    EXPECT_EQ(prefs.OUT_Directory, prefs.FilesDir);  // a blank output folder
}

TEST(Preferences, AFilesFolderThatCannotBeCreatedIsABlank)
{
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    TestSupport::AsUnprivilegedUser unprivileged;
    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(prefs.FilesDir, QStringLiteral(" "));
    EXPECT_EQ(prefs.OUT_Directory, QStringLiteral(" "));
}

TEST(Preferences, RunMinimizedAndLateItemsSurviveARun)
{
    storeTexts({{"RunMinimized", "true"}, {"FAV_eSpeak NG - English", "true"}});
    TPreferences prefs;
    load(prefs);
    prefs.BitRate = 48;
    // The voice catalogue registers its items after the first load; the
    // second load gives them their stored values and leaves the fields alone.
    prefs.AddItem(QStringLiteral("FAV_eSpeak NG - English"), 2, false, ikBoolean);
    prefs.LoadFromRegistry();
    EXPECT_TRUE(prefs.GetValue(QStringLiteral("fav_espeak ng - english")).toBool());
    EXPECT_EQ(prefs.BitRate, 48);
    prefs.FieldsToItems();
    ASSERT_TRUE(prefs.SaveToRegistry());
    RegistryStore store;
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("RunMinimized")).toString(), QStringLiteral("true"));
    EXPECT_EQ(store.value(PrefsKey, QStringLiteral("BitRate")).toString(), QStringLiteral("48"));
}

TEST(Preferences, ModePropertiesFollowTheListModeWithoutChangingStoredValues)
{
    TPreferences p;
    p.SI_AutoSpeak = p.ML_AutoDelete = true;
    p.SI_DefaultTitles = false;
    p.ML_VisibleEntries = 5;
    p.OUT_FileDest = p.SI_Voice = 1;
    p.MI_Voice = 2;
    EXPECT_EQ(std::make_tuple(p.AutoSpeak(), p.AutoDelete(), p.VisibleEntries(), p.FileDest(), p.VoiceSelection(),
                              p.DefaultTitles()),
              std::make_tuple(true, false, 1, uint8_t(0), uint8_t(1), false));
    p.ML_ListMode = 1;
    EXPECT_EQ(std::make_tuple(p.AutoSpeak(), p.AutoDelete(), p.VisibleEntries(), p.FileDest(), p.VoiceSelection(),
                              p.DefaultTitles()),
              std::make_tuple(false, true, 5, uint8_t(1), uint8_t(2), true));
    EXPECT_TRUE(p.SI_AutoSpeak);
    EXPECT_FALSE(p.SI_DefaultTitles);

    p.SetVoiceSelection(0);  // writes the current mode's setting only
    EXPECT_EQ(std::make_pair(p.SI_Voice, p.MI_Voice), std::make_pair(uint8_t(1), uint8_t(0)));
    p.SetAutoSpeak(false);
    p.SetDefaultTitles(true);
    EXPECT_FALSE(p.SI_AutoSpeak);
    EXPECT_TRUE(p.SI_DefaultTitles);
}

TEST(Preferences, ASaveThatFailsLeavesThePreviousSettingsWhole)
{
    const QString folder = TestSupport::homeDir() + QStringLiteral("/cfg");
    qputenv("VOXTRELLA_HOME", folder.toLocal8Bit());
    TPreferences prefs;
    load(prefs);
    ASSERT_TRUE(prefs.SaveToRegistry());
    const QByteArray before = readFile(folder + QStringLiteral("/registry.ini"));

    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(folder + QStringLiteral("/registry.ini"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
    prefs.BitRate = 64;
    prefs.FieldsToItems();
    bool saved = true;
    {
        TestSupport::AsUnprivilegedUser unprivileged;
        saved = prefs.SaveToRegistry();
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(folder + QStringLiteral("/registry.ini")), before);
}
