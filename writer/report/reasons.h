#pragma once

#include <QString>

#include "platform/diskstate.h"

// Every reason a user reads for what became of a file, by name; the words
// themselves are in one table (reasons.cpp), so they are read, and changed,
// side by side. "%1" and further take the named parts.
enum class Reason {
    // Before a tool sees the file
    CommandNotMade,
    NotFullPath,
    OutsideResultsFolder,
    IsFolder,
    IsNamedPipe,
    IsSocket,
    IsDevice,
    FileGone,
    FileUnreadable,         // the system's words
    FileEmpty,
    IsPng,
    IsGif,
    IsTiff,
    IsWebp,
    IsHeif,
    IsVideo,
    NotJpeg,
    FolderUnderFinalName,
    ResultsUnreadable,      // the system's words
    ResultsNotWritable,     // the system's words
    ResultsPathTooLong,     // the path's length
    ResultsNoAnswer,        // the time limit
    FileNoAnswer,           // the time limit
    PathNotExact,           // the path
    PercentCodeInFolder,    // the results folder
    NameHasRefused,         // the character, the file system
    NameHasControl,         // the code, the file system
    NameIsDevice,           // the device, the file system
    NameEndsBadly,          // "a dot" or "a blank", the file system
    CaseClashThere,         // the name there, the file system
    TooLargeForFileSystem,  // the file system
    NoExclusiveCreate,      // the file system, the system's words
    // The tool
    ToolTimedOut,           // the time limit
    ToolCouldNotStart,      // why
    ToolKeepsEnding,        // why
    ToolStoppedUnexpectedly,
    ToolEndedUnexpectedly,  // the exit code
    ToolEndedBeforeFile,
    ToolExitStatus,         // the status
    ToolNameTaken,
    ToolSawOtherContent,    // what the tool took the content for
    ToolUnreadableJpeg,
    ToolCannotOpen,
    ToolInvalidDate,
    ToolValueTooLarge,
    ToolDroppedMetadata,
    ToolDamagedMetadata,
    ToolCannotCreate,
    ToolCouldNotWrite,
    ToolGaveNoReason,
    // The copy read back
    SourceCannotBeRead,     // why
    CopyCannotBeRead,       // why
    ChangedWhileRead,
    NotRegularFile,
    SourceNotWhole,         // why
    CopyNotWhole,           // why
    NotJpegStart,
    EndsBeforePicture,
    NoPictureData,
    SegmentPastEnd,
    EndsInsidePicture,
    PictureDiffers,
    TagCannotBeChecked,     // the tag
    MetadataSplit,          // the number of blocks
    Exiv2CannotReadCopy,
    Exiv2CannotReadMetadata, // Exiv2's words
    TagLeftForEmptyValue,   // the tag, what it holds
    DateNotTaken,           // the value
    TagNotStored,           // the tag
    StoredInstead,          // what was stored
    StoredForNow,           // what was stored
    NoCharactersBeyondUcs2, // the tag, the StoredInstead words
    ShownInstead,           // the tag shown, the tag written, what it holds
    // Publishing the copy
    NameTaken,              // the name
    NameTakenGroup,
    SameNameFirst,          // the file written first
    SameNameGroup,
    CameFirst,              // the file written first
    CaseClashInRun,         // the file written first, the file system
    CaseClashGroup,
    ClaimChanged,
    ResultMissing,
    CopyUnopened,           // the system's words
    NotPlainOwnFile,
    RunStopped,
    NotSavedToDisk,         // the system's words
    RunGaveUp,
    NoSafeRename,           // the system's words
    NotNamed,               // the system's words
    CheckAndSaveNoAnswer,   // the time limit
    StoppedWhileWriting,
    // The disk's state, in place of the system's words
    DiskFull,
    DiskGone,
    DiskReadOnly,
    ToolCannotCreateOn,     // the disk's state
    // The report's words where the outcome carries none
    NotStarted,
    NotedChange,
    NoReasonGiven,

    Count
};

QString because(Reason reason);
QString because(Reason reason, const QString &first);
QString because(Reason reason, const QString &first, const QString &second);
QString because(Reason reason, const QString &first, const QString &second, const QString &third);

// A file-system error in plain words: the disk's state where the error names
// one ("the disk is full"), else the system's own words.
QString systemWords(int error);
// The disk's state in plain words; empty while it answers.
QString diskWords(Platform::DiskState state);

// "2 minutes", "0.5 seconds": a time limit as the reasons give it.
QString timeLimitText(int timeoutMs);
