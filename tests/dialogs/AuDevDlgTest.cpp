#include "VarnyxAuDevFrm.h"

#include "ScriptedAudioSystem.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
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

QListWidget *listBox(const TMyAudioDeviceDlg &form)
{
    auto *list = form.findChild<QListWidget *>("ListBox1");
    EXPECT_TRUE(list);
    return list;
}

QString label(const TMyAudioDeviceDlg &form, const char *name)
{
    auto *l = form.findChild<QLabel *>(name);
    EXPECT_TRUE(l) << name;
    return l ? l->text() : QString();
}

QPushButton *button(const TMyAudioDeviceDlg &form, const char *name)
{
    auto *b = form.findChild<QPushButton *>(name);
    EXPECT_TRUE(b) << name;
    return b;
}

QStringList rows(const TMyAudioDeviceDlg &form)
{
    QStringList list;
    for (int i = 0; i < listBox(form)->count(); ++i)
        list << listBox(form)->item(i)->text();
    return list;
}

// Runs action on the device dialog once it is shown modally; closes it with
// Cancel if it took too long to appear, so a failing test cannot hang.
void pollForDialog(const std::function<void(TMyAudioDeviceDlg &)> &action, int tries)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *form = qobject_cast<TMyAudioDeviceDlg *>(w);
        if (form && form->isVisible()) {
            if (tries > 300)
                form->reject();
            else
                action(*form);
            return;
        }
    }
    QTimer::singleShot(10, [action, tries] { pollForDialog(action, tries + 1); });
}

void whenShown(const std::function<void(TMyAudioDeviceDlg &)> &action)
{
    QTimer::singleShot(0, [action] { pollForDialog(action, 0); });
}

class AuDevDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto system = std::make_unique<audio::ScriptedAudioSystem>();
        // Device 1 offers no standard format and must be left out.
        system->setDevices({{caps("Speakers", 2, 0x800)},
                            {caps("Odd Device", 2, 0x1000)},
                            {caps("Surround", 4, 0x401)}});
        fake = system.get();
        audio::setAudioSystem(std::move(system));
    }
    void TearDown() override { audio::setAudioSystem(nullptr); }

    audio::ScriptedAudioSystem *fake = nullptr;
};

}  // namespace

TEST(AuDevFormatTest, FormatTextsFollowTheTableOrder)
{
    EXPECT_FALSE(HasStandardFormat(0));
    EXPECT_FALSE(HasStandardFormat(0xF000));
    EXPECT_TRUE(HasStandardFormat(0x800));
    // Only the table's last label goes without a line end (the dialog tests show the rest).
    EXPECT_EQ(FormatText(0x410), "22.05 kHz, Mono, 8-bit \n44.1 kHz, Mono, 16-bit\n");
    EXPECT_EQ(FormatText(0x801), "11.025 kHz, Mono, 8-bit\n44.1 kHz, Stereo, 16-bit");
}

TEST_F(AuDevDlgTest, ListsTheMapperAndDevicesWithAStandardFormatUnderTheirOwnIDs)
{
    TMyAudioDeviceDlg form;
    form.SetDeviceID(-1);
    form.show();
    EXPECT_EQ(form.windowTitle(), "Audio Destination Device ID");
    EXPECT_EQ(rows(form), QStringList({"System default output", "Speakers", "Surround"}));
    // The mapper row shows the default device's details.
    EXPECT_EQ(listBox(form)->currentRow(), 0);
    EXPECT_EQ(label(form, "lDeviceID"), "-1 (system default)");
    EXPECT_EQ(label(form, "lFormat"), "44.1 kHz, Stereo, 16-bit");
    EXPECT_EQ(label(form, "lChannels"), "Stereo");
    EXPECT_EQ(form.GetDeviceID(), -1);

    listBox(form)->setCurrentRow(2);
    EXPECT_EQ(form.GetDeviceID(), 2);
    EXPECT_EQ(label(form, "lDeviceID"), "2");
    EXPECT_EQ(label(form, "lChannels"), "");  // four channels
    EXPECT_EQ(label(form, "lFormat"), "11.025 kHz, Mono, 8-bit\n44.1 kHz, Mono, 16-bit\n");

    // Showing again does not add the rows twice, and selects the stored ID.
    form.hide();
    form.SetDeviceID(2);
    form.show();
    EXPECT_EQ(listBox(form)->count(), 3);
    EXPECT_EQ(form.GetDeviceID(), 2);
}

