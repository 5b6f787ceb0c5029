#include "writer/verifier.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <mutex>
#include <vector>

#include "writer/datevalue.h"
#include "writer/jpegpicturedata.h"
#include "writer/filebytes.h"
#include "writer/shorttext.h"

namespace {

#if EXIV2_TEST_VERSION(0, 28, 0)
using Exiv2Size = size_t;
#else
using Exiv2Size = long;
#endif

void initialiseExiv2Once()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Exiv2 writes its warnings to stderr, where they would mix with the tool's.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Not thread-safe on first use; done once before any worker reads.
        Exiv2::XmpParser::initialize();
    });
}

enum class Encoding { Ucs2, Utf8, Date };

struct TagKey {
    const char *tagName;
    const char *exiv2Key;
    Encoding encoding;
};

// Where ExifTool 12.57 stores each writable tag in a JPEG copy.
constexpr TagKey kTagKeys[] = {
    {"XPTitle", "Exif.Image.XPTitle", Encoding::Ucs2},
    {"XPSubject", "Exif.Image.XPSubject", Encoding::Ucs2},
    {"XPKeywords", "Exif.Image.XPKeywords", Encoding::Ucs2},
    {"XPAuthor", "Exif.Image.XPAuthor", Encoding::Ucs2},
    {"XPComment", "Exif.Image.XPComment", Encoding::Ucs2},
    {"ImageDescription", "Exif.Image.ImageDescription", Encoding::Utf8},
    {"Make", "Exif.Image.Make", Encoding::Utf8},
    {"Model", "Exif.Image.Model", Encoding::Utf8},
    {"Software", "Exif.Image.Software", Encoding::Utf8},
    {"Artist", "Exif.Image.Artist", Encoding::Utf8},
    {"ModifyDate", "Exif.Image.DateTime", Encoding::Date},
    {"DateTimeOriginal", "Exif.Photo.DateTimeOriginal", Encoding::Date},
    {"CreateDate", "Exif.Photo.DateTimeDigitized", Encoding::Date},
};

const TagKey *keyFor(const QString &tagName)
{
    for (const TagKey &key : kTagKeys)
        if (tagName == QLatin1String(key.tagName))
            return &key;
    return nullptr;
}

QString storedInstead(const QString &stored)
{
    return QStringLiteral("ExifTool stored \"%1\" instead of the value typed")
        .arg(shortenedValue(stored));
}

bool hasCharactersBeyondUcs2(const QString &text)
{
    for (const QChar c : text)
        if (c.isSurrogate())
            return true;
    return false;
}

QString decodeStored(const std::vector<unsigned char> &bytes, Encoding encoding)
{
    std::size_t size = bytes.size();
    if (encoding == Encoding::Ucs2) {
        size -= size % 2;
        while (size >= 2 && bytes[size - 1] == 0 && bytes[size - 2] == 0)
            size -= 2;
        QString text;
        text.reserve(qsizetype(size / 2));
        for (std::size_t i = 0; i < size; i += 2)
            text.append(QChar(char16_t(bytes[i] | (bytes[i + 1] << 8))));
        return text;
    }
    while (size > 0 && bytes[size - 1] == 0)
        --size;
    return QString::fromUtf8(reinterpret_cast<const char *>(bytes.data()), qsizetype(size));
}

QString compareDate(const QString &typed, const QString &stored)
{
    const std::optional<DateFields> storedDate = storedDateFields(stored);
    if (isNowWord(typed)) {
        if (!storedDate)
            return QStringLiteral("ExifTool stored \"%1\" for now, which is not a date and time")
                .arg(shortenedValue(stored));
        return QString();
    }
    const std::optional<DateFields> typedDate = exifToolDateFields(typed);
    // A value ExifTool refused leaves the source's date, or none, in the copy.
    if (!typedDate || !storedDate || !(*storedDate == *typedDate))
        return storedInstead(stored);
    return QString();
}

QString storedText(const TagKey &key, const Exiv2::Exifdatum &datum)
{
    std::vector<unsigned char> bytes(datum.size());
    if (!bytes.empty())
        datum.copy(bytes.data(), Exiv2::littleEndian);
    return decodeStored(bytes, key.encoding);
}

QString compareStored(const TagKey &key, const QString &typed, const Exiv2::Exifdatum &datum)
{
    const QString stored = storedText(key, datum);
    if (key.encoding == Encoding::Date)
        return compareDate(typed, stored);
    if (stored == typed)
        return QString();
    if (key.encoding == Encoding::Ucs2 && hasCharactersBeyondUcs2(typed))
        return QStringLiteral("%1 cannot hold characters such as emoji: %2")
            .arg(QLatin1String(key.tagName), storedInstead(stored));
    return storedInstead(stored);
}

