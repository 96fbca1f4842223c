#pragma once
#include <QFont>
#include <QRect>
#include <QSize>

namespace meru {

// Dialog units as Windows computes them from the dialog's font: the base width
// is the average width of "A".."Z" "a".."z" (rounded), the base height the
// font's height; x dialog units are x * baseX / 4 pixels, y are y * baseY / 8.
// Every window places its controls from its template's rectangles through this.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    CDialogUnits(int baseX, int baseY) : m_nBaseX(baseX), m_nBaseY(baseY) {}

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }
    int X(int du) const;
    int Y(int du) const;
    QSize Size(int w, int h) const { return {X(w), Y(h)}; }
    QRect Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }

    // The font for a template's face and point size. The Windows faces
    // ("MS Sans Serif", "System") become the desktop's general font.
    static QFont TemplateFont(const char* face, int pointSize);

private:
    int m_nBaseX;
    int m_nBaseY;
};

}  // namespace meru
