#include "AudioDeviceDialog.h"

#include "ui_AudioDeviceDialog.h"

#include "platform/audio/AudioSystem.h"

#include <QLayout>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>

namespace {

// The system's default device, for output and for input.
const QString kMapperRow = QStringLiteral("System default output");
const QString kSourceMapperRow = QStringLiteral("System default input");
const QString kDestinationCaption = QStringLiteral("Audio Destination Device ID");
const QString kSourceCaption = QStringLiteral("Audio Source Device ID");
const QString kMapperId = QStringLiteral("-1 (system default)");
// The driver's numbers on one line under the list.
const QString kDetailsLine =
    QStringLiteral("Device ID %1 \u00B7 Manufacturer ID %2 \u00B7 Product ID %3 \u00B7 Version %4");

}  // namespace

const TStandardFormat StandardFormats[12] = {
    {0x1, "11.025 kHz, Mono, 8-bit"},    {0x2, "11.025 kHz, Stereo, 8-bit"},  {0x4, "11.025 kHz, Mono, 16-bit"},
    {0x8, "11.025 kHz, Stereo, 16-bit"}, {0x10, "22.05 kHz, Mono, 8-bit "},   {0x20, "22.05 kHz, Stereo, 8-bit"},
    {0x40, "22.05 kHz, Mono, 16-bit"},   {0x80, "22.05 kHz, Stereo, 16-bit"}, {0x100, "44.1 kHz, Mono, 8-bit"},
    {0x200, "44.1 kHz, Stereo, 8-bit"},  {0x400, "44.1 kHz, Mono, 16-bit"},   {0x800, "44.1 kHz, Stereo, 16-bit"},
};

bool HasStandardFormat(uint32_t dwFormats)
{
    for (const auto &format : StandardFormats)
        if (dwFormats & format.bit)
            return true;
    return false;
}

QString FormatText(uint32_t dwFormats)
{
    QString text;
    const size_t last = std::size(StandardFormats) - 1;
    for (size_t i = 0; i <= last; ++i) {
        if (!(dwFormats & StandardFormats[i].bit))
            continue;
        text += QLatin1String(StandardFormats[i].label);
        if (i != last)
            text += QLatin1Char('\n');
    }
    return text;
}

QString SupportText(uint32_t dwSupport)
{
    static const struct {
        uint32_t bit;
        const char *text;
    } supports[] = {
        {audio::WAVECAPS_LRVOLUME, "Supports separate left and right volume control. "},
        {audio::WAVECAPS_PITCH, "Supports pitch control. "},
        {audio::WAVECAPS_PLAYBACKRATE, "Support playback rate control. "},
        {audio::WAVECAPS_SYNC, "The driver is synchronous and will block while playing a buffer. "},
        {audio::WAVECAPS_VOLUME, "Supports volume control. "},
        {audio::WAVECAPS_SAMPLEACCURATE, "Returns sample-accurate position information."},
    };
    QString text;
    for (const auto &s : supports)
        if (dwSupport & s.bit)
            text += QLatin1String(s.text);
    return text;
}

AudioDeviceDialog::AudioDeviceDialog(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::AudioDeviceDialog>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->ListBox1, &QListWidget::currentRowChanged, this, &AudioDeviceDialog::ShowDetails);
    connect(m_ui->ListBox1, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
}

AudioDeviceDialog::~AudioDeviceDialog() = default;

int AudioDeviceDialog::DeviceCount() const
{
    return IsOutputUse() ? audio::audioSystem().outputDeviceCount() : audio::audioSystem().inputDeviceCount();
}

void AudioDeviceDialog::SetDeviceID(int32_t id)
{
    m_deviceID = id;
    if (id >= -1 && id <= DeviceCount())
        SelectStoredRow();
}

int32_t AudioDeviceDialog::GetDeviceID() const
{
    const int row = m_ui->ListBox1->currentRow();
    if (row < 0 || size_t(row) >= m_rowIds.size())
        return -1;
    return m_rowIds[size_t(row)];
}

void AudioDeviceDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FillList();
}

