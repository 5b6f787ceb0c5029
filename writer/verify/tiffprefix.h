#pragma once

#include <cstddef>

// How many leading bytes of a TIFF block (an EXIF payload) hold IFD0 and,
// when `exifTag` is not 0, the Exif sub-directory, together with the values
// of `ifd0Tags` (0 entries are skipped) and of `exifTag`: enough for a reader
// to find these tags without walking maker notes, GPS or the thumbnail. 0 when
// the block is not laid out so that this can be told; then it is read whole.
std::size_t tiffPrefixFor(const unsigned char *tiff, std::size_t size, const unsigned short *ifd0Tags,
                          std::size_t ifd0TagCount, unsigned short exifTag);
