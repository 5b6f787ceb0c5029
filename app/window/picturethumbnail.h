#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// The selected picture, small, upright, centred in its box; a plain
// placeholder when there is none to show.
class PictureThumbnail : public QWidget {
    Q_OBJECT
public:
    explicit PictureThumbnail(QWidget *parent = nullptr);

    // The picture, or a null one with the one-line reason shown as tool tip.
    void showPicture(const QImage &picture, const QString &whyNot = QString());
    // Nothing selected, or a read under way.
    void showNothing(const QString &note = QString());
    const QImage &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QString m_placeholder;
};
