#include "MiscOptionsForm.h"

#include "ui_MiscOptionsForm.h"

#include "platform/paths/AppPaths.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// One word of a command line, in single quotes when it holds anything a
// shell or the keyboard settings would split or expand.
QString ShellWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

MiscOptionsForm::MiscOptionsForm(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::MiscOptionsForm>())
{
    ui->setupUi(this);
    ui->ReadClipboardCmdEdit->setText(ShortcutCommand(QStringLiteral("--read-clipboard")));
    ui->ReadSelectionCmdEdit->setText(ShortcutCommand(QStringLiteral("--read-selection")));
    // A long program path shows from its start, as it is read.
    ui->ReadClipboardCmdEdit->setCursorPosition(0);
    ui->ReadSelectionCmdEdit->setCursorPosition(0);
}

MiscOptionsForm::~MiscOptionsForm() = default;

QString MiscOptionsForm::ShortcutCommand(const QString &option)
{
    const QString name = QStringLiteral("voxtrella");
    const QString program = AppPaths::programFilePath();
    const QString onPath = QStandardPaths::findExecutable(name);
    const bool found = !onPath.isEmpty() && !program.isEmpty() &&
                       QFileInfo(onPath).canonicalFilePath() == QFileInfo(program).canonicalFilePath();
    QString command = found || program.isEmpty() ? name : ShellWord(program);
    if (const QString home = AppPaths::homeOverride(); !home.isEmpty())
        command = QStringLiteral("env ") + ShellWord(QStringLiteral("VOXTRELLA_HOME=") + home) + QLatin1Char(' ') +
                  command;
    return command + QLatin1Char(' ') + option;
}
