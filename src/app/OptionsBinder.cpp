#include "OptionsBinder.h"

#include "ClipboardOptionsForm.h"
#include "ClipboardPrompt.h"
#include "FileOptionsForm.h"
#include "MiscOptionsForm.h"
#include "MultiArticleOptionsForm.h"
#include "SingleArticleOptionsForm.h"
#include "ui_ClipboardOptionsForm.h"
#include "ui_FileOptionsForm.h"
#include "ui_MiscOptionsForm.h"
#include "ui_MultiArticleOptionsForm.h"
#include "ui_SingleArticleOptionsForm.h"

#include "dialogs/SelectDirectory.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/Autostart.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"

#include <QButtonGroup>
#include <QIntValidator>

#include <algorithm>

namespace {

// While a number edit is empty (the user is typing a new number) its setting
// keeps its value; the validator lets nothing else through.
void StoreNumber(const QLineEdit &edit, int32_t &setting)
{
    bool ok = false;
    const int value = edit.text().toInt(&ok);
    if (ok)
        setting = value;
}

}  // namespace

OptionsBinder::OptionsBinder(const Pages &pages, TPreferences &prefs, QObject *parent)
    : QObject(parent), m_single(pages.single.Controls()), m_multi(pages.multi.Controls()),
      m_clipboard(pages.clipboard.Controls()), m_file(pages.file.Controls()), m_misc(pages.misc.Controls()),
      m_filePage(pages.file), m_prefs(prefs)
{
    auto group = [this](std::initializer_list<QAbstractButton *> buttons) {
        auto *g = new QButtonGroup(this);
        int id = 0;
        for (QAbstractButton *b : buttons)
            g->addButton(b, id++);
        return g;
    };
    m_siVoiceGrp = group({m_single.SIVoiceDefault, m_single.SIVoiceRandom});
    m_miVoiceGrp = group({m_multi.MIVoiceDefault, m_multi.MIVoiceRandom, m_multi.MIVoiceRoundRobin});
    m_oDestGrp = group({m_multi.ODestSingle, m_multi.ODestMultiple});
    m_fileFormatGrp = group({m_file.FileFormatWav, m_file.FileFormatMP3, m_file.FileFormatOpus});

    // idClicked and the other user signals fire for user actions only, so
    // loading a control does not write back the value it just read.
    connect(m_siVoiceGrp, &QButtonGroup::idClicked, this, &OptionsBinder::SIVoiceGrpClick);
    connect(m_miVoiceGrp, &QButtonGroup::idClicked, this, &OptionsBinder::MIVoiceGrpClick);
    connect(m_oDestGrp, &QButtonGroup::idClicked, this, &OptionsBinder::ODestGrpClick);
    connect(m_fileFormatGrp, &QButtonGroup::idClicked, this, &OptionsBinder::FileFormatRGrpClick);
    connect(m_single.AutoSpeakCB, &QCheckBox::clicked, this, &OptionsBinder::AutoSpeakCBClick);
    connect(m_multi.AutoDeleteCB, &QCheckBox::clicked, this, &OptionsBinder::AutoDeleteCBClick);
    connect(m_single.AutoTitleCB, &QCheckBox::clicked, this, &OptionsBinder::AutoTitleCBClick);
    connect(m_misc.FilterCB, &QCheckBox::clicked, this, &OptionsBinder::FilterCBClick);
    connect(m_misc.HighlightCB, &QCheckBox::clicked, this, &OptionsBinder::HighlightPosnClick);
    connect(m_misc.DfltVoiceCB, &QComboBox::activated, this, &OptionsBinder::DfltVoiceCBChange);
    connect(m_misc.ToolbarMinCB, &QComboBox::activated, this, &OptionsBinder::ToolbarMinCBChange);
    connect(m_misc.TBOnTopCB, &QCheckBox::clicked, this, &OptionsBinder::TBOnTopCBClick);
    connect(m_misc.AutoStartAppCB, &QCheckBox::clicked, this, &OptionsBinder::AutoStartAppCBClick);
    connect(m_file.AudioQltyCbx, &QComboBox::activated, this, &OptionsBinder::AudioQltyCbxChange);
    connect(m_file.OpusQltyCbx, &QComboBox::activated, this, [this] {
        bool ok = false;
        const int rate = m_file.OpusQltyCbx->currentText().left(2).toInt(&ok);
        if (ok)
            m_prefs.OpusBitRate = rate;
    });
    // The items are in the order of the stored values.
    connect(m_file.SubtitlesCbx, &QComboBox::activated, this,
            [this](int index) { m_prefs.OUT_Subtitles = static_cast<uint8_t>(index); });
    connect(m_file.OutDirEdit, &QLineEdit::textEdited, this, &OptionsBinder::OutDirEditChange);
    connect(m_file.Button1, &QPushButton::clicked, this, &OptionsBinder::ChooseOutputFolder);
    // The Clipboard page follows every change of its controls, also one made
    // by code after loading (the m_loading guard keeps loading out).
    connect(m_clipboard.ClearClipboardCB, &QCheckBox::toggled, this, &OptionsBinder::ClearClipboardCBClick);
    connect(m_clipboard.ThreshHoldEdit, &QLineEdit::textChanged, this, &OptionsBinder::ThreshHoldEditChange);
    connect(m_clipboard.PromptCkbx, &QCheckBox::toggled, this, &OptionsBinder::PromptCkbxClick);
    connect(m_clipboard.PromptDelayEdit, &QLineEdit::textChanged, this, &OptionsBinder::PromptDelayEditChange);
    connect(m_clipboard.PromptDfltActCBox, &QComboBox::currentIndexChanged, this,
            &OptionsBinder::PromptDfltActCBoxChange);
}

