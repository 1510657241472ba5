#include "PreferenceUnit.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using TestSupport::readFile;

namespace {

const QStringList AllKeys = {
    "ShowOptions", "ShowToolbar", "SI_AutoSpeak", "SI_Voice", "SI_ShowBusyDialog", "MI_Voice",
    "ML_AutoDelete", "ML_VisibleEntries", "ML_ListMode", "TTS_DefaultVoiceName", "TTS_HighlightPosition",
    "TTS_FilterSymbols", "TTS_AudioDeviceID", "TTS_SoundCardCheckErr", "CB_Monitor", "CB_Prompt",
    "CB_PromptDelay", "CB_ThreshHold", "CB_PromptTop", "CB_PromptLeft", "CB_DfltPromptAction",
    "CB_LastPromptAction", "CB_ClearOnCopy", "OUT_FileDest", "OUT_FileFormat", "OUT_Directory",
    "OpenDlgInitialDir", "RunMinimized", "ToolbarOnMinOption", "ToolbarOnTop", "FirstTimeUser", "BitRate",
    "ShowPronEditWarning", "SI_DefaultTitles"};

// What the main window does when it is created.
void load(TPreferences &prefs)
{
    prefs.LoadFromRegistry();
    prefs.ItemsToFields();
}

void save(TPreferences &prefs)
{
    prefs.FieldsToItems();
    ASSERT_TRUE(prefs.SaveToRegistry());
}

void expectDefaults(const TPreferences &p)
{
    EXPECT_TRUE(p.ShowOptions);
    EXPECT_TRUE(p.ShowToolbar);
    EXPECT_FALSE(p.SI_AutoSpeak);
    EXPECT_EQ(p.SI_Voice, 0);
    EXPECT_TRUE(p.SI_ShowBusyDialog);
    EXPECT_EQ(p.MI_Voice, 0);
    EXPECT_FALSE(p.ML_AutoDelete);
    EXPECT_EQ(p.ML_VisibleEntries, 3);
    EXPECT_EQ(p.ML_ListMode, 0);
    EXPECT_EQ(p.TTS_DefaultVoiceName, QString());
    EXPECT_TRUE(p.TTS_HighlightPosition);
    EXPECT_TRUE(p.TTS_FilterSymbols);
    EXPECT_EQ(p.TTS_AudioDeviceID, -1);
    EXPECT_TRUE(p.TTS_SoundCardCheckErr);
    EXPECT_TRUE(p.CB_Monitor);
    EXPECT_TRUE(p.CB_Prompt);
    EXPECT_EQ(p.CB_PromptDelay, 3);
    EXPECT_EQ(p.CB_ThreshHold, 10);
    EXPECT_EQ(p.CB_PromptTop, -1);
    EXPECT_EQ(p.CB_PromptLeft, -1);
    EXPECT_EQ(p.CB_DfltPromptAction, 2);
    EXPECT_EQ(p.CB_LastPromptAction, 2);
    EXPECT_FALSE(p.CB_ClearOnCopy);
    EXPECT_EQ(p.OUT_FileDest, 0);
    EXPECT_EQ(p.OUT_FileFormat, 0);
    EXPECT_EQ(p.OUT_Directory, p.FilesDir);
    EXPECT_EQ(p.OpenDlgInitialDir, QDir::homePath());
    EXPECT_EQ(p.ToolbarOnMinOption, 1);
    EXPECT_FALSE(p.ToolbarOnTop);
    EXPECT_TRUE(p.FirstTimeUser);
    EXPECT_EQ(p.BitRate, 32);
    EXPECT_TRUE(p.ShowPronEditWarning);
    EXPECT_TRUE(p.SI_DefaultTitles);
}

}  // namespace

TEST(Preferences, RegistersEverySettingInOrderUnderTheVoxtrellaSection)
{
    TPreferences prefs;
    QStringList names;
    for (const auto &item : prefs.Items) {
        names.append(item->Name);
        EXPECT_EQ(item->Location, 2) << item->Name.toStdString();
    }
    EXPECT_EQ(names, AllKeys);
    EXPECT_EQ(prefs.Section, QStringLiteral("Voxtrella"));
    EXPECT_EQ(prefs.Version(), QStringLiteral("1.204"));
    EXPECT_EQ(prefs.FindItem(QStringLiteral("RunMinimized"))->ItemKind(), ikBoolean);
    EXPECT_EQ(prefs.FindItem(QStringLiteral("TTS_DefaultVoiceName"))->ItemKind(), ikString);
    EXPECT_EQ(prefs.FindItem(QStringLiteral("BitRate"))->ItemKind(), ikInteger);
}

TEST(Preferences, FirstRunGivesEveryDefaultAndWritesNothing)
{
    TPreferences prefs;
    expectDefaults(prefs);  // before any load, too
    load(prefs);
    expectDefaults(prefs);
    EXPECT_EQ(prefs.FilesDir, TestSupport::homeDir() + QStringLiteral("/Files"));
    EXPECT_TRUE(QFileInfo(prefs.FilesDir).isDir());
    EXPECT_FALSE(QFile::exists(settingsPath()));

    // The first save writes every key, in order.
    save(prefs);
    EXPECT_EQ(RegistryStore().valueNames(PrefsKey), AllKeys);
}

