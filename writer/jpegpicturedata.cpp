#include "writer/jpegpicturedata.h"

#include <cstring>

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kEoi = 0xD9;
constexpr unsigned char kSos = 0xDA;
constexpr unsigned char kCom = 0xFE;

bool isRestart(unsigned char code)
{
    return code >= 0xD0 && code <= 0xD7;
}

// Markers without a length field: SOI, EOI, RSTn and TEM.
bool isStandalone(unsigned char code)
{
    return code == kSoi || code == kEoi || isRestart(code) || code == 0x01;
}

bool isMetadata(unsigned char code)
{
    return (code >= 0xE0 && code <= 0xEF) || code == kCom;
}

class Reader {
public:
    Reader(const unsigned char *data, std::size_t size, ScanExtent extent)
        : m_data(data), m_size(size), m_extent(extent) {}

    JpegLayout parse()
    {
        JpegLayout layout;
        if (m_size < 2 || m_data[0] != kMarker || m_data[1] != kSoi)
            return failed(layout, QStringLiteral("it does not begin like a JPEG file"));
        std::size_t at = 2;
        for (;;) {
            unsigned char code = 0;
            std::size_t markerStart = 0;
            if (!nextMarker(at, code, markerStart))
                return failed(layout, QStringLiteral("it ends before its picture data"));
            if (code == kEoi)
                return failed(layout, QStringLiteral("it holds no picture data"));
            if (isStandalone(code)) {
                layout.pictureSegments.push_back({markerStart, at - markerStart});
                continue;
            }
            std::size_t segmentEnd = 0;
            if (!segment(at, segmentEnd))
                return failed(layout, QStringLiteral("a segment runs past the end of the file"));
            if (code == kSos) {
                layout.scan.offset = markerStart;
                if (m_extent == ScanExtent::StartOnly)
                    return layout;
                std::size_t end = 0;
                if (!scanToEnd(segmentEnd, end))
                    return failed(layout, QStringLiteral("it ends inside its picture data"));
                layout.scan.length = end - markerStart;
                return layout;
            }
            if (code == 0xE1 && segmentEnd - at >= 8 && std::memcmp(m_data + at + 2, "Exif\0\0", 6) == 0)
                layout.exifSegments.push_back({at + 8, segmentEnd - at - 8});
            else if (!isMetadata(code))
                layout.pictureSegments.push_back({markerStart, segmentEnd - markerStart});
            at = segmentEnd;
        }
    }

private:
    static JpegLayout failed(JpegLayout &layout, const QString &why)
    {
        layout.error = why;
        layout.pictureSegments.clear();
        layout.exifSegments.clear();
        layout.scan = {};
        return layout;
    }

    // Finds the marker at `at`, skipping fill bytes (FF FF ...); leaves `at`
    // just after its code byte.
    bool nextMarker(std::size_t &at, unsigned char &code, std::size_t &markerStart) const
    {
        if (at >= m_size || m_data[at] != kMarker)
            return false;
        while (at + 1 < m_size && m_data[at + 1] == kMarker)
            ++at;
        if (at + 1 >= m_size)
            return false;
        markerStart = at;
        code = m_data[at + 1];
        at += 2;
        return code != 0x00;
    }

    // `at` is just after a marker with a length field; gives the segment's end.
    bool segment(std::size_t at, std::size_t &end) const
    {
        if (at + 2 > m_size)
            return false;
        const std::size_t length = (std::size_t(m_data[at]) << 8) | m_data[at + 1];
        if (length < 2 || at + length > m_size)
            return false;
        end = at + length;
        return true;
    }

    // Walks entropy-coded data and the segments between scans up to EOI;
    // gives the position just after EOI.
    bool scanToEnd(std::size_t at, std::size_t &end) const
    {
        while (at < m_size) {
            const void *found = std::memchr(m_data + at, kMarker, m_size - at);
            if (!found)
                return false;
            at = std::size_t(static_cast<const unsigned char *>(found) - m_data);
            if (at + 1 >= m_size)
                return false;
            const unsigned char code = m_data[at + 1];
            if (code == 0x00 || isRestart(code) || code == kMarker) {
                // Stuffed byte, restart marker or fill byte: still scan data.
                at += code == kMarker ? 1 : 2;
                continue;
            }
            if (code == kEoi) {
                end = at + 2;
                return true;
            }
            if (isStandalone(code)) {
                at += 2;
                continue;
            }
            std::size_t segmentEnd = 0;
            if (!segment(at + 2, segmentEnd))
                return false;
            at = segmentEnd;
        }
        return false;
    }

    const unsigned char *m_data;
    std::size_t m_size;
    ScanExtent m_extent;
};

bool sameBytes(const unsigned char *a, JpegLayout::Span x, const unsigned char *b, JpegLayout::Span y)
{
    return x.length == y.length && std::memcmp(a + x.offset, b + y.offset, x.length) == 0;
}

} // namespace

JpegLayout parseJpegLayout(const unsigned char *data, std::size_t size, ScanExtent extent)
{
    return Reader(data, size, extent).parse();
}

bool samePictureData(const unsigned char *sourceData, const JpegLayout &source,
                     const unsigned char *copyData, const JpegLayout &copy)
{
    if (source.pictureSegments.size() != copy.pictureSegments.size())
        return false;
    for (std::size_t i = 0; i < source.pictureSegments.size(); ++i)
        if (!sameBytes(sourceData, source.pictureSegments[i], copyData, copy.pictureSegments[i]))
            return false;
    return sameBytes(sourceData, source.scan, copyData, copy.scan);
}
