#include "app/details/picturereader.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>
#include <QThreadPool>

#include "platform/threadpriority.h"
#include "writer/report/reasons.h"

namespace {

QMutex hookLock;
std::function<void(const QByteArray &)> &hook()
{
    static std::function<void(const QByteArray &)> installed;
    return installed;
}

void runHook(const QByteArray &path)
{
    std::function<void(const QByteArray &)> current;
    {
        const QMutexLocker locker(&hookLock);
        current = hook();
    }
    if (current)
        current(path);
}

} // namespace

struct PictureReader::Flight {
    enum Stage { Queued, Reading, Finished };
    PictureRequest request;
    std::atomic_bool cancelled{false};
    std::atomic_int stage{Queued};
    std::atomic_bool roomMade{false}; // a thread was added while this one is held
};

PictureReader::PictureReader(int timeoutMs, QObject *parent)
    : QObject(parent), m_timeoutMs(timeoutMs)
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &PictureReader::giveUp);
}

PictureReader::~PictureReader()
{
    cancel();
}

QThreadPool *PictureReader::pool()
{
    // Never destroyed: its destructor would wait for a read that may never end.
    static QThreadPool *const threads = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(2);
        created->setExpiryTimeout(5000);
        return created;
    }();
    return threads;
}

void PictureReader::setBeforeEachRead(std::function<void(const QByteArray &)> installed)
{
    const QMutexLocker locker(&hookLock);
    hook() = std::move(installed);
}

void PictureReader::cancel()
{
    m_limit.stop();
    if (!m_current)
        return;
    m_current->cancelled.store(true);
    // A read still held by the file system keeps its thread; the next one
    // must not queue behind it.
    int reading = Flight::Reading;
    if (m_current->stage.compare_exchange_strong(reading, Flight::Reading)
        && !m_current->roomMade.exchange(true))
        pool()->setMaxThreadCount(pool()->maxThreadCount() + 1);
    m_current.reset();
}

void PictureReader::read(const PictureRequest &request)
{
    cancel();
    auto flight = std::make_shared<Flight>();
    flight->request = request;
    m_current = flight;
    m_limit.start(m_timeoutMs);
    const QPointer<PictureReader> self(this);
    pool()->start([self, flight] {
        int queued = Flight::Queued;
        if (flight->cancelled.load() || !flight->stage.compare_exchange_strong(queued, Flight::Reading))
            return;
        Platform::lowerThisThreadsPriority();
        runHook(flight->request.path);
        PictureRead read;
        read.request = flight->request;
        if (!flight->cancelled.load()) {
            PictureReadOptions options;
            options.thumbnail = true;
            options.cancelled = &flight->cancelled;
            read.facts = readPictureFacts(flight->request.path, options);
        }
        if (!flight->cancelled.load() && !flight->request.copyPath.isEmpty())
            read.copy = readPictureFacts(flight->request.copyPath);
        flight->stage.store(Flight::Finished);
        if (flight->roomMade.load())
            pool()->setMaxThreadCount(pool()->maxThreadCount() - 1);
        if (flight->cancelled.load())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, flight, read] {
                if (self)
                    self->answer(flight, read);
            },
            Qt::QueuedConnection);
    });
}

void PictureReader::answer(const std::shared_ptr<Flight> &flight, const PictureRead &read)
{
    if (flight != m_current)
        return; // a newer selection, or given up
    m_limit.stop();
    m_current.reset();
    emit pictureRead(read);
}

void PictureReader::giveUp()
{
    if (!m_current)
        return;
    PictureRead read;
    read.request = m_current->request;
    read.facts.error = because(Reason::FileNoAnswer, timeLimitText(m_timeoutMs));
    cancel();
    emit pictureRead(read);
}
