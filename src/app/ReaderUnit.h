#pragma once
// The main window. For now it does the start of the program: it creates and
// loads the settings record, restores its placement, and saves both when it
// closes, when it is destroyed and when the program is asked to end.

#include <QMainWindow>

#include <memory>

class TPreferences;

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    static const QString Caption;  // "Voxtrella MP3"

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // The exit command: saves and ends the event loop.
    void ExitProgram();

    // Placement, fields and the settings store. False when the store could
    // not be written.
    bool SaveSettings();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<TPreferences> m_prefs;
};
