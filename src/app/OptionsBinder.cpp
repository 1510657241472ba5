#include "OptionsBinder.h"

#include "ui_MainWindow.h"

#include "dialogs/SelectDirectory.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/Autostart.h"
#include "platform/shell/MessageService.h"
#include "settings/PreferenceUnit.h"

#include <QButtonGroup>
#include <QIntValidator>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>
#include <vector>

namespace {

// The list keeps room for this many lines of text however large the band is.
constexpr int kListLines = 4;

}  // namespace

OptionsBinder::OptionsBinder(Ui::MainWindow &form, TPreferences &prefs, QWidget &window)
    : QObject(&window), ui(form), m_prefs(prefs), m_window(window)
{
    auto group = [this](std::initializer_list<QAbstractButton *> buttons) {
        auto *g = new QButtonGroup(this);
        int id = 0;
        for (QAbstractButton *b : buttons)
            g->addButton(b, id++);
        return g;
    };
    m_siVoiceGrp = group({ui.SIVoiceDefault, ui.SIVoiceRandom});
    m_miVoiceGrp = group({ui.MIVoiceDefault, ui.MIVoiceRandom, ui.MIVoiceRoundRobin});
    m_oDestGrp = group({ui.ODestSingle, ui.ODestMultiple});
    m_fileFormatGrp = group({ui.FileFormatWav, ui.FileFormatMP3});

    // idClicked and the other user signals fire for user actions only, so
    // loading a control does not write back the value it just read.
    connect(m_siVoiceGrp, &QButtonGroup::idClicked, this, &OptionsBinder::SIVoiceGrpClick);
    connect(m_miVoiceGrp, &QButtonGroup::idClicked, this, &OptionsBinder::MIVoiceGrpClick);
    connect(m_oDestGrp, &QButtonGroup::idClicked, this, &OptionsBinder::ODestGrpClick);
    connect(m_fileFormatGrp, &QButtonGroup::idClicked, this, &OptionsBinder::FileFormatRGrpClick);
    connect(ui.AutoSpeakCB, &QCheckBox::clicked, this, &OptionsBinder::AutoSpeakCBClick);
    connect(ui.AutoDeleteCB, &QCheckBox::clicked, this, &OptionsBinder::AutoDeleteCBClick);
    connect(ui.AutoTitleCB, &QCheckBox::clicked, this, &OptionsBinder::AutoTitleCBClick);
    connect(ui.FilterCB, &QCheckBox::clicked, this, &OptionsBinder::FilterCBClick);
    connect(ui.HighlightCB, &QCheckBox::clicked, this, &OptionsBinder::HighlightPosnClick);
    connect(ui.DfltVoiceCB, &QComboBox::activated, this, &OptionsBinder::DfltVoiceCBChange);
    connect(ui.ToolbarMinCB, &QComboBox::activated, this, &OptionsBinder::ToolbarMinCBChange);
    connect(ui.TBOnTopCB, &QCheckBox::clicked, this, &OptionsBinder::TBOnTopCBClick);
    connect(ui.AutoStartAppCB, &QCheckBox::clicked, this, &OptionsBinder::AutoStartAppCBClick);
    connect(ui.AudioQltyCbx, &QComboBox::activated, this, &OptionsBinder::AudioQltyCbxChange);
    connect(ui.OutDirEdit, &QLineEdit::textEdited, this, &OptionsBinder::OutDirEditChange);
    connect(ui.Button1, &QPushButton::clicked, this, &OptionsBinder::ChooseOutputFolder);
    connect(ui.PageControl1, &QTabWidget::currentChanged, this, [this](int) {
        if (ui.PageControl1->currentWidget() == ui.MiscSheet)
            MiscSheetShow();
    });
    // The list takes what the window gains or loses and keeps a few lines
    // however far the band is dragged; the band keeps its height.
    ui.OptionsSplitter->setStretchFactor(1, 1);
    ui.MainTextPanel->setMinimumHeight(kListLines * m_window.fontMetrics().height());
    connect(ui.OptionsSplitter, &QSplitter::splitterMoved, this, &OptionsBinder::OptionsSplitterMoved);
}

