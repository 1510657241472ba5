#include "RegistryEnhanced.h"
#include "SettingsTestSupport.h"
#include "TBaseRegistryClassUnit.h"

#include "AppPaths.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QString placementKey(const char *form)
{
    return QStringLiteral("Software\\VarnyxTech\\Windows\\") + AppPaths::programFileName() + u'\\' +
           QLatin1String(form);
}

std::unique_ptr<QWidget> makeForm(const char *name)
{
    auto form = std::make_unique<QWidget>();
    form->setObjectName(QLatin1String(name));
    form->setGeometry(10, 20, 200, 100);
    return form;
}

void storePlacement(const char *form, int top, int left, int width, int height, int maximized = 0)
{
    RegistryStore store;
    const QString key = placementKey(form);
    store.setString(key, QStringLiteral("Top"), QString::number(top));
    store.setString(key, QStringLiteral("Left"), QString::number(left));
    store.setString(key, QStringLiteral("Width"), QString::number(width));
    store.setString(key, QStringLiteral("Height"), QString::number(height));
    store.setString(key, QStringLiteral("Maximized"), QString::number(maximized));
    ASSERT_TRUE(store.save());
}

QSize screenSize()
{
    return QGuiApplication::primaryScreen()->geometry().size();
}

}  // namespace

TEST(WindowPlacement, SavedBoundsComeBackForTheSameFormName)
{
    auto form = makeForm("ToolBarForm");
    form->setGeometry(30, 40, 220, 110);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));

    RegistryStore store;
    const QString key = placementKey("ToolBarForm");
    EXPECT_EQ(store.valueNames(key), (QStringList{"Maximized", "Top", "Left", "Width", "Height"}));
    EXPECT_EQ(store.value(key, QStringLiteral("Maximized")).toString(), QStringLiteral("0"));
    EXPECT_EQ(store.valueType(key, QStringLiteral("Width")), RegistryStore::ValueType::String);

    auto restored = makeForm("ToolBarForm");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_EQ(restored->geometry(), QRect(30, 40, 220, 110));

    // Another form name has its own placement (none yet).
    auto other = makeForm("VoiceEditForm");
    TBaseRegistryClass::RestoreWindowPlacement(other.get());
    EXPECT_EQ(other->geometry(), QRect(10, 20, 200, 100));
}

TEST(WindowPlacement, APlacementPastTheScreenEdgeIsMovedBackOnScreen)
{
    const QSize screen = screenSize();
    storePlacement("Form1", screen.height() - 50, screen.width() - 100, 300, 200);
    auto form = makeForm("Form1");
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->x(), screen.width() - 300);
    EXPECT_EQ(form->y(), screen.height() - 200);
    EXPECT_EQ(form->size(), QSize(300, 200));

    // Larger than the screen: it starts at the top left corner.
    storePlacement("Form1", 100, 100, screen.width() + 500, screen.height() + 400);
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->pos(), QPoint(0, 0));

    // Negative positions become 0.
    storePlacement("Form1", -40, -70, 300, 200);
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
}

TEST(WindowPlacement, MaximizedSavesKeepTheEarlierNormalBounds)
{
    auto form = makeForm("Form1");
    form->setGeometry(50, 60, 250, 150);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    form->showMaximized();
    ASSERT_TRUE(form->isMaximized());
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));

    RegistryStore store;
    EXPECT_EQ(store.value(placementKey("Form1"), QStringLiteral("Maximized")).toString(), QStringLiteral("1"));
    EXPECT_EQ(store.value(placementKey("Form1"), QStringLiteral("Width")).toString(), QStringLiteral("250"));

    auto restored = makeForm("Form1");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_TRUE(restored->windowState() & Qt::WindowMaximized);
}

TEST(WindowPlacement, NothingIsAppliedWithoutAStoredHeightOrWithNonNumbers)
{
    // Maximized but never saved in the normal state: Height reads 0.
    auto form = makeForm("Form1");
    form->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    auto restored = makeForm("Form1");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_FALSE(restored->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(restored->geometry(), QRect(10, 20, 200, 100));

    // A non-number counts as absent.
    RegistryStore store;
    store.setString(placementKey("Form1"), QStringLiteral("Height"), QStringLiteral("tall"));
    store.save();
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_EQ(restored->geometry(), QRect(10, 20, 200, 100));

    // A form without a name has no placement to save or restore.
    QWidget nameless;
    EXPECT_FALSE(TBaseRegistryClass::SaveWindowPlacement(&nameless));
}
