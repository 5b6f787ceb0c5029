#include "app/window/picturethumbnail.h"

#include <QPainter>

PictureThumbnail::PictureThumbnail(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Picture of the selected file"));
    setFocusPolicy(Qt::NoFocus);
    showNothing();
}

void PictureThumbnail::showPicture(const QImage &picture, const QString &whyNot)
{
    m_picture = picture;
    m_placeholder = picture.isNull() ? QStringLiteral("No preview") : QString();
    setToolTip(whyNot);
    setAccessibleDescription(whyNot);
    update();
}

void PictureThumbnail::showNothing(const QString &note)
{
    m_picture = QImage();
    m_placeholder = note;
    setToolTip(QString());
    setAccessibleDescription(note);
    update();
}

void PictureThumbnail::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect box = rect().adjusted(0, 0, -1, -1);
    if (!m_picture.isNull()) {
        // Never enlarged: a small thumbnail stays sharp.
        QSize size = m_picture.size();
        if (size.width() > width() || size.height() > height())
            size.scale(this->size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), size);
        target.moveCenter(rect().center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_picture);
        return;
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(box);
    if (!m_placeholder.isEmpty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        QFont small = font();
        small.setBold(false);
        painter.setFont(small);
        painter.drawText(box.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, m_placeholder);
    }
}