void OptionsBinder::LoadControls()
{
    m_loading = true;
    if (auto *b = m_fileFormatGrp->button(m_prefs.OUT_FileFormat))
        b->setChecked(true);
    ui.ClearClipboardCB->setChecked(m_prefs.CB_ClearOnCopy);
    ui.HighlightCB->setChecked(m_prefs.TTS_HighlightPosition);
    ui.FilterCB->setChecked(m_prefs.TTS_FilterSymbols);
    ui.AutoDeleteCB->setChecked(m_prefs.AutoDelete());
    ui.ToolbarMinCB->setCurrentIndex(m_prefs.ToolbarOnMinOption);
    ui.TBOnTopCB->setChecked(m_prefs.ToolbarOnTop);
    ui.ThreshHoldEdit->setText(QString::number(m_prefs.CB_ThreshHold));
    ui.PromptCkbx->setChecked(m_prefs.CB_Prompt);
    ui.PromptDelayEdit->setText(QString::number(m_prefs.CB_PromptDelay));
    ui.PromptDfltActCBox->setCurrentIndex(m_prefs.CB_DfltPromptAction);
    ui.OutDirEdit->setText(m_prefs.OUT_Directory);
    ui.ThreshHoldEdit->setValidator(new QIntValidator(0, 1000000, ui.ThreshHoldEdit));
    ui.PromptDelayEdit->setValidator(new QIntValidator(0, 100000, ui.PromptDelayEdit));

    // Quality: item 1 unless an item names the stored bit rate.
    ui.AudioQltyCbx->setCurrentIndex(1);
    for (int i = 0; i < ui.AudioQltyCbx->count(); ++i) {
        if (ui.AudioQltyCbx->itemText(i).left(2).toInt() == m_prefs.BitRate) {
            ui.AudioQltyCbx->setCurrentIndex(i);
            break;
        }
    }
    ShowQuality();
    m_loading = false;
}

void OptionsBinder::ShowQuality()
{
    // The quality is offered whenever MP3 is chosen.
    ui.AudioQltyLbl->setVisible(m_prefs.OUT_FileFormat == 1);
    ui.AudioQltyCbx->setVisible(m_prefs.OUT_FileFormat == 1);
}

void OptionsBinder::SIOptionsSheetShow()
{
    if (auto *b = m_siVoiceGrp->button(m_prefs.VoiceSelection()))
        b->setChecked(true);
    ui.AutoSpeakCB->setChecked(m_prefs.AutoSpeak());
    ui.AutoTitleCB->setChecked(m_prefs.DefaultTitles());
}

void OptionsBinder::MIOptionsSheetShow()
{
    if (auto *b = m_miVoiceGrp->button(m_prefs.VoiceSelection()))
        b->setChecked(true);
    if (auto *b = m_oDestGrp->button(m_prefs.FileDest()))
        b->setChecked(true);
    ui.AutoDeleteCB->setChecked(m_prefs.AutoDelete());
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
    m_prefs.SetAutoSpeak(ui.AutoSpeakCB->isChecked());
}

void OptionsBinder::AutoDeleteCBClick()
{
    if (m_shownOnce)
        m_prefs.SetAutoDelete(ui.AutoDeleteCB->isChecked());
}

void OptionsBinder::AutoTitleCBClick()
{
    m_prefs.SetDefaultTitles(ui.AutoTitleCB->isChecked());
}

void OptionsBinder::FilterCBClick()
{
    m_prefs.TTS_FilterSymbols = ui.FilterCB->isChecked();
}

void OptionsBinder::HighlightPosnClick()
{
    m_prefs.TTS_HighlightPosition = ui.HighlightCB->isChecked();
    if (m_prefs.TTS_HighlightPosition)
        emit HighlightSwitchedOn();
}

void OptionsBinder::DfltVoiceCBChange()
{
    if (ui.DfltVoiceCB->currentIndex() >= 0)
        m_prefs.TTS_DefaultVoiceName = ui.DfltVoiceCB->currentText();
}

void OptionsBinder::ToolbarMinCBChange()
{
    m_prefs.ToolbarOnMinOption = static_cast<uint8_t>(std::max(0, ui.ToolbarMinCB->currentIndex()));
}

void OptionsBinder::TBOnTopCBClick()
{
    m_prefs.ToolbarOnTop = ui.TBOnTopCB->isChecked();
}

void OptionsBinder::MiscSheetShow()
{
    ui.AutoStartAppCB->setChecked(Autostart::exists());
}

