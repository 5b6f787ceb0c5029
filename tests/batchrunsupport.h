#pragma once

// What the run tests share: the window as a run sees it, a stand-in for
// ExifTool, and a fixture with a photos folder and a results folder.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QGuiApplication>
#include <QtTest>
#include <cstdio>
#include <functional>
#include "app/shared/errorreport.h"
#include "testsupport.h"
#include "writer/command/batchrun.h"
#include "writer/verify/verifier.h"

// The window as the run sees it, recording what the run does to it.
class FakeHost : public BatchHost {
public:
    int entryCount() const override { return entries.size(); }
    QString entryText(int position) const override { return entries.at(position - 1); }
    QByteArray entryPath(int position) const override
    {
        return paths.value(position - 1, QFile::encodeName(entryText(position)));
    }
    QString tagLabel() const override { return label; }
    QString tagValue() const override
    {
        if (failValueReads > 0) {
            --failValueReads;
            throw Failure(QStringLiteral("Value box is gone"));
        }
        return value;
    }
    QString resultsFolder() const override { return folder; }
    QString valueWay() const override { return way.isEmpty() ? BatchHost::valueWay() : way; }
    bool hasOwnValues() const override { return !own.isEmpty(); }
    std::optional<QString> entryValue(int position) const override { return own.value(position - 1); }
    void setBusyPointer(bool busy) override { pointer.append(busy); }
    void setBarValue(int v) override
    {
        barValues.append(v);
        current = v;
    }
    int barValue() const override { return current; }
    void setBarText(const QString &text) override
    {
        barTexts.append(text);
        currentText = text;
        if (onText)
            onText(text);
    }
    QString barText() const override { return currentText; }
    void setRunning(bool on) override { running.append(on); }
    void setRunProgress(int done, int total) override { progress.append({done, total}); }
    void focusValue() override { ++focused; }

    // Consecutive repeats (the wait puts the caption back) count once.
    QStringList distinctTexts() const
    {
        QStringList result;
        for (const QString &text : barTexts)
            if (result.isEmpty() || result.last() != text)
                result.append(text);
        return result;
    }

    QStringList entries;
    QList<QByteArray> paths; // where a name's bytes are not its text
    QString label = QStringLiteral("Artist");
    QString value = QStringLiteral("Summer 2021");
    QString folder;
    QString way;                       // empty: as typed
    QList<std::optional<QString>> own; // each entry's own value; empty: none has one
    mutable int failValueReads = 0;

    QList<bool> pointer;
    QList<int> barValues;
    QStringList barTexts;
    int current = 37;
    QString currentText = QStringLiteral("Progress Bar");
    std::function<void(const QString &)> onText;
    QList<bool> running;
    QList<QPair<int, int>> progress;
    int focused = 0;
};

// Stands in for ExifTool (see standin/toolstandin.cpp): writes the source's
// path (or bytes) into the output file, then answers after a pause, or dies.
inline QString writeStandIn(const QString &folder, const QString &pause, bool dies = false,
                            const QByteArray &warning = QByteArray(), bool copiesSource = false)
{
    QStringList settings{QStringLiteral("pause=") + pause,
                         QStringLiteral("warning=") + QString::fromUtf8(warning)};
    if (dies)
        settings.append(QStringLiteral("dies=1"));
    if (copiesSource)
        settings.append(QStringLiteral("copies=1"));
    return makeToolStandIn(folder, QStringLiteral("standin"), settings);
}

class BatchRunFixture {
protected:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_src = nativePath(m_dir->filePath(QStringLiteral("photos")));
        // ExifTool would read "%d" in an output path as a name code.
        m_out = nativePath(m_dir->filePath(QStringLiteral("results 100%d")));
        QVERIFY(QDir().mkpath(m_src));
        QVERIFY(QDir().mkpath(m_out));
        m_host = FakeHost();
        m_host.folder = m_out + QLatin1Char('/');
        m_dialogs = FakeDialogs();
        m_reports.clear();
    }

    void cleanup()
    {
        m_dir.reset();
    }

    QStringList makeSources(const QStringList &names)
    {
        QStringList paths;
        for (const QString &name : names) {
            const QString path = m_src + nativePath(QLatin1Char('/') + name);
            if (!makeJpeg(path))
                qWarning() << "cannot make" << path;
            paths.append(path);
        }
        return paths;
    }

    bool runToEnd(BatchRun &run, int timeoutMs = 60000)
    {
        QObject::connect(&run, &BatchRun::runFinished, &run,
                         [this](const BatchReport &report) { m_reports.append(report); });
        const int before = m_reports.size();
        run.PushButton3_Click();
        return QTest::qWaitFor([&] { return m_reports.size() > before; }, timeoutMs);
    }

    // The bar went through the four files in list order, then back to idle.
    bool barFollowed(const QStringList &names) const
    {
        QStringList texts;
        for (const QString &name : names)
            texts.append(QStringLiteral("Processing: ") + name);
        texts.append(QStringLiteral("Progress Bar"));
        return m_host.barValues == QList<int>{25, 50, 75, 100, 0} && m_host.distinctTexts() == texts;
    }
    QStringList outputNames() const { return QDir(m_out).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_src;
    QString m_out;
    FakeHost m_host;
    FakeDialogs m_dialogs;
    QList<BatchReport> m_reports;
};
