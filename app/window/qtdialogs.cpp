#include "app/window/qtdialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/shared/paths.h"
#include "app/window/reportdialog.h"

namespace {
QString title()
{
    return QCoreApplication::applicationName();
}

const char OpenFolderText[] = "Open Results Folder";
} // namespace

QtDialogs::QtDialogs(QWidget *owner)
    : m_owner(owner)
{
}

void QtDialogs::message(const QString &text, const QString &details)
{
    if (!details.isEmpty()) {
        ReportDialog report(title(), text, details, m_owner);
        report.exec();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, m_owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtDialogs::warning(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, m_owner);
    box.setTextFormat(Qt::PlainText); // a name holding "<b>" is a name, not markup
    box.exec();
}

void QtDialogs::messageWithFolder(const QString &text, const QString &details, const QUrl &folder)
{
    if (!details.isEmpty()) {
        ReportDialog report(title(), text, details, m_owner);
        QPushButton *open = report.addActionButton(QString::fromLatin1(OpenFolderText));
        QObject::connect(open, &QPushButton::clicked, open, [this, folder] { openUrl(folder); });
        report.exec();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, m_owner);
    box.setTextFormat(Qt::PlainText);
    QPushButton *open = box.addButton(QString::fromLatin1(OpenFolderText), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    if (box.clickedButton() == open)
        openUrl(folder);
}

bool QtDialogs::question(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    box.setTextFormat(Qt::PlainText);
    m_question = &box;
    const int answer = box.exec();
    m_question = nullptr;
    return answer == QMessageBox::Yes;
}

void QtDialogs::closeQuestion()
{
    if (m_question)
        m_question->done(QMessageBox::No);
}

QString QtDialogs::inputText(const QString &prompt, const QString &initial)
{
    // The prompt breaks its lines with bare carriage returns.
    QString shownPrompt = prompt;
    shownPrompt.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    bool ok = false;
    const QString answer = QInputDialog::getText(m_owner, title(), shownPrompt,
                                                 QLineEdit::Normal, initial, &ok);
    return ok ? answer : QString();
}

QString QtDialogs::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        const int open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0)
            description = description.left(open);
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'));
        // On Windows "*.*" takes every name; to Qt it needs a dot.
        for (QString &pattern : patterns)
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        filters.append(description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
                       + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

QStringList QtDialogs::openFileNames(const QString &dialogTitle, const QString &filter)
{
    QStringList names = QFileDialog::getOpenFileNames(m_owner, dialogTitle, QString(),
                                                      qtFilter(filter));
    for (QString &name : names)
        name = QDir::toNativeSeparators(name);
    return names;
}

QString QtDialogs::browseForFolder(const QString &dialogTitle, const QString &startFolder)
{
    // An empty or vanished start folder leaves the dialog at its own default.
    const QString start = QDir(startFolder).exists() && !startFolder.isEmpty() ? startFolder
                                                                               : QString();
    const QString folder = QFileDialog::getExistingDirectory(m_owner, dialogTitle, start);
    if (folder.isEmpty())
        return QString();
    // A root keeps its separator; any other folder comes back without one.
    return withoutClosingSeparator(QDir::toNativeSeparators(folder));
}

bool QtDialogs::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
