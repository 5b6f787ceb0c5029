#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Every modal question and message the program shows goes through this
// interface. The window owns the real one; tests answer through a fake.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Plain box with an OK button, no icon, captioned with the application
    // title. Details, when given, are offered behind the box's details button.
    virtual void message(const QString &text, const QString &details = QString()) = 0;

    // message() with one more button, "Open Results Folder", which opens the
    // folder through openUrl(). A box with details stays open, so that its
    // report can still be copied or saved.
    virtual void messageWithFolder(const QString &text, const QString &details,
                                   const QUrl & /*folder*/)
    {
        message(text, details);
    }

    // Box with the warning icon, one OK button and its own caption.
    virtual void warning(const QString &caption, const QString &text) = 0;

    // Yes/No question without icon, captioned with the application title.
    virtual bool question(const QString &text) = 0;

    // Closes an open question() as if No had been answered: what it asked
    // about has settled itself. Nothing when no question is open.
    virtual void closeQuestion() {}

    // Input box captioned with the application title. Cancel gives the empty text.
    virtual QString inputText(const QString &prompt, const QString &initial) = 0;

    // File-open dialog with multiple selection; the chosen paths in the
    // dialog's order, or nothing on cancel.
    virtual QStringList openFileNames(const QString &title, const QString &filter) = 0;

    // Folder picker: a root comes back with its separator, any other folder
    // without one; cancel gives the empty text.
    virtual QString browseForFolder(const QString &title, const QString &startFolder) = 0;

    // Opens a folder or a web address with the desktop's default program.
    virtual bool openUrl(const QUrl &url) = 0;
};
