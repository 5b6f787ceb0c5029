#pragma once

#include <QString>
#include <optional>

// What became of one listed file in a run.
struct FileOutcome {
    // Stopped: the run was stopped before this file was written; no copy was kept.
    enum class Kind { Written, AlreadyThere, WrittenWithNotes, Failed, Stopped };
    Kind kind = Kind::Written;
    QString source;      // the list entry's text
    QString reason;      // plain words (Failed; for WrittenWithNotes the note words)
    QString toolLine;    // ExifTool's own line for this file, may be empty
    QString commandLine; // the command as it would be typed; filled only for the report
    int position = 0;    // in the list, 1-based
    QString group = QString(); // the words shared by files that failed alike; empty: the reason
    QString detail = QString(); // what is this file's own in that group, shown beside it
    bool toolRan = false; // a tool began this file, so its command line means something
    std::optional<QString> value = std::nullopt; // the file's own value, where the run made one for each file
};

inline bool countsAsWritten(FileOutcome::Kind kind)
{
    return kind == FileOutcome::Kind::Written || kind == FileOutcome::Kind::AlreadyThere
        || kind == FileOutcome::Kind::WrittenWithNotes;
}
