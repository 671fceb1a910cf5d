#include "Quantizer.h"
#include "Bitmap.h"
#include "ColourMoments.h"
#include "Progress.h"
#include "Reuse.h"
#include "RowBands.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using namespace colourmoments;


// The cell of a 0xAARRGGBB pixel: red, green, blue bits 7 ... 3.
inline std::uint32_t CellOf(std::uint32_t p)
{
    return ((p >> 9) & 0x7C00u) | ((p >> 6) & 0x03E0u) | ((p >> 3) & 0x001Fu);
}

// ---------------------------------------------------------------------------
// Pictures of at most 256 colours: their own palette.

class ExactColours {
public:
    // With alpha, colours that differ only in alpha are told apart and
    // keep it; without, the alpha bits are ignored and the palette opaque.
    explicit ExactColours(bool alpha) : mask_(alpha ? 0xFFFFFFFFu : 0x00FFFFFFu), opaque_(alpha ? 0 : 0xFF000000u) {}
    // Adds pixel p; false once a 257th colour appears.
    bool Add(std::uint32_t p)
    {
        const std::uint32_t key = p & mask_;
        if (index_.Find(key) >= 0)
            return true;
        if (colours_.size() == 256)
            return false;
        index_.Insert(key, int(colours_.size()));
        colours_.append(opaque_ | key);
        return true;
    }
    std::uint8_t IndexOf(std::uint32_t p) const { return std::uint8_t(index_.Find(p & mask_)); }
    const QList<QRgb>& Colours() const { return colours_; }

private:
    std::uint32_t mask_, opaque_;
    TColourIndex index_;
    QList<QRgb> colours_;
};

// Sums of one stretch of the picture over a cell, in 32-bit words, in the
// order of a pixel's bytes: blue, green, red, alpha. The pixels counted are
// all opaque, so the alpha sum is 255 times their number. Folded into the
// 64-bit moments before any word can overflow.
struct alignas(16) CellCount {
    std::uint32_t b, g, r, a;
};

// Adds the four bytes of pixel p to the cell's four sums.
inline void Count(CellCount& cell, std::uint32_t p)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p)), zero), zero);
    auto* sums = reinterpret_cast<__m128i*>(&cell);
    _mm_store_si128(sums, _mm_add_epi32(_mm_load_si128(sums), bytes));
#else
    cell.b += p & 0xFF;
    cell.g += (p >> 8) & 0xFF;
    cell.r += (p >> 16) & 0xFF;
    cell.a += p >> 24;
#endif
}
// 255 times this many pixels still fits 32 bits.
constexpr std::int64_t kFoldPixels = std::int64_t(1) << 24;

bool AllOpaque(const QImage& image)
{
    std::uint32_t all = 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            all &= row[x];
    }
    return (all >> 24) == 0xFF;
}

// How many refining steps follow the cut into boxes.
constexpr int kRefineSteps = 2;

} // namespace

QImage QuantizedTo8bit(const QImage& image, TProgress* progress)
{
    if (image.isNull())
        return {};
    const int h = image.height();
    const int w = image.width();
    const bool seeThrough = image.format() == QImage::Format_ARGB32 && !AllOpaque(image);
    QImage out = NewIndexed8(w, h);
    if (out.isNull())
        return out;

    // First pass: the picture's colours, while there are at most 256.
    const std::unique_ptr<ExactColours> exact(new (std::nothrow) ExactColours(seeThrough));
    if (!exact)
        return {};
    const bool few = ForEachRowBand(image, progress, [&](int, const std::uint32_t* row) {
        std::uint32_t last = ~row[0]; // differs from the first pixel
        for (int x = 0; x < w; ++x) {
            if (row[x] == last)
                continue;
            last = row[x];
            if (!exact->Add(last))
                return false;
        }
        return true;
    });
    if (few) {
        Advance(progress, h); // no histogram
        out.setColorTable(exact->Colours());
        ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
            std::uint8_t* dst = out.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = exact->IndexOf(row[x]);
            return true;
        });
        return out;
    }
    if (seeThrough) {
        // More than 256 colours with transparency: Qt's conversion keeps
        // alpha in the palette.
        out = QImage();
        CheckCancel(progress);
        QImage converted = image.convertToFormat(QImage::Format_Indexed8);
        Advance(progress, 2 * qint64(h));
        return converted;
    }

    // Second pass: the moments of every cell.
    const std::unique_ptr<CellCount[]> counts(new (std::nothrow) CellCount[kCells]());
    const std::unique_ptr<Moments[]> moments(new (std::nothrow) Moments[kMoments]());
    const std::unique_ptr<std::uint8_t[]> table(new (std::nothrow) std::uint8_t[kCells]());
    if (!counts || !moments || !table)
        return {};
    const auto fold = [&] {
        for (int c = 0; c < kCells; ++c) {
            CellCount& k = counts[std::size_t(c)];
            Moments& m = moments[std::size_t(At((c >> 10) + 1, ((c >> 5) & 31) + 1, (c & 31) + 1))];
            m += Moments{k.a / 255, k.r, k.g, k.b};
            k = {};
        }
    };
    std::int64_t pending = 0;
    ForEachRowBand(image, progress, [&](int, const std::uint32_t* row) {
        for (int x0 = 0; x0 < w; x0 += int(kFoldPixels / 2)) {
            const int n = std::min(w - x0, int(kFoldPixels / 2));
            if (pending + n > kFoldPixels) {
                fold();
                pending = 0;
            }
            CellCount* k = counts.get();
            for (int x = x0; x < x0 + n; ++x)
                Count(k[CellOf(row[x])], row[x]);
            pending += n;
        }
        return true;
    });
    fold();

    // The occupied cells and their mean colours, then the table made
    // cumulative in place.
    std::vector<Cell> cells;
    cells.reserve(kCells);
    for (int c = 0; c < kCells; ++c) {
        const Moments& m = moments[std::size_t(At((c >> 10) + 1, ((c >> 5) & 31) + 1, (c & 31) + 1))];
        if (m.w == 0)
            continue;
        const double scale = 1.0 / double(m.w);
        const auto mean = [&](std::int64_t sum) { return int(double(sum) * scale + 0.5); };
        cells.push_back({m, c, mean(m.r), mean(m.g), mean(m.b), -1});
    }
    CheckCancel(progress);
    Moments* m = moments.get();
    Cumulate(m);

    QList<QRgb> palette = CutBoxes(m);
    for (int step = 0; step < kRefineSteps; ++step) {
        CheckCancel(progress);
        Refine(cells, palette);
    }
    MapCells(cells, palette, table.get());
    out.setColorTable(palette);

    // Third pass: every pixel the colour its cell was given.
    const std::uint8_t* t = table.get();
    ForEachRowBand(image, progress, [&](int y, const std::uint32_t* row) {
        std::uint8_t* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x)
            dst[x] = t[CellOf(row[x])];
        return true;
    });
    return out;
}