QString checkTag(const unsigned char *copyData, std::size_t copySize, const JpegLayout &copy,
                 std::size_t sourceExifBlocks, const CopyExpectation &expected)
{
    const TagKey *key = keyFor(expected.tagName);
    if (!key)
        return QStringLiteral("The tag %1 cannot be checked").arg(expected.tagName);
    // A value too large for one block makes ExifTool continue the EXIF in
    // further APP1 segments, which Exiv2 and most programs ignore.
    if (copy.exifSegments.size() > std::max<std::size_t>(1, sourceExifBlocks))
        return QStringLiteral("ExifTool split the metadata over %1 EXIF blocks, which most programs "
                              "cannot read (the value is too large for one)")
            .arg(copy.exifSegments.size());
    try {
        // Exiv2 parses the copy on its own, from the bytes already in memory.
        auto image = Exiv2::ImageFactory::open(copyData, static_cast<Exiv2Size>(copySize));
        if (!image.get())
            return QStringLiteral("Exiv2 cannot read the copy");
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        const auto found = exif.findKey(Exiv2::ExifKey(key->exiv2Key));
        const bool present = found != exif.end();
        if (expected.value.isEmpty()) {
            if (present)
                return QStringLiteral("ExifTool left %1 in the copy, holding \"%2\", although the value "
                                      "typed was empty")
                    .arg(expected.tagName, shortenedValue(storedText(*key, *found)));
            return QString();
        }
        if (!present && key->encoding == Encoding::Date && !exifToolAcceptsDate(expected.value))
            return QStringLiteral("ExifTool did not take \"%1\" as a date and time, and stored none")
                .arg(shortenedValue(expected.value));
        if (!present)
            return QStringLiteral("ExifTool did not store %1 in the copy").arg(expected.tagName);
        return compareStored(*key, expected.value, *found);
    } catch (const std::exception &error) {
        return QStringLiteral("Exiv2 cannot read the metadata of the copy: %1")
            .arg(QString::fromLocal8Bit(error.what()));
    }
}

// Buffers this large are given back rather than kept for the next copy.
struct ReleaseLargeBuffers {
    std::vector<unsigned char> &first;
    std::vector<unsigned char> &second;
    ~ReleaseLargeBuffers()
    {
        constexpr std::size_t kKeepAtMost = 32 * 1024 * 1024;
        if (first.capacity() > kKeepAtMost)
            std::vector<unsigned char>().swap(first);
        if (second.capacity() > kKeepAtMost)
            std::vector<unsigned char>().swap(second);
    }
};

// The usual case, read in slices that stay in the processor's cache: both
// headers, then everything from the first scan to the end, which a faithful
// copy has unchanged. Nothing when it cannot decide (a header that does not
// fit the first slice, a source not ending in EOI, rests that differ): then
// the whole files are read and walked, which also names what is wrong.
std::optional<QString> quickCheck(const QByteArray &sourcePath, const QByteArray &copyPath,
                                  const CopyExpectation &expected)
{
    constexpr std::size_t kHead = 1024 * 1024;
    constexpr std::size_t kSlice = 256 * 1024;
    thread_local std::vector<unsigned char> sourceHead(kHead), copyHead(kHead);
    thread_local std::vector<unsigned char> sourceSlice(kSlice), copySlice(kSlice);

    struct Opened {
        int fd = -1;
        std::size_t size = 0;
        explicit Opened(const QByteArray &path)
        {
            // Non-blocking, so a named pipe in place of a file cannot hang the worker.
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            struct stat info {};
            if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
                ::close(fd);
                fd = -1;
            }
            if (fd >= 0)
                size = std::size_t(info.st_size);
        }
        ~Opened()
        {
            if (fd >= 0)
                ::close(fd);
        }
        bool readAt(std::size_t offset, unsigned char *into, std::size_t length) const
        {
            std::size_t done = 0;
            while (done < length) {
                const ssize_t got = ::pread(fd, into + done, length - done, off_t(offset + done));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                done += std::size_t(got);
            }
            return true;
        }
    };
    const Opened source(sourcePath);
    const Opened copy(copyPath);
    if (source.fd < 0 || copy.fd < 0)
        return std::nullopt;
    const std::size_t sourceHeadSize = std::min(source.size, kHead);
    const std::size_t copyHeadSize = std::min(copy.size, kHead);
    if (!source.readAt(0, sourceHead.data(), sourceHeadSize)
        || !copy.readAt(0, copyHead.data(), copyHeadSize))
        return std::nullopt;
    const JpegLayout sourceLayout =
        parseJpegLayout(sourceHead.data(), sourceHeadSize, ScanExtent::StartOnly);
    const JpegLayout copyLayout =
        parseJpegLayout(copyHead.data(), copyHeadSize, ScanExtent::StartOnly);
    if (!sourceLayout.error.isEmpty() || !copyLayout.error.isEmpty())
        return std::nullopt;
    const std::size_t sourceScan = sourceLayout.scan.offset;
    const std::size_t copyScan = copyLayout.scan.offset;
    const std::size_t rest = source.size - sourceScan;
    unsigned char tail[2] = {0, 0};
    if (rest != copy.size - copyScan || rest < 2 || !source.readAt(source.size - 2, tail, 2)
        || tail[0] != 0xFF || tail[1] != 0xD9)
        return std::nullopt;

    const auto &sourceSegments = sourceLayout.pictureSegments;
    const auto &copySegments = copyLayout.pictureSegments;
    bool sameSegments = sourceSegments.size() == copySegments.size();
    for (std::size_t i = 0; sameSegments && i < sourceSegments.size(); ++i)
        sameSegments = sourceSegments[i].length == copySegments[i].length
            && std::memcmp(sourceHead.data() + sourceSegments[i].offset,
                           copyHead.data() + copySegments[i].offset, sourceSegments[i].length)
                == 0;
    if (!sameSegments)
        return QStringLiteral("The picture data of the copy differs from the source");

    for (std::size_t done = 0; done < rest;) {
        const std::size_t length = std::min(kSlice, rest - done);
        const unsigned char *a = nullptr;
        const unsigned char *b = nullptr;
        // What the heads hold already is not read again.
        if (sourceScan + done + length <= sourceHeadSize)
            a = sourceHead.data() + sourceScan + done;
        else if (source.readAt(sourceScan + done, sourceSlice.data(), length))
            a = sourceSlice.data();
        if (copyScan + done + length <= copyHeadSize)
            b = copyHead.data() + copyScan + done;
        else if (copy.readAt(copyScan + done, copySlice.data(), length))
            b = copySlice.data();
        if (!a || !b || std::memcmp(a, b, length) != 0)
            return std::nullopt;
        done += length;
    }
    if (expected.tagName.isEmpty())
        return QString();
    return checkTag(copyHead.data(), copyHeadSize, copyLayout, sourceLayout.exifSegments.size(),
                    expected);
}

} // namespace

