#include "app/samplefiles.h"

#include <QUrl>
#include <algorithm>

#include "app/shared/dialogs.h"
#include "app/shared/paths.h"
#include "filelist/filelistmodel.h"
#include "filelist/folderscan.h"

void LoadSampleFiles(FileListModel &list, Dialogs &dialogs, const QString &sampleFolder)
{
    QStringList names = IsFolder(sampleFolder)
        ? ListFiles(sampleFolder, QStringLiteral("*.*"))
        : QStringList();
    // The raw listing order on Linux is arbitrary; the samples come in name
    // order, letter case aside, as a Windows folder lists them.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    for (const QString &name : names) {
        const QString path = sampleFolder + nativeSeparator() + name;
        if (FileFound(path) && !list.ContainsEntry(path))
            list.appendEntry(path);
    }
    if (dialogs.question(QString::fromLatin1(OpenSamplesQuestion)))
        dialogs.openUrl(QUrl::fromLocalFile(sampleFolder));
}
