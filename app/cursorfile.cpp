#include "app/cursorfile.h"

namespace {

constexpr int DirectorySize = 6; // reserved, type, count
constexpr int EntrySize = 16;
constexpr quint16 CursorType = 2; // 1 is an icon, whose entry holds no hotspot

// Little-endian, byte by byte: the caller has checked the size.
quint16 word(const QByteArray &data, int at)
{
    return quint16(uchar(data.at(at)) | (uchar(data.at(at + 1)) << 8));
}

// A stated width or height of 0 means 256.
int stated(const QByteArray &data, int at)
{
    const int value = uchar(data.at(at));
    return value == 0 ? 256 : value;
}

} // namespace

std::optional<QPoint> cursorHotspot(const QByteArray &data, QSize imageSize)
{
    if (data.size() < DirectorySize + EntrySize || word(data, 0) != 0 || word(data, 2) != CursorType
        || word(data, 4) == 0)
        return std::nullopt;
    // In a cursor's entry the planes and bit-count fields hold the hotspot.
    const int entry = DirectorySize;
    QPoint hotspot(word(data, entry + 4), word(data, entry + 6));
    if (imageSize.isValid()) {
        hotspot.setX(hotspot.x() * imageSize.width() / stated(data, entry));
        hotspot.setY(hotspot.y() * imageSize.height() / stated(data, entry + 1));
    }
    return hotspot;
}
