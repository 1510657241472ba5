#pragma once
// The program's settings record: every setting with its default, one typed
// field per setting (named like its key), and the properties whose value
// depends on the list mode. The program makes one for the whole run and
// hands it to the windows and the reading driver.

#include "SettingsRecord.h"

#include <QString>

#include <cstdint>

class TPreferences : public SettingsRecord
{
public:
    // Registers every setting in order, computes FilesDir (creating the
    // folder). Does not touch the store.
    TPreferences();

    QString Version() const override { return QStringLiteral("1.204"); }

    // The settings, in registration order. RunMinimized has no field.
    bool ShowOptions = true;
    bool ShowToolbar = true;
    bool SI_AutoSpeak = false;
    uint8_t SI_Voice = 0;
    bool SI_ShowBusyDialog = true;
    uint8_t MI_Voice = 0;
    bool ML_AutoDelete = false;
    int32_t ML_VisibleEntries = 3;
    uint8_t ML_ListMode = 0;
    QString TTS_DefaultVoiceName;
    bool TTS_HighlightPosition = true;
    bool TTS_FilterSymbols = true;
    int32_t TTS_AudioDeviceID = -1;
    bool TTS_SoundCardCheckErr = true;
    bool CB_Monitor = true;
    bool CB_Prompt = true;
    int32_t CB_PromptDelay = 3;
    int32_t CB_ThreshHold = 10;
    int32_t CB_PromptTop = -1;
    int32_t CB_PromptLeft = -1;
    uint8_t CB_DfltPromptAction = 2;
    uint8_t CB_LastPromptAction = 2;
    bool CB_ClearOnCopy = false;
    uint8_t OUT_FileDest = 0;
    // 0 WAV, 1 MP3, 2 Opus. An older program takes 2 for WAV (it writes MP3
    // only for 1), so the value is safe to share with it.
    uint8_t OUT_FileFormat = 0;
    QString OUT_Directory;
    QString OpenDlgInitialDir;
    uint8_t ToolbarOnMinOption = 1;
    bool ToolbarOnTop = false;
    bool FirstTimeUser = true;
    int32_t BitRate = 32;
    bool ShowPronEditWarning = true;
    bool SI_DefaultTitles = true;
    int32_t OptionsHeight = 0;  // the options band as the user sized it; 0 until then
    // Opus has bit rates of its own; BitRate stays the MP3 preset an older
    // program reads.
    int32_t OpusBitRate = 24;
    uint8_t OUT_Subtitles = 0;  // SubtitleFormat: 0 none, 1 SRT, 2 WebVTT, 3 LRC

    // The user folder's "Files" folder, or " " when it cannot be created.
    QString FilesDir;

    // Item values into the fields (integers into byte fields keep their low
    // 8 bits); a blank OUT_Directory becomes FilesDir.
    void ItemsToFields();
    // Fields back into the items.
    void FieldsToItems();

    // ML_ListMode 1 is Multi-Article mode; every other value reads as
    // Single-Article mode.
    bool IsMultiArticleMode() const { return ML_ListMode == 1; }

    // Values that apply in the current list mode.
    bool AutoSpeak() const;
    void SetAutoSpeak(bool value);
    bool AutoDelete() const;
    void SetAutoDelete(bool value);
    int32_t VisibleEntries() const;
    uint8_t FileDest() const;
    void SetFileDest(uint8_t value);
    uint8_t VoiceSelection() const;
    void SetVoiceSelection(uint8_t value);
    bool DefaultTitles() const;
    void SetDefaultTitles(bool value);

    // The options band's height in a window that holds from minimum to
    // maximum pixels of it: the designed height until the user sizes the
    // band, then the stored one brought within those limits, so that a
    // damaged value or one from a larger screen cannot crowd out the list.
    int32_t OptionsBandHeight(int32_t designed, int32_t minimum, int32_t maximum) const;

    static const QString SectionName;  // "Voxtrella"
};
