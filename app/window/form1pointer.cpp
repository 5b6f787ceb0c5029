#include "app/window/form1.h"

// The window's mouse pointer: the hand over buttons, the hourglass while a
// command works.

#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>

void Form1::setMousePointer(int style)
{
    m_pointer = style;
    switch (style) {
    case Pointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case Pointer::Custom:
        setCursor(m_customPointer);
        break;
    default:
        unsetCursor();
        break;
    }
}

void Form1::applyPointerRule(int style)
{
    if (m_pointer != Pointer::Hourglass) // a busy command keeps its hourglass
        setMousePointer(style);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (holdsListOrder(watched, event))
        return true;
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        // A move that a button leaves unhandled travels on to the frame or
        // the window around it; the widget under the pointer decides.
        auto *widget = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::MouseMove) {
            const auto *move = static_cast<QMouseEvent *>(event);
            QWidget *under = widget->childAt(move->position().toPoint());
            if (under && under != widget && !qobject_cast<QGroupBox *>(under))
                return QWidget::eventFilter(watched, event);
        }
        const bool overButton = qobject_cast<QPushButton *>(watched) != nullptr;
        applyPointerRule(overButton ? Pointer::Custom : Pointer::Default);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::showWorkingPointer()
{
    // The run and a folder scan may overlap: the hourglass stays while either works.
    const bool working = m_runHoldsHourglass || !m_folderCommandJobs.isEmpty();
    // The run asks for every file; a cursor set again costs a walk over every control.
    if (working && m_pointer == Pointer::Hourglass)
        return;
    setMousePointer(working ? Pointer::Hourglass : Pointer::Default);
}
