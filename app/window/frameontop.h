#pragma once

#include <QWidget>

class QFrame;

// Draws a framed widget's border again, above everything inside it. At a
// fractional scale (QT_SCALE_FACTOR=1.5) an edge at an odd logical position
// falls on half a device pixel: Qt rounds the inner viewport's rectangle over
// it, and the viewport, painted after its parent, hides that edge. Painted
// last, the border stays whole whatever the rounding; the controls keep their
// places.
class FrameOnTop : public QWidget {
public:
    explicit FrameOnTop(QFrame *frame);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QFrame *m_frame;
};
