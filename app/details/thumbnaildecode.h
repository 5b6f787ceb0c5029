#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

struct PictureReadOptions;

// A picture turned the way its EXIF Orientation (1 to 8) says.
QImage turnedUpright(const QImage &image, int orientation);

// The thumbnail a camera embeds in the EXIF block, turned upright by the
// photo's own Orientation; null when it does not decode.
QImage decodeEmbeddedThumbnail(QByteArrayView bytes, int orientation);

// The picture decoded at reduced size (a JPEG decodes straight to an eighth),
// turned upright; reads the file through a descriptor opened without waiting
// and stops when the options' flag is raised. Null, with a one-line reason,
// when it cannot.
QImage decodeScaled(const QByteArray &path, QSize pixels, const PictureReadOptions &options,
                    QString *whyNot);
