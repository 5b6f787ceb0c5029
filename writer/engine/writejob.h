#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "writer/tags/tagcatalogue.h"
#include "writer/values/valueplan.h"

// One listed file, ready to be written.
struct WriteJob {
    int position = 0;          // in the list, 1-based: decides who wins a shared name
    QString source;            // the list entry's text, for reports
    QByteArray sourcePath;     // the file system's own bytes
    QByteArray resultsFolder;
    QByteArray finalPath;
    std::optional<Assignment> assignment;
    QString tagName;           // ExifTool's name of the tag; empty without an assignment
    QString refusal;           // set when the file must not reach the tool
    // Makes this file's value from the source, in place of the assignment's,
    // on a worker thread as the file is looked at; none: the assignment's stands.
    std::function<MadeValue(const QByteArray &sourcePath)> makeValue;
    std::optional<QString> madeValue; // what it made, once the file was looked at
};

// Hands the engine its files, one at a time, in list order.
class JobSource {
public:
    virtual ~JobSource() = default;
    // The next file, or nothing when the list is done. May show a report box,
    // and so run a nested event loop.
    virtual std::optional<WriteJob> nextJob() = 0;
};
