#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "writer/engine/fileoutcome.h"
#include "writer/output/claimjournal.h"
#include "writer/tags/tagcatalogue.h"

struct BatchReport {
    int total = 0;          // files the run was to write
    bool stopped = false;
    QList<FileOutcome> outcomes; // in list order
    LeftBehind earlierRuns;      // what runs that died had left in the results folder, and
                                 // whether this run had to keep its own folder there
    QString wayWords;            // how each file's value was made; empty: as typed
    QList<FileOutcome> failures() const;
    // The end box's line and its details.
    QString message() const;
    QString details() const;
};

// What a run leaves for its report.
struct ReportInputs {
    QList<FileOutcome> outcomes; // in the order the files ended
    bool stopped = false;
    QStringList notStarted;      // the list entries a stop kept from starting
    int firstNotStarted = 0;     // the first one's position, 1-based
    QString toolPath;
    QString resultsFolder;
    std::optional<Assignment> assignment;
    LeftBehind earlierRuns;
    QString wayWords;
};

// The outcomes in list order, the files the stop kept from starting counted
// as not written, and a command line for each group the report shows.
BatchReport makeBatchReport(const ReportInputs &inputs);
