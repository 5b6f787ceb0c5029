#pragma once

#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>
#include <functional>

class FileListModel;

// The file list: one column in report layout. Entries are re-ordered by
// dragging them with a button held (they swap as the pointer passes other
// entries) or by Alt+Up and Alt+Down, removed by double-click or the Delete
// key, none of it while the window is busy; files and folders dropped from a
// file manager are handed on. A drop is always a copy: the files stay where
// they are.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    explicit FileListView(QWidget *parent = nullptr);

    void setFileList(FileListModel *model);

    // Asked before removing or re-ordering: true while a command is working.
    void setBusyTest(std::function<bool()> isBusy) { m_isBusy = std::move(isBusy); }
    // The pointer shown while an entry is dragged; the closed hand when null.
    void setDragCursor(const QCursor &cursor) { m_dragCursor = cursor; }

    // Remove selected entry.
    void removeSelectedEntry();
    // The selected entry, else the current one, exchanges places with its
    // neighbour (step -1 up, +1 down) and stays selected.
    void moveSelectedEntry(int step);

signals:
    // Local paths dropped on the list as native bytes, in the order of the drop.
    void pathsDropped(const QList<QByteArray> &paths);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool isBusy() const { return m_isBusy && m_isBusy(); }
    // The row the keyboard acts on: the selected one, else the current one.
    int keyboardRow() const;
    void followDrag(const QPoint &position);
    static QList<QByteArray> localPaths(const QMimeData *data);

    FileListModel *m_model = nullptr;
    std::function<bool()> m_isBusy;
    QCursor m_dragCursor{Qt::ClosedHandCursor};
    bool m_isDragging = false;               // IsDragging
    QPersistentModelIndex m_draggedItem;     // DraggedItem; invalid once its entry is gone
};
