// Dialog templates are laid out in dialog units: a quarter of the dialog
// font's average character width across, an eighth of its height down. This
// maps them to pixels as the Windows dialog manager does.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    // Base units in pixels: average character width and character height.
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}
    static DialogUnits ForFont(const QFont& font);

    int X(int units) const { return Scale(units, m_baseX, 4); }
    int Y(int units) const { return Scale(units, m_baseY, 8); }
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    // value * base / divisor, rounded half away from zero.
    static int Scale(int value, int base, int divisor);

    int m_baseX;
    int m_baseY;
};
