#include "testsupport.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QImage>
#include <QProcess>

void FakeDialogs::message(const QString &text, const QString &details)
{
    shown.append({QStringLiteral("message"), QString(), text, details, QUrl()});
    if (onShown)
        onShown(shown.last());
}

void FakeDialogs::warning(const QString &caption, const QString &text)
{
    shown.append({QStringLiteral("warning"), caption, text, QString(), QUrl()});
    if (onShown)
        onShown(shown.last());
}

void FakeDialogs::messageWithFolder(const QString &text, const QString &details, const QUrl &folder)
{
    shown.append({QStringLiteral("message"), QString(), text, details, folder});
    if (openFolderAtEnd)
        openUrl(folder);
    if (onShown)
        onShown(shown.last());
}

bool FakeDialogs::question(const QString &text)
{
    shown.append({QStringLiteral("question"), QString(), text, QString(), QUrl()});
    if (holdQuestions) {
        QEventLoop open;
        m_openQuestion = &open;
        QTimer::singleShot(60000, &open, &QEventLoop::quit); // a test that fails still ends
        open.exec();
        m_openQuestion = nullptr;
        return false;
    }
    return questionAnswers.isEmpty() ? false : questionAnswers.takeFirst();
}

void FakeDialogs::closeQuestion()
{
    if (!m_openQuestion)
        return;
    ++questionsClosed;
    shown.append({QStringLiteral("closed"), QString(), QString(), QString(), QUrl()});
    m_openQuestion->quit();
    m_openQuestion = nullptr;
}

QString FakeDialogs::inputText(const QString &prompt, const QString &initial)
{
    shown.append({QStringLiteral("input"), QString(), prompt, QString(), QUrl()});
    inputInitials.append(initial);
    return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
}

QStringList FakeDialogs::openFileNames(const QString &title, const QString &filter)
{
    shown.append({QStringLiteral("open"), title, filter, QString(), QUrl()});
    return openAnswers.isEmpty() ? QStringList() : openAnswers.takeFirst();
}

QString FakeDialogs::browseForFolder(const QString &title, const QString &startFolder)
{
    shown.append({QStringLiteral("folder"), title, startFolder, QString(), QUrl()});
    folderStarts.append(startFolder);
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

bool FakeDialogs::openUrl(const QUrl &url)
{
    shown.append({QStringLiteral("url"), QString(), url.toString(), QString(), QUrl()});
    openedUrls.append(url);
    return true;
}

QList<FakeDialogs::Shown> FakeDialogs::ofKind(const QString &kind) const
{
    QList<Shown> result;
    for (const Shown &s : shown)
        if (s.kind == kind)
            result.append(s);
    return result;
}

void FakeDialogs::clear()
{
    shown.clear();
    inputInitials.clear();
    folderStarts.clear();
    openedUrls.clear();
}

QString makeToolStandIn(const QString &folder, const QString &name, const QStringList &settings)
{
    const QString program = QStringLiteral(TEST_STANDIN_PROGRAM);
    const QString suffix = program.endsWith(QLatin1String(".exe")) ? QStringLiteral(".exe") : QString();
    const QString copy = folder + QLatin1Char('/') + name + suffix;
    QFile::remove(copy);
    QFile config(folder + QLatin1Char('/') + name + QStringLiteral(".cfg"));
    if (!QFile::copy(program, copy) || !config.open(QIODevice::WriteOnly))
        return QString();
    config.write(settings.join(QLatin1Char('\n')).toUtf8() + '\n');
    return copy;
}

bool makeJpeg(const QString &path, int width, int height, unsigned rgb)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    return image.save(path, "JPEG", 90);
}

QString readTag(const QString &path, const QString &tagName)
{
    QProcess tool;
    tool.start(QStringLiteral("exiftool"),
               {QStringLiteral("-b"), QStringLiteral("-") + tagName, path});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool makeCameraPhoto(const QString &source, const QString &path, bool bigEndian)
{
    // Canon maker notes: file number, serial number, model, in the EXIF's byte order.
    QByteArray notes;
    const auto number = [&](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            notes.append(char(value >> (8 * (bigEndian ? bytes - 1 - i : i))));
    };
    number(3, 2);
    for (const auto &[tag, value] : {std::pair{0x0008u, 1001234u}, {0x000cu, 123456789u}, {0x0010u, 0x80000213u}}) {
        number(tag, 2);
        number(4, 2);
        number(1, 4);
        number(value, 4);
    }
    number(0, 4);
    const QString notesFile = path + QStringLiteral(".notes");
    QFile out(notesFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(notes) != notes.size())
        return false;
    out.close();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-o"), path, QStringLiteral("-all="),
                QStringLiteral("-ExifByteOrder=") + (bigEndian ? QStringLiteral("MM") : QStringLiteral("II")),
                QStringLiteral("-Make=Canon"), QStringLiteral("-Model=Canon EOS 5D"),
                QStringLiteral("-ImageDescription=Quay"), QStringLiteral("-XPAuthor=Ann"),
                QStringLiteral("-MakerNoteCanon<=") + notesFile,
                QStringLiteral("-DateTimeOriginal=2021:08:31 12:34:56"),
                QStringLiteral("-CreateDate=2021:08:31 12:34:56"), QStringLiteral("-GPSLatitude=59.9"),
                QStringLiteral("-GPSLatitudeRef=N"), source});
    tool.waitForFinished(30000);
    QFile::remove(notesFile);
    return readTag(path, QStringLiteral("SerialNumber")) == QStringLiteral("123456789")
        && fileBytes(path).contains(bigEndian ? QByteArray("Exif\0\0MM", 8) : QByteArray("Exif\0\0II", 8));
}

// One argument line that ExifTool reads as a C string, so line breaks,
// quotes and leading blanks reach it exactly.
QByteArray cstrLine(const QString &argument)
{
    QByteArray escaped;
    for (const char c : argument.toUtf8()) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        default: escaped += c;
        }
    }
    return "#[CSTR]" + escaped + '\n';
}

// Runs ExifTool on an argument file; gives its standard output.
QString runExifTool(const QString &folder, const QByteArray &arguments)
{
    const QString argumentFile = folder + QStringLiteral("/arguments.txt");
    QFile file(argumentFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(arguments) != arguments.size())
        return QString();
    file.close();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-@"), argumentFile});
    tool.waitForFinished(120000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}
