#include "app/window/frameontop.h"

#include <QEvent>
#include <QFrame>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// The style option QFrame paints its own border from, so the copy on top
// matches it in every style and state (focus, disabled, sunken).
struct FrameOption : QFrame {
    using QFrame::initStyleOption;
};

} // namespace

FrameOnTop::FrameOnTop(QFrame *frame)
    : QWidget(frame), m_frame(frame)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(frame->rect());
    raise();
    frame->installEventFilter(this);
}

bool FrameOnTop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_frame) {
        if (event->type() == QEvent::Resize)
            setGeometry(m_frame->rect());
        else if (event->type() == QEvent::ChildAdded)
            raise(); // a scroll bar or header added later stays below
    }
    return QWidget::eventFilter(watched, event);
}

void FrameOnTop::paintEvent(QPaintEvent *)
{
    QStyleOptionFrame option;
    (m_frame->*(&FrameOption::initStyleOption))(&option);
    option.rect = rect();
    QPainter painter(this);
    m_frame->style()->drawControl(QStyle::CE_ShapedFrame, &option, &painter, m_frame);
}
