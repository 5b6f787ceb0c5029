#include "filelist/browseforfolder.h"

#include "app/shared/paths.h"

#include "app/shared/dialogs.h"

QString BrowseForFolder(Dialogs &dialogs, const QString &startFolder)
{
    return withoutClosingSeparator(
        dialogs.browseForFolder(QString::fromLatin1(FolderPickerTitle), startFolder));
}
