#include "writer/verify/verifier.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "writer/report/reasons.h"
#include "writer/report/shorttext.h"
#include "writer/tags/datevalue.h"
#include "writer/verify/exiv2tags.h"
#include "writer/verify/jpegpicturedata.h"
#include "writer/verify/slicedfile.h"
#include "writer/verify/tiffprefix.h"

namespace {

using Exiv2Tags::Encoding;
using TagKey = Exiv2Tags::Key;

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

QString compareStored(const TagKey &key, const QString &typed, const Exiv2::Exifdatum &datum)
{
    const QString stored = Exiv2Tags::storedText(key, datum);
    if (key.encoding == Encoding::Date)
        return compareDate(typed, stored);
    if (stored == typed)
        return QString();
    if (key.encoding == Encoding::Ucs2 && hasCharactersBeyondUcs2(typed))
        return because(Reason::NoCharactersBeyondUcs2, QLatin1String(key.tagName), storedInstead(stored));
    return storedInstead(stored);
}

QString shownInsteadNote(const QString &tagName, const Exiv2::ExifData &exif)
{
    const std::optional<Exiv2Tags::ShownInstead> shown = Exiv2Tags::shownInstead(tagName, exif);
    if (!shown)
        return QString();
    return because(Reason::ShownInstead, shown->shownWords, shown->writtenWords,
                   shortenedValue(shown->text));
}

// What Exiv2 found of the tag, against what was asked.
CopyCheck judgeTag(const TagKey &key, const Exiv2::ExifData &exif, const CopyExpectation &expected)
{
    const auto found = Exiv2Tags::find(exif, key);
    const bool present = found != exif.end();
    if (expected.value.isEmpty()) {
        if (present)
            return {because(Reason::TagLeftForEmptyValue, expected.tagName,
                            shortenedValue(Exiv2Tags::storedText(key, *found)))};
        return {};
    }
    if (!present && key.encoding == Encoding::Date && !exifToolAcceptsDate(expected.value))
        return {because(Reason::DateNotTaken, shortenedValue(expected.value))};
    if (!present)
        return {because(Reason::TagNotStored, expected.tagName)};
    CopyCheck check{compareStored(key, expected.value, *found), QString()};
    if (check.wrong.isEmpty())
        check.note = shownInsteadNote(expected.tagName, exif);
    return check;
}

// Exiv2 reads only the directories that hold the tag (and the tag Windows
// shows in its place), not maker notes, GPS or the thumbnail. Only a copy
// that passes is answered so: every other answer comes from the whole block.
std::optional<CopyCheck> passedOnPrefix(const TagKey &key, const std::vector<unsigned char> &header,
                                        const CopyExpectation &expected)
{
    // SOI, the APP1 marker, its length and "Exif\0\0" come before the TIFF
    // block; SOS follows it.
    constexpr std::size_t kBefore = 12;
    constexpr std::size_t kAfter = 2;
    if (header.size() <= kBefore + kAfter)
        return std::nullopt;
    const unsigned char *tiff = header.data() + kBefore;
    const std::size_t size = header.size() - kBefore - kAfter;
    const unsigned short ifd0Tags[] = {static_cast<unsigned short>(key.inExifIfd ? 0 : key.tag),
                                       Exiv2Tags::shownInsteadTag(expected.tagName)};
    const std::size_t prefix = tiffPrefixFor(tiff, size, ifd0Tags, 2, key.inExifIfd ? key.tag : 0);
    if (prefix == 0)
        return std::nullopt;
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, tiff, static_cast<std::uint32_t>(prefix));
        CopyCheck check = judgeTag(key, exif, expected);
        if (check.wrong.isEmpty())
            return check;
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

// `header` is a JPEG header holding the copy's first EXIF block, which is all
// Exiv2 reads the tags from.
CopyCheck checkTag(const std::vector<unsigned char> &header, std::size_t copyExifBlocks,
                   std::size_t sourceExifBlocks, const CopyExpectation &expected)
{
    const TagKey *key = Exiv2Tags::keyFor(expected.tagName);
    if (!key)
        return {because(Reason::TagCannotBeChecked, expected.tagName)};
    // A value too large for one block makes ExifTool continue the EXIF in
    // further APP1 segments, which Exiv2 and most programs ignore.
    if (copyExifBlocks > std::max<std::size_t>(1, sourceExifBlocks))
        return {because(Reason::MetadataSplit, QString::number(copyExifBlocks))};
    if (std::optional<CopyCheck> passed = passedOnPrefix(*key, header, expected))
        return *passed;
    try {
        auto image = Exiv2::ImageFactory::open(header.data(), static_cast<Exiv2Tags::Size>(header.size()));
        if (!image.get())
            return {because(Reason::Exiv2CannotReadCopy)};
        image->readMetadata();
        return judgeTag(*key, image->exifData(), expected);
    } catch (const std::exception &error) {
        return {because(Reason::Exiv2CannotReadMetadata, QString::fromLocal8Bit(error.what()))};
    }
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
    if (headersRead && !expected.tagName.isEmpty() && !Exiv2Tags::readExifHeader(copy, copyLayout, exifHeader))
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
    if (file.error().isEmpty() && file.keptItsSize())
        return QString();
    return file.error().isEmpty() ? because(Reason::ChangedWhileRead) : file.error();
}

} // namespace

CopyCheck verifyCopy(const QByteArray &sourcePath, const QByteArray &copyPath,
                     const CopyExpectation &expected, std::size_t sliceBytes)
{
    Exiv2Tags::initialiseOnce();
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
