// A look inside the real program for the end-to-end look test, loaded as a Qt
// generic plugin (QT_QPA_GENERIC_PLUGINS=voxtrellalookprobe). Once the main
// window shows its article count it notes, on every options page in both list
// modes and in the voice drop-down, the audio device dialog and the output
// folder chooser, what a user sees as a broken layout, keeps a screenshot of
// each and writes one line for each to VOXTRELLA_LOOK_REPORT, complete when it
// appears.
#include <QAbstractButton>
#include <QAbstractItemView>
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
#include <QListWidget>
#include <QScrollBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

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
        if (auto *list = qobject_cast<QListWidget *>(w); list && list->horizontalScrollBar()->isVisible())
            faults << name + u" rows cut"_s;
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
            lines << u"window: larger than the screen or off it (%1,%2 %3x%4 on %5x%6)"_s.arg(form->frameGeometry().x())
                         .arg(form->frameGeometry().y())
                         .arg(form->frameGeometry().width())
                         .arg(form->frameGeometry().height())
                         .arg(screen.width())
                         .arg(screen.height());
        for (const auto &[mode, button] : {std::pair{"single", "ToolButton1"}, std::pair{"multi", "ToolButton2"}}) {
            if (auto *b = form->findChild<QToolButton *>(QLatin1String(button)))
                b->click();
            for (int page = 0; tabs && page < tabs->count(); ++page) {
                tabs->setCurrentIndex(page);
                if (auto *voices = form->findChild<QTreeWidget *>(u"EngineVoicesTV"_s))  // grouping in the pictures
                    voices->expandToDepth(0);
                Settle();
                lines << u"%1 %2: %3"_s.arg(QLatin1String(mode), tabs->tabText(page), Cut(form).join(u", "_s));
                form->screen()
                    ->grabWindow(form->winId())
                    .save(shots.filePath(
                        u"%1-%2-page%3.png"_s.arg(QFileInfo(report).baseName(), QLatin1String(mode)).arg(page + 1)));
            }
        }
        // The voice drop-down as it opens: every name whole.
        const QString base = QFileInfo(report).baseName();
        if (auto *voices = form->findChild<QComboBox *>(u"DfltVoiceCB"_s)) {
            tabs->setCurrentIndex(tabs->indexOf(form->findChild<QWidget *>(u"MiscSheet"_s)));
            voices->showPopup();
            Settle();
            QStringList cut{u"no drop-down"_s};
            if (QWidget *popup = QApplication::activePopupWidget()) {
                const QRect at = popup->frameGeometry();
                popup->screen()
                    ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
                    .save(shots.filePath(base + u"-voice-dropdown.png"_s));
                const bool narrow = voices->view()->sizeHintForColumn(0) > voices->view()->viewport()->width();
                cut = narrow ? QStringList{u"names cut"_s} : QStringList();
            }
            voices->hidePopup();
            lines << u"voice drop-down: "_s + cut.join(u", "_s);
        }
        // The two dialogs, looked at while open, then closed as Cancel would.
        QRect shownAt;  // where the last dialog showed
        const auto dialog = [&](const char *name, QObject *opener, const char *slot) {
            QStringList faults{u"did not open"_s};
            QObject scope;  // the look is called off when no dialog held this call up
            QTimer::singleShot(800, &scope, [&] {
                if (QWidget *d = QApplication::activeModalWidget()) {
                    Settle();
                    faults = Cut(d);
                    shownAt = d->geometry();
                    d->screen()
                        ->grabWindow(d->winId())
                        .save(shots.filePath(base + u'-' + QLatin1String(name) + u".png"_s));
                    d->close();
                }
            });
            if (opener)
                QMetaObject::invokeMethod(opener, slot);
            lines << QLatin1String(name) + u": "_s + faults.join(u", "_s);
        };
        dialog("device-dialog", form->findChild<QAction *>(u"SelAudioDevMItm"_s), "trigger");
        dialog("folder-chooser", form->findChild<QPushButton *>(u"Button1"_s), "click");
        // Under a window manager: the voice editor opened a second time
        // shows where it was, and so does the window brought back from the tray.
        if (qEnvironmentVariableIsSet("VOXTRELLA_LOOK_PLACEMENTS"))
            LookAtPlacements(form, dialog, shownAt, lines);
        QFile file(report + u".part"_s);
        if (file.open(QIODevice::WriteOnly))
            file.write((lines.join(u'\n') + u'\n').toUtf8());
        file.close();
        file.rename(report);
    }

    template <typename Dialog>
    static void LookAtPlacements(QWidget *form, const Dialog &dialog, const QRect &shownAt, QStringList &lines)
    {
        if (auto *voices = form->findChild<QTreeWidget *>(u"EngineVoicesTV"_s)) {
            for (QTreeWidgetItemIterator node(voices); *node; ++node) {
                if ((*node)->parent() && (*node)->childCount() == 0) {  // a voice, not an engine or a language
                    voices->setCurrentItem(*node);
                    break;
                }
            }
        }
        dialog("voice-editor", form->findChild<QPushButton *>(u"EditBtn"_s), "click");
        const QRect firstShown = shownAt;
        dialog("voice-editor-again", form->findChild<QPushButton *>(u"EditBtn"_s), "click");
        if (shownAt != firstShown)
            lines.last() += u"moved from %1,%2 to %3,%4"_s.arg(firstShown.x())
                                .arg(firstShown.y())
                                .arg(shownAt.x())
                                .arg(shownAt.y());
        // The window hidden to the tray and brought back from it stays where it was.
        const QRect before = form->geometry();
        // The window manager answers in its own time.
        const auto settleUntil = [](const auto &done) {
            QElapsedTimer t;
            t.start();
            while (!done() && t.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            Settle();
        };
        form->showMinimized();
        settleUntil([form] { return !form->isVisible(); });
        QStringList tray{u"not hidden"_s};
        if (!form->isVisible()) {
            tray = QStringList{u"not restored"_s};
            auto *icon = form->findChild<QSystemTrayIcon *>();
            if (!icon)
                icon = qApp->findChild<QSystemTrayIcon *>();
            if (icon)
                emit icon->activated(QSystemTrayIcon::Trigger);
            settleUntil([form] { return form->isVisible(); });
            if (QWidget *box = QApplication::activeModalWidget())
                tray << u"a box is open: "_s + box->windowTitle();
            if (!icon)
                tray << u"no tray icon"_s;
            if (form->isVisible())
                tray = form->geometry() == before ? QStringList()
                                                  : QStringList{u"moved from %1,%2 to %3,%4"_s.arg(before.x())
                                                                    .arg(before.y())
                                                                    .arg(form->geometry().x())
                                                                    .arg(form->geometry().y())};
        }
        lines << u"hidden to the tray and back: "_s + tray.join(u", "_s);
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
