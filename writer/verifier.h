#pragma once

#include <QByteArray>
#include <QString>

// What a copy must hold: the ExifTool tag name ("XPTitle", "ImageDescription",
// "ModifyDate", ...) and the value as typed. An empty tag name means the
// command carried no assignment; then only the picture data is checked.
struct CopyExpectation {
    QString tagName;
    QString value;
};

// Reads the copy back with a second reader (Exiv2) and compares its picture
// data with the source's. Empty when the copy holds exactly the expected value
// and the source's picture; otherwise the reason in plain words, such as
//   ExifTool stored "2021:08:31 12:00:00" instead of the value typed
//   The picture data of the copy differs from the source
// Paths are native byte paths. Safe to call from several threads at once.
QString verifyCopy(const QByteArray &sourcePath, const QByteArray &copyPath,
                   const CopyExpectation &expected);