void OptionsBinder::AutoStartAppCBClick()
{
    const bool on = ui.AutoStartAppCB->isChecked();
    const bool ok = on ? Autostart::write(AppPaths::programFilePath()) : Autostart::remove();
    if (!ok) {
        MessageService::error(
            on ? QStringLiteral("The login start entry could not be written:\r") + Autostart::filePath()
               : QStringLiteral("The login start entry could not be removed:\r") + Autostart::filePath());
        ui.AutoStartAppCB->setChecked(Autostart::exists());
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
    const int rate = ui.AudioQltyCbx->currentText().left(2).toInt(&ok);
    if (ok)
        m_prefs.BitRate = rate;
}

void OptionsBinder::OutDirEditChange()
{
    QString dir = ui.OutDirEdit->text().trimmed();
    if (dir.size() > 1 && (dir.endsWith(u'/') || dir.endsWith(u'\\')))
        dir.chop(1);
    m_prefs.OUT_Directory = dir;
}

void OptionsBinder::ChooseOutputFolder()
{
    TOutDirDialog dialog(m_prefs.OUT_Directory, &m_window);
    if (dialog.exec() == QDialog::Accepted)
        ui.OutDirEdit->setText(m_prefs.OUT_Directory);
}

// ------------------------------------------------------- the options band

int OptionsBinder::MenuAndStatusHeight() const
{
    return ui.MainMenu1->sizeHint().height() + ui.StatusBar1->minimumHeight();
}

int OptionsBinder::WholePagesHeight() const
{
    // Each page asks, for a moment, for all it holds; the band's least
    // height is then the height that shows every page without scrolling.
    std::vector<std::pair<QScrollArea *, int>> kept;
    for (QScrollArea *page : ui.Panel3->findChildren<QScrollArea *>()) {
        if (!page->widget())
            continue;
        kept.emplace_back(page, page->minimumHeight());
        page->setMinimumHeight(page->widget()->minimumSizeHint().height() + 2 * page->frameWidth());
    }
    // Layouts keep the sizes they counted, and a hidden page tells its
    // parents nothing: each widget up to the band is told.
    const auto recount = [this, &kept] {
        for (const auto &entry : kept) {
            for (QWidget *w = entry.first; w && w != ui.Panel3; w = w->parentWidget())
                w->updateGeometry();
        }
    };
    recount();
    const int height = ui.Panel3->minimumSizeHint().height();
    for (const auto &[page, least] : kept)
        page->setMinimumHeight(least);
    recount();
    return height;
}

int OptionsBinder::ShownStripHeight(int designed, int toolbar) const
{
    // A stored height is held to what the screen leaves besides the menu,
    // toolbar, status bar and the list's least height; a smaller window gets
    // the band the splitter can give it, and the rest back when it grows.
    const QScreen *screen = m_window.screen();
    const int room = (screen ? screen->availableGeometry().height() : m_window.height()) - MenuAndStatusHeight() -
                     toolbar - ui.MainTextPanel->minimumHeight();
    // A desktop font that draws the pages taller than they were designed
    // grows the band until they show whole, as far as the screen allows.
    const int band = std::max(designed - toolbar, std::min(WholePagesHeight(), room));
    return toolbar + m_prefs.OptionsBandHeight(band, ui.Panel3->minimumSizeHint().height(), room);
}

void OptionsBinder::SetStripHeight(int height)
{
    height = std::max(0, height);
    const bool band = !ui.Panel3->isHidden() && height > 0;
    if (band) {
        const int toolbar = ui.ToolBar1->isHidden() ? 0 : ui.ToolBar1->maximumHeight();
        ui.Panel2->setMinimumHeight(std::min(height, toolbar + ui.Panel3->minimumSizeHint().height()));
        ui.Panel2->setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        ui.Panel2->setFixedHeight(height);
    }
    // A handle that cannot move takes no room and lets clicks through to the list.
    QSplitter *splitter = ui.OptionsSplitter;
    splitter->setHandleWidth(band ? -1 : 0);
    splitter->handle(1)->setAttribute(Qt::WA_TransparentForMouseEvents, !band);
    ui.Panel2->setVisible(height > 0);
    splitter->setSizes({height, std::max(0, splitter->height() - height)});

    // A window too low for the strip and the list's lines grows, as far as
    // the screen allows, rather than squeeze the band.
    const int needed = MenuAndStatusHeight() + height + splitter->handleWidth() + ui.MainTextPanel->minimumHeight();
    if (needed > m_window.height() && !(m_window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const QScreen *screen = m_window.screen();
        m_window.resize(m_window.width(), screen ? std::min(needed, screen->availableGeometry().height()) : needed);
    }
}

void OptionsBinder::OptionsSplitterMoved(int position)
{
    // The handle lies at the strip's lower edge, the band under the toolbar.
    m_prefs.OptionsHeight = position - (ui.ToolBar1->isHidden() ? 0 : ui.ToolBar1->height());
}
