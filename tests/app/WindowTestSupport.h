#pragma once
// The main window's tests: the program's windows on the offscreen platform.
#include "Application.h"
#include "ArticleCommands.h"
#include "MainWindow.h"
#include "ReadingBinder.h"
#include "FloatingToolBar.h"
#include "TrayController.h"
#include "ui_ClipboardOptionsForm.h"
#include "ui_EnginesVoicesForm.h"
#include "ui_FileOptionsForm.h"
#include "ui_MainWindow.h"
#include "ui_MiscOptionsForm.h"
#include "ui_MultiArticleOptionsForm.h"
#include "ui_SingleArticleOptionsForm.h"

#include "TestSupport.h"
#include "ArticleEditor.h"
#include "ArticleHeader.h"
#include "ArticleListView.h"
#include "ArticleRow.h"
#include "ScriptedAudioSystem.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/MessageService.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "util/DiagnosticLog.h"
#include "voices/TTSEngineUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;
using TestSupport::homeDir;
using TestSupport::readFile;
using TestSupport::waitFor;
using TestSupport::writeFile;

namespace WindowTesting {

const QString kBeingRead = u"This item is currently being read and cannot be deleted"_s;

// One record of the saved-articles file.
inline QByteArray Record(const QByteArray &title, const QByteArray &text)
{
    return "||||||Voxtrella MP3 Start of Article||||||\r\n" + title + "||1\r\n" + text +
           "\r\n||||||Voxtrella MP3 End of Article||||||\r\n";
}

// The program as the program entry builds it, every message answered and noted. The sound
// goes to a scripted sound system 8 times faster than real time, or with RealSound() to the test's server.
class WindowTest : public ::testing::Test
{
protected:
    virtual bool RealSound() const { return false; }
    void SetUp() override
    {
        if (!RealSound()) {
            auto scripted = std::make_unique<audio::ScriptedAudioSystem>();
            scripted->setPlaybackRate(8.0);
            sound = scripted.get();
            audio::setAudioSystem(std::move(scripted));
        }
        MessageService::setHandler([this](const MessageService::Message &m) {
            messages << m.text;
            return UserInteraction::Ok;
        });
    }
    void TearDown() override
    {
        application.reset();
        MessageService::setHandler({});
        audio::setAudioSystem(nullptr);
    }

    // Settings of an earlier run, written before the windows exist.
    static void StoreSettings(std::initializer_list<std::pair<const char *, QVariant>> settings)
    {
        TPreferences prefs;
        prefs.LoadFromRegistry();
        for (const auto &[name, value] : settings)
            prefs.SetValue(QLatin1String(name), value);
        prefs.SaveToRegistry();
    }
    // The saved-articles file of an earlier run.
    static void SaveArticles(const QByteArray &records) { ASSERT_TRUE(writeFile(ExportPath(), records)); }

    // Starts the program the way the program entry does and, unless told otherwise, waits for the list.
    void Start(bool untilListed = true)
    {
        application = std::make_unique<Application>();
        ASSERT_TRUE(application->Create());
        form = application->MainForm();
        ui = form->form();
        form->Start();
        QCoreApplication::processEvents();
        if (untilListed) {
            ASSERT_TRUE(waitFor([this] { return form->ListInfoInitialised(); }, 20000));
        }
    }
    void Exit()  // the exit command
    {
        form->ExitVoxtrellaClick();
        application.reset();
        form = nullptr;
    }

    static QString ExportPath() { return homeDir() + u"/VXExport.txt"_s; }
    static QByteArray Saved() { return readFile(ExportPath()); }
    static QString Log() { return QString::fromUtf8(readFile(DiagnosticLog::LogFileName())); }
    std::string Messages() const { return messages.join(u'|').toStdString(); }
    int Count() const { return form->List()->GetVisibleCount(); }
    ArticleEntry *Entry(int i) const { return form->List()->Entry(i); }
    QStringList Titles() const
    {
        return Each([](const ArticleEntry *e) { return e->Title(); });
    }
    QStringList Texts() const
    {
        return Each([](const ArticleEntry *e) { return e->Text(); });
    }
    template <class Value>
    QStringList Each(Value value) const
    {
        QStringList values;
        for (int i = 0; i < Count(); ++i)
            values << value(Entry(i));
        return values;
    }
    bool WaitIdle(int ms = 60000)
    {
        return waitFor([this] { return form->State() == rsIdle; }, ms);
    }
    // The tray menu's items by their object names.
    QAction *Tray(const char *name) const
    {
        const std::string_view item(name);
        TrayController &tray = form->Tray();
        return item == "ToolBarPONtry"   ? tray.ShowToolbarItem()
               : item == "MonClipPoNtry" ? tray.WatchClipboardItem()
               : item == "SIPoNtry"      ? tray.SingleArticleItem()
               : item == "MIPoNtry"      ? tray.MultiArticleItem()
                                         : nullptr;
    }

    // Leaves exactly the first n catalogue voices as favourites.
    QStringList KeepFavorites(int n)
    {
        QStringList names;
        for (int i = 0; i < form->Driver()->Voices().Count(); ++i) {
            TVoiceEntry *v = form->Driver()->Voices().Items(i);
            v->Engine->Enabled = true;
            v->Favorite = names.size() < n;
            if (v->Favorite)
                names << v->DisplayName;
        }
        form->Articles().LoadFavoriteVoices();
        return names;
    }

    // Runs a command that opens modal dialogs, noting and closing each as it comes.
    QStringList OpenedDialogs(const std::function<void()> &command)
    {
        QStringList opened;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&opened] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                opened << dialog->objectName() + u'=' + dialog->windowTitle();
                dialog->reject();
            }
        });
        closer.start(50);
        command();
        return opened;
    }

    // The options band's sheets and pages.
    Ui::SingleArticleOptionsForm &SingleSheet() const { return ui->SIOptionsSheet->Controls(); }
    Ui::MultiArticleOptionsForm &MultiSheet() const { return ui->MIOptionsSheet->Controls(); }
    Ui::ClipboardOptionsForm &ClipboardTab() const { return ui->ClipboardSheet->Controls(); }
    Ui::EnginesVoicesForm &VoicesTab() const { return ui->EngineVoicesTab->Controls(); }
    Ui::FileOptionsForm &FileTab() const { return ui->FileOptionsSheet->Controls(); }
    Ui::MiscOptionsForm &MiscTab() const { return ui->MiscSheet->Controls(); }

    std::unique_ptr<Application> application;
    MainWindow *form = nullptr;
    Ui::MainWindow *ui = nullptr;
    QStringList messages;
    audio::ScriptedAudioSystem *sound = nullptr;
};

}  // namespace WindowTesting
