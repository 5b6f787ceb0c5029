#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QTest>
#include <QUrl>
#include <functional>

#include "app/shared/dialogs.h"
#include "testplatform.h"

class QEventLoop;

// Answers every dialog from a script and records what was shown.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString kind;    // "message", "warning", "question", "input", "open", "folder", "url"
        QString caption; // for warnings
        QString text;
        QString details;
        QUrl folder; // what the end of a run offers to open
    };

    void message(const QString &text, const QString &details = QString()) override;
    void messageWithFolder(const QString &text, const QString &details, const QUrl &folder) override;
    void warning(const QString &caption, const QString &text) override;
    bool question(const QString &text) override;
    void closeQuestion() override;
    QString inputText(const QString &prompt, const QString &initial) override;
    QStringList openFileNames(const QString &title, const QString &filter) override;
    QString browseForFolder(const QString &title, const QString &startFolder) override;
    bool openUrl(const QUrl &url) override;

    // Scripted answers, taken in order; when a list runs dry the dialog is cancelled.
    QList<bool> questionAnswers;
    QStringList inputAnswers;          // the answer text; empty means Cancel
    QList<QStringList> openAnswers;
    QStringList folderAnswers;
    // The end box's "Open Results Folder" is pressed.
    bool openFolderAtEnd = false;
    // A question stays open (its event loop runs) until closeQuestion().
    bool holdQuestions = false;

    // Called after each recorded message or warning (a test can react, for
    // instance by quitting an event loop).
    std::function<void(const Shown &)> onShown;

    QList<Shown> shown;
    QStringList inputInitials;   // the pre-filled answers the input box offered
    QStringList folderStarts;    // the start folders the picker was given
    QList<QUrl> openedUrls;
    int questionsClosed = 0;

    QList<Shown> ofKind(const QString &kind) const;
    void clear();

private:
    QEventLoop *m_openQuestion = nullptr;
};

// A path as the program and the system's dialogs give it: "/" here, "\" on Windows.
inline QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A copy of the ExifTool stand-in in `folder`, told what to do by `settings`
// (see standin/toolstandin.cpp); its path, or empty.
QString makeToolStandIn(const QString &folder, const QString &name, const QStringList &settings);

// Writes a small JPEG of the given colour; true on success.
bool makeJpeg(const QString &path, int width = 16, int height = 16, unsigned rgb = 0x3366cc);

// Reads one tag with the installed ExifTool, exactly (binary output, no
// conversion of line breaks). Empty when the tag is absent.
QString readTag(const QString &path, const QString &tagName);

QByteArray fileBytes(const QString &path);

// One argument line that ExifTool reads as a C string, so line breaks,
// quotes and leading blanks reach it exactly.
QByteArray cstrLine(const QString &argument);
// Runs ExifTool on an argument file written in `folder`; gives its standard output.
QString runExifTool(const QString &folder, const QByteArray &arguments);

// A camera photo made from `source` with ExifTool: Canon maker notes, GPS,
// Make, Model, ImageDescription "Quay", XPAuthor "Ann" and both dates, its
// EXIF in the byte order asked for; true when its maker notes read back.
bool makeCameraPhoto(const QString &source, const QString &path, bool bigEndian);

#define OSTRELL_CORE_TEST_MAIN(TestObject) \
    int main(int argc, char **argv) \
    { \
        isolateSettingsStore(); \
        QGuiApplication app(argc, argv); \
        TestObject tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return QTest::qExec(&tc, argc, argv); \
    }

#define OSTRELL_UI_TEST_MAIN(TestObject) \
    int main(int argc, char **argv) \
    { \
        isolateSettingsStore(); \
        QApplication app(argc, argv); \
        TestObject tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return QTest::qExec(&tc, argc, argv); \
    }
