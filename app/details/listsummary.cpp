#include "app/details/listsummary.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>
#include <atomic>
#include <vector>

#include "app/details/picturefacts.h"
#include "platform/threadpriority.h"

namespace {

QString number(int n)
{
    return QLocale(QLocale::English).toString(n);
}

QThreadPool *summaryPool()
{
    // Never destroyed: its destructor would wait for a read that may never end.
    static QThreadPool *const threads = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
        created->setExpiryTimeout(5000);
        return created;
    }();
    return threads;
}

} // namespace

QString summaryText(const QString &tagLabel, const SummaryCount &count)
{
    QString text = QStringLiteral("%1: %2 of %3 %4 %5 one")
                       .arg(tagLabel, number(count.withValue), number(count.pictures),
                            count.pictures == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"),
                            count.withValue == 1 ? QStringLiteral("has") : QStringLiteral("have"));
    // How many values only says something once two pictures have one.
    if (count.withValue > 1)
        text += count.distinctValues == 1 ? QStringLiteral(" (all the same)")
                                          : QStringLiteral(" (%1 different values)").arg(number(count.distinctValues));
    if (count.shownInstead > 0)
        text += QStringLiteral("; Windows shows another tag's text on %1").arg(number(count.shownInstead));
    if (count.unreadable > 0)
        text += QStringLiteral("; %1 cannot be read").arg(number(count.unreadable));
    if (count.entries > count.pictures)
        text += QStringLiteral("; %1 %2 listed more than once")
                    .arg(number(count.entries - count.pictures),
                         count.entries - count.pictures == 1 ? QStringLiteral("entry is")
                                                             : QStringLiteral("entries are"));
    return text;
}

QString countingText(int done, int total)
{
    return QStringLiteral("counting, %1 of %2").arg(number(done), number(total));
}

struct ListSummary::Job {
    struct Worker {
        int index = -1; // the file it reads; -1 between files
        QElapsedTimer since;
        bool givenUp = false;
    };

    QList<QByteArray> paths; // distinct
    int entries = 0;
    int tagIndex = -1;
    QString tagLabel;
    std::atomic_int next{0};
    std::atomic_bool cancelled{false};

    QMutex lock;
    QWaitCondition resumed;
    bool paused = false;
    int done = 0;
    int unreadable = 0;
    int withValue = 0;
    int shownInstead = 0;
    QSet<QString> values;
    std::vector<Worker> workers;

    // The worker's slot, or -1 when given up on.
    void record(std::size_t slot, const PictureFacts &facts)
    {
        const QMutexLocker locker(&lock);
        if (workers[slot].givenUp)
            return;
        workers[slot].index = -1;
        ++done;
        if (!facts.error.isEmpty()) {
            ++unreadable;
            return;
        }
        if (tagIndex < 0)
            return;
        const std::optional<QString> &value = facts.values[std::size_t(tagIndex)];
        if (value && !value->isEmpty()) {
            ++withValue;
            values.insert(*value);
        }
        if (facts.shownInstead[std::size_t(tagIndex)])
            ++shownInstead;
    }

    // The next file for the worker, or -1 when there is none or it was given up on.
    int take(std::size_t slot)
    {
        QMutexLocker locker(&lock);
        while (paused && !cancelled.load())
            resumed.wait(&lock, 250);
        if (cancelled.load() || workers[slot].givenUp)
            return -1;
        const int index = next.fetch_add(1);
        if (index >= paths.size())
            return -1;
        workers[slot].index = index;
        workers[slot].since.start();
        return index;
    }
};

ListSummary::ListSummary(int timeoutMs, QObject *parent)
    : QObject(parent), m_timeoutMs(timeoutMs)
{
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &ListSummary::poll);
}

ListSummary::~ListSummary()
{
    cancel();
}

void ListSummary::cancel()
{
    m_poll.stop();
    if (!m_job)
        return;
    {
        const QMutexLocker locker(&m_job->lock);
        m_job->cancelled.store(true);
        m_job->resumed.wakeAll();
    }
    m_job.reset();
}

void ListSummary::setPaused(bool paused)
{
    m_paused = paused;
    if (!m_job)
        return;
    const QMutexLocker locker(&m_job->lock);
    m_job->paused = paused;
    m_job->resumed.wakeAll();
}

void ListSummary::count(const QList<QByteArray> &paths, const QString &tagLabel)
{
    cancel();
    auto job = std::make_shared<Job>();
    job->entries = int(paths.size());
    QSet<QByteArray> seen;
    seen.reserve(paths.size());
    for (const QByteArray &path : paths)
        if (!seen.contains(path)) {
            seen.insert(path);
            job->paths.append(path);
        }
    job->tagLabel = tagLabel;
    job->tagIndex = tagIndexOf(tagLabel);
    job->paused = m_paused;
    m_job = job;
    const int threads = qMax(1, qMin(summaryPool()->maxThreadCount(), int(job->paths.size())));
    for (int i = 0; i < threads; ++i)
        startWorker(job);
    m_poll.start();
    emit progress(0, int(job->paths.size()));
}

void ListSummary::startWorker(const std::shared_ptr<Job> &job)
{
    std::size_t slot = 0;
    {
        const QMutexLocker locker(&job->lock);
        slot = job->workers.size();
        job->workers.emplace_back();
    }
    summaryPool()->start([job, slot] {
        Platform::lowerThisThreadsPriority();
        for (int index = job->take(slot); index >= 0; index = job->take(slot))
            job->record(slot, readPictureFacts(job->paths.at(index)));
    });
}

void ListSummary::poll()
{
    if (!m_job)
        return;
    const std::shared_ptr<Job> job = m_job;
    int stuck = 0;
    int done = 0;
    SummaryCount count;
    {
        const QMutexLocker locker(&job->lock);
        for (Job::Worker &worker : job->workers) {
            if (worker.givenUp || worker.index < 0 || job->paused
                || worker.since.elapsed() < m_timeoutMs)
                continue;
            // Counted as unreadable; its thread stays with the file system.
            worker.givenUp = true;
            ++job->done;
            ++job->unreadable;
            ++stuck;
        }
        done = job->done;
        count.entries = job->entries;
        count.pictures = int(job->paths.size());
        count.unreadable = job->unreadable;
        count.withValue = job->withValue;
        count.distinctValues = int(job->values.size());
        count.shownInstead = job->shownInstead;
    }
    for (int i = 0; i < stuck; ++i) {
        summaryPool()->setMaxThreadCount(summaryPool()->maxThreadCount() + 1);
        startWorker(job);
    }
    if (done < count.pictures) {
        emit progress(done, count.pictures);
        return;
    }
    m_poll.stop();
    m_job.reset();
    emit counted(job->tagLabel, count);
}
