#include "writer/engine/admission.h"

#include <cstring>

#include "platform/files.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"

namespace {

// The first bytes of a regular file, read without ever waiting on a pipe or
// a device that took its place after the check.
QString readHead(const QByteArray &path, QByteArray *head, std::int64_t *size)
{
    const Platform::FileStatus named = Platform::statusForReading(path);
    if (!named.ok())
        return readFailure(named.error);
    if (const QString refusal = refusalForKind(named.kind); !refusal.isEmpty())
        return refusal;
    const Platform::FileHandle file(Platform::openForReading(path));
    if (!file.isOpen())
        return readFailure(Platform::lastError());
    const Platform::FileStatus opened = Platform::statusForReading(file.get());
    if (!opened.ok())
        return readFailure(opened.error);
    if (opened.kind != Platform::FileKind::Regular)
        return refusalForKind(opened.kind);
    *size = opened.size;
    head->resize(16);
    const std::int64_t got = Platform::readAt(file.get(), head->data(), std::size_t(head->size()), 0);
    if (got < 0)
        return readFailure(Platform::lastError());
    head->resize(qsizetype(got));
    return QString();
}

} // namespace

QString notJpegReason(const QByteArray &first)
{
    const auto begins = [&first](const char *bytes, qsizetype length, qsizetype at = 0) {
        return first.size() >= at + length && std::memcmp(first.constData() + at, bytes, size_t(length)) == 0;
    };
    if (begins("\xFF\xD8\xFF", 3))
        return QString();
    if (first.isEmpty())
        return because(Reason::FileEmpty);
    if (begins("\x89PNG\r\n\x1A\n", 8))
        return because(Reason::IsPng);
    if (begins("GIF87a", 6) || begins("GIF89a", 6))
        return because(Reason::IsGif);
    if (begins("II*\0", 4) || begins("MM\0*", 4))
        return because(Reason::IsTiff);
    if (begins("RIFF", 4) && begins("WEBP", 4, 8))
        return because(Reason::IsWebp);
    if (begins("ftyp", 4, 4)) {
        const QByteArray brand = first.mid(8, 4);
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1"
            || brand == "heim" || brand == "heis" || brand == "hevc" || brand == "avif")
            return because(Reason::IsHeif);
        return because(Reason::IsVideo);
    }
    return because(Reason::NotJpeg);
}

QString sourceRefusal(const QByteArray &sourcePath)
{
    QByteArray head;
    std::int64_t size = 0;
    const QString refusal = readHead(sourcePath, &head, &size);
    return refusal.isEmpty() ? notJpegReason(head) : refusal;
}

Admission admitSource(const QByteArray &sourcePath, const RunFolder &folder,
                      const QByteArray &finalName)
{
    Admission admission;
    const Destination &destination = folder.destination();
    admission.refusal = nameRefusal(destination, finalName);
    if (!admission.refusal.isEmpty())
        return admission;
    QByteArray head;
    admission.refusal = readHead(sourcePath, &head, &admission.size);
    if (admission.refusal.isEmpty())
        admission.refusal = notJpegReason(head);
    // The copy is the source's size give or take the tag.
    if (admission.refusal.isEmpty() && destination.largestFile > 0
        && admission.size >= destination.largestFile - 65536)
        admission.refusal = because(Reason::TooLargeForFileSystem, destination.shownType());
    if (!admission.refusal.isEmpty())
        return admission;
    int error = 0;
    switch (folder.resultsEntry(finalName, &error)) {
    case RunFolder::Entry::Missing:
        break;
    case RunFolder::Entry::Folder:
        admission.refusal = because(Reason::FolderUnderFinalName);
        break;
    case RunFolder::Entry::Unknown:
        admission.refusal = because(Reason::ResultsUnreadable, systemWords(error));
        break;
    case RunFolder::Entry::File:
    case RunFolder::Entry::Other:
        admission.finalTaken = true;
        if (const QByteArray other = folder.otherCaseThere(finalName); !other.isEmpty())
            admission.refusal = because(Reason::CaseClashThere, QString::fromUtf8(other), destination.shownType());
        break;
    }
    return admission;
}

QString refusalForKind(Platform::FileKind kind)
{
    switch (kind) {
    case Platform::FileKind::Regular:
        return QString();
    case Platform::FileKind::Folder:
        return because(Reason::IsFolder);
    case Platform::FileKind::Pipe:
        return because(Reason::IsNamedPipe);
    case Platform::FileKind::Socket:
        return because(Reason::IsSocket);
    case Platform::FileKind::Link:
    case Platform::FileKind::Device:
        break;
    }
    return because(Reason::IsDevice);
}

QString readFailure(int error)
{
    return Platform::isMissing(error) ? because(Reason::FileGone)
                                      : because(Reason::FileUnreadable, systemWords(error));
}
