#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

#include "writer/fileoutcome.h"
#include "writer/verifier.h"

// Reads a copy back: `wrong` is empty when it holds the tag value and the
// source's picture data, else the reason; `note` is for a copy kept. Called
// on worker threads.
using CopyVerifier = std::function<CopyCheck(const QByteArray &sourcePath, const QByteArray &copyPath,
                                             const QString &tagName, const QString &value)>;

// A copy the tool made, on its way to its final name.
struct PublishInput {
    QByteArray source;
    QByteArray temporary; // empty: the final name was taken before the tool was asked
    QByteArray final;
    QString tagName;
    QString value;
    QString noteWords;    // the tool dropped damaged metadata of the source
    QString noteLines;
};

// What became of it.
struct Publication {
    FileOutcome::Kind kind = FileOutcome::Kind::Failed;
    QString reason;
    QString toolLine;
    QString group; // see FileOutcome
};

// Said of every file whose name another file holds in the results folder.
QString nameTakenGroup();

// Checks the copy and, when it reads back as asked, gives it its final name
// without ever replacing a file; otherwise the temporary file goes. A file
// already under the final name that holds this very value counts as written,
// so a second run finishes what the first left. Runs on a worker thread.
Publication publishCopy(const PublishInput &input, const CopyVerifier &verifier,
                        const std::atomic_bool &cancelled);
