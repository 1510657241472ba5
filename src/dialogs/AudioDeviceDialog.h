#pragma once
// The audio device dialog: lists the output (or input) devices with the
// details their drivers report and gives back the chosen device ID
// (-1 for the wave mapper, the system's default device).

#include <QDialog>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace Ui {
class AudioDeviceDialog;
}

enum TDlgUse : uint8_t { duNone = 0, duTTS = 1, duSR = 2, duVCmd = 3, duVDct = 4, duVTxt = 5 };

// The twelve standard wave formats, in table order.
struct TStandardFormat {
    uint32_t bit;
    const char *label;
};
extern const TStandardFormat StandardFormats[12];

// True when the format bits hold at least one of the twelve standard formats.
bool HasStandardFormat(uint32_t dwFormats);
// The format labels of lFormat for the given bits.
QString FormatText(uint32_t dwFormats);
// The support texts of lSupports for the given bits.
QString SupportText(uint32_t dwSupport);

class AudioDeviceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AudioDeviceDialog(QWidget *parent = nullptr);
    ~AudioDeviceDialog() override;

    TDlgUse DlgUse() const { return m_use; }
    void SetDlgUse(TDlgUse use) { m_use = use; }
    void SetDeviceID(int32_t id);
    int32_t GetDeviceID() const;

    // Fills the list from the audio system; runs each time the form is shown.
    void FillList();

    // For tests and the owner: the form's widgets.
    Ui::AudioDeviceDialog *ui() const { return m_ui.get(); }

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool IsOutputUse() const { return m_use == duTTS || m_use == duVTxt; }
    int DeviceCount() const;
    void SelectStoredRow();
    void ShowDetails(int row);
    // The details of a list row in the labels; false for a row without any.
    bool SetDetailTexts(int row);
    void FitTallestDetails();

    std::unique_ptr<Ui::AudioDeviceDialog> m_ui;
    TDlgUse m_use = duTTS;
    int32_t m_deviceID = 0;
    std::vector<int32_t> m_rowIds;  // the device ID of each list row
};

// Runs AudioDeviceDialog modally.
class AudioDevicePicker : public QObject
{
    Q_OBJECT
public:
    explicit AudioDevicePicker(QObject *Owner = nullptr) : QObject(Owner) {}

    // True when the user confirmed; AudioDeviceID then holds the choice.
    bool Execute();

    TDlgUse DlgUse = duNone;
    int32_t AudioDeviceID = 0;
};
