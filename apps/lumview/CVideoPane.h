#pragma once
// The picture of the service being watched, scaled to fit and centred on black, or a line
// saying why there is none.
#include <QImage>
#include <QWidget>

class CVideoPane : public QWidget
{
public:
    explicit CVideoPane(QWidget* parent);

    void SetPicture(const QImage& picture);   // a null image clears it
    void SetText(const QString& text);
    const QImage& Picture() const { return m_picture; }
    // Where the picture is drawn, in the pane's coordinates; empty without one.
    QRect PictureRect() const;

    QSize sizeHint() const override { return {400, 320}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QString m_text;
};
