#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "app/details/picturereader.h"
#include "app/window/picturedetailswindow.h"
#include "writer/values/valueplan.h"

class BatchHost;
class BatchRun;
class FileListModel;
class FileListView;
class ListSummary;
class PictureThumbnail;
class QAction;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;
struct BatchReport;
struct SummaryCount;

// The selected picture beside the value box and in the "Picture Details"
// window: the thumbnail and its "Details" button in the tag frame, Ctrl+I
// and the list's "Show Details", the reads on worker threads, the list's
// count, and the copies of the last run.
class DetailsPanel : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QWidget *window;
        QWidget *tagFrame;
        FileListView *list;
        FileListModel *model;
        QComboBox *tag;
        QPlainTextEdit *value;
        QComboBox *way; // how the value is used
    };
    DetailsPanel(const Controls &controls, BatchHost &host, BatchRun &run, int timeoutMs,
                 QObject *parent = nullptr);
    ~DetailsPanel() override;

    void showDetails();
    // A run takes the list: the count waits until it has written its copies.
    void setRunWriting(bool writing);

    PictureDetailsWindow *detailsWindow() const { return m_window; }
    QPushButton *detailsButton() const { return m_button; }

private:
    void selectionChanged();
    void listChanged();
    void tagChanged();
    void onRead(const PictureRead &read);
    void showRead();
    void recountSoon();
    void recount();
    void onCounted(const QString &tagLabel, const SummaryCount &count);
    void onRunFinished(const BatchReport &report);
    int selectedRow() const;
    ValuePlan currentPlan() const;
    MadeValue selectedValue(const ValuePlan &plan, const PictureFacts &facts) const;

    Controls m_controls;
    BatchHost &m_host;
    PictureThumbnail *m_thumbnail;
    QPushButton *m_button;
    QAction *m_show;
    QPointer<PictureDetailsWindow> m_window;
    PictureReader *m_reader;
    ListSummary *m_summary;
    QTimer m_recount;

    QByteArray m_selectedPath; // the entry on show; empty when none
    QString m_selectedText;
    bool m_haveRead = false;
    PictureRead m_read;

    // The run under way, as it took the list, and the copies of the last one.
    QList<QByteArray> m_runPaths;
    QByteArray m_runFolder;
    QString m_runTag;
    QHash<QByteArray, QByteArray> m_copies; // source path -> copy path
    QString m_copiesTag;
};
