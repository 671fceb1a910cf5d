// The conversion of a 32-bit colour picture to 8 bits per pixel.
#pragma once

#include <QImage>

// An 8-bit copy of a Format_RGB32 or Format_ARGB32 image. A picture of at
// most 256 colours keeps them exactly (in the order they first appear);
// any other gets 256 colours chosen by variance-minimizing median cut over a
// 32 x 32 x 32 histogram, each pixel the nearest of them. Pictures with
// see-through pixels are left to Qt's own conversion, which keeps alpha in
// the palette. A null image when the copy does not fit in memory.
QImage QuantizedTo8bit(const QImage& image);
