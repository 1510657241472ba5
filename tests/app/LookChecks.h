#pragma once
// What a user sees as a broken layout in a window: a caption or control
// outside the window, cut by its parent, or too small for its text, and a tab
// whose caption does not fit. The look tests on the offscreen platform and
// the probe inside the real program under Xvfb (LookProbe.cpp) share it.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>

namespace LookChecks {

using namespace Qt::StringLiterals;

// Every visible caption or control of the window that is cut.
inline QStringList Cut(const QWidget *window)
{
    QStringList faults;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool caption = qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w);
        const bool control =
            caption || qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QTabBar *>(w);
        if (!control || !w->isVisible())
            continue;
        const QString name =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        const QRect inWindow(w->mapTo(window, QPoint()), w->size());
        const QRect seen = w->visibleRegion().boundingRect();
        // The article list and the option pages scroll up and down; what
        // they hold must fit across.
        bool scrolls = false;
        for (QWidget *p = w->parentWidget(); p && p != window; p = p->parentWidget())
            scrolls = scrolls || qobject_cast<QAbstractScrollArea *>(p);
        if (!window->rect().contains(inWindow))
            faults << name + u" outside the window"_s;
        else if (scrolls ? !seen.isEmpty() && seen.width() != w->width() : seen != w->rect())
            faults << name + u" cut by its parent"_s;
        const QString text = w->property("text").toString();
        if (caption && !text.isEmpty()) {
            auto *label = qobject_cast<QLabel *>(w);
            auto *tool = qobject_cast<QToolButton *>(w);
            QSize need = label && label->wordWrap() ? QSize(0, label->heightForWidth(label->width()))
                                                    : (label ? w->minimumSizeHint() : w->sizeHint());
            // A caption under an image gets the room below the image and
            // the button's frame; the rest of the hint is margin.
            if (tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
                const int frame = 2 * tool->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
                need = QSize(tool->fontMetrics().horizontalAdvance(text.trimmed()) + frame,
                             tool->iconSize().height() + 4 + tool->fontMetrics().height() + frame);
            }
            if (w->width() < need.width() || w->height() < need.height())
                faults << u"%1 text cut (%2x%3 < %4x%5)"_s.arg(name)
                              .arg(w->width())
                              .arg(w->height())
                              .arg(need.width())
                              .arg(need.height());
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

}  // namespace LookChecks
