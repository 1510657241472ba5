// Start-up with 1,000 saved articles: the time from creating the
// application until the main window is shown with its list filled and the
// event queue idle, and the peak memory of the process by then.
//
// Runs the program's own start-up (the application object, as the program entry does)
// on the offscreen platform in a temporary user folder, with the real
// speech engines and the process's sound server when there is one.
#include "BenchSupport.h"

#include "Application.h"
#include "MainWindow.h"
#include "articles/ArticleList.h"
#include "platform/audio/AudioSystem.h"
#include "ScriptedAudioSystem.h"
#include "settings/PreferenceUnit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

constexpr int kArticles = 1000;

bool WriteSavedArticles(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray out;
    for (int i = 1; i <= kArticles; ++i) {
        out += "||||||Voxtrella MP3 Start of Article||||||\r\n";
        out += "Article_" + QByteArray::number(i) + "||3\r\n";
        out += "Article number " + QByteArray::number(i) + " of the start-up measurement.\r\n";
        out += "It has a few lines of ordinary text, as a news item or a note would,\r\n";
        out += "so that loading it costs what a real article costs.\r\n";
        out += "||||||Voxtrella MP3 End of Article||||||\r\n";
    }
    return f.write(out) == out.size();
}


}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("VOXTRELLA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (!WriteSavedArticles(home.path() + QStringLiteral("/VXExport.txt"))) {
        std::fprintf(stderr, "cannot write the saved articles\n");
        return 1;
    }
    {
        // An earlier run in Multi-Article mode, so that every article stays.
        TPreferences prefs;
        prefs.LoadFromRegistry();
        prefs.SetValue(QStringLiteral("FirstTimeUser"), false);
        prefs.SetValue(QStringLiteral("ML_ListMode"), 1);
        prefs.SaveToRegistry();
    }

    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    // Without a sound server the program would refuse to start; the
    // measurement is about the program, so a scripted device stands in.
    if (audio::audioSystem().outputDeviceCount() <= 0)
        audio::setAudioSystem(std::make_unique<audio::ScriptedAudioSystem>());

    auto windows = std::make_unique<Application>();
    windows->Create();
    MainWindow *form = windows->MainForm();
    form->Start();
    while (!form->ListInfoInitialised() || form->List()->Importing())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Idle: nothing left to do in the queue.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const int loaded = form->List()->GetVisibleCount();

    std::printf("startup_s=%.3f\n", seconds);
    std::printf("startup_memory_mb=%.1f\n", BenchSupport::peakMemoryMb());
    std::printf("startup_articles=%d\n", loaded);
    windows.reset();
    return loaded == kArticles ? 0 : 1;
}
