#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "platform/toolprocess.h"
#include "writer/engine/admission.h"
#include "writer/output/claimjournal.h"
#include "writer/output/destination.h"
#include "writer/output/publication.h"
#include "writer/values/valueplan.h"

class RunFolder;

// Every file-system call of one run, made on worker threads: the run folder
// opened and closed, each file looked at before a tool gets it, each copy
// checked and published, failed outputs discarded. Answers come back as
// signals on the owner's thread. A call that does not answer within the
// time limit is given up, so a stalled disk or share holds a worker thread,
// never the run.
class RunFiles : public QObject {
    Q_OBJECT
public:
    RunFiles(QByteArray resultsFolder, CopyVerifier verifier, bool syncCopies, int timeoutMs,
             QObject *parent = nullptr);
    ~RunFiles() override; // abandons what is left

    // Makes the run folder; opened() follows.
    void open();
    // The run folder, for the tools to work in; -1 before opened().
    int runFolderDescriptor() const;
    // What the results folder's file system can do; known from opened(true) on.
    Destination destination() const;
    // What runs that died had left there; known from opened(true) on.
    LeftBehind leftBehind() const { return m_leftBehind; }

    // The file's value is made too, when the job makes one.
    void admit(quint64 file, const QByteArray &sourcePath, const QByteArray &finalName,
               const std::function<MadeValue(const QByteArray &)> &makeValue = {});
    // The time limit grows with the copy's size, so a large photo on a slow
    // share gets the time it needs.
    void publish(quint64 file, const PublishInput &input, std::int64_t size);
    void discard(const QByteArray &output);
    // Removes the output of a tool that could not write it, and asks the
    // disk once whether its state says why: a full or gone disk, rather than
    // a refusal of this one file. failed() follows, with the tool's reason
    // where the disk does not tell.
    void discardAndAskDisk(quint64 file, const QByteArray &output, std::int64_t needed, const QString &reason,
                           const QString &toolLine);
    // The run is stopping short: the publications not yet renaming are given
    // up, their copies go, and a copy being written into its claimed name
    // stops. Gives the files that will still be answered: those past the
    // gate, and the disks being asked.
    QSet<quint64> giveUpPublications();

    // Makes the copies' names durable and removes the run folder; closed() follows.
    void close();
    // The program is closing: nothing more is published, and once the tools
    // that wrote into the run folder are gone, it goes too; this waits a few
    // seconds at most.
    void abandon(std::vector<Platform::ToolGone> toolsGone = {});

signals:
    void opened(bool ok, const QString &whyNot);
    void admitted(quint64 file, const Admission &admission);
    void published(quint64 file, const Publication &publication);
    void failed(quint64 file, const QString &reason, const QString &toolLine);
    void closed();

private:
    struct Call {
        QElapsedTimer since;
        qint64 limitMs = 0;
        std::shared_ptr<PublishGate> gate; // set while publishing
    };

    void checkWatch();

    // Publications still on worker threads, given up or not: the run folder
    // goes only once they are out of it.
    struct Publishing;

    QByteArray m_resultsFolder;
    CopyVerifier m_verifier;
    bool m_syncCopies;
    int m_timeoutMs;
    std::shared_ptr<RunFolder> m_folder;
    LeftBehind m_leftBehind;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    std::shared_ptr<Publishing> m_publishing;
    QHash<quint64, Call> m_calls;
    QElapsedTimer m_openingSince;
    bool m_opening = false;
    bool m_abandoned = false;
    QTimer m_watch;
};
