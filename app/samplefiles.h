#pragma once

#include <QString>

class Dialogs;
class FileListModel;

inline constexpr char OpenSamplesQuestion[] =
    "Would you like this software to open the folder where these sample files are stored "
    "(so that you can view them before working with them)?";

// "Load Sample/Example Files": appends each file of the sample folder, in
// name order, unless the list already holds its path exactly; then offers
// to open the folder. A missing folder adds nothing and still asks.
void LoadSampleFiles(FileListModel &list, Dialogs &dialogs, const QString &sampleFolder);
