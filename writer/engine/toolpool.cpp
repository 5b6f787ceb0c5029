#include "writer/engine/toolpool.h"

#include <algorithm>

#include "writer/exiftool/exiftoolworker.h"
#include "writer/report/reasons.h"

ToolPool::ToolPool(QString toolPath, int commandsPerTool, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_toolPath(std::move(toolPath))
    , m_commandsPerTool(qMax(1, commandsPerTool))
    , m_timeoutMs(timeoutMs)
{
    m_watch.setInterval(qBound(10, m_timeoutMs / 4, 1000));
    connect(&m_watch, &QTimer::timeout, this, &ToolPool::checkWatch);
}

ToolPool::~ToolPool()
{
    killAll();
}

void ToolPool::start(int tools, int folderDescriptor)
{
    m_folderDescriptor = folderDescriptor;
    m_slots.assign(size_t(qMax(1, tools)), Slot());
    for (int i = 0; i < int(m_slots.size()); ++i)
        startTool(i);
    m_watch.start();
}

void ToolPool::startTool(int slotIndex)
{
    auto *worker = new ExifToolWorker(m_toolPath, this);
    // Relative output names land in the run folder, wherever it is by then.
    worker->setWorkingDirectory(m_folderDescriptor);
    Slot &slot = m_slots[size_t(slotIndex)];
    slot.worker = worker;
    slot.ready = false;
    connect(worker, &ExifToolWorker::started, this, [this, slotIndex, worker] { onStarted(slotIndex, worker); });
    connect(worker, &ExifToolWorker::failed, this,
            [this, slotIndex, worker](const QString &why) { onFailed(slotIndex, worker, why); });
    connect(worker, &ExifToolWorker::finished, this,
            [this, worker](int, const ToolResult &result) { onAnswer(worker, result); });
    worker->start();
}

void ToolPool::onStarted(int slotIndex, ExifToolWorker *worker)
{
    Slot &slot = m_slots[size_t(slotIndex)];
    if (slot.worker != worker)
        return;
    slot.ready = true;
    m_anyStarted = true;
    emit ready();
}

void ToolPool::onFailed(int slotIndex, ExifToolWorker *worker, const QString &why)
{
    if (size_t(slotIndex) >= m_slots.size() || m_slots[size_t(slotIndex)].worker != worker)
        return;
    Slot &slot = m_slots[size_t(slotIndex)];
    const bool hadStarted = slot.ready;
    retire(worker, false);
    slot.worker = nullptr;
    slot.ready = false;
    if (m_ending || m_windingDown)
        return;
    // Ended while idle: a new tool takes its place, unless they keep ending.
    if (hadStarted && ++slot.idleEnds < 3) {
        startTool(slotIndex);
        return;
    }
    m_failure = because(hadStarted ? Reason::ToolKeepsEnding : Reason::ToolCouldNotStart, why);
    if (!m_anyStarted && !anyAlive()) {
        m_watch.stop();
        emit failedToStart(why);
        return;
    }
    emit ready();
}

void ToolPool::onAnswer(ExifToolWorker *worker, const ToolResult &result)
{
    QList<quint64> &queue = m_files[worker];
    if (queue.isEmpty())
        return;
    const quint64 file = queue.takeFirst();
    const bool timedOut = m_timedOut.remove(file);
    for (int i = 0; i < int(m_slots.size()); ++i) {
        Slot &slot = m_slots[size_t(i)];
        if (slot.worker != worker)
            continue;
        if (!result.processLost)
            slot.idleEnds = 0;
        if (!queue.isEmpty())
            slot.headSince.start();
        if (m_windingDown) {
            // Killed, not asked to end: it would run the commands still in its input.
            slot.worker = nullptr;
            retire(worker, true);
        } else if (result.processLost && !m_ending) {
            // A slot whose tool died gets a new one.
            slot.worker = nullptr;
            retire(worker, false);
            startTool(i);
        }
    }
    emit answered(file, result, timedOut);
}

// The ready tool with the fewest commands, if one has room for another; -1 if none.
int ToolPool::roomiestSlot() const
{
    int best = -1;
    if (m_windingDown)
        return best;
    int bestLoad = m_commandsPerTool;
    for (int i = 0; i < int(m_slots.size()); ++i) {
        const Slot &slot = m_slots[size_t(i)];
        if (!slot.ready || !slot.worker)
            continue;
        const int load = int(m_files.value(slot.worker).size());
        if (load < bestLoad) {
            best = i;
            bestLoad = load;
        }
    }
    return best;
}

bool ToolPool::submit(quint64 file, const QByteArray &encodedCommand)
{
    const int best = roomiestSlot();
    if (best < 0)
        return false;
    Slot &slot = m_slots[size_t(best)];
    if (slot.worker->submit(encodedCommand) == 0) {
        slot.ready = false;
        return false;
    }
    QList<quint64> &queue = m_files[slot.worker];
    queue.append(file);
    if (queue.size() == 1)
        slot.headSince.start();
    return true;
}

bool ToolPool::anyAlive() const
{
    return std::any_of(m_slots.cbegin(), m_slots.cend(), [](const Slot &slot) { return slot.worker; });
}

void ToolPool::retire(ExifToolWorker *worker, bool kill)
{
    if (!worker || m_retiring.contains(worker))
        return;
    m_retiring.append(worker);
    disconnect(worker, &ExifToolWorker::started, this, nullptr);
    disconnect(worker, &ExifToolWorker::failed, this, nullptr);
    connect(worker, &ExifToolWorker::ended, this, [this, worker] {
        m_retiring.removeAll(worker);
        m_files.remove(worker);
        worker->deleteLater();
        if (m_ending && m_retiring.isEmpty())
            emit ended();
    });
    if (kill)
        worker->kill();
    else
        worker->stop();
}

QList<quint64> ToolPool::windDown()
{
    m_windingDown = true;
    QList<quint64> notBegun;
    for (Slot &slot : m_slots) {
        if (!slot.worker)
            continue;
        // A tool runs its commands in turn: only the first it holds can have begun.
        QList<quint64> &queue = m_files[slot.worker];
        if (queue.size() > 1)
            notBegun += queue.sliced(1);
        queue = queue.mid(0, 1);
    }
    return notBegun;
}

void ToolPool::killBusy()
{
    for (Slot &slot : m_slots)
        if (slot.worker && !m_files.value(slot.worker).isEmpty())
            retire(std::exchange(slot.worker, nullptr), true);
}

void ToolPool::endAll()
{
    m_ending = true;
    m_watch.stop();
    for (Slot &slot : m_slots)
        if (slot.worker)
            retire(slot.worker, false);
    m_slots.clear();
    if (m_retiring.isEmpty())
        emit ended();
}

std::vector<Platform::ToolGone> ToolPool::killAll()
{
    m_ending = true;
    m_watch.stop();
    QList<ExifToolWorker *> workers = std::exchange(m_retiring, {});
    for (Slot &slot : m_slots)
        if (slot.worker)
            workers.append(slot.worker);
    m_slots.clear();
    std::vector<Platform::ToolGone> gone;
    for (ExifToolWorker *worker : workers) {
        disconnect(worker, nullptr, this, nullptr);
        gone.push_back(worker->kill());
    }
    qDeleteAll(workers);
    m_files.clear();
    return gone;
}

void ToolPool::checkWatch()
{
    for (int i = 0; i < int(m_slots.size()); ++i) {
        Slot &slot = m_slots[size_t(i)];
        if (!slot.worker)
            continue;
        const QList<quint64> queue = m_files.value(slot.worker);
        if (queue.isEmpty() || slot.headSince.elapsed() < m_timeoutMs)
            continue;
        // The tool hangs on this file: it is killed and replaced, and the
        // files queued behind it go back to be sent again.
        m_timedOut.insert(queue.first());
        ExifToolWorker *stuck = slot.worker;
        slot.worker = nullptr;
        slot.ready = false;
        retire(stuck, true);
        if (!m_windingDown)
            startTool(i);
    }
}
