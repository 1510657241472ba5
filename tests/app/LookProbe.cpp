// A look inside the real program for the end-to-end look test, loaded as a Qt
// generic plugin (QT_QPA_GENERIC_PLUGINS=voxtrellalookprobe). Once the main
// window shows its article count it notes, on every options page in both list
// modes, what a user sees as a broken layout, keeps a screenshot of each page
// and writes one line per page to VOXTRELLA_LOOK_REPORT, complete when it appears.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace Qt::StringLiterals;

// Every visible caption or control of the window that is cut.
QStringList Cut(const QWidget *window)
{
    QStringList faults;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool caption = qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w);
        const bool control = caption || qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                             qobject_cast<QTabBar *>(w);
        if (!control || !w->isVisible())
            continue;
        const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                       : w->objectName();
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
                faults << u"%1 text cut (%2x%3"_s.arg(name).arg(w->width()).arg(w->height()) +
                              u" < %1x%2)"_s.arg(need.width()).arg(need.height());
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

class LookProbe : public QObject
{
public:
    LookProbe()
    {
        // A desktop font of another size, as the user's settings give it
        // before any window is made.
        if (const int points = qEnvironmentVariableIntValue("VOXTRELLA_LOOK_POINTS"); points > 0) {
            QFont font = QGuiApplication::font();
            font.setPointSize(points);
            QGuiApplication::setFont(font);
        }
        connect(&m_poll, &QTimer::timeout, this, &LookProbe::Poll);
        m_poll.start(200);
    }

private:
    void Poll()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            const auto *status = window->findChild<QLabel *>(u"StatusPanel0"_s);
            if (window->objectName() == u"Form1"_s && window->isVisible() && status &&
                status->text().contains(u"article"_s, Qt::CaseInsensitive)) {
                m_poll.stop();
                QTimer::singleShot(500, this, [this, window] { Look(window); });
                return;
            }
        }
    }

    static void Settle()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    void Look(QWidget *form)
    {
        // The desktop font changed while the program runs.
        if (const int points = qEnvironmentVariableIntValue("VOXTRELLA_LOOK_LIVE_POINTS"); points > 0) {
            QFont font = QApplication::font();
            font.setPointSize(points);
            QApplication::setFont(font);
            Settle();
        }
        const QString report = qEnvironmentVariable("VOXTRELLA_LOOK_REPORT");
        const QDir shots(qEnvironmentVariable("VOXTRELLA_LOOK_SHOTS"));
        auto *tabs = form->findChild<QTabWidget *>(u"PageControl1"_s);
        QStringList lines;
        const QRect screen = form->screen()->availableGeometry();
        if (!screen.contains(form->frameGeometry()))
            lines << u"window: larger than the screen or off it"_s;
        for (const auto &[mode, button] : {std::pair{"single", "ToolButton1"}, std::pair{"multi", "ToolButton2"}}) {
            if (auto *b = form->findChild<QToolButton *>(QLatin1String(button)))
                b->click();
            for (int page = 0; tabs && page < tabs->count(); ++page) {
                tabs->setCurrentIndex(page);
                Settle();
                lines << u"%1 %2: %3"_s.arg(QLatin1String(mode), tabs->tabText(page), Cut(form).join(u", "_s));
                form->screen()
                    ->grabWindow(form->winId())
                    .save(shots.filePath(
                        u"%1-%2-page%3.png"_s.arg(QFileInfo(report).baseName(), QLatin1String(mode)).arg(page + 1)));
            }
        }
        QFile file(report + u".part"_s);
        if (file.open(QIODevice::WriteOnly))
            file.write((lines.join(u'\n') + u'\n').toUtf8());
        file.close();
        file.rename(report);
    }

    QTimer m_poll;
};

}  // namespace

class LookProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "LookProbe.json")
public:
    QObject *create(const QString &key, const QString &) override
    {
        return key.compare(u"voxtrellalookprobe"_s, Qt::CaseInsensitive) == 0 ? new LookProbe : nullptr;
    }
};

#include "LookProbe.moc"
