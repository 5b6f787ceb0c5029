#pragma once

#include <QString>
#include <optional>

#include "filelist/scanqueue.h"

class Dialogs;
class ErrorGuard;

inline constexpr char ExtensionPrompt[] =
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)";

// The questions of "Add All JPG(s) In Folder": the extension (remembered under
// "Extension" when not empty) and the folder (remembered under "LastFolder").
// Gives the scan to queue, or nothing when either question was cancelled.
std::optional<ScanItem> askFolderToAdd(Dialogs &dialogs, ErrorGuard &guard);

// The scan of a folder dropped on the list: every file, no question.
ScanItem droppedFolderScan(const QString &folder);
