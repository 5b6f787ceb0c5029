#include "app/window/detailspanel.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/details/detailrows.h"
#include "app/details/listsummary.h"
#include "app/details/picturevalue.h"
#include "app/shared/paths.h"
#include "app/window/picturedetailswindow.h"
#include "app/window/picturethumbnail.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"
#include "platform/filenames.h"
#include "writer/command/batchrun.h"
#include "writer/command/prerunchecks.h"

namespace {

// The free corner of the tag frame, right of the value box (logical pixels).
const QRect ThumbnailPlace(405, 17, 110, 108);
const QRect ButtonPlace(405, 127, 110, 24);

QString sizeText(qint64 bytes)
{
    const QLocale english(QLocale::English);
    return QStringLiteral("%1 (%2 bytes)")
        .arg(english.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat),
             english.toString(bytes));
}

QString folderOf(const QString &text)
{
    const int cut = int(text.lastIndexOf(nativeSeparator()));
    return cut < 0 ? QString() : text.left(qMax(1, cut));
}

QByteArray copyPathFor(const QByteArray &folder, const QByteArray &source)
{
    return Platform::joinedPath(folder, Platform::nameOfPath(source));
}

} // namespace

DetailsPanel::DetailsPanel(const Controls &controls, BatchHost &host, BatchRun &run, int timeoutMs,
                           QObject *parent)
    : QObject(parent)
    , m_controls(controls)
    , m_host(host)
    , m_thumbnail(new PictureThumbnail(controls.tagFrame))
    , m_button(new QPushButton(QStringLiteral("Details"), controls.tagFrame))
    , m_show(new QAction(QStringLiteral("Show Details"), controls.window))
    , m_reader(new PictureReader(timeoutMs, this))
    , m_summary(new ListSummary(timeoutMs, this))
{
    m_thumbnail->setObjectName(QStringLiteral("Thumbnail"));
    m_thumbnail->setGeometry(ThumbnailPlace);
    m_button->setObjectName(QStringLiteral("DetailsButton"));
    m_button->setGeometry(ButtonPlace);
    m_button->setAccessibleName(QStringLiteral("Picture Details"));
    QFont small = m_button->font();
    small.setBold(false);
    m_button->setFont(small);

    m_show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    m_show->setShortcutContext(Qt::WindowShortcut);
    controls.window->addAction(m_show);
    controls.list->addAction(m_show);
    controls.list->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_show, &QAction::triggered, this, &DetailsPanel::showDetails);
    connect(m_button, &QPushButton::clicked, this, &DetailsPanel::showDetails);

    connect(controls.list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &DetailsPanel::selectionChanged);
    connect(controls.model, &QAbstractItemModel::rowsInserted, this, &DetailsPanel::listChanged);
    connect(controls.model, &QAbstractItemModel::rowsRemoved, this, &DetailsPanel::listChanged);
    connect(controls.model, &QAbstractItemModel::modelReset, this, &DetailsPanel::listChanged);
    connect(controls.model, &QAbstractItemModel::dataChanged, this, &DetailsPanel::listChanged);
    connect(controls.tag, &QComboBox::currentTextChanged, this, &DetailsPanel::tagChanged);
    connect(controls.value, &QPlainTextEdit::textChanged, this, &DetailsPanel::showRead);
    connect(controls.way, &QComboBox::currentTextChanged, this, &DetailsPanel::showRead);

    connect(m_reader, &PictureReader::pictureRead, this, &DetailsPanel::onRead);
    connect(m_summary, &ListSummary::progress, this, [this](int done, int total) {
        if (m_window)
            m_window->showSummary(countingText(done, total));
    });
    connect(m_summary, &ListSummary::counted, this, &DetailsPanel::onCounted);
    connect(&run, &BatchRun::runFinished, this, &DetailsPanel::onRunFinished);

    // A folder scan adds entries in batches: the count starts once they settle.
    m_recount.setSingleShot(true);
    m_recount.setInterval(400);
    connect(&m_recount, &QTimer::timeout, this, &DetailsPanel::recount);
}

DetailsPanel::~DetailsPanel() = default;

