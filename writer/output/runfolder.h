#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// A run's private folder inside the results folder, made with mkdtemp (mode
// 0700), so nobody else can plant a link or a pipe where the tools write.
// Both folders are held by descriptors from the start: a results folder
// renamed or moved during the run still gets its copies, and still loses the
// run folder at the end. A lock file inside tells later runs that this one is
// alive; the folders of runs that died are swept by the next run.
//
// Every call blocks on the file system: worker threads only.
class RunFolder {
public:
    ~RunFolder(); // closes the descriptors; removes nothing

    RunFolder(const RunFolder &) = delete;
    RunFolder &operator=(const RunFolder &) = delete;

    // Opens the results folder, sweeps what dead runs left there and makes
    // this run's folder. Null, with the reason, when the folder cannot take it.
    static std::unique_ptr<RunFolder> create(const QByteArray &resultsFolder, QString *whyNot);

    int resultsDescriptor() const { return m_results; }
    int runDescriptor() const { return m_run; }

    // A fresh name for a tool's output in the run folder: free of "%", and
    // with an extension that ExifTool does not take for a sidecar.
    static QByteArray outputName(quint64 serial);

    // What lies under a name in the results folder, without following links.
    enum class Entry { Missing, File, Folder, Other, Unknown };
    Entry resultsEntry(const QByteArray &name, int *error = nullptr) const;

    // Removes a tool's output from the run folder.
    void discard(const QByteArray &outputName) const;

    // Makes the published names durable, then removes the run folder with
    // whatever is left in it.
    void finish();

private:
    RunFolder() = default;

    int m_results = -1;
    int m_run = -1;
    int m_lock = -1;
    QByteArray m_runName;
};

QByteArray joinPath(const QByteArray &folder, const QByteArray &name);
