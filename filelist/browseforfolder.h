#pragma once

#include <QString>

class Dialogs;

inline constexpr char FolderPickerTitle[] = "Please select folder:";

// The folder picker both folder commands use: it starts in "LastFolder" (an
// empty or vanished folder leaves the dialog at its own default) and gives a
// root with its separator, any other folder without one; cancel gives "".
QString BrowseForFolder(Dialogs &dialogs, const QString &startFolder);
