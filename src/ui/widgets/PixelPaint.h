#pragma once
// Exact-pixel drawing for the meter and waveform pictures: straight lines that leave
// out their end point, and text on an opaque cell, as the pictures' coordinates mean
// them. Everything is filled as whole-pixel rectangles, so no antialiasing or pen
// rasterisation rule can move a line by a pixel.
//
// On a scaled screen a picture is composed in device pixels: Dpr of them per pixel of
// the picture. Every position goes to its nearest device pixel and every line width
// to a whole number of them, so equal things stay equal (at 1.5 each 1-pixel tick is
// the same two device pixels wide, never one here and two there), and text is drawn
// at the device's resolution. At Dpr 1 nothing is rounded at all.

#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QRect>
#include <QString>

#include <algorithm>

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

// A painter on a picture of Width x Height pixels for a screen of pixel ratio Dpr.
// Picture() is Width x Dpr by Height x Dpr device pixels, filled with Background, and
// carries that pixel ratio once the painting has ended. An unusable ratio counts as 1.
class TPixelPainter {
public:
  TPixelPainter(int width, int height, qreal dpr, const QColor &background)
      : FDpr(dpr > 0.0 && dpr <= 16.0 ? dpr : 1.0),
        FImage(qRound(width * FDpr), qRound(height * FDpr), QImage::Format_RGB32)
  {
    if (FImage.isNull())
      return;
    FImage.fill(background);
    FPainter.begin(&FImage);
    FPainter.setRenderHint(QPainter::Antialiasing, false);
  }

  bool IsNull() const { return FImage.isNull(); }

  QImage Picture()
  {
    if (FPainter.isActive())
      FPainter.end();
    FImage.setDevicePixelRatio(FDpr);
    return FImage;
  }

  void SetFont(const QFont &font) { FPainter.setFont(font); }
  // Metrics in pixels of the picture, whatever the ratio.
  QFontMetrics FontMetrics() const { return QFontMetrics(FPainter.font()); }

  // A vertical line from (x, y0) to (x, y1), the end point left out: rows y0 .. y1 - 1
  // when drawn downwards, y1 + 1 .. y0 when drawn upwards, nothing when y0 == y1.
  void VLine(int x, int y0, int y1, int penWidth, const QColor &color)
  {
    if (y0 == y1 || penWidth <= 0)
      return;
    const int top = y1 > y0 ? y0 : y1 + 1;
    const int bottom = y1 > y0 ? y1 : y0 + 1;
    const int left = At(PenFirst(x, penWidth));
    Fill(left, At(top), left + Width(penWidth), At(bottom), color);
  }

  // A horizontal line from (x0, y) to (x1, y), the end point left out.
  void HLine(int x0, int x1, int y, int penWidth, const QColor &color)
  {
    if (x0 == x1 || penWidth <= 0)
      return;
    const int left = x1 > x0 ? x0 : x1 + 1;
    const int right = x1 > x0 ? x1 : x0 + 1;
    const int top = At(PenFirst(y, penWidth));
    Fill(At(left), top, At(right), top + Width(penWidth), color);
  }

  // A rectangle from (left, top) to (right, bottom): left and top edges in, right and
  // bottom edges out; an empty or inverted one fills nothing.
  void FillBox(int left, int top, int right, int bottom, const QColor &color)
  {
    if (right <= left || bottom <= top)
      return;
    Fill(At(left), At(top), At(right), At(bottom), color);
  }

  // Text whose cell (advance width x line height) has its top-left corner at (x, y),
  // drawn on an opaque cell of Background, in the painter's font.
  void OpaqueText(int x, int y, const QString &text, const QColor &ink, const QColor &background)
  {
    const QFontMetrics fm = FontMetrics();
    FillBox(x, y, x + fm.horizontalAdvance(text), y + fm.height(), background);
    Scaled([&] {
      FPainter.setPen(ink);
      FPainter.drawText(QPoint(x, y + fm.ascent()), text);
    });
  }

  // A filled polygon outlined with Pen, in pixels of the picture.
  void Polygon(const QPolygon &polygon, const QPen &pen, const QColor &fill)
  {
    Scaled([&] {
      FPainter.setPen(pen);
      FPainter.setBrush(fill);
      FPainter.drawPolygon(polygon);
    });
  }

private:
  int At(int v) const { return FDpr == 1.0 ? v : qRound(v * FDpr); }
  int Width(int n) const { return FDpr == 1.0 ? n : std::max(1, qRound(n * FDpr)); }

  void Fill(int left, int top, int right, int bottom, const QColor &color)
  {
    if (right > left && bottom > top)
      FPainter.fillRect(QRect(left, top, right - left, bottom - top), color);
  }

  template <typename Draw> void Scaled(Draw draw)
  {
    if (FDpr == 1.0) {
      draw();
      return;
    }
    FPainter.save();
    FPainter.scale(FDpr, FDpr);
    draw();
    FPainter.restore();
  }

  qreal FDpr;
  QImage FImage;
  QPainter FPainter;
};

} // namespace praatkist::ui
