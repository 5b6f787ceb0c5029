#include "writer/engine/runfiles.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSemaphore>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/diskstate.h"
#include "writer/engine/filework.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"

namespace {

// How long closing the program waits for killed tools to be gone, and then
// for the run folder to go.
constexpr int ToolsGoneWaitMs = 2000;
constexpr int AbandonWaitMs = ToolsGoneWaitMs + 1000;
// The slowest link a copy is expected over. Checking and saving moves a
// copy's size three times: the copy and the source read back, the copy written.
constexpr std::int64_t SlowLinkBytesPerSecond = 256 * 1024;
constexpr std::int64_t TimesMoved = 3;
// How long the end of a run waits for publications given up to leave the
// run folder; one stuck on a stalled disk is not waited for longer.
constexpr auto PublishingDrain = std::chrono::seconds(5);

} // namespace

struct RunFiles::Publishing {
    std::mutex lock;
    std::condition_variable done;
    int count = 0;

    void begin()
    {
        const std::lock_guard<std::mutex> hold(lock);
        ++count;
    }
    void end()
    {
        const std::lock_guard<std::mutex> hold(lock);
        --count;
        done.notify_all();
    }
    void waitForAll()
    {
        std::unique_lock<std::mutex> hold(lock);
        done.wait_for(hold, PublishingDrain, [this] { return count == 0; });
    }
};

RunFiles::RunFiles(QByteArray resultsFolder, CopyVerifier verifier, bool syncCopies, int timeoutMs,
                   QObject *parent)
    : QObject(parent)
    , m_resultsFolder(std::move(resultsFolder))
    , m_verifier(std::move(verifier))
    , m_syncCopies(syncCopies)
    , m_timeoutMs(timeoutMs)
    , m_cancelled(std::make_shared<std::atomic_bool>(false))
    , m_publishing(std::make_shared<Publishing>())
{
    m_watch.setInterval(qBound(10, m_timeoutMs / 4, 1000));
    connect(&m_watch, &QTimer::timeout, this, &RunFiles::checkWatch);
}

RunFiles::~RunFiles()
{
    abandon();
}

int RunFiles::runFolderDescriptor() const
{
    return m_folder ? m_folder->runDescriptor() : -1;
}

Destination RunFiles::destination() const
{
    return m_folder ? m_folder->destination() : Destination();
}

void RunFiles::open()
{
    m_opening = true;
    m_openingSince.start();
    m_watch.start();
    const QByteArray resultsFolder = m_resultsFolder;
    using Made = std::pair<std::shared_ptr<RunFolder>, QString>;
    FileWork::run<Made>(
        this,
        [resultsFolder] {
            QString whyNot;
            std::shared_ptr<RunFolder> folder = RunFolder::create(resultsFolder, &whyNot);
            return Made(folder, whyNot);
        },
        [this](const Made &made) {
            if (!m_opening || m_abandoned) {
                // Given up on meanwhile: the folder goes again.
                if (std::shared_ptr<RunFolder> late = made.first)
                    FileWork::start([late] { late->finish(); });
                return;
            }
            m_opening = false;
            m_folder = made.first;
            if (m_folder)
                m_leftBehind = m_folder->leftBehind();
            emit opened(bool(m_folder), made.second);
        });
}

void RunFiles::admit(quint64 file, const QByteArray &sourcePath, const QByteArray &finalName,
                     const std::function<MadeValue(const QByteArray &)> &makeValue)
{
    Call &call = m_calls[file];
    call.since.start();
    call.limitMs = m_timeoutMs;
    const std::shared_ptr<RunFolder> folder = m_folder;
    FileWork::run<Admission>(
        this,
        [folder, sourcePath, finalName, makeValue] {
            Admission admission = admitSource(sourcePath, *folder, finalName);
            if (admission.refusal.isEmpty() && makeValue) {
                const MadeValue made = makeValue(sourcePath);
                admission.refusal = made.refusal;
                admission.value = made.value;
            }
            return admission;
        },
        [this, file](const Admission &admission) {
            if (m_calls.remove(file) == 0)
                return; // given up on
            emit admitted(file, admission);
        });
}

void RunFiles::publish(quint64 file, const PublishInput &input, std::int64_t size)
{
    Call &call = m_calls[file];
    call.since.start();
    call.limitMs = m_timeoutMs + 1000 * (TimesMoved * size / SlowLinkBytesPerSecond);
    call.gate = std::make_shared<PublishGate>();
    PublishInput withSync = input;
    withSync.sync = m_syncCopies;
    const CopyVerifier verifier = m_verifier;
    const std::shared_ptr<RunFolder> folder = m_folder;
    const std::shared_ptr<PublishGate> gate = call.gate;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    const std::shared_ptr<Publishing> publishing = m_publishing;
    publishing->begin();
    FileWork::run<Publication>(
        this,
        [withSync, verifier, folder, gate, cancelled, publishing] {
            const Publication publication = publishCopy(withSync, verifier, *folder, *gate, *cancelled);
            publishing->end();
            return publication;
        },
        [this, file, gate](const Publication &publication) {
            auto call = m_calls.find(file);
            if (call == m_calls.end() || call->gate != gate)
                return; // given up on
            m_calls.erase(call);
            emit published(file, publication);
        });
}

