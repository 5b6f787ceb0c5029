#include "filelist/browseforfolder.h"

#include "app/paths.h"

#include "app/dialogs.h"

QString BrowseForFolder(Dialogs &dialogs, const QString &startFolder)
{
    return withoutClosingSeparator(
        dialogs.browseForFolder(QString::fromLatin1(FolderPickerTitle), startFolder));
}
