#include "TrayController.h"

#include "ArticleCommands.h"
#include "HelpMenu.h"
#include "MainWindow.h"
#include "ReadingBinder.h"
#include "FloatingToolBar.h"
#include "ArticleListView.h"
#include "settings/PreferenceUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

TrayController::TrayController(MainWindow &window) : QObject(&window), m_window(window)
{
    BuildTrayMenu();
}

void TrayController::BuildTrayMenu()
{
    auto addAction = [](QMenu *menu, const char *name, const QString &text) {
        auto *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    // The window's commands, looked up when chosen: the window's parts are
    // built after this menu.
    auto command = [this](QAction *item, auto &&run) { connect(item, &QAction::triggered, this, run); };
    MainWindow &w = m_window;

    m_menu = new QMenu(&m_window);
    m_menu->setObjectName(QStringLiteral("PopupMenu2"));
    m_menu->setAccessibleName(tr("Tray menu"));
    auto *restore = addAction(m_menu, "RestoreMItm", QStringLiteral("Restore"));
    m_menu->setDefaultAction(restore);
    connect(restore, &QAction::triggered, this, &TrayController::RestoreMItmClick);
    connect(addAction(m_menu, "ToolBarPONtry", QStringLiteral("Show &Toolbar")), &QAction::triggered, this,
            &TrayController::ToolBarPONtryClick);
    m_menu->addSeparator();
    QMenu *options = m_menu->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("OptionsPoNtry"));
    auto *monClip = addAction(options, "MonClipPoNtry", QStringLiteral("&Watch Clipboard"));
    monClip->setCheckable(true);
    options->addSeparator();
    auto *si = addAction(options, "SIPoNtry", QStringLiteral("&Single Article"));
    auto *mi = addAction(options, "MIPoNtry", QStringLiteral("&Multi Article"));
    auto *trayModes = new QActionGroup(this);
    for (auto *a : {si, mi}) {
        a->setCheckable(true);
        trayModes->addAction(a);
    }
    command(si, [&w] { w.Articles().SwitchToSingleArticle(); });
    command(mi, [&w] { w.Articles().SwitchToMultiArticle(); });
    m_menu->addSeparator();
    command(addAction(m_menu, "PlayPoNtry", QStringLiteral("Read &Aloud")),
            [&w] { w.ReadingCommands().PlayAllBtnClick(); });
    command(addAction(m_menu, "PlayFilePoNtry", QStringLiteral("Read to &File")),
            [&w] { w.ReadingCommands().PlayFileBtnClick(); });
    command(addAction(m_menu, "SkipPoNtry", QStringLiteral("S&kip")), [&w] { w.ReadingCommands().SkipBtnClick(); });
    command(addAction(m_menu, "PausePoNtry", QStringLiteral("&Pause")), [&w] { w.ReadingCommands().PauseBtnClick(); });
    command(addAction(m_menu, "StopPoNtry", QStringLiteral("&Stop")), [&w] { w.ReadingCommands().StopBtnClick(); });
    m_menu->addSeparator();
    command(addAction(m_menu, "AboutPoNtry", QStringLiteral("A&bout")), [&w] { w.Help().ShowAbout(); });
    m_menu->addSeparator();
    command(addAction(m_menu, "ExitVoxtrella", QStringLiteral("E&xit Voxtrella")), [&w] { w.ExitVoxtrellaClick(); });
}

QAction *TrayController::Item(const char *name) const
{
    return m_menu->findChild<QAction *>(QLatin1String(name));
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
    m_trayIcon->setToolTip(MainWindow::Caption);
    // The menu is opened by the program itself on a right click.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!m_window.ShownOnce())
            return;
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            RestoreFromTray();
        } else if (reason == QSystemTrayIcon::Context) {
            m_window.activateWindow();
            QCoreApplication::processEvents();
            m_menu->popup(QCursor::pos());
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
        m_trayIcon->setToolTip(idle || text.isEmpty() ? MainWindow::Caption : text.left(63));
}

void TrayController::AttachToolBar(FloatingToolBar *toolbar)
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
        // A hidden window shown again is placed anew by the window manager,
        // or by its frame where it stood by its client area: it comes back
        // where it was only when put there by its client bounds.
        const bool normal = !(m_window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        m_placeBeforeHide = m_window.isVisible() && normal ? m_window.geometry() : QRect();
        m_window.hide();
        if (m_window.ListView())
            m_window.ListView()->hide();
    } else if (!m_window.isMinimized()) {
        // Without a tray the task bar is the only way back.
        m_window.showMinimized();
    }
    const uint8_t option = m_window.Preferences().ToolbarOnMinOption;
    if (option == 1 || (option == 2 && m_window.State() == rsReading))
        ShowFloatingToolbar();
    else
        Item("ToolBarPONtry")->setEnabled(true);
}

void TrayController::RestoreFromTray()
{
    if (m_toolBar)
        m_toolBar->hide();
    if (m_window.ListView())
        m_window.ListView()->show();
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    if (m_placeBeforeHide.isValid() && !m_window.isVisible())
        m_window.setGeometry(m_placeBeforeHide);
    m_placeBeforeHide = QRect();
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