TEST_F(AuDevDlgTest, DetailsShowTheDriverNumbers)
{
    audio::WaveOutCaps c = caps("Card", 1, 0x4);
    c.wMid = 1;
    c.wPid = 77;
    c.vDriverVersion = 0x0102;
    c.dwSupport = audio::WAVECAPS_PITCH | audio::WAVECAPS_SYNC;
    fake->setDevices({{c}});
    TMyAudioDeviceDlg form;
    form.SetDeviceID(0);
    form.show();
    EXPECT_EQ(label(form, "lDeviceID"), "0");
    EXPECT_EQ(label(form, "lManufacturer"), "1");
    EXPECT_EQ(label(form, "lProduct"), "77");
    EXPECT_EQ(label(form, "lVersion"), "258");
    EXPECT_EQ(label(form, "lChannels"), "Mono");
    EXPECT_EQ(label(form, "lSupports"),
              "Supports pitch control. The driver is synchronous and will block while playing a buffer. ");
}

TEST_F(AuDevDlgTest, WithoutDevicesTheListStaysEmptyAndConfirmingGivesTheMapper)
{
    fake->setDevices({});
    TAuDevDlg dlg;
    dlg.DlgUse = duTTS;
    dlg.AudioDeviceID = 0;
    QString title;
    int count = -1;
    whenShown([&](TMyAudioDeviceDlg &form) {
        title = form.windowTitle();
        count = listBox(form)->count();
        button(form, "OKBtn")->click();
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(title, "Audio Device ID ");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dlg.AudioDeviceID, -1);
}

TEST_F(AuDevDlgTest, ExecuteGivesTheChosenRowAndCancelKeepsTheID)
{
    TAuDevDlg dlg;
    dlg.DlgUse = duTTS;
    dlg.AudioDeviceID = 0;
    int selectedAtStart = -1;
    whenShown([&](TMyAudioDeviceDlg &form) {
        selectedAtStart = listBox(form)->currentRow();
        listBox(form)->setCurrentRow(2);
        button(form, "CancelBtn")->click();
    });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(selectedAtStart, 1);
    EXPECT_EQ(dlg.AudioDeviceID, 0);

    whenShown([](TMyAudioDeviceDlg &form) { form.close(); });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(dlg.AudioDeviceID, 0);

    // Double-clicking a row confirms it.
    whenShown([](TMyAudioDeviceDlg &form) {
        QListWidget *list = listBox(form);
        list->setCurrentRow(2);
        emit list->itemDoubleClicked(list->item(2));
    });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.AudioDeviceID, 2);

    // A stored ID without a row leaves nothing selected: confirming gives -1.
    dlg.AudioDeviceID = 1;
    whenShown([](TMyAudioDeviceDlg &form) { QTest::keyClick(&form, Qt::Key_Return); });
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.AudioDeviceID, -1);
}

TEST_F(AuDevDlgTest, InputUseListsTheSourceMapper)
{
    fake->setInputDeviceCount(2);
    TMyAudioDeviceDlg form;
    form.SetDlgUse(duSR);
    form.SetDeviceID(-1);
    form.show();
    EXPECT_EQ(form.windowTitle(), "Audio Source Device ID");
    EXPECT_EQ(rows(form), QStringList({"System default input"}));
    EXPECT_EQ(label(form, "lDeviceID"), "");  // no output details for input use
    EXPECT_EQ(form.GetDeviceID(), -1);
}
