#include "TrayController.h"

#include "ReaderUnit.h"
#include "ToolBarUnit.h"
#include "articles/MemoListUnit.h"
#include "settings/PreferenceUnit.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

TrayController::TrayController(TForm1 &window, QMenu &menu) : QObject(&window), m_window(window), m_menu(menu) {}

QAction *TrayController::Item(const char *name) const
{
    return m_menu.findChild<QAction *>(QLatin1String(name));
}

bool TrayController::TrayAvailable() const
{
    return m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayController::AddTrayIcon(const QIcon &icon)
{
    if (m_trayIcon)
        return;
    m_trayIcon = new QSystemTrayIcon(icon, this);
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(TForm1::Caption);
    // The menu is opened by the program itself on a right click.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!m_window.ShownOnce())
            return;
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            RestoreFromTray();
        } else if (reason == QSystemTrayIcon::Context) {
            m_window.activateWindow();
            QCoreApplication::processEvents();
            m_menu.popup(QCursor::pos());
        }
    });
    m_trayIcon->show();
}

void TrayController::RemoveTrayIcon()
{
    if (!m_trayIcon)
        return;
    m_trayIcon->hide();
    delete m_trayIcon;
    m_trayIcon = nullptr;
}

void TrayController::SetTip(const QString &text, bool idle)
{
    if (m_trayIcon)
        m_trayIcon->setToolTip(idle || text.isEmpty() ? TForm1::Caption : text.left(63));
}

void TrayController::AttachToolBar(TToolBarForm *toolbar)
{
    m_toolBar = toolbar;
    if (!toolbar)
        return;
    toolbar->OnRestore = [this] { RestoreFromTray(); };
    toolbar->OnShown = [this] { Item("ToolBarPONtry")->setEnabled(false); };
    toolbar->OnUserClosed = [this] { Item("ToolBarPONtry")->setEnabled(true); };
}

void TrayController::AppMinimize()
{
    if (TrayAvailable()) {
        m_window.hide();
        if (m_window.List())
            m_window.List()->hide();
    } else if (!m_window.isMinimized()) {
        // Without a tray the task bar is the only way back.
        m_window.showMinimized();
    }
    const uint8_t option = Prefs->ToolbarOnMinOption;
    if (option == 1 || (option == 2 && m_window.State() == rsReading))
        ShowFloatingToolbar();
    else
        Item("ToolBarPONtry")->setEnabled(true);
}

void TrayController::RestoreFromTray()
{
    if (m_toolBar)
        m_toolBar->hide();
    if (m_window.List())
        m_window.List()->show();
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    Item("ToolBarPONtry")->setEnabled(false);
    m_window.raise();
    m_window.activateWindow();
}

void TrayController::ShowFloatingToolbar()
{
    if (!m_toolBar)
        return;
    m_toolBar->ShowNormal();
    Item("ToolBarPONtry")->setEnabled(false);
}

void TrayController::BroughtBackFromTaskBar()
{
    if (m_toolBar)
        m_toolBar->hide();
    Item("ToolBarPONtry")->setEnabled(false);
}
