#include "writer/verify/exiv2tags.h"

#include <QStringDecoder>
#include <algorithm>
#include <mutex>
#include <vector>

#include "writer/verify/jpegpicturedata.h"
#include "writer/verify/slicedfile.h"

namespace {

// Where ExifTool 12.57 stores each writable tag in a JPEG copy.
constexpr Exiv2Tags::Key kKeys[] = {
    {"XPTitle", "Exif.Image.XPTitle", Exiv2Tags::Encoding::Ucs2, 0x9c9b, false},
    {"XPSubject", "Exif.Image.XPSubject", Exiv2Tags::Encoding::Ucs2, 0x9c9f, false},
    {"XPKeywords", "Exif.Image.XPKeywords", Exiv2Tags::Encoding::Ucs2, 0x9c9e, false},
    {"XPAuthor", "Exif.Image.XPAuthor", Exiv2Tags::Encoding::Ucs2, 0x9c9d, false},
    {"XPComment", "Exif.Image.XPComment", Exiv2Tags::Encoding::Ucs2, 0x9c9c, false},
    {"ImageDescription", "Exif.Image.ImageDescription", Exiv2Tags::Encoding::Utf8, 0x010e, false},
    {"Make", "Exif.Image.Make", Exiv2Tags::Encoding::Utf8, 0x010f, false},
    {"Model", "Exif.Image.Model", Exiv2Tags::Encoding::Utf8, 0x0110, false},
    {"Software", "Exif.Image.Software", Exiv2Tags::Encoding::Utf8, 0x0131, false},
    {"Artist", "Exif.Image.Artist", Exiv2Tags::Encoding::Utf8, 0x013b, false},
    {"ModifyDate", "Exif.Image.DateTime", Exiv2Tags::Encoding::Date, 0x0132, false},
    {"DateTimeOriginal", "Exif.Photo.DateTimeOriginal", Exiv2Tags::Encoding::Date, 0x9003, true},
    {"CreateDate", "Exif.Photo.DateTimeDigitized", Exiv2Tags::Encoding::Date, 0x9004, true},
};

// Windows Explorer shows ImageDescription in place of XPTitle, and Artist in
// place of XPAuthor, whenever they exist (ExifTool's notes on XPTitle and
// XPAuthor); most camera photos carry an ImageDescription.
struct ShownInsteadRule {
    const char *tagName;
    unsigned short tag;
    const char *shownWords;
    const char *writtenWords;
};

constexpr ShownInsteadRule kShownInstead[] = {
    {"XPTitle", 0x010e, "Image Description", "Title"},
    {"XPAuthor", 0x013b, "Artist", "Author"},
};

std::vector<unsigned char> bytesOf(const Exiv2::Exifdatum &datum)
{
    std::vector<unsigned char> bytes(datum.size());
    if (!bytes.empty())
        datum.copy(bytes.data(), Exiv2::littleEndian);
    return bytes;
}

QString decodeUcs2(const std::vector<unsigned char> &bytes)
{
    std::size_t size = bytes.size() - bytes.size() % 2;
    while (size >= 2 && bytes[size - 1] == 0 && bytes[size - 2] == 0)
        size -= 2;
    QString text;
    text.reserve(qsizetype(size / 2));
    for (std::size_t i = 0; i < size; i += 2)
        text.append(QChar(char16_t(bytes[i] | (bytes[i + 1] << 8))));
    return text;
}

QByteArrayView withoutClosingNuls(const std::vector<unsigned char> &bytes)
{
    std::size_t size = bytes.size();
    while (size > 0 && bytes[size - 1] == 0)
        --size;
    return QByteArrayView(bytes.data(), qsizetype(size));
}

// UTF-8 when it is, else Latin-1.
QString cameraDecoded(QByteArrayView view)
{
    // Stateless: a Latin-1 letter at the very end ("Café") is an error, not
    // the start of a sequence left for more bytes.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(view);
    if (utf8.hasError())
        text = QString::fromLatin1(view);
    return text;
}

bool isBlank(QChar c)
{
    return c.isSpace() || c.isNull();
}

// Cameras pad these tags with blanks or NULs.
QString trimmedBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && isBlank(text.at(first)))
        ++first;
    while (end > first && isBlank(text.at(end - 1)))
        --end;
    return text.mid(first, end - first);
}

} // namespace

