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
// The tests' one pseudo-random generator (splitmix64): the same numbers on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t operator()() { return std::uint32_t(Next() >> 32); }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }
    int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }

private:
    std::uint64_t state_;
};

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
