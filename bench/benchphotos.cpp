#include "bench/benchphotos.h"
#include "bench/benchplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <cmath>

bool runProgram(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool makePhoto(const QString &folder, const QString &path, int width, int height, int quality)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int grain = int(random.bounded(24));
            const int r = int(128 + 100 * std::sin(x / 211.0) * std::cos(y / 157.0)) + grain;
            const int g = int(120 + 90 * std::sin((x + y) / 313.0)) + grain;
            const int b = int(110 + 80 * std::cos(x / 97.0 - y / 251.0)) + grain;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    const QString thumbnail = folder + QStringLiteral("/thumb.jpg");
    const QString makerNotes = folder + QStringLiteral("/makernotes.bin");
    if (!picture.save(path, "JPEG", quality) || !picture.scaled(160, 120).save(thumbnail, "JPEG", 80))
        return false;
    // A Canon maker-note directory: file number, serial number, model.
    QByteArray notes("\x00\x03", 2);
    const auto entry = [&](quint16 tag, quint32 value) {
        const char bytes[12] = {char(tag >> 8), char(tag), 0, 4, 0, 0, 0, 1,
                                char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
        notes.append(bytes, 12);
    };
    entry(0x0008, 1001234);
    entry(0x000c, 123456789);
    entry(0x0010, 0x80000213);
    notes.append(4, '\0');
    QFile file(makerNotes);
    if (!file.open(QIODevice::WriteOnly) || file.write(notes) != notes.size())
        return false;
    file.close();
    return runProgram(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                QStringLiteral("-Make=Canon"), QStringLiteral("-Model=Canon EOS 5D"),
                QStringLiteral("-MakerNoteCanon<=") + makerNotes,
                QStringLiteral("-ThumbnailImage<=") + thumbnail,
                QStringLiteral("-DateTimeOriginal=2021:08:31 12:34:56"),
                QStringLiteral("-CreateDate=2021:08:31 12:34:56"),
                QStringLiteral("-ExposureTime=1/250"), QStringLiteral("-FNumber=5.6"),
                QStringLiteral("-ISO=200"), QStringLiteral("-GPSLatitude=59.91"),
                QStringLiteral("-GPSLatitudeRef=N"), QStringLiteral("-GPSLongitude=10.75"),
                QStringLiteral("-GPSLongitudeRef=E"), path});
}

QStringList listCopies(const QString &photo, const QString &folder, int count)
{
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        // Hard links: the same bytes N times without N times the disk.
        if (!hardLink(photo, path) && !QFile::copy(photo, path))
            return {};
        files.append(path);
    }
    return files;
}

