// The picture operations written the plain way, one byte or pixel at a time:
// the one reference every test compares the fast code with. Row functions
// mirror the row kernels; picture functions give the bytes a command must
// leave (8-bit or 32-bit B, G, R, A pictures, rows without padding).
#pragma once

#include "support/PixelReference.h"
#include "support/TestPictures.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace reference {

// Byte k of p xor'ed with byte k % 4 of the little-endian pattern.
inline void XorPattern(std::uint8_t* p, std::size_t n, std::uint32_t pattern)
{
    for (std::size_t k = 0; k < n; ++k)
        p[k] = std::uint8_t(p[k] ^ ((pattern >> (8 * (k % 4))) & 0xFF));
}

// The clamped Laplacian, 8 x centre minus its eight neighbours, of each
// channel of a row of n pixels of bpp bytes (1, or 4 with alpha copied from
// mid), the pixels left of the first and right of the last wrapping round.
inline void Laplacian(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, std::uint8_t* out,
                      int n, int bpp)
{
    const std::uint8_t* rows[3] = {up, mid, down};
    for (int x = 0; x < n; ++x)
        for (int c = 0; c < bpp; ++c) {
            if (c == 3) {
                out[x * bpp + c] = mid[x * bpp + c];
                continue;
            }
            int v = 9 * mid[x * bpp + c];
            for (const std::uint8_t* row : rows)
                for (int dx = -1; dx <= 1; ++dx)
                    v -= row[((x + dx + n) % n) * bpp + c];
            out[x * bpp + c] = std::uint8_t(std::clamp(v, 0, 255));
        }
}

template <typename T>
void Reverse(T* row, int n)
{
    std::reverse(row, row + n);
}

// Whether every pixel has red = green = blue; dst gets the blue bytes.
inline bool GreyRow(const std::uint32_t* src, std::uint8_t* dst, int n)
{
    bool grey = true;
    for (int x = 0; x < n; ++x) {
        const std::uint32_t b = src[x] & 0xFF, g = (src[x] >> 8) & 0xFF, r = (src[x] >> 16) & 0xFF;
        grey = grey && b == g && g == r;
        dst[x] = std::uint8_t(b);
    }
    return grey;
}

// The quantizer's histogram cell of each pixel: red, green, blue bits 7 ... 3.
inline void Cells(const std::uint32_t* src, std::uint16_t* cells, int n)
{
    for (int x = 0; x < n; ++x) {
        const std::uint32_t r = (src[x] >> 19) & 31, g = (src[x] >> 11) & 31, b = (src[x] >> 3) & 31;
        cells[x] = std::uint16_t(r * 1024 + g * 32 + b);
    }
}

inline void LookUp(const std::uint8_t* index, const std::int32_t* table, std::int32_t* out, int n)
{
    for (int x = 0; x < n; ++x)
        out[x] = table[index[x]];
}

// The picture's bytes with every row of `bytes per pixel x width` bytes passed
// to row(row y, the bytes of the picture as it was, y).
template <typename Row>
QByteArray EachRow(const QImage& image, Row row)
{
    const QByteArray before = testpictures::Bytes(image);
    QByteArray after = before;
    const int rowBytes = image.width() * (image.depth() / 8);
    for (int y = 0; y < image.height(); ++y)
        row(reinterpret_cast<std::uint8_t*>(after.data()) + std::ptrdiff_t(y) * rowBytes,
            reinterpret_cast<const std::uint8_t*>(before.constData()), y);
    return after;
}

// Complement: every byte of an 8-bit picture, the colour bytes of a 32-bit one.
inline QByteArray Complemented(const QImage& image)
{
    const std::uint32_t pattern = image.depth() == 8 ? kComplementBytes : kComplementColour;
    const int rowBytes = image.width() * (image.depth() / 8);
    return EachRow(image, [&](std::uint8_t* row, const std::uint8_t*, int) { XorPattern(row, rowBytes, pattern); });
}

// Edge detection: the Laplacian with rows and columns wrapping like a torus.
inline QByteArray Laplacian(const QImage& image)
{
    const int w = image.width(), h = image.height(), bpp = image.depth() / 8;
    return EachRow(image, [&](std::uint8_t* row, const std::uint8_t* before, int y) {
        const auto at = [&](int i) { return before + std::ptrdiff_t((i + h) % h) * w * bpp; };
        Laplacian(at(y - 1), at(y), at(y + 1), row, w, bpp);
    });
}

// The horizontal mirror: pixel x of each row is pixel w - 1 - x, byte for byte.
inline QByteArray Mirrored(const QImage& image)
{
    const int w = image.width(), bpp = image.depth() / 8;
    return EachRow(image, [&](std::uint8_t* row, const std::uint8_t*, int) {
        if (bpp == 4)
            Reverse(reinterpret_cast<std::uint32_t*>(row), w); // QByteArray data is aligned for words
        else
            Reverse(row, w);
    });
}

} // namespace reference
