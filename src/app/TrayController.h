#pragma once
// The program in the notification area: the tray icon with its tip and
// menu, minimising to the tray (or to the task bar where there is no tray),
// bringing the window back, and when the floating toolbar is shown.

#include <QObject>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class TForm1;
class TToolBarForm;

class TrayController : public QObject
{
    Q_OBJECT
public:
    // menu is the tray menu PopupMenu2 (its items are the window's commands).
    TrayController(TForm1 &window, QMenu &menu);

    QSystemTrayIcon *TrayIcon() const { return m_trayIcon; }
    TToolBarForm *ToolBar() const { return m_toolBar; }
    QAction *Item(const char *name) const;

    void AddTrayIcon(const QIcon &icon);
    void RemoveTrayIcon();
    // The tray tip: the program's name while idle, else the long status.
    void SetTip(const QString &text, bool idle);
    // The desktop offers a tray to hide in (else minimising goes to the task bar).
    bool TrayAvailable() const;

    // The floating toolbar this controller shows and hides (created after the window).
    void AttachToolBar(TToolBarForm *toolbar);
    void AppMinimize();
    void RestoreFromTray();
    void ShowFloatingToolbar();
    void ToolBarPONtryClick() { ShowFloatingToolbar(); }
    // The window came back from the task bar: as a restore from the tray.
    void BroughtBackFromTaskBar();

private:
    TForm1 &m_window;
    QMenu &m_menu;
    QSystemTrayIcon *m_trayIcon = nullptr;
    TToolBarForm *m_toolBar = nullptr;
};