int DetailsPanel::selectedRow() const
{
    const QModelIndex current = m_controls.list->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DetailsPanel::showDetails()
{
    if (!m_window) {
        m_window = new PictureDetailsWindow(m_controls.window);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    showRead();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    recount();
}

void DetailsPanel::selectionChanged()
{
    const int row = selectedRow();
    const QByteArray path = row >= 0 ? m_controls.model->entryPath(row + 1) : QByteArray();
    const QString text = row >= 0 ? m_controls.model->entryText(row + 1) : QString();
    if (path == m_selectedPath && text == m_selectedText)
        return;
    m_selectedPath = path;
    m_selectedText = text;
    m_haveRead = false;
    if (path.isEmpty()) {
        m_reader->cancel();
        m_thumbnail->showNothing();
    } else {
        PictureRequest request;
        request.path = path;
        if (const auto copy = m_copies.constFind(path); copy != m_copies.cend()) {
            request.copyPath = *copy;
            request.copyTagLabel = m_copiesTag;
        }
        m_thumbnail->showNothing(QStringLiteral("Reading…"));
        m_reader->read(request);
    }
    showRead();
}

void DetailsPanel::listChanged()
{
    // The entry on show may have moved, gone, or been replaced in its place.
    selectionChanged();
    recountSoon();
}

void DetailsPanel::tagChanged()
{
    showRead();
    recount();
}

void DetailsPanel::onRead(const PictureRead &read)
{
    if (read.request.path != m_selectedPath)
        return;
    m_read = read;
    m_haveRead = true;
    const PictureFacts &facts = read.facts;
    if (!facts.error.isEmpty())
        m_thumbnail->showPicture(QImage(), facts.error);
    else
        m_thumbnail->showPicture(facts.thumbnail, facts.thumbnail.isNull()
                                                      ? (facts.thumbnailNote.isEmpty()
                                                             ? QStringLiteral("No preview.")
                                                             : facts.thumbnailNote)
                                                      : QString());
    showRead();
}

void DetailsPanel::showRead()
{
    if (!m_window)
        return;
    PictureHeader header;
    header.name = m_selectedText.isEmpty() ? QStringLiteral("(no file selected)")
                                           : FileNameOf(m_selectedText);
    header.folder = folderOf(m_selectedText);
    const QString tag = m_controls.tag->currentText();
    PictureFacts facts;
    if (m_haveRead) {
        facts = m_read.facts;
        if (facts.size >= 0)
            header.size = sizeText(facts.size);
        if (facts.pixels.isValid())
            header.pixels = QStringLiteral("%1 × %2 pixels").arg(facts.pixels.width()).arg(facts.pixels.height());
        header.dateTaken = facts.dateTaken().value_or(QStringLiteral("(none)"));
        header.note = !facts.error.isEmpty() ? facts.error : facts.metadataNote;
        if (!m_read.request.copyPath.isEmpty()) {
            const int index = tagIndexOf(m_read.request.copyTagLabel);
            const PictureFacts &copy = m_read.copy;
            QString readBack;
            if (!copy.error.isEmpty())
                readBack = QStringLiteral("it cannot be read: %1").arg(copy.error);
            else if (index >= 0 && copy.values[std::size_t(index)])
                readBack = QStringLiteral("%1 reads back as \"%2\"")
                               .arg(m_read.request.copyTagLabel, *copy.values[std::size_t(index)]);
            else
                readBack = QStringLiteral("it holds no %1").arg(m_read.request.copyTagLabel);
            header.copy = QStringLiteral("Copy of the last run: %1; %2")
                              .arg(Platform::decodeName(m_read.request.copyPath), readBack);
        }
    } else if (!m_selectedPath.isEmpty()) {
        header.note = QStringLiteral("Reading…");
    }
    const ValuePlan plan = currentPlan();
    header.way = planRefusal(plan).isEmpty() ? planWords(plan) : QString();
    m_window->showHeader(header);
    m_window->showRows(detailRows(facts, tag, selectedValue(plan, facts)));
}

ValuePlan DetailsPanel::currentPlan() const
{
    ValuePlan plan;
    plan.tagLabel = m_controls.tag->currentText();
    plan.typed = m_host.tagValue();
    plan.way = wayForLabel(m_controls.way->currentText()).value_or(ValueWay::AsTyped);
    plan.ownValues = m_host.hasOwnValues();
    return plan;
}

// What the selected picture's copy will hold, made as the run makes it.
MadeValue DetailsPanel::selectedValue(const ValuePlan &plan, const PictureFacts &facts) const
{
    if (!isPerFile(plan))
        return {plan.typed, valueRefusal(plan.tagLabel, plan.typed)};
    if (const QString refusal = planRefusal(plan); !refusal.isEmpty())
        return {QString(), refusal};
    const int row = selectedRow();
    if (row < 0 || (needsSourceTags(plan) && !m_haveRead))
        return {QString(), QStringLiteral("(made from each picture)")};
    ValueSource source;
    source.path = m_selectedText;
    source.n = row + 1;
    source.count = m_controls.model->entryCount();
    if (plan.ownValues)
        source.own = m_host.entryValue(row + 1);
    return pictureValue(plan, source, facts);
}

void DetailsPanel::recountSoon()
{
    if (m_window && m_window->isVisible())
        m_recount.start();
}

void DetailsPanel::recount()
{
    m_recount.stop();
    if (!m_window || !m_window->isVisible()) {
        m_summary->cancel();
        return;
    }
    QList<QByteArray> paths;
    const int count = m_controls.model->entryCount();
    paths.reserve(count);
    for (int i = 1; i <= count; ++i)
        paths.append(m_controls.model->entryPath(i));
    m_summary->count(paths, m_controls.tag->currentText());
}

void DetailsPanel::onCounted(const QString &tagLabel, const SummaryCount &count)
{
    if (m_window)
        m_window->showSummary(summaryText(tagLabel, count));
}

void DetailsPanel::setRunWriting(bool writing)
{
    m_summary->setPaused(writing);
    if (!writing)
        return;
    m_runPaths.clear();
    for (int i = 1; i <= m_host.entryCount(); ++i)
        m_runPaths.append(m_host.entryPath(i));
    m_runFolder = Platform::encodeName(CleanPath(m_host.resultsFolder()));
    m_runTag = m_host.tagLabel();
}

void DetailsPanel::onRunFinished(const BatchReport &report)
{
    m_copies.clear();
    m_copiesTag = m_runTag;
    for (const FileOutcome &outcome : report.outcomes) {
        if (!countsAsWritten(outcome.kind) || outcome.position < 1
            || outcome.position > m_runPaths.size())
            continue;
        const QByteArray &source = m_runPaths.at(outcome.position - 1);
        m_copies.insert(source, copyPathFor(m_runFolder, source));
    }
    // The entry on show is read again, with its copy.
    m_haveRead = false;
    m_selectedPath.clear();
    selectionChanged();
}
