#include "writer/verify/tiffprefix.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

constexpr unsigned short kExifIfdPointer = 0x8769;
constexpr std::size_t kEntryBytes = 12;

class Tiff {
public:
    Tiff(const unsigned char *bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    bool readHeader(std::uint32_t *firstIfd)
    {
        if (m_size < 8)
            return false;
        if (m_bytes[0] == 'I' && m_bytes[1] == 'I')
            m_bigEndian = false;
        else if (m_bytes[0] == 'M' && m_bytes[1] == 'M')
            m_bigEndian = true;
        else
            return false;
        if (u16(2) != 42)
            return false;
        *firstIfd = u32(4);
        return true;
    }

    // The end of the directory at `at`, its next-directory link included.
    std::optional<std::size_t> directoryEnd(std::size_t at) const
    {
        if (at > m_size || m_size - at < 2)
            return std::nullopt;
        const std::size_t end = at + 2 + kEntryBytes * u16(at) + 4;
        if (end > m_size)
            return std::nullopt;
        return end;
    }

    // The entry for `tag` in the directory at `at` (known whole), or nothing.
    std::optional<std::size_t> entry(std::size_t at, unsigned short tag) const
    {
        const std::size_t count = u16(at);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entryAt = at + 2 + kEntryBytes * i;
            if (u16(entryAt) == tag)
                return entryAt;
        }
        return std::nullopt;
    }

    // Where the entry's value ends; nothing for a type of unknown size or a
    // value past the block's end.
    std::optional<std::size_t> valueEnd(std::size_t entryAt) const
    {
        static constexpr std::uint8_t kTypeBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        const unsigned type = u16(entryAt + 2);
        if (type >= sizeof kTypeBytes || kTypeBytes[type] == 0)
            return std::nullopt;
        const std::uint64_t bytes = std::uint64_t(u32(entryAt + 4)) * kTypeBytes[type];
        if (bytes <= 4)
            return entryAt + kEntryBytes;
        const std::uint64_t end = std::uint64_t(u32(entryAt + 8)) + bytes;
        if (end > m_size)
            return std::nullopt;
        return std::size_t(end);
    }

    std::uint32_t u32(std::size_t at) const
    {
        const unsigned char *b = m_bytes + at;
        return m_bigEndian ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]
                           : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
    }

private:
    unsigned u16(std::size_t at) const
    {
        const unsigned char *b = m_bytes + at;
        return m_bigEndian ? unsigned(b[0]) << 8 | b[1] : unsigned(b[1]) << 8 | b[0];
    }

    const unsigned char *m_bytes;
    std::size_t m_size;
    bool m_bigEndian = false;
};

} // namespace

std::size_t tiffPrefixFor(const unsigned char *bytes, std::size_t size, const unsigned short *ifd0Tags,
                          std::size_t ifd0TagCount, unsigned short exifTag)
{
    Tiff tiff(bytes, size);
    std::uint32_t ifd0 = 0;
    if (!tiff.readHeader(&ifd0))
        return 0;
    const std::optional<std::size_t> ifd0End = tiff.directoryEnd(ifd0);
    if (!ifd0End)
        return 0;
    std::size_t prefix = *ifd0End;
    // Every tag asked for is taken whole: a value the prefix would cut off
    // would read as no tag at all.
    const auto take = [&](std::size_t directory, unsigned short tag) {
        const std::optional<std::size_t> found = tiff.entry(directory, tag);
        if (!found)
            return true;
        const std::optional<std::size_t> end = tiff.valueEnd(*found);
        if (!end)
            return false;
        prefix = std::max(prefix, *end);
        return true;
    };
    for (std::size_t i = 0; i < ifd0TagCount; ++i)
        if (ifd0Tags[i] != 0 && !take(ifd0, ifd0Tags[i]))
            return 0;
    if (exifTag != 0) {
        const std::optional<std::size_t> pointer = tiff.entry(ifd0, kExifIfdPointer);
        if (pointer) {
            const std::optional<std::size_t> exifEnd = tiff.directoryEnd(tiff.u32(*pointer + 8));
            if (!exifEnd)
                return 0;
            prefix = std::max(prefix, *exifEnd);
            if (!take(tiff.u32(*pointer + 8), exifTag))
                return 0;
        }
    }
    return prefix;
}
