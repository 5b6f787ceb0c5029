#include "filelist/addfolder.h"

#include "app/shared/dialogs.h"
#include "app/shared/errorreport.h"
#include "app/shared/settings.h"
#include "filelist/browseforfolder.h"

std::optional<ScanItem> askFolderToAdd(Dialogs &dialogs, ErrorGuard &guard)
{
    QString answer;
    guard.step(100, [&] {
        answer = dialogs.inputText(QString::fromLatin1(ExtensionPrompt),
                                   Settings::read(Settings::Key::Extension));
    });
    guard.step(102, [&] {
        if (!answer.isEmpty())
            Settings::write(Settings::Key::Extension, answer);
    });
    if (answer.isEmpty())
        return std::nullopt;

    QString startFolder;
    guard.step(104, [&] { startFolder = Settings::read(Settings::Key::LastFolder); });
    QString folder;
    guard.step(106, [&] { folder = BrowseForFolder(dialogs, startFolder); });
    if (folder.isEmpty())
        return std::nullopt;
    guard.step(333, [&] { Settings::write(Settings::Key::LastFolder, folder); });

    ScanItem item;
    item.kind = ScanItem::Kind::FolderCommand;
    item.path = folder;
    item.pattern = QStringLiteral("*.") + answer; // used as typed: ".jpg" gives "*..jpg"
    return item;
}

ScanItem droppedFolderScan(const QString &folder)
{
    ScanItem item;
    item.kind = ScanItem::Kind::FolderDrop;
    item.path = folder;
    item.pattern = QStringLiteral("*.*");
    return item;
}
