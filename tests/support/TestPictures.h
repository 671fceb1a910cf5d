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

// PNG files taken apart and put together by hand, written here from the PNG
// format's description so that they check the codec rather than repeat it.
// The CRC-32 of bytes [from, to), as PNG chunks carry it.
quint32 PngCrc(const QByteArray& bytes, qsizetype from, qsizetype to);
// One chunk: length, type, data and CRC (off by one when goodCrc is false).
QByteArray PngChunk(const char* type, const QByteArray& data, bool goodCrc = true);
// png with chunk put in front of its first IDAT chunk, or in front of its
// IEND chunk when afterImage.
QByteArray PngWith(const QByteArray& png, const QByteArray& chunk, bool afterImage = false);
// The bytes of a literal, NULs included.
template <qsizetype N>
QByteArray Raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}
// A zlib stream of data, as PNG's compressed chunks hold it.
QByteArray Zlib(const QByteArray& data);

// An ancillary chunk damaged one way, to be put into a valid PNG file before
// its image data or after it; a reader passes over it and the picture opens
// as if it were not there.
struct DamagedChunk {
    const char* what;
    QByteArray chunk;
    bool afterImage = false;
};
QList<DamagedChunk> DamagedAncillaryChunks();

// The types of png's chunks in file order, each followed by the keyword of
// text chunks ("tEXt Title").
QStringList PngChunkList(const QByteArray& png);

} // namespace testpictures
