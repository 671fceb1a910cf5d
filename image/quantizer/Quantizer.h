// The conversion of a 32-bit colour picture to 8 bits per pixel.
#pragma once

#include <QImage>

class TProgress;

// An 8-bit copy of a Format_RGB32 or Format_ARGB32 image. A picture of at
// most 256 colours keeps them exactly (in the order they first appear; with
// their alpha where some pixels are see-through).
// Any other gets up to 256 colours from the colour moments of a
// 32 x 32 x 32 histogram: boxes of cells cut where most squared error goes
// (Wu's method), each box's colour the mean of the pixels in it, then
// refined by up to 32 steps of Lloyd's method; each pixel gets the colour
// nearest its cell's mean. On large pictures the passes over the rows are
// split over the cores. Pictures of more colours with see-through pixels are left
// to Qt's own conversion, which keeps alpha in the palette. A null image when the copy
// does not fit in memory.
//
// progress advances by three times the height (three passes over the rows);
// a cancel throws TCancelled between bands of rows.
QImage QuantizedTo8bit(const QImage& image, TProgress* progress = nullptr);
