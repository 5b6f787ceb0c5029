#include "app/window/valuechoice.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStylePainter>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "app/shared/dialogs.h"
#include "app/shared/settings.h"
#include "filelist/filelistmodel.h"
#include "platform/filenames.h"
#include "platform/files.h"
#include "writer/command/prerunchecks.h"
#include "writer/engine/admission.h"
#include "writer/report/reasons.h"
#include "writer/tags/tagcatalogue.h"
#include "writer/values/valueplan.h"

namespace {

const int ShortRole = Qt::UserRole + 1;

QString shortWayLabel(ValueWay way)
{
    switch (way) {
    case ValueWay::AsTyped:
        return QStringLiteral("Typed");
    case ValueWay::AddKeywords:
        return QStringLiteral("Add");
    case ValueWay::RemoveKeywords:
        return QStringLiteral("Remove");
    case ValueWay::ShiftDate:
        return QStringLiteral("Shift");
    case ValueWay::FillFields:
        return QStringLiteral("Fields");
    }
    return QString();
}

// Shows the chosen way in a word where the frame has room for no more; the
// list, the tool tip and screen readers give it whole.
class WayBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText = currentData(ShortRole).toString();
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

// The free column of the tag frame, under "Value:" (logical pixels).
const QRect WayPlace(8, 76, 67, 23);
const QRect LoadPlace(8, 103, 67, 37);
// A spreadsheet larger than this is no list of values.
constexpr qint64 LargestSheet = 256LL * 1024 * 1024;
// Entries added per turn of the event loop, so the window keeps answering.
constexpr int AppendBatch = 4000;

QString tagNameOf(const QString &label)
{
    const std::optional<QString> option = TagOptionFor(label);
    return option ? TagNameOf(*option) : QString();
}

// Why a value cannot be used as this way's text for the tag, or nothing.
QString valueCheck(const ValuePlan &plan, const QString &value)
{
    ValuePlan one = plan;
    one.ownValues = false;
    one.typed = value;
    return isPerFile(one) ? planRefusal(one) : valueRefusal(one.tagLabel, value);
}

LoadedSheet readSheet(const QString &path, const ValuePlan &plan)
{
    LoadedSheet loaded;
    QFile file(path);
    // A pipe or a device would hold the reading thread for ever.
    if (const Platform::FileStatus status = Platform::statusOf(Platform::encodeName(path));
        status.ok() && status.kind != Platform::FileKind::Regular)
        loaded.sheet.error = refusalForKind(status.kind);
    else if (QFileInfo(path).size() > LargestSheet)
        loaded.sheet.error = QStringLiteral("The file is too large for a spreadsheet of values.");
    else if (!file.open(QIODevice::ReadOnly))
        loaded.sheet.error = file.errorString();
    if (!loaded.sheet.error.isEmpty())
        return loaded;
    loaded.sheet = readSpreadsheet(file.readAll(), QFileInfo(path).absolutePath());
    const auto fileRefusal = [](const QString &name) {
        const QString why = sourceRefusal(Platform::encodeName(name));
        // Said of a listed file that went; a row can name one that never was.
        return why == because(Reason::FileGone) ? QStringLiteral("There is no such file.") : why;
    };
    refuseRows(&loaded.sheet, fileRefusal,
               [&plan](const QString &value) { return valueCheck(plan, value); });
    loaded.entries.reserve(loaded.sheet.rows.size());
    for (const SheetRow &row : std::as_const(loaded.sheet.rows)) {
        ListEntry entry = ListEntry::fromText(row.file);
        entry.value = row.value;
        loaded.entries.append(std::move(entry));
    }
    loaded.sheet.rows.clear();
    return loaded;
}

} // namespace

