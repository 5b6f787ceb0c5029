#pragma once

#include <QString>

// What the run learns of the file system before it starts; found on a worker
// thread, since a stalled mount may take its time to answer.
struct RunChecks {
    bool folderExists = false;
    bool folderWritable = false; // this user can create files in it
    QString tool;                // the tool's full path; empty when not found
};
RunChecks checkBeforeRun(const QString &resultsFolder, const QString &toolProgram);

// Why the run cannot start with what the checks found, or nothing.
QString checksRefusal(const RunChecks &checks, const QString &resultsFolder);

// Why the chosen tag cannot take the value, or nothing.
QString valueRefusal(const QString &tagLabel, const QString &value);

