// Window placement of top-level widgets, kept apart from the settings
// record so the record itself needs no widget.
#include "TBaseRegistryClassUnit.h"

#include "AppPaths.h"
#include "RegistryEnhanced.h"
#include "RegistryStore.h"
#include "UtilsClass.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// A stored value that is not a number counts as absent (0).
int32_t readNumber(TRegistryEnhanced &registry, const char *name)
{
    bool ok = false;
    const int value = registry.ReadValue(QLatin1String(name), QStringLiteral("0")).toString().trimmed().toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

QString TBaseRegistryClass::PlacementKey(const QWidget *form)
{
    return WindowsKey + u'\\' + AppPaths::programFileName() + u'\\' + form->objectName();
}

bool TBaseRegistryClass::SaveWindowPlacement(QWidget *form)
{
    if (!form || form->objectName().isEmpty())
        return false;
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    registry.Key = PlacementKey(form);
    if (form->isMaximized()) {
        // The normal bounds stay as an earlier save left them.
        registry.WriteValue(QStringLiteral("Maximized"), QStringLiteral("1"));
    } else {
        registry.WriteValue(QStringLiteral("Maximized"), QStringLiteral("0"));
        registry.WriteValue(QStringLiteral("Top"), QString::number(form->y()));
        registry.WriteValue(QStringLiteral("Left"), QString::number(form->x()));
        registry.WriteValue(QStringLiteral("Width"), QString::number(form->width()));
        registry.WriteValue(QStringLiteral("Height"), QString::number(form->height()));
    }
    if (store.save())
        return true;
    UtilsClass::WriteLog(QStringLiteral("Window placement of %1 could not be saved: %2")
                             .arg(form->objectName(), store.errorString()));
    return false;
}

void TBaseRegistryClass::RestoreWindowPlacement(QWidget *form)
{
    if (!form || form->objectName().isEmpty())
        return;
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    registry.Key = PlacementKey(form);
    const auto read = [&registry](const char *name) { return readNumber(registry, name); };
    qint64 top = read("Top");
    qint64 left = read("Left");
    const int32_t height = read("Height");
    const int32_t width = read("Width");
    const int32_t maximized = read("Maximized");
    if (height == 0)
        return;

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size();
        if (left + width > size.width())
            left = qint64(size.width()) - width;
        if (top + height > size.height())
            top = qint64(size.height()) - height;
    }
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;

    form->move(int(qMin<qint64>(left, INT32_MAX)), int(qMin<qint64>(top, INT32_MAX)));
    form->resize(width, height);
    if (maximized == 1)
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
}
