#pragma once

#include <QStringList>

class Dialogs;

inline constexpr char AddFilesTitle[] = "Add File(s) - Hold Ctrl or Shift to select multiple files";
inline constexpr char AddFilesFilter[] = "All JPG (*.jpg;*.jpeg)|*.jpg;*.jpeg|All Files (*.*)|*.*";

// "Add JPG File(s)": the paths chosen in the file dialog, in the dialog's
// order, ready to append. One file comes back as the dialog gave it; several
// are cleaned of doubled separators. Nothing is filtered.
QStringList chooseFilesToAdd(Dialogs &dialogs);
