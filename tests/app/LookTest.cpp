// The main window as a new user sees it at several desktop fonts and in light
// and dark palettes: no cut caption, nothing outside the window, readable
// toolbar icons, and a floating toolbar that opens on the screen. A
// screenshot of every case is kept in look-artefacts/ beside the test.
#include "WindowTestSupport.h"

#include "settings/TBaseRegistryClassUnit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QToolButton>

#include <cmath>

namespace {

using namespace WindowTesting;

QString ArtefactPath(const QString &name)
{
    QDir dir(QCoreApplication::applicationDirPath() + u"/look-artefacts"_s);
    dir.mkpath(u"."_s);
    return dir.filePath(name + u".png"_s);
}

// Contrast ratio of two colours as the accessibility guidelines define it.
double Contrast(const QColor &a, const QColor &b)
{
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The mean colour of an icon's solid pixels.
QColor Ink(const QIcon &icon)
{
    const QImage image = icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200) {
                r += c.redF(), g += c.greenF(), b += c.blueF();
                ++n;
            }
        }
    }
    return n == 0 ? QColor() : QColor::fromRgbF(float(r / n), float(g / n), float(b / n));
}

QPalette LightPalette()
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(u"Fusion"_s));
    return fusion->standardPalette();
}

QPalette DarkPalette()
{
    QPalette p(QColor(53, 53, 53), QColor(42, 42, 42));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, QColor(230, 230, 230));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

class LookTest : public WindowTest
{
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        QApplication::setFont(m_font);
        QApplication::setPalette(m_palette);
    }

    // Every visible caption or control of the window that is cut: outside the
    // window, cut by a parent, or too small for its text.
    QStringList Cut() const
    {
        QStringList faults;
        for (QWidget *w : form->findChildren<QWidget *>()) {
            const bool caption = qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w);
            const bool control = caption || qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                                 qobject_cast<QTabBar *>(w);
            if (!control || !w->isVisible())
                continue;
            const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                            : w->objectName();
            const QRect inWindow(w->mapTo(form, QPoint()), w->size());
            const QRect seen = w->visibleRegion().boundingRect();
            // The article list and the option pages scroll up and down; what
            // they hold must fit across.
            bool scrolls = false;
            for (QWidget *p = w->parentWidget(); p && p != form; p = p->parentWidget())
                scrolls = scrolls || qobject_cast<QAbstractScrollArea *>(p);
            if (!form->rect().contains(inWindow))
                faults << name + u" outside the window"_s;
            else if (scrolls ? !seen.isEmpty() && seen.width() != w->width() : seen != w->rect())
                faults << name + u" cut by its parent"_s;
            const QString text = w->property("text").toString();
            if (caption && !text.isEmpty()) {
                auto *label = qobject_cast<QLabel *>(w);
                auto *tool = qobject_cast<QToolButton *>(w);
                QSize need = label && label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                                        : (label ? w->minimumSizeHint() : w->sizeHint());
                // A caption under an image gets the room below the image
                // and the button's frame; the rest of the hint is margin.
                if (tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
                    const int frame = 2 * tool->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
                    need = QSize(tool->fontMetrics().horizontalAdvance(text.trimmed()) + frame,
                                 tool->iconSize().height() + 4 + tool->fontMetrics().height() + frame);
                }
                if (w->width() < need.width() || w->height() < need.height())
                    faults << u"%1 text cut (%2x%3 < %4x%5)"_s.arg(name).arg(w->width()).arg(w->height())
                                  .arg(need.width()).arg(need.height());
            }
            if (auto *tabs = qobject_cast<QTabBar *>(w)) {
                for (int i = 0; i < tabs->count(); ++i) {
                    if (!tabs->rect().contains(tabs->tabRect(i)) ||
                        tabs->tabRect(i).width() < tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)))
                        faults << tabs->tabText(i) + u" tab cut"_s;
                }
            }
        }
        return faults;
    }

    // Looks at every options page in the current mode.
    void ExpectNothingCut(const QString &shot)
    {
        for (int page = 0; page < ui->PageControl1->count(); ++page) {
            ui->PageControl1->setCurrentIndex(page);
            QCoreApplication::processEvents();
            const QStringList cut = Cut();
            EXPECT_TRUE(cut.isEmpty()) << ui->PageControl1->tabText(page).toStdString() << ": "
                                       << cut.join(u", "_s).toStdString();
            form->grab().save(ArtefactPath(u"%1-page%2"_s.arg(shot).arg(page + 1)));
        }
        ui->PageControl1->setCurrentIndex(0);
    }

    QFont m_font = QApplication::font();
    QPalette m_palette = QApplication::palette();
};

TEST_F(LookTest, NothingIsCutAtSmallAndLargeDesktopFonts)
{
    for (int points : {9, 11, 14}) {
        SCOPED_TRACE(points);
        QApplication::setFont(QFont(u"DejaVu Sans"_s, points));
        Start();
        ui->ToolButton1->click();  // the mode of the last run was kept
        QCoreApplication::processEvents();
        ExpectNothingCut(u"single-%1pt"_s.arg(points));
        ui->ToolButton2->click();  // multi-article mode: every header gets its buttons
        QCoreApplication::processEvents();
        ExpectNothingCut(u"multi-%1pt"_s.arg(points));
        // The options strip grows with the font and is never lower than designed.
        EXPECT_GE(ui->Panel2->height(), 257 * points / 9 - 1);
        Exit();
    }
}

TEST_F(LookTest, ToolbarIconsStandOutInLightAndDarkPalettes)
{
    for (const auto &[name, palette] : {std::pair{"light", LightPalette()}, std::pair{"dark", DarkPalette()}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        Start();
        QList<QToolButton *> buttons = ui->ToolBar1->findChildren<QToolButton *>();
        ASSERT_EQ(buttons.size(), 10);
        TToolBarForm floating;
        buttons += floating.findChildren<QToolButton *>();
        for (QToolButton *button : buttons) {
            const QColor ink = Ink(button->icon());
            ASSERT_TRUE(ink.isValid()) << button->objectName().toStdString();
            EXPECT_GE(Contrast(ink, palette.color(QPalette::Button)), 3.0) << button->objectName().toStdString();
        }
        form->grab().save(ArtefactPath(u"%1-palette"_s.arg(QLatin1String(name))));
        Exit();
    }
}

TEST_F(LookTest, FloatingToolbarOpensWithItsTitleBarOnTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    {
        TToolBarForm neverShown;  // a fresh profile: no place stored for a toolbar never seen
    }
    QRect bounds;
    bool maximized = false;
    EXPECT_FALSE(TBaseRegistryClass::LoadWindowPlacement(u"ToolBarForm"_s, bounds, maximized));

    for (const QPoint stored : {QPoint(0, 0), QPoint(-500, -300), QPoint(area.right() + 50, area.bottom() + 50)}) {
        ASSERT_TRUE(TBaseRegistryClass::SaveWindowPlacement(u"ToolBarForm"_s, QRect(stored, QSize(300, 60)), false));
        TToolBarForm toolbar;
        EXPECT_TRUE(area.contains(toolbar.pos())) << stored.x() << "," << stored.y();
        EXPECT_GE(toolbar.y(), area.top() + toolbar.style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
}

}  // namespace
