#pragma once

#include <QString>
#include <QStringList>

// Runs a program to its end, its output dropped, its errors shown: true
// when it ended well.
bool runProgram(const QString &program, const QStringList &arguments);

// A camera photo: picture noise like a sensor's, maker notes, a thumbnail,
// dates and exposure data. Needs exiftool.
bool makePhoto(const QString &folder, const QString &path, int width, int height, int quality);

// COUNT names for the photo in FOLDER, hard links where the disk allows.
QStringList listCopies(const QString &photo, const QString &folder, int count);
