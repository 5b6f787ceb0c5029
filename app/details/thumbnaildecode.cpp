#include "app/details/thumbnaildecode.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QTransform>

#include "app/details/picturefacts.h"
#include "platform/files.h"

namespace {

// A regular file read by offset through its descriptor; a raised flag ends
// the reading, and with it the decode.
class DescriptorDevice : public QIODevice {
public:
    DescriptorDevice(int fd, qint64 size, const std::atomic_bool *cancelled)
        : m_fd(fd), m_size(size), m_cancelled(cancelled)
    {
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_cancelled && m_cancelled->load())
            return -1;
        const std::int64_t got = Platform::readAt(m_fd, data, std::size_t(maxSize), pos());
        return got < 0 ? -1 : qint64(got);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int m_fd;
    qint64 m_size;
    const std::atomic_bool *m_cancelled;
};

QSize fitted(QSize pixels, QSize box)
{
    if (!pixels.isValid() || pixels.isEmpty())
        return QSize();
    if (pixels.width() <= box.width() && pixels.height() <= box.height())
        return pixels;
    return pixels.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace

QImage turnedUpright(const QImage &image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

QImage decodeEmbeddedThumbnail(QByteArrayView bytes, int orientation)
{
    QByteArray copy = bytes.toByteArray();
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    // The thumbnail's own Orientation, if any, is not the photo's.
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    return image.isNull() ? image : turnedUpright(image, orientation);
}

QImage decodeScaled(const QByteArray &path, QSize pixels, const PictureReadOptions &options,
                    QString *whyNot)
{
    const Platform::FileHandle file(Platform::openForReading(path));
    const Platform::FileStatus status = file.isOpen() ? Platform::statusOf(file.get())
                                                      : Platform::FileStatus{};
    if (!file.isOpen() || !status.ok() || status.kind != Platform::FileKind::Regular) {
        *whyNot = QStringLiteral("No preview: the file cannot be read.");
        return QImage();
    }
    DescriptorDevice device(file.get(), status.size, options.cancelled);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QImageReader reader(&device, "jpeg");
    reader.setAutoTransform(true);
    const QSize scaled = fitted(pixels, options.thumbnailBox);
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    const QImage image = reader.read();
    if (image.isNull())
        *whyNot = options.cancelled && options.cancelled->load()
            ? QString()
            : QStringLiteral("No preview: the picture data cannot be decoded (%1).").arg(reader.errorString());
    return image;
}