ValueChoice::ValueChoice(QWidget *tagFrame, QComboBox *tag, FileListModel *model, Dialogs &dialogs,
                         QObject *parent)
    : QObject(parent)
    , m_tag(tag)
    , m_model(model)
    , m_dialogs(dialogs)
    , m_way(new WayBox(tagFrame))
    , m_load(new QPushButton(QStringLiteral("Values\nFrom File\u2026"), tagFrame))
{
    QFont small = m_way->font();
    small.setBold(false);
    m_way->setObjectName(QStringLiteral("ValueWay"));
    m_way->setAccessibleName(QStringLiteral("How the value is used"));
    m_way->setGeometry(WayPlace);
    m_way->setFont(small);
    m_way->view()->setMinimumWidth(m_way->fontMetrics().horizontalAdvance(
                                       wayLabel(ValueWay::RemoveKeywords)) + 24);
    // Screen readers on Linux name a combo box by its entry and find what it
    // is for in the label tied to it; the frame has no room to show one.
    auto *name = new QLabel(QStringLiteral("How the value is used"), tagFrame);
    name->setBuddy(m_way);
    name->hide();
    m_load->setObjectName(QStringLiteral("ValuesFromFile"));
    m_load->setAccessibleName(QStringLiteral("Values From File\u2026"));
    m_load->setToolTip(QStringLiteral("Add the files of a spreadsheet to the list, each with its own value"));
    m_load->setGeometry(LoadPlace);
    m_load->setFont(small);
    offerWaysFor(tag->currentText());

    connect(tag, &QComboBox::currentTextChanged, this, &ValueChoice::offerWaysFor);
    connect(m_way, &QComboBox::activated, this,
            [this] { Settings::write(Settings::Key::ValueWay, m_way->currentText()); });
    connect(m_way, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { m_way->setToolTip(QStringLiteral("How the value is used: ") + text); });
    connect(m_load, &QPushButton::clicked, this, &ValueChoice::loadFromFile);
    connect(&m_reading, &QFutureWatcherBase::finished, this, &ValueChoice::onLoaded);
}

QString ValueChoice::way() const
{
    return m_way->currentText();
}

// The ways the tag offers; the remembered one when it is among them.
void ValueChoice::offerWaysFor(const QString &tagLabel)
{
    const QList<ValueWay> ways = waysFor(tagNameOf(tagLabel));
    const QString wanted = Settings::read(Settings::Key::ValueWay);
    m_way->clear();
    for (const ValueWay way : ways) {
        m_way->addItem(wayLabel(way));
        m_way->setItemData(m_way->count() - 1, shortWayLabel(way), ShortRole);
    }
    m_way->setCurrentIndex(qMax(0, m_way->findText(wanted, Qt::MatchExactly | Qt::MatchCaseSensitive)));
}

void ValueChoice::setLocked(bool locked)
{
    m_locked = locked;
    // As with the tag: the list still opens, but only the run's own way can be chosen.
    auto *ways = qobject_cast<QStandardItemModel *>(m_way->model());
    for (int row = 0; ways && row < ways->rowCount(); ++row)
        if (QStandardItem *item = ways->item(row))
            item->setEnabled(!locked || row == m_way->currentIndex());
    m_load->setEnabled(!locked && !m_reading.isRunning() && m_toAppend.isEmpty());
}

void ValueChoice::loadFromFile()
{
    if (m_locked || m_reading.isRunning() || !m_toAppend.isEmpty())
        return;
    const QStringList chosen = m_dialogs.openFileNames(
        QStringLiteral("Values From File"),
        QStringLiteral("Spreadsheets (*.csv *.tsv *.txt);;All files (*)"));
    if (!chosen.isEmpty())
        loadSpreadsheet(chosen.first());
}

void ValueChoice::loadSpreadsheet(const QString &path)
{
    ValuePlan plan;
    plan.tagLabel = m_tag->currentText();
    plan.way = wayForLabel(way()).value_or(ValueWay::AsTyped);
    m_load->setEnabled(false);
    m_reading.setFuture(QtConcurrent::run([path, plan] { return readSheet(path, plan); }));
}

void ValueChoice::onLoaded()
{
    m_done = m_reading.result();
    m_toAppend = std::move(m_done.entries);
    m_done.entries.clear();
    appendSome();
}

void ValueChoice::appendSome()
{
    if (!m_toAppend.isEmpty()) {
        const int take = qMin(AppendBatch, int(m_toAppend.size()));
        m_model->appendListEntries(m_toAppend.mid(0, take));
        m_toAppend.remove(0, take);
        if (!m_toAppend.isEmpty()) {
            QTimer::singleShot(0, this, &ValueChoice::appendSome);
            return;
        }
    }
    m_load->setEnabled(!m_locked);
    const Sheet &sheet = m_done.sheet;
    if (!sheet.error.isEmpty())
        m_dialogs.message(QStringLiteral("The spreadsheet cannot be used. %1").arg(sheet.error));
    else if (!sheet.problems.isEmpty())
        m_dialogs.message(sheet.problems.size() == 1
                              ? QStringLiteral("1 row of the spreadsheet cannot be used; its file was not "
                                               "added to the list.")
                              : QStringLiteral("%1 rows of the spreadsheet cannot be used; their files were "
                                               "not added to the list.")
                                    .arg(sheet.problems.size()),
                          problemLines(sheet.problems));
    m_done = LoadedSheet();
    emit loaded();
}