TEST(Preferences, ASecondRunReadsBackWhatTheFirstSaved)
{
    {
        TPreferences first;
        load(first);
        first.ShowOptions = false;
        first.SI_Voice = 1;
        first.ML_VisibleEntries = 7;
        first.ML_ListMode = 1;
        first.TTS_DefaultVoiceName = QStringLiteral("eSpeak NG - English (Great Britain)");
        first.TTS_AudioDeviceID = 2;
        first.CB_PromptLeft = -300;
        first.CB_DfltPromptAction = 3;
        first.OUT_Directory = QStringLiteral("/tmp/out put");
        first.OpenDlgInitialDir = QStringLiteral("/srv/texts");
        first.FirstTimeUser = false;
        first.BitRate = 64;
        first.SI_DefaultTitles = false;
        save(first);
    }
    TPreferences second;
    load(second);
    EXPECT_FALSE(second.ShowOptions);
    EXPECT_EQ(second.SI_Voice, 1);
    EXPECT_EQ(second.ML_VisibleEntries, 7);
    EXPECT_EQ(second.ML_ListMode, 1);
    EXPECT_EQ(second.TTS_DefaultVoiceName, QStringLiteral("eSpeak NG - English (Great Britain)"));
    EXPECT_EQ(second.TTS_AudioDeviceID, 2);
    EXPECT_EQ(second.CB_PromptLeft, -300);
    EXPECT_EQ(second.CB_DfltPromptAction, 3);
    EXPECT_EQ(second.OUT_Directory, QStringLiteral("/tmp/out put"));
    EXPECT_EQ(second.OpenDlgInitialDir, QStringLiteral("/srv/texts"));
    EXPECT_FALSE(second.FirstTimeUser);
    EXPECT_EQ(second.BitRate, 64);
    EXPECT_FALSE(second.SI_DefaultTitles);
    // Untouched settings keep their defaults.
    EXPECT_TRUE(second.CB_Monitor);
    EXPECT_EQ(second.ToolbarOnMinOption, 1);
}

TEST(Preferences, DamagedOrUnreadableSettingsGiveDefaults)
{
    const QList<QByteArray> contents = {
        QByteArray("ShowOptions=false\nthis is garbage {{{\n"),
        QByteArray::fromHex("00ff10fe7f454c4600000000deadbeef"),
        QByteArray(100000, '\xff'),
    };
    for (const QByteArray &bytes : contents) {
        ASSERT_TRUE(TestSupport::writeFile(settingsPath(), bytes));
        TPreferences prefs;
        load(prefs);
        expectDefaults(prefs);
    }

    ASSERT_TRUE(TestSupport::writeFile(settingsPath(), "[Software\\VarnyxTech\\Voxtrella]\n\"ShowOptions\"=\"false\"\n"));
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(settingsPath(), QFile::WriteOwner);
    TestSupport::AsUnprivilegedUser unprivileged;
    TPreferences prefs;
    load(prefs);
    expectDefaults(prefs);
}

TEST(Preferences, ByteSettingsKeepTheLowEightBits)
{
    storeTexts({{"ML_ListMode", "300"}, {"SI_Voice", "300"}, {"CB_DfltPromptAction", "-1"}, {"BitRate", "300"}});
    RegistryStore store;
    store.setDWord(PrefsKey, QStringLiteral("MI_Voice"), 258);
    store.save();

    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(prefs.ML_ListMode, 44);
    EXPECT_EQ(prefs.SI_Voice, 44);
    EXPECT_EQ(prefs.MI_Voice, 2);
    EXPECT_EQ(prefs.CB_DfltPromptAction, 255);
    EXPECT_EQ(prefs.BitRate, 300);  // a 32-bit field keeps it whole
}

TEST(Preferences, StoredTextRulesForBooleansMarkersAndNumbers)
{
    storeTexts({{"ShowOptions", "FALSE"}, {"CB_ClearOnCopy", "TRUE"}, {"ShowToolbar", "1"},
                {"CB_PromptDelay", "defaultvalue"}, {"CB_ThreshHold", "ten"}, {"TTS_DefaultVoiceName", "defaultvalue"}});
    TPreferences prefs;
    load(prefs);
    EXPECT_FALSE(prefs.ShowOptions);
    EXPECT_TRUE(prefs.CB_ClearOnCopy);
    EXPECT_FALSE(prefs.ShowToolbar);
    EXPECT_EQ(prefs.CB_PromptDelay, 3);
    EXPECT_EQ(prefs.CB_ThreshHold, 10);
    EXPECT_EQ(prefs.TTS_DefaultVoiceName, QString());
}

TEST(Preferences, ABlankOutputFolderBecomesTheFilesFolder)
{
    storeTexts({{"OUT_Directory", "   "}});
    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(prefs.OUT_Directory, prefs.FilesDir);
}

