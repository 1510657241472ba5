#pragma once
// The output directory chooser: a folder tree, the WAV and MP3 files of the
// open folder, and the open folder's path. OK stores the folder in
// OUT_Directory; Cancel changes nothing.

#include <QDeadlineTimer>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <memory>

class QFileSystemModel;

namespace Ui {
class TOutDirDialog;
}

class TOutDirDialog : public QDialog
{
    Q_OBJECT

public:
    // directory: the output folder setting, shown at each opening and
    // set by Ok.
    explicit TOutDirDialog(QString &directory, QWidget *parent = nullptr);
    ~TOutDirDialog() override;

    // The folder the tree has open.
    QString Directory() const { return m_directory; }

    // Opens a folder in the tree. A folder that does not exist opens its
    // nearest existing parent; returns the folder actually opened.
    QString SetDirectory(const QString &path);

    // The existing folder nearest to path: path itself, else the closest
    // parent that exists, else the home folder.
    static QString NearestExistingFolder(const QString &path);

    // File masks of the file list; matched in any letter case.
    static const QStringList FileMasks;

    void FormActivate();
    void FolderChanged();
    void OkClick();
    void CancelClick();
    // Makes "New Folder" (or "New Folder (2)"...) in the open folder, opens
    // it and lets the user name it; its path, or empty when it could not be
    // made.
    QString NewFolderClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FillFileList();
    void ScrollToDirectory();

    std::unique_ptr<Ui::TOutDirDialog> ui;

    QString &m_setting;
    QFileSystemModel *m_folders = nullptr;
    QString m_directory;
    QTimer m_scrollTimer;
    QDeadlineTimer m_followDirectory;
    static constexpr int kFollowDirectoryMs = 1500;
};
