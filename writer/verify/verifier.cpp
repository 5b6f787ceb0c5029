#include "writer/verify/verifier.h"

#include <exiv2/exiv2.hpp>

#include <QStringDecoder>
#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "writer/report/reasons.h"
#include "writer/report/shorttext.h"
#include "writer/tags/datevalue.h"
#include "writer/verify/jpegpicturedata.h"
#include "writer/verify/slicedfile.h"

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
    return because(Reason::StoredInstead, shortenedValue(stored));
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
            return because(Reason::StoredForNow, shortenedValue(stored));
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
        return because(Reason::NoCharactersBeyondUcs2, QLatin1String(key.tagName), storedInstead(stored));
    return storedInstead(stored);
}

// Windows Explorer shows ImageDescription in place of XPTitle, and Artist in
// place of XPAuthor, whenever they exist (ExifTool's notes on XPTitle and
// XPAuthor); most camera photos carry an ImageDescription.
struct ShownInstead {
    const char *tagName;
    const char *exiv2Key;
    const char *shownWords;
    const char *writtenWords;
};

constexpr ShownInstead kShownInstead[] = {
    {"XPTitle", "Exif.Image.ImageDescription", "Image Description", "Title"},
    {"XPAuthor", "Exif.Image.Artist", "Artist", "Author"},
};

bool isBlank(QChar c)
{
    return c.isSpace() || c.isNull();
}

// Cameras pad these tags with blanks or NULs, and older ones store Latin-1.
QString cameraText(const Exiv2::Exifdatum &datum)
{
    std::vector<unsigned char> bytes(datum.size());
    if (!bytes.empty())
        datum.copy(bytes.data(), Exiv2::littleEndian);
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8(view);
    if (utf8.hasError())
        text = QString::fromLatin1(view);
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && isBlank(text.at(first)))
        ++first;
    while (end > first && isBlank(text.at(end - 1)))
        --end;
    return text.mid(first, end - first);
}

QString shownInsteadNote(const QString &tagName, const Exiv2::ExifData &exif)
{
    for (const ShownInstead &rule : kShownInstead) {
        if (tagName != QLatin1String(rule.tagName))
            continue;
        const auto found = exif.findKey(Exiv2::ExifKey(rule.exiv2Key));
        const QString text = found == exif.end() ? QString() : cameraText(*found);
        if (text.isEmpty())
            return QString();
        return because(Reason::ShownInstead, QLatin1String(rule.shownWords),
                       QLatin1String(rule.writtenWords), shortenedValue(text));
    }
    return QString();
}

// `header` is a JPEG header holding the copy's first EXIF block, which is all
// Exiv2 reads the tags from.
CopyCheck checkTag(const std::vector<unsigned char> &header, std::size_t copyExifBlocks,
                   std::size_t sourceExifBlocks, const CopyExpectation &expected)
{
    const TagKey *key = keyFor(expected.tagName);
    if (!key)
        return {because(Reason::TagCannotBeChecked, expected.tagName)};
    // A value too large for one block makes ExifTool continue the EXIF in
    // further APP1 segments, which Exiv2 and most programs ignore.
    if (copyExifBlocks > std::max<std::size_t>(1, sourceExifBlocks))
        return {because(Reason::MetadataSplit, QString::number(copyExifBlocks))};
    try {
        auto image = Exiv2::ImageFactory::open(header.data(), static_cast<Exiv2Size>(header.size()));
        if (!image.get())
            return {because(Reason::Exiv2CannotReadCopy)};
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        const auto found = exif.findKey(Exiv2::ExifKey(key->exiv2Key));
        const bool present = found != exif.end();
        if (expected.value.isEmpty()) {
            if (present)
                return {because(Reason::TagLeftForEmptyValue, expected.tagName,
                                shortenedValue(storedText(*key, *found)))};
            return {};
        }
        if (!present && key->encoding == Encoding::Date && !exifToolAcceptsDate(expected.value))
            return {because(Reason::DateNotTaken, shortenedValue(expected.value))};
        if (!present)
            return {because(Reason::TagNotStored, expected.tagName)};
        CopyCheck check{compareStored(*key, expected.value, *found), QString()};
        if (check.wrong.isEmpty())
            check.note = shownInsteadNote(expected.tagName, exif);
        return check;
    } catch (const std::exception &error) {
        return {because(Reason::Exiv2CannotReadMetadata, QString::fromLocal8Bit(error.what()))};
    }
}

