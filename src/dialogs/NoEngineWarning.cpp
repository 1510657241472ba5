#include "NoEngineWarning.h"

#include "ui_NoEngineWarning.h"

#include "ContactLinks.h"
#include "DiagnosticLog.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

QString linkHtml(const QString &href, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), text.toHtmlEscaped());
}

bool openLink(const QUrl &url)
{
    const bool opened = QDesktopServices::openUrl(url);
    if (!opened)
        DiagnosticLog::WriteLog(QStringLiteral("Could not open ") + url.toString());
    return opened;
}

}  // namespace

TEngineWarningForm::TEngineWarningForm(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TEngineWarningForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    // Links take the palette's link colour, so they stay readable in dark
    // and high-contrast themes.
    ui->URL->setText(
        linkHtml(ContactLinks::EngineDownloadPage, QStringLiteral("Click here to download Speech Engine")));
    ui->URL->setToolTip(ContactLinks::EngineDownloadPage);
    ui->Label1->setText(
        linkHtml(QStringLiteral("mailto:") + ContactLinks::SupportAddress, ContactLinks::SupportAddress));
    ui->Label1->setAccessibleName(ContactLinks::SupportAddress);
    ui->Label1->setAccessibleDescription(QStringLiteral("Write to support"));
    ui->Memo1->setAccessibleName(ui->Memo1->text().simplified());
    ui->Memo2->setAccessibleName(ui->Memo2->text().simplified());
    ui->PackageHint->setAccessibleName(ui->PackageHint->text());

    connect(ui->URL, &QLabel::linkActivated, this, [this] { OpenDownloadPage(); });
    connect(ui->Label1, &QLabel::linkActivated, this, [this] { MailSupport(); });
    connect(ui->Button1, &QPushButton::clicked, this, &TEngineWarningForm::OkClick);
    ui->Button1->setFocus();
}

TEngineWarningForm::~TEngineWarningForm() = default;

bool TEngineWarningForm::OpenDownloadPage()
{
    return openLink(QUrl(ContactLinks::EngineDownloadPage));
}

bool TEngineWarningForm::MailSupport()
{
    return openLink(QUrl(QStringLiteral("mailto:") + ContactLinks::SupportAddress));
}

void TEngineWarningForm::OkClick()
{
    accept();
}