void OptionsBinder::LoadControls()
{
    m_loading = true;
    if (auto *b = m_fileFormatGrp->button(m_prefs.OUT_FileFormat))
        b->setChecked(true);
    m_clipboard.ClearClipboardCB->setChecked(m_prefs.CB_ClearOnCopy);
    m_misc.HighlightCB->setChecked(m_prefs.TTS_HighlightPosition);
    m_misc.FilterCB->setChecked(m_prefs.TTS_FilterSymbols);
    m_multi.AutoDeleteCB->setChecked(m_prefs.AutoDelete());
    m_misc.ToolbarMinCB->setCurrentIndex(m_prefs.ToolbarOnMinOption);
    m_misc.TBOnTopCB->setChecked(m_prefs.ToolbarOnTop);
    m_clipboard.ThreshHoldEdit->setText(QString::number(m_prefs.CB_ThreshHold));
    m_clipboard.PromptCkbx->setChecked(m_prefs.CB_Prompt);
    m_clipboard.PromptDelayEdit->setText(QString::number(m_prefs.CB_PromptDelay));
    m_clipboard.PromptDfltActCBox->setCurrentIndex(m_prefs.CB_DfltPromptAction);
    m_file.OutDirEdit->setText(m_prefs.OUT_Directory);
    // A stored value of no format (the file may hold anything) shows None.
    const int subtitles = m_prefs.OUT_Subtitles;
    m_file.SubtitlesCbx->setCurrentIndex(subtitles < m_file.SubtitlesCbx->count() ? subtitles : 0);
    m_clipboard.ThreshHoldEdit->setValidator(new QIntValidator(0, 1000000, m_clipboard.ThreshHoldEdit));
    m_clipboard.PromptDelayEdit->setValidator(new QIntValidator(0, 100000, m_clipboard.PromptDelayEdit));

    // Quality: item 1 unless an item names the stored bit rate.
    m_file.AudioQltyCbx->setCurrentIndex(1);
    for (int i = 0; i < m_file.AudioQltyCbx->count(); ++i) {
        if (m_file.AudioQltyCbx->itemText(i).left(2).toInt() == m_prefs.BitRate) {
            m_file.AudioQltyCbx->setCurrentIndex(i);
            break;
        }
    }
    m_file.OpusQltyCbx->setCurrentIndex(1);  // 24 kbit/s
    for (int i = 0; i < m_file.OpusQltyCbx->count(); ++i) {
        if (m_file.OpusQltyCbx->itemText(i).left(2).toInt() == m_prefs.OpusBitRate)
            m_file.OpusQltyCbx->setCurrentIndex(i);
    }
    ShowQuality();
    m_loading = false;
}

void OptionsBinder::ShowQuality()
{
    // The quality is offered whenever an encoded format is chosen, with the
    // bit rates of that format.
    const bool mp3 = m_prefs.OUT_FileFormat == 1, opus = m_prefs.OUT_FileFormat == 2;
    m_file.AudioQltyLbl->setVisible(mp3 || opus);
    m_file.AudioQltyLbl->setBuddy(opus ? m_file.OpusQltyCbx : m_file.AudioQltyCbx);
    m_file.AudioQltyCbx->setVisible(mp3);
    m_file.OpusQltyCbx->setVisible(opus);
}

void OptionsBinder::SIOptionsSheetShow()
{
    if (auto *b = m_siVoiceGrp->button(m_prefs.VoiceSelection()))
        b->setChecked(true);
    m_single.AutoSpeakCB->setChecked(m_prefs.AutoSpeak());
    m_single.AutoTitleCB->setChecked(m_prefs.DefaultTitles());
}

void OptionsBinder::MIOptionsSheetShow()
{
    if (auto *b = m_miVoiceGrp->button(m_prefs.VoiceSelection()))
        b->setChecked(true);
    if (auto *b = m_oDestGrp->button(m_prefs.FileDest()))
        b->setChecked(true);
    m_multi.AutoDeleteCB->setChecked(m_prefs.AutoDelete());
}

void OptionsBinder::ODestGrpClick()
{
    const int index = m_oDestGrp->checkedId();
    if (index < 0)
        return;
    m_prefs.SetFileDest(static_cast<uint8_t>(index));
    emit FileDestinationChosen(static_cast<uint8_t>(index));
}

