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

void isolateSettingsStore()
{
    // Lives as long as the test process; removed at exit.
    static QTemporaryDir configHome;
    // Not QStandardPaths test mode: it overrides XDG_CONFIG_HOME with
    // ~/.qttest/config, a folder in the real home shared by every test run.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
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
