#include "AudioDeviceDialog.h"

#include "ScriptedAudioSystem.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

audio::WaveOutCaps caps(const QString &name, uint16_t channels, uint32_t formats)
{
    audio::WaveOutCaps c = audio::ScriptedAudioSystem::makeCaps(name, channels);
    c.dwFormats = formats;
    return c;
}

using TestSupport::child;

QListWidget *listBox(const AudioDeviceDialog &form)
{
    return child<QListWidget>(form, "ListBox1");
}

QString label(const AudioDeviceDialog &form, const char *name)
{
    return child<QLabel>(form, name)->text();
}

QStringList rows(const AudioDeviceDialog &form)
{
    QStringList list;
    for (int i = 0; i < listBox(form)->count(); ++i)
        list << listBox(form)->item(i)->text();
    return list;
}

// Runs action on the device dialog once it is shown modally; closes it with
// Cancel if it took too long to appear, so a failing test cannot hang.
void whenShown(const std::function<void(AudioDeviceDialog &)> &action, int tries = 0)
{
    QTimer::singleShot(tries == 0 ? 0 : 10, [action, tries] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *form = qobject_cast<AudioDeviceDialog *>(w);
            if (form && form->isVisible())
                return tries > 300 ? form->reject() : action(*form);
        }
        whenShown(action, tries + 1);
    });
}

class AuDevDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto system = std::make_unique<audio::ScriptedAudioSystem>();
        audio::WaveOutCaps speakers = caps("Speakers", 2, 0x800);
        speakers.wMid = 1;
        speakers.wPid = 77;
        speakers.vDriverVersion = 0x0102;
        speakers.dwSupport = audio::WAVECAPS_PITCH | audio::WAVECAPS_SYNC;
        // Device 1 offers no standard format and must be left out.
        system->setDevices({{speakers}, {caps("Odd Device", 2, 0x1000)}, {caps("Surround", 4, 0x401)}});
        fake = system.get();
        audio::setAudioSystem(std::move(system));
    }
    void TearDown() override { audio::setAudioSystem(nullptr); }

    audio::ScriptedAudioSystem *fake = nullptr;
};

}  // namespace

TEST_F(AuDevDlgTest, ListsTheMapperAndDevicesWithAStandardFormatUnderTheirOwnIDs)
{
    AudioDeviceDialog form;
    form.SetDeviceID(-1);
    form.show();
    EXPECT_EQ(rows(form), QStringList({"System default output", "Speakers", "Surround"}));
    // The mapper row shows the default device's details, the numbers on one line under the list.
    EXPECT_EQ(listBox(form)->currentRow(), 0);
    EXPECT_EQ(label(form, "lDetails"),
              "Device ID -1 (system default) \u00B7 Manufacturer ID 1 \u00B7 Product ID 77 \u00B7 Version 258");
    const QLabel *details = form.findChild<QLabel *>("lDetails");
    EXPECT_GE(details->y(), listBox(form)->geometry().bottom());
    EXPECT_GE(details->width(), details->sizeHint().width());
    EXPECT_LT(details->height(), 2 * details->fontMetrics().height());
    EXPECT_EQ(label(form, "lFormat"), "44.1 kHz, Stereo, 16-bit");
    EXPECT_EQ(label(form, "lChannels"), "Stereo");
    EXPECT_EQ(label(form, "lSupports"),
              "Supports pitch control. The driver is synchronous and will block while playing a buffer. ");
    EXPECT_EQ(form.GetDeviceID(), -1);

    listBox(form)->setCurrentRow(2);
    EXPECT_EQ(form.GetDeviceID(), 2);
    EXPECT_TRUE(label(form, "lDetails").startsWith("Device ID 2 \u00B7 "));
    EXPECT_EQ(label(form, "lChannels"), "");  // four channels
    EXPECT_EQ(label(form, "lFormat"), "11.025 kHz, Mono, 8-bit\n44.1 kHz, Mono, 16-bit\n");

    // Input use (which the program never asks for) offers the source mapper alone, without output details.
    AudioDeviceDialog input;
    input.SetDlgUse(duSR);
    input.show();
    EXPECT_EQ(rows(input), QStringList({"System default input"}));
    EXPECT_EQ(label(input, "lDetails"), "");
}