// SOI, the copy's first EXIF segment as it stands, and SOS: Exiv2 reads no
// further, and a header this small keeps the check's memory bounded however
// many segments the copy carries.
bool readExifHeader(SlicedFile &copy, const JpegLayout &layout, std::vector<unsigned char> &header)
{
    header.assign({0xFF, 0xD8});
    if (!layout.exifSegments.empty()) {
        // The payload follows the marker, the length field and "Exif\0\0".
        constexpr std::size_t kBefore = 10;
        const JpegLayout::Span exif = layout.exifSegments.front();
        const std::size_t length = exif.length + kBefore;
        for (std::size_t done = 0; done < length;) {
            const std::size_t part = std::min(copy.sliceBytes(), length - done);
            const unsigned char *bytes = copy.bytes(exif.offset - kBefore + done, part);
            if (!bytes)
                return false;
            header.insert(header.end(), bytes, bytes + part);
            done += part;
        }
    }
    header.insert(header.end(), {0xFF, 0xDA});
    return true;
}

CopyCheck checkOpened(SlicedFile &source, SlicedFile &copy, const CopyExpectation &expected)
{
    JpegLayout sourceLayout = parseJpegLayout(source, ScanExtent::StartOnly);
    const JpegLayout copyLayout = parseJpegLayout(copy, ScanExtent::StartOnly);
    const bool headersRead = sourceLayout.error.isEmpty() && copyLayout.error.isEmpty();
    // Both headers are still in the slices at hand: everything taken from
    // them is taken now.
    const bool sameSegments =
        headersRead && samePictureSegments(source, sourceLayout, copy, copyLayout);
    thread_local std::vector<unsigned char> exifHeader;
    if (headersRead && !expected.tagName.isEmpty() && !readExifHeader(copy, copyLayout, exifHeader))
        return {}; // the copy's read error is the answer

    // Mostly everything from the first scan on is the same, trailer included,
    // and the source ends in EOI (scan data holds no unstuffed FF D9): then
    // nothing needs walking. A cut-off source still gets walked and named.
    const std::size_t sourceRest = source.size() - sourceLayout.scan.offset;
    bool sameRest = headersRead && sourceRest >= 2
        && sourceRest == copy.size() - copyLayout.scan.offset
        && sameBytes(source, sourceLayout.scan.offset, copy, copyLayout.scan.offset, sourceRest);
    if (sameRest) {
        const unsigned char *end = source.bytes(source.size() - 2, 2);
        sameRest = end && end[0] == 0xFF && end[1] == 0xD9;
    }
    if (!sameRest) {
        sourceLayout = parseJpegLayout(source);
        if (!sourceLayout.error.isEmpty())
            return {because(Reason::SourceNotWhole, sourceLayout.error)};
        // The copy's scan is compared over the source's length instead of
        // being walked too: equal bytes end in the same EOI.
        if (!copyLayout.error.isEmpty())
            return {because(Reason::CopyNotWhole, copyLayout.error)};
        if (copy.size() - copyLayout.scan.offset < sourceLayout.scan.length)
            return {because(Reason::CopyNotWhole, because(Reason::EndsInsidePicture))};
        if (!sameBytes(source, sourceLayout.scan.offset, copy, copyLayout.scan.offset,
                       sourceLayout.scan.length))
            return {because(Reason::PictureDiffers)};
    }
    if (!sameSegments)
        return {because(Reason::PictureDiffers)};
    if (expected.tagName.isEmpty())
        return {};
    return checkTag(exifHeader, copyLayout.exifSegments.size(), sourceLayout.exifSegments.size(),
                    expected);
}

// Why the file could not be read whole, or nothing.
QString unreadable(SlicedFile &file)
{
    if (!file.error().isEmpty())
        return file.error();
    if (!file.keptItsSize())
        return because(Reason::ChangedWhileRead);
    return QString();
}

} // namespace

CopyCheck verifyCopy(const QByteArray &sourcePath, const QByteArray &copyPath,
                     const CopyExpectation &expected, std::size_t sliceBytes)
{
    initialiseExiv2Once();
    // Each worker thread keeps its slices from one copy to the next.
    thread_local std::vector<unsigned char> sourceSlice;
    thread_local std::vector<unsigned char> copySlice;
    SlicedFile source(sourcePath, sourceSlice, sliceBytes);
    if (!source.error().isEmpty())
        return {because(Reason::SourceCannotBeRead, source.error())};
    SlicedFile copy(copyPath, copySlice, sliceBytes);
    if (!copy.error().isEmpty())
        return {because(Reason::CopyCannotBeRead, copy.error())};
    const CopyCheck check = checkOpened(source, copy, expected);
    // A read that failed on the way is the answer, whatever the walk made of it.
    const QString sourceUnreadable = unreadable(source);
    if (!sourceUnreadable.isEmpty())
        return {because(Reason::SourceCannotBeRead, sourceUnreadable)};
    const QString copyUnreadable = unreadable(copy);
    if (!copyUnreadable.isEmpty())
        return {because(Reason::CopyCannotBeRead, copyUnreadable)};
    return check;
}
