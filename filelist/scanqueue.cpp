#include "filelist/scanqueue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "app/shared/errorreport.h"
#include "app/shared/paths.h"
#include "platform/filenames.h"

namespace {

constexpr qsizetype ChunkSize = 2000;
constexpr qint64 ChunkMilliseconds = 50;
// Chunks handed to the GUI thread but not yet taken: the scan waits beyond
// this, so a fast disk cannot flood the event queue.
constexpr int MaxChunksInFlight = 4;
constexpr int HiddenArchive = Attr::Archive | Attr::Hidden; // 34
constexpr int ListFilesStep = 140;

} // namespace

struct ScanQueue::Worker {
    struct Job {
        int id = 0;
        QList<ScanItem> items;
    };

    explicit Worker(ScanQueue *owner) : owner(owner) {}

    void run();
    void runJob(const Job &job);
    void scanFolder(const ScanItem &item, QList<ScanFailure> &failures);
    void add(const ListEntry &entry);
    void flushIfDue();
    void flush();
    bool stopRequested() const { return stop.load(std::memory_order_relaxed); }

    ScanQueue *const owner;

    std::mutex mutex;
    std::condition_variable wake; // a job, the stop request, or room for a chunk
    std::deque<Job> jobs;         // guarded by mutex
    int chunksInFlight = 0;       // guarded by mutex
    std::atomic<bool> stop{false};
    std::thread thread;

    // Worker thread only.
    ListEntries pending;
    QElapsedTimer pendingSince;

    // GUI thread only.
    int nextId = 1;
    int unfinishedJobs = 0;
};

void ScanQueue::Worker::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopRequested() || !jobs.empty(); });
            if (stopRequested())
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        runJob(job);
    }
}

void ScanQueue::Worker::runJob(const Job &job)
{
    QList<ScanFailure> failures;
    for (const ScanItem &item : job.items) {
        if (stopRequested())
            return;
        if (item.kind == ScanItem::Kind::File)
            add(item.nativePath.isEmpty() ? ListEntry::fromText(item.path)
                                          : ListEntry::fromNative(item.nativePath));
        else
            scanFolder(item, failures);
    }
    flush();
    if (stopRequested())
        return;
    QMetaObject::invokeMethod(
        owner,
        [this, id = job.id, failures] {
            --unfinishedJobs;
            emit owner->jobFinished(id, failures);
        },
        Qt::QueuedConnection);
}

void ScanQueue::Worker::scanFolder(const ScanItem &item, QList<ScanFailure> &failures)
{
    const bool command = item.kind == ScanItem::Kind::FolderCommand;
    const QString pattern = command ? item.pattern : QStringLiteral("*.*");
    const QChar separator = nativeSeparator();
    const auto stopFlag = [this] { return stopRequested(); };

    // A chosen root keeps its own separator, so its element ends in two; the
    // clean-up repairs the file paths.
    QStringList folderList{item.path + separator};
    try {
        GetSubDirectories2016(folderList, true, &failures, stopFlag);
    } catch (const std::exception &e) {
        failures.append({QString::fromStdString(e.what()),
                         QString::fromLatin1(Location::SubFolderScan), 100});
    }

    for (QString folder : std::as_const(folderList)) {
        if (stopRequested())
            return;
        flushIfDue();
        folder.chop(1);
        try {
            // Names hold no separator, so cleaning the folder part cleans the path.
            const QByteArray prefix = Platform::encodeName(CleanPath(folder + separator));
            const QList<QByteArray> names = ListNativeFiles(folder, pattern, stopFlag);
            for (const QByteArray &name : names) {
                if (name.startsWith('~'))
                    continue;
                const QByteArray path = prefix + name;
                // The listing has just opened each name as a file; opening it
                // again would double the scan's calls for no other answer.
                if (!command || fileAttributes(path) != HiddenArchive)
                    add(ListEntry::fromNative(path));
            }
        } catch (const std::exception &e) {
            // Nothing from this folder; the others still count.
            failures.append({QString::fromStdString(e.what()),
                             QString::fromLatin1(Location::AddFolder), ListFilesStep});
        }
    }
}

void ScanQueue::Worker::add(const ListEntry &entry)
{
    if (pending.isEmpty()) {
        pending.reserve(ChunkSize);
        pendingSince.start();
    }
    pending.append(entry);
    if (pending.size() >= ChunkSize)
        flush();
    else
        flushIfDue();
}

void ScanQueue::Worker::flushIfDue()
{
    if (!pending.isEmpty() && pendingSince.elapsed() >= ChunkMilliseconds)
        flush();
}

void ScanQueue::Worker::flush()
{
    if (pending.isEmpty())
        return;
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return stopRequested() || chunksInFlight < MaxChunksInFlight; });
        if (stopRequested())
            return;
        ++chunksInFlight;
    }
    QMetaObject::invokeMethod(
        owner,
        [this, chunk = std::move(pending)] {
            {
                std::lock_guard lock(mutex);
                --chunksInFlight;
            }
            wake.notify_all();
            emit owner->entriesFound(chunk);
        },
        Qt::QueuedConnection);
    pending = ListEntries();
}

ScanQueue::ScanQueue(QObject *parent)
    : QObject(parent)
    , m_worker(std::make_unique<Worker>(this))
{
    m_worker->thread = std::thread([worker = m_worker.get()] { worker->run(); });
}

ScanQueue::~ScanQueue()
{
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->stop = true;
    }
    m_worker->wake.notify_all();
    m_worker->thread.join();
    // Chunks still posted to this object are discarded with it.
}

int ScanQueue::enqueue(const QList<ScanItem> &items)
{
    const int id = m_worker->nextId++;
    ++m_worker->unfinishedJobs;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->jobs.push_back({id, items});
    }
    m_worker->wake.notify_all();
    return id;
}

bool ScanQueue::isIdle() const
{
    return m_worker->unfinishedJobs == 0;
}
