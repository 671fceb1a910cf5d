// Pictures and files the tests build for themselves.
#pragma once

#include "image/bitmap/Graphics.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>

namespace testpictures {

// An 8-bit grey image (grey ramp palette) whose byte at (x, y) is level(x, y).
QImage Grey(int width, int height, const std::function<int(int x, int y)>& level);
QImage Grey(int width, int height, int level);
// A 32-bit image whose pixel at (x, y) is colour(x, y) (0xAARRGGBB).
QImage Colour(int width, int height, const std::function<QRgb(int x, int y)>& colour, bool alpha = false);
// An 8-bit image with the given palette (padded to 256) and bytes index(x, y).
QImage Palette(int width, int height, const QList<QRgb>& palette, const std::function<int(int x, int y)>& index);
// Deterministic pseudo-random pictures of each layout, for comparisons.
QImage RandomGrey(int width, int height, std::uint32_t seed);
QImage RandomColour(int width, int height, std::uint32_t seed, bool alpha);

// The bitmap's bytes row by row (only the pixel bytes, never row padding),
// and those of a bitmap holding the picture.
QByteArray Bytes(const TBitmap& bitmap);
QByteArray Bytes(const QImage& image);
QByteArray FileBytes(const QString& path);
bool WriteFile(const QString& path, const QByteArray& bytes);

} // namespace testpictures
