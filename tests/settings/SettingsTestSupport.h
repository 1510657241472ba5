#pragma once
// Helpers shared by the settings tests.

#include "RegistryStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>

inline const QString PrefsKey = QStringLiteral("Software\\VarnyxTech\\Voxtrella");
using Texts = QList<QPair<QString, QString>>;

// Every preference in order with its default as stored text.
inline Texts defaultTexts()
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

// Writes values as text straight into the store, as an earlier run would.
inline void storeTexts(const Texts &values, const QString &key = PrefsKey)
{
    RegistryStore store;
    for (const auto &[name, text] : values)
        store.setString(key, name, text);
    store.save();
}

// Makes the test home readable by others, so AsUnprivilegedUser can reach its files.
inline void openHome()
{
    QFile::setPermissions(TestSupport::homeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther);
}
