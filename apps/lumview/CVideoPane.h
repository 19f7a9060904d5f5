#pragma once
// The picture of the service being watched, centred on black, or a text saying why there is
// none (or which radio service plays). A picture made at the pane's size is drawn as it is;
// another (while the pane is resized) is scaled to fit.
#include <QImage>
#include <QWidget>

#include <functional>

class CVideoPane : public QWidget
{
public:
    explicit CVideoPane(QWidget* parent);

    void SetPicture(const QImage& picture);   // a null image clears it
    void SetText(const QString& text);
    const QImage& Picture() const { return m_picture; }
    // Where the picture is drawn, in the pane's coordinates; empty without one.
    QRect PictureRect() const;
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
    QImage m_picture;
    QString m_text;
};
