#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>

class QThreadPool;

// Blocking file-system work, away from the window's thread. The caller gets
// a plain result back on the main thread, unless its context object is gone
// by then. A call that never returns (a stalled mount) holds only its own
// thread: the caller's watchdog makes room past it. The threads are never
// waited for, so closing the program never hangs on such a call.
namespace FileWork {

QThreadPool *pool();
void start(std::function<void()> work);

// A call has been given up as stuck: one more thread takes its place.
void makeRoomForStuckCall();

// For tests: runs on the worker thread before every call, so that a test
// can make the file system seem to stall.
void setBeforeEachCall(std::function<void()> hook);
void beforeEachCall();

template <typename Result>
void run(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done);

} // namespace FileWork


template <typename Result>
void FileWork::run(QObject *context, std::function<Result()> work,
                   std::function<void(const Result &)> done)
{
    QPointer<QObject> guard(context);
    start([guard, work = std::move(work), done = std::move(done)] {
        beforeEachCall();
        Result result = work();
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [guard, done, result = std::move(result)] {
                if (guard)
                    done(result);
            },
            Qt::QueuedConnection);
    });
}
