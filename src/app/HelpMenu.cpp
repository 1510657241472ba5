#include "HelpMenu.h"

#include "ui_MainWindow.h"

#include "MainWindow.h"
#include "ReadingBinder.h"
#include "platform/paths/AppPaths.h"
#include "platform/shell/MessageService.h"
#include "reader/Speaker.h"
#include "settings/PreferenceUnit.h"
#include "voices/TaggedFile.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kAudioHelpFile = QStringLiteral("AudioHelp.chl");
const QString kHelpPage = QStringLiteral("help/index.html");
const QString kHelpCaption = QStringLiteral("Voxtrella MP3 Help");
const QString kNoEnglishVoice = QStringLiteral(
    "An English Voice was not found on your computer.\rAudio Help is currently available in English only");

// The program's own pages; the Windows vendor's site does not describe this
// program.
const QUrl kHomePage(QStringLiteral("https://voxtrella.org/"));
const QUrl kPlayersPage(QStringLiteral("https://voxtrella.org/players.html"));
const QUrl kVoicesPage(QStringLiteral("https://voxtrella.org/voices.html"));

QString AudioHelpFile()
{
    return AppPaths::dataDir() + QLatin1Char('/') + kAudioHelpFile;
}

}  // namespace

HelpMenu::HelpMenu(MainWindow &form) : m_form(form)
{
    Ui::MainWindow *ui = form.form();
    connect(ui->Contents1, &QAction::triggered, this, &HelpMenu::ShowHelpContents);
    connect(ui->About1, &QAction::triggered, this, &HelpMenu::ShowAbout);
    connect(ui->VisitVarnyxTechnologies1, &QAction::triggered, this, &HelpMenu::VisitWebSite);
    connect(ui->PortableMP3, &QAction::triggered, this, &HelpMenu::ShowPortableMp3Help);
}

namespace {

// Without a browser the desktop opens nothing: the user is told where to go.
void OpenWebPage(const QUrl &url)
{
    if (!QDesktopServices::openUrl(url))
        MessageService::notice(QStringLiteral("No web browser could be started to show this page:\r") + url.toString());
}

}  // namespace

void HelpMenu::FillAudioHelpMenu()
{
    TaggedFile help;
    help.LoadFromFile(AudioHelpFile());
    QStringList topics;
    help.GetList(QStringLiteral("/"), QStringLiteral("HelpTopics"), topics);
    QMenu *menu = m_form.form()->AudioHelp1;
    QString usedKeys;
    for (const QString &topic : std::as_const(topics)) {
        // Each topic gets an access key of its own: its first letter not
        // taken yet.
        QString caption = QString(topic).replace(u'&', QLatin1String("&&"));
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar key = caption.at(i).toLower();
            if (key.isLetterOrNumber() && !usedKeys.contains(key)) {
                usedKeys += key;
                caption.insert(i, u'&');
                break;
            }
        }
        QAction *item = menu->addAction(caption);
        connect(item, &QAction::triggered, this, [this, topic] { AudioHelpClick(topic); });
    }
    menu->menuAction()->setEnabled(!topics.isEmpty());
}

void HelpMenu::ShowHelpContents()
{
    const QString page = AppPaths::dataDir() + QLatin1Char('/') + kHelpPage;
    if (!QFileInfo::exists(page)) {
        MessageService::error(QStringLiteral("The help pages could not be opened:\r") + page);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        ShowHelpWindow(page);
}

void HelpMenu::ShowHelpWindow(const QString &page)
{
    // Without a browser (a minimal or kiosk desktop) the pages show in a
    // window of our own, so help always opens.
    if (!m_helpWindow) {
        m_helpWindow = new QDialog(&m_form, Qt::Window);
        m_helpWindow->setObjectName(QStringLiteral("HelpWindow"));
        m_helpWindow->setWindowTitle(kHelpCaption);
        m_helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(m_helpWindow);
        auto *browser = new QTextBrowser(m_helpWindow);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setAccessibleName(kHelpCaption);
        // Pages of the program follow here; web links go to a browser, if one starts.
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_helpWindow);
        buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
        connect(buttons, &QDialogButtonBox::rejected, m_helpWindow, &QDialog::close);
        layout->addWidget(buttons);
        const QFontMetrics metrics(m_helpWindow->font());
        m_helpWindow->resize(metrics.averageCharWidth() * 90, metrics.height() * 36);
    }
    auto *browser = m_helpWindow->findChild<QTextBrowser *>();
    browser->setSource(QUrl::fromLocalFile(page));
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
    browser->setFocus();
}

void HelpMenu::AudioHelpClick(const QString &topic)
{
    TaggedFile help;
    help.LoadFromFile(AudioHelpFile());
    const QString text = help.GetValue(QStringLiteral("/"), topic);
    Speaker *driver = m_form.Driver();
    TVoiceEntry *voice = driver ? driver->FindVoice(m_form.Preferences().TTS_DefaultVoiceName) : nullptr;
    if (driver && (!voice || LanguageCodeOf(voice->Engine->LanguageID) != QLatin1String("eng")))
        voice = driver->FindHelpVoice();
    if (!voice) {
        MessageService::error(kNoEnglishVoice);
        return;
    }
    m_form.ReadingCommands().UpdateStatus(QStringLiteral("Reading Audio Help"));
    m_form.ReadingCommands().SpeakAudioHelp(text, voice->DisplayName);
}

void HelpMenu::ShowAbout()
{
    QDialog about(&m_form);
    about.setObjectName(QStringLiteral("AboutBox"));
    about.setWindowTitle(QStringLiteral("About Voxtrella MP3"));
    auto *layout = new QVBoxLayout(&about);
    auto *text = new QLabel(&about);
    text->setObjectName(QStringLiteral("AboutText"));
    text->setTextFormat(Qt::RichText);
    text->setText(QStringLiteral("<h2>Voxtrella MP3</h2><p>Version %1</p>"
                                 "<p>Reads your text aloud, or into WAV and MP3 files,<br>"
                                 "with the eSpeak NG and Flite speech engines.</p>"
                                 "<p>MP3 encoding by LAME.</p>")
                      .arg(m_form.Preferences().Version()));
    text->setAccessibleName(QStringLiteral("About Voxtrella MP3"));
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    about.exec();
}

void HelpMenu::VisitWebSite()
{
    OpenWebPage(kHomePage);
}

void HelpMenu::ShowPortableMp3Help()
{
    OpenWebPage(kPlayersPage);
}

void HelpMenu::MoreVoicesLblClick()
{
    OpenWebPage(kVoicesPage);
}
