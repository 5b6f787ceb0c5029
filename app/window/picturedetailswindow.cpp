#include "app/window/picturedetailswindow.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

// One line of plain text, shortened to its width with an ellipsis; the whole
// text in the tool tip when it had to be shortened.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget *parent = nullptr)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setMinimumWidth(40);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    void setFullText(const QString &text)
    {
        m_full = text;
        setAccessibleName(text);
        elide();
    }
    const QString &fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide()
    {
        const QString line = oneLine(m_full);
        const QString shown = fontMetrics().elidedText(line, Qt::ElideMiddle, qMax(40, width()));
        setText(shown);
        setToolTip(shown == m_full ? QString() : plainToolTip(m_full));
    }
    QString m_full;
};

namespace {

enum Column { Label, Stored, Windows, After, Columns };

// Long values are cut long before the cell's width runs out; the tool tip
// holds them whole.
constexpr int kCellCharacters = 300;

// `empty`: what a screen reader says for an empty cell, which shows nothing.
QTableWidgetItem *cell(const QString &text, const QString &whole, bool bold, const QString &empty = QString())
{
    QString shown = oneLine(text);
    if (shown.size() > kCellCharacters)
        shown = shown.left(kCellCharacters) + QStringLiteral("…");
    auto *item = new QTableWidgetItem(shown);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (!whole.isEmpty())
        item->setToolTip(plainToolTip(whole));
    if (text.isEmpty() && !empty.isEmpty())
        item->setData(Qt::AccessibleTextRole, empty);
    if (bold) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    return item;
}

} // namespace

QString plainToolTip(const QString &text)
{
    // Rich text whose content is escaped shows as the text typed.
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    escaped.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

QString oneLine(const QString &text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("↵"));
    line.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    line.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    line.replace(QLatin1Char('\t'), QStringLiteral("→"));
    return line;
}

PictureDetailsWindow::PictureDetailsWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("PictureDetails"));
    setWindowTitle(QStringLiteral("Picture Details"));
    setAccessibleName(windowTitle());
    resize(860, 520);

    auto *facts = new QFormLayout;
    auto addFact = [&](const QString &label, const char *name) {
        auto *value = new ElidedLabel(this);
        value->setObjectName(QString::fromLatin1(name));
        auto *caption = new QLabel(label, this);
        caption->setBuddy(value);
        facts->addRow(caption, value);
        return value;
    };
    m_name = addFact(QStringLiteral("Name:"), "DetailsName");
    m_folder = addFact(QStringLiteral("Folder:"), "DetailsFolder");
    m_size = addFact(QStringLiteral("Size:"), "DetailsSize");
    m_pixels = addFact(QStringLiteral("Dimensions:"), "DetailsDimensions");
    m_date = addFact(QStringLiteral("Date taken:"), "DetailsDateTaken");

    m_note = new ElidedLabel(this);
    m_note->setObjectName(QStringLiteral("DetailsNote"));
    m_note->hide();

    m_table = new QTableWidget(13, Columns, this);
    m_table->setObjectName(QStringLiteral("DetailsTable"));
    m_table->setAccessibleName(QStringLiteral("Tags of the picture"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Tag"), QStringLiteral("Stored now"),
                                        QStringLiteral("Windows shows"),
                                        QStringLiteral("After the run")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(Label, 180);
    m_table->setColumnWidth(Stored, 170);
    m_table->setColumnWidth(Windows, 260);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);

    m_way = new ElidedLabel(this);
    m_way->setObjectName(QStringLiteral("DetailsWay"));
    m_way->hide();
    m_copy = new ElidedLabel(this);
    m_copy->setObjectName(QStringLiteral("DetailsCopy"));
    m_copy->hide();
    // A sentence: wrapped, never cut in the middle.
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("DetailsSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(facts);
    layout->addWidget(m_note);
    layout->addWidget(m_way);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_copy);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);
}

void PictureDetailsWindow::showHeader(const PictureHeader &header)
{
    m_name->setFullText(header.name);
    m_folder->setFullText(header.folder);
    m_size->setFullText(header.size);
    m_pixels->setFullText(header.pixels);
    m_date->setFullText(header.dateTaken);
    m_note->setFullText(header.note);
    m_note->setVisible(!header.note.isEmpty());
    m_copy->setFullText(header.copy);
    m_copy->setVisible(!header.copy.isEmpty());
    m_way->setFullText(header.way);
    m_way->setVisible(!header.way.isEmpty());
}

void PictureDetailsWindow::showRows(const QList<DetailRow> &rows)
{
    m_table->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const DetailRow &row = rows.at(i);
        // The chosen tag is marked in words too, for whoever does not see bold.
        QTableWidgetItem *label = cell(row.chosen ? QStringLiteral("▸ %1 (chosen)").arg(row.label)
                                                  : row.label,
                                       QString(), row.chosen);
        m_table->setItem(i, Label, label);
        m_table->setItem(i, Stored, cell(row.stored, row.stored, row.chosen,
                                         row.present ? QStringLiteral("empty") : QStringLiteral("not stored")));
        m_table->setItem(i, Windows, cell(row.windowsShows, row.windowsShows, row.chosen,
                                          QStringLiteral("the same")));
        m_table->setItem(i, After, cell(row.afterRun, row.afterRun, row.chosen, QStringLiteral("not stored")));
        if (row.chosen && m_table->currentRow() != i)
            m_table->setCurrentCell(i, Label);
    }
}

void PictureDetailsWindow::showSummary(const QString &text)
{
    m_summary->setText(text);
    m_summary->setAccessibleName(text);
}

void PictureDetailsWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
