// Window placement of the program's forms, kept apart from the settings
// record. Widget-free: the forms pass their bounds (dialogs/FormPlacement.h).
#include "SettingsRecord.h"

#include "AppPaths.h"
#include "RegistryEnhanced.h"
#include "RegistryStore.h"
#include "DiagnosticLog.h"

#include <QGuiApplication>
#include <QScreen>
#include <QRect>

namespace {

// Smaller than this a restored window could not be found or used.
const QSize kMinimumSize(120, 80);

// A stored value that is not a number counts as absent (0).
int32_t readNumber(TRegistryEnhanced &registry, const char *name)
{
    bool ok = false;
    const int value = registry.ReadValue(QLatin1String(name), QStringLiteral("0")).toString().trimmed().toInt(&ok);
    return ok ? value : 0;
}

}  // namespace

QString SettingsRecord::PlacementKey(const QString &formName)
{
    return WindowsKey + u'\\' + AppPaths::programFileName() + u'\\' + formName;
}

bool SettingsRecord::SaveWindowPlacement(const QString &formName, const QRect &bounds, bool maximized)
{
    if (formName.isEmpty())
        return false;
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    registry.Key = PlacementKey(formName);
    if (maximized) {
        registry.WriteValue(QStringLiteral("Maximized"), QStringLiteral("1"));
    } else {
        registry.WriteValue(QStringLiteral("Maximized"), QStringLiteral("0"));
        registry.WriteValue(QStringLiteral("Top"), QString::number(bounds.y()));
        registry.WriteValue(QStringLiteral("Left"), QString::number(bounds.x()));
        registry.WriteValue(QStringLiteral("Width"), QString::number(bounds.width()));
        registry.WriteValue(QStringLiteral("Height"), QString::number(bounds.height()));
    }
    if (store.save())
        return true;
    DiagnosticLog::WriteLog(
        QStringLiteral("Window placement of %1 could not be saved: %2").arg(formName, store.errorString()));
    return false;
}

bool SettingsRecord::LoadWindowPlacement(const QString &formName, QRect &bounds, bool &maximized)
{
    if (formName.isEmpty())
        return false;
    RegistryStore store;
    TRegistryEnhanced registry(&store);
    registry.Key = PlacementKey(formName);
    const auto read = [&registry](const char *name) { return readNumber(registry, name); };
    const int32_t top = read("Top");
    const int32_t left = read("Left");
    const int32_t height = read("Height");
    const int32_t width = read("Width");
    // No size, or one no window can have: the form keeps its designed bounds.
    if (height <= 0 || width <= 0)
        return false;

    // Stored numbers are trusted only as far as the screen reaches: a huge
    // size would make a window the system cannot draw, and one off every
    // screen could not be reached.
    const QPoint stored(left, top);
    const QScreen *screen = QGuiApplication::screenAt(stored);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QRect available = screen->availableGeometry();
    if (available.isEmpty())
        return false;
    const QSize size(qBound(qMin(kMinimumSize.width(), available.width()), int(width), available.width()),
                     qBound(qMin(kMinimumSize.height(), available.height()), int(height), available.height()));
    const QPoint pos(qBound(available.left(), stored.x(), available.right() + 1 - size.width()),
                     qBound(available.top(), stored.y(), available.bottom() + 1 - size.height()));
    bounds = QRect(pos, size);
    maximized = read("Maximized") == 1;
    return true;
}
