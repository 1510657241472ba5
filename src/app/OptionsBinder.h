#pragma once
// The option controls of the options band bound to the settings record: the
// two list-mode sheets, the Clipboard, File Options and Misc pages. Each
// control writes its setting at once; the record is saved with the window.

#include <QObject>

#include <cstdint>

class QButtonGroup;
class TPreferences;
class SingleArticleOptionsForm;
class MultiArticleOptionsForm;
class ClipboardOptionsForm;
class FileOptionsForm;
class MiscOptionsForm;

namespace Ui {
class SingleArticleOptionsForm;
class MultiArticleOptionsForm;
class ClipboardOptionsForm;
class FileOptionsForm;
class MiscOptionsForm;
}  // namespace Ui

class OptionsBinder : public QObject
{
    Q_OBJECT
public:
    struct Pages {
        SingleArticleOptionsForm &single;
        MultiArticleOptionsForm &multi;
        ClipboardOptionsForm &clipboard;
        FileOptionsForm &file;
        MiscOptionsForm &misc;
    };

    OptionsBinder(const Pages &pages, TPreferences &prefs, QObject *parent = nullptr);

    // The controls from the settings (the window's creation).
    void LoadControls();

    void SIOptionsSheetShow();
    void MIOptionsSheetShow();
    void ODestGrpClick();
    void MIVoiceGrpClick();
    void SIVoiceGrpClick();
    void AutoSpeakCBClick();
    void AutoDeleteCBClick();
    void AutoTitleCBClick();
    void FilterCBClick();
    void HighlightPosnClick();
    void DfltVoiceCBChange();
    void ToolbarMinCBChange();
    void TBOnTopCBClick();
    void MiscSheetShow();
    void AutoStartAppCBClick();
    void FileFormatRGrpClick();
    void AudioQltyCbxChange();
    void OutDirEditChange();
    void ChooseOutputFolder();
    void ThreshHoldEditChange();
    void PromptCkbxClick();
    void PromptDelayEditChange();
    void PromptDfltActCBoxChange();
    void ClearClipboardCBClick();

    // AutoDeleteCB acts only after the window's first show.
    void SetShownOnce() { m_shownOnce = true; }

signals:
    // The File Output choice: the target of the next file reading.
    void FileDestinationChosen(uint8_t destination);
    // Highlighting was switched on (the reading article comes into view).
    void HighlightSwitchedOn();

private:
    void ShowQuality();

    Ui::SingleArticleOptionsForm &m_single;
    Ui::MultiArticleOptionsForm &m_multi;
    Ui::ClipboardOptionsForm &m_clipboard;
    Ui::FileOptionsForm &m_file;
    Ui::MiscOptionsForm &m_misc;
    // The output folder chooser opens over the File Options page.
    FileOptionsForm &m_filePage;
    TPreferences &m_prefs;
    QButtonGroup *m_siVoiceGrp = nullptr;
    QButtonGroup *m_miVoiceGrp = nullptr;
    QButtonGroup *m_oDestGrp = nullptr;
    QButtonGroup *m_fileFormatGrp = nullptr;
    bool m_shownOnce = false;
    bool m_loading = false;
};
