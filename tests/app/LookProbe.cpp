// A look inside the real program for the end-to-end look test, loaded as a
// Qt generic plugin (QT_QPA_GENERIC_PLUGINS=voxtrellalookprobe). Once the
// main window shows its article count it goes through every options page in
// both list modes, notes what is cut (LookChecks.h), keeps a screenshot of
// each page as the X server shows it, and writes one line per page to the
// file VOXTRELLA_LOOK_REPORT names; the file appears when it is complete.
#include "LookChecks.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGenericPlugin>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace Qt::StringLiterals;

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
                lines << u"%1 %2: %3"_s.arg(QLatin1String(mode), tabs->tabText(page),
                                            LookChecks::Cut(form).join(u", "_s));
                form->screen()->grabWindow(form->winId()).save(
                    shots.filePath(u"%1-%2-page%3.png"_s.arg(QFileInfo(report).baseName(), QLatin1String(mode))
                                       .arg(page + 1)));
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
