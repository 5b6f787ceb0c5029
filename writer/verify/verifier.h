#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

#include "writer/verify/slicedfile.h"

// What a copy must hold: the ExifTool tag name ("XPTitle", "ImageDescription",
// "ModifyDate", ...) and the value as typed. An empty tag name means the
// command carried no assignment; then only the picture data is checked.
struct CopyExpectation {
    QString tagName;
    QString value;
};

// What reading a copy back found.
struct CopyCheck {
    QString wrong = QString(); // why the copy must not be kept; empty when it holds what was asked
    QString note = QString();  // what the user should know of a copy that is kept; may be empty
};

// Reads the copy back with a second reader (Exiv2) and compares its picture
// data with the source's. `wrong` is empty when the copy holds exactly the
// expected value and the source's picture; otherwise the reason in plain
// words, such as
//   ExifTool stored "2021:08:31 12:00:00" instead of the value typed
//   The picture data of the copy differs from the source
// `note` says when Windows Explorer will show another tag of the copy in
// place of the one written. Both files are read in slices of `sliceBytes`,
// whatever their size. Paths are native byte paths. Safe to call from several
// threads at once.
CopyCheck verifyCopy(const QByteArray &sourcePath, const QByteArray &copyPath,
                     const CopyExpectation &expected,
                     std::size_t sliceBytes = SlicedFile::kDefaultSlice);
