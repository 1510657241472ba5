#include "PreferenceUnit.h"
#include "ToolBarUnit.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include <map>
#include <memory>

namespace {

class ToolBarFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_prefs = std::make_unique<TPreferences>();
        Prefs = m_prefs.get();
    }
    void TearDown() override
    {
        Prefs = nullptr;
        m_prefs.reset();
    }

    static QToolButton *button(const TToolBarForm &form, const char *name)
    {
        return form.findChild<QToolButton *>(QString::fromLatin1(name));
    }
    static QProgressBar *gauge(const TToolBarForm &form)
    {
        return form.findChild<QProgressBar *>(QStringLiteral("Gauge1"));
    }

    std::unique_ptr<TPreferences> m_prefs;
};

}  // namespace

TEST_F(ToolBarFormTest, ClosingOnlyHidesAndReportsIt)
{
    TToolBarForm form;
    int shown = 0;
    int closed = 0;
    form.OnShown = [&] { ++shown; };
    form.OnUserClosed = [&] { ++closed; };

    form.ShowNormal();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(shown, 1);

    EXPECT_FALSE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed, 1);

    // It can be shown again by the tray item, and says so again.
    form.ShowNormal();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(shown, 2);
}

TEST_F(ToolBarFormTest, ButtonsCallTheirCommandsAndDisabledOnesDoNot)
{
    TToolBarForm form;
    std::map<std::string, int> calls;
    form.OnPlay = [&] { ++calls["play"]; };
    form.OnPlayFile = [&] { ++calls["file"]; };
    form.OnPause = [&] { ++calls["pause"]; };
    form.OnSkip = [&] { ++calls["skip"]; };
    form.OnStop = [&] { ++calls["stop"]; };
    form.OnRestore = [&] { ++calls["restore"]; };
    form.show();

    // Reading: only Pause, Skip and Stop work.
    form.SetAloudEnabled(false);
    form.SetFileEnabled(false);
    form.SetPauseEnabled(true);
    form.SetSkipEnabled(true);
    form.SetStopEnabled(true);
    for (const char *name : {"PlayToolBtn", "PlayFileBtn", "PauseBtn", "SkipBtn", "StopBtn", "RestoreBtn"}) {
        QToolButton *b = button(form, name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    EXPECT_EQ(calls, (std::map<std::string, int>{{"pause", 1}, {"skip", 1}, {"stop", 1}, {"restore", 1}}));

    // Idle again.
    form.SetAloudEnabled(true);
    form.SetFileEnabled(true);
    form.SetPauseEnabled(false);
    QTest::mouseClick(button(form, "PlayToolBtn"), Qt::LeftButton);
    QTest::mouseClick(button(form, "PlayFileBtn"), Qt::LeftButton);
    QTest::mouseClick(button(form, "PauseBtn"), Qt::LeftButton);
    EXPECT_EQ(calls["play"], 1);
    EXPECT_EQ(calls["file"], 1);
    EXPECT_EQ(calls["pause"], 1);
}

TEST_F(ToolBarFormTest, StartsIdleAndUnassignedCommandsAreHarmless)
{
    TToolBarForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Voxtrella MP3 Toolbar"));
    EXPECT_EQ(form.objectName(), QStringLiteral("ToolBarForm"));
    EXPECT_TRUE(button(form, "PlayToolBtn")->isEnabled());
    EXPECT_TRUE(button(form, "PlayFileBtn")->isEnabled());
    EXPECT_FALSE(button(form, "PauseBtn")->isEnabled());
    EXPECT_FALSE(button(form, "SkipBtn")->isEnabled());
    EXPECT_FALSE(button(form, "StopBtn")->isEnabled());
    EXPECT_FALSE(form.IsGaugeVisible());

    form.show();
    QTest::mouseClick(button(form, "PlayToolBtn"), Qt::LeftButton);
    QTest::mouseClick(button(form, "RestoreBtn"), Qt::LeftButton);
    form.close();
    SUCCEED();
}

TEST_F(ToolBarFormTest, ButtonsCarryTheirHintsForMouseAndScreenReader)
{
    TToolBarForm form;
    const std::pair<const char *, const char *> hints[] = {
        {"PlayToolBtn", "Read text aloud"},     {"PlayFileBtn", "Read text to file"},
        {"PauseBtn", "Pause / Resume"},         {"SkipBtn", "Skip to next article"},
        {"StopBtn", "Stop Reading"},            {"RestoreBtn", "Restore main window"},
    };
    QWidget *previous = nullptr;
    for (const auto &[name, hint] : hints) {
        QToolButton *b = button(form, name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(hint));
        EXPECT_EQ(b->accessibleName(), QString::fromLatin1(hint));
        EXPECT_FALSE(b->icon().isNull()) << name;
        EXPECT_NE(b->focusPolicy() & Qt::TabFocus, 0) << name;
        // Tab goes through the buttons in their row order.
        if (previous) {
            QWidget *next = previous->nextInFocusChain();
            while (next != previous && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            EXPECT_EQ(next, b) << name;
        }
        previous = b;
    }
}

TEST_F(ToolBarFormTest, StatusAndGaugeFollowTheMainWindow)
{
    TToolBarForm form;
    form.SetStatusText(QStringLiteral("Article 2 of 7"));
    EXPECT_EQ(form.StatusText(), QStringLiteral("Article 2 of 7"));
    EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("StatusLabel"))->text(), QStringLiteral("Article 2 of 7"));

    form.SetGaugeRange(0, 200);
    form.SetGaugeVisible(true);
    form.SetGaugePosition(150);
    EXPECT_TRUE(form.IsGaugeVisible());
    EXPECT_EQ(form.GaugePosition(), 150);
    // Positions past the end stay inside the range.
    form.SetGaugePosition(900);
    EXPECT_EQ(form.GaugePosition(), 200);
    form.SetGaugePosition(-5);
    EXPECT_EQ(form.GaugePosition(), 0);

    form.ResetGauge();
    EXPECT_FALSE(form.IsGaugeVisible());
    EXPECT_EQ(form.GaugePosition(), 0);
}

TEST_F(ToolBarFormTest, GaugeCaptionShowsPercentSignsAsWritten)
{
    TToolBarForm form;
    QProgressBar *bar = gauge(form);
    ASSERT_NE(bar, nullptr);
    form.SetGaugeRange(0, 100);
    form.SetGaugePosition(42);
    form.SetGaugeText(QStringLiteral("Converting 100%pure %v.mp3"));
    EXPECT_TRUE(bar->isTextVisible());
    QString shown = bar->text();
    shown.remove(QChar(0x2060));
    EXPECT_EQ(shown, QStringLiteral("Converting 100%pure %v.mp3"));

    form.SetGaugeText(QString());
    EXPECT_FALSE(bar->isTextVisible());
}

TEST_F(ToolBarFormTest, ActivationKeepsItOnTopOnlyWhenChosen)
{
    TToolBarForm form;
    form.show();
    Prefs->ToolbarOnTop = true;
    form.FormActivate();
    EXPECT_TRUE(form.IsOnTop());
    EXPECT_TRUE(form.isVisible());

    Prefs->ToolbarOnTop = false;
    form.FormActivate();
    EXPECT_FALSE(form.IsOnTop());
    EXPECT_TRUE(form.isVisible());

    // Without a settings record it is an ordinary window.
    Prefs = nullptr;
    form.FormActivate();
    EXPECT_FALSE(form.IsOnTop());
}

TEST_F(ToolBarFormTest, PlacementIsRestoredFromTheLastRun)
{
    QPoint where;
    {
        TToolBarForm form;
        form.show();
        form.move(70, 90);
        where = form.pos();
    }
    TToolBarForm again;
    again.show();
    EXPECT_EQ(again.pos(), where);
}
