#pragma once

#include <QPointer>

#include "app/shared/dialogs.h"

class QMessageBox;
class QWidget;

// The real dialogs, owned by the main window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget *owner);

    void message(const QString &text, const QString &details = QString()) override;
    void messageWithFolder(const QString &text, const QString &details,
                           const QUrl &folder) override;
    void warning(const QString &caption, const QString &text) override;
    bool question(const QString &text) override;
    void closeQuestion() override;
    QString inputText(const QString &prompt, const QString &initial) override;
    QStringList openFileNames(const QString &title, const QString &filter) override;
    QString browseForFolder(const QString &title, const QString &startFolder) override;
    bool openUrl(const QUrl &url) override;

    // "Desc (*.a;*.b)|*.a;*.b|..." as Qt's "Desc (*.a *.b);;...".
    static QString qtFilter(const QString &filter);

private:
    QWidget *m_owner;
    QPointer<QMessageBox> m_question;
};
