#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

#include "filelist/folderscan.h"
#include "filelist/listentry.h"

// One thing to add to the list.
struct ScanItem {
    enum class Kind {
        File,          // appended unchanged
        FolderCommand, // a chosen folder: extension pattern, "~" and hidden-archive rules
        FolderDrop,    // a dropped folder: "*.*", only the "~" rule
    };
    Kind kind = Kind::File;
    QString path;           // the file, or the folder without closing separator (a root keeps its own)
    QString pattern = QStringLiteral("*.*");
    QByteArray nativePath;  // a file's own bytes, which its text may not give back; empty: the text's
};

// Runs folder scans off the GUI thread, one job after the other, and hands the
// found paths back in order, in chunks, so a huge tree never stalls the window.
// Paths found in folders are cleaned of doubled separators.
class ScanQueue : public QObject {
    Q_OBJECT
public:
    explicit ScanQueue(QObject *parent = nullptr);
    ~ScanQueue() override; // stops the worker and waits for it

    // Queues a job; its entries follow every earlier job's. Returns its id.
    int enqueue(const QList<ScanItem> &items);
    bool isIdle() const;

signals:
    // Entries to append, in order (emitted on the GUI thread).
    void entriesFound(const ListEntries &entries);
    // The job is done; failures to report, if any.
    void jobFinished(int jobId, const QList<ScanFailure> &failures);

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
};
