#include "platform/toolprocess.h"
#include "platform/files.h"

#include <QProcess>
#include <windows.h>

void Platform::runInFolder(QProcess &process, int folderDescriptor)
{
    // The tools keep every core busy; a little lower priority keeps the
    // window quick to answer meanwhile.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags |= BELOW_NORMAL_PRIORITY_CLASS;
    });
    if (folderDescriptor < 0)
        return;
    // Never let a tool write relative names anywhere but where it was sent.
    // The held folder cannot be renamed, so its path names it until the tool
    // has started. A folder that cannot be named gets a working folder no
    // system accepts ('<' is refused in every name), so the tool does not
    // start at all rather than start elsewhere.
    const QString folder = QString::fromUtf8(Platform::descriptorPath(folderDescriptor));
    process.setWorkingDirectory(folder.isEmpty() ? QStringLiteral("<no folder>") : folder);
}

QStringList Platform::toolFileNameArguments()
{
    // Names reach the tool as UTF-8 (see files.cpp); without this ExifTool
    // would take them in the ANSI code page.
    return {QStringLiteral("-charset"), QStringLiteral("filename=utf8")};
}

QString Platform::toolInstallHint()
{
    return QStringLiteral("Please install it (from https://exiftool.org) and try again.");
}
