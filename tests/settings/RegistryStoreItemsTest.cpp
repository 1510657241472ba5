#include "MessageService.h"
#include "RegistryEnhanced.h"
#include "SettingsTestSupport.h"
#include "SettingsRecord.h"

#include "AppPaths.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

namespace {

class Record : public SettingsRecord
{
public:
    Record() { Section = "Voxtrella"; }
    QString text(const QString &name) const { return FindItem(name)->GetAsString(); }
};

const QRect Designed(10, 20, 200, 100);

QString placementKey(const QString &form)
{
    return "Software\\VarnyxTech\\Windows\\" + AppPaths::programFileName() + u'\\' + form;
}

// Where a form of this name is placed: as stored, or at its designed bounds.
struct Placement {
    QRect bounds = Designed;
    bool maximized = false;
};

Placement restored(const QString &name)
{
    QRect bounds;
    bool maximized = false;
    if (SettingsRecord::LoadWindowPlacement(name, bounds, maximized))
        return {bounds, maximized};
    return {};
}

QRect restoredFrom(int top, int left, int width, int height)
{
    storeTexts({{"Top", QString::number(top)},
                {"Left", QString::number(left)},
                {"Width", QString::number(width)},
                {"Height", QString::number(height)},
                {"Maximized", "0"}},
               placementKey("Form1"));
    return restored("Form1").bounds;
}

}  // namespace

TEST(RegistryItems, StoredTextRulesDecideBetweenValueAndDefault)
{
    // Text that does not convert counts as absent; a REG_DWORD number is
    // accepted and a binary value reads as its size. The program stores no
    // real or list item: their rows are all that is checked of them.
    const struct {
        QString name;
        const char *stored;  // nullptr: not stored as text
        QVariant fallback;
        TItemKind kind;
        QString expected;
    } cases[] = {{"Bad", "12abc", 3, ikInteger, "3"},
                 {"Big", "99999999999", 3, ikInteger, "3"},
                 {"Spaces", " 17 ", 3, ikInteger, "17"},
                 {"Dword", nullptr, 3, ikInteger, "300"},
                 {"Binary", nullptr, 3, ikInteger, "6"},
                 {"Missing", nullptr, 3, ikInteger, "3"},
                 {"Real", "1,5", 2.5, ikReal, "2.5"},
                 {"List", "\"open", QStringList{"d"}, ikList, "\"d\""},
                 {"T1", "TRUE", true, ikBoolean, "true"},
                 {"T2", "tRuE", true, ikBoolean, "true"},
                 {"F1", "1", true, ikBoolean, "false"},
                 {"F2", "", true, ikBoolean, "false"},
                 {"F3", "yes", true, ikBoolean, "false"},
                 {"Marker", "defaultvalue", "dflt", ikString, "dflt"},
                 {"NotMarker", "DefaultValue", "dflt", ikString, "DefaultValue"}};
    RegistryStore store;
    Record r;
    for (const auto &c : cases) {
        if (c.stored)
            store.setString(PrefsKey, c.name, QString::fromUtf8(c.stored));
        r.AddItem(c.name, 2, c.fallback, c.kind);
    }
    store.setDWord(PrefsKey, "Dword", 300);
    store.setBinary(PrefsKey, "Binary", QByteArray(6, 'x'));
    store.save();
    r.LoadFromRegistry();
    for (const auto &c : cases)
        EXPECT_EQ(r.text(c.name), c.expected) << c.name.toStdString();

    r.SetValue("Spaces", "many");  // does not convert: no change
    EXPECT_EQ(r.text("Spaces"), "17");
}

TEST(RegistryItems, AnUnknownNameIsReportedAndChangesNothing)
{
    QStringList messages;
    MessageService::setHandler([&](const MessageService::Message &m) {
        messages.append(m.text);
        return UserInteraction::Ok;
    });
    Record record;
    EXPECT_EQ(record.FindItem("Nope"), nullptr);
    EXPECT_FALSE(record.GetValue("Nope").isValid());
    record.SetValue("Nope", 5);
    MessageService::setHandler({});
    EXPECT_EQ(messages, QStringList(3, "No such registry item as name between equals =Nope="));
    EXPECT_TRUE(record.Items.empty());
}

TEST(RegistryEnhanced, ReadingAMissingKeyGivesTheDefaultAndCreatesNothing)
{
    TRegistryEnhanced reader;
    reader.Key = "Software\\Nowhere";
    EXPECT_EQ(reader.ReadValue("X", 3).toInt(), 3);
    EXPECT_FALSE(RegistryStore().keyExists("Software\\Nowhere"));
}

TEST(WindowPlacement, BoundsPastTheScreenOrAbsurdAreFittedToTheScreenOrIgnored)
{
    const QRect a = QGuiApplication::primaryScreen()->availableGeometry();
    const int most = INT32_MAX, least = INT32_MIN;
    const struct {
        int top, left, width, height;
        QRect expected;
    } cases[] = {
        {a.bottom() - 50, a.right() - 100, 300, 200, QRect(a.right() + 1 - 300, a.bottom() + 1 - 200, 300, 200)},
        {-40, -70, 300, 200, QRect(a.left(), a.top(), 300, 200)},
        {0, 0, most, most, a},  // once crashed every start
        {100, 100, 50000, 50000, a},
        {most, most, 300, 200, QRect(a.right() + 1 - 300, a.bottom() + 1 - 200, 300, 200)},
        {least, least, 300, 200, QRect(a.left(), a.top(), 300, 200)},
        {10, 10, 1, 1, QRect(10, 10, 120, 80)},
        {30, 40, -300, 200, Designed},
        {30, 40, 300, 0, Designed},
        {30, 40, 300, least, Designed},
    };
    for (const auto &c : cases)
        EXPECT_EQ(restoredFrom(c.top, c.left, c.width, c.height), c.expected)
            << c.top << " " << c.left << " " << c.width << " " << c.height;
}

TEST(WindowPlacement, SavedBoundsComeBackForTheSameFormOnlyAndAMaximizedSaveKeepsTheEarlierNormalBounds)
{
    // Never saved in the normal state: Height reads 0 and nothing is applied.
    ASSERT_TRUE(SettingsRecord::SaveWindowPlacement("Form1", Designed, true));
    EXPECT_FALSE(restored("Form1").maximized);
    EXPECT_EQ(restored("Form1").bounds, Designed);

    ASSERT_TRUE(SettingsRecord::SaveWindowPlacement("Form1", QRect(50, 60, 250, 150), false));
    EXPECT_EQ(restored("VoiceEditForm").bounds, Designed);
    ASSERT_TRUE(SettingsRecord::SaveWindowPlacement("Form1", QRect(1, 2, 3, 4), true));
    EXPECT_EQ(restored("Form1").bounds, QRect(50, 60, 250, 150));
    EXPECT_TRUE(restored("Form1").maximized);

    storeTexts({{"Height", "tall"}}, placementKey("Form1"));  // not a number: absent
    EXPECT_EQ(restored("Form1").bounds, Designed);
}