QString verifyCopy(const QByteArray &sourcePath, const QByteArray &copyPath,
                   const CopyExpectation &expected)
{
    initialiseExiv2Once();
    if (const std::optional<QString> quick = quickCheck(sourcePath, copyPath, expected))
        return *quick;
    // Each worker thread keeps its buffers from one copy to the next.
    thread_local std::vector<unsigned char> sourceStorage;
    thread_local std::vector<unsigned char> copyStorage;
    const ReleaseLargeBuffers release{sourceStorage, copyStorage};
    const FileBytes source(sourcePath, sourceStorage);
    if (!source.isRead())
        return QStringLiteral("The source cannot be read: %1").arg(source.error());
    const FileBytes copy(copyPath, copyStorage);
    if (!copy.isRead())
        return QStringLiteral("The copy cannot be read: %1").arg(copy.error());
    JpegLayout copyLayout = parseJpegLayout(copy.data(), copy.size(), ScanExtent::StartOnly);
    JpegLayout sourceLayout = parseJpegLayout(source.data(), source.size(), ScanExtent::StartOnly);
    // Mostly everything from the first scan on is the same, trailer included,
    // and the source ends in EOI (scan data holds no unstuffed FF D9): then
    // nothing needs walking. A cut-off source still gets walked and named.
    const std::size_t sourceRest = source.size() - sourceLayout.scan.offset;
    const bool endsInEoi = source.size() >= 2 && source.data()[source.size() - 2] == 0xFF
        && source.data()[source.size() - 1] == 0xD9;
    const bool sameRest = endsInEoi && sourceLayout.error.isEmpty() && copyLayout.error.isEmpty()
        && sourceRest == copy.size() - copyLayout.scan.offset
        && std::memcmp(source.data() + sourceLayout.scan.offset,
                       copy.data() + copyLayout.scan.offset, sourceRest) == 0;
    if (sameRest) {
        sourceLayout.scan.length = copyLayout.scan.length = sourceRest;
    } else {
        sourceLayout = parseJpegLayout(source.data(), source.size());
        if (!sourceLayout.error.isEmpty())
            return QStringLiteral("The source is not a whole JPEG picture: %1").arg(sourceLayout.error);
        // The copy's scan is compared over the source's length instead of
        // being walked too: equal bytes end in the same EOI.
        if (!copyLayout.error.isEmpty())
            return QStringLiteral("The copy is not a whole JPEG picture: %1").arg(copyLayout.error);
        if (copy.size() - copyLayout.scan.offset < sourceLayout.scan.length)
            return QStringLiteral("The copy is not a whole JPEG picture: it ends inside its picture data");
        copyLayout.scan.length = sourceLayout.scan.length;
    }
    if (!samePictureData(source.data(), sourceLayout, copy.data(), copyLayout))
        return QStringLiteral("The picture data of the copy differs from the source");
    if (expected.tagName.isEmpty())
        return QString();
    return checkTag(copy.data(), copy.size(), copyLayout, sourceLayout.exifSegments.size(), expected);
}
