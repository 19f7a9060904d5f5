#include "CVideoPane.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

CVideoPane::CVideoPane(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CVideoPane::SetPicture(const QImage& picture)
{
    m_picture = picture;
    m_picture.setDevicePixelRatio(devicePixelRatioF());
    update();
}

void CVideoPane::SetText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        update();
    }
}

QSize CVideoPane::PixelSize() const
{
    return size() * devicePixelRatioF();
}

QRect CVideoPane::PictureRect() const
{
    if (m_picture.isNull())
        return QRect();
    QSize shown = m_picture.deviceIndependentSize().toSize();
    // made for this size: within the rounding a scaler needs
    const bool made = shown.width() <= width() && shown.height() <= height() &&
                      (shown.width() + 8 >= width() || shown.height() + 2 >= height());
    if (!made)
        shown = shown.scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

void CVideoPane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), Qt::black);
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.4);   // read from a sofa
        painter.setFont(font);
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_text);
        return;
    }
    const QRect at = PictureRect();
    for (const QRect& part : QRegion(rect()).subtracted(at))   // black around it: the picture covers the rest
        painter.fillRect(part, Qt::black);
    if (at.size() == m_picture.deviceIndependentSize().toSize()) {
        painter.drawImage(at.topLeft(), m_picture);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(at, m_picture);
    }
}

void CVideoPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (onDoubleClick && event->button() == Qt::LeftButton)
        onDoubleClick();
}

void CVideoPane::resizeEvent(QResizeEvent*)
{
    if (onResize)
        onResize();
}
