#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <array>
#include <atomic>
#include <optional>

// What Windows Explorer shows in place of a tag: another tag's text.
struct ShownElsewhere {
    QString tagLabel; // "Image Description"
    QString text;
};

// What one picture holds, read from its metadata segments only.
struct PictureFacts {
    QString error;                // why the file could not be read; empty when it could
    QString metadataNote;         // why its tags could not be read although the file could
    qint64 size = -1;             // bytes
    QSize pixels;                 // from the frame header; invalid when unknown
    int orientation = 1;          // EXIF Orientation, 1 to 8
    // The thirteen tags in the selector's order; nothing where the tag is absent.
    std::array<std::optional<QString>, 13> values;
    // Per tag, what Explorer shows instead where that differs from the tag.
    std::array<std::optional<ShownElsewhere>, 13> shownInstead;
    QImage thumbnail;             // turned upright; null when there is none
    QString thumbnailNote;        // why there is no thumbnail, one line

    std::optional<QString> dateTaken() const;
};

struct PictureReadOptions {
    bool thumbnail = false;
    // A picture without an embedded thumbnail is decoded at reduced size only
    // up to this size: the decode streams the whole file.
    qint64 decodeLimitBytes = 64 * 1024 * 1024;
    QSize thumbnailBox{240, 240};
    const std::atomic_bool *cancelled = nullptr; // stops a decode in its tracks
};

// Reads the facts of the picture at the native byte path. Only regular files
// are opened, without ever waiting on a pipe or a device; only the segments
// before the picture data are read, in bounded slices. Blocks on the file
// system: worker threads only.
PictureFacts readPictureFacts(const QByteArray &path, const PictureReadOptions &options = {});

// The index of a tag in the selector's order, by its label; -1 when none.
int tagIndexOf(const QString &label);
