#pragma once
// Dialog units to pixels, as dialog base units do: a horizontal unit is a quarter of the
// dialog font's average character width, a vertical one an eighth of its height.
#include <QFontMetrics>
#include <QRect>
#include <QWidget>

class CDialogUnits
{
public:
    explicit CDialogUnits(const QWidget* dialog)
    {
        const QFontMetrics metrics(dialog->font());
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_x = metrics.horizontalAdvance(letters) / 52.0;
        m_y = metrics.height();
    }
    QRect Rect(int x, int y, int width, int height) const
    {
        return QRect(X(x), Y(y), X(x + width) - X(x), Y(y + height) - Y(y));
    }
    int X(int units) const { return int(units * m_x / 4 + 0.5); }
    int Y(int units) const { return int(units * m_y / 8 + 0.5); }

private:
    double m_x;
    double m_y;
};
