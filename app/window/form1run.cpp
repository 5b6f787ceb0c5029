#include "app/window/form1.h"

// The window as the run's host: what the run reads from it when it starts,
// and how the window shows and guards a run while it works.

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>

#include "app/window/detailspanel.h"
#include "app/window/valuechoice.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"
#include "writer/command/batchrun.h"

int Form1::entryCount() const
{
    return m_model->entryCount();
}

QString Form1::entryText(int position) const
{
    return m_model->entryText(position);
}

QByteArray Form1::entryPath(int position) const
{
    return m_model->entryPath(position);
}

QString Form1::tagLabel() const
{
    return Combo1->currentText();
}

QString Form1::tagValue() const
{
    // A line break typed in the value box is stored as CR LF, the form
    // Windows programs show as a new line.
    QString value = Text1->toPlainText();
    value.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return value;
}

QString Form1::resultsFolder() const
{
    return Text2->text();
}

void Form1::setBusyPointer(bool busy)
{
    m_runHoldsHourglass = busy;
    showWorkingPointer();
}

void Form1::setBarValue(int value)
{
    m_barValue = value;
    scheduleRunState();
}

void Form1::setBarText(const QString &text)
{
    m_barText = text;
    scheduleRunState();
}

// The first change shows at once, the ones that follow at most once a frame.
void Form1::scheduleRunState()
{
    if (m_running && m_showRunState->isActive())
        return; // the frame's end shows the newest state
    showRunState();
    if (m_running)
        m_showRunState->start();
}

void Form1::showRunState()
{
    // The creeping value of a short run may pass 100; the bar shows it full.
    ProgressBar1->setValue(qBound(0, m_barValue, 100));
    QString format = m_barText;
    format.replace(QLatin1Char('%'), QStringLiteral("%%")); // a file name is no format
    if (ProgressBar1->format() != format) {
        ProgressBar1->setFormat(format);
        ProgressBar1->setAccessibleDescription(m_barText);
    }
    if (m_running && !m_runTitle.isEmpty())
        setWindowTitle(m_runTitle);
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    // Only an Escape that no popup, dialog or control took for itself
    // reaches the window: that one offers to stop the run.
    if (event->key() == Qt::Key_Escape && m_batch->BatchBusy()) {
        m_batch->requestStop();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    m_details->setRunWriting(running);
    // What the run took stays as it was taken: the boxes can be read and
    // copied, not changed, until the run ends.
    Text1->setReadOnly(running);
    Text2->setReadOnly(running);
    PushButton6->setEnabled(!running);
    lockTagChoice(running);
    m_values->setLocked(running);
    PushButton3->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start Changing"));
    if (running) {
        m_idleTitle = windowTitle();
    } else {
        m_runTitle.clear();
        m_showRunState->stop();
        showRunState();
        setWindowTitle(m_idleTitle);
    }
}

void Form1::setRunProgress(int done, int total)
{
    // The title shows in the task bar too.
    m_runTitle = QStringLiteral("%1 \u2013 %2 of %3").arg(m_idleTitle).arg(done).arg(total);
    // The last count shows whatever the timing: it is the one the run ends on.
    if (done >= total)
        m_showRunState->stop();
    scheduleRunState();
}

void Form1::focusValue()
{
    Text1->setFocus(Qt::OtherFocusReason);
}

void Form1::lockTagChoice(bool locked)
{
    // The list still opens and shows every tag, but only the run's own can
    // be chosen: keys, the wheel and clicks pass over disabled entries.
    auto *tags = qobject_cast<QStandardItemModel *>(Combo1->model());
    for (int row = 0; tags && row < tags->rowCount(); ++row)
        if (QStandardItem *tag = tags->item(row))
            tag->setEnabled(!locked || row == Combo1->currentIndex());
}

bool Form1::holdsList() const
{
    // A run holds its list from Start, before its hourglass shows.
    return m_pointer == Pointer::Hourglass || m_running;
}

bool Form1::holdsListOrder(QObject *watched, QEvent *event) const
{
    // Dragging would re-order entries of the run's list; while it runs the
    // list keeps its order, as it keeps its entries.
    if (!m_running || watched != ListView1->viewport() || event->type() != QEvent::MouseMove)
        return false;
    return static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton;
}
