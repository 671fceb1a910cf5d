#include "image/view/BoxView.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Division rounding toward minus infinity, for positions left of or above
// the drawn area.
qint64 FloorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The source pixels [begin[i], end[i]) drawn at target pixel first + i, when
// source pixels are shown on target pixels: each target pixel starts at the
// source pixel under its left (top) edge, and an enlarged view repeats that
// one pixel, a reduced one covers all the source pixels up to the next.
void Spans(int first, int count, int source, int target, int* begin, int* end)
{
    for (int i = 0; i < count; ++i) {
        const qint64 t = qint64(first) + i;
        const int b = FirstShownPixel(t, source, target);
        begin[i] = b;
        end[i] = std::max(b + 1, FirstShownPixel(t + 1, source, target));
    }
}

// A colour premultiplied by its alpha, each channel c * a / 255 rounded to
// the nearest (Qt's qPremultiply is one off for 24 of the 65,536 pairs).
inline std::uint32_t Premultiplied(std::uint32_t p)
{
    const std::uint32_t a = p >> 24;
    std::uint32_t redBlue = (p & 0xFF00FFu) * a + 0x800080u;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    std::uint32_t green = ((p >> 8) & 0xFFu) * a + 0x80u;
    green = (green + (green >> 8)) & 0xFF00u;
    return (a << 24) | green | redBlue;
}

// Two 8-bit channels (bits 0-7 and 16-23) spread into the two halves of a
// 64-bit word.
inline std::uint64_t Spread(std::uint32_t channels)
{
    return (channels & 0xFFu) | (std::uint64_t(channels & 0xFF0000u) << 16);
}

// Adds a fetched pixel to the sums of its blue and red (lo) and green and
// alpha (hi), two channels to a word.
template <class Fetch> struct SpreadSum {
    const Fetch& fetch;
    void operator()(const std::uint8_t* line, int x, std::uint64_t& lo, std::uint64_t& hi) const
    {
        const std::uint32_t p = fetch(line, x);
        lo += Spread(p & 0x00FF00FFu);
        hi += Spread((p >> 8) & 0x00FF00FFu);
    }
};

// One row of drawn pixels (premultiplied 0xAARRGGBB) from source rows
// [y0, y1): a copy of single pixels where every span is one pixel wide,
// otherwise the average of each span's box.
template <class Fetch, class Sum>
void DrawRow(const QImage& source, const Fetch& fetch, const Sum& sum, int y0, int y1, const int* x0, const int* x1,
             int count, bool single, std::uint32_t* out)
{
    if (single && y1 - y0 == 1) {
        const std::uint8_t* line = source.constScanLine(y0);
        for (int i = 0; i < count; ++i)
            out[i] = fetch(line, x0[i]);
        return;
    }
    // Row addresses from the first one: a scan-line call per box row costs
    // more than the box's arithmetic.
    const std::uint8_t* const top = source.constScanLine(y0);
    const qsizetype stride = source.bytesPerLine();
    const std::uint64_t rows = std::uint64_t(y1 - y0);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t n = rows * std::uint64_t(x1[i] - x0[i]);
        std::uint64_t a = 0, r = 0, g = 0, b = 0;
        if (n <= (1u << 24)) {
            // Two channels to a 64-bit word: 2^24 samples add up without
            // carrying from one into the other.
            std::uint64_t lo = 0, hi = 0;
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* line = top + (y - y0) * stride;
                for (int x = x0[i]; x < x1[i]; ++x)
                    sum(line, x, lo, hi);
            }
            b = lo & 0xFFFFFFFFu, r = lo >> 32, g = hi & 0xFFFFFFFFu, a = hi >> 32;
        } else {
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* line = top + (y - y0) * stride;
                for (int x = x0[i]; x < x1[i]; ++x) {
                    const std::uint32_t p = fetch(line, x);
                    a += p >> 24;
                    r += (p >> 16) & 0xFF;
                    g += (p >> 8) & 0xFF;
                    b += p & 0xFF;
                }
            }
        }
        const auto mean = [n](std::uint64_t sum) { return std::uint32_t((sum + n / 2) / n); };
        out[i] = (mean(a) << 24) | (mean(r) << 16) | (mean(g) << 8) | mean(b);
    }
}

// Draws the device pixels of area into view, whose top-left pixel is the
// device pixel origin.
template <class Fetch, class Sum>
void DrawRows(const QImage& source, const Fetch& fetch, const Sum& sum, const QRect& area, const QRect& drawn,
              QImage& view, QPoint origin)
{
    const int w = area.width();
    std::vector<int> x0(static_cast<size_t>(w)), x1(static_cast<size_t>(w));
    Spans(area.left() - drawn.left(), w, source.width(), drawn.width(), x0.data(), x1.data());
    bool single = true;
    for (int i = 0; i < w; ++i)
        single = single && x1[size_t(i)] - x0[size_t(i)] == 1;
    for (int row = 0; row < area.height(); ++row) {
        int y0 = 0, y1 = 0;
        Spans(area.top() - drawn.top() + row, 1, source.height(), drawn.height(), &y0, &y1);
        DrawRow(source, fetch, sum, y0, y1, x0.data(), x1.data(), w, single,
                reinterpret_cast<std::uint32_t*>(view.scanLine(area.top() - origin.y() + row)) +
                    (area.left() - origin.x()));
    }
}

// Draws with a fetch of one premultiplied pixel and the sums made from it.
template <class Fetch>
void DrawRows(const QImage& source, const Fetch& fetch, const QRect& area, const QRect& drawn, QImage& view,
              QPoint origin)
{
    DrawRows(source, fetch, SpreadSum<Fetch>{fetch}, area, drawn, view, origin);
}

} // namespace

int FirstShownPixel(qint64 t, int source, int target) { return int(FloorDiv(t * source, target)); }

void DrawBoxView(const TBitmap& bitmap, QSize drawnSize, const QRect& area, QImage& view, QPoint origin)
{
    const QImage& source = bitmap.Image();
    const QRect drawn(QPoint(), drawnSize);
    switch (source.format()) {
    case QImage::Format_Indexed8: {
        // The palette premultiplied, and spread for the sums of a reduced
        // view: a sample is then two look-ups and two additions.
        std::uint32_t palette[256];
        std::uint64_t paletteLo[256], paletteHi[256];
        for (int i = 0; i < 256; ++i) {
            palette[i] = Premultiplied(bitmap.PaletteEntry(i));
            if (!source.hasAlphaChannel())
                palette[i] |= 0xFF000000u;
            paletteLo[i] = Spread(palette[i] & 0x00FF00FFu);
            paletteHi[i] = Spread((palette[i] >> 8) & 0x00FF00FFu);
        }
        DrawRows(
            source, [&palette](const std::uint8_t* line, int x) { return palette[line[x]]; },
            [&paletteLo, &paletteHi](const std::uint8_t* line, int x, std::uint64_t& lo, std::uint64_t& hi) {
                lo += paletteLo[line[x]];
                hi += paletteHi[line[x]];
            },
            area, drawn, view, origin);
        break;
    }
    case QImage::Format_ARGB32:
        DrawRows(
            source,
            [](const std::uint8_t* line, int x) {
                return std::uint32_t(Premultiplied(reinterpret_cast<const std::uint32_t*>(line)[x]));
            },
            area, drawn, view, origin);
        break;
    default:
        // Byte commands may leave any value in the unused fourth byte.
        DrawRows(
            source,
            [](const std::uint8_t* line, int x) {
                return reinterpret_cast<const std::uint32_t*>(line)[x] | 0xFF000000u;
            },
            area, drawn, view, origin);
        break;
    }
}
