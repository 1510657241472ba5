#include "AutoSave.h"

#include "SafeFile.h"

#include <algorithm>
#include <thread>

namespace {

constexpr int kQuietMs = 3000;
constexpr int kLongestMs = 30000;

}  // namespace

struct AutoSave::Job {
    quint64 id = 0;
    quint64 mark = 0;  // the edits the records hold
    std::vector<SavedArticles::Record> records;
    bool ok = false;
    QString error;
    std::thread thread;
};

AutoSave::AutoSave(QString fileName, const SaveSource &source, QObject *parent)
    : QObject(parent), m_fileName(std::move(fileName)), m_source(source)
{
    m_quiet.setSingleShot(true);
    m_longest.setSingleShot(true);
    setDelays(kQuietMs, kLongestMs);
    connect(&m_quiet, &QTimer::timeout, this, &AutoSave::saveNow);
    connect(&m_longest, &QTimer::timeout, this, &AutoSave::saveNow);
}

AutoSave::~AutoSave()
{
    if (m_job)
        m_job->thread.join();
}

void AutoSave::setDelays(int quietMs, int longestMs)
{
    m_quiet.setInterval(quietMs);
    m_longest.setInterval(longestMs);
}

void AutoSave::edited()
{
    if (m_stopped)
        return;
    ++m_edits;
    m_quiet.start();
    if (!m_longest.isActive())
        m_longest.start();
}

void AutoSave::savedUpTo(quint64 mark)
{
    m_saved = std::max(m_saved, mark);
    if (!unsaved()) {
        m_quiet.stop();
        m_longest.stop();
    }
}

void AutoSave::stop()
{
    m_stopped = true;
    m_quiet.stop();
    m_longest.stop();
}

void AutoSave::wait()
{
    if (m_job)
        collect(m_job->id);
}

void AutoSave::saveNow()
{
    if (m_stopped || !unsaved())
        return;
    m_quiet.stop();
    m_longest.stop();
    std::optional<std::vector<SavedArticles::Record>> records;
    if (!m_job)
        records = m_source.RecordsToSave(m_fileName);
    if (!records) {
        m_quiet.start();  // a save or an import is running: after it
        return;
    }

    auto job = std::make_unique<Job>();
    job->id = ++m_jobs;
    job->mark = m_edits;
    job->records = std::move(*records);
    Job *j = job.get();
    j->thread = std::thread([this, j, fileName = m_fileName] {
        SafeFile::AtomicWriter file(fileName);
        bool ok = file.open();
        for (const SavedArticles::Record &r : j->records) {
            if (!ok)
                break;
            ok = file.write(SavedArticles::FormatRecord(r));
        }
        ok = ok && file.commit();
        j->ok = ok;
        j->error = file.errorString();
        j->records.clear();
        QMetaObject::invokeMethod(
            this, [this, id = j->id] { collect(id); }, Qt::QueuedConnection);
    });
    m_job = std::move(job);
}

void AutoSave::collect(quint64 id)
{
    if (!m_job || m_job->id != id)
        return;  // wait() collected it already
    m_job->thread.join();
    const std::unique_ptr<Job> job = std::move(m_job);
    if (job->ok)
        savedUpTo(job->mark);
    else if (unsaved() && !m_stopped)
        m_longest.start();  // a full disk may have room again later
    if (job->ok || m_saved < job->mark)
        emit written(job->ok, job->ok ? QString() : job->error);
}
