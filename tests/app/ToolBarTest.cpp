// The floating toolbar window on its own: its buttons, hints, gauge, keeping
// on top and placement on the screen. Closing it is tried through the main window.
#include "PreferenceUnit.h"
#include "SettingsRecord.h"
#include "FloatingToolBar.h"
#include "ReadingActions.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QToolButton>

#include <map>

using namespace Qt::StringLiterals;

namespace {

const char *const kButtons[] = {"PlayToolBtn", "PlayFileBtn", "PauseBtn", "SkipBtn", "StopBtn", "RestoreBtn"};

class ToolBarFormTest : public ::testing::Test
{
protected:
    void SetUp() override { form.SetPreferences(&prefs); }

    QToolButton *button(const char *name) const { return form.findChild<QToolButton *>(QLatin1String(name)); }
    // Runs what input does (every button clicked, or nothing) and returns which commands ran.
    template <class Input>
    std::map<std::string, int> commandsRun(Input input)
    {
        std::map<std::string, int> calls;
        QObject listening;
        const std::pair<QAction *, const char *> actions[] = {
            {commands.ReadAloud(), "play"}, {commands.ReadToFile(), "file"}, {commands.PauseResume(), "pause"},
            {commands.Skip(), "skip"},      {commands.Stop(), "stop"},
        };
        for (const auto &[action, name] : actions)
            QObject::connect(action, &QAction::triggered, &listening, [&calls, name = name] { ++calls[name]; });
        QObject::connect(&form, &FloatingToolBar::RestoreRequested, &listening, [&calls] { ++calls["restore"]; });
        input();
        return calls;
    }
    std::map<std::string, int> clickAll()
    {
        return commandsRun([this] {
            for (const char *name : kButtons)
                QTest::mouseClick(button(name), Qt::LeftButton);
        });
    }

    TPreferences prefs;
    ReadingActions commands;
    FloatingToolBar form{&commands};
};

}  // namespace

TEST_F(ToolBarFormTest, ButtonsAndShortcutsGiveOnlyTheCommandsTheReadingStateAllows)
{
    form.show();
    EXPECT_EQ(clickAll(), (std::map<std::string, int>{{"play", 1}, {"file", 1}, {"restore", 1}}));

    // Reading: only Pause, Skip and Stop work, from the buttons and from the keyboard in this window.
    commands.Apply({false, false, true, true, true, false});
    const std::map<std::string, int> reading{{"pause", 1}, {"skip", 1}, {"stop", 1}, {"restore", 1}};
    EXPECT_EQ(clickAll(), reading);
    QApplication::setActiveWindow(&form);
    const auto keys = [this] {
        for (Qt::Key key : {Qt::Key_F6, Qt::Key_F7, Qt::Key_F8, Qt::Key_F9, Qt::Key_F10})
            QTest::keyClick(&form, key, Qt::ControlModifier);
    };
    EXPECT_EQ(commandsRun(keys), (std::map<std::string, int>{{"pause", 1}, {"skip", 1}, {"stop", 1}}));

    // Paused: the button's hint stays and its command resumes.
    commands.ShowPaused(true);
    EXPECT_EQ(button("PauseBtn")->toolTip(), u"Pause / Resume"_s);
    EXPECT_EQ(commands.PauseResume()->text(), u"&Resume"_s);
}

TEST_F(ToolBarFormTest, ButtonsCarryTheirHintsForMouseAndScreenReaderInTabOrderAndTheCaptionFits)
{
    const std::pair<const char *, const char *> hints[] = {
        {"PlayToolBtn", "Read text aloud"}, {"PlayFileBtn", "Read text to file"},
        {"PauseBtn", "Pause / Resume"},     {"SkipBtn", "Skip to next article"},
        {"StopBtn", "Stop Reading"},        {"RestoreBtn", "Restore main window"},
    };
    QWidget *previous = nullptr;
    for (const auto &[name, hint] : hints) {
        QToolButton *b = button(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->toolTip(), QLatin1String(hint));
        EXPECT_EQ(b->accessibleName(), QLatin1String(hint));
        EXPECT_NE(b->focusPolicy() & Qt::TabFocus, 0) << name;
        if (previous) {
            QWidget *next = previous->nextInFocusChain();
            while (next != previous && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            EXPECT_EQ(next, b) << name;
        }
        previous = b;
    }
    // Wide enough for the whole bold caption beside the close box, also in a large desktop font.
    QFont font = form.font();
    font.setPointSize(14);
    form.setFont(font);
    form.show();
    font.setBold(true);
    EXPECT_GT(form.width(), QFontMetrics(font).horizontalAdvance(FloatingToolBar::Caption) +
                                2 * form.style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

TEST_F(ToolBarFormTest, GaugeStaysInsideItsRangeShowsPercentSignsAsWrittenAndIdleResetsIt)
{
    auto *bar = form.findChild<QProgressBar *>(u"Gauge1"_s);
    form.SetGaugeRange(0, 200);
    form.SetGaugeVisible(true);
    form.SetGaugePosition(900);
    EXPECT_EQ(form.GaugePosition(), 200);
    form.SetGaugePosition(-5);
    EXPECT_EQ(form.GaugePosition(), 0);
    form.SetGaugeText(u"Converting 100%pure %v.mp3"_s);
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_EQ(bar->text().remove(QChar(0x2060)), u"Converting 100%pure %v.mp3"_s);

    form.SetGaugePosition(150);
    form.ResetGauge();
    EXPECT_FALSE(form.IsGaugeVisible());
    EXPECT_EQ(form.GaugePosition(), 0);
    EXPECT_FALSE(bar->isTextVisible());
}

TEST_F(ToolBarFormTest, KeptOnTopOnlyWhenChosenAndOpensWhereItWasLastRunWithItsTitleBarOnTheScreen)
{
    {
        FloatingToolBar neverShown;  // a fresh profile: no place stored for a toolbar never seen
    }
    QRect bounds;
    bool maximized = false;
    EXPECT_FALSE(SettingsRecord::LoadWindowPlacement(u"ToolBarForm"_s, bounds, maximized));
    QPoint where;
    {
        FloatingToolBar first;
        first.show();
        first.move(70, 90);
        where = first.geometry().topLeft();
    }
    FloatingToolBar again;
    again.show();
    EXPECT_EQ(again.geometry().topLeft(), where);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint stored : {QPoint(0, 0), QPoint(-500, -300), QPoint(area.right() + 50, area.bottom() + 50)}) {
        ASSERT_TRUE(SettingsRecord::SaveWindowPlacement(u"ToolBarForm"_s, QRect(stored, QSize(300, 60)), false));
        FloatingToolBar toolbar;
        EXPECT_TRUE(area.contains(toolbar.pos())) << stored.x() << "," << stored.y();
        EXPECT_GE(toolbar.y(), area.top() + toolbar.style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
    form.show();
    for (bool onTop : {true, false}) {
        prefs.ToolbarOnTop = onTop;
        form.FormActivate();
        EXPECT_EQ(form.IsOnTop(), onTop);
        EXPECT_TRUE(form.isVisible());
    }
}
