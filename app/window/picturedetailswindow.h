#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "app/details/detailrows.h"

class ElidedLabel;
class QLabel;
class QTableWidget;

// What the window shows of one picture, besides its tags.
struct PictureHeader {
    QString name;
    QString folder;
    QString size;       // "4.8 MB (5,034,112 bytes)"
    QString pixels;     // "4000 × 3000"
    QString dateTaken;
    QString note;       // why the file or its tags cannot be read; empty when they can
    QString copy;       // the copy a run wrote and what it reads back; empty when none
    QString way;        // how a run makes each picture's value, in words; empty: as typed
};

// "Picture Details": the selected picture's facts and its thirteen tags as
// stored, as Windows Explorer shows them and as a run's copy will hold them,
// and below them the count of the whole list. Not modal; Escape closes it.
// Every text is shown as plain text, one line, shortened with an ellipsis and
// whole in its tool tip.
class PictureDetailsWindow : public QWidget {
    Q_OBJECT
public:
    explicit PictureDetailsWindow(QWidget *parent = nullptr);

    void showHeader(const PictureHeader &header);
    void showRows(const QList<DetailRow> &rows);
    void showSummary(const QString &text);

    QTableWidget *table() const { return m_table; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    ElidedLabel *m_name;
    ElidedLabel *m_folder;
    ElidedLabel *m_size;
    ElidedLabel *m_pixels;
    ElidedLabel *m_date;
    ElidedLabel *m_note;
    ElidedLabel *m_copy;
    ElidedLabel *m_way;
    QTableWidget *m_table;
    QLabel *m_summary;
};

// A tool tip that shows the text as it is: a tool tip would take "<b>" for markup.
QString plainToolTip(const QString &text);
// One line of text: line breaks and tabs as visible signs.
QString oneLine(const QString &text);
