#include "writer/command/resultsfolder.h"

#include "app/shared/paths.h"
#include "app/shared/settings.h"
#include "filelist/browseforfolder.h"

QString chooseResultsFolder(Dialogs &dialogs)
{
    const QString folder = BrowseForFolder(dialogs, Settings::read(Settings::Key::LastFolder));
    if (folder.isEmpty() || folder.endsWith(nativeSeparator()))
        return folder;
    return folder + nativeSeparator();
}
