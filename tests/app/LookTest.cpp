// The main window as a new user sees it in light, dark and high-contrast
// palettes: readable toolbar icons and spoken word. A screenshot of every
// palette is kept in look-artefacts/ beside the test. Cut captions are looked
// for inside the real program (EndToEndTest).
#include "WindowTestSupport.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QTextCursor>

#include <cmath>

namespace {

using namespace WindowTesting;

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

// Black ground, white text and frames; the selection yellow in the active
// window and cyan in the others.
QPalette HighContrastPalette()
{
    QPalette p(Qt::white, Qt::black, Qt::white, Qt::white, Qt::white, Qt::white, Qt::yellow, Qt::black, Qt::black);
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Highlight, Qt::yellow);
    p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::cyan);
    p.setColor(QPalette::HighlightedText, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(160, 160, 160));
    return p;
}

class LookTest : public WindowTest
{
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        QApplication::setPalette(m_palette);
    }

    QPalette m_palette = QApplication::palette();
};

TEST_F(LookTest, ToolbarIconsAndTheSpokenWordStandOutInLightDarkAndHighContrastPalettes)
{
    for (const auto &[name, palette] : {std::pair{"light", LightPalette()}, std::pair{"dark", DarkPalette()},
                                        std::pair{"high-contrast", HighContrastPalette()}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        Start();
        QList<QToolButton *> buttons = ui->ToolBar1->findChildren<QToolButton *>();
        ASSERT_EQ(buttons.size(), 10);
        buttons += form->ToolBar()->findChildren<QToolButton *>();
        for (QToolButton *button : buttons) {
            const QColor ink = Ink(button->icon());
            ASSERT_TRUE(ink.isValid()) << button->objectName().toStdString();
            EXPECT_GE(Contrast(ink, palette.color(QPalette::Button)), 3.0) << button->objectName().toStdString();
        }
        // The spoken word is the editor's selection, seen also while another
        // window has the focus.
        QPlainTextEdit *editor = nullptr;
        for (QPlainTextEdit *e : form->findChildren<QPlainTextEdit *>(u"Memo"_s))
            editor = editor ? editor : (e->isVisible() ? e : nullptr);
        ASSERT_NE(editor, nullptr);
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            const auto seen = [&](QPalette::ColorRole role) { return editor->palette().color(group, role); };
            EXPECT_GE(Contrast(seen(QPalette::Highlight), seen(QPalette::Base)), 3.0) << group;
            EXPECT_GE(Contrast(seen(QPalette::HighlightedText), seen(QPalette::Highlight)), 3.0) << group;
        }
        QTextCursor word(editor->document());
        word.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
        editor->setTextCursor(word);
        const QString shots = QCoreApplication::applicationDirPath() + u"/look-artefacts"_s;
        QDir().mkpath(shots);
        form->grab().save(shots + u"/%1-palette.png"_s.arg(QLatin1String(name)));
        Exit();
    }
}

}  // namespace
