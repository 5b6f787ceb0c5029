#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

// The list counted for one tag.
struct SummaryCount {
    int entries = 0;      // listed
    int pictures = 0;     // distinct files listed
    int unreadable = 0;   // of them: missing, not a JPEG, no answer
    int withValue = 0;    // hold the tag, not empty
    int distinctValues = 0;
    int shownInstead = 0; // Explorer shows another tag's text in its place
};

// "Title: 37 of 120 pictures have one (5 different values); Windows shows
// another tag's text on 12", with what could not be read and what is listed
// more than once.
QString summaryText(const QString &tagLabel, const SummaryCount &count);
// "counting, 3,000 of 20,000"
QString countingText(int done, int total);

// Counts the list for a tag on worker threads below the window's priority;
// a new count replaces the one under way. A file that gets no answer within
// the time limit counts as unreadable and the count goes on without it.
class ListSummary : public QObject {
    Q_OBJECT
public:
    explicit ListSummary(int timeoutMs, QObject *parent = nullptr);
    ~ListSummary() override;

    void count(const QList<QByteArray> &paths, const QString &tagLabel);
    void cancel();
    // While paused no further file is read; the count picks up where it stood.
    void setPaused(bool paused);
    bool isCounting() const { return bool(m_job); }

signals:
    void progress(int done, int total);
    void counted(const QString &tagLabel, const SummaryCount &count);

private:
    struct Job;
    void poll();
    void startWorker(const std::shared_ptr<Job> &job);

    int m_timeoutMs;
    bool m_paused = false;
    std::shared_ptr<Job> m_job;
    QTimer m_poll;
};
