#pragma once

#include <QString>
#include <cstddef>
#include <vector>

class SlicedFile;

// Where the picture lives in a JPEG file. Metadata (APPn segments and
// comments) may change when a tag is written; nothing else may.
struct JpegLayout {
    struct Span {
        std::size_t offset = 0;
        std::size_t length = 0;
    };
    QString error;                       // why the bytes are not a whole JPEG; empty when they are
    std::vector<Span> pictureSegments;   // segments before the first scan other than APPn and COM, marker included
    Span scan;                           // from the first SOS marker to the end of EOI
    std::vector<Span> exifSegments;      // APP1 payloads that start with "Exif\0\0", header excluded
};

enum class ScanExtent {
    WalkToEnd,  // follow the scan data to EOI: the file is known whole
    StartOnly,  // stop at the first SOS; the scan's length stays 0
};

JpegLayout parseJpegLayout(const unsigned char *data, std::size_t size,
                           ScanExtent extent = ScanExtent::WalkToEnd);
// The same, read from the file one slice at a time. A read error shows as a
// layout error here; the file's error() tells it apart.
JpegLayout parseJpegLayout(SlicedFile &file, ScanExtent extent = ScanExtent::WalkToEnd);

// True when both files hold the same picture segments, in the same order.
bool samePictureSegments(SlicedFile &source, const JpegLayout &sourceLayout, SlicedFile &copy,
                         const JpegLayout &copyLayout);