void Exiv2Tags::initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Exiv2 writes its warnings to stderr, where they would mix with the tool's.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Not thread-safe on first use; done once before any worker reads.
        Exiv2::XmpParser::initialize();
    });
}

const Exiv2Tags::Key *Exiv2Tags::keyFor(const QString &tagName)
{
    for (const Key &key : kKeys)
        if (tagName == QLatin1String(key.tagName))
            return &key;
    return nullptr;
}

namespace {

Exiv2::ExifData::const_iterator findTag(const Exiv2::ExifData &exif, unsigned short tag, bool inExifIfd)
{
    const char *group = inExifIfd ? "Photo" : "Image";
    return std::find_if(exif.begin(), exif.end(), [&](const Exiv2::Exifdatum &datum) {
        return datum.tag() == tag && datum.groupName() == group;
    });
}

} // namespace

Exiv2::ExifData::const_iterator Exiv2Tags::find(const Exiv2::ExifData &exif, const Key &key)
{
    return findTag(exif, key.tag, key.inExifIfd);
}

QString Exiv2Tags::storedText(const Key &key, const Exiv2::Exifdatum &datum)
{
    const std::vector<unsigned char> bytes = bytesOf(datum);
    if (key.encoding == Encoding::Ucs2)
        return decodeUcs2(bytes);
    return QString::fromUtf8(withoutClosingNuls(bytes));
}

QString Exiv2Tags::shownText(const Key &key, const Exiv2::Exifdatum &datum)
{
    const std::vector<unsigned char> bytes = bytesOf(datum);
    if (key.encoding == Encoding::Ucs2)
        return decodeUcs2(bytes);
    return cameraDecoded(withoutClosingNuls(bytes));
}

std::optional<Exiv2Tags::ShownInstead> Exiv2Tags::shownInstead(const QString &tagName,
                                                               const Exiv2::ExifData &exif)
{
    for (const ShownInsteadRule &rule : kShownInstead) {
        if (tagName != QLatin1String(rule.tagName))
            continue;
        const auto found = findTag(exif, rule.tag, false);
        if (found == exif.end())
            return std::nullopt;
        const std::vector<unsigned char> bytes = bytesOf(*found);
        const QString text =
            trimmedBlanks(cameraDecoded(QByteArrayView(bytes.data(), qsizetype(bytes.size()))));
        if (text.isEmpty())
            return std::nullopt;
        return ShownInstead{QLatin1String(rule.shownWords), QLatin1String(rule.writtenWords), text};
    }
    return std::nullopt;
}

unsigned short Exiv2Tags::shownInsteadTag(const QString &tagName)
{
    for (const ShownInsteadRule &rule : kShownInstead)
        if (tagName == QLatin1String(rule.tagName))
            return rule.tag;
    return 0;
}

bool Exiv2Tags::readExifHeader(SlicedFile &file, const JpegLayout &layout,
                               std::vector<unsigned char> &header)
{
    header.assign({0xFF, 0xD8});
    if (!layout.exifSegments.empty()) {
        // The payload follows the marker, the length field and "Exif\0\0".
        constexpr std::size_t kBefore = 10;
        const JpegLayout::Span exif = layout.exifSegments.front();
        const std::size_t length = exif.length + kBefore;
        for (std::size_t done = 0; done < length;) {
            const std::size_t part = std::min(file.sliceBytes(), length - done);
            const unsigned char *bytes = file.bytes(exif.offset - kBefore + done, part);
            if (!bytes)
                return false;
            header.insert(header.end(), bytes, bytes + part);
            done += part;
        }
    }
    header.insert(header.end(), {0xFF, 0xDA});
    return true;
}
