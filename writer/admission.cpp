#include "writer/admission.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "writer/runfolder.h"

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString refusalForType(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    if (S_ISDIR(mode))
        return QStringLiteral("This is a folder, not a file.");
    if (S_ISFIFO(mode))
        return QStringLiteral("This is a named pipe, not a picture file.");
    if (S_ISSOCK(mode))
        return QStringLiteral("This is a socket, not a picture file.");
    return QStringLiteral("This is a device, not a picture file.");
}

QString readFailure(int error)
{
    return error == ENOENT ? QStringLiteral("The file is not there any more.")
                           : QStringLiteral("The file cannot be read (%1).").arg(systemError(error));
}

// The first bytes of a regular file, read without ever waiting on a pipe or
// a device that took its place after the check.
QString readHead(const QByteArray &path, QByteArray *head)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return readFailure(errno);
    if (const QString refusal = refusalForType(info.st_mode); !refusal.isEmpty())
        return refusal;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return readFailure(errno);
    QString refusal;
    if (::fstat(fd, &info) != 0) {
        refusal = readFailure(errno);
    } else if (!S_ISREG(info.st_mode)) {
        refusal = refusalForType(info.st_mode);
    } else {
        head->resize(16);
        ssize_t got = -1;
        do
            got = ::pread(fd, head->data(), size_t(head->size()), 0);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            refusal = readFailure(errno);
        else
            head->resize(got);
    }
    ::close(fd);
    return refusal;
}

} // namespace

QString notJpegReason(const QByteArray &first)
{
    const auto begins = [&first](const char *bytes, qsizetype length, qsizetype at = 0) {
        return first.size() >= at + length && std::memcmp(first.constData() + at, bytes, size_t(length)) == 0;
    };
    if (begins("\xFF\xD8\xFF", 3))
        return QString();
    const auto isA = [](const char *what) {
        return QStringLiteral("This is %1, not a JPEG picture.").arg(QLatin1String(what));
    };
    if (first.isEmpty())
        return QStringLiteral("The file is empty.");
    if (begins("\x89PNG\r\n\x1A\n", 8))
        return isA("a PNG picture");
    if (begins("GIF87a", 6) || begins("GIF89a", 6))
        return isA("a GIF picture");
    if (begins("II*\0", 4) || begins("MM\0*", 4))
        return isA("a TIFF picture (or a camera's raw file)");
    if (begins("RIFF", 4) && begins("WEBP", 4, 8))
        return isA("a WebP picture");
    if (begins("ftyp", 4, 4)) {
        const QByteArray brand = first.mid(8, 4);
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1"
            || brand == "heim" || brand == "heis" || brand == "hevc" || brand == "avif")
            return isA("a HEIF picture");
        return isA("an MP4 or QuickTime video");
    }
    return QStringLiteral("This is not a JPEG picture.");
}

Admission admitSource(const QByteArray &sourcePath, const RunFolder &folder,
                      const QByteArray &finalName)
{
    Admission admission;
    QByteArray head;
    admission.refusal = readHead(sourcePath, &head);
    if (admission.refusal.isEmpty())
        admission.refusal = notJpegReason(head);
    if (!admission.refusal.isEmpty())
        return admission;
    int error = 0;
    switch (folder.resultsEntry(finalName, &error)) {
    case RunFolder::Entry::Missing:
        break;
    case RunFolder::Entry::Folder:
        admission.refusal = QStringLiteral("A folder of this name is in the results folder.");
        break;
    case RunFolder::Entry::Unknown:
        admission.refusal = QStringLiteral("The results folder cannot be read (%1).").arg(systemError(error));
        break;
    case RunFolder::Entry::File:
    case RunFolder::Entry::Other:
        admission.finalTaken = true;
        break;
    }
    return admission;
}
