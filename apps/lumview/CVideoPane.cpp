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

void CVideoPane::SetSubtitle(std::shared_ptr<const CDVBSubtitleCue> subtitle)
{
    if (subtitle == m_subtitle)
        return;
    m_subtitle = std::move(subtitle);
    // the cue's own pixels, kept alive by m_subtitle as long as the image is
    m_subtitleImage = m_subtitle ? QImage(m_subtitle->rgba.data(), m_subtitle->width, m_subtitle->height,
                                          m_subtitle->width * 4, QImage::Format_RGBA8888)
                                 : QImage();
    update();
}

void CVideoPane::SetTeletext(const QImage& page, const QString& text)
{
    m_teletext = !page.isNull() || !text.isEmpty();
    m_page = page;
    m_pageText = text;
    update();
}

void CVideoPane::PaintTeletext(QPainter& painter)
{
    painter.fillRect(rect(), Qt::black);
    if (!m_page.isNull()) {
        const QSize shown = QSize(4, 3).scaled(size(), Qt::KeepAspectRatio);
        const QRect at(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(at, m_page);
    }
    if (!m_pageText.isEmpty()) {
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.4);
        font.setBold(true);
        painter.setFont(font);
        const QRect band = rect().adjusted(12, 12, -12, -12);
        painter.setPen(Qt::black);
        painter.drawText(band.translated(2, 2), Qt::AlignHCenter | (m_page.isNull() ? Qt::AlignVCenter : Qt::AlignBottom), m_pageText);
        painter.setPen(QColor(255, 255, 0));
        painter.drawText(band, Qt::AlignHCenter | (m_page.isNull() ? Qt::AlignVCenter : Qt::AlignBottom), m_pageText);
    }
}

QRect CVideoPane::SubtitleRect() const
{
    const QRect at = PictureRect();
    if (at.isEmpty() || !m_subtitle || m_subtitleImage.isNull() || m_subtitle->frameWidth <= 0 || m_subtitle->frameHeight <= 0)
        return QRect();
    // where it was composed on its frame, scaled with the picture
    const double x = double(at.width()) / m_subtitle->frameWidth, y = double(at.height()) / m_subtitle->frameHeight;
    return QRectF(at.left() + m_subtitle->x * x, at.top() + m_subtitle->y * y, m_subtitle->width * x, m_subtitle->height * y)
        .toRect();
}

void CVideoPane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_teletext) {
        PaintTeletext(painter);
        return;
    }
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
    const QRect place = SubtitleRect();
    if (!place.isEmpty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(place, m_subtitleImage);
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
