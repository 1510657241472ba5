#include "ToolBarIcons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <initializer_list>
#include <utility>

namespace {

// The toolbar symbols, drawn on a 16-unit square in the palette's button
// text colour at the moment they are painted, so that they stay readable in
// light, dark and high-contrast palettes and follow a palette change.
void drawSymbol(QPainter &p, const QString &name)
{
    const QColor ink = p.pen().color();
    p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    auto fill = [&p, ink](std::initializer_list<QPointF> points) {
        QPainterPath path;
        path.addPolygon(QPolygonF(points));
        path.closeSubpath();
        p.fillPath(path, ink);
    };
    if (name == QLatin1String("document-new")) {  // a page with a folded corner
        p.drawPolygon(QPolygonF({{3.5, 1.5}, {9.5, 1.5}, {12.5, 4.5}, {12.5, 14.5}, {3.5, 14.5}}));
        p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
    } else if (name == QLatin1String("view-list-details")) {  // several articles
        for (qreal y : {2.0, 6.5, 11.0})
            p.fillRect(QRectF(2, y, 12, 2.5), ink);
    } else if (name == QLatin1String("document-open")) {  // a folder
        p.drawPolygon(QPolygonF({{1.5, 2.5}, {6, 2.5}, {7.5, 4.5}, {14.5, 4.5}, {14.5, 13.5}, {1.5, 13.5}}));
        p.drawLine(QPointF(1.5, 7), QPointF(14.5, 7));
    } else if (name == QLatin1String("edit-paste")) {  // a clipboard
        p.drawRect(QRectF(3, 2.5, 10, 12));
        p.fillRect(QRectF(5.5, 1, 5, 3.5), ink);
        p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
        p.drawLine(QPointF(5.5, 11), QPointF(10.5, 11));
    } else if (name == QLatin1String("media-playback-start")) {
        fill({{4, 2}, {14, 8}, {4, 14}});
    } else if (name == QLatin1String("document-save")) {  // down into a file
        p.fillRect(QRectF(7, 1, 2, 6.5), ink);
        fill({{3.5, 6.5}, {12.5, 6.5}, {8, 11}});
        p.fillRect(QRectF(2, 12.5, 12, 2), ink);
    } else if (name == QLatin1String("media-playback-pause")) {
        p.fillRect(QRectF(3, 2, 3.5, 12), ink);
        p.fillRect(QRectF(9.5, 2, 3.5, 12), ink);
    } else if (name == QLatin1String("media-skip-forward")) {
        fill({{2, 2}, {11, 8}, {2, 14}});
        p.fillRect(QRectF(11.5, 2, 2.5, 12), ink);
    } else if (name == QLatin1String("media-playback-stop")) {
        p.fillRect(QRectF(3, 3, 10, 10), ink);
    } else if (name == QLatin1String("configure")) {  // three sliders
        for (const auto &[y, knob] : {std::pair{3.5, 5.0}, std::pair{8.0, 11.0}, std::pair{12.5, 7.0}}) {
            p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
            p.setBrush(ink);
            p.drawEllipse(QPointF(knob, y), 1.8, 1.8);
            p.setBrush(Qt::NoBrush);
        }
    } else if (name == QLatin1String("window-restore")) {  // two windows
        p.drawPolyline(QPolygonF({{5.5, 6.5}, {5.5, 1.5}, {14.5, 1.5}, {14.5, 9.5}, {10.5, 9.5}}));
        p.drawRect(QRectF(1.5, 6.5, 9, 8));
        p.fillRect(QRectF(1.5, 6.5, 9, 2), ink);
    }
}

class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(QString name) : m_name(std::move(name)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        QColor ink = palette.color(QPalette::Active, QPalette::ButtonText);
        if (mode == QIcon::Disabled)
            ink = palette.color(QPalette::Disabled, QPalette::ButtonText);
        else if (mode == QIcon::Selected)
            ink = palette.color(QPalette::Active, QPalette::HighlightedText);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        painter->setPen(ink);
        drawSymbol(*painter, m_name);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_name); }
    QString key() const override { return QStringLiteral("VoxtrellaSymbol"); }
    QString iconName() override { return m_name; }

private:
    QString m_name;
};

}  // namespace

// The desktop theme's icon where the theme has one, else our own symbol.
QIcon ToolBarIcon(const QString &themeName)
{
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QIcon(new SymbolIconEngine(themeName));
}
