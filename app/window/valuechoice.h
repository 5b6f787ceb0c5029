#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include "filelist/listentry.h"
#include "writer/values/spreadsheet.h"

class Dialogs;
class FileListModel;
class QComboBox;
class QPushButton;
class QWidget;

// What a spreadsheet gave: its files with their values, and what it refused.
struct LoadedSheet {
    ListEntries entries;
    Sheet sheet; // its problems and error
};

// "How the value is used" and "Values From File…" in the tag frame: the ways
// the chosen tag offers, the choice remembered, and a spreadsheet's files
// added to the list with their own values, read on a worker thread.
class ValueChoice : public QObject {
    Q_OBJECT
public:
    ValueChoice(QWidget *tagFrame, QComboBox *tag, FileListModel *model, Dialogs &dialogs,
                QObject *parent = nullptr);

    QString way() const;
    QComboBox *wayBox() const { return m_way; }
    QPushButton *loadButton() const { return m_load; }

    // A run holds the choice: only its own way can be chosen, and no
    // spreadsheet is loaded.
    void setLocked(bool locked);
    // "Values From File…": asks for the spreadsheet and loads it.
    void loadFromFile();
    void loadSpreadsheet(const QString &path);

signals:
    // The spreadsheet's files are in the list and its problems were shown.
    void loaded();

private:
    void offerWaysFor(const QString &tagLabel);
    void onLoaded();
    void appendSome();

    QComboBox *m_tag;
    FileListModel *m_model;
    Dialogs &m_dialogs;
    QComboBox *m_way;
    QPushButton *m_load;
    bool m_locked = false;
    QFutureWatcher<LoadedSheet> m_reading;
    ListEntries m_toAppend;
    LoadedSheet m_done;
};
