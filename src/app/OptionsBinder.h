#pragma once
// The option controls of the main window bound to the settings record: the
// two list-mode sheets, the Clipboard, File Options and Misc tabs. Each
// control writes its setting at once; the record is saved with the window.

#include <QObject>

#include <cstdint>

class QButtonGroup;
class QWidget;
class TPreferences;

namespace Ui {
class MainWindow;
}

class OptionsBinder : public QObject
{
    Q_OBJECT
public:
    OptionsBinder(Ui::MainWindow &ui, TPreferences &prefs, QWidget &window);

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

    // AutoDeleteCB acts only after the window's first show.
    void SetShownOnce() { m_shownOnce = true; }

    // The strip of toolbar and options band: with the band shown, a strip
    // designed at designed pixels over a toolbar of toolbar pixels, the band
    // at the height the user last dragged it to with the splitter.
    int ShownStripHeight(int designed, int toolbar) const;
    // Gives the strip its height. Only a shown band can be resized; without
    // it the strip is the toolbar alone, or nothing.
    void SetStripHeight(int height);

signals:
    // The File Output choice: the target of the next file reading.
    void FileDestinationChosen(uint8_t destination);
    // Highlighting was switched on (the reading article comes into view).
    void HighlightSwitchedOn();

private:
    void ShowQuality();
    void OptionsSplitterMoved(int position);
    int MenuAndStatusHeight() const;
    int WholePagesHeight() const;

    Ui::MainWindow &ui;
    TPreferences &m_prefs;
    QWidget &m_window;
    QButtonGroup *m_siVoiceGrp = nullptr;
    QButtonGroup *m_miVoiceGrp = nullptr;
    QButtonGroup *m_oDestGrp = nullptr;
    QButtonGroup *m_fileFormatGrp = nullptr;
    bool m_shownOnce = false;
    bool m_loading = false;
};
