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

void storePlacement(int top, int left, int width, int height)
{
    storeTexts({{"Top", QString::number(top)}, {"Left", QString::number(left)}, {"Width", QString::number(width)},
                {"Height", QString::number(height)}, {"Maximized", "0"}},
               placementKey("Form1"));
}

}  // namespace

TEST(WindowPlacement, SavedBoundsComeBackForTheSameFormNameOnly)
{
    auto form = makeForm("ToolBarForm");
    form->setGeometry(30, 40, 220, 110);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    EXPECT_EQ(RegistryStore().valueNames(placementKey("ToolBarForm")),
              (QStringList{"Maximized", "Top", "Left", "Width", "Height"}));

    auto restored = makeForm("ToolBarForm");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_EQ(restored->geometry(), QRect(30, 40, 220, 110));
    auto other = makeForm("VoiceEditForm");
    TBaseRegistryClass::RestoreWindowPlacement(other.get());
    EXPECT_EQ(other->geometry(), QRect(10, 20, 200, 100));
}

TEST(WindowPlacement, APlacementPastTheScreenEdgeIsMovedBackOnScreen)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    auto form = makeForm("Form1");
    storePlacement(screen.height() - 50, screen.width() - 100, 300, 200);
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->geometry(), QRect(screen.width() - 300, screen.height() - 200, 300, 200));

    storePlacement(100, 100, screen.width() + 500, screen.height() + 400);  // larger than the screen
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    storePlacement(-40, -70, 300, 200);
    TBaseRegistryClass::RestoreWindowPlacement(form.get());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
}

TEST(WindowPlacement, MaximizedSavesKeepTheEarlierNormalBoundsAndNeedThemToRestore)
{
    // Never saved in the normal state: Height reads 0 and nothing is applied.
    auto form = makeForm("Form1");
    form->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    auto restored = makeForm("Form1");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_FALSE(restored->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(restored->geometry(), QRect(10, 20, 200, 100));

    form->setWindowState(Qt::WindowNoState);
    form->setGeometry(50, 60, 250, 150);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    form->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(form.get()));
    EXPECT_EQ(RegistryStore().value(placementKey("Form1"), QStringLiteral("Width")).toString(), "250");
    TBaseRegistryClass::RestoreWindowPlacement(restored.get());
    EXPECT_TRUE(restored->windowState() & Qt::WindowMaximized);

    // A value that is not a number counts as absent.
    auto fresh = makeForm("Form1");
    storeTexts({{"Height", "tall"}}, placementKey("Form1"));
    TBaseRegistryClass::RestoreWindowPlacement(fresh.get());
    EXPECT_EQ(fresh->geometry(), QRect(10, 20, 200, 100));
}
