#include "app/samplefiles.h"

#include <QUrl>

#include "app/dialogs.h"
#include "app/paths.h"
#include "filelist/filelistmodel.h"
#include "filelist/folderscan.h"

void LoadSampleFiles(FileListModel &list, Dialogs &dialogs, const QString &sampleFolder)
{
    const QStringList names = IsFolder(sampleFolder)
        ? ListFiles(sampleFolder, QStringLiteral("*.*"))
        : QStringList();
    for (const QString &name : names) {
        const QString path = sampleFolder + nativeSeparator() + name;
        if (FileFound(path) && !list.ContainsEntry(path))
            list.appendEntry(path);
    }
    if (dialogs.question(QString::fromLatin1(OpenSamplesQuestion)))
        dialogs.openUrl(QUrl::fromLocalFile(sampleFolder));
}