TEST(AuDevDlgServerTest, ListsTheSoundServersDevicesByTheirDescriptions)
{
    if (qEnvironmentVariableIsEmpty("VOXTRELLA_HEADLESS_AUDIO"))
        GTEST_SKIP() << "needs the private test sound server (scripts/run-tests.sh), never the user's own";
    audio::setAudioSystem(nullptr);  // the sound server, reached on first use
    AudioDeviceDialog form;
    form.SetDeviceID(-1);
    form.show();
    // The test server's two sinks in name order, their descriptions whole (longer than Windows' 31 characters).
    EXPECT_EQ(rows(form), QStringList({"System default output", "Voxtrella Auxiliary Output For Device Tests",
                                       "Voxtrella Test Output"}));
    EXPECT_FALSE(listBox(form)->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(label(form, "lDetails").startsWith("Device ID -1 (system default) \u00B7 "));
    EXPECT_EQ(label(form, "lChannels"), "Stereo") << "the mapper is the default sink, not the first";
    // All twelve formats and the wrapped support text show whole.
    QCoreApplication::processEvents();
    const QLabel *formats = form.findChild<QLabel *>("lFormat");
    const QLabel *supports = form.findChild<QLabel *>("lSupports");
    EXPECT_EQ(formats->text().count('\n'), 11);
    EXPECT_GE(formats->height(), formats->sizeHint().height());
    EXPECT_GE(supports->height(), supports->heightForWidth(supports->width()));
    // Only the support bits the sink really has.
    listBox(form)->setCurrentRow(1);
    EXPECT_EQ(label(form, "lChannels"), "Mono");
    EXPECT_EQ(supports->text(), "Supports volume control. Returns sample-accurate position information.");
    listBox(form)->setCurrentRow(2);
    EXPECT_EQ(supports->text(), "Supports separate left and right volume control. Supports volume control. "
                                "Returns sample-accurate position information.");

    // Opened on the mono sink, choosing one with longer details leaves OK where it was.
    AudioDeviceDialog mono;
    mono.SetDeviceID(0);
    mono.show();
    QCoreApplication::processEvents();
    const QWidget *ok = mono.findChild<QWidget *>("OKBtn");
    const QPoint okAt = ok->mapToGlobal(QPoint());
    listBox(mono)->setCurrentRow(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(ok->mapToGlobal(QPoint()), okAt);
}

TEST_F(AuDevDlgTest, ExecuteGivesTheChosenRowAndCancelKeepsTheID)
{
    AudioDevicePicker dlg;
    dlg.DlgUse = duTTS;
    dlg.AudioDeviceID = 0;
    int selectedAtStart = -1;
    whenShown([&](AudioDeviceDialog &form) {
        selectedAtStart = listBox(form)->currentRow();
        listBox(form)->setCurrentRow(2);
        child<QPushButton>(form, "CancelBtn")->click();
    });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(selectedAtStart, 1);
    EXPECT_EQ(dlg.AudioDeviceID, 0);

    // Double-clicking a row confirms it.
    whenShown([](AudioDeviceDialog &form) {
        QListWidget *list = listBox(form);
        list->setCurrentRow(2);
        emit list->itemDoubleClicked(list->item(2));
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.AudioDeviceID, 2);

    // A stored ID without a row leaves nothing selected: confirming gives -1.
    dlg.AudioDeviceID = 1;
    whenShown([](AudioDeviceDialog &form) { QTest::keyClick(&form, Qt::Key_Return); });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.AudioDeviceID, -1);

    // Without devices the list stays empty and confirming gives the mapper too.
    fake->setDevices({});
    dlg.AudioDeviceID = 0;
    int count = -1;
    whenShown([&](AudioDeviceDialog &form) {
        count = listBox(form)->count();
        child<QPushButton>(form, "OKBtn")->click();
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dlg.AudioDeviceID, -1);
}
