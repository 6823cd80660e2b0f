#pragma once
// Exact-pixel drawing for the meter and waveform pictures: straight lines that leave
// out their end point, and text on an opaque cell, as the pictures' coordinates mean
// them. Everything is filled as whole-pixel rectangles, so no antialiasing or pen
// rasterisation rule can move a line by a pixel.

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QString>

namespace praatkist::ui {

// Columns a vertical line of PenWidth pixels covers when it is drawn at x: the pen
// straddles x, so a 1-pixel pen covers column x, a 2-pixel pen columns x - 1 and x,
// a 3-pixel pen x - 1 .. x + 1 (an even pen has no middle column; the pixel edge at x
// is its middle, which keeps a cursor's 2-pixel line centred under its triangle's tip
// at x). Rows likewise for horizontal lines.
inline int PenFirst(int at, int penWidth)
{
  return at - penWidth / 2;
}

// A vertical line from (x, y0) to (x, y1), the end point left out: rows y0 .. y1 - 1
// when drawn downwards, y1 + 1 .. y0 when drawn upwards, nothing when y0 == y1.
inline void VLine(QPainter &p, int x, int y0, int y1, int penWidth, const QColor &color)
{
  if (y0 == y1 || penWidth <= 0)
    return;
  const int top = y1 > y0 ? y0 : y1 + 1;
  const int rows = y1 > y0 ? y1 - y0 : y0 - y1;
  p.fillRect(QRect(PenFirst(x, penWidth), top, penWidth, rows), color);
}

// A horizontal line from (x0, y) to (x1, y), the end point left out.
inline void HLine(QPainter &p, int x0, int x1, int y, int penWidth, const QColor &color)
{
  if (x0 == x1 || penWidth <= 0)
    return;
  const int left = x1 > x0 ? x0 : x1 + 1;
  const int cols = x1 > x0 ? x1 - x0 : x0 - x1;
  p.fillRect(QRect(left, PenFirst(y, penWidth), cols, penWidth), color);
}

// A rectangle from (left, top) to (right, bottom): left and top edges in, right and
// bottom edges out; an empty or inverted one fills nothing.
inline void FillBox(QPainter &p, int left, int top, int right, int bottom, const QColor &color)
{
  if (right <= left || bottom <= top)
    return;
  p.fillRect(QRect(left, top, right - left, bottom - top), color);
}

// Text whose cell (advance width x line height) has its top-left corner at (x, y),
// drawn on an opaque cell of Background. The painter's font is used.
inline void OpaqueText(QPainter &p, int x, int y, const QString &text, const QColor &ink,
                       const QColor &background)
{
  const QFontMetrics fm = p.fontMetrics();
  p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), background);
  p.setPen(ink);
  p.drawText(QPoint(x, y + fm.ascent()), text);
}

} // namespace praatkist::ui
