#include "writer/verify/jpegpicturedata.h"

#include "writer/report/reasons.h"
#include "writer/verify/slicedfile.h"

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

// The bytes of a file already in memory, read the way SlicedFile reads a file.
class MemoryBytes {
public:
    MemoryBytes(const unsigned char *data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t size() const { return m_size; }
    const unsigned char *bytes(std::size_t at, std::size_t length) const
    {
        return at <= m_size && length <= m_size - at ? m_data + at : nullptr;
    }
    std::size_t find(unsigned char byte, std::size_t from) const
    {
        if (from >= m_size)
            return m_size;
        const void *found = std::memchr(m_data + from, byte, m_size - from);
        return found ? std::size_t(static_cast<const unsigned char *>(found) - m_data) : m_size;
    }

private:
    const unsigned char *m_data;
    std::size_t m_size;
};

// Reads through `bytes` and `find` only, a few bytes at a time, so a file
// read in slices is walked as it is read.
template <typename Source>
class Reader {
public:
    Reader(Source &source, ScanExtent extent) : m_source(source), m_extent(extent) {}

    JpegLayout parse()
    {
        JpegLayout layout;
        if (byteAt(0) != kMarker || byteAt(1) != kSoi)
            return failed(layout, because(Reason::NotJpegStart));
        std::size_t at = 2;
        for (;;) {
            unsigned char code = 0;
            std::size_t markerStart = 0;
            if (!nextMarker(at, code, markerStart))
                return failed(layout, because(Reason::EndsBeforePicture));
            if (code == kEoi)
                return failed(layout, because(Reason::NoPictureData));
            if (isStandalone(code)) {
                layout.pictureSegments.push_back({markerStart, at - markerStart});
                continue;
            }
            std::size_t segmentEnd = 0;
            if (!segment(at, segmentEnd))
                return failed(layout, because(Reason::SegmentPastEnd));
            if (code == kSos) {
                layout.scan.offset = markerStart;
                if (m_extent == ScanExtent::StartOnly)
                    return layout;
                std::size_t end = 0;
                if (!scanToEnd(segmentEnd, end))
                    return failed(layout, because(Reason::EndsInsidePicture));
                layout.scan.length = end - markerStart;
                return layout;
            }
            if (code == 0xE1 && segmentEnd - at >= 8 && isExifHeader(at + 2))
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

    // The byte at `at`; -1 past the end or when it cannot be read.
    int byteAt(std::size_t at) const
    {
        const unsigned char *byte = m_source.bytes(at, 1);
        return byte ? *byte : -1;
    }

    bool isExifHeader(std::size_t at) const
    {
        const unsigned char *header = m_source.bytes(at, 6);
        return header && std::memcmp(header, "Exif\0\0", 6) == 0;
    }

    // Finds the marker at `at`, skipping fill bytes (FF FF ...); leaves `at`
    // just after its code byte.
    bool nextMarker(std::size_t &at, unsigned char &code, std::size_t &markerStart) const
    {
        if (byteAt(at) != kMarker)
            return false;
        int next = byteAt(at + 1);
        while (next == kMarker) {
            ++at;
            next = byteAt(at + 1);
        }
        if (next < 0)
            return false;
        markerStart = at;
        code = static_cast<unsigned char>(next);
        at += 2;
        return code != 0x00;
    }

    // `at` is just after a marker with a length field; gives the segment's end.
    bool segment(std::size_t at, std::size_t &end) const
    {
        const unsigned char *field = m_source.bytes(at, 2);
        if (!field)
            return false;
        const std::size_t length = (std::size_t(field[0]) << 8) | field[1];
        if (length < 2 || length > m_source.size() - at)
            return false;
        end = at + length;
        return true;
    }

    // Walks entropy-coded data and the segments between scans up to EOI;
    // gives the position just after EOI.
    bool scanToEnd(std::size_t at, std::size_t &end) const
    {
        for (;;) {
            at = m_source.find(kMarker, at);
            const int next = byteAt(at + 1);
            if (next < 0)
                return false;
            const auto code = static_cast<unsigned char>(next);
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
    }

    Source &m_source;
    ScanExtent m_extent;
};

} // namespace

JpegLayout parseJpegLayout(const unsigned char *data, std::size_t size, ScanExtent extent)
{
    MemoryBytes bytes(data, size);
    return Reader<MemoryBytes>(bytes, extent).parse();
}

JpegLayout parseJpegLayout(SlicedFile &file, ScanExtent extent)
{
    return Reader<SlicedFile>(file, extent).parse();
}

bool samePictureSegments(SlicedFile &source, const JpegLayout &sourceLayout, SlicedFile &copy,
                         const JpegLayout &copyLayout)
{
    const auto &a = sourceLayout.pictureSegments;
    const auto &b = copyLayout.pictureSegments;
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].length != b[i].length || !sameBytes(source, a[i].offset, copy, b[i].offset, a[i].length))
            return false;
    return true;
}
