#pragma once
// The main window's Help menu: the help pages, the spoken help topics, the
// About box and the program's web pages.

#include <QDialog>
#include <QObject>
#include <QPointer>

class MainWindow;

class HelpMenu : public QObject
{
    Q_OBJECT
public:
    explicit HelpMenu(MainWindow &form);

    // One Audio Help item per topic of the spoken help file.
    void FillAudioHelpMenu();
    void ShowHelpContents();
    void AudioHelpClick(const QString &topic);
    void ShowAbout();
    void VisitWebSite();
    void ShowPortableMp3Help();
    void MoreVoicesLblClick();
    // The help page in a window of the program's own; one window, reused.
    void ShowHelpWindow(const QString &page);
    QDialog *HelpWindow() const { return m_helpWindow; }

private:
    MainWindow &m_form;
    QPointer<QDialog> m_helpWindow;
};
