#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "app/details/picturefacts.h"

class QThreadPool;

// What to read for the selected entry.
struct PictureRequest {
    QByteArray path;      // native bytes
    QByteArray copyPath;  // the copy a run wrote for it; empty when none
    QString copyTagLabel; // the tag that run wrote
};

struct PictureRead {
    PictureRequest request;
    PictureFacts facts;
    PictureFacts copy;    // read only when the request names a copy
};

// Reads the selected picture on a worker thread below the window's priority.
// A new request cancels the one in flight: only the newest is answered. A
// read that gets no answer within the time limit (a stalled share) is
// answered with that reason, and the next read gets a thread of its own.
class PictureReader : public QObject {
    Q_OBJECT
public:
    explicit PictureReader(int timeoutMs, QObject *parent = nullptr);
    ~PictureReader() override;

    void read(const PictureRequest &request);
    // Nothing in flight is answered any more.
    void cancel();

    // For tests: runs on the worker before each read, with the path read.
    static void setBeforeEachRead(std::function<void(const QByteArray &)> hook);
    // The threads that read, shared by every reader.
    static QThreadPool *pool();

signals:
    void pictureRead(const PictureRead &read);

private:
    struct Flight;
    void answer(const std::shared_ptr<Flight> &flight, const PictureRead &read);
    void giveUp();

    int m_timeoutMs;
    std::shared_ptr<Flight> m_current;
    QTimer m_limit;
};
