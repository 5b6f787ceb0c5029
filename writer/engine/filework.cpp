#include "writer/engine/filework.h"

#include <QCoreApplication>
#include <QMutex>
#include <QSocketNotifier>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <vector>

#include "platform/wakepipe.h"

namespace {

std::atomic_bool wakesLost{false};

// Calls waiting for the main thread, and the pipe that wakes it for them.
class Mailbox : public QObject {
public:
    Mailbox()
    {
        m_notifier = new QSocketNotifier(m_pipe.readEnd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Mailbox::drain);
        // The notifier may miss a wake: under Wine, runs that woke the main
        // thread once for several results stalled with results waiting.
        // While calls are due back, a slow sweep takes what waits, so that
        // a missed wake delays a result and never loses it.
        // It leaves the pipe to the notifier, and it stops on a tick that
        // finds nothing due, not with each result: both cost the run's pace.
        m_sweep.setInterval(SweepIntervalMs);
        connect(&m_sweep, &QTimer::timeout, this, [this] {
            run(taken());
            if (m_expected == 0)
                m_sweep.stop();
        });
    }

    // On the main thread: a call will post back, or has.
    void expect()
    {
        ++m_expected;
        if (!m_sweep.isActive())
            m_sweep.start();
    }
    void arrived()
    {
        if (m_expected > 0)
            --m_expected;
    }

    void post(std::function<void()> call)
    {
        {
            const QMutexLocker locker(&m_lock);
            m_calls.push_back(std::move(call));
        }
        if (wakesLost.load())
            return;
        // A wake for every call, even when earlier ones still wait: runs
        // under Wine stalled, their results undelivered, when a wake was
        // left out for calls already waiting.
        m_pipe.wake();
    }

private:
    void drain()
    {
        m_pipe.drain();
        run(taken());
    }

    std::vector<std::function<void()>> taken()
    {
        std::vector<std::function<void()>> calls;
        const QMutexLocker locker(&m_lock);
        calls.swap(m_calls);
        return calls;
    }

    static void run(const std::vector<std::function<void()>> &calls)
    {
        for (const std::function<void()> &call : calls)
            call();
    }

    static constexpr int SweepIntervalMs = 250;

    Platform::WakePipe m_pipe;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_sweep;
    int m_expected = 0;
    QMutex m_lock;
    std::vector<std::function<void()>> m_calls;
};

Mailbox *mailbox = nullptr;

QMutex hookLock;
std::function<void()> &hook()
{
    static std::function<void()> installed;
    return installed;
}

} // namespace

QThreadPool *FileWork::pool()
{
    // Never destroyed: its destructor would wait for a call that may never end.
    static QThreadPool *const threads = [] {
        auto *created = new QThreadPool;
        // Its threads last as long as the program. With MinGW's C++ runtime,
        // once a thread that checked copies has ended, the runtime hangs
        // while it unloads, and the program never ends.
        created->setExpiryTimeout(-1);
        // Checking reads and syncs wait on the disk as much as they compute.
        created->setMaxThreadCount(qMax(2, QThread::idealThreadCount() * 2));
        return created;
    }();
    return threads;
}

void FileWork::makeRoomForStuckCall()
{
    pool()->setMaxThreadCount(pool()->maxThreadCount() + 1);
}

void FileWork::start(std::function<void()> work)
{
    pool()->start(std::move(work));
}

void FileWork::setBeforeEachCall(std::function<void()> installed)
{
    const QMutexLocker locker(&hookLock);
    hook() = std::move(installed);
}

void FileWork::beforeEachCall()
{
    std::function<void()> current;
    {
        const QMutexLocker locker(&hookLock);
        current = hook();
    }
    if (current)
        current();
}

void FileWork::prepareDelivery()
{
    // Made on the main thread, the first time work is handed out, and kept
    // for the program's life: a late result may still be on its way.
    if (!mailbox)
        mailbox = new Mailbox;
}

void FileWork::expectDelivery()
{
    mailbox->expect();
}

void FileWork::deliveryArrived()
{
    mailbox->arrived();
}

void FileWork::setWakesLost(bool lost)
{
    wakesLost.store(lost);
}

void FileWork::deliver(std::function<void()> call)
{
    mailbox->post(std::move(call));
}
