// A bitmap shown on a drawn area of device pixels: an enlarged view repeats
// each bitmap pixel over a block of device pixels, a reduced one averages
// the box of bitmap pixels that falls on each device pixel.
#pragma once

#include "image/bitmap/Bitmap.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

// The first of the source pixels shown on target pixel t when source pixels
// are spread over target pixels: the one under the target pixel's left (top)
// edge, rounded toward minus infinity for pixels before the first.
int FirstShownPixel(qint64 t, int source, int target);

// Draws the device pixels of area ((0, 0) the drawn area's top-left pixel)
// of the bitmap shown on drawn device pixels into view, whose top-left pixel
// is the device pixel origin. Pixels are premultiplied 0xAARRGGBB, opaque
// unless the bitmap has an alpha channel; a reduced view's pixel is the
// rounded mean of its box. view must be a 32-bit image holding area.
void DrawBoxView(const TBitmap& bitmap, QSize drawn, const QRect& area, QImage& view, QPoint origin);
