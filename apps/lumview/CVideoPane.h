#pragma once
// The picture of the service being watched, centred on black, with its subtitle over it
// where the subtitle was composed to be, or a text saying why there is none (or which radio
// service plays); or in its place a teletext page, in a TV's 4:3. A picture made at the
// pane's size is drawn as it is; another (while the pane is resized) is scaled to fit.
#include "decode/CDVBSubtitleCue.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class CVideoPane : public QWidget
{
public:
    explicit CVideoPane(QWidget* parent);

    void SetPicture(const QImage& picture);   // a null image clears it
    void SetText(const QString& text);
    void SetSubtitle(std::shared_ptr<const CDVBSubtitleCue> subtitle);   // null: none
    // A null page: the picture again; `text` is said over the page (or alone).
    void SetTeletext(const QImage& page, const QString& text);
    const QImage& Picture() const { return m_picture; }
    // Where the picture is drawn, in the pane's coordinates; empty without one.
    QRect PictureRect() const;
    // Where the subtitle is drawn; empty without one.
    QRect SubtitleRect() const;
    // The size in device pixels a picture should have to be drawn as it is.
    QSize PixelSize() const;

    std::function<void()> onDoubleClick;
    std::function<void()> onResize;

    QSize sizeHint() const override { return {400, 320}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PaintTeletext(QPainter& painter);

    QImage m_picture;
    QString m_text;
    std::shared_ptr<const CDVBSubtitleCue> m_subtitle;
    QImage m_subtitleImage;   // m_subtitle's pixels
    bool m_teletext = false;
    QImage m_page;
    QString m_pageText;
};