void AudioDeviceDialog::FillList()
{
    // Rebuilt on every showing, so a second show does not add the rows again.
    const QSignalBlocker blocker(m_ui->ListBox1);
    m_ui->ListBox1->clear();
    m_rowIds.clear();

    audio::AudioSystem &system = audio::audioSystem();
    const int count = DeviceCount();
    if (count > 0) {
        m_ui->ListBox1->addItem(IsOutputUse() ? kMapperRow : kSourceMapperRow);
        m_rowIds.push_back(-1);
        if (IsOutputUse()) {
            setWindowTitle(kDestinationCaption);
            for (int id = 0; id < count; ++id) {
                audio::WaveOutCaps caps;
                // Devices without any standard format are left out; the other
                // rows keep their own device IDs.
                if (!system.outputCaps(id, caps) || !HasStandardFormat(caps.dwFormats))
                    continue;
                const qsizetype nul = caps.szPname.indexOf(QChar(0));
                m_ui->ListBox1->addItem(nul >= 0 ? caps.szPname.left(nul) : caps.szPname);
                m_rowIds.push_back(id);
            }
        } else {
            // The audio layer reports no capabilities for input devices, so
            // only the default device can be offered.
            setWindowTitle(kSourceCaption);
        }
    }
    SelectStoredRow();
    // Whole device names, however long the sound server's descriptions are.
    QListWidget *list = m_ui->ListBox1;
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                          list->verticalScrollBar()->sizeHint().width());
    layout()->activate();
    if (width() < minimumWidth())
        resize(minimumWidth(), height());
    FitTallestDetails();
}

void AudioDeviceDialog::SelectStoredRow()
{
    int row = -1;
    for (size_t i = 0; i < m_rowIds.size(); ++i) {
        if (m_rowIds[i] == m_deviceID) {
            row = int(i);
            break;
        }
    }
    {
        const QSignalBlocker blocker(m_ui->ListBox1);
        m_ui->ListBox1->setCurrentRow(row);
    }
    if (row >= 0)
        ShowDetails(row);
}

void AudioDeviceDialog::ShowDetails(int row)
{
    if (!SetDetailTexts(row))
        return;
    // The least height Qt gives a dialog leaves out the lines that wrapped
    // text takes at its width: grow to show every line.
    layout()->activate();
    if (const int needed = layout()->totalHeightForWidth(width()); needed > height())
        resize(width(), needed);
}

void AudioDeviceDialog::FitTallestDetails()
{
    // Every row's details are laid out once and the dialog takes the
    // tallest, so that choosing another device does not move OK and Cancel
    // (perhaps under the pointer) as the text below the list grows or shrinks.
    int tallest = 0;
    for (int row = 0; row < int(m_rowIds.size()); ++row) {
        if (!SetDetailTexts(row))
            continue;
        layout()->activate();
        tallest = std::max(tallest, layout()->totalHeightForWidth(width()));
    }
    SetDetailTexts(m_ui->ListBox1->currentRow());
    if (tallest > height())
        resize(width(), tallest);
}

bool AudioDeviceDialog::SetDetailTexts(int row)
{
    if (row < 0 || size_t(row) >= m_rowIds.size() || m_use == duNone || !IsOutputUse())
        return false;
    const int32_t id = m_rowIds[size_t(row)];
    audio::WaveOutCaps caps;
    if (!audio::audioSystem().outputCaps(id, caps))
        return false;
    m_ui->lDetails->setText(kDetailsLine.arg(id == -1 ? kMapperId : QString::number(id), QString::number(caps.wMid),
                                             QString::number(caps.wPid), QString::number(caps.vDriverVersion)));
    m_ui->lFormat->setText(FormatText(caps.dwFormats));
    m_ui->lChannels->setText(caps.wChannels == 1   ? QStringLiteral("Mono")
                             : caps.wChannels == 2 ? QStringLiteral("Stereo")
                                                   : QString());
    m_ui->lSupports->setText(SupportText(caps.dwSupport));
    return true;
}

bool AudioDevicePicker::Execute()
{
    auto form = std::make_unique<AudioDeviceDialog>();
    form->SetDlgUse(DlgUse);
    form->SetDeviceID(AudioDeviceID);
    const bool ok = form->exec() == QDialog::Accepted;
    if (ok)
        AudioDeviceID = form->GetDeviceID();
    return ok;
}
