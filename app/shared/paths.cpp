#include "app/shared/paths.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "app/shared/errorreport.h"

QString DesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        throw Failure(QStringLiteral("The desktop folder is unknown"));
    return QDir::toNativeSeparators(desktop) + nativeSeparator();
}

bool FileFound(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString FileNameOf(const QString &path, QChar separator)
{
    // Where "\\" separates natively (Windows), "/" separates too.
    const bool slashToo = separator == QLatin1Char('\\') && nativeSeparator() == separator;
    const qsizetype cut = slashToo ? qMax(path.lastIndexOf(separator), path.lastIndexOf(QLatin1Char('/')))
                                   : path.lastIndexOf(separator);
    return path.mid(cut + 1);
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString withoutClosingSeparator(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(nativeSeparator()) && !QDir(folder).isRoot())
        folder.chop(1);
    return folder;
}

namespace {
// One left-to-right pass; a replaced pair is not looked at again.
QString collapsePairs(const QString &text, QChar separator)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        result.append(text.at(i));
        if (text.at(i) == separator && i + 1 < text.size() && text.at(i + 1) == separator)
            ++i;
    }
    return result;
}
} // namespace

QString CleanPath(const QString &path, QChar separator)
{
    if (path.isEmpty() || path.at(0) != separator)
        return collapsePairs(path, separator);
    int first = 1;
    while (first < path.size() && path.at(first) == separator)
        ++first;
    // A leading run means a network share with back-slashes ("\\server");
    // with "/" it is the one root.
    const int lead = separator == QLatin1Char('\\') ? 2 : 1;
    return QString(lead, separator) + collapsePairs(path.mid(first), separator);
}
