#pragma once
// The program in the notification area: the tray icon with its tip and
// menu, and when the floating toolbar is offered. The tray menu PopupMenu2
// gives the shared reading actions and the window's commands; what the
// window must do (come back, show the toolbar, switch the list mode, show
// About, exit) it asks for by signals.

#include "reader/ReadingController.h"

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class ReadingActions;
class TPreferences;

class TrayController : public QObject
{
    Q_OBJECT
public:
    // Builds the tray menu (object name PopupMenu2) around the reading commands.
    TrayController(TPreferences &prefs, const ReadingActions &commands, QObject *parent = nullptr);
    ~TrayController() override;

    QMenu *Menu() const { return m_menu.get(); }
    QSystemTrayIcon *TrayIcon() const { return m_trayIcon; }
    // The menu's own items that the window's parts keep in step.
    QAction *ShowToolbarItem() const { return m_showToolbar; }
    QAction *WatchClipboardItem() const { return m_watchClipboard; }
    QAction *SingleArticleItem() const { return m_singleArticle; }
    QAction *MultiArticleItem() const { return m_multiArticle; }

    // The icon, with idleTip as its tip while nothing is read.
    void AddTrayIcon(const QIcon &icon, const QString &idleTip);
    void RemoveTrayIcon();
    // The tray tip: the program's name while idle, else the long status.
    void SetTip(const QString &text, bool idle);
    // The desktop offers a tray to hide in (else minimising goes to the task bar).
    bool TrayAvailable() const;

    // The window went to the tray or the task bar while in state: the
    // floating toolbar comes as ToolbarOnMinOption says, else it is offered.
    void WindowHidden(ReadingState state);
    // The window is back: the toolbar is no longer offered.
    void WindowShown();
    // Reading started while both windows are hidden.
    void ReadingWhileHidden();
    // "Show &Toolbar".
    void ShowFloatingToolbar();
    // The floating toolbar was shown, or closed by the user.
    void ToolbarShown();
    void ToolbarClosed();

signals:
    void RestoreRequested();
    void ShowToolbarRequested();
    // The tray menu is about to open: the program is brought to the foreground first.
    void MenuOpening();
    void ListModeChosen(bool multi);
    void AboutRequested();
    void ExitRequested();

private:
    void BuildTrayMenu(const ReadingActions &commands);

    TPreferences &m_prefs;
    QString m_idleTip;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QAction *m_showToolbar = nullptr;
    QAction *m_watchClipboard = nullptr;
    QAction *m_singleArticle = nullptr;
    QAction *m_multiArticle = nullptr;
};
