#include "ClipboardOptionsForm.h"

#include "ui_ClipboardOptionsForm.h"

#include "util/DiagnosticLog.h"

#include <QGuiApplication>
#include <QLabel>

namespace {

const QString kFocusOnlyNote = QStringLiteral(
    "On this Wayland desktop, Voxtrella sees text copied in other programs only "
    "while one of its windows has the focus.");

}  // namespace

ClipboardOptionsForm::ClipboardOptionsForm(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::ClipboardOptionsForm>())
{
    ui->setupUi(this);
    NoteFocusOnlyClipboard();
}

ClipboardOptionsForm::~ClipboardOptionsForm() = default;

bool ClipboardOptionsForm::FocusOnlyClipboard(const QString &platformName, const QString &sessionType,
                                              const QString &waylandDisplay)
{
    if (platformName.startsWith(QLatin1String("wayland")))
        return true;
    // An X program on a Wayland desktop gets the clipboard through
    // Xwayland, which passes it on when an X window takes the focus.
    return platformName == QLatin1String("xcb") &&
           (sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0 || !waylandDisplay.isEmpty());
}

void ClipboardOptionsForm::NoteFocusOnlyClipboard()
{
    if (!FocusOnlyClipboard(QGuiApplication::platformName(), qEnvironmentVariable("XDG_SESSION_TYPE"),
                            qEnvironmentVariable("WAYLAND_DISPLAY")))
        return;
    DiagnosticLog::WriteLog(QStringLiteral("Clipboard: other programs' copies arrive only while focused"));
    auto *note = new QLabel(kFocusOnlyNote, ui->ClipboardSheetContents);
    note->setObjectName(QStringLiteral("ClipboardFocusNote"));
    note->setAccessibleName(kFocusOnlyNote);
    note->setWordWrap(true);
    // Below the options, above the spacer that takes the rest of the sheet.
    QGridLayout *grid = ui->ClipboardLayout;
    const int row = grid->rowCount() - 1;
    QLayoutItem *spacer = grid->itemAtPosition(row, 0);
    if (spacer && spacer->spacerItem()) {
        grid->removeItem(spacer);
        grid->addWidget(note, row, 0, 1, 3);
        grid->addItem(spacer, row + 1, 0);
    } else {
        grid->addWidget(note, row + 1, 0, 1, 3);
    }
}
