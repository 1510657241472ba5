#pragma once
// The main window's Help menu: the help pages, the spoken help topics, the
// About box and the program's web pages. A spoken topic is asked for by a
// signal; whoever holds the reading commands speaks it.

#include <QDialog>
#include <QObject>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QWidget;
class Speaker;
class TPreferences;

class HelpMenu : public QObject
{
    Q_OBJECT
public:
    // The menu's own items, the Audio Help submenu it fills and the
    // "more voices" link of the voices page.
    struct Controls {
        QAction &contents;
        QAction &about;
        QAction &visitWebSite;
        QAction &portableMp3;
        QMenu &audioHelp;
        QLabel &moreVoices;
    };
    // driver finds the voice for spoken help; dialogParent owns the About
    // box and the help window.
    HelpMenu(const Controls &controls, const TPreferences &prefs, Speaker &driver, QWidget &dialogParent);

    // One Audio Help item per topic of the spoken help file.
    void FillAudioHelpMenu();
    void ShowHelpContents();
    void SpeakAudioHelpTopic(const QString &topic);
    void ShowAbout();
    void VisitWebSite();
    void ShowPortableMp3Help();
    void ShowMoreVoicesPage();
    // The help page in a window of the program's own; one window, reused.
    void ShowHelpWindow(const QString &page);
    QDialog *HelpWindow() const { return m_helpWindow; }

signals:
    // A spoken help topic to read aloud with this voice.
    void AudioHelpRequested(const QString &text, const QString &voiceName);

private:
    QMenu &m_audioHelp;
    const TPreferences &m_prefs;
    Speaker &m_driver;
    QWidget &m_dialogParent;
    QPointer<QDialog> m_helpWindow;
};
