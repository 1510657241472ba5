#pragma once
// TVoiceEditForm: the modal editor of one voice's pitch and speed. It works
// on a copy of the voice's values; the caller stores EditPitch and EditSpeed
// in the voice when it closes with OK. One instance serves every edit and
// keeps its placement (form name "VoiceEditForm").

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

namespace Ui {
class TVoiceEditForm;
}

// What the editor needs of a voice: its name, ranges, defaults and current
// values, the ranges already queried from its engine.
struct VoiceEditValues {
    QString DisplayName;
    int32_t PitchMin = 0, PitchMax = 0, PitchDefault = 0, Pitch = 0;
    int32_t SpeedMin = 0, SpeedMax = 0, SpeedDefault = 0, Speed = 0;
    // Spoken by a service that plays the sound itself: the editor says the
    // voice cannot read to files.
    bool PlaysItself = false;
};

class TVoiceEditForm : public QDialog
{
    Q_OBJECT

public:
    explicit TVoiceEditForm(QWidget *parent = nullptr);
    ~TVoiceEditForm() override;

    // The voice being edited; set before showing.
    void SetVoice(const VoiceEditValues &voice) { m_voice = voice; }
    const VoiceEditValues &Voice() const { return m_voice; }
    int32_t EditPitch() const { return m_editPitch; }
    int32_t EditSpeed() const { return m_editSpeed; }


    // Test belongs to the read-aloud commands: allowed only while nothing is read.
    void SetTestAllowed(bool allowed);

    void FormShow();
    void PitchSliderChange(int position);
    void PitchSliderTrackEnd();
    void SpeedSliderChange(int position);
    void SpeedSliderTrackEnd();
    void ResetBtnClick();
    void TestBtnClick();
    void OkBtnClick();
    void CancelBtnClick();

signals:
    // Test was pressed: read the test sentence with these working values.
    void TestRequested(int32_t pitch, int32_t speed);

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    std::unique_ptr<Ui::TVoiceEditForm> ui;
    VoiceEditValues m_voice;
    int32_t m_editPitch = 0;
    int32_t m_editSpeed = 0;
};
