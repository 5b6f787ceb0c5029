#pragma once

#include <exiv2/exiv2.hpp>

#include <QString>
#include <optional>
#include <vector>

class SlicedFile;
struct JpegLayout;

// The thirteen writable tags as Exiv2 finds them in a JPEG's EXIF block:
// where ExifTool stores each, how its bytes read as text, and which other tag
// Windows Explorer shows in its place. Shared by the copy check and the
// picture details, so both read a tag the same way.
namespace Exiv2Tags {

#if EXIV2_TEST_VERSION(0, 28, 0)
using Size = size_t;
#else
using Size = long;
#endif

// Mutes Exiv2's warnings and initialises its XMP parser, once per process,
// before any worker reads.
void initialiseOnce();

enum class Encoding { Ucs2, Utf8, Date };

struct Key {
    const char *tagName;  // ExifTool's name: "XPTitle"
    const char *exiv2Key; // "Exif.Image.XPTitle"
    Encoding encoding;
    unsigned short tag;   // its number in the TIFF directory
    bool inExifIfd;       // in the Exif sub-directory rather than IFD0
};

// Nothing for a tag name that is none of the thirteen.
const Key *keyFor(const QString &tagName);

// The first datum of the tag, as findKey() finds it, without building a key
// string for every datum.
Exiv2::ExifData::const_iterator find(const Exiv2::ExifData &exif, const Key &key);

// The stored bytes as the text ExifTool wrote: UCS-2 for the XP tags, UTF-8
// for the others, closing NULs dropped.
QString storedText(const Key &key, const Exiv2::Exifdatum &datum);
// The same for showing: text that is not UTF-8 reads as Latin-1, as older
// cameras wrote it.
QString shownText(const Key &key, const Exiv2::Exifdatum &datum);

// Windows Explorer shows Image Description in place of Title, and Artist in
// place of Author, whenever they hold more than blanks.
struct ShownInstead {
    QString shownWords;   // "Image Description"
    QString writtenWords; // "Title"
    QString text;         // what Explorer shows, blanks trimmed
};
std::optional<ShownInstead> shownInstead(const QString &tagName, const Exiv2::ExifData &exif);
// The IFD0 tag Windows Explorer shows in place of this one, or 0.
unsigned short shownInsteadTag(const QString &tagName);

// SOI, the file's first EXIF segment as it stands, and SOS: Exiv2 reads no
// further, and a header this small keeps memory bounded however many
// segments the file carries. False when the file could not be read.
bool readExifHeader(SlicedFile &file, const JpegLayout &layout, std::vector<unsigned char> &header);

} // namespace Exiv2Tags
