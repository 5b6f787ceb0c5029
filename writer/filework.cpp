#include "writer/filework.h"

#include <QMutex>
#include <QThread>
#include <QThreadPool>

namespace {

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
