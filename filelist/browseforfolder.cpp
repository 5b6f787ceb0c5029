#include "filelist/browseforfolder.h"

#include <QDir>

#include "app/dialogs.h"

QString BrowseForFolder(Dialogs &dialogs, const QString &startFolder)
{
    QString folder = dialogs.browseForFolder(QString::fromLatin1(FolderPickerTitle), startFolder);
    while (folder.size() > 1 && folder.endsWith(QDir::separator()) && !QDir(folder).isRoot())
        folder.chop(1);
    return folder;
}
