#pragma once

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
//
// Results travel through a pipe watched by the main thread's event loop, not
// as posted events: a dialog opened from a posted event (a queued call, a
// zero timer) runs a nested loop that does not deliver posted events until it
// closes, and the run must go on behind such a dialog.
namespace FileWork {

QThreadPool *pool();
void start(std::function<void()> work);

// A call has been given up as stuck: one more thread takes its place.
void makeRoomForStuckCall();

// For tests: runs on the worker thread before every call, so that a test
// can make the file system seem to stall.
void setBeforeEachCall(std::function<void()> hook);
void beforeEachCall();

// Runs the call on the main thread, from any thread. Call prepareDelivery()
// on the main thread before the first.
void prepareDelivery();
void deliver(std::function<void()> call);
// On the main thread, around a call that will be delivered: while any is
// due, what waits is also taken now and then without a wake.
void expectDelivery();
void deliveryArrived();

// For tests: posted calls wake nobody, as a wake the event loop missed.
void setWakesLost(bool lost);

template <typename Result>
void run(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done);

} // namespace FileWork


template <typename Result>
void FileWork::run(QObject *context, std::function<Result()> work,
                   std::function<void(const Result &)> done)
{
    prepareDelivery();
    expectDelivery();
    QPointer<QObject> guard(context);
    start([guard, work = std::move(work), done = std::move(done)] {
        beforeEachCall();
        Result result = work();
        deliver([guard, done, result = std::move(result)] {
            deliveryArrived();
            if (guard)
                done(result);
        });
    });
}
