#pragma once

// What the engine tests share: a list of files for a run, the run driven to
// its end, photos to write, and the tags read back with ExifTool.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "platform/filenames.h"
#include "testsupport.h"
#include "writer/engine/writerengine.h"
#include "writer/verify/verifier.h"

// The listed files of one run, handed out in order.
class ListSource : public JobSource {
public:
    ListSource(const QStringList &sources, const QString &folder, const QString &value)
    {
        for (int i = 0; i < sources.size(); ++i) {
            WriteJob job;
            job.position = i + 1;
            job.source = sources.at(i);
            // Named as the window names them for the engine.
            job.sourcePath = Platform::encodeName(sources.at(i));
            job.resultsFolder = Platform::encodeName(folder);
            job.finalPath = Platform::joinedPath(job.resultsFolder, Platform::encodeName(QFileInfo(sources.at(i)).fileName()));
            job.assignment = Assignment{QStringLiteral("-Artist="), value};
            job.tagName = QStringLiteral("Artist");
            m_jobs.append(job);
        }
    }
    std::optional<WriteJob> nextJob() override
    {
        if (m_next >= m_jobs.size())
            return std::nullopt;
        return m_jobs.at(m_next++);
    }

private:
    QList<WriteJob> m_jobs;
    int m_next = 0;
};

// Artist of every file in the folder, read in one go.
inline QHash<QString, QString> artistsIn(const QString &folder)
{
    QProcess tool;
    tool.start(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("-p"),
                QStringLiteral("$FileName=$Artist"), folder});
    tool.waitForFinished(60000);
    QHash<QString, QString> artists;
    for (QString line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n')) {
        if (line.endsWith('\r')) // Windows ends lines with CR LF
            line.chop(1);
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            artists.insert(line.left(equals), line.mid(equals + 1));
    }
    return artists;
}

// Photos named by the pattern ("p%1.jpg") in the folder.
inline QStringList makePhotos(const QTemporaryDir &dir, const QString &pattern, int count)
{
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        sources.append(dir.filePath(pattern.arg(i, 2, 10, QLatin1Char('0'))));
        if (!makeJpeg(sources.last()))
            return {};
    }
    return sources;
}

inline WriterEngine::Options optionsFor(const QString &out, const QString &tool = QStringLiteral("exiftool"))
{
    WriterEngine::Options options;
    options.toolPath = tool;
    options.resultsFolder = out;
    return options;
}

// Every copy read back by the second reader, as the window's runs do.
inline WriterEngine::Options checkedOptionsFor(const QString &out)
{
    WriterEngine::Options options = optionsFor(out);
    options.workers = 2;
    options.verifier = [](const QByteArray &source, const QByteArray &copy, const QString &tag,
                          const QString &value) { return verifyCopy(source, copy, {tag, value}); };
    return options;
}

// Every name in the folder, hidden ones too.
inline QStringList everythingIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

inline QStringList hiddenNames(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

// Runs the engine to its end; the outcomes in list order.
inline QList<FileOutcome> runToEnd(WriterEngine &engine, int files)
{
    QList<FileOutcome> outcomes;
    QObject::connect(&engine, &WriterEngine::fileDone, &engine, [&](const FileOutcome &o) { outcomes.append(o); });
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(files);
    if (!QTest::qWaitFor([&] { return finished.size() == 1; }, 120000))
        qWarning() << "the run did not end";
    std::sort(outcomes.begin(), outcomes.end(),
              [](const FileOutcome &a, const FileOutcome &b) { return a.position < b.position; });
    return outcomes;
}
