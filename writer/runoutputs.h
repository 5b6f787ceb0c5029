#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The temporary files one run writes into results folders. Each copy is
// written under a hidden name of this run's own and only later published
// under its final name, so nothing under a final name is ever written,
// truncated or removed. A lock file held for the run's lifetime tells later
// runs which temporary files belong to a run that is still going on; those of
// a run that died are swept away when another run enters the folder.
class RunOutputs {
public:
    RunOutputs();
    ~RunOutputs(); // removes what is left of this run's own files

    RunOutputs(const RunOutputs &) = delete;
    RunOutputs &operator=(const RunOutputs &) = delete;

    // Makes the folder ready for this run's temporary files: holds the run's
    // lock there and removes files left by runs that are no longer alive.
    // False, with the reason, when the folder cannot take them.
    bool enterFolder(const QByteArray &folder, QString *whyNot);

    // A fresh temporary name in the folder: hidden, free of "%", with an
    // extension that ExifTool does not take for a sidecar.
    QByteArray temporaryName();

    // Removes this run's lock files (after its temporary files are gone).
    void release();

    static bool isTemporaryName(const QByteArray &name);

private:
    QByteArray m_token;
    int m_serial = 0;
    QHash<QByteArray, int> m_locks; // folder -> descriptor of the held lock file
};

enum class PublishResult { Published, NameTaken, Failed };

// Gives the file at temporaryPath the name finalPath, atomically, never
// replacing a file that is there. Both in the same folder.
PublishResult publishNoReplace(const QByteArray &temporaryPath, const QByteArray &finalPath,
                               QString *whyNot);

// The folder part of a path, without its closing separator (except "/").
QByteArray folderOf(const QByteArray &path);
QByteArray joinPath(const QByteArray &folder, const QByteArray &name);
