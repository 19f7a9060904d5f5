#include "CVideoPane.h"

#include <QPainter>

CVideoPane::CVideoPane(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CVideoPane::SetPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void CVideoPane::SetText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        update();
    }
}

QRect CVideoPane::PictureRect() const
{
    if (m_picture.isNull())
        return QRect();
    const QSize size = m_picture.size().scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void CVideoPane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(PictureRect(), m_picture);
    } else if (!m_text.isEmpty()) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_text);
    }
}
