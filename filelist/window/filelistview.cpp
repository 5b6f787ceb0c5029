#include "filelist/window/filelistview.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "filelist/filelistmodel.h"
#include "platform/localpath.h"

FileListView::FileListView(QWidget *parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps 100,000 entries quick
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false); // dragging inside the list re-orders; it starts no system drag
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
}

void FileListView::setFileList(FileListModel *model)
{
    m_model = model;
    setModel(model);
}

void FileListView::removeSelectedEntry()
{
    if (isBusy() || !m_model || m_model->entryCount() == 0)
        return;
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty())
        m_model->removeRowAt(selected.first().row());
}

int FileListView::keyboardRow() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty())
        return selected.first().row();
    // Tabbing into the list makes a row current without selecting it; the
    // keys act on the row the focus frame shows.
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void FileListView::moveSelectedEntry(int step)
{
    if (isBusy() || !m_model)
        return;
    const int from = keyboardRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= m_model->entryCount())
        return;
    m_model->swapTexts(from, to);
    setCurrentIndex(m_model->index(to));
    scrollTo(currentIndex());
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    const QModelIndex item = indexAt(event->position().toPoint());
    if (item.isValid()) {
        m_draggedItem = item;
        viewport()->setCursor(m_dragCursor);
    }
    m_isDragging = true;
}

void FileListView::mouseMoveEvent(QMouseEvent *event)
{
    // The base class would extend the selection while a button is held;
    // here a held button carries the entry instead.
    if (!m_isDragging) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    followDrag(event->position().toPoint());
}

void FileListView::followDrag(const QPoint &position)
{
    const QModelIndex hover = indexAt(position);
    if (isBusy() || !hover.isValid() || !m_draggedItem.isValid() || !m_model)
        return;
    const int from = m_draggedItem.row();
    const int to = hover.row();
    if (m_model->entryText(from + 1) == m_model->entryText(to + 1))
        return;
    m_model->swapTexts(from, to);
    setCurrentIndex(hover);
    m_draggedItem = hover;

    // Scroll on when the pointer nears the list's own top or bottom edge.
    const int edge = qMax(sizeHintForRow(0), 8);
    if (position.y() < edge && to >= 1)
        scrollTo(m_model->index(to - 1));
    else if (position.y() >= viewport()->height() - edge && to + 1 < m_model->entryCount())
        scrollTo(m_model->index(to + 1));
}

void FileListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    m_isDragging = false;
    viewport()->setCursor(Qt::ArrowCursor);
}

void FileListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    removeSelectedEntry();
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        if (!isBusy() && m_model && keyboardRow() >= 0) {
            m_model->removeRowAt(keyboardRow());
            // The row that took its place is the next one Delete removes;
            // selecting it shows which.
            if (currentIndex().isValid())
                setCurrentIndex(currentIndex());
        }
        event->accept();
        return;
    }
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier
        && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        moveSelectedEntry(event->key() == Qt::Key_Up ? -1 : 1);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

namespace {

// The source may propose a move (Shift held in a file manager); the list only
// reads the files, so the drop is taken as a copy and nothing is removed.
void acceptAsCopy(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

QList<QByteArray> FileListView::localPaths(const QMimeData *data)
{
    QList<QByteArray> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths.append(Platform::nativeLocalPath(url));
    return paths;
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (localPaths(event->mimeData()).isEmpty())
        event->ignore(); // the no-drop pointer; a release drops nothing
    else
        acceptAsCopy(event);
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (localPaths(event->mimeData()).isEmpty())
        event->ignore();
    else
        acceptAsCopy(event);
}

void FileListView::dropEvent(QDropEvent *event)
{
    const QList<QByteArray> paths = localPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsCopy(event);
    emit pathsDropped(paths);
}
