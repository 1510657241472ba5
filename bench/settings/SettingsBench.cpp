// Start-up and exit cost of the settings: loading and saving the record with
// its own settings plus a large voice catalogue's per-voice items.
#include "PreferenceUnit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Voices = 300;
constexpr int Rounds = 20;

void addVoiceItems(TPreferences &prefs)
{
    for (int i = 0; i < Voices; ++i) {
        const QString voice = QStringLiteral("eSpeak NG - Language %1 (variant %2)").arg(i / 5).arg(i % 5);
        prefs.AddItem(QStringLiteral("FAV_") + voice, 2, false, ikBoolean);
        prefs.AddItem(QStringLiteral("SPD_") + voice, 2, 150, ikInteger);
        prefs.AddItem(QStringLiteral("PIT_") + voice, 2, 50, ikInteger);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("VOXTRELLA_HOME", home.path().toLocal8Bit());

    TPreferences prefs;
    addVoiceItems(prefs);
    prefs.LoadFromRegistry();
    prefs.SaveToRegistry();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Rounds; ++i) {
        prefs.FieldsToItems();
        prefs.SaveToRegistry();
    }
    const double saveMs = double(timer.nsecsElapsed()) / 1e6 / Rounds;

    timer.restart();
    for (int i = 0; i < Rounds; ++i) {
        TPreferences loaded;
        addVoiceItems(loaded);
        loaded.LoadFromRegistry();
        loaded.ItemsToFields();
    }
    const double loadMs = double(timer.nsecsElapsed()) / 1e6 / Rounds;

    std::printf("settings_items=%zu\n", prefs.Items.size());
    std::printf("settings_save_ms=%.3f\n", saveMs);
    std::printf("settings_load_ms=%.3f\n", loadMs);
    std::printf("settings_file_mb=%.4f\n", double(QFileInfo(home.path() + "/registry.ini").size()) / (1024.0 * 1024.0));
    return 0;
}
