#include "filelist/addfiles.h"

#include "app/shared/dialogs.h"
#include "app/shared/paths.h"

QStringList chooseFilesToAdd(Dialogs &dialogs)
{
    QStringList chosen = dialogs.openFileNames(QString::fromLatin1(AddFilesTitle),
                                               QString::fromLatin1(AddFilesFilter));
    if (chosen.size() > 1)
        for (QString &path : chosen)
            path = CleanPath(path);
    return chosen;
}
