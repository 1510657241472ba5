#include "SelectDirectory.h"

#include "ui_SelectDirectory.h"

#include "FormPlacement.h"
#include "DiagnosticLog.h"
#include "platform/shell/MessageService.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace {
const QString kNewFolder = QStringLiteral("New Folder");
const QString kCannotMakeFolder = QStringLiteral("A new folder could not be made in \"%1\".");
}  // namespace

const QStringList TOutDirDialog::FileMasks = {QStringLiteral("*.WAV"), QStringLiteral("*.MP3")};

TOutDirDialog::TOutDirDialog(QString &directory, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TOutDirDialog>()), m_setting(directory)
{
    ui->setupUi(this);
    // A dialog frame without border icons; Escape still cancels.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    m_folders = new QFileSystemModel(this);
    // Hidden folders too: the default output folder lives under ~/.local.
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_folders->setRootPath(QDir::rootPath());
    ui->DirectoryListBox1->setModel(m_folders);
    ui->DirectoryListBox1->setRootIndex(m_folders->index(QDir::rootPath()));
    for (int column = 1; column < m_folders->columnCount(); ++column)
        ui->DirectoryListBox1->hideColumn(column);
    // Deep folders scroll sideways rather than losing their names.
    ui->DirectoryListBox1->header()->setStretchLastSection(false);
    ui->DirectoryListBox1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui->Splitter1->setStretchFactor(0, 0);
    ui->Splitter1->setStretchFactor(1, 1);
    // The folders get the room: their names are what the user reads here.
    ui->Splitter1->setSizes({260, 150});

    connect(ui->DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { FolderChanged(); });
    // Folders load in the background; once the open folder's parents are
    // read, bring it into view.
    m_scrollTimer.setSingleShot(true);
    m_scrollTimer.setInterval(50);
    connect(&m_scrollTimer, &QTimer::timeout, this, [this] {
        QTreeView *tree = ui->DirectoryListBox1;
        const QModelIndex current = tree->currentIndex();
        tree->scrollTo(current, QAbstractItemView::PositionAtCenter);
        // The view scrolls sideways only to the column. Scroll just far
        // enough for the open folder's whole name, no further than its
        // arrow, so that the names of its parents stay whole where they fit.
        QScrollBar *sideways = tree->horizontalScrollBar();
        const QRect row = tree->visualRect(current);
        const int overflow = row.left() + tree->sizeHintForIndex(current).width() - tree->viewport()->width();
        const int shift = overflow > 0 ? std::min(overflow, row.left() - tree->indentation())
                                       : std::max(overflow, -sideways->value());
        sideways->setValue(sideways->value() + shift);
    });
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, &TOutDirDialog::ScrollToDirectory);
    connect(m_folders, &QFileSystemModel::rowsInserted, this, &TOutDirDialog::ScrollToDirectory);
    connect(ui->Button1, &QPushButton::clicked, this, &TOutDirDialog::OkClick);
    connect(ui->Button2, &QPushButton::clicked, this, &TOutDirDialog::CancelClick);
    connect(ui->NewFolderBtn, &QPushButton::clicked, this, &TOutDirDialog::NewFolderClick);
    // Folders are renamed only right after New Folder made one.
    ui->DirectoryListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    FormPlacement::Restore(this);
}

TOutDirDialog::~TOutDirDialog() = default;

QString TOutDirDialog::NearestExistingFolder(const QString &path)
{
    QString candidate = path.trimmed();
    if (candidate.isEmpty() || QDir::isRelativePath(candidate))
        return QDir::homePath();
    candidate = QDir::cleanPath(candidate);
    while (!QFileInfo(candidate).isDir()) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            return QDir::homePath();
        candidate = parent;
    }
    return candidate;
}

QString TOutDirDialog::SetDirectory(const QString &path)
{
    const QString folder = NearestExistingFolder(path);
    const QModelIndex index = m_folders->index(folder);
    if (index.isValid()) {
        ui->DirectoryListBox1->setCurrentIndex(index);
        ui->DirectoryListBox1->expand(index);
        m_followDirectory.setRemainingTime(kFollowDirectoryMs);
        ScrollToDirectory();
    }
    // The signal does not fire when the index was already current.
    m_directory = folder;
    FolderChanged();
    return m_directory;
}

void TOutDirDialog::ScrollToDirectory()
{
    // Folders are read in the background and rows keep arriving for a
    // moment after the dialog opens; keep the open folder in view until
    // then, but never fight the user's own scrolling later on.
    if (!m_followDirectory.hasExpired())
        m_scrollTimer.start();
}

void TOutDirDialog::FormActivate()
{
    const QString wanted = m_setting;
    const QString opened = SetDirectory(wanted);
    if (QDir::cleanPath(wanted.trimmed()) != opened)
        DiagnosticLog::WriteLog(QStringLiteral("Output directory %1 not found, showing %2").arg(wanted, opened));
}

void TOutDirDialog::FolderChanged()
{
    const QModelIndex index = ui->DirectoryListBox1->currentIndex();
    if (index.isValid())
        m_directory = QDir::cleanPath(m_folders->filePath(index));
    ui->Label2->setText(QDir::toNativeSeparators(m_directory));
    ui->Label2->setAccessibleDescription(m_directory);
    FillFileList();
}

void TOutDirDialog::FillFileList()
{
    ui->FileListBox1->clear();
    if (m_directory.isEmpty())
        return;
    // QDir matches name filters without regard to letter case.
    const QDir dir(m_directory);
    const QStringList files = dir.entryList(FileMasks, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    ui->FileListBox1->addItems(files);
}

void TOutDirDialog::OkClick()
{
    // The folder may have gone while the dialog was open.
    const QString folder = NearestExistingFolder(m_directory);
    m_setting = folder;
    accept();
}

QString TOutDirDialog::NewFolderClick()
{
    const QString parent = NearestExistingFolder(m_directory);
    QString name = kNewFolder;
    for (int n = 2; QFileInfo::exists(parent + QLatin1Char('/') + name); ++n)
        name = kNewFolder + QStringLiteral(" (%1)").arg(n);
    if (!QDir(parent).mkdir(name)) {
        MessageService::error(kCannotMakeFolder.arg(QDir::toNativeSeparators(parent)));
        return QString();
    }
    const QString made = parent + QLatin1Char('/') + name;
    SetDirectory(made);
    // Named like any other file name: typed over the proposed one, Enter
    // keeps it. The model renames the folder on disk.
    m_folders->setReadOnly(false);
    if (const QModelIndex index = m_folders->index(made); index.isValid())
        ui->DirectoryListBox1->edit(index);
    return made;
}

void TOutDirDialog::CancelClick()
{
    reject();
}

void TOutDirDialog::done(int result)
{
    FormPlacement::Save(this);
    QDialog::done(result);
}

void TOutDirDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}
