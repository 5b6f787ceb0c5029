#include "app/details/picturefacts.h"

#include <QByteArrayView>

#include "app/details/thumbnaildecode.h"
#include "platform/files.h"
#include "writer/engine/admission.h"
#include "writer/report/reasons.h"
#include "writer/tags/tagcatalogue.h"
#include "writer/verify/exiv2tags.h"
#include "writer/verify/jpegpicturedata.h"
#include "writer/verify/slicedfile.h"

namespace {

// Most cameras' EXIF block, thumbnail and maker notes included, fits one slice.
constexpr std::size_t kSlice = 64 * 1024;

bool isFrameHeader(unsigned char marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

QSize framePixels(SlicedFile &file, const JpegLayout &layout)
{
    for (const JpegLayout::Span &segment : layout.pictureSegments) {
        if (segment.length < 9)
            continue;
        const unsigned char *bytes = file.bytes(segment.offset, 9);
        if (!bytes || !isFrameHeader(bytes[1]))
            continue;
        return QSize((bytes[7] << 8) | bytes[8], (bytes[5] << 8) | bytes[6]);
    }
    return QSize();
}

void readTags(const std::vector<unsigned char> &header, PictureFacts &facts,
              const PictureReadOptions &options)
{
    try {
        auto image = Exiv2::ImageFactory::open(header.data(), static_cast<Exiv2Tags::Size>(header.size()));
        if (!image.get())
            return;
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        int index = 0;
        for (const TagRow &row : TagCatalogue()) {
            const QString tagName = TagNameOf(QString::fromLatin1(row.option));
            const Exiv2Tags::Key *key = Exiv2Tags::keyFor(tagName);
            const auto found = key ? exif.findKey(Exiv2::ExifKey(key->exiv2Key)) : exif.end();
            if (found != exif.end())
                facts.values[std::size_t(index)] = Exiv2Tags::shownText(*key, *found);
            if (const auto shown = Exiv2Tags::shownInstead(tagName, exif)) {
                const std::optional<QString> &own = facts.values[std::size_t(index)];
                if (!own || *own != shown->text)
                    facts.shownInstead[std::size_t(index)] = ShownElsewhere{shown->shownWords, shown->text};
            }
            ++index;
        }
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0) {
            const long turn = orientation->toLong();
            facts.orientation = turn >= 1 && turn <= 8 ? int(turn) : 1;
        }
        if (options.thumbnail) {
            const Exiv2::ExifThumbC embedded(exif);
            const Exiv2::DataBuf data = embedded.copy();
#if EXIV2_TEST_VERSION(0, 28, 0)
            const QByteArrayView bytes(data.c_data(), qsizetype(data.size()));
#else
            const QByteArrayView bytes(data.pData_, qsizetype(data.size_));
#endif
            if (!bytes.isEmpty())
                facts.thumbnail = decodeEmbeddedThumbnail(bytes, facts.orientation);
        }
    } catch (const std::exception &error) {
        facts.metadataNote = QStringLiteral("The tags cannot be read: %1")
                                 .arg(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace

std::optional<QString> PictureFacts::dateTaken() const
{
    // Date and Time (original), then (digitized), then the file's last change.
    for (const std::size_t index : {std::size_t(11), std::size_t(12), std::size_t(10)})
        if (values[index] && !values[index]->isEmpty())
            return values[index];
    return std::nullopt;
}

int tagIndexOf(const QString &label)
{
    int index = 0;
    for (const TagRow &row : TagCatalogue()) {
        if (label == QLatin1String(row.label))
            return index;
        ++index;
    }
    return -1;
}

PictureFacts readPictureFacts(const QByteArray &path, const PictureReadOptions &options)
{
    Exiv2Tags::initialiseOnce();
    PictureFacts facts;
    // The name is looked at before anything opens it: a pipe or a device is
    // never opened for reading.
    const Platform::FileStatus named = Platform::statusOf(path);
    if (!named.ok()) {
        facts.error = readFailure(named.error);
        return facts;
    }
    if (const QString refusal = refusalForKind(named.kind); !refusal.isEmpty()) {
        facts.error = refusal;
        return facts;
    }
    thread_local std::vector<unsigned char> slice;
    SlicedFile file(path, slice, kSlice);
    if (!file.error().isEmpty()) {
        facts.error = file.error() == because(Reason::NotRegularFile)
            ? because(Reason::IsDevice)
            : because(Reason::FileUnreadable, file.error());
        return facts;
    }
    facts.size = qint64(file.size());
    const unsigned char *head = file.bytes(0, std::min<std::size_t>(16, file.size()));
    facts.error = notJpegReason(head ? QByteArray(reinterpret_cast<const char *>(head),
                                                  qsizetype(std::min<std::size_t>(16, file.size())))
                                     : QByteArray());
    if (!facts.error.isEmpty())
        return facts;
    const JpegLayout layout = parseJpegLayout(file, ScanExtent::StartOnly);
    if (!layout.error.isEmpty()) {
        facts.error = file.error().isEmpty() ? because(Reason::SourceNotWhole, layout.error)
                                             : because(Reason::FileUnreadable, file.error());
        return facts;
    }
    facts.pixels = framePixels(file, layout);
    thread_local std::vector<unsigned char> header;
    if (!Exiv2Tags::readExifHeader(file, layout, header)) {
        facts.error = because(Reason::FileUnreadable, file.error());
        return facts;
    }
    readTags(header, facts, options);
    if (options.thumbnail && facts.thumbnail.isNull()) {
        if (facts.size > options.decodeLimitBytes)
            facts.thumbnailNote = QStringLiteral("No preview: the picture holds no thumbnail, and at "
                                                 "%1 MB it is too large to decode for one.")
                                      .arg(facts.size / (1024 * 1024));
        else
            facts.thumbnail = decodeScaled(path, facts.pixels, options, &facts.thumbnailNote);
    }
    return facts;
}