TEST(Preferences, AFilesFolderThatCannotBeCreatedIsABlank)
{
    const QString home = TestSupport::homeDir();
    QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    TestSupport::AsUnprivilegedUser unprivileged;
    TPreferences prefs;
    load(prefs);
    EXPECT_EQ(prefs.FilesDir, QStringLiteral(" "));
    EXPECT_EQ(prefs.OUT_Directory, QStringLiteral(" "));
    EXPECT_EQ(prefs.FindItem(QStringLiteral("OUT_Directory"))->GetDefaultAsString(), QStringLiteral(" "));
}

TEST(Preferences, RunMinimizedSurvivesARunUnchanged)
{
    for (const char *stored : {"true", "false"}) {
        storeTexts({{"RunMinimized", stored}});
        TPreferences prefs;
        load(prefs);
        save(prefs);
        EXPECT_EQ(RegistryStore().value(PrefsKey, QStringLiteral("RunMinimized")).toString(), QLatin1String(stored));
    }
}

TEST(Preferences, ModePropertiesFollowTheListModeWithoutChangingStoredValues)
{
    TPreferences prefs;
    prefs.SI_AutoSpeak = true;
    prefs.ML_AutoDelete = true;
    prefs.ML_VisibleEntries = 5;
    prefs.OUT_FileDest = 1;
    prefs.SI_Voice = 1;
    prefs.MI_Voice = 2;
    prefs.SI_DefaultTitles = false;

    prefs.ML_ListMode = 0;  // Single-Article
    EXPECT_TRUE(prefs.AutoSpeak());
    EXPECT_FALSE(prefs.AutoDelete());
    EXPECT_EQ(prefs.VisibleEntries(), 1);
    EXPECT_EQ(prefs.FileDest(), 0);
    EXPECT_EQ(prefs.VoiceSelection(), 1);
    EXPECT_FALSE(prefs.DefaultTitles());

    prefs.ML_ListMode = 1;  // Multi-Article
    EXPECT_FALSE(prefs.AutoSpeak());
    EXPECT_TRUE(prefs.SI_AutoSpeak);
    EXPECT_TRUE(prefs.AutoDelete());
    EXPECT_EQ(prefs.VisibleEntries(), 5);
    EXPECT_EQ(prefs.FileDest(), 1);
    EXPECT_EQ(prefs.VoiceSelection(), 2);
    EXPECT_TRUE(prefs.DefaultTitles());
    EXPECT_FALSE(prefs.SI_DefaultTitles);

    // Writes go to the setting behind the property, in either mode.
    prefs.SetVoiceSelection(0);
    EXPECT_EQ(prefs.MI_Voice, 0);
    EXPECT_EQ(prefs.SI_Voice, 1);
    prefs.SetAutoSpeak(false);
    EXPECT_FALSE(prefs.SI_AutoSpeak);
    prefs.SetDefaultTitles(true);
    EXPECT_TRUE(prefs.SI_DefaultTitles);
    prefs.ML_ListMode = 0;
    prefs.SetVoiceSelection(0);
    EXPECT_EQ(prefs.SI_Voice, 0);
    prefs.SetAutoDelete(false);
    prefs.SetFileDest(0);
    EXPECT_FALSE(prefs.ML_AutoDelete);
    EXPECT_EQ(prefs.OUT_FileDest, 0);
}

TEST(Preferences, LateItemsJoinTheRecordAndGetTheirStoredValues)
{
    storeTexts({{"FAV_eSpeak NG - English", "true"}, {"SPD_eSpeak NG - English", "180"}});
    TPreferences prefs;
    load(prefs);
    prefs.BitRate = 48;
    // The voice catalogue registers its items after the first load.
    prefs.AddItem(QStringLiteral("FAV_eSpeak NG - English"), 2, false, ikBoolean);
    prefs.AddItem(QStringLiteral("SPD_eSpeak NG - English"), 2, 150, ikInteger);
    prefs.LoadFromRegistry();
    EXPECT_TRUE(prefs.GetValue(QStringLiteral("fav_espeak ng - english")).toBool());
    EXPECT_EQ(prefs.GetValue(QStringLiteral("SPD_eSpeak NG - English")).toInt(), 180);
    EXPECT_EQ(prefs.BitRate, 48);  // the fields are not reloaded
    save(prefs);
    EXPECT_EQ(RegistryStore().value(PrefsKey, QStringLiteral("BitRate")).toString(), QStringLiteral("48"));
}

TEST(Preferences, ASaveThatFailsLeavesThePreviousSettingsWhole)
{
    const QString folder = TestSupport::homeDir() + QStringLiteral("/cfg");
    qputenv("VOXTRELLA_HOME", folder.toLocal8Bit());
    TPreferences prefs;
    load(prefs);
    prefs.BitRate = 40;
    save(prefs);
    const QByteArray before = readFile(folder + QStringLiteral("/registry.ini"));
    ASSERT_TRUE(before.contains("\"BitRate\"=\"40\""));

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