void OptionsBinder::MIVoiceGrpClick()
{
    if (m_miVoiceGrp->checkedId() >= 0)
        m_prefs.SetVoiceSelection(static_cast<uint8_t>(m_miVoiceGrp->checkedId()));
}

void OptionsBinder::SIVoiceGrpClick()
{
    if (m_siVoiceGrp->checkedId() >= 0)
        m_prefs.SetVoiceSelection(static_cast<uint8_t>(m_siVoiceGrp->checkedId()));
}

void OptionsBinder::AutoSpeakCBClick()
{
    m_prefs.SetAutoSpeak(m_single.AutoSpeakCB->isChecked());
}

void OptionsBinder::AutoDeleteCBClick()
{
    if (m_shownOnce)
        m_prefs.SetAutoDelete(m_multi.AutoDeleteCB->isChecked());
}

void OptionsBinder::AutoTitleCBClick()
{
    m_prefs.SetDefaultTitles(m_single.AutoTitleCB->isChecked());
}

void OptionsBinder::FilterCBClick()
{
    m_prefs.TTS_FilterSymbols = m_misc.FilterCB->isChecked();
}

void OptionsBinder::HighlightPosnClick()
{
    m_prefs.TTS_HighlightPosition = m_misc.HighlightCB->isChecked();
    if (m_prefs.TTS_HighlightPosition)
        emit HighlightSwitchedOn();
}

void OptionsBinder::DfltVoiceCBChange()
{
    if (m_misc.DfltVoiceCB->currentIndex() >= 0)
        m_prefs.TTS_DefaultVoiceName = m_misc.DfltVoiceCB->currentText();
}

void OptionsBinder::ToolbarMinCBChange()
{
    m_prefs.ToolbarOnMinOption = static_cast<uint8_t>(std::max(0, m_misc.ToolbarMinCB->currentIndex()));
}

void OptionsBinder::TBOnTopCBClick()
{
    m_prefs.ToolbarOnTop = m_misc.TBOnTopCB->isChecked();
}

void OptionsBinder::MiscSheetShow()
{
    m_misc.AutoStartAppCB->setChecked(Autostart::exists());
}

void OptionsBinder::AutoStartAppCBClick()
{
    const bool on = m_misc.AutoStartAppCB->isChecked();
    const bool ok = on ? Autostart::write(AppPaths::programFilePath()) : Autostart::remove();
    if (!ok) {
        MessageService::error(
            on ? QStringLiteral("The login start entry could not be written:\r") + Autostart::filePath()
               : QStringLiteral("The login start entry could not be removed:\r") + Autostart::filePath());
        m_misc.AutoStartAppCB->setChecked(Autostart::exists());
    }
}

void OptionsBinder::FileFormatRGrpClick()
{
    if (m_loading || m_fileFormatGrp->checkedId() < 0)
        return;
    m_prefs.OUT_FileFormat = static_cast<uint8_t>(m_fileFormatGrp->checkedId());
    ShowQuality();
}

void OptionsBinder::AudioQltyCbxChange()
{
    // The bit rate is the number the item starts with.
    bool ok = false;
    const int rate = m_file.AudioQltyCbx->currentText().left(2).toInt(&ok);
    if (ok)
        m_prefs.BitRate = rate;
}

void OptionsBinder::OutDirEditChange()
{
    QString dir = m_file.OutDirEdit->text().trimmed();
    if (dir.size() > 1 && (dir.endsWith(u'/') || dir.endsWith(u'\\')))
        dir.chop(1);
    m_prefs.OUT_Directory = dir;
}

void OptionsBinder::ChooseOutputFolder()
{
    TOutDirDialog dialog(m_prefs.OUT_Directory, &m_filePage);
    if (dialog.exec() == QDialog::Accepted)
        m_file.OutDirEdit->setText(m_prefs.OUT_Directory);
}

// ------------------------------------------------------ the Clipboard page

void OptionsBinder::ThreshHoldEditChange()
{
    if (!m_loading)
        StoreNumber(*m_clipboard.ThreshHoldEdit, m_prefs.CB_ThreshHold);
}

void OptionsBinder::PromptCkbxClick()
{
    if (!m_loading)
        m_prefs.CB_Prompt = m_clipboard.PromptCkbx->isChecked();
}

void OptionsBinder::PromptDelayEditChange()
{
    if (!m_loading)
        StoreNumber(*m_clipboard.PromptDelayEdit, m_prefs.CB_PromptDelay);
}

void OptionsBinder::PromptDfltActCBoxChange()
{
    const int index = m_clipboard.PromptDfltActCBox->currentIndex();
    if (!m_loading && index >= ClipboardPrompt::caNew && index <= ClipboardPrompt::caRememberLast)
        m_prefs.CB_DfltPromptAction = uint8_t(index);
}

void OptionsBinder::ClearClipboardCBClick()
{
    if (!m_loading)
        m_prefs.CB_ClearOnCopy = m_clipboard.ClearClipboardCB->isChecked();
}
