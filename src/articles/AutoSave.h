#pragma once
// Saves the articles on its own while they are edited: a few seconds after
// the typing stops, and at least every half minute while it goes on, and
// only when something changed since the last save that held it. The records
// are copied on the caller's thread (copies of texts share their data) and
// written on a worker thread through the atomic writer, so neither the
// formatting nor the disk holds up typing in a long article.
//
// Other saves of the same file must wait() first: a write still running
// would otherwise replace their newer file with its older copy.

#include "SavedArticles.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

// What an automatic save writes.
class SaveSource
{
public:
    virtual ~SaveSource() = default;
    // The records to write to fileName now, or none when no save may be
    // made now (a save or an import is running): it is tried again later.
    virtual std::optional<std::vector<SavedArticles::Record>> RecordsToSave(const QString &fileName) const = 0;
};

class AutoSave : public QObject
{
    Q_OBJECT
public:
    // source outlives the AutoSave.
    AutoSave(QString fileName, const SaveSource &source, QObject *parent = nullptr);
    ~AutoSave() override;  // waits for a write in progress

    // quietMs after the last edit, longestMs after the first unsaved one.
    void setDelays(int quietMs, int longestMs);

    // Something changed.
    void edited();
    // Edits so far; a save that copied the articles at mark and succeeded
    // reports savedUpTo(mark).
    quint64 editMark() const { return m_edits; }
    void savedUpTo(quint64 mark);
    bool unsaved() const { return m_saved < m_edits; }

    // Returns once no write is running (its written() is sent first).
    void wait();
    // No save from now on; a write in progress still ends.
    void stop();

signals:
    // A write ended; error says why it failed (empty when it succeeded).
    // A failure that a later save has made good is not reported.
    void written(bool ok, const QString &error);

private:
    struct Job;
    void saveNow();
    void collect(quint64 id);

    QString m_fileName;
    const SaveSource &m_source;
    QTimer m_quiet;
    QTimer m_longest;
    quint64 m_edits = 0;
    quint64 m_saved = 0;
    quint64 m_jobs = 0;
    bool m_stopped = false;
    std::unique_ptr<Job> m_job;
};
