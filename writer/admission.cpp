#include "writer/admission.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

QString refusalForSource(const QByteArray &path)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOENT ? QStringLiteral("The file is not there any more.")
                               : QStringLiteral("The file cannot be read (%1).")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISREG(info.st_mode))
        return QString();
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("This is a folder, not a file.");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("This is a named pipe, not a picture file.");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("This is a socket, not a picture file.");
    return QStringLiteral("This is a device, not a picture file.");
}

} // namespace

Admission admitSource(const QByteArray &sourcePath, const QByteArray &finalPath)
{
    Admission admission;
    admission.refusal = refusalForSource(sourcePath);
    if (!admission.refusal.isEmpty())
        return admission;
    struct stat info;
    admission.finalTaken = ::lstat(finalPath.constData(), &info) == 0;
    if (admission.finalTaken && S_ISDIR(info.st_mode))
        admission.refusal = QStringLiteral("A folder of this name is in the results folder.");
    return admission;
}
