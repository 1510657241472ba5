#include "VoiceEditUnit.h"

#include "TestSupport.h"
#include "settings/TBaseRegistryClassUnit.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace Qt::StringLiterals;
using TestSupport::child;

namespace {

QString text(const QWidget &form, const char *name)
{
    return child<QLabel>(form, name)->text();
}

// A stored speed above the engine's range.
VoiceEditValues Sam()
{
    return {u"Sam"_s, 50, 200, 100, 120, 80, 400, 170, 500};
}

// Test with the working values, and Cancel, are checked through the window in tests/app/VoicesPageTest.
TEST(VoiceEditTest, SlidersShowTheVoiceAndEveryKindOfMoveSetsTheWorkingValues)
{
    TVoiceEditForm form;
    form.SetVoice(Sam());
    form.show();
    auto *pitch = child<QSlider>(form, "PitchSlider");
    auto *speed = child<QSlider>(form, "SpeedSlider");
    // What the slider shows, not the stored 500.
    EXPECT_EQ(text(form, "SpeedValLbl"), u"400"_s);
    EXPECT_EQ(form.EditSpeed(), 400);

    // Keyboard moves count at once; a drag counts when it ends.
    QTest::keyClick(pitch, Qt::Key_Right);
    EXPECT_EQ(form.EditPitch(), 121);
    EXPECT_EQ(text(form, "PitchValLbl"), u"121"_s);
    speed->setSliderDown(true);
    speed->setValue(300);
    EXPECT_EQ(text(form, "SpeedValLbl"), u"300"_s);
    EXPECT_EQ(form.EditSpeed(), 400);
    speed->setSliderDown(false);
    EXPECT_EQ(form.EditSpeed(), 300);

    child<QPushButton>(form, "ResetBtn")->click();
    EXPECT_EQ(std::pair(form.EditPitch(), form.EditSpeed()), std::pair(100, 170));
    EXPECT_EQ(std::pair(pitch->value(), speed->value()), std::pair(100, 170));
    QTest::keyClick(pitch, Qt::Key_PageUp);
    child<QPushButton>(form, "OkBtn")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(std::pair(form.Voice().Pitch, form.Voice().Speed), std::pair(115, 170));

    // Shown again: the values given, whatever the last edit left.
    form.SetVoice(Sam());
    form.show();
    EXPECT_EQ(form.EditPitch(), 120);
}

TEST(VoiceEditTest, PlacementOfTheLastUseComesBackAndANeverShownEditorStoresNone)
{
    QRect stored;
    bool maximized = false;
    {
        TVoiceEditForm unused;
    }
    EXPECT_FALSE(TBaseRegistryClass::LoadWindowPlacement(u"VoiceEditForm"_s, stored, maximized));
    QPoint placed;
    {
        TVoiceEditForm form;
        form.SetVoice(Sam());
        form.show();
        form.move(form.pos() + QPoint(37, 23));
        placed = form.pos();
        child<QPushButton>(form, "CancelBtn")->click();
    }
    TVoiceEditForm again;
    EXPECT_EQ(again.pos(), placed);
}

}  // namespace