void RunFiles::discard(const QByteArray &output)
{
    if (const std::shared_ptr<RunFolder> folder = m_folder; folder && !output.isEmpty())
        FileWork::start([folder, output] { folder->discard(output); });
}

void RunFiles::discardAndAskDisk(quint64 file, const QByteArray &output, std::int64_t needed,
                                 const QString &reason, const QString &toolLine)
{
    Call &call = m_calls[file];
    call.since.start();
    call.limitMs = m_timeoutMs;
    const std::shared_ptr<RunFolder> folder = m_folder;
    FileWork::run<Platform::DiskState>(
        this,
        [folder, output, needed] {
            folder->discard(output);
            return Platform::diskStateAt(folder->runDescriptor(), needed);
        },
        [this, file, reason, toolLine](const Platform::DiskState &state) {
            if (m_calls.remove(file) == 0)
                return; // given up on
            const QString words = diskWords(state);
            emit failed(file, words.isEmpty() ? reason : because(Reason::ToolCannotCreateOn, words), toolLine);
        });
}

QSet<quint64> RunFiles::giveUpPublications()
{
    QSet<quint64> answering;
    for (auto call = m_calls.begin(); call != m_calls.end();) {
        if (!call->gate || !call->gate->giveUp()) {
            if (call->gate)
                call->gate->cutShort();
            answering.insert(call.key());
            ++call;
        } else {
            call = m_calls.erase(call);
        }
    }
    return answering;
}

void RunFiles::close()
{
    m_watch.stop();
    std::shared_ptr<RunFolder> folder = std::move(m_folder);
    if (!folder) {
        const QPointer<RunFiles> self(this);
        FileWork::prepareDelivery();
        FileWork::deliver([self] {
            if (self)
                emit self->closed();
        });
        return;
    }
    const std::shared_ptr<Publishing> publishing = m_publishing;
    FileWork::run<LeftBehind>(
        this,
        [folder, publishing] {
            publishing->waitForAll();
            folder->finish();
            return folder->leftBehind();
        },
        [this](const LeftBehind &left) {
            m_leftBehind = left;
            emit closed();
        });
}

void RunFiles::abandon(std::vector<Platform::ToolGone> toolsGone)
{
    if (m_abandoned)
        return;
    m_abandoned = true;
    m_watch.stop();
    m_cancelled->store(true);
    for (const Call &call : std::as_const(m_calls))
        if (call.gate)
            call.gate->giveUp();
    m_calls.clear();
    if (std::shared_ptr<RunFolder> folder = std::move(m_folder)) {
        auto gone = std::make_shared<QSemaphore>();
        FileWork::start([folder, gone, toolsGone = std::move(toolsGone)] {
            // A tool that does not end in time (stuck on a stalled disk) may
            // keep its output; the next run sweeps what is left.
            const QDeadlineTimer deadline(ToolsGoneWaitMs);
            for (const Platform::ToolGone &toolGone : toolsGone)
                toolGone(int(deadline.remainingTime()));
            folder->finish();
            gone->release();
        });
        // A stalled file system keeps the run folder; the next run sweeps it.
        gone->tryAcquire(1, AbandonWaitMs);
    }
}

void RunFiles::checkWatch()
{
    if (m_opening && m_openingSince.elapsed() >= m_timeoutMs) {
        m_opening = false;
        FileWork::makeRoomForStuckCall();
        emit opened(false, because(Reason::ResultsNoAnswer, timeLimitText(m_timeoutMs)));
        return;
    }
    struct GivenUp {
        quint64 file;
        bool publishing;
        qint64 limitMs;
    };
    QList<GivenUp> givenUp;
    for (auto call = m_calls.begin(); call != m_calls.end();) {
        // A publication already renaming is let finish: its copy is whole.
        const bool publishing = bool(call->gate);
        if (call->since.elapsed() < call->limitMs || (publishing && !call->gate->giveUp())) {
            ++call;
            continue;
        }
        givenUp.append({call.key(), publishing, call->limitMs});
        call = m_calls.erase(call);
    }
    for (const GivenUp &call : givenUp) {
        FileWork::makeRoomForStuckCall();
        emit failed(call.file,
                    because(call.publishing ? Reason::CheckAndSaveNoAnswer : Reason::FileNoAnswer,
                            timeLimitText(int(call.limitMs))),
                    QString());
    }
}
