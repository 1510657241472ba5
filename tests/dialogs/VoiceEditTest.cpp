#include "VoiceEditUnit.h"

#include "TestSupport.h"
#include "settings/SettingsRecord.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace Qt::StringLiterals;
using TestSupport::child;

namespace {

// A stored speed above the engine's range.
VoiceEditValues Sam()
{
    return {u"Sam"_s, 50, 200, 100, 120, 80, 400, 170, 500};
}

// Test with the working values, and Cancel, are checked through the window in tests/app/VoicesPageTest.
TEST(VoiceEditTest, SlidersShowTheVoiceEveryKindOfMoveSetsTheWorkingValuesAndTheEditorOpensWhereItClosed)
{
    {
        TVoiceEditForm neverShown;  // stores no placement of its own
    }
    QRect stored;
    bool maximized = false;
    EXPECT_FALSE(SettingsRecord::LoadWindowPlacement(u"VoiceEditForm"_s, stored, maximized));
    TVoiceEditForm form;
    form.SetVoice(Sam());
    form.show();
    auto *pitch = child<QSlider>(form, "PitchSlider");
    auto *speed = child<QSlider>(form, "SpeedSlider");
    // What the slider shows, not the stored 500.
    EXPECT_EQ(child<QLabel>(form, "SpeedValLbl")->text(), u"400"_s);
    EXPECT_EQ(form.EditSpeed(), 400);

    // Keyboard moves count at once; a drag counts when it ends.
    QTest::keyClick(pitch, Qt::Key_Right);
    EXPECT_EQ(form.EditPitch(), 121);
    EXPECT_EQ(child<QLabel>(form, "PitchValLbl")->text(), u"121"_s);
    speed->setSliderDown(true);
    speed->setValue(300);
    EXPECT_EQ(child<QLabel>(form, "SpeedValLbl")->text(), u"300"_s);
    EXPECT_EQ(form.EditSpeed(), 400);
    speed->setSliderDown(false);
    EXPECT_EQ(form.EditSpeed(), 300);

    child<QPushButton>(form, "ResetBtn")->click();
    EXPECT_EQ(std::pair(pitch->value(), speed->value()), std::pair(100, 170));
    QTest::keyClick(pitch, Qt::Key_PageUp);
    form.move(form.pos() + QPoint(37, 23));
    const QPoint placed = form.geometry().topLeft();
    child<QPushButton>(form, "OkBtn")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(std::pair(form.Voice().Pitch, form.Voice().Speed), std::pair(115, 170));

    // Shown again: the values given, whatever the last edit left.
    form.SetVoice(Sam());
    form.show();
    EXPECT_EQ(form.EditPitch(), 120);
    TVoiceEditForm again;
    EXPECT_EQ(again.geometry().topLeft(), placed);
}

}  // namespace
