#include "widgets/CStatusIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

QPixmap Blank()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap CStatusIcons::Information()
{
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(0.5, 0.5, 15, 12), 4, 4);
    bubble.moveTo(4, 12);
    bubble.lineTo(3, 15.5);
    bubble.lineTo(8, 12);
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(bubble.simplified());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 80, 200));
    painter.drawEllipse(QRectF(7, 2.5, 2, 2));
    painter.drawRect(QRectF(7, 5.5, 2, 5));
    return pixmap;
}

QPixmap CStatusIcons::Warning()
{
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 90, 0), 1));
    painter.setBrush(QColor(250, 205, 30));
    painter.drawPolygon(QPolygonF({QPointF(8, 0.5), QPointF(15.5, 15), QPointF(0.5, 15)}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(7, 5, 2, 6));
    painter.drawRect(QRectF(7, 12, 2, 2));
    return pixmap;
}
