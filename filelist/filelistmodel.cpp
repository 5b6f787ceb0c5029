#include "filelist/filelistmodel.h"

#include <algorithm>

FileListModel::FileListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void FileListModel::appendEntry(const QString &text)
{
    appendEntries(QStringList{text});
}

void FileListModel::appendEntries(const QStringList &texts)
{
    ListEntries entries;
    entries.reserve(texts.size());
    for (const QString &text : texts)
        entries.append(ListEntry::fromText(text));
    appendListEntries(entries);
}

void FileListModel::appendListEntries(const ListEntries &entries)
{
    if (entries.isEmpty())
        return;
    const int first = entryCount();
    beginInsertRows(QModelIndex(), first, first + int(entries.size()) - 1);
    m_entries.append(entries);
    m_withValues += int(std::count_if(entries.cbegin(), entries.cend(),
                                      [](const ListEntry &entry) { return entry.value.has_value(); }));
    endInsertRows();
}

QString FileListModel::entryText(int position) const
{
    if (position < 1 || position > entryCount())
        return QString();
    return m_entries.at(position - 1).text;
}

QByteArray FileListModel::entryPath(int position) const
{
    if (position < 1 || position > entryCount())
        return QByteArray();
    return m_entries.at(position - 1).path;
}

std::optional<QString> FileListModel::entryValue(int position) const
{
    if (position < 1 || position > entryCount())
        return std::nullopt;
    return m_entries.at(position - 1).value;
}

bool FileListModel::ContainsEntry(const QString &text) const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&text](const ListEntry &entry) { return entry.text == text; });
}

void FileListModel::removeRowAt(int row)
{
    if (row < 0 || row >= entryCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_withValues -= m_entries.at(row).value ? 1 : 0;
    m_entries.removeAt(row);
    endRemoveRows();
}

void FileListModel::clear()
{
    beginResetModel();
    m_entries.clear();
    m_withValues = 0;
    endResetModel();
}

void FileListModel::swapTexts(int rowA, int rowB)
{
    if (rowA == rowB || rowA < 0 || rowB < 0 || rowA >= entryCount() || rowB >= entryCount())
        return;
    m_entries.swapItemsAt(rowA, rowB);
    emit dataChanged(index(rowA), index(rowA), {Qt::DisplayRole});
    emit dataChanged(index(rowB), index(rowB), {Qt::DisplayRole});
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : entryCount();
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entryCount())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_entries.at(index.row()).text;
    return QVariant();
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("JPG File(s)");
    return QVariant();
}
