#pragma once
// The main window's Help menu: the help pages, the spoken help topics, the
// About box and the program's web pages.

#include <QDialog>
#include <QObject>
#include <QPointer>

class TForm1;

class HelpMenu : public QObject
{
    Q_OBJECT
public:
    explicit HelpMenu(TForm1 &form);

    // One Audio Help item per topic of the spoken help file.
    void FillAudioHelpMenu();
    void Contents1Click();
    void AudioHelpClick(const QString &topic);
    void About1Click();
    void VisitVarnyxTechnologies1Click();
    void PortableMP3Click();
    void MoreVoicesLblClick();
    // The help page in a window of the program's own; one window, reused.
    void ShowHelpWindow(const QString &page);
    QDialog *HelpWindow() const { return m_helpWindow; }

private:
    TForm1 &m_form;
    QPointer<QDialog> m_helpWindow;
};
