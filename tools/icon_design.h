// The application icon as shapes on a 32 x 32 grid: the picture frame with a
// landscape, a sun and a magnifying glass that packaging/imagebench.xpm shows
// pixel by pixel. One description gives the SVG and every rendered size, so
// that the Windows icon, the Linux theme icons and the window icon all show
// the same drawing.
#pragma once

#include <QByteArray>
#include <QImage>

namespace icon {

// The grid the shapes are laid out on; the pixel drawing is this size too.
constexpr int kGrid = 32;

// The drawing rendered at size x size pixels (ARGB32, premultiplied).
QImage Render(int size);

// The drawing as an SVG document with a 32 x 32 view box.
QByteArray Svg();

// The share (0 ... 1) of pixels of the 32 x 32 rendering whose colour is
// within `tolerance` (summed over red, green and blue) of the pixel drawing:
// tells whether the shapes still draw what the pixel drawing shows.
double Agreement(const QImage& pixelDrawing, int tolerance);

} // namespace icon
