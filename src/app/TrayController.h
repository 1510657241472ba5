#pragma once
// The program in the notification area: the tray icon with its tip and
// menu, minimising to the tray (or to the task bar where there is no tray),
// bringing the window back, and when the floating toolbar is shown. The
// tray menu PopupMenu2 gives the window's commands.

#include <QObject>
#include <QRect>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class MainWindow;
class FloatingToolBar;

class TrayController : public QObject
{
    Q_OBJECT
public:
    // Builds the tray menu PopupMenu2, a child of the window so that the
    // window's command states reach its items.
    explicit TrayController(MainWindow &window);

    QMenu *PopupMenu2() const { return m_menu; }
    QSystemTrayIcon *TrayIcon() const { return m_trayIcon; }
    FloatingToolBar *ToolBar() const { return m_toolBar; }
    QAction *Item(const char *name) const;

    void AddTrayIcon(const QIcon &icon);
    void RemoveTrayIcon();
    // The tray tip: the program's name while idle, else the long status.
    void SetTip(const QString &text, bool idle);
    // The desktop offers a tray to hide in (else minimising goes to the task bar).
    bool TrayAvailable() const;

    // The floating toolbar this controller shows and hides (created after the window).
    void AttachToolBar(FloatingToolBar *toolbar);
    void AppMinimize();
    void RestoreFromTray();
    void RestoreMItmClick() { RestoreFromTray(); }
    void ShowFloatingToolbar();
    void ToolBarPONtryClick() { ShowFloatingToolbar(); }
    // The window came back from the task bar: as a restore from the tray.
    void BroughtBackFromTaskBar();

private:
    void BuildTrayMenu();

    MainWindow &m_window;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    FloatingToolBar *m_toolBar = nullptr;
    // Where the window was when it went to the tray; invalid: nowhere kept.
    QRect m_placeBeforeHide;
};
