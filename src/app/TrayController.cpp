#include "TrayController.h"

#include "ReadingActions.h"
#include "settings/PreferenceUnit.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QAction *addItem(QMenu *menu, const char *name, const QString &text)
{
    QAction *item = menu->addAction(text);
    item->setObjectName(QLatin1String(name));
    return item;
}

}  // namespace

TrayController::TrayController(TPreferences &prefs, const ReadingActions &commands, QObject *parent)
    : QObject(parent), m_prefs(prefs)
{
    BuildTrayMenu(commands);
}

TrayController::~TrayController()
{
    RemoveTrayIcon();
}

void TrayController::BuildTrayMenu(const ReadingActions &commands)
{
    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("PopupMenu2"));
    m_menu->setAccessibleName(tr("Tray menu"));
    QAction *restore = addItem(m_menu.get(), "RestoreMItm", QStringLiteral("Restore"));
    m_menu->setDefaultAction(restore);
    connect(restore, &QAction::triggered, this, &TrayController::RestoreRequested);
    m_showToolbar = addItem(m_menu.get(), "ToolBarPONtry", QStringLiteral("Show &Toolbar"));
    // Offered only while the window is hidden.
    m_showToolbar->setEnabled(false);
    connect(m_showToolbar, &QAction::triggered, this, &TrayController::ShowFloatingToolbar);
    m_menu->addSeparator();
    QMenu *options = m_menu->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("OptionsPoNtry"));
    m_watchClipboard = addItem(options, "MonClipPoNtry", QStringLiteral("&Watch Clipboard"));
    m_watchClipboard->setCheckable(true);
    options->addSeparator();
    m_singleArticle = addItem(options, "SIPoNtry", QStringLiteral("&Single Article"));
    m_multiArticle = addItem(options, "MIPoNtry", QStringLiteral("&Multi Article"));
    auto *modes = new QActionGroup(this);
    for (QAction *mode : {m_singleArticle, m_multiArticle}) {
        mode->setCheckable(true);
        modes->addAction(mode);
    }
    connect(m_singleArticle, &QAction::triggered, this, [this] { emit ListModeChosen(false); });
    connect(m_multiArticle, &QAction::triggered, this, [this] { emit ListModeChosen(true); });
    m_menu->addSeparator();
    m_menu->addActions(
        {commands.ReadAloud(), commands.ReadToFile(), commands.Skip(), commands.PauseResume(), commands.Stop()});
    m_menu->addSeparator();
    connect(addItem(m_menu.get(), "AboutPoNtry", QStringLiteral("A&bout")), &QAction::triggered, this,
            &TrayController::AboutRequested);
    m_menu->addSeparator();
    connect(addItem(m_menu.get(), "ExitVoxtrella", QStringLiteral("E&xit Voxtrella")), &QAction::triggered, this,
            &TrayController::ExitRequested);
}

bool TrayController::TrayAvailable() const
{
    return m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayController::AddTrayIcon(const QIcon &icon, const QString &idleTip)
{
    if (m_trayIcon)
        return;
    m_idleTip = idleTip;
    m_trayIcon = new QSystemTrayIcon(icon, this);
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(m_idleTip);
    // The menu is opened by the program itself on a right click.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            emit RestoreRequested();
        } else if (reason == QSystemTrayIcon::Context) {
            emit MenuOpening();
            // Opened once the window's activation has been handled, so that
            // a click elsewhere closes it.
            const QPoint at = QCursor::pos();
            QTimer::singleShot(0, m_menu.get(), [this, at] { m_menu->popup(at); });
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
        m_trayIcon->setToolTip(idle || text.isEmpty() ? m_idleTip : text.left(63));
}

void TrayController::WindowHidden(ReadingState state)
{
    const uint8_t option = m_prefs.ToolbarOnMinOption;
    if (option == 1 || (option == 2 && state == rsReading))
        ShowFloatingToolbar();
    else
        m_showToolbar->setEnabled(true);
}

void TrayController::WindowShown()
{
    m_showToolbar->setEnabled(false);
}

void TrayController::ReadingWhileHidden()
{
    if (m_prefs.ToolbarOnMinOption == 2)
        ShowFloatingToolbar();
}

void TrayController::ShowFloatingToolbar()
{
    emit ShowToolbarRequested();
    m_showToolbar->setEnabled(false);
}

void TrayController::ToolbarShown()
{
    m_showToolbar->setEnabled(false);
}

void TrayController::ToolbarClosed()
{
    m_showToolbar->setEnabled(true);
}
