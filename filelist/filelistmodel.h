#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <QVector>

#include "filelist/listentry.h"

// The files of the next run, in processing order. An entry is its text and the
// name's bytes; duplicates are allowed and nothing is checked.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject *parent = nullptr);

    // Append entry: the text unchanged, at the end.
    void appendEntry(const QString &text);
    void appendEntries(const QStringList &texts);
    void appendListEntries(const ListEntries &entries);

    int entryCount() const { return int(m_entries.size()); }
    // 1-based, as the run counts; empty for a position that is gone.
    QString entryText(int position) const;
    // The name's native bytes, 1-based; empty for a position that is gone.
    QByteArray entryPath(int position) const;
    // The entry's own value, 1-based; nothing when it has none.
    std::optional<QString> entryValue(int position) const;
    // Some entry has a value of its own.
    bool hasOwnValues() const { return m_withValues > 0; }
    // Exact, case-sensitive comparison against every entry.
    bool ContainsEntry(const QString &text) const;

    void removeRowAt(int row);
    void clear();
    // Exchanges two rows (re-ordering by dragging).
    void swapTexts(int rowA, int rowB);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVector<ListEntry> m_entries;
    int m_withValues = 0;
};
